#include "session/SessionDatasets.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "model/RepairReport.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QStringList>
#include <QtGlobal>

#include <armadillo>

#include <algorithm>

namespace Quorvex3 {

// ---- paths ------------------------------------------------------------------

QString withSessionSuffix(const QString& path) {
    const QString suffix = QStringLiteral(".QV3");
    return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}

QDir sessionFolder(const QString& sessionFilePath) {
    return QDir(QFileInfo(sessionFilePath).absolutePath());
}

QString storedDatasetPath(const QString& measurementPath, const QDir& sessionDir) {
    return sessionDir.relativeFilePath(QFileInfo(measurementPath).absoluteFilePath());
}

ResolvedDatasetPath resolveStoredDatasetPath(const QString& storedPath, const QDir& sessionDir) {
    ResolvedDatasetPath resolved;
    resolved.absolutePath = QDir::cleanPath(sessionDir.absoluteFilePath(storedPath));
    resolved.found = QFileInfo(resolved.absolutePath).isFile();
    return resolved;
}

// ---- fingerprints ----------------------------------------------------------

QString computeFeatureHash(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& name : names)
        hash.addData(name.data(), static_cast<int>(name.size()));
    return QString::fromLatin1(hash.result().toHex().left(12));
}

QString featureHashOf(const RTDCReader& reader) {
    std::vector<std::string> stored = reader.getAvailableFeatures();
    stored.erase(std::remove_if(stored.begin(), stored.end(),
                                [&reader](const std::string& name) {
                                    return reader.isCalculatedFeature(name);
                                }),
                 stored.end());
    return computeFeatureHash(std::move(stored));
}

SessionFingerprint fingerprintOf(const RTDCReader& reader, const QString& filePath) {
    SessionFingerprint fingerprint;
    const QFileInfo file(filePath);
    if (file.isFile())
        fingerprint.fileSize = file.size();
    fingerprint.eventCount = static_cast<std::int64_t>(reader.getEventCount());
    fingerprint.featureHash = featureHashOf(reader);
    return fingerprint;
}

bool fingerprintMatches(const SessionFingerprint& stored, const SessionFingerprint& actual) {
    return stored.fileSize && stored.eventCount && stored.fileSize == actual.fileSize &&
           stored.eventCount == actual.eventCount && !stored.featureHash.isEmpty() &&
           stored.featureHash == actual.featureHash;
}

// ---- datasets ----------------------------------------------------------------

std::vector<int> duplicateSources(const std::vector<const RTDCReader*>& readers) {
    std::vector<int> sources(readers.size(), -1);
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (!readers[i])
            continue;
        const auto first = std::find(readers.begin(), readers.begin() + i, readers[i]);
        if (first != readers.begin() + i)
            sources[i] = static_cast<int>(first - readers.begin());
    }
    return sources;
}

void checkAgainstMeasurement(SessionDataset& dataset, std::size_t eventCount,
                             const std::vector<int>& fileChannels, std::vector<QString>* repairs) {
    const auto note = [&](const QString& what) {
        if (repairs)
            repairs->push_back(dataset.displayName + QStringLiteral(": ") + what);
    };
    if (dataset.currentEventIndex < -1 ||
        (dataset.currentEventIndex >= 0 &&
         static_cast<std::size_t>(dataset.currentEventIndex) >= eventCount)) {
        note(QStringLiteral("event %1 is past the measurement's last event; no event selected")
                 .arg(dataset.currentEventIndex));
        dataset.currentEventIndex = -1;
    }
    if (!dataset.ctcApplied)
        return;
    const bool allPresent =
        std::all_of(dataset.ctcChannels.begin(), dataset.ctcChannels.end(), [&](int channel) {
            return std::find(fileChannels.begin(), fileChannels.end(), channel) !=
                   fileChannels.end();
        });
    if (allPresent)
        return;
    qWarning("Session: dataset \"%s\": the measurement lacks a compensated fluorescence "
             "channel; the compensation is not recomputed",
             qUtf8Printable(dataset.displayName));
    note(QStringLiteral("the measurement lacks a compensated fluorescence channel; crosstalk "
                        "compensation left out"));
    dataset.ctcApplied = false;
    dataset.ctcChannels.clear();
    dataset.spilloverMatrix.clear();
}

QString sessionDatasetLabel(const SessionDataset& dataset, int sessionIndex) {
    if (!dataset.displayName.isEmpty())
        return dataset.displayName;
    const QString file = QFileInfo(dataset.filePath).fileName();
    return file.isEmpty() ? QStringLiteral("dataset %1").arg(sessionIndex + 1) : file;
}

