// The main window's shell: its menus with their order and shortcuts, the
// docks with their places, toggles and title bars, the central area, and
// the window's first appearance after the splash screen.
#include "MainPlotTestSupport.h"
#include "MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "app/Startup.h"
#include "calc/CalculationsDockWidget.h"
#include "filters/FilterDockWidget.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "plots/TracePlot.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplashScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

/// "text" or "text [shortcut]" per item, "—" for a separator and "text >"
/// for a submenu, in menu order.
QStringList describe(QMenu* menu) {
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << QStringLiteral("—");
        else if (action->menu())
            items << action->text() + QStringLiteral(" >");
        else if (action->shortcut().isEmpty())
            items << action->text();
        else
            items << action->text() + QStringLiteral(" [") + action->shortcut().toString() +
                         QStringLiteral("]");
    }
    return items;
}

/// How describe() shows an item with the platform's standard key (which
/// some platforms leave empty, e.g. Quit on the offscreen platform).
QString item(const char* text, QKeySequence::StandardKey key) {
    const QString shortcut = QKeySequence(key).toString();
    return shortcut.isEmpty()
               ? QString::fromUtf8(text)
               : QString::fromUtf8(text) + QStringLiteral(" [") + shortcut + QStringLiteral("]");
}

class MainWindowShell : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }
};

// ---- Window --------------------------------------------------------------------

TEST_F(MainWindowShell, BuiltHiddenWithTitleSizeAndDrops) {
    MainWindow window;
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quorvex3 - RT-DC Data Analysis"));
    // 1400 x 900, or the screen's free area where that is smaller, but not
    // smaller than its widgets need (more than the 800 x 600 test screen).
    EXPECT_EQ(window.size(),
              QSize(1400, 900)
                  .boundedTo(window.screen()->availableGeometry().size())
                  .expandedTo(window.minimumSizeHint().expandedTo(window.minimumSize())));
    EXPECT_TRUE(window.acceptDrops());
}

TEST_F(MainWindowShell, AppearsAfterTheSplashDelayWithTheSplashClosedFirst) {
    QSplashScreen splash(QPixmap(QString::fromLatin1(kSplashImageResource)));
    showSplashScreen(splash);
    MainWindow window;
    QElapsedTimer clock;
    clock.start();
    showMainWindowAfterSplash(splash, window);
    bool splashOpenWhenShown = true;
    while (!window.isVisible() && clock.elapsed() < 10000) {
        if (clock.elapsed() < 1400) {
            ASSERT_TRUE(splash.isVisible());
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        splashOpenWhenShown = splash.isVisible();
    }
    ASSERT_TRUE(window.isVisible());
    EXPECT_GE(clock.elapsed(), kSplashDurationMs - 5);
    EXPECT_FALSE(splashOpenWhenShown);
    EXPECT_FALSE(window.isMaximized());
}

// ---- Menus ---------------------------------------------------------------------

TEST_F(MainWindowShell, MenusLeftToRight) {
    MainWindow window;
    QStringList titles;
    for (QAction* action : window.menuBar()->actions())
        titles << action->text();
    EXPECT_EQ(titles,
              (QStringList{"&File", "&Export", "&View", "&Tool Windows", "&Settings", "&Help"}));
}

TEST_F(MainWindowShell, MenuItemsInOrderWithTheirShortcuts) {
    MainWindow window;
    EXPECT_EQ(describe(test::menuNamed(window, "&File")),
              (QStringList{item("&Open...", QKeySequence::Open), "—",
                           "&Save Session... [Ctrl+Shift+S]", "&Load Session... [Ctrl+Shift+O]",
                           "—", "&Clear Session", "—", item("E&xit", QKeySequence::Quit)}));
    EXPECT_EQ(describe(test::menuNamed(window, "&Export")),
              (QStringList{"Export &Plot... [Ctrl+E]", "Export &Data... [Ctrl+Shift+E]",
                           "Export Statistical &Summary..."}));
    EXPECT_EQ(describe(test::menuNamed(window, "&View")),
              (QStringList{"Datasets", "Filters", "Calculations", "Metadata", "Plot Statistics"}));
    EXPECT_EQ(describe(test::menuNamed(window, "&Tool Windows")),
              (QStringList{"New &Combine Plot...", "New &Statistical Evaluation...",
                           "New &Image Gallery...", "Filter Groups &Matrix..."}));
    EXPECT_EQ(describe(test::menuNamed(window, "&Settings")),
              (QStringList{"Color &Map >", "—", "Check for Updates on Startup"}));
    EXPECT_EQ(describe(test::menuNamed(window, "&Help")),
              (QStringList{item("&Manual", QKeySequence::HelpContents), "—",
                           "Check for &Updates...", "Send &Feedback...", "—", "&About"}));
}

TEST_F(MainWindowShell, ColorMapMenuIsOneExclusiveChoice) {
    MainWindow window;
    QMenu* colorMenu =
        test::actionNamed(test::menuNamed(window, "&Settings"), "Color &Map")->menu();
    ASSERT_NE(colorMenu, nullptr);
    EXPECT_EQ(describe(colorMenu), MainWindow::colorMapNames());
    EXPECT_EQ(MainWindow::colorMapNames(),
              (QStringList{"Viridis", "Jet", "Jet+", "Plasma", "BVAC", "Grayscale"}));
    const QList<QAction*> actions = colorMenu->actions();
    for (int i = 0; i < actions.size(); ++i) {
        EXPECT_TRUE(actions[i]->isCheckable());
        EXPECT_EQ(actions[i]->data().toInt(), i);
        ASSERT_NE(actions[i]->actionGroup(), nullptr);
        EXPECT_TRUE(actions[i]->actionGroup()->isExclusive());
    }
    actions[3]->trigger();
    int checked = 0;
    for (QAction* action : actions)
        checked += action->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(actions[3]->isChecked());
    EXPECT_EQ(window.colorMapIndex(), 3);
    EXPECT_EQ(window.findChild<ScatterPlot*>()->colorMapIndex(), 3);
}

TEST_F(MainWindowShell, ExitClosesTheWindow) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(window.isVisible());
    test::actionNamed(test::menuNamed(window, "&File"), "E&xit")->trigger();
    EXPECT_FALSE(window.isVisible());
}

