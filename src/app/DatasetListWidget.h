#pragma once

#include <QListWidget>

#include <optional>
#include <utility>

namespace Quorvex3 {

/// The flat dataset list of the "Datasets" dock: one item per dataset in the
/// main window's order, carrying the dataset's id in its user role and rich
/// text drawn by an HtmlItemDelegate. A dragged row carries its dataset's id
/// (see DatasetDragPayload.h) to other windows; dropped back onto the list
/// it asks for a reorder.
class DatasetListWidget : public QListWidget {
    Q_OBJECT

public:
    /// Single selection, drag-only, accepts drops, custom context menu.
    explicit DatasetListWidget(QWidget* parent = nullptr);
    ~DatasetListWidget() override;

    /// What dropping `mime` at `pos` (viewport pixels) onto this list asks
    /// for: the dragged dataset's row and the insertion position counted
    /// before the move (the row under `pos`, plus one below its middle; the
    /// row count below the last row). Nothing when `mime` carries no valid
    /// dataset id, no row carries that id, or the order would not change.
    std::optional<std::pair<int, int>> reorderForDrop(const QMimeData* mime,
                                                      const QPoint& pos) const;

signals:
    /// The user dropped row `fromRow` at insertion position `toRow` (counted
    /// before the move). Emitted from the event loop once the drag is over,
    /// so a receiver may rebuild the list.
    void internalReorderRequested(int fromRow, int toRow);

protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    using ItemList = const QList<QListWidgetItem*>;
#else
    using ItemList = const QList<QListWidgetItem*>&;
#endif

    /// A left click on the empty area keeps the current row.
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    /// A dataset row dropped onto this list becomes a reorder request;
    /// drops that would not change the order are refused.
    void dropEvent(QDropEvent* event) override;
    /// The base drag, offering copy only, so the dragged row stays put.
    void startDrag(Qt::DropActions supportedActions) override;
    /// The first item's dataset id as dataset payload and plain text.
    QMimeData* mimeData(ItemList items) const override;

private:
    bool isOwnDatasetDrag(const QDropEvent* event) const;
    /// First row whose item carries dataset `id`, -1 when none does.
    int rowOfDataset(int id) const;
};

} // namespace Quorvex3
