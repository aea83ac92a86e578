// Image texture features: edge cases with known answers, the whole run on a
// measurement file, and an independent computation as reference
// (tests/calc/texture_oracle.py, run as
// "/usr/bin/python3 tests/calc/texture_oracle.py <input>": numpy quantiles,
// scipy skew/kurtosis/entropy, numpy's FFT, OpenCV Sobel/Laplacian/
// getOptimalDFTSize/morphology on the whole image). Tolerance against it:
// 1e-5 relative (plus 1e-9 absolute for values at zero); NaN in the same places.

#include "calc/ImageFeatures.h"
#include "SyntheticCells.h"
#include "calc/ImageTextureFeatures.h"
#include "core/RTDCReader.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

const std::string kOracle = std::string(QUORVEX3_TEST_DIR) + "/texture_oracle.py";

enum Feature {
    BrightMedian,
    BrightP10,
    BrightP90,
    BrightIqr,
    BrightMad,
    BrightCv,
    BrightSkew,
    BrightKurt,
    BrightEntropy,
    LbpEntropy,
    LbpUniformity,
    LbpSpot,
    RadialSlope,
    RadialCer,
    RadialContrast,
    RadialRingDepth,
    SpectralSlope,
    SpectralCentroid,
    SpectralHf,
    SpectralEntropy,
    FocusTenengrad,
    FocusLapVar,
    FocusBrenner,
    FocusEdge
};

std::vector<double> features(const cv::Mat& image, const cv::Mat& mask, bool expectOk = true) {
    std::vector<double> out;
    EXPECT_EQ(computeImageFeatures(image, mask, out), expectOk);
    EXPECT_EQ(out.size(), 24u);
    return out;
}

bool allNaN(const std::vector<double>& v, size_t from = 0, size_t to = 24) {
    for (size_t i = from; i < to; ++i)
        if (!std::isnan(v[i]))
            return false;
    return true;
}

bool allFinite(const std::vector<double>& v, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}

TEST(ImageFeatures, TwentyFourNamesInTheirFixedOrder) {
    const std::vector<std::string> expected = {
        "bright_median",   "bright_perc_10",    "bright_perc_90",  "bright_iqr",
        "bright_mad",      "bright_cv",         "bright_skew",     "bright_kurt",
        "bright_entropy",  "lbp_entropy",       "lbp_uniformity",  "lbp_spot",
        "radial_slope",    "radial_cer",        "radial_contrast", "radial_ringdepth",
        "spectral_slope",  "spectral_centroid", "spectral_hf",     "spectral_entropy",
        "focus_tenengrad", "focus_lapvar",      "focus_brenner",   "focus_edge"};
    EXPECT_EQ(imageFeatureNames(), expected);
    EXPECT_EQ(&imageFeatureNames(), &imageFeatureNames());
    EXPECT_EQ(static_cast<int>(imageFeatureNames().size()), kImageFeatureCount);
}

// ---------------------------------------------------------- bad input

