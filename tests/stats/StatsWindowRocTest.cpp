// The ROC and distribution tabs of the evaluation window, wired to real
// measurements: the class dialogs and duplicate names, the refusals, the
// table and plots a run leaves, the warning naming datasets without a value,
// and the distribution plots with their refusals. The numbers behind them
// are tested without widgets in RocRunTest and StatsPlotsTest.

#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QMessageBox>
#include <QComboBox>
#include <QLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

class RocWindow : public ::testing::Test {
protected:
    /// A dataset whose "area_um" events are `area` and "deform" events `deform`.
    int addDataset(const std::string& name, const std::vector<double>& area,
                   const std::vector<double>& deform) {
        const std::string path = m_dir.file(name + ".rtdc");
        {
            RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", area);
            writer.addColumn<double>("deform", deform);
        }
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = m_store.newDatasetId();
        entry->filePath = path;
        entry->displayName = QString::fromStdString(name);
        entry->reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(entry->reader->openFile(path));
        const int id = entry->id;
        m_store.append(std::move(entry));
        return id;
    }

    /// Fills category `c` with datasets of one event each; the values are
    /// their medians.
    void fill(int c, const std::vector<double>& areas, const std::vector<double>& deforms) {
        for (std::size_t i = 0; i < areas.size(); ++i) {
            const std::string name = "c" + std::to_string(c) + "d" + std::to_string(i);
            const int id = addDataset(name, {areas[i]}, {deforms[i]});
            panel(c)->addEntry({id, QString::fromStdString(name), "", static_cast<int>(i) + 1});
        }
    }

    StatisticalEvalWindow& window() {
        if (!m_window)
            m_window = std::make_unique<StatisticalEvalWindow>(&m_store);
        return *m_window;
    }
    CategoryPanel* panel(int c) { return window().categoryPanels().at(static_cast<size_t>(c)); }
    QListWidget* features() { return window().findChild<QListWidget*>("featureList"); }
    QTableWidget* table() { return window().findChild<QTableWidget*>("rocTable"); }
    QTabWidget* tabs() { return window().findChild<QTabWidget*>("tabWidget"); }

    /// Refreshes the feature list and selects the features, in this order.
    void select(const QStringList& names) {
        window().onCategoryChanged();
        for (const QString& name : names)
            for (int row = 0; row < features()->count(); ++row)
                if (features()->item(row)->data(Qt::UserRole).toString() == name)
                    features()->item(row)->setSelected(true);
    }

    /// The plots of a tab's scroll area, in layout order.
    std::vector<QwtPlot*> plotsIn(const char* scrollArea) {
        const QWidget* container = window().findChild<QScrollArea*>(scrollArea)->widget();
        std::vector<QwtPlot*> plots;
        for (int i = 0; i < container->layout()->count(); ++i)
            if (auto* plot = qobject_cast<QwtPlot*>(container->layout()->itemAt(i)->widget()))
                plots.push_back(plot);
        return plots;
    }

