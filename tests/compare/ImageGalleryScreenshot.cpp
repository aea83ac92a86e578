// Development aid, not a test: writes a measurement of 300 generated cells
// (dark ellipses of random size and tilt on a noisy, unevenly lit channel,
// gzip-compressed), shows a 10 x 10 page of it in the gallery with automatic
// contrast and event IDs, and saves a picture of the window to the path given
// as the only argument. Run it on a real display server (e.g. under xvfb-run).
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"

#include <QApplication>
#include <QComboBox>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr size_t kEvents = 300, kHeight = 80, kWidth = 250;
constexpr double kPixelSize = 0.34;

std::string writeCells(const Quorvex3::testing::TempDir& dir) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 5.0);
    std::uniform_real_distribution<double> cxs(50, 200), cys(30, 50), radii(7, 14), tilt(-0.6, 0.6);
    std::vector<uint8_t> pixels(kEvents * kHeight * kWidth);
    std::vector<double> posX(kEvents), posY(kEvents), sizeX(kEvents), sizeY(kEvents);
    for (size_t e = 0; e < kEvents; ++e) {
        const double cx = cxs(rng), cy = cys(rng), rx = radii(rng), ry = rx * 0.75, a = tilt(rng);
        posX[e] = cx * kPixelSize;
        posY[e] = cy * kPixelSize;
        // The bounding box of the tilted ellipse, as the measurement records it.
        const double c = std::cos(a), sn = std::sin(a);
        sizeX[e] = 2 * std::sqrt(rx * rx * c * c + ry * ry * sn * sn) * kPixelSize;
        sizeY[e] = 2 * std::sqrt(rx * rx * sn * sn + ry * ry * c * c) * kPixelSize;
        for (size_t y = 0; y < kHeight; ++y)
            for (size_t x = 0; x < kWidth; ++x) {
                const double dx = static_cast<double>(x) - cx, dy = static_cast<double>(y) - cy;
                const double u = (dx * std::cos(a) + dy * std::sin(a)) / rx;
                const double v = (-dx * std::sin(a) + dy * std::cos(a)) / ry;
                const double r = std::sqrt(u * u + v * v);
                // A dark rim, a lighter inside, a slow brightness ramp across the channel.
                const double cell = r < 1.0 ? (r > 0.8 ? -55.0 : -25.0) : 0.0;
                const double value = 105.0 + static_cast<double>(x) / 20.0 + cell + noise(rng);
                pixels[(e * kHeight + y) * kWidth + x] =
                    static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
    }
    Quorvex3::testing::RtdcFixtureWriter w(dir.file("cells.rtdc"));
    w.addImageStack("image", kEvents, kHeight, kWidth, pixels,
                    Quorvex3::testing::Storage::chunked({100, kHeight, kWidth}, 4));
    w.addColumn("pos_x", posX);
    w.addColumn("pos_y", posY);
    w.addColumn("size_x", sizeX);
    w.addColumn("size_y", sizeY);
    w.close();
    return w.path();
}

} // namespace

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 1, "<output.png>"))
        return 2;
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    Quorvex3::testing::TempDir dir;
    auto entry = std::make_unique<Quorvex3::DatasetEntry>();
    entry->reader = std::make_shared<Quorvex3::RTDCReader>();
    if (!entry->reader->openFile(writeCells(dir)))
        return 1;
    entry->displayName = QStringLiteral("generated cells");
    entry->featuresLoaded = true;
    entry->metadata.imaging["pixel size"] = "0.34";
    Quorvex3::DatasetStore store;
    const int id = store.at(store.append(std::move(entry)))->id;

    Quorvex3::ImageGalleryWindow window(&store, id);
    window.show();
    window.findChild<QComboBox*>(QStringLiteral("contrastCombo"))->setCurrentIndex(1);
    Quorvex3::testing::spinEvents(300);
    while (window.isBusy())
        Quorvex3::testing::spinEvents(50);
    Quorvex3::testing::spinEvents(300);
    if (!Quorvex3::testing::saveGrab(window, argv[1]))
        return 1;
    std::printf("auto contrast %d..%d, cutout %d x %d\n", window.autoLo(), window.autoHi(),
                window.cutoutWidth(), window.cutoutHeight());
    return 0;
}
