// The GUI-free cores of the combined plots and the image gallery. Statistics,
// cutouts and the automatic contrast are checked against compare_oracle.py
// (numpy and h5py on the measurement written here; its call and tolerances
// are quoted there); limits, grids, contrast windows and cutout sizes
// against hand-computed values.

#include "compare/CombineParallel.h"
#include "compare/CombinePlotAxes.h"
#include "compare/CombinePlotStats.h"
#include "compare/GalleryContrast.h"
#include "compare/GalleryCutout.h"
#include "compare/GalleryRender.h"
#include "core/ParallelChunkRead.h"
#include "core/RTDCReader.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <stdexcept>
#include <string>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <tuple>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr ScaleMode kLin = ScaleMode::Linear, kLog = ScaleMode::Log, kPseudo = ScaleMode::PseudoLog;

TempDir tempDir;

std::shared_ptr<RTDCReader> open(const std::string& path) {
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->openFile(path));
    return reader;
}

// 1,000 frames of 100 x 80 whose grey levels depend on the event, in
// compressed 100-frame chunks; positions for the cutout cases (events 0 to
// 5: NaN, 1 um, far outside, infinite, beyond an int, near the corner; the
// other events have none); no size features.
const std::shared_ptr<RTDCReader>& measurement() {
    static const std::shared_ptr<RTDCReader> reader = [] {
        std::vector<uint8_t> pixels(1000 * 80 * 100);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] =
                static_cast<uint8_t>(i / 8000 * 37 % 200 + (i % 100 + i / 100 % 80 * 2) % 56);
        for (size_t j = 0; j < 1000; ++j) // event 6: sharp 1st and 99th percentiles
            pixels[48000 + 8 * j] = static_cast<uint8_t>(j < 10 ? j : j < 990 ? 100 : j - 744);
        std::vector<double> x{kNaN, 1, 1000, kInf, 1e12, 90.5 * .34};
        std::vector<double> y{1, 1, 1000, 1, 1, 75.5 * .34};
        RtdcFixtureWriter w(tempDir.file("gallery.rtdc"));
        w.addImageStack("image", 1000, 80, 100, pixels, Storage::chunked({100, 80, 100}, 4));
        w.addColumn("pos_x", x);
        w.addColumn("pos_y", y);
        w.close();
        return open(w.path());
    }();
    return reader;
}

// Three uniform frames; columns of 6, 10 and 5 values (so 6 events), sizes
// with an infinite and a NaN value; no positions or fluorescence.
std::shared_ptr<RTDCReader> smallMeasurement(const std::string& name, uint8_t grey) {
    RtdcFixtureWriter w(tempDir.file(name));
    w.addImageStack("image", 3, 80, 100, std::vector<uint8_t>(3 * 80 * 100, grey));
    w.addColumn<double>("area_cvx", {1, 1, 1, 1, 1, 1});
    w.addColumn<double>("area_um", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    w.addColumn<double>("deform", {.1, kNaN, .3, .4, .5});
    w.addColumn<double>("size_x", {kInf, kNaN, 10.1, 3, 1, 20});
    w.close();
    return open(w.path());
}

std::vector<OracleCase> oracle(const std::string& kind) {
    static const std::vector<OracleCase> all = runPythonOracle(
        std::string(QUORVEX3_TEST_DIR) + "/compare_oracle.py", measurement()->getFilename());
    std::vector<OracleCase> cases;
    for (const OracleCase& c : all)
        if (c.kind == kind)
            cases.push_back(c);
    return cases;
}

// ---- Combined plots -------------------------------------------------------

TEST(CombinePlotCore, StatsMatchNumpy) {
    const auto cases = oracle("STATS");
    ASSERT_EQ(cases.size(), 8u);
    for (const auto& c : cases) {
        const CombinePlotStats s = computeStats(c.groups[1]);
        const double got[] = {s.mean, s.sd, s.q1, s.median, s.q3, s.iqr};
        for (size_t k = 0; k < 6; ++k)
            EXPECT_NEAR(got[k], c.groups[0][k], 1e-12 * std::abs(c.groups[0][k]) + 1e-13) << k;
    }
    EXPECT_EQ(computeStats({}).sd, 0.0);
}

// The quartiles come from a few selections instead of a sort: they must be
// the very numbers of interpolating in the fully sorted column, for every
// size (the ranks land on the ends, on neighbours and on repeats) and order.
TEST(CombinePlotCore, StatsQuartilesAreThoseOfTheSortedColumn) {
    std::mt19937 rng(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_int_distribution<int> fewValues(0, 3);
    auto column = [&](size_t n, int kind) {
        std::vector<double> v(n);
        for (size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i);
            v[i] = kind == 0 ? normal(rng) : kind == 1 ? fewValues(rng) : kind == 2 ? t : -t;
        }
        return v;
    };
    for (const size_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 100, 1001, 100003}) {
        for (int kind = 0; kind < 4; ++kind) { // random, four values, ascending, descending
            const std::vector<double> v = column(n, kind);
            std::vector<double> sorted(v);
            std::sort(sorted.begin(), sorted.end());
            auto q = [&](double p) {
                const double h = p * static_cast<double>(n - 1);
                const size_t i = static_cast<size_t>(h);
                const double f = h - static_cast<double>(i);
                return i + 1 < n ? sorted[i] * (1.0 - f) + f * sorted[i + 1] : sorted[i];
            };
            const CombinePlotStats s = computeStats(v);
            EXPECT_TRUE(s.q1 == q(0.25) && s.median == q(0.5) && s.q3 == q(0.75) &&
                        s.iqr == q(0.75) - q(0.25))
                << n << " " << kind << ": " << s.q1 << " " << s.median << " " << s.q3;
        }
    }
}

