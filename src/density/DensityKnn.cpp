// Exact k-nearest-neighbour densities.
//
// The events' distinct positions are hashed into a grid of cells (see
// KnnGrid). Each position's k-th neighbour distance is found exactly: a
// lower and an upper bound are derived first, the cells entirely inside the
// lower bound are counted without looking at their positions, the cells the
// upper bound cannot reach are skipped, and only the positions in between
// are ranked, each with its number of events. The bounds come from positions
// searched just before: the k-th neighbour distance moves by at most the
// distance moved, so a nearby position's result brackets it closely. The
// counts prove the result either way; a bracket that fails falls back to a
// wider one, and in the end to every position.
//
// Rounding: whether a cell lies inside or beyond a bound is decided on
// differences of coordinates (each correctly rounded, so monotone in the
// edge) against bounds widened by a relative margin far above the rounding
// of a squared distance. A position is thus counted or skipped only where
// its computed squared distance surely lies below or above the bound, and
// the result is the k-th of the squared distances as computed pair by pair.
// The argument needs squares in the normal range of doubles: a band reaches
// at least kTinyRadius, and one reaching beyond kHugeRadius takes every
// position (squares of such distances overflow, as they do pair by pair).
#include "density/DensityDetail.h"
#include "density/DensityEstimator.h"
#include "density/DensityKnnGrid.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <utility>

