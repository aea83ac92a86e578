// What the combined plots draw: heat maps of few events, synchronised
// limits, log axes, isolines, the statistics table against numpy (with a
// filter group on a feature the datasets lack) and its TSV export.

#include "CombineTestSupport.h"
#include "calc/CalcTestSupport.h"
#include "calc/EModulus.h"
#include "compare/CombinePlotStats.h"
#include "plots/RoundSpectroCurve.h"
#include "support/PythonOracle.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_div.h>

#include <QRegularExpression>
#include <QTableWidget>

#include <cmath>
#include <limits>

namespace Quorvex3::test {
namespace {

[[maybe_unused]] const bool s_application = (installMainWindowTestApplication(), true);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Dot curves: uniformly coloured ones carry a symbol, heat maps are spectro curves.
size_t symbolDots(const std::vector<QwtPlotItem*>& curves) {
    size_t n = 0;
    for (QwtPlotItem* item : curves)
        if (auto* c = static_cast<QwtPlotCurve*>(item); c->symbol())
            n += c->dataSize();
    return n;
}

using CombinePlots = CombinePlotTest;

// ---- heat map -------------------------------------------------------------

// Fewer than 4 shown events have no density: the heat map draws none of
// them, a dataset colour draws them all, and N counts them either way.
TEST_F(CombinePlots, HeatMapOfOneToThreeEventsDrawsNoDotsDatasetColourDoes) {
    setCheck("showCountCheck", true);
    for (const int n : {1, 2, 3, 4}) {
        SCOPED_TRACE(n);
        DatasetEntry* entry = add("few" + std::to_string(n) + ".rtdc", population(n));
        setCombo("colorCombo", 0);
        window->refresh();
        window->flushRefresh();
        const size_t last = window->plots().size() - 1;
        const auto spectro = items(last, QwtPlotItem::Rtti_PlotSpectroCurve);
        EXPECT_EQ(spectro.size(), n >= 4 ? 1u : 0u);
        EXPECT_EQ(symbolDots(items(last, QwtPlotItem::Rtti_PlotCurve)), 0u);
        const auto labels = items(last, QwtPlotItem::Rtti_PlotTextLabel);
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(static_cast<QwtPlotTextLabel*>(labels[0])->text().text(),
                  QStringLiteral("N = %1").arg(n));
        setCombo("colorCombo", 1);
        EXPECT_EQ(symbolDots(items(last, QwtPlotItem::Rtti_PlotCurve)), static_cast<size_t>(n));
        EXPECT_TRUE(items(last, QwtPlotItem::Rtti_PlotSpectroCurve).empty());
        window->removeDataset(window->datasetCount() - 1);
        (void)entry;
    }
}

// "Same Plot" with a legend: one entry per dataset in its colour; the dot,
// heat-map and contour curves stay out of it (a legend item lists every
// curve that does not say otherwise).
TEST_F(CombinePlots, SamePlotLegendListsEachDatasetOnce) {
    add("one.rtdc", population(50));
    add("two.rtdc", population(60, 10.0));
    setCombo("contourCombo", 1);
    setCheck("showLegendCheck", true);
    dialogs.choiceAnswers.push_back(QStringLiteral("OK"));
    setCombo("displayCombo", 2);
    for (const int colour : {0, 1}) {
        setCombo("colorCombo", colour);
        ASSERT_EQ(window->plots().size(), 1u);
        QStringList listed;
        for (QwtPlotItem* item : window->plots()[0]->itemList())
            if (item->testItemAttribute(QwtPlotItem::Legend))
                listed << item->title().text();
        EXPECT_EQ(listed, (QStringList{"one.rtdc", "two.rtdc"})) << colour;
        EXPECT_EQ(items(0, QwtPlotItem::Rtti_PlotLegend).size(), 1u);
    }
}

// ---- kept estimates -------------------------------------------------------

// Heat-map dots and contour lines of every plot, in plot order.
struct Drawn {
    std::vector<std::vector<QwtPoint3D>> dots;
    std::vector<std::vector<QPointF>> lines;
};

Drawn drawnBy(const CombinePlotWindow& window) {
    Drawn drawn;
    for (QwtPlot* plot : window.plots()) {
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotSpectroCurve)) {
            // The spectro curve's samples sit in a private base (Qwt 6.1).
            const auto* store =
                (const QwtSeriesStore<QwtPoint3D>*)static_cast<RoundSpectroCurve*>(item);
            std::vector<QwtPoint3D>& dots = drawn.dots.emplace_back();
            for (size_t i = 0; i < store->dataSize(); ++i)
                dots.push_back(store->sample(static_cast<int>(i)));
        }
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
            auto* curve = static_cast<QwtPlotCurve*>(item);
            if (curve->style() != QwtPlotCurve::Lines)
                continue;
            std::vector<QPointF>& line = drawn.lines.emplace_back();
            for (size_t i = 0; i < curve->dataSize(); ++i)
                line.push_back(curve->sample(static_cast<int>(i)));
        }
    }
    return drawn;
}

