// Fourier deformation: the contour analysis step by step, shapes with known
// answers, the mask outline, the whole run on a measurement file, and an
// independent transcription as reference (tests/calc/fourier_oracle.py, run
// as "/usr/bin/python3 tests/calc/fourier_oracle.py <input>": OpenCV's
// convexHull, moments, contourArea and arcLength with numpy's periodic
// np.interp). Tolerance against the transcription: 1e-6 absolute.

#include "calc/FourierDeform.h"
#include "SyntheticCells.h"
#include "calc/FourierComponentAnalysis.h"
#include "core/RTDCReader.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

using Contour = std::vector<cv::Point>;
const double kTwoPi = 2.0 * 3.141592653589793;
const std::string kOracle = std::string(QUORVEX3_TEST_DIR) + "/fourier_oracle.py";

Contour circleContour(double radius, int points, cv::Point2d centre) {
    Contour c;
    for (int i = 0; i < points; ++i) {
        const double a = kTwoPi * i / points;
        c.emplace_back(static_cast<int>(std::lround(centre.x + radius * std::cos(a))),
                       static_cast<int>(std::lround(centre.y + radius * std::sin(a))));
    }
    return c;
}

Contour ellipseContour(double a, double b, int points) {
    Contour c;
    for (int i = 0; i < points; ++i) {
        const double t = kTwoPi * i / points;
        c.emplace_back(static_cast<int>(std::lround(200 + a * std::cos(t))),
                       static_cast<int>(std::lround(200 + b * std::sin(t))));
    }
    return c;
}

/// Deformation of a regular polygon with n vertices (any size).
double regularPolygonDeformation(int n) {
    const double area = n / 2.0 * std::sin(kTwoPi / n);
    const double perimeter = 2.0 * n * std::sin(kTwoPi / 2 / n);
    return 1.0 - 2.0 * std::sqrt(kTwoPi / 2 * area) / perimeter;
}

/// A triangle whose densely sampled hull leaves the top angles (above
/// 2 pi * 0.99) without a sample: the tip at 3.8 degrees is the last point
/// before the long edge from below, whose last sample sits near 338 degrees.
const Contour kGapTriangle = {{110, 101}, {95, 140}, {95, 60}};

// ------------------------------------------------------ analysis, by step

TEST(FourierComponentAnalysis, ElementModulusMapsIntoZeroToM) {
    const FourierComponentAnalysis fca(circleContour(20, 60, {50, 50}), 11, true);
    const arma::Mat<double> x = {-7.5, -1.0, 0.0, 1.0, 6.5, 13.0, -13.0, 20.25};
    const arma::Mat<double> r = fca.el_modulus(x, 6.5);
    const double expected[] = {5.5, 5.5, 0.0, 1.0, 0.0, 0.0, 0.0, 0.75};
    for (arma::uword i = 0; i < x.n_elem; ++i)
        EXPECT_DOUBLE_EQ(r(i), expected[i]) << "x = " << x(i);
}

TEST(FourierComponentAnalysis, EqualAnglesKeepTheirInputOrder) {
    const FourierComponentAnalysis fca(circleContour(20, 60, {50, 50}), 11, true);
    // Points 0, 2 and 3 share the angle 0; point 1 lies at pi / 2.
    const arma::Mat<double> x = arma::colvec{3.0, 0.0, 1.0, 2.0};
    const arma::Mat<double> y = arma::colvec{0.0, 5.0, 0.0, 0.0};
    arma::Mat<double> phi;
    arma::Mat<double> r;
    fca.CartesianToPolarSortedZeroTwoPi(x, y, phi, r);
    ASSERT_EQ(r.n_elem, 4u);
    EXPECT_EQ(r(0), 3.0);
    EXPECT_EQ(r(1), 1.0);
    EXPECT_EQ(r(2), 2.0);
    EXPECT_EQ(r(3), 5.0);
    EXPECT_DOUBLE_EQ(phi(3), kTwoPi / 4);
}

