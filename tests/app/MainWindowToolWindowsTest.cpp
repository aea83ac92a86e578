// The main window's tool windows and background tasks: opening, listing,
// releasing and closing tool windows; waiting for a running calculation
// before the window goes; and the answers of actions this build does not
// offer yet.
#include "MainWindowTestSupport.h"

#include "app/DatasetListWidget.h"
#include "app/MainWindow.h"
#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QSignalSpy>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

class MainWindowToolWindows : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    static void trigger(MainWindow& window, const char* menu, const char* item) {
        QAction* action = test::actionNamed(test::menuNamed(window, QString::fromUtf8(menu)),
                                            QString::fromUtf8(item));
        ASSERT_NE(action, nullptr) << menu << " / " << item;
        action->trigger();
    }

    static void deleteDeferred() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

/// The windows of one kind that the main window lists.
template <typename Window>
std::vector<QMainWindow*> asMainWindows(const std::vector<Window*>& windows) {
    return {windows.begin(), windows.end()};
}

struct ToolKind {
    const char* item;
    std::vector<QMainWindow*> (*listed)(const MainWindow&);
    const char* title;
};

const ToolKind kKinds[] = {
    {"New &Combine Plot...",
     [](const MainWindow& w) { return asMainWindows(w.combinePlotWindows()); }, "Combine Plot"},
    {"New &Statistical Evaluation...",
     [](const MainWindow& w) { return asMainWindows(w.statisticalEvalWindows()); },
     "Statistical Evaluation"},
    {"Filter Groups &Matrix...",
     [](const MainWindow& w) { return asMainWindows(w.filterGroupsMatrixWindows()); },
     "Filter Groups \u2013 Datasets Matrix"},
};

// ---- Opening and releasing -------------------------------------------------------

TEST_F(MainWindowToolWindows, EachRequestOpensAnotherTopLevelWindowAndClosingReleasesOnlyIt) {
    for (const ToolKind& kind : kKinds) {
        SCOPED_TRACE(kind.item);
        MainWindow main;
        for (int i = 0; i < 3; ++i)
            trigger(main, "&Tool Windows", kind.item);
        const std::vector<QMainWindow*> opened = kind.listed(main);
        ASSERT_EQ(opened.size(), 3u);
        for (QMainWindow* window : opened) {
            EXPECT_EQ(window->parent(), nullptr);
            EXPECT_TRUE(window->isVisible());
            EXPECT_EQ(window->windowTitle(), QString::fromUtf8(kind.title));
            // Every tool window carries the keep-on-top switch.
            EXPECT_NE(test::actionNamed(test::menuNamed(*window, "&View"), "Keep on &Top"),
                      nullptr);
        }

        QPointer<QMainWindow> second = opened[1];
        second->close();
        EXPECT_EQ(kind.listed(main), (std::vector<QMainWindow*>{opened[0], opened[2]}));
        ASSERT_FALSE(second.isNull()) << "deleted inside its own close handling";
        deleteDeferred();
        EXPECT_TRUE(second.isNull());
    }
}

TEST_F(MainWindowToolWindows, GalleryNeedsAnActiveDataset) {
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    MainWindow main;
    trigger(main, "&Tool Windows", "New &Image Gallery...");
    EXPECT_TRUE(main.imageGalleryWindows().empty());
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, testing::DialogCall::Information);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("Image Gallery"));
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("Open a dataset before launching the image gallery."));
}

