#pragma once

#include <QStyledItemDelegate>

namespace Quorvex3 {

/// Draws an item's display text as rich text (HTML), so dataset items can
/// show their name in bold. Only the text and, for a selected item, the
/// highlight behind it are drawn: no icon, check box or focus frame. One
/// instance per view, parented to the view.
class HtmlItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit HtmlItemDelegate(QObject* parent = nullptr);

    /// Fills the item's rectangle with the highlight when it is selected and
    /// draws the HTML 4 pixels in from the left, clipped 4 pixels short of
    /// the right edge, in the item's font and the document's default colour.
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    /// The unwrapped text's ideal width plus 8 pixels by its height.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace Quorvex3