// A refresh takes the previous rebuild's densities and contours over only
// for a dataset whose shown events are unchanged: after one dataset's filter
// changed, every plot is drawn as a window opened afresh draws it.
TEST_F(CombinePlots, RefreshAfterAFilterChangeDrawsWhatANewWindowDraws) {
    DatasetEntry* first = add("a.rtdc", population(300));
    add("b.rtdc", population(400, 8.0, 0.01));
    setCombo("contourCombo", 1);
    setCombo("displayCombo", 1);
    setCombo("colorCombo", 0);
    const Drawn before = drawnBy(*window);
    ASSERT_EQ(before.dots.size(), 2u);
    first->filter.addRule({0, "area_um", "", 35, 60, {}, 0, 0, true, false, ""});
    window->refresh();
    window->flushRefresh();
    const Drawn after = drawnBy(*window);

    CombinePlotWindow fresh(&main->store(), main.get());
    fresh.resize(1200, 900);
    fresh.addAllDatasets();
    childOf<QComboBox>(fresh, "contourCombo")->setCurrentIndex(1);
    childOf<QComboBox>(fresh, "displayCombo")->setCurrentIndex(1);
    childOf<QComboBox>(fresh, "colorCombo")->setCurrentIndex(0);
    const Drawn expected = drawnBy(fresh);
    ASSERT_EQ(after.dots.size(), 2u);
    EXPECT_TRUE(after.dots == expected.dots);
    EXPECT_TRUE(after.lines == expected.lines);
    EXPECT_LT(after.dots[0].size(), before.dots[0].size());
    EXPECT_TRUE(after.dots[1] == before.dots[1]);
}

// ---- limits ---------------------------------------------------------------

TEST_F(CombinePlots, SyncedLimitsPadTheDataAndLeaveAxesWithoutDataAutomatic) {
    Measurement flat = population(20);
    flat.columns["deform"].assign(20, 0.05); // one value on y: that value +- 1
    add("flat.rtdc", flat);
    setCheck("syncAxesCheck", true);
    QwtPlot* plot = window->plots().at(0);
    const QwtScaleDiv y = plot->axisScaleDiv(QwtPlot::yLeft);
    EXPECT_NEAR(y.lowerBound(), -0.95, 1e-12);
    EXPECT_NEAR(y.upperBound(), 1.05, 1e-12);
    const std::vector<double>& area = flat.columns["area_um"];
    const double lo = *std::min_element(area.begin(), area.end());
    const double hi = *std::max_element(area.begin(), area.end());
    const QwtScaleDiv x = plot->axisScaleDiv(QwtPlot::xBottom);
    EXPECT_NEAR(x.lowerBound(), lo - 0.05 * (hi - lo), 1e-9);
    EXPECT_NEAR(x.upperBound(), hi + 0.05 * (hi - lo), 1e-9);

    // A filter that shows nothing: no limits, the axes scale themselves.
    main->activeDataset()->filter.addRule(
        {0, "area_um", "", 1000, 2000, {}, 0, 0, true, false, ""});
    window->refresh();
    window->flushRefresh();
    EXPECT_TRUE(window->plots().at(0)->axisAutoScale(QwtPlot::xBottom));
    EXPECT_TRUE(window->plots().at(0)->axisAutoScale(QwtPlot::yLeft));
}

