#include "app/DatasetListWidget.h"

#include "util/DatasetDragPayload.h"
#include "app/HtmlItemDelegate.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>

namespace Quorvex3 {

DatasetListWidget::DatasetListWidget(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new HtmlItemDelegate(this));
}

DatasetListWidget::~DatasetListWidget() = default;

void DatasetListWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !itemAt(event->pos())) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

bool DatasetListWidget::isOwnDatasetDrag(const QDropEvent* event) const {
    return event->source() == this && event->mimeData() &&
           event->mimeData()->hasFormat(datasetMimeType());
}

void DatasetListWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (isOwnDatasetDrag(event))
        event->acceptProposedAction();
    else
        QListWidget::dragEnterEvent(event);
}

void DatasetListWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (isOwnDatasetDrag(event))
        event->acceptProposedAction();
    else
        QListWidget::dragMoveEvent(event);
}

int DatasetListWidget::rowOfDataset(int id) const {
    for (int row = 0; row < count(); ++row) {
        const QVariant data = item(row)->data(Qt::UserRole);
        if (data.isValid() && data.toInt() == id)
            return row;
    }
    return -1;
}

std::optional<std::pair<int, int>> DatasetListWidget::reorderForDrop(const QMimeData* mime,
                                                                     const QPoint& pos) const {
    const std::optional<int> id = datasetIdFromMimeData(mime);
    const int source = id ? rowOfDataset(*id) : -1;
    if (source < 0)
        return std::nullopt;
    int target = count();
    if (QListWidgetItem* under = itemAt(pos)) {
        const QRect rect = visualItemRect(under);
        target = row(under) + (pos.y() > (rect.top() + rect.bottom()) / 2 ? 1 : 0);
    }
    // Dropping a row onto its own place (its upper half or the upper half of
    // the next row) would not change the order.
    const int shift = target - source;
    if (shift == 0 || shift == 1)
        return std::nullopt;
    return std::make_pair(source, target);
}

void DatasetListWidget::dropEvent(QDropEvent* event) {
    if (!isOwnDatasetDrag(event)) {
        QListWidget::dropEvent(event);
        return;
    }
    const auto reorder = reorderForDrop(event->mimeData(), dropEventPosition(event));
    if (!reorder) {
        event->ignore();
        return;
    }
    // Copy, not move: on a move the view's own drag code would delete the
    // dragged row once the drag returns.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const auto [source, target] = *reorder;
    QTimer::singleShot(0, this, [this, source = source, target = target] {
        emit internalReorderRequested(source, target);
    });
}

void DatasetListWidget::startDrag(Qt::DropActions) {
    QListWidget::startDrag(Qt::CopyAction);
}

QMimeData* DatasetListWidget::mimeData(ItemList items) const {
    if (items.isEmpty() || !items.first())
        return new QMimeData;
    const QVariant id = items.first()->data(Qt::UserRole);
    if (!id.isValid())
        return new QMimeData;
    return createDatasetMimeData(id.toInt());
}

} // namespace Quorvex3
