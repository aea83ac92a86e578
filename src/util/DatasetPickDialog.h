#pragma once

#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace Quorvex3 {

/// One dataset a picker offers: its id and the name it is listed by.
struct PickableDataset {
    int id = -1;
    QString name;
};

/// The "Add Datasets" dialog of the tool windows, shown through the dialog
/// seam: `offered` in a list of several-at-once selection (object name
/// `listName`; the dialog's is `dialogName` when given). The ids selected,
/// in list order, once accepted; nothing when cancelled.
std::optional<std::vector<int>> askDatasetsToAdd(QWidget* parent,
                                                 const std::vector<PickableDataset>& offered,
                                                 const QString& listName,
                                                 const QString& dialogName = QString());

} // namespace Quorvex3
