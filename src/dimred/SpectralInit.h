#pragma once

#include "dimred/DimRedMatrix.h"
#include "dimred/Umap.h"

#include <cstdint>
#include <vector>

namespace Quorvex3 {

/// A weighted undirected graph in compressed-row form: the neighbours of
/// node i are neighbours[rowStart[i] ... rowStart[i+1]-1] with the parallel
/// weights. Every edge is listed at both of its ends.
struct SpectralGraph {
    std::vector<size_t> rowStart; ///< nodes + 1 offsets
    std::vector<uint32_t> neighbours;
    std::vector<double> weights;

    size_t nodes() const { return rowStart.empty() ? 0 : rowStart.size() - 1; }
};

/// Starting layout of a UMAP fit: the two leading non-trivial eigenvectors
/// of the normalised neighbour graph per connected component, components
/// placed by classical scaling of their centroids, scaled to +-10 and
/// jittered by normal noise of standard deviation 0.0001. `embedding`
/// receives 2 x rows values. False (the caller then lays the points out at
/// random) when rows < 5, cols = 0, there is no edge, an edge leaves the
/// node range, there are more than 256 components or the layout degenerates.
bool spectralInit(const std::vector<UmapEdge>& edges, const DimRedMatrix& matrix, uint64_t seed,
                  std::vector<double>& embedding);

/// Two leading non-trivial eigenvectors of I + D^-1/2 W D^-1/2 by Lanczos
/// with deflation against the trivial vector. `out` receives 2 x nodes
/// values (x then y per node). False when the graph has fewer than 4 nodes,
/// a node without positive finite degree, or the iteration does not
/// converge.
bool computeSpectralEigenvectors(const SpectralGraph& graph, uint64_t seed,
                                 std::vector<double>& out);

} // namespace Quorvex3
