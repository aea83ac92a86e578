#pragma once

#include <QTreeWidget>

#include <optional>

namespace Quorvex3 {

/// The folder view of the "Datasets" dock: datasets grouped under the
/// folders their files lie in, with rich text drawn by an HtmlItemDelegate.
/// Dataset items carry the dataset's id in their user role; folder items
/// carry none, which is how the two are told apart. A dragged dataset item
/// carries its id (see DatasetDragPayload.h); dropped onto a sibling
/// dataset item of the same folder it asks for a reorder.
class DatasetTreeWidget : public QTreeWidget {
    Q_OBJECT

public:
    /// Hidden header, single selection, custom context menu, drag and drop,
    /// alternating rows, always expanded, no text eliding.
    explicit DatasetTreeWidget(QWidget* parent = nullptr);
    ~DatasetTreeWidget() override;

    /// The first item, in display order, that carries dataset `id`; null
    /// when none does.
    QTreeWidgetItem* findDatasetItem(int id) const;

    /// A reorder asked for by a drop: dataset `sourceId` goes before, or
    /// with `after` behind, dataset `targetId`.
    struct Reorder {
        int sourceId = -1;
        int targetId = -1;
        bool after = false;
    };

    /// What dropping `mime` at `pos` (viewport pixels) onto this tree asks
    /// for: the dragged dataset goes before the dataset item under `pos`, or
    /// behind it when `pos` lies below the item's middle. Nothing when
    /// `mime` carries no valid dataset id, no item carries it, or the item
    /// under `pos` is missing, the dragged one itself, a folder or not a
    /// sibling of the dragged item.
    std::optional<Reorder> reorderForDrop(const QMimeData* mime, const QPoint& pos) const;

signals:
    /// The user dropped dataset `sourceId` before (or, with `after`, behind)
    /// its sibling `targetId`. Emitted from the event loop once the drag is
    /// over, so a receiver may rebuild the tree.
    void internalReorderRequested(int sourceId, int targetId, bool after);

protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    using ItemList = const QList<QTreeWidgetItem*>;
#else
    using ItemList = const QList<QTreeWidgetItem*>&;
#endif

    void dragEnterEvent(QDragEnterEvent* event) override;
    /// Own dataset drags are accepted only over a sibling dataset item.
    void dragMoveEvent(QDragMoveEvent* event) override;
    /// A dataset dropped onto a sibling dataset item becomes a reorder
    /// request; every other own drop is refused.
    void dropEvent(QDropEvent* event) override;
    /// The base drag, offering copy only, so the dragged item stays put.
    void startDrag(Qt::DropActions supportedActions) override;
    /// The first item's dataset id as dataset payload and plain text;
    /// empty for a folder item.
    QMimeData* mimeData(ItemList items) const override;

private:
    bool isOwnDatasetDrag(const QDropEvent* event) const;
};

} // namespace Quorvex3
