// Robust per-feature scaling: median centre and MAD scale with fallbacks.

#include "dimred/RobustScaling.h"
#include "dimred/ParallelChunks.h"

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

// A total order with NaN above everything, so the selection below stays
// well defined on any input.
bool lessNanLast(double a, double b) {
    return a < b || (std::isnan(b) && !std::isnan(a));
}

constexpr double kMadToSigma = 1.4826;

struct ColumnScale {
    double centre = 0.0;
    double scale = 1.0;
    bool degenerate = false;
};

ColumnScale scaleColumn(const DimRedMatrix& m, size_t j) {
    const size_t n = m.rows;
    std::vector<double> values(n);
    for (size_t i = 0; i < n; ++i)
        values[i] = m.data[i * m.cols + j];
    ColumnScale out;
    out.centre = medianInPlace(values);
    for (size_t i = 0; i < n; ++i)
        values[i] = std::fabs(m.data[i * m.cols + j] - out.centre);
    const double mad = medianInPlace(values) * kMadToSigma;
    if (mad > 0.0) {
        out.scale = mad;
        return out;
    }
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += m.data[i * m.cols + j];
    const double mean = sum / static_cast<double>(n);
    double ss = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = m.data[i * m.cols + j] - mean;
        ss += d * d;
    }
    if (n > 1 && ss / static_cast<double>(n - 1) > 0.0) {
        out.scale = std::sqrt(ss / static_cast<double>(n - 1));
        return out;
    }
    out.scale = 1.0;
    out.degenerate = true;
    return out;
}

} // namespace

double medianInPlace(std::vector<double>& values) {
    const size_t n = values.size();
    if (n == 0)
        return 0.0;
    const size_t mid = n / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid),
                     values.end(), lessNanLast);
    const double upper = values[mid];
    if (n % 2 == 1)
        return upper;
    // After the selection every value before mid is not above values[mid];
    // the largest of them is the lower middle value.
    const double lower = *std::max_element(
        values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), lessNanLast);
    return (upper + lower) * 0.5;
}

RobustScaling fitScaling(const DimRedMatrix& matrix, const std::vector<std::string>& featureNames) {
    RobustScaling out;
    if (matrix.rows == 0 || matrix.cols == 0 || featureNames.size() != matrix.cols ||
        matrix.data.size() != matrix.rows * matrix.cols)
        return out;
    const size_t cols = matrix.cols;
    std::vector<ColumnScale> columns(cols);
    // One column per chunk: each is computed alone, so the result does not
    // depend on how many threads share them.
    parallelChunks(cols, [&](size_t j) { columns[j] = scaleColumn(matrix, j); });
    out.centre.resize(cols);
    out.scale.resize(cols);
    for (size_t j = 0; j < cols; ++j) {
        out.centre[j] = columns[j].centre;
        out.scale[j] = columns[j].scale;
        if (columns[j].degenerate)
            out.degenerate.push_back(featureNames[j]);
    }
    return out;
}

DimRedMatrix applyScaling(const RobustScaling& scaling, const DimRedMatrix& matrix) {
    DimRedMatrix out;
    if (scaling.scale.size() != matrix.cols || scaling.centre.size() != matrix.cols ||
        matrix.data.size() != matrix.rows * matrix.cols)
        return out;
    out.rows = matrix.rows;
    out.cols = matrix.cols;
    out.data.resize(matrix.data.size());
    const size_t cols = matrix.cols;
    for (size_t i = 0; i < matrix.rows; ++i) {
        const double* in = matrix.data.data() + i * cols;
        double* o = out.data.data() + i * cols;
        for (size_t j = 0; j < cols; ++j)
            o[j] = (in[j] - scaling.centre[j]) / scaling.scale[j];
    }
    return out;
}

} // namespace Quorvex3
