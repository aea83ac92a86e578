#pragma once

// Shared data of the dimension-reduction tests. The generator is mirrored in
// dimred_oracle.py and umap_oracle.py: splitmix64, uniforms of 53 bits and
// bell-shaped values as sums of uniforms, so only +, -, * and / touch the
// doubles and both sides produce identical bits.

#include "dimred/DimRedMatrix.h"
#include "support/RtdcFixtureWriter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Quorvex3::dimredtest {

using TempDir = Quorvex3::testing::TempDir;

class SplitMix {
public:
    explicit SplitMix(uint64_t seed) : m_state(seed) {}

    uint64_t next() {
        m_state += 0x9E3779B97F4A7C15ull;
        uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    /// Sum of 12 uniforms minus 6: mean 0, variance 1, close to normal.
    double bell() {
        double s = 0.0;
        for (int i = 0; i < 12; ++i)
            s += uniform();
        return s - 6.0;
    }

private:
    uint64_t m_state;
};

/// Three round blobs in `dims` dimensions, centres 0, 8 and 16 apart along
/// different axes, unit spread; rows in blob order, `perBlob` each.
inline DimRedMatrix blobs(size_t perBlob, size_t dims, uint64_t seed, std::vector<int>* labels) {
    SplitMix g(seed);
    DimRedMatrix m;
    m.rows = 3 * perBlob;
    m.cols = dims;
    m.data.reserve(m.rows * dims);
    if (labels)
        labels->clear();
    for (int b = 0; b < 3; ++b)
        for (size_t i = 0; i < perBlob; ++i) {
            for (size_t d = 0; d < dims; ++d) {
                const double centre = (d == static_cast<size_t>(b) % dims) ? 8.0 * b : 0.0;
                m.data.push_back(centre + g.bell());
            }
            if (labels)
                labels->push_back(b);
        }
    return m;
}

/// rows x cols of bell-shaped values with per-column scale and offset.
inline DimRedMatrix gaussianMatrix(size_t rows, size_t cols, uint64_t seed) {
    SplitMix g(seed);
    DimRedMatrix m;
    m.rows = rows;
    m.cols = cols;
    m.data.resize(rows * cols);
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < cols; ++j)
            m.data[i * cols + j] =
                (1.0 + static_cast<double>(j)) * g.bell() + 3.0 * static_cast<double>(j);
    return m;
}

/// Writes numbers one row per line with 17 significant digits.
inline void writeRows(std::FILE* f, const std::vector<double>& values, size_t cols) {
    for (size_t i = 0; i < values.size(); ++i)
        std::fprintf(f, "%.17g%c", values[i], (i + 1) % cols == 0 ? '\n' : ' ');
}

/// Writes "rows cols" and then the rows, the oracle script's input format.
void writeMatrixFile(const std::string& path, const std::vector<double>& values, size_t rows,
                     size_t cols);

/// Raw output of `dimred_oracle.py <mode> <input> <args...>` (Debian's
/// interpreter); throws std::runtime_error when the script fails.
std::string runOracleText(const std::string& mode, const std::string& input,
                          const std::string& args = "");

/// Output of the oracle script `dimred_oracle.py <mode> <input> <args...>`,
/// run with Debian's interpreter; every line is "<tag> <numbers...>".
std::vector<std::pair<std::string, std::vector<double>>>
runOracle(const std::string& mode, const std::string& input, const std::string& args = "");

/// The numbers of the first line tagged `tag`; empty when there is none.
std::vector<double> oracleLine(const std::vector<std::pair<std::string, std::vector<double>>>& out,
                               const std::string& tag);

} // namespace Quorvex3::dimredtest