TEST(ImageFeatures, UnusableInputGivesTwentyFourNaN) {
    const cv::Mat image(30, 30, CV_8UC1, cv::Scalar(90));
    const cv::Mat mask = ellipseMask(30, 30, {15, 15}, {8, 6}, 0);
    struct Case {
        const char* name;
        cv::Mat image;
        cv::Mat mask;
    };
    const Case cases[] = {
        {"empty image", cv::Mat(), mask},
        {"empty mask", image, cv::Mat()},
        {"sizes differ", image, ellipseMask(30, 31, {15, 15}, {8, 6}, 0)},
        {"mask not 8-bit", image, cv::Mat(30, 30, CV_16UC1, cv::Scalar(1))},
        {"image in colour", cv::Mat(30, 30, CV_8UC3, cv::Scalar(90, 90, 90)), mask},
        {"empty region", image, cv::Mat::zeros(30, 30, CV_8UC1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> out = {1.0, 2.0};
        EXPECT_FALSE(computeImageFeatures(c.image, c.mask, out));
        ASSERT_EQ(out.size(), 24u);
        EXPECT_TRUE(allNaN(out));
    }
}

TEST(ImageFeatures, SixteenMaskedPixelsAreTheMinimum) {
    std::mt19937_64 rng(3);
    const cv::Mat image = texturedImage(rng, ellipseMask(30, 30, {15, 15}, {8, 6}, 0));
    cv::Mat mask = cv::Mat::zeros(30, 30, CV_8UC1);
    cv::rectangle(mask, cv::Rect(10, 10, 4, 4), cv::Scalar(1), cv::FILLED); // 16 pixels, value 1
    EXPECT_FALSE(allNaN(features(image, mask)));
    mask.at<uchar>(13, 13) = 0;
    EXPECT_TRUE(allNaN(features(image, mask, false)));
}

// ---------------------------------------------------------- known answers

TEST(ImageFeatures, UniformImage) {
    const cv::Mat image(60, 80, CV_8UC1, cv::Scalar(120));
    const std::vector<double> v = features(image, ellipseMask(60, 80, {40, 30}, {15, 10}, 20));
    EXPECT_EQ(v[BrightMedian], 120.0);
    EXPECT_EQ(v[BrightIqr], 0.0);
    EXPECT_EQ(v[BrightMad], 0.0);
    EXPECT_EQ(v[BrightCv], 0.0);
    EXPECT_TRUE(std::isnan(v[BrightSkew]));
    EXPECT_TRUE(std::isnan(v[BrightKurt]));
    EXPECT_EQ(v[BrightEntropy], 0.0);
    // Every neighbour equals the centre: code 255, 8 bits set, uniform.
    EXPECT_EQ(v[LbpEntropy], 0.0);
    EXPECT_EQ(v[LbpUniformity], 1.0);
    EXPECT_EQ(v[LbpSpot], 1.0);
    EXPECT_EQ(v[RadialContrast], 0.0);
    EXPECT_EQ(v[RadialRingDepth], 0.0);
    EXPECT_EQ(v[RadialCer], 1.0);
    EXPECT_EQ(v[FocusTenengrad], 0.0);
    EXPECT_EQ(v[FocusLapVar], 0.0);
    EXPECT_EQ(v[FocusBrenner], 0.0);
    EXPECT_EQ(v[FocusEdge], 0.0);
}

TEST(ImageFeatures, BlackRegionHasNoCoefficientOfVariation) {
    cv::Mat image(40, 40, CV_8UC1, cv::Scalar(100));
    const cv::Mat mask = ellipseMask(40, 40, {20, 20}, {8, 8}, 0);
    image.setTo(0, mask);
    const std::vector<double> v = features(image, mask);
    EXPECT_TRUE(std::isnan(v[BrightCv]));
    EXPECT_EQ(v[BrightMedian], 0.0);
}

TEST(ImageFeatures, FocusUsesTheFourNeighbourLaplacian) {
    // One bright pixel (100) on black inside a 5 x 5 cell; the box is the
    // cell widened by 5 pixels: 15 x 15 = 225 pixels.
    cv::Mat image = cv::Mat::zeros(40, 40, CV_8UC1);
    image.at<uchar>(20, 20) = 100;
    cv::Mat mask = cv::Mat::zeros(40, 40, CV_8UC1);
    cv::rectangle(mask, cv::Rect(18, 18, 5, 5), cv::Scalar(255), cv::FILLED);
    const std::vector<double> v = features(image, mask);
    // [0 1 0; 1 -4 1; 0 1 0]: -400 once and +100 four times, mean 0.
    // (Aperture 3, [2 0 2; 0 -8 0; 2 0 2], would give (800^2 + 4 * 200^2) / 225.)
    EXPECT_NEAR(v[FocusLapVar], (400.0 * 400.0 + 4 * 100.0 * 100.0) / 225.0, 1e-9);
    // Sobel: |2v| at four neighbours, |v| at four diagonals, for each axis.
    EXPECT_NEAR(v[FocusTenengrad], 2 * (2 * 200.0 * 200.0 + 4 * 100.0 * 100.0) / 225.0, 1e-9);
    // Four pairs two apart touch the pixel; 15 * 13 pairs per direction.
    EXPECT_NEAR(v[FocusBrenner], 4 * 100.0 * 100.0 / 390.0, 1e-9);
}

TEST(ImageFeatures, CellAtTheBorderLosesOnlyTheSpectrum) {
    std::mt19937_64 rng(8);
    // A cell filling a strip six pixels high: the clamped window is at most
    // 5 pixels on a side, below the 7 a spectrum needs.
    cv::Mat mask = cv::Mat::zeros(6, 40, CV_8UC1);
    cv::rectangle(mask, cv::Rect(10, 1, 12, 4), cv::Scalar(255), cv::FILLED);
    const cv::Mat image = texturedImage(rng, mask);
    const std::vector<double> v = features(image, mask);
    EXPECT_TRUE(allNaN(v, SpectralSlope, SpectralEntropy + 1));
    EXPECT_TRUE(allFinite(v, BrightMedian, BrightEntropy + 1));
    EXPECT_TRUE(allFinite(v, LbpEntropy, LbpSpot + 1));
    EXPECT_TRUE(allFinite(v, RadialSlope, RadialContrast + 1));
    EXPECT_TRUE(allFinite(v, FocusTenengrad, FocusEdge + 1));
}

TEST(ImageFeatures, MaskOnTheOuterFrameHasNoLocalBinaryPatterns) {
    std::mt19937_64 rng(9);
    cv::Mat mask = cv::Mat::zeros(20, 30, CV_8UC1);
    cv::rectangle(mask, cv::Rect(0, 0, 30, 20), cv::Scalar(255), 1);
    const cv::Mat image = texturedImage(rng, ellipseMask(20, 30, {15, 10}, {6, 4}, 0));
    const std::vector<double> v = features(image, mask);
    EXPECT_TRUE(allNaN(v, LbpEntropy, LbpSpot + 1));
    EXPECT_TRUE(allFinite(v, BrightMedian, BrightEntropy + 1));
    EXPECT_TRUE(std::isfinite(v[FocusTenengrad]));
}

TEST(ImageFeatures, QuantilesInterpolateBetweenNeighbours) {
    const std::vector<double> sorted = {1, 2, 4, 8, 16};
    EXPECT_DOUBLE_EQ(texture::sortedQuantile(sorted, 0.5), 4.0);
    EXPECT_DOUBLE_EQ(texture::sortedQuantile(sorted, 0.1), 1.4);
    EXPECT_DOUBLE_EQ(texture::sortedQuantile(sorted, 0.9), 12.8);
    EXPECT_DOUBLE_EQ(texture::sortedQuantile(sorted, 1.0), 16.0);
    EXPECT_DOUBLE_EQ(texture::sortedQuantile({3, 5}, 0.5), 4.0);
}

// ---------------------------------------------------- the independent side

struct OracleCase {
    SyntheticCell cell;
    std::vector<double> ours;
};

TEST(ImageFeatures, MatchTheIndependentComputation) {
    std::mt19937_64 rng(2718);
    std::vector<OracleCase> cases;
    for (int i = 0; i < 20; ++i)
        cases.push_back({randomCell(rng, 80, 250, i % 5 == 0 ? -4.0 : 25.0), {}});
    for (int i = 0; i < 8; ++i)
        cases.push_back({randomCell(rng, 16 + 5 * i, 20 + 7 * i, 3.0), {}});
    // Border cases: a cell cut by the corner, a strip too low for a
    // spectrum, a mask on the outer frame.
    cases.push_back({{}, {}});
    cases.back().cell.mask = ellipseMask(60, 80, {2, 58}, {7, 6}, 0);
    cases.back().cell.image = texturedImage(rng, cases.back().cell.mask);
    cases.push_back({{}, {}});
    cases.back().cell.mask = cv::Mat::zeros(6, 40, CV_8UC1);
    cv::rectangle(cases.back().cell.mask, cv::Rect(10, 1, 12, 4), cv::Scalar(255), cv::FILLED);
    cases.back().cell.image = texturedImage(rng, cases.back().cell.mask);
    cases.push_back({{}, {}});
    cases.back().cell.mask = cv::Mat::zeros(20, 30, CV_8UC1);
    cv::rectangle(cases.back().cell.mask, cv::Rect(0, 0, 30, 20), cv::Scalar(255), 1);
    cases.back().cell.image = texturedImage(rng, ellipseMask(20, 30, {15, 10}, {6, 4}, 0));

    std::string input;
    for (OracleCase& c : cases) {
        input += "CASE " + std::to_string(c.cell.image.rows) + " " +
                 std::to_string(c.cell.image.cols) + bytesAsText(c.cell.image) +
                 bytesAsText(c.cell.mask) + "\n";
        computeImageFeatures(c.cell.image, c.cell.mask, c.ours);
    }
    const auto run = runPythonOracle(kOracle, input);
    ASSERT_EQ(run.status, 0) << "the texture oracle failed";
    ASSERT_EQ(run.lines.size(), cases.size());
    size_t compared = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        ASSERT_EQ(run.lines[i].size(), 24u);
        for (size_t k = 0; k < 24; ++k) {
            SCOPED_TRACE("case " + std::to_string(i) + ", " + imageFeatureNames()[k]);
            const double expected = oracleNumber(run.lines[i][k]);
            const double actual = cases[i].ours[k];
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(actual)) << actual;
                continue;
            }
            EXPECT_NEAR(actual, expected,
                        1e-5 * std::max(std::abs(actual), std::abs(expected)) + 1e-9);
            ++compared;
        }
    }
    EXPECT_GT(compared, 24u * 26u);
}

