// Exact k-nearest-neighbour densities.
//
// The events are hashed into a uniform grid of cells. Each event's k-th
// neighbour distance is found exactly: a lower and an upper bound are derived
// first, the cells entirely inside the lower bound are counted without
// looking at their events, the cells the upper bound cannot reach are
// skipped, and only the events in between are ranked. The bounds come from
// events searched just before: the k-th neighbour distance moves by at most
// the distance moved, so a nearby event's result brackets it closely. The
// counts prove the result either way; a bracket that fails falls back to a
// wider one, and in the end to every event.
#include "density/DensityDetail.h"
#include "density/DensityEstimator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

using densitydetail::FinitePairs;

constexpr double kPi = 3.14159265358979323846;
constexpr double kInf = std::numeric_limits<double>::infinity();

/// Slack for rounding: cell indices and distances computed in floating point
/// may be a few ulps off the exact ones; every bound is widened by far more.
constexpr double kCellSlack = 1e-9;
constexpr double kRelativeSlack = 1e-9;

/// Average events per cell of the search grid.
constexpr double kEventsPerCell = 5.0;

/// Events searched just before an event whose results bound its search.
constexpr std::size_t kAnchorWindow = 32;

/// Buckets of the ranking step; bands smaller than kDirectRanking are
/// ranked as they are.
constexpr int kRankBuckets = 32;
constexpr std::size_t kDirectRanking = 96;

/// Uniform cell hash of the events: the events of cell (col, row) are the
/// slots start[c] .. start[c + 1] of cellX/cellY/cellEvent, c = row * size +
/// col, so the cells of one row form one contiguous run of slots. Cell
/// (col, row) covers [xMin + col * w, xMin + (col + 1) * w) and likewise in
/// y; `prefix` counts the events of the cells below and left of each corner.
struct CellHash {
    int size = 1;
    double xMin = 0.0;
    double yMin = 0.0;
    double w = 1.0;
    double h = 1.0;
    double perW = 1.0; ///< 1 / w, for the searches (which allow for its rounding)
    double perH = 1.0;
    std::vector<std::size_t> start;
    std::vector<std::size_t> prefix; ///< (size + 1)^2, row-major
    std::vector<double> cellX;
    std::vector<double> cellY;
    std::vector<std::size_t> cellEvent;

    std::size_t cellIndex(int col, int row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(size) +
               static_cast<std::size_t>(col);
    }
    /// Events in the cells cols [c0, c1] x rows [r0, r1].
    std::size_t countIn(int c0, int c1, int r0, int r1) const {
        const auto at = [this](int col, int row) {
            return prefix[static_cast<std::size_t>(row) * static_cast<std::size_t>(size + 1) +
                          static_cast<std::size_t>(col)];
        };
        return at(c1 + 1, r1 + 1) + at(c0, r0) - at(c0, r1 + 1) - at(c1 + 1, r0);
    }
};

CellHash buildCellHash(const FinitePairs& pairs, int g) {
    CellHash hash;
    hash.size = g;
    hash.xMin = pairs.xMin;
    hash.yMin = pairs.yMin;
    hash.w = densitydetail::usableRange(pairs.xMin, pairs.xMax) / g;
    hash.h = densitydetail::usableRange(pairs.yMin, pairs.yMax) / g;
    hash.perW = 1.0 / hash.w;
    hash.perH = 1.0 / hash.h;
    const std::size_t n = pairs.size();
    const std::size_t cells = static_cast<std::size_t>(g) * static_cast<std::size_t>(g);
    std::vector<std::size_t> cellOf(n);
    std::vector<std::size_t> counts(cells, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const int col = densitydetail::truncateClamp((pairs.x()[i] - hash.xMin) / hash.w, g);
        const int row = densitydetail::truncateClamp((pairs.y()[i] - hash.yMin) / hash.h, g);
        cellOf[i] = hash.cellIndex(col, row);
        ++counts[cellOf[i]];
    }
    hash.start.assign(cells + 1, 0);
    for (std::size_t c = 0; c < cells; ++c)
        hash.start[c + 1] = hash.start[c] + counts[c];

    const std::size_t side = static_cast<std::size_t>(g) + 1;
    hash.prefix.assign(side * side, 0);
    for (int row = 0; row < g; ++row) {
        std::size_t rowSum = 0;
        for (int col = 0; col < g; ++col) {
            rowSum += counts[hash.cellIndex(col, row)];
            const std::size_t below = static_cast<std::size_t>(row) * side + col + 1;
            hash.prefix[below + side] = hash.prefix[below] + rowSum;
        }
    }

    std::vector<std::size_t> fill(hash.start.begin(), hash.start.end() - 1);
    hash.cellX.resize(n);
    hash.cellY.resize(n);
    hash.cellEvent.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t slot = fill[cellOf[i]]++;
        hash.cellX[slot] = pairs.x()[i];
        hash.cellY[slot] = pairs.y()[i];
        hash.cellEvent[slot] = i;
    }
    return hash;
}