// A log axis spans the positive values padded in log10; the values <= 0 are
// not drawn (Qwt would put them at 1e-100) but counted on the card, and N
// and the statistics keep them.
TEST_F(CombinePlots, LogAxisWithValuesAtOrBelowZero) {
    Measurement m = population(10);
    m.columns["area_um"] = {-5, 0, -1, 10, 100, 1000, 10, 100, 1000, 100};
    add("log.rtdc", m);
    setCheck("showCountCheck", true);
    setCombo("colorCombo", 1);
    ASSERT_EQ(window->cards().size(), 1u);
    window->cards()[0]->findChild<QComboBox*>(QStringLiteral("xScaleCombo"))->setCurrentIndex(1);
    setCheck("syncAxesCheck", true);
    QwtPlot* plot = window->plots().at(0);
    EXPECT_EQ(symbolDots(items(0, QwtPlotItem::Rtti_PlotCurve)), 7u);
    const QwtScaleDiv x = plot->axisScaleDiv(QwtPlot::xBottom);
    EXPECT_NEAR(std::log10(x.lowerBound()), 1.0 - 0.1, 1e-9);
    EXPECT_NEAR(std::log10(x.upperBound()), 3.0 + 0.1, 1e-9);
    const auto* scale = window->cards()[0]->findChild<QComboBox*>(QStringLiteral("xScaleCombo"));
    EXPECT_TRUE(scale->toolTip().startsWith(QStringLiteral("3 points with value")))
        << scale->toolTip().toStdString();
    EXPECT_EQ(static_cast<QwtPlotTextLabel*>(items(0, QwtPlotItem::Rtti_PlotTextLabel).at(0))
                  ->text()
                  .text(),
              QStringLiteral("N = 10"));

    // A manual lower limit of 0 cannot be drawn on a log axis: automatic.
    setCheck("manualLimitsCheck", true);
    control<QDoubleSpinBox>("xMinSpin")->setValue(0.0);
    control<QDoubleSpinBox>("xMaxSpin")->setValue(500.0);
    EXPECT_TRUE(window->plots().at(0)->axisAutoScale(QwtPlot::xBottom));
    EXPECT_GT(window->plots().at(0)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 0.0);
}

// ---- isolines ---------------------------------------------------------

