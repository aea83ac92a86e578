// Every window and dialog of the program on a 1280 x 720 screen, with the
// program's look: no control's text cut, nothing that needs sideways
// scrolling, lists at least five rows high, nothing larger than the screen.
// One layout check (tests/support/LayoutCheck) for all of them.
#include "FilterGroupTestSupport.h"

#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/LayoutCheck.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QImage>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <functional>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::LayoutAllowances;
using testing::layoutFaults;
using testing::settleLayout;
using testing::TempDir;

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

const QSize kScreen(1280, 720);

/// Forty events with images and a dozen scalar features under labels as
/// long as the program's own.
void writeMeasurement(const std::string& path) {
    const std::size_t events = 40;
    const std::vector<std::string> names = {"area_um",    "deform", "bright_avg",      "bright_sd",
                                            "area_ratio", "aspect", "inert_ratio_cvx", "pos_x",
                                            "pos_y",      "tilt",   "size_x",          "size_y"};
    testing::RtdcFixtureWriter writer(path);
    for (std::size_t f = 0; f < names.size(); ++f) {
        std::vector<double> values(events);
        for (std::size_t i = 0; i < events; ++i)
            values[i] = 1.0 + static_cast<double>((i * 7 + f * 3) % 23) * 0.1;
        writer.addColumn<double>(names[f], values);
    }
    std::vector<std::uint8_t> pixels(events * 60 * 80);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(100 + i % 50);
    writer.addImageStack("image", events, 60, 80, pixels);
}

QString joined(const QStringList& faults) {
    return faults.join(QStringLiteral("\n  "));
}

class SmallScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::useProgramLookForLayout(); }

    void SetUp() override {
        test::clearSettings();
        testing::showWithFrameSize(window, kScreen);
        for (int i = 0; i < 2; ++i) {
            const std::string path = dir.file("Sample_ID" + std::to_string(i + 1) + ".rtdc");
            writeMeasurement(path);
            ASSERT_TRUE(test::openAndWait(window, path));
        }
    }

    void trigger(const char* menu, const char* entry) {
        QAction* action = test::actionNamed(test::menuNamed(window, QString::fromLatin1(menu)),
                                            QString::fromLatin1(entry));
        ASSERT_NE(action, nullptr) << entry;
        action->trigger();
        settleLayout();
    }

    /// Runs the dialog that `open` opens through the dialog seam and returns
    /// the faults found while it was open: as it opened, then in each of the
    /// modes `choices` names (texts of its radio buttons, clicked in order).
    QStringList faultsOfDialog(const std::function<void()>& open,
                               const LayoutAllowances& allow = {},
                               const QStringList& choices = {}) {
        QStringList faults;
        bool opened = false;
        dialogs.dialogScript = [&](QDialog& dialog) {
            opened = true;
            dialog.show();
            settleLayout();
            faults = layoutFaults(dialog, allow, kScreen);
            std::vector<testing::DialogMode> modes;
            for (const QString& choice : choices)
                modes.push_back({choice, [&dialog, choice, &faults] {
                                     QRadioButton* button = radioNamed(dialog, choice);
                                     if (button)
                                         button->click();
                                     else
                                         faults << QStringLiteral("no choice ") + choice;
                                 }});
            faults += testing::dialogModeFaults(dialog, modes, allow, kScreen);
            return int(QDialog::Rejected);
        };
        open();
        settleLayout();
        dialogs.dialogScript = nullptr;
        if (!opened)
            faults << QStringLiteral("no dialog opened");
        return faults;
    }

    /// The same for the dialog of a menu entry of the main window.
    QStringList dialogFaults(const char* menu, const char* entry,
                             const LayoutAllowances& allow = {}, const QStringList& choices = {}) {
        return faultsOfDialog([&] { trigger(menu, entry); }, allow, choices);
    }

    static QRadioButton* radioNamed(QDialog& dialog, const QString& text) {
        for (QRadioButton* button : dialog.findChildren<QRadioButton*>())
            if (button->text() == text)
                return button;
        return nullptr;
    }

    /// Shows a tool window where and at the size it opens with, and checks
    /// it (its whole frame inside the screen).
    QStringList windowFaults(QMainWindow& tool, const LayoutAllowances& allow = {}) {
        const QSize opened = tool.size();
        tool.show();
        settleLayout();
        QStringList faults;
        if (opened.width() > kScreen.width() || opened.height() > kScreen.height())
            faults << QStringLiteral("opens at %1 x %2").arg(opened.width()).arg(opened.height());
        return faults + layoutFaults(tool, allow, kScreen);
    }

    TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    MainWindow window;
};

