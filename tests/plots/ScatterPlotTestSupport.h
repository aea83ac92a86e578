#pragma once

#include "plots/ScatterPlot.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include <qwt_plot_curve.h>
#include <qwt_plot_item.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_plot_spectrocurve.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace Quorvex3::testing {

/// Owns the test program's one application object (offscreen platform). It
/// lives from the first test to the end of the run, and is destroyed before
/// the program's static objects are, which Qt requires.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "scatter_plot_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment());

/// The application object; tests call it first to make sure it exists.
inline QApplication& ensureApplication() {
    return *qApp;
}

/// A shown plot of a fixed size whose bottom and left axes span [0, 100].
inline void prepareFixedPlot(ScatterPlot& plot, int width = 800, int height = 600) {
    // Fixed axis extents and a canvas aligned to the scales keep the canvas
    // geometry (and so every pixel mapping) steady while ranges change.
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        plot.axisScaleDraw(axis)->setMinimumExtent(60);
        plot.axisWidget(axis)->setMinBorderDist(40, 40);
    }
    plot.plotLayout()->setAlignCanvasToScales(true);
    plot.resize(width, height);
    plot.show();
    QApplication::processEvents();
    plot.setAxisScale(QwtPlot::xBottom, 0.0, 100.0);
    plot.setAxisScale(QwtPlot::yLeft, 0.0, 100.0);
    plot.replot();
}

/// Canvas pixel of a data position (not rounded).
inline QPointF pixelOf(const ScatterPlot& plot, double x, double y) {
    return QPointF(plot.transform(QwtPlot::xBottom, x), plot.transform(QwtPlot::yLeft, y));
}

inline QPoint roundedPixelOf(const ScatterPlot& plot, double x, double y) {
    return pixelOf(plot, x, y).toPoint();
}

inline QPointF dataOf(const ScatterPlot& plot, const QPointF& pixel) {
    return QPointF(plot.invTransform(QwtPlot::xBottom, pixel.x()),
                   plot.invTransform(QwtPlot::yLeft, pixel.y()));
}

inline void sendMouse(QWidget* canvas, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, QPointF(pos), QPointF(canvas->mapToGlobal(pos)), button, buttons,
                      modifiers);
    QApplication::sendEvent(canvas, &event);
}

inline void press(QWidget* canvas, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    sendMouse(canvas, QEvent::MouseButtonPress, pos, button, button, modifiers);
}

inline void release(QWidget* canvas, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    sendMouse(canvas, QEvent::MouseButtonRelease, pos, button, Qt::NoButton, modifiers);
}

inline void click(QWidget* canvas, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton) {
    press(canvas, pos, button);
    release(canvas, pos, button);
}

/// A move with the given buttons held (none: a hover, seen thanks to mouse tracking).
inline void move(QWidget* canvas, const QPoint& pos, Qt::MouseButtons buttons = Qt::NoButton,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    sendMouse(canvas, QEvent::MouseMove, pos, Qt::NoButton, buttons, modifiers);
}

/// The event sequence a real double click produces: press, release, double
/// click (in place of the second press), release.
inline void doubleClick(QWidget* canvas, const QPoint& pos) {
    click(canvas, pos);
    sendMouse(canvas, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    release(canvas, pos);
}

inline void wheel(QWidget* canvas, const QPointF& pos, int angleDeltaY, int angleDeltaX = 0) {
    QWheelEvent event(pos, QPointF(canvas->mapToGlobal(pos.toPoint())), QPoint(),
                      QPoint(angleDeltaX, angleDeltaY), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &event);
}

/// Attached items of one run-time type, in the plot's drawing order.
template <typename Item> std::vector<Item*> itemsOf(const ScatterPlot& plot, int rtti) {
    std::vector<Item*> items;
    for (QwtPlotItem* item : plot.itemList(rtti))
        items.push_back(static_cast<Item*>(item));
    return items;
}

/// Curves with the given z value (the plot's layers are told apart by z).
inline std::vector<QwtPlotCurve*> curvesAtZ(const ScatterPlot& plot, double z) {
    std::vector<QwtPlotCurve*> result;
    for (QwtPlotCurve* curve : itemsOf<QwtPlotCurve>(plot, QwtPlotItem::Rtti_PlotCurve)) {
        if (curve->z() == z)
            result.push_back(curve);
    }
    return result;
}

inline QwtPlotSpectroCurve* spectroCurveOf(const ScatterPlot& plot) {
    const auto curves = itemsOf<QwtPlotSpectroCurve>(plot, QwtPlotItem::Rtti_PlotSpectroCurve);
    return curves.empty() ? nullptr : curves.front();
}

/// Number of samples of a spectro curve (Qwt 6.1 keeps its store in a
/// private base, reachable only through an explicit cast).
inline size_t sampleCount(const QwtPlotSpectroCurve* curve) {
    return ((const ::QwtSeriesStore<QwtPoint3D>*)curve)->dataSize();
}

} // namespace Quorvex3::testing

#include <qwt_symbol.h>

namespace Quorvex3::testing {

/// The symbol-only curve whose symbol has the given width (6: plain dots,
/// 12: the highlight, 8: the polygon drawing and editing curves).
inline std::vector<QwtPlotCurve*> curvesWithSymbolWidth(const ScatterPlot& plot, int width) {
    std::vector<QwtPlotCurve*> result;
    for (QwtPlotCurve* curve : itemsOf<QwtPlotCurve>(plot, QwtPlotItem::Rtti_PlotCurve)) {
        if (curve->symbol() && curve->symbol()->size().width() == width)
            result.push_back(curve);
    }
    return result;
}

} // namespace Quorvex3::testing
