// The settings of the main window's shell: what stored values (missing, out
// of range, foreign) it falls back from, and that every change reaches the
// settings file at once, while construction and closing write nothing.
#include "MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "plots/ScatterPlot.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>

#include <memory>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

class MainWindowSettings : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    static void store(const QString& key, const QVariant& value) {
        QSettings settings;
        settings.setValue(key, value);
        settings.sync();
    }

    static QAction* colorMapAction(MainWindow& window, const QString& name) {
        QMenu* menu = test::actionNamed(test::menuNamed(window, "&Settings"), "Color &Map")->menu();
        return test::actionNamed(menu, name);
    }

    static QAction* startupCheckAction(MainWindow& window) {
        return test::actionNamed(test::menuNamed(window, "&Settings"),
                                 "Check for Updates on Startup");
    }

    static bool folderViewShown(MainWindow& window) {
        const bool folder = window.findChild<QStackedWidget*>("datasetStack")->currentIndex() == 1;
        EXPECT_EQ(window.findChild<QComboBox*>("viewModeCombo")->currentIndex(), folder ? 1 : 0);
        EXPECT_EQ(window.findChild<QSpinBox*>("depthSpin")->isHidden(), !folder);
        EXPECT_EQ(window.findChild<QLabel*>("depthLabel")->isHidden(), !folder);
        EXPECT_EQ(window.datasetFolderViewActive(), folder);
        return folder;
    }
};

// ---- Fallbacks -----------------------------------------------------------------

TEST_F(MainWindowSettings, NothingStoredGivesTheDefaults) {
    MainWindow window;
    EXPECT_TRUE(colorMapAction(window, "Viridis")->isChecked());
    EXPECT_EQ(window.colorMapIndex(), 0);
    EXPECT_TRUE(startupCheckAction(window)->isChecked());
    EXPECT_FALSE(folderViewShown(window));
    EXPECT_EQ(window.datasetFolderDepth(), 2);
}

TEST_F(MainWindowSettings, StoredColorMapIsCheckedAndPlotted) {
    store("settings/colorMapIndex", 4);
    MainWindow window;
    EXPECT_TRUE(colorMapAction(window, "BVAC")->isChecked());
    EXPECT_EQ(window.findChild<ScatterPlot*>()->colorMapIndex(), 4);
}

TEST_F(MainWindowSettings, ColorMapOutsideTheListFallsBackToViridisAndStaysStored) {
    for (const QVariant& stored : {QVariant(6), QVariant(-1), QVariant(QStringLiteral("Plasma"))}) {
        SCOPED_TRACE(stored.toString().toStdString());
        store("settings/colorMapIndex", stored);
        MainWindow window;
        EXPECT_TRUE(colorMapAction(window, "Viridis")->isChecked());
        EXPECT_EQ(window.colorMapIndex(), 0);
        EXPECT_EQ(window.findChild<ScatterPlot*>()->colorMapIndex(), 0);
        // Only the user's choice replaces it.
        EXPECT_EQ(QSettings().value("settings/colorMapIndex"), stored);
    }
}

TEST_F(MainWindowSettings, StoredDepthIsClampedToOneToFour) {
    const struct {
        int stored;
        int shown;
    } cases[] = {{0, 1}, {-3, 1}, {1, 1}, {3, 3}, {4, 4}, {7, 4}, {9, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        store("datasetView/depth", c.stored);
        MainWindow window;
        EXPECT_EQ(window.findChild<QSpinBox*>("depthSpin")->value(), c.shown);
        EXPECT_EQ(window.datasetFolderDepth(), c.shown);
        EXPECT_EQ(QSettings().value("datasetView/depth").toInt(), c.stored);
    }
}

TEST_F(MainWindowSettings, OnlyModeOneOpensTheFolderView) {
    const struct {
        QVariant stored;
        bool folder;
    } cases[] = {
        {1, true}, {0, false}, {2, false}, {-1, false}, {QStringLiteral("Folders"), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        store("datasetView/mode", c.stored);
        MainWindow window;
        EXPECT_EQ(folderViewShown(window), c.folder);
        EXPECT_EQ(QSettings().value("datasetView/mode"), c.stored);
    }
}

TEST_F(MainWindowSettings, StartupUpdateCheckSwitchFollowsTheSetting) {
    store("updates/checkOnStartup", false);
    {
        MainWindow window;
        EXPECT_FALSE(startupCheckAction(window)->isChecked());
    }
    store("updates/checkOnStartup", true);
    MainWindow window;
    EXPECT_TRUE(startupCheckAction(window)->isChecked());
}

TEST_F(MainWindowSettings, SilentStartupCheckShowsNothing) {
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    for (bool checkOnStartup : {true, false}) {
        store("updates/checkOnStartup", checkOnStartup);
        MainWindow window;
        test::processEventsFor(50);
        EXPECT_TRUE(dialogs.calls.empty()) << checkOnStartup;
    }
}

// ---- Writes --------------------------------------------------------------------

TEST_F(MainWindowSettings, ChoosingAColorMapIsWrittenAtOnce) {
    MainWindow window;
    colorMapAction(window, "Jet")->trigger();
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("colorMapIndex=1")))
        << test::settingsFileText().toStdString();
    colorMapAction(window, "Grayscale")->trigger();
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("colorMapIndex=5")));
    EXPECT_EQ(window.findChild<ScatterPlot*>()->colorMapIndex(), 5);
}

TEST_F(MainWindowSettings, StartupCheckToggleIsWrittenAtOnce) {
    MainWindow window;
    startupCheckAction(window)->trigger();
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("checkOnStartup=false")));
    startupCheckAction(window)->trigger();
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("checkOnStartup=true")));
}

TEST_F(MainWindowSettings, ViewModeAndDepthAreWrittenAtOnce) {
    MainWindow window;
    window.findChild<QComboBox*>("viewModeCombo")->setCurrentIndex(1);
    EXPECT_TRUE(folderViewShown(window));
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("mode=1")));
    window.findChild<QSpinBox*>("depthSpin")->setValue(3);
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("depth=3")));
    window.findChild<QComboBox*>("viewModeCombo")->setCurrentIndex(0);
    EXPECT_FALSE(folderViewShown(window));
    EXPECT_TRUE(test::settingsFileText().contains(QStringLiteral("mode=0")));
}

TEST_F(MainWindowSettings, BuildingShowingAndClosingWriteNothing) {
    {
        MainWindow window;
        window.show();
        test::processEventsFor(50);
        window.close();
    }
    EXPECT_TRUE(QSettings().allKeys().isEmpty());
    EXPECT_TRUE(test::settingsFileText().trimmed().isEmpty());
}

} // namespace
} // namespace Quorvex3