TEST(CombinePlotCore, AxisLimitsPadInTheAxisSpace) {
    using Case = std::tuple<std::vector<double>, ScaleMode, bool, double, double>;
    const Case cases[] = {{{3, 3, 3}, kLin, true, 2, 4},
                          {{0, 10, kNaN}, kLin, true, -0.5, 10.5},
                          {{}, kLin, false, 0, 0},
                          {{-1, 0, 10, 1000}, kLog, true, std::pow(10, 0.9), std::pow(10, 3.1)},
                          {{100, 100}, kLog, true, 10, 1000},
                          {{-1, 0}, kLog, false, 0, 0},
                          {{0, 1000}, kPseudo, true, -15, std::pow(10, 3.075)}};
    for (const auto& [values, mode, valid, min, max] : cases) {
        const CombineFilteredData data{values, {1}, {}, "", ""};
        const AxisRange r = computeGlobalAxisLimits({&data, nullptr}, mode, kLin).x;
        ASSERT_EQ(r.valid, valid) << values.size();
        EXPECT_TRUE(std::abs(r.min - min) <= 1e-9 * std::abs(min) &&
                    std::abs(r.max - max) <= 1e-9 * std::abs(max))
            << r.min << " " << r.max;
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
    filter.addRule({0, "fl1_max", "", 0, 1, {}, 0, 0, true, false, ""}); // no fluorescence here
    filter.addRule({0, "area_um", "", 2, 6, {}, 0, 0, true, false, ""});
    // Events 1-5 pass; deform stops at 4 and is NaN at 1. Three events: no density, N 3.
    CombineFilteredData d = readCombineFilteredData(*reader, filter, request);
    EXPECT_TRUE(d.x == (std::vector<double>{3, 4, 5}) && d.density.empty());
    filter.setEnabled(false); // five events (the shortest column), one NaN
    d = readCombineFilteredData(*reader, filter, request);
    EXPECT_TRUE(d.x == (std::vector<double>{1, 3, 4, 5}) && d.density.size() == 4);
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
    EXPECT_EQ(densityColorRange({.5, .5}).upper, 1.5);
    const CombineFilteredData blob{{1, 2, 3, 2, 1.5}, {1, 3, 2, 2, 2.5}, {}, "", ""};
    const auto levels = computeCombineContours(blob, 67, 10, kLin, kLin);
    EXPECT_TRUE(levels.size() == 2 && levels[0].fraction == 0.1 && levels[1].fraction == 0.67);
}

// A rebuild reads each dataset once: the densities and contours it takes
// from one grid must be those of estimating each on its own, on every scale.
TEST(CombinePlotCore, OneReadPerRebuildGivesTheSeparateDensitiesAndContours) {
    std::vector<double> area(400), deform(400);
    for (size_t i = 0; i < area.size(); ++i) {
        area[i] = 20.0 + static_cast<double>(i * 37 % 101) + (i % 7 == 0 ? -25.0 : 0.0);
        deform[i] = 0.01 + 0.0004 * static_cast<double>(i * 53 % 89);
    }
    RtdcFixtureWriter w(tempDir.file("rebuild.rtdc"));
    w.addColumn("area_um", area);
    w.addColumn("deform", deform);
    w.close();
    const auto reader = open(w.path());
    const std::pair<ScaleMode, ScaleMode> scales[] = {
        {kLin, kLin}, {kLog, kLin}, {kPseudo, kLog}, {kLin, kPseudo}};
    for (const auto& [sx, sy] : scales) {
        for (const bool heat : {true, false}) {
            const CombineDataRequest request{"area_um", "deform", sx, sy, heat};
            const CombinePlotInputs one =
                readCombinePlotInputs(*reader, {}, request, {true, 67, 10});
            const CombineFilteredData data = readCombineFilteredData(*reader, {}, request);
            const auto levels = computeCombineContours(data, 10, 67, sx, sy);
            EXPECT_TRUE(one.data.x == data.x && one.data.y == data.y);
            ASSERT_EQ(one.data.density.size(), heat ? 400u : 0u);
            for (size_t i = 0; i < data.density.size(); ++i)
                EXPECT_NEAR(one.data.density[i], data.density[i], 1e-12 * data.density[i]);
            ASSERT_EQ(one.contours.size(), 2u);
            ASSERT_EQ(levels.size(), 2u);
            for (size_t k = 0; k < 2; ++k) {
                EXPECT_EQ(one.contours[k].fraction, levels[k].fraction);
                EXPECT_NEAR(one.contours[k].threshold, levels[k].threshold,
                            1e-9 * levels[k].threshold);
                EXPECT_EQ(one.contours[k].paths.size(), levels[k].paths.size());
            }
        }
        const CombineDataRequest heatMap{"area_um", "deform", sx, sy, true};
        EXPECT_TRUE(readCombinePlotInputs(*reader, {}, heatMap, {false, 10, 67}).contours.empty());
    }
}

// The datasets of a rebuild are read side by side: each must come out as
// reading it alone does, bit for bit, on one pool thread or many, with
// filters, repeated readers, log scales and a dataset without a reader.
TEST(CombinePlotCore, DatasetsReadTogetherAreThoseReadAlone) {
    std::vector<std::shared_ptr<RTDCReader>> readers;
    for (int k = 0; k < 3; ++k) {
        std::mt19937 rng(static_cast<unsigned>(40 + k));
        std::normal_distribution<double> area(50.0 + 10.0 * k, 12.0);
        std::normal_distribution<double> deform(0.03, 0.01);
        std::vector<double> a(6000 + 1000 * static_cast<size_t>(k)), d(a.size());
        for (size_t i = 0; i < a.size(); ++i) {
            a[i] = area(rng);
            d[i] = i % 97 == 0 ? kNaN : deform(rng);
        }
        RtdcFixtureWriter w(tempDir.file("together" + std::to_string(k) + ".rtdc"));
        w.addColumn("area_um", a);
        w.addColumn("deform", d);
        w.close();
        readers.push_back(open(w.path()));
    }
    EventFilter someArea;
    someArea.addRule({0, "area_um", "", 40, 70, {}, 0, 0, true, false, ""});
    const std::vector<CombineInputsJob> jobs = {
        {readers[0].get(), {}, {"area_um", "deform", kLin, kLin, true}},
        {readers[1].get(), someArea, {"area_um", "deform", kLog, kPseudo, true}},
        {nullptr, {}, {"area_um", "deform", kLin, kLin, true}},
        {readers[2].get(), {}, {"deform", "area_um", kPseudo, kLog, false}},
        {readers[0].get(), someArea, {"area_um", "deform", kLin, kLog, false}},
        {readers[1].get(), {}, {"area_um", "nothing", kLin, kLin, true}}};
    const int poolThreads = QThreadPool::globalInstance()->maxThreadCount();
    for (const CombineContourRequest contours :
         {CombineContourRequest{true, 50, 95}, CombineContourRequest{false, 50, 95}}) {
        for (const int threads : {1, 2, 8}) {
            QThreadPool::globalInstance()->setMaxThreadCount(threads);
            const std::vector<CombinePlotInputs> all = readAllCombinePlotInputs(jobs, contours);
            ASSERT_EQ(all.size(), jobs.size());
            for (size_t j = 0; j < jobs.size(); ++j) {
                const CombinePlotInputs alone =
                    jobs[j].reader ? readCombinePlotInputs(*jobs[j].reader, jobs[j].filter,
                                                           jobs[j].request, contours)
                                   : CombinePlotInputs{};
                const CombinePlotInputs& got = all[j];
                EXPECT_TRUE(got.data.x == alone.data.x && got.data.y == alone.data.y &&
                            got.data.density == alone.data.density &&
                            got.data.xLabel == alone.data.xLabel)
                    << j << " threads " << threads;
                ASSERT_EQ(got.contours.size(), alone.contours.size()) << j;
                for (size_t k = 0; k < got.contours.size(); ++k) {
                    EXPECT_TRUE(got.contours[k].threshold == alone.contours[k].threshold &&
                                got.contours[k].paths == alone.contours[k].paths)
                        << j << " level " << k;
                }
            }
            EXPECT_TRUE(all[2].data.x.empty() && all[2].data.xLabel.empty());
            EXPECT_TRUE(!all[0].data.density.empty() &&
                        all[0].contours.size() == (contours.on ? 2u : 0u));
        }
    }
    QThreadPool::globalInstance()->setMaxThreadCount(poolThreads);
}

// Every job runs even when some fail, and the failure of the lowest job
// reaches the caller, the same one whatever order the threads finished in.
TEST(CombinePlotCore, ParallelJobsRunAllAndRethrowTheFirstFailure) {
    std::atomic<int> ran{0};
    try {
        runCombineJobs(9, [&](size_t i) {
            ++ran;
            if (i == 3 || i == 7)
                throw std::runtime_error("job " + std::to_string(i));
        });
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "job 3");
    }
    EXPECT_EQ(ran.load(), 9);
    EXPECT_NO_THROW(runCombineJobs(0, [](size_t) { throw std::runtime_error("none"); }));
}

