#pragma once

#include "dimred/DimRedMatrix.h"
#include "dimred/UmapParams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quorvex3 {

/// One undirected edge of the fuzzy neighbour graph.
struct UmapEdge {
    int32_t i = 0;
    int32_t j = 0;
    double weight = 0.0;
};

/// A fitted two-dimensional UMAP embedding of a (robust-scaled) training
/// matrix; immutable once fitted and shared by the references that use it.
struct UmapModel {
    std::vector<double> trainData; ///< the training matrix, row-major nTrain x nFeatures
    std::vector<double> embedding; ///< 2 x nTrain values: point i at 2i (x), 2i+1 (y)
    size_t nTrain = 0;
    size_t nFeatures = 0;
    UmapParams params; ///< n_epochs holds the epochs actually run
    double a = 0.0;    ///< curve parameters from fitAbParams
    double b = 0.0;
    int initUsed = 1; ///< 0 spectral, 1 random
    bool valid = false;
};

/// Fits the embedding. Deterministic: the same matrix, parameters and seed
/// give the same bits on every run and any thread count. Returns a default
/// (invalid) model when rows < 5, cols = 0, the graph has no edge or the
/// callback cancels. Progress: 0, 20, 30, 35, 35 + e*60/nEpochs after
/// epoch e, then 100.
UmapModel umapFit(const DimRedMatrix& matrix, const UmapParams& params,
                  const DimRedProgress& progress);

/// Places new (already scaled) rows into the model's embedding without
/// moving the training points. `out` receives 2 x rows values (x, y per
/// row); all NaN for an invalid model, a column count other than the
/// model's, or no rows. Rows holding a non-finite value stay NaN. On
/// cancellation `out` keeps the positions reached so far. Progress: 0, 30,
/// 60, 60 + e*40/E after epoch e, then 100.
void umapTransform(const UmapModel& model, const DimRedMatrix& matrix, std::vector<double>& out,
                   const DimRedProgress& progress);

/// Least-squares fit of 1 / (1 + a x^(2b)) to the target curve (1 below
/// min_dist, exp(-(x - min_dist) / spread) above) on 300 samples in
/// [0, 3 spread], by damped Gauss-Newton from a = b = 1.
void fitAbParams(double minDist, double spread, double& a, double& b);

/// Per-row bandwidth sigma and offset rho of the fuzzy sets. `dists` holds
/// n x k neighbour distances row by row (+infinity where there is none);
/// sigma is chosen so the row's memberships sum to log2(k).
void smoothKnnDist(const std::vector<double>& dists, size_t n, size_t k, std::vector<double>& sigma,
                   std::vector<double>& rho);

/// Sampling period of every edge in epochs: 1 for the heaviest edge,
/// wmax / weight for the others, -1 for an edge never sampled.
std::vector<double> makeEpochsPerSample(const std::vector<UmapEdge>& edges, int nEpochs);

} // namespace Quorvex3
