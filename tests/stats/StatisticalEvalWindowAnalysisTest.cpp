// The group comparison wired into the evaluation window: summaries through
// the store and each dataset's effective filter, the messages through the
// dialog seam, the results table and the group plots, the rerun on "Show
// connection lines". The numbers themselves are checked in
// ComparisonRunTest against scipy and statsmodels.

#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/GroupComparisonPlot.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QTableWidget>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

constexpr int kEvents = 100;

class AnalysisWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_finite = openReader("finite.rtdc", false);
        m_nan = openReader("nan.rtdc", true);
    }

    /// area_um 0..99, deform = area_um / 1000, bright_avg = area_um + 1 (or NaN).
    std::shared_ptr<RTDCReader> openReader(const std::string& name, bool nanBrightness) {
        std::vector<double> area(kEvents), deform(kEvents), bright(kEvents);
        for (int i = 0; i < kEvents; ++i) {
            area[i] = i;
            deform[i] = i / 1000.0;
            bright[i] = nanBrightness ? std::numeric_limits<double>::quiet_NaN() : i + 1.0;
        }
        {
            RtdcFixtureWriter writer(m_dir.file(name));
            writer.addColumn<double>("area_um", area);
            writer.addColumn<double>("deform", deform);
            writer.addColumn<double>("bright_avg", bright);
        }
        auto reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(reader->openFile(m_dir.file(name)));
        return reader;
    }

    /// A dataset showing the events with area_um in [lo, lo + 20] (median lo + 10).
    int addDataset(const QString& name, double lo, bool nanBrightness = false) {
        auto entry = std::make_unique<DatasetEntry>();
        entry->reader = nanBrightness ? m_nan : m_finite;
        entry->displayName = name;
        FilterRule rule;
        rule.featureName = "area_um";
        rule.minValue = lo;
        rule.maxValue = lo + 20;
        entry->filter.addRule(rule);
        return m_store.append(std::move(entry));
    }

    /// `categories` categories of `subjects` datasets; subject s of category c
    /// shows area_um from 2 s + 5 c (median 2 s + 5 c + 10), numberId s + 1.
    void fill(StatisticalEvalWindow& window, int categories, int subjects) {
        while (static_cast<int>(window.categoryPanels().size()) < categories)
            window.onAddCategory();
        for (int c = 0; c < categories; ++c)
            for (int s = 0; s < subjects; ++s) {
                const QString name = QStringLiteral("S%1 C%2").arg(s + 1).arg(c);
                const int id = addDataset(name, 2.0 * s + 5.0 * c, false);
                window.categoryPanels()[static_cast<size_t>(c)]->addEntry(
                    {id, name, "", s + 1, 0, 0});
            }
        window.onCategoryChanged();
    }

    static void select(StatisticalEvalWindow& window, const std::vector<QString>& features) {
        auto* list = window.findChild<QListWidget*>("featureList");
        for (int i = 0; i < list->count(); ++i)
            for (const QString& f : features)
                if (list->item(i)->data(Qt::UserRole).toString() == f)
                    list->item(i)->setSelected(true);
    }

    static QTableWidget* table(StatisticalEvalWindow& window) {
        return window.findChild<QTableWidget*>("resultsTable");
    }

    static QString cell(StatisticalEvalWindow& window, int row, int column) {
        const QTableWidgetItem* item = table(window)->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    static std::vector<QwtPlot*> plots(StatisticalEvalWindow& window) {
        std::vector<QwtPlot*> out;
        for (QwtPlot* plot : window.findChildren<QwtPlot*>())
            if (!plot->itemList(QwtPlotItem::Rtti_PlotCurve).isEmpty() &&
                plot->parentWidget() &&
                plot->parentWidget()->objectName() != QLatin1String("rocPlotContainer"))
                out.push_back(plot);
        return out;
    }

    static int curvesAt(QwtPlot* plot, double z) {
        int n = 0;
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
            n += item->z() == z ? 1 : 0;
        return n;
    }

    TempDir m_dir;
    DatasetStore m_store;
    std::shared_ptr<RTDCReader> m_finite;
    std::shared_ptr<RTDCReader> m_nan;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
};

} // namespace

