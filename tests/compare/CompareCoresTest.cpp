// The GUI-free cores of the combined plots and the image gallery. Statistics,
// cutouts and the automatic contrast are checked against compare_oracle.py
// (numpy and h5py on the measurement written here; its call and tolerances
// are quoted there); limits, grids, contrast windows and cutout sizes
// against hand-computed values.

#include "compare/CombinePlotAxes.h"
#include "compare/CombinePlotData.h"
#include "compare/CombinePlotStats.h"
#include "compare/GalleryContrast.h"
#include "compare/GalleryCutout.h"
#include "compare/GalleryRender.h"
#include "core/RTDCReader.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr ScaleMode kLin = ScaleMode::Linear, kLog = ScaleMode::Log, kPseudo = ScaleMode::PseudoLog;

TempDir& dir() {
    static TempDir d;
    return d;
}

// 1,000 frames of 100 x 80 whose grey levels depend on the event, in
// compressed 100-frame chunks; positions for the cutout cases (events 0 to
// 5: NaN, 1 um, far outside, infinite, beyond an int, near the corner).
const std::string& measurement() {
    static const std::string path = [] {
        const std::string p = dir().file("gallery.rtdc");
        std::vector<uint8_t> pixels(1000 * 80 * 100);
        std::vector<double> posX(1000, 50.5 * 0.34), posY(1000, 40.5 * 0.34), sizeX(1000);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] =
                static_cast<uint8_t>(i / 8000 * 37 % 200 + (i % 100 + i / 100 % 80 * 2) % 56);
        for (size_t i = 0; i < 1000; ++i)
            sizeX[i] = 0.02 * static_cast<double>(i);
        sizeX[0] = kInf;
        sizeX[1] = kNaN;
        posX[0] = kNaN;
        posX[1] = 1.0;
        posX[2] = posY[2] = 1000.0;
        posX[3] = kInf;
        posX[4] = 1e12;
        posX[5] = 90.5 * 0.34;
        posY[5] = 75.5 * 0.34;
        RtdcFixtureWriter w(p);
        w.addImageStack("image", 1000, 80, 100, pixels, Storage::chunked({100, 80, 100}, 4));
        w.addColumn("pos_x", posX);
        w.addColumn("pos_y", posY);
        w.addColumn("size_x", sizeX);
        return p;
    }();
    return path;
}

// Three uniform frames; columns of 6, 10 and 8 values (so 6 events), no
// positions, sizes or fluorescence.
std::shared_ptr<RTDCReader> smallMeasurement(const std::string& name, uint8_t grey) {
    const std::string p = dir().file(name);
    {
        RtdcFixtureWriter w(p);
        w.addImageStack("image", 3, 80, 100, std::vector<uint8_t>(3 * 80 * 100, grey));
        w.addColumn<double>("area_cvx", {1, 1, 1, 1, 1, 1});
        w.addColumn<double>("area_um", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        w.addColumn<double>("deform", {.1, kNaN, .3, .4, .5, .6, .7, .8});
    }
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->openFile(p));
    return reader;
}

std::shared_ptr<RTDCReader> openMeasurement() {
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->openFile(measurement()));
    return reader;
}

std::vector<OracleCase> oracle(const std::string& kind) {
    static const std::vector<OracleCase> all =
        runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/compare_oracle.py", measurement());
    std::vector<OracleCase> cases;
    for (const OracleCase& c : all)
        if (c.kind == kind)
            cases.push_back(c);
    return cases;
}

std::vector<int> toInts(const std::vector<double>& v) {
    return std::vector<int>(v.begin(), v.end());
}

