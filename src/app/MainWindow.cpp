// The main window's life: construction, closing and destruction.
#include "app/MainWindow.h"

#include "app/ShellSettings.h"
#include "util/WindowUtil.h"

#include <QCloseEvent>
#include <QDebug>
#include <QScreen>
#include <QTimer>

namespace Quorvex3 {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    m_preloadWatcher = new QFutureWatcher<std::vector<std::string>>(this);
    m_calcWatcher = new QFutureWatcher<void>(this);

    setupUI();
    setupMenuBar();
    setupConnections();

    setWindowTitle(QStringLiteral("Quorvex3 - RT-DC Data Analysis"));
    // 1400 x 900 where the screen has room; on a smaller screen (a 1280 x 720
    // laptop) the window opens inside its free area instead of past its edges.
    const QSize preferred(1400, 900);
    const QRect place = WindowUtil::fittedWindowGeometry(preferred, screen()->availableGeometry());
    resize(place.size());
    if (place.size() != preferred)
        move(place.topLeft());
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
    closeToolWindows();
    QMainWindow::closeEvent(event);
}

void MainWindow::waitForBackgroundTasks() {
    // The preload reads a dataset's reader and the calculation closures
    // write into dataset records: both must have returned before the
    // datasets go. A task that has not started yet still runs to its end.
    for (QFutureWatcherBase* watcher : {static_cast<QFutureWatcherBase*>(m_preloadWatcher),
                                        static_cast<QFutureWatcherBase*>(m_calcWatcher)}) {
        try {
            watcher->waitForFinished();
        } catch (...) {
            // A task that ended by an exception has ended: that is all that
            // matters here, and nothing may leave the destructor.
            qWarning("A background task ended with an exception while the main window closed");
        }
    }
}

RTDCReader* MainWindow::activeReader() const {
    const DatasetEntry* entry = activeDataset();
    return entry ? entry->reader.get() : nullptr;
}

} // namespace Quorvex3
