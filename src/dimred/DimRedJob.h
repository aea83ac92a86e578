#pragma once
// The work of the dimension-reduction actions without any window: the
// training and event matrices read from measurements, the fit (PCA or UMAP,
// optionally followed by DBSCAN of the training embedding), the reference
// built from a fit, and the placing of events with a stored reference.
// The results are returned as columns; writing them to a reader is the
// caller's step (writeDimRedColumns).

#include "dimred/DimRedReference.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// Clustering of a fitted embedding.
struct DimRedClusterSettings {
    bool enabled = false;
    int minPts = 10;
    bool epsAuto = true;
    double eps = 0.5;
};

/// Everything a fit needs, built on the GUI thread before the task starts.
struct DimRedFitInput {
    int method = 0; ///< 0 PCA, anything else UMAP
    std::vector<std::string> features;
    DimRedMatrix training;
    /// (target number, event index) of every training row, in row order; the
    /// target number indexes `targets`, or is npos for a fit dataset that
    /// receives no coordinates.
    std::vector<std::pair<size_t, size_t>> provenance;
    std::vector<DimRedMatrix> targets; ///< one row per event of each target
    UmapParams umap;
    DimRedClusterSettings cluster;
};

/// New columns of one target: one value per event.
struct DimRedColumns {
    std::vector<double> x;
    std::vector<double> y;
    /// Cluster ids (NaN where none). Empty when no valid cluster model came
    /// out: the caller then clears an old "dr_cluster" instead of keeping it.
    std::vector<double> cluster;
};

struct DimRedFitResult {
    DimRedModel model; ///< invalid when the fit failed; then `columns` is empty
    UmapModel umap;
    DimRedClusterModel cluster;
    std::vector<DimRedColumns> columns; ///< one per target
};

/// A default UMAP model: no training data, default parameters, initUsed 1.
std::shared_ptr<UmapModel> makeUmapModel();

/// Appends the rows of `candidates` whose selected values are all finite
/// (and present) to `training`, recording (tag, event) for each. `training`
/// must have cols equal to the number of features.
void appendTrainingRows(RTDCReader& reader, const std::vector<std::string>& features,
                        const std::vector<int>& candidates, size_t tag, DimRedMatrix& training,
                        std::vector<std::pair<size_t, size_t>>& provenance);
/// All events of the reader, one column per feature; NaN where a column
/// is short or missing.
DimRedMatrix buildEventMatrix(RTDCReader& reader, const std::vector<std::string>& features);

/// Fits the projection and computes every target's columns. Progress as
/// the fit action reports it (PCA 45, 45 + 40k/n; UMAP 0..60, 60 + 25k/n;
/// 100 at the end). Fitted UMAP training events keep their fitted position.
DimRedFitResult fitDimReduction(const DimRedFitInput& input, const DimRedProgress& progress);

/// Places every event of each target with a stored reference (no refit;
/// UMAP events are all transformed anew). Progress k*100/T after target k.
std::vector<DimRedColumns> applyDimRedReference(const DimRedReference& reference,
                                                const std::vector<DimRedMatrix>& targets,
                                                const DimRedProgress& progress);

/// The session reference of a successful fit (result.model valid).
DimRedReference makeFittedReference(int method, const DimRedFitResult& result,
                                    const std::string& fitDatasets, const std::string& created);

/// Writes "dim_1", "dim_2" and "dr_cluster" to the reader. Without cluster
/// ids an existing "dr_cluster" is replaced by NaN so no stale labels stay
/// beside the new embedding; none is added when the reader has none.
void writeDimRedColumns(RTDCReader& reader, DimRedColumns columns);

} // namespace Quorvex3
