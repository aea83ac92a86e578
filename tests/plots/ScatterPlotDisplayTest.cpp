#include "AxisLabelCheck.h"
#include "ScatterPlotTestSupport.h"
#include "plots/ColorMaps.h"
#include "plots/PlainDotCurve.h"
#include "plots/PseudoLogScaleEngine.h"
#include "plots/RoundSpectroCurve.h"
#include "plots/ScatterPlot.h"

#include <qwt_color_map.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

namespace Quorvex3 {
namespace {

using testing::curvesAtZ;
using testing::curvesWithSymbolWidth;
using testing::ensureApplication;
using testing::itemsOf;
using testing::spectroCurveOf;

struct Stop {
    double position;
    QRgb color;
};

void expectStops(int index, const std::vector<Stop>& expected) {
    SCOPED_TRACE(::testing::Message() << "colour map " << index);
    std::unique_ptr<QwtLinearColorMap> map(createColorMap(index));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->format(), QwtColorMap::RGB);
    const QVector<double> stops = map->colorStops();
    ASSERT_EQ(stops.size(), static_cast<int>(expected.size()));
    const QwtInterval unit(0.0, 1.0);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(stops[static_cast<int>(i)], expected[i].position);
        EXPECT_EQ(map->rgb(unit, expected[i].position), expected[i].color)
            << "stop at " << expected[i].position;
    }
}

const std::vector<Stop> kViridis = {{0.0, qRgb(68, 1, 84)},
                                    {0.25, qRgb(59, 82, 139)},
                                    {0.5, qRgb(33, 145, 140)},
                                    {0.75, qRgb(94, 201, 98)},
                                    {1.0, qRgb(253, 231, 37)}};

class ScatterPlotDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        plot = std::make_unique<ScatterPlot>();
        plot->resize(640, 480);
        plot->show();
        QApplication::processEvents();
    }

    QwtPlotCurve* plainDots() const { return curvesWithSymbolWidth(*plot, 6).front(); }
    QwtPlotCurve* highlight() const { return curvesWithSymbolWidth(*plot, 12).front(); }
    QwtPlotSpectroCurve* colouredDots() const { return spectroCurveOf(*plot); }
    QwtScaleWidget* colorBar() const { return plot->axisWidget(QwtPlot::yRight); }

    std::unique_ptr<ScatterPlot> plot;
    const std::vector<double> x{1.0, 2.0, 3.0, 4.0};
    const std::vector<double> y{10.0, 20.0, 15.0, 5.0};
};

// ===== Colour maps ===========================================================

TEST(ColorMaps, StopsOfAllSixMaps) {
    ensureApplication();
    expectStops(0, kViridis);
    expectStops(1, {{0.0, qRgb(0, 0, 255)},
                    {0.25, qRgb(0, 255, 255)},
                    {0.5, qRgb(0, 255, 0)},
                    {0.75, qRgb(255, 255, 0)},
                    {1.0, qRgb(255, 0, 0)}});
    expectStops(2, {{0.0, qRgb(100, 0, 180)},
                    {0.2, qRgb(0, 0, 255)},
                    {0.4, qRgb(0, 255, 255)},
                    {0.6, qRgb(0, 255, 0)},
                    {0.8, qRgb(255, 255, 0)},
                    {1.0, qRgb(255, 0, 0)}});
    expectStops(3, {{0.0, qRgb(13, 8, 135)},
                    {0.25, qRgb(126, 3, 168)},
                    {0.5, qRgb(204, 71, 120)},
                    {0.75, qRgb(248, 149, 64)},
                    {1.0, qRgb(240, 249, 33)}});
    expectStops(4, {{0.0, qRgb(0, 68, 108)},
                    {0.25, qRgb(0, 171, 173)},
                    {0.5, qRgb(104, 193, 194)},
                    {0.75, qRgb(166, 215, 213)},
                    {1.0, qRgb(254, 204, 0)}});
    expectStops(5, {{0.0, qRgb(0, 0, 0)}, {1.0, qRgb(255, 255, 255)}});
}

TEST(ColorMaps, IndicesOutsideTheListGiveViridis) {
    ensureApplication();
    for (const int index : {-1, 6, 42})
        expectStops(index, kViridis);
}

// ===== Colour range and fallbacks ============================================

