#include "plots/TracePlot.h"

#include "AxisLabelCheck.h"

#include "plots/PseudoLogScaleEngine.h"

#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_text.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using Quorvex3::TraceChannel;
using Quorvex3::TracePlot;

namespace {

std::vector<QwtPlotCurve*> curvesOf(const TracePlot& plot) {
    std::vector<QwtPlotCurve*> curves;
    for (QwtPlotItem* item : plot.itemList(QwtPlotItem::Rtti_PlotCurve))
        curves.push_back(static_cast<QwtPlotCurve*>(item));
    return curves;
}

std::vector<QPointF> pointsOf(const QwtPlotCurve* curve) {
    std::vector<QPointF> points;
    for (size_t i = 0; i < curve->dataSize(); ++i)
        points.push_back(curve->sample(static_cast<int>(i)));
    return points;
}

QColor rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

} // namespace

// ===== Wavelength colours ====================================================

TEST(TracePlotWavelengthToColor, FollowsTheVisibleSpectrum) {
    // 488 nm: g = 48/50 = 0.96, b = 1, f = 1; 0.96^0.8 · 255 = 246.8 -> 246.
    EXPECT_EQ(TracePlot::wavelengthToColor(488), rgb(0, 246, 255));
    // 593 nm: r = 1, g = 52/65 = 0.8; 0.8^0.8 · 255 = 213.3 -> 213.
    EXPECT_EQ(TracePlot::wavelengthToColor(593), rgb(255, 213, 0));
    // 645 … 700 nm: pure red at full intensity.
    EXPECT_EQ(TracePlot::wavelengthToColor(645), rgb(255, 0, 0));
    EXPECT_EQ(TracePlot::wavelengthToColor(700), rgb(255, 0, 0));
}

TEST(TracePlotWavelengthToColor, DimsTowardsBothEndsOfTheSpectrum) {
    // 380 nm: f = 0.3, r = 1, b = 1; 0.3^0.8 · 255 = 97.6 -> 97.
    EXPECT_EQ(TracePlot::wavelengthToColor(380), rgb(97, 0, 97));
    // 405 nm: f = 0.3 + 0.7 · 25/40 = 0.7375, r = 35/60;
    // (0.5833 · 0.7375)^0.8 · 255 = 129.9 -> 129, 0.7375^0.8 · 255 = 199.9 -> 199.
    EXPECT_EQ(TracePlot::wavelengthToColor(405), rgb(129, 0, 199));
    // 740 nm: f = 0.3 + 0.7 · 40/80 = 0.65; 0.65^0.8 · 255 = 180.7 -> 180.
    EXPECT_EQ(TracePlot::wavelengthToColor(740), rgb(180, 0, 0));
    // 780 nm is still inside: f = 0.3.
    EXPECT_EQ(TracePlot::wavelengthToColor(780), rgb(97, 0, 0));
}

TEST(TracePlotWavelengthToColor, IsMidGreyOutsideTheVisibleRange) {
    EXPECT_EQ(TracePlot::wavelengthToColor(379.9), rgb(128, 128, 128));
    EXPECT_EQ(TracePlot::wavelengthToColor(780.1), rgb(128, 128, 128));
    EXPECT_EQ(TracePlot::wavelengthToColor(1000), rgb(128, 128, 128));
    EXPECT_EQ(TracePlot::wavelengthToColor(488).alpha(), 255);
}

// ===== Wavelength parsing ====================================================

TEST(TracePlotParseWavelength, ReadsTheLeadingIntegerBeforeTheSlash) {
    EXPECT_EQ(TracePlot::parseWavelength("488/525"), 488);
    EXPECT_EQ(TracePlot::parseWavelength("  561 nm"), 561);
    EXPECT_EQ(TracePlot::parseWavelength("+640"), 640);
    EXPECT_EQ(TracePlot::parseWavelength("-5"), -5);
    EXPECT_EQ(TracePlot::parseWavelength("1000"), 1000);
}