// The member reads the dataset's column through the store and keeps only the
// shown, finite values; anything missing is no value rather than 0.
TEST_F(AnalysisWindowTest, DatasetSummaryThroughStoreAndFilter) {
    StatisticalEvalWindow window(&m_store);
    const int shown = addDataset("a", 30.0);
    const int nan = addDataset("b", 30.0, true);
    auto unfiltered = std::make_unique<DatasetEntry>();
    unfiltered->reader = m_finite;
    const int all = m_store.append(std::move(unfiltered));
    auto* summary = window.findChild<QComboBox*>("summaryCombo");
    struct Case {
        int id;
        std::string feature;
        int statistic;
        std::optional<double> expected;
    };
    const std::vector<Case> cases = {
        {shown, "area_um", 0, 40.0},       // median of 30..50
        {shown, "area_um", 1, 40.0},       // mean
        {shown, "area_um", 4, 10.0},       // sorted 30..50: x[15] - x[5]
        {shown, "bright_avg", 0, 41.0},    // another feature, same shown events
        {all, "area_um", 0, 49.5},         // no rule: every event
        {nan, "bright_avg", 0, std::nullopt}, // no finite value at a shown event
        {shown, "no_such_feature", 0, std::nullopt},
        {9999, "area_um", 0, std::nullopt},
    };
    for (const Case& c : cases) {
        summary->setCurrentIndex(c.statistic);
        EXPECT_EQ(window.computeDatasetSummary(c.id, c.feature), c.expected)
            << c.id << " " << c.feature << " " << c.statistic;
    }
    summary->setCurrentIndex(2);
    EXPECT_NEAR(*window.computeDatasetSummary(shown, "area_um"), std::sqrt(38.5), 1e-12);
}

// The summaries apply the dataset's effective filter also while filtering is
// switched off ("Filtering Enabled" unticked only changes what the plots
// show), with the rules of the dataset's filter groups as well.
TEST_F(AnalysisWindowTest, DatasetSummaryFiltersAlsoWhenFilteringIsSwitchedOff) {
    StatisticalEvalWindow window(&m_store);
    const int own = addDataset("own rule", 30.0);
    m_store.findById(own)->filter.setEnabled(false);
    auto grouped = std::make_unique<DatasetEntry>();
    grouped->reader = m_finite;
    grouped->filter.setEnabled(false);
    const int byGroup = m_store.append(std::move(grouped));
    const int group = m_store.addGroup("Small");
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 0;
    rule.maxValue = 9;
    ASSERT_TRUE(m_store.addRuleToGroup(group, rule));
    ASSERT_TRUE(m_store.setGroupEnabled(byGroup, group, true));
    EXPECT_EQ(window.computeDatasetSummary(own, "area_um"), 40.0);    // median of 30..50
    EXPECT_EQ(window.computeDatasetSummary(byGroup, "area_um"), 4.5); // median of 0..9

    // The run's summaries too: category medians 10, 12, 14 and 15, 17, 19
    // (every event would give 49.5 everywhere).
    fill(window, 2, 3);
    for (int row = 0; row < m_store.count(); ++row)
        m_store.at(row)->filter.setEnabled(false);
    select(window, {"area_um"});
    window.onRunAnalysis();
    ASSERT_EQ(m_dialogs.calls.size(), 0u) << m_dialogs.calls[0].text.toStdString();
    EXPECT_EQ(cell(window, 0, 1), QStringLiteral("12 \u00b1 2"));
    EXPECT_EQ(cell(window, 0, 2), QStringLiteral("17 \u00b1 2"));
}

