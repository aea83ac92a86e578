// The group comparison run: summaries per dataset, replicate aggregation,
// tests with their correction, the results table and the group plots.
#include "stats/StatisticalEvalWindow.h"

#include "stats/DatasetSummary.h"
#include "util/DialogProvider.h"

#include <qwt_plot.h>

namespace Quorvex3 {

void StatisticalEvalWindow::onRunAnalysis() {
    DialogProvider::current().information(this, QStringLiteral("Analysis"),
                                          QStringLiteral("This function is not available yet."),
                                          QMessageBox::Ok);
}

std::optional<double> StatisticalEvalWindow::computeDatasetSummary(int, const std::string&) const {
    return std::nullopt;
}

QString StatisticalEvalWindow::significanceStars(double p, double alpha) {
    return QString::fromStdString(Quorvex3::significanceStars(p, alpha));
}

QwtPlot* StatisticalEvalWindow::buildGroupPlot(const std::string&, const std::vector<QString>&,
                                               const std::vector<QColor>&,
                                               const std::vector<std::vector<double>>&,
                                               const std::vector<std::vector<QString>>&,
                                               const PlotPairedData*,
                                               const std::vector<PlotSigBar>&) const {
    return nullptr;
}

void StatisticalEvalWindow::clearPlots() {}

void StatisticalEvalWindow::setResultCell(int, int, const QString&, bool) {}

} // namespace Quorvex3
