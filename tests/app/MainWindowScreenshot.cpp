// Development aid, not a test: builds the main window with the program's
// look, shows it and saves a picture of it to the path given as the only
// argument. Run it on a real display server (e.g. under xvfb-run) to see the
// window as a user would.
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::resetNumericLocale();
    Quorvex3::setApplicationIdentity();
    Quorvex3::applyApplicationIcon();
    Quorvex3::applyApplicationLook();

    Quorvex3::MainWindow window;
    window.show();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
