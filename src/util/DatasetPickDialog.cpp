#include "util/DatasetPickDialog.h"

#include "util/DialogProvider.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace Quorvex3 {

std::optional<std::vector<int>> askDatasetsToAdd(QWidget* parent,
                                                 const std::vector<PickableDataset>& offered,
                                                 const QString& listName,
                                                 const QString& dialogName) {
    QDialog dialog(parent);
    if (!dialogName.isEmpty())
        dialog.setObjectName(dialogName);
    dialog.setWindowTitle(QDialog::tr("Add Datasets"));
    dialog.setMinimumSize(350, 300);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(
        new QLabel(QDialog::tr("Select datasets to add (Ctrl/Shift for multi-select):"), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(listName);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const PickableDataset& dataset : offered) {
        auto* item = new QListWidgetItem(dataset.name, list);
        item->setData(Qt::UserRole, dataset.id);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (DialogProvider::current().execDialog(dialog) != QDialog::Accepted)
        return std::nullopt;
    std::vector<int> ids;
    for (const QListWidgetItem* item : list->selectedItems())
        ids.push_back(item->data(Qt::UserRole).toInt());
    return ids;
}

} // namespace Quorvex3
