// The main scatter plot of the active dataset: which events become plot
// points and how plot points map back to events, the current event when the
// filter hides it, the log-axis warnings, contours, zoom, polygon overlays,
// isoline switches, the status line and the effective filter.
#include "MainPlotTestSupport.h"

#include "app/DatasetListWidget.h"
#include "calc/EModulus.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "plots/ImageViewer.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <qwt_scale_div.h>

#include <QCheckBox>
#include <QPainterPath>
#include <QPolygonF>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using test::Measurement;
using test::part;
using test::PlotProbe;
using testing::TempDir;

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

/// Ten events: area_um 10, 20, ..., 100; deform 0.01, ..., 0.10;
/// bright_avg 100, ..., 109; with images and masks.
Measurement tenEvents() {
    Measurement m;
    for (int i = 0; i < 10; ++i) {
        m.columns["area_um"].push_back(10.0 * (i + 1));
        m.columns["deform"].push_back(0.01 * (i + 1));
        m.columns["bright_avg"].push_back(100.0 + i);
    }
    m.images = 10;
    return m;
}

/// The title the event image viewer shows ("Event 3", "No Image", ...).
QString imageTitle(MainWindow& window) {
    for (const QLabel* label : part<ImageViewer>(window, "imageViewer")->findChildren<QLabel*>()) {
        const QString text = label->text();
        if (text.startsWith(QStringLiteral("Event ")) || text == QStringLiteral("No Image"))
            return text;
    }
    return {};
}

class MainPlot : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    /// Writes `m` as `name` in the test's directory and opens it.
    void open(const std::string& name, const Measurement& m) {
        const std::string path = dir.file(name);
        test::writeMeasurement(path, m);
        ASSERT_TRUE(test::openAndWait(window, path)) << name;
    }

    /// What the plot, its controls and the status line show once the plot
    /// requests made so far have run, as they have when the event loop
    /// turns after the user's action.
    ScatterPlot* plot() {
        window.flushPlotRequests();
        return part<ScatterPlot>(window, "scatterPlot");
    }
    PlotProbe probe() { return PlotProbe(plot()); }
    QComboBox* combo(const char* name) {
        window.flushPlotRequests();
        return part<QComboBox>(window, name);
    }
    QString status() {
        window.flushPlotRequests();
        return part<QLabel>(window, "infoLabel")->text();
    }
    DatasetEntry& active() { return *window.activeDataset(); }

    /// Emits a click on plot point `index`, as the plot does.
    void click(int index) { emit plot()->pointClicked(index); }

    TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    MainWindow window;
};

// ---- plot points and events --------------------------------------------------------

TEST_F(MainPlot, NonFinitePointsAreLeftOutAndPlotIndicesMapToTheirEvents) {
    Measurement m = tenEvents();
    m.columns["area_um"][1] = kNaN;
    m.columns["deform"][3] = kInf;
    m.columns["bright_avg"][5] = kNaN;
    open("m.rtdc", m);

    // Events 1 and 3 have a non-finite coordinate.
    const std::vector<QPointF> plain = probe().dots();
    ASSERT_EQ(plain.size(), 8u);
    const int plainEvents[] = {0, 2, 4, 5, 6, 7, 8, 9};
    for (std::size_t i = 0; i < plain.size(); ++i)
        EXPECT_DOUBLE_EQ(plain[i].x(), 10.0 * (plainEvents[i] + 1)) << i;
    click(3);
    EXPECT_EQ(active().currentEventIndex, 5);
    EXPECT_EQ(part<QSpinBox>(window, "eventSpinBox")->value(), 5);
    ASSERT_TRUE(probe().highlight());
    EXPECT_DOUBLE_EQ(probe().highlight()->x(), 60.0);
    EXPECT_EQ(imageTitle(window).left(7), QStringLiteral("Event 5"));

    // Colouring by bright_avg drops event 5 as well (NaN colour).
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("bright_avg")));
    const std::vector<double> colors = probe().colors();
    EXPECT_EQ(colors, (std::vector<double>{100, 102, 104, 106, 107, 108, 109}));
    click(3);
    EXPECT_EQ(active().currentEventIndex, 6);
    EXPECT_DOUBLE_EQ(probe().highlight()->x(), 70.0);
    EXPECT_TRUE(status().contains(QStringLiteral("7/10 events shown (70.0% pass filter)")))
        << status().toStdString();

    // With a filter the mapping goes through the shown events: area 35..85
    // shows events 3 to 7, of which 3 (infinite y) and 5 (NaN colour) drop.
    active().filter.addRule(test::rangeRule("area_um", 35.0, 85.0));
    test::refreshPlot(window);
    EXPECT_EQ(probe().colors(), (std::vector<double>{104, 106, 107}));
    click(1);
    EXPECT_EQ(active().currentEventIndex, 6);
    click(2);
    EXPECT_EQ(active().currentEventIndex, 7);
    click(3); // beyond the plotted points: nothing changes
    EXPECT_EQ(active().currentEventIndex, 7);
    EXPECT_EQ(part<QSpinBox>(window, "eventSpinBox")->value(), 7);
    EXPECT_TRUE(status().contains(QStringLiteral("3/10 events shown (30.0% pass filter)")))
        << status().toStdString();
}