TEST_F(ScatterPlotDisplay, ColourValuesShowColouredDotsAndAColourBar) {
    plot->setData(x, y, "Area", "Deformation", {0.0, 1.0, 2.0, 4.0}, "Density");
    EXPECT_FALSE(plainDots()->isVisible());
    ASSERT_TRUE(colouredDots()->isVisible());
    EXPECT_EQ(testing::sampleCount(colouredDots()), 4u);
    EXPECT_EQ(colouredDots()->colorRange(), QwtInterval(0.0, 4.0));
    EXPECT_TRUE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_TRUE(colorBar()->isColorBarEnabled());
    EXPECT_EQ(colorBar()->colorBarWidth(), 10);
    EXPECT_EQ(colorBar()->colorBarInterval(), QwtInterval(0.0, 4.0));
    EXPECT_EQ(plot->axisTitle(QwtPlot::yRight).text(), "Density");
    EXPECT_EQ(plot->axisTitle(QwtPlot::xBottom).text(), "Area");
    EXPECT_EQ(plot->axisTitle(QwtPlot::yLeft).text(), "Deformation");
    EXPECT_EQ(plot->axisScaleDiv(QwtPlot::yRight).lowerBound(), 0.0);
    EXPECT_EQ(plot->axisScaleDiv(QwtPlot::yRight).upperBound(), 4.0);
}

TEST_F(ScatterPlotDisplay, ConstantColourGivesRangeVToVPlusOneAndTheStartColour) {
    plot->setAxisScale(QwtPlot::xBottom, 0.0, 5.0);
    plot->setAxisScale(QwtPlot::yLeft, 0.0, 25.0);
    plot->setData(x, y, "x", "y", {7.5, 7.5, 7.5, 7.5}, "c");
    EXPECT_EQ(colouredDots()->colorRange(), QwtInterval(7.5, 8.5));
    EXPECT_EQ(colorBar()->colorBarInterval(), QwtInterval(7.5, 8.5));

    // Every dot is painted in the map's start colour (Viridis: 68, 1, 84).
    const QImage image = plot->canvas()->grab().toImage();
    for (size_t i = 0; i < x.size(); ++i) {
        const QPoint centre = testing::roundedPixelOf(*plot, x[i], y[i]);
        EXPECT_EQ(image.pixel(centre), qRgb(68, 1, 84)) << "dot " << i;
    }
}

TEST_F(ScatterPlotDisplay, ColourRangeIgnoresNonFiniteValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    plot->setData(x, y, "x", "y", {nan, 2.0, -inf, 5.0}, "c");
    EXPECT_EQ(colouredDots()->colorRange(), QwtInterval(2.0, 5.0));
    plot->setData(x, y, "x", "y", {nan, inf, 3.0, nan}, "c");
    EXPECT_EQ(colouredDots()->colorRange(), QwtInterval(3.0, 4.0));
}

TEST_F(ScatterPlotDisplay, ColourArrayOfWrongLengthGivesPlainDotsWithoutColourBar) {
    plot->setData(x, y, "x", "y", {1.0, 2.0, 3.0, 4.0}, "c");
    ASSERT_TRUE(colorBar()->isColorBarEnabled());
    plot->setData(x, y, "x", "y", {1.0, 2.0, 3.0}, "c");
    EXPECT_TRUE(plainDots()->isVisible());
    EXPECT_EQ(plainDots()->dataSize(), 4u);
    EXPECT_FALSE(colouredDots()->isVisible());
    EXPECT_FALSE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_FALSE(colorBar()->isColorBarEnabled());
}

TEST_F(ScatterPlotDisplay, MismatchedOrEmptyCoordinatesClearThePlot) {
    plot->setData(x, y, "x", "y", {}, "");
    plot->highlightPoint(1);
    ASSERT_TRUE(highlight()->isVisible());

    plot->setData(x, {1.0, 2.0}, "x", "y", {}, "");
    EXPECT_EQ(plainDots()->dataSize(), 0u);
    EXPECT_EQ(testing::sampleCount(colouredDots()), 0u);
    EXPECT_FALSE(highlight()->isVisible());
    // The cleared plot has no points to highlight any more.
    plot->highlightPoint(0);
    EXPECT_FALSE(highlight()->isVisible());

    plot->setData(x, y, "x", "y", {}, "");
    plot->setData({}, {}, "x", "y", {}, "");
    EXPECT_EQ(plainDots()->dataSize(), 0u);
}

