// Program entry: process-wide services first (HDF5 error printing, writes
// beyond the file-size limit failing instead of ending the program, the log,
// the exception-guarding application object), then names and look, a splash
// screen while the main window is built, and the event loop.
#include "util/Logging.h"
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "core/EventFilter.h"
#include "util/ProcessSetup.h"

#include <H5Cpp.h>

#include <QDebug>
#include <QPixmap>
#include <QSplashScreen>
#include <QString>
#include <QtGlobal>

#include <cstdlib>
#include <exception>

namespace {

/// Everything after the application object exists, up to the end of the
/// event loop. Locals are destroyed in the order window, splash, pixmap.
int runApplication(Quorvex3::SafeApplication& app) {
    Quorvex3::setApplicationIdentity();
    Quorvex3::applyApplicationIcon();
    Quorvex3::applyApplicationLook();

    const QPixmap splashImage(QString::fromLatin1(Quorvex3::kSplashImageResource));
    QSplashScreen splash(splashImage);
    Quorvex3::showSplashScreen(splash);

    Quorvex3::MainWindow window(nullptr);
    // Queued: the error dialog opens from the event loop, after the failing
    // event delivery has been abandoned, never inside it.
    QObject::connect(&app, &Quorvex3::SafeApplication::unhandledException, &window,
                     &Quorvex3::MainWindow::onUnhandledException, Qt::QueuedConnection);
    Quorvex3::showMainWindowAfterSplash(splash, window);
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    H5::Exception::dontPrint();
    // Before the first file (the log) is written: under a file-size limit a
    // write beyond it must fail and be reported, not end the program.
    Quorvex3::ignoreFileSizeLimitSignal();
    Quorvex3::Logging::install();
    // Nothing catches what escapes start-up or the loop itself: it must
    // reach the log and end the program with a failure code, not silently.
    try {
        Quorvex3::SafeApplication app(argc, argv);
        Quorvex3::resetNumericLocale();
        // Filter rules travel through queued signals between docks and windows.
        Quorvex3::registerFilterMetaTypes();
        return runApplication(app);
    } catch (const H5::Exception& e) {
        qCritical().noquote() << "Unhandled HDF5 exception in main:"
                              << QString::fromUtf8(e.getFuncName().c_str()) + QStringLiteral(": ") +
                                     QString::fromUtf8(e.getDetailMsg().c_str());
    } catch (const std::exception& e) {
        qCritical().noquote() << "Unhandled exception in main:" << QString::fromUtf8(e.what());
    } catch (...) {
        qCritical("Unhandled non-standard exception in main");
    }
    return EXIT_FAILURE;
}
