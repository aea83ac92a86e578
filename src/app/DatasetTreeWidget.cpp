#include "app/DatasetTreeWidget.h"

#include <QHeaderView>

namespace Quorvex3 {

DatasetTreeWidget::DatasetTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
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

} // namespace Quorvex3
