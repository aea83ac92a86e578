// Automatic grid size: the cost of every candidate histogram, and the choice.
//
// Binning every event once per candidate (twenty times) dominated the kernel
// density of large plots. Here the events are placed once: along each axis the
// cell borders of all candidates together cut the data's span into pieces
// within which every candidate puts a value into the same cell. Each event is
// reduced to its x piece, the events are grouped by their y piece, and then
// each candidate walks its rows in order, counting one row at a time from the
// x pieces through a small table. The counts per cell are exactly those of the
// direct binning (a cell index only depends on which pieces the coordinates
// lie in), and each cost sums its cells in the same order as binChoiceCost, so
// every cost, and so the choice, is bit for bit what the direct binning gives.
// Four candidates' sums run side by side (each still in its own order), which
// hides the latency of the additions. Small plots are binned directly: there
// placing the events once costs more than it saves.
#include "density/DensityDetail.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace Quorvex3::densitydetail {

std::vector<int> binCountCandidates() {
    // Twenty steps spread evenly in log space from about 32 to about 512
    // cells per side; the constants are kept as written, not as ln 16 / ln 32.
    std::vector<int> candidates;
    for (int i = 0; i < 20; ++i) {
        const double m = std::exp(static_cast<double>(i) * 2.7725888 / 19.0 + 3.4657359);
        const int rounded = static_cast<int>(std::lround(m));
        if (candidates.empty() || candidates.back() != rounded)
            candidates.push_back(rounded);
    }
    return candidates;
}

namespace {

/// The cost from the counts' sum of squared deviations; shared by both ways
/// of counting so that the last steps are literally the same.
double costFromVariance(double variance, double cellCount, double mean, double w, double h) {
    variance /= cellCount;
    const double area = w * h;
    return (2.0 * mean - variance) / (area * area);
}

} // namespace

namespace {

/// Events per cell of the m x m histogram over the pairs' ranges, row-major.
void countCellsDirectly(const FinitePairs& pairs, int m, std::vector<std::uint32_t>& counts) {
    const double w = usableRange(pairs.xMin, pairs.xMax) / m;
    const double h = usableRange(pairs.yMin, pairs.yMax) / m;
    const std::size_t cells = static_cast<std::size_t>(m) * static_cast<std::size_t>(m);
    counts.assign(cells, 0U);
    const std::size_t n = pairs.size();
    // Cells are worked out a block at a time, in a loop free of branches the
    // compiler turns into vector instructions; the clamping is truncateClamp's
    // (NaN and values below 1 go to cell 0, values beyond the last to it).
    constexpr std::size_t kBlock = 256;
    int cell[kBlock];
    const double last = m - 1;
    std::size_t begin = 0;
    for (; begin + kBlock <= n; begin += kBlock) {
        const double* x = pairs.x().data() + begin;
        const double* y = pairs.y().data() + begin;
        for (std::size_t i = 0; i < kBlock; ++i) {
            double col = (x[i] - pairs.xMin) / w;
            double row = (y[i] - pairs.yMin) / h;
            col = col > 0.0 ? col : 0.0;
            row = row > 0.0 ? row : 0.0;
            col = col < last ? col : last;
            row = row < last ? row : last;
            cell[i] = static_cast<int>(row) * m + static_cast<int>(col);
        }
        for (std::size_t i = 0; i < kBlock; ++i)
            ++counts[static_cast<std::size_t>(cell[i])];
    }
    for (std::size_t i = begin; i < n; ++i) {
        const int col = truncateClamp((pairs.x()[i] - pairs.xMin) / w, m);
        const int row = truncateClamp((pairs.y()[i] - pairs.yMin) / h, m);
        ++counts[static_cast<std::size_t>(row) * static_cast<std::size_t>(m) +
                 static_cast<std::size_t>(col)];
    }
}

} // namespace

