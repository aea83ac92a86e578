#include "plots/PlotOverlayItems.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_plot_marker.h>
#include <qwt_text.h>

#include <QFont>
#include <QPen>
#include <QVector>

#include <utility>

namespace Quorvex3 {

namespace {

const QColor kIsolineColor(180, 180, 180);
const QColor kIsolineLabelColor(150, 150, 150);

template <typename Points> QVector<QPointF> toSamples(const Points& points) {
    QVector<QPointF> samples;
    samples.reserve(static_cast<int>(points.size()));
    for (const auto& p : points)
        samples.append(QPointF(p.first, p.second));
    return samples;
}

} // namespace

std::vector<QwtPlotCurve*> makeContourCurves(const std::vector<ContourLevel>& levels,
                                             const QColor& color, double width) {
    std::vector<QwtPlotCurve*> curves;
    for (size_t level = 0; level < levels.size(); ++level) {
        // The first level handed over is the innermost; dashing sets it apart.
        const QPen pen(color, width, level == 0 ? Qt::DashLine : Qt::SolidLine);
        for (const ContourPath& path : levels[level].paths) {
            if (path.size() < 2)
                continue;
            auto* curve = new QwtPlotCurve();
            curve->setStyle(QwtPlotCurve::Lines);
            curve->setPen(pen);
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->setZ(kContourCurveZ);
            curve->setSamples(toSamples(path));
            curves.push_back(curve);
        }
    }
    return curves;
}

IsolineItems makeIsolineItems(const std::vector<IsoLine>& lines, bool withLabels) {
    IsolineItems items;
    const QPen pen(kIsolineColor, 1.0, Qt::SolidLine);
    QFont font;
    font.setPointSize(8);
    for (const IsoLine& line : lines) {
        if (line.points.size() < 2)
            continue;
        const QVector<QPointF> points = toSamples(line.points);
        auto* curve = new QwtPlotCurve();
        curve->setStyle(QwtPlotCurve::Lines);
        curve->setPen(pen);
        curve->setItemAttribute(QwtPlotItem::Legend, false);
        curve->setItemAttribute(QwtPlotItem::AutoScale, false);
        curve->setZ(kIsolineCurveZ);
        curve->setSamples(points);
        items.curves.push_back(curve);
        if (!withLabels)
            continue;
        QwtText text(isolineLabelText(line.value), QwtText::PlainText);
        text.setFont(font);
        text.setColor(kIsolineLabelColor);
        auto* marker = new QwtPlotMarker();
        marker->setValue(points.last());
        marker->setLabel(text);
        marker->setLabelAlignment(Qt::AlignLeft | Qt::AlignBottom);
        marker->setItemAttribute(QwtPlotItem::Legend, false);
        marker->setItemAttribute(QwtPlotItem::AutoScale, false);
        marker->setZ(kIsolineLabelZ);
        items.labels.push_back(marker);
    }
    return items;
}

void placeIsolineLabelsInView(QwtPlot* plot) {
    std::vector<const QwtPlotCurve*> lines;
    std::vector<QwtPlotMarker*> labels;
    for (QwtPlotItem* item : plot->itemList()) {
        if (item->rtti() == QwtPlotItem::Rtti_PlotCurve && item->z() == kIsolineCurveZ)
            lines.push_back(static_cast<const QwtPlotCurve*>(item));
        else if (item->rtti() == QwtPlotItem::Rtti_PlotMarker && item->z() == kIsolineLabelZ)
            labels.push_back(static_cast<QwtPlotMarker*>(item));
    }
    if (lines.size() != labels.size())
        return;
    const QwtInterval x = plot->axisScaleDiv(QwtPlot::xBottom).interval().normalized();
    const QwtInterval y = plot->axisScaleDiv(QwtPlot::yLeft).interval().normalized();
    for (size_t k = 0; k < lines.size(); ++k) {
        for (int i = static_cast<int>(lines[k]->dataSize()) - 1; i >= 0; --i) {
            const QPointF p = lines[k]->sample(i);
            if (x.contains(p.x()) && y.contains(p.y())) {
                labels[k]->setValue(p);
                break;
            }
        }
    }
}

QString isolineLabelText(double modulusKPa) {
    const int decimals = modulusKPa >= 1.0 ? 1 : 2;
    return QString::number(modulusKPa, 'f', decimals) + QStringLiteral(" kPa");
}

void swapIsolineAxes(std::vector<IsoLine>& lines) {
    for (IsoLine& line : lines)
        for (auto& point : line.points)
            std::swap(point.first, point.second);
}

} // namespace Quorvex3
