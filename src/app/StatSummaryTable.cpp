#include "app/StatSummaryTable.h"

#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "stats/DatasetSummary.h"
#include "stats/SummaryStatistics.h"

#include <memory>
#include <optional>

namespace Quorvex3 {

namespace {

std::string headerLabel(const std::vector<StatSummarySource>& sources, const std::string& feature) {
    for (const StatSummarySource& source : sources)
        if (source.reader && source.reader->hasFeature(feature)) {
            const std::string label = source.reader->getFeatureLabel(feature);
            return label.empty() ? feature : label;
        }
    return feature;
}

} // namespace

std::string buildStatSummaryTable(const std::vector<StatSummarySource>& sources,
                                  const StatSummaryResult& result) {
    const std::vector<SummaryColumn> columns = summaryColumns(result);
    std::vector<std::string> labels;
    labels.reserve(result.features.size());
    for (const std::string& feature : result.features)
        labels.push_back(headerLabel(sources, feature));
    std::string table = statSummaryHeader(labels, columns, result.percentile);

    using Cells = std::vector<std::optional<double>>;
    for (const StatSummarySource& source : sources) {
        std::vector<std::optional<Cells>> features(result.features.size());
        if (source.reader) {
            const std::vector<int> shown = shownEvents(*source.reader, source.filter);
            for (std::size_t f = 0; f < result.features.size(); ++f) {
                const std::string& name = result.features[f];
                if (!source.reader->hasFeature(name))
                    continue;
                // Held while the values are copied, whatever registers meanwhile.
                const std::shared_ptr<const std::vector<double>> column =
                    source.reader->featureColumn(name);
                std::vector<double> values =
                    column ? collectShownFiniteValues(*column, shown) : std::vector<double>();
                features[f] =
                    computeSummaryStatistics(std::move(values), columns, result.percentile);
            }
        }
        table += statSummaryRow(source.displayName, features, columns.size());
    }
    return table;
}

} // namespace Quorvex3