TEST_F(MainWindowToolWindows, GalleryClosesWhenItsDatasetIsRemoved) {
    ImageGalleryWindow gallery(nullptr, 7);
    gallery.show();
    QSignalSpy closed(&gallery, &ImageGalleryWindow::windowClosed);
    gallery.onMainDatasetRemoved(3);
    EXPECT_TRUE(gallery.isVisible());
    EXPECT_EQ(closed.count(), 0);
    gallery.onMainDatasetRemoved(7);
    EXPECT_FALSE(gallery.isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(gallery.testAttribute(Qt::WA_DeleteOnClose));
}

// A measurement of four 20 x 30 frames, one scalar feature.
std::string writeImages(const testing::TempDir& dir, const std::string& name) {
    testing::RtdcFixtureWriter w(dir.file(name));
    w.addImageStack("image", 4, 20, 30, std::vector<uint8_t>(4 * 20 * 30, 90));
    w.addColumn<double>("area_um", {1, 2, 3, 4});
    w.close();
    return w.path();
}

TEST_F(MainWindowToolWindows, EveryGalleryOfARemovedDatasetClosesAndFollowsOnlyWhenAsked) {
    testing::TempDir dir;
    MainWindow main;
    const std::string first = writeImages(dir, "first.rtdc");
    const std::string second = writeImages(dir, "second.rtdc");
    auto* list = main.findChild<DatasetListWidget*>();
    ASSERT_NE(list, nullptr);
    main.addDataset(QString::fromStdString(first));
    ASSERT_TRUE(test::waitUntil(
        [&] { return main.activeDataset() && main.activeDataset()->featuresLoaded; }));
    trigger(main, "&Tool Windows", "New &Image Gallery...");
    main.addDataset(QString::fromStdString(second));
    ASSERT_TRUE(test::waitUntil(
        [&] { return main.datasets().size() == 2 && main.datasets()[1]->featuresLoaded; }));
    list->setCurrentRow(1);
    ASSERT_EQ(main.activeDatasetId(), main.datasets()[1]->id);
    trigger(main, "&Tool Windows", "New &Image Gallery...");
    trigger(main, "&Tool Windows", "New &Image Gallery...");
    const std::vector<ImageGalleryWindow*> galleries = main.imageGalleryWindows();
    ASSERT_EQ(galleries.size(), 3u);
    const int firstId = main.datasets()[0]->id;
    const int secondId = main.datasets()[1]->id;
    EXPECT_EQ(galleries[0]->datasetId(), firstId);
    EXPECT_EQ(galleries[2]->datasetId(), secondId);

    // Switching datasets moves no gallery that does not follow.
    list->setCurrentRow(0);
    EXPECT_EQ(galleries[2]->datasetId(), secondId);
    list->setCurrentRow(1);

    // Both galleries of the removed dataset close (each leaves the list the
    // notification walks); the other one stays.
    std::vector<QPointer<ImageGalleryWindow>> watched(galleries.begin(), galleries.end());
    QMetaObject::invokeMethod(&main, "removeDataset");
    EXPECT_EQ(main.imageGalleryWindows(), std::vector<ImageGalleryWindow*>{galleries[0]});
    EXPECT_FALSE(galleries[1]->isVisible() || galleries[2]->isVisible());
    deleteDeferred();
    EXPECT_TRUE(watched[1].isNull() && watched[2].isNull() && !watched[0].isNull());
    EXPECT_TRUE(galleries[0]->isVisible());
    ASSERT_TRUE(test::waitUntil([&] { return !galleries[0]->isBusy(); }));
    EXPECT_EQ(galleries[0]->filteredIndices().size(), 4u);
}

// ---- Closing and destroying the main window -----------------------------------------

TEST_F(MainWindowToolWindows, ClosingTheMainWindowClosesAndDeletesEveryToolWindowAtOnce) {
    MainWindow main;
    main.show();
    trigger(main, "&Tool Windows", "New &Combine Plot...");
    trigger(main, "&Tool Windows", "New &Combine Plot...");
    trigger(main, "&Tool Windows", "New &Statistical Evaluation...");
    trigger(main, "&Tool Windows", "Filter Groups &Matrix...");
    std::vector<QPointer<QMainWindow>> windows;
    int closedSignals = 0;
    for (const ToolKind& kind : kKinds)
        for (QMainWindow* window : kind.listed(main))
            windows.emplace_back(window);
    // Each window is closed (it still reports so), but the main window no
    // longer listens: nothing is released or deleted twice.
    for (CombinePlotWindow* window : main.combinePlotWindows())
        QObject::connect(window, &CombinePlotWindow::windowClosed,
                         [&closedSignals] { ++closedSignals; });
    ASSERT_EQ(windows.size(), 4u);

    main.close();
    for (const QPointer<QMainWindow>& window : windows)
        EXPECT_TRUE(window.isNull()) << "not deleted at once";
    EXPECT_EQ(closedSignals, 2);
    EXPECT_TRUE(main.combinePlotWindows().empty());
    EXPECT_TRUE(main.statisticalEvalWindows().empty());
    EXPECT_TRUE(main.filterGroupsMatrixWindows().empty());
    EXPECT_FALSE(main.isVisible());
    deleteDeferred(); // nothing is left to delete twice
}

TEST_F(MainWindowToolWindows, DestroyingTheMainWindowDeletesTheWindowsStillOpen) {
    auto main = std::make_unique<MainWindow>();
    std::vector<QPointer<QMainWindow>> windows;
    for (const ToolKind& kind : kKinds) {
        trigger(*main, "&Tool Windows", kind.item);
        windows.emplace_back(kind.listed(*main).front());
    }
    main.reset();
    for (const QPointer<QMainWindow>& window : windows)
        EXPECT_TRUE(window.isNull());
    deleteDeferred();
}

// ---- Background calculations ---------------------------------------------------

TEST_F(MainWindowToolWindows, DestructionWaitsForTheRunningCalculation) {
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    bool doneRan = false;
    {
        MainWindow main;
        main.startCalcTask(
            [&] {
                started = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                finished = true;
            },
            [&] { doneRan = true; });
        while (!started)
            std::this_thread::yield();
    }
    EXPECT_TRUE(finished) << "the task outlived the window";
    EXPECT_FALSE(doneRan);
}

TEST_F(MainWindowToolWindows, ACalculationRequestedWhileOneRunsIsDropped) {
    MainWindow main;
    std::atomic<bool> release{false};
    std::atomic<int> workRuns{0};
    int firstDone = 0;
    int secondDone = 0;
    main.startCalcTask(
        [&] {
            ++workRuns;
            while (!release)
                std::this_thread::yield();
        },
        [&] { ++firstDone; });
    main.startCalcTask([&] { ++workRuns; }, [&] { ++secondDone; });
    release = true;
    for (int i = 0; i < 200 && firstDone == 0; ++i)
        test::processEventsFor(10);
    EXPECT_EQ(firstDone, 1);
    EXPECT_EQ(secondDone, 0);
    EXPECT_EQ(workRuns, 1);

    // The protocol is free again once the first task has finished.
    main.startCalcTask([&] { ++workRuns; }, [&] { ++secondDone; });
    for (int i = 0; i < 200 && secondDone == 0; ++i)
        test::processEventsFor(10);
    EXPECT_EQ(secondDone, 1);
    EXPECT_EQ(workRuns, 2);
}

TEST_F(MainWindowToolWindows, AnExceptionInACalculationIsLoggedAndEndsTheTask) {
    bool doneRan = false;
    {
        MainWindow main;
        main.startCalcTask([] { throw std::runtime_error("bad column"); }, [&] { doneRan = true; });
        for (int i = 0; i < 200 && !doneRan; ++i)
            test::processEventsFor(10);
    }
    EXPECT_TRUE(doneRan);
}

// ---- Actions of functions still to come -------------------------------------------

// On a window without datasets: the statistical summary is not offered
// yet; the session actions answer with their first dialog (or nothing).
TEST_F(MainWindowToolWindows, ActionsOnAnEmptyWindowAnswerWithTheirFirstDialog) {
    using Kind = testing::DialogCall::Kind;
    const struct {
        const char* menu;
        const char* item;
        int calls;
        Kind kind;
        const char* title;
        const char* text;
    } actions[] = {
        {"&File", "&Save Session...", 1, Kind::Information, "Save Session",
         "No datasets loaded to save."},
        {"&File", "&Load Session...", 1, Kind::OpenFile, "Load Session",
         "Quorvex3 Session (*.QV3);;All Files (*)"},
        {"&File", "&Clear Session", 0, Kind::Information, "", ""},
    };
    MainWindow main;
    for (const auto& a : actions) {
        SCOPED_TRACE(a.item);
        testing::ScriptedDialogProvider dialogs;
        ScopedDialogProvider guard(dialogs);
        trigger(main, a.menu, a.item);
        ASSERT_EQ(dialogs.calls.size(), std::size_t(a.calls));
        if (a.calls == 0)
            continue;
        EXPECT_EQ(dialogs.calls[0].kind, a.kind);
        EXPECT_EQ(dialogs.calls[0].title, QString::fromUtf8(a.title));
        EXPECT_EQ(dialogs.calls[0].text, QString::fromUtf8(a.text));
    }
}

} // namespace
} // namespace Quorvex3