    QString cell(int row, int column) {
        const QTableWidgetItem* item = table()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    TempDir m_dir;
    DatasetStore m_store;
    std::unique_ptr<StatisticalEvalWindow> m_window;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_scope{m_dialogs};
};

// ================================================================== dialogs

// Two categories: the first is negative, no dialog. Three: two item
// dialogs, the positive one without the chosen negative.
TEST_F(RocWindow, ClassDialogsAndTable) {
    fill(0, {1, 2, 3}, {0.1, 0.2, 0.3});
    fill(1, {4, 5, 6, 7}, {0.3, 0.1, 0.2, 0.25});
    select({"area_um", "deform"});
    window().onRunROC();
    EXPECT_EQ(m_dialogs.count(DialogCall::Input), 0);
    ASSERT_EQ(m_dialogs.calls.size(), 0u);
    ASSERT_EQ(table()->rowCount(), 3);
    const QStringList header = {"Feature",     "AUC",         "Direction",  "Optimal Threshold",
                                "Sensitivity", "Specificity", "N Baseline", "N Condition 1"};
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(table()->horizontalHeaderItem(c)->text(), header[c]);
    const QStringList area = {"Area", "1.000", "> (higher = Condition 1)", "4", "1.000", "1.000",
                              "3",    "4"};
    EXPECT_EQ(cell(0, 1), area[1]);
    EXPECT_EQ(cell(0, 2), area[2]);
    EXPECT_EQ(cell(0, 3), area[3]);
    EXPECT_EQ(cell(0, 6), area[6]);
    EXPECT_EQ(cell(0, 7), area[7]);
    EXPECT_EQ(cell(2, 0), "Combined (LDA)");
    EXPECT_EQ(table()->item(0, 3)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(tabs()->currentIndex(), 1);
    const std::vector<QwtPlot*> plots = plotsIn("rocPlotScrollArea");
    ASSERT_EQ(plots.size(), 3u);
    EXPECT_TRUE(plots[2]->title().text().startsWith("Combined (LDA)\nWeights: "));

    window().onAddCategory(); // "Condition 2"
    fill(2, {0.5, 1.5, 2.5}, {0.1, 0.2, 0.3});
    m_dialogs.inputAnswers = {"Condition 2", "Condition 1"};
    window().onRunROC();
    ASSERT_EQ(m_dialogs.count(DialogCall::Input), 2);
    EXPECT_EQ(m_dialogs.calls[0].title, "ROC Analysis");
    EXPECT_EQ(m_dialogs.calls[0].text, "Select NEGATIVE class (reference):");
    EXPECT_EQ(m_dialogs.calls[0].buttons, (QStringList{"Baseline", "Condition 1", "Condition 2"}));
    EXPECT_EQ(m_dialogs.calls[1].text, "Select POSITIVE class (condition):");
    EXPECT_EQ(m_dialogs.calls[1].buttons, (QStringList{"Baseline", "Condition 1"}));
    EXPECT_EQ(table()->horizontalHeaderItem(6)->text(), "N Condition 2");
    EXPECT_EQ(table()->horizontalHeaderItem(7)->text(), "N Condition 1");
}

// Of two categories named alike, the negative is the first; the positive
// of that name is the other one, never the negative again. A cancelled
// dialog leaves the last run in place.
TEST_F(RocWindow, DuplicateNamesAndCancel) {
    window().onAddCategory();
    panel(1)->setCategoryName("Same");
    panel(2)->setCategoryName("Same");
    fill(0, {1, 2, 3}, {1, 2, 3});
    fill(1, {4, 5, 6}, {1, 2, 3});
    fill(2, {7, 8, 9, 10, 11}, {1, 2, 3, 4, 5});
    select({"area_um"});
    m_dialogs.inputAnswers = {"Same", "Same"};
    window().onRunROC();
    ASSERT_EQ(m_dialogs.count(DialogCall::Input), 2);
    EXPECT_EQ(m_dialogs.calls[1].buttons, (QStringList{"Baseline", "Same"}));
    ASSERT_EQ(table()->rowCount(), 1);
    EXPECT_EQ(cell(0, 6), "3"); // the first "Same"
    EXPECT_EQ(cell(0, 7), "5"); // the second
    const std::vector<QwtPlot*> before = plotsIn("rocPlotScrollArea");
    ASSERT_EQ(before.size(), 1u);

    for (const QStringList& answers :
         {QStringList{"<cancel>"}, QStringList{"Baseline", "<cancel>"}}) {
        m_dialogs.inputAnswers = {answers.begin(), answers.end()};
        window().onRunROC();
        EXPECT_EQ(cell(0, 7), "5");
        EXPECT_EQ(plotsIn("rocPlotScrollArea"), before);
    }
    EXPECT_EQ(m_dialogs.count(DialogCall::Warning), 0);
}

// ================================================================ refusals

// The messages, in the order of the checks, each leaving the last run.
TEST_F(RocWindow, RefusalsKeepThePreviousRun) {
    fill(0, {1, 2, 3}, {1, 2, 3});
    fill(1, {4, 5, 6}, {1, 2, 3});
    select({"area_um"});
    window().onRunROC();
    ASSERT_EQ(table()->rowCount(), 1);

    features()->clearSelection();
    window().onRunROC();
    panel(1)->setNumberId(panel(1)->entries()[1].datasetId, 0);
    select({"area_um"});
    window().findChild<QCheckBox*>("replicatesCheck")->setChecked(true);
    window().onRunROC();
    panel(1)->setNumberId(panel(1)->entries()[1].datasetId, 1); // IDs 1, 1, 3: two subjects
    window().onRunROC();
    const std::vector<QString> expected = {
        "Select at least one feature.",
        "Replicates are enabled but some datasets have no ID assigned. Double-click datasets to "
        "assign IDs.",
        "Each category needs at least 3 samples for ROC analysis. After replicate aggregation, "
        "there are 3 and 2 samples."};
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 3);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(m_dialogs.calls[i].title, "ROC Analysis");
        EXPECT_EQ(m_dialogs.calls[i].text, expected[i]);
    }
    EXPECT_EQ(table()->rowCount(), 1);
    EXPECT_EQ(plotsIn("rocPlotScrollArea").size(), 1u);
}

