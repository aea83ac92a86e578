#pragma once

#include "session/SessionDocument.h"

#include <QDir>
#include <QString>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;
struct DatasetEntry;

// ---- paths ------------------------------------------------------------------

/// `path` with ".QV3" appended, unless it already ends in that suffix in any
/// mix of case.
QString withSessionSuffix(const QString& path);

/// The absolute folder of a session file; stored measurement paths are
/// relative to it.
QDir sessionFolder(const QString& sessionFilePath);

/// The "filePath" text of a measurement: its path relative to the session
/// folder, climbing to parent folders where needed ("a.rtdc" beside the
/// session, "../meas/a.rtdc" from a sibling folder), so the session and its
/// measurements can move together.
QString storedDatasetPath(const QString& measurementPath, const QDir& sessionDir);

/// Where a stored "filePath" points.
struct ResolvedDatasetPath {
    /// Absolute, cleaned path: the stored path taken against the session
    /// folder (an absolute stored path unchanged). Shown to the user when
    /// the file is missing.
    QString absolutePath;
    /// True only for an existing file; a folder (an empty stored path names
    /// the session folder itself) or nothing at all counts as not found.
    bool found = false;
};
ResolvedDatasetPath resolveStoredDatasetPath(const QString& storedPath, const QDir& sessionDir);

// ---- fingerprints ----------------------------------------------------------

/// The first 12 lowercase hex digits of the SHA-256 of `names` sorted
/// byte-wise and concatenated with nothing between them. Give it the names
/// of the features stored in the file (see featureHashOf).
QString computeFeatureHash(std::vector<std::string> names);

/// computeFeatureHash over the reader's features without those the program
/// computed, so derived features never change it.
QString featureHashOf(const RTDCReader& reader);

/// The fingerprint of the measurement at `filePath` opened by `reader`:
/// the file's size (absent when it is not a readable file), the event count
/// and the feature hash.
SessionFingerprint fingerprintOf(const RTDCReader& reader, const QString& filePath);

/// True when every value of `stored` is present and equals `actual`
/// (hashes compared exactly). False means: ask whether to load anyway.
bool fingerprintMatches(const SessionFingerprint& stored, const SessionFingerprint& actual);

// ---- datasets ----------------------------------------------------------------

/// For each position of a dataset list given by its readers: the position
/// of the first earlier dataset sharing the same reader, or -1. A null
/// reader shares with nothing.
std::vector<int> duplicateSources(const std::vector<const RTDCReader*>& readers);

/// The checks of a stored dataset that need its opened measurement. An
/// event index outside -1..eventCount-1 becomes -1. Crosstalk compensation
/// stays applied only when the file has every stored channel
/// (`fileChannels`: the channel numbers of its "fl<N>_max" features);
/// otherwise it is cleared. Each change is added to `repairs` when given.
void checkAgainstMeasurement(SessionDataset& dataset, std::size_t eventCount,
                             const std::vector<int>& fileChannels,
                             std::vector<QString>* repairs = nullptr);

/// How the user's messages name a stored dataset: its display name, else
/// the file name of its path, else "dataset N" (N from 1).
QString sessionDatasetLabel(const SessionDataset& dataset, int sessionIndex);

/// The session record of every dataset of the main window's list, in list
/// order: paths relative to `sessionDir`, fingerprints from the datasets'
/// readers and files, and duplicates (datasets sharing a reader with an
/// earlier one) marked with the first such dataset's position.
std::vector<SessionDataset>
sessionDatasetsFromEntries(const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                           const QDir& sessionDir);

/// Copies a stored dataset's settings into the entry created for it: the
/// display name (an empty stored name keeps the entry's), plot settings,
/// event index, applied computations with their parameters (the spillover
/// matrix as channels x channels), the filter and the group switches. The
/// checks of checkAgainstMeasurement run first against the entry's reader
/// (no reader: no events) and `fileChannels`.
void applySessionDataset(const SessionDataset& stored, DatasetEntry& entry,
                         const std::vector<int>& fileChannels,
                         std::vector<QString>* repairs = nullptr);

// ---- loading ---------------------------------------------------------------

/// A duplicate to recreate once the reopened datasets are loaded.
struct SessionDuplicate {
    /// Its position in the session's "datasets".
    int sessionIndex = -1;
    /// Id of the reopened dataset whose measurement it shares.
    int sourceId = -1;
};

/// The duplicates of `document` whose source was reopened (has an entry in
/// `sessionIdMap`, session index -> new dataset id), in session order; a
/// duplicate of a skipped dataset is left out. They are made after all
/// reopened datasets, then every dataset is put back at its session
/// position.
std::vector<SessionDuplicate> duplicatesToRecreate(const SessionDocument& document,
                                                   const std::map<int, int>& sessionIdMap);

/// Id of the dataset made for the session's active dataset, found through
/// `sessionIdMap` because skipped datasets and recreated duplicates change
/// list positions; -1 when that dataset was not restored (make the first
/// one active then).
int activeDatasetId(const SessionDocument& document, const std::map<int, int>& sessionIdMap);

/// What a load could not restore as stored, in the order the user reads
/// it: the lines of each restored dataset (a key of `sessionIdMap`) in
/// session order, then the document's own.
std::vector<QString> sessionLoadRepairs(const SessionDocument& document,
                                        const std::map<int, int>& sessionIdMap);

/// The text of the one warning that ends a load which could not restore
/// everything as saved: the document's `repairs` and the computations that
/// could not be redone (`failures`), every line of them (repairReport;
/// repairReportMessage makes the box of it); empty when both lists are
/// empty.
QString sessionLoadReport(const std::vector<QString>& repairs,
                          const std::vector<QString>& failures);

} // namespace Quorvex3
