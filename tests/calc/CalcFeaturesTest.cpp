// Fourier deformation and image texture features: known shapes and edge
// cases, an independent computation on the same cells as reference
// (tests/calc/calc_oracle.py, run as "/usr/bin/python3 tests/calc/calc_oracle.py
// <cells file>"; tolerances: Fourier values 1e-6 absolute, texture values
// 1e-5 relative plus 1e-7 absolute, for values near zero such as the slope of
// a flat spectrum from the single-precision DFT; NaN in the same places), and
// the whole run over a measurement file.

#include "SyntheticCells.h"
#include "calc/FourierComponentAnalysis.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "calc/ImageTextureFeatures.h"
#include "core/RTDCReader.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

using Contour = std::vector<cv::Point>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Rectangles of 255 on an empty mask, filled or with the given line width.
cv::Mat boxes(int rows, int cols, std::initializer_list<cv::Rect> rects, int width = cv::FILLED) {
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    for (const cv::Rect& r : rects)
        cv::rectangle(mask, r, cv::Scalar(255), width);
    return mask;
}

/// NaN exactly where expected, else within `relative` plus `absolute`.
void expectClose(double actual, double expected, double relative, double absolute) {
    const double tolerance = relative * std::abs(expected) + absolute;
    EXPECT_TRUE(std::isnan(expected) ? std::isnan(actual)
                                     : std::abs(actual - expected) <= tolerance)
        << actual << " instead of " << expected;
}

TEST(FourierComponentAnalysis, KnownShapesPeriodicResamplingAndDegenerateContours) {
    // A circle is almost round, an ellipse even but not odd, whether its
    // radius is resampled or taken at the dense hull points.
    const Contour round =
        FourierDeform::contourFromMask(ellipseMask(80, 80, {40, 40}, {30, 30}, 0));
    const Contour oblong =
        FourierDeform::contourFromMask(ellipseMask(80, 100, {50, 40}, {40, 20}, 0));
    for (const bool resample : {true, false}) {
        const FourierComponentAnalysis circle(round, 11, resample);
        const FourierComponentAnalysis oval(oblong, 11, resample);
        for (double d : {circle.deformOdd, circle.deformEven, circle.deformFc, oval.deformOdd})
            EXPECT_TRUE(d > 0 && d < 2e-3) << d;
        EXPECT_TRUE(oval.deformEven > 0.02 && oval.deformFc > 0.02);
    }
    // From the mean radius alone (one order, or the even orders below 2)
    // the outline is a regular 100-gon: area 50 r^2 sin(2 pi / 100),
    // perimeter 200 r sin(pi / 100), whatever the radius; here of a half
    // disc, whose second order is strong.
    const double polygon =
        1.0 - std::sqrt(M_PI * 50.0 * std::sin(2 * M_PI / 100)) / (100.0 * std::sin(M_PI / 100));
    cv::Mat halfDisc = ellipseMask(80, 80, {40, 40}, {30, 30}, 0);
    halfDisc.rowRange(0, 40).setTo(0);
    const Contour half = FourierDeform::contourFromMask(halfDisc);
    const FourierComponentAnalysis meanOnly(half, 1, true);
    const FourierComponentAnalysis twoOrders(half, 2, true);
    for (double d : {meanOnly.deformOdd, meanOnly.deformEven, meanOnly.deformFc,
                     twoOrders.deformEven})
        EXPECT_NEAR(d, polygon, 1e-6);
    EXPECT_GT(FourierComponentAnalysis(half, 3, true).deformEven, polygon + 0.01);
    // Each mode sums its own orders: odd 1, 3; even 2, 4; all 1 .. 4.
    const arma::colvec A = {1, 2, 3, 4, 5};
    const arma::colvec B = {0, 6, 7, 8, 9};
    const arma::colvec angles = {0.0, 0.3, 2.0, 4.5};
    for (int mode = 0; mode < 3; ++mode) {
        arma::Mat<double> radius;
        FourierComponentAnalysis(half, 1, true).reconstructContour(A, B, mode, angles, radius);
        for (arma::uword i = 0; i < angles.n_elem; ++i) {
            double want = A(0);
            for (int k = 1; k < 5; ++k)
                if (mode == 2 || k % 2 == (mode == 0 ? 1 : 0))
                    want += A(k) * std::cos(k * angles(i)) + B(k) * std::sin(k * angles(i));
            EXPECT_NEAR(radius(i), want, 1e-12) << "mode " << mode << " angle " << angles(i);
        }
    }
    const FourierComponentAnalysis fca(round, 11, true);
    arma::Mat<double> phi;
    arma::Mat<double> r;
    arma::Mat<double> dPhi;
    // 64 points on one ray share the angle 0 and keep their order.
    fca.CartesianToPolarSortedZeroTwoPi(arma::regspace(64, -1, 1), arma::zeros(64), phi, r);
    EXPECT_TRUE(arma::all(arma::vectorise(r) == arma::regspace(64, -1, 1)));
    // Samples at 1 and 5 rad only: angles below 1 and above 5 take their
    // radius across the wrap, from 5 - 2 pi to 1 and from 5 to 1 + 2 pi.
    // (Without the wrap a cell whose last sample lay below the top angle
    // lost all three values.)
    fca.createEquidistantPolarContour(arma::colvec{1, 5}, arma::colvec{10, 20}, 100, phi, r, dPhi);
    const double gap = 1.0 + 2 * fca.pi - 5.0;
    EXPECT_NEAR(r(0), 20.0 - 10.0 * (2 * fca.pi - 5.0) / gap, 1e-12);
    EXPECT_NEAR(r(99), 20.0 - 10.0 * (phi(99) - 5.0) / gap, 1e-12);
    // Collinear points have no centre; each failure leaves one line.
    for (const Contour& c : {Contour{{0, 0}, {5, 5}, {10, 10}}, Contour{{7, 7}}, Contour{}}) {
        ::testing::internal::CaptureStderr();
        const FourierComponentAnalysis bad(c, 11, true);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(std::isnan(bad.deformOdd) && std::isnan(bad.deformEven) &&
                    std::isnan(bad.deformFc));
        EXPECT_TRUE(err.rfind("[FCA] ", 0) == 0 && std::count(err.begin(), err.end(), '\n') == 1)
            << err;
    }
    for (const cv::Mat& m : {cv::Mat(), cv::Mat(cv::Mat::ones(20, 20, CV_32F))})
        EXPECT_TRUE(std::isnan(FourierDeform::deformationsOfMask(m)[2]));
}

