#include "plots/PlotExportStyle.h"

#include <qwt_plot.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_draw.h>

#include <QFrame>

namespace Quorvex3 {

namespace {

constexpr int kAxisCount = QwtPlot::axisCnt;

int scaleComponentsOf(const QwtPlot* plot, int axis) {
    const QwtScaleDraw* draw = plot->axisScaleDraw(axis);
    int components = 0;
    for (const auto c : {QwtAbstractScaleDraw::Backbone, QwtAbstractScaleDraw::Ticks,
                         QwtAbstractScaleDraw::Labels}) {
        if (draw->hasComponent(c))
            components |= c;
    }
    return components;
}

void setScaleComponents(QwtPlot* plot, int axis, int components) {
    QwtScaleDraw* draw = plot->axisScaleDraw(axis);
    for (const auto c : {QwtAbstractScaleDraw::Backbone, QwtAbstractScaleDraw::Ticks,
                         QwtAbstractScaleDraw::Labels})
        draw->enableComponent(c, (components & c) != 0);
}

PlotExportStyle saveStyle(const QwtPlot* plot) {
    PlotExportStyle style;
    style.canvasBackground = plot->canvasBackground();
    style.palette = plot->palette();
    style.autoFillBackground = plot->autoFillBackground();
    if (const auto* frame = qobject_cast<const QFrame*>(plot->canvas()))
        style.canvasFrameStyle = frame->frameStyle();
    const QwtPlotLayout* layout = plot->plotLayout();
    for (int axis = 0; axis < kAxisCount; ++axis) {
        style.alignCanvasToScale[axis] = layout->alignCanvasToScale(axis);
        style.canvasMargin[axis] = layout->canvasMargin(axis);
        style.axisVisible[axis] = plot->axisEnabled(axis);
        style.scaleComponents[axis] = scaleComponentsOf(plot, axis);
    }
    return style;
}

} // namespace

PlotExportStyle applyExportStyle(QwtPlot* plot, bool replot) {
    const PlotExportStyle style = saveStyle(plot);

    plot->setCanvasBackground(QBrush(Qt::white));
    QPalette palette = plot->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::Window, QBrush(Qt::white));
    plot->setPalette(palette);
    plot->setAutoFillBackground(true);
    if (auto* frame = qobject_cast<QFrame*>(plot->canvas()))
        frame->setFrameStyle(QFrame::NoFrame);

    QwtPlotLayout* layout = plot->plotLayout();
    for (int axis = 0; axis < kAxisCount; ++axis) {
        layout->setAlignCanvasToScale(axis, true);
        layout->setCanvasMargin(0, axis);
    }
    // Hidden top and right axes come back as bare lines: a closed box.
    for (const int axis : {static_cast<int>(QwtPlot::xTop), static_cast<int>(QwtPlot::yRight)}) {
        if (style.axisVisible[axis])
            continue;
        QwtScaleDraw* draw = plot->axisScaleDraw(axis);
        draw->enableComponent(QwtAbstractScaleDraw::Ticks, false);
        draw->enableComponent(QwtAbstractScaleDraw::Labels, false);
        plot->enableAxis(axis, true);
    }
    if (replot)
        plot->replot();
    else
        plot->updateAxes();
    plot->updateGeometry();
    return style;
}

void restoreExportStyle(QwtPlot* plot, const PlotExportStyle& style, bool replot) {
    if (auto* frame = qobject_cast<QFrame*>(plot->canvas()))
        frame->setFrameStyle(style.canvasFrameStyle);
    plot->setCanvasBackground(style.canvasBackground);
    plot->setPalette(style.palette);
    plot->setAutoFillBackground(style.autoFillBackground);

    QwtPlotLayout* layout = plot->plotLayout();
    for (int axis = 0; axis < kAxisCount; ++axis) {
        layout->setAlignCanvasToScale(axis, style.alignCanvasToScale[axis]);
        layout->setCanvasMargin(style.canvasMargin[axis], axis);
        setScaleComponents(plot, axis, style.scaleComponents[axis]);
        plot->enableAxis(axis, style.axisVisible[axis]);
    }
    if (replot)
        plot->replot();
    else
        plot->updateAxes();
}

void configureExportRenderer(QwtPlotRenderer& renderer) {
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground, true);
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, true);
    renderer.setLayoutFlag(QwtPlotRenderer::FrameWithScales, true);
}

} // namespace Quorvex3
