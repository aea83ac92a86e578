// The ROC and distribution plots of the evaluation window as plot items:
// what is drawn where, in which colour and order, the label placements and
// the hover texts (the pixel rule of the tooltip included).

#include "stats/DistributionPlot.h"
#include "stats/RocPlot.h"

#include <gtest/gtest.h>

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>
#include <qwt_symbol.h>

#include <memory>

using namespace Quorvex3;

namespace {

template <typename Item> std::vector<Item*> itemsOf(const QwtPlot& plot, int rtti) {
    std::vector<Item*> items;
    for (QwtPlotItem* item : plot.itemList())
        if (item->rtti() == rtti)
            items.push_back(static_cast<Item*>(item));
    return items;
}

QVector<QPointF> samplesOf(const QwtPlotCurve* curve) {
    QVector<QPointF> points;
    for (size_t i = 0; i < curve->dataSize(); ++i)
        points.append(curve->sample(static_cast<int>(i)));
    return points;
}

// ================================================================ ROC plot

TEST(RocPlot, ItemsOfOneCurve) {
    // negatives 1, 2, 3 and positives 4, 5, 6: the optimum (0, 1) at 4
    const ROCResult result = ROCAnalysis::compute({1, 2, 3}, {4, 5, 6});
    std::unique_ptr<QwtPlot> plot(buildRocPlot(QStringLiteral("Area <b>"), result));
    EXPECT_EQ(plot->title().text(), "Area <b>");
    EXPECT_EQ(plot->minimumSize(), QSize(320, 320));
    EXPECT_EQ(plot->legend(), nullptr);
    for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft}) {
        EXPECT_EQ(plot->axisScaleDiv(axis).lowerBound(), 0.0);
        EXPECT_EQ(plot->axisScaleDiv(axis).upperBound(), 1.0);
    }
    EXPECT_EQ(plot->axisTitle(QwtPlot::xBottom).text(), "False Positive Rate (1 - Specificity)");
    EXPECT_EQ(plot->axisTitle(QwtPlot::yLeft).text(), "True Positive Rate (Sensitivity)");

    ASSERT_EQ(itemsOf<QwtPlotGrid>(*plot, QwtPlotItem::Rtti_PlotGrid).size(), 1u);
    // The item list is the drawing order (by z, then by attachment): grid,
    // ROC curve, then diagonal and shaded area over it, the optimum.
    EXPECT_EQ(plot->itemList().front()->rtti(), QwtPlotItem::Rtti_PlotGrid);
    const auto curves = itemsOf<QwtPlotCurve>(*plot, QwtPlotItem::Rtti_PlotCurve);
    ASSERT_EQ(curves.size(), 4u);
    const QVector<QPointF> rocPoints = {{0, 0},       {0, 1.0 / 3}, {0, 2.0 / 3}, {0, 1},
                                        {1.0 / 3, 1}, {2.0 / 3, 1}, {1, 1}};
    EXPECT_EQ(samplesOf(curves[0]), rocPoints);
    EXPECT_EQ(curves[0]->pen(), QPen(QColor(70, 130, 180), 2, Qt::SolidLine));
    EXPECT_EQ(curves[0]->z(), 10.0);
    EXPECT_EQ(samplesOf(curves[1]), (QVector<QPointF>{{0, 0}, {1, 1}}));
    EXPECT_EQ(curves[1]->pen().style(), Qt::DashLine);
    EXPECT_EQ(curves[1]->pen().color(), QColor(160, 160, 164));
    EXPECT_EQ(samplesOf(curves[2]), rocPoints);
    EXPECT_EQ(curves[2]->pen().style(), Qt::NoPen);
    EXPECT_EQ(curves[2]->brush().color(), QColor(70, 130, 180, 30));
    EXPECT_EQ(curves[2]->baseline(), 0.0);
    EXPECT_EQ(curves[2]->z(), 20.0);
    EXPECT_EQ(samplesOf(curves[3]), (QVector<QPointF>{{0, 1}}));
    EXPECT_EQ(curves[3]->style(), QwtPlotCurve::NoCurve);
    ASSERT_NE(curves[3]->symbol(), nullptr);
    EXPECT_EQ(curves[3]->symbol()->style(), QwtSymbol::Diamond);
    EXPECT_EQ(curves[3]->symbol()->size(), QSize(10, 10));
    EXPECT_EQ(curves[3]->symbol()->brush().color(), QColor(255, 0, 0));

    const auto markers = itemsOf<QwtPlotMarker>(*plot, QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0]->label().text(), "AUC = 1.000");
    EXPECT_EQ(markers[0]->value(), QPointF(0.55, 0.15));
    EXPECT_EQ(markers[0]->label().font().pointSize(), 11);
    EXPECT_EQ(markers[1]->label().text(), "Threshold > 4\nSens = 1.000, Spec = 1.000");
    EXPECT_EQ(markers[1]->value(), QPointF(0, 1));
    EXPECT_EQ(markers[1]->labelAlignment(), Qt::AlignRight | Qt::AlignBottom);
    EXPECT_EQ(markers[1]->label().color(), QColor(128, 0, 0));
    for (const QwtPlotMarker* m : markers)
        EXPECT_EQ(m->z(), 25.0);
    for (const QwtPlotItem* item : plot->itemList())
        EXPECT_FALSE(item->testItemAttribute(QwtPlotItem::Legend));
}

