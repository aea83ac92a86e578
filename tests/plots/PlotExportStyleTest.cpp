#include "plots/PlotExportStyle.h"
#include "ScatterPlotTestSupport.h"
#include "plots/ScatterPlot.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

#include <QFrame>

#include <gtest/gtest.h>

#include <memory>

namespace Quorvex3 {
namespace {

using testing::ensureApplication;

constexpr int kAllAxes[] = {QwtPlot::yLeft, QwtPlot::yRight, QwtPlot::xBottom, QwtPlot::xTop};

bool hasComponent(const QwtPlot& plot, int axis, QwtAbstractScaleDraw::ScaleComponent c) {
    return plot.axisScaleDraw(axis)->hasComponent(c);
}

QFrame* canvasFrame(QwtPlot& plot) {
    return qobject_cast<QFrame*>(plot.canvas());
}

class PlotExport : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        plot = std::make_unique<ScatterPlot>();
        plot->resize(500, 400);
        plot->show();
        QApplication::processEvents();
        // A distinctive starting look, so "restored" cannot mean "defaults".
        plot->setCanvasBackground(QBrush(QColor(10, 20, 30)));
        QPalette palette = plot->palette();
        palette.setColor(QPalette::Window, QColor(200, 100, 50));
        plot->setPalette(palette);
        plot->setAutoFillBackground(false);
        canvasFrame(*plot)->setFrameStyle(QFrame::Box | QFrame::Plain);
        plot->plotLayout()->setCanvasMargin(7, QwtPlot::yLeft);
        plot->plotLayout()->setCanvasMargin(3, QwtPlot::xTop);
        plot->plotLayout()->setAlignCanvasToScale(QwtPlot::xBottom, true);
        plot->plotLayout()->setAlignCanvasToScale(QwtPlot::yLeft, false);
    }

    std::unique_ptr<ScatterPlot> plot;
};

TEST_F(PlotExport, ApplyGivesAWhiteClosedBoxWithoutFrameOrMargins) {
    ASSERT_FALSE(plot->axisEnabled(QwtPlot::yRight));
    ASSERT_FALSE(plot->axisEnabled(QwtPlot::xTop));
    const PlotExportStyle saved = applyExportStyle(plot.get());

    EXPECT_EQ(plot->canvasBackground(), QBrush(Qt::white));
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        EXPECT_EQ(plot->palette().brush(group, QPalette::Window), QBrush(Qt::white));
    EXPECT_TRUE(plot->autoFillBackground());
    EXPECT_EQ(canvasFrame(*plot)->frameStyle(), 0);
    for (const int axis : kAllAxes) {
        EXPECT_TRUE(plot->plotLayout()->alignCanvasToScale(axis)) << axis;
        EXPECT_EQ(plot->plotLayout()->canvasMargin(axis), 0) << axis;
        EXPECT_TRUE(plot->axisEnabled(axis)) << axis;
    }
    // The formerly hidden axes are bare lines; the visible ones keep everything.
    for (const int axis : {int(QwtPlot::yRight), int(QwtPlot::xTop)}) {
        EXPECT_TRUE(hasComponent(*plot, axis, QwtAbstractScaleDraw::Backbone));
        EXPECT_FALSE(hasComponent(*plot, axis, QwtAbstractScaleDraw::Ticks));
        EXPECT_FALSE(hasComponent(*plot, axis, QwtAbstractScaleDraw::Labels));
    }
    EXPECT_TRUE(hasComponent(*plot, QwtPlot::yLeft, QwtAbstractScaleDraw::Labels));

    // What was saved is the look from before.
    EXPECT_EQ(saved.canvasBackground, QBrush(QColor(10, 20, 30)));
    EXPECT_EQ(saved.palette.color(QPalette::Window), QColor(200, 100, 50));
    EXPECT_FALSE(saved.autoFillBackground);
    EXPECT_EQ(saved.canvasFrameStyle, QFrame::Box | QFrame::Plain);
    EXPECT_EQ(saved.canvasMargin[QwtPlot::yLeft], 7);
    EXPECT_EQ(saved.canvasMargin[QwtPlot::xTop], 3);
    EXPECT_TRUE(saved.alignCanvasToScale[QwtPlot::xBottom]);
    EXPECT_FALSE(saved.alignCanvasToScale[QwtPlot::yLeft]);
    EXPECT_FALSE(saved.axisVisible[QwtPlot::yRight]);
    EXPECT_TRUE(saved.axisVisible[QwtPlot::xBottom]);
}