TEST_F(ScatterPlotDisplay, HighlightMarksThePointAndHidesOutOfRange) {
    plot->setData(x, y, "x", "y", {}, "");
    plot->highlightPoint(2);
    ASSERT_TRUE(highlight()->isVisible());
    ASSERT_EQ(highlight()->dataSize(), 1u);
    EXPECT_EQ(highlight()->sample(0), QPointF(3.0, 15.0));
    plot->highlightPoint(4);
    EXPECT_FALSE(highlight()->isVisible());
    plot->highlightPoint(1);
    plot->highlightPoint(-1);
    EXPECT_FALSE(highlight()->isVisible());
    plot->highlightPoint(1);
    plot->clearHighlight();
    EXPECT_FALSE(highlight()->isVisible());
}

TEST_F(ScatterPlotDisplay, ChangingTheColourMapRecoloursDotsAndBar) {
    plot->setData(x, y, "x", "y", {0.0, 1.0, 2.0, 3.0}, "c");
    plot->setColorMapIndex(5);
    EXPECT_EQ(plot->colorMapIndex(), 5);
    const QwtInterval range = colouredDots()->colorRange();
    EXPECT_EQ(colouredDots()->colorMap()->rgb(range, 0.0), qRgb(0, 0, 0));
    EXPECT_EQ(colouredDots()->colorMap()->rgb(range, 3.0), qRgb(255, 255, 255));
    EXPECT_EQ(colorBar()->colorMap()->rgb(range, 3.0), qRgb(255, 255, 255));
}

// ===== Contours-only view ====================================================

TEST_F(ScatterPlotDisplay, HiddenScatterStaysHiddenAcrossSetData) {
    plot->setScatterVisible(false);
    plot->setData(x, y, "x", "y", {0.0, 1.0, 2.0, 3.0}, "c");
    EXPECT_FALSE(plainDots()->isVisible());
    EXPECT_FALSE(colouredDots()->isVisible());
    EXPECT_FALSE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_FALSE(colorBar()->isColorBarEnabled());

    // Showing brings the coloured dots back; the colour bar waits for setData.
    plot->setScatterVisible(true);
    EXPECT_TRUE(colouredDots()->isVisible());
    EXPECT_FALSE(plainDots()->isVisible());
    EXPECT_FALSE(plot->axisEnabled(QwtPlot::yRight));
    plot->setData(x, y, "x", "y", {0.0, 1.0, 2.0, 3.0}, "c");
    EXPECT_TRUE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_TRUE(colorBar()->isColorBarEnabled());
}

TEST_F(ScatterPlotDisplay, ShowingPlainDataBringsPlainDotsBack) {
    plot->setData(x, y, "x", "y", {}, "");
    plot->setScatterVisible(false);
    EXPECT_FALSE(plainDots()->isVisible());
    plot->setScatterVisible(true);
    EXPECT_TRUE(plainDots()->isVisible());
    EXPECT_FALSE(colouredDots()->isVisible());
}

TEST_F(ScatterPlotDisplay, ColourMapChangeWhileHiddenDoesNotShowDots) {
    plot->setData(x, y, "x", "y", {0.0, 1.0, 2.0, 3.0}, "c");
    plot->setScatterVisible(false);
    plot->setColorMapIndex(3);
    EXPECT_FALSE(colouredDots()->isVisible());
    EXPECT_FALSE(colorBar()->isColorBarEnabled());
    EXPECT_EQ(plot->colorMapIndex(), 3);
}

// ===== Contours and isolines =================================================

