// The "Keep on Top" switch of the tool windows, and where a window opens
// on a screen.
#include "util/WindowUtil.h"
#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <memory>

namespace Quorvex3 {
namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        test::isolateHomeDirectories();
        m_app = std::make_unique<QApplication>(test::applicationArgc(), test::applicationArgv());
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

QStringList menuTitles(QMainWindow& window) {
    QStringList titles;
    for (QAction* action : window.menuBar()->actions())
        titles << action->text();
    return titles;
}

// ---- Where the switch goes --------------------------------------------------

TEST(KeepOnTopAction, NullWindowGetsNoAction) {
    EXPECT_EQ(WindowUtil::addKeepOnTopAction(nullptr), nullptr);
}

TEST(KeepOnTopAction, NewViewMenuIsAddedAtTheEnd) {
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&File"));
    window.menuBar()->addMenu(QStringLiteral("&Edit"));
    // A plain action called "View" is not a menu and does not count.
    window.menuBar()->addAction(QStringLiteral("View"));
    QAction* action = WindowUtil::addKeepOnTopAction(&window);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(menuTitles(window), (QStringList{"&File", "&Edit", "View", "&View"}));
    QMenu* view = window.menuBar()->actions().last()->menu();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->actions(), QList<QAction*>{action});
}

TEST(KeepOnTopAction, ExistingViewMenuIsUsedWhateverItsCaseAndMnemonic) {
    for (const QString& title :
         {QStringLiteral("Vi&ew"), QStringLiteral("&view"), QStringLiteral("VIEW")}) {
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("&File"));
        QMenu* view = window.menuBar()->addMenu(title);
        QAction* existing = view->addAction(QStringLiteral("Zoom"));
        QMenu* second = window.menuBar()->addMenu(QStringLiteral("&View"));
        window.menuBar()->addMenu(QStringLiteral("&Help"));

        QAction* action = WindowUtil::addKeepOnTopAction(&window);
        EXPECT_EQ(menuTitles(window).size(), 4) << title.toStdString();
        EXPECT_EQ(view->actions(), (QList<QAction*>{existing, action})) << title.toStdString();
        EXPECT_TRUE(second->actions().isEmpty()) << "only the first View menu gets the switch";
    }
}

TEST(KeepOnTopAction, IsAnUncheckedSwitchOwnedByTheWindow) {
    QMainWindow window;
    QAction* action = WindowUtil::addKeepOnTopAction(&window);
    EXPECT_EQ(action->text(), QStringLiteral("Keep on &Top"));
    EXPECT_TRUE(action->isCheckable());
    EXPECT_FALSE(action->isChecked());
    EXPECT_EQ(action->toolTip(), QStringLiteral("Keep this window above the main window."));
    EXPECT_EQ(action->parent(), &window);
}

// ---- Switching --------------------------------------------------------------

TEST(KeepOnTopAction, TogglingSetsTheHintAndKeepsPlaceAndSize) {
    QMainWindow window;
    QAction* action = WindowUtil::addKeepOnTopAction(&window);
    window.setGeometry(120, 140, 420, 310);
    window.show();
    QApplication::processEvents();
    const QPoint position = window.pos();
    const QSize size = window.size();

    action->setChecked(true);
    QApplication::processEvents();
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), position);
    EXPECT_EQ(window.size(), size);

    action->setChecked(false);
    QApplication::processEvents();
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), position);
    EXPECT_EQ(window.size(), size);
}

// ---- Where a window opens --------------------------------------------------

// The main window asked for 1400 x 900 on every screen and opened past the
// edges of a 1280 x 720 laptop.
TEST(FittedWindowGeometry, StaysInsideTheAvailableAreaAndKeepsThePreferredSizeWhereItFits) {
    const QSize preferred(1400, 900);
    const struct {
        const char* screen;
        QRect available;
        QRect expected;
    } cases[] = {
        {"1280 x 720 laptop", QRect(0, 0, 1280, 720), QRect(0, 0, 1280, 720)},
        {"laptop with a 32-pixel top panel", QRect(0, 32, 1280, 688), QRect(0, 32, 1280, 688)},
        {"too narrow only", QRect(0, 0, 1366, 1024), QRect(0, 62, 1366, 900)},
        {"too low only", QRect(0, 0, 1600, 768), QRect(100, 0, 1400, 768)},
        {"large screen: centred", QRect(0, 0, 1920, 1080), QRect(260, 90, 1400, 900)},
        {"second screen to the right", QRect(1920, 0, 1280, 720), QRect(1920, 0, 1280, 720)},
        {"second screen above, larger", QRect(-200, -1200, 1920, 1200),
         QRect(60, -1050, 1400, 900)},
        {"no screen known", QRect(), QRect(0, 0, 1400, 900)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        const QRect placed = WindowUtil::fittedWindowGeometry(preferred, c.available);
        EXPECT_EQ(placed, c.expected);
        if (!c.available.isEmpty())
            EXPECT_TRUE(c.available.contains(placed));
    }
}

} // namespace
} // namespace Quorvex3
