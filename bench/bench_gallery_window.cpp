// The gallery window on the GUI thread, on the measurement of
// bench_gallery.cpp (10,000 events of 80 x 250 pixels, gzip chunks of 100
// frames): laying out a page of 400 tiles, a burst of Next clicks while
// renders run, and the resident memory over many page turns.
#include "GalleryBenchData.h"

#include "compare/GalleryGridWidget.h"
#include "compare/GalleryRender.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

using namespace galleryBench;
using Quorvex3::ImageGalleryWindow;

std::shared_ptr<Quorvex3::RTDCReader> openReader() {
    auto reader = std::make_shared<Quorvex3::RTDCReader>();
    return reader->openFile(benchFile()) ? reader : nullptr;
}

// A store holding the measurement as one loaded dataset.
struct Dataset {
    Quorvex3::DatasetStore store;
    int id = -1;
    bool open() {
        auto entry = std::make_unique<Quorvex3::DatasetEntry>();
        entry->reader = openReader();
        if (!entry->reader)
            return false;
        entry->displayName = QStringLiteral("bench");
        entry->featuresLoaded = true;
        entry->metadata.imaging["pixel size"] = "0.34";
        id = store.at(store.append(std::move(entry)))->id;
        return true;
    }
};

void processFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

bool settle(ImageGalleryWindow& window) {
    QElapsedTimer clock;
    clock.start();
    while (window.isBusy() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return !window.isBusy();
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Laying out a rendered page of 400 tiles in a shown grid (two pages in
// turn, as paging does).
void setTiles400(benchmark::State& state, bool paint) {
    const auto reader = openReader();
    if (!reader) {
        state.SkipWithError("cannot open the benchmark file");
        return;
    }
    std::vector<Quorvex3::GalleryRenderResult> pages;
    for (int page = 0; page < 2; ++page) {
        Quorvex3::GalleryRenderInput input;
        for (int k = 0; k < kPageSize; ++k)
            input.pageIndices.push_back(page * kPageSize + k);
        input.cutoutWidth = input.cutoutHeight = 64;
        input.pixelSize = kPixelSize;
        pages.push_back(Quorvex3::renderGalleryPage(reader, input));
    }
    Quorvex3::GalleryGridWidget grid;
    grid.show();
    grid.setTiles(pages[1].tiles, 20, true); // the labels exist from here on
    size_t turn = 0;
    for (auto _ : state) {
        grid.setTiles(pages[turn % 2].tiles, 20, true);
        if (paint) // the layout pass and the repaint that follow in the event loop
            grid.repaint();
        ++turn;
    }
    QCoreApplication::processEvents();
    state.counters["labels"] = grid.cellCapacity();
}
void BM_SetTiles400(benchmark::State& state) {
    setTiles400(state, false);
}
BENCHMARK(BM_SetTiles400)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SetTiles400AndRepaint(benchmark::State& state) {
    setTiles400(state, true);
}
BENCHMARK(BM_SetTiles400AndRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

// 50 Next clicks 5 ms apart at 100 tiles a page: the renders actually run
// (at most 2 + elapsed / render time when requests coalesce) and whether the
// last page requested is the one shown.
void BM_FiftyNextClicks(benchmark::State& state) {
    for (auto _ : state) {
        Dataset data;
        if (!data.open()) {
            state.SkipWithError("cannot open the benchmark file");
            return;
        }
        ImageGalleryWindow window(&data.store, data.id);
        std::atomic<int> renders{0};
        std::atomic<long long> renderNanoseconds{0};
        window.setRenderTask(
            [&](std::shared_ptr<Quorvex3::RTDCReader> r, Quorvex3::GalleryRenderInput in) {
                const auto start = std::chrono::steady_clock::now();
                auto result = Quorvex3::renderGalleryPage(std::move(r), std::move(in));
                renderNanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count();
                ++renders;
                return result;
            });
        window.show();
        if (!settle(window))
            state.SkipWithError("the first page never came");
        renders = 0;
        renderNanoseconds = 0;
        auto* next = window.findChild<QPushButton*>(QStringLiteral("nextButton"));
        QElapsedTimer clock;
        clock.start();
        for (int click = 0; click < 50; ++click) {
            next->click();
            processFor(5);
        }
        settle(window);
        const double elapsedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const double renderMs =
            static_cast<double>(renderNanoseconds) / 1e6 / std::max(1, renders.load());
        const std::vector<int>& shown = window.grid()->shownEvents();
        state.counters["renders"] = renders.load();
        state.counters["elapsed_ms"] = elapsedMs;
        state.counters["render_ms"] = renderMs;
        state.counters["bound"] = 2.0 + elapsedMs / renderMs;
        state.counters["last_page_shown"] = !shown.empty() && shown.front() == 50 * 100 ? 1 : 0;
    }
}
BENCHMARK(BM_FiftyNextClicks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Resident memory after 10 and after 60 page turns of 400 tiles (forward to
// the last page and back), and the grid's label count at both points.
void BM_MemoryOverPageTurns(benchmark::State& state) {
    for (auto _ : state) {
        Dataset data;
        if (!data.open()) {
            state.SkipWithError("cannot open the benchmark file");
            return;
        }
        ImageGalleryWindow window(&data.store, data.id);
        window.show();
        window.findChild<QComboBox*>(QStringLiteral("pageSizeCombo"))->setCurrentIndex(2);
        settle(window);
        auto* next = window.findChild<QPushButton*>(QStringLiteral("nextButton"));
        auto* prev = window.findChild<QPushButton*>(QStringLiteral("prevButton"));
        bool forward = true;
        auto turn = [&] {
            if (forward && !next->isEnabled())
                forward = false;
            else if (!forward && !prev->isEnabled())
                forward = true;
            (forward ? next : prev)->click();
            settle(window);
        };
        for (int i = 0; i < 10; ++i)
            turn();
        const double after10 = residentMegabytes();
        const auto labels10 = window.grid()->findChildren<QLabel*>().size();
        for (int i = 0; i < 50; ++i)
            turn();
        const double after60 = residentMegabytes();
        const auto labels60 = window.grid()->findChildren<QLabel*>().size();
        state.counters["rss10_MB"] = after10;
        state.counters["rss60_MB"] = after60;
        state.counters["growth_MB"] = after60 - after10;
        state.counters["labels10"] = static_cast<double>(labels10);
        state.counters["labels60"] = static_cast<double>(labels60);
    }
}
BENCHMARK(BM_MemoryOverPageTurns)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
