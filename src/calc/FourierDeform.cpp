#include "calc/FourierDeform.h"

#include "calc/FourierComponentAnalysis.h"
#include "core/RTDCReader.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace Quorvex3 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kHarmonicOrders = 11;

} // namespace

FourierDeform::FourierDeform(QObject* parent) : QObject(parent) {}

std::vector<cv::Point_<int>> FourierDeform::contourFromMask(const cv::Mat& mask) {
    if (mask.empty() || mask.type() != CV_8UC1)
        return {};
    cv::Mat work = mask.clone();
    std::vector<std::vector<cv::Point_<int>>> contours;
    cv::findContours(work, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    double bestArea = 0.0;
    const std::vector<cv::Point_<int>>* best = nullptr;
    for (const auto& contour : contours) {
        if (contour.size() <= 4)
            continue;
        const double area = cv::contourArea(contour, false);
        if (area > bestArea) {
            bestArea = area;
            best = &contour;
        }
    }
    return best ? *best : std::vector<cv::Point_<int>>{};
}

std::vector<double> FourierDeform::deformationsOfMask(const cv::Mat& mask) {
    std::vector<double> values(3, kNaN);
    std::vector<cv::Point_<int>> outline = contourFromMask(mask);
    if (outline.size() < 5 || !(cv::contourArea(outline, false) > 0.0))
        return values;
    const FourierComponentAnalysis analysis(std::move(outline), kHarmonicOrders, true);
    if (std::isfinite(analysis.deformOdd) && std::isfinite(analysis.deformEven)) {
        values[0] = analysis.deformOdd;
        values[1] = analysis.deformEven;
    }
    if (std::isfinite(analysis.deformFc))
        values[2] = analysis.deformFc;
    return values;
}

bool FourierDeform::run(RTDCReader* reader) {
    if (!reader || !reader->hasMasks())
        return false;
    const size_t n = reader->getEventCount();
    std::vector<double> odd(n, kNaN);
    std::vector<double> even(n, kNaN);
    std::vector<double> all(n, kNaN);
    for (size_t e = 0; e < n; ++e) {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bytes = reader->readMask(e, width, height);
        if (!bytes.empty() && width >= 1 && height >= 1 &&
            bytes.size() >= static_cast<size_t>(width) * static_cast<size_t>(height)) {
            const cv::Mat mask(height, width, CV_8UC1, bytes.data());
            const std::vector<double> values = deformationsOfMask(mask);
            odd[e] = values[0];
            even[e] = values[1];
            all[e] = values[2];
        }
        if (e % 100 == 0)
            emit progressChanged(
                static_cast<int>(static_cast<double>(e) * 100.0 / static_cast<double>(n)));
    }
    reader->addCalculatedFeature("deform_odd", std::move(odd));
    reader->addCalculatedFeature("deform_even", std::move(even));
    reader->addCalculatedFeature("deform_fc", std::move(all));
    emit progressChanged(100);
    return true;
}

} // namespace Quorvex3