double binChoiceCost(const FinitePairs& pairs, int m, std::vector<std::uint32_t>& counts) {
    countCellsDirectly(pairs, m, counts);
    const double cellCount = static_cast<double>(counts.size());
    const double mean = static_cast<double>(pairs.size()) / cellCount;
    double variance = 0.0;
    for (std::uint32_t c : counts) {
        const double d = static_cast<double>(c) - mean;
        variance += d * d;
    }
    return costFromVariance(variance, cellCount, mean, usableRange(pairs.xMin, pairs.xMax) / m,
                            usableRange(pairs.yMin, pairs.yMax) / m);
}

namespace {

constexpr std::size_t kEventBlock = std::size_t{1} << 16;
/// From this many events they are placed once for all candidates.
constexpr std::size_t kPiecesFrom = std::size_t{1} << 16;

// Doubles in an unsigned order that agrees with their numeric order (-0
// just below +0), so that "the next double up" is "the next integer".
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

std::uint64_t orderedKey(double v) {
    std::uint64_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    return (u & kSignBit) != 0 ? ~u : (u | kSignBit);
}

double fromOrderedKey(std::uint64_t key) {
    const std::uint64_t u = (key & kSignBit) != 0 ? (key & ~kSignBit) : ~key;
    double v = 0.0;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

/// A value's cell along one axis, exactly as binChoiceCost places it. It
/// never decreases as the value grows: a rounded difference, a division by a
/// positive width and a clamped truncation each keep the order.
int cellAlong(double v, double origin, double width, int m) {
    return truncateClamp((v - origin) / width, m);
}

/// The smallest double v in (lo, hi] with cellAlong(v) >= cell, given that
/// lo is below that cell and hi is not. Searched outward from the nominal
/// border in steps of doubling size, then by halving: a few dozen evaluations.
double cellBorder(double origin, double width, int m, int cell, std::uint64_t lo,
                  std::uint64_t hi) {
    const auto reaches = [&](std::uint64_t key) {
        return cellAlong(fromOrderedKey(key), origin, width, m) >= cell;
    };
    const std::uint64_t guess =
        std::clamp(orderedKey(origin + static_cast<double>(cell) * width), lo + 1, hi);
    if (reaches(guess)) {
        hi = guess;
        for (std::uint64_t step = 1; hi - lo > step; step *= 2) {
            if (!reaches(hi - step)) {
                lo = hi - step;
                break;
            }
            hi -= step;
        }
    } else {
        lo = guess;
        for (std::uint64_t step = 1; hi - lo > step; step *= 2) {
            if (reaches(lo + step)) {
                hi = lo + step;
                break;
            }
            lo += step;
        }
    }
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (reaches(mid))
            hi = mid;
        else
            lo = mid;
    }
    return fromOrderedKey(hi);
}

/// One axis as every candidate sees it. The distinct borders of all
/// candidates' cells, sorted, cut [min, max] into pieces: piece p holds the
/// values v with borders[p - 1] <= v < borders[p]. A candidate's cell of a
/// value is the number of its own borders at or below the value, so it is
/// the same for all values of one piece.
class AxisPieces {
public:
    AxisPieces(double lo, double hi, const std::vector<int>& candidates) : m_origin(lo) {
        const double range = usableRange(lo, hi);
        const std::uint64_t loKey = orderedKey(lo);
        const std::uint64_t hiKey = orderedKey(hi);
        std::vector<std::vector<double>> own(candidates.size());
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            const int m = candidates[c];
            const double width = range / m;
            const int top = cellAlong(hi, lo, width, m);
            for (int cell = 1; cell <= top; ++cell)
                own[c].push_back(cellBorder(lo, width, m, cell, loKey, hiKey));
            m_borders.insert(m_borders.end(), own[c].begin(), own[c].end());
        }
        std::sort(m_borders.begin(), m_borders.end());
        m_borders.erase(std::unique(m_borders.begin(), m_borders.end()), m_borders.end());

