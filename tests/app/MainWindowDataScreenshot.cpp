// Development aid, not a test: writes a synthetic 100,000-event measurement
// (images, masks, three fluorescence traces, metadata), opens it in the main
// window with density colours and contours, selects one cell and saves a
// picture of the whole window. Run it on a display server, e.g.
//
//     xvfb-run -a quorvex3_data_screenshot out.png [measurement.rtdc]
//
// An existing measurement file at the optional second path is reused, so
// repeated runs skip the (slow) writing.
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"

#include <QComboBox>
#include <QDockWidget>
#include <QFileInfo>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::Storage;
using Quorvex3::testing::applyProgramLook;
using Quorvex3::testing::saveGrab;
using Quorvex3::testing::screenshotArguments;
using Quorvex3::testing::spinEvents;
using Quorvex3::testing::spinUntil;

constexpr size_t kEvents = 100000;
constexpr size_t kHeight = 80;
constexpr size_t kWidth = 250;
constexpr size_t kTraceSamples = 200;
constexpr double kPixelSize = 0.34; // µm per pixel
constexpr int kChannels = 3;

/// One synthetic cell: what the scalar features and the image agree on.
struct Cell {
    double area;   // µm²
    double deform; // 1 - circularity
    double posX;   // µm along the channel
    double posY;   // µm across
    double bright;
    double fl[kChannels];
};

std::vector<Cell> makeCells(std::mt19937& rng) {
    std::normal_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Cell> cells(kEvents);
    for (Cell& cell : cells) {
        const bool debris = uniform(rng) < 0.18;
        if (debris) {
            cell.area = std::exp(std::log(28.0) + 0.22 * unit(rng));
            cell.deform = std::clamp(0.045 + 0.015 * unit(rng), 0.004, 0.2);
        } else {
            cell.area = std::exp(std::log(95.0) + 0.2 * unit(rng));
            // Larger cells deform more in the same flow.
            cell.deform = std::clamp(0.012 + 0.00012 * (cell.area - 60.0) +
                                         0.006 * std::exp(0.6 * unit(rng)) - 0.006,
                                     0.002, 0.2);
        }
        cell.posX = 20.0 + 45.0 * uniform(rng);
        cell.posY = 13.6 + 0.8 * unit(rng);
        cell.bright = (debris ? 112.0 : 96.0) + 3.0 * unit(rng);
        const bool positive = uniform(rng) < 0.35;
        cell.fl[0] = std::exp((positive ? std::log(4000.0) : std::log(300.0)) + 0.35 * unit(rng));
        cell.fl[1] = std::exp(std::log(debris ? 150.0 : 900.0) + 0.4 * unit(rng));
        cell.fl[2] = std::exp(std::log(200.0) + 0.5 * unit(rng));
    }
    return cells;
}

/// Channel walls dark at top and bottom, a slightly uneven background, and
/// a fixed noise pattern (the same in every frame, as a camera's is).
std::vector<uint8_t> makeBackground(std::mt19937& rng) {
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<uint8_t> frame(kHeight * kWidth);
    for (size_t r = 0; r < kHeight; ++r)
        for (size_t c = 0; c < kWidth; ++c) {
            double value = 108.0 + 6.0 * std::sin(static_cast<double>(c) / 40.0) + noise(rng);
            if (r < 6 || r >= kHeight - 6)
                value = 45.0 + noise(rng);
            frame[r * kWidth + c] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
        }
    return frame;
}

/// Draws the cell as an ellipse stretched along the flow: a dark rim, a
/// lighter inside with some texture. Returns the mask in the same layout.
void drawCell(const Cell& cell, uint8_t* image, uint8_t* mask, std::mt19937& rng) {
    std::normal_distribution<double> noise(0.0, 3.0);
    const double radius = std::sqrt(cell.area / M_PI) / kPixelSize; // px
    const double stretch = 1.0 + 2.2 * cell.deform;
    const double a = radius * stretch; // along x
    const double b = radius / stretch;
    const double cx = cell.posX / kPixelSize;
    const double cy = cell.posY / kPixelSize + 20.0;
    const int r0 = std::max(0, static_cast<int>(cy - b - 2));
    const int r1 = std::min(static_cast<int>(kHeight) - 1, static_cast<int>(cy + b + 2));
    const int c0 = std::max(0, static_cast<int>(cx - a - 2));
    const int c1 = std::min(static_cast<int>(kWidth) - 1, static_cast<int>(cx + a + 2));
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const double dx = (c - cx) / a;
            const double dy = (r - cy) / b;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d > 1.08)
                continue;
            double value;
            if (d > 0.85)
                value = 55.0 + 20.0 * (d - 0.85) / 0.23; // dark membrane edge
            else
                value = cell.bright + 8.0 * std::cos(5.0 * dx) * std::sin(4.0 * dy) + noise(rng);
            const size_t at = static_cast<size_t>(r) * kWidth + static_cast<size_t>(c);
            image[at] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            if (d <= 1.0)
                mask[at] = 255;
        }
}

