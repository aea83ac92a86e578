#include "plots/AxisTickFit.h"

#include <qwt_plot.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

bool isHorizontal(int axis) {
    return axis == QwtPlot::xBottom || axis == QwtPlot::xTop;
}

/// Room kept between neighbouring labels: the width of one digit.
double labelGap(const QwtPlot& plot, int axis) {
    return QFontMetricsF(plot.axisWidget(axis)->font()).horizontalAdvance(QLatin1Char('0'));
}

} // namespace

bool majorTickLabelsApart(const QwtPlot& plot, int axis, double gap) {
    const QwtScaleDraw* draw = plot.axisScaleDraw(axis);
    if (!draw || !draw->hasComponent(QwtAbstractScaleDraw::Labels))
        return true;
    const QFont font = plot.axisWidget(axis)->font();
    const QwtScaleMap map = plot.canvasMap(axis);
    QList<double> ticks = plot.axisScaleDiv(axis).ticks(QwtScaleDiv::MajorTick);
    std::sort(ticks.begin(), ticks.end(),
              [&map](double a, double b) { return map.transform(a) < map.transform(b); });
    const bool horizontal = isHorizontal(axis);
    for (int i = 1; i < ticks.size(); ++i) {
        const double distance = std::abs(map.transform(ticks[i]) - map.transform(ticks[i - 1]));
        const QSizeF a = draw->labelSize(font, ticks[i - 1]);
        const QSizeF b = draw->labelSize(font, ticks[i]);
        const double needed =
            horizontal ? (a.width() + b.width()) / 2.0 : (a.height() + b.height()) / 2.0;
        if (distance < needed + gap)
            return false;
    }
    return true;
}

void fitMajorTicks(QwtPlot& plot, int axis, int preferred) {
    const QwtScaleMap map = plot.canvasMap(axis);
    const bool laidOut = std::abs(map.p2() - map.p1()) > 1.0;
    const double gap = labelGap(plot, axis);
    for (int ticks = preferred; ticks >= 1; --ticks) {
        if (plot.axisMaxMajor(axis) != ticks)
            plot.setAxisMaxMajor(axis, ticks);
        plot.updateAxes();
        if (!laidOut || majorTickLabelsApart(plot, axis, gap))
            return;
    }
}

QList<double> SpacedLabelScaleDraw::shownLabels(const QFont& font) const {
    QList<double> ticks = scaleDiv().ticks(QwtScaleDiv::MajorTick);
    const QwtScaleMap& map = scaleMap();
    std::sort(ticks.begin(), ticks.end(),
              [&map](double a, double b) { return map.transform(a) < map.transform(b); });
    const double gap = QFontMetricsF(font).horizontalAdvance(QLatin1Char(' '));
    QList<double> shown;
    QRectF last;
    for (const double value : ticks) {
        if (!scaleDiv().contains(value))
            continue;
        const QRectF rect = boundingLabelRect(font, value);
        if (!shown.isEmpty() && rect.intersects(last.adjusted(-gap, -gap, gap, gap)))
            continue;
        shown.append(value);
        last = rect;
    }
    return shown;
}

void SpacedLabelScaleDraw::draw(QPainter* painter, const QPalette& palette) const {
    m_shown = shownLabels(painter->font());
    QwtScaleDraw::draw(painter, palette);
}

void SpacedLabelScaleDraw::drawLabel(QPainter* painter, double value) const {
    if (m_shown.contains(value))
        QwtScaleDraw::drawLabel(painter, value);
}

void useSpacedLabels(QwtPlot& plot, int axis) {
    plot.setAxisScaleDraw(axis, new SpacedLabelScaleDraw());
}

} // namespace Quorvex3
