// Plots recorded on the GUI thread and written on another: the files look as
// the plot rendered directly into them (dots between the items below and
// above them) and an SVG as the PNG of the same page, a cancel leaves the old
// file and nothing else, and the checked writer still guards the target.

#include "plots/PlotRecording.h"
#include "plots/PlotFileExport.h"
#include "plots/RoundSpectroCurve.h"
#include "support/ImageCompare.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <qwt_color_map.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_renderer.h>
#include <qwt_symbol.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <atomic>
#include <cmath>
#include <map>
#include <thread>

namespace Quorvex3 {
namespace {

using testing::differingShare;
using testing::rasterisedSvg;
using testing::TempDir;

// A plot whose dots lie under a thick red line: grid (z 0), heat-map dots
// (z 10), blue symbol dots (z 20), the line (z 40).
class RecordedPlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        plot.resize(420, 320);
        auto* grid = new QwtPlotGrid();
        grid->setPen(QPen(Qt::gray, 0.0, Qt::DotLine));
        grid->attach(&plot);
        QVector<QPointF> dots;
        QVector<QwtPoint3D> heat;
        for (int i = 0; i < 4000; ++i) {
            const double t = i / 4000.0;
            const double s = ((i * 7919) % 4000) / 4000.0;
            dots.append(QPointF(10 + 80 * t, 50 + 30 * std::sin(12 * t) * s));
            heat.append(QwtPoint3D(10 + 80 * s, 20 + 60 * t, s * t));
        }
        auto* spectro = new RoundSpectroCurve();
        auto* map = new QwtLinearColorMap(Qt::darkGreen, Qt::yellow);
        spectro->setColorMap(map);
        spectro->setColorRange(QwtInterval(0.0, 1.0));
        spectro->setPenWidth(5.0);
        spectro->setSamples(heat);
        spectro->setZ(10);
        spectro->attach(&plot);
        auto* curve = new QwtPlotCurve();
        curve->setStyle(QwtPlotCurve::NoCurve);
        curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(QColor(0, 0, 255, 100)),
                                       QPen(Qt::blue, 1.0), QSize(6, 6)));
        curve->setSamples(dots);
        curve->setZ(20);
        curve->attach(&plot);
        auto* line = new QwtPlotCurve();
        line->setPen(QPen(Qt::red, 4.0));
        line->setSamples(QVector<QPointF>{{0, 50}, {100, 50}});
        line->setZ(40);
        line->attach(&plot);
        plot.setAxisScale(QwtPlot::xBottom, 0, 100);
        plot.setAxisScale(QwtPlot::yLeft, 0, 100);
        plot.replot();
    }

    QString file(const char* name) const { return QString::fromStdString(dir.file(name)); }

    /// Where the red line lies: it spans the canvas from side to side, so
    /// its extent is the canvas's width and its row the canvas's middle.
    static QRect redExtent(const QImage& image) {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
        QRect extent;
        for (int y = 0; y < rgb.height(); ++y)
            for (int x = 0; x < rgb.width(); ++x) {
                const QRgb p = rgb.pixel(x, y);
                if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60)
                    extent |= QRect(x, y, 1, 1);
            }
        return extent;
    }

    /// Writes the recording on another thread, as the windows do.
    bool writeOnAnotherThread(const QString& path, const PlotTarget& target,
                              const RecordedPlot& recording, const std::atomic<bool>* cancel,
                              QString* error) {
        bool written = false;
        std::thread writer(
            [&] { written = writeRecordedPlot(path, target, recording, cancel, {}, error); });
        writer.join();
        return written;
    }

    TempDir dir;
    QwtPlot plot;
    QwtPlotRenderer renderer;
};