/// A fluorescence pulse as the cell passes the laser: a Gaussian whose
/// height is the channel's maximum, on a baseline with noise.
void drawTrace(double peak, int16_t* samples, std::mt19937& rng) {
    std::normal_distribution<double> noise(0.0, 6.0);
    for (size_t j = 0; j < kTraceSamples; ++j) {
        const double t = (static_cast<double>(j) - 100.0) / 14.0;
        const double value = 40.0 + peak * std::exp(-0.5 * t * t) + noise(rng);
        samples[j] = static_cast<int16_t>(std::clamp(value, -100.0, 32000.0));
    }
}

void writeScalarFeatures(RtdcFixtureWriter& w, const std::vector<Cell>& cells, std::mt19937& rng) {
    std::normal_distribution<double> unit(0.0, 1.0);
    auto column = [&](const char* name, auto value) {
        std::vector<float> values(cells.size());
        for (size_t i = 0; i < cells.size(); ++i)
            values[i] = static_cast<float>(value(i, cells[i]));
        w.addColumn<float>(name, values, Storage::compressed(1));
    };
    column("area_um", [](size_t, const Cell& c) { return c.area; });
    column("deform", [](size_t, const Cell& c) { return c.deform; });
    column("circ", [](size_t, const Cell& c) { return 1.0 - c.deform; });
    column("area_ratio", [&](size_t, const Cell&) { return 1.0 + 0.01 * std::abs(unit(rng)); });
    column("aspect",
           [](size_t, const Cell& c) { return (1.0 + 2.2 * c.deform) * (1.0 + 2.2 * c.deform); });
    column("bright_avg", [](size_t, const Cell& c) { return c.bright; });
    column("bright_sd", [&](size_t, const Cell&) { return 6.0 + 0.8 * unit(rng); });
    column("pos_x", [](size_t, const Cell& c) { return c.posX; });
    column("pos_y", [](size_t, const Cell& c) { return c.posY; });
    column("size_x", [](size_t, const Cell& c) {
        return 2.0 * std::sqrt(c.area / M_PI) * (1.0 + 2.2 * c.deform);
    });
    column("time", [](size_t i, const Cell&) { return static_cast<double>(i) / 950.0; });
    for (int k = 0; k < kChannels; ++k) {
        const std::string name = "fl" + std::to_string(k + 1) + "_max";
        column(name.c_str(), [k](size_t, const Cell& c) { return c.fl[k] + 40.0; });
    }
    std::vector<uint32_t> index(cells.size());
    for (size_t i = 0; i < index.size(); ++i)
        index[i] = static_cast<uint32_t>(i + 1);
    w.addColumn<uint32_t>("index", index, Storage::compressed(1));
}

void writeMetadata(RtdcFixtureWriter& w) {
    w.setStringAttribute("experiment:sample", "HL60 control");
    w.setStringAttribute("experiment:date", "2024-05-14");
    w.setStringAttribute("experiment:time", "10:42:07");
    w.setScalarAttribute<int64_t>("experiment:run index", 3);
    w.setScalarAttribute<int64_t>("experiment:event count", static_cast<int64_t>(kEvents));
    w.setScalarAttribute<double>("setup:channel width", 20.0);
    w.setStringAttribute("setup:chip region", "channel");
    w.setScalarAttribute<double>("setup:flow rate", 0.06);
    w.setStringAttribute("setup:medium", "CellCarrierB");
    w.setStringAttribute("setup:module composition", "AcCellerator");
    w.setScalarAttribute<double>("imaging:pixel size", kPixelSize);
    w.setScalarAttribute<double>("imaging:frame rate", 3000.0);
    w.setScalarAttribute<int64_t>("imaging:roi size x", static_cast<int64_t>(kWidth));
    w.setScalarAttribute<int64_t>("imaging:roi size y", static_cast<int64_t>(kHeight));
    w.setScalarAttribute<int64_t>("online_contour:bin area min", 10);
    w.setScalarAttribute<int64_t>("online_contour:bin threshold", -6);
    w.setScalarAttribute<int64_t>("fluorescence:channel count", kChannels);
    w.setStringAttribute("fluorescence:channel 1 name", "525/50");
    w.setStringAttribute("fluorescence:channel 2 name", "593/46");
    w.setStringAttribute("fluorescence:channel 3 name", "700/75");
    w.setScalarAttribute<int64_t>("fluorescence:baseline 1 offset", 0);
    w.setScalarAttribute<int64_t>("fluorescence:sample rate", 1000000);
    w.setScalarAttribute<int64_t>("fluorescence:samples per event",
                                  static_cast<int64_t>(kTraceSamples));
    w.setScalarAttribute<double>("fluorescence:laser 1 power", 25.0);
    w.setScalarAttribute<int64_t>("fluorescence:laser 1 lambda", 488);
    w.setStringAttribute("user:operator", "lab 2");
}

