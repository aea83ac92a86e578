#pragma once

// One check of a window's layout as a user on a small screen meets it, for
// every window and dialog of the program: what a user cannot read or reach
// without widening the window. Checked on the widgets' geometry with the
// program's look (style, palette, style sheet), not on pixels.
//
//     Quorvex3::testing::useProgramLookForLayout();
//     window.resize(1280, 720); window.show(); settleLayout();
//     const QStringList faults = layoutFaults(window);
//     EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
//
// Dialogs also in each of their modes (dialogModeFaults): a dialog that
// grows with a choice must stay inside the screen.

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace Quorvex3::testing {

/// The program's style, palette and style sheet on the application, with
/// the desktop's 9-point sans-serif font (the offscreen platform's default
/// font is larger than a desktop's). Needs the QApplication; runs once.
void useProgramLookForLayout();

/// Lets layouts, deferred header sizing and queued resizes run.
void settleLayout();

/// The size to give the shown window `window` for its frame, as the
/// platform draws it around the window, to be `frame`: a window that fills
/// a screen of that size.
QSize sizeForFrame(const QWidget& window, QSize frame);

/// Shows `window` laid out at the size `frame` (as a window opened at that
/// size) and then made smaller by its frame, so that the window with its
/// frame is `frame` in size. It stays where it was placed.
void showWithFrameSize(QWidget& window, QSize frame);

/// What a layout check tolerates: widgets the caller knows may scroll
/// sideways (a wide data table) or hold text longer than any box (a path),
/// named by object name.
struct LayoutAllowances {
    QStringList mayScrollSideways;
    QStringList mayCutText;
};

/// The faults of the visible widgets of `top` (a window or dialog) and its
/// own size, one line each naming the widget:
/// - the window is larger than `screen` (1280 x 720 by default) or cannot
///   be made that small (its minimum size hint);
/// - a window's frame reaches past a screen of that size at the top left
///   of its own screen's available area (its position counts, not only its
///   size);
/// - a button, check box or radio button narrower than its text needs;
/// - a combo box whose text field is narrower than its longest item;
/// - a line edit whose text does not fit its text field (shown scrolled);
/// - a group box narrower than its title and contents need;
/// - a scroll area or item view that scrolls sideways;
/// - a list that shows fewer than five rows: an item list, or a scroll area
///   of check boxes (a feature list).
/// Widgets behind another tab or dock are skipped: raise them and check again.
QStringList layoutFaults(QWidget& top, const LayoutAllowances& allow = {},
                         QSize screen = QSize(1280, 720));

/// One way a dialog is used: what is done in it (a format chosen, a scope),
/// named for the faults found in it.
struct DialogMode {
    QString name;
    std::function<void()> enter;
};

/// The faults of the shown `dialog` in each of `modes`, entered in order,
/// each fault led by the mode's name. Before a mode is entered, the
/// dialog's frame is put against the bottom right corner of the screen,
/// where a dialog that grows with a choice runs past the screen first; after
/// it the dialog is checked by layoutFaults, its position included.
QStringList dialogModeFaults(QDialog& dialog, const std::vector<DialogMode>& modes,
                             const LayoutAllowances& allow = {}, QSize screen = QSize(1280, 720));

} // namespace Quorvex3::testing
