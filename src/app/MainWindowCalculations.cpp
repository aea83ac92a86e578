// Derived-feature computations: the background task protocol shared by
// every compute action, and the actions of the calculations dock.
//
// The computations themselves are not available in this build yet; their
// actions say so.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "util/CalcTaskRunner.h"

#include <QProgressBar>

#include <utility>

namespace Quorvex3 {

void MainWindow::createCalcTaskRunner() {
    CalcTaskRunner::Hooks hooks;
    hooks.started = [this] {
        QProgressBar* progress = m_calculationsWidget->progressBar();
        progress->setValue(0);
        progress->setFormat(QStringLiteral("%p%"));
        progress->show();
    };
    hooks.progress = [this](int percent) {
        m_calculationsWidget->progressBar()->setValue(percent);
    };
    hooks.ended = [this] { onCalcFinished(); };
    m_calcRunner = std::make_unique<CalcTaskRunner>(std::move(hooks));
}

void MainWindow::startCalcTask(std::function<void()> work, std::function<void()> done) {
    m_calcRunner->start([work = std::move(work)](CalcTaskControl&) { work(); }, std::move(done));
}

void MainWindow::onCalcFinished() {
    // The runner runs the task's own finish step right after this.
    m_calculationsWidget->progressBar()->hide();
}

void MainWindow::onRefineFluorescence() {
    showNotAvailableYet(QStringLiteral("FL Refinement"));
}

void MainWindow::onCompensateCrosstalk() {
    showNotAvailableYet(QStringLiteral("Crosstalk Compensation"));
}

void MainWindow::onComputeEmodulus() {
    showNotAvailableYet(QStringLiteral("Young's Modulus"));
}

void MainWindow::onAssessEmodQuality() {
    showNotAvailableYet(QStringLiteral("Young's Modulus"));
}

void MainWindow::onComputeFourierDeform() {
    showNotAvailableYet(QStringLiteral("Fourier Deformation"));
}

void MainWindow::onComputeImageFeatures() {
    showNotAvailableYet(QStringLiteral("Image Features"));
}

void MainWindow::onComputeDimReduction() {
    showNotAvailableYet(QStringLiteral("Dimension Reduction"));
}

void MainWindow::onSaveDimRedReference() {
    showNotAvailableYet(QStringLiteral("Dimension Reduction"));
}

void MainWindow::onLoadDimRedReference() {
    showNotAvailableYet(QStringLiteral("Dimension Reduction"));
}

} // namespace Quorvex3