// Three categories of ten subjects, matched, Holm: one Friedman row and three
// Wilcoxon rows per feature, brackets on every plot, lines on demand.
TEST_F(AnalysisWindowTest, MatchedRunFillsTableAndPlots) {
    StatisticalEvalWindow window(&m_store);
    fill(window, 3, 10);
    select(window, {"area_um", "deform"});
    window.findChild<QComboBox*>("designCombo")->setCurrentIndex(1);
    window.findChild<QComboBox*>("correctionCombo")->setCurrentText("Holm-Bonferroni");
    window.onRunAnalysis();
    ASSERT_EQ(m_dialogs.calls.size(), 0u) << m_dialogs.calls[0].text.toStdString();

    QTableWidget* t = table(window);
    ASSERT_EQ(t->rowCount(), 8);
    ASSERT_EQ(t->columnCount(), 7);
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), "Baseline");
    EXPECT_EQ(t->horizontalHeaderItem(6)->text(), "Sig. (Holm)");
    EXPECT_EQ(cell(window, 0, 4), "Friedman");
    EXPECT_EQ(cell(window, 0, 6), "(omnibus)");
    EXPECT_EQ(cell(window, 1, 0), "  Baseline vs Condition 1");
    EXPECT_EQ(cell(window, 3, 0), "  Condition 1 vs Condition 2");
    EXPECT_EQ(cell(window, 3, 4), "Wilcoxon");
    // Ten subjects, all differences one way: p = erfc(27.5/sqrt(96.25)/sqrt 2).
    EXPECT_EQ(cell(window, 1, 5), "0.005062");
    EXPECT_EQ(cell(window, 1, 6), "*");
    // Medians 10, 12, ..., 28: mean 19, SD sqrt(36.667).
    EXPECT_EQ(cell(window, 0, 1), QStringLiteral("19 \u00b1 6.06"));
    EXPECT_EQ(t->item(0, 1)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(t->item(0, 4)->textAlignment(), 0);

    auto shown = plots(window);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(curvesAt(shown[0], GroupPlotZ::Bracket), 3);
    EXPECT_EQ(curvesAt(shown[0], GroupPlotZ::Lines), 0);
    // The y axis names the summary the dots are.
    EXPECT_EQ(shown[0]->axisTitle(QwtPlot::yLeft).text().toStdString(),
              "Median of " + m_finite->getFeatureLabel("area_um"));

    // Toggling the lines reruns the comparison and replaces the plots.
    window.findChild<QCheckBox*>("connectionLinesCheck")->setChecked(true);
    shown = plots(window);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(curvesAt(shown[1], GroupPlotZ::Lines), 10);
    EXPECT_EQ(t->rowCount(), 8);

    // The coefficient of variation is a ratio: its title drops the unit.
    window.findChild<QComboBox*>("summaryCombo")->setCurrentIndex(3);
    window.onRunAnalysis();
    shown = plots(window);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("CV of Area"));
    EXPECT_EQ(shown[1]->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("CV of Deformation"));
}

// A stopped run changes nothing; the question goes through the seam with No
// as its default; answering Yes runs.
TEST_F(AnalysisWindowTest, ValidationAndReachabilityStopTheRun) {
    StatisticalEvalWindow window(&m_store);
    fill(window, 2, 3);
    window.onRunAnalysis();
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].title, "Analysis");
    EXPECT_EQ(m_dialogs.calls[0].text, "Select at least one feature.");
    EXPECT_EQ(table(window)->rowCount(), 0);

    select(window, {"area_um"});
    window.findChild<QComboBox*>("designCombo")->setCurrentIndex(1);
    m_dialogs.calls.clear();
    m_dialogs.buttonAnswers.push_back(QMessageBox::No);
    window.onRunAnalysis();
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_TRUE(m_dialogs.calls[0].text.startsWith(
        QStringLiteral("With 3 matched observations, the minimum achievable p-value (Wilcoxon) "
                       "is \u22480.109.")));
    EXPECT_EQ(table(window)->rowCount(), 0);
    EXPECT_TRUE(plots(window).empty());

    m_dialogs.buttonAnswers.push_back(QMessageBox::Yes);
    window.onRunAnalysis();
    EXPECT_EQ(table(window)->rowCount(), 1);
    EXPECT_EQ(cell(window, 0, 3), "Wilcoxon");
    EXPECT_EQ(cell(window, 0, 4), "0.1088"); // the smallest p of three pairs
    EXPECT_EQ(plots(window).size(), 1u);
}

// A dataset whose shown events have no finite value leaves the feature and
// is named in one warning after the results, not counted as 0.
TEST_F(AnalysisWindowTest, DatasetsWithoutValueAreNamedAfterResults) {
    StatisticalEvalWindow window(&m_store);
    fill(window, 2, 3);
    const int id = addDataset("dark", 0.0, true);
    window.categoryPanels()[0]->addEntry({id, "dark", "", 0, 0, 0});
    window.onCategoryChanged();
    select(window, {"bright_avg", "area_um"});
    window.onRunAnalysis();
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_TRUE(m_dialogs.calls[0].text.endsWith(QStringLiteral(": dark (Baseline)")))
        << m_dialogs.calls[0].text.toStdString();
    EXPECT_EQ(m_dialogs.calls[0].text.count(QStringLiteral("dark")), 1);
    // bright_avg medians 11, 13, 15 (the dark one left out): mean 13, SD 2.
    const int brightRow = cell(window, 0, 0) == QString::fromStdString(
                                                    m_finite->getFeatureLabel("bright_avg"))
                              ? 0
                              : 1;
    EXPECT_EQ(cell(window, brightRow, 1), QStringLiteral("13 \u00b1 2"));
    EXPECT_EQ(cell(window, 1 - brightRow, 1), QStringLiteral("11.5 \u00b1 1.91")); // dark counts here
}
