#include "app/Startup.h"

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QWidget>

#include <clocale>

// The resources are compiled into a static library; referencing their
// initialiser from here makes the linker keep them and registers them at
// program load, before main runs. Must sit outside any namespace.
static int registerApplicationResources() {
    Q_INIT_RESOURCE(resources);
    return 0;
}
[[maybe_unused]] static const int s_resourcesRegistered = registerApplicationResources();

namespace Quorvex3 {

void setApplicationIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Quorvex3"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.3.99"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvex3"));
}

void resetNumericLocale() {
    std::setlocale(LC_NUMERIC, "C");
}

void applyApplicationIcon() {
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(kWindowIconResource)));
}

QPalette buildApplicationPalette() {
    const QColor text(0x23, 0x26, 0x2e);
    const QColor accent(0x00, 0xab, 0xad);
    const QColor disabledText(0xa0, 0xa4, 0xaa);

    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0xf5, 0xf6, 0xf8));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf0, 0xf2, 0xf5));
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xff));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0xee, 0xf0, 0xf3));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(0xd2, 0x3c, 0x3c));
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0xff, 0xff, 0xff));
    palette.setColor(QPalette::Midlight, QColor(0xeb, 0xed, 0xf0));
    palette.setColor(QPalette::Mid, QColor(0xc8, 0xcb, 0xd0));
    palette.setColor(QPalette::Dark, disabledText);
    palette.setColor(QPalette::Shadow, QColor(0x78, 0x7c, 0x82));
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    return palette;
}

QString applicationStyleSheet() {
    QFile file(QString::fromLatin1(kStyleSheetResource));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void applyApplicationLook() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(buildApplicationPalette());
    qApp->setStyleSheet(applicationStyleSheet());
}

void showSplashScreen(QSplashScreen& splash) {
    splash.show();
    QCoreApplication::processEvents();
}

void showMainWindowAfterSplash(QSplashScreen& splash, QWidget& window, int delayMs) {
    // The window is the timer's context: should it be destroyed before the
    // timer fires, the action is dropped instead of touching freed objects.
    QTimer::singleShot(delayMs, Qt::PreciseTimer, &window, [&splash, &window] {
        splash.close();
        window.show();
    });
}

} // namespace Quorvex3
