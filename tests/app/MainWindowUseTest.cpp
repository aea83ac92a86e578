// The main window as a user meets it: where keyboard focus goes after the
// filter dock's actions, and a small screen (1280 x 720) with every control
// reachable and a window that never resizes itself.
#include "FilterGroupTestSupport.h"

#include "app/Startup.h"

#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "support/LayoutCheck.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <string>

namespace Quorvex3 {
namespace {

using testing::TempDir;

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

class MainWindowUse : public ::testing::Test {
protected:
    // The program's own style, style sheet and palette: they decide how much
    // room every control takes.
    static void SetUpTestSuite() { applyApplicationLook(); }
    void SetUp() override { test::clearSettings(); }

    /// Shows the window as the active one, so keyboard focus exists.
    void showActive(QSize size) {
        window.resize(size);
        window.show();
        QApplication::setActiveWindow(&window);
        window.activateWindow();
        ASSERT_TRUE(test::waitUntil([&] { return window.isActiveWindow(); }));
        test::processEventsFor(20);
    }

    FilterDockWidget* dock() { return window.findChild<FilterDockWidget*>(); }
    QLineEdit* renameEdit() { return window.findChild<QLineEdit*>(QStringLiteral("renameEdit")); }
    QPushButton* dockButton(const char* name) {
        return dock()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QAction* moreAction(const QString& text) {
        for (QAction* action : dockButton("dockMoreButton")->menu()->actions()) {
            if (action->text() == text)
                return action;
            if (action->menu())
                for (QAction* sub : action->menu()->actions())
                    if (sub->text() == text)
                        return sub;
        }
        return nullptr;
    }

    TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    MainWindow window;
};

// ---- keyboard focus ------------------------------------------------------------------

// Guards against focus falling into the "Dataset Name" field (text selected)
// when the dock rebuilds the widget that held it: the next keystrokes then
// renamed the dataset.
TEST_F(MainWindowUse, DockActionsNeverMoveFocusIntoTheDatasetName) {
    ASSERT_EQ(test::openMeasurements(window, dir, 2).size(), 2u);
    window.addFilterGroup("Gate");
    window.refreshFilterGroupsUi();
    window.activeDataset()->filter.addRule(test::rangeRule("area_um", 0.0, 100.0));
    dock()->setActiveDataset(window.activeDataset());
    showActive(QSize(1600, 1000));

    const auto child = [this](const char* name) {
        return dock()->findChild<QPushButton*>(QString::fromLatin1(name));
    };
    const struct {
        const char* button;                  // the control the user clicks
        const char* menuAction;              // or the entry of its menu chosen
    } cases[] = {{"addRuleButton", nullptr}, // a group's "+ Rule"
                 {"dockMoreButton", "Apply Filter to All Datasets"},
                 {"removeButton", nullptr},  // the dataset rule's "×"
                 {"deleteButton", nullptr}}; // the group's "×"
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        const QString name = window.activeDataset()->displayName;
        QPushButton* control = child(c.button);
        ASSERT_NE(control, nullptr);
        control->setFocus(Qt::MouseFocusReason);
        if (c.menuAction)
            moreAction(QString::fromUtf8(c.menuAction))->trigger();
        else
            control->click();
        test::processEventsFor(20);
        EXPECT_NE(QApplication::focusWidget(), renameEdit());
        // What the user types next never renames the dataset.
        if (QWidget* focused = QApplication::focusWidget())
            QTest::keyClicks(focused, QStringLiteral("zz"));
        renameEdit()->clearFocus();
        test::processEventsFor(5);
        EXPECT_EQ(window.activeDataset()->displayName, name);
    }
}

// ---- a small screen ------------------------------------------------------------------

/// The controls of the window a user clicks or types into that lie outside
/// the window, or are squeezed to nothing. Controls inside a scroll area
/// count as reachable when the area itself is inside (the docks scroll).
QStringList unreachableControls(MainWindow& window) {
    QStringList outside;
    const QRect inside = window.rect();
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
            qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QLineEdit*>(widget);
        // Dock title buttons have no icon in the program's style sheet (the
        // docks close from the View menu); a spin box's line edit is its own.
        if (!control || !widget->isVisibleTo(&window) ||
            qobject_cast<QAbstractSpinBox*>(widget->parent()) ||
            widget->objectName().startsWith(QLatin1String("qt_dockwidget_")))
            continue;
        // A dock behind another dock's tab is reached through its tab; the
        // caller raises it to check its controls.
        QWidget* shown = widget;
        bool behindTab = false;
        for (QWidget* up = widget->parentWidget(); up && up != &window; up = up->parentWidget()) {
            if (auto* area = qobject_cast<QScrollArea*>(up))
                shown = area->viewport();
            if (auto* dock = qobject_cast<QDockWidget*>(up))
                behindTab = !window.tabifiedDockWidgets(dock).isEmpty() &&
                            dock->visibleRegion().isEmpty();
        }
        if (behindTab)
            continue;
        const QRect rect(shown->mapTo(&window, QPoint(0, 0)), shown->size());
        if (!inside.contains(rect) || widget->width() < 8 || widget->height() < 8) {
            outside << widget->metaObject()->className() + QStringLiteral(" ") +
                           widget->objectName() + QStringLiteral(" ") +
                           (qobject_cast<QAbstractButton*>(widget)
                                ? qobject_cast<QAbstractButton*>(widget)->text()
                                : QString());
        }
    }
    return outside;
}

/// The controls of `panel` that lie partly outside the visible part of a
/// scroll area they are in, with every such area scrolled fully left: what a
/// user sees only after scrolling sideways. Vertical scrolling is allowed.
QStringList controlsCutSideways(QWidget* panel) {
    QWidget* top = panel->window();
    for (QScrollArea* area : top->findChildren<QScrollArea*>())
        if (area->isAncestorOf(panel) || panel->isAncestorOf(area))
            area->horizontalScrollBar()->setValue(0);
    QStringList cut;
    for (QWidget* widget : panel->findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
            qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QLineEdit*>(widget);
        if (!control || !widget->isVisibleTo(top) ||
            qobject_cast<QAbstractSpinBox*>(widget->parent()))
            continue;
        for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
            auto* area = qobject_cast<QScrollArea*>(up);
            if (!area)
                continue;
            QWidget* view = area->viewport();
            const int left = widget->mapTo(view, QPoint(0, 0)).x();
            if (left < 0 || left + widget->width() > view->width()) {
                cut << widget->objectName() + QStringLiteral(" \"") +
                           (qobject_cast<QAbstractButton*>(widget)
                                ? qobject_cast<QAbstractButton*>(widget)->text()
                                : QString()) +
                           QStringLiteral("\" in ") + area->objectName();
                break;
            }
        }
    }
    return cut;
}

