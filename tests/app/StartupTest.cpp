// Start-up pieces of the program: names, numeric locale, style, palette,
// style sheet with its SVG images, icons and the splash-to-window hand-over.
#include "app/Startup.h"
#include "AppTestSupport.h"
#include "app/SafeApplication.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplashScreen>
#include <QStyle>

#include <clocale>
#include <cstdio>
#include <memory>
#include <string>

namespace Quorvex3 {
namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        test::isolateHomeDirectories();
        // A desktop locale, which Qt 5 adopts when the application object is made.
        qputenv("LC_ALL", "C.UTF-8");
        m_app = std::make_unique<SafeApplication>(test::applicationArgc(), test::applicationArgv());
        numericLocaleAfterConstruction = std::setlocale(LC_NUMERIC, nullptr);
    }
    void TearDown() override { m_app.reset(); }

    static std::string numericLocaleAfterConstruction;

private:
    std::unique_ptr<SafeApplication> m_app;
};
std::string ApplicationEnvironment::numericLocaleAfterConstruction;
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

std::string formatted(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// ---- Names and locale -------------------------------------------------------

TEST(StartupIdentity, NamesVersionAndSettingsLocation) {
    setApplicationIdentity();
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quorvex3"));
    EXPECT_EQ(QCoreApplication::applicationVersion(), QStringLiteral("3.3.99"));
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Quorvex3"));
    const QSettings settings;
    EXPECT_EQ(settings.organizationName(), QStringLiteral("Quorvex3"));
    EXPECT_EQ(settings.applicationName(), QStringLiteral("Quorvex3"));
    EXPECT_EQ(settings.fileName(), QDir(test::isolateHomeDirectories())
                                       .filePath(QStringLiteral(".config/Quorvex3/Quorvex3.conf")));
}

TEST(StartupLocale, NumericLocaleIsCAgainAfterTheApplicationObject) {
    ASSERT_EQ(ApplicationEnvironment::numericLocaleAfterConstruction, "C.UTF-8")
        << "the application object did not adopt the environment's locale";
    resetNumericLocale();
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(formatted(0.5), "0.50");
}

TEST(StartupLocale, DecimalCommaLocaleIsUndone) {
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale installed";
    ASSERT_EQ(formatted(0.5), "0,50");
    resetNumericLocale();
    EXPECT_EQ(formatted(0.5), "0.50");
}

// ---- Style and palette ------------------------------------------------------

bool isFusion(const QStyle* style) {
    if (style->objectName().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0)
        return true;
    // With a style sheet the application style is a proxy around the base style.
    const auto children = style->findChildren<QStyle*>();
    for (const QStyle* child : children)
        if (child->objectName().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

TEST(StartupLook, FusionStyleAndTheFixedPalette) {
    applyApplicationLook();
    EXPECT_TRUE(isFusion(QApplication::style()));

    const struct {
        QPalette::ColorRole role;
        QRgb all;
        QRgb disabled;
    } expected[] = {
        {QPalette::Window, 0xf5f6f8, 0xf5f6f8},
        {QPalette::WindowText, 0x23262e, 0xa0a4aa},
        {QPalette::Base, 0xffffff, 0xffffff},
        {QPalette::AlternateBase, 0xf0f2f5, 0xf0f2f5},
        {QPalette::ToolTipBase, 0xffffff, 0xffffff},
        {QPalette::ToolTipText, 0x23262e, 0x23262e},
        {QPalette::Text, 0x23262e, 0xa0a4aa},
        {QPalette::Button, 0xeef0f3, 0xeef0f3},
        {QPalette::ButtonText, 0x23262e, 0xa0a4aa},
        {QPalette::BrightText, 0xd23c3c, 0xd23c3c},
        {QPalette::Link, 0x00abad, 0x00abad},
        {QPalette::Highlight, 0x00abad, 0x00abad},
        {QPalette::HighlightedText, 0xffffff, 0xffffff},
        {QPalette::Light, 0xffffff, 0xffffff},
        {QPalette::Midlight, 0xebedf0, 0xebedf0},
        {QPalette::Mid, 0xc8cbd0, 0xc8cbd0},
        {QPalette::Dark, 0xa0a4aa, 0xa0a4aa},
        {QPalette::Shadow, 0x787c82, 0x787c82},
    };
    const QPalette palette = QApplication::palette();
    for (const auto& colour : expected) {
        const QRgb all = 0xff000000u | colour.all;
        const QRgb disabled = 0xff000000u | colour.disabled;
        EXPECT_EQ(palette.color(QPalette::Active, colour.role).rgba(), all)
            << "role " << colour.role;
        EXPECT_EQ(palette.color(QPalette::Inactive, colour.role).rgba(), all)
            << "role " << colour.role;
        EXPECT_EQ(palette.color(QPalette::Disabled, colour.role).rgba(), disabled)
            << "role " << colour.role;
    }
}

// ---- Style sheet and its images ---------------------------------------------

TEST(StartupResources, SvgImagesLoadThroughTheImagePlugin) {
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("svg"))
        << "the Qt SVG image-format plugin is missing";
    const struct {
        const char* name;
        int size;
    } images[] = {{":/checkmark.svg", 16}, {":/arrow-up.svg", 10}, {":/arrow-down.svg", 10}};
    for (const auto& image : images) {
        const QImage loaded(QString::fromLatin1(image.name));
        EXPECT_FALSE(loaded.isNull()) << image.name;
        EXPECT_EQ(loaded.size(), QSize(image.size, image.size)) << image.name;
    }
}

TEST(StartupResources, LogosAndIcon) {
    EXPECT_FALSE(QPixmap(QString::fromLatin1(kSplashImageResource)).isNull());
    EXPECT_FALSE(QPixmap(QString::fromLatin1(kWindowIconResource)).isNull());
    applyApplicationIcon();
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

int countPixels(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xffffffu) == (colour & 0xffffffu);
    return count;
}

QImage render(QWidget& widget) {
    widget.ensurePolished();
    widget.resize(widget.sizeHint());
    return widget.grab().toImage();
}

QStringList s_warnings;

void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        s_warnings << message;
}

TEST(StartupLook, StyleSheetParsesAndDrawsWidgets) {
    s_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    applyApplicationLook();
    QPushButton button(QStringLiteral("Button"));
    const QImage face = render(button);
    qInstallMessageHandler(previous);

    EXPECT_FALSE(applicationStyleSheet().isEmpty());
    EXPECT_EQ(qApp->styleSheet(), applicationStyleSheet());
    // Qt reports a style sheet it cannot parse only as a warning.
    EXPECT_TRUE(s_warnings.filter(QStringLiteral("style")).isEmpty())
        << s_warnings.join('\n').toStdString();
    EXPECT_EQ(face.pixel(4, face.height() / 2) & 0xffffffu, 0xeaecefu);
}

TEST(StartupLook, CheckedBoxShowsTheWhiteCheckmarkOnTheAccent) {
    applyApplicationLook();
    QCheckBox box(QStringLiteral("Option"));
    box.setChecked(true);
    const QImage image = render(box);
    const QImage indicator = image.copy(0, 0, image.height(), image.height());
    EXPECT_GT(countPixels(indicator, 0x00abad), 20);
    // The check mark comes from the SVG image; without the plugin the
    // indicator would be plain accent colour.
    EXPECT_GT(countPixels(indicator, 0xffffff), 4);
}

TEST(StartupLook, SpinBoxButtonsShowTheArrowImages) {
    applyApplicationLook();
    QSpinBox spin;
    const QImage image = render(spin);
    const QImage buttons = image.copy(image.width() - 20, 0, 20, image.height());
    int dark = 0;
    for (int y = 0; y < buttons.height(); ++y)
        for (int x = 0; x < buttons.width(); ++x)
            dark += qGray(buttons.pixel(x, y)) < 120;
    EXPECT_GT(dark, 4) << "no arrow drawn on the spin box buttons";
}

// ---- Splash and main window -------------------------------------------------

/// Notes whether the splash was still visible when the window was shown.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QWidget* window, QSplashScreen* splash) : m_splash(splash) {
        window->installEventFilter(this);
    }
    bool shown = false;
    bool splashVisibleAtShow = true;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            shown = true;
            splashVisibleAtShow = m_splash->isVisible();
        }
        return false;
    }