TEST(RocPlot, LabelPlacementsAndTexts) {
    struct Case {
        double auc;
        QPointF at;
        Qt::Alignment alignment;
    };
    for (const Case& c : {Case{0.5, {0.55, 0.15}, Qt::AlignLeft | Qt::AlignTop},
                          Case{0.9, {0.55, 0.15}, Qt::AlignLeft | Qt::AlignTop},
                          Case{0.4999, {0.45, 0.85}, Qt::AlignRight | Qt::AlignBottom}}) {
        EXPECT_EQ(rocAucLabelPlacement(c.auc).position, c.at) << c.auc;
        EXPECT_EQ(rocAucLabelPlacement(c.auc).alignment, c.alignment) << c.auc;
    }
    EXPECT_EQ(rocThresholdLabelAlignment(0.0, 1.0), Qt::AlignRight | Qt::AlignBottom);
    EXPECT_EQ(rocThresholdLabelAlignment(0.6, 0.2), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(rocThresholdLabelAlignment(0.5, 0.5), Qt::AlignLeft | Qt::AlignBottom);
    EXPECT_EQ(rocThresholdLabelAlignment(0.49, 0.49), Qt::AlignRight | Qt::AlignTop);

    // flipped: "<", threshold in input units, 4 significant digits
    const ROCResult lower = ROCAnalysis::compute({40000, 50000, 60000}, {12345.6, 20000, 30000});
    EXPECT_EQ(rocThresholdLabelText(lower), "Threshold < 3e+04\nSens = 1.000, Spec = 1.000");
    const std::vector<PlotPointInfo> hover = rocHoverPoints(lower);
    ASSERT_EQ(hover.size(), 7u);
    // the start point stands at the smallest score - 1
    EXPECT_EQ(hover[0].label, "FPR=0.000, TPR=0.000\nThreshold=1.234e+04");
    EXPECT_EQ(hover[1].label, "FPR=0.000, TPR=0.333\nThreshold=1.235e+04");
    EXPECT_EQ(hover[6].label, "FPR=1.000, TPR=1.000\nThreshold=6e+04");
    EXPECT_EQ(QPointF(hover[1].x, hover[1].y), QPointF(0.0, 1.0 / 3));
}

// The plot carries a hover tooltip over its curve points: pointing within
// 12 pixels of a point shows its text and its TPR.
TEST(RocPlot, HoverTooltipOverTheCurvePoints) {
    const ROCResult result = ROCAnalysis::compute({1, 2, 3}, {4, 5, 6});
    std::unique_ptr<QwtPlot> plot(buildRocPlot(QStringLiteral("t"), result));
    plot->resize(500, 500);
    plot->replot();
    const auto* tooltip = plot->findChild<PlotPointTooltip*>();
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(plot->canvas()->hasMouseTracking());
    const QwtScaleMap xMap = plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = plot->canvasMap(QwtPlot::yLeft);
    const std::vector<PlotPointInfo> points = rocHoverPoints(result);
    const auto pixel = [&](int i) {
        const PlotPointInfo& p = points[static_cast<size_t>(i)];
        return QPointF(xMap.transform(p.x), yMap.transform(p.y));
    };
    EXPECT_EQ(tooltip->textAt(pixel(1)), "FPR=0.000, TPR=0.333\nThreshold=6\n(0.33333)");
    EXPECT_EQ(tooltip->textAt(pixel(6) + QPointF(0, 11)), "FPR=1.000, TPR=1.000\nThreshold=1\n(1)");
    EXPECT_EQ(tooltip->textAt(pixel(6) + QPointF(0, 13)), "");
}

// ======================================================= distribution plot

TEST(DistributionPlot, PerDatasetAndPerCategory) {
    const std::vector<DistributionSample> samples = {
        {{1, 2, 3, 4}, "d1", 0}, {{2, 3, 5}, "d2", 0}, {{6, 7, 7.5}, "d3", 1}};
    const DistributionCurves curves = computeDistributionCurves(samples, 3);
    const QColor blue("#4682b4"), red("#dc503c"), green("#3cb44b");
    const std::vector<DistributionLook> sampleLooks = {{"d1", blue}, {"d2", blue}, {"d3", red}};
    const std::vector<DistributionLook> categoryLooks = {
        {"Baseline", blue}, {"Condition 1", red}, {"Empty", green}};

    std::unique_ptr<QwtPlot> perDataset(
        buildDistributionPlot("Area", "Area [µm²]", curves, sampleLooks, categoryLooks, false));
    EXPECT_EQ(perDataset->axisTitle(QwtPlot::xBottom).text(), "Area [µm²]");
    EXPECT_EQ(perDataset->axisTitle(QwtPlot::yLeft).text(), "Density");
    EXPECT_EQ(perDataset->minimumSize(), QSize(400, 280));
    EXPECT_EQ(perDataset->legend(), nullptr);
    EXPECT_GT(perDataset->axisScaleDraw(QwtPlot::xBottom)->minimumExtent(), 10.0);
    EXPECT_EQ(perDataset->axisScaleDiv(QwtPlot::xBottom).lowerBound(), curves.x.front());
    EXPECT_EQ(perDataset->axisScaleDiv(QwtPlot::xBottom).upperBound(), curves.x.back());
    const auto lines = itemsOf<QwtPlotCurve>(*perDataset, QwtPlotItem::Rtti_PlotCurve);
    ASSERT_EQ(lines.size(), 3u);
    for (size_t s = 0; s < 3; ++s) {
        EXPECT_EQ(lines[s]->title().text(), sampleLooks[s].name);
        QColor pen = sampleLooks[s].colour, fill = pen;
        pen.setAlpha(180);
        fill.setAlpha(25);
        EXPECT_EQ(lines[s]->pen(), QPen(pen, 1.5, Qt::SolidLine));
        EXPECT_EQ(lines[s]->brush().color(), fill);
        EXPECT_EQ(lines[s]->baseline(), 0.0);
        EXPECT_FALSE(lines[s]->testItemAttribute(QwtPlotItem::Legend));
        ASSERT_EQ(lines[s]->dataSize(), 256u);
        EXPECT_EQ(lines[s]->sample(100), QPointF(curves.x[100], curves.densities[s][100]));
    }

    std::unique_ptr<QwtPlot> perCategory(
        buildDistributionPlot("Area", "Area", curves, sampleLooks, categoryLooks, true));
    EXPECT_NE(perCategory->legend(), nullptr);
    const auto items = itemsOf<QwtPlotCurve>(*perCategory, QwtPlotItem::Rtti_PlotCurve);
    // Baseline: band then mean, the band under its mean curve; Condition 1
    // (one dataset): mean only; Empty: nothing.
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->dataSize(), 512u);
    EXPECT_EQ(items[0]->pen().style(), Qt::NoPen);
    EXPECT_EQ(items[0]->brush().color(), QColor(70, 130, 180, 40));
    EXPECT_FALSE(items[0]->testItemAttribute(QwtPlotItem::Legend));
    EXPECT_EQ(items[1]->title().text(), "Baseline");
    EXPECT_EQ(items[1]->pen(), QPen(blue, 2, Qt::SolidLine));
    EXPECT_EQ(items[1]->z(), 10.0);
    EXPECT_EQ(items[0]->z(), 9.0);
    EXPECT_TRUE(items[1]->testLegendAttribute(QwtPlotCurve::LegendShowLine));
    EXPECT_TRUE(items[1]->testItemAttribute(QwtPlotItem::Legend));
    EXPECT_EQ(items[1]->sample(7).y(), curves.categories[0].mean[7]);
    EXPECT_EQ(items[2]->title().text(), "Condition 1");
    EXPECT_EQ(samplesOf(items[2]).size(), 256);
}

} // namespace