TEST_F(MainPlot, ColumnsShorterThanTheEventCountAreNeverReadPastTheirEnd) {
    Measurement m;
    for (int i = 0; i < 10; ++i) {
        m.columns["area_um"].push_back(1.0 + i); // decides the event count (10)
        m.columns["deform"].push_back(0.1 * (i + 1));
        m.columns["bright_avg"].push_back(5.0 + i);
    }
    m.columns["porosity"] = {1.0, 2.0};
    m.images = 10;
    open("short.rtdc", m);
    // A short column is not offered at all.
    EXPECT_EQ(test::itemData(combo("xFeatureCombo")),
              QStringList({"area_um", "bright_avg", "deform"}));

    // Values registered later may still be short (the reader does not check
    // the length of derived values): they are read only as far as they go.
    RTDCReader& reader = *window.activeReader();
    reader.addCalculatedFeature("deform", {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8});
    test::refreshPlot(window);
    EXPECT_EQ(probe().dots().size(), 8u); // common length of x and y
    // A short colour column colours nothing, whatever else is short.
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("bright_avg")));
    ASSERT_FALSE(probe().colors().empty());
    reader.addCalculatedFeature("bright_avg", {5, 6, 7, 8, 9, 10});
    test::refreshPlot(window);
    EXPECT_EQ(probe().dots().size(), 8u);
    EXPECT_TRUE(probe().colors().empty());

    // A rule that passes everything yields indices up to the event count;
    // those beyond x and y are not plotted. A rule on a short column takes
    // no part.
    active().filter.addRule(test::rangeRule("area_um", 0.0, 100.0));
    active().filter.addRule(test::rangeRule("bright_avg", 100.0, 200.0));
    test::refreshPlot(window);
    EXPECT_EQ(probe().dots().size(), 8u);
    click(7);
    EXPECT_EQ(active().currentEventIndex, 7);
}

TEST_F(MainPlot, HiddenCurrentEventGivesWayToTheFirstShownEvent) {
    open("m.rtdc", tenEvents());
    click(2);
    ASSERT_EQ(active().currentEventIndex, 2);

    active().filter.addRule(test::rangeRule("area_um", 45.0, 100.0)); // events 4..9
    test::refreshPlot(window);
    EXPECT_EQ(active().currentEventIndex, 4);
    EXPECT_EQ(part<QSpinBox>(window, "eventSpinBox")->value(), 4);
    ASSERT_TRUE(probe().highlight());
    EXPECT_EQ(*probe().highlight(), QPointF(50.0, 0.05));
    EXPECT_EQ(imageTitle(window).left(7), QStringLiteral("Event 4"));

    // Nothing shown: no highlight, the current event stays.
    active().filter.setRule(0, test::rangeRule("area_um", 1000.0, 2000.0));
    test::refreshPlot(window);
    EXPECT_TRUE(probe().dots().empty());
    EXPECT_FALSE(probe().highlight());
    EXPECT_EQ(active().currentEventIndex, 4);

    // Shown again: highlighted at its plot index, not at its event index.
    active().filter.setRule(0, test::rangeRule("area_um", 35.0, 100.0)); // events 3..9
    test::refreshPlot(window);
    EXPECT_EQ(active().currentEventIndex, 4);
    ASSERT_TRUE(probe().highlight());
    EXPECT_EQ(*probe().highlight(), QPointF(50.0, 0.05));
}

// ---- log axes ----------------------------------------------------------------------