// The Young's modulus tests' table (modulus ten times the deformation): the
// lines are drawn for area against deformation either way round, labelled
// with their modulus at their last point, and not for any other pair.
TEST_F(CombinePlots, IsolinesFollowTheFeaturePairAndCarryTheirModulus) {
    const std::string base = dir.file("program");
    testing::writeText(
        base + "/data/LUT_LE_2D_FEM.txt",
        testing::lutText(testing::gridTable(nullptr, [](double, double d) { return 10 * d; })));
    main->findChild<EModulus*>()->setLUTSearchDir(QString::fromStdString(base));
    add("iso.rtdc", population(30));
    setCheck("isoCheck", true);
    setCheck("isoLabelsCheck", true);
    auto lines = [&] {
        std::vector<QwtPlotCurve*> found;
        for (QwtPlotItem* item : items(0, QwtPlotItem::Rtti_PlotCurve))
            if (item->z() == -10.0)
                found.push_back(static_cast<QwtPlotCurve*>(item));
        return found;
    };
    const auto onArea = lines();
    ASSERT_FALSE(onArea.empty());
    const auto markers = items(0, QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(markers.size(), onArea.size());
    const QRegularExpression label(QStringLiteral("^(\\d+)\\.(\\d+) kPa$"));
    // Labels sit on the last point of their line inside the view.
    auto lastInView = [&](const QwtPlotCurve* curve) {
        const QwtPlot* plot = window->plots().at(0);
        const QwtInterval x = plot->axisScaleDiv(QwtPlot::xBottom).interval().normalized();
        const QwtInterval y = plot->axisScaleDiv(QwtPlot::yLeft).interval().normalized();
        for (int i = static_cast<int>(curve->dataSize()) - 1; i >= 0; --i)
            if (x.contains(curve->sample(i).x()) && y.contains(curve->sample(i).y()))
                return curve->sample(i);
        return curve->sample(static_cast<int>(curve->dataSize()) - 1);
    };
    for (size_t k = 0; k < onArea.size(); ++k) {
        const QPointF end = lastInView(onArea[k]);
        auto* marker = static_cast<QwtPlotMarker*>(markers[k]);
        EXPECT_EQ(marker->value(), end);
        const auto match = label.match(marker->label().text());
        ASSERT_TRUE(match.hasMatch()) << marker->label().text().toStdString();
        EXPECT_EQ(match.captured(2).size(), match.captured(1) == QLatin1String("0") ? 2 : 1);
        EXPECT_GE(end.x(), 20.0); // area on x
        EXPECT_LT(end.y(), 0.2);
    }
    const size_t count = onArea.size();
    const QPointF start = onArea[0]->sample(0);
    // Axes that cut the lines short: each label sits on the last point of
    // its line inside the view, not out of sight at the line's end.
    setCheck("syncAxesCheck", true);
    setCheck("manualLimitsCheck", true);
    control<QDoubleSpinBox>("xMinSpin")->setValue(0.0);
    control<QDoubleSpinBox>("xMaxSpin")->setValue(100.0);
    control<QDoubleSpinBox>("yMinSpin")->setValue(0.0);
    control<QDoubleSpinBox>("yMaxSpin")->setValue(0.2);
    const auto cut = lines();
    const auto cutLabels = items(0, QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(cutLabels.size(), cut.size());
    for (size_t k = 0; k < cut.size(); ++k) {
        const QPointF at = static_cast<QwtPlotMarker*>(cutLabels[k])->value();
        EXPECT_LE(at.x(), 100.0);
        int i = static_cast<int>(cut[k]->dataSize()) - 1;
        while (i > 0 && cut[k]->sample(i).x() > 100.0)
            --i;
        EXPECT_EQ(at, cut[k]->sample(i)) << k;
        EXPECT_LT(i, static_cast<int>(cut[k]->dataSize()) - 1) << k; // really cut short
    }
    // Axes wide enough for whole lines: the labels at the lines' ends.
    control<QDoubleSpinBox>("xMaxSpin")->setValue(300.0);
    const auto whole = lines();
    const auto wholeLabels = items(0, QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(wholeLabels.size(), whole.size());
    for (size_t k = 0; k < whole.size(); ++k)
        EXPECT_EQ(static_cast<QwtPlotMarker*>(wholeLabels[k])->value(),
                  whole[k]->sample(static_cast<int>(whole[k]->dataSize()) - 1));
    setCheck("syncAxesCheck", false);

    // Swapped features: the same lines with the coordinates swapped (the
    // rebuild deletes the old curves).
    CombineDatasetWidget* card = window->cards().at(0);
    card->setFeatureSelections("deform", "area_um");
    emit card->settingsChanged();
    const auto onDeform = lines();
    ASSERT_EQ(onDeform.size(), count);
    EXPECT_EQ(onDeform[0]->sample(0), QPointF(start.y(), start.x()));
    card = window->cards().at(0);
    card->setFeatureSelections("area_um", "bright_avg");
    emit card->settingsChanged();
    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(items(0, QwtPlotItem::Rtti_PlotMarker).empty());
}

// ---- statistics -------------------------------------------------------

// The table and its TSV against numpy on the files read by h5py, with the
// same filter: a range rule of the dataset's own and a filter group whose
// rule is on "fl1_max", which neither measurement has and so takes no part.
TEST_F(CombinePlots, StatisticsTableAndTsvMatchNumpyUnderTheSameFilter) {
    Measurement a = population(500);
    a.columns["deform"][3] = kNaN;
    a.columns["area_um"][7] = kNaN;
    DatasetEntry* first = add("a.rtdc", a);
    first->filter.addRule({0, "area_um", "", 40, 90, {}, 0, 0, true, false, ""});
    Measurement b = population(301, 5.0, 0.01);
    DatasetEntry* second = add("b.rtdc", b);
    const int group = main->addFilterGroup("fluorescent");
    main->addRuleToGroup(group, {0, "fl1_max", "", 0, 1, {}, 0, 0, true, false, ""});
    main->setGroupEnabledInAll(group, true);
    CombineDatasetWidget* card = window->cards().at(1);
    card->setFeatureSelections("area_um", "bright_avg");
    emit card->settingsChanged();
    ASSERT_EQ(window->references().at(1).datasetId, second->id);

    // Hidden dock: the export fills the table itself.
    ASSERT_TRUE(window->findChild<QDockWidget*>(QStringLiteral("statsDock"))->isHidden());
    const QString tsv = QString::fromStdString(dir.file("stats.tsv"));
    dialogs.fileAnswers.push_back(tsv);
    dialogs.filterAnswers.push_back(QStringLiteral("Tab-Separated Values (*.tsv)"));
    window->exportStatsTsv();
    ASSERT_EQ(dialogs.count(testing::DialogCall::SaveFile), 1);
    EXPECT_EQ(dialogs.calls.back().dir,
              QString::fromStdString(dir.path()) + QStringLiteral("/plot_statistical_summary.tsv"));
    const QStringList lines = QString::fromUtf8(bytesOf(tsv)).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << lines.join('|').toStdString(); // header, 2 rows, ""
    const QStringList header = lines[0].split(QLatin1Char('\t'));
    ASSERT_EQ(header.size(), 2 + 18);
    EXPECT_EQ(header[0], QStringLiteral("Dataset"));
    EXPECT_EQ(header[2], QStringLiteral("Area [\u00B5m\u00B2] Mean"));
    EXPECT_TRUE(header[19].endsWith(QStringLiteral(" IQR")));

    const auto rows = testing::runPythonOracle(
        std::string(QUORVEX3_TEST_DIR) + "/combine_stats_oracle.py", dir.path());
    ASSERT_EQ(rows.size(), 2u);
    for (int r = 0; r < 2; ++r) {
        const QStringList cells = lines[r + 1].split(QLatin1Char('\t'));
        ASSERT_EQ(cells.size(), 20);
        EXPECT_EQ(cells[1].toDouble(), rows[r].groups[0][0]) << r;
        for (int c = 0; c < 18; ++c) {
            const double expected = rows[r].groups[1][static_cast<size_t>(c)];
            const QString& cell = cells[c + 2];
            if (std::isnan(expected)) {
                EXPECT_TRUE(cell.isEmpty()) << r << " " << c;
                continue;
            }
            // The texts carry 6 significant digits.
            EXPECT_EQ(cell, QString::number(expected, 'g', 6)) << r << " " << c;
        }
    }
}

TEST_F(CombinePlots, StatisticsExportWithNothingToWriteSaysSo) {
    window->exportStatsTsv();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, testing::DialogCall::Information);
    EXPECT_EQ(dialogs.count(testing::DialogCall::SaveFile), 0);
}

// Statistics of the values 1, 2, 3, 4 and of one value, by hand.
TEST_F(CombinePlots, ComputeStatsOfHandWorkedValues) {
    const CombinePlotStats s = CombinePlotWindow::computeStats({4, 1, 3, 2});
    EXPECT_DOUBLE_EQ(s.mean, 2.5);
    EXPECT_NEAR(s.sd, 1.2909944487358056, 1e-15);
    EXPECT_DOUBLE_EQ(s.q1, 1.75);
    EXPECT_DOUBLE_EQ(s.median, 2.5);
    EXPECT_DOUBLE_EQ(s.q3, 3.25);
    EXPECT_DOUBLE_EQ(s.iqr, 1.5);
    const CombinePlotStats one = CombinePlotWindow::computeStats({7});
    EXPECT_TRUE(one.mean == 7 && one.sd == 0 && one.q1 == 7 && one.q3 == 7 && one.iqr == 0);
}

} // namespace
} // namespace Quorvex3::test