/// Cell (col, row) at position d along a Hilbert curve over 2^order cells
/// per side.
void hilbertCell(int order, std::size_t d, int& col, int& row) {
    std::size_t x = 0;
    std::size_t y = 0;
    for (std::size_t s = 1; s < (std::size_t{1} << order); s *= 2) {
        const std::size_t rx = 1 & (d / 2);
        const std::size_t ry = 1 & (d ^ rx);
        if (ry == 0) {
            if (rx == 1) {
                x = s - 1 - x;
                y = s - 1 - y;
            }
            std::swap(x, y);
        }
        x += s * rx;
        y += s * ry;
        d /= 4;
    }
    col = static_cast<int>(x);
    row = static_cast<int>(y);
}

/// The slots in the order they are searched: cell by cell along a Hilbert
/// curve, so each event has events searched shortly before it close by.
std::vector<std::size_t> searchOrder(const CellHash& hash) {
    int order = 0;
    while ((1 << order) < hash.size)
        ++order;
    std::vector<std::size_t> slots;
    slots.reserve(hash.cellX.size());
    const std::size_t steps = std::size_t{1} << (2 * order);
    for (std::size_t d = 0; d < steps; ++d) {
        int col = 0;
        int row = 0;
        hilbertCell(order, d, col, row);
        if (col >= hash.size || row >= hash.size)
            continue;
        const std::size_t c = hash.cellIndex(col, row);
        for (std::size_t s = hash.start[c]; s < hash.start[c + 1]; ++s)
            slots.push_back(s);
    }
    return slots;
}

/// First and last cell index along one axis that a coordinate interval
/// [lo, hi] (data units) can reach, widened by the rounding slack; perStep
/// is the inverse of the cell size.
void cellSpan(double lo, double hi, double origin, double perStep, int count, int& first,
              int& last) {
    first = densitydetail::truncateClamp((lo - origin) * perStep - kCellSlack, count);
    last = densitydetail::truncateClamp((hi - origin) * perStep + kCellSlack, count);
}

/// Distance from v to the nearest point of cell `index`'s span along one axis.
double gapToCell(double v, int index, double origin, double step) {
    const double lo = origin + index * step;
    const double hi = lo + step;
    if (v < lo)
        return lo - v;
    if (v > hi)
        return v - hi;
    return 0.0;
}

/// What one search keeps of the squared distances from an event to the
/// events near it: how many lie below the lower bound, and those between the
/// bounds (the first `kept` entries of `values`).
struct Band {
    std::size_t below = 0;
    std::size_t kept = 0;
    std::vector<double> values;
    std::vector<double> scratch;
};

/// Adds the squared distances from (x, y) to the events of slots
/// [first, last) to the band.
void scanSlots(const CellHash& hash, double x, double y, std::size_t first, std::size_t last,
               double lo2, double hi2, Band& band) {
    if (first >= last)
        return;
    if (band.values.size() < band.kept + (last - first))
        band.values.resize(std::max(2 * band.values.size(), band.kept + (last - first)));
    double* out = band.values.data();
    std::size_t kept = band.kept;
    std::size_t below = 0;
    for (std::size_t s = first; s < last; ++s) {
        const double ex = x - hash.cellX[s];
        const double ey = y - hash.cellY[s];
        const double d2 = ex * ex + ey * ey;
        // Branch-free: whether a distance falls in the band is unpredictable.
        below += static_cast<std::size_t>(d2 < lo2);
        out[kept] = d2;
        kept += static_cast<std::size_t>((d2 >= lo2) & (d2 <= hi2));
    }
    band.kept = kept;
    band.below += below;
}

