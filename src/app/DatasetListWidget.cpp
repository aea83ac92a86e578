#include "app/DatasetListWidget.h"

namespace Quorvex3 {

DatasetListWidget::DatasetListWidget(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAcceptDrops(true);
}

DatasetListWidget::~DatasetListWidget() = default;

} // namespace Quorvex3
