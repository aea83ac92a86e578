#pragma once

// Shared data of the dimension-reduction tests and access to their oracle,
// dimred_oracle.py (numpy, scipy, sklearn, h5py), run with Debian's
// interpreter; umap-learn's values come from umap_oracle.txt, which the same
// script wrote once (see its header for the call).

#include "dimred/DimRedMatrix.h"
#include "support/RtdcFixtureWriter.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Quorvex3::dimredtest {

using TempDir = Quorvex3::testing::TempDir;

/// splitmix64: the same numbers on every platform and standard library.
struct SplitMix {
    explicit SplitMix(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    /// Sum of 12 uniforms minus 6: mean 0, variance 1, close to normal.
    double bell() {
        double s = -6.0;
        for (int i = 0; i < 12; ++i)
            s += uniform();
        return s;
    }

    uint64_t m_state;
};

inline DimRedMatrix matrix(size_t rows, size_t cols, std::vector<double> data) {
    return DimRedMatrix{std::move(data), rows, cols};
}

inline std::vector<std::string> names(size_t n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back("f" + std::to_string(i));
    return out;
}

/// Three round blobs in `dims` dimensions, blob b centred at 8b along axis
/// b % dims, unit spread; rows in blob order, `perBlob` each.
inline DimRedMatrix blobs(size_t perBlob, size_t dims, uint64_t seed,
                          std::vector<int>* labels = nullptr) {
    SplitMix g(seed);
    DimRedMatrix m = matrix(3 * perBlob, dims, {});
    for (size_t i = 0; i < m.rows; ++i) {
        const size_t b = i / perBlob;
        for (size_t d = 0; d < dims; ++d)
            m.data.push_back((d == b % dims ? 8.0 * static_cast<double>(b) : 0.0) + g.bell());
        if (labels)
            labels->push_back(static_cast<int>(b));
    }
    return m;
}

/// Bell-shaped values, column j scaled by 1 + j and shifted by 3j.
inline DimRedMatrix gaussianMatrix(size_t rows, size_t cols, uint64_t seed) {
    SplitMix g(seed);
    DimRedMatrix m = matrix(rows, cols, std::vector<double>(rows * cols));
    for (size_t i = 0; i < rows * cols; ++i)
        m.data[i] = (1.0 + static_cast<double>(i % cols)) * g.bell() + 3.0 * (i % cols);
    return m;
}

/// The oracle's output lines "<tag> <numbers...>", by tag in output order.
using Oracle = std::map<std::string, std::vector<std::vector<double>>>;
/// Raw output of `dimred_oracle.py <mode> <args>`; throws when it fails.
std::string runOracleText(const std::string& mode, const std::string& args);
/// Writes `m` as the script's input ("rows cols", then the rows) and runs `mode` on it.
Oracle oracleOn(const std::string& mode, const DimRedMatrix& m, const std::string& args = "");
/// umap-learn's stored values.
const Oracle& umapLearn();

} // namespace Quorvex3::dimredtest