// The settings row needed sideways scrolling with "Show N" cut, and the
// display and colour lists read "Array …ontour" and "Heatma…nsity)"; in
// "Same Plot" the preview replaced the plot by a part of its page.
TEST_F(SmallScreen, CombinedPlotWindow) {
    trigger("&Tool Windows", "New &Combine Plot...");
    ASSERT_EQ(window.combinePlotWindows().size(), 1u);
    CombinePlotWindow& tool = *window.combinePlotWindows().front();
    {
        SCOPED_TRACE("Add Datasets");
        const QStringList faults = faultsOfDialog([&] { tool.addSelectedDatasets(); });
        EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
    }
    tool.addAllDatasets();
    // Every optional row of the settings in view.
    tool.findChild<QCheckBox*>(QStringLiteral("manualArrayCheck"))->setChecked(true);
    tool.findChild<QCheckBox*>(QStringLiteral("syncAxesCheck"))->setChecked(true);
    tool.findChild<QCheckBox*>(QStringLiteral("manualLimitsCheck"))->setChecked(true);
    tool.findChild<QCheckBox*>(QStringLiteral("isoCheck"))->setChecked(true);
    tool.flushRefresh();
    dialogs.calls.clear();
    // A card's feature lists hold feature labels of any length (their
    // popups show them whole); everything else shows its longest choice.
    LayoutAllowances allow;
    allow.mayCutText << QStringLiteral("xFeatureCombo") << QStringLiteral("yFeatureCombo");
    {
        SCOPED_TRACE("Array");
        const QStringList faults = windowFaults(tool, allow);
        EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
    }
    {
        SCOPED_TRACE("Same Plot with the export preview");
        // With the export settings and the statistics docks open, the plot
        // panel is at its smallest. The statistics table has a column per
        // feature and statistic: it may scroll sideways.
        tool.findChild<QDockWidget*>(QStringLiteral("statsDock"))->show();
        allow.mayScrollSideways << QStringLiteral("statsTable");
        dialogs.choiceAnswers.push_back(QStringLiteral("OK"));
        tool.findChild<QComboBox*>(QStringLiteral("displayCombo"))->setCurrentIndex(2);
        tool.setExportPreview(true);
        tool.flushRefresh();
        settleLayout();
        const QStringList faults = layoutFaults(tool, allow, kScreen);
        EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();

        // The whole page, scaled into the panel with its shape kept: the
        // panel does not scroll, and the page is drawn inside the label.
        auto* container = tool.findChild<QWidget*>(QStringLiteral("plotContainer"));
        ASSERT_NE(container, nullptr);
        const auto labels = container->findChildren<AspectRatioLabel*>();
        ASSERT_EQ(labels.size(), 1);
        AspectRatioLabel* label = labels.front();
        auto* panel = qobject_cast<QScrollArea*>(container->parentWidget()->parentWidget());
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->verticalScrollBar()->maximum(), 0);
        EXPECT_EQ(panel->horizontalScrollBar()->maximum(), 0);
        const QRect viewport(container->mapTo(panel->viewport(), label->pos()), label->size());
        EXPECT_TRUE(panel->viewport()->rect().contains(viewport));
        const QRect page = label->pageRect();
        EXPECT_TRUE(label->rect().contains(page));
        EXPECT_NEAR(double(page.width()) / page.height(), label->ratio(), 0.01);
        EXPECT_TRUE(page.width() == label->width() || page.height() == label->height());
        // Drawn there: the page's white corner inside, the panel beside it.
        const QImage shown = label->grab().toImage();
        EXPECT_EQ(QColor(shown.pixel(page.topLeft() + QPoint(1, 1))), QColor(Qt::white));
        const QPoint beside = page.left() > 2 ? QPoint(page.left() - 2, page.center().y())
                                              : QPoint(page.center().x(), page.top() - 2);
        EXPECT_NE(QColor(shown.pixel(beside)), QColor(Qt::white));
    }
}

// Opened from the menu (its results at this size: the evaluation layout
// test), and its "Add Datasets" dialog.
TEST_F(SmallScreen, StatisticalEvaluationWindow) {
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    ASSERT_EQ(window.statisticalEvalWindows().size(), 1u);
    StatisticalEvalWindow& tool = *window.statisticalEvalWindows().front();
    QStringList faults = windowFaults(tool);
    EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
    faults = faultsOfDialog([&] { tool.categoryPanels().front()->onAddDatasets(); });
    EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
}

