#include "calc/ImageTextureFeatures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

/// Bin of each 8-bit pattern: the number of set bits for uniform patterns
/// (at most two 0/1 transitions around the circle), else 9.
const std::array<uint8_t, 256>& lbpBins() {
    static const std::array<uint8_t, 256> bins = [] {
        std::array<uint8_t, 256> table{};
        for (int code = 0; code < 256; ++code) {
            int transitions = 0;
            int bits = 0;
            for (int k = 0; k < 8; ++k) {
                transitions += ((code >> k) & 1) != ((code >> ((k + 1) % 8)) & 1);
                bits += (code >> k) & 1;
            }
            table[static_cast<size_t>(code)] = static_cast<uint8_t>(transitions <= 2 ? bits : 9);
        }
        return table;
    }();
    return bins;
}

/// The 8-bit pattern of the pixel at (x, y): bit k set when neighbour k is
/// at least as bright as the centre, neighbours anticlockwise from the right.
int lbpCode(const cv::Mat& image, int x, int y) {
    const uchar* above = image.ptr<uchar>(y - 1);
    const uchar* row = image.ptr<uchar>(y);
    const uchar* below = image.ptr<uchar>(y + 1);
    const uchar centre = row[x];
    return (row[x + 1] >= centre) | (above[x + 1] >= centre) << 1 | (above[x] >= centre) << 2 |
           (above[x - 1] >= centre) << 3 | (row[x - 1] >= centre) << 4 |
           (below[x - 1] >= centre) << 5 | (below[x] >= centre) << 6 |
           (below[x + 1] >= centre) << 7;
}

/// Sorted copy of grey values; a counting sort when they are all whole
/// numbers 0..255, as they are for 8-bit images.
std::vector<double> sortedValues(const std::vector<double>& values,
                                 std::array<int, 256>& histogram) {
    bool bytes = true;
    histogram.fill(0);
    for (double v : values) {
        const int bin = std::clamp(static_cast<int>(v), 0, 255);
        ++histogram[static_cast<size_t>(bin)];
        bytes = bytes && v == static_cast<double>(bin);
    }
    std::vector<double> sorted;
    if (!bytes) {
        sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
    sorted.reserve(values.size());
    for (int v = 0; v < 256; ++v)
        sorted.insert(sorted.end(), static_cast<size_t>(histogram[static_cast<size_t>(v)]),
                      static_cast<double>(v));
    return sorted;
}

/// Sorted |x - median|, by counting when the values are whole numbers
/// (then twice the median is whole too, and so is twice each deviation).
std::vector<double> sortedDeviations(const std::vector<double>& sorted, double median) {
    const double twice = 2.0 * median;
    const bool whole =
        !sorted.empty() && sorted.front() >= 0.0 && sorted.back() <= 255.0 &&
        twice == std::floor(twice) &&
        std::all_of(sorted.begin(), sorted.end(), [](double v) { return v == std::floor(v); });
    std::vector<double> deviations(sorted.size());
    std::transform(sorted.begin(), sorted.end(), deviations.begin(),
                   [median](double v) { return std::abs(v - median); });
    if (!whole) {
        std::sort(deviations.begin(), deviations.end());
        return deviations;
    }
    std::array<int, 511> counts{};
    for (double d : deviations)
        ++counts[static_cast<size_t>(2.0 * d)];
    deviations.clear();
    for (int d2 = 0; d2 < 511; ++d2)
        deviations.insert(deviations.end(), static_cast<size_t>(counts[static_cast<size_t>(d2)]),
                          d2 / 2.0);
    return deviations;
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
    const auto count = static_cast<size_t>(cv::countNonZero(mask));
    pixels.values.reserve(count);
    pixels.coords.reserve(count);
    const cv::Rect cell = cv::boundingRect(mask);
    for (int y = cell.y; y < cell.y + cell.height; ++y) {
        const uchar* m = mask.ptr<uchar>(y);
        const uchar* g = image.ptr<uchar>(y);
        for (int x = cell.x; x < cell.x + cell.width; ++x) {
            if (m[x] != 0) {
                pixels.values.push_back(static_cast<double>(g[x]));
                pixels.coords.emplace_back(x, y);
            }
        }
    }
    if (pixels.coords.empty())
        return pixels;
    for (const cv::Point& p : pixels.coords) {
        pixels.cx += p.x;
        pixels.cy += p.y;
    }
    pixels.cx /= static_cast<double>(pixels.coords.size());
    pixels.cy /= static_cast<double>(pixels.coords.size());
    pixels.radius.resize(pixels.coords.size());
    for (size_t i = 0; i < pixels.coords.size(); ++i) {
        pixels.radius[i] =
            std::hypot(pixels.coords[i].x - pixels.cx, pixels.coords[i].y - pixels.cy);
        pixels.rmax = std::max(pixels.rmax, pixels.radius[i]);
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
    std::array<int, 256> histogram{};
    const std::vector<double> sorted = sortedValues(values, histogram);
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
    const std::vector<double> deviations = sortedDeviations(sorted, median);

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
    const std::array<uint8_t, 256>& table = lbpBins();
    std::array<long long, 10> bins{};
    long long total = 0;
    // Centres lie inside the cell's box and have all eight neighbours.
    const cv::Rect cell = cv::boundingRect(mask) & cv::Rect(1, 1, image.cols - 2, image.rows - 2);
    for (int y = cell.y; y < cell.y + cell.height; ++y) {
        const uchar* m = mask.ptr<uchar>(y);
        for (int x = cell.x; x < cell.x + cell.width; ++x) {
            if (m[x] == 0)
                continue;
            ++bins[table[static_cast<size_t>(lbpCode(image, x, y))]];
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
    const double rmax = pixels.rmax;
    if (n == 0 || !(rmax > 0.0)) {
        appendNaN(out, 4);
        return;
    }
    const std::vector<double>& radius = pixels.radius;
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
