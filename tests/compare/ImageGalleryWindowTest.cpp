// The image gallery window and its tile grid: paging, labels and buttons,
// the contrast controls, the export, filtering through the dataset store,
// and the background tasks, held on a latch through the window's task seam
// to put a refresh, rebind or page change in the middle of a running task.
// The pixels themselves are checked in CompareCoresTest.cpp.

#include "compare/ImageGalleryWindow.h"
#include "compare/GalleryContrast.h"
#include "compare/GalleryGridWidget.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <atomic>
#include <memory>
#include <numeric>
#include <set>
#include <stdexcept>
#include <thread>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

bool showsPixmap(const QLabel* label) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return !label->pixmap().isNull();
#else
    return !label->pixmap(Qt::ReturnByValue).isNull();
#endif
}

TempDir tempDir;

// `events` frames of 60 x 80; the first `dark` events are dark (grey 20 to
// 59), the others bright (160 to 219), so lists with different shares of
// them have different automatic contrasts. area_um is the event index; the cell is 10.1 um wide
// and 5 um high (cutout 40 x 26 at 0.34 um/px and margin 5).
std::shared_ptr<RTDCReader> writeMeasurement(const std::string& name, size_t events, size_t dark) {
    std::vector<uint8_t> pixels(events * 60 * 80);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const size_t event = i / 4800;
        pixels[i] = static_cast<uint8_t>((event < dark ? 20 : 160) + (i * 7 + event) % 40);
    }
    std::vector<double> area(events), sizeX(events, 10.1), sizeY(events, 5.0);
    std::iota(area.begin(), area.end(), 0.0);
    RtdcFixtureWriter w(tempDir.file(name));
    w.addImageStack("image", events, 60, 80, pixels, Storage::chunked({25, 60, 80}, 4));
    w.addColumn("area_um", area);
    w.addColumn("size_x", sizeX);
    w.addColumn("size_y", sizeY);
    w.close();
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->openFile(w.path()));
    return reader;
}

int addDataset(DatasetStore& store, std::shared_ptr<RTDCReader> reader, const QString& name) {
    auto entry = std::make_unique<DatasetEntry>();
    entry->reader = std::move(reader);
    entry->displayName = name;
    entry->featuresLoaded = true;
    entry->metadata.imaging["pixel size"] = "0.34";
    const int row = store.append(std::move(entry));
    return store.at(row)->id;
}

FilterRule rangeRule(const std::string& feature, double min, double max) {
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = min;
    rule.maxValue = max;
    return rule;
}