// A heat map needs at least 4 shown events for a density; fewer get none
// (and are drawn only in a dataset colour), contours neither.
TEST(CombinePlotCore, HeatMapOfOneToThreeEventsHasNoDensity) {
    const auto reader = smallMeasurement("few.rtdc", 0);
    for (const double upper : {1.0, 3.0, 4.0, 5.0}) {
        EventFilter filter;
        filter.addRule({0, "area_um", "", 0, upper, {}, 0, 0, true, false, ""});
        const CombinePlotInputs in = readCombinePlotInputs(
            *reader, filter, {"area_um", "deform", kLin, kLin, true}, {true, 50, 95});
        const size_t n = in.data.x.size(); // event 1 has a NaN deformation
        EXPECT_EQ(n, upper < 2 ? 1u : static_cast<size_t>(upper) - 1) << upper;
        EXPECT_EQ(in.data.density.size(), n >= 4 ? n : 0u) << upper;
        EXPECT_EQ(in.contours.empty(), n < 4) << upper;
    }
}

TEST(CombinePlotCore, StatsTableGroupsFeaturesInListOrder) {
    const CombineFilteredData a{{1, 2, 3, 4}, {5, 6, 7, 8}, {}, "", ""}, none;
    const CombineStatsTable t = buildCombineStatsTable({{"area_um", "deform", &a},
                                                        {"area_um", "deform", &none},
                                                        {"bright", "area_um", &a},
                                                        {"x", "", nullptr}});
    ASSERT_TRUE(t.features == (std::vector<std::string>{"area_um", "deform", "bright", "x"}) &&
                t.rows.size() == 4);
    EXPECT_TRUE(t.rows[0].groups[0]->q1 == 1.75 && t.rows[0].groups[1]->median == 6.5);
    EXPECT_TRUE(t.rows[1].known && t.rows[1].n == 0 && !t.rows[1].groups[0]);
    EXPECT_TRUE(t.rows[2].groups[0]->mean == 6.5 && t.rows[2].groups[2]->mean == 2.5);
    EXPECT_TRUE(!t.rows[2].groups[1] && !t.rows[3].known && !t.rows[3].groups[3]);
}

