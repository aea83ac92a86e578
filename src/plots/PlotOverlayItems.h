#pragma once

// Plot items drawn over the dots of a scatter plot that several plots share:
// density contour lines and lines of constant Young's modulus with their
// labels. The main scatter plot and the combined plots build them here, so
// both draw them alike.

#include "calc/IsoLine.h"
#include "density/DensityEstimator.h"

#include <QColor>
#include <QString>

#include <vector>

class QwtPlot;
class QwtPlotCurve;
class QwtPlotMarker;

namespace Quorvex3 {

/// Z value of contour curves: above the dots.
constexpr double kContourCurveZ = 40.0;
/// Z values of isolines and their labels: below everything else but the grid.
constexpr double kIsolineCurveZ = -10.0;
constexpr double kIsolineLabelZ = -9.0;

/// One curve per path of at least 2 points, in level order: pen of `color`
/// and `width`, the first level dashed (the innermost one asked for), the
/// others solid; no legend entry; z kContourCurveZ. The caller owns the
/// curves (attach them or delete them).
std::vector<QwtPlotCurve*> makeContourCurves(const std::vector<ContourLevel>& levels,
                                             const QColor& color, double width = 2.0);

/// Curves (and, when asked, labels) of iso-modulus lines, not yet attached.
struct IsolineItems {
    std::vector<QwtPlotCurve*> curves;
    std::vector<QwtPlotMarker*> labels;
};

/// One grey curve per line of at least 2 points (points taken as (x, y) as
/// given), not in the legend nor in automatic scaling, z kIsolineCurveZ;
/// with `withLabels` a marker at the line's last point with its modulus
/// (isolineLabelText), 8 pt, left and bottom aligned, z kIsolineLabelZ. The
/// caller owns the items.
IsolineItems makeIsolineItems(const std::vector<IsoLine>& lines, bool withLabels);

/// Moves each isoline label of `plot` to the last point of its line that
/// lies inside the current scales of the x-bottom and y-left axes, so that a
/// line running out of the view keeps its label in sight; a label whose line
/// has no point inside stays at the line's end. Curves and labels are those
/// of makeIsolineItems (told apart by their z values, paired in order); call
/// after QwtPlot::updateAxes and before the replot.
void placeIsolineLabelsInView(QwtPlot* plot);

/// "0.50 kPa", "2.0 kPa": two decimals below 1 kPa, one from 1 kPa on.
QString isolineLabelText(double modulusKPa);

/// Lines in a plot whose x axis is deformation and y axis area: each point
/// swapped.
void swapIsolineAxes(std::vector<IsoLine>& lines);

} // namespace Quorvex3
