// The distribution explorer: density curves of the selected features per
// dataset or averaged per category.
#include "stats/StatisticalEvalWindow.h"

#include "util/DialogProvider.h"

#include <qwt_plot.h>

namespace Quorvex3 {

void StatisticalEvalWindow::onRunDistribution() {
    DialogProvider::current().information(this, QStringLiteral("Distribution Explorer"),
                                          QStringLiteral("This function is not available yet."),
                                          QMessageBox::Ok);
}

QwtPlot* StatisticalEvalWindow::buildDistributionPlot(const std::string&, const QString&,
                                                      bool) const {
    return nullptr;
}

void StatisticalEvalWindow::clearDistributionPlots() {}

} // namespace Quorvex3