        // Each candidate's cell per piece: its borders at or below the piece's
        // lower border (every border is in the merged list, so none falls
        // inside a piece).
        m_cellOfPiece.resize(candidates.size());
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            std::vector<std::uint16_t>& cells = m_cellOfPiece[c];
            cells.assign(pieceCount(), 0);
            std::size_t below = 0;
            for (std::size_t p = 1; p < pieceCount(); ++p) {
                while (below < own[c].size() && own[c][below] <= m_borders[p - 1])
                    ++below;
                cells[p] = static_cast<std::uint16_t>(below);
            }
        }

        // A lookup by a coarse linear bucket gives a starting piece close to
        // the right one; pieceOf corrects it against the borders.
        const std::size_t buckets = 8 * pieceCount();
        m_bucketScale = static_cast<double>(buckets) / range;
        m_lastBucket = static_cast<int>(buckets) - 1;
        m_startOfBucket.resize(buckets);
        std::size_t below = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            const double v = lo + static_cast<double>(b) / m_bucketScale;
            while (below < m_borders.size() && m_borders[below] <= v)
                ++below;
            m_startOfBucket[b] = static_cast<std::uint16_t>(below);
        }
        m_padded = m_borders;
        m_padded.resize(m_borders.size() + 2, std::numeric_limits<double>::infinity());
    }

    std::size_t pieceCount() const { return m_borders.size() + 1; }

    /// Number of borders at or below v: exact whatever the starting guess.
    std::uint16_t pieceOf(double v) const {
        const int bucket = truncateClamp((v - m_origin) * m_bucketScale, m_lastBucket + 1);
        std::size_t p = m_startOfBucket[static_cast<std::size_t>(bucket)];
        while (p > 0 && m_padded[p - 1] > v) // only where rounding put a bucket's edge off
            --p;
        // Two steps up without branches cover nearly every bucket (the
        // borders past the end are +inf, never at or below a value).
        p += static_cast<std::size_t>(m_padded[p] <= v);
        p += static_cast<std::size_t>(m_padded[p] <= v);
        while (m_padded[p] <= v)
            ++p;
        return static_cast<std::uint16_t>(p);
    }

    const std::vector<std::uint16_t>& cellOfPiece(std::size_t candidate) const {
        return m_cellOfPiece[candidate];
    }

private:
    double m_origin;
    double m_bucketScale = 1.0;
    int m_lastBucket = 0;
    std::vector<double> m_borders;
    std::vector<double> m_padded; ///< m_borders and two +inf
    std::vector<std::vector<std::uint16_t>> m_cellOfPiece;
    std::vector<std::uint16_t> m_startOfBucket;
};

/// The events' x pieces grouped by y piece: the x pieces of the events in y
/// piece p are xPieces[begin[p]] .. xPieces[begin[p + 1] - 1].
struct EventsByRow {
    std::vector<std::uint16_t> xPieces;
    std::vector<std::size_t> begin;
};

/// A counting sort by y piece, in blocks of events that each place their
/// events into their own reserved slots: the layout is the same whatever
/// thread runs which block.
EventsByRow groupByYPiece(const FinitePairs& pairs, const AxisPieces& xAxis,
                          const AxisPieces& yAxis) {
    const std::size_t n = pairs.size();
    const std::size_t rows = yAxis.pieceCount();
    const std::size_t blocks = (n + kEventBlock - 1) / kEventBlock;
    const std::size_t grain = n >= kParallelEventsFrom ? kParallelEventsFrom : n;
    std::vector<std::uint16_t> xPiece(n);
    std::vector<std::uint16_t> yPiece(n);
    std::vector<std::size_t> slot(blocks * rows, 0);
    parallelChunks(n, grain, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            xPiece[i] = xAxis.pieceOf(pairs.x()[i]);
            yPiece[i] = yAxis.pieceOf(pairs.y()[i]);
            ++slot[(i / kEventBlock) * rows + yPiece[i]];
        }
    });
    EventsByRow grouped;
    grouped.begin.assign(rows + 1, 0);
    std::size_t next = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        grouped.begin[r] = next;
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t count = slot[b * rows + r];
            slot[b * rows + r] = next;
            next += count;
        }
    }
    grouped.begin[rows] = next;
    grouped.xPieces.resize(n);
    parallelChunks(n, grain, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            grouped.xPieces[slot[(i / kEventBlock) * rows + yPiece[i]]++] = xPiece[i];
    });
    return grouped;
}

