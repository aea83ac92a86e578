// Entry point of widget tests that need an application object for their
// whole run.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Widgets need no display; this also covers ctest listing the cases.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
