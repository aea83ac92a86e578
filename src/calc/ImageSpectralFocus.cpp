#include "calc/ImageTextureFeatures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace Quorvex3::texture {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;
constexpr int kMinSpectralSide = 7;
constexpr int kFocusMargin = 5;
constexpr int kEdgeBandSize = 11;

void appendNaN(std::vector<double>& out, int count) {
    out.insert(out.end(), static_cast<size_t>(count), kNaN);
}

/// Hann-windowed, mean-free square of side n from (x0, y0), zero-padded to
/// m x m; unmasked pixels sit at the mean and so contribute nothing.
cv::Mat windowedPatch(const cv::Mat& image, const cv::Mat& mask, int x0, int y0, int n, int m,
                      double mean) {
    std::vector<float> window(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i)
        window[static_cast<size_t>(i)] =
            static_cast<float>(0.5 * (1.0 - std::cos(2.0 * kPi * i / (m - 1))));
    cv::Mat patch = cv::Mat::zeros(m, m, CV_32F);
    for (int i = 0; i < n; ++i) {
        const uchar* g = image.ptr<uchar>(y0 + i);
        const uchar* inside = mask.ptr<uchar>(y0 + i);
        float* row = patch.ptr<float>(i);
        const double wi = window[static_cast<size_t>(i)];
        for (int j = 0; j < n; ++j) {
            const double grey = inside[x0 + j] != 0 ? static_cast<double>(g[x0 + j]) : mean;
            row[j] = static_cast<float>(window[static_cast<size_t>(j)] * (wi * (grey - mean)));
        }
    }
    return patch;
}

/// round(hypot(fu, fv)) in integers: k with k^2 - k < s <= k^2 + k, since
/// s = fu^2 + fv^2 is never (k + 1/2)^2.
int ringIndex(int fu, int fv) {
    const int s = fu * fu + fv * fv;
    int r = static_cast<int>(std::sqrt(static_cast<double>(s)));
    while (r * r > s)
        --r;
    while ((r + 1) * (r + 1) <= s)
        ++r;
    return s > r * r + r ? r + 1 : r;
}

/// Mean power per integer frequency ring 0 .. m/2 of an m x m complex spectrum.
void ringPowers(const cv::Mat& spectrum, std::vector<double>& power,
                std::vector<long long>& count) {
    const int m = spectrum.rows;
    const int half = m / 2;
    power.assign(static_cast<size_t>(half + 1), 0.0);
    count.assign(static_cast<size_t>(half + 1), 0);
    for (int u = 0; u < m; ++u) {
        const int fu = u > half ? u - m : u;
        const cv::Vec2f* row = spectrum.ptr<cv::Vec2f>(u);
        for (int v = 0; v < m; ++v) {
            const int fv = v > half ? v - m : v;
            const int k = ringIndex(fu, fv);
            if (k > half)
                continue;
            const double re = row[v][0];
            const double im = row[v][1];
            power[static_cast<size_t>(k)] += re * re + im * im;
            ++count[static_cast<size_t>(k)];
        }
    }
}

/// The box of the masked pixels widened by the margin, clamped to the image.
cv::Rect focusBox(const cv::Mat& image, const std::vector<cv::Point>& coords) {
    int xMin = coords.front().x;
    int xMax = xMin;
    int yMin = coords.front().y;
    int yMax = yMin;
    for (const cv::Point& p : coords) {
        xMin = std::min(xMin, p.x);
        xMax = std::max(xMax, p.x);
        yMin = std::min(yMin, p.y);
        yMax = std::max(yMax, p.y);
    }
    const int x0 = std::max(xMin - kFocusMargin, 0);
    const int x1 = std::min(xMax + kFocusMargin, image.cols - 1);
    const int y0 = std::max(yMin - kFocusMargin, 0);
    const int y1 = std::min(yMax + kFocusMargin, image.rows - 1);
    return cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

double brennerGradient(const cv::Mat& box) {
    double sum = 0.0;
    long long count = 0;
    for (int y = 0; y < box.rows; ++y) {
        const uchar* row = box.ptr<uchar>(y);
        const uchar* below = y + 2 < box.rows ? box.ptr<uchar>(y + 2) : nullptr;
        for (int x = 0; x < box.cols; ++x) {
            if (x + 2 < box.cols) {
                const double d = static_cast<double>(row[x + 2]) - row[x];
                sum += d * d;
                ++count;
            }
            if (below) {
                const double d = static_cast<double>(below[x]) - row[x];
                sum += d * d;
                ++count;
            }
        }
    }
    return count > 0 ? sum / static_cast<double>(count) : kNaN;
}

} // namespace

