#pragma once

#include <cstdint>

namespace Quorvex3 {

/// Parameters of a UMAP fit. A default record holds the defaults below.
struct UmapParams {
    /// Neighbourhood size of each event; larger values favour global shape
    /// over local detail.
    int32_t n_neighbors = 15;
    /// Smallest distance between embedded points in the target curve; larger
    /// values spread clumps out.
    double min_dist = 0.1;
    /// Scale of the embedded points; larger values spread everything out.
    double spread = 1.0;
    /// Optimisation epochs; 0 (or less) chooses 500 up to 10000 rows, else 200.
    int32_t n_epochs = 0;
    /// Initial step size of the optimisation.
    double learning_rate = 1.0;
    /// Weight of the negative samples; larger values push unrelated events apart.
    double repulsion_strength = 1.0;
    /// Negative samples per positive sample; below 1 no negative sampling.
    int32_t negative_sample_rate = 5;
    /// Seed of the random number engine; the same seed gives the same embedding.
    uint64_t seed = 42;
    /// Initial layout: 0 spectral, 1 random.
    int32_t init = 0;
};

} // namespace Quorvex3