/// One candidate's events per cell, row-major, from the grouped events: the
/// rows of its grid are runs of y pieces, counted one row at a time.
void countCells(const EventsByRow& grouped, std::size_t m,
                const std::vector<std::uint16_t>& colOfXPiece,
                const std::vector<std::uint16_t>& rowOfYPiece, std::vector<std::uint32_t>& cells) {
    cells.assign(m * m, 0U);
    // Crowded rows use four interleaved tallies, so that runs of events in
    // one cell do not wait on each other's increments; sparse ones count
    // straight into the row.
    std::vector<std::uint32_t> tally(4 * m);
    std::uint32_t* t0 = tally.data();
    std::uint32_t* t1 = t0 + m;
    std::uint32_t* t2 = t1 + m;
    std::uint32_t* t3 = t2 + m;
    const std::uint16_t* col = colOfXPiece.data();
    const std::uint16_t* xp = grouped.xPieces.data();
    std::size_t piece = 0;
    for (std::size_t row = 0; row < m; ++row) {
        std::size_t pieceEnd = piece;
        while (pieceEnd < rowOfYPiece.size() && rowOfYPiece[pieceEnd] == row)
            ++pieceEnd;
        std::size_t i = grouped.begin[piece];
        const std::size_t end = grouped.begin[pieceEnd];
        piece = pieceEnd;
        std::uint32_t* out = cells.data() + row * m;
        if (end - i < 8 * m) {
            for (; i < end; ++i)
                ++out[col[xp[i]]];
            continue;
        }
        std::fill(tally.begin(), tally.end(), 0U);
        for (; i + 4 <= end; i += 4) {
            ++t0[col[xp[i]]];
            ++t1[col[xp[i + 1]]];
            ++t2[col[xp[i + 2]]];
            ++t3[col[xp[i + 3]]];
        }
        for (; i < end; ++i)
            ++t0[col[xp[i]]];
        for (std::size_t c = 0; c < m; ++c)
            out[c] = t0[c] + t1[c] + t2[c] + t3[c];
    }
}

/// Sum of (count - mean)^2 over the cells in order, for up to four
/// candidates at once: each sum is the same sequence of additions as
/// binChoiceCost's, only the four run side by side instead of one after the
/// other (they do not depend on each other, so the processor overlaps them).
void sumSquaredDeviations(const std::vector<std::uint32_t>* const cells[4], const double mean[4],
                          std::size_t count, double sums[4]) {
    std::size_t shortest = cells[0]->size();
    for (std::size_t k = 1; k < count; ++k)
        shortest = std::min(shortest, cells[k]->size());
    double s[4] = {0.0, 0.0, 0.0, 0.0};
    const std::uint32_t* c[4] = {};
    for (std::size_t k = 0; k < 4; ++k)
        c[k] = cells[k < count ? k : 0]->data();
    const double m0 = mean[0];
    const double m1 = mean[count > 1 ? 1 : 0];
    const double m2 = mean[count > 2 ? 2 : 0];
    const double m3 = mean[count > 3 ? 3 : 0];
    for (std::size_t i = 0; i < shortest; ++i) {
        const double d0 = static_cast<double>(c[0][i]) - m0;
        const double d1 = static_cast<double>(c[1][i]) - m1;
        const double d2 = static_cast<double>(c[2][i]) - m2;
        const double d3 = static_cast<double>(c[3][i]) - m3;
        s[0] += d0 * d0;
        s[1] += d1 * d1;
        s[2] += d2 * d2;
        s[3] += d3 * d3;
    }
    for (std::size_t k = 0; k < count; ++k) {
        double sum = s[k];
        for (std::size_t i = shortest; i < cells[k]->size(); ++i) {
            const double d = static_cast<double>(c[k][i]) - mean[k];
            sum += d * d;
        }
        sums[k] = sum;
    }
}

