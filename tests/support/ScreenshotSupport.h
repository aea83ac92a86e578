#pragma once

// What every screenshot program (a development aid, run under xvfb-run)
// does around the window it shows: check its arguments, let the event loop
// run while the window settles, and save a picture of a widget. Header-only,
// so that programs of any widget library can use it; the program's look
// (application identity, icon, style) only where the app library is linked.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#if __has_include("app/Startup.h")
#include "app/Startup.h"
#endif

namespace Quorvex3::testing {

/// Points HOME and the XDG folders at a fresh temporary folder, so that a
/// picture never depends on, or writes into, the settings of whoever runs it.
/// Call before the QApplication exists.
inline void isolateUserFolders() {
    char pattern[] = "/tmp/quorvex3-screenshot-XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        return; // the real folders then; the picture is still taken
    const std::string base(root);
    // Removed again when the program ends.
    static const struct Remover {
        std::string path;
        ~Remover() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } remover{base};
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
}

/// Whether the program got between `least` and `most` arguments; prints
/// "usage: <program> <names>" otherwise (the caller then returns 2).
inline bool screenshotArguments(int argc, char** argv, int least, int most, const char* names) {
    if (argc - 1 >= least && argc - 1 <= most) {
        isolateUserFolders();
        return true;
    }
    std::fprintf(stderr, "usage: %s %s\n", argv[0], names);
    return false;
}

/// Delivers events for `ms` milliseconds.
inline void spinEvents(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

/// Delivers events until `done()` holds or `limitMs` passed; `done()` then.
template <typename Done> bool spinUntil(Done done, int limitMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

/// Delivers events until `window` (the main window) holds `count` datasets,
/// each with its features read; whether it came to that.
template <typename Window> bool spinUntilLoaded(const Window& window, std::size_t count) {
    return spinUntil([&window, count] {
        if (window.datasets().size() != count)
            return false;
        for (const auto& entry : window.datasets())
            if (!entry->featuresLoaded)
                return false;
        return true;
    });
}

/// Triggers the item `item` of the menu titled `menuTitle` ("&File") of
/// `window`'s menu bar, as a user's click on it would.
inline void triggerMenuItem(QMainWindow& window, const QString& menuTitle, const QString& item) {
    for (QMenu* menu : window.menuBar()->findChildren<QMenu*>())
        if (menu->title() == menuTitle)
            for (QAction* action : menu->actions())
                if (action->text() == item)
                    action->trigger();
}

/// Saves a picture of `widget` to `path`; says so on stderr when it could not.
inline bool saveGrab(QWidget& widget, const char* path) {
    if (widget.grab().save(QString::fromLocal8Bit(path)))
        return true;
    std::fprintf(stderr, "could not write %s\n", path);
    return false;
}

#if __has_include("app/Startup.h")
/// The program's own start-up settings, after the application object is
/// made: "C" numbers, its identity, icon and look.
inline void applyProgramLook() {
    resetNumericLocale();
    setApplicationIdentity();
    applyApplicationIcon();
    applyApplicationLook();
}
#endif

} // namespace Quorvex3::testing