TEST_F(ScatterPlotDisplay, FirstContourLevelIsDashedTheOthersSolid) {
    const ContourPath square{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
    const ContourPath single{{5, 5}};
    std::vector<ContourLevel> levels(3);
    levels[0].paths = {square, single};
    levels[1].paths = {square, square};
    levels[2].paths = {square};
    plot->setContours(levels);

    const auto curves = curvesAtZ(*plot, 40.0);
    ASSERT_EQ(curves.size(), 4u); // the one-point path is skipped
    EXPECT_EQ(curves[0]->pen().style(), Qt::DashLine);
    for (size_t i = 1; i < curves.size(); ++i)
        EXPECT_EQ(curves[i]->pen().style(), Qt::SolidLine) << "curve " << i;
    for (QwtPlotCurve* curve : curves) {
        EXPECT_EQ(curve->pen().color(), QColor(Qt::black));
        EXPECT_EQ(curve->pen().widthF(), 2.0);
        EXPECT_EQ(curve->style(), QwtPlotCurve::Lines);
        EXPECT_FALSE(curve->testItemAttribute(QwtPlotItem::Legend));
        EXPECT_TRUE(curve->testItemAttribute(QwtPlotItem::AutoScale));
        EXPECT_EQ(curve->dataSize(), 5u);
    }

    plot->setContours({levels[2]});
    ASSERT_EQ(curvesAtZ(*plot, 40.0).size(), 1u);
    EXPECT_EQ(curvesAtZ(*plot, 40.0)[0]->pen().style(), Qt::DashLine);
    plot->clearContours();
    EXPECT_TRUE(curvesAtZ(*plot, 40.0).empty());
}

TEST_F(ScatterPlotDisplay, ClearDataRemovesContoursButKeepsIsolines) {
    std::vector<ContourLevel> levels(1);
    levels[0].paths = {{{0, 0}, {1, 1}}};
    plot->setContours(levels);
    IsoLine line;
    line.value = 1.0;
    line.points = {{0, 0}, {1, 1}};
    plot->setIsolines({line}, false);
    plot->clearData();
    EXPECT_TRUE(curvesAtZ(*plot, 40.0).empty());
    EXPECT_EQ(curvesAtZ(*plot, -10.0).size(), 1u);
}

// An emptied plot keeps nothing of the data shown before: no axis titles,
// and a zoomed axis scales itself again.
TEST_F(ScatterPlotDisplay, ClearDataEmptiesTheTitlesAndResetsTheAxes) {
    plot->setData({1, 2, 3}, {4, 5, 6}, "Area", "Deformation", {7, 8, 9}, "Brightness");
    plot->setAxisScale(QwtPlot::xBottom, 1.5, 2.5);
    plot->setAxisScale(QwtPlot::yLeft, 4.5, 5.5);
    ASSERT_FALSE(plot->axisAutoScale(QwtPlot::xBottom));
    plot->clearData();
    for (const int axis : {QwtPlot::xBottom, QwtPlot::yLeft, QwtPlot::yRight})
        EXPECT_TRUE(plot->axisTitle(axis).text().isEmpty()) << axis;
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::xBottom));
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::yLeft));
}

TEST_F(ScatterPlotDisplay, IsolinesAreGreyWithKpaLabelsAtTheirEnds) {
    std::vector<IsoLine> lines(3);
    lines[0].value = 0.5;
    lines[0].points = {{20.0, 0.01}, {40.0, 0.02}, {60.0, 0.04}};
    lines[1].value = 1.0;
    lines[1].points = {{25.0, 0.005}, {80.0, 0.03}};
    lines[2].value = 2.0;
    lines[2].points = {{30.0, 0.01}}; // too short: skipped
    plot->setIsolines(lines, true);

    const auto curves = curvesAtZ(*plot, -10.0);
    ASSERT_EQ(curves.size(), 2u);
    for (QwtPlotCurve* curve : curves) {
        EXPECT_EQ(curve->pen().color(), QColor(180, 180, 180));
        EXPECT_EQ(curve->pen().widthF(), 1.0);
        EXPECT_FALSE(curve->testItemAttribute(QwtPlotItem::AutoScale));
        EXPECT_FALSE(curve->testItemAttribute(QwtPlotItem::Legend));
    }
    const auto markers = itemsOf<QwtPlotMarker>(*plot, QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0]->label().text(), "0.50 kPa");
    EXPECT_EQ(markers[0]->value(), QPointF(60.0, 0.04));
    EXPECT_EQ(markers[1]->label().text(), "1.0 kPa");
    EXPECT_EQ(markers[1]->value(), QPointF(80.0, 0.03));
    for (QwtPlotMarker* marker : markers) {
        EXPECT_EQ(marker->z(), -9.0);
        EXPECT_EQ(marker->label().color(), QColor(150, 150, 150));
        EXPECT_EQ(marker->label().font().pointSize(), 8);
        EXPECT_EQ(marker->labelAlignment(), Qt::AlignLeft | Qt::AlignBottom);
        EXPECT_FALSE(marker->testItemAttribute(QwtPlotItem::AutoScale));
    }

    plot->setIsolines(lines, false);
    EXPECT_EQ(curvesAtZ(*plot, -10.0).size(), 2u);
    EXPECT_TRUE(itemsOf<QwtPlotMarker>(*plot, QwtPlotItem::Rtti_PlotMarker).empty());
    plot->clearIsolines();
    EXPECT_TRUE(curvesAtZ(*plot, -10.0).empty());
}

// ===== Axis scales ===========================================================