TEST(TracePlotParseWavelength, GivesZeroWithoutDigitsOrOnOverflow) {
    EXPECT_EQ(TracePlot::parseWavelength("FL1"), 0);
    EXPECT_EQ(TracePlot::parseWavelength(""), 0);
    EXPECT_EQ(TracePlot::parseWavelength("/525"), 0);
    EXPECT_EQ(TracePlot::parseWavelength("99999999999/1"), 0);
}

// ===== Channel configuration =================================================

class TracePlotTest : public ::testing::Test {
protected:
    TracePlot plot;
};

TEST_F(TracePlotTest, StartsWithoutChannelsOnAFixedPseudoLogIntensityAxis) {
    EXPECT_FALSE(plot.hasChannels());
    EXPECT_TRUE(curvesOf(plot).empty());
    EXPECT_NE(
        dynamic_cast<const Quorvex3::PseudoLogScaleEngine*>(plot.axisScaleEngine(QwtPlot::yLeft)),
        nullptr);
    plot.replot(); // the axis divides its scale on the next replot
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), -10.0);
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 35000.0);
    EXPECT_EQ(plot.axisTitle(QwtPlot::xBottom).text(), QString::fromUtf8("Time [µs]"));
    EXPECT_EQ(plot.axisTitle(QwtPlot::yLeft).text(), "Fluorescence [a.u.]");
}

TEST_F(TracePlotTest, ColoursChannelsByTheWavelengthInTheirNames) {
    plot.configureChannels({{1, "488/525"}, {2, "FL2"}, {3, "1000"}, {4, "-5"}}, {}, 1e6, {},
                           false);
    ASSERT_EQ(plot.channels().size(), 4u);
    EXPECT_EQ(plot.channels()[0].colour, rgb(0, 246, 255));
    EXPECT_EQ(plot.channels()[1].colour, QColor(Qt::gray));   // no wavelength
    EXPECT_EQ(plot.channels()[2].colour, rgb(128, 128, 128)); // beyond the spectrum
    EXPECT_EQ(plot.channels()[3].colour, QColor(Qt::gray));   // negative: no wavelength

    const auto curves = curvesOf(plot);
    ASSERT_EQ(curves.size(), 4u);
    for (size_t i = 0; i < curves.size(); ++i) {
        EXPECT_EQ(curves[i]->pen().color(), plot.channels()[i].colour);
        EXPECT_DOUBLE_EQ(curves[i]->pen().widthF(), 2.0);
        EXPECT_TRUE(curves[i]->testRenderHint(QwtPlotItem::RenderAntialiased));
        EXPECT_FALSE(curves[i]->isVisible());
    }
}

TEST_F(TracePlotTest, UsesTheRefinedTraceOnlyWhenAskedAndAvailable) {
    const std::vector<std::string> available{"fl1_median", "fl1_median_rf", "fl2_median",
                                             "fl3_median_RF"};
    plot.configureChannels({{3, "640/700"}, {1, "488/525"}, {2, "561/593"}}, {}, 1e6, available,
                           true);
    const auto& channels = plot.channels();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[0].channel, 1); // ascending channel number
    EXPECT_EQ(channels[0].traceName, "fl1_median_rf");
    EXPECT_EQ(channels[1].traceName, "fl2_median"); // no fl2_median_rf
    EXPECT_EQ(channels[2].traceName, "fl3_median"); // the match is case-sensitive
    EXPECT_EQ(channels[1].name, "561/593");

    const auto curves = curvesOf(plot);
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[0]->title().text(), "FL1 refined (488/525)");
    EXPECT_EQ(curves[1]->title().text(), "FL2 (561/593)");
    EXPECT_EQ(curves[2]->title().text(), "FL3 (640/700)");

    plot.configureChannels({{1, "488/525"}}, {}, 1e6, available, false);
    EXPECT_EQ(plot.channels()[0].traceName, "fl1_median");
    EXPECT_EQ(curvesOf(plot)[0]->title().text(), "FL1 (488/525)");
}

TEST_F(TracePlotTest, WritesChannelNumbersInPlainDecimal) {
    plot.configureChannels({{12, "x"}}, {}, 1e6, {"fl12_median_rf"}, true);
    EXPECT_EQ(plot.channels()[0].traceName, "fl12_median_rf");
    EXPECT_EQ(curvesOf(plot)[0]->title().text(), "FL12 refined (x)");
}