TEST_F(PlotExport, RestoreBringsBackEverythingIncludingTicksAndLabels) {
    const PlotExportStyle saved = applyExportStyle(plot.get());
    restoreExportStyle(plot.get(), saved);

    EXPECT_EQ(plot->canvasBackground(), QBrush(QColor(10, 20, 30)));
    EXPECT_EQ(plot->palette().color(QPalette::Window), QColor(200, 100, 50));
    EXPECT_FALSE(plot->autoFillBackground());
    EXPECT_EQ(canvasFrame(*plot)->frameStyle(), QFrame::Box | QFrame::Plain);
    EXPECT_EQ(plot->plotLayout()->canvasMargin(QwtPlot::yLeft), 7);
    EXPECT_EQ(plot->plotLayout()->canvasMargin(QwtPlot::xTop), 3);
    EXPECT_EQ(plot->plotLayout()->canvasMargin(QwtPlot::xBottom),
              saved.canvasMargin[QwtPlot::xBottom]);
    EXPECT_TRUE(plot->plotLayout()->alignCanvasToScale(QwtPlot::xBottom));
    EXPECT_FALSE(plot->plotLayout()->alignCanvasToScale(QwtPlot::yLeft));
    EXPECT_FALSE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_FALSE(plot->axisEnabled(QwtPlot::xTop));
    EXPECT_TRUE(plot->axisEnabled(QwtPlot::xBottom));
    for (const int axis : kAllAxes) {
        EXPECT_TRUE(hasComponent(*plot, axis, QwtAbstractScaleDraw::Ticks)) << axis;
        EXPECT_TRUE(hasComponent(*plot, axis, QwtAbstractScaleDraw::Labels)) << axis;
    }

    // A colour bar shown after an export still has its tick labels.
    plot->setData({1, 2, 3}, {1, 2, 3}, "x", "y", {0, 1, 2}, "c");
    EXPECT_TRUE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_TRUE(hasComponent(*plot, QwtPlot::yRight, QwtAbstractScaleDraw::Labels));
    EXPECT_TRUE(hasComponent(*plot, QwtPlot::yRight, QwtAbstractScaleDraw::Ticks));
}

TEST_F(PlotExport, VisibleColourBarKeepsItsLabelsDuringExport) {
    plot->setData({1, 2, 3}, {1, 2, 3}, "x", "y", {0, 1, 2}, "c");
    const PlotExportStyle saved = applyExportStyle(plot.get());
    EXPECT_TRUE(hasComponent(*plot, QwtPlot::yRight, QwtAbstractScaleDraw::Labels));
    EXPECT_FALSE(hasComponent(*plot, QwtPlot::xTop, QwtAbstractScaleDraw::Labels));
    restoreExportStyle(plot.get(), saved);
    EXPECT_TRUE(plot->axisEnabled(QwtPlot::yRight));
    EXPECT_FALSE(plot->axisEnabled(QwtPlot::xTop));
}

TEST_F(PlotExport, RenderedExportHasARightFrameLineWithoutLabels) {
    plot->setData({1, 2, 3}, {1, 2, 3}, "x", "y", {}, "");
    const PlotExportStyle saved = applyExportStyle(plot.get());
    QwtPlotRenderer renderer;
    configureExportRenderer(renderer);
    QImage image(500, 400, QImage::Format_ARGB32);
    image.fill(Qt::white);
    renderer.renderTo(plot.get(), image);
    restoreExportStyle(plot.get(), saved);

    // Scan the middle row from the right: the first dark pixel is the right
    // frame line, and right of it the image is blank (no ticks, no labels)
    // along the canvas' height (the bottom axis' last label may overhang).
    const int row = image.height() / 2;
    int line = -1;
    for (int x = image.width() - 1; x >= 0; --x) {
        if (qGray(image.pixel(x, row)) < 128) {
            line = x;
            break;
        }
    }
    ASSERT_GT(line, image.width() * 3 / 4);
    for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y) {
        for (int x = line + 2; x < image.width(); ++x)
            ASSERT_GT(qGray(image.pixel(x, y)), 200) << x << "," << y;
    }
}

TEST(PlotExportRenderer, DiscardsBackgroundAndCanvasFrameAndFramesTheScales) {
    QwtPlotRenderer renderer;
    configureExportRenderer(renderer);
    EXPECT_TRUE(renderer.testDiscardFlag(QwtPlotRenderer::DiscardBackground));
    EXPECT_TRUE(renderer.testDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame));
    EXPECT_FALSE(renderer.testDiscardFlag(QwtPlotRenderer::DiscardTitle));
    EXPECT_TRUE(renderer.testLayoutFlag(QwtPlotRenderer::FrameWithScales));
}

} // namespace
} // namespace Quorvex3
