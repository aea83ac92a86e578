#include "stats/RocRun.h"

#include "stats/TableText.h"

#include <cstddef>

namespace Quorvex3 {

namespace {

bool hasValue(const RocEntryValues& entry, std::size_t feature) {
    return feature < entry.values.size() && entry.values[feature].has_value();
}

/// "<category>: a, b" for the datasets of the class without a value for the
/// feature; empty when there are none.
std::string missingIn(const RocClassInput& input, std::size_t feature) {
    std::string names;
    for (std::size_t e = 0; e < input.entries.size(); ++e) {
        if (hasValue(input.entries[e], feature))
            continue;
        names += names.empty() ? input.name + ": " : ", ";
        names += e < input.datasetNames.size() ? input.datasetNames[e] : std::string("?");
    }
    return names;
}

std::string leftOutWarning(const RocRunInput& input) {
    std::string lines;
    for (std::size_t f = 0; f < input.featureNames.size(); ++f) {
        std::string classes;
        for (const RocClassInput* c : {&input.negative, &input.positive}) {
            const std::string names = missingIn(*c, f);
            if (!names.empty())
                classes += (classes.empty() ? "" : "; ") + names;
        }
        if (!classes.empty())
            lines += "\n" + input.featureLabels[f] + " \xE2\x80\x94 " + classes;
    }
    if (lines.empty())
        return {};
    std::string text = "These datasets have no value for a feature (the feature is missing, or "
                       "none of their shown events has a finite value) and were left out of "
                       "that feature's ROC analysis:\n" +
                       lines;
    if (input.featureNames.size() >= 2)
        text += "\n\nThe combined (LDA) score uses only the samples that have a value for "
                "every feature.";
    return text;
}

} // namespace

int categoryIndexOfName(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> positiveClassChoices(const std::vector<std::string>& names,
                                              int negativeIndex) {
    std::vector<std::string> choices;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (static_cast<int>(i) != negativeIndex)
            choices.push_back(names[i]);
    return choices;
}

bool replicateIdsMissing(const RocClassInput& input) {
    for (const RocEntryValues& entry : input.entries)
        if (entry.numberId < 1)
            return true;
    return false;
}

RocRunOutcome runRocAnalysis(const RocRunInput& input) {
    RocRunOutcome outcome;
    const std::size_t k = input.featureNames.size();
    if (k == 0) {
        outcome.error = "Select at least one feature.";
        return outcome;
    }
    if (input.replicates &&
        (replicateIdsMissing(input.negative) || replicateIdsMissing(input.positive))) {
        outcome.error = "Replicates are enabled but some datasets have no ID assigned. "
                        "Double-click datasets to assign IDs.";
        return outcome;
    }
    const RocClassSamples neg =
        collectRocSamples(input.negative.entries, k, input.replicates, input.rootMeanSquare);
    const RocClassSamples pos =
        collectRocSamples(input.positive.entries, k, input.replicates, input.rootMeanSquare);
    const std::size_t nNeg = neg.byFeature.front().size();
    const std::size_t nPos = pos.byFeature.front().size();
    if (nNeg < 3 || nPos < 3) {
        outcome.error = "Each category needs at least 3 samples for ROC analysis. ";
        if (input.replicates)
            outcome.error += "After replicate aggregation, there are " + std::to_string(nNeg) +
                             " and " + std::to_string(nPos) + " samples.";
        return outcome;
    }
    for (std::size_t f = 0; f < k; ++f)
        outcome.features.push_back({input.featureNames[f],
                                    f < input.featureLabels.size() ? input.featureLabels[f] : "",
                                    ROCAnalysis::compute(neg.byFeature[f], pos.byFeature[f])});
    if (k >= 2)
        outcome.combined =
            ROCAnalysis::computeCombined(neg.complete, pos.complete, input.featureNames);
    outcome.leftOut = leftOutWarning(input);
    return outcome;
}

std::vector<std::string> rocTableHeader(const std::string& negativeName,
                                        const std::string& positiveName) {
    return {"Feature",     "AUC",         "Direction",         "Optimal Threshold",
            "Sensitivity", "Specificity", "N " + negativeName, "N " + positiveName};
}

std::vector<std::string> rocTableCells(const ROCResult& result, const std::string& positiveName) {
    if (!result.valid)
        return std::vector<std::string>(7, "n/a");
    return {formatFixed(result.auc, 3),
            result.higherIsPositive ? "> (higher = " + positiveName + ")"
                                    : "< (lower = " + positiveName + ")",
            formatGeneral(result.optimalThreshold, 4),
            formatFixed(result.sensitivity, 3),
            formatFixed(result.specificity, 3),
            std::to_string(result.nNegative),
            std::to_string(result.nPositive)};
}

std::string combinedRocTitle(const std::vector<std::string>& labels,
                             const std::vector<double>& weights) {
    std::string text;
    for (std::size_t j = 0; j < labels.size() && j < weights.size(); ++j)
        text += (j ? ", " : "") + labels[j] + ": " + formatGeneral(weights[j], 3);
    return "Combined (LDA)\nWeights: " + text;
}

} // namespace Quorvex3