// ---------------------------------------------------------- the whole run

class ImageFeaturesRun : public ::testing::Test {
protected:
    std::string writeMeasurement(size_t events, bool images, bool masks, int maskWidth = 60) {
        std::mt19937_64 rng(11);
        std::vector<cv::Mat> imageFrames;
        std::vector<cv::Mat> maskFrames;
        for (size_t i = 0; i < events; ++i) {
            SyntheticCell cell = randomCell(rng, 40, 60, 15.0);
            if (i % 9 == 4) {
                cell.mask = cv::Mat::zeros(40, 60, CV_8UC1); // no cell at all
                cell.mask.at<uchar>(20, 30) = 255;
            }
            imageFrames.push_back(cell.image);
            maskFrames.push_back(cell.mask.colRange(0, maskWidth).clone());
        }
        m_images = imageFrames;
        m_masks = maskFrames;
        const std::string path = m_dir.file("cells.rtdc");
        RtdcFixtureWriter writer(path);
        writer.addColumn<float>("area_um", std::vector<float>(events, 1.0f));
        if (images)
            writer.addImageStack("image", events, 40, 60, stackFrames(imageFrames),
                                 events > 0 ? Storage::chunked({25, 40, 60}, 4) : Storage{});
        if (masks)
            writer.addImageStack("mask", events, 40, static_cast<size_t>(maskWidth),
                                 stackFrames(maskFrames));
        return path;
    }

