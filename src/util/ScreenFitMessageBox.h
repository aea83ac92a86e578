#pragma once

#include <QMessageBox>

class QShowEvent;

namespace Quorvex3 {

/// The message box the default dialog provider shows: a QMessageBox that
/// lies wholly inside its screen's available area, its buttons in reach of
/// the mouse, whatever the length of its text. Qt makes a box as tall as its
/// text (a list of 200 problems gave a box of 1080 pixels, its OK button
/// below a 720-pixel screen). When the box with its details opened would not
/// fit, the text keeps the first lines that fit and names how many follow;
/// the details (which scroll) then begin with the whole text. The box is
/// placed so that opening the details keeps it inside the screen. Rich
/// text is left whole: markup cannot be cut by lines.
class ScreenFitMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// Most lines the details show at once before they scroll.
    static constexpr int kDetailsLines = 18;

    /// Makes the details tall enough to read a long list in (Qt's show five
    /// lines), at most half of `room` pixels.
    void enlargeDetails(int room);
    /// How much taller the box gets when its details open; 0 without
    /// closed details.
    int detailsGrowth();
    /// Moves the lines of the text that do not fit into `room` pixels of
    /// height to the details.
    void moveOverflowToDetails(int room);
};

} // namespace Quorvex3
