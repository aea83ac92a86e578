#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <vector>

class QwtPlot;

namespace Quorvex3 {

/// One hoverable point of a statistics plot, in plot coordinates.
struct PlotPointInfo {
    double x = 0.0;
    double y = 0.0;
    QString label;
};

/// Shows "<label>\n(<y>)" while the mouse is within 12 pixels of a recorded
/// point of the plot's canvas. A child of the plot; it dies with it.
class PlotPointTooltip : public QObject {
    Q_OBJECT

public:
    /// Watches the plot's canvas and switches its mouse tracking on, so moves
    /// without a pressed button arrive.
    PlotPointTooltip(QwtPlot* plot, std::vector<PlotPointInfo> points);

    const std::vector<PlotPointInfo>& points() const { return m_points; }

    /// Index of the nearest point closer than 12 pixels to `canvasPos` (the
    /// first of equally near ones), or -1.
    int nearestPoint(const QPoint& canvasPos) const;

    /// The tooltip text of point `index`.
    QString textOf(int index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QwtPlot* m_plot;
    std::vector<PlotPointInfo> m_points;
};

} // namespace Quorvex3
