#pragma once

// Whether tick labels run into each other, judged by the rectangles the axes
// themselves draw their labels in.

#include "plots/AxisTickFit.h"

#include <qwt_plot.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

#include <QLocale>

#include <algorithm>

namespace Quorvex3::testing {

/// The labels the axis draws (every major tick's, unless its scale draw
/// leaves some out), in order along the axis.
inline QList<double> drawnLabels(const QwtPlot& plot, int axis) {
    const QwtScaleWidget* widget = plot.axisWidget(axis);
    if (const auto* spaced = dynamic_cast<const SpacedLabelScaleDraw*>(widget->scaleDraw()))
        return spaced->shownLabels(widget->font());
    QList<double> ticks = widget->scaleDraw()->scaleDiv().ticks(QwtScaleDiv::MajorTick);
    const QwtScaleMap map = widget->scaleDraw()->scaleMap();
    std::sort(ticks.begin(), ticks.end(),
              [&map](double a, double b) { return map.transform(a) < map.transform(b); });
    return ticks;
}

/// Whether two neighbouring drawn tick labels of the axis overlap.
inline bool tickLabelsOverlap(const QwtPlot& plot, int axis) {
    const QwtScaleWidget* widget = plot.axisWidget(axis);
    const QwtScaleDraw* draw = widget->scaleDraw();
    const QList<double> labels = drawnLabels(plot, axis);
    for (int i = 1; i < labels.size(); ++i) {
        if (draw->boundingLabelRect(widget->font(), labels[i - 1])
                .intersects(draw->boundingLabelRect(widget->font(), labels[i])))
            return true;
    }
    return false;
}

/// Numbers written with group separators ("10,000") while it lives, as on
/// an English desktop.
class EnglishNumbers {
public:
    EnglishNumbers() : m_previous(QLocale()) {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    ~EnglishNumbers() { QLocale::setDefault(m_previous); }
    EnglishNumbers(const EnglishNumbers&) = delete;
    EnglishNumbers& operator=(const EnglishNumbers&) = delete;

private:
    QLocale m_previous;
};

} // namespace Quorvex3::testing
