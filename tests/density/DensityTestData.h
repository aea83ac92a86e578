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

} // namespace Quorvex3::testdata