TEST_F(RecordedPlotTest, WrittenFilesLookAsThePlotRenderedDirectly) {
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    const struct {
        PlotFileFormat format;
        bool page;
        const char* name;
    } cases[] = {{PlotFileFormat::Png, false, "doc.png"},
                 {PlotFileFormat::Png, true, "page.png"},
                 {PlotFileFormat::Pdf, false, "doc.pdf"},
                 {PlotFileFormat::Pdf, true, "page.pdf"},
                 {PlotFileFormat::Svg, false, "doc.svg"},
                 {PlotFileFormat::Svg, true, "page.svg"}};
    QImage pngOf[2]; // the recorded PNG document and page
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString direct = file("direct") + QString::fromLatin1(c.name);
        const QString recorded = file("recorded") + QString::fromLatin1(c.name);
        QString error;
        std::shared_ptr<const RecordedPlot> recording;
        PlotTarget target;
        if (c.page) {
            PlotPageSetup page;
            page.sizeMm = QSizeF(120, 90);
            page.dpi = 150;
            page.title = QStringLiteral("page");
            const auto paint = [&](QPainter& painter, double unitsPerMm) {
                renderer.render(
                    &plot, &painter,
                    QRectF(5 * unitsPerMm, 5 * unitsPerMm, 100 * unitsPerMm, 80 * unitsPerMm));
            };
            ASSERT_TRUE(writePlotPage(direct, c.format, page, paint, &error))
                << error.toStdString();
            target = plotPageTarget(c.format, page);
            PlotRecorder recorder(target);
            const double u = recorder.unitsPerMm();
            recorder.render(renderer, &plot, QRectF(5 * u, 5 * u, 100 * u, 80 * u));
            recording = recorder.finish();
        } else {
            ASSERT_TRUE(
                renderPlotFile(renderer, &plot, direct, c.format, QSizeF(100, 80), 150, &error))
                << error.toStdString();
            target = plotDocumentTarget(c.format, QSizeF(100, 80), 150);
            PlotRecorder recorder(target);
            recorder.render(renderer, &plot, recorder.documentRect());
            recording = recorder.finish();
        }
        ASSERT_TRUE(writeOnAnotherThread(recorded, target, *recording, nullptr, &error))
            << error.toStdString();
        ASSERT_TRUE(plotFileLooksWritten(recorded, c.format));

        QImage a(direct), b(recorded);
        if (c.format == PlotFileFormat::Pdf) {
            if (pdftoppm.isEmpty())
                continue;
            for (const QString& pdf : {direct, recorded})
                ASSERT_EQ(QProcess::execute(pdftoppm, {QStringLiteral("-r"), QStringLiteral("100"),
                                                       QStringLiteral("-png"),
                                                       QStringLiteral("-singlefile"), pdf, pdf}),
                          0);
            a = QImage(direct + QStringLiteral(".png"));
            b = QImage(recorded + QStringLiteral(".png"));
        } else if (c.format == PlotFileFormat::Svg) {
            // At the PNG's size the plot fills its box as in the PNG. (A grid
            // page once drew its plots in millimetres with fonts sized for
            // 90 dpi: tiny plots under huge overlapping text.)
            const QImage& png = pngOf[c.page ? 1 : 0];
            ASSERT_FALSE(png.isNull());
            a = rasterisedSvg(direct, png.size());
            b = rasterisedSvg(recorded, png.size());
            const QRect inPng = redExtent(png);
            for (const QImage* svg : {&a, &b}) {
                const QRect inSvg = redExtent(*svg);
                EXPECT_NEAR(inSvg.left(), inPng.left(), 2);
                EXPECT_NEAR(inSvg.right(), inPng.right(), 2);
                EXPECT_NEAR(inSvg.center().y(), inPng.center().y(), 2);
                EXPECT_LT(differingShare(*svg, png, 1), 0.05);
            }
        } else {
            pngOf[c.page ? 1 : 0] = b;
            if (c.page) {
                // The page's box of 100 x 80 mm at (5, 5) mm is laid out as
                // the document of that size: text at 150 dpi, not at the
                // screen's resolution.
                const QRect inDoc = redExtent(pngOf[0]);
                const QRect onPage = redExtent(b).translated(-30, -30);
                EXPECT_NEAR(onPage.left(), inDoc.left(), 2);
                EXPECT_NEAR(onPage.right(), inDoc.right(), 2);
                EXPECT_NEAR(onPage.center().y(), inDoc.center().y(), 2);
                EXPECT_EQ(b.dotsPerMeterX(), pngOf[0].dotsPerMeterX());
            }
        }
        ASSERT_FALSE(a.isNull());
        EXPECT_EQ(a.size(), b.size());
        EXPECT_LT(differingShare(a, b, c.format == PlotFileFormat::Svg ? 1 : 0), 0.001);
        // The line lies over the dots in both.
        int red = 0;
        const QImage rgb = b.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < rgb.height(); ++y)
            for (int x = 0; x < rgb.width(); ++x)
                if (rgb.pixel(x, y) == qRgb(255, 0, 0))
                    ++red;
        EXPECT_GT(red, 50);
    }
}

