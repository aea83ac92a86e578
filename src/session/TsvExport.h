#pragma once

#include "core/RTDCMetadata.h"
#include "session/ExportProgress.h"

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace Quorvex3 {

/// One column of a TSV export: its heading and the feature's values (one
/// per source event; null or short columns give empty cells).
struct TsvColumn {
    std::string label;
    const std::vector<double>* values = nullptr;
};

/// The comment lines that open a dataset's TSV export, without line feeds:
/// "# Quorvex3 TSV Export", the export's date, event count and (when not
/// empty) changed sample name, "# key = value" for every metadata entry in
/// key order ("experiment:event count" stating `eventCount`), then "#".
/// Keys and values are escaped (escapeHeaderText).
std::vector<std::string> tsvHeaderLines(std::size_t eventCount,
                                        const std::string& changedSampleName,
                                        const RTDCMetadata& metadata, const std::string& date);

/// Appends the shortest text that reads back as exactly `value`
/// (std::to_chars: plain or scientific notation, whichever is shorter), in
/// any locale; NaN as "nan" whatever its sign bit, infinities as "inf" and
/// "-inf".
void appendTsvNumber(std::string& out, double value);

/// Writes the table atomically to `path` as UTF-8: the header lines, the
/// column headings (escaped) joined by tabs, then one line per listed event
/// with the column values at that event, tab-separated. Rows are formatted
/// on several threads; the bytes do not depend on their number. False, with
/// the reason in `error`, when the file could not be created
/// (`openFailed` set), written, or `progress` (told the rows written of
/// the listed events) cancelled it; an existing file then stays as it was
/// and nothing is left behind.
bool writeTsvFile(const QString& path, const std::vector<std::string>& headerLines,
                  const std::vector<TsvColumn>& columns, const std::vector<int>& indices,
                  bool& openFailed, QString& error, const ExportProgress& progress = {});

} // namespace Quorvex3
