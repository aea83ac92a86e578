#pragma once

// Random numbers of the UMAP fit, transform and spectral initialisation.
// The engine and every conversion are fixed, so an embedding depends on the
// seed alone.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>

namespace Quorvex3 {
namespace umapdetail {

/// MT19937-64 with the standard seeding from one 64-bit value: the numbers
/// of std::mt19937_64, drawn one per negative sample of the layout. The
/// refill of the state is written without branches so that the compiler
/// can run it on vector registers (the library's takes a tenth of a fit).
class Engine {
public:
    using result_type = uint64_t;

    explicit Engine(uint64_t seed) {
        m_state[0] = seed;
        for (size_t i = 1; i < kN; ++i)
            m_state[i] = 6364136223846793005ull * (m_state[i - 1] ^ (m_state[i - 1] >> 62)) + i;
    }

    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~uint64_t(0); }

    uint64_t operator()() {
        if (m_index >= kN)
            refill();
        uint64_t z = m_state[m_index++];
        z ^= (z >> 29) & 0x5555555555555555ull;
        z ^= (z << 17) & 0x71d67fffeda60000ull;
        z ^= (z << 37) & 0xfff7eee000000000ull;
        z ^= z >> 43;
        return z;
    }

private:
    static constexpr size_t kN = 312;
    static constexpr size_t kM = 156;

    static uint64_t twist(uint64_t upperFrom, uint64_t lowerFrom, uint64_t with) {
        constexpr uint64_t kLowerMask = (uint64_t(1) << 31) - 1;
        const uint64_t y = (upperFrom & ~kLowerMask) | (lowerFrom & kLowerMask);
        return with ^ (y >> 1) ^ ((uint64_t(0) - (y & 1)) & 0xb5026f5aa96619e9ull);
    }

    void refill() {
        size_t k = 0;
        for (; k < kN - kM; ++k)
            m_state[k] = twist(m_state[k], m_state[k + 1], m_state[k + kM]);
        for (; k < kN - 1; ++k)
            m_state[k] = twist(m_state[k], m_state[k + 1], m_state[k + kM - kN]);
        m_state[kN - 1] = twist(m_state[kN - 1], m_state[0], m_state[kM - 1]);
        m_index = 0;
    }

    uint64_t m_state[kN];
    size_t m_index = kN;
};

/// output x 2^-64, the output rounded to double first (so 1.0 is possible).
inline double uniform(Engine& engine) {
    return static_cast<double>(engine()) * 5.421010862427522e-20;
}

/// Normal numbers by the polar method; keeps the second value of each pair.
class NormalDraw {
public:
    NormalDraw(double mean, double stddev) : m_mean(mean), m_stddev(stddev) {}

    double operator()(Engine& engine) {
        double value = 0.0;
        if (m_hasSpare) {
            m_hasSpare = false;
            value = m_spare;
        } else {
            double u = 0.0;
            double v = 0.0;
            double s = 0.0;
            do {
                u = 2.0 * uniform(engine) - 1.0;
                v = 2.0 * uniform(engine) - 1.0;
                s = u * u + v * v;
            } while (!(s > 0.0 && s <= 1.0));
            const double f = std::sqrt(-2.0 * std::log(s) / s);
            m_spare = v * f;
            m_hasSpare = true;
            value = u * f;
        }
        return value * m_stddev + m_mean;
    }

private:
    double m_mean;
    double m_stddev;
    double m_spare = 0.0;
    bool m_hasSpare = false;
};

} // namespace umapdetail
} // namespace Quorvex3