TEST_F(MainPlot, LogAxisWarnsAboutPlottedValuesAtOrBelowZero) {
    Measurement m;
    m.columns["area_um"] = {0.0, -1.0, -5.0, 10.0, 20.0, kNaN, 30.0, 40.0};
    m.columns["deform"] = {0.1, 0.2, 0.3, -0.4, 0.5, -0.6, 0.7, 0.8};
    open("m.rtdc", m);
    QComboBox* scaleX = combo("scaleXCombo");
    QComboBox* scaleY = combo("scaleYCombo");

    scaleX->setCurrentIndex(1);
    window.flushPlotRequests(); // the refresh it asked for, as the event loop turns
    EXPECT_EQ(scaleX->itemText(1), QStringLiteral("Log \u26A0"));
    EXPECT_EQ(
        scaleX->styleSheet(),
        QStringLiteral("QComboBox { background-color: #fff8e1; border: 1px solid #f9a825; }"));
    // The NaN event is not plotted and so not counted.
    EXPECT_EQ(scaleX->toolTip(),
              QStringLiteral("X-axis scale mode: 3 points with value \u2264 0 not shown "
                             "(cannot be drawn on a log axis)"));
    EXPECT_EQ(scaleY->itemText(1), QStringLiteral("Log"));
    EXPECT_EQ(scaleY->toolTip(), QStringLiteral("Y-axis scale mode"));

    // Only plotted values count: deform -0.6 belongs to the NaN event.
    scaleY->setCurrentIndex(1);
    window.flushPlotRequests();
    EXPECT_EQ(scaleY->toolTip(),
              QStringLiteral("Y-axis scale mode: 1 point with value \u2264 0 not shown "
                             "(cannot be drawn on a log axis)"));

    // Filtered-out values do not count either.
    active().filter.addRule(test::rangeRule("area_um", -2.0, 100.0));
    test::refreshPlot(window);
    EXPECT_TRUE(scaleX->toolTip().startsWith(QStringLiteral("X-axis scale mode: 2 points")));

    // Pseudo-log and linear draw every value.
    scaleX->setCurrentIndex(2);
    window.flushPlotRequests();
    EXPECT_EQ(scaleX->itemText(1), QStringLiteral("Log"));
    EXPECT_TRUE(scaleX->styleSheet().isEmpty());
    EXPECT_EQ(scaleX->toolTip(), QStringLiteral("X-axis scale mode"));
    scaleY->setCurrentIndex(0);
    window.flushPlotRequests();
    EXPECT_EQ(scaleY->itemText(1), QStringLiteral("Log"));
    EXPECT_TRUE(scaleY->styleSheet().isEmpty());
}

// Values at or below 0 cannot be drawn on a log axis: they are counted and
// warned about as before, but neither stretch the axis to its floor nor
// gather at the value 1 into contours of points that are not shown.
TEST_F(MainPlot, LogAxisDrawsNeitherDotsNorContoursOfValuesAtOrBelowZero) {
    Measurement m;
    std::mt19937 rng(5u);
    std::normal_distribution<double> area(50.0, 8.0);
    std::normal_distribution<double> deform(0.05, 0.005);
    for (int i = 0; i < 400; ++i) {
        // Event 0 (the current one) and every third event lie at or below 0.
        m.columns["area_um"].push_back(i % 3 == 0 ? -0.1 * i : area(rng));
        m.columns["deform"].push_back(deform(rng));
    }
    m.images = 400;
    open("m.rtdc", m);
    combo("contourModeCombo")->setCurrentIndex(2);
    combo("scaleXCombo")->setCurrentIndex(1);

    EXPECT_TRUE(combo("scaleXCombo")->toolTip().contains(QStringLiteral(": 134 points")))
        << combo("scaleXCombo")->toolTip().toStdString();
    EXPECT_TRUE(status().contains(QStringLiteral("400/400 events shown")));
    const std::vector<const QwtPlotCurve*> contours = probe().contours();
    ASSERT_FALSE(contours.empty());
    for (const QwtPlotCurve* curve : contours)
        for (std::size_t i = 0; i < curve->dataSize(); ++i)
            ASSERT_GT(curve->sample(i).x(), 10.0);
    plot()->replot();
    EXPECT_GT(plot()->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);

    // The same with dots and density colour: only drawable dots, and the
    // colours of the shown dots from the shown dots alone.
    combo("contourModeCombo")->setCurrentIndex(1);
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("__density_kde__")));
    EXPECT_EQ(probe().dots().size(), 266u);
    plot()->replot();
    EXPECT_GT(plot()->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
    EXPECT_TRUE(status().contains(QStringLiteral("400/400 events shown")));
}

// ---- contours ------------------------------------------------------------------------

