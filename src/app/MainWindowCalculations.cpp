// Derived-feature computations: the background task protocol shared by
// every compute action, and the actions of the calculations dock.
//
// The computations themselves are not available in this build yet; their
// actions say so.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"

#include <QDebug>
#include <QProgressBar>
#include <QThreadPool>
#include <QtConcurrent>

#include <exception>
#include <utility>

namespace Quorvex3 {

void MainWindow::startCalcTask(std::function<void()> work, std::function<void()> done) {
    if (m_calcBusy)
        return;
    m_calcBusy = true;
    m_calcFinish = std::move(done);

    QProgressBar* progress = m_calculationsWidget->progressBar();
    progress->setValue(0);
    progress->setFormat(QStringLiteral("%p%"));
    progress->show();
    // An exception would be stored in the future and thrown again by
    // whoever waits for it (the destructor among them): stop it here.
    m_calcWatcher->setFuture(
        QtConcurrent::run(QThreadPool::globalInstance(), [work = std::move(work)] {
            try {
                work();
            } catch (const std::exception& e) {
                qCritical().noquote() << "Calculation failed:" << QString::fromUtf8(e.what());
            } catch (...) {
                qCritical("Calculation failed with a non-standard exception");
            }
        }));
}

void MainWindow::onCalcFinished() {
    m_calculationsWidget->progressBar()->hide();
    m_calcBusy = false;
    if (!m_calcFinish)
        return;
    // The finish step may start the next task, which sets a new one.
    std::function<void()> finish = std::move(m_calcFinish);
    m_calcFinish = nullptr;
    finish();
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
