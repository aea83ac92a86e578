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
#include <QScreen>

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
// edges of a 1280 x 720 laptop. The image gallery asked for 1100 x 800,
// was centred for that width and took the 1195 pixels its controls need:
// 5 pixels past a 1280-pixel screen.
TEST(FittedWindowGeometry, StaysInsideTheAvailableAreaAndKeepsThePreferredSizeWhereItFits) {
    const QSize main(1400, 900), any;                // the main window: its widgets need less
    const QSize gallery(1100, 800), wide(1195, 500); // the gallery and what its widgets need
    const QRect laptop(0, 0, 1280, 720);
    const struct {
        const char* screen;
        QSize preferred;
        QSize least;
        QRect available;
        QRect expected;
    } cases[] = {
        {"1280 x 720 laptop", main, any, laptop, QRect(0, 0, 1280, 720)},
        {"32-pixel top panel", main, any, QRect(0, 32, 1280, 688), QRect(0, 32, 1280, 688)},
        {"too narrow only", main, any, QRect(0, 0, 1366, 1024), QRect(0, 62, 1366, 900)},
        {"too low only", main, any, QRect(0, 0, 1600, 768), QRect(100, 0, 1400, 768)},
        {"large screen: centred", main, any, QRect(0, 0, 1920, 1080), QRect(260, 90, 1400, 900)},
        {"screen to the right", main, any, QRect(1920, 0, 1280, 720), QRect(1920, 0, 1280, 720)},
        {"screen above", main, any, QRect(-200, -1200, 1920, 1200), QRect(60, -1050, 1400, 900)},
        {"no screen known", main, any, QRect(), QRect(0, 0, 1400, 900)},
        // The gallery: 1195 wide, centred on the 1280 pixels.
        {"wider than asked", gallery, wide, laptop, QRect(42, 0, 1195, 720)},
        {"taller than asked", {1100, 600}, {900, 650}, laptop, QRect(90, 35, 1100, 650)},
        {"least is the area", gallery, {1280, 688}, laptop, QRect(0, 0, 1280, 720)},
        {"wider, large screen", gallery, wide, QRect(0, 0, 1920, 1080), QRect(362, 140, 1195, 800)},
        {"wider, no screen known", gallery, wide, QRect(), QRect(0, 0, 1195, 800)},
        // Cannot fit: from the area's edge, the rest past the far edge.
        {"least wider than the screen", gallery, {1400, 500}, laptop, QRect(0, 0, 1400, 720)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        const QRect placed = WindowUtil::fittedWindowGeometry(c.preferred, c.available, c.least);
        EXPECT_EQ(placed, c.expected);
        const bool fits =
            c.least.width() <= c.available.width() && c.least.height() <= c.available.height();
        if (!c.available.isEmpty() && fits) {
            EXPECT_TRUE(c.available.contains(placed));
        }
    }
}

// The same on a real window and its screen: a window whose widgets need more
// width than it asks for opens wholly inside the screen's available area,
// frame and all, at the width its widgets need.
TEST(ResizeInsideScreen, AWindowWiderThanAskedOpensWhollyInsideTheScreen) {
    // A shown window tells how wide a frame the platform draws (a tool
    // window opens beside the shown main window).
    QMainWindow shown;
    shown.show();
    QApplication::processEvents();
    QMainWindow window;
    const QScreen* screen = window.screen();
    ASSERT_NE(screen, nullptr);
    const QRect available = screen->availableGeometry();
    // Taller than the screen, so it is placed; its widgets need 95 % of the
    // width where it asks for 60 %: centred at 60 % it ended past the edge.
    auto* central = new QWidget(&window);
    central->setMinimumWidth(available.width() * 95 / 100);
    window.setCentralWidget(central);
    WindowUtil::resizeInsideScreen(&window,
                                   QSize(available.width() * 60 / 100, available.height() + 100));
    window.show();
    QApplication::processEvents();
    const QRect frame = window.frameGeometry();
    EXPECT_GE(window.width(), available.width() * 95 / 100);
    EXPECT_TRUE(available.contains(frame))
        << frame.x() << ", " << frame.y() << ", " << frame.width() << " x " << frame.height()
        << " on " << available.width() << " x " << available.height();
}

// ---- Keeping a window inside the screen ----------------------------------------

// A frame is moved as little as it takes; where it is larger than the area,
// its top or left edge is on the area's (a dialog's title and first lines).
TEST(MovedInside, MovesAsLittleAsItTakesAndKeepsTheTopEdgeOfWhatCannotFit) {
    const QRect laptop(0, 0, 1280, 720);
    const struct {
        const char* where;
        QRect frame;
        QRect available;
        QRect expected;
    } cases[] = {
        {"inside stays", QRect(100, 50, 500, 400), laptop, QRect(100, 50, 500, 400)},
        {"on the edges stays", QRect(780, 320, 500, 400), laptop, QRect(780, 320, 500, 400)},
        // The export dialog in AVI mode: 560 x 714 at y = 11.
        {"past the bottom", QRect(360, 11, 560, 714), laptop, QRect(360, 6, 560, 714)},
        {"past the right", QRect(900, 100, 500, 400), laptop, QRect(780, 100, 500, 400)},
        {"above and left", QRect(-30, -20, 500, 400), laptop, QRect(0, 0, 500, 400)},
        {"top panel", QRect(100, 0, 500, 400), QRect(0, 32, 1280, 688), QRect(100, 32, 500, 400)},
        {"screen to the right", QRect(100, 100, 500, 400), QRect(1920, 0, 1280, 720),
         QRect(1920, 100, 500, 400)},
        {"taller than the area", QRect(100, 200, 500, 1080), laptop, QRect(100, 0, 500, 1080)},
        {"wider than the area", QRect(-50, 100, 1400, 400), laptop, QRect(0, 100, 1400, 400)},
        {"no screen known", QRect(-50, 900, 500, 400), QRect(), QRect(-50, 900, 500, 400)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        EXPECT_EQ(WindowUtil::movedInside(c.frame, c.available), c.expected);
    }
}

// On a real window and its screen: a dialog that grows downward (a choice
// shows more of it) is moved up so that its frame stays inside the screen;
// one that is moved by hand is left where it is.
TEST(KeepInsideScreen, AWindowThatGrowsPastTheBottomIsMovedUp) {
    QWidget window;
    WindowUtil::keepInsideScreen(&window);
    const QRect available = window.screen()->availableGeometry();
    window.resize(300, 200);
    window.show();
    QApplication::processEvents();
    const QPoint low(available.left() + 40, available.bottom() - window.frameGeometry().height());
    window.move(low);
    QApplication::processEvents();
    ASSERT_EQ(window.frameGeometry().topLeft(), low);
    window.resize(300, 300);
    QApplication::processEvents();
    EXPECT_TRUE(available.contains(window.frameGeometry()));
    EXPECT_EQ(window.frameGeometry().bottom(), available.bottom());
    EXPECT_EQ(window.frameGeometry().left(), low.x());
}

// With room kept below for a part that opens later (a message box's
// details), the window and that part lie inside the screen.
TEST(MoveInsideScreen, KeepsRoomBelowForWhatMayStillOpen) {
    QWidget window;
    const QRect available = window.screen()->availableGeometry();
    window.resize(300, 200);
    window.show();
    QApplication::processEvents();
    window.move(available.left() + 40, available.top() + 100);
    QApplication::processEvents();
    const int growth = available.height() - window.frameGeometry().height() - 50;
    WindowUtil::moveInsideScreen(&window, growth);
    QApplication::processEvents();
    EXPECT_EQ(window.frameGeometry().top(), available.top() + 50);
    EXPECT_TRUE(available.contains(window.frameGeometry().adjusted(0, 0, 0, growth)));
}

} // namespace
} // namespace Quorvex3