/// Fills the band for the bounds [lo, hi] around (x, y). Cells no event of
/// which can lie within hi are skipped; cells all of whose events lie
/// nearer than lo are only counted (one run per row: the cells of a row
/// are consecutive slots); only the cells in between are scanned.
void collectBand(const CellHash& hash, double x, double y, double lo, double hi, Band& band) {
    band.below = 0;
    band.kept = 0;
    const double lo2 = lo > 0.0 ? lo * lo : 0.0;
    const double hi2 = hi * hi;
    const int g = hash.size;
    if (!std::isfinite(hi)) {
        scanSlots(hash, x, y, 0, hash.start.back(), 0.0, kInf, band);
        return;
    }
    const double cellSlack = kCellSlack * (hash.w + hash.h);
    const double reach = hi * (1.0 + kRelativeSlack) + cellSlack;
    const double inner = lo * (1.0 - kRelativeSlack) - cellSlack;
    int rowFirst = 0;
    int rowLast = 0;
    cellSpan(y - reach, y + reach, hash.yMin, hash.perH, g, rowFirst, rowLast);
    for (int row = rowFirst; row <= rowLast; ++row) {
        const double near = std::max(gapToCell(y, row, hash.yMin, hash.h) - cellSlack, 0.0);
        if (near > reach)
            continue;
        const double outChord = std::sqrt(reach * reach - near * near);
        int colFirst = 0;
        int colLast = 0;
        cellSpan(x - outChord, x + outChord, hash.xMin, hash.perW, g, colFirst, colLast);
        const std::size_t rowStart = hash.cellIndex(0, row);
        const std::size_t first = hash.start[rowStart + static_cast<std::size_t>(colFirst)];
        const std::size_t last = hash.start[rowStart + static_cast<std::size_t>(colLast) + 1];

        // Whole cells within the inner disc, their far corners included.
        const double rowLo = hash.yMin + row * hash.h;
        const double far = std::max(y - rowLo, rowLo + hash.h - y) + cellSlack;
        double a = 1.0;
        double b = 0.0;
        if (inner > 0.0 && far < inner) {
            const double inChord = std::sqrt(inner * inner - far * far);
            a = std::max(std::ceil((x - inChord - hash.xMin) * hash.perW + kCellSlack),
                         static_cast<double>(colFirst));
            b = std::min(std::floor((x + inChord - hash.xMin) * hash.perW - kCellSlack) - 1.0,
                         static_cast<double>(colLast));
        }
        if (!(a <= b)) {
            scanSlots(hash, x, y, first, last, lo2, hi2, band);
            continue;
        }
        const std::size_t innerBegin = hash.start[rowStart + static_cast<std::size_t>(a)];
        const std::size_t innerEnd = hash.start[rowStart + static_cast<std::size_t>(b) + 1];
        band.below += innerEnd - innerBegin;
        scanSlots(hash, x, y, first, innerBegin, lo2, hi2, band);
        scanSlots(hash, x, y, innerEnd, last, lo2, hi2, band);
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

/// The squared distance to the `wanted`-th nearest event (the event itself,
/// at distance 0, included) when the bounds enclose it; false otherwise.
/// The counts prove it either way, whatever the bounds were derived from.
bool kthInBounds(const CellHash& hash, double x, double y, std::size_t wanted, double lo, double hi,
                 Band& band, double& kth2) {
    collectBand(hash, x, y, lo, hi, band);
    if (band.below >= wanted || band.below + band.kept < wanted)
        return false;
    kth2 = selectRank(band, band.kept, wanted - band.below - 1, lo > 0.0 ? lo * lo : 0.0, hi * hi);
    return true;
}

/// A radius that surely holds `wanted` events around (x, y): a cell beyond
/// the far corner of the smallest square of cells around its cell that
/// holds as many.
double squareBound(const CellHash& hash, double x, double y, std::size_t wanted) {
    const int g = hash.size;
    const int cx = densitydetail::truncateClamp((x - hash.xMin) * hash.perW, g);
    const int cy = densitydetail::truncateClamp((y - hash.yMin) * hash.perH, g);
    for (int r = 0;; ++r) {
        const int c0 = std::max(cx - r, 0);
        const int c1 = std::min(cx + r, g - 1);
        const int r0 = std::max(cy - r, 0);
        const int r1 = std::min(cy + r, g - 1);
        if (c0 == 0 && r0 == 0 && c1 == g - 1 && r1 == g - 1)
            return kInf; // every event, whatever the rounding
        if (hash.countIn(c0, c1, r0, r1) >= wanted) {
            const double dx =
                std::max(x - (hash.xMin + c0 * hash.w), hash.xMin + (c1 + 1) * hash.w - x) + hash.w;
            const double dy =
                std::max(y - (hash.yMin + r0 * hash.h), hash.yMin + (r1 + 1) * hash.h - y) + hash.h;
            return std::sqrt(dx * dx + dy * dy);
        }
    }
}

/// Squared k-th neighbour distance of the event in `slot`, bracketed by the
/// `anchors` (slots searched before, with their k-th distances in `kth`).
double kthDistance2(const CellHash& hash, std::size_t slot, const std::size_t* anchors,
                    std::size_t anchorCount, std::size_t wanted, const std::vector<double>& kth,
                    Band& band) {
    const double x = hash.cellX[slot];
    const double y = hash.cellY[slot];
    double lo = 0.0;
    double hi = kInf;
    double nearest = kInf;
    for (std::size_t a = 0; a < anchorCount; ++a) {
        const std::size_t s = anchors[a];
        const double ex = x - hash.cellX[s];
        const double ey = y - hash.cellY[s];
        const double moved = std::sqrt(ex * ex + ey * ey);
        const double slack = kRelativeSlack * (kth[s] + moved);
        lo = std::max(lo, kth[s] - moved - slack);
        hi = std::min(hi, kth[s] + moved + slack);
        nearest = std::min(nearest, moved);
    }
    double kth2 = 0.0;
    // Across a jump of the search order the anchors say little.
    if (nearest <= hash.w + hash.h && std::isfinite(hi) &&
        kthInBounds(hash, x, y, wanted, lo, hi, band, kth2))
        return kth2;
    if (kthInBounds(hash, x, y, wanted, 0.0, squareBound(hash, x, y, wanted), band, kth2))
        return kth2;
    kthInBounds(hash, x, y, wanted, 0.0, kInf, band, kth2);
    return kth2;
}

} // namespace

namespace densitydetail {

std::vector<double> knnDensities(const FinitePairs& pairs) {
    const std::size_t n = pairs.size();
    if (n < 2)
        return std::vector<double>(n, 1.0);
    const std::size_t k = std::max<std::size_t>(
        static_cast<std::size_t>(std::floor(std::sqrt(static_cast<double>(n)))), 1);
    const int g = std::max(
        static_cast<int>(std::floor(std::sqrt(static_cast<double>(n) / kEventsPerCell))), 1);
    const CellHash hash = buildCellHash(pairs, g);
    const std::vector<std::size_t> order = searchOrder(hash);

    // The event itself is the nearest "neighbour" at distance 0, so the k-th
    // other event is the (k + 1)-th nearest; duplicates count as neighbours
    // at distance 0 like any other event.
    const std::size_t wanted = k + 1;
    const double count = static_cast<double>(k);
    // Each search reads the shared hash and the results of its own run only,
    // and the k-th distance it finds is exact, so the densities are the same
    // for any number of threads.
    std::vector<double> kth(n, 0.0);
    std::vector<double> densities(n);
    parallelChunks(n, 4096, [&](std::size_t begin, std::size_t end) {
        Band band;
        band.values.resize(4 * wanted);
        for (std::size_t p = begin; p < end; ++p) {
            const std::size_t anchors = std::min(p - begin, kAnchorWindow);
            const std::size_t slot = order[p];
            const double kth2 =
                kthDistance2(hash, slot, order.data() + (p - anchors), anchors, wanted, kth, band);
            kth[slot] = std::sqrt(kth2);
            densities[hash.cellEvent[slot]] = kth2 > 0.0 ? count / (kPi * kth2) : count;
        }
    });
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
