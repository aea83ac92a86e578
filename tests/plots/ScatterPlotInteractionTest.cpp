#include "ScatterPlotTestSupport.h"
#include "plots/ScatterPlot.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>

#include <QKeyEvent>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Quorvex3 {
namespace {

using testing::click;
using testing::curvesAtZ;
using testing::dataOf;
using testing::doubleClick;
using testing::ensureApplication;
using testing::move;
using testing::press;
using testing::release;
using testing::roundedPixelOf;
using testing::sendMouse;
using testing::wheel;

/// Records the plot's signals in the order they arrive.
struct SignalLog {
    QStringList events;
    std::vector<QPolygonF> polygons;
    std::vector<int> indices;

    explicit SignalLog(ScatterPlot& plot) {
        QObject::connect(&plot, &ScatterPlot::pointClicked, [this](int i) {
            events << QString("clicked %1").arg(i);
            indices.push_back(i);
        });
        QObject::connect(&plot, &ScatterPlot::pointHovered, [this](int i) {
            events << QString("hovered %1").arg(i);
            indices.push_back(i);
        });
        QObject::connect(&plot, &ScatterPlot::polygonCompleted, [this](const QPolygonF& p) {
            events << "completed";
            polygons.push_back(p);
        });
        QObject::connect(&plot, &ScatterPlot::polygonDrawingStopped,
                         [this] { events << "drawingStopped"; });
        QObject::connect(&plot, &ScatterPlot::polygonEdited, [this](int id, const QPolygonF& p) {
            events << QString("edited %1").arg(id);
            polygons.push_back(p);
        });
        QObject::connect(&plot, &ScatterPlot::polygonEditingStopped,
                         [this](int id) { events << QString("editingStopped %1").arg(id); });
    }
};

class ScatterPlotInteraction : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        plot = std::make_unique<ScatterPlot>();
        plot->setData({20.0, 50.0, 80.0}, {20.0, 50.0, 30.0}, "x", "y", {}, "");
        testing::prepareFixedPlot(*plot);
        canvas = plot->canvas();
        log = std::make_unique<SignalLog>(*plot);
    }

    QwtInterval bounds(int axis) const { return plot->axisScaleDiv(axis).interval(); }
    QPoint at(double x, double y) const { return roundedPixelOf(*plot, x, y); }

    /// Sets both axes so that data equals canvas pixels exactly, for tests
    /// that need exact pixel distances.
    void makeDataEqualPixels() {
        for (int pass = 0; pass < 2; ++pass) {
            for (const int axis : {int(QwtPlot::xBottom), int(QwtPlot::yLeft)}) {
                const QwtScaleMap map = plot->canvasMap(axis);
                plot->setAxisScale(axis, map.p1(), map.p2());
            }
            plot->replot();
            QApplication::processEvents();
        }
        ASSERT_EQ(plot->transform(QwtPlot::xBottom, 123.0), 123.0);
        ASSERT_EQ(plot->transform(QwtPlot::yLeft, 321.0), 321.0);
    }
    QPointF dataAt(const QPoint& pixel) const { return dataOf(*plot, pixel); }
    QwtPlotCurve* drawCurve() const { return curvesAtZ(*plot, 100.0).front(); }
    QwtPlotCurve* editCurve() const { return curvesAtZ(*plot, 101.0).front(); }

    bool sendKey(int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        return plot->eventFilter(canvas, &event);
    }

    void expectPointNear(const QPointF& actual, const QPointF& expected, double tolerance = 1e-9) {
        EXPECT_NEAR(actual.x(), expected.x(), tolerance);
        EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    }

    std::unique_ptr<ScatterPlot> plot;
    QWidget* canvas = nullptr;
    std::unique_ptr<SignalLog> log;
    const QPolygonF square{
        QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(60, 60), QPointF(20, 60)}};
};

// ===== Wheel zoom ============================================================

TEST_F(ScatterPlotInteraction, WheelUpShrinksBothAxesAroundTheCursor) {
    // Qt delivers wheel positions in whole pixels.
    const QPoint cursor = at(30.0, 60.0);
    const QPointF c = dataAt(cursor);
    wheel(canvas, cursor, 120);
    // [c - 0.8 (c - lo), c + 0.8 (hi - c)] on each axis.
    EXPECT_NEAR(bounds(QwtPlot::xBottom).minValue(), c.x() - 0.8 * c.x(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).maxValue(), c.x() + 0.8 * (100.0 - c.x()), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).minValue(), c.y() - 0.8 * c.y(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).maxValue(), c.y() + 0.8 * (100.0 - c.y()), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).width(), 80.0, 1e-9);
    expectPointNear(dataAt(cursor), c);
}

