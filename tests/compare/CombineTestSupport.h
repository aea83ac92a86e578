#pragma once

// Shared by the combined plot window's tests: a main window with measurements
// written in code and loaded, a combined plot window on it, the window's
// controls by name, and generated populations for its drawing and exports.
// Offscreen; dialogs are scripted.

#include "app/MainPlotTestSupport.h"
#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_plot_item.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSpinBox>

#include <memory>
#include <string>
#include <vector>

namespace Quorvex3::test {

/// `n` events with area 20, 21, ... and deformation cycling through
/// 0.01 .. 0.05, plus the given extra columns.
inline Measurement cellsMeasurement(int n, const std::string& sample) {
    Measurement m;
    for (int i = 0; i < n; ++i) {
        m.columns["area_um"].push_back(20.0 + i);
        m.columns["deform"].push_back(0.01 * (1 + i % 5));
        m.columns["bright_avg"].push_back(100.0 + i);
    }
    m.textAttributes["experiment:sample"] = sample;
    return m;
}

/// `n` events whose area runs 20 + 100 i / n and deformation 0.01 + 0.05 of
/// a fixed scramble, with bright_avg 100 + i.
inline Measurement population(int n, double areaShift = 0.0, double deformShift = 0.0) {
    Measurement m;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double s = static_cast<double>((i * 7919) % n) / n;
        m.columns["area_um"].push_back(40.0 + areaShift + 30.0 * (t - 0.5) + 20.0 * (s - 0.5));
        m.columns["deform"].push_back(0.03 + deformShift + 0.02 * (s - 0.5) * (1.0 + t));
        m.columns["bright_avg"].push_back(100.0 + i % 37);
    }
    return m;
}

/// Sends a drag of `mime` into `target` at `at` and drops it there, as a
/// user's drag would; true when the drop was accepted.
inline bool dragAndDrop(QWidget* target, const QMimeData& mime, QPoint at) {
    QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

/// What both fixtures hold before their windows: the test's folder and the
/// scripted dialogs (made first, gone last).
class CombineTestBase : public ::testing::Test {
protected:
    /// The window's child of that type and name; a failure when missing.
    template <typename T> static T* childOf(const QWidget& window, const char* name) {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    testing::TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
};

/// A main window with loaded datasets and a combined plot window on it.
class CombineWindowTest : public CombineTestBase {
protected:
    void SetUp() override { clearSettings(); }

    /// Writes and opens one dataset per sample name; returns their ids.
    std::vector<int> openDatasets(const std::vector<std::string>& samples, int events = 30) {
        std::vector<int> ids;
        for (const std::string& sample : samples) {
            const std::string path = dir.file(sample + ".rtdc");
            writeMeasurement(path, cellsMeasurement(events, sample));
            EXPECT_TRUE(openAndWait(main, path)) << sample;
            ids.push_back(main.activeDatasetId());
        }
        return ids;
    }

    /// Ids of the window's references, in order.
    std::vector<int> refIds() const {
        std::vector<int> ids;
        for (const CombineDatasetRef& ref : window.references())
            ids.push_back(ref.datasetId);
        return ids;
    }

    template <typename T> T* control(const char* name) { return childOf<T>(window, name); }

    MainWindow main;
    CombinePlotWindow window{&main.store(), &main};
};

/// The same made anew in SetUp (the window 1200 x 900), for the drawing and
/// the exports.
class CombinePlotTest : public CombineTestBase {
protected:
    void SetUp() override {
        clearSettings();
        main = std::make_unique<MainWindow>();
        window = std::make_unique<CombinePlotWindow>(&main->store(), main.get());
        window->resize(1200, 900);
    }
    void TearDown() override {
        window.reset();
        main.reset();
    }

    /// Writes `m` as `name` in the test's folder, opens it and adds it to
    /// the combined plot window.
    DatasetEntry* add(const std::string& name, const Measurement& m) {
        const std::string path = dir.file(name);
        writeMeasurement(path, m);
        EXPECT_TRUE(openAndWait(*main, path)) << name;
        DatasetEntry* entry = main->activeDataset();
        window->addDataset(entry->id);
        return entry;
    }

    template <typename T> T* control(const char* name) const { return childOf<T>(*window, name); }
    void setCombo(const char* name, int index) { control<QComboBox>(name)->setCurrentIndex(index); }
    void setCheck(const char* name, bool on) { control<QCheckBox>(name)->setChecked(on); }

    /// The items of plot `index` with that run-time type.
    std::vector<QwtPlotItem*> items(size_t index, int rtti) const {
        const QwtPlotItemList list = window->plots().at(index)->itemList(rtti);
        return {list.begin(), list.end()};
    }

    static QByteArray bytesOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<MainWindow> main;
    std::unique_ptr<CombinePlotWindow> window;
};

} // namespace Quorvex3::test
