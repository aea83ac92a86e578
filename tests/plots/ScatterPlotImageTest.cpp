#include "ScatterPlotTestSupport.h"
#include "plots/ColorMaps.h"
#include "density/DensityEstimator.h"
#include "plots/PlotExportStyle.h"
#include "plots/ScatterPlot.h"

#include <qwt_color_map.h>
#include <qwt_plot_renderer.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace Quorvex3 {
namespace {

using testing::ensureApplication;

/// Two clouds of cells in area (µm²) and deformation, like a blood sample.
void makeEvents(size_t n, std::vector<double>& area, std::vector<double>& deform) {
    std::mt19937 rng(20240611u);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> pick(0.0, 1.0);
    area.resize(n);
    deform.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const bool second = pick(rng) < 0.3;
        const double a =
            second ? 95.0 * std::exp(0.12 * unit(rng)) : 55.0 * std::exp(0.15 * unit(rng));
        const double d =
            second ? 0.025 * std::exp(0.35 * unit(rng)) : 0.012 * std::exp(0.4 * unit(rng));
        area[i] = a;
        deform[i] = d;
    }
}

/// Lines of constant modulus shaped like the real ones: deformation falling
/// with the modulus, rising with the area.
std::vector<IsoLine> makeIsolines() {
    std::vector<IsoLine> lines;
    for (const double value : {0.6, 0.9, 1.2, 2.0}) {
        IsoLine line;
        line.value = value;
        for (double a = 30.0; a <= 150.0; a += 5.0)
            line.points.emplace_back(a, 0.0009 * std::pow(a, 0.75) / value);
        lines.push_back(std::move(line));
    }
    return lines;
}

QString outputPath(const QTemporaryDir& dir) {
    const QByteArray env = qgetenv("QUORVEX3_PNG_OUT");
    return env.isEmpty() ? QDir(dir.path()).filePath("scatter.png") : QString::fromLocal8Bit(env);
}

TEST(ScatterPlotImage, DensityColouredEventsWithContoursAndIsolines) {
    ensureApplication();
    std::vector<double> area;
    std::vector<double> deform;
    makeEvents(100000, area, deform);
    const std::vector<double> density =
        DensityEstimator::estimateNaNSafe(area, deform, DensityMethod::KDE);
    const std::vector<ContourLevel> levels =
        DensityEstimator::computeContours(area, deform, {0.5, 0.95}, 0);
    ASSERT_EQ(levels.size(), 2u);
    ASSERT_FALSE(levels[0].paths.empty());

    ScatterPlot plot;
    plot.resize(900, 650);
    plot.show();
    QApplication::processEvents();
    plot.setData(area, deform, QString::fromUtf8("Area [µm²]"), "Deformation", density, "Density");
    plot.setContours(levels);
    plot.setIsolines(makeIsolines(), true);
    plot.replot();
    QApplication::processEvents();

    const QImage shown = plot.grab().toImage();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = outputPath(dir);
    ASSERT_TRUE(shown.save(path, "PNG")) << path.toStdString();
    EXPECT_FALSE(QImage(path).isNull());

    // The densest spot carries the map's end colour (Viridis yellow); an
    // empty corner of the canvas stays white.
    const auto densest = std::max_element(density.begin(), density.end()) - density.begin();
    const QPoint peak = testing::roundedPixelOf(plot, area[static_cast<size_t>(densest)],
                                                deform[static_cast<size_t>(densest)]);
    const QImage canvas = plot.canvas()->grab().toImage();
    const QRgb top = canvas.pixel(peak);
    EXPECT_GT(qRed(top), 200);
    EXPECT_GT(qGreen(top), 200);
    EXPECT_LT(qBlue(top), 100);
    EXPECT_EQ(canvas.pixel(canvas.width() - 3, 3), qRgb(255, 255, 255));

    // The same plot in the export look renders without losing its colour bar.
    const PlotExportStyle saved = applyExportStyle(&plot);
    QwtPlotRenderer renderer;
    configureExportRenderer(renderer);
    QImage exported(900, 650, QImage::Format_ARGB32);
    exported.fill(Qt::white);
    renderer.renderTo(&plot, exported);
    restoreExportStyle(&plot, saved);
    const QString exportPath =
        QFileInfo(path).dir().filePath(QFileInfo(path).completeBaseName() + "-export.png");
    EXPECT_TRUE(exported.save(exportPath, "PNG"));
    EXPECT_TRUE(plot.axisEnabled(QwtPlot::yRight));
}

// The selected event's marker vanished on the yellow and orange parts of the
// maps (it was yellow on yellow). Over dots of every map's start, middle and
// end colour, some of its pixels must stand out clearly from the dots.
TEST(ScatterPlotImage, SelectedEventStandsOutOnEveryColourMap) {
    ensureApplication();
    ScatterPlot plot;
    plot.resize(640, 480);
    plot.show();
    QApplication::processEvents();
    for (int map = 0; map < 6; ++map) {
        for (const double t : {0.0, 0.5, 1.0}) {
            SCOPED_TRACE(::testing::Message() << "map " << map << " at " << t);
            // A patch of dots of colour t around (5, 5); two far corners fix
            // the colour range to [0, 1].
            std::vector<double> x{0.0, 10.0};
            std::vector<double> y{0.0, 10.0};
            std::vector<double> c{0.0, 1.0};
            for (int i = 0; i <= 40; ++i)
                for (int j = 0; j <= 40; ++j) {
                    x.push_back(4.0 + 0.05 * i);
                    y.push_back(4.0 + 0.05 * j);
                    c.push_back(t);
                }
            plot.setColorMapIndex(map);
            plot.setData(x, y, "x", "y", c, "c");
            plot.clearHighlight();
            const QImage without = plot.canvas()->grab().toImage();
            plot.highlightPoint(2 + 20 * 41 + 20); // the dot at (5, 5)
            const QImage with = plot.canvas()->grab().toImage();

            std::unique_ptr<QwtLinearColorMap> colours(createColorMap(map));
            const QColor dot(colours->rgb(QwtInterval(0.0, 1.0), t));
            double strongest = 0.0;
            int markerPixels = 0;
            for (int py = 0; py < with.height(); ++py)
                for (int px = 0; px < with.width(); ++px) {
                    if (with.pixel(px, py) == without.pixel(px, py))
                        continue;
                    ++markerPixels;
                    const QColor p = with.pixelColor(px, py);
                    strongest =
                        std::max(strongest, std::hypot(p.red() - dot.red(), p.green() - dot.green(),
                                                       p.blue() - dot.blue()));
                }
            EXPECT_GT(markerPixels, 50);
            EXPECT_GT(strongest, 200.0);
        }
    }
}
} // namespace
} // namespace Quorvex3