private:
    QSplashScreen* m_splash;
};

TEST(StartupSplash, WindowAppearsAfterTheDelayWithTheSplashClosedFirst) {
    QSplashScreen splash(QPixmap(QString::fromLatin1(kSplashImageResource)));
    showSplashScreen(splash);
    EXPECT_TRUE(splash.isVisible());

    QWidget window;
    ShowWatcher watcher(&window, &splash);
    QElapsedTimer clock;
    clock.start();
    showMainWindowAfterSplash(splash, window);
    while (!watcher.shown && clock.elapsed() < 10000) {
        if (clock.elapsed() < 1400) {
            ASSERT_FALSE(window.isVisible()) << "shown after " << clock.elapsed() << " ms";
            ASSERT_TRUE(splash.isVisible());
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_TRUE(watcher.shown);
    EXPECT_GE(clock.elapsed(), kSplashDurationMs - 5);
    EXPECT_FALSE(watcher.splashVisibleAtShow);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMaximized());
}

TEST(StartupSplash, WindowDestroyedBeforeTheDelayEndsNothingHappens) {
    QSplashScreen splash(QPixmap(QString::fromLatin1(kSplashImageResource)));
    showSplashScreen(splash);
    auto window = std::make_unique<QWidget>();
    showMainWindowAfterSplash(splash, *window, 10);
    window.reset();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(splash.isVisible());
}

} // namespace
} // namespace Quorvex3