TEST(FourierComponentAnalysis, DenseContourCentresAndSamplesEveryEdge) {
    const FourierComponentAnalysis fca(circleContour(20, 60, {50, 50}), 11, true);
    arma::Mat<double> x;
    arma::Mat<double> y;
    double cx = 0;
    double cy = 0;
    fca.createDenseCartesianContour({{0, 0}, {4, 0}, {4, 2}, {0, 2}}, 10, x, y, cx, cy);
    EXPECT_DOUBLE_EQ(cx, 2.0);
    EXPECT_DOUBLE_EQ(cy, 1.0);
    ASSERT_EQ(x.n_elem, 40u);
    // Edge 0 from (-2, -1) to (2, -1) at t = 0.3; the last edge returns to vertex 0.
    EXPECT_DOUBLE_EQ(x(3), -2.0 + 4.0 * 0.3);
    EXPECT_DOUBLE_EQ(y(3), -1.0);
    EXPECT_DOUBLE_EQ(x(39), -2.0);
    EXPECT_DOUBLE_EQ(y(39), 1.0 - 2.0 * 0.9);
}

TEST(FourierComponentAnalysis, ResamplingIsPeriodicAcrossZero) {
    const FourierComponentAnalysis fca(circleContour(20, 60, {50, 50}), 11, true);
    // Samples at 1 and 5 radians only: every resampled angle lies between
    // them (directly or one turn round), so none may be NaN.
    const arma::Mat<double> phi = arma::colvec{1.0, 5.0};
    const arma::Mat<double> r = arma::colvec{10.0, 20.0};
    arma::Mat<double> phiEq;
    arma::Mat<double> rEq;
    arma::Mat<double> dPhi;
    fca.createEquidistantPolarContour(phi, r, 100, phiEq, rEq, dPhi);
    ASSERT_EQ(rEq.n_elem, 100u);
    EXPECT_TRUE(rEq.is_finite());
    EXPECT_DOUBLE_EQ(dPhi(17), kTwoPi / 100);
    EXPECT_DOUBLE_EQ(phiEq(50), kTwoPi / 2);
    // Angle 0 sits on the wrap-around from 5 - 2 pi to 1.
    const double gap = 1.0 - (5.0 - kTwoPi);
    EXPECT_NEAR(rEq(0), 20.0 + (10.0 - 20.0) * (0.0 - (5.0 - kTwoPi)) / gap, 1e-12);
    // Above the last sample: from 5 to 1 + 2 pi.
    const double top = phiEq(99);
    EXPECT_NEAR(rEq(99), 20.0 + (10.0 - 20.0) * (top - 5.0) / (1.0 + kTwoPi - 5.0), 1e-12);
}

TEST(FourierComponentAnalysis, DeltaPhiWeighsEachAngleByItsNeighbouringGaps) {
    const FourierComponentAnalysis fca(circleContour(20, 60, {50, 50}), 11, true);
    const arma::Mat<double> phi = arma::colvec{0.5, 1.0, 3.0, 6.0};
    arma::Mat<double> dPhi;
    fca.createDeltaPhi(phi, dPhi);
    const double wrap = 0.5 + kTwoPi - 6.0;
    EXPECT_DOUBLE_EQ(dPhi(0), 0.5 * (wrap + 0.5));
    EXPECT_DOUBLE_EQ(dPhi(1), 0.5 * (0.5 + 2.0));
    EXPECT_DOUBLE_EQ(dPhi(3), 0.5 * (3.0 + wrap));
    EXPECT_NEAR(arma::accu(dPhi), kTwoPi, 1e-12);
}

// --------------------------------------------------------- known shapes

TEST(FourierComponentAnalysis, CircleIsAlmostUndeformed) {
    const FourierComponentAnalysis fca(circleContour(30, 400, {60, 60}), 11, true);
    // The rebuilt outline is a 100-gon at best: about 0.00016.
    for (double d : {fca.deformOdd, fca.deformEven, fca.deformFc}) {
        EXPECT_GT(d, 0.0);
        EXPECT_LT(d, 1.5e-3);
    }
}

TEST(FourierComponentAnalysis, MeanRadiusAloneIsARegularHundredGon) {
    const double polygon = regularPolygonDeformation(100);
    EXPECT_NEAR(polygon, 0.000164, 2e-6);
    const FourierComponentAnalysis onlyMean(ellipseContour(40, 20, 300), 1, true);
    EXPECT_NEAR(onlyMean.deformOdd, polygon, 1e-6);
    EXPECT_NEAR(onlyMean.deformEven, polygon, 1e-6);
    EXPECT_NEAR(onlyMean.deformFc, polygon, 1e-6);
    // K = 2: no even order below 2, so the even outline is the mean radius.
    const FourierComponentAnalysis two(ellipseContour(40, 20, 300), 2, true);
    EXPECT_NEAR(two.deformEven, polygon, 1e-6);
}