namespace {

// Row by row; a matrix that does not fit the channels is left out, which
// reads back as compensation not applied.
std::vector<double> rowMajor(const arma::Mat<double>& matrix, std::size_t channels) {
    std::vector<double> values;
    if (matrix.n_rows != channels || matrix.n_cols != channels)
        return values;
    for (std::size_t r = 0; r < channels; ++r)
        for (std::size_t c = 0; c < channels; ++c)
            values.push_back(matrix(r, c));
    return values;
}

arma::Mat<double> squareMatrix(const std::vector<double>& values, std::size_t channels) {
    arma::Mat<double> matrix;
    if (channels == 0 || values.size() != channels * channels)
        return matrix;
    matrix.set_size(channels, channels);
    for (std::size_t r = 0; r < channels; ++r)
        for (std::size_t c = 0; c < channels; ++c)
            matrix(r, c) = values[r * channels + c];
    return matrix;
}

SessionDataset sessionDatasetFromEntry(const DatasetEntry& entry, const QDir& sessionDir) {
    SessionDataset d;
    const QString path = QString::fromStdString(entry.filePath);
    d.filePath = storedDatasetPath(path, sessionDir);
    d.displayName = entry.displayName;
    d.xFeatureName = entry.xFeatureName;
    d.yFeatureName = entry.yFeatureName;
    d.colorFeatureName = entry.colorFeatureName;
    d.currentEventIndex = entry.currentEventIndex;
    d.contourMode = entry.contourMode;
    d.contourFraction1 = entry.contourFraction1;
    d.contourFraction2 = entry.contourFraction2;
    d.scaleXMode = entry.scaleXMode;
    d.scaleYMode = entry.scaleYMode;
    d.flRefinementApplied = entry.flRefinementApplied;
    d.ctcApplied = entry.ctcApplied;
    d.ctcChannels = entry.ctcChannels;
    d.spilloverMatrix = rowMajor(entry.spilloverMatrix.value(), entry.ctcChannels.size());
    d.emodApplied = entry.emodApplied;
    d.emodParams = entry.emodParams;
    d.fcDeformApplied = entry.fcDeformApplied;
    d.imageFeaturesApplied = entry.imageFeaturesApplied;
    if (entry.reader)
        d.fingerprint = fingerprintOf(*entry.reader, path);
    else if (QFileInfo(path).isFile())
        d.fingerprint.fileSize = QFileInfo(path).size();
    d.filter = entry.filter;
    d.groupEnabled.insert(entry.groupEnabled.begin(), entry.groupEnabled.end());
    return d;
}

} // namespace

std::vector<SessionDataset>
sessionDatasetsFromEntries(const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                           const QDir& sessionDir) {
    std::vector<const RTDCReader*> readers;
    for (const auto& entry : entries)
        readers.push_back(entry->reader.get());
    const std::vector<int> sources = duplicateSources(readers);
    std::vector<SessionDataset> datasets;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SessionDataset& d = datasets.emplace_back(sessionDatasetFromEntry(*entries[i], sessionDir));
        d.isDuplicate = sources[i] >= 0;
        d.duplicateOfIndex = sources[i];
    }
    return datasets;
}

void applySessionDataset(const SessionDataset& stored, DatasetEntry& entry,
                         const std::vector<int>& fileChannels, std::vector<QString>* repairs) {
    SessionDataset d = stored;
    // Named as the user sees the dataset in the list.
    if (d.displayName.isEmpty())
        d.displayName = entry.displayName;
    checkAgainstMeasurement(d, entry.reader ? entry.reader->getEventCount() : 0, fileChannels,
                            repairs);
    d.displayName = stored.displayName;
    if (!d.displayName.isEmpty())
        entry.displayName = d.displayName;
    entry.xFeatureName = d.xFeatureName;
    entry.yFeatureName = d.yFeatureName;
    entry.colorFeatureName = d.colorFeatureName;
    entry.currentEventIndex = d.currentEventIndex;
    entry.contourMode = d.contourMode;
    entry.contourFraction1 = d.contourFraction1;
    entry.contourFraction2 = d.contourFraction2;
    entry.scaleXMode = d.scaleXMode;
    entry.scaleYMode = d.scaleYMode;
    entry.flRefinementApplied = d.flRefinementApplied;
    entry.ctcApplied = d.ctcApplied;
    entry.ctcChannels = d.ctcChannels;
    entry.spilloverMatrix = squareMatrix(d.spilloverMatrix, d.ctcChannels.size());
    entry.emodApplied = d.emodApplied;
    entry.emodParams = d.emodParams;
    entry.fcDeformApplied = d.fcDeformApplied;
    entry.imageFeaturesApplied = d.imageFeaturesApplied;
    entry.filter = d.filter;
    entry.groupEnabled.clear();
    entry.groupEnabled.insert(d.groupEnabled.begin(), d.groupEnabled.end());
}

// ---- loading ---------------------------------------------------------------

std::vector<SessionDuplicate> duplicatesToRecreate(const SessionDocument& document,
                                                   const std::map<int, int>& sessionIdMap) {
    std::vector<SessionDuplicate> duplicates;
    for (std::size_t i = 0; i < document.datasets.size(); ++i) {
        const SessionDataset& d = document.datasets[i];
        const auto source = sessionIdMap.find(d.duplicateOfIndex);
        if (d.isDuplicate && source != sessionIdMap.end())
            duplicates.push_back({static_cast<int>(i), source->second});
    }
    return duplicates;
}

int activeDatasetId(const SessionDocument& document, const std::map<int, int>& sessionIdMap) {
    const auto active = sessionIdMap.find(document.activeDatasetIndex);
    return active != sessionIdMap.end() ? active->second : -1;
}

} // namespace Quorvex3

namespace Quorvex3 {

std::vector<QString> sessionLoadRepairs(const SessionDocument& document,
                                        const std::map<int, int>& sessionIdMap) {
    std::vector<QString> lines;
    for (const auto& [sessionIndex, id] : sessionIdMap) {
        if (sessionIndex < 0 || static_cast<std::size_t>(sessionIndex) >= document.datasets.size())
            continue;
        const auto& own = document.datasets[static_cast<std::size_t>(sessionIndex)].repairs;
        lines.insert(lines.end(), own.begin(), own.end());
    }
    lines.insert(lines.end(), document.repairs.begin(), document.repairs.end());
    return lines;
}

QString sessionLoadReport(const std::vector<QString>& repairs,
                          const std::vector<QString>& failures) {
    return repairReport(
        {{QStringLiteral("Some stored values could not be used; they were "
                         "replaced by their defaults or left out:"),
          repairs},
         {QStringLiteral("Derived features could not be computed again:"), failures}});
}

} // namespace Quorvex3