// The check itself: the gallery opened 1195 pixels wide at x = 90, 5 pixels
// past a 1280-pixel screen, and passed because only its size was checked.
TEST(LayoutCheck, HoldsTheWholeFrameInsideTheScreen) {
    QMainWindow tool;
    tool.setCentralWidget(new QWidget(&tool));
    testing::showWithFrameSize(tool, QSize(1195, 600));
    const QRect available = tool.screen()->availableGeometry();
    const struct {
        const char* where;
        QPoint frame; ///< the frame's top left corner, from the screen's
        bool inside;
    } cases[] = {
        {"the gallery at x = 90", {90, 0}, false},
        {"its right edge on the screen's", {85, 0}, true},
        {"at the top left", {0, 0}, true},
        {"its bottom edge one past the screen's", {0, 121}, false},
        {"its bottom edge on the screen's", {0, 120}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        tool.move(available.topLeft() + c.frame);
        settleLayout();
        ASSERT_EQ(tool.frameGeometry(), QRect(available.topLeft() + c.frame, QSize(1195, 600)));
        const QStringList faults = layoutFaults(tool, {}, kScreen);
        const bool reported =
            faults.join(QLatin1Char('\n')).contains(QStringLiteral("past the screen"));
        EXPECT_EQ(reported, !c.inside) << joined(faults).toStdString();
    }
}

// The gallery opened at 1193 x 800, taller than the screen.
TEST_F(SmallScreen, ImageGalleryWindow) {
    trigger("&Tool Windows", "New &Image Gallery...");
    ASSERT_EQ(window.imageGalleryWindows().size(), 1u);
    const QStringList faults = windowFaults(*window.imageGalleryWindows().front());
    EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
}

TEST_F(SmallScreen, FilterGroupsMatrixWindow) {
    window.addFilterGroup("Viable cells");
    trigger("&Tool Windows", "Filter Groups &Matrix...");
    ASSERT_EQ(window.filterGroupsMatrixWindows().size(), 1u);
    const QStringList faults = windowFaults(*window.filterGroupsMatrixWindows().front());
    EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
}

// The feature lists of both export dialogs showed about two rows. Choosing
// AVI made the data export 95 pixels taller, downward: opened at y = 11 on
// a 720-pixel screen, its frame ended 5 pixels below it.
TEST_F(SmallScreen, ExportDialogs) {
    const struct {
        const char* entry;
        QStringList choices; ///< every format and scope, in turn
    } dialogsOfMenu[] = {
        {"Export &Data...",
         {".avi (Video)", "All datasets (2)", ".tsv (Tab-separated)", ".rtdc (HDF5)",
          "Current dataset only", ".avi (Video)"}},
        {"Export Statistical &Summary...", {"All datasets (2)", "Current dataset only"}},
    };
    for (const auto& d : dialogsOfMenu) {
        SCOPED_TRACE(d.entry);
        // The output folder is a path: it may be longer than its box.
        LayoutAllowances allow;
        allow.mayCutText << QStringLiteral("directoryEdit") << QStringLiteral("outputPathEdit");
        const QStringList faults = dialogFaults("&Export", d.entry, allow, d.choices);
        EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
    }
}

// The check itself: a dialog that grows with a choice, opened low on the
// screen, runs past its bottom edge.
TEST(LayoutCheck, FollowsADialogThroughItsModes) {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* more = new QWidget(&dialog);
    more->setMinimumHeight(200);
    more->hide();
    layout->addWidget(new QCheckBox(QStringLiteral("Show more"), &dialog));
    layout->addWidget(more);
    dialog.show();
    settleLayout();
    EXPECT_TRUE(testing::dialogModeFaults(dialog, {{"unchanged", [] {}}}, {}, kScreen).isEmpty());
    const QStringList faults =
        testing::dialogModeFaults(dialog, {{"more", [more] { more->show(); }}}, {}, kScreen);
    EXPECT_TRUE(faults.join(QLatin1Char('\n'))
                    .startsWith(QStringLiteral("more: QDialog reaches past the screen")))
        << joined(faults).toStdString();
}

TEST_F(SmallScreen, HelpDialogs) {
    for (const char* entry : {"&About", "Send &Feedback..."}) {
        SCOPED_TRACE(entry);
        const QStringList faults = dialogFaults("&Help", entry);
        EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
    }
}

// The filter group's name box showed "roup 1" in the filter dock.
TEST_F(SmallScreen, MainWindowWithFilterGroups) {
    const int group = window.addFilterGroup("Group 1");
    window.addRuleToGroup(group, test::rangeRule("area_um", 0.0, 100.0));
    window.addFilterGroup("Viable cells, gated");
    // On in the active dataset only: its "Uncheck in All Datasets" button
    // is highlighted (bold), the widest the group's head row gets.
    window.setGroupEnabled(window.activeDataset()->id, group, true);
    window.refreshFilterGroupsUi();
    settleLayout();
    // The calculations dock shares the tab; it has a layout test of its own.
    auto* dock = window.findChild<QDockWidget*>(QStringLiteral("filtersDock"));
    ASSERT_NE(dock, nullptr);
    dock->raise();
    for (const bool narrowest : {false, true}) {
        SCOPED_TRACE(narrowest ? "dock dragged as narrow as it goes" : "dock as opened");
        LayoutAllowances allow;
        if (narrowest) {
            window.resizeDocks({dock}, {10}, Qt::Horizontal);
            // Dragged below the dataset filter box's width, the dock's
            // content scrolls (as it is built to); the groups' names and
            // buttons must still show whole.
            allow.mayScrollSideways << QStringLiteral("Scroll");
        }
        settleLayout();
        const QStringList faults = layoutFaults(*dock, allow, kScreen);
        EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
    }
}

} // namespace
} // namespace Quorvex3
