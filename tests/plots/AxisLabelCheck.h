#pragma once

// Whether tick labels run into each other, judged by the rectangles the axes
// themselves draw their labels in.

#include "plots/AxisTickFit.h"

#include <qwt_plot.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

#include <QLocale>

namespace Quorvex3::testing {

/// The labels the axis draws, in order along it.
inline QList<double> drawnLabels(const QwtPlot& plot, int axis) {
    const QwtScaleWidget* widget = plot.axisWidget(axis);
    const auto* draw = dynamic_cast<const SpacedLabelScaleDraw*>(widget->scaleDraw());
    return draw ? draw->shownLabels(widget->font()) : QList<double>();
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