template <typename Predicate> bool waitUntil(Predicate done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

bool settle(ImageGalleryWindow& window) {
    return waitUntil([&] { return !window.isBusy(); });
}

template <typename T> T* child(ImageGalleryWindow& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QString text(ImageGalleryWindow& window, const char* label) {
    return child<QLabel>(window, label)->text();
}

std::vector<int> range(int first, int count) {
    std::vector<int> v(static_cast<size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}

// The events the grid shows in cell order, without the empty cells.
std::vector<int> shown(const ImageGalleryWindow& window) {
    std::vector<int> events;
    for (const int e : window.grid()->shownEvents())
        if (e >= 0)
            events.push_back(e);
    return events;
}

// A task function that counts its starts and waits, each start in turn,
// until the test lets it go.
class Latch {
public:
    void release(int calls) { m_released += calls; }
    int starts() const { return m_starts; }
    bool waitForStart(int n) {
        return waitUntil([&] { return m_starts >= n; });
    }
    void enter() {
        const int call = ++m_starts;
        while (call > m_released)
            std::this_thread::yield();
    }

private:
    std::atomic<int> m_starts{0};
    std::atomic<int> m_released{0};
};

class GalleryWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_big = writeMeasurement("big.rtdc", 250, 125);
        s_small = writeMeasurement("small.rtdc", 30, 0);
    }
    static void TearDownTestSuite() {
        s_big.reset();
        s_small.reset();
    }
    void SetUp() override {
        bigId = addDataset(store, s_big, QStringLiteral("big"));
        smallId = addDataset(store, s_small, QStringLiteral("small"));
    }
    void hold(ImageGalleryWindow& window) {
        window.setRenderTask([this](std::shared_ptr<RTDCReader> r, GalleryRenderInput in) {
            renders.enter();
            return renderGalleryPage(std::move(r), std::move(in));
        });
    }
    void holdContrast(ImageGalleryWindow& window) {
        window.setContrastTask(
            [this](std::shared_ptr<RTDCReader> r, std::vector<int> events, std::uint32_t g) {
                contrasts.enter();
                return computeGalleryAutoContrast(std::move(r), std::move(events), g);
            });
    }
    static void choose(ImageGalleryWindow& window, const char* combo, int index) {
        child<QComboBox>(window, combo)->setCurrentIndex(index);
    }

    static std::shared_ptr<RTDCReader> s_big;
    static std::shared_ptr<RTDCReader> s_small;
    DatasetStore store;
    int bigId = -1;
    int smallId = -1;
    Latch renders;
    Latch contrasts;
};

std::shared_ptr<RTDCReader> GalleryWindow::s_big;
std::shared_ptr<RTDCReader> GalleryWindow::s_small;

// ---- Paging and labels ------------------------------------------------------------------

TEST_F(GalleryWindow, PagesLabelsAndButtonsFollowTheEventCount) {
    ImageGalleryWindow window(&store, bigId);
    window.show();
    ASSERT_TRUE(settle(window));
    EXPECT_FALSE(window.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(text(window, "headerLabel"), QStringLiteral("big"));
    EXPECT_EQ(text(window, "statusLabel"),
              QStringLiteral("250 events \u00B7 cutout 40 \u00D7 26 px"));
    auto* prev = child<QPushButton>(window, "prevButton");
    auto* next = child<QPushButton>(window, "nextButton");
    const struct {
        QPushButton* click;
        const char* label;
        bool prevOn, nextOn;
        std::vector<int> events;
    } steps[] = {{nullptr, "1 / 3", false, true, range(0, 100)},
                 {prev, "1 / 3", false, true, range(0, 100)}, // before the start
                 {next, "2 / 3", true, true, range(100, 100)},
                 {next, "3 / 3", true, false, range(200, 50)},
                 {next, "3 / 3", true, false, range(200, 50)}, // past the end
                 {prev, "2 / 3", true, true, range(100, 100)}};
    for (const auto& step : steps) {
        // A disabled button cannot be clicked: its slot is called, and must
        // ignore a request past either end.
        if (step.click && !step.click->isEnabled())
            QMetaObject::invokeMethod(&window, step.click == next ? "onNextPage" : "onPrevPage");
        else if (step.click)
            step.click->click();
        ASSERT_TRUE(settle(window));
        EXPECT_EQ(text(window, "pageLabel"), QString::fromLatin1(step.label));
        EXPECT_TRUE(prev->isEnabled() == step.prevOn && next->isEnabled() == step.nextOn)
            << step.label;
        EXPECT_EQ(shown(window), step.events) << step.label;
        EXPECT_EQ(window.grid()->columnCount(), 10);
    }
    // 400 per page: back to the first page, all 250 on it in a 20 x 20 grid.
    choose(window, "pageSizeCombo", 2);
    ASSERT_TRUE(settle(window));
    EXPECT_TRUE(text(window, "pageLabel") == "1 / 1" && !prev->isEnabled() && !next->isEnabled());
    EXPECT_EQ(shown(window), range(0, 250));
    EXPECT_EQ(window.grid()->columnCount(), 20);
    choose(window, "pageSizeCombo", 0);
    ASSERT_TRUE(settle(window));
    EXPECT_TRUE(text(window, "pageLabel") == "1 / 10" && window.grid()->columnCount() == 5);
}

TEST_F(GalleryWindow, AnUnknownOrUnloadedDatasetShowsNothing) {
    ImageGalleryWindow unknown(&store, 99);
    EXPECT_EQ(text(unknown, "headerLabel"), QStringLiteral("(dataset not found)"));
    EXPECT_EQ(text(unknown, "statusLabel"), QStringLiteral("No events to display."));
    EXPECT_EQ(text(unknown, "pageLabel"), QStringLiteral("0 / 0"));
    EXPECT_TRUE(shown(unknown).empty() && !unknown.isBusy());

    store.findById(smallId)->featuresLoaded = false;
    ImageGalleryWindow loading(&store, smallId);
    EXPECT_EQ(text(loading, "headerLabel"), QStringLiteral("small"));
    EXPECT_EQ(text(loading, "statusLabel"), QStringLiteral("No events to display."));
    store.findById(smallId)->featuresLoaded = true;
    loading.refreshFromMain();
    ASSERT_TRUE(settle(loading));
    EXPECT_EQ(shown(loading), range(0, 30));
}

// ---- Filtering ------------------------------------------------------------------------------

TEST_F(GalleryWindow, AGroupRuleOnAFeatureTheDatasetLacksTakesNoPart) {
    DatasetEntry* entry = store.findById(bigId);
    entry->filter.addRule(rangeRule("area_um", 10, 39));
    const int group = store.addGroup("fluorescence");
    store.addRuleToGroup(group, rangeRule("fl1_max", 100, 200)); // no fluorescence here
    store.setGroupEnabled(bigId, group, true);
    ImageGalleryWindow window(&store, bigId);
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(window.filteredIndices(), range(10, 30));
    EXPECT_EQ(shown(window), range(10, 30));

    entry->filter.setEnabled(false); // switched off: every event
    window.refreshFromMain();
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(window.filteredIndices().size(), 250u);
}

// ---- Contrast controls ------------------------------------------------------------------------

TEST_F(GalleryWindow, ManualContrastSpinsKeepLoBelowHi) {
    ImageGalleryWindow window(&store, smallId);
    auto* lo = child<QSpinBox>(window, "loSpin");
    auto* hi = child<QSpinBox>(window, "hiSpin");
    EXPECT_FALSE(lo->isEnabled() || hi->isEnabled() ||
                 child<QLabel>(window, "loLabel")->isEnabled());
    choose(window, "contrastCombo", 2);
    EXPECT_TRUE(lo->isEnabled() && hi->isEnabled() &&
                child<QLabel>(window, "hiLabel")->isEnabled());
    const int cases[][4] = {
        {200, 150, 200, 201}, {254, 100, 254, 255}, {10, 100, 10, 100}, {100, 100, 100, 101}};
    for (const auto& c : cases) {
        hi->setValue(c[1]);
        lo->setValue(c[0] - 1);
        hi->setValue(c[1]);
        lo->setValue(c[0]);
        EXPECT_TRUE(lo->value() == c[2] && hi->value() == c[3])
            << c[0] << " " << c[1] << " -> " << lo->value() << " " << hi->value();
    }
    choose(window, "contrastCombo", 0);
    EXPECT_FALSE(lo->isEnabled());
    ASSERT_TRUE(settle(window));
}

TEST_F(GalleryWindow, AutomaticContrastShowsComputingThenThePageAndSeedsManual) {
    ImageGalleryWindow window(&store, bigId);
    ASSERT_TRUE(settle(window));
    holdContrast(window);
    choose(window, "contrastCombo", 1);
    ASSERT_TRUE(contrasts.waitForStart(1));
    EXPECT_EQ(text(window, "statusLabel"), QStringLiteral("Computing auto-contrast\u2026"));
    EXPECT_TRUE(shown(window).empty());
    contrasts.release(1);
    ASSERT_TRUE(settle(window));
    const GalleryAutoContrastResult expected = computeGalleryAutoContrast(s_big, range(0, 250), 0);
    auto* lo = child<QSpinBox>(window, "loSpin");
    auto* hi = child<QSpinBox>(window, "hiSpin");
    EXPECT_TRUE(window.autoContrastValid() && window.autoLo() == expected.lo &&
                window.autoHi() == expected.hi);
    EXPECT_TRUE(lo->value() == expected.lo && hi->value() == expected.hi && !lo->isEnabled());
    EXPECT_EQ(shown(window), range(0, 100));
    EXPECT_EQ(text(window, "statusLabel"),
              QStringLiteral("250 events \u00B7 cutout 40 \u00D7 26 px"));
    // Paging reuses the window: no second computation.
    child<QPushButton>(window, "nextButton")->click();
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(contrasts.starts(), 1);
    lo->setValue(0); // ignored outside manual mode
    hi->setValue(255);
    choose(window, "contrastCombo", 2);
    EXPECT_TRUE(lo->value() == expected.lo && hi->value() == expected.hi);
    ASSERT_TRUE(settle(window));
}

// ---- Background tasks held on a latch ---------------------------------------------------------

TEST_F(GalleryWindow, PageChangesDuringARenderCostOneMoreRenderOfTheNewestPage) {
    ImageGalleryWindow window(&store, bigId);
    ASSERT_TRUE(settle(window));
    hold(window);
    auto* next = child<QPushButton>(window, "nextButton");
    next->click(); // page 2 renders, held
    ASSERT_TRUE(renders.waitForStart(1));
    next->click();                                     // page 3
    child<QPushButton>(window, "prevButton")->click(); // page 2 again
    next->click();                                     // page 3: the newest
    renders.release(2);
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(renders.starts(), 2);
    EXPECT_EQ(shown(window), range(200, 50));
    EXPECT_EQ(text(window, "pageLabel"), QStringLiteral("3 / 3"));
}

TEST_F(GalleryWindow, ARebindDuringARenderNeverShowsTheOldDatasetsTiles) {
    ImageGalleryWindow window(&store, bigId);
    ASSERT_TRUE(settle(window));
    hold(window);
    window.refreshFromMain();
    ASSERT_TRUE(renders.waitForStart(1)); // the first page of "big", held
    store.setActiveRow(store.rowOfId(smallId));
    child<QCheckBox>(window, "followActiveCheck")->setChecked(true);
    EXPECT_EQ(text(window, "headerLabel"), QStringLiteral("small"));
    renders.release(1);
    ASSERT_TRUE(renders.waitForStart(2)); // "small", held: big's result came and went
    EXPECT_TRUE(shown(window).empty());
    renders.release(1);
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(shown(window), range(0, 30));
    EXPECT_EQ(window.datasetId(), smallId);
}

// A rebind to an id the store no longer has is a page request too: the
// old dataset's render, still running, must not fill the grid when it ends.
TEST_F(GalleryWindow, ARebindToAnUnknownDatasetDuringARenderLeavesTheGridEmpty) {
    ImageGalleryWindow window(&store, bigId);
    ASSERT_TRUE(settle(window));
    hold(window);
    window.refreshFromMain();
    ASSERT_TRUE(renders.waitForStart(1)); // the first page of "big", held
    child<QCheckBox>(window, "followActiveCheck")->setChecked(true);
    window.onActiveDatasetChanged(store.nextDatasetId()); // no dataset has it
    EXPECT_EQ(text(window, "headerLabel"), QStringLiteral("(dataset not found)"));
    renders.release(1);
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(renders.starts(), 1);
    EXPECT_TRUE(shown(window).empty());
    EXPECT_EQ(text(window, "pageLabel"), QStringLiteral("0 / 0"));
}

TEST_F(GalleryWindow, ARenderStillRunningCannotRefillAnEmptiedPage) {
    DatasetEntry* big = store.findById(bigId);
    ImageGalleryWindow window(&store, bigId);
    ASSERT_TRUE(settle(window));
    hold(window);
    child<QPushButton>(window, "nextButton")->click();
    ASSERT_TRUE(renders.waitForStart(1));
    big->filter.addRule(rangeRule("area_um", 1000, 2000)); // nothing passes
    window.refreshFromMain();
    EXPECT_EQ(text(window, "statusLabel"), QStringLiteral("No events to display."));
    renders.release(1);
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(renders.starts(), 1);
    EXPECT_TRUE(shown(window).empty());
    EXPECT_EQ(text(window, "pageLabel"), QStringLiteral("0 / 0"));
}

TEST_F(GalleryWindow, PixelSizeFromMetadataOnlyWhenFiniteAndPositive) {
    // size_x 10.1 um and size_y 5 um with margin 5: cutout width and height.
    const struct {
        const char* value;
        int width, height;
    } cases[] = {{"0.34", 40, 26}, {" 0.5 ", 32, 20}, {"0", 40, 26},   {"-1", 40, 26},
                 {"abc", 40, 26},  {"inf", 40, 26},   {"nan", 40, 26}, {"1e-300", 1024, 1024}};
    for (const auto& c : cases) {
        store.findById(smallId)->metadata.imaging["pixel size"] = c.value;
        ImageGalleryWindow window(&store, smallId);
        ASSERT_TRUE(settle(window));
        EXPECT_TRUE(window.cutoutWidth() == c.width && window.cutoutHeight() == c.height)
            << c.value << ": " << window.cutoutWidth() << " x " << window.cutoutHeight();
    }
    store.findById(smallId)->metadata.imaging.erase("pixel size");
    ImageGalleryWindow window(&store, smallId);
    EXPECT_EQ(window.cutoutWidth(), 40);
    // Switching the automatic cutout off keeps the size; the spins then set it.
    child<QCheckBox>(window, "autoCutoutCheck")->setChecked(false);
    auto* width = child<QSpinBox>(window, "cutoutWidthSpin");
    EXPECT_TRUE(width->isEnabled() && width->value() == 40);
    width->setValue(64);
    ASSERT_TRUE(settle(window));
    EXPECT_EQ(window.cutoutWidth(), 64);
    EXPECT_EQ(text(window, "statusLabel"),
              QStringLiteral("30 events \u00B7 cutout 64 \u00D7 26 px"));
    child<QSpinBox>(window, "marginSpin")->setValue(0); // no effect on a manual cutout
    EXPECT_EQ(window.cutoutWidth(), 64);
    child<QCheckBox>(window, "autoCutoutCheck")->setChecked(true); // margin 0 now
    EXPECT_TRUE(window.cutoutWidth() == 30 && !width->isEnabled());
    ASSERT_TRUE(settle(window));
}

TEST_F(GalleryWindow, ARefreshOrRebindDuringAutomaticContrastEndsWithTheNewListsContrast) {
    DatasetEntry* big = store.findById(bigId);
    for (const bool rebind : {false, true}) {
        SCOPED_TRACE(rebind ? "rebind" : "refresh");
        big->filter = EventFilter();
        store.setActiveRow(store.rowOfId(bigId));
        Latch held;
        ImageGalleryWindow window(&store, bigId);
        window.setContrastTask(
            [&held](std::shared_ptr<RTDCReader> r, std::vector<int> events, std::uint32_t g) {
                held.enter();
                return computeGalleryAutoContrast(std::move(r), std::move(events), g);
            });
        choose(window, "contrastCombo", 1);
        ASSERT_TRUE(held.waitForStart(1)); // every event of "big": dark and bright
        std::vector<int> now;
        if (rebind) {
            window.onActiveDatasetChanged(smallId); // not followed yet
            EXPECT_EQ(window.datasetId(), bigId);
            child<QCheckBox>(window, "followActiveCheck")->setChecked(true);
            window.onActiveDatasetChanged(smallId);
            now = range(0, 30);
        } else {
            big->filter.addRule(rangeRule("area_um", 125, 249)); // the bright half
            window.refreshFromMain();
            now = range(125, 125);
        }
        held.release(2);
        ASSERT_TRUE(settle(window));
        EXPECT_EQ(held.starts(), 2);
        const auto expected = computeGalleryAutoContrast(rebind ? s_small : s_big, now, 0);
        const auto old = computeGalleryAutoContrast(s_big, range(0, 250), 0);
        ASSERT_NE(expected.lo, old.lo); // the lists differ visibly
        EXPECT_TRUE(window.autoContrastValid() && window.autoLo() == expected.lo &&
                    window.autoHi() == expected.hi)
            << window.autoLo() << " " << window.autoHi();
        EXPECT_EQ(shown(window),
                  std::vector<int>(now.begin(), now.begin() + std::min<size_t>(100, now.size())));
    }
}

TEST_F(GalleryWindow, AFailingTaskGivesAnEmptyPageAndFullRange) {
    ImageGalleryWindow window(&store, smallId);
    ASSERT_TRUE(settle(window));
    window.setRenderTask(
        [](std::shared_ptr<RTDCReader>, GalleryRenderInput) -> GalleryRenderResult {
            throw std::runtime_error("broken");
        });
    window.setContrastTask(
        [](std::shared_ptr<RTDCReader>, std::vector<int>,
           std::uint32_t) -> GalleryAutoContrastResult { throw std::bad_alloc(); });
    choose(window, "contrastCombo", 1);
    ASSERT_TRUE(settle(window));
    EXPECT_TRUE(window.autoContrastValid() && window.autoLo() == 0 && window.autoHi() == 255);
    EXPECT_TRUE(shown(window).empty());
    EXPECT_EQ(text(window, "statusLabel"),
              QStringLiteral("30 events \u00B7 cutout 40 \u00D7 26 px"));
}

TEST_F(GalleryWindow, ClosingWaitsForTheRunningRender) {
    std::atomic<bool> finished{false};
    ImageGalleryWindow window(&store, smallId);
    window.show();
    ASSERT_TRUE(settle(window));
    window.setRenderTask([&](std::shared_ptr<RTDCReader> r, GalleryRenderInput in) {
        renders.enter();
        auto result = renderGalleryPage(std::move(r), std::move(in));
        finished = true;
        return result;
    });
    QSignalSpy closed(&window, &ImageGalleryWindow::windowClosed);
    child<QCheckBox>(window, "showIdsCheck")->setChecked(false);
    ASSERT_TRUE(renders.waitForStart(1));
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        renders.release(1);
    });
    window.close();
    EXPECT_TRUE(finished) << "the window closed while its render ran";
    releaser.join();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).value<ImageGalleryWindow*>(), &window);

    // Shown and closed again (as a restore or a second close might), the
    // window has already been reported closed: its owner hears it once.
    window.show();
    window.close();
    EXPECT_EQ(closed.count(), 1);
}

