#include "util/WrapRowLayout.h"

#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace Quorvex3 {

namespace {

/// The width an item asks for: its size hint within its own bounds.
QSize preferredSize(const QLayoutItem* item) {
    return item->sizeHint().boundedTo(item->maximumSize()).expandedTo(item->minimumSize());
}

} // namespace

WrapRowLayout::WrapRowLayout(int spacing) : m_spacing(spacing) {}

WrapRowLayout::~WrapRowLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void WrapRowLayout::addRowLayout(QLayout* layout) {
    addChildLayout(layout);
    addItem(layout);
}

void WrapRowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
}

int WrapRowLayout::count() const {
    return m_items.size();
}

QLayoutItem* WrapRowLayout::itemAt(int index) const {
    return m_items.value(index);
}

QLayoutItem* WrapRowLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index);
}

Qt::Orientations WrapRowLayout::expandingDirections() const {
    return {};
}

bool WrapRowLayout::hasHeightForWidth() const {
    return true;
}

int WrapRowLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

int WrapRowLayout::gap() const {
    if (m_spacing >= 0)
        return m_spacing;
    const QWidget* widget = parentWidget();
    return widget
               ? widget->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, widget)
               : 6;
}

// As narrow as the widest item, each on a line of its own.
QSize WrapRowLayout::minimumSize() const {
    QSize size;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize());
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

// Everything on one line.
QSize WrapRowLayout::sizeHint() const {
    int width = 0;
    int height = 0;
    int shown = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize size = preferredSize(item);
        width += size.width();
        height = std::max(height, size.height());
        ++shown;
    }
    if (shown > 1)
        width += (shown - 1) * gap();
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void WrapRowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int WrapRowLayout::arrange(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int spacing = gap();
    struct Placed {
        QLayoutItem* item;
        QSize size;
    };
    std::vector<Placed> line;
    int lineWidth = 0;
    int y = area.top();
    bool firstLine = true;

    const auto finishLine = [&] {
        if (line.empty())
            return;
        int height = 0;
        for (const Placed& placed : line)
            height = std::max(height, placed.size.height());
        if (!firstLine)
            y += spacing;
        if (apply) {
            int x = area.left();
            for (const Placed& placed : line) {
                const int top = y + (height - placed.size.height()) / 2;
                placed.item->setGeometry(QRect(QPoint(x, top), placed.size));
                x += placed.size.width() + spacing;
            }
        }
        y += height;
        firstLine = false;
        line.clear();
        lineWidth = 0;
    };

    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        QSize size = preferredSize(item);
        // An item wider than a whole line gets the line, as far as it can
        // shrink.
        size.setWidth(std::max(std::min(size.width(), area.width()), item->minimumSize().width()));
        if (item->hasHeightForWidth())
            size.setHeight(std::max(size.height(), item->heightForWidth(size.width())));
        const int needed = line.empty() ? size.width() : lineWidth + spacing + size.width();
        if (!line.empty() && needed > area.width())
            finishLine();
        lineWidth = line.empty() ? size.width() : lineWidth + spacing + size.width();
        line.push_back({item, size});
    }
    finishLine();
    const QMargins margins = contentsMargins();
    return y - area.top() + margins.top() + margins.bottom();
}

} // namespace Quorvex3
