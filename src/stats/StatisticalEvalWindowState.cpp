// The window's session state: saveState writes the categories with their
// datasets (as session positions) and every setting; restoreState rebuilds
// the window from such an object and never fails. Values a hand-edited or
// damaged file may hold (NaN, a tab that does not exist, a number too large
// for an int, a colour that is no colour) take their defaults.
#include "stats/StatisticalEvalWindow.h"

#include "model/DatasetEntry.h"
#include "stats/CategoryPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonValue>
#include <QListWidget>
#include <QSet>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>

namespace Quorvex3 {

namespace {

constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr int kIntMax = std::numeric_limits<int>::max();

/// An integer stored as a JSON number (Qt 5 reads every number as a
/// double): empty unless it is whole and within [lowest, highest].
std::optional<int> wholeNumber(const QJsonValue& value, int lowest, int highest) {
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < lowest || d > highest)
        return std::nullopt;
    return static_cast<int>(d);
}

void chooseText(QComboBox* combo, const QJsonValue& value, const QString& fallback) {
    const int index = combo->findText(value.isString() ? value.toString() : fallback,
                                      Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

} // namespace

QJsonObject StatisticalEvalWindow::saveState(const DatasetStore::DatasetList& datasets) const {
    std::unordered_map<int, int> positions;
    for (std::size_t i = 0; i < datasets.size(); ++i)
        if (datasets[i])
            positions[datasets[i]->id] = static_cast<int>(i);

    QJsonArray categories;
    for (const CategoryPanel* panel : m_categoryPanels) {
        QJsonArray entries;
        for (const CategoryDatasetEntry& entry : panel->entries()) {
            const auto position = positions.find(entry.datasetId);
            if (position == positions.end())
                continue;
            entries.append(QJsonObject{{QStringLiteral("datasetSessionIndex"), position->second},
                                       {QStringLiteral("numberId"), entry.numberId},
                                       {QStringLiteral("bioRepId"), entry.bioRepId},
                                       {QStringLiteral("techRepId"), entry.techRepId}});
        }
        categories.append(QJsonObject{{QStringLiteral("name"), panel->categoryName()},
                                      {QStringLiteral("removable"), panel->isRemovable()},
                                      {QStringLiteral("color"), panel->color().name()},
                                      {QStringLiteral("entries"), entries}});
    }
    QJsonArray selected;
    for (const QListWidgetItem* item : m_featureList->selectedItems())
        selected.append(item->data(Qt::UserRole).toString());

    QJsonObject state;
    state.insert(QStringLiteral("categories"), categories);
    state.insert(QStringLiteral("selectedFeatures"), selected);
    state.insert(QStringLiteral("alpha"), m_alphaSpin->value());
    state.insert(QStringLiteral("correctionMethod"), m_correctionCombo->currentText());
    state.insert(QStringLiteral("averageMethod"), m_summaryCombo->currentText());
    state.insert(QStringLiteral("pairingMode"), m_designCombo->currentText());
    state.insert(QStringLiteral("technicalReplicates"), m_replicatesCheck->isChecked());
    state.insert(QStringLiteral("connectionLines"), m_connectionLinesCheck->isChecked());
    state.insert(QStringLiteral("nextCategoryIndex"), m_nextCategoryIndex);
    state.insert(QStringLiteral("activeTab"), m_tabWidget->currentIndex());
    return state;
}

void StatisticalEvalWindow::restoreState(const QJsonObject& state,
                                         const QMap<int, int>& sessionIdMap) {
    // Toggling the connection lines re-runs the comparison, which would ask
    // for a feature before the features are restored; a restore runs no
    // analysis.
    const QSignalBlocker noRun(m_connectionLinesCheck);

    for (CategoryPanel* panel : m_categoryPanels) {
        m_categoryLayout->removeWidget(panel);
        panel->disconnect(this);
        delete panel;
    }
    m_categoryPanels.clear();

    const bool replicatesNow = m_replicatesCheck->isChecked();
    for (const QJsonValue& categoryValue : state.value(QStringLiteral("categories")).toArray()) {
        const QJsonObject category = categoryValue.toObject();
        QColor colour = paletteColor(static_cast<int>(m_categoryPanels.size()));
        const QColor stored(category.value(QStringLiteral("color")).toString());
        if (stored.isValid())
            colour = stored;
        auto* panel = new CategoryPanel(category.value(QStringLiteral("name")).toString(),
                                        category.value(QStringLiteral("removable")).toBool(false),
                                        colour, m_store, m_categoryContainer);
        // The modes the current settings call for; settings the restore
        // changes below bring every panel to theirs.
        panel->setShowNumbers(isPaired() || replicatesNow);
        panel->setTechRepMode(replicatesNow);
        adoptPanel(panel);

        QSet<int> added;
        for (const QJsonValue& entryValue : category.value(QStringLiteral("entries")).toArray()) {
            const QJsonObject saved = entryValue.toObject();
            const std::optional<int> index =
                wholeNumber(saved.value(QStringLiteral("datasetSessionIndex")), 0, kIntMax);
            if (!index || !sessionIdMap.contains(*index))
                continue;
            const int id = sessionIdMap.value(*index);
            const DatasetEntry* dataset = id >= 0 && m_store ? m_store->findById(id) : nullptr;
            if (!dataset || !dataset->featuresLoaded || added.contains(id))
                continue;
            added.insert(id);
            CategoryDatasetEntry entry;
            entry.datasetId = id;
            entry.displayName = dataset->displayName;
            const auto sample = dataset->metadata.experiment.find("sample");
            if (sample != dataset->metadata.experiment.end())
                entry.sampleName = sample->second;
            const auto number = [&saved](const char* key) {
                return wholeNumber(saved.value(QLatin1String(key)), kIntMin, kIntMax).value_or(0);
            };
            entry.numberId = number("numberId");
            entry.bioRepId = number("bioRepId");
            entry.techRepId = number("techRepId");
            panel->addEntry(entry);
        }
    }

    const QJsonValue alpha = state.value(QStringLiteral("alpha"));
    m_alphaSpin->setValue(alpha.isDouble() && std::isfinite(alpha.toDouble()) ? alpha.toDouble()
                                                                              : 0.05);
    chooseText(m_correctionCombo, state.value(QStringLiteral("correctionMethod")),
               QStringLiteral("Bonferroni"));
    chooseText(m_summaryCombo, state.value(QStringLiteral("averageMethod")),
               QStringLiteral("Median"));
    chooseText(m_designCombo, state.value(QStringLiteral("pairingMode")),
               QStringLiteral("Independent / No matching"));
    m_replicatesCheck->setChecked(state.value(QStringLiteral("technicalReplicates")).toBool(false));
    m_connectionLinesCheck->setChecked(
        state.value(QStringLiteral("connectionLines")).toBool(false));
    m_nextCategoryIndex =
        wholeNumber(state.value(QStringLiteral("nextCategoryIndex")), 2, kIntMax).value_or(2);

    onCategoryChanged();

    QSet<QString> features;
    for (const QJsonValue& name : state.value(QStringLiteral("selectedFeatures")).toArray())
        features.insert(name.toString());
    for (int i = 0; i < m_featureList->count(); ++i) {
        QListWidgetItem* item = m_featureList->item(i);
        if (features.contains(item->data(Qt::UserRole).toString()))
            item->setSelected(true);
    }

    m_tabWidget->setCurrentIndex(
        wholeNumber(state.value(QStringLiteral("activeTab")), 0, m_tabWidget->count() - 1)
            .value_or(0));
}

} // namespace Quorvex3
