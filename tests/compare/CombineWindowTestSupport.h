#pragma once

// Shared by the combined plot window's tests: a main window with measurements
// written in code and loaded, a combined plot window on it, and the window's
// controls by name.

#include "app/MainPlotTestSupport.h"
#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSpinBox>

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

/// A main window with loaded datasets and a combined plot window on it.
class CombineWindowTest : public ::testing::Test {
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

    template <typename T> T* control(const char* name) {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    testing::TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    MainWindow main;
    CombinePlotWindow window{&main};
};

} // namespace Quorvex3::test