// ---- Image gallery --------------------------------------------------------

TEST(GalleryCore, CutoutsMatchNumpySlices) {
    const auto& reader = measurement();
    const auto cases = oracle("CUT");
    ASSERT_EQ(cases.size(), 18u);
    for (const auto& c : cases) {
        const int event = static_cast<int>(c.groups[0][0]);
        const int width = static_cast<int>(c.groups[0][1]),
                  height = static_cast<int>(c.groups[0][2]);
        const auto r =
            renderGalleryPage(reader, {{event, 5000}, width, height, c.groups[0][3], 0, 0, 255, 7});
        const cv::Mat& tile = r.tiles.at(0).image;
        EXPECT_TRUE(tile.cols == width && tile.rows == height) << tile.cols << " x " << tile.rows;
        EXPECT_EQ(std::vector<double>(tile.begin<uint8_t>(), tile.end<uint8_t>()), c.groups[1])
            << "event " << event << ", " << width << " x " << height << ", pixel size "
            << c.groups[0][3];
        EXPECT_TRUE(r.generation == 7 && r.tiles.at(1).image.empty() &&
                    r.tiles[1].eventIndex == 5000);
    }
    EXPECT_TRUE(renderGalleryPage(nullptr, {{1}, 64, 64}).tiles.empty());
}