TEST(ImageFeatures, NamesEdgeCasesAndTheFourNeighbourLaplacian) {
    std::string names;
    for (const std::string& name : imageFeatureNames())
        names += name + " ";
    EXPECT_EQ(names, "bright_median bright_perc_10 bright_perc_90 bright_iqr bright_mad bright_cv "
                     "bright_skew bright_kurt bright_entropy lbp_entropy lbp_uniformity lbp_spot "
                     "radial_slope radial_cer radial_contrast radial_ringdepth spectral_slope "
                     "spectral_centroid spectral_hf spectral_entropy focus_tenengrad focus_lapvar "
                     "focus_brenner focus_edge ");
    // A uniform image: no spread, texture or gradient; without variation
    // skew, kurtosis and the spectral shape are undefined.
    const cv::Mat image(60, 80, CV_8UC1, cv::Scalar(120));
    const std::vector<double> uniform = {120, 120, 120, 0, 0,    0,    kNaN, kNaN, 0, 0, 1, 1,
                                         0,   1,   0,   0, kNaN, kNaN, kNaN, 0,    0, 0, 0, 0};
    std::vector<double> v;
    EXPECT_TRUE(computeImageFeatures(image, ellipseMask(60, 80, {40, 30}, {15, 10}, 20), v));
    for (size_t k = 0; k < uniform.size(); ++k)
        expectClose(v[k], uniform[k], 0.0, 0.0);
    // An all-black cell has mean 0: no coefficient of variation.
    EXPECT_TRUE(computeImageFeatures(cv::Mat::zeros(60, 80, CV_8UC1),
                                     ellipseMask(60, 80, {40, 30}, {15, 10}, 20), v));
    EXPECT_TRUE(std::isnan(v[5]) && v[0] == 0.0);
    // 15 masked pixels (16 are the least), and inputs that do not fit.
    const cv::Mat fifteen = boxes(60, 80, {{10, 10, 3, 5}});
    for (const auto& [img, mask] : {std::pair{image, fifteen},
                                    {image, fifteen.colRange(0, 79)},
                                    {cv::Mat(60, 80, CV_8UC3), image}}) {
        v = {1.0};
        EXPECT_FALSE(computeImageFeatures(img, mask, v));
        EXPECT_EQ(std::count_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), 24);
    }
    // One pixel of 100 on black in a 5 x 5 cell; the box is the cell widened
    // by 5 pixels, 15 x 15. The Laplacian [0 1 0; 1 -4 1; 0 1 0] is -400 once
    // and +100 four times, mean 0. (The aperture-3 kernel [2 0 2; 0 -8 0;
    // 2 0 2] would give (800^2 + 4 * 200^2) / 225.)
    cv::Mat dot = cv::Mat::zeros(40, 40, CV_8UC1);
    dot.at<uchar>(20, 20) = 100;
    ASSERT_TRUE(computeImageFeatures(dot, boxes(40, 40, {{18, 18, 5, 5}}), v));
    EXPECT_NEAR(v[21], (400.0 * 400.0 + 4 * 100.0 * 100.0) / 225.0, 1e-9);
    // A strip of 8 rows leaves a spectral window of side 7, the least that
    // is analysed; with 7 rows the spectrum is NaN and the rest computed.
    for (const int rows : {8, 7}) {
        std::mt19937_64 rng(rows);
        const cv::Mat strip = boxes(rows, 40, {{10, 1, 12, rows - 2}});
        ASSERT_TRUE(computeImageFeatures(texturedImage(rng, strip), strip, v));
        EXPECT_EQ(std::isnan(v[17]) && std::isnan(v[19]), rows == 7) << rows;
        EXPECT_TRUE(std::isfinite(v[0]) && std::isfinite(v[20]));
    }
}