namespace Quorvex3 {

namespace {

using densitydetail::FinitePairs;
using densitydetail::KnnGrid;

constexpr double kPi = 3.14159265358979323846;
constexpr double kInf = std::numeric_limits<double>::infinity();

/// Widening of every bound: a squared distance is rounded by a few parts in
/// 1e16, so 1e-9 leaves a wide margin.
constexpr double kRelativeSlack = 1e-9;
/// Least reach of a band: squares of smaller radii near the subnormal range,
/// where rounding stops being relative.
constexpr double kTinyRadius = 1e-150;
/// Greatest reach of a band that skips cells: squares of larger radii near
/// overflow.
constexpr double kHugeRadius = 1e150;

/// Average events per cell of the search grid.
constexpr double kEventsPerCell = 5.0;

/// Positions searched just before a position whose results bound its search.
constexpr std::size_t kAnchorWindow = 32;

/// Positions searched one after the other on one thread. The anchors are
/// taken within such a block, so the work done, like the results, does not
/// depend on the number of threads.
constexpr std::size_t kPositionsPerBlock = 4096;

/// Buckets of the ranking step; bands smaller than kDirectRanking are
/// ranked as they are.
constexpr int kRankBuckets = 32;
constexpr std::size_t kDirectRanking = 96;

/// What one search keeps of the squared distances from a position to the
/// positions near it: how many events lie below the lower bound, and the
/// positions between the bounds (the first `kept` entries of `values`, with
/// their events in `weights` when positions may hold several).
struct Band {
    std::size_t below = 0;
    std::size_t kept = 0;
    std::size_t keptEvents = 0;
    std::uint64_t distances = 0; ///< computed by this band's searches so far
    std::vector<double> values;
    std::vector<std::size_t> weights;
    std::vector<double> scratch;
    std::vector<std::pair<double, std::size_t>> ranked;
};

/// Adds the squared distances from (x, y) to the positions of slots
/// [first, last) to the band. Weighted: positions may hold several events.
template <bool Weighted>
void scanSlots(const KnnGrid& grid, double x, double y, std::size_t first, std::size_t last,
               double lo2, double hi2, Band& band) {
    if (first >= last)
        return;
    band.distances += last - first;
    const std::size_t need = band.kept + (last - first);
    if (band.values.size() < need) {
        const std::size_t size = std::max(2 * band.values.size(), need);
        band.values.resize(size);
        if constexpr (Weighted)
            band.weights.resize(size);
    }
    const double* px = grid.posX.data();
    const double* py = grid.posY.data();
    const std::size_t* eventStart = grid.eventStart.data();
    double* out = band.values.data();
    std::size_t* outWeight = band.weights.data();
    std::size_t kept = band.kept;
    std::size_t below = 0;
    std::size_t keptEvents = 0;
    for (std::size_t s = first; s < last; ++s) {
        const double ex = x - px[s];
        const double ey = y - py[s];
        const double d2 = ex * ex + ey * ey;
        // Branch-free: whether a distance falls in the band is unpredictable.
        const auto nearer = static_cast<std::size_t>(d2 < lo2);
        const auto inBand = static_cast<std::size_t>((d2 >= lo2) & (d2 <= hi2));
        out[kept] = d2;
        if constexpr (Weighted) {
            const std::size_t w = eventStart[s + 1] - eventStart[s];
            outWeight[kept] = w;
            below += w * nearer;
            keptEvents += w * inBand;
        } else {
            below += nearer;
            keptEvents += inBand;
        }
        kept += inBand;
    }
    band.kept = kept;
    band.below += below;
    band.keptEvents += keptEvents;
}

/// A position searched for, with the cell it lies in.
struct Query {
    double x = 0.0;
    double y = 0.0;
    int col = 0;
    int row = 0;
};

/// The first column whose span comes within `chord` of x, from a column at
/// or left of it (the chords of rows farther from the query only shrink, so
/// each row's bounds continue from the last row's).
int firstReachable(const std::vector<double>& edges, double x, double chord, int from) {
    while (x - edges[static_cast<std::size_t>(from) + 1] > chord)
        ++from;
    return from;
}

/// The last column whose span comes within `chord` of x, from one at or
/// right of it.
int lastReachable(const std::vector<double>& edges, double x, double chord, int from) {
    while (edges[static_cast<std::size_t>(from)] - x > chord)
        --from;
    return from;
}

/// The columns [first, last] whose span comes within `chord` of the query,
/// by bisection on either side of the query's column.
void reachableColumns(const std::vector<double>& edges, int cols, const Query& q, double chord,
                      int& first, int& last) {
    const auto begin = edges.begin();
    // Upper edges of the columns left of the query's, lower edges of the
    // columns from the query's on.
    first = static_cast<int>(std::partition_point(begin + 1, begin + 1 + q.col,
                                                  [&](double e) { return q.x - e > chord; }) -
                             (begin + 1));
    last = static_cast<int>(std::partition_point(begin + q.col, begin + cols,
                                                 [&](double e) { return !(e - q.x > chord); }) -
                            begin) -
           1;
}

/// The columns [first, last] whose whole span lies nearer to x than
/// `within`, continued from those of a wider `within`.
void enclosedColumns(const std::vector<double>& edges, int cols, double x, double within,
                     int& first, int& last) {
    while (first < cols && !(x - edges[static_cast<std::size_t>(first)] < within))
        ++first;
    while (last >= 0 && !(edges[static_cast<std::size_t>(last) + 1] - x < within))
        --last;
}

/// Adds one row's columns [first, last] to the band; its columns [a, b]
/// (within those) lie wholly inside the lower bound and are only counted.
template <bool Weighted>
void scanRow(const KnnGrid& grid, const Query& q, int row, int first, int last, int a, int b,
             double lo2, double hi2, Band& band) {
    const std::size_t rowStart = grid.cellIndex(0, row);
    const std::size_t begin = grid.start[rowStart + static_cast<std::size_t>(first)];
    const std::size_t end = grid.start[rowStart + static_cast<std::size_t>(last) + 1];
    a = std::max(a, first);
    b = std::min(b, last);
    if (a > b) {
        scanSlots<Weighted>(grid, q.x, q.y, begin, end, lo2, hi2, band);
        return;
    }
    const std::size_t innerBegin = grid.start[rowStart + static_cast<std::size_t>(a)];
    const std::size_t innerEnd = grid.start[rowStart + static_cast<std::size_t>(b) + 1];
    band.below += grid.eventStart[innerEnd] - grid.eventStart[innerBegin];
    scanSlots<Weighted>(grid, q.x, q.y, begin, innerBegin, lo2, hi2, band);
    scanSlots<Weighted>(grid, q.x, q.y, innerEnd, end, lo2, hi2, band);
}

/// Fills the band for the bounds [lo, hi] around the query. Cells none of
/// whose positions can lie within hi are skipped; cells all of whose
/// positions lie nearer than lo are only counted (a run per row: the cells
/// of a row are consecutive slots); only the cells in between are scanned.
/// Rows are taken from the query's row outward, where the chords of both
/// discs shrink row by row until the outer one no longer reaches.
template <bool Weighted>
void collectBand(const KnnGrid& grid, const Query& q, double lo, double hi, Band& band) {
    band.below = 0;
    band.kept = 0;
    band.keptEvents = 0;
    const double lo2 = lo > 0.0 ? lo * lo : 0.0;
    const double hi2 = hi * hi;
    const double reach = std::max(hi * (1.0 + kRelativeSlack), kTinyRadius);
    if (!(reach <= kHugeRadius)) {
        scanSlots<Weighted>(grid, q.x, q.y, 0, grid.slots(), lo2, hi2, band);
        return;
    }
    const double reach2 = reach * reach;
    const double inner = lo * (1.0 - kRelativeSlack);
    const double inner2 = inner * inner;
    const bool countInner = inner >= kTinyRadius;
    const std::vector<double>& xEdges = grid.xEdges;
    const std::vector<double>& yEdges = grid.yEdges;
    const auto rowLo = [&](int r) { return yEdges[static_cast<std::size_t>(r)]; };
    const auto rowHi = [&](int r) { return yEdges[static_cast<std::size_t>(r) + 1]; };

    // The query's row: its columns by bisection.
    int colFirst = 0;
    int colLast = 0;
    reachableColumns(xEdges, grid.cols, q, reach, colFirst, colLast);
    int innerFirst = 1;
    int innerLast = 0;
    const double farY = std::max(q.y - rowLo(q.row), rowHi(q.row) - q.y);
    const bool innerHere = countInner && farY < inner;
    if (innerHere) {
        const double within = std::sqrt(inner2 - farY * farY);
        const auto begin = xEdges.begin();
        innerFirst =
            static_cast<int>(std::partition_point(begin, begin + grid.cols,
                                                  [&](double e) { return !(q.x - e < within); }) -
                             begin);
        innerLast =
            static_cast<int>(std::partition_point(begin + 1, begin + 1 + grid.cols,
                                                  [&](double e) { return e - q.x < within; }) -
                             (begin + 1)) -
            1;
    }
    scanRow<Weighted>(grid, q, q.row, colFirst, colLast, innerFirst, innerLast, lo2, hi2, band);

    for (const int step : {-1, 1}) {
        int first = colFirst;
        int last = colLast;
        int a = innerFirst;
        int b = innerLast;
        bool inside = innerHere;
        for (int row = q.row + step; row >= 0 && row < grid.rows; row += step) {
            const double gap = step < 0 ? q.y - rowHi(row) : rowLo(row) - q.y;
            if (gap > reach)
                break;
            const double chord = std::sqrt(reach2 - gap * gap);
            first = firstReachable(xEdges, q.x, chord, first);
            last = lastReachable(xEdges, q.x, chord, last);
            if (inside) {
                const double far = step < 0 ? q.y - rowLo(row) : rowHi(row) - q.y;
                inside = far < inner;
                if (inside)
                    enclosedColumns(xEdges, grid.cols, q.x, std::sqrt(inner2 - far * far), a, b);
            }
            scanRow<Weighted>(grid, q, row, first, last, inside ? a : 1, inside ? b : 0, lo2, hi2,
                              band);
        }
    }
}

/// The entry of rank `rank` (0-based) among values[0, count), which lie in
/// [lo2, hi2]: values are spread into buckets by size first, so that only
/// the bucket holding that rank is ranked in full.
double selectRank(Band& band, std::size_t count, std::size_t rank, double lo2, double hi2) {
    double* values = band.values.data();
    const double span = hi2 - lo2;
    if (count < kDirectRanking || !(span > 0.0) || !std::isfinite(span)) {
        std::nth_element(values, values + rank, values + count);
        return values[rank];
    }
    const double scale = kRankBuckets / span;
    const auto bucketOf = [&](double v) {
        return std::min(static_cast<int>((v - lo2) * scale), kRankBuckets - 1);
    };
    std::array<std::size_t, kRankBuckets> sizes{};
    for (std::size_t i = 0; i < count; ++i)
        ++sizes[static_cast<std::size_t>(bucketOf(values[i]))];
    int bucket = 0;
    while (rank >= sizes[static_cast<std::size_t>(bucket)]) {
        rank -= sizes[static_cast<std::size_t>(bucket)];
        ++bucket;
    }
    band.scratch.resize(sizes[static_cast<std::size_t>(bucket)]);
    std::size_t taken = 0;
    for (std::size_t i = 0; i < count; ++i) {
        band.scratch[taken] = values[i];
        taken += bucketOf(values[i]) == bucket ? 1 : 0;
        if (taken == band.scratch.size())
            break;
    }
    std::nth_element(band.scratch.begin(), band.scratch.begin() + static_cast<std::ptrdiff_t>(rank),
                     band.scratch.end());
    return band.scratch[rank];
}

/// selectRank where entry i stands for weights[i] events and `rank` counts
/// events: the value below which fewer than rank + 1 events lie.
double selectWeightedRank(Band& band, std::size_t count, std::size_t rank, double lo2, double hi2) {
    const double* values = band.values.data();
    const std::size_t* weights = band.weights.data();
    const double span = hi2 - lo2;
    band.ranked.clear();
    if (count < kDirectRanking || !(span > 0.0) || !std::isfinite(span)) {
        for (std::size_t i = 0; i < count; ++i)
            band.ranked.emplace_back(values[i], weights[i]);
    } else {
        const double scale = kRankBuckets / span;
        const auto bucketOf = [&](double v) {
            return std::min(static_cast<int>((v - lo2) * scale), kRankBuckets - 1);
        };
        std::array<std::size_t, kRankBuckets> events{};
        for (std::size_t i = 0; i < count; ++i)
            events[static_cast<std::size_t>(bucketOf(values[i]))] += weights[i];
        int bucket = 0;
        while (rank >= events[static_cast<std::size_t>(bucket)]) {
            rank -= events[static_cast<std::size_t>(bucket)];
            ++bucket;
        }
        for (std::size_t i = 0; i < count; ++i)
            if (bucketOf(values[i]) == bucket)
                band.ranked.emplace_back(values[i], weights[i]);
    }
    std::sort(band.ranked.begin(), band.ranked.end());
    for (const auto& [value, weight] : band.ranked) {
        if (rank < weight)
            return value;
        rank -= weight;
    }
    return band.ranked.back().first; // not reached: the band holds the rank
}

/// The squared distance to the `wanted`-th nearest event (the position's
/// own events, at distance 0, included) when the bounds enclose it; false
/// otherwise. The counts prove it either way, whatever the bounds were
/// derived from.
template <bool Weighted>
bool kthInBounds(const KnnGrid& grid, const Query& q, std::size_t wanted, double lo, double hi,
                 Band& band, double& kth2) {
    collectBand<Weighted>(grid, q, lo, hi, band);
    if (band.below >= wanted || band.below + band.keptEvents < wanted)
        return false;
    const double lo2 = lo > 0.0 ? lo * lo : 0.0;
    const std::size_t rank = wanted - band.below - 1;
    kth2 = Weighted ? selectWeightedRank(band, band.kept, rank, lo2, hi * hi)
                    : selectRank(band, band.kept, rank, lo2, hi * hi);
    return true;
}

/// A radius that surely holds `wanted` events around (x, y), in cell (col,
/// row): in the smallest square of cells around it that holds as many, the
/// cells are taken by the distance of the farthest corner of their
/// positions' box until they hold as many. A far outlier's cell thus
/// widens the radius only when it is needed.
double squareBound(const KnnGrid& grid, const Query& q, std::size_t wanted, Band& band) {
    for (int r = 0;; ++r) {
        const int c0 = std::max(q.col - r, 0);
        const int c1 = std::min(q.col + r, grid.cols - 1);
        const int r0 = std::max(q.row - r, 0);
        const int r1 = std::min(q.row + r, grid.rows - 1);
        const bool whole = c0 == 0 && r0 == 0 && c1 == grid.cols - 1 && r1 == grid.rows - 1;
        if (!whole && grid.countIn(c0, c1, r0, r1) < wanted)
            continue;
        band.ranked.clear();
        for (int rr = r0; rr <= r1; ++rr) {
            for (int cc = c0; cc <= c1; ++cc) {
                const std::size_t c = grid.cellIndex(cc, rr);
                const std::size_t events =
                    grid.eventStart[grid.start[c + 1]] - grid.eventStart[grid.start[c]];
                if (events == 0)
                    continue;
                const double* box = grid.box.data() + 4 * c;
                const double dx = std::max(q.x - box[0], box[1] - q.x);
                const double dy = std::max(q.y - box[2], box[3] - q.y);
                band.ranked.emplace_back(std::sqrt(dx * dx + dy * dy), events);
            }
        }
        std::sort(band.ranked.begin(), band.ranked.end());
        std::size_t held = 0;
        for (const auto& [distance, events] : band.ranked) {
            held += events;
            if (held >= wanted)
                return distance * (1.0 + kRelativeSlack);
        }
        return kInf;
    }
}

/// Squared k-th neighbour distance of the position in `slot` (cell `cell`),
/// bracketed by the `anchors` (slots searched before, with their k-th
/// distances in `kth`).
template <bool Weighted>
double kthDistance2(const KnnGrid& grid, std::size_t slot, std::size_t cell,
                    const std::size_t* anchors, std::size_t anchorCount, std::size_t wanted,
                    const std::vector<double>& kth, Band& band) {
    Query q;
    q.x = grid.posX[slot];
    q.y = grid.posY[slot];
    q.col = static_cast<int>(cell % static_cast<std::size_t>(grid.cols));
    q.row = static_cast<int>(cell / static_cast<std::size_t>(grid.cols));
    double lo = 0.0;
    double hi = kInf;
    double nearest = kInf;
    double nearestKth = 0.0;
    for (std::size_t a = 0; a < anchorCount; ++a) {
        const std::size_t s = anchors[a];
        const double ex = q.x - grid.posX[s];
        const double ey = q.y - grid.posY[s];
        const double moved = std::sqrt(ex * ex + ey * ey);
        const double slack = kRelativeSlack * (kth[s] + moved);
        // An infinite distance makes these NaN, which max and min pass over.
        lo = std::max(lo, kth[s] - moved - slack);
        hi = std::min(hi, kth[s] + moved + slack);
        if (moved < nearest) {
            nearest = moved;
            nearestKth = kth[s];
        }
    }
    const double cellSize = (grid.xEdges[static_cast<std::size_t>(q.col) + 1] -
                             grid.xEdges[static_cast<std::size_t>(q.col)]) +
                            (grid.yEdges[static_cast<std::size_t>(q.row) + 1] -
                             grid.yEdges[static_cast<std::size_t>(q.row)]);
    double kth2 = 0.0;
    // Across a jump of the search order the anchors say little: the band
    // they give is as wide as the jump.
    if (nearest <= nearestKth + cellSize && std::isfinite(hi) &&
        kthInBounds<Weighted>(grid, q, wanted, lo, hi, band, kth2))
        return kth2;
    if (kthInBounds<Weighted>(grid, q, wanted, 0.0, squareBound(grid, q, wanted, band), band, kth2))
        return kth2;
    kthInBounds<Weighted>(grid, q, wanted, 0.0, kInf, band, kth2);
    return kth2;
}

} // namespace

namespace densitydetail {

std::vector<double> knnDensities(const FinitePairs& pairs, KnnWork* work) {
    const std::size_t n = pairs.size();
    if (n < 2)
        return std::vector<double>(n, 1.0);
    const std::size_t k = std::max<std::size_t>(
        static_cast<std::size_t>(std::floor(std::sqrt(static_cast<double>(n)))), 1);
    const int g = std::max(
        static_cast<int>(std::floor(std::sqrt(static_cast<double>(n) / kEventsPerCell))), 1);
    const KnnGrid grid = buildKnnGrid(pairs, g);
    std::vector<std::size_t> cellOf;
    const std::vector<std::size_t> order = hilbertSlotOrder(grid, cellOf);

    // An event is its own nearest "neighbour" at distance 0, so the k-th
    // other event is the (k + 1)-th nearest; events at the same position
    // count as neighbours at distance 0 like any other event, and a
    // position holding k + 1 events or more needs no search.
    const std::size_t wanted = k + 1;
    const double count = static_cast<double>(k);
    // Each search reads the shared grid and the results of its own block
    // only, and the k-th distance it finds is exact, so the densities are
    // the same for any number of threads.
    std::vector<double> kth(grid.slots(), 0.0);
    std::vector<double> densities(n);
    std::atomic<std::uint64_t> distances{0};
    parallelChunks(order.size(), kPositionsPerBlock, [&](std::size_t begin, std::size_t end) {
        Band band;
        band.values.resize(4 * wanted);
        if (!grid.distinct)
            band.weights.resize(4 * wanted);
        for (std::size_t p = begin; p < end; ++p) {
            const std::size_t slot = order[p];
            double kth2 = 0.0;
            if (grid.weight(slot) < wanted) {
                const std::size_t anchors = std::min(p - begin, kAnchorWindow);
                const std::size_t* from = order.data() + (p - anchors);
                kth2 = grid.distinct ? kthDistance2<false>(grid, slot, cellOf[p], from, anchors,
                                                           wanted, kth, band)
                                     : kthDistance2<true>(grid, slot, cellOf[p], from, anchors,
                                                          wanted, kth, band);
            }
            kth[slot] = std::sqrt(kth2);
            const double density = kth2 > 0.0 ? count / (kPi * kth2) : count;
            for (std::size_t e = grid.eventStart[slot]; e < grid.eventStart[slot + 1]; ++e)
                densities[grid.events[e]] = density;
        }
        distances += band.distances;
    });
    if (work != nullptr)
        work->distances += distances.load();
    return densities;
}

} // namespace densitydetail

std::vector<double> DensityEstimator::estimateKNN(const std::vector<double>& x,
                                                  const std::vector<double>& y) {
    std::vector<double> result(x.size(), std::numeric_limits<double>::quiet_NaN());
    const FinitePairs pairs = densitydetail::collectFinitePairs(x, y);
    const std::vector<double> densities = densitydetail::knnDensities(pairs);
    for (std::size_t i = 0; i < densities.size(); ++i)
        result[pairs.eventOf(i)] = densities[i];
    return result;
}

} // namespace Quorvex3
