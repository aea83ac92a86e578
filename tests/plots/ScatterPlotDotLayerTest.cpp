// The scatter plot canvas keeps its dot layer between paints: what is
// painted over it (marker, hover, polygons, contours) must look exactly as a
// full paint, must not paint the dots again, and every change of what the
// dots look like must paint them anew.

#include "ScatterPlotTestSupport.h"
#include "density/DensityEstimator.h"
#include "plots/PlotExportStyle.h"
#include "plots/ScatterPlot.h"

#include <qwt_plot_renderer.h>
#include <qwt_scale_engine.h>

#include <QBuffer>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::ensureApplication;

struct Events {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> colour;
};

/// A cloud of `n` dots inside [5, 95]² with a colour value each.
Events makeEvents(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> unit(0.0, 1.0);
    Events events;
    for (std::size_t i = 0; i < n; ++i) {
        events.x.push_back(std::clamp(50.0 + 15.0 * unit(rng), 5.0, 95.0));
        events.y.push_back(std::clamp(45.0 + 12.0 * unit(rng), 5.0, 95.0));
        events.colour.push_back(events.x.back() + events.y.back());
    }
    return events;
}

/// Contours of a density shaped like the cloud: one dashed, one solid ring.
std::vector<ContourLevel> makeContours() {
    std::vector<ContourLevel> levels(2);
    for (std::size_t level = 0; level < levels.size(); ++level) {
        ContourPath path;
        const double r = 10.0 + 15.0 * static_cast<double>(level);
        for (int k = 0; k <= 64; ++k) {
            const double t = 2.0 * M_PI * k / 64.0;
            path.emplace_back(50.0 + r * std::cos(t), 45.0 + 0.8 * r * std::sin(t));
        }
        levels[level].paths.push_back(path);
    }
    return levels;
}

/// The canvas as the screen would show it now (a paint through the
/// canvas's own backing store).
QImage canvasImage(ScatterPlot& plot) {
    QApplication::processEvents();
    return plot.canvas()->grab().toImage();
}

/// Two plots in the same state, one keeping its dot layer and one painting
/// every item on every paint, as the canvas did before it kept one.
class DotLayer : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        m_full.setDotLayerCaching(false);
        for (ScatterPlot* plot : {&m_kept, &m_full}) {
            testing::prepareFixedPlot(*plot, 700, 520);
            plot->setData(m_events.x, m_events.y, "x", "y", m_events.colour, "c");
            // The window shows the hovered event as the selected one.
            QObject::connect(plot, &ScatterPlot::pointHovered, plot, &ScatterPlot::highlightPoint);
        }
        canvasImage(m_kept);
    }

public:
    /// Applies a change to both plots.
    void apply(const std::function<void(ScatterPlot&)>& change) {
        change(m_kept);
        change(m_full);
    }

    /// The kept plot's canvas equals the full paint's, pixel for pixel.
    void expectSameAsFullPaint(const std::string& what) {
        const QImage kept = canvasImage(m_kept);
        const QImage full = canvasImage(m_full);
        ASSERT_EQ(kept.size(), full.size()) << what;
        EXPECT_TRUE(kept == full) << what << ": the canvas differs from a full paint";
    }

    const Events m_events = makeEvents(20000, 7u);
    ScatterPlot m_kept;
    ScatterPlot m_full;
};

/// A named change applied to a plot.
struct Step {
    const char* what;
    std::function<void(DotLayer&, ScatterPlot&)> change;
};