    TempDir m_dir;
    std::vector<cv::Mat> m_images;
    std::vector<cv::Mat> m_masks;
};

TEST_F(ImageFeaturesRun, StoresTwentyFourColumnsAndReportsProgress) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(250, true, true)));
    ImageFeatures worker;
    std::vector<int> progress;
    QObject::connect(&worker, &ImageFeatures::progressChanged,
                     [&](int p) { progress.push_back(p); });
    ASSERT_TRUE(worker.run(&reader));
    EXPECT_EQ(progress, (std::vector<int>{0, 40, 80, 100}));
    std::vector<const std::vector<double>*> columns;
    for (const std::string& name : imageFeatureNames()) {
        EXPECT_TRUE(reader.isCalculatedFeature(name)) << name;
        columns.push_back(&reader.readScalarFeature(name));
        ASSERT_EQ(columns.back()->size(), 250u) << name;
    }
    for (size_t i = 0; i < 250; i += 7) {
        SCOPED_TRACE("event " + std::to_string(i));
        std::vector<double> expected;
        const bool ok = computeImageFeatures(m_images[i], m_masks[i], expected);
        EXPECT_EQ(ok, i % 9 != 4);
        for (size_t k = 0; k < 24; ++k) {
            if (std::isnan(expected[k]))
                EXPECT_TRUE(std::isnan((*columns[k])[i]));
            else
                EXPECT_EQ((*columns[k])[i], expected[k]);
        }
    }
}

TEST_F(ImageFeaturesRun, FramesOfDifferentSizesGiveNaN) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(12, true, true, 50)));
    ImageFeatures worker;
    ASSERT_TRUE(worker.run(&reader));
    const auto& median = reader.readScalarFeature("bright_median");
    ASSERT_EQ(median.size(), 12u);
    for (double v : median)
        EXPECT_TRUE(std::isnan(v));
}

TEST_F(ImageFeaturesRun, NoEventsGiveEmptyColumns) {
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(writeMeasurement(0, true, true)));
    ASSERT_TRUE(reader.hasImages() && reader.hasMasks());
    ImageFeatures worker;
    ASSERT_TRUE(worker.run(&reader));
    for (const std::string& name : imageFeatureNames()) {
        EXPECT_TRUE(reader.isCalculatedFeature(name)) << name;
        EXPECT_TRUE(reader.readScalarFeature(name).empty()) << name;
    }
}

TEST_F(ImageFeaturesRun, WithoutImagesMasksOrReaderNothingIsAdded) {
    for (const auto& [images, masks] : {std::pair{true, false}, std::pair{false, true}}) {
        RTDCReader reader;
        ASSERT_TRUE(reader.openFile(writeMeasurement(5, images, masks)));
        ImageFeatures worker;
        EXPECT_FALSE(worker.run(&reader));
        for (const std::string& name : imageFeatureNames())
            EXPECT_FALSE(reader.hasFeature(name)) << name;
    }
    ImageFeatures worker;
    EXPECT_FALSE(worker.run(nullptr));
}

} // namespace