TEST_F(RecordedPlotTest, ACancelLeavesTheOldFileAndNothingElse) {
    const QString target = file("old.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const PlotTarget document = plotDocumentTarget(PlotFileFormat::Pdf, QSizeF(100, 80), 150);
    PlotRecorder recorder(document);
    recorder.render(renderer, &plot, recorder.documentRect());
    const auto recording = recorder.finish();
    EXPECT_GT(PlotRecorder::stepCount(*recording), 2);

    // Cancelled after the first step: nothing more is drawn.
    std::atomic<bool> cancel{false};
    int steps = 0;
    QString error;
    EXPECT_FALSE(writeRecordedPlot(
        target, document, *recording, &cancel,
        [&] {
            ++steps;
            cancel = true;
        },
        &error));
    EXPECT_EQ(steps, 2); // the first chunk of dots, then the end of the file
    EXPECT_EQ(error, QStringLiteral("Cancelled."));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old"));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("old.pdf")});

    // A read-only target is refused before anything is written.
    QFile::setPermissions(target, QFileDevice::ReadOwner);
    EXPECT_FALSE(writeRecordedPlot(target, document, *recording, nullptr, {}, &error));
    EXPECT_EQ(error, QStringLiteral("The file is read-only."));
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Dots are drawn in steps of a fixed number (the writer looks at the cancel
// flag between them): with several steps and a partial last one, each dot
// appears in the file exactly once, none twice at a step's edge, none lost.
TEST_F(RecordedPlotTest, EveryDotIsDrawnExactlyOnceWhateverTheSteps) {
    QwtPlot many;
    many.resize(420, 320);
    QVector<QPointF> dots;
    for (int i = 0; i < 60001; ++i) // a few more than two full steps
        dots.append(QPointF(5.0 + (i % 300) * 0.3, 5.0 + (i / 300) * 0.4));
    auto* curve = new QwtPlotCurve();
    curve->setStyle(QwtPlotCurve::NoCurve);
    curve->setSymbol(
        new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::blue), QPen(Qt::NoPen), QSize(2, 2)));
    curve->setSamples(dots);
    curve->attach(&many);
    many.setAxisScale(QwtPlot::xBottom, 0, 100);
    many.setAxisScale(QwtPlot::yLeft, 0, 100);
    many.replot();

    const PlotTarget target = plotDocumentTarget(PlotFileFormat::Svg, QSizeF(100, 80), 150);
    PlotRecorder recorder(target);
    recorder.render(renderer, &many, recorder.documentRect());
    const auto recording = recorder.finish();
    ASSERT_EQ(PlotRecorder::stepCount(*recording), 4); // three steps of dots, then the end
    QString error;
    const QString path = file("dots.svg");
    ASSERT_TRUE(writeOnAnotherThread(path, target, *recording, nullptr, &error))
        << error.toStdString();

    // Each dot is one circle (or ellipse) element at its own centre.
    QFile svg(path);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(svg.readAll());
    const QRegularExpression element(
        QString::fromLatin1(R"re(<(?:circle|ellipse)\s[^>]*cx="([^"]+)"\s+cy="([^"]+)")re"));
    std::map<QString, int> timesDrawn;
    int elements = 0;
    for (auto it = element.globalMatch(text); it.hasNext(); ++elements) {
        const QRegularExpressionMatch match = it.next();
        ++timesDrawn[match.captured(1) + QLatin1Char(',') + match.captured(2)];
    }
    EXPECT_EQ(elements, dots.size());
    EXPECT_EQ(timesDrawn.size(), static_cast<std::size_t>(dots.size()));
    int drawnTwice = 0;
    for (const auto& [centre, times] : timesDrawn)
        drawnTwice += times > 1;
    EXPECT_EQ(drawnTwice, 0);
}

// The recording is the plot as it was: a plot changed or deleted afterwards
// does not change the file.
TEST_F(RecordedPlotTest, TheRecordingOutlivesThePlot) {
    const PlotTarget target = plotDocumentTarget(PlotFileFormat::Png, QSizeF(100, 80), 150);
    std::shared_ptr<const RecordedPlot> recording;
    {
        auto* other = new QwtPlot();
        other->resize(420, 320);
        auto* curve = new QwtPlotCurve();
        curve->setStyle(QwtPlotCurve::NoCurve);
        curve->setSymbol(
            new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::blue), QPen(Qt::blue), QSize(8, 8)));
        curve->setSamples(QVector<QPointF>{{1, 1}, {2, 2}, {3, 3}});
        curve->attach(other);
        other->replot();
        PlotRecorder recorder(target);
        recorder.render(renderer, other, recorder.documentRect());
        recording = recorder.finish();
        delete other;
    }
    QString error;
    ASSERT_TRUE(writeRecordedPlot(file("gone.png"), target, *recording, nullptr, {}, &error))
        << error.toStdString();
    const QImage image(file("gone.png"));
    int blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(Qt::blue))
                ++blue;
    EXPECT_GT(blue, 3 * 50); // three discs of 8 px at 150 dpi
}

} // namespace
} // namespace Quorvex3
