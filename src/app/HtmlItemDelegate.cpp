#include "app/HtmlItemDelegate.h"

#include <QPainter>
#include <QTextDocument>

namespace Quorvex3 {

namespace {

constexpr int kTextInset = 4;

/// The option's text laid out as HTML in the option's font.
void layOut(QTextDocument& document, const QStyleOptionViewItem& option) {
    document.setDefaultFont(option.font);
    document.setHtml(option.text);
}

} // namespace

HtmlItemDelegate::HtmlItemDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void HtmlItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);

    painter->save();
    if (item.state & QStyle::State_Selected)
        painter->fillRect(item.rect, item.palette.highlight());

    QTextDocument document;
    layOut(document, item);
    painter->translate(item.rect.left() + kTextInset, item.rect.top());
    const QRectF clip(0, 0, item.rect.width() - 2 * kTextInset, item.rect.height());
    document.drawContents(painter, clip);
    painter->restore();
}

QSize HtmlItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);

    QTextDocument document;
    layOut(document, item);
    document.setTextWidth(-1);
    return QSize(static_cast<int>(document.idealWidth() + 2 * kTextInset),
                 static_cast<int>(document.size().height()));
}

} // namespace Quorvex3
