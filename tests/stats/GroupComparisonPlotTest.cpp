// The group plot of a comparison: its items (boxes, mean lines, dots, lines
// between matched subjects, brackets), the category axis and the hover
// tooltip's 12-pixel reach. Values are hand-computed from the plot's rules.

#include "stats/GroupComparisonPlot.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <memory>

using namespace Quorvex3;

namespace {

std::vector<QwtPlotCurve*> curvesAt(QwtPlot* plot, double z) {
    std::vector<QwtPlotCurve*> out;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
        if (item->z() == z)
            out.push_back(static_cast<QwtPlotCurve*>(item));
    return out;
}

std::vector<QPointF> samples(const QwtPlotCurve* curve) {
    std::vector<QPointF> out;
    for (size_t i = 0; i < curve->dataSize(); ++i)
        out.push_back(curve->sample(static_cast<int>(i)));
    return out;
}

std::vector<QwtPlotMarker*> markers(QwtPlot* plot) {
    std::vector<QwtPlotMarker*> out;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotMarker))
        out.push_back(static_cast<QwtPlotMarker*>(item));
    return out;
}

GroupPlotInput input(std::vector<std::vector<double>> values, int categories = -1) {
    GroupPlotInput in;
    in.yTitle = QStringLiteral("Area [\u00b5m\u00b2]");
    const int k = categories < 0 ? static_cast<int>(values.size()) : categories;
    for (int i = 0; i < k; ++i)
        in.categoryNames.push_back(QStringLiteral("C%1").arg(i));
    in.values = std::move(values);
    return in;
}

} // namespace

TEST(GroupComparisonPlot, BoxMeanLineAndDotsOfOneColumn) {
    std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(input({{1, 2, 3}})));
    EXPECT_EQ(plot->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("Area [\u00b5m\u00b2]"));
    EXPECT_GE(plot->minimumHeight(), 280);
    const auto boxes = curvesAt(plot.get(), GroupPlotZ::Box);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(samples(boxes[0]), (std::vector<QPointF>{{-0.2, 1}, {-0.2, 3}, {0.2, 3}, {0.2, 1},
                                                       {-0.2, 1}}));
    EXPECT_EQ(boxes[0]->brush().color().alpha(), 40);
    EXPECT_EQ(boxes[0]->baseline(), 1.0); // the fill stays inside the box, not down to 0
    EXPECT_EQ(boxes[0]->pen().color(), QColor("#4682b4"));
    const auto means = curvesAt(plot.get(), GroupPlotZ::Mean);
    ASSERT_EQ(means.size(), 1u);
    EXPECT_EQ(samples(means[0]), (std::vector<QPointF>{{-0.2, 2}, {0.2, 2}}));
    EXPECT_EQ(means[0]->pen().widthF(), 3.0);
    const auto dots = curvesAt(plot.get(), GroupPlotZ::Dots);
    ASSERT_EQ(dots.size(), 1u);
    EXPECT_EQ(dots[0]->style(), QwtPlotCurve::NoCurve);
    EXPECT_EQ(dots[0]->symbol()->size(), QSize(8, 8));
    EXPECT_EQ(dots[0]->symbol()->pen().color(), QColor("#4682b4").darker(130));
    const auto p = samples(dots[0]);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_DOUBLE_EQ(p[0].x(), -0.08);
    EXPECT_DOUBLE_EQ(p[1].x(), -0.04);
    EXPECT_DOUBLE_EQ(p[2].x(), 0.0);
    EXPECT_TRUE(markers(plot.get()).empty());
}

TEST(GroupComparisonPlot, OffsetsColoursAndEmptyColumns) {
    // Seven values: the sixth and seventh repeat the first two offsets.
    // Seven columns without colours: column 6 wraps to the first palette colour.
    std::vector<std::vector<double>> values(7);
    values[6] = {1, 2, 3, 4, 5, 6, 7};
    values[2] = {4};
    std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(input(values)));
    const auto dots = curvesAt(plot.get(), GroupPlotZ::Dots);
    ASSERT_EQ(dots.size(), 2u); // empty columns draw nothing
    const auto p = samples(dots[1]);
    EXPECT_DOUBLE_EQ(p[5].x(), 6 - 0.08);
    EXPECT_DOUBLE_EQ(p[6].x(), 6 - 0.04);
    EXPECT_EQ(dots[1]->brush().style(), Qt::NoBrush); // dots are symbols, not a fill
    EXPECT_EQ(dots[1]->symbol()->brush().color(), QColor("#4682b4"));
    EXPECT_EQ(dots[0]->symbol()->brush().color(), QColor("#3cb44b"));
    const auto boxes = curvesAt(plot.get(), GroupPlotZ::Box);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(samples(boxes[0])[0], QPointF(1.8, 4)); // a single value: box of zero height
    EXPECT_EQ(samples(boxes[0])[1], QPointF(1.8, 4));
    // The names still label every column; half-way ticks and the ends carry none.
    const QwtScaleDraw* axis = plot->axisScaleDraw(QwtPlot::xBottom);
    EXPECT_EQ(axis->label(0.0).text(), "C0");
    EXPECT_EQ(axis->label(3.0).text(), "C3");
    EXPECT_EQ(axis->label(5.6).text(), "C6");
    EXPECT_TRUE(axis->label(-0.5).isEmpty());
    EXPECT_TRUE(axis->label(6.5).isEmpty());
    EXPECT_DOUBLE_EQ(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), -0.5);
    EXPECT_DOUBLE_EQ(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), 6.5);
    EXPECT_EQ(categoryPaletteColor(3), QColor("#ffa500"));
}

