#pragma once

#include <QListWidget>

namespace Quorvex3 {

/// The flat dataset list of the "Datasets" dock: one item per dataset in the
/// main window's order, carrying the dataset's id in its user role. Rows are
/// dragged to other windows as dataset ids and reordered by dragging within
/// the list.
///
/// This build sets the view up and declares its signal; dragging rows is
/// not available yet.
class DatasetListWidget : public QListWidget {
    Q_OBJECT

public:
    /// Single selection, drag-only, accepts drops, custom context menu.
    explicit DatasetListWidget(QWidget* parent = nullptr);
    ~DatasetListWidget() override;

signals:
    /// The user dropped row `fromRow` at insertion position `toRow` (counted
    /// before the move).
    void internalReorderRequested(int fromRow, int toRow);
};

} // namespace Quorvex3