TEST_F(ScatterPlotDisplay, ScaleModesInstallTheirEngines) {
    plot->setScaleMode(QwtPlot::xBottom, 1);
    EXPECT_NE(dynamic_cast<const QwtLogScaleEngine*>(plot->axisScaleEngine(QwtPlot::xBottom)),
              nullptr);
    plot->setScaleMode(QwtPlot::yLeft, 2);
    EXPECT_NE(dynamic_cast<const PseudoLogScaleEngine*>(plot->axisScaleEngine(QwtPlot::yLeft)),
              nullptr);
    plot->setScaleMode(QwtPlot::xBottom, 7);
    EXPECT_NE(dynamic_cast<const QwtLinearScaleEngine*>(plot->axisScaleEngine(QwtPlot::xBottom)),
              nullptr);
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::xBottom));
}

// ===== Log axes over values at or below 0 ===================================

// A log axis cannot draw values <= 0. Handed to Qwt they sat on its floor and
// stretched its automatic range down to 1e-100, squeezing every other point
// onto one line. They are left out of what the axis draws; they remain plot
// points (indices unchanged), and switching back draws them again.
TEST_F(ScatterPlotDisplay, LogAxisLeavesOutValuesAtOrBelowZeroAndScalesToTheRest) {
    const std::vector<double> a{-5.0, 0.0, 2.0, 20.0, 200.0};
    const std::vector<double> b{3.0, 30.0, 300.0, 0.0, -3.0};
    const std::vector<double> colour{100.0, 100.0, 1.0, 2.0, 3.0};
    for (const int axis : {static_cast<int>(QwtPlot::xBottom), static_cast<int>(QwtPlot::yLeft)}) {
        for (const bool coloured : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "axis " << axis << " coloured " << coloured);
            const bool onX = axis == QwtPlot::xBottom;
            plot->setScaleMode(QwtPlot::xBottom, 0);
            plot->setScaleMode(QwtPlot::yLeft, 0);
            // The log axis cannot draw points 0 and 1.
            plot->setData(onX ? a : b, onX ? b : a, "x", "y",
                          coloured ? colour : std::vector<double>{}, "c");
            plot->setScaleMode(axis, 1);
            plot->replot();

            std::vector<QPointF> drawn;
            if (coloured) {
                for (size_t i = 0; i < testing::sampleCount(colouredDots()); ++i) {
                    const auto* store = (const QwtSeriesStore<QwtPoint3D>*)colouredDots();
                    drawn.emplace_back(store->sample(i).x(), store->sample(i).y());
                }
            } else {
                for (size_t i = 0; i < plainDots()->dataSize(); ++i)
                    drawn.push_back(plainDots()->sample(i));
            }
            ASSERT_EQ(drawn.size(), 3u);
            for (const QPointF& p : drawn)
                EXPECT_GT(onX ? p.x() : p.y(), 0.0);
            const QwtScaleDiv& div = plot->axisScaleDiv(axis);
            EXPECT_GE(div.lowerBound(), 0.1) << div.lowerBound();
            EXPECT_LE(div.upperBound(), 2000.0);
            // Their colours do not stretch the colour range either.
            if (coloured) {
                EXPECT_EQ(colorBar()->colorBarInterval(), QwtInterval(1.0, 3.0));
            }

            // The highlight of a point the axis cannot draw is hidden.
            plot->highlightPoint(1);
            EXPECT_FALSE(highlight()->isVisible());
            plot->highlightPoint(2);
            EXPECT_TRUE(highlight()->isVisible());

            plot->setScaleMode(axis, 0);
            const size_t all =
                coloured ? testing::sampleCount(colouredDots()) : plainDots()->dataSize();
            EXPECT_EQ(all, 5u);
        }
    }
}