// It opened at 1400 x 900 whatever the screen, past the edges of a
// 1280 x 720 laptop. (The offscreen test screen is 800 x 600.)
TEST_F(MainWindowUse, OpensInsideTheAvailableScreenGeometry) {
    const QRect available = window.screen()->availableGeometry();
    ASSERT_FALSE(available.isEmpty());
    ASSERT_TRUE(available.width() < 1400 || available.height() < 900);
    // Never below what its widgets need, though: the test screen is smaller
    // than that, and the window then starts at its top left corner.
    const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
    const QSize expected = QSize(1400, 900).boundedTo(available.size()).expandedTo(least);
    EXPECT_EQ(window.size(), expected);
    const QRect frame = window.frameGeometry();
    if (expected.width() <= available.width() && expected.height() <= available.height()) {
        EXPECT_TRUE(available.contains(frame))
            << frame.width() << " x " << frame.height() << " at " << frame.x() << ", " << frame.y();
    } else {
        EXPECT_EQ(frame.topLeft(), available.topLeft());
    }
}

// The window needed 1305 x 594 empty and 1424 x 612 with two datasets in a
// filter group, widened itself when a group was added, and put the dock's
// menu off a 1366 x 768 screen.
TEST_F(MainWindowUse, FitsA1280By720ScreenWithEveryControlReachable) {
    // The whole window, its frame too, on the screen.
    showActive(QSize(1280, 720));
    testing::showWithFrameSize(window, QSize(1280, 720));
    const QSize filling = window.size();
    EXPECT_LE(window.minimumSizeHint().width(), 1280);
    EXPECT_LE(window.minimumSizeHint().height(), 720);

    ASSERT_EQ(test::openMeasurements(window, dir, 2).size(), 2u);
    const int group = window.addFilterGroup("Gate");
    window.addRuleToGroup(group, test::rangeRule("area_um", 0.0, 100.0));
    window.addRuleToGroup(group, test::polygonRule({{10, 0.01}, {50, 0.01}, {30, 0.05}}));
    window.setGroupEnabledInAll(group, true);
    window.activeDataset()->filter.addRule(test::rangeRule("deform", 0.0, 1.0));
    dock()->setActiveDataset(window.activeDataset());
    window.refreshFilterGroupsUi();
    test::processEventsFor(50);

    EXPECT_EQ(window.size(), filling);
    EXPECT_LE(window.minimumSizeHint().width(), 1280);
    EXPECT_LE(window.minimumSizeHint().height(), 720);
    const QStringList outside = unreachableControls(window);
    EXPECT_TRUE(outside.isEmpty()) << outside.join(QStringLiteral("; ")).toStdString();
    // The docks behind tabs, each raised in turn.
    for (const char* name : {"calculationsDock", "filtersDock"}) {
        auto* tabbed = window.findChild<QDockWidget*>(QString::fromLatin1(name));
        ASSERT_NE(tabbed, nullptr) << name;
        tabbed->raise();
        test::processEventsFor(50);
        const QStringList behind = unreachableControls(window);
        EXPECT_TRUE(behind.isEmpty()) << name << ": " << behind.join(QStringLiteral("; ")).toStdString();
    }

    // The filter panel shows every control of its rules and groups without
    // scrolling sideways: the "⋮" menu, each "×" and "Invert" among them,
    // also with a dataset rule copied to the other dataset (its widest row).
    const auto shownButton = [&](const char* name) -> QPushButton* {
        for (QPushButton* button : dock()->findChildren<QPushButton*>(QString::fromLatin1(name)))
            if (button->isVisibleTo(&window))
                return button;
        return nullptr;
    };
    ASSERT_NE(shownButton("applyToAllButton"), nullptr);
    shownButton("applyToAllButton")->click();
    test::processEventsFor(50);
    ASSERT_NE(shownButton("deleteFromAllButton"), nullptr);
    const QStringList cut = controlsCutSideways(dock());
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QStringLiteral("; ")).toStdString();
    // No text cut (at 1280 px the image panel's "Show Mask" was cut to
    // "Shov", the scale lists to "Pseud…"), nothing scrolling sideways.
    const QStringList faults = testing::layoutFaults(window);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n  ")).toStdString();
    EXPECT_EQ(window.size(), filling);
}
// A long feature name pushed the "Value" column of the Event Data table out
// of the narrow event panel.
TEST_F(MainWindowUse, EventDataValuesStayInSightBesideALongFeatureName) {
    const std::string path = dir.file("long.rtdc");
    {
        Quorvex3::testing::RtdcFixtureWriter writer(path);
        writer.addColumn<double>("area_um", {10.0, 20.0, 30.0});
        writer.addColumn<double>("deform", {0.05, 0.04, 0.03});
        writer.addColumn<double>("score_of_the_cell_classifier_from_the_analysis_pipeline",
                                 {-1234567.0, 0.5, 0.75});
    }
    showActive(QSize(1280, 720));
    ASSERT_TRUE(test::openAndWait(window, path));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("eventTabs"));
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("eventTable"));
    ASSERT_TRUE(tabs && table);
    tabs->setCurrentWidget(table);
    test::processEventsFor(50);
    ASSERT_EQ(table->rowCount(), 3);

    // As the window opens, and with the panel dragged as narrow as it goes.
    auto* splitter = window.findChild<QSplitter*>(QStringLiteral("mainSplitter"));
    ASSERT_NE(splitter, nullptr);
    for (const bool squeezed : {false, true}) {
        SCOPED_TRACE(squeezed ? "panel at its narrowest" : "panel as opened");
        if (squeezed) {
            const QWidget* panel = splitter->widget(1);
            const int least = std::max(panel->minimumWidth(), panel->minimumSizeHint().width());
            const int total = splitter->sizes().at(0) + splitter->sizes().at(1);
            splitter->setSizes({total - least, least});
            test::processEventsFor(50);
            ASSERT_EQ(splitter->sizes().at(1), least);
        }
        QHeaderView* header = table->horizontalHeader();
        table->horizontalScrollBar()->setValue(0);
        const int left = header->sectionViewportPosition(1);
        EXPECT_GT(header->sectionSize(0), 0);
        EXPECT_GE(left, 0);
        EXPECT_LE(left + header->sectionSize(1), table->viewport()->width());
        // Wide enough for the widest value shown ("-1.23457e+06").
        int widest = 0;
        for (int row = 0; row < table->rowCount(); ++row)
            widest = std::max(widest,
                              table->fontMetrics().horizontalAdvance(table->item(row, 1)->text()));
        EXPECT_EQ(widest, table->fontMetrics().horizontalAdvance(QStringLiteral("-1.23457e+06")));
        EXPECT_GE(header->sectionSize(1), widest);
    }
}

// The scale lists showed "Pse...Log": their popups were as narrow as the
// boxes, and the list's own padding left too little room.
TEST_F(MainWindowUse, ScaleListsShowEveryModeWhole) {
    showActive(QSize(1280, 720));
    for (const char* name : {"scaleXCombo", "scaleYCombo"}) {
        SCOPED_TRACE(name);
        auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(name));
        ASSERT_NE(combo, nullptr);
        combo->showPopup();
        test::processEventsFor(20);
        QAbstractItemView* list = combo->view();
        ASSERT_TRUE(list->isVisible());
        for (int row = 0; row < combo->count(); ++row) {
            SCOPED_TRACE(combo->itemText(row).toStdString());
            const QModelIndex index = list->model()->index(row, 0);
            EXPECT_GE(list->viewport()->width(), list->sizeHintForIndex(index).width());
        }
        combo->hidePopup();
        test::processEventsFor(20);
    }
}

} // namespace
} // namespace Quorvex3