TEST_F(ScatterPlotInteraction, WheelDownWidensBothAxesAroundTheCursor) {
    const QPoint cursor = at(40.0, 10.0);
    const QPointF c = dataAt(cursor);
    wheel(canvas, cursor, -120);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).minValue(), c.x() - 1.25 * c.x(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).maxValue(), c.x() + 1.25 * (100.0 - c.x()), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).minValue(), c.y() - 1.25 * c.y(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).maxValue(), c.y() + 1.25 * (100.0 - c.y()), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).width(), 125.0, 1e-9);
    expectPointNear(dataAt(cursor), c);
}

TEST_F(ScatterPlotInteraction, WheelZoomOnLogAxisKeepsTheCursorPointAndPositiveBounds) {
    plot->setScaleMode(QwtPlot::xBottom, 1);
    plot->setAxisScale(QwtPlot::xBottom, 1.0, 10000.0);
    plot->replot();
    const QPoint cursor = at(100.0, 50.0);
    const double c = dataAt(cursor).x();
    const double decade = std::log10(c);

    // In decades: [lc - 1.25 (lc - 0), lc + 1.25 (4 - lc)].
    wheel(canvas, cursor, -120);
    EXPECT_NEAR(std::log10(bounds(QwtPlot::xBottom).minValue()), decade - 1.25 * decade, 1e-9);
    EXPECT_NEAR(std::log10(bounds(QwtPlot::xBottom).maxValue()), decade + 1.25 * (4.0 - decade),
                1e-9);
    EXPECT_NEAR(dataAt(cursor).x(), c, c * 1e-9);

    wheel(canvas, cursor, 120);
    wheel(canvas, cursor, 120);
    // 1.25 then 0.8 twice: 0.8 of the first span on each side.
    EXPECT_NEAR(std::log10(bounds(QwtPlot::xBottom).minValue()), decade - 0.8 * decade, 1e-9);
    EXPECT_NEAR(std::log10(bounds(QwtPlot::xBottom).maxValue()), decade + 0.8 * (4.0 - decade),
                1e-9);
    EXPECT_NEAR(dataAt(cursor).x(), c, c * 1e-9);

    // Zooming out far from the low end never reaches zero (in data units the
    // first step from [1, 1e4] around 3000 would go below zero).
    const QPoint high = at(3000.0, 50.0);
    const double h = dataAt(high).x();
    for (int i = 0; i < 10; ++i)
        wheel(canvas, high, -120);
    EXPECT_GT(bounds(QwtPlot::xBottom).minValue(), 0.0);
    EXPECT_NEAR(dataAt(high).x(), h, h * 1e-9);
}

TEST_F(ScatterPlotInteraction, HorizontalOnlyWheelDoesNothing) {
    wheel(canvas, at(30.0, 60.0), 0, 120);
    EXPECT_EQ(bounds(QwtPlot::xBottom), QwtInterval(0.0, 100.0));
    EXPECT_EQ(bounds(QwtPlot::yLeft), QwtInterval(0.0, 100.0));
}

// ===== Rubber band, click, pan ===============================================

TEST_F(ScatterPlotInteraction, RubberBandZoomsToTheDraggedRectangle) {
    const QPoint origin(100, 100);
    const QPoint end(300, 250);
    const QPointF topLeft = dataAt(origin);
    const QPointF bottomRight = dataAt(end);
    press(canvas, origin);
    move(canvas, QPoint(200, 180), Qt::LeftButton);
    move(canvas, end, Qt::LeftButton);
    release(canvas, end);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).minValue(), topLeft.x(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).maxValue(), bottomRight.x(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).minValue(), bottomRight.y(), 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::yLeft).maxValue(), topLeft.y(), 1e-9);
    EXPECT_TRUE(log->events.isEmpty());
}

TEST_F(ScatterPlotInteraction, NarrowRubberBandIsAClick) {
    // 5 x 40 pixels (both ends counted) is a click where it is released.
    const QPoint origin = at(50.0, 50.0) - QPoint(2, 20);
    press(canvas, origin);
    move(canvas, origin + QPoint(4, 39), Qt::LeftButton);
    release(canvas, origin + QPoint(4, 39));
    EXPECT_EQ(bounds(QwtPlot::xBottom), QwtInterval(0.0, 100.0));
    EXPECT_EQ(log->events, QStringList{"clicked 1"});

    // One pixel wider zooms.
    press(canvas, origin);
    release(canvas, origin + QPoint(5, 39));
    EXPECT_NE(bounds(QwtPlot::xBottom), QwtInterval(0.0, 100.0));
    EXPECT_EQ(log->events.size(), 1);
}