FilterRule range(const std::string& feature, double lo, double hi) {
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

// ---- Combined plots -------------------------------------------------------

TEST(CombinePlotCore, StatsMatchNumpy) {
    const auto cases = oracle("STATS");
    ASSERT_EQ(cases.size(), 5u);
    for (const auto& c : cases) {
        const CombinePlotStats s = computeStats(c.groups[1]);
        const double got[] = {s.mean, s.sd, s.q1, s.median, s.q3, s.iqr};
        for (size_t k = 0; k < 6; ++k)
            EXPECT_NEAR(got[k], c.groups[0][k], 1e-12 * std::abs(c.groups[0][k]) + 1e-13) << k;
    }
    EXPECT_EQ(computeStats({}).sd, 0.0);
}

TEST(CombinePlotCore, AxisLimitsPadInTheAxisSpace) {
    struct Case {
        std::vector<double> values;
        ScaleMode mode;
        bool valid;
        double min, max;
    } cases[] = {
        {{3, 3, 3}, kLin, true, 2, 4},
        {{0, 10, kNaN}, kLin, true, -0.5, 10.5},
        {{}, kLin, false, 0, 0},
        {{-1, 0, 10, 1000}, kLog, true, std::pow(10, 0.9), std::pow(10, 3.1)},
        {{100, 100}, kLog, true, 10, 1000},
        {{-1, 0}, kLog, false, 0, 0},
        {{0, 1000}, kPseudo, true, -15, std::pow(10, 3.075)},
    };
    for (const Case& c : cases) {
        const CombineFilteredData data{c.values, {1}, {}, "", ""};
        const AxisRange r = computeGlobalAxisLimits({&data, nullptr}, c.mode, kLin).x;
        ASSERT_EQ(r.valid, c.valid) << c.values.size();
        EXPECT_NEAR(r.min, c.min, 1e-9 * std::abs(c.min));
        EXPECT_NEAR(r.max, c.max, 1e-9 * std::abs(c.max));
    }
    const CombineAxisLimits manual = manualAxisLimits(0, 10, -5, 5, kLog, kLin);
    EXPECT_TRUE(!manual.x.valid && manual.y.valid && manual.y.min == -5);
}

TEST(CombinePlotCore, GridSizeRule) {
    const int cases[][6] = {{5, 0, 0, 0, 3, 2},  {10, 1, 4, 0, 4, 3}, {10, 1, 0, 2, 5, 2},
                            {10, 1, 0, 0, 4, 3}, {10, 0, 5, 0, 4, 3}, {2, 1, 0, 5, 1, 5},
                            {1, 0, 0, 0, 1, 1},  {0, 1, 4, 0, 0, 0}};
    for (const auto& c : cases) {
        const CombineGridSize g = computeGridSize(c[0], c[1] != 0, c[2], c[3]);
        EXPECT_TRUE(g.columns == c[4] && g.rows == c[5]) << c[0] << " " << c[2] << " " << c[3];
    }
}

TEST(CombinePlotCore, ShownEventsSkipMissingRuleColumnsAndStopAtShortestColumn) {
    const auto reader = smallMeasurement("plain.rtdc", 0);
    const CombineDataRequest request{"area_um", "deform", kLin, kLin, true};
    EventFilter filter;
    filter.addRule(range("fl1_max", 0, 1)); // a group rule; no fluorescence here
    filter.addRule(range("area_um", 2, 5));
    // Events 1-4 pass; event 1's deform is NaN. Three events: no density, N 3.
    CombineFilteredData d = readCombineFilteredData(*reader, filter, request);
    EXPECT_EQ(d.x, (std::vector<double>{3, 4, 5}));
    EXPECT_TRUE(d.density.empty());
    filter.setEnabled(false); // six events (the shortest column), one NaN
    d = readCombineFilteredData(*reader, filter, request);
    EXPECT_EQ(d.x, (std::vector<double>{1, 3, 4, 5, 6}));
    ASSERT_EQ(d.density.size(), 5u);
    EXPECT_TRUE(std::isfinite(d.density[4]));
    EXPECT_TRUE(readCombineFilteredData(*reader, {}, {"area_um", "fl1_max"}).x.empty());
}

TEST(CombinePlotCore, LogAxesDrawPositiveDotsOnly) {
    const CombineFilteredData data{{-1, 0, 2, 3}, {1, -2, 3, 4}, {.1, .2, .3, .4}, "", ""};
    const CombineFilteredData dots = dotsForAxes(data, kLog, kPseudo);
    EXPECT_TRUE(dots.x == (std::vector<double>{2, 3}) &&
                dots.density == (std::vector<double>{.3, .4}));
    EXPECT_EQ(dotsForAxes(data, kLin, kLog).y, (std::vector<double>{1, 3, 4}));
    const ScaleWarningCounts w = countScaleWarnings(data, kLog, kLog);
    EXPECT_TRUE(w.x == 2 && w.y == 1 && countScaleWarnings(data, kPseudo, kLin).x == 0);
    const DensityColorRange flat = densityColorRange({.5, .5});
    EXPECT_TRUE(flat.lower == .5 && flat.upper == 1.5);
    const CombineFilteredData blob{{1, 2, 3, 2, 1.5}, {1, 3, 2, 2, 2.5}, {}, "", ""};
    const auto levels = computeCombineContours(blob, 67, 10, kLin, kLin);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_TRUE(levels[0].fraction == 0.1 && levels[1].fraction == 0.67);
}

// ---- Image gallery --------------------------------------------------------

TEST(GalleryCore, CutoutsMatchNumpySlices) {
    const auto reader = openMeasurement();
    const auto cases = oracle("CUT");
    ASSERT_EQ(cases.size(), 7u);
    for (const auto& c : cases) {
        GalleryRenderInput input;
        input.pageIndices = {static_cast<int>(c.groups[0][0]), 5000};
        input.cutoutWidth = input.cutoutHeight = 64;
        input.pixelSize = c.groups[0][3];
        input.generation = 7;
        const GalleryRenderResult r = renderGalleryPage(reader, input);
        ASSERT_EQ(r.tiles.size(), 2u);
        const cv::Mat& tile = r.tiles[0].image;
        ASSERT_TRUE(tile.rows == 64 && tile.cols == 64 && tile.isContinuous());
        EXPECT_EQ(std::vector<int>(tile.data, tile.data + 4096), toInts(c.groups[1]))
            << "event " << c.groups[0][0] << " pixel size " << c.groups[0][3];
        EXPECT_TRUE(r.generation == 7 && r.tiles[1].image.empty() && r.tiles[1].eventIndex == 5000);
    }
    EXPECT_TRUE(renderGalleryPage(nullptr, {{1}, 64, 64}).tiles.empty());
}

TEST(GalleryCore, ContrastWindow) {
    const struct {
        int lo, hi, in, out;
    } cases[] = {{50, 150, 100, 128}, {50, 150, 50, 0},   {50, 150, 200, 255}, {50, 150, 20, 0},
                 {0, 255, 77, 77},    {-9, 300, 77, 77},  {100, 100, 200, 0},  {0, 10, 3, 77},
                 {-5, 10, 1, 26},     {200, 300, 201, 5}, {254, 255, 255, 255}};
    for (const auto& c : cases) {
        cv::Mat tile(2, 3, CV_8UC1, cv::Scalar(c.in));
        applyGalleryContrast(tile, c.lo, c.hi);
        EXPECT_EQ(cv::countNonZero(tile != c.out), 0) << c.lo << " " << c.hi << " " << c.in;
    }
}

TEST(GalleryCore, AutoContrastMatchesTranscription) {
    const auto reader = openMeasurement();
    const auto cases = oracle("AUTO");
    ASSERT_EQ(cases.size(), 2u);
    for (const auto& c : cases) {
        EXPECT_EQ(galleryContrastSample(toInts(c.groups[2])), toInts(c.groups[1]));
        const GalleryAutoContrastResult r =
            computeGalleryAutoContrast(reader, toInts(c.groups[2]), 3);
        EXPECT_TRUE(r.lo == c.groups[0][0] && r.hi == c.groups[0][1] && r.generation == 3)
            << r.lo << " " << r.hi;
    }
    const auto black = computeGalleryAutoContrast(smallMeasurement("black.rtdc", 0), {0, 1, 2}, 1);
    const auto white = computeGalleryAutoContrast(smallMeasurement("white.rtdc", 255), {2, 9}, 1);
    EXPECT_TRUE(black.lo == 0 && black.hi == 1 && white.lo == 255 && white.hi == 255);
    const auto none = computeGalleryAutoContrast(reader, {-1, 5000}, 1);
    EXPECT_TRUE(none.lo == 0 && none.hi == 255);
}

TEST(GalleryCore, AutoCutoutSize) {
    const double sides[][4] = {{10.1, .34, 5, 40}, {10.1, 0, 5, 0},      {10.1, kNaN, 5, 0},
                               {10.1, kInf, 5, 0}, {kInf, .34, 5, 1024}, {1e300, .34, 5, 1024},
                               {kNaN, .34, 5, 0},  {10.1, .34, -20, 0}};
    for (const auto& s : sides)
        EXPECT_EQ(cutoutSideFromPercentile(s[0], s[1], static_cast<int>(s[2])), s[3]) << s[0];
    const auto reader = openMeasurement();
    std::vector<int> all(1000);
    std::iota(all.begin(), all.end(), 0);
    all.push_back(-1);
    all.push_back(5000);
    // sizes 0.04 .. 19.98 after dropping inf and NaN: k = 987 is 19.78 um.
    EXPECT_DOUBLE_EQ(featurePercentile99(*reader, all, "size_x"), 0.02 * 989);
    GalleryCutoutSize s = computeAutoCutoutSize(*reader, all, 0.34, 5); // no size_y: image height
    EXPECT_TRUE(s.width == 70 && s.height == 80) << s.width << " " << s.height;
    const auto plain = smallMeasurement("sizes.rtdc", 0);
    s = computeAutoCutoutSize(*plain, {0}, 0.34, 5);
    EXPECT_TRUE(s.width == 100 && s.height == 80);
    s = computeAutoCutoutSize(*plain, {50}, 0.34, 5);
    EXPECT_TRUE(s.width == 64 && s.height == 64);
}

} // namespace