// ---- Export
// ---------------------------------------------------------------------------------------

TEST_F(GalleryWindow, ExportProposesTheNameAndWritesThePage) {
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    ImageGalleryWindow window(&store, bigId);
    window.show();
    ASSERT_TRUE(settle(window));
    child<QPushButton>(window, "nextButton")->click();
    ASSERT_TRUE(settle(window));
    window.onDatasetRenamed(smallId, QStringLiteral("other")); // not this one
    window.onDatasetRenamed(bigId, QStringLiteral("blood"));
    EXPECT_EQ(text(window, "headerLabel"), QStringLiteral("blood"));

    const QString written = QString::fromStdString(tempDir.file("page"));
    dialogs.fileAnswers = {written, QString()};
    child<QPushButton>(window, "exportButton")->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("Export Gallery Page"));
    EXPECT_EQ(dialogs.calls[0].dir, QStringLiteral("gallery_blood_p2.png"));
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("PNG image (*.png)"));
    const QImage image(written + ".png");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window.grid()->size());
    // 10 x 10 tiles of 40 x 26 with 2 px between and 4 px around.
    EXPECT_EQ(image.width(), 4 + 10 * 40 + 9 * 2 + 4);

    window.onDatasetRenamed(bigId, QString());
    child<QPushButton>(window, "exportButton")->click(); // cancelled: nothing happens
    EXPECT_EQ(dialogs.calls.back().dir, QStringLiteral("gallery_dataset_p2.png"));
    EXPECT_EQ(dialogs.calls.size(), 2u);
    window.onDatasetRenamed(bigId, QStringLiteral("day 1/2\\b"));
    child<QPushButton>(window, "exportButton")->click(); // no folder in the proposed name
    EXPECT_EQ(dialogs.calls.back().dir, QStringLiteral("gallery_day 1_2_b_p2.png"));
}