TEST(CalcFeatures, MatchTheIndependentComputation) {
    std::mt19937_64 rng(2718);
    std::vector<SyntheticCell> cells;
    for (int i = 0; i < 32; ++i)
        cells.push_back(i < 24 ? randomCell(rng, 80, 250, i % 4 == 0 ? -5.0 : 25.0)
                               : randomCell(rng, 16 + 5 * (i - 24), 20 + 7 * (i - 24), 3.0));
    // Two blobs (the larger counts), blobs of equal area 24 but different
    // shape (the first found counts), a 2 x 2 blob (a 4-point outline), 16
    // pixels of value 1, a line without area, nothing, a cell cut by the
    // corner, strips of 6 and 7 rows too low for a spectrum and one of 8
    // rows just high enough, a mask on the outer frame.
    for (const cv::Mat& m :
         {cv::Mat(ellipseMask(80, 250, {60, 40}, {12, 9}, 20) |
                  ellipseMask(80, 250, {170, 30}, {20, 12}, 70)),
          boxes(40, 60, {{5, 5, 3, 13}, {30, 20, 5, 7}}), boxes(20, 20, {{5, 5, 2, 2}}),
          cv::Mat(boxes(20, 20, {{10, 10, 4, 4}}) / 255), boxes(20, 20, {{2, 10, 16, 1}}),
          boxes(20, 20, {}), ellipseMask(60, 80, {2, 58}, {7, 6}, 0),
          boxes(6, 40, {{10, 1, 12, 4}}), boxes(7, 40, {{10, 1, 12, 5}}),
          boxes(8, 40, {{10, 1, 12, 6}}), boxes(20, 30, {{0, 0, 30, 20}}, 1)})
        cells.push_back({texturedImage(rng, m), m});
    TempDir dir;
    std::ofstream file(dir.file("cells.bin"), std::ios::binary);
    for (const SyntheticCell& c : cells) {
        file << c.mask.rows << ' ' << c.mask.cols << '\n';
        for (const cv::Mat& m : {c.image, c.mask})
            file.write(reinterpret_cast<const char*>(m.data), static_cast<long>(m.total()));
    }
    file.close();
    const auto expected =
        runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/calc_oracle.py", dir.file("cells.bin"));
    ASSERT_EQ(expected.size(), cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        SCOPED_TRACE("cell " + std::to_string(i));
        const std::vector<std::vector<double>>& g = expected[i].groups;
        ASSERT_TRUE(g.size() == 2 && g[0].size() == 4 && g[1].size() == 24);
        EXPECT_EQ(FourierDeform::contourFromMask(cells[i].mask).size(), g[0][0]);
        const std::vector<double> deform = FourierDeform::deformationsOfMask(cells[i].mask);
        std::vector<double> texture;
        computeImageFeatures(cells[i].image, cells[i].mask, texture);
        for (size_t k = 0; k < 3; ++k)
            expectClose(deform[k], g[0][k + 1], 0.0, 1e-6);
        for (size_t k = 0; k < 24; ++k)
            expectClose(texture[k], g[1][k], 1e-5, 1e-7);
    }
}

