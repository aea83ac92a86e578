#include "services/SessionSummary.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace Quorvex3 {

namespace {

QString yesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

void appendFilterRules(QString& summary, const EventFilter& filter) {
    if (filter.ruleCount() == 0)
        return;
    summary += QStringLiteral("Filter rules (%1, enabled=%2):\n")
                   .arg(filter.ruleCount())
                   .arg(yesNo(filter.isEnabled()));
    for (const FilterRule& rule : filter.rules()) {
        const QString inverted = rule.inverted ? QStringLiteral(" [inverted]") : QString();
        if (rule.type == 1)
            summary += QStringLiteral("  polygon %1/%2 (%3 verts)%4\n")
                           .arg(fromUtf8(rule.featureName), fromUtf8(rule.featureNameY),
                                QString::number(rule.polygonVertices.size()), inverted);
        else
            summary += QStringLiteral("  range %1 [%2, %3]%4\n")
                           .arg(fromUtf8(rule.featureName), QString::number(rule.minValue, 'g', 6),
                                QString::number(rule.maxValue, 'g', 6), inverted);
    }
}

void appendCalculations(QString& summary, const DatasetEntry& entry) {
    QStringList names;
    if (entry.flRefinementApplied)
        names << QStringLiteral("fl-refinement");
    if (entry.ctcApplied)
        names << QStringLiteral("crosstalk-compensation");
    if (entry.emodApplied)
        names << QStringLiteral("emodulus");
    if (entry.fcDeformApplied)
        names << QStringLiteral("fourier-deformation");
    if (!names.isEmpty())
        summary += QStringLiteral("Calculations: %1\n").arg(names.join(QStringLiteral(", ")));
}

void appendDataset(QString& summary, const DatasetEntry& entry, int number) {
    summary += QStringLiteral("\n--- Dataset %1 ---\n").arg(number);
    if (entry.reader)
        summary += QStringLiteral("Events: %1\n").arg(entry.reader->getEventCount());
    summary += QStringLiteral("Loaded: %1\n").arg(yesNo(entry.featuresLoaded));
    const RTDCMetadata& metadata = entry.metadata;
    appendSummarySection(summary, "experiment", metadata.experiment);
    appendSummarySection(summary, "setup", metadata.setup);
    appendSummarySection(summary, "imaging", metadata.imaging);
    appendSummarySection(summary, "online_contour", metadata.onlineContour);
    appendSummarySection(summary, "online_filter", metadata.onlineFilter);
    appendSummarySection(summary, "fluorescence", metadata.fluorescence);
    appendSummarySection(summary, "export", metadata.exportSection);
    appendFilterRules(summary, entry.filter);
    appendCalculations(summary, entry);
}

} // namespace

const std::vector<std::pair<std::string, std::string>>& summaryExcludedKeys() {
    static const std::vector<std::pair<std::string, std::string>> s_excluded = {
        {"experiment", "sample"}, {"export", "changed sample name"}};
    return s_excluded;
}

void appendSummarySection(QString& summary, const char* section,
                          const std::map<std::string, std::string>& entries) {
    if (entries.empty())
        return;
    summary += QStringLiteral("[%1]\n").arg(QString::fromUtf8(section));
    const auto& excluded = summaryExcludedKeys();
    for (const auto& [key, value] : entries) {
        const bool skip = std::any_of(excluded.begin(), excluded.end(), [&](const auto& pair) {
            return pair.first == section && pair.second == key;
        });
        if (!skip)
            summary += QStringLiteral("  %1: %2\n").arg(fromUtf8(key), fromUtf8(value));
    }
}

QString buildSessionSummary(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                            bool filterActive) {
    QString summary = QStringLiteral("Datasets: %1\n").arg(datasets.size());
    if (filterActive)
        summary += QStringLiteral("Global filter: active\n");
    int number = 0;
    for (const auto& entry : datasets)
        if (entry)
            appendDataset(summary, *entry, ++number);
    return summary;
}

PrivateTerms datasetPrivateTerms(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) {
    PrivateTerms terms;
    for (const auto& entry : datasets) {
        if (!entry)
            continue;
        const QString path = fromUtf8(entry->filePath);
        if (!path.isEmpty()) {
            const QFileInfo file(path);
            terms.paths << path << file.absolutePath();
            terms.names << file.fileName() << file.completeBaseName();
        }
        terms.names << entry->displayName;
        for (const auto* section : {&entry->metadata.experiment, &entry->metadata.exportSection})
            for (const auto& [key, value] : *section)
                if (key == "sample" || key == "changed sample name")
                    terms.names << fromUtf8(value);
    }
    return terms;
}

} // namespace Quorvex3
