#include "calc/ImageTextureFeatures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace Quorvex3 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kMinMaskedPixels = 16;
constexpr int kRings = 10;

void appendNaN(std::vector<double>& out, int count) {
    out.insert(out.end(), static_cast<size_t>(count), kNaN);
}

/// -sum p log2 p over the non-empty bins of a histogram with `total` entries.
template <typename Counts> double entropyBits(const Counts& counts, double total) {
    double entropy = 0.0;
    for (const auto count : counts) {
        const double p = static_cast<double>(count) / total;
        if (p > 0.0)
            entropy -= p * std::log2(p);
    }
    return entropy;
}

/// The LBP bin of the pixel at (x, y): the number of neighbours at least as
/// bright for uniform patterns (at most two 0/1 transitions around), else 9.
int lbpBin(const cv::Mat& image, int x, int y) {
    const uchar* above = image.ptr<uchar>(y - 1);
    const uchar* row = image.ptr<uchar>(y);
    const uchar* below = image.ptr<uchar>(y + 1);
    const uchar centre = row[x];
    // Neighbours in bit order, anticlockwise from the right.
    const uchar neighbours[8] = {row[x + 1], above[x + 1], above[x], above[x - 1],
                                 row[x - 1], below[x - 1], below[x], below[x + 1]};
    int code = 0;
    for (int k = 0; k < 8; ++k)
        if (neighbours[k] >= centre)
            code |= 1 << k;
    int transitions = 0;
    for (int k = 0; k < 8; ++k)
        transitions += ((code >> k) & 1) != ((code >> ((k + 1) % 8)) & 1);
    if (transitions > 2)
        return 9;
    int bits = 0;
    for (int k = 0; k < 8; ++k)
        bits += (code >> k) & 1;
    return bits;
}

/// Least-squares slope of y on x; NaN when x does not vary.
double leastSquaresSlope(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    double meanX = 0.0;
    double meanY = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        meanX += x[i];
        meanY += y[i];
    }
    meanX /= n;
    meanY /= n;
    double sxy = 0.0;
    double sxx = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - meanX) * (y[i] - meanY);
        sxx += (x[i] - meanX) * (x[i] - meanX);
    }
    return sxx > 0.0 ? sxy / sxx : kNaN;
}

} // namespace

namespace texture {

MaskedPixels collectMaskedPixels(const cv::Mat& image, const cv::Mat& mask) {
    MaskedPixels pixels;
    for (int y = 0; y < mask.rows; ++y) {
        const uchar* m = mask.ptr<uchar>(y);
        const uchar* g = image.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x) {
            if (m[x] != 0) {
                pixels.values.push_back(static_cast<double>(g[x]));
                pixels.coords.emplace_back(x, y);
            }
        }
    }
    return pixels;
}

double sortedQuantile(const std::vector<double>& sorted, double q) {
    const double pos = q * static_cast<double>(sorted.size() - 1);
    const auto i = static_cast<size_t>(pos);
    const double f = pos - static_cast<double>(i);
    if (i + 1 < sorted.size())
        return (1.0 - f) * sorted[i] + f * sorted[i + 1];
    return sorted[i];
}

void brightnessFeatures(const std::vector<double>& values, std::vector<double>& out) {
    if (values.empty()) {
        appendNaN(out, 9);
        return;
    }
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    const double n = static_cast<double>(values.size());
    double sum = 0.0;
    for (double v : values)
        sum += v;
    const double mean = sum / n;
    double m2 = 0.0;
    double m3 = 0.0;
    double m4 = 0.0;
    for (double v : values) {
        const double d = v - mean;
        m2 += d * d;
        m3 += d * d * d;
        m4 += d * d * d * d;
    }
    m2 /= n;
    m3 /= n;
    m4 /= n;

    const double median = sortedQuantile(sorted, 0.5);
    std::vector<double> deviations(sorted.size());
    std::transform(sorted.begin(), sorted.end(), deviations.begin(),
                   [median](double v) { return std::abs(v - median); });
    std::sort(deviations.begin(), deviations.end());

    std::array<int, 256> histogram{};
    for (double v : values) {
        const int bin = std::clamp(static_cast<int>(v), 0, 255);
        ++histogram[static_cast<size_t>(bin)];
    }

    out.push_back(median);
    out.push_back(sortedQuantile(sorted, 0.1));
    out.push_back(sortedQuantile(sorted, 0.9));
    out.push_back(sortedQuantile(sorted, 0.75) - sortedQuantile(sorted, 0.25));
    out.push_back(1.4826 * sortedQuantile(deviations, 0.5));
    out.push_back(mean != 0.0 ? std::sqrt(m2) / mean : kNaN);
    out.push_back(m2 > 0.0 ? m3 / std::pow(m2, 1.5) : kNaN);
    out.push_back(m2 > 0.0 ? m4 / (m2 * m2) - 3.0 : kNaN);
    out.push_back(entropyBits(histogram, n));
}

void lbpFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out) {
    if (image.rows < 3 || image.cols < 3) {
        appendNaN(out, 3);
        return;
    }
    std::array<long long, 10> bins{};
    long long total = 0;
    for (int y = 1; y <= image.rows - 2; ++y) {
        const uchar* m = mask.ptr<uchar>(y);
        for (int x = 1; x <= image.cols - 2; ++x) {
            if (m[x] == 0)
                continue;
            ++bins[static_cast<size_t>(lbpBin(image, x, y))];
            ++total;
        }
    }
    if (total < 1) {
        appendNaN(out, 3);
        return;
    }
    const double t = static_cast<double>(total);
    out.push_back(entropyBits(bins, t));
    out.push_back(1.0 - static_cast<double>(bins[9]) / t);
    out.push_back(static_cast<double>(bins[0] + bins[8]) / t);
}

void radialProfileFeatures(const MaskedPixels& pixels, std::vector<double>& out) {
    const size_t n = pixels.coords.size();
    if (n == 0) {
        appendNaN(out, 4);
        return;
    }
    double cx = 0.0;
    double cy = 0.0;
    for (const cv::Point& p : pixels.coords) {
        cx += p.x;
        cy += p.y;
    }
    cx /= static_cast<double>(n);
    cy /= static_cast<double>(n);
    std::vector<double> radius(n);
    double rmax = 0.0;
    for (size_t i = 0; i < n; ++i) {
        radius[i] = std::hypot(pixels.coords[i].x - cx, pixels.coords[i].y - cy);
        rmax = std::max(rmax, radius[i]);
    }
    if (!(rmax > 0.0)) {
        appendNaN(out, 4);
        return;
    }
    std::array<double, kRings> sums{};
    std::array<long long, kRings> counts{};
    for (size_t i = 0; i < n; ++i) {
        const int ring = std::clamp(static_cast<int>(kRings * radius[i] / rmax), 0, kRings - 1);
        sums[static_cast<size_t>(ring)] += pixels.values[i];
        ++counts[static_cast<size_t>(ring)];
    }
    std::vector<double> position;
    std::vector<double> brightness;
    for (int k = 0; k < kRings; ++k) {
        if (counts[static_cast<size_t>(k)] == 0)
            continue;
        position.push_back((k + 0.5) / kRings);
        brightness.push_back(sums[static_cast<size_t>(k)] /
                             static_cast<double>(counts[static_cast<size_t>(k)]));
    }
    if (position.size() < 2) {
        appendNaN(out, 4);
        return;
    }
    out.push_back(leastSquaresSlope(position, brightness));

    // Plain means over rings, not weighted by their pixel counts.
    double inner = 0.0;
    double outer = 0.0;
    int innerCount = 0;
    int outerCount = 0;
    for (size_t k = 0; k < position.size(); ++k) {
        if (position[k] < 0.25) {
            inner += brightness[k];
            ++innerCount;
        } else if (position[k] > 0.75) {
            outer += brightness[k];
            ++outerCount;
        }
    }
    out.push_back(innerCount > 0 && outerCount > 0 && outer > 0.0
                      ? (inner / innerCount) / (outer / outerCount)
                      : kNaN);

    const auto [minIt, maxIt] = std::minmax_element(brightness.begin(), brightness.end());
    const double minM = *minIt;
    const double maxM = *maxIt;
    out.push_back(maxM + minM > 0.0 ? (maxM - minM) / (maxM + minM) : kNaN);

    const double r0 = position.front();
    const double m0 = brightness.front();
    const double slope = (brightness.back() - m0) / (position.back() - r0);
    double depth = 0.0;
    for (size_t k = 0; k < position.size(); ++k)
        depth = std::max(depth, m0 + slope * (position[k] - r0) - brightness[k]);
    out.push_back(maxM - minM > 0.0 ? depth / (maxM - minM) : 0.0);
}

} // namespace texture

bool computeImageFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out) {
    out.assign(kImageFeatureCount, kNaN);
    if (image.empty() || mask.empty() || image.rows != mask.rows || image.cols != mask.cols ||
        image.type() != CV_8UC1 || mask.type() != CV_8UC1)
        return false;
    const texture::MaskedPixels pixels = texture::collectMaskedPixels(image, mask);
    if (pixels.values.size() < kMinMaskedPixels)
        return false;
    std::vector<double> values;
    values.reserve(kImageFeatureCount);
    texture::brightnessFeatures(pixels.values, values);
    texture::lbpFeatures(image, mask, values);
    texture::radialProfileFeatures(pixels, values);
    texture::spectralFeatures(image, mask, pixels, values);
    texture::focusFeatures(image, mask, pixels, values);
    if (values.size() != static_cast<size_t>(kImageFeatureCount))
        return false;
    out = std::move(values);
    return true;
}

} // namespace Quorvex3