// A dataset in both chosen classes refuses the run, and the group
// comparison likewise: the tests would count it twice. One in a third
// category that the ROC run does not use is no obstacle there.
TEST_F(RocWindow, DatasetInTwoCategoriesRefusesTheRuns) {
    fill(0, {1, 2, 3}, {1, 2, 3});
    fill(1, {4, 5, 6}, {1, 2, 3});
    window().onAddCategory();
    fill(2, {7, 8, 9}, {1, 2, 3});
    const CategoryDatasetEntry shared = panel(0)->entries()[1];
    panel(2)->addEntry(shared);
    select({"area_um"});
    // Baseline and Condition 1, then Baseline and Condition 2.
    m_dialogs.inputAnswers = {"Baseline", "Condition 1", "Baseline", "Condition 2"};
    window().onRunROC();
    ASSERT_EQ(table()->rowCount(), 1);
    window().onRunROC();
    window().onRunAnalysis();
    const QString named = QStringLiteral(
        "These datasets are in more than one category and would count as independent samples "
        "of each:\n\nc0d1 (Baseline, Condition 2)\n\nKeep every dataset in one category only.");
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 2);
    EXPECT_EQ(m_dialogs.calls.back().title, "Analysis");
    EXPECT_EQ(m_dialogs.calls.back().text, named);
    const auto warning = std::find_if(m_dialogs.calls.begin(), m_dialogs.calls.end(),
                                      [](const auto& c) { return c.kind == DialogCall::Warning; });
    EXPECT_EQ(warning->title, "ROC Analysis");
    EXPECT_EQ(warning->text, named);
    EXPECT_EQ(table()->rowCount(), 1); // the first run stays
    EXPECT_EQ(window().findChild<QTableWidget*>("resultsTable")->rowCount(), 0);
}

// ============================================================ missing values