// A polygon overlay reaching below 0 is still shown but does not drag a log
// axis down to its floor.
TEST_F(ScatterPlotDisplay, LogAxisRangeIgnoresPolygonsReachingBelowZero) {
    plot->setData({10.0, 100.0, 1000.0}, {1.0, 2.0, 3.0}, "x", "y", {}, "");
    plot->addPolygonOverlay(0, QPolygonF({{-50.0, 0.0}, {500.0, 0.0}, {500.0, 5.0}}), true);
    plot->setScaleMode(QwtPlot::xBottom, 1);
    plot->replot();
    EXPECT_GE(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
    // Also one added while the axis is logarithmic.
    plot->addPolygonOverlay(1, QPolygonF({{-80.0, 0.0}, {400.0, 0.0}, {400.0, 5.0}}), true);
    plot->replot();
    EXPECT_GE(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
    plot->setScaleMode(QwtPlot::xBottom, 0);
    plot->replot();
    EXPECT_LE(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), -80.0);
}

// ===== Tick labels ===========================================================

// Wide labels ("10,000") on a narrow plot ran into each other ("5,00010,000"):
// where they are wide the axis shows fewer ticks, at any size.
TEST_F(ScatterPlotDisplay, TickLabelsNeverOverlapAtAnySize) {
    const testing::EnglishNumbers english;
    const std::vector<double> wide{0.0, 2500.0, 5000.0, 7500.0, 12345.0};
    const std::vector<double> small{0.0, 0.25, 0.5, 1.0, 0.75};
    for (const int width : {410, 520, 700, 1000, 1600}) {
        for (const int mode : {0, 1, 2}) {
            SCOPED_TRACE(::testing::Message() << "width " << width << " scale " << mode);
            plot->resize(width, 330);
            plot->setScaleMode(QwtPlot::xBottom, mode);
            plot->setData(mode == 1 ? std::vector<double>{1.0, 10.0, 1e3, 1e5, 1e7} : wide, small,
                          "x", "y", {}, "");
            QApplication::processEvents();
            EXPECT_FALSE(testing::tickLabelsOverlap(*plot, QwtPlot::xBottom));
            EXPECT_GE(testing::drawnLabels(*plot, QwtPlot::xBottom).size(), 2);
            // On linear and log axes the ticks thin out rather than lose labels
            // (the pseudo-log scale keeps a tick at every decade).
            if (mode != 2) {
                EXPECT_EQ(
                    testing::drawnLabels(*plot, QwtPlot::xBottom).size(),
                    plot->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).size());
            }
        }
    }
}

// ===== Round dots ============================================================

/// Paints samples [from, to] of a curve onto a white image whose maps put
/// data (0..w, 0..h) onto pixels (0..w, 0..h).
/// With a painter scale, the logical canvas is the image size divided by it.
void paintDots(const RoundSpectroCurve& curve, QImage& image, int from, int to,
               double painterScale = 1.0) {
    QPainter painter(&image);
    painter.scale(painterScale, painterScale);
    const double w = image.width() / painterScale;
    const double h = image.height() / painterScale;
    QwtScaleMap xMap;
    xMap.setPaintInterval(0, w);
    xMap.setScaleInterval(0, w);
    QwtScaleMap yMap;
    yMap.setPaintInterval(0, h);
    yMap.setScaleInterval(0, h);
    curve.drawSeries(&painter, xMap, yMap, QRectF(0, 0, w, h), from, to);
}

int maxChannelDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

TEST(RoundSpectroCurve, ManyDotsLookLikeDotsPaintedOneByOne) {
    ensureApplication();
    // 3000 overlapping dots on whole-pixel centres: the composited drawing
    // of a large set must match the exact drawing of small batches.
    RoundSpectroCurve curve;
    curve.setPenWidth(6.0);
    curve.setColorMap(createColorMap(1));
    curve.setColorRange(QwtInterval(0.0, 2999.0));
    QVector<QwtPoint3D> samples;
    for (int i = 0; i < 3000; ++i)
        samples.append(QwtPoint3D(5 + (i * 7) % 190, 5 + (i * 13) % 90, i));
    curve.setSamples(samples);

    QImage composited(200, 100, QImage::Format_ARGB32_Premultiplied);
    composited.fill(Qt::white);
    paintDots(curve, composited, 0, 2999);

    QImage exact(200, 100, QImage::Format_ARGB32_Premultiplied);
    exact.fill(Qt::white);
    for (int from = 0; from < 3000; from += 500)
        paintDots(curve, exact, from, from + 499);

    EXPECT_LE(maxChannelDifference(composited, exact), 2);

    // The same on a painter scaled by 2, as on a high-resolution screen.
    QImage compositedHiRes(400, 200, QImage::Format_ARGB32_Premultiplied);
    compositedHiRes.fill(Qt::white);
    paintDots(curve, compositedHiRes, 0, 2999, 2.0);
    QImage exactHiRes(400, 200, QImage::Format_ARGB32_Premultiplied);
    exactHiRes.fill(Qt::white);
    for (int from = 0; from < 3000; from += 500)
        paintDots(curve, exactHiRes, from, from + 499, 2.0);
    EXPECT_LE(maxChannelDifference(compositedHiRes, exactHiRes), 2);
}