// Exit, Ctrl+Q (the Exit action's key) and the title bar's close button all
// ended the program at once, and with it the analysis of the open datasets.
TEST_F(MainWindowShell, QuittingWithDatasetsOpenOffersToSaveTheSessionFirst) {
    using Button = QMessageBox::StandardButton;
    const struct Case {
        const char* name;
        bool dataset;
        bool byMenu; // else the window's own close, as the title bar does it
        Button answer;
        bool sessionFile; // the save dialog gives a name (else it is cancelled)
        bool closes;
    } cases[] = {
        {"no dataset: no question", false, true, QMessageBox::NoButton, false, true},
        {"cancel keeps the window", true, true, QMessageBox::Cancel, false, false},
        {"discard closes", true, false, QMessageBox::Discard, false, true},
        {"save then close", true, true, QMessageBox::Save, true, true},
        {"save cancelled keeps the window", true, false, QMessageBox::Save, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::ScriptedDialogProvider dialogs;
        ScopedDialogProvider guard(dialogs);
        MainWindow window;
        window.show();
        if (c.dataset) {
            test::Measurement m;
            m.columns["area_um"] = {1, 2, 3};
            test::writeMeasurement(dir.file("m.rtdc"), m);
            ASSERT_TRUE(test::openAndWait(window, dir.file("m.rtdc")));
        }
        if (c.answer != QMessageBox::NoButton)
            dialogs.buttonAnswers.push_back(c.answer);
        const QString session = QString::fromStdString(dir.file("kept.QV3"));
        if (c.sessionFile)
            dialogs.fileAnswers.push_back(session);
        if (c.byMenu)
            test::actionNamed(test::menuNamed(window, "&File"), "E&xit")->trigger();
        else
            window.close();
        EXPECT_EQ(window.isVisible(), !c.closes);
        EXPECT_EQ(QFile::exists(session), c.sessionFile);
        ASSERT_EQ(dialogs.count(testing::DialogCall::Question), c.dataset ? 1 : 0);
        if (c.dataset) {
            EXPECT_EQ(dialogs.calls.front().text,
                      QStringLiteral("Save the current session before quitting?"));
        }
        if (window.isVisible()) { // still usable: the analysis is all there
            EXPECT_EQ(window.datasets().size(), 1u);
            dialogs.buttonAnswers.push_back(QMessageBox::Discard);
            window.close();
            EXPECT_FALSE(window.isVisible());
        }
    }
}

TEST_F(MainWindowShell, CalculationsDockLeavesExpertMode) {
    MainWindow window;
    EXPECT_FALSE(window.findChild<CalculationsDockWidget*>()->isExpertMode());
}

// ---- Docks ---------------------------------------------------------------------

TEST_F(MainWindowShell, DocksAreasContentsAndWidthLimits) {
    MainWindow window;
    struct Expected {
        const char* title;
        Qt::DockWidgetArea area;
        int minimumWidth;
        int maximumWidth;
    };
    const Expected docks[] = {{"Datasets", Qt::LeftDockWidgetArea, 200, QWIDGETSIZE_MAX},
                              {"Filters", Qt::RightDockWidgetArea, 300, 500},
                              {"Plot Statistics", Qt::RightDockWidgetArea, 250, QWIDGETSIZE_MAX},
                              {"Calculations", Qt::RightDockWidgetArea, 200, QWIDGETSIZE_MAX},
                              {"Metadata", Qt::RightDockWidgetArea, 200, QWIDGETSIZE_MAX}};
    for (const Expected& expected : docks) {
        SCOPED_TRACE(expected.title);
        QDockWidget* dock = test::dockNamed(window, QString::fromUtf8(expected.title));
        ASSERT_NE(dock, nullptr);
        EXPECT_EQ(window.dockWidgetArea(dock), expected.area);
        EXPECT_EQ(dock->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        EXPECT_EQ(dock->features(),
                  QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
        EXPECT_EQ(dock->minimumWidth(), expected.minimumWidth);
        EXPECT_EQ(dock->maximumWidth(), expected.maximumWidth);
    }
    // Contents that do not scroll themselves sit in a scroll area, so a
    // dock scrolls instead of widening the window.
    const auto content = [&window](const char* title) {
        QWidget* widget = test::dockNamed(window, QString::fromUtf8(title))->widget();
        auto* area = qobject_cast<QScrollArea*>(widget);
        return area ? area->widget() : widget;
    };
    EXPECT_NE(qobject_cast<FilterDockWidget*>(content("Filters")), nullptr);
    EXPECT_NE(qobject_cast<StatisticsDockWidget*>(content("Plot Statistics")), nullptr);
    EXPECT_NE(qobject_cast<CalculationsDockWidget*>(content("Calculations")), nullptr);
    auto* metadata = qobject_cast<QTreeWidget*>(test::dockNamed(window, "Metadata")->widget());
    ASSERT_NE(metadata, nullptr);
    EXPECT_EQ(metadata->headerItem()->text(0), QStringLiteral("Parameter"));
    EXPECT_EQ(metadata->headerItem()->text(1), QStringLiteral("Value"));
    EXPECT_TRUE(metadata->header()->stretchLastSection());
}

TEST_F(MainWindowShell, RightHandDocksShareOneTabGroupAboveTheStatistics) {
    MainWindow window;
    window.show();
    test::processEventsFor(50);
    QDockWidget* filters = test::dockNamed(window, "Filters");
    QDockWidget* calculations = test::dockNamed(window, "Calculations");
    QDockWidget* metadata = test::dockNamed(window, "Metadata");
    QDockWidget* statistics = test::dockNamed(window, "Plot Statistics");
    EXPECT_EQ(window.tabPosition(Qt::RightDockWidgetArea), QTabWidget::North);
    EXPECT_EQ(window.tabifiedDockWidgets(filters), (QList<QDockWidget*>{calculations, metadata}));
    EXPECT_TRUE(window.tabifiedDockWidgets(statistics).isEmpty());
    // Filters is the raised tab; the statistics sit below the group.
    const QTabBar* tabs = nullptr;
    for (const QTabBar* bar : window.findChildren<QTabBar*>())
        if (bar->count() == 3)
            tabs = bar;
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Filters"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Calculations"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Metadata"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(statistics->isVisible());
    EXPECT_GT(statistics->geometry().top(), filters->geometry().bottom());
    EXPECT_GT(filters->height(), statistics->height());
}

TEST_F(MainWindowShell, ViewMenuHidesAndShowsTheDocks) {
    MainWindow window;
    window.show();
    test::processEventsFor(50);
    QMenu* view = test::menuNamed(window, "&View");
    for (const char* title :
         {"Datasets", "Filters", "Calculations", "Metadata", "Plot Statistics"}) {
        SCOPED_TRACE(title);
        QDockWidget* dock = test::dockNamed(window, QString::fromUtf8(title));
        QAction* toggle = test::actionNamed(view, QString::fromUtf8(title));
        ASSERT_EQ(toggle, dock->toggleViewAction());
        EXPECT_TRUE(toggle->isChecked());
        toggle->trigger();
        EXPECT_TRUE(dock->isHidden());
        EXPECT_FALSE(toggle->isChecked());
        toggle->trigger();
        EXPECT_FALSE(dock->isHidden());
    }
}

TEST_F(MainWindowShell, TabbedDocksShowTheirTitleOnlyWhenAlone) {
    MainWindow window;
    window.show();
    test::processEventsFor(50);
    QMenu* view = test::menuNamed(window, "&View");
    QDockWidget* filters = test::dockNamed(window, "Filters");
    QDockWidget* calculations = test::dockNamed(window, "Calculations");
    QDockWidget* metadata = test::dockNamed(window, "Metadata");
    // Together they show tabs only; the other docks keep their titles.
    EXPECT_NE(filters->titleBarWidget(), nullptr);
    EXPECT_NE(calculations->titleBarWidget(), nullptr);
    EXPECT_NE(metadata->titleBarWidget(), nullptr);
    EXPECT_EQ(test::dockNamed(window, "Datasets")->titleBarWidget(), nullptr);
    EXPECT_EQ(test::dockNamed(window, "Plot Statistics")->titleBarWidget(), nullptr);

    test::actionNamed(view, "Calculations")->trigger();
    test::actionNamed(view, "Metadata")->trigger();
    test::processEventsFor(20);
    EXPECT_EQ(filters->titleBarWidget(), nullptr) << "a dock left alone shows its title";

    test::actionNamed(view, "Metadata")->trigger();
    test::processEventsFor(20);
    EXPECT_NE(filters->titleBarWidget(), nullptr);
    EXPECT_NE(metadata->titleBarWidget(), nullptr);
}

// ---- Central area --------------------------------------------------------------

TEST_F(MainWindowShell, InformationLineRenameFieldAndEventNumber) {
    MainWindow window;
    auto* info = window.findChild<QLabel*>("infoLabel");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->text(),
              QStringLiteral("No file loaded. Drag and drop a .rtdc file or use File > Open."));
    EXPECT_TRUE(info->styleSheet().contains(QStringLiteral("#eceef1")));
    auto* rename = window.findChild<QLineEdit*>("renameEdit");
    ASSERT_NE(rename, nullptr);
    EXPECT_FALSE(rename->isEnabled());
    EXPECT_EQ(rename->placeholderText(), QStringLiteral("Rename dataset..."));
    auto* event = window.findChild<QSpinBox*>("eventSpinBox");
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(event->isEnabled());
    EXPECT_EQ(event->minimum(), 0);
    EXPECT_EQ(event->maximum(), 0);
    EXPECT_EQ(event->minimumWidth(), 100);
}

TEST_F(MainWindowShell, PlotSettingsControls) {
    MainWindow window;
    auto* box = window.findChild<QGroupBox*>("plotSettingsBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->title(), QStringLiteral("Plot Settings"));
    for (const char* name : {"scaleXCombo", "scaleYCombo"}) {
        auto* combo = window.findChild<QComboBox*>(name);
        ASSERT_NE(combo, nullptr);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        EXPECT_EQ(items, (QStringList{"Linear", "Log", "PseudoLog"}));
        EXPECT_EQ(combo->currentIndex(), 0);
    }
    EXPECT_EQ(window.findChild<QComboBox*>("scaleXCombo")->toolTip(),
              QStringLiteral("X-axis scale mode"));
    EXPECT_EQ(window.findChild<QComboBox*>("scaleYCombo")->toolTip(),
              QStringLiteral("Y-axis scale mode"));
    auto* contour = window.findChild<QComboBox*>("contourModeCombo");
    EXPECT_EQ(contour->count(), 3);
    EXPECT_EQ(contour->itemText(2), QStringLiteral("Only"));
    EXPECT_EQ(contour->currentIndex(), 0);
    auto* inner = window.findChild<QDoubleSpinBox*>("contourInnerSpin");
    auto* outer = window.findChild<QDoubleSpinBox*>("contourOuterSpin");
    EXPECT_EQ(inner->value(), 10.0);
    EXPECT_EQ(outer->value(), 67.0);
    for (QDoubleSpinBox* spin : {inner, outer}) {
        EXPECT_EQ(spin->minimum(), 1.0);
        EXPECT_EQ(spin->maximum(), 99.0);
        EXPECT_EQ(spin->singleStep(), 5.0);
        EXPECT_EQ(spin->decimals(), 0);
        EXPECT_EQ(spin->suffix(), QStringLiteral("%"));
    }
    EXPECT_TRUE(window.findChild<QCheckBox*>("isoelasticsCheck")->isHidden());
    EXPECT_TRUE(window.findChild<QCheckBox*>("isoLabelsCheck")->isHidden());
    EXPECT_EQ(window.findChild<QPushButton*>("applyPlotSettingsButton")->text(),
              QStringLiteral("Apply Plot Settings\nto All Datasets"));

    // The feature choosers stop growing at the width of the longest label.
    auto* x = window.findChild<QComboBox*>("xFeatureCombo");
    EXPECT_EQ(x->minimumWidth(), 150);
    EXPECT_EQ(x->maximumWidth(), x->fontMetrics().horizontalAdvance(
                                     QStringLiteral("Position along channel axis [µm]")) +
                                     60);
    EXPECT_EQ(window.findChild<QComboBox*>("colorCombo")->maximumWidth(), QWIDGETSIZE_MAX);
}

TEST_F(MainWindowShell, PlotBesideTheEventTabs) {
    MainWindow window;
    window.show();
    test::processEventsFor(50);
    auto* splitter = window.findChild<QSplitter*>("mainSplitter");
    ASSERT_NE(splitter, nullptr);
    ASSERT_EQ(splitter->count(), 2);
    EXPECT_TRUE(splitter->widget(0)->isAncestorOf(window.findChild<ScatterPlot*>()));
    EXPECT_GT(splitter->widget(0)->width(), splitter->widget(1)->width());
    auto* tabs = window.findChild<QTabWidget*>("eventTabs");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Image"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Event Data"));
    EXPECT_TRUE(tabs->widget(0)->isAncestorOf(window.findChild<ImageViewer*>()));
    EXPECT_TRUE(window.findChild<TracePlot*>()->isHidden());
    auto* table = window.findChild<QTableWidget*>("eventTable");
    EXPECT_EQ(table->columnCount(), 2);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QStringLiteral("Feature"));
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), QStringLiteral("Value"));
    EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(table->verticalHeader()->isVisible());
}

TEST_F(MainWindowShell, DatasetsDockViewBarAndViews) {
    MainWindow window;
    auto* mode = window.findChild<QComboBox*>("viewModeCombo");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->itemText(0), QStringLiteral("List"));
    EXPECT_EQ(mode->itemText(1), QStringLiteral("Folders"));
    auto* depth = window.findChild<QSpinBox*>("depthSpin");
    EXPECT_EQ(depth->minimum(), 1);
    EXPECT_EQ(depth->maximum(), 4);
    EXPECT_EQ(depth->toolTip(), QStringLiteral("Number of parent folder levels to show"));
    auto* stack = window.findChild<QStackedWidget*>("datasetStack");
    ASSERT_EQ(stack->count(), 2);
    auto* list = qobject_cast<QListWidget*>(stack->widget(0));
    auto* tree = qobject_cast<QTreeWidget*>(stack->widget(1));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(list->dragEnabled());
    EXPECT_TRUE(list->acceptDrops());
    EXPECT_EQ(list->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_TRUE(tree->isHeaderHidden());
    EXPECT_EQ(tree->dragDropMode(), QAbstractItemView::DragDrop);
    EXPECT_FALSE(tree->itemsExpandable());
}

} // namespace
} // namespace Quorvex3
