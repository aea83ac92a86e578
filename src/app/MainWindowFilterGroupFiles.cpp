// Filter-group files (".qv3fg"): writing a chosen set of filter groups to a
// JSON file, and adding the groups of such a file as new groups.
#include "app/MainWindow.h"

#include "model/FilterGroupFile.h"
#include "model/FilterRuleJson.h"
#include "model/RepairReport.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"
#include "util/FileNameUtil.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace Quorvex3 {

namespace {

const QString kExportTitle = QStringLiteral("Export Filter Groups");
const QString kImportTitle = QStringLiteral("Import Filter Groups");
const QString kSaveFilter = QStringLiteral("Quorvex3 Filter Groups (*.qv3fg)");
const QString kOpenFilter = QStringLiteral("Quorvex3 Filter Groups (*.qv3fg);;All Files (*)");

using GroupList = std::vector<std::unique_ptr<FilterGroup>>;

void setAllChecked(QListWidget* list, Qt::CheckState state) {
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setCheckState(state);
}

/// Asks which groups to export: every group listed by name and checked.
/// Returns the ids of the checked groups in list order, or nothing when the
/// dialog was cancelled.
std::optional<std::vector<int>> chooseGroupsToExport(QWidget* parent, const GroupList& groups) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("exportFilterGroupsDialog"));
    dialog.setWindowTitle(kExportTitle);
    dialog.setModal(true);
    dialog.resize(360, 360);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Select groups to export:"), &dialog));

    auto* list = new QListWidget(&dialog);
    for (const auto& group : groups) {
        auto* item = new QListWidgetItem(QString::fromStdString(group->name), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, group->id);
    }
    layout->addWidget(list, 1);

    auto* row = new QHBoxLayout;
    auto* selectAll = new QPushButton(QStringLiteral("Select All"), &dialog);
    auto* selectNone = new QPushButton(QStringLiteral("Select None"), &dialog);
    row->addWidget(selectAll);
    row->addWidget(selectNone);
    row->addStretch();
    layout->addLayout(row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);

    const auto updateOk = [list, ok] {
        bool anyChecked = false;
        for (int i = 0; i < list->count() && !anyChecked; ++i)
            anyChecked = list->item(i)->checkState() == Qt::Checked;
        ok->setEnabled(anyChecked);
    };
    QObject::connect(list, &QListWidget::itemChanged, &dialog, updateOk);
    QObject::connect(selectAll, &QPushButton::clicked, &dialog,
                     [list] { setAllChecked(list, Qt::Checked); });
    QObject::connect(selectNone, &QPushButton::clicked, &dialog,
                     [list] { setAllChecked(list, Qt::Unchecked); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    updateOk();

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<int> ids;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            ids.push_back(list->item(i)->data(Qt::UserRole).toInt());
    return ids;
}

/// The file's root object with the groups of `ids` in that order; ids whose
/// group has gone meanwhile are skipped.
QJsonObject buildGroupsDocument(const GroupList& groups, const std::vector<int>& ids) {
    QJsonArray groupArray;
    for (const int id : ids) {
        const auto found = std::find_if(groups.begin(), groups.end(),
                                        [id](const auto& group) { return group->id == id; });
        if (found == groups.end())
            continue;
        QJsonArray rules;
        for (const FilterRule& rule : (*found)->rules)
            rules.append(serializeFilterRule(rule));
        groupArray.append(
            QJsonObject{{QStringLiteral("name"), QString::fromStdString((*found)->name)},
                        {QStringLiteral("rules"), rules}});
    }
    return QJsonObject{{QStringLiteral("formatVersion"), 1},
                       {QStringLiteral("groups"), groupArray}};
}

} // namespace

void MainWindow::exportFilterGroupsToFile() {
    DialogProvider& dialogs = DialogProvider::current();
    if (filterGroups().empty()) {
        dialogs.information(this, kExportTitle,
                            QStringLiteral("There are no filter groups to export."),
                            QMessageBox::Ok);
        return;
    }
    const std::optional<std::vector<int>> ids = chooseGroupsToExport(this, filterGroups());
    if (!ids || ids->empty())
        return;

    QString selectedFilter;
    QString path =
        dialogs.getSaveFileName(this, kExportTitle, QString(), kSaveFilter, &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureSelectedFilterExtension(path, selectedFilter);

    const QByteArray bytes =
        QJsonDocument(buildGroupsDocument(filterGroups(), *ids)).toJson(QJsonDocument::Indented);
    switch (writeFileAtomically(path, bytes)) {
    case WriteResult::OpenFailed:
        dialogs.critical(this, kExportTitle,
                         QStringLiteral("Failed to open file for writing:\n") + path);
        return;
    case WriteResult::WriteFailed:
        dialogs.critical(this, kExportTitle, QStringLiteral("Failed to write file:\n") + path);
        return;
    case WriteResult::Written:
        break;
    }
    m_infoLabel->setText(QStringLiteral("Exported %1 filter group(s).").arg(ids->size()));
}

void MainWindow::importFilterGroupsFromFile() {
    DialogProvider& dialogs = DialogProvider::current();
    const QString path = dialogs.getOpenFileName(this, kImportTitle, QString(), kOpenFilter);
    if (path.isEmpty())
        return;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        dialogs.critical(this, kImportTitle, QStringLiteral("Failed to read file:\n") + path);
        return;
    }
    std::vector<std::string> taken;
    taken.reserve(filterGroups().size());
    for (const auto& group : filterGroups())
        taken.push_back(group->name);
    FilterGroupFileContent content = readFilterGroupFile(file.readAll(), taken);
    switch (content.outcome) {
    case FilterGroupFileContent::Outcome::NoGroups:
        dialogs.information(this, kImportTitle, content.message);
        return;
    case FilterGroupFileContent::Outcome::NotJson:
    case FilterGroupFileContent::Outcome::NoUsableGroup:
        dialogs.criticalWithDetails(this, kImportTitle, content.message, content.details);
        return;
    case FilterGroupFileContent::Outcome::Groups:
        break;
    }

    for (FilterGroup& imported : content.groups) {
        addFilterGroup(imported.name);
        filterGroups().back()->rules = std::move(imported.rules); // groups are appended
    }
    refreshFilterGroupsUi();
    // The group widgets were just built; the refresh must not build them again.
    requestPlotUpdateKeepingGroupWidgets();
    flushPlotRequests();
    m_infoLabel->setText(QStringLiteral("Imported %1 filter group(s).").arg(content.groups.size()));
    const RepairReportMessage report = repairReportMessage(repairReport(
        {{QStringLiteral("Some values of the file could not be used; they were replaced by "
                         "their defaults or left out:"),
          content.problems}}));
    if (!report.text.isEmpty())
        dialogs.warningWithDetails(this, kImportTitle, report.text, report.details);
}

} // namespace Quorvex3
