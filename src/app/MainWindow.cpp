// The main window's life: construction, closing and destruction.
#include "app/MainWindow.h"

#include "app/ShellSettings.h"
#include "util/CalcTaskRunner.h"
#include "util/DialogProvider.h"
#include "util/WindowUtil.h"

#include <QCloseEvent>
#include <QDebug>
#include <QScreen>
#include <QTimer>

namespace Quorvex3 {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    m_preloadWatcher = new QFutureWatcher<PreloadOutcome>(this);
    m_plotRequests = std::make_unique<RequestCoalescer>(
        this, [this](RequestCoalescer::Parts parts) { runPlotRequests(parts); });

    setupUI();
    createCalcTaskRunner();
    setupMenuBar();
    setupConnections();

    setWindowTitle(QStringLiteral("Quorvex3 - RT-DC Data Analysis"));
    // 1400 x 900 where the screen has room; on a smaller screen (a 1280 x 720
    // laptop) the window opens inside its free area instead of past its edges.
    WindowUtil::resizeInsideScreen(this, QSize(1400, 900));
    setAcceptDrops(true);

    // The silent check starts once the event loop runs, while the splash
    // screen is still up.
    if (ShellSettings::checkUpdatesOnStartup())
        QTimer::singleShot(0, this, [this] { checkForUpdates(true); });
}

MainWindow::~MainWindow() {
    deleteToolWindows();
    waitForBackgroundTasks();
    // The child widgets outlive the members below; none of their signals
    // (a dock hidden while it is deleted, a view losing its current item)
    // may reach this half-destroyed window.
    const QList<QObject*> children = findChildren<QObject*>();
    for (QObject* child : children)
        disconnect(child, nullptr, this, nullptr);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!confirmQuit()) {
        event->ignore();
        return;
    }
    closeToolWindows();
    // A running calculation writes into the datasets' readers: the window
    // goes only once it has returned.
    if (m_calcRunner)
        m_calcRunner->waitForFinished();
    QMainWindow::closeEvent(event);
}

bool MainWindow::confirmQuit() {
    // Datasets with their filters, gates, groups and windows are an analysis
    // the program keeps nowhere else.
    if (datasets().empty())
        return true;
    const QMessageBox::StandardButton answer = DialogProvider::current().question(
        this, QStringLiteral("Exit"), QStringLiteral("Save the current session before quitting?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    switch (answer) {
    case QMessageBox::Save:
        return saveSession();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::waitForBackgroundTasks() {
    // The preload reads a dataset's reader and the calculation closures
    // write into dataset records: both must have returned before the
    // datasets go. A task that has not started yet still runs to its end.
    try {
        m_preloadWatcher->waitForFinished();
    } catch (...) {
        // A task that ended by an exception has ended: that is all that
        // matters here, and nothing may leave the destructor.
        qWarning("A background task ended with an exception while the main window closed");
    }
    if (m_calcRunner)
        m_calcRunner->waitForFinished();
    // A plot request still pending must not run on a window half gone.
    if (m_plotRequests)
        m_plotRequests->cancel();
}

RTDCReader* MainWindow::activeReader() const {
    const DatasetEntry* entry = activeDataset();
    return entry ? entry->reader.get() : nullptr;
}

} // namespace Quorvex3