namespace {

// The tile a page must hold for `event`, cut frame by frame with OpenCV: the
// clipped rectangle copied and padded black. Centres of the positioned events
// 0 to 5 of measurement() at 0.34 um/px, by hand: NaN, infinite or beyond an
// int give the image centre; 1 um is pixel 2; 1000 um lies outside. Without
// positions every cutout is centred.
cv::Mat expectedTile(RTDCReader& reader, int event, int w, int h, int lo, int hi) {
    const bool positioned = reader.hasFeature("pos_x");
    int width = 0, height = 0;
    const std::vector<uint8_t> frame =
        event < 0 ? std::vector<uint8_t>() : reader.readImage(size_t(event), width, height);
    if (frame.empty())
        return cv::Mat();
    const int centres[6][2] = {{50, 40}, {2, 2}, {2941, 2941}, {50, 40}, {50, 40}, {90, 75}};
    const int cx = positioned && event < 6 ? centres[event][0] : width / 2;
    const int cy = positioned && event < 6 ? centres[event][1] : height / 2;
    const cv::Rect wanted(cx - w / 2, cy - h / 2, w, h);
    const cv::Rect inside = wanted & cv::Rect(0, 0, width, height);
    cv::Mat tile = cv::Mat::zeros(h, w, CV_8UC1);
    const cv::Mat image(height, width, CV_8UC1, const_cast<uint8_t*>(frame.data()));
    if (!inside.empty())
        cv::copyMakeBorder(image(inside), tile, inside.y - wanted.y, wanted.br().y - inside.br().y,
                           inside.x - wanted.x, wanted.br().x - inside.br().x, cv::BORDER_CONSTANT,
                           cv::Scalar(0));
    applyGalleryContrast(tile, lo, hi);
    return tile;
}

void expectPageMatches(const std::shared_ptr<RTDCReader>& reader, const GalleryRenderInput& input) {
    const GalleryRenderResult page = renderGalleryPage(reader, input);
    ASSERT_EQ(page.tiles.size(), input.pageIndices.size());
    for (size_t p = 0; p < page.tiles.size(); ++p) {
        const int event = input.pageIndices[p];
        const cv::Mat expected = input.cutoutWidth < 1 || input.cutoutHeight < 1
                                     ? cv::Mat()
                                     : expectedTile(*reader, event, input.cutoutWidth,
                                                    input.cutoutHeight, input.lo, input.hi);
        const cv::Mat& tile = page.tiles[p].image;
        EXPECT_EQ(page.tiles[p].eventIndex, event);
        ASSERT_EQ(tile.empty(), expected.empty()) << "tile " << p << ", event " << event;
        if (!expected.empty()) {
            EXPECT_TRUE(tile.size() == expected.size() && cv::countNonZero(tile != expected) == 0)
                << "tile " << p << ", event " << event << ", " << input.cutoutWidth << " x "
                << input.cutoutHeight;
        }
    }
}

// Counts the inflating workers started; refuses every start when asked.
std::atomic<int> s_workerStarts{0};
std::atomic<bool> s_refuseWorkers{false};

std::thread countingStarter(std::function<void()> work) {
    ++s_workerStarts;
    if (s_refuseWorkers)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(work));
}