// A dataset with no finite value is left out of that feature (not a 0.0
// that would cost the curve its AUC), and one warning names it after the
// results.
TEST_F(RocWindow, DatasetWithoutValueIsLeftOutAndNamed) {
    fill(0, {1, 2, 3}, {0.1, 0.2, 0.3});
    fill(1, {4, 5, 6, 7}, {0.4, 0.5, 0.6, 0.7});
    const int blank = addDataset("blank", {kNaN, kNaN}, {0.9, 0.8});
    panel(1)->addEntry({blank, "blank", "", 5});
    select({"area_um", "deform"});
    window().onRunROC();
    ASSERT_EQ(table()->rowCount(), 3);
    EXPECT_EQ(cell(0, 1), "1.000");
    EXPECT_EQ(cell(0, 7), "4");
    EXPECT_EQ(cell(1, 7), "5");
    EXPECT_EQ(cell(2, 7), "4"); // the LDA: datasets with both values
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 1);
    EXPECT_EQ(m_dialogs.calls[0].title, "ROC Analysis");
    EXPECT_NE(m_dialogs.calls[0].text.indexOf(
                  QString::fromUtf8("Area [\xC2\xB5m\xC2\xB2] \xE2\x80\x94 Condition 1: blank")),
              -1)
        << m_dialogs.calls[0].text.toStdString();
    EXPECT_EQ(m_dialogs.calls[0].text.count("blank"), 1);
}

// A feature without a value in the positive class: "n/a" cells and no
// plot; the combined row too, as no sample has both values.
TEST_F(RocWindow, InvalidResultsShowNaAndNoPlot) {
    fill(0, {1, 2, 3}, {0.1, 0.2, 0.3});
    fill(1, {4, 5, 6}, {kNaN, kNaN, kNaN});
    select({"area_um", "deform"});
    window().onRunROC();
    ASSERT_EQ(table()->rowCount(), 3);
    for (int row : {1, 2})
        for (int column = 1; column <= 7; ++column)
            EXPECT_EQ(cell(row, column), "n/a") << row << " " << column;
    EXPECT_EQ(cell(0, 1), "1.000");
    const std::vector<QwtPlot*> plots = plotsIn("rocPlotScrollArea");
    ASSERT_EQ(plots.size(), 1u);
    EXPECT_EQ(plots[0]->title().text(), cell(0, 0));
}

// ============================================================= distribution

TEST_F(RocWindow, DistributionPlotsAndRefusals) {
    fill(0, {1, 2, 3}, {0.1, 0.2, 0.3});
    fill(1, {4, 5}, {0.4, 0.5});
    window().onCategoryChanged();
    window().onRunDistribution();
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 1);
    EXPECT_EQ(m_dialogs.calls[0].title, "Distribution Explorer");
    EXPECT_EQ(m_dialogs.calls[0].text, "Select at least one feature.");

    select({"area_um", "deform"});
    window().onRunDistribution();
    EXPECT_EQ(tabs()->currentIndex(), 2);
    std::vector<QwtPlot*> plots = plotsIn("distributionScrollArea");
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[0]->findChildren<QwtLegend*>().size(), 0);
    int curves = 0;
    for (const QwtPlotItem* item : plots[0]->itemList())
        curves += item->rtti() == QwtPlotItem::Rtti_PlotCurve;
    EXPECT_EQ(curves, 5);

    window().findChild<QComboBox*>("distributionModeCombo")->setCurrentIndex(1);
    window().onRunDistribution();
    plots = plotsIn("distributionScrollArea");
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_NE(plots[0]->legend(), nullptr);
    QStringList titles;
    for (const QwtPlotItem* item : plots[0]->itemList())
        if (item->testItemAttribute(QwtPlotItem::Legend))
            titles << item->title().text();
    EXPECT_EQ(titles, (QStringList{"Baseline", "Condition 1"}));

    // Values spanning more than a double: a warning and no plot for them.
    const int huge = addDataset("huge", {-1e308, 1e308}, {0.5, 0.6});
    panel(0)->addEntry({huge, "huge", "", 9});
    window().onRunDistribution();
    plots = plotsIn("distributionScrollArea");
    ASSERT_EQ(plots.size(), 1u);
    EXPECT_EQ(plots[0]->title().text(), "Deformation");
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 2);
    EXPECT_TRUE(m_dialogs.calls.back().text.startsWith("The values of Area"));
}