TEST_F(DotLayer, ItemsOverTheDotsLookAsAFullPaintAndPaintNoDotAgain) {
    // Selecting events, hovering, drawing and editing polygons: each step
    // changes only what lies over the dots.
    const std::vector<Step> steps = {
        {"marker on an event", [](DotLayer&, ScatterPlot& p) { p.highlightPoint(10); }},
        {"marker moved to another event", [](DotLayer&, ScatterPlot& p) { p.highlightPoint(900); }},
        {"contours shown", [](DotLayer&, ScatterPlot& p) { p.setContours(makeContours()); }},
        {"marker under a contour line",
         [](DotLayer& t, ScatterPlot& p) {
             // The marker is painted below the contours, as before.
             std::size_t best = 0;
             for (std::size_t i = 0; i < t.m_events.x.size(); ++i)
                 if (std::hypot(t.m_events.x[i] - 60.0, t.m_events.y[i] - 45.0) <
                     std::hypot(t.m_events.x[best] - 60.0, t.m_events.y[best] - 45.0))
                     best = i;
             p.highlightPoint(static_cast<int>(best));
         }},
        {"polygon overlay added",
         [](DotLayer&, ScatterPlot& p) {
             p.addPolygonOverlay(1, QPolygonF({{20, 20}, {60, 25}, {40, 70}}), true);
         }},
        {"polygon drawing starts", [](DotLayer&, ScatterPlot& p) { p.startPolygonDrawing(); }},
        {"first polygon point",
         [](DotLayer&, ScatterPlot& p) {
             testing::click(p.canvas(), testing::roundedPixelOf(p, 30.0, 30.0));
         }},
        {"hover onto a dot",
         [](DotLayer& t, ScatterPlot& p) {
             testing::move(p.canvas(),
                           testing::roundedPixelOf(p, t.m_events.x[3], t.m_events.y[3]));
         }},
        {"second polygon point",
         [](DotLayer&, ScatterPlot& p) {
             testing::click(p.canvas(), testing::roundedPixelOf(p, 70.0, 35.0));
         }},
        {"hover onto another dot",
         [](DotLayer& t, ScatterPlot& p) {
             testing::move(p.canvas(),
                           testing::roundedPixelOf(p, t.m_events.x[4000], t.m_events.y[4000]));
         }},
        {"third polygon point",
         [](DotLayer&, ScatterPlot& p) {
             testing::click(p.canvas(), testing::roundedPixelOf(p, 55.0, 80.0));
         }},
        {"marker hidden", [](DotLayer&, ScatterPlot& p) { p.clearHighlight(); }},
        {"polygon drawing cancelled", [](DotLayer&, ScatterPlot& p) { p.cancelPolygonDrawing(); }},
        {"polygon editing starts",
         [](DotLayer&, ScatterPlot& p) {
             p.startPolygonEditing(1, QPolygonF({{20, 20}, {60, 25}, {40, 70}}));
         }},
        {"vertex dragged",
         [](DotLayer&, ScatterPlot& p) {
             testing::press(p.canvas(), testing::roundedPixelOf(p, 60.0, 25.0));
             testing::move(p.canvas(), testing::roundedPixelOf(p, 75.0, 30.0), Qt::LeftButton);
             testing::release(p.canvas(), testing::roundedPixelOf(p, 75.0, 30.0));
         }},
        {"contours removed",
         [](DotLayer&, ScatterPlot& p) {
             p.clearContours();
             p.replot();
         }},
    };
    for (const Step& step : steps) {
        const std::size_t before = m_kept.dotPaintCount();
        step.change(*this, m_kept);
        step.change(*this, m_full);
        expectSameAsFullPaint(step.what);
        EXPECT_EQ(m_kept.dotPaintCount(), before) << step.what << " painted the dots again";
    }
    // The full paint did paint its dots on every step: the count sees them.
    EXPECT_GE(m_full.dotPaintCount(), steps.size());
}

TEST_F(DotLayer, PlainDotsAreKeptToo) {
    const std::size_t coloured = m_kept.dotPaintCount();
    apply([this](ScatterPlot& p) { p.setData(m_events.x, m_events.y, "x", "y", {}, QString()); });
    canvasImage(m_kept);
    const std::size_t before = m_kept.dotPaintCount();
    EXPECT_EQ(before, coloured + 1) << "the paint of the plain dots is not counted";
    apply([](ScatterPlot& p) {
        p.highlightPoint(25);
        p.startPolygonDrawing();
    });
    testing::click(m_kept.canvas(), testing::roundedPixelOf(m_kept, 40.0, 40.0));
    testing::click(m_full.canvas(), testing::roundedPixelOf(m_kept, 40.0, 40.0));
    expectSameAsFullPaint("plain dots with marker and polygon");
    EXPECT_EQ(m_kept.dotPaintCount(), before);
}