TEST(GroupComparisonPlot, MatchedSubjectsAreJoined) {
    GroupPlotPaired paired;
    paired.subjectValues = {{{1, 1.0}, {2, 2.0}, {3, 3.0}, {4, 9.0}}, {{3, 3.5}, {1, 1.5}, {2, 2.5}}};
    paired.showLines = true;
    GroupPlotInput in = input({{100, 200}, {300}});
    in.paired = &paired;
    std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(in));
    const auto lines = curvesAt(plot.get(), GroupPlotZ::Lines);
    ASSERT_EQ(lines.size(), 3u); // subject 4 is in one category only
    EXPECT_EQ(samples(lines[0])[0].y(), 1.0);
    EXPECT_EQ(samples(lines[0])[1].y(), 1.5);
    EXPECT_EQ(samples(lines[2])[1], QPointF(1.0, 3.5)); // subject 3 is the third dot of column 1
    EXPECT_EQ(lines[0]->pen().color(), QColor(150, 150, 150, 120));
    // The paired values replace the plain ones.
    EXPECT_EQ(samples(curvesAt(plot.get(), GroupPlotZ::Dots)[0]).size(), 4u);

    paired.showLines = false;
    std::unique_ptr<QwtPlot> without(buildGroupComparisonPlot(in));
    EXPECT_TRUE(curvesAt(without.get(), GroupPlotZ::Lines).empty());
}

TEST(GroupComparisonPlot, BracketsStackNarrowestFirst) {
    GroupPlotInput in = input({{1, 2}, {3, 4}, {5, 10}});
    in.bars = {{0, 2, "***"}, {0, 1, "*"}, {1, 2, "**"}};
    std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(in));
    const auto brackets = curvesAt(plot.get(), GroupPlotZ::Bracket);
    ASSERT_EQ(brackets.size(), 3u);
    // Fresh plot: r = 0.5 * |10| = 5, step 0.3, first level 10.4.
    const double levels[] = {10.4, 10.7, 11.0};
    for (size_t b = 0; b < 3; ++b) {
        const auto p = samples(brackets[b]);
        EXPECT_NEAR(p[1].y(), levels[b], 1e-12) << b;
        EXPECT_NEAR(p[0].y(), levels[b] - 0.09, 1e-12) << b;
        EXPECT_EQ(brackets[b]->pen().widthF(), 1.5);
    }
    EXPECT_EQ(samples(brackets[2])[0].x(), 0.0);
    EXPECT_EQ(samples(brackets[2])[2].x(), 2.0);
    const auto labels = markers(plot.get());
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[2]->label().text(), "***");
    EXPECT_NEAR(labels[2]->yValue(), 11.0 + 0.045, 1e-12);
    EXPECT_EQ(labels[2]->xValue(), 1.0);
    EXPECT_TRUE(labels[2]->label().font().bold());
    // Above its own bracket (Qwt aligns the label to the point), and the y
    // scale reaches one step above the top bracket so its stars stay inside.
    EXPECT_EQ(labels[2]->labelAlignment(), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_GE(plot->axisScaleDiv(QwtPlot::yLeft).upperBound(), 11.3);
    EXPECT_EQ(plot->axisMaxMinor(QwtPlot::xBottom), 0);
}

// With every value at or below 0 the largest is 0 and half of it gives no
// spacing: the brackets use the data's extent instead of stacking on one line.
TEST(GroupComparisonPlot, BracketsApartWhenTheLargestValueIsZero) {
    GroupPlotInput in = input({{-4, 0}, {-2, -1}, {-3, -3}});
    in.bars = {{0, 1, "*"}, {0, 2, "*"}};
    std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(in));
    const auto brackets = curvesAt(plot.get(), GroupPlotZ::Bracket);
    ASSERT_EQ(brackets.size(), 2u);
    EXPECT_NEAR(samples(brackets[0])[1].y(), 0.08 * 4, 1e-12);
    EXPECT_NEAR(samples(brackets[1])[1].y(), 0.08 * 4 + 0.06 * 4, 1e-12);

    const BracketLayout one = bracketLayout(0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(one.step, 0.06);
    EXPECT_EQ(bracketLayout(20.0, 3.0, 0.0, 3.0).step, 0.06 * 20);
    EXPECT_EQ(bracketLayout(0.0, -6.0, -9.0, -6.0).step, 0.06 * 3);
}

