#pragma once

// Arithmetic of the layout optimisation, kept here so the fit and the
// transform compute every step the same way.

#include <cmath>
#include <cstdint>
#include <cstring>

namespace Quorvex3 {
namespace umapdetail {

extern const double kPowInvC[256];
extern const double kPowLogC[256];
extern const double kPowExp2[256];

/// x^b for the positive squared distances of the layout, as exp(b ln x)
/// with both functions evaluated here from small tables (UmapPow.cpp) and
/// short series: it runs once per sample of the optimisation, and the
/// library calls cost half of a sample's time while their special-case
/// handling is never needed. Within 1e-14 relative of the exact power where
/// b ln x is below 30 in magnitude (the error grows as |b ln x| 2^-53, as
/// for any exp(b ln x)). Outside normal positive x or |b ln x| <= 700 it
/// falls back to the library functions.
__attribute__((always_inline)) inline double powPositive(double x, double b) {
    uint64_t ix = 0;
    std::memcpy(&ix, &x, sizeof ix);
    constexpr uint64_t kSmallestNormal = 0x0010000000000000ull;
    constexpr uint64_t kInfinity = 0x7ff0000000000000ull;
    if (ix - kSmallestNormal >= kInfinity - kSmallestNormal)
        return std::exp(b * std::log(x));
    // ln 2 split so that k ln2Hi is exact for |k| < 2^21.
    constexpr double kLn2Hi = 0x1.62e42feep-1;
    constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
    // ln x = e ln 2 + ln c_j + ln(1 + r), m = x / 2^e in [1, 2), j its top
    // eight fraction bits, r = m / c_j - 1 within +-2^-9: the series to r^5
    // leaves less than 1e-17. The series are split in halves (Estrin) to
    // shorten the chain of dependent operations.
    const double e = static_cast<double>(static_cast<int>(ix >> 52) - 1023);
    const uint64_t im = (ix & 0x000fffffffffffffull) | 0x3ff0000000000000ull;
    double m = 0.0;
    std::memcpy(&m, &im, sizeof m);
    const size_t j = static_cast<size_t>((ix >> 44) & 255u);
    const double r = m * kPowInvC[j] - 1.0;
    const double r2 = r * r;
    const double series = (r + r2 * (-0.5 + r * (1.0 / 3.0))) +
                          (r2 * r2) * (-0.25 + r * 0.2);
    const double lnx = (e * kLn2Hi + kPowLogC[j]) + (e * kLn2Lo + series);
    const double y = b * lnx;
    if (!(std::fabs(y) <= 700.0))
        return std::exp(b * std::log(x));
    // e^y = 2^(n / 256) e^s, n = round(256 y / ln 2), |s| <= ln 2 / 512:
    // the series to s^4 leaves less than 4e-17.
    constexpr double kShift = 0x1.8p52; // adding it rounds to an integer
    constexpr double k256OverLn2 = 0x1.71547652b82fep8;
    const double n = (y * k256OverLn2 + kShift) - kShift;
    const double s = (y - n * (kLn2Hi / 256.0)) - n * (kLn2Lo / 256.0);
    const double s2 = s * s;
    const double es = (1.0 + s) + s2 * ((0.5 + s * (1.0 / 6.0)) + s2 * (1.0 / 24.0));
    // 2^(n / 256) exactly: the table's 2^(frac / 256) in [1, 2) with
    // (n - frac) / 256 added to its exponent field (the result stays a
    // normal number, so scaling by a power of two rounds nothing).
    const int64_t ni = static_cast<int64_t>(n);
    const int64_t frac = ni & 255;
    uint64_t tableBits = 0;
    std::memcpy(&tableBits, &kPowExp2[frac], sizeof tableBits);
    const uint64_t scaledBits = tableBits + (static_cast<uint64_t>((ni - frac) / 256) << 52);
    double scaled = 0.0;
    std::memcpy(&scaled, &scaledBits, sizeof scaled);
    return scaled * es;
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
__attribute__((always_inline)) inline double attraction(double d2, double a, double b) {
    if (!(d2 > 0.0))
        return 0.0;
    const double pb = powPositive(d2, b);
    return (-2.0 * a * b * pb) / (d2 * (1.0 + a * pb));
}

/// Repulsion coefficient 2 r b / ((d2 + 0.001)(1 + a d2^b)) for d2 > 0.
__attribute__((always_inline)) inline double repulsion(double d2, double a, double b,
                                                      double strength) {
    return (2.0 * strength * b) / ((d2 + 0.001) * (1.0 + a * powPositive(d2, b)));
}

} // namespace umapdetail
} // namespace Quorvex3