TEST_F(ScatterPlotInteraction, ClickPicksTheNearestPointOnlyWhenClose) {
    click(canvas, at(79.0, 31.0));
    EXPECT_EQ(log->events, QStringList{"clicked 2"});
    click(canvas, at(35.0, 90.0)); // far from every point
    EXPECT_EQ(log->events.size(), 1);
}

TEST_F(ScatterPlotInteraction, NearestPointIsMeasuredAsShareOfThePlot) {
    // 4.9 % of the width away is near, 5.1 % is not.
    EXPECT_EQ(plot->findNearestPoint(QPointF(54.9, 50.0)), 1);
    EXPECT_EQ(plot->findNearestPoint(QPointF(55.1, 50.0)), -1);
    EXPECT_EQ(plot->findNearestPoint(QPointF(20.0, 23.0)), 0);
    plot->clearData();
    EXPECT_EQ(plot->findNearestPoint(QPointF(20.0, 20.0)), -1);
}

TEST_F(ScatterPlotInteraction, RightClickAndDoubleClickResetTheZoom) {
    click(canvas, QPoint(10, 10), Qt::RightButton);
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::xBottom));
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::yLeft));
    testing::prepareFixedPlot(*plot);
    ASSERT_FALSE(plot->axisAutoScale(QwtPlot::xBottom));
    doubleClick(canvas, QPoint(10, 10));
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::xBottom));
}

TEST_F(ScatterPlotInteraction, ShiftDragPansTheDataWithTheCursor) {
    const QPoint start(200, 300);
    const QPointF grabbed = dataAt(start);
    press(canvas, start, Qt::LeftButton, Qt::ShiftModifier);
    move(canvas, QPoint(260, 280), Qt::LeftButton, Qt::ShiftModifier);
    move(canvas, QPoint(300, 250), Qt::LeftButton, Qt::ShiftModifier);
    release(canvas, QPoint(300, 250), Qt::LeftButton, Qt::ShiftModifier);
    expectPointNear(dataAt(QPoint(300, 250)), grabbed, 1e-9);
    EXPECT_NEAR(bounds(QwtPlot::xBottom).width(), 100.0, 1e-9);
    EXPECT_TRUE(log->events.isEmpty());
}