/// 2000 events of one round cloud (area ~ N(50, 5), deform ~ N(0.05, 0.005)).
Measurement cloud() {
    Measurement m;
    std::mt19937 rng(11u);
    std::normal_distribution<double> area(50.0, 5.0);
    std::normal_distribution<double> deform(0.05, 0.005);
    for (int i = 0; i < 2000; ++i) {
        m.columns["area_um"].push_back(area(rng));
        m.columns["deform"].push_back(deform(rng));
    }
    return m;
}

/// Share of the plotted dots inside the closed contour curves of one pen style.
double shareInside(const PlotProbe& probe, Qt::PenStyle style) {
    QPainterPath region;
    region.setFillRule(Qt::OddEvenFill);
    for (const QwtPlotCurve* curve : probe.contours()) {
        if (curve->pen().style() != style)
            continue;
        QPolygonF polygon;
        for (std::size_t i = 0; i < curve->dataSize(); ++i)
            polygon << curve->sample(i);
        region.addPolygon(polygon);
    }
    const std::vector<QPointF> dots = probe.dots();
    int inside = 0;
    for (const QPointF& dot : dots)
        inside += region.contains(dot) ? 1 : 0;
    return static_cast<double>(inside) / static_cast<double>(dots.size());
}

TEST_F(MainPlot, ContoursPutTheSmallerFractionFirstAndOnlyHidesTheDots) {
    const Measurement m = cloud();
    open("cloud.rtdc", m);
    auto* inner = part<QDoubleSpinBox>(window, "contourInnerSpin");
    auto* outer = part<QDoubleSpinBox>(window, "contourOuterSpin");
    QComboBox* mode = combo("contourModeCombo");
    EXPECT_TRUE(probe().contours().empty());

    inner->setValue(67.0);
    outer->setValue(10.0);
    mode->setCurrentIndex(1);
    const std::vector<const QwtPlotCurve*> curves = probe().contours();
    ASSERT_FALSE(curves.empty());
    // The first level handed over is dashed; it must be the 10 % level,
    // whose region holds about 90 % of the events, the solid one about 33 %.
    EXPECT_EQ(curves.front()->pen().style(), Qt::DashLine);
    EXPECT_NEAR(shareInside(probe(), Qt::DashLine), 0.90, 0.05);
    EXPECT_NEAR(shareInside(probe(), Qt::SolidLine), 0.33, 0.05);
    EXPECT_TRUE(probe().anyDotsVisible());

    // "Only": contours without dots or colour bar, also across refreshes.
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("__density_kde__")));
    mode->setCurrentIndex(2);
    test::refreshPlot(window);
    EXPECT_FALSE(probe().contours().empty());
    EXPECT_FALSE(probe().anyDotsVisible());
    EXPECT_FALSE(plot()->axisEnabled(QwtPlot::yRight));

    // Fewer than four plotted points draw no contours.
    mode->setCurrentIndex(1);
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QString()));
    std::vector<double> areas = m.columns.at("area_um");
    std::sort(areas.begin(), areas.end());
    active().filter.addRule(test::rangeRule("area_um", 0.0, areas[2]));
    test::refreshPlot(window);
    ASSERT_EQ(probe().dots().size(), 3u);
    EXPECT_TRUE(probe().contours().empty());

    mode->setCurrentIndex(0);
    EXPECT_TRUE(probe().contours().empty());
    EXPECT_TRUE(probe().anyDotsVisible());
}

// Typing "50" recomputed the contours after "5" and again after "50"
// (1.9 s at a million events); a typed value now counts once, when complete.
TEST_F(MainPlot, TypingAContourLevelUpdatesOnceWhenTheValueIsComplete) {
    open("cloud.rtdc", cloud());
    combo("contourModeCombo")->setCurrentIndex(1);
    auto* inner = part<QDoubleSpinBox>(window, "contourInnerSpin");
    int updates = 0;
    QObject::connect(inner, qOverload<double>(&QDoubleSpinBox::valueChanged), inner,
                     [&](double) { ++updates; });
    QCoreApplication::processEvents();
    const std::uint64_t refreshesBefore = window.plotRefreshCount();
    const std::uint64_t fullBefore = window.fullPlotUpdateCount();
    inner->selectAll();
    QTest::keyClicks(inner, QStringLiteral("50"));
    EXPECT_EQ(updates, 0);
    QTest::keyClick(inner, Qt::Key_Return);
    EXPECT_EQ(updates, 1);
    QCoreApplication::processEvents();
    // One refresh, of the contours alone: the dots and colours stand.
    EXPECT_EQ(window.plotRefreshCount() - refreshesBefore, 1u);
    EXPECT_EQ(window.fullPlotUpdateCount(), fullBefore);
    EXPECT_EQ(inner->value(), 50.0);
    // The dashed (inner) level now holds about half of the events.
    EXPECT_NEAR(shareInside(probe(), Qt::DashLine), 0.5, 0.05);
}

