#pragma once

// Random numbers of the UMAP fit, transform and spectral initialisation.
// The engine and every conversion are fixed, so an embedding depends on the
// seed alone.

#include <cmath>
#include <cstdint>
#include <random>

namespace Quorvex3 {
namespace umapdetail {

/// MT19937-64 with the standard seeding from one 64-bit value.
using Engine = std::mt19937_64;

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
