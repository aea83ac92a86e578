#include "stats/PlotPointTooltip.h"

#include <QEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <qwt_plot.h>
#include <qwt_scale_map.h>

namespace Quorvex3 {

PlotPointTooltip::PlotPointTooltip(QwtPlot* plot, std::vector<PlotPointInfo> points)
    : QObject(plot), m_plot(plot), m_points(std::move(points)) {
    m_plot->canvas()->installEventFilter(this);
    m_plot->canvas()->setMouseTracking(true);
}

int PlotPointTooltip::nearestPoint(const QPoint& canvasPos) const {
    const QwtScaleMap xMap = m_plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = m_plot->canvasMap(QwtPlot::yLeft);
    int best = -1;
    double bestDistance = 144.0; // closer than 12 pixels
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        const double dx = xMap.transform(m_points[i].x) - canvasPos.x();
        const double dy = yMap.transform(m_points[i].y) - canvasPos.y();
        const double d = dx * dx + dy * dy;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

QString PlotPointTooltip::textOf(int index) const {
    const PlotPointInfo& point = m_points.at(static_cast<std::size_t>(index));
    return QStringLiteral("%1\n(%2)").arg(point.label, QString::number(point.y, 'g', 5));
}

bool PlotPointTooltip::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        const int nearest = nearestPoint(move->localPos().toPoint());
        QToolTip::showText(move->screenPos().toPoint(), nearest >= 0 ? textOf(nearest) : QString(),
                           m_plot->canvas());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Quorvex3
