#pragma once

// Helpers shared by the density estimator's translation units (and its tests).
// Not part of the estimator's public interface.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Quorvex3::densitydetail {

inline bool isFinitePair(double x, double y) {
    return std::isfinite(x) && std::isfinite(y);
}

/// Truncates toward zero and clamps into [0, count - 1]. NaN lands on 0, so no
/// value, however degenerate, reaches an out-of-range or undefined conversion.
inline int truncateClamp(double value, int count) {
    if (!(value > 0.0))
        return 0;
    if (value >= static_cast<double>(count - 1))
        return count - 1;
    return static_cast<int>(value);
}

/// A coordinate range that is not above 0 falls back to 1.0.
inline double usableRange(double lo, double hi) {
    const double range = hi - lo;
    return range > 0.0 ? range : 1.0;
}

/// The events whose x and y are both finite, compacted, with their bounds.
/// When every event is kept, x() and y() are the columns collected from
/// (borrowed from an lvalue, which must then outlive the pairs; taken over
/// from an rvalue); otherwise they are copies held here.
struct FinitePairs {
    const std::vector<double>& x() const { return sharedX ? *sharedX : heldX; }
    const std::vector<double>& y() const { return sharedY ? *sharedY : heldY; }
    /// Event index of each kept pair; empty when every pair was kept (pair
    /// k is then event k): read it through eventOf.
    std::vector<std::size_t> index;
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;

    std::size_t size() const { return x().size(); }
    std::size_t eventOf(std::size_t pair) const { return index.empty() ? pair : index[pair]; }

    std::vector<double> heldX;
    std::vector<double> heldY;
    const std::vector<double>* sharedX = nullptr;
    const std::vector<double>* sharedY = nullptr;
};

/// Collects the finite pairs among the first min(|x|, |y|) events.
FinitePairs collectFinitePairs(const std::vector<double>& x, const std::vector<double>& y);
FinitePairs collectFinitePairs(std::vector<double>&& x, std::vector<double>&& y);
// One borrowed, one temporary column would leave a dangling borrow.
FinitePairs collectFinitePairs(const std::vector<double>& x, std::vector<double>&& y) = delete;
FinitePairs collectFinitePairs(std::vector<double>&& x, const std::vector<double>& y) = delete;

/// Square grid sizes tried by the automatic bin choice, in trial order.
std::vector<int> binCountCandidates();

/// Shimazaki-Shinomoto cost of an m x m histogram over the pairs (smaller is
/// better). counts is scratch space, resized as needed.
double binChoiceCost(const FinitePairs& pairs, int m, std::vector<std::uint32_t>& counts);

/// binChoiceCost of every candidate, in candidate order, bit for bit, from a
/// single placement of the events instead of one binning per candidate.
std::vector<double> binChoiceCosts(const FinitePairs& pairs);

/// Cells per side chosen by the lowest cost; 32 for fewer than 4 pairs.
int chooseBinCount(const FinitePairs& pairs);

/// The entries at the given 0-based ranks of the non-NaN values in ascending
/// order: exactly what sorting them and indexing would give. Every rank must
/// be below the number of non-NaN values. Large columns are bucketed on a
/// few threads instead of being copied and sorted.
std::vector<double> orderStatistics(const std::vector<double>& values,
                                    const std::vector<std::size_t>& ranks);

/// orderStatistics when the least and the greatest non-NaN value are known
/// (every non-NaN value within [lo, hi]): one pass over the values fewer.
std::vector<double> orderStatisticsWithin(const std::vector<double>& values,
                                          const std::vector<std::size_t>& ranks, double lo,
                                          double hi);

/// How much a nearest-neighbour search looked at: a measure of its cost
/// that, unlike a time, is the same on every machine and thread count.
struct KnnWork {
    std::uint64_t distances = 0; ///< squared distances computed
};

/// k-nearest-neighbour densities of the pairs, one per pair. When `work` is
/// given, what the search computed is added to it.
std::vector<double> knnDensities(const FinitePairs& pairs, KnnWork* work = nullptr);

/// Events per thread at the least in the per-event passes: below this the
/// pass takes about a millisecond, less than waking threads costs on a busy
/// machine, so it stays on the calling thread.
constexpr std::size_t kParallelEventsFrom = std::size_t{1} << 18;

/// Runs work(begin, end) over consecutive chunks of [0, count) on up to a few
/// threads (the caller's included) and returns when all are done. Only for
/// work whose items are independent and write disjoint outputs, so the result
/// is the same whatever the number of threads. Small counts run inline.
void parallelChunks(std::size_t count, std::size_t minItemsPerThread,
                    const std::function<void(std::size_t, std::size_t)>& work);

} // namespace Quorvex3::densitydetail