// ---- plot requests -------------------------------------------------------------------

// Every control, filter and group change asks for a refresh; those of one
// event-loop turn cost one, which sees them all.
TEST_F(MainPlot, PlotRequestsOfOneTurnCostOneRefreshThatSeesThemAll) {
    open("m.rtdc", tenEvents());
    QCoreApplication::processEvents();
    const auto refreshesAfter = [this](const std::function<void()>& burst) {
        const std::uint64_t before = window.fullPlotUpdateCount();
        burst();
        EXPECT_EQ(window.fullPlotUpdateCount(), before) << "refreshed before the turn ended";
        QCoreApplication::processEvents();
        return window.fullPlotUpdateCount() - before;
    };
    auto* dock = window.findChild<FilterDockWidget*>();
    EXPECT_EQ(refreshesAfter([&] {
                  for (int i = 0; i < 10; ++i)
                      emit dock->filterChanged();
              }),
              1u);
    // A filter rule, a new colour and a log axis in one turn: one refresh,
    // and it shows all three.
    EXPECT_EQ(refreshesAfter([&] {
                  active().filter.addRule(test::rangeRule("area_um", 35.0, 85.0));
                  emit dock->filterChanged();
                  test::chooseData(part<QComboBox>(window, "colorCombo"),
                                   QStringLiteral("bright_avg"));
                  part<QComboBox>(window, "scaleXCombo")->setCurrentIndex(1);
              }),
              1u);
    EXPECT_EQ(probe().colors(), (std::vector<double>{103, 104, 105, 106, 107}));
    EXPECT_TRUE(status().contains(QStringLiteral("5/10 events shown"))) << status().toStdString();
    // A group switched on in every dataset, one of its rules edited and the
    // contours changed: still one.
    const int group = window.addFilterGroup("G");
    EXPECT_EQ(refreshesAfter([&] {
                  window.addRuleToGroup(group, test::rangeRule("area_um", 45.0, 100.0));
                  window.setGroupEnabledInAll(group, true);
                  part<QDoubleSpinBox>(window, "contourInnerSpin")->setValue(30.0);
                  window.requestPlotUpdate();
              }),
              1u);
    EXPECT_TRUE(status().contains(QStringLiteral("4/10 events shown"))) << status().toStdString();
    // Nothing asked: nothing runs.
    EXPECT_EQ(refreshesAfter([] {}), 0u);
}

// ---- zoom ----------------------------------------------------------------------------

TEST_F(MainPlot, ZoomSurvivesColourFilterAndContourChangesButNotNewAxesOrDatasets) {
    open("a.rtdc", tenEvents());
    const auto zoomIn = [this] {
        plot()->setAxisScale(QwtPlot::xBottom, 20.0, 30.0);
        plot()->setAxisScale(QwtPlot::yLeft, 0.02, 0.05);
        plot()->replot();
    };
    const auto zoomKept = [this] {
        return !plot()->axisAutoScale(QwtPlot::xBottom) && !plot()->axisAutoScale(QwtPlot::yLeft) &&
               plot()->axisScaleDiv(QwtPlot::xBottom).lowerBound() == 20.0 &&
               plot()->axisScaleDiv(QwtPlot::xBottom).upperBound() == 30.0;
    };
    zoomIn();
    ASSERT_TRUE(zoomKept());

    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("__density_kde__")));
    EXPECT_TRUE(zoomKept()) << "colour";
    active().filter.addRule(test::rangeRule("area_um", 15.0, 95.0));
    test::refreshPlot(window);
    EXPECT_TRUE(zoomKept()) << "filter";
    combo("contourModeCombo")->setCurrentIndex(1);
    EXPECT_TRUE(zoomKept()) << "contours";

    ASSERT_TRUE(test::chooseData(combo("xFeatureCombo"), QStringLiteral("bright_avg")));
    EXPECT_TRUE(plot()->axisAutoScale(QwtPlot::xBottom)) << "x feature";
    EXPECT_TRUE(plot()->axisAutoScale(QwtPlot::yLeft));

    zoomIn();
    ASSERT_TRUE(test::chooseData(combo("yFeatureCombo"), QStringLiteral("area_um")));
    EXPECT_TRUE(plot()->axisAutoScale(QwtPlot::xBottom)) << "y feature";

    // Another dataset, and back, with the same axes.
    open("b.rtdc", tenEvents());
    zoomIn();
    test::selectRow(window, 0);
    EXPECT_TRUE(plot()->axisAutoScale(QwtPlot::xBottom)) << "dataset";
}

