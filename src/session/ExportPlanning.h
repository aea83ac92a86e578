#pragma once

#include "core/EventFilter.h"
#include "core/RTDCMetadata.h"
#include "session/ExportResult.h"

#include <QString>

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

enum class ExportFormat { Rtdc, Tsv, Avi };

/// The measurement's metadata entry that states how many events the file
/// holds: an export states its own count there.
inline constexpr const char* kExperimentEventCount = "experiment:event count";

/// TSV when formatTsv is set, else AVI when formatAvi is set, else .rtdc.
ExportFormat exportFormatOf(const ExportResult& result);

/// The chosen folder when useCustomDirectory is set, else the folder of the
/// measurement at `filePath` (UTF-8).
QString exportFolder(const std::string& filePath, const ExportResult& result);

/// "QV3export_" + the measurement's file name; for TSV and AVI a final
/// ".rtdc" (any case) is replaced by ".tsv" or ".avi" (else appended).
QString exportFileName(const std::string& filePath, ExportFormat format);

/// folder/name when no such file exists, else the first free
/// folder/base_n.suffix for n = 2, 3, ... (base: the name up to its last
/// dot; a name without dot gets base_n).
QString firstFreeExportPath(const QString& folder, const QString& name);

/// The events an export writes and the filter that chose them.
struct EventSelection {
    /// Ascending event indices of the source.
    std::vector<int> indices;
    /// False when every event is taken (filter off or without rules).
    bool filterApplied = false;
    /// The rules that took part in choosing (see rulesTakingPart), with the
    /// filter's combine mode: what the exported file records.
    EventFilter recordedFilter;
};

/// Every event when `effective` is disabled or has no rules; otherwise the
/// events EventFilter::apply shows over the reader's columns. Reads the
/// required columns through the reader (cached after a preload).
EventSelection selectExportEvents(const EventFilter& effective, RTDCReader& reader);

/// The wanted scalar names, in their order and without repeats, that the
/// reader lists (file and derived features); names it lacks are left out.
std::vector<std::string> selectExportFeatures(const std::vector<std::string>& wanted,
                                              const RTDCReader& reader);

/// The display name (UTF-8) when it differs from the experiment's "sample"
/// value (absent counts as empty), else empty.
std::string changedSampleName(const QString& displayName, const RTDCMetadata& metadata);

/// Today's local date as "YYYY-MM-DD".
std::string localIsoDate();

/// Replaces backslash, line feed, carriage return and tab by "\\", "\n",
/// "\r" and "\t", so a text stays on its line and in its column.
std::string escapeHeaderText(const std::string& text);

} // namespace Quorvex3
