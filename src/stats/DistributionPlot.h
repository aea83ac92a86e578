#pragma once

#include "stats/DistributionRun.h"

#include <QColor>
#include <QString>

#include <vector>

class QwtPlot;

namespace Quorvex3 {

/// How one sample or one category is drawn: its title and colour.
struct DistributionLook {
    QString name;
    QColor colour;
};

/// A new plot without parent of ready curves (status Ready): per dataset one
/// line per sample in its category's colour, or per category the mean curve
/// with its band of one standard deviation and a legend. `samples` holds the
/// looks of the curves' samples in the same order, `categories` those of the
/// categories by index. The caller owns the plot.
QwtPlot* buildDistributionPlot(const QString& title, const QString& xTitle,
                               const DistributionCurves& curves,
                               const std::vector<DistributionLook>& samples,
                               const std::vector<DistributionLook>& categories, bool perCategory);

} // namespace Quorvex3
