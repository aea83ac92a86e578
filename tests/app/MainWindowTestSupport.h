#pragma once

// Shared set-up of the main window's test programs: a private home for the
// settings, the application object with the program's names, and helpers to
// find the window's parts.

#include "AppTestSupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QStringList>

namespace Quorvex3 {
namespace test {

/// Spins the event loop until `done` holds or `ms` milliseconds have passed
/// (a bound against hanging, not a measurement).
template <typename Predicate> bool waitUntil(Predicate done, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

/// Creates the application object (with the program's names, so the default
/// QSettings are the program's) after pointing HOME and the XDG directories
/// at a private directory. Register it once per test program with
/// ::testing::AddGlobalTestEnvironment.
void installMainWindowTestApplication();

/// Removes every stored setting, on disk too.
void clearSettings();

/// The text of the program's settings file as it is on disk; empty when
/// there is none.
QString settingsFileText();

/// The menu of the window's menu bar with that title (with "&"), or null.
QMenu* menuNamed(QMainWindow& window, const QString& title);

/// The action of `menu` with that text (with "&"), or null.
QAction* actionNamed(QMenu* menu, const QString& text);

/// The dock of the window with that title, or null.
QDockWidget* dockNamed(QMainWindow& window, const QString& title);

/// Lets queued events and zero-delay timers run for `ms` milliseconds.
void processEventsFor(int ms);

} // namespace test
} // namespace Quorvex3