TEST_F(GalleryWindow, AnUnwritableExportSaysSoAndKeepsTheOldFile) {
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    ImageGalleryWindow window(&store, smallId);
    window.show();
    ASSERT_TRUE(settle(window));
    // A folder that is a file: nothing can be created in it.
    const QString blocker = QString::fromStdString(tempDir.file("blocker"));
    QFile(blocker).open(QIODevice::WriteOnly);
    const QString bad = blocker + "/page.png";
    dialogs.fileAnswers = {bad};
    child<QPushButton>(window, "exportButton")->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].kind, DialogCall::Warning);
    EXPECT_EQ(dialogs.calls[1].title, QStringLiteral("Export failed"));
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("Could not write PNG to:\n") + bad);

    // A page that cannot be drawn (no size yet) leaves an existing file alone.
    ImageGalleryWindow empty(&store, 99);
    const QString old = QString::fromStdString(tempDir.file("old.png"));
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("previous page");
    }
    dialogs.fileAnswers = {old};
    empty.grid()->resize(0, 0);
    child<QPushButton>(empty, "exportButton")->click();
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Export failed"));
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("previous page"));
}

// ---- Tile grid
// ---------------------------------------------------------------------------------------

std::vector<GalleryTile> tiles(int count) {
    std::vector<GalleryTile> list(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        list[static_cast<size_t>(k)] = {cv::Mat(12, 16, CV_8UC1, cv::Scalar(k * 9)), 500 + k};
    return list;
}

std::vector<QString> visibleCaptions(const GalleryGridWidget& grid) {
    std::vector<QString> captions;
    for (const QLabel* label : grid.findChildren<QLabel*>())
        if (label->styleSheet().contains(QStringLiteral("font-size: 9px")) && !label->isHidden())
            captions.push_back(label->text());
    return captions;
}

TEST(GalleryGrid, ReusesItsCellsAndLeavesMissingTilesEmpty) {
    GalleryGridWidget grid;
    EXPECT_TRUE(grid.renderToPixmap().isNull()); // never shown, no size
    grid.setTiles(tiles(25), 5, true);
    EXPECT_EQ(grid.cellCapacity(), 25);
    EXPECT_EQ(grid.shownEvents(), range(500, 25));
    EXPECT_EQ(visibleCaptions(grid).size(), 25u);
    EXPECT_EQ(visibleCaptions(grid)[24], QStringLiteral("524"));
    const QSize full = grid.size();
    // Row-major 5 x 5: cell k at column k % 5 and row k / 5, each a column
    // and a row of its own.
    grid.layout()->activate();
    std::set<int> xs, ys;
    std::vector<QLabel*> images;
    for (QLabel* label : grid.findChildren<QLabel*>())
        if (showsPixmap(label))
            images.push_back(label);
    ASSERT_EQ(images.size(), 25u);
    for (const QLabel* label : images) {
        xs.insert(label->x());
        ys.insert(label->y());
    }
    EXPECT_TRUE(xs.size() == 5 && ys.size() == 5) << xs.size() << " x " << ys.size();
    EXPECT_TRUE(images[6]->x() == images[1]->x() && images[6]->y() == images[5]->y() &&
                images[6]->y() > images[1]->y() && images[6]->x() > images[5]->x());

    std::vector<GalleryTile> three = tiles(3);
    three[1].image = cv::Mat(); // unreadable: an empty cell without caption
    grid.setTiles(three, 5, true);
    EXPECT_EQ(grid.cellCapacity(), 25);
    std::vector<int> expected(25, -1);
    expected[0] = 500;
    expected[2] = 502;
    EXPECT_EQ(grid.shownEvents(), expected);
    EXPECT_EQ(visibleCaptions(grid), (std::vector<QString>{"500", "502"}));
    // The empty cells keep their places: the width stays; only the hidden
    // captions of rows 2 to 5 give their height back.
    EXPECT_EQ(grid.width(), full.width());

    grid.setTiles(tiles(3), 5, false);
    EXPECT_TRUE(visibleCaptions(grid).empty());
    const QImage picture = grid.renderToPixmap().toImage();
    ASSERT_EQ(picture.size(), grid.size());
    EXPECT_EQ(qGray(picture.pixel(4 + 16 + 2 + 5, 4 + 5)), 9); // tile 1
    EXPECT_EQ(picture.pixel(picture.width() - 3, picture.height() - 3),
              grid.palette().color(QPalette::Window).rgb()); // the grid's own background
    grid.setTiles(tiles(2), 0, true);                        // at least one column
    EXPECT_EQ(grid.columnCount(), 1);
    EXPECT_EQ(grid.shownEvents(), std::vector<int>{500});
    // One cell left in the layout: the other 24 image labels are gone from view.
    int visibleImages = 0;
    for (const QLabel* label : grid.findChildren<QLabel*>())
        visibleImages += !label->isHidden() && !label->styleSheet().contains("9px");
    EXPECT_EQ(visibleImages, 1);
    EXPECT_EQ(grid.cellCapacity(), 25);
}

} // namespace
