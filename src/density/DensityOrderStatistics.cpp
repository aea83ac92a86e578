// Order statistics of large columns (quartiles for the bandwidths, the
// density levels of the contours) without sorting or copying them whole.
#include "density/DensityDetail.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace Quorvex3::densitydetail {

namespace {

/// Below this many values a plain selection is as fast as bucketing.
constexpr std::size_t kBucketingFrom = std::size_t{1} << 15;
constexpr int kBuckets = 1 << 14;
constexpr std::size_t kBlock = std::size_t{1} << 16;

/// Runs work(block, begin, end) for each block of kBlock values, several
/// blocks to a thread: waking a thread for less costs more than it saves.
template <typename Work> void forEachBlock(std::size_t n, const Work& work) {
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    const std::size_t blocksPerThread = std::max<std::size_t>(kParallelEventsFrom / kBlock, 1);
    parallelChunks(blocks, blocksPerThread, [&](std::size_t first, std::size_t last) {
        for (std::size_t block = first; block < last; ++block)
            work(block, block * kBlock, std::min(n, (block + 1) * kBlock));
    });
}

struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
};

/// Selection on a copy of the non-NaN values, ranks taken in ascending order
/// on the shrinking upper part.
std::vector<double> selectDirectly(const std::vector<double>& values,
                                   const std::vector<std::size_t>& ranks) {
    std::vector<double> sorted;
    sorted.reserve(values.size());
    for (const double v : values)
        if (!std::isnan(v))
            sorted.push_back(v);
    std::vector<std::size_t> order(ranks.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return ranks[a] < ranks[b]; });
    std::vector<double> result(ranks.size());
    auto from = sorted.begin();
    for (const std::size_t i : order) {
        const auto nth = sorted.begin() + static_cast<std::ptrdiff_t>(ranks[i]);
        if (nth >= from) {
            std::nth_element(from, nth, sorted.end());
            from = nth;
        }
        result[i] = *nth;
    }
    return result;
}

} // namespace

std::vector<double> orderStatistics(const std::vector<double>& values,
                                    const std::vector<std::size_t>& ranks) {
    const std::size_t n = values.size();
    if (n < kBucketingFrom)
        return selectDirectly(values, ranks);

    // The values go into buckets by size (a monotone map, so every value of
    // a bucket lies between those of the buckets beside it); only the
    // buckets holding the wanted ranks are ranked in full.
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    std::vector<Range> ranges(blocks);
    forEachBlock(n, [&](std::size_t block, std::size_t begin, std::size_t end) {
        Range r; // filled locally: the blocks' records share cache lines
        for (std::size_t i = begin; i < end; ++i) {
            const double v = values[i];
            if (std::isnan(v))
                continue;
            r.lo = std::min(r.lo, v);
            r.hi = std::max(r.hi, v);
        }
        ranges[block] = r;
    });
    Range all;
    for (const Range& r : ranges) {
        all.lo = std::min(all.lo, r.lo);
        all.hi = std::max(all.hi, r.hi);
    }
    return orderStatisticsWithin(values, ranks, all.lo, all.hi);
}

std::vector<double> orderStatisticsWithin(const std::vector<double>& values,
                                          const std::vector<std::size_t>& ranks, double lo,
                                          double hi) {
    const std::size_t n = values.size();
    if (n < kBucketingFrom)
        return selectDirectly(values, ranks);
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    struct {
        double lo;
        double hi;
    } all{lo, hi};
    const double scale = kBuckets / (all.hi - all.lo);
    if (!(scale > 0.0) || !std::isfinite(scale))
        return selectDirectly(values, ranks); // equal or unbounded values
    const auto bucketOf = [&](double v) {
        return std::min(static_cast<int>((v - all.lo) * scale), kBuckets - 1);
    };

    std::vector<std::uint32_t> counts(blocks * kBuckets, 0U);
    forEachBlock(n, [&](std::size_t block, std::size_t begin, std::size_t end) {
        std::uint32_t* own = counts.data() + block * kBuckets;
        for (std::size_t i = begin; i < end; ++i)
            if (!std::isnan(values[i]))
                ++own[bucketOf(values[i])];
    });
    std::vector<std::size_t> below(kBuckets + 1, 0);
    for (std::size_t k = 0; k < blocks; ++k)
        for (std::size_t b = 0; b < kBuckets; ++b)
            below[b + 1] += counts[k * kBuckets + b];
    for (std::size_t b = 0; b < kBuckets; ++b)
        below[b + 1] += below[b];

    // Bucket of each rank, and the values of those buckets.
    std::vector<int> bucketOfRank(ranks.size());
    std::vector<int> listOfBucket(kBuckets, -1);
    std::vector<std::vector<double>> lists;
    for (std::size_t i = 0; i < ranks.size(); ++i) {
        const auto upper = std::upper_bound(below.begin(), below.end(), ranks[i]);
        const int b = static_cast<int>(upper - below.begin()) - 1;
        bucketOfRank[i] = b;
        if (listOfBucket[static_cast<std::size_t>(b)] < 0) {
            listOfBucket[static_cast<std::size_t>(b)] = static_cast<int>(lists.size());
            lists.emplace_back();
            lists.back().reserve(below[static_cast<std::size_t>(b) + 1] -
                                 below[static_cast<std::size_t>(b)]);
        }
    }
    // Gathered block by block on several threads; the order within a
    // bucket does not matter to its ranking.
    std::vector<std::vector<std::vector<double>>> gathered(blocks);
    forEachBlock(n, [&](std::size_t block, std::size_t begin, std::size_t end) {
        std::vector<std::vector<double>>& own = gathered[block];
        own.resize(lists.size());
        for (std::size_t i = begin; i < end; ++i) {
            const double v = values[i];
            if (std::isnan(v))
                continue;
            const int list = listOfBucket[static_cast<std::size_t>(bucketOf(v))];
            if (list >= 0)
                own[static_cast<std::size_t>(list)].push_back(v);
        }
    });
    for (const std::vector<std::vector<double>>& own : gathered)
        for (std::size_t l = 0; l < own.size(); ++l)
            lists[l].insert(lists[l].end(), own[l].begin(), own[l].end());
    std::vector<double> result(ranks.size());
    for (std::size_t i = 0; i < ranks.size(); ++i) {
        const auto b = static_cast<std::size_t>(bucketOfRank[i]);
        std::vector<double>& list = lists[static_cast<std::size_t>(listOfBucket[b])];
        const auto nth = list.begin() + static_cast<std::ptrdiff_t>(ranks[i] - below[b]);
        std::nth_element(list.begin(), nth, list.end());
        result[i] = *nth;
    }
    return result;
}

} // namespace Quorvex3::densitydetail