TEST_F(TracePlotTest, MissingOffsetsAreZero) {
    plot.configureChannels({{1, "a"}, {2, "b"}}, {{2, 100.0}, {7, 3.0}}, 1e6, {}, false);
    EXPECT_DOUBLE_EQ(plot.channels()[0].offset, 0.0);
    EXPECT_DOUBLE_EQ(plot.channels()[1].offset, 100.0);
}

TEST_F(TracePlotTest, ReconfiguringReplacesEveryCurveAndEmptyNamesLeaveNone) {
    plot.configureChannels({{1, "a"}, {2, "b"}, {3, "c"}}, {}, 1e6, {}, false);
    plot.configureChannels({{2, "b"}}, {}, 1e6, {}, false);
    EXPECT_EQ(curvesOf(plot).size(), 1u);
    EXPECT_EQ(plot.channels().size(), 1u);
    plot.configureChannels({}, {}, 1e6, {}, false);
    EXPECT_FALSE(plot.hasChannels());
    EXPECT_TRUE(curvesOf(plot).empty());
}

// ===== Showing traces ========================================================

TEST_F(TracePlotTest, PlotsSamplesInMicrosecondsPlusTheOffset) {
    plot.configureChannels({{1, "488/525"}, {2, "561/593"}}, {{1, 100.0}}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", {5.0f, 6.5f, -2.0f}}, {"fl2_median", {1.0f, 2.0f}}});
    const auto curves = curvesOf(plot);
    EXPECT_TRUE(curves[0]->isVisible());
    EXPECT_TRUE(curves[1]->isVisible());
    const std::vector<QPointF> first = pointsOf(curves[0]);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0], QPointF(0.0, 105.0));
    EXPECT_EQ(first[1], QPointF(1.0, 106.5));
    EXPECT_EQ(first[2], QPointF(2.0, 98.0));
    EXPECT_EQ(pointsOf(curves[1])[1], QPointF(1.0, 2.0));
    EXPECT_TRUE(plot.axisAutoScale(QwtPlot::xBottom));
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), -10.0);
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 35000.0);
}

TEST_F(TracePlotTest, SpacesSamplesByTheSampleRateOrCountsThemWithoutOne) {
    plot.configureChannels({{1, "a"}}, {}, 250000.0, {}, false); // 4 µs per sample
    plot.setTraces({{"fl1_median", {1.0f, 1.0f, 1.0f}}});
    EXPECT_DOUBLE_EQ(pointsOf(curvesOf(plot)[0])[2].x(), 8.0);

    plot.configureChannels({{1, "a"}}, {}, 0.0, {}, false);
    plot.setTraces({{"fl1_median", {1.0f, 1.0f, 1.0f}}});
    EXPECT_DOUBLE_EQ(pointsOf(curvesOf(plot)[0])[2].x(), 2.0);
}

// The time axis is titled by what it shows: sample numbers without a rate,
// microseconds with one, changing back and forth as the channels are set up.
TEST_F(TracePlotTest, TitlesTheTimeAxisByWhatItShows) {
    const struct {
        double rate;
        const char* title;
    } cases[] = {{0.0, "Sample number"}, {1e6, "Time [µs]"},     {-5.0, "Sample number"},
                 {250000.0, "Time [µs]"}, {std::nan(""), "Sample number"}};
    for (const auto& c : cases) {
        plot.configureChannels({{1, "a"}}, {}, c.rate, {}, false);
        EXPECT_EQ(plot.axisTitle(QwtPlot::xBottom).text(), QString::fromUtf8(c.title)) << c.rate;
    }
}

