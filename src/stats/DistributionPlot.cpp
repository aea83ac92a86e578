#include "stats/DistributionPlot.h"

#include <QFontMetrics>
#include <QPen>
#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

namespace Quorvex3 {

namespace {

QColor withAlpha(QColor colour, int alpha) {
    colour.setAlpha(alpha);
    return colour;
}

QVector<QPointF> gridPoints(const std::vector<double>& x, const std::vector<double>& y) {
    QVector<QPointF> points;
    points.reserve(static_cast<int>(x.size()));
    for (std::size_t g = 0; g < x.size() && g < y.size(); ++g)
        points.append(QPointF(x[g], y[g]));
    return points;
}

/// A line over the grid, filled down to 0.
QwtPlotCurve* densityCurve(const QString& title, const QVector<QPointF>& points, const QPen& pen,
                           const QColor& fill) {
    auto* curve = new QwtPlotCurve(QwtText(title, QwtText::PlainText));
    curve->setPen(pen);
    curve->setBrush(fill);
    curve->setBaseline(0.0);
    curve->setSamples(points);
    // Smooth lines: unsmoothed, a translucent polyline of many short
    // segments looks dashed.
    curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    return curve;
}

void addPerDataset(QwtPlot* plot, const DistributionCurves& curves,
                   const std::vector<DistributionLook>& samples) {
    for (std::size_t s = 0; s < curves.densities.size() && s < samples.size(); ++s) {
        QPen pen(withAlpha(samples[s].colour, 180), 1.5, Qt::SolidLine);
        QwtPlotCurve* curve =
            densityCurve(samples[s].name, gridPoints(curves.x, curves.densities[s]), pen,
                         withAlpha(samples[s].colour, 25));
        curve->setItemAttribute(QwtPlotItem::Legend, false);
        curve->attach(plot);
    }
}

void addPerCategory(QwtPlot* plot, const DistributionCurves& curves,
                    const std::vector<DistributionLook>& categories) {
    for (std::size_t c = 0; c < curves.categories.size() && c < categories.size(); ++c) {
        const DensityAverage& average = curves.categories[c];
        if (average.mean.empty())
            continue;
        const QColor colour = categories[c].colour;
        if (!average.upper.empty()) {
            QVector<QPointF> outline;
            for (const auto& [x, y] : densityBandOutline(curves.x, average))
                outline.append(QPointF(x, y));
            auto* band = new QwtPlotCurve();
            band->setPen(QPen(Qt::NoPen));
            band->setBrush(withAlpha(colour, 40));
            band->setBaseline(0.0);
            band->setSamples(outline);
            band->setItemAttribute(QwtPlotItem::Legend, false);
            // Below every mean curve, so that no category's band veils
            // another category's line.
            band->setZ(9);
            band->attach(plot);
        }
        QwtPlotCurve* mean = densityCurve(categories[c].name, gridPoints(curves.x, average.mean),
                                          QPen(colour, 2, Qt::SolidLine), withAlpha(colour, 30));
        mean->setZ(10);
        // The legend shows the line in the category's colour, not the pale fill.
        mean->setLegendAttribute(QwtPlotCurve::LegendShowLine, true);
        mean->attach(plot);
    }
    plot->insertLegend(new QwtLegend(), QwtPlot::RightLegend);
}

} // namespace

QwtPlot* buildDistributionPlot(const QString& title, const QString& xTitle,
                               const DistributionCurves& curves,
                               const std::vector<DistributionLook>& samples,
                               const std::vector<DistributionLook>& categories, bool perCategory) {
    auto* plot = new QwtPlot();
    plot->setCanvasBackground(Qt::white);
    plot->setMinimumSize(400, 280);
    plot->setTitle(QwtText(title, QwtText::PlainText));
    auto* grid = new QwtPlotGrid();
    grid->setPen(QPen(Qt::gray, 0, Qt::DotLine));
    grid->attach(plot);
    plot->setAxisTitle(QwtPlot::xBottom, QwtText(xTitle, QwtText::PlainText));
    plot->setAxisTitle(QwtPlot::yLeft, QStringLiteral("Density"));

    // The grid already spans the values with a margin of 5 % of their range
    // on each side; the axis shows that span rather than rounding out to
    // whole steps (20 .. 112 would otherwise become 0 .. 120).
    if (!curves.x.empty())
        plot->setAxisScale(QwtPlot::xBottom, curves.x.front(), curves.x.back());
    if (perCategory)
        addPerCategory(plot, curves, categories);
    else
        addPerDataset(plot, curves, samples);

    const QFontMetrics metrics(plot->axisWidget(QwtPlot::xBottom)->font());
    plot->axisScaleDraw(QwtPlot::xBottom)->setMinimumExtent(metrics.height() + 10);
    plot->replot();
    return plot;
}

} // namespace Quorvex3