// Guards against the zoom following a row: after a reorder moved the active
// dataset, changing only the colour reset the zoom.
TEST_F(MainPlot, ZoomSurvivesAReorderOfTheDatasetList) {
    open("a.rtdc", tenEvents());
    open("b.rtdc", tenEvents()); // active, row 1
    for (const int target : {0, 2}) {
        SCOPED_TRACE(target);
        plot()->setAxisScale(QwtPlot::xBottom, 20.0, 30.0);
        plot()->replot();
        // Drag the active dataset to the other end of the list (insertion
        // position counted before the move).
        const int from = window.activeDataset() == window.datasets()[0].get() ? 0 : 1;
        emit window.findChild<DatasetListWidget*>()->internalReorderRequested(from,
                                                                              from == 0 ? 2 : 0);
        ASSERT_TRUE(test::chooseData(combo("colorCombo"),
                                     target == 0 ? QStringLiteral("bright_avg") : QString()));
        EXPECT_FALSE(plot()->axisAutoScale(QwtPlot::xBottom));
        EXPECT_EQ(plot()->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 20.0);
    }
}

// ---- overlays and isolines -----------------------------------------------------------

TEST_F(MainPlot, PolygonOverlaysShowTheRulesDrawnOnTheShownAxes) {
    open("m.rtdc", tenEvents());
    const std::vector<std::pair<double, double>> triangle{{0, 0}, {100, 0}, {100, 1}};
    active().filter.addRule(test::polygonRule("area_um", "deform", triangle));
    FilterRule off = test::polygonRule("area_um", "deform", triangle);
    off.enabled = false;
    active().filter.addRule(off);
    active().filter.addRule(test::polygonRule("deform", "area_um", triangle)); // swapped axes
    active().filter.addRule(test::rangeRule("area_um", 0.0, 1000.0));

    const int shown = window.addFilterGroup("shown");
    const int hidden = window.addFilterGroup("hidden");
    window.addRuleToGroup(shown, test::rangeRule("deform", 0.0, 1.0));
    window.addRuleToGroup(shown, test::polygonRule("area_um", "deform", triangle));
    window.addRuleToGroup(hidden, test::polygonRule("area_um", "deform", triangle));
    window.setGroupEnabled(active().id, shown, true);

    std::vector<const QwtPlotShapeItem*> overlays = probe().overlays();
    ASSERT_EQ(overlays.size(), 3u); // rules 0 and 1, and the group's rule 1
    int enabledLook = 0;
    int disabledLook = 0;
    for (const QwtPlotShapeItem* item : overlays) {
        enabledLook += item->pen().style() == Qt::SolidLine ? 1 : 0;
        disabledLook += item->pen().style() == Qt::DashLine ? 1 : 0;
    }
    EXPECT_EQ(enabledLook, 2);
    EXPECT_EQ(disabledLook, 1);

    // Swapping the axes shows the one drawn the other way round.
    ASSERT_TRUE(test::chooseData(combo("xFeatureCombo"), QStringLiteral("deform")));
    ASSERT_TRUE(test::chooseData(combo("yFeatureCombo"), QStringLiteral("area_um")));
    EXPECT_EQ(probe().overlays().size(), 1u);

    ASSERT_TRUE(test::chooseData(combo("xFeatureCombo"), QStringLiteral("area_um")));
    ASSERT_TRUE(test::chooseData(combo("yFeatureCombo"), QStringLiteral("deform")));
    window.setGroupEnabled(active().id, shown, false);
    EXPECT_EQ(probe().overlays().size(), 2u);
}

