#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace Quorvex3 {

/// One dataset of a ROC class: its replicate numbers (0 or less: not
/// assigned) and its summary value per feature, in feature order; an empty
/// value is a dataset without a value for that feature.
struct RocEntryValues {
    int numberId = 0;
    int bioRepId = 0;
    std::vector<std::optional<double>> values;
};

/// The samples of one ROC class, feature-major ([feature][sample]).
struct RocClassSamples {
    /// Per feature, the samples that have a value for it: the datasets in
    /// entry order, or with replicates one aggregated value per numberId in
    /// ascending order. Datasets without a value left before aggregating.
    std::vector<std::vector<double>> byFeature;
    /// Only the samples (datasets, or numberIds) that have a value for every
    /// feature, aligned across features, for the combined LDA score.
    std::vector<std::vector<double>> complete;
};

/// The ROC samples of one class over `featureCount` features. With
/// `replicates` the values are aggregated per numberId as the group
/// comparison does (technical within biological replicates; mean, or root
/// mean square with `rootMeanSquare`); otherwise each dataset is a sample.
RocClassSamples collectRocSamples(const std::vector<RocEntryValues>& entries,
                                  std::size_t featureCount, bool replicates, bool rootMeanSquare);

} // namespace Quorvex3
