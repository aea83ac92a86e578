#pragma once

// Shared by the session tests of the main window: fixture measurements
// (a rich one on which every derived-feature computation runs), a window
// with scripted dialogs, and the menu actions of save, load and clear.

#include "MainPlotTestSupport.h"

#include "app/MainWindow.h"
#include "app/StatSummaryTable.h"
#include "calc/EModulus.h"
#include "calc/ImageFeatures.h"
#include "compare/CombineDatasetRef.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "session/SessionFile.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <armadillo>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMetaObject>
#include <QTextStream>
#include <QThread>

#include <sys/resource.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <functional>
#include <limits>
#include <random>

namespace Quorvex3::sessiontest {

using testing::DialogCall;
using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::TempDir;
using Button = QMessageBox::StandardButton;

constexpr int kEvents = 30;

/// A measurement of `events` cells. A rich one also has two fluorescence
/// channels with traces, and images with masks showing one round cell, so
/// that every derived-feature computation can run on it.
inline void writeCells(const std::string& path, int events, double shift, bool rich = false) {
    std::vector<double> area, deform, bright, flMax[2], posX, sizeX;
    for (int i = 0; i < events; ++i) {
        area.push_back(50.0 + (i * 37 % 60) + shift);
        deform.push_back(0.01 + 0.001 * (i * 13 % 50));
        bright.push_back(100.0 + i % 7 - shift);
        flMax[0].push_back(500.0 + 40.0 * (i % 9));
        flMax[1].push_back(300.0 + 25.0 * (i % 5));
        posX.push_back(20.0 + 0.1 * (i % 10));
        sizeX.push_back(8.0 + 0.05 * (i % 10));
    }
    RtdcFixtureWriter w(path);
    w.addColumn<double>("area_um", area);
    w.addColumn<double>("deform", deform);
    w.addColumn<double>("bright_avg", bright);
    if (!rich)
        return;
    w.addColumn<double>("fl1_max", flMax[0]);
    w.addColumn<double>("fl2_max", flMax[1]);
    w.addColumn<double>("pos_x", posX);
    w.addColumn<double>("size_x", sizeX);
    const std::size_t samples = 64, side = 24;
    std::vector<std::int16_t> traces[2];
    for (int i = 0; i < events; ++i)
        for (std::size_t s = 0; s < samples; ++s)
            for (int c = 0; c < 2; ++c) {
                const double x = (static_cast<double>(s) - 32.0) / 6.0;
                traces[c].push_back(
                    static_cast<std::int16_t>(20 + flMax[c][std::size_t(i)] * std::exp(-x * x)));
            }
    w.addTrace("fl1_raw", std::size_t(events), samples, traces[0]);
    w.addTrace("fl2_raw", std::size_t(events), samples, traces[1]);
    std::vector<std::uint8_t> image, mask;
    for (int i = 0; i < events; ++i)
        for (std::size_t y = 0; y < side; ++y)
            for (std::size_t x = 0; x < side; ++x) {
                const double dx = double(x) - 11.5,
                             dy = (double(y) - 11.5) * (1.0 + 0.01 * (i % 5));
                const bool inside = dx * dx + dy * dy < 49.0;
                image.push_back(static_cast<std::uint8_t>(inside ? 60 + (x * y) % 40 : 120));
                mask.push_back(inside ? 255 : 0);
            }
    w.addImageStack("image", std::size_t(events), side, side, image);
    w.addImageStack("mask", std::size_t(events), side, side, mask);
    w.setScalarAttribute<double>("imaging:pixel size", 0.34);
    w.setScalarAttribute<double>("setup:channel width", 20.0);
    w.setScalarAttribute<double>("setup:flow rate", 0.16);
}

/// A program folder with a Young's modulus table over areas 20 to 220 µm²
/// and deformations 0 to 0.1.
inline QString lutFolder(const TempDir& dir) {
    const QString base = QString::fromStdString(dir.file("program"));
    QDir().mkpath(base + QStringLiteral("/data"));
    QFile file(base + QStringLiteral("/data/LUT_LE_2D_FEM.txt"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QTextStream out(&file);
    out << "area_um deform emodulus\n";
    for (int k = 0; k < 441; ++k) {
        const double area = 20.0 + 10.0 * (k % 21), d = 0.005 * (k / 21);
        out << area << ' ' << d << ' ' << 0.5 + 0.01 * area + 20.0 * d << '\n';
    }
    return base;
}

inline QJsonObject readJson(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

inline bool writeText(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Sessions : public ::testing::Test {
protected:
    void SetUp() override {
        m_guard = std::make_unique<ScopedDialogProvider>(dialogs);
        window = std::make_unique<MainWindow>();
    }
    void TearDown() override {
        window.reset();
        m_guard.reset();
    }

    QString path(const std::string& name) const { return QString::fromStdString(dir.file(name)); }

    /// Writes a measurement and opens it; it is then active and loaded.
    DatasetEntry* open(const std::string& name, double shift = 0.0, bool rich = false) {
        writeCells(dir.file(name), kEvents, shift, rich);
        EXPECT_TRUE(test::openAndWait(*window, dir.file(name))) << name;
        return window->activeDataset();
    }

    void trigger(const char* menu, const char* item) {
        QAction* action = test::actionNamed(test::menuNamed(*window, QString::fromUtf8(menu)),
                                            QString::fromUtf8(item));
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }

    /// Saves through the menu, the file dialog answering `file`.
    void save(const QString& file) {
        dialogs.fileAnswers.push_back(file);
        trigger("&File", "&Save Session...");
    }

    /// Loads through the menu (confirming when asked, with `answers` for the
    /// boxes that follow) and waits for the load to end.
    bool load(const QString& file, std::vector<Button> answers = {}, int settleMs = 20) {
        const bool asks = !window->datasets().empty() || !window->combinePlotWindows().empty() ||
                          !window->statisticalEvalWindows().empty() ||
                          !window->imageGalleryWindows().empty();
        dialogs.buttonAnswers.clear();
        if (asks)
            dialogs.buttonAnswers.push_back(QMessageBox::Ok);
        for (Button answer : answers)
            dialogs.buttonAnswers.push_back(answer);
        dialogs.fileAnswers.push_back(file);
        trigger("&File", "&Load Session...");
        const bool ended = test::waitUntil([&] { return !window->sessionLoading(); });
        test::processEventsFor(settleMs);
        return ended;
    }

    void clear() {
        dialogs.buttonAnswers.push_back(QMessageBox::Ok);
        trigger("&File", "&Clear Session");
    }

    QString infoText() { return test::part<QLabel>(*window, "infoLabel")->text(); }

    std::vector<QString> names() const {
        std::vector<QString> result;
        for (const auto& entry : window->datasets())
            result.push_back(entry->displayName);
        return result;
    }

    std::vector<const DialogCall*> callsTitled(const QString& title) const {
        std::vector<const DialogCall*> found;
        for (const DialogCall& call : dialogs.calls)
            if (call.title == title)
                found.push_back(&call);
        return found;
    }

    TempDir dir;
    ScriptedDialogProvider dialogs;
    std::unique_ptr<MainWindow> window;

private:
    std::unique_ptr<ScopedDialogProvider> m_guard;
};

} // namespace Quorvex3::sessiontest