TEST_F(MainPlot, IsolineSwitchesAreOfferedForAreaAndDeformationOnly) {
    // Without a look-up table the box would not stay ticked.
    std::filesystem::create_directories(dir.file("program/data"));
    std::ofstream(dir.file("program/data/LUT_LE_2D_FEM.txt"))
        << "area deform emodulus\n20 0 1\n220 0 2\n20 0.1 3\n220 0.1 4\n";
    window.findChild<EModulus*>()->setLUTSearchDir(QString::fromStdString(dir.file("program")));
    open("m.rtdc", tenEvents());
    auto* iso = part<QCheckBox>(window, "isoelasticsCheck");
    auto* labels = part<QCheckBox>(window, "isoLabelsCheck");
    EXPECT_FALSE(iso->isHidden()); // area_um / deform by default
    EXPECT_TRUE(labels->isHidden());
    iso->setChecked(true);
    EXPECT_FALSE(labels->isHidden());

    ASSERT_TRUE(test::chooseData(combo("xFeatureCombo"), QStringLiteral("deform")));
    ASSERT_TRUE(test::chooseData(combo("yFeatureCombo"), QStringLiteral("area_um")));
    window.flushPlotRequests(); // the refresh it asked for, as the event loop turns
    EXPECT_FALSE(iso->isHidden());
    EXPECT_FALSE(labels->isHidden());

    ASSERT_TRUE(test::chooseData(combo("yFeatureCombo"), QStringLiteral("bright_avg")));
    window.flushPlotRequests();
    EXPECT_TRUE(iso->isHidden());
    EXPECT_TRUE(labels->isHidden());
}

// ---- status line ---------------------------------------------------------------------

// Fewer than four plotted points have no density; they are still shown.
TEST_F(MainPlot, DensityColourWithTooFewPointsShowsThePointsPlain) {
    open("m.rtdc", tenEvents());
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("__density_kde__")));
    ASSERT_EQ(probe().colors().size(), 10u);

    active().filter.addRule(test::rangeRule("area_um", 0.0, 30.0));
    test::refreshPlot(window);
    EXPECT_EQ(probe().dots().size(), 3u);
    EXPECT_TRUE(probe().colors().empty());
    EXPECT_TRUE(status().contains(QStringLiteral("3/10 events shown (30.0% pass filter)")))
        << status().toStdString();
}

TEST_F(MainPlot, StatusLineNamesFlowRateRegionRunAndCounts) {
    Measurement m = tenEvents();
    m.textAttributes["experiment:sample"] = "Blood A";
    m.integerAttributes["experiment:run index"] = 7;
    m.numberAttributes["setup:flow rate"] = 0.04;
    m.textAttributes["setup:chip region"] = "reservoir";
    open("m.rtdc", m);
    EXPECT_EQ(status(), QStringLiteral("Loaded: Blood A (0.04 \u00B5L/s, Reservoir, #7, "
                                       "10/10 events shown (100.0% pass filter))"));

    active().filter.addRule(test::rangeRule("area_um", 0.0, 25.0));
    test::refreshPlot(window);
    EXPECT_EQ(status(), QStringLiteral("Loaded: Blood A (0.04 \u00B5L/s, Reservoir, #7, "
                                       "2/10 events shown (20.0% pass filter))"));
    // The filter dock hears the same counts.
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("dockStatusLabel"))->text(),
              QStringLiteral("2 / 10 events shown (20.0%)"));
}

TEST_F(MainPlot, StatusLineLeavesOutWhatTheMeasurementDoesNotSay) {
    Measurement m;
    m.columns["area_um"] = {1.0, 2.0, 3.0};
    m.columns["deform"] = {0.1, 0.2, 0.3};
    m.textAttributes["setup:flow rate"] = "fast";
    m.textAttributes["setup:chip region"] = "channel";
    open("plain.rtdc", m);
    EXPECT_EQ(status(),
              QStringLiteral("Loaded: plain.rtdc (3/3 events shown (100.0% pass filter))"));

    active().filter.addRule(test::rangeRule("area_um", 1.5, 3.0));
    test::refreshPlot(window);
    EXPECT_EQ(status(),
              QStringLiteral("Loaded: plain.rtdc (2/3 events shown (66.7% pass filter))"));
}

// A measurement without events has nothing to plot, which is no error: no
// "Failed to read feature data." box. The line must not stay at
// "Loading: ..." for good, nor may the plot of the dataset shown before stay
// under its name.
TEST_F(MainPlot, MeasurementWithoutEventsShowsItsOwnLineAndNoOtherPlot) {
    open("ten.rtdc", tenEvents());
    Measurement none;
    none.columns["area_um"] = {};
    none.columns["deform"] = {};
    const std::string path = dir.file("none.rtdc");
    test::writeMeasurement(path, none);
    window.addDataset(QString::fromStdString(path));
    ASSERT_TRUE(test::waitUntil([&] { return active().featuresLoaded; }));
    test::processEventsFor(10);

    EXPECT_EQ(dialogs.count(testing::DialogCall::Warning), 0);
    EXPECT_EQ(status(), QStringLiteral("Loaded: none.rtdc (0 events)"));
    EXPECT_TRUE(probe().dots().empty());
}

