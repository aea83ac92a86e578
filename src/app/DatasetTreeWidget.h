#pragma once

#include <QTreeWidget>

namespace Quorvex3 {

/// The folder view of the "Datasets" dock: datasets grouped under the
/// folders their files lie in. Dataset items carry the dataset's id in
/// their user role; folder items carry none.
///
/// This build sets the view up and declares its signal; dragging items is
/// not available yet.
class DatasetTreeWidget : public QTreeWidget {
    Q_OBJECT

public:
    /// Hidden header, single selection, custom context menu, drag and drop,
    /// alternating rows, always expanded, no text eliding.
    explicit DatasetTreeWidget(QWidget* parent = nullptr);
    ~DatasetTreeWidget() override;

signals:
    /// The user dropped dataset `sourceId` before (or, with `after`, behind)
    /// its sibling `targetId`.
    void internalReorderRequested(int sourceId, int targetId, bool after);
};

} // namespace Quorvex3
