#pragma once

#include <qwt_scale_draw.h>

#include <QList>

class QFont;
class QwtPlot;

namespace Quorvex3 {

/// Major ticks an axis starts from before it thins them (Qwt's default).
constexpr int kPreferredMajorTicks = 8;

/// Thins the major ticks of one axis until no two of its tick labels overlap
/// (or touch within a small gap) at the axis's current length, starting
/// from `preferred` ticks: wide labels ("10,000", "2e+07") on a short axis get
/// fewer ticks instead of running into each other. Recomputes the plot's
/// scale divisions (QwtPlot::updateAxes); replot afterwards. An axis not laid
/// out yet keeps `preferred`.
void fitMajorTicks(QwtPlot& plot, int axis, int preferred = kPreferredMajorTicks);

/// Whether the major tick labels of the axis, as its scale draw writes them
/// at their tick positions, keep at least `gap` pixels between neighbours.
bool majorTickLabelsApart(const QwtPlot& plot, int axis, double gap);

/// Axis labels that never run into each other: along the axis, a major
/// tick's label is drawn only when it keeps a gap to the last label drawn
/// (its tick is drawn in any case). Scales whose ticks do not thin with the
/// number of steps asked for (pseudo-log decades, a zoom onto few pixels)
/// still show readable labels.
class SpacedLabelScaleDraw : public QwtScaleDraw {
public:
    /// The major tick values whose labels are drawn with `font`, in order
    /// along the axis.
    QList<double> shownLabels(const QFont& font) const;

    void draw(QPainter* painter, const QPalette& palette) const override;

protected:
    void drawLabel(QPainter* painter, double value) const override;

private:
    mutable QList<double> m_shown;
};

/// Gives the axis a SpacedLabelScaleDraw.
void useSpacedLabels(QwtPlot& plot, int axis);

} // namespace Quorvex3
