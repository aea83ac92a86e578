#pragma once

// A 64-bit fingerprint of everything a plot takes from the density estimator
// (densities, the grid size chosen, contour thresholds and every path point),
// over the exact bit patterns: equal fingerprints mean bit-identical results.

#include "density/DensityEstimator.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace Quorvex3::testdata {

class Fingerprint {
public:
    void add(std::uint64_t word) {
        for (int i = 0; i < 8; ++i) {
            m_hash ^= (word >> (8 * i)) & 0xFFU;
            m_hash *= 0x100000001B3ULL; // FNV-1a
        }
    }
    void add(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        add(bits);
    }
    void add(const std::vector<double>& values) {
        add(static_cast<std::uint64_t>(values.size()));
        for (const double v : values)
            add(v);
    }
    void add(const std::vector<ContourLevel>& levels) {
        add(static_cast<std::uint64_t>(levels.size()));
        for (const ContourLevel& level : levels) {
            add(level.fraction);
            add(level.threshold);
            add(static_cast<std::uint64_t>(level.paths.size()));
            for (const ContourPath& path : level.paths) {
                add(static_cast<std::uint64_t>(path.size()));
                for (const ContourPoint& point : path) {
                    add(point.first);
                    add(point.second);
                }
            }
        }
    }
    std::uint64_t value() const { return m_hash; }

private:
    std::uint64_t m_hash = 0xCBF29CE484222325ULL;
};

/// The results of the plot's kernel density colour with contours, on linear
/// and on the given scaled axes, and of the automatic histogram.
inline std::uint64_t densityFingerprint(const std::vector<double>& x, const std::vector<double>& y,
                                        ScaleMode scaled) {
    const std::vector<double> fractions{0.1, 0.5, 0.67, 0.95};
    Fingerprint f;
    for (const ScaleMode mode : {ScaleMode::Linear, scaled}) {
        const KernelDensityView view =
            DensityEstimator::estimateKDEWithContours(x, y, fractions, mode, mode);
        f.add(view.densities);
        f.add(view.levels);
    }
    f.add(static_cast<std::uint64_t>(DensityEstimator::computeKDEGrid(x, y, 0).size));
    f.add(DensityEstimator::computeKDEGrid(x, y, 0).values);
    f.add(DensityEstimator::estimateNaNSafe(x, y, DensityMethod::Histogram));
    return f.value();
}

} // namespace Quorvex3::testdata