TEST_F(DotLayer, EveryChangeOfTheDotsPaintsThemAnew) {
    const Events other = makeEvents(20000, 99u);
    std::vector<double> otherColour(m_events.colour.rbegin(), m_events.colour.rend());
    const std::vector<Step> changes = {
        // The colour values keep their range: only the dots change.
        {"data",
         [other](DotLayer& t, ScatterPlot& p) {
             p.setData(other.x, other.y, "x", "y", t.m_events.colour, "c");
         }},
        {"colour values",
         [other, otherColour](DotLayer&, ScatterPlot& p) {
             p.setData(other.x, other.y, "x", "y", otherColour, "c");
         }},
        {"colour map", [](DotLayer&, ScatterPlot& p) { p.setColorMapIndex(3); }},
        {"canvas background",
         [](DotLayer&, ScatterPlot& p) {
             p.setCanvasBackground(QBrush(QColor(255, 250, 230)));
             p.replot();
         }},
        {"zoom by the wheel",
         [](DotLayer&, ScatterPlot& p) {
             testing::wheel(p.canvas(), QPointF(testing::roundedPixelOf(p, 40.0, 40.0)), 120);
         }},
        {"pan",
         [](DotLayer&, ScatterPlot& p) {
             testing::press(p.canvas(), testing::roundedPixelOf(p, 50.0, 50.0), Qt::LeftButton,
                            Qt::ShiftModifier);
             testing::move(p.canvas(), testing::roundedPixelOf(p, 60.0, 55.0), Qt::LeftButton,
                           Qt::ShiftModifier);
             testing::release(p.canvas(), testing::roundedPixelOf(p, 60.0, 55.0), Qt::LeftButton,
                              Qt::ShiftModifier);
         }},
        {"zoom reset", [](DotLayer&, ScatterPlot& p) { p.resetZoom(); }},
        {"ticks over the same range",
         [](DotLayer&, ScatterPlot& p) {
             // Only the grid moves: the range and every dot stay.
             const QwtScaleDiv now = p.axisScaleDiv(QwtPlot::xBottom);
             QList<double> ticks[QwtScaleDiv::NTickTypes];
             for (double v = now.lowerBound() + 3.0; v < now.upperBound(); v += 7.0)
                 ticks[QwtScaleDiv::MajorTick].append(v);
             p.setAxisScaleDiv(QwtPlot::xBottom,
                               QwtScaleDiv(now.lowerBound(), now.upperBound(), ticks));
             p.replot();
         }},
        {"ticks of a log scale",
         [](DotLayer&, ScatterPlot& p) {
             QList<double> ticks[QwtScaleDiv::NTickTypes];
             ticks[QwtScaleDiv::MajorTick] = {1.0, 10.0, 100.0};
             p.setAxisScaleDiv(QwtPlot::xBottom, QwtScaleDiv(1.0, 100.0, ticks));
             // The plot's own replot would thin the ticks as well; Qwt's
             // keeps them as set.
             p.QwtPlot::replot();
         }},
        {"log scale over the same ticks",
         [](DotLayer&, ScatterPlot& p) {
             // Same range and ticks: only the scale moves every dot.
             const QwtScaleDiv now = p.axisScaleDiv(QwtPlot::xBottom);
             p.setAxisScaleEngine(QwtPlot::xBottom, new QwtLogScaleEngine(10));
             p.setAxisScaleDiv(QwtPlot::xBottom, now);
             p.QwtPlot::replot();
         }},
        {"scale mode", [](DotLayer&, ScatterPlot& p) { p.setScaleMode(QwtPlot::xBottom, 2); }},
        {"plot size",
         [](DotLayer&, ScatterPlot& p) {
             p.resize(760, 560);
             QApplication::processEvents();
         }},
        {"canvas frame",
         [](DotLayer&, ScatterPlot& p) {
             // As the export style does: a frame shrinks the canvas contents.
             auto* frame = qobject_cast<QFrame*>(p.canvas());
             frame->setFrameStyle(QFrame::Box | QFrame::Plain);
             frame->setLineWidth(3);
             p.replot();
         }},
        {"isolines",
         [](DotLayer&, ScatterPlot& p) {
             IsoLine line;
             line.value = 1.0;
             for (double a = 10.0; a <= 90.0; a += 10.0)
                 line.points.emplace_back(a, 0.5 * a + 10.0);
             p.setIsolines({line}, true);
         }},
        {"fixed scales",
         [](DotLayer&, ScatterPlot& p) {
             // Hidden dots leave the autoscale range: fixed, only they change.
             p.setAxisScale(QwtPlot::xBottom, 0.0, 100.0);
             p.setAxisScale(QwtPlot::yLeft, 0.0, 100.0);
             p.replot();
         }},
        {"plain dots",
         [](DotLayer& t, ScatterPlot& p) {
             p.setData(t.m_events.x, t.m_events.y, "x", "y", {}, QString());
         }},
        {"dots hidden", [](DotLayer&, ScatterPlot& p) { p.setScatterVisible(false); }},
        {"dots shown", [](DotLayer&, ScatterPlot& p) { p.setScatterVisible(true); }},
        {"data cleared", [](DotLayer&, ScatterPlot& p) { p.clearData(); }},
    };
    apply([](ScatterPlot& p) { p.highlightPoint(12); });
    for (const Step& change : changes) {
        // Kept layer first, for the change to be seen against it.
        canvasImage(m_kept);
        change.change(*this, m_kept);
        change.change(*this, m_full);
        expectSameAsFullPaint(change.what);
    }
}

TEST_F(DotLayer, ExportsPaintEveryItem) {
    apply([](ScatterPlot& p) {
        p.setContours(makeContours());
        p.highlightPoint(10);
    });
    canvasImage(m_kept);
    // Moving the marker keeps the canvas's layer; an export must paint all.
    apply([](ScatterPlot& p) { p.highlightPoint(700); });
    canvasImage(m_kept);
    const auto render = [](ScatterPlot& p) {
        QImage image(900, 700, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QwtPlotRenderer().render(&p, &painter, QRectF(0, 0, 900, 700));
        return image;
    };
    const std::size_t before = m_kept.dotPaintCount();
    const QImage kept = render(m_kept);
    EXPECT_EQ(m_kept.dotPaintCount(), before + 1) << "the export did not paint the dots";
    EXPECT_TRUE(kept == render(m_full)) << "the PNG export differs from a full paint";

    // A vector export paints the dots too.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(96);
        QPainter painter(&writer);
        QwtPlotRenderer().render(&m_kept, &painter, QRectF(0, 0, 900, 700));
    }
    EXPECT_EQ(m_kept.dotPaintCount(), before + 2) << "the PDF export did not paint the dots";
    // Back on screen, the canvas is still what a full paint gives.
    expectSameAsFullPaint("after the exports");
}

} // namespace
} // namespace Quorvex3