// A dot 11 pixels away shows its label and value; 12 pixels away nothing; of
// two dots at the same distance the first recorded wins.
TEST(GroupComparisonPlot, TooltipReachesElevenPixels) {
    EXPECT_EQ(nearestPointWithin12Pixels({{100, 100}}, {111, 100}), 0);
    EXPECT_EQ(nearestPointWithin12Pixels({{100, 100}}, {112, 100}), -1);
    EXPECT_EQ(nearestPointWithin12Pixels({{100, 100}}, {108, 108}), 0); // d^2 = 128
    EXPECT_EQ(nearestPointWithin12Pixels({{100, 100}}, {109, 108}), -1); // d^2 = 145
    EXPECT_EQ(nearestPointWithin12Pixels({{90, 100}, {110, 100}, {100, 95}}, {100, 100}), 2);
    EXPECT_EQ(nearestPointWithin12Pixels({{90, 100}, {110, 100}}, {100, 100}), 0);

    GroupPlotInput in = input({{1.5, 4.123456}});
    in.labels = {{QStringLiteral("first")}};
    std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(in));
    plot->resize(400, 300);
    plot->show();
    plot->replot();
    QApplication::processEvents();
    const auto* tip = plot->findChild<PlotPointTooltip*>();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(plot->canvas()->hasMouseTracking());
    // "first" (1.5) is the first dot of column 0 at x -0.08, the unlabelled
    // 4.123456 the second at -0.04.
    const double near = std::round(plot->canvasMap(QwtPlot::yLeft).transform(1.5));
    const double x0 = std::round(plot->canvasMap(QwtPlot::xBottom).transform(-0.08));
    const double x1 = std::round(plot->canvasMap(QwtPlot::xBottom).transform(-0.04));
    const double y1 = std::round(plot->canvasMap(QwtPlot::yLeft).transform(4.123456));
    // The cursor is rounded, the dot is not: 10 pixels off is at most 10.5
    // away, 13 pixels off at least 12.5 (the exact bound is checked above).
    EXPECT_EQ(tip->textAt({x0, near - 10}), QStringLiteral("first\n(1.5)"));
    EXPECT_EQ(tip->textAt({x0, near - 13}), QString());
    EXPECT_EQ(tip->textAt({x1 + 10, y1}), QStringLiteral("Dataset 1\n(4.1235)"));
    EXPECT_EQ(tip->textAt({x1 + 13, y1}), QString());

    QMouseEvent move(QEvent::MouseMove, QPointF(x0, near - 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(plot->canvas(), &move);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("first\n(1.5)"));
}

// Six categories held the plot 642 pixels wide in a view of 615, the sixth
// out of sight: the plot takes its view's width, and each name wraps under
// its own column, its words whole while they fit there.
TEST(GroupComparisonPlot, CategoryNamesWrapToTheirColumns) {
    GroupPlotInput in = input({{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}});
    in.categoryNames = {"Baseline",    "Condition 1", "Condition 2",
                        "Condition 3", "Condition 4", QStringLiteral("Drug 100 \u00B5M, day 3")};
    QScrollArea area;
    area.setWidgetResizable(true);
    auto* container = new QWidget;
    auto* layout = new QVBoxLayout(container);
    QwtPlot* plot = buildGroupComparisonPlot(in);
    layout->addWidget(plot);
    area.setWidget(container);
    area.show();
    const int k = static_cast<int>(in.categoryNames.size());
    const QFontMetrics metrics(plot->axisWidget(QwtPlot::xBottom)->font());
    for (const int width : {330, 420, 560, 700, 1400}) {
        SCOPED_TRACE(std::to_string(width) + " px");
        area.resize(width, 500);
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
        EXPECT_EQ(area.horizontalScrollBar()->maximum(), 0);
        EXPECT_LE(plot->width(), area.viewport()->width());
        const int column = plot->canvas()->width() / k;
        for (int c = 0; c < k; ++c) {
            const QString name = in.categoryNames[static_cast<std::size_t>(c)];
            const QString shown = plot->axisScaleDraw(QwtPlot::xBottom)->label(c).text();
            SCOPED_TRACE(shown.toStdString());
            bool wordsFit = true;
            for (const QString& word : name.split(' '))
                wordsFit = wordsFit && metrics.horizontalAdvance(word) < column - 6;
            // Neighbours never overlap.
            for (const QString& line : shown.split('\n'))
                EXPECT_LE(metrics.horizontalAdvance(line), column);
            if (wordsFit) {
                EXPECT_EQ(shown.split('\n').join(' '), name);
            }
            if (width == 1400) {
                EXPECT_EQ(shown, name) << "on one line where there is room";
            }
        }
    }
}

// However many categories: the plot never asks for more than its least width.
TEST(GroupComparisonPlot, AsksForNoWidthByItsCategories) {
    for (const int k : {2, 6, 20}) {
        GroupPlotInput in =
            input(std::vector<std::vector<double>>(static_cast<std::size_t>(k), {1, 2}));
        for (QString& name : in.categoryNames)
            name = QStringLiteral("Treatment condition ") + name;
        std::unique_ptr<QwtPlot> plot(buildGroupComparisonPlot(in));
        EXPECT_LE(plot->minimumSizeHint().width(), kGroupPlotLeastWidth) << k;
    }
}
