// The ROC run: samples of the two chosen categories, one curve per feature
// and the combined score, the ROC table and the ROC plots.
#include "stats/StatisticalEvalWindow.h"

#include "util/DialogProvider.h"

#include <qwt_plot.h>

namespace Quorvex3 {

void StatisticalEvalWindow::onRunROC() {
    DialogProvider::current().information(this, QStringLiteral("ROC Analysis"),
                                          QStringLiteral("This function is not available yet."),
                                          QMessageBox::Ok);
}

QwtPlot* StatisticalEvalWindow::buildROCPlot(const std::string&, const QString&,
                                             const ROCResult&) const {
    return nullptr;
}

void StatisticalEvalWindow::clearROCPlots() {}

void StatisticalEvalWindow::setRocTableCell(int, int, const QString&) {}

RocClassSamples StatisticalEvalWindow::collectCategoryRocSamples(int, const std::vector<std::string>&,
                                                                 bool, bool) const {
    return {};
}

} // namespace Quorvex3