TEST(FourierComponentAnalysis, EllipseIsEvenNotOdd) {
    const FourierComponentAnalysis fca(ellipseContour(40, 20, 400), 11, true);
    EXPECT_GT(fca.deformEven, 0.02);
    EXPECT_GT(fca.deformFc, 0.02);
    EXPECT_LT(fca.deformOdd, 1e-3);
    EXPECT_NEAR(fca.deformFc, fca.deformEven, 0.01);
}

TEST(FourierComponentAnalysis, DensePointsWithoutResamplingAgreeOnAnEllipse) {
    const FourierComponentAnalysis resampled(ellipseContour(40, 20, 400), 11, true);
    const FourierComponentAnalysis dense(ellipseContour(40, 20, 400), 11, false);
    EXPECT_NEAR(dense.deformEven, resampled.deformEven, 5e-3);
    EXPECT_NEAR(dense.deformFc, resampled.deformFc, 5e-3);
    EXPECT_LT(dense.deformOdd, 2e-3);
}

TEST(FourierComponentAnalysis, HullWithAGapBelowTwoPiStillGetsValues) {
    // Without periodic interpolation every angle above the last sample had
    // no radius, and all three values of such a valid cell were NaN.
    const FourierComponentAnalysis fca(kGapTriangle, 11, true);
    arma::Mat<double> x;
    arma::Mat<double> y;
    arma::Mat<double> phi;
    arma::Mat<double> r;
    double cx = 0;
    double cy = 0;
    fca.createDenseCartesianContour(kGapTriangle, 10, x, y, cx, cy);
    fca.CartesianToPolarSortedZeroTwoPi(x, y, phi, r);
    ASSERT_LT(phi(phi.n_elem - 1), kTwoPi * 0.99) << "the triangle no longer has the gap";
    EXPECT_TRUE(std::isfinite(fca.deformOdd));
    EXPECT_TRUE(std::isfinite(fca.deformEven));
    EXPECT_TRUE(std::isfinite(fca.deformFc));
    EXPECT_GT(fca.deformFc, 0.05);
}