// Long times in microseconds ("2e+07") ran into each other on the narrow
// trace plot; the axis shows fewer ticks where its labels are wide.
TEST_F(TracePlotTest, TimeLabelsNeverOverlapAtAnySize) {
    const Quorvex3::testing::EnglishNumbers english;
    plot.configureChannels({{1, "a"}}, {}, 1.0, {}, false); // a second per sample
    plot.setTraces({{"fl1_median", std::vector<float>(150, 1.0f)}});
    plot.show();
    for (const int width : {260, 330, 450, 700}) {
        SCOPED_TRACE(width);
        plot.resize(width, 200);
        QApplication::processEvents();
        EXPECT_FALSE(Quorvex3::testing::tickLabelsOverlap(plot, QwtPlot::xBottom));
        EXPECT_FALSE(Quorvex3::testing::tickLabelsOverlap(plot, QwtPlot::yLeft));
        EXPECT_GE(Quorvex3::testing::drawnLabels(plot, QwtPlot::xBottom).size(), 2);
    }
}

TEST_F(TracePlotTest, HidesChannelsWhoseTraceIsMissingOrEmpty) {
    plot.configureChannels({{1, "a"}, {2, "b"}, {3, "c"}}, {}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", {1.0f}}, {"fl2_median", {}}, {"fl9_median", {1.0f}}});
    const auto curves = curvesOf(plot);
    EXPECT_TRUE(curves[0]->isVisible());
    EXPECT_FALSE(curves[1]->isVisible());
    EXPECT_FALSE(curves[2]->isVisible());
    EXPECT_EQ(curves[1]->dataSize(), 0u);

    // A later event without fl1 hides a curve that was shown.
    plot.setTraces({{"fl2_median", {1.0f}}});
    EXPECT_FALSE(curvesOf(plot)[0]->isVisible());
    EXPECT_EQ(curvesOf(plot)[0]->dataSize(), 0u);
}

TEST_F(TracePlotTest, EmptyMapOrClearHidesEverythingButKeepsTheChannels) {
    plot.configureChannels({{1, "a"}, {2, "b"}}, {}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", {1.0f, 2.0f}}, {"fl2_median", {3.0f}}});
    plot.setTraces({});
    for (QwtPlotCurve* curve : curvesOf(plot)) {
        EXPECT_FALSE(curve->isVisible());
        EXPECT_EQ(curve->dataSize(), 0u);
    }
    EXPECT_TRUE(plot.hasChannels());

    plot.setTraces({{"fl1_median", {1.0f, 2.0f}}});
    plot.clear();
    EXPECT_FALSE(curvesOf(plot)[0]->isVisible());
    EXPECT_EQ(curvesOf(plot)[0]->dataSize(), 0u);
    EXPECT_TRUE(plot.hasChannels());
}

TEST_F(TracePlotTest, TracesBeforeAnyChannelAreIgnored) {
    plot.setTraces({{"fl1_median", {1.0f}}});
    EXPECT_TRUE(curvesOf(plot).empty());
    EXPECT_FALSE(plot.hasChannels());
}

// ===== Snapshot ==============================================================

// Three channels with a baseline and a passing cell; with
// QUORVEX3_SNAPSHOT_DIR set the plot is written there as traceplot.png.
TEST(TracePlotSnapshot, RendersThreeChannels) {
    TracePlot plot;
    plot.configureChannels({{1, "488/525"}, {2, "561/593"}, {3, "640/700"}},
                           {{1, 20.0}, {2, 15.0}, {3, 10.0}}, 1e6, {}, false);
    std::map<std::string, std::vector<float>> traces;
    const double heights[3] = {12000.0, 800.0, 60.0};
    for (int c = 0; c < 3; ++c) {
        std::vector<float> samples(180);
        for (size_t j = 0; j < samples.size(); ++j) {
            const double t = (static_cast<double>(j) - 90.0 - 4.0 * c) / 9.0;
            samples[j] = static_cast<float>(heights[c] * std::exp(-0.5 * t * t) +
                                            3.0 * std::sin(0.9 * static_cast<double>(j) + c));
        }
        traces["fl" + std::to_string(c + 1) + "_median"] = samples;
    }
    plot.resize(420, 240);
    plot.show();
    plot.setTraces(traces);
    QApplication::processEvents();
    const QPixmap shot = plot.grab();
    EXPECT_FALSE(shot.isNull());
    if (const char* out = std::getenv("QUORVEX3_SNAPSHOT_DIR")) {
        EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(out)).filePath("traceplot.png")));
    }
}