void writeMeasurement(const std::string& path) {
    std::mt19937 rng(20240514);
    const std::vector<Cell> cells = makeCells(rng);
    RtdcFixtureWriter w(path);
    writeScalarFeatures(w, cells, rng);
    writeMetadata(w);

    const std::vector<uint8_t> background = makeBackground(rng);
    const size_t frame = kHeight * kWidth;
    std::vector<uint8_t> images(kEvents * frame);
    std::vector<uint8_t> masks(kEvents * frame, 0);
    for (size_t i = 0; i < kEvents; ++i) {
        std::copy(background.begin(), background.end(), images.begin() + i * frame);
        drawCell(cells[i], images.data() + i * frame, masks.data() + i * frame, rng);
    }
    const Storage stackStorage = Storage::chunked({50, kHeight, kWidth}, 1);
    w.addImageStack("image", kEvents, kHeight, kWidth, images, stackStorage);
    images = {};
    w.addImageStack("mask", kEvents, kHeight, kWidth, masks, stackStorage);
    masks = {};

    std::vector<int16_t> trace(kEvents * kTraceSamples);
    for (int k = 0; k < kChannels; ++k) {
        for (size_t i = 0; i < kEvents; ++i)
            drawTrace(cells[i].fl[k], trace.data() + i * kTraceSamples, rng);
        w.addTrace("fl" + std::to_string(k + 1) + "_median", kEvents, kTraceSamples, trace,
                   Storage::chunked({1000, kTraceSamples}, 1));
    }
}

/// A cell of about the population's median size, to show in the views.
int typicalCell(Quorvex3::RTDCReader& reader) {
    const std::vector<double>& area = reader.readScalarFeature("area_um");
    for (size_t i = 0; i < area.size(); ++i)
        if (area[i] > 94.0 && area[i] < 100.0)
            return static_cast<int>(i);
    return 0;
}

bool selectData(QComboBox* combo, const QString& data) {
    const int index = combo ? combo->findData(data) : -1;
    if (index >= 0)
        combo->setCurrentIndex(index);
    return index >= 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!screenshotArguments(argc, argv, 1, 2, "<output.png> [measurement.rtdc]"))
        return 2;
    const std::string measurement = argc == 3 ? argv[2] : "/tmp/quorvex3_screenshot_100k.rtdc";
    if (!QFileInfo::exists(QString::fromStdString(measurement))) {
        std::fprintf(stderr, "writing %s ...\n", measurement.c_str());
        writeMeasurement(measurement);
    }

    Quorvex3::SafeApplication app(argc, argv);
    applyProgramLook();

    Quorvex3::MainWindow window;
    window.show();
    window.addDataset(QString::fromStdString(measurement));
    if (!spinUntil([&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; })) {
        std::fprintf(stderr, "the measurement did not load\n");
        return 1;
    }
    spinEvents(300);

    const bool coloured = selectData(window.findChild<QComboBox*>(QStringLiteral("colorCombo")),
                                     QStringLiteral("__density_kde__"));
    if (auto* contours = window.findChild<QComboBox*>(QStringLiteral("contourModeCombo")))
        contours->setCurrentIndex(1);
    if (auto* spin = window.findChild<QSpinBox*>(QStringLiteral("eventSpinBox")))
        spin->setValue(typicalCell(*window.activeReader()));
    if (auto* dock = window.findChild<QDockWidget*>(QStringLiteral("metadataDock")))
        dock->raise();
    spinEvents(1500);
    if (!coloured)
        std::fprintf(stderr, "no density colour offered\n");

    return saveGrab(window, argv[1]) ? 0 : 1;
}