void spectralFeatures(const cv::Mat& image, const cv::Mat& mask, const MaskedPixels& pixels,
                      std::vector<double>& out) {
    if (pixels.coords.empty()) {
        appendNaN(out, 4);
        return;
    }
    double mean = 0.0;
    for (double v : pixels.values)
        mean += v;
    mean /= static_cast<double>(pixels.values.size());

    const long h = std::max(static_cast<long>(std::ceil(pixels.rmax)), 2L) + 2;
    const long cxr = std::lround(pixels.cx);
    const long cyr = std::lround(pixels.cy);
    const long x0 = std::clamp(cxr - h, 0L, static_cast<long>(image.cols - 1));
    const long x1 = std::clamp(cxr + h, 0L, static_cast<long>(image.cols - 1));
    const long y0 = std::clamp(cyr - h, 0L, static_cast<long>(image.rows - 1));
    const long y1 = std::clamp(cyr + h, 0L, static_cast<long>(image.rows - 1));
    const long side = std::min(x1 - x0, y1 - y0);
    if (side < kMinSpectralSide) {
        appendNaN(out, 4);
        return;
    }
    const int n = static_cast<int>(side) + 1;
    const int m = cv::getOptimalDFTSize(n);
    const cv::Mat patch =
        windowedPatch(image, mask, static_cast<int>(x0), static_cast<int>(y0), n, m, mean);
    cv::Mat spectrum;
    // Rows from n on are zero: their transforms are skipped, not approximated.
    cv::dft(patch, spectrum, cv::DFT_COMPLEX_OUTPUT, n);

    std::vector<double> power;
    std::vector<long long> count;
    ringPowers(spectrum, power, count);
    const int half = m / 2;
    std::vector<double> frequency;
    std::vector<double> meanPower;
    for (int k = 1; k <= half; ++k) {
        if (count[static_cast<size_t>(k)] == 0)
            continue;
        frequency.push_back(k);
        meanPower.push_back(power[static_cast<size_t>(k)] /
                            static_cast<double>(count[static_cast<size_t>(k)]));
    }
    if (frequency.size() < 3) {
        appendNaN(out, 4);
        return;
    }

    double total = 0.0;
    double weighted = 0.0;
    double high = 0.0;
    std::vector<double> logF;
    std::vector<double> logS;
    for (size_t k = 0; k < frequency.size(); ++k) {
        total += meanPower[k];
        weighted += frequency[k] * meanPower[k];
        if (frequency[k] > half / 2.0)
            high += meanPower[k];
        if (meanPower[k] > 0.0) {
            logF.push_back(std::log(frequency[k]));
            logS.push_back(std::log(meanPower[k]));
        }
    }
    double slope = kNaN;
    if (logF.size() >= 2) {
        double meanF = 0.0;
        double meanS = 0.0;
        for (size_t k = 0; k < logF.size(); ++k) {
            meanF += logF[k];
            meanS += logS[k];
        }
        meanF /= static_cast<double>(logF.size());
        meanS /= static_cast<double>(logS.size());
        double sxy = 0.0;
        double sxx = 0.0;
        for (size_t k = 0; k < logF.size(); ++k) {
            sxy += (logF[k] - meanF) * (logS[k] - meanS);
            sxx += (logF[k] - meanF) * (logF[k] - meanF);
        }
        slope = sxx > 0.0 ? sxy / sxx : kNaN;
    }
    double entropy = 0.0;
    if (total > 0.0) {
        for (double s : meanPower) {
            const double p = s / total;
            if (p > 0.0)
                entropy -= p * std::log2(p);
        }
    }
    out.push_back(slope);
    out.push_back(total > 0.0 ? weighted / total : kNaN);
    out.push_back(total > 0.0 ? high / total : kNaN);
    out.push_back(entropy);
}

void focusFeatures(const cv::Mat& image, const cv::Mat& mask, const MaskedPixels& pixels,
                   std::vector<double>& out) {
    if (pixels.coords.empty()) {
        appendNaN(out, 4);
        return;
    }
    // Filters on a region of a larger matrix read the real neighbours
    // outside it (and reflect only at the image's own border), so filtering
    // the box alone gives the whole-image values inside the box. The edge
    // band lies inside the box as well: the dilation reaches 5 pixels out.
    const cv::Rect box = focusBox(image, pixels.coords);
    // Only the box and the one-pixel rim the 3 x 3 kernels read are converted.
    const cv::Rect rim =
        (box + cv::Point(-1, -1) + cv::Size(2, 2)) & cv::Rect(0, 0, image.cols, image.rows);
    cv::Mat grey;
    image(rim).convertTo(grey, CV_32F);
    const cv::Mat greyBox = grey(box - rim.tl());
    cv::Mat gx;
    cv::Mat gy;
    cv::Mat laplacian;
    cv::Sobel(greyBox, gx, CV_32F, 1, 0, 3);
    cv::Sobel(greyBox, gy, CV_32F, 0, 1, 3);
    // Aperture 1: the 4-neighbour kernel [0 1 0; 1 -4 1; 0 1 0].
    cv::Laplacian(greyBox, laplacian, CV_32F, 1);

    const cv::Mat element =
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(kEdgeBandSize, kEdgeBandSize));
    cv::Mat dilated;
    cv::Mat eroded;
    cv::dilate(mask(box), dilated, element);
    cv::erode(mask(box), eroded, element);

    double tenengrad = 0.0;
    double lapSum = 0.0;
    double lapSquares = 0.0;
    double edgeSum = 0.0;
    long long edgeCount = 0;
    for (int y = 0; y < box.height; ++y) {
        const float* rx = gx.ptr<float>(y);
        const float* ry = gy.ptr<float>(y);
        const float* rl = laplacian.ptr<float>(y);
        const uchar* d = dilated.ptr<uchar>(y);
        const uchar* e = eroded.ptr<uchar>(y);
        for (int x = 0; x < box.width; ++x) {
            const double magnitude2 =
                static_cast<double>(rx[x]) * rx[x] + static_cast<double>(ry[x]) * ry[x];
            tenengrad += magnitude2;
            lapSum += rl[x];
            lapSquares += static_cast<double>(rl[x]) * rl[x];
            if (d[x] != 0 && e[x] == 0) {
                edgeSum += std::sqrt(magnitude2);
                ++edgeCount;
            }
        }
    }
    const double pixelsInBox = static_cast<double>(box.area());
    const double lapMean = lapSum / pixelsInBox;
    out.push_back(tenengrad / pixelsInBox);
    out.push_back(lapSquares / pixelsInBox - lapMean * lapMean);
    out.push_back(brennerGradient(image(box)));
    out.push_back(edgeCount > 0 ? edgeSum / static_cast<double>(edgeCount) : kNaN);
}

} // namespace Quorvex3::texture