/// Writes `events` events with `frames` 40 x 60 images and masks, where
/// `stacks` asks for them; every 9th mask is one pixel, without outline.
std::vector<SyntheticCell> writeMeasurement(const std::string& path, size_t events, size_t frames,
                                            std::initializer_list<const char*> stacks) {
    std::mt19937_64 rng(5);
    std::vector<SyntheticCell> cells;
    for (size_t i = 0; i < frames; ++i) {
        cells.push_back(randomCell(rng, 40, 60, 15.0));
        if (i % 9 == 4)
            cells.back().mask = boxes(40, 60, {{30, 20, 1, 1}});
    }
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", std::vector<float>(events, 1.0f));
    for (const std::string stack : stacks)
        writer.addImageStack(
            stack, frames, 40, 60,
            stackFrames(cells, stack == "mask" ? &SyntheticCell::mask : &SyntheticCell::image),
            frames > 0 ? Storage::chunked({25, 40, 60}, 4) : Storage{});
    return cells;
}

TEST(FeatureRun, ColumnsHoldTheKernelValuesOfEveryEvent) {
    using Case = std::tuple<size_t, size_t, std::vector<int>>; // events, frames, progress
    TempDir dir;
    std::vector<std::string> names = {"deform_odd", "deform_even", "deform_fc"};
    names.insert(names.end(), imageFeatureNames().begin(), imageFeatureNames().end());
    // Events beyond the image and mask stacks stay NaN.
    for (const auto& [events, frames, expected] :
         {Case{250, 230, {0, 40, 80, 100}}, Case{120, 100, {0, 83, 100}}, Case{0, 0, {100}}}) {
        const std::string path = dir.file(std::to_string(events) + ".rtdc");
        const auto cells = writeMeasurement(path, events, frames, {"image", "mask"});
        RTDCReader reader;
        ASSERT_TRUE(reader.openFile(path));
        FourierDeform deform;
        ImageFeatures features;
        std::vector<int> progress;
        std::vector<int> featureProgress;
        QObject::connect(&deform, &FourierDeform::progressChanged,
                         [&](int p) { progress.push_back(p); });
        QObject::connect(&features, &ImageFeatures::progressChanged,
                         [&](int p) { featureProgress.push_back(p); });
        ASSERT_TRUE(deform.run(&reader) && features.run(&reader));
        EXPECT_EQ(progress, expected);
        EXPECT_EQ(featureProgress, expected);
        for (size_t i = 0; i < events; ++i) {
            const SyntheticCell cell = i < frames ? cells[i] : SyntheticCell{};
            std::vector<double> want = FourierDeform::deformationsOfMask(cell.mask);
            std::vector<double> texture;
            computeImageFeatures(cell.image, cell.mask, texture);
            want.insert(want.end(), texture.begin(), texture.end());
            for (size_t k = 0; k < names.size(); ++k)
                expectClose(reader.readScalarFeature(names[k]).at(i), want[k], 0.0, 0.0);
        }
        for (const std::string& name : names) // as empty columns when there are no events
            EXPECT_TRUE(reader.isCalculatedFeature(name)) << name;
    }
    // Without masks (or images, for the texture) or a reader nothing is added.
    writeMeasurement(dir.file("images.rtdc"), 5, 5, {"image"});
    writeMeasurement(dir.file("masks.rtdc"), 5, 5, {"mask"});
    RTDCReader images;
    RTDCReader masks;
    ASSERT_TRUE(images.openFile(dir.file("images.rtdc")) && masks.openFile(dir.file("masks.rtdc")));
    EXPECT_FALSE(FourierDeform().run(&images) || ImageFeatures().run(&images) ||
                 ImageFeatures().run(&masks) || FourierDeform().run(nullptr) ||
                 ImageFeatures().run(nullptr));
    EXPECT_FALSE(images.hasFeature("deform_fc") || masks.hasFeature("bright_median"));
}

} // namespace
