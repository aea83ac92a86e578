// Filter-group files (".qv3fg"): writing a chosen set of filter groups to a
// JSON file, and adding the groups of such a file as new groups.
#include "app/MainWindow.h"

#include "model/FilterRuleJson.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"
#include "util/FileNameUtil.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

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

/// Names groups apart from every group there is: `base` itself, or `base`
/// + " (n)" with the smallest n from 2 on that no group is named yet (names
/// compared exactly). Names only accumulate while groups are added, so the
/// search for a base resumes where its previous one stopped: a file of
/// thousands of groups of one name is named in linear time.
class UniqueGroupNames {
public:
    explicit UniqueGroupNames(const GroupList& groups) {
        for (const auto& group : groups)
            m_taken.insert(group->name);
    }

    /// The name for a new group of `base`, counted as taken from now on.
    std::string take(const std::string& base) {
        std::string candidate = base;
        if (m_taken.count(candidate) != 0) {
            int& n = m_nextSuffix.emplace(base, 2).first->second;
            for (;; ++n) {
                candidate = base + " (" + std::to_string(n) + ")";
                if (m_taken.count(candidate) == 0)
                    break;
            }
        }
        m_taken.insert(candidate);
        return candidate;
    }

private:
    std::unordered_set<std::string> m_taken;
    std::unordered_map<std::string, int> m_nextSuffix; // first n not yet known to be taken
};

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
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull() || !document.isObject()) {
        // A well-formed document whose root is not an object has no parser
        // error to show; say what is wrong instead.
        const QString reason = document.isNull() ? parseError.errorString()
                                                 : QStringLiteral("the root is not a JSON object");
        dialogs.critical(this, kImportTitle,
                         QStringLiteral("File is not a valid filter-groups JSON: ") + reason);
        return;
    }
    const QJsonArray groups = document.object().value(QStringLiteral("groups")).toArray();
    if (groups.isEmpty()) {
        dialogs.information(this, kImportTitle,
                            QStringLiteral("The file contains no filter groups."));
        return;
    }

    UniqueGroupNames names(filterGroups());
    for (const QJsonValue& value : groups) {
        const QJsonObject object = value.toObject();
        std::string base = object.value(QStringLiteral("name")).toString().toStdString();
        if (base.empty())
            base = "Imported group";
        addFilterGroup(names.take(base));
        FilterGroup* group = filterGroups().back().get(); // groups are appended
        for (const QJsonValue& ruleValue : object.value(QStringLiteral("rules")).toArray()) {
            FilterRule rule = Quorvex3::deserializeFilterRule(ruleValue.toObject());
            rule.propagationId.clear();
            group->rules.push_back(std::move(rule));
        }
    }
    refreshFilterGroupsUi();
    // The group widgets were just built; the refresh must not build them again.
    requestPlotUpdateKeepingGroupWidgets();
    flushPlotRequests();
    m_infoLabel->setText(QStringLiteral("Imported %1 filter group(s).").arg(groups.size()));
}

} // namespace Quorvex3
