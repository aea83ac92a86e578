#pragma once

// A main window with generated measurements and a combined plot window on
// it, for the tests of the combined plots' drawing and exports. Offscreen;
// dialogs are scripted.

#include "app/MainPlotTestSupport.h"
#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotWindow.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_plot_item.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFile>
#include <QSpinBox>

#include <memory>
#include <string>
#include <vector>

namespace Quorvex3::test {

class CombinePlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearSettings();
        main = std::make_unique<MainWindow>();
        window = std::make_unique<CombinePlotWindow>(main.get());
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

    template <typename T> T* control(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
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

    testing::TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard{dialogs};
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<CombinePlotWindow> window;
};

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

} // namespace Quorvex3::test