TEST(FourierComponentAnalysis, DegenerateContoursGiveNaNAndOneMessage) {
    const std::vector<std::pair<const char*, Contour>> cases = {
        {"collinear", {{0, 0}, {5, 5}, {10, 10}, {15, 15}, {20, 20}}},
        {"horizontal", {{0, 3}, {10, 3}, {4, 3}}},
        {"one point", {{7, 7}}},
        {"empty", {}},
    };
    for (const auto& [name, contour] : cases) {
        SCOPED_TRACE(name);
        ::testing::internal::CaptureStderr();
        const FourierComponentAnalysis fca(contour, 11, true);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(std::isnan(fca.deformOdd));
        EXPECT_TRUE(std::isnan(fca.deformEven));
        EXPECT_TRUE(std::isnan(fca.deformFc));
        EXPECT_EQ(err.rfind("[FCA] ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

// --------------------------------------------------------- mask outline

TEST(FourierDeform, OutlineComesFromTheLargestBlob) {
    cv::Mat mask = ellipseMask(80, 250, {60, 40}, {10, 8}, 0);
    mask |= ellipseMask(80, 250, {180, 40}, {25, 15}, 30);
    const Contour outline = FourierDeform::contourFromMask(mask);
    ASSERT_FALSE(outline.empty());
    for (const cv::Point& p : outline)
        EXPECT_GT(p.x, 120);
    EXPECT_EQ(mask.at<uchar>(40, 60), 255) << "the mask must not be changed";
}

TEST(FourierDeform, OfEqualBlobsTheFirstFoundWins) {
    cv::Mat mask = cv::Mat::zeros(40, 100, CV_8UC1);
    cv::rectangle(mask, cv::Rect(10, 10, 12, 12), cv::Scalar(255), cv::FILLED);
    cv::rectangle(mask, cv::Rect(60, 20, 12, 12), cv::Scalar(255), cv::FILLED);
    std::vector<Contour> found;
    cv::Mat copy = mask.clone();
    cv::findContours(copy, found, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(found.size(), 2u);
    ASSERT_EQ(cv::contourArea(found[0]), cv::contourArea(found[1]));
    EXPECT_EQ(FourierDeform::contourFromMask(mask), found[0]);
}

TEST(FourierDeform, TinyOrMissingBlobsGiveNaN) {
    struct Case {
        const char* name;
        cv::Mat mask;
    };
    cv::Mat square = cv::Mat::zeros(20, 20, CV_8UC1);
    cv::rectangle(square, cv::Rect(5, 5, 2, 2), cv::Scalar(255), cv::FILLED); // 4 boundary pixels
    cv::Mat line = cv::Mat::zeros(20, 20, CV_8UC1);
    cv::line(line, {2, 10}, {17, 10}, cv::Scalar(255)); // many points, no area
    const Case cases[] = {
        {"2x2 square", square},
        {"one-pixel line", line},
        {"empty mask", cv::Mat::zeros(20, 20, CV_8UC1)},
        {"no pixels", cv::Mat()},
        {"wrong type", cv::Mat::ones(20, 20, CV_32F)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> d = FourierDeform::deformationsOfMask(c.mask);
        ASSERT_EQ(d.size(), 3u);
        EXPECT_TRUE(std::isnan(d[0]) && std::isnan(d[1]) && std::isnan(d[2]));
    }
    EXPECT_TRUE(FourierDeform::contourFromMask(square).empty());
    EXPECT_TRUE(FourierDeform::contourFromMask(line).empty());
    cv::Mat bigger = cv::Mat::zeros(20, 20, CV_8UC1);
    cv::rectangle(bigger, cv::Rect(5, 5, 3, 3), cv::Scalar(255), cv::FILLED);
    EXPECT_TRUE(std::isfinite(FourierDeform::deformationsOfMask(bigger)[2]));
}

// ------------------------------------------------------ the independent side

TEST(FourierDeform, MatchesTheTranscriptionOnRandomCells) {
    std::mt19937_64 rng(1234);
    std::vector<std::vector<double>> ours;
    std::vector<size_t> outlineSizes;
    std::string input;
    auto addMask = [&](const cv::Mat& mask) {
        input += "MASK " + std::to_string(mask.rows) + " " + std::to_string(mask.cols) +
                 bytesAsText(mask) + "\n";
        ours.push_back(FourierDeform::deformationsOfMask(mask));
        outlineSizes.push_back(FourierDeform::contourFromMask(mask).size());
    };
    for (int i = 0; i < 24; ++i)
        addMask(randomCellMask(rng, 80, 250, i % 4 == 0 ? -5.0 : 30.0));
    for (int i = 0; i < 8; ++i)
        addMask(randomCellMask(rng, 24 + 4 * i, 30 + 2 * i, 4.0));
    cv::Mat twoBlobs = ellipseMask(80, 250, {60, 40}, {12, 9}, 20);
    twoBlobs |= ellipseMask(80, 250, {170, 30}, {20, 12}, 70);
    addMask(twoBlobs);
    std::vector<Contour> contours = {kGapTriangle, ellipseContour(35, 12, 200),
                                     circleContour(25, 300, {40, 40})};
    for (const Contour& c : contours) {
        std::string line = "CONTOUR";
        for (const cv::Point& p : c)
            line += " " + std::to_string(p.x) + " " + std::to_string(p.y);
        input += line + "\n";
        const FourierComponentAnalysis fca(c, 11, true);
        ours.push_back({fca.deformOdd, fca.deformEven, fca.deformFc});
        outlineSizes.push_back(c.size());
    }

    const auto run = runPythonOracle(kOracle, input);
    ASSERT_EQ(run.status, 0) << "the Fourier oracle failed";
    ASSERT_EQ(run.lines.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        ASSERT_EQ(run.lines[i].size(), 4u);
        EXPECT_EQ(outlineSizes[i], std::stoul(run.lines[i][0]));
        for (size_t k = 0; k < 3; ++k) {
            const double expected = oracleNumber(run.lines[i][1 + k]);
            ASSERT_TRUE(std::isfinite(expected));
            EXPECT_NEAR(ours[i][k], expected, 1e-6) << "value " << k;
        }
    }
}

// ---------------------------------------------------------- the whole run

class FourierDeformRun : public ::testing::Test {
protected:
    /// Writes `count` masks of 40 x 60 pixels; every 7th is empty, every
    /// 11th a blob too small for an outline, the others ellipses.
    std::string writeMeasurement(size_t count, size_t maskFrames, bool emptyStack = false) {
        std::mt19937_64 rng(5);
        std::vector<cv::Mat> frames;
        for (size_t i = 0; i < maskFrames; ++i) {
            if (i % 7 == 3) {
                frames.push_back(cv::Mat::zeros(40, 60, CV_8UC1));
            } else if (i % 11 == 5) {
                cv::Mat tiny = cv::Mat::zeros(40, 60, CV_8UC1);
                tiny.at<uchar>(20, 30) = 255;
                frames.push_back(tiny);
            } else {
                frames.push_back(randomCellMask(rng, 40, 60, 15.0));
            }
        }
        m_frames = frames;
        const std::string path = m_dir.file("masks.rtdc");
        RtdcFixtureWriter writer(path);
        writer.addColumn<float>("area_um", std::vector<float>(count, 1.0f));
        if (maskFrames > 0 || emptyStack)
            writer.addImageStack("mask", maskFrames, 40, 60, stackFrames(frames),
                                 maskFrames > 0 ? Storage::chunked({10, 40, 60}, 4) : Storage{});
        return path;
    }

    TempDir m_dir;
    std::vector<cv::Mat> m_frames;
};

TEST_F(FourierDeformRun, StoresThreeColumnsAndReportsProgress) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(250, 250)));
    FourierDeform deform;
    std::vector<int> progress;
    QObject::connect(&deform, &FourierDeform::progressChanged,
                     [&](int p) { progress.push_back(p); });
    ASSERT_TRUE(deform.run(&reader));
    EXPECT_EQ(progress, (std::vector<int>{0, 40, 80, 100}));
    const auto& odd = reader.readScalarFeature("deform_odd");
    const auto& even = reader.readScalarFeature("deform_even");
    const auto& fc = reader.readScalarFeature("deform_fc");
    ASSERT_EQ(odd.size(), 250u);
    ASSERT_EQ(even.size(), 250u);
    ASSERT_EQ(fc.size(), 250u);
    EXPECT_TRUE(reader.isCalculatedFeature("deform_odd"));
    size_t finite = 0;
    for (size_t i = 0; i < 250; ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        const std::vector<double> expected = FourierDeform::deformationsOfMask(m_frames[i]);
        if (i % 7 == 3 || i % 11 == 5) {
            EXPECT_TRUE(std::isnan(odd[i]) && std::isnan(even[i]) && std::isnan(fc[i]));
            continue;
        }
        ++finite;
        EXPECT_EQ(odd[i], expected[0]);
        EXPECT_EQ(even[i], expected[1]);
        EXPECT_EQ(fc[i], expected[2]);
    }
    EXPECT_GT(finite, 190u);
}

TEST_F(FourierDeformRun, EventsBeyondTheMaskStackStayNaN) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(30, 20)));
    FourierDeform deform;
    ASSERT_TRUE(deform.run(&reader));
    const auto& fc = reader.readScalarFeature("deform_fc");
    ASSERT_EQ(fc.size(), 30u);
    EXPECT_TRUE(std::isfinite(fc[19]));
    for (size_t i = 20; i < 30; ++i)
        EXPECT_TRUE(std::isnan(fc[i])) << i;
}

TEST_F(FourierDeformRun, NoEventsGiveEmptyColumns) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(0, 0, true)));
    ASSERT_TRUE(reader.hasMasks());
    FourierDeform deform;
    std::vector<int> progress;
    QObject::connect(&deform, &FourierDeform::progressChanged,
                     [&](int p) { progress.push_back(p); });
    ASSERT_TRUE(deform.run(&reader));
    EXPECT_EQ(progress, std::vector<int>{100});
    for (const char* name : {"deform_odd", "deform_even", "deform_fc"}) {
        EXPECT_TRUE(reader.isCalculatedFeature(name)) << name;
        EXPECT_TRUE(reader.readScalarFeature(name).empty()) << name;
    }
}

TEST_F(FourierDeformRun, WithoutMasksOrReaderNothingIsAdded) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(10, 0)));
    FourierDeform deform;
    EXPECT_FALSE(deform.run(&reader));
    EXPECT_FALSE(reader.hasFeature("deform_fc"));
    EXPECT_FALSE(reader.hasFeature("deform_odd"));
    EXPECT_FALSE(deform.run(nullptr));
}

} // namespace