TEST_F(ScatterPlotInteraction, ShiftDragOnLogAxisStaysPositive) {
    plot->setScaleMode(QwtPlot::xBottom, 1);
    plot->setAxisScale(QwtPlot::xBottom, 1.0, 100.0);
    plot->replot();
    const QPoint start(100, 300);
    const QPointF grabbed = dataAt(start);
    press(canvas, start, Qt::LeftButton, Qt::ShiftModifier);
    move(canvas, QPoint(700, 300), Qt::LeftButton, Qt::ShiftModifier);
    release(canvas, QPoint(700, 300), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_GT(bounds(QwtPlot::xBottom).minValue(), 0.0);
    EXPECT_NEAR(dataAt(QPoint(700, 300)).x(), grabbed.x(), grabbed.x() * 1e-9);
    // Two decades stay two decades.
    EXPECT_NEAR(
        std::log10(bounds(QwtPlot::xBottom).maxValue() / bounds(QwtPlot::xBottom).minValue()), 2.0,
        1e-9);
}

// ===== Polygon drawing =======================================================

TEST_F(ScatterPlotInteraction, ClicksAndDoubleClickDrawAPolygon) {
    plot->startPolygonDrawing();
    ASSERT_TRUE(plot->isDrawingPolygon());
    EXPECT_TRUE(drawCurve()->isVisible());
    const QPoint p1(100, 100), p2(400, 120), p3(380, 400), p4(120, 380);
    click(canvas, p1);
    click(canvas, p2);
    click(canvas, p3);
    EXPECT_EQ(drawCurve()->dataSize(), 3u); // open outline
    doubleClick(canvas, p4);

    EXPECT_EQ(log->events, (QStringList{"completed", "drawingStopped"}));
    ASSERT_EQ(log->polygons.size(), 1u);
    const QPolygonF& polygon = log->polygons.front();
    ASSERT_EQ(polygon.size(), 4); // the double click's own press adds the last vertex
    const QPoint pixels[] = {p1, p2, p3, p4};
    for (int i = 0; i < 4; ++i)
        expectPointNear(polygon[i], dataAt(pixels[i]));
    EXPECT_FALSE(plot->isDrawingPolygon());
    EXPECT_FALSE(drawCurve()->isVisible());
    EXPECT_EQ(drawCurve()->dataSize(), 0u);
    // The drawing clicks neither picked points nor zoomed.
    EXPECT_EQ(bounds(QwtPlot::xBottom), QwtInterval(0.0, 100.0));
}

TEST_F(ScatterPlotInteraction, DoubleClickWithTwoVerticesKeepsDrawing) {
    plot->startPolygonDrawing();
    click(canvas, QPoint(100, 100));
    doubleClick(canvas, QPoint(300, 100));
    EXPECT_TRUE(plot->isDrawingPolygon());
    EXPECT_TRUE(log->events.isEmpty());
    doubleClick(canvas, QPoint(200, 300));
    ASSERT_EQ(log->polygons.size(), 1u);
    EXPECT_EQ(log->polygons.front().size(), 3);
}

TEST_F(ScatterPlotInteraction, EscapeCancelsDrawing) {
    plot->startPolygonDrawing();
    click(canvas, QPoint(100, 100));
    click(canvas, QPoint(200, 100));
    EXPECT_TRUE(sendKey(Qt::Key_Escape));
    EXPECT_FALSE(plot->isDrawingPolygon());
    EXPECT_EQ(log->events, QStringList{"drawingStopped"});
    EXPECT_FALSE(drawCurve()->isVisible());
    // Cancelling again is a no-op.
    plot->cancelPolygonDrawing();
    EXPECT_EQ(log->events.size(), 1);
}

TEST_F(ScatterPlotInteraction, EscapeWhileIdleGoesOnToThePlot) {
    EXPECT_FALSE(sendKey(Qt::Key_Escape));
    EXPECT_TRUE(log->events.isEmpty());
}

TEST_F(ScatterPlotInteraction, HoverReportsNearestPointsOnlyWhileDrawingOrEditing) {
    move(canvas, at(50.0, 51.0));
    EXPECT_TRUE(log->events.isEmpty());

    plot->startPolygonDrawing();
    move(canvas, at(50.0, 51.0));
    move(canvas, at(51.0, 50.0)); // same nearest point: no repeat
    move(canvas, at(35.0, 90.0)); // nothing near
    move(canvas, at(80.0, 31.0));
    move(canvas, at(50.0, 49.0));
    EXPECT_EQ(log->events, (QStringList{"hovered 1", "hovered 2", "hovered 1"}));

    plot->cancelPolygonDrawing();
    plot->startPolygonEditing(4, square);
    log->events.clear();
    move(canvas, at(80.0, 29.0));
    EXPECT_EQ(log->events, QStringList{"hovered 2"});
}

// ===== Polygon editing =======================================================

TEST_F(ScatterPlotInteraction, DraggingAVertexMovesItAndReportsOnRelease) {
    plot->startPolygonEditing(7, square);
    ASSERT_TRUE(plot->isEditingPolygon());
    EXPECT_EQ(plot->editingPolygonId(), 7);
    EXPECT_EQ(editCurve()->dataSize(), 5u); // closed outline

    press(canvas, at(60.0, 20.0) + QPoint(3, -2));
    move(canvas, at(65.0, 15.0), Qt::LeftButton);
    move(canvas, at(70.0, 10.0), Qt::LeftButton);
    EXPECT_TRUE(log->events.isEmpty()); // nothing during the drag
    release(canvas, at(70.0, 10.0));

    EXPECT_EQ(log->events, QStringList{"edited 7"});
    const QPolygonF& edited = log->polygons.front();
    ASSERT_EQ(edited.size(), 4);
    expectPointNear(edited[1], dataAt(at(70.0, 10.0)));
    expectPointNear(edited[0], square[0]);
    expectPointNear(edited[2], square[2]);
    EXPECT_EQ(bounds(QwtPlot::xBottom), QwtInterval(0.0, 100.0));
}

TEST_F(ScatterPlotInteraction, PressOnAnEdgeInsertsAVertexThere) {
    plot->startPolygonEditing(7, square);
    const QPoint onEdge = at(40.0, 20.0) + QPoint(0, 5); // 5 pixels off edge 0
    press(canvas, onEdge);
    EXPECT_EQ(editCurve()->dataSize(), 6u);
    move(canvas, at(40.0, 5.0), Qt::LeftButton);
    release(canvas, at(40.0, 5.0));
    ASSERT_EQ(log->polygons.size(), 1u);
    const QPolygonF& edited = log->polygons.front();
    ASSERT_EQ(edited.size(), 5);
    expectPointNear(edited[1], dataAt(at(40.0, 5.0)));
    expectPointNear(edited[2], square[1]);

    // Far from every vertex and edge a press changes nothing.
    press(canvas, at(40.0, 40.0));
    release(canvas, at(40.0, 40.0));
    EXPECT_EQ(log->polygons.size(), 1u);
    EXPECT_EQ(editCurve()->dataSize(), 6u);
}

TEST_F(ScatterPlotInteraction, RightClickDeletesVerticesButKeepsATriangle) {
    plot->startPolygonEditing(7, square);
    click(canvas, at(60.0, 60.0), Qt::RightButton);
    ASSERT_EQ(log->events, QStringList{"edited 7"});
    ASSERT_EQ(log->polygons.front().size(), 3);
    expectPointNear(log->polygons.front()[2], square[3]);

    click(canvas, at(20.0, 20.0), Qt::RightButton);
    EXPECT_EQ(log->events.size(), 1);
    EXPECT_EQ(editCurve()->dataSize(), 4u);
    // The right click did not reset the zoom either.
    EXPECT_FALSE(plot->axisAutoScale(QwtPlot::xBottom));
}

TEST_F(ScatterPlotInteraction, NearerVertexWinsAndTheFirstOnTies) {
    makeDataEqualPixels();
    plot->startPolygonEditing(
        1, QPolygonF(QVector<QPointF>{QPointF(200, 300), QPointF(210, 300), QPointF(205, 100)}));
    EXPECT_EQ(plot->findNearestVertex(QPoint(207, 300)), 1);
    EXPECT_EQ(plot->findNearestVertex(QPoint(204, 300)), 0);
    EXPECT_EQ(plot->findNearestVertex(QPoint(205, 300)), 0);  // a tie: the first
    EXPECT_EQ(plot->findNearestVertex(QPoint(200, 312)), -1); // exactly 12 px away
    EXPECT_EQ(plot->findNearestVertex(QPoint(200, 311)), 0);

    // A press between the two grabs the nearer one.
    press(canvas, QPoint(208, 303));
    move(canvas, QPoint(208, 350), Qt::LeftButton);
    release(canvas, QPoint(208, 350));
    ASSERT_EQ(log->polygons.size(), 1u);
    EXPECT_EQ(log->polygons.front()[1], QPointF(208, 350));
    EXPECT_EQ(log->polygons.front()[0], QPointF(200, 300));
}

TEST_F(ScatterPlotInteraction, EdgesCountWithinEightPixelsOfTheirSpan) {
    makeDataEqualPixels();
    plot->startPolygonEditing(1, QPolygonF(QVector<QPointF>{QPointF(100, 100), QPointF(300, 100),
                                                            QPointF(300, 300), QPointF(100, 300)}));
    EXPECT_EQ(plot->findNearestEdge(QPoint(200, 107)), 0);
    EXPECT_EQ(plot->findNearestEdge(QPoint(200, 108)), -1); // exactly 8 px away
    EXPECT_EQ(plot->findNearestEdge(QPoint(100, 200)), 3);  // the closing edge
    EXPECT_EQ(plot->findNearestEdge(QPoint(350, 100)), -1); // beyond the end of edge 0
    plot->startPolygonEditing(2, QPolygonF(QVector<QPointF>{QPointF(100, 100)}));
    EXPECT_EQ(plot->findNearestEdge(QPoint(100, 100)), -1);
}

TEST_F(ScatterPlotInteraction, EscapeStopsEditingAndTheOverlayReturns) {
    plot->addPolygonOverlay(7, square, true);
    const auto shapes = testing::itemsOf<QwtPlotShapeItem>(*plot, QwtPlotItem::Rtti_PlotShape);
    ASSERT_EQ(shapes.size(), 1u);
    plot->startPolygonEditing(7, square);
    EXPECT_FALSE(shapes.front()->isVisible());
    EXPECT_TRUE(sendKey(Qt::Key_Escape));
    EXPECT_FALSE(plot->isEditingPolygon());
    EXPECT_EQ(plot->editingPolygonId(), -1);
    EXPECT_EQ(log->events, QStringList{"editingStopped 7"});
    EXPECT_TRUE(shapes.front()->isVisible());
    EXPECT_FALSE(editCurve()->isVisible());
}

TEST_F(ScatterPlotInteraction, ModesTakeOverFromEachOther) {
    plot->startPolygonEditing(1, square);
    plot->startPolygonEditing(2, square);
    EXPECT_EQ(log->events, QStringList{"editingStopped 1"});
    EXPECT_EQ(plot->editingPolygonId(), 2);

    plot->startPolygonDrawing();
    EXPECT_EQ(log->events, (QStringList{"editingStopped 1", "editingStopped 2"}));
    EXPECT_FALSE(plot->isEditingPolygon());

    plot->startPolygonEditing(3, square);
    EXPECT_EQ(log->events.last(), "drawingStopped");
    EXPECT_FALSE(plot->isDrawingPolygon());
    EXPECT_TRUE(plot->isEditingPolygon());
}

// Switching the edit from A to B: A's overlay returns at once, and when A's
// stop is reported the plot already edits B (listeners that redraw overlays
// or Edit toggles on that signal must see B as the polygon under edit).
TEST_F(ScatterPlotInteraction, EditingTakenOverShowsTheFormerPolygonAgain) {
    plot->addPolygonOverlay(1, square, true);
    plot->addPolygonOverlay(2, square, true);
    const auto shapes = testing::itemsOf<QwtPlotShapeItem>(*plot, QwtPlotItem::Rtti_PlotShape);
    ASSERT_EQ(shapes.size(), 2u);
    int editedWhenStopped = -1;
    QObject::connect(plot.get(), &ScatterPlot::polygonEditingStopped, plot.get(),
                     [&](int) { editedWhenStopped = plot->editingPolygonId(); });
    plot->startPolygonEditing(1, square);
    plot->startPolygonEditing(2, square);
    EXPECT_EQ(editedWhenStopped, 2);
    EXPECT_TRUE(shapes[0]->isVisible());
    EXPECT_FALSE(shapes[1]->isVisible());
}

TEST_F(ScatterPlotInteraction, DoubleClickWhileEditingDoesNothing) {
    plot->startPolygonEditing(1, square);
    sendMouse(canvas, QEvent::MouseButtonDblClick, at(40.0, 40.0), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(plot->isEditingPolygon());
    EXPECT_FALSE(plot->axisAutoScale(QwtPlot::xBottom));
    EXPECT_TRUE(log->events.isEmpty());
}

// ===== Overlays ==============================================================

TEST_F(ScatterPlotInteraction, OverlaysAreRedWhenEnabledAndGreyDashedWhenNot) {
    plot->addPolygonOverlay(0, square, true);
    plot->addPolygonOverlay(1000001, square, false);
    plot->addPolygonOverlay(0, square, false); // replaces the first
    auto shapes = testing::itemsOf<QwtPlotShapeItem>(*plot, QwtPlotItem::Rtti_PlotShape);
    ASSERT_EQ(shapes.size(), 2u);
    for (QwtPlotShapeItem* shape : shapes) {
        EXPECT_EQ(shape->pen().color(), QColor(160, 160, 160, 180));
        EXPECT_EQ(shape->pen().style(), Qt::DashLine);
        EXPECT_EQ(shape->brush().color(), QColor(160, 160, 160, 25));
        EXPECT_EQ(shape->z(), 50.0);
    }
    plot->addPolygonOverlay(3, square, true);
    shapes = testing::itemsOf<QwtPlotShapeItem>(*plot, QwtPlotItem::Rtti_PlotShape);
    ASSERT_EQ(shapes.size(), 3u);
    const QwtPlotShapeItem* enabled = shapes.back();
    EXPECT_EQ(enabled->pen().color(), QColor(255, 0, 0, 180));
    EXPECT_EQ(enabled->pen().widthF(), 2.0);
    EXPECT_EQ(enabled->pen().style(), Qt::SolidLine);
    EXPECT_EQ(enabled->brush().color(), QColor(255, 0, 0, 30));
    EXPECT_TRUE(enabled->shape().contains(QPointF(40.0, 40.0)));

    plot->removePolygonOverlay(1000001);
    plot->removePolygonOverlay(99);
    EXPECT_EQ(testing::itemsOf<QwtPlotShapeItem>(*plot, QwtPlotItem::Rtti_PlotShape).size(), 2u);
    plot->clearPolygonOverlays();
    EXPECT_TRUE(testing::itemsOf<QwtPlotShapeItem>(*plot, QwtPlotItem::Rtti_PlotShape).empty());
}

} // namespace
} // namespace Quorvex3