/// A see-through colour map, so the blends of overlapping dots show in
/// every pixel.
QwtLinearColorMap* translucentColorMap() {
    auto* map = new QwtLinearColorMap(QColor(0, 0, 255, 40), QColor(255, 0, 0, 220));
    map->addColorStop(0.5, QColor(0, 200, 0, 128));
    return map;
}

// Many dots are painted in bands on several threads; the picture must be
// the one a single thread paints, pixel for pixel, whatever the number of
// bands, the canvas size, the colour map, the dot size and the painter scale.
TEST(RoundSpectroCurve, PaintingOnSeveralThreadsGivesTheSerialPicture) {
    ensureApplication();
    struct Case {
        int width;
        int height;
        int colorMap; // -1: the translucent map
        double penWidth;
        double painterScale;
    };
    const Case cases[] = {
        {200, 100, 1, 6.0, 1.0},  {640, 480, 0, 6.0, 1.0},  {1001, 333, 3, 6.0, 1.0},
        {333, 1001, 4, 3.5, 1.0}, {400, 300, 5, 9.0, 2.0},  {640, 480, 2, 6.0, 2.0},
        {517, 271, -1, 6.0, 1.0}, {300, 200, -1, 4.5, 2.0}, {64, 9, 1, 6.0, 1.0},
    };
    std::mt19937 rng(5u);
    std::normal_distribution<double> unit(0.0, 1.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " map " << c.colorMap
                                          << " pen " << c.penWidth << " scale " << c.painterScale);
        const double w = c.width / c.painterScale;
        const double h = c.height / c.painterScale;
        // A dense cloud (most dots in a few bands), dots on and past the
        // edges, and samples that draw nothing (NaN place or colour).
        QVector<QwtPoint3D> samples;
        for (int i = 0; i < 60000; ++i) {
            const double x = w * (0.5 + 0.18 * unit(rng));
            const double y = h * (0.5 + 0.12 * unit(rng));
            samples.append(QwtPoint3D(x, y, std::fmod(x + 3.0 * y, 97.0)));
        }
        for (int i = 0; i < 400; ++i) {
            samples.append(QwtPoint3D(-4.0 + i % 9, h * i / 400.0, i));
            samples.append(QwtPoint3D(w * i / 400.0, h + 4.0 - i % 9, i));
        }
        samples.append(QwtPoint3D(std::nan(""), 5.0, 1.0));
        samples.append(QwtPoint3D(5.0, 5.0, std::nan("")));

        RoundSpectroCurve curve;
        curve.setPenWidth(c.penWidth);
        curve.setColorMap(c.colorMap < 0 ? translucentColorMap() : createColorMap(c.colorMap));
        curve.setColorRange(QwtInterval(0.0, 97.0));
        curve.setSamples(samples);
        const int last = samples.size() - 1;

        curve.setPaintThreads(1);
        QImage serial(c.width, c.height, QImage::Format_ARGB32_Premultiplied);
        serial.fill(Qt::white);
        paintDots(curve, serial, 0, last, c.painterScale);
        for (const int threads : {2, 3, 8, 0}) {
            SCOPED_TRACE(::testing::Message() << threads << " threads");
            curve.setPaintThreads(threads);
            QImage banded(c.width, c.height, QImage::Format_ARGB32_Premultiplied);
            banded.fill(Qt::white);
            paintDots(curve, banded, 0, last, c.painterScale);
            EXPECT_EQ(maxChannelDifference(banded, serial), 0);
            EXPECT_TRUE(banded == serial);
        }
    }
}

/// A curve of the scatter plot's plain dots: half-transparent discs with an
/// outline, as the plot draws them.
template <typename Curve> void setUpPlainDots(Curve& curve, const QVector<QPointF>& points) {
    curve.setStyle(QwtPlotCurve::NoCurve);
    QColor fill(31, 119, 180, 100);
    curve.setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(fill),
                                  QPen(QColor(31, 119, 180), 1, Qt::SolidLine), QSize(6, 6)));
    curve.setSamples(points);
}

/// Paints a curve's samples on a painter of `device` whose maps put data
/// (0..w, 0..h) onto pixels (0..w, 0..h).
/// A clip, when given, is set on the painter first.
void paintCurve(const QwtPlotCurve& curve, QPaintDevice& device, bool antialiased,
                const QRect& clip = QRect()) {
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing, antialiased);
    if (!clip.isNull())
        painter.setClipRect(clip);
    QwtScaleMap xMap;
    xMap.setPaintInterval(0, device.width());
    xMap.setScaleInterval(0, device.width());
    QwtScaleMap yMap;
    yMap.setPaintInterval(0, device.height());
    yMap.setScaleInterval(0, device.height());
    curve.drawSeries(&painter, xMap, yMap, QRectF(0, 0, device.width(), device.height()), 0,
                     static_cast<int>(curve.dataSize()) - 1);
}

