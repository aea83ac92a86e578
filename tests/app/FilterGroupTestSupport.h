#pragma once

// Shared by the filter-group tests of the main window: small measurements
// written by the fixture writer, opening them in a window, and rules.

#include "MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "core/FilterRule.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>

#include <string>
#include <utility>
#include <vector>

namespace Quorvex3::test {

/// Runs the deleteLater() calls that are pending.
inline void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

/// Writes a five-event measurement at `path` (creating its folders):
/// area_um 10, 20, 30, 40, 50 and deform 0.05, 0.04, 0.03, 0.02, 0.01.
inline void writeSmallMeasurement(const std::string& path) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    writer.addColumn<double>("area_um", {10.0, 20.0, 30.0, 40.0, 50.0});
    writer.addColumn<double>("deform", {0.05, 0.04, 0.03, 0.02, 0.01});
}

/// Opens `path` and waits until it is the active, loaded dataset.
inline bool openAndWait(MainWindow& window, const std::string& path) {
    window.addDataset(QString::fromStdString(path));
    const bool loaded = waitUntil([&] {
        const DatasetEntry* entry = window.activeDataset();
        return entry && entry->filePath == path && entry->featuresLoaded;
    });
    processEventsFor(20);
    return loaded;
}

/// Writes and opens `count` measurements named m0.rtdc, m1.rtdc, ... in
/// `dir`; the last one ends up active. Returns their paths.
inline std::vector<std::string> openMeasurements(MainWindow& window,
                                                 const Quorvex3::testing::TempDir& dir, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(dir.file("m" + std::to_string(i) + ".rtdc"));
        writeSmallMeasurement(paths.back());
        if (!openAndWait(window, paths.back()))
            return {};
    }
    return paths;
}

inline FilterRule rangeRule(const std::string& feature, double lo, double hi) {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

inline FilterRule polygonRule(std::vector<std::pair<double, double>> vertices) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = "area_um";
    rule.featureNameY = "deform";
    rule.polygonVertices = std::move(vertices);
    return rule;
}

} // namespace Quorvex3::test