/// Whether every candidate's widths are ordinary numbers, so that the
/// pieces can be formed; otherwise the direct binning serves.
bool piecesApply(const FinitePairs& pairs, const std::vector<int>& candidates) {
    const double largest = static_cast<double>(candidates.back());
    const double xRange = usableRange(pairs.xMin, pairs.xMax);
    const double yRange = usableRange(pairs.yMin, pairs.yMax);
    return std::isfinite(xRange) && std::isfinite(yRange) &&
           xRange / largest >= std::numeric_limits<double>::min() &&
           yRange / largest >= std::numeric_limits<double>::min() &&
           pairs.size() < std::numeric_limits<std::uint32_t>::max();
}

} // namespace

std::vector<double> binChoiceCosts(const FinitePairs& pairs) {
    const std::vector<int> candidates = binCountCandidates();
    std::vector<double> costs(candidates.size());
    const std::size_t n = pairs.size();
    const double xRange = usableRange(pairs.xMin, pairs.xMax);
    const double yRange = usableRange(pairs.yMin, pairs.yMax);

    // Few events are simply binned per candidate: placing them once costs a
    // fixed millisecond or so, more than it saves then.
    std::unique_ptr<AxisPieces> xAxis;
    std::unique_ptr<AxisPieces> yAxis;
    EventsByRow grouped;
    const bool byPieces = n >= kPiecesFrom && piecesApply(pairs, candidates);
    if (byPieces) {
        xAxis = std::make_unique<AxisPieces>(pairs.xMin, pairs.xMax, candidates);
        yAxis = std::make_unique<AxisPieces>(pairs.yMin, pairs.yMax, candidates);
        grouped = groupByYPiece(pairs, *xAxis, *yAxis);
    }

    // Candidates go in groups of four neighbours (similar sizes), each group
    // whole to one thread, the largest first: the costs do not depend on how
    // many threads share the groups.
    constexpr std::size_t kGroup = 4;
    const std::size_t groups = (candidates.size() + kGroup - 1) / kGroup;
    const std::size_t grain = n >= kParallelEventsFrom ? 1 : groups;
    parallelChunks(groups, grain, [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint32_t> cells[kGroup];
        for (std::size_t g = begin; g < end; ++g) {
            const std::size_t hi = candidates.size() - g * kGroup;
            const std::size_t lo = hi >= kGroup ? hi - kGroup : 0;
            const std::vector<std::uint32_t>* tables[kGroup] = {};
            double mean[kGroup] = {};
            double sums[kGroup] = {};
            for (std::size_t c = lo; c < hi; ++c) {
                const int m = candidates[c];
                const auto mm = static_cast<std::size_t>(m);
                if (byPieces)
                    countCells(grouped, mm, xAxis->cellOfPiece(c), yAxis->cellOfPiece(c),
                               cells[c - lo]);
                else
                    countCellsDirectly(pairs, m, cells[c - lo]);
                tables[c - lo] = &cells[c - lo];
                mean[c - lo] = static_cast<double>(n) / static_cast<double>(mm * mm);
            }
            sumSquaredDeviations(tables, mean, hi - lo, sums);
            for (std::size_t c = lo; c < hi; ++c) {
                const int m = candidates[c];
                costs[c] = costFromVariance(sums[c - lo], static_cast<double>(m) * m, mean[c - lo],
                                            xRange / m, yRange / m);
            }
        }
    });
    return costs;
}

int chooseBinCount(const FinitePairs& pairs) {
    if (pairs.size() < 4)
        return 32;
    const std::vector<int> candidates = binCountCandidates();
    const std::vector<double> costs = binChoiceCosts(pairs);
    double bestCost = std::numeric_limits<double>::max();
    int best = 64;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (costs[i] < bestCost) {
            bestCost = costs[i];
            best = candidates[i];
        }
    }
    return best;
}

} // namespace Quorvex3::densitydetail
