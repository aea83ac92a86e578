// Development aid, not a test: builds the main window with the program's
// look, shows it and saves a picture of it to the path given as the only
// argument. Run it on a real display server (e.g. under xvfb-run) to see the
// window as a user would.
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "support/ScreenshotSupport.h"


int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 1, "<output.png>"))
        return 2;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();

    Quorvex3::MainWindow window;
    window.show();
    Quorvex3::testing::spinEvents(1000);
    return Quorvex3::testing::saveGrab(window, argv[1]) ? 0 : 1;
}
