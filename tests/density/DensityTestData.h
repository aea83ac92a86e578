#pragma once

// Point sets shared with tests/density/density_oracle.py: the same integer
// generator and the same sequence of +, -, * and / on doubles, so the Python
// oracle sees bit-identical coordinates.

#include <cmath>
#include <cstdint>
#include <vector>

namespace Quorvex3::testdata {

class SplitMix {
public:
    explicit SplitMix(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t nextU64() {
        m_state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    /// Uniform in [0, 1) with 53 random bits.
    double uniform() { return static_cast<double>(nextU64() >> 11) * (1.0 / 9007199254740992.0); }

    /// Sum of four uniforms less 2: a bell on (-2, 2); draws in a fixed order.
    double bell() {
        const double a = uniform();
        const double b = uniform();
        const double c = uniform();
        const double d = uniform();
        return a + b + c + d - 2.0;
    }

private:
    std::uint64_t m_state;
};

struct Points {
    std::vector<double> x;
    std::vector<double> y;
};

/// Two elongated clusters over a uniform background (clustered() in the oracle).
inline Points clustered(int n, std::uint64_t seed) {
    SplitMix g(seed);
    Points p;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t kind = g.nextU64() % 3;
        if (kind == 0) {
            const double bx = g.bell();
            const double by = g.bell();
            p.x.push_back(2.0 + 0.6 * bx);
            p.y.push_back(3.0 + 0.4 * by);
        } else if (kind == 1) {
            const double bx = g.bell();
            const double by = g.bell();
            p.x.push_back(5.0 + 0.3 * bx);
            p.y.push_back(1.0 + 0.8 * by);
        } else {
            const double ux = g.uniform();
            const double uy = g.uniform();
            p.x.push_back(8.0 * ux);
            p.y.push_back(5.0 * uy - 1.0);
        }
    }
    return p;
}

/// One round bell centred at (cx, cy) with the given spread.
inline Points bump(int n, std::uint64_t seed, double cx, double cy, double spread) {
    SplitMix g(seed);
    Points p;
    for (int i = 0; i < n; ++i) {
        const double bx = g.bell();
        const double by = g.bell();
        p.x.push_back(cx + spread * bx);
        p.y.push_back(cy + spread * by);
    }
    return p;
}

/// Uniform points in [0, 1) x [0, 1).
inline Points uniformSquare(int n, std::uint64_t seed) {
    SplitMix g(seed);
    Points p;
    for (int i = 0; i < n; ++i) {
        const double ux = g.uniform();
        const double uy = g.uniform();
        p.x.push_back(ux);
        p.y.push_back(uy);
    }
    return p;
}

/// clustered() snapped to a lattice of 0.1, so many events share a position
/// (duplicates() in the oracle).
inline Points duplicates(int n, std::uint64_t seed) {
    Points p = clustered(n, seed);
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        p.x[i] = std::floor(p.x[i] * 10.0) / 10.0;
        p.y[i] = std::floor(p.y[i] * 10.0) / 10.0;
    }
    return p;
}

/// Every event at one position (equal() in the oracle).
inline Points equal(int n) {
    return {std::vector<double>(static_cast<std::size_t>(n), 2.5),
            std::vector<double>(static_cast<std::size_t>(n), -1.25)};
}

/// Two values per feature, drawn independently: four positions, each held by
/// about a quarter of the events (two_values() in the oracle).
inline Points twoValues(int n, std::uint64_t seed) {
    SplitMix g(seed);
    Points p;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t a = g.nextU64() % 2;
        const std::uint64_t b = g.nextU64() % 2;
        p.x.push_back(a == 0 ? 0.0 : 3.0);
        p.y.push_back(b == 0 ? 10.0 : 20.0);
    }
    return p;
}

/// A continuous bell-shaped x against an integer-valued y of three values
/// (threelevels() in the oracle); with `transposed`, y is the continuous one.
/// The search grid then has many more columns than rows (or rows than
/// columns).
inline Points threeLevels(int n, std::uint64_t seed, bool transposed = false) {
    SplitMix g(seed);
    Points p;
    for (int i = 0; i < n; ++i) {
        const double b = g.bell();
        const double level = static_cast<double>(g.nextU64() % 3);
        const double spread = 10.0 + 3.0 * b;
        p.x.push_back(transposed ? level : spread);
        p.y.push_back(transposed ? spread : level);
    }
    return p;
}

/// Integer-valued features of a bell shape: a few dozen positions, crowded in
/// the middle and rare at the tails, at many equal distances from each other
/// (lattice() in the oracle).
inline Points lattice(int n, std::uint64_t seed) {
    SplitMix g(seed);
    Points p;
    for (int i = 0; i < n; ++i) {
        const double bx = g.bell();
        const double by = g.bell();
        p.x.push_back(std::floor(bx * 2.0));
        p.y.push_back(std::floor(by * 2.0));
    }
    return p;
}

/// clustered() with one event at (1e308, -1e308) in place of event n / 3
/// (outlier() in the oracle); with `both`, also one at (-1e308, 1e308) in
/// place of event 2n / 3, so that differences of coordinates overflow too.
inline Points outlier(int n, std::uint64_t seed, bool both = false) {
    Points p = clustered(n, seed);
    p.x[p.x.size() / 3] = 1e308;
    p.y[p.y.size() / 3] = -1e308;
    if (both) {
        p.x[2 * p.x.size() / 3] = -1e308;
        p.y[2 * p.y.size() / 3] = 1e308;
    }
    return p;
}

/// clustered() whose uniform background is saturated: those events sit at
/// the upper corner (8, 4) of its range (saturated() in the oracle).
inline Points saturated(int n, std::uint64_t seed) {
    Points p = clustered(n, seed);
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        if (p.x[i] > 6.5 || p.y[i] > 3.5) {
            p.x[i] = 8.0;
            p.y[i] = 4.0;
        }
    }
    return p;
}

} // namespace Quorvex3::testdata
