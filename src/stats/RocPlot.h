#pragma once

#include "stats/GroupComparisonPlot.h" // PlotPointInfo, PlotPointTooltip
#include "stats/ROCAnalysis.h"

#include <QPointF>
#include <QString>
#include <Qt>

#include <vector>

class QwtPlot;

namespace Quorvex3 {

/// Where a label of the ROC plot stands and on which side of its point.
struct RocLabelPlacement {
    QPointF position;
    Qt::Alignment alignment;
};

/// The AUC label: at (0.55, 0.15), left and above, for an AUC of at least
/// 0.5; otherwise at (0.45, 0.85), right and below.
RocLabelPlacement rocAucLabelPlacement(double auc);

/// The threshold label beside the optimal point (x, y): right of it when x
/// is below 0.5, else left; above when y is below 0.5, else below, so that
/// it always points into the plot.
Qt::Alignment rocThresholdLabelAlignment(double x, double y);

/// "Threshold > t\nSens = s, Spec = p" ("<" for lower-is-positive).
QString rocThresholdLabelText(const ROCResult& result);

/// One hover text per curve point: "FPR=..., TPR=...\nThreshold=...".
std::vector<PlotPointInfo> rocHoverPoints(const ROCResult& result);

/// A new plot without parent of a valid result: the curve of FPR against
/// TPR with its shaded area, the chance diagonal, the AUC and the optimal
/// point with its threshold; hover texts on the curve points. The caller
/// owns it.
QwtPlot* buildRocPlot(const QString& title, const ROCResult& result);

} // namespace Quorvex3