// The plain dots are blended into the device's pixels on several threads;
// the picture must be the one QwtPlotCurve paints, pixel for pixel, on
// images of either 32-bit format and on pixmaps, with and without
// antialiasing, for any number of threads.
TEST(PlainDotCurve, BlendedDotsGiveTheQwtPicture) {
    ensureApplication();
    struct Case {
        int width;
        int height;
        int device; // 0: RGB32 image, 1: premultiplied ARGB image, 2: pixmap
        bool antialiased;
        QRect clip; // as the plot canvas clips its painter; null: none
    };
    const Case cases[] = {
        {640, 480, 0, true, QRect()},
        {517, 271, 1, true, QRect()},
        {300, 700, 2, true, QRect()},
        {640, 480, 0, false, QRect()},
        {96, 12, 1, true, QRect()},
        {1001, 333, 2, false, QRect()},
        {640, 480, 2, true, QRect(1, 1, 638, 478)},
        {517, 271, 0, true, QRect(40, 30, 300, 200)},
    };
    std::mt19937 rng(9u);
    std::normal_distribution<double> unit(0.0, 1.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " device " << c.device
                                          << " antialiased " << c.antialiased);
        // A dense cloud, runs of equal points (weeded out), dots on and past
        // the edges, fractional places and one NaN.
        QVector<QPointF> points;
        for (int i = 0; i < 40000; ++i) {
            points.append(
                QPointF(c.width * (0.5 + 0.2 * unit(rng)), c.height * (0.5 + 0.15 * unit(rng))));
            if (i % 97 == 0)
                points.append(points.back());
        }
        for (int i = 0; i < 300; ++i) {
            points.append(QPointF(-3.0 + i % 7 + 0.5, c.height * i / 300.0));
            points.append(QPointF(c.width * i / 300.0, c.height + 3.0 - i % 7));
        }
        points.append(QPointF(std::nan(""), 10.0));

        QwtPlotCurve reference;
        setUpPlainDots(reference, points);
        PlainDotCurve blended;
        setUpPlainDots(blended, points);

        const auto blank = [&] {
            QImage image(c.width, c.height,
                         c.device == 0 ? QImage::Format_RGB32
                                       : QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor(250, 250, 240));
            return image;
        };
        const auto paint = [&](const QwtPlotCurve& curve) {
            if (c.device == 2) {
                QPixmap pixmap = QPixmap::fromImage(blank());
                paintCurve(curve, pixmap, c.antialiased, c.clip);
                return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            }
            QImage image = blank();
            paintCurve(curve, image, c.antialiased, c.clip);
            return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        const QImage expected = paint(reference);
        for (const int threads : {1, 2, 3, 8, 0}) {
            SCOPED_TRACE(::testing::Message() << threads << " threads");
            blended.setPaintThreads(threads);
            const QImage got = paint(blended);
            EXPECT_EQ(maxChannelDifference(got, expected), 0);
            EXPECT_TRUE(got == expected);
        }
    }
}

TEST(RoundSpectroCurve, DotsAreRoundFilledAndUnoutlined) {
    ensureApplication();
    RoundSpectroCurve curve;
    curve.setPenWidth(6.0);
    curve.setColorMap(createColorMap(5));
    curve.setColorRange(QwtInterval(0.0, 1.0));
    curve.setSamples(QVector<QwtPoint3D>{QwtPoint3D(10, 10, 0.0)});
    QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    paintDots(curve, image, 0, 0);
    // Black disc of diameter 6 centred on the pixel corner (10, 10).
    EXPECT_EQ(image.pixel(9, 9), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(8, 9), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(13, 10), qRgb(255, 255, 255)); // outside the radius
    const QRgb corner = image.pixel(7, 7);               // the corner of the box is cut
    EXPECT_GT(qRed(corner), 100);

    // Without a colour map nothing is drawn.
    RoundSpectroCurve bare;
    bare.setColorMap(nullptr);
    bare.setSamples(QVector<QwtPoint3D>{QwtPoint3D(10, 10, 0.0)});
    QImage blank(20, 20, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::white);
    paintDots(bare, blank, 0, 0);
    EXPECT_EQ(blank.pixel(10, 10), qRgb(255, 255, 255));
}

} // namespace
} // namespace Quorvex3
