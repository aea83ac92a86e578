#include "stats/RocPlot.h"

#include <QBrush>
#include <QFont>
#include <QPen>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_marker.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

namespace Quorvex3 {

namespace {

const QColor kCurveColour(70, 130, 180);
const QColor kGuideColour(160, 160, 164);
const QColor kOptimumColour(128, 0, 0);

QVector<QPointF> curvePoints(const ROCResult& result) {
    QVector<QPointF> points;
    for (std::size_t i = 0; i < result.fpr.size() && i < result.tpr.size(); ++i)
        points.append(QPointF(result.fpr[i], result.tpr[i]));
    return points;
}

QwtPlotMarker* labelMarker(const QString& text, int pointSize, const QColor& colour,
                           const RocLabelPlacement& placement) {
    QwtText label(text, QwtText::PlainText);
    label.setFont(QFont(QStringLiteral("Sans"), pointSize));
    label.setColor(colour);
    auto* marker = new QwtPlotMarker();
    marker->setLabel(label);
    marker->setValue(placement.position);
    marker->setLabelAlignment(placement.alignment);
    marker->setZ(25);
    return marker;
}

void addCurves(QwtPlot* plot, const ROCResult& result) {
    auto* diagonal = new QwtPlotCurve();
    diagonal->setPen(QPen(kGuideColour, 1, Qt::DashLine));
    diagonal->setSamples(QVector<QPointF>{{0.0, 0.0}, {1.0, 1.0}});
    diagonal->setItemAttribute(QwtPlotItem::Legend, false);
    diagonal->attach(plot);

    const QVector<QPointF> points = curvePoints(result);
    auto* area = new QwtPlotCurve();
    area->setPen(QPen(Qt::NoPen));
    QColor fill = kCurveColour;
    fill.setAlpha(30);
    area->setBrush(fill);
    area->setBaseline(0.0);
    area->setSamples(points);
    area->setItemAttribute(QwtPlotItem::Legend, false);
    area->attach(plot);

    auto* curve = new QwtPlotCurve();
    curve->setPen(QPen(kCurveColour, 2, Qt::SolidLine));
    curve->setSamples(points);
    curve->setZ(10);
    curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    curve->setItemAttribute(QwtPlotItem::Legend, false);
    curve->attach(plot);
}

void addLabels(QwtPlot* plot, const ROCResult& result) {
    labelMarker(QStringLiteral("AUC = %1").arg(result.auc, 0, 'f', 3), 11, kCurveColour,
                rocAucLabelPlacement(result.auc))
        ->attach(plot);

    const QPointF optimum(1.0 - result.specificity, result.sensitivity);
    auto* point = new QwtPlotCurve();
    point->setStyle(QwtPlotCurve::NoCurve);
    point->setSymbol(new QwtSymbol(QwtSymbol::Diamond, QBrush(QColor(255, 0, 0)),
                                   QPen(kOptimumColour, 1), QSize(10, 10)));
    point->setSamples(QVector<QPointF>{optimum});
    point->setZ(20);
    point->setItemAttribute(QwtPlotItem::Legend, false);
    point->attach(plot);

    labelMarker(rocThresholdLabelText(result), 8, kOptimumColour,
                {optimum, rocThresholdLabelAlignment(optimum.x(), optimum.y())})
        ->attach(plot);
}

} // namespace

RocLabelPlacement rocAucLabelPlacement(double auc) {
    if (auc >= 0.5)
        return {QPointF(0.55, 0.15), Qt::AlignLeft | Qt::AlignTop};
    return {QPointF(0.45, 0.85), Qt::AlignRight | Qt::AlignBottom};
}

Qt::Alignment rocThresholdLabelAlignment(double x, double y) {
    return (x < 0.5 ? Qt::AlignRight : Qt::AlignLeft) | (y < 0.5 ? Qt::AlignTop : Qt::AlignBottom);
}

QString rocThresholdLabelText(const ROCResult& result) {
    return QStringLiteral("Threshold %1 %2\nSens = %3, Spec = %4")
        .arg(result.higherIsPositive ? QStringLiteral(">") : QStringLiteral("<"),
             QString::number(result.optimalThreshold, 'g', 4),
             QString::number(result.sensitivity, 'f', 3),
             QString::number(result.specificity, 'f', 3));
}

std::vector<PlotPointInfo> rocHoverPoints(const ROCResult& result) {
    std::vector<PlotPointInfo> points;
    for (std::size_t i = 0; i < result.fpr.size() && i < result.tpr.size(); ++i) {
        const QString threshold = i < result.thresholds.size()
                                      ? QString::number(result.thresholds[i], 'g', 4)
                                      : QString();
        points.push_back({result.fpr[i], result.tpr[i],
                          QStringLiteral("FPR=%1, TPR=%2\nThreshold=%3")
                              .arg(QString::number(result.fpr[i], 'f', 3),
                                   QString::number(result.tpr[i], 'f', 3), threshold)});
    }
    return points;
}

QwtPlot* buildRocPlot(const QString& title, const ROCResult& result) {
    auto* plot = new QwtPlot();
    plot->setCanvasBackground(Qt::white);
    plot->setMinimumSize(320, 320);
    plot->setTitle(QwtText(title, QwtText::PlainText));
    plot->setAxisScale(QwtPlot::xBottom, 0.0, 1.0);
    plot->setAxisScale(QwtPlot::yLeft, 0.0, 1.0);
    plot->setAxisTitle(QwtPlot::xBottom, QStringLiteral("False Positive Rate (1 - Specificity)"));
    plot->setAxisTitle(QwtPlot::yLeft, QStringLiteral("True Positive Rate (Sensitivity)"));
    // Room between the frame and the scales' ends, so that a curve along FPR
    // 0 or TPR 1 and an optimum in a corner are not drawn on the frame.
    plot->plotLayout()->setCanvasMargin(8);

    auto* grid = new QwtPlotGrid();
    grid->setPen(QPen(kGuideColour, 0, Qt::DotLine));
    grid->attach(plot);
    addCurves(plot, result);
    addLabels(plot, result);
    new PlotPointTooltip(plot, rocHoverPoints(result));
    plot->replot();
    return plot;
}

} // namespace Quorvex3