struct StarterScope {
    explicit StarterScope(bool refuse) : previous(setWorkerStarter(&countingStarter)) {
        s_workerStarts = 0;
        s_refuseWorkers = refuse;
    }
    ~StarterScope() { setWorkerStarter(previous); }
    WorkerStarter previous;
};

} // namespace

// The page's frames arrive from the bulk read in no fixed order: every tile
// must still be its own event's cutout, in page order, for pages spread over
// every chunk, with repeated and descending events, events that cannot be
// read, cutouts larger than the frame, and a chunk that cannot be inflated.
TEST(GalleryCore, PageTilesMatchFrameByFrameCutouts) {
    std::vector<int> spread{5, -1, 1, 2, 3, 4, 0, 1000, 6, 5000, 6, 5};
    for (int e = 999; e >= 0; e -= 3)
        spread.push_back(e);
    const std::vector<int> consecutive{400, 401, 402, 403, 404, 405, 406, 407};
    const int sizes[][4] = {{64, 64, 0, 255}, {30, 100, 60, 140}, {1, 1, 0, 255}, {0, 5, 0, 255}};
    for (const auto& indices : {spread, consecutive})
        for (const auto& s : sizes)
            expectPageMatches(measurement(), {indices, s[0], s[1], 0.34, 1, s[2], s[3], 4});

    std::vector<uint8_t> pixels(30 * 80 * 100);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 7 % 251);
    const std::string path = tempDir.file("damaged_page.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 30, 80, 100, pixels, Storage::chunked({10, 80, 100}, 4));
    }
    corruptChunk(path, "/events/image", 1);
    const auto damaged = open(path);
    std::vector<int> all{29, 15, 3};
    for (int e = 0; e < 30; ++e)
        all.push_back(e);
    const GalleryRenderResult page = renderGalleryPage(damaged, {all, 40, 30, 0.34, 0, 0, 255, 1});
    ASSERT_EQ(page.tiles.size(), all.size());
    for (size_t p = 0; p < all.size(); ++p)
        EXPECT_EQ(page.tiles[p].image.empty(), all[p] >= 10 && all[p] < 20) << all[p];
    expectPageMatches(damaged, {all, 40, 30, 0.34, 0, 50, 90, 1});
}

// A page spread over many chunks has them inflated on worker threads; with
// no worker to be had the same tiles are inflated on the page's own thread.
TEST(GalleryCore, SpreadPageIsInflatedOnWorkerThreads) {
    const auto& reader = measurement();
    reader->featureColumn("pos_x"); // the positions are no part of the count
    reader->featureColumn("pos_y");
    std::vector<int> spread;
    for (int e = 995; e >= 0; e -= 10)
        spread.push_back(e);
    {
        const StarterScope counting(false);
        EXPECT_EQ(renderGalleryPage(reader, {spread, 64, 64, 0.34, 1, 60, 140, 1}).tiles.size(),
                  spread.size());
        EXPECT_GT(s_workerStarts.load(), 1);
    }
    const StarterScope refusing(true);
    expectPageMatches(reader, {spread, 64, 64, 0.34, 1, 60, 140, 1});
}

TEST(GalleryCore, ContrastWindow) {
    const int cases[][4] = {{50, 150, 100, 128}, {50, 150, 200, 255}, {50, 150, 20, 0},
                            {0, 255, 77, 77},    {-9, 300, 77, 77},   {100, 100, 200, 0},
                            {0, 10, 3, 77},      {-5, 10, 1, 26},     {200, 300, 201, 5}};
    for (const auto& c : cases) {
        cv::Mat tile(2, 3, CV_8UC1, cv::Scalar(c[2]));
        applyGalleryContrast(tile, c[0], c[1]);
        EXPECT_EQ(cv::countNonZero(tile != c[3]), 0) << c[0] << " " << c[1] << " " << c[2];
    }
}

