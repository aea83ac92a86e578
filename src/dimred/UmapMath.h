#pragma once

// Arithmetic of the layout optimisation, kept here so the fit and the
// transform compute every step the same way.

#include <cmath>
#include <cstdint>

namespace Quorvex3 {
namespace umapdetail {

/// x^b for the positive squared distances of the layout, as exp(b ln x):
/// within a few ulps of std::pow and about a fifth faster, which matters
/// as it runs once per sample of the optimisation.
inline double powPositive(double x, double b) {
    return std::exp(b * std::log(x));
}

/// Exact a mod d for 64-bit a without a division instruction (Lemire,
/// Kaser and Kurz, "Faster remainder by direct computation", 2019): the
/// negative samples draw one index per sample, and a 64-bit division costs
/// as much as the rest of a sample's arithmetic.
class FastModulo {
public:
    explicit FastModulo(uint64_t d) : m_d(d), m_m(d == 0 ? 0 : ~U128(0) / d + 1) {}

    uint64_t operator()(uint64_t a) const {
        const U128 low = m_m * a;
        const U128 bottom = ((low & ~uint64_t(0)) * m_d) >> 64;
        const U128 top = (low >> 64) * m_d;
        return static_cast<uint64_t>((bottom + top) >> 64);
    }

private:
    __extension__ typedef unsigned __int128 U128;
    uint64_t m_d;
    U128 m_m;
};

inline double clip4(double v) {
    return v > 4.0 ? 4.0 : (v < -4.0 ? -4.0 : v);
}

/// Attraction coefficient -2ab d2^(b-1) / (1 + a d2^b), 0 at d2 = 0.
inline double attraction(double d2, double a, double b) {
    if (!(d2 > 0.0))
        return 0.0;
    const double pb = powPositive(d2, b);
    return (-2.0 * a * b * pb) / (d2 * (1.0 + a * pb));
}

/// Repulsion coefficient 2 r b / ((d2 + 0.001)(1 + a d2^b)) for d2 > 0.
inline double repulsion(double d2, double a, double b, double strength) {
    return (2.0 * strength * b) / ((d2 + 0.001) * (1.0 + a * powPositive(d2, b)));
}

} // namespace umapdetail
} // namespace Quorvex3