// The distributions take the events of the dataset's filter rules also while
// its filtering is switched off: the common grid ends at 2 + 0.05 (the shown
// events 1 and 2), not at 100 + 4.95 (every event).
TEST_F(RocWindow, DistributionFiltersAlsoWhenFilteringIsSwitchedOff) {
    const int id = addDataset("filtered", {1, 2, 100}, {0.1, 0.2, 0.3});
    DatasetEntry* dataset = m_store.findById(id);
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 0;
    rule.maxValue = 10;
    dataset->filter.addRule(rule);
    dataset->filter.setEnabled(false);
    panel(0)->addEntry({id, "filtered", "", 1});
    select({"area_um"});
    window().onRunDistribution();
    const std::vector<QwtPlot*> plots = plotsIn("distributionScrollArea");
    ASSERT_EQ(plots.size(), 1u);
    const QwtPlotItemList curves = plots[0]->itemList(QwtPlotItem::Rtti_PlotCurve);
    ASSERT_EQ(curves.size(), 1);
    const auto* curve = static_cast<const QwtPlotCurve*>(curves.front());
    ASSERT_EQ(curve->dataSize(), 256u);
    EXPECT_NEAR(curve->sample(0).x(), 0.95, 1e-12);
    EXPECT_NEAR(curve->sample(255).x(), 2.05, 1e-12);
}

} // namespace

// ============================================================ curve export

// "Export ROC Curve Data..." writes the curves of the last run as its table
// and plots show them: per feature, the run's own labels and points; a later
// run replaces them.
TEST_F(RocWindow, CurveDataExportWritesTheLastRunsCurves) {
    fill(0, {1, 2, 3}, {0.1, 0.2, 0.3});
    fill(1, {4, 5, 6, 7}, {0.3, 0.1, 0.2, 0.25});
    select({"area_um"});
    window().onRunROC();
    ASSERT_EQ(table()->rowCount(), 1);

    const QString path = QString::fromStdString(m_dir.file("curves.tsv"));
    m_dialogs.fileAnswers = {path};
    window().exportROCData();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    // Perfect separation: (0,0) at max+1, then one point per distinct value.
    ASSERT_GE(lines.size(), 10);
    EXPECT_EQ(lines[0], QString::fromUtf8("# Area [\u00b5m\u00b2]"));
    EXPECT_EQ(lines[1], "FPR\tTPR\tThreshold");
    EXPECT_EQ(lines[2], "0\t0\t8");
    EXPECT_EQ(lines[3], "0\t0.25\t7");
    EXPECT_EQ(lines[6], "0\t1\t4");
    EXPECT_EQ(lines[9], "1\t1\t1");

    // A second run on the other feature alone replaces the first.
    features()->clearSelection();
    select({"deform"});
    window().onRunROC();
    m_dialogs.fileAnswers = {path};
    m_dialogs.buttonAnswers = {QMessageBox::Yes};
    window().exportROCData();
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(file.readAll()).startsWith("# Deformation")) << path.toStdString();
    file.close();

    // With two features the combined (LDA) curve of the table's last row and
    // the last plot follows the features' curves.
    select({"area_um", "deform"});
    window().onRunROC();
    ASSERT_EQ(table()->rowCount(), 3);
    m_dialogs.fileAnswers = {path};
    m_dialogs.buttonAnswers = {QMessageBox::Yes};
    window().exportROCData();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList all = QString::fromUtf8(file.readAll()).split('\n');
    QStringList headings;
    for (const QString& line : all)
        if (line.startsWith('#'))
            headings << line;
    EXPECT_EQ(headings, (QStringList{QString::fromUtf8("# Area [\u00b5m\u00b2]"), "# Deformation",
                                     "# Combined (LDA)"}));
    const int combined = all.indexOf("# Combined (LDA)");
    ASSERT_GE(combined, 0);
    EXPECT_EQ(all.value(combined + 1), "FPR\tTPR\tThreshold");
    EXPECT_TRUE(all.value(combined + 2).startsWith("0\t0\t"));
}