// A column that cannot be read gives the box, and the box says why: the
// reader's reason, naming the feature, as its detail text.
TEST_F(MainPlot, UnreadableFeatureDataBoxCarriesTheReadersReason) {
    Measurement m = tenEvents();
    m.corruptColumns = {"area_um"};
    open("broken.rtdc", m);
    ASSERT_GE(dialogs.count(testing::DialogCall::Warning), 1);
    const testing::DialogCall* box = nullptr;
    for (const testing::DialogCall& call : dialogs.calls)
        if (call.text == QStringLiteral("Failed to read feature data."))
            box = &call;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->kind, testing::DialogCall::Warning);
    EXPECT_EQ(box->title, QStringLiteral("Error"));
    EXPECT_TRUE(box->details.contains(QStringLiteral("\"area_um\""))) << box->details.toStdString();
    EXPECT_TRUE(box->details.contains(QStringLiteral("could not be read")))
        << box->details.toStdString();
    EXPECT_TRUE(window.activeReader()->featureReadError("deform").empty());
}

// A name is shown as typed: "<b>x</b>" is not bold markup.
TEST_F(MainPlot, StatusLineShowsAMarkupLikeNameAsTyped) {
    Measurement m = tenEvents();
    m.textAttributes["experiment:sample"] = "<b>x</b>";
    open("m.rtdc", m);
    auto* label = part<QLabel>(window, "infoLabel");
    ASSERT_EQ(status(), QStringLiteral("Loaded: <b>x</b> (10/10 events shown (100.0% pass "
                                       "filter))"));
    // Drawn as typed, tags included: as wide as its literal text at least
    // (markup would drop the tags and draw a narrower bold x).
    EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(label->text()));
}

TEST_F(MainPlot, StatusLineTellsOfADatasetLoadedWithErrors) {
    Measurement m = tenEvents();
    m.columns["porosity"] = std::vector<double>(10, 1.0);
    m.corruptColumns = {"porosity"};
    open("broken.rtdc", m);
    ASSERT_FALSE(active().failedFeatures.empty());
    EXPECT_EQ(status(), QStringLiteral("Loaded: broken.rtdc (10/10 events shown (100.0% pass "
                                       "filter), loaded with errors)"));
    EXPECT_EQ(probe().dots().size(), 10u);
}

// ---- effective filter ----------------------------------------------------------------

TEST_F(MainPlot, EffectiveFilterAppendsTheRulesOfTheGroupsSwitchedOn) {
    open("m.rtdc", tenEvents());
    EXPECT_EQ(window.buildEffectiveFilter(nullptr).ruleCount(), 0);
    EXPECT_TRUE(window.buildEffectiveFilter(nullptr).isEnabled());

    active().filter.addRule(test::rangeRule("area_um", 0.0, 85.0)); // events 0..7
    const int first = window.addFilterGroup("first");
    const int skipped = window.addFilterGroup("skipped");
    const int last = window.addFilterGroup("last");
    FilterRule disabled = test::rangeRule("bright_avg", 1000.0, 2000.0);
    disabled.enabled = false;
    window.addRuleToGroup(first, test::rangeRule("area_um", 25.0, 1000.0)); // events 2..
    window.addRuleToGroup(first, disabled);
    window.addRuleToGroup(skipped, test::rangeRule("area_um", 0.0, 0.0));
    window.addRuleToGroup(last, test::rangeRule("deform", 0.0, 0.065)); // events ..5
    window.setGroupEnabled(active().id, first, true);
    window.setGroupEnabled(active().id, last, true);

    const EventFilter effective = window.buildEffectiveFilter(&active());
    ASSERT_EQ(effective.ruleCount(), 4);
    EXPECT_EQ(effective.rules()[0].maxValue, 85.0);
    EXPECT_EQ(effective.rules()[1].minValue, 25.0);
    EXPECT_FALSE(effective.rules()[2].enabled);
    EXPECT_EQ(effective.rules()[3].featureName, "deform");
    // The plot shows what it passes.
    EXPECT_EQ(probe().dots().size(), 4u); // events 2..5

    // The dataset's switch and combine mode carry over.
    active().filter.setCombineMode(FilterCombineMode::NOT);
    active().filter.setEnabled(false);
    const EventFilter off = window.buildEffectiveFilter(&active());
    EXPECT_EQ(off.combineMode(), FilterCombineMode::NOT);
    EXPECT_FALSE(off.isEnabled());
    test::refreshPlot(window);
    EXPECT_EQ(probe().dots().size(), 10u);
}

} // namespace
} // namespace Quorvex3