TEST(GalleryCore, AutoContrastMatchesTranscription) {
    const auto& reader = measurement();
    const auto cases = oracle("AUTO");
    ASSERT_EQ(cases.size(), 3u);
    for (const auto& c : cases) {
        const std::vector<int> indices(c.groups[2].begin(), c.groups[2].end());
        EXPECT_EQ(galleryContrastSample(indices),
                  std::vector<int>(c.groups[1].begin(), c.groups[1].end()));
        const GalleryAutoContrastResult r = computeGalleryAutoContrast(reader, indices, 3);
        EXPECT_TRUE(r.lo == c.groups[0][0] && r.hi == c.groups[0][1] && r.generation == 3)
            << r.lo << " " << r.hi;
    }
    const auto black = computeGalleryAutoContrast(smallMeasurement("black.rtdc", 0), {0, 1, 2}, 1);
    const auto white = computeGalleryAutoContrast(smallMeasurement("white.rtdc", 255), {2, 9}, 1);
    EXPECT_TRUE(black.lo == 0 && black.hi == 1 && white.lo == 255 && white.hi == 255);
    const auto none = computeGalleryAutoContrast(reader, {-1, 5000}, 1); // nothing readable
    EXPECT_TRUE(none.lo == 0 && none.hi == 255 && black.generation == 1);
}

// Frames of a chunk that cannot be inflated are unreadable and add nothing:
// events 10 to 19 (grey 200, in the damaged chunk) must not reach the window
// of the grey-10 frames around them, and nothing must crash.
TEST(GalleryCore, AutoContrastSkipsTheFramesOfADamagedChunk) {
    std::vector<uint8_t> pixels(30 * 80 * 100, 10);
    std::fill(pixels.begin() + 10 * 8000, pixels.begin() + 20 * 8000, uint8_t{200});
    const std::string path = tempDir.file("damaged.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addImageStack("image", 30, 80, 100, pixels, Storage::chunked({10, 80, 100}, 4));
    }
    std::vector<int> all(30);
    for (int i = 0; i < 30; ++i)
        all[static_cast<size_t>(i)] = i;
    const auto intact = computeGalleryAutoContrast(open(path), all, 2);
    EXPECT_TRUE(intact.lo == 10 && intact.hi == 200) << intact.lo << " " << intact.hi;
    corruptChunk(path, "/events/image", 1);
    const auto damaged = computeGalleryAutoContrast(open(path), all, 2);
    EXPECT_TRUE(damaged.lo == 10 && damaged.hi == 11) << damaged.lo << " " << damaged.hi;
}

TEST(GalleryCore, AutoCutoutSize) {
    const double sides[][4] = {{10.1, .34, 5, 40}, {10.1, 0, 5, 0},      {10.1, kNaN, 5, 0},
                               {10.1, kInf, 5, 0}, {kInf, .34, 5, 1024}, {1e300, .34, 5, 1024},
                               {kNaN, .34, 5, 0},  {10.1, .34, -20, 0}};
    for (const auto& s : sides)
        EXPECT_EQ(cutoutSideFromPercentile(s[0], s[1], static_cast<int>(s[2])), s[3]) << s[0];
    // Without the infinite and NaN sizes the 99th percentile is 10.1 um: at 0.35 um/px 29 px
    // plus margins, rounded up to 40; no "size_y": the image height. No size features: the first
    // event's image; no readable image: 64.
    const auto sized = smallMeasurement("sizes.rtdc", 0), plain = measurement();
    EXPECT_EQ(featurePercentile99(*sized, {0, 1, 2, 3, 4, 5, -1, 50}, "size_x"), 10.1);
    auto size = [](GalleryCutoutSize s) { return std::make_pair(s.width, s.height); };
    EXPECT_EQ(size(computeAutoCutoutSize(*sized, {0, 2, 3, 5}, .35, 5)), std::make_pair(40, 80));
    EXPECT_EQ(size(computeAutoCutoutSize(*plain, {3}, 0.34, 5)), std::make_pair(100, 80));
    EXPECT_EQ(size(computeAutoCutoutSize(*plain, {5000}, 0.34, 5)), std::make_pair(64, 64));
}

} // namespace
