#include "app/DatasetTreeWidget.h"

#include "util/DatasetDragPayload.h"
#include "app/HtmlItemDelegate.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QTimer>

namespace Quorvex3 {

DatasetTreeWidget::DatasetTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new HtmlItemDelegate(this));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(true);
    setAlternatingRowColors(true);
    setItemsExpandable(false);
    setRootIsDecorated(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
}

DatasetTreeWidget::~DatasetTreeWidget() = default;

namespace {

/// Depth-first search below and including `item`, in display order.
QTreeWidgetItem* findDatasetItemFrom(QTreeWidgetItem* item, int id) {
    const QVariant data = item->data(0, Qt::UserRole);
    if (data.isValid() && data.toInt() == id)
        return item;
    for (int i = 0; i < item->childCount(); ++i)
        if (QTreeWidgetItem* found = findDatasetItemFrom(item->child(i), id))
            return found;
    return nullptr;
}

} // namespace

QTreeWidgetItem* DatasetTreeWidget::findDatasetItem(int id) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (QTreeWidgetItem* found = findDatasetItemFrom(topLevelItem(i), id))
            return found;
    return nullptr;
}

bool DatasetTreeWidget::isOwnDatasetDrag(const QDropEvent* event) const {
    return event->source() == this && event->mimeData() &&
           event->mimeData()->hasFormat(datasetMimeType());
}

std::optional<DatasetTreeWidget::Reorder>
DatasetTreeWidget::reorderForDrop(const QMimeData* mime, const QPoint& pos) const {
    const std::optional<int> sourceId = datasetIdFromMimeData(mime);
    if (!sourceId)
        return std::nullopt;
    const QTreeWidgetItem* source = findDatasetItem(*sourceId);
    QTreeWidgetItem* target = itemAt(pos);
    if (!source || !target || source == target)
        return std::nullopt;
    const QVariant targetId = target->data(0, Qt::UserRole);
    // Only siblings: moving a dataset into another folder would not move its
    // file, so the next rebuild would put it straight back.
    if (!targetId.isValid() || source->parent() != target->parent())
        return std::nullopt;
    const QRect rect = visualItemRect(target);
    const bool after = pos.y() > (rect.top() + rect.bottom()) / 2;
    return Reorder{*sourceId, targetId.toInt(), after};
}

void DatasetTreeWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (isOwnDatasetDrag(event))
        event->acceptProposedAction();
    else
        QTreeWidget::dragEnterEvent(event);
}

void DatasetTreeWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (!isOwnDatasetDrag(event)) {
        QTreeWidget::dragMoveEvent(event);
        return;
    }
    if (reorderForDrop(event->mimeData(), dropEventPosition(event)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DatasetTreeWidget::dropEvent(QDropEvent* event) {
    if (!isOwnDatasetDrag(event)) {
        QTreeWidget::dropEvent(event);
        return;
    }
    const std::optional<Reorder> reorder =
        reorderForDrop(event->mimeData(), dropEventPosition(event));
    if (!reorder) {
        event->ignore();
        return;
    }
    // Copy, not move: on a move the view's own drag code would delete the
    // dragged item once the drag returns.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const Reorder request = *reorder;
    QTimer::singleShot(0, this, [this, request] {
        emit internalReorderRequested(request.sourceId, request.targetId, request.after);
    });
}

void DatasetTreeWidget::startDrag(Qt::DropActions) {
    QTreeWidget::startDrag(Qt::CopyAction);
}

QMimeData* DatasetTreeWidget::mimeData(ItemList items) const {
    if (items.isEmpty() || !items.first())
        return new QMimeData;
    const QVariant id = items.first()->data(0, Qt::UserRole);
    if (!id.isValid())
        return new QMimeData;
    return createDatasetMimeData(id.toInt());
}

} // namespace Quorvex3
