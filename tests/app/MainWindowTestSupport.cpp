#include "MainWindowTestSupport.h"

#include "app/SafeApplication.h"
#include "app/Startup.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>

#include <memory>

namespace Quorvex3 {
namespace test {

namespace {

class MainWindowApplication : public ::testing::Environment {
public:
    void SetUp() override {
        isolateHomeDirectories();
        m_app = std::make_unique<SafeApplication>(applicationArgc(), applicationArgv());
        resetNumericLocale();
        setApplicationIdentity();
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<SafeApplication> m_app;
};

} // namespace

void installMainWindowTestApplication() {
    ::testing::AddGlobalTestEnvironment(new MainWindowApplication);
}

void clearSettings() {
    QSettings settings;
    settings.clear();
    settings.sync();
}

QString settingsFileText() {
    QFile file(QSettings().fileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QMenu* menuNamed(QMainWindow& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions())
        if (action->menu() && action->text() == title)
            return action->menu();
    return nullptr;
}

QAction* actionNamed(QMenu* menu, const QString& text) {
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

QDockWidget* dockNamed(QMainWindow& window, const QString& title) {
    for (QDockWidget* dock : window.findChildren<QDockWidget*>())
        if (dock->windowTitle() == title)
            return dock;
    return nullptr;
}

void processEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (clock.elapsed() < ms);
}

} // namespace test
} // namespace Quorvex3
