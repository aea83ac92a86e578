// The "&Export" menu: group and ROC tables, plots and curve data.
#include "stats/StatisticalEvalWindow.h"

#include "util/DialogProvider.h"

namespace Quorvex3 {

namespace {

void notAvailable(QWidget* parent) {
    DialogProvider::current().information(parent, QStringLiteral("Export"),
                                          QStringLiteral("This function is not available yet."),
                                          QMessageBox::Ok);
}

} // namespace

void StatisticalEvalWindow::exportPlots() { notAvailable(this); }

void StatisticalEvalWindow::exportTable() { notAvailable(this); }

void StatisticalEvalWindow::exportROCPlots() { notAvailable(this); }

void StatisticalEvalWindow::exportROCTable() { notAvailable(this); }

void StatisticalEvalWindow::exportROCData() { notAvailable(this); }

void StatisticalEvalWindow::exportDistributionPlots() { notAvailable(this); }

} // namespace Quorvex3
