// Sessions, exports, help, about, the update check, feedback and the error
// box of an exception that escaped an event handler.
//
// Sessions, exports and the services are not available in this build yet:
// their menu actions say so, and the silent update check at start-up does
// nothing at all.
#include "app/MainWindow.h"

#include "util/DialogProvider.h"

namespace Quorvex3 {

void MainWindow::showNotAvailableYet(const QString& title) {
    DialogProvider::current().information(
        this, title, QStringLiteral("This function is not available yet."), QMessageBox::Ok);
}

// ---- sessions --------------------------------------------------------------------

void MainWindow::saveSession() {
    showNotAvailableYet(QStringLiteral("Save Session"));
}

void MainWindow::loadSession() {
    showNotAvailableYet(QStringLiteral("Load Session"));
}

void MainWindow::clearSession() {
    showNotAvailableYet(QStringLiteral("Clear Session"));
}

int MainWindow::addDatasetFromSession(const QString&) {
    return -1;
}

void MainWindow::createSessionDuplicates() {}

void MainWindow::finalizeSessionLoad() {
    m_sessionLoading = false;
}

// ---- exports ---------------------------------------------------------------------

// exportPlot and exportData: MainWindowExports.cpp.

void MainWindow::exportStatSummary() {
    showNotAvailableYet(QStringLiteral("Export Statistical Summary"));
}

// ---- help, about, updates, feedback ------------------------------------------------

void MainWindow::openManualAction() {
    showNotAvailableYet(QStringLiteral("Manual"));
}

void MainWindow::showAboutAction() {
    showNotAvailableYet(QStringLiteral("About Quorvex3"));
}

void MainWindow::checkForUpdatesAction() {
    checkForUpdates(false);
}

void MainWindow::checkForUpdates(bool silent) {
    // The silent check reports only news, and there is no feed to ask yet.
    if (silent)
        return;
    showNotAvailableYet(QStringLiteral("Check for Updates"));
}

void MainWindow::sendFeedbackAction() {
    showNotAvailableYet(QStringLiteral("Send Feedback"));
}

void MainWindow::onUnhandledException(const QString& title, const QString& message) {
    // One box at a time: an exception escaping while it is open is not shown.
    if (m_errorBoxOpen)
        return;
    m_errorBoxOpen = true;
    DialogProvider::current().critical(
        this, title, QStringLiteral("An unexpected error occurred:\n\n%1").arg(message),
        QMessageBox::Close);
    m_errorBoxOpen = false;
}

} // namespace Quorvex3
