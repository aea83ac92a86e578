#pragma once

#include "services/FeedbackReport.h"

#include <QString>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

struct DatasetEntry;

/// (section, key) pairs the summary never writes: they hold sample names.
const std::vector<std::pair<std::string, std::string>>& summaryExcludedKeys();

/// Appends one metadata section: nothing for an empty map; otherwise the
/// heading "[section]" (even when every key is excluded) and one line
/// "  key: value" per key in byte order, skipping summaryExcludedKeys.
void appendSummarySection(QString& summary, const char* section,
                          const std::map<std::string, std::string>& entries);

/// The session summary of a feedback report: the number of datasets, the
/// global filter line when `filterActive`, then per dataset its event count,
/// load state, metadata sections (without offline_filter), own filter rules
/// and applied calculations. No display name, file path or folder.
QString buildSessionSummary(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                            bool filterActive);

/// The datasets' paths and folders, and their display, file and sample
/// names, for the report's scrubber.
PrivateTerms datasetPrivateTerms(const std::vector<std::unique_ptr<DatasetEntry>>& datasets);

} // namespace Quorvex3
