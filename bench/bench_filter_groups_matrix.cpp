// The groups-by-datasets matrix window with many datasets and groups: a
// full rebuild of its grid, the refresh that only sets the boxes (what every
// plot refresh costs an open matrix window), and switching all groups of a
// dataset with one plot refresh against one refresh per group.
//
// Run: build/bench/bench_filter_groups_matrix (offscreen; no display needed).
#include "app/MainWindow.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Quorvex3::MainWindow;

/// Lets the window lay out and paint, and deletes what was deleted later.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

/// A main window with `datasets` five-event measurements open (in ten
/// folders) and `groups` groups, every third switch on. Built once per
/// size, as opening a hundred files takes a while.
class Workspace {
public:
    Workspace(int datasets, int groups) {
        for (int d = 0; d < datasets; ++d) {
            const std::string path = m_dir.file("day" + std::to_string(d % 10) + "/sample" +
                                                std::to_string(d) + ".rtdc");
            QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
            {
                Quorvex3::testing::RtdcFixtureWriter writer(path);
                writer.addColumn<double>("area_um", {10, 20, 30, 40, 50});
                writer.addColumn<double>("deform", {0.05, 0.04, 0.03, 0.02, 0.01});
            }
            m_window.addDataset(QString::fromStdString(path));
        }
        QElapsedTimer clock;
        clock.start();
        while (!allLoaded(datasets) && clock.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!allLoaded(datasets))
            std::abort();
        for (int g = 0; g < groups; ++g)
            m_window.addFilterGroup("Group " + std::to_string(g));
        // Stored directly: one plot refresh per switch would only slow the
        // set-up down.
        for (const auto& entry : m_window.datasets())
            for (int g = 0; g < groups; g += 3)
                entry->groupEnabled[g] = true;
        m_window.refreshFilterGroupsUi();
        settle();
    }

    MainWindow& window() { return m_window; }

    void setFolderView(bool on) {
        m_window.findChild<QComboBox*>(QStringLiteral("viewModeCombo"))
            ->setCurrentIndex(on ? 1 : 0);
        settle();
    }

private:
    bool allLoaded(int datasets) const {
        if (static_cast<int>(m_window.datasets().size()) != datasets)
            return false;
        for (const auto& entry : m_window.datasets())
            if (!entry->featuresLoaded)
                return false;
        return true;
    }

    Quorvex3::testing::TempDir m_dir;
    MainWindow m_window;
};

// Released in main(), while the application object still exists.
std::unique_ptr<Workspace> s_workspace;

Workspace& workspace() {
    if (!s_workspace)
        s_workspace = std::make_unique<Workspace>(100, 20);
    return *s_workspace;
}

/// Headers and rows rebuilt from scratch: a group is renamed between the
/// refreshes, so the grid's layout changes every time.
void BM_MatrixRebuild(benchmark::State& state) {
    Workspace& space = workspace();
    space.setFolderView(state.range(0) != 0);
    Quorvex3::FilterGroupsMatrixWindow matrix(
        &space.window().store(),
        {space.window().datasetFolderViewActive(), space.window().datasetFolderDepth()});
    matrix.show();
    settle();
    const int groupId = space.window().filterGroups().front()->id;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        space.window().renameFilterGroup(groupId, flip ? "Group 0 (renamed)" : "Group 0");
        matrix.refresh();
        settle();
    }
    state.counters["boxes"] = static_cast<double>(space.window().datasets().size() *
                                                  space.window().filterGroups().size());
    state.SetLabel(state.range(0) ? "folder view, 100 datasets x 20 groups"
                                  : "list view, 100 datasets x 20 groups");
    space.setFolderView(false);
}
BENCHMARK(BM_MatrixRebuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

/// The refresh of an open matrix window that every plot refresh causes when
/// only switches changed: the boxes are set in place.
void BM_MatrixRefreshInPlace(benchmark::State& state) {
    Workspace& space = workspace();
    Quorvex3::FilterGroupsMatrixWindow matrix(&space.window().store());
    matrix.show();
    settle();
    bool on = false;
    for (auto _ : state) {
        on = !on;
        space.window().datasets().front()->groupEnabled[1] = on;
        matrix.refresh();
        settle();
    }
    state.SetLabel("100 datasets x 20 groups");
}
BENCHMARK(BM_MatrixRefreshInPlace)->Unit(benchmark::kMillisecond);

/// Switching every group of one dataset, as a click on its name does: with
/// one plot refresh (the matrix window's way) or with one per group.
void BM_SwitchRowOfGroups(benchmark::State& state) {
    Workspace& space = workspace();
    MainWindow& window = space.window();
    QMetaObject::invokeMethod(&window, "openFilterGroupsMatrixWindow", Qt::DirectConnection);
    Quorvex3::FilterGroupsMatrixWindow* matrix = window.filterGroupsMatrixWindows().back();
    settle();
    const int datasetId = window.activeDatasetId();
    std::vector<int> groupIds;
    for (const auto& group : window.filterGroups())
        groupIds.push_back(group->id);
    const bool oneRefresh = state.range(0) != 0;
    bool on = false;
    for (auto _ : state) {
        on = !on;
        if (oneRefresh) {
            window.setGroupsEnabled(datasetId, groupIds, on);
        } else {
            for (const int groupId : groupIds)
                window.setGroupEnabled(datasetId, groupId, on);
        }
        settle();
    }
    state.SetLabel(oneRefresh ? "one refresh, 20 groups" : "one refresh per group, 20 groups");
    matrix->close();
    settle();
}
BENCHMARK(BM_SwitchRowOfGroups)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    // The main window reads and writes its settings: keep them away from
    // the user's own.
    const QByteArray home = QDir::tempPath().toUtf8() + "/quorvex3-bench-home";
    QDir().mkpath(QString::fromUtf8(home));
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/config");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s_workspace.reset();
    return 0;
}
