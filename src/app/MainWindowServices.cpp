// Help, about, the update check, feedback and the error box of an exception
// that escaped an event handler.
#include "app/MainWindow.h"

#include "app/ShellSettings.h"
#include "services/AboutDialog.h"
#include "services/AppLocations.h"
#include "services/FeedbackSender.h"
#include "services/HelpWindow.h"
#include "services/SessionSummary.h"
#include "services/UpdateChecker.h"
#include "util/DialogProvider.h"

#include <QDesktopServices>
#include <QUrl>

namespace Quorvex3 {

// ---- help, about, updates, feedback ------------------------------------------------

void MainWindow::openManualAction() {
    const QString appDir = applicationDir();
    const QString manual = findManual(appDir);
    if (manual.isEmpty()) {
        DialogProvider::current().warning(
            this, QStringLiteral("Manual Not Found"),
            QStringLiteral("Could not find the help file (quorvex3.qch).\n\nSearched in:\n%1")
                .arg(manualCandidates(appDir).join(QLatin1Char('\n'))),
            QMessageBox::Ok);
        return;
    }
    auto* window = new HelpWindow(manual, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void MainWindow::showAboutAction() {
    AboutDialog dialog(this);
    DialogProvider::current().execDialog(dialog);
}

void MainWindow::checkForUpdatesAction() {
    checkForUpdates(false);
}

void MainWindow::checkForUpdates(bool silent) {
    if (!m_updateChecker) {
        m_updateChecker = new UpdateChecker(this);
        connect(m_updateChecker, &UpdateChecker::updateAvailable, this,
                &MainWindow::showUpdateAvailable);
        connect(m_updateChecker, &UpdateChecker::upToDate, this, &MainWindow::showUpToDate);
        connect(m_updateChecker, &UpdateChecker::checkFailed, this,
                &MainWindow::showUpdateCheckFailed);
    }
    m_updateCheckSilent = silent;
    m_updateChecker->check(silent);
}

void MainWindow::showUpdateAvailable(const QString& latest, const QString& url,
                                     const QString& notes, bool silent) {
    if (silent && ShellSettings::ignoredUpdateVersion() == latest)
        return;
    CustomMessageBox box;
    box.icon = QMessageBox::Information;
    box.title = QStringLiteral("Update Available");
    box.text =
        QStringLiteral("A newer version of Quorvex3 is available.\n\nInstalled: %1\nLatest: %2")
            .arg(UpdateChecker::currentVersion(), latest);
    if (!notes.isEmpty())
        box.text += QStringLiteral("\n\nWhat's new:\n%1").arg(notes);
    // The notes come from the server: shown as they are, never as markup.
    box.textFormat = Qt::PlainText;
    box.buttons = {{QStringLiteral("Open Downloads..."), QMessageBox::AcceptRole},
                   {QStringLiteral("Ignore This Version"), QMessageBox::ActionRole},
                   {QStringLiteral("Later"), QMessageBox::RejectRole}};
    const int choice = DialogProvider::current().messageBox(this, box);
    if (choice == 0)
        QDesktopServices::openUrl(QUrl(url));
    else if (choice == 1)
        ShellSettings::setIgnoredUpdateVersion(latest);
}

void MainWindow::showUpToDate(const QString& current) {
    DialogProvider::current().information(
        this, QStringLiteral("Check for Updates"),
        QStringLiteral("You are running the latest version of Quorvex3 (%1).").arg(current),
        QMessageBox::Ok);
}

void MainWindow::showUpdateCheckFailed(const QString& message) {
    DialogProvider::current().warning(
        this, QStringLiteral("Check for Updates"),
        QStringLiteral("Could not check for updates.\n\n%1").arg(message), QMessageBox::Ok);
}

void MainWindow::sendFeedbackAction() {
    sendFeedback(QString(), QString());
}

void MainWindow::sendFeedback(const QString& title, const QString& details) {
    if (!m_feedbackSender)
        m_feedbackSender = new FeedbackSender(this);
    m_feedbackSender->setPrivateTerms(datasetPrivateTerms(datasets()));
    m_feedbackSender->showDialogForError(UpdateChecker::currentVersion(), buildSessionSummary(),
                                         title, details, this);
}

QString MainWindow::buildSessionSummary() const {
    // Every filter change ends in a plot refresh, so the active dataset's
    // effective filter is the one the last refresh applied.
    const DatasetEntry* active = activeDataset();
    bool filterActive = false;
    if (active && active->featuresLoaded) {
        const EventFilter filter = buildEffectiveFilter(active);
        filterActive = filter.isEnabled() && filter.ruleCount() > 0;
    }
    return Quorvex3::buildSessionSummary(datasets(), filterActive);
}

void MainWindow::onUnhandledException(const QString& title, const QString& message) {
    // One box at a time: an exception escaping while it is open is not shown.
    if (m_errorBoxOpen)
        return;
    m_errorBoxOpen = true;
    CustomMessageBox box;
    box.icon = QMessageBox::Critical;
    box.title = title;
    box.text = QStringLiteral("An unexpected error occurred:\n\n%1\n\nYou can send a diagnostic "
                              "report to help us fix this.")
                   .arg(message);
    // An exception's text is data, not markup.
    box.textFormat = Qt::PlainText;
    box.buttons = {{QStringLiteral("Send Feedback..."), QMessageBox::AcceptRole},
                   {QStringLiteral("Close"), QMessageBox::RejectRole}};
    const int choice = DialogProvider::current().messageBox(this, box);
    m_errorBoxOpen = false;
    if (choice == 0)
        sendFeedback(title, message);
}

} // namespace Quorvex3
