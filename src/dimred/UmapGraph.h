#pragma once

// The fuzzy neighbour graph of a UMAP fit. Its edge order fixes every later
// random draw, so it is built in the iteration order of one particular
// chained hash table (the key is its own hash), reproduced here explicitly
// instead of relying on std::unordered_map, whose order differs between
// standard libraries.

#include "dimred/Umap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quorvex3 {
namespace umapdetail {

/// Bucket count of the directed table for `expected` entries: the count
/// rounded through single precision, 2 for 1, kept when a power of two,
/// else the next prime. Never below `minimum` (the number of entries really
/// inserted), so the table never has to grow.
uint64_t tableBucketCount(uint64_t expected, uint64_t minimum);

/// Smallest prime >= n (n >= 2).
uint64_t nextPrime(uint64_t n);

/// The iteration order of the chained table after inserting `keys` in the
/// given order into `buckets` buckets: a key whose bucket is empty goes to
/// the front of the whole sequence, one whose bucket holds keys goes
/// directly before the first key of that bucket. Returns the positions in
/// `keys`, in iteration order. Keys must be distinct.
std::vector<uint32_t> chainedTableOrder(const std::vector<uint64_t>& keys, uint64_t buckets);

/// The symmetrised fuzzy graph from the k-nearest-neighbour tables (n x k,
/// index -1 where there is none) and the per-row sigma and rho: directed
/// memberships w, combined as w + w' - w w' per undirected pair, in the
/// order of the directed table; pairs with a combined weight of 0 are left
/// out.
std::vector<UmapEdge> buildFuzzyGraph(const std::vector<int>& knnIdx,
                                      const std::vector<double>& knnDist, size_t n, size_t k,
                                      const std::vector<double>& sigma,
                                      const std::vector<double>& rho);

} // namespace umapdetail
} // namespace Quorvex3
