#pragma once

#include <QLayout>
#include <QList>

namespace Quorvex3 {

/// A row of controls that continues on the next line when the panel is too
/// narrow for all of them, instead of widening it: on a wide panel it looks
/// like a left-aligned QHBoxLayout ending in a stretch.
///
/// Items keep their size hint (bounded by their maximum size); an item
/// wider than a whole line gets the line, down to its minimum size. Items
/// are centred vertically on their line. Hidden widgets take no room.
class WrapRowLayout : public QLayout {
public:
    /// `spacing` separates items on a line and the lines; below 0 it is the
    /// style's horizontal layout spacing.
    explicit WrapRowLayout(int spacing = -1);
    ~WrapRowLayout() override;

    /// Adds a nested layout as one item (it is laid out as a unit).
    void addRowLayout(QLayout* layout);

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    int gap() const;
    /// Places the items in `rect` (only measures when `apply` is false) and
    /// returns the height used, margins included.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};

} // namespace Quorvex3
