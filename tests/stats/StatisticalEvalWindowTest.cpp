// The evaluation window's shell on a dataset store: categories with their
// names and colours, the controls each tab shows, the test label, the
// matched-design rule, the description's reachability warning against
// Python's math.erfc, ID detection, notifications and ownership.
#include "stats/StatsWindowTestSupport.h"

#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/PythonOracle.h"
#include "util/ScriptedDialogProvider.h"
#include "util/ToolWindowRegistry.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

namespace Quorvex3 {
namespace {

using testing::DialogCall;
using testing::namedChild;
using testing::ScriptedDialogProvider;

class StatsWindowTest : public testing::StatsStoreFixture {
protected:
    void SetUp() override {
        StatsStoreFixture::SetUp();
        m_guard = std::make_unique<ScopedDialogProvider>(m_dialogs);
    }
    void TearDown() override { m_guard.reset(); }

    std::unique_ptr<StatisticalEvalWindow> makeWindow() {
        return std::make_unique<StatisticalEvalWindow>(&m_store);
    }

    template <typename T> static T* part(StatisticalEvalWindow& w, const char* name) {
        return namedChild<T>(&w, name);
    }

    static QStringList names(const StatisticalEvalWindow& w) {
        QStringList out;
        for (const CategoryPanel* panel : w.categoryPanels())
            out << panel->categoryName();
        return out;
    }

    static QStringList colours(const StatisticalEvalWindow& w) {
        QStringList out;
        for (const CategoryPanel* panel : w.categoryPanels())
            out << panel->color().name();
        return out;
    }

    static void addCategory(StatisticalEvalWindow& w) {
        part<QPushButton>(w, "addCategoryButton")->click();
    }

    /// Entries with these subject numbers and made-up dataset ids (the
    /// store does not know them, which the rules below never ask).
    void fill(CategoryPanel* panel, const std::vector<int>& numbers) {
        for (const int number : numbers)
            panel->addEntry(CategoryDatasetEntry{m_fakeId++, QStringLiteral("d"), {}, number, 0, 0});
    }

    static QString description(StatisticalEvalWindow& w) {
        return part<QLabel>(w, "descriptionLabel")->text();
    }

    static void selectAllFeatures(StatisticalEvalWindow& w) {
        part<QListWidget>(w, "featureList")->selectAll();
        w.updateDescription();
    }

    ScriptedDialogProvider m_dialogs;
    std::unique_ptr<ScopedDialogProvider> m_guard;
    int m_fakeId = 1000;
};

// ---- construction and categories ----------------------------------------------

TEST_F(StatsWindowTest, StartsWithTwoFixedCategoriesDocksTabsAndMenus) {
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Statistical Evaluation"));
    EXPECT_FALSE(w->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(names(*w), (QStringList{"Baseline", "Condition 1"}));
    EXPECT_EQ(colours(*w), (QStringList{"#4682b4", "#dc503c"}));
    for (const CategoryPanel* panel : w->categoryPanels())
        EXPECT_FALSE(panel->isRemovable());

    QStringList docks;
    for (const QDockWidget* dock : w->findChildren<QDockWidget*>()) {
        docks << dock->windowTitle();
        EXPECT_FALSE(dock->features() & QDockWidget::DockWidgetClosable);
    }
    docks.sort();
    EXPECT_EQ(docks, (QStringList{"Analysis Settings", "Categories"}));

    auto* tabs = part<QTabWidget>(*w, "tabWidget");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Statistical Comparison"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("ROC Analysis"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Distribution Explorer"));

    auto* alpha = part<QDoubleSpinBox>(*w, "alphaSpin");
    EXPECT_EQ(alpha->minimum(), 0.001);
    EXPECT_EQ(alpha->maximum(), 0.5);
    EXPECT_EQ(alpha->decimals(), 3);
    EXPECT_EQ(alpha->value(), 0.05);
    EXPECT_EQ(part<QComboBox>(*w, "correctionCombo")->itemText(1),
              QStringLiteral("Holm-Bonferroni"));
    EXPECT_EQ(part<QComboBox>(*w, "summaryCombo")->count(), 5);

    QStringList menus;
    QStringList exports;
    for (QAction* menu : w->menuBar()->actions()) {
        menus << menu->text();
        if (menu->text() == QStringLiteral("&Export"))
            for (QAction* entry : menu->menu()->actions())
                if (!entry->isSeparator())
                    exports << entry->text();
    }
    EXPECT_EQ(menus, (QStringList{"&File", "&Export", "&View"}));
    EXPECT_EQ(exports, (QStringList{"Export Group &Plots...", "Export Group &Table...",
                                    "Export &ROC Plots...", "Export ROC Ta&ble...",
                                    "Export ROC Curve &Data...",
                                    "Export &Distribution Plots..."}));
}

TEST_F(StatsWindowTest, NamesFollowTheNeverFallingIndexAndColoursThePanelCount) {
    auto w = makeWindow();
    addCategory(*w);
    addCategory(*w);
    EXPECT_EQ(names(*w), (QStringList{"Baseline", "Condition 1", "Condition 2", "Condition 3"}));
    EXPECT_EQ(colours(*w), (QStringList{"#4682b4", "#dc503c", "#3cb44b", "#ffa500"}));
    EXPECT_TRUE(w->categoryPanels()[2]->isRemovable());

    // "Delete" asks from inside the panel's own click: the panel leaves the
    // list at once and is deleted only by the deferred delete.
    QPointer<CategoryPanel> doomed = w->categoryPanels()[2];
    namedChild<QPushButton>(doomed.data(), "deleteButton")->click();
    EXPECT_EQ(names(*w), (QStringList{"Baseline", "Condition 1", "Condition 3"}));
    EXPECT_FALSE(doomed.isNull());
    testing::flushDeletes();
    EXPECT_TRUE(doomed.isNull());

    addCategory(*w);
    EXPECT_EQ(names(*w).last(), QStringLiteral("Condition 4"));
    EXPECT_EQ(colours(*w).last(), QStringLiteral("#ffa500"));

    auto fresh = makeWindow();
    for (int i = 0; i < 5; ++i)
        addCategory(*fresh);
    EXPECT_EQ(names(*fresh).last(), QStringLiteral("Condition 6"));
    EXPECT_EQ(colours(*fresh),
              (QStringList{"#4682b4", "#dc503c", "#3cb44b", "#ffa500", "#9467bd", "#8c564b",
                           "#4682b4"}));
}

TEST_F(StatsWindowTest, AddedCategoriesTakeTheCurrentNumberModes) {
    auto w = makeWindow();
    struct Case {
        int design;
        bool replicates;
        bool showNumbers;
        bool techRep;
    };
    const Case cases[] = {
        {0, false, false, false}, {1, false, true, false}, {0, true, true, true},
        {1, true, true, true},    {0, true, true, true}, // replicates keep the numbers shown
    };
    for (const Case& c : cases) {
        part<QComboBox>(*w, "designCombo")->setCurrentIndex(c.design);
        part<QCheckBox>(*w, "replicatesCheck")->setChecked(c.replicates);
        addCategory(*w);
        const CategoryPanel* added = w->categoryPanels().back();
        EXPECT_EQ(added->showNumbers(), c.showNumbers) << c.design << c.replicates;
        EXPECT_EQ(added->techRepMode(), c.techRep) << c.design << c.replicates;
        // The options' handlers keep every panel in step.
        for (const CategoryPanel* panel : w->categoryPanels())
            EXPECT_EQ(panel->showNumbers(), c.showNumbers);
    }
}

// ---- controls per tab ----------------------------------------------------------

TEST_F(StatsWindowTest, EachTabShowsItsControls) {
    struct Case {
        int tab;
        int design;
        bool replicates;
        const char* shown;  // initials: s summary, t test settings, a run analysis, r run ROC,
                            // m mode row, u update distributions, c replicates box, d auto-detect
        const char* checkText;
    };
    const Case cases[] = {
        {0, 0, false, "stac", "Replicates included"},
        {0, 1, false, "stacd", "Technical replicates"},
        {0, 0, true, "stacd", "Replicates included"},
        {1, 1, false, "src", "Replicates included"},
        {1, 0, true, "srcd", "Replicates included"},
        {2, 1, true, "mu", "Technical replicates"}, // left as tab 0 set it
    };
    const std::vector<std::pair<char, const char*>> controls = {
        {'s', "summaryRow"},       {'t', "testSettingsWidget"},
        {'a', "runAnalysisButton"}, {'r', "runROCButton"},
        {'m', "distributionModeRow"}, {'u', "updateDistributionsButton"},
        {'c', "replicatesCheck"},  {'d', "autoDetectButton"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::make_tuple(c.tab, c.design, c.replicates)));
        auto w = makeWindow();
        part<QComboBox>(*w, "designCombo")->setCurrentIndex(c.design);
        part<QCheckBox>(*w, "replicatesCheck")->setChecked(c.replicates);
        // Through another tab, so the switch to the case's tab always runs.
        part<QTabWidget>(*w, "tabWidget")->setCurrentIndex((c.tab + 1) % 3);
        part<QTabWidget>(*w, "tabWidget")->setCurrentIndex(c.tab);
        for (const auto& [initial, name] : controls)
            EXPECT_EQ(!part<QWidget>(*w, name)->isHidden(),
                      std::string(c.shown).find(initial) != std::string::npos)
                << name;
        EXPECT_EQ(part<QCheckBox>(*w, "replicatesCheck")->text(), QString::fromUtf8(c.checkText));
    }
}

TEST_F(StatsWindowTest, LeavingTheMatchedDesignUnchecksAndHidesConnectionLines) {
    auto w = makeWindow();
    auto* design = part<QComboBox>(*w, "designCombo");
    auto* lines = part<QCheckBox>(*w, "connectionLinesCheck");
    EXPECT_TRUE(lines->isHidden());
    design->setCurrentIndex(1);
    EXPECT_FALSE(lines->isHidden());
    EXPECT_FALSE(part<QPushButton>(*w, "autoDetectButton")->isHidden());
    const std::size_t before = m_dialogs.calls.size();
    lines->setChecked(true); // re-runs the comparison at once
    EXPECT_GT(m_dialogs.calls.size(), before);
    design->setCurrentIndex(0);
    EXPECT_TRUE(lines->isHidden());
    EXPECT_FALSE(lines->isChecked());
    EXPECT_TRUE(part<QPushButton>(*w, "autoDetectButton")->isHidden());
}

// ---- test label and matched design -----------------------------------------------

TEST_F(StatsWindowTest, TestLabelNamesTheTestAndWhatKeepsItFromRunning) {
    struct Case {
        const char* what;
        int design;
        bool replicates;
        int extraCategories;
        std::vector<std::vector<int>> numbers; // per category, one entry per number
        QString label;
    };
    const Case cases[] = {
        {"empty categories", 0, false, 0, {{}, {}}, "Test: Mann-Whitney U (independent)\n"},
        {"three datasets are enough, two are not", 0, false, 0, {{0, 0}, {0, 0, 0}},
         "Test: Mann-Whitney U (independent)\nBaseline: fewer than 3 datasets\n"},
        {"three categories", 0, false, 1, {{0}, {}, {0, 0}},
         "Test: Kruskal-Wallis (independent)\nBaseline: fewer than 3 datasets\n"
         "Condition 2: fewer than 3 datasets\n"},
        {"replicates without IDs", 0, true, 0, {{1, 2, 0}, {1, 2, 3}},
         "Test: Mann-Whitney U (independent)\nReplicates enabled: assign IDs to all datasets\n"},
        {"replicates with IDs", 0, true, 0, {{1, 2, 3}, {1, 2, 3}},
         "Test: Mann-Whitney U (independent)\n"},
        {"matched, not paired", 1, false, 0, {{1, 2, 3}, {1, 2, 4}},
         "Test: Wilcoxon signed-rank (matched)\n"
         "Pairing incomplete: ensure all categories have matching IDs\n"},
        {"matched and paired", 1, false, 0, {{1, 2, 3}, {3, 2, 1}},
         "Test: Wilcoxon signed-rank (matched)\n"},
        {"matched, three categories", 1, false, 1, {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}},
         "Test: Friedman (repeated measures)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto w = makeWindow();
        part<QComboBox>(*w, "designCombo")->setCurrentIndex(c.design);
        part<QCheckBox>(*w, "replicatesCheck")->setChecked(c.replicates);
        for (int i = 0; i < c.extraCategories; ++i)
            addCategory(*w);
        for (std::size_t i = 0; i < c.numbers.size(); ++i)
            fill(w->categoryPanels()[i], c.numbers[i]);
        w->onCategoryChanged();
        EXPECT_EQ(part<QLabel>(*w, "testLabel")->text(), c.label);
    }
}

TEST_F(StatsWindowTest, PairingNeedsTheSameSubjectsInEveryCategory) {
    struct Case {
        std::vector<std::vector<int>> numbers;
        bool valid;
    };
    const Case cases[] = {
        {{{1, 2, 3}, {1, 2, 3, 3}}, true}, // repeated subjects are replicates
        {{{1, 2, 3}, {3, 1, 2}}, true},
        {{{1, 2, 3}, {1, 2, 4}}, false},
        {{{1, 2, 3}, {1, 2}}, false},
        {{{1, 2}, {1, 2, 3}}, false},
        {{{1, 2, 3}, {1, 2, 3, 0}}, false}, // an unassigned entry
        {{{1, 2, 3}, {}}, false},
        {{{}, {}}, false},
        {{{1, 2}, {1, 2}, {1, 2}}, true},
        {{{1, 2}, {1, 2}, {2}}, false},
        {{{1, 2, 0}, {1, 2, 0}}, false}, // equal sets, but unassigned entries
    };
    for (const Case& c : cases) {
        auto w = makeWindow();
        while (w->categoryPanels().size() < c.numbers.size())
            addCategory(*w);
        for (std::size_t i = 0; i < c.numbers.size(); ++i)
            fill(w->categoryPanels()[i], c.numbers[i]);
        EXPECT_EQ(w->pairingValid(), c.valid) << ::testing::PrintToString(c.numbers);
    }
}

// ---- description ------------------------------------------------------------------

TEST_F(StatsWindowTest, MatchedWarningGivesTheSmallestReachablePLikePythonsErfc) {
    const auto cases = testing::runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/pmin_oracle.py");
    ASSERT_EQ(cases.size(), 10u);
    for (const testing::OracleCase& c : cases) {
        const int n = static_cast<int>(c.groups[0].at(0));
        const double pMin = c.groups[1].at(0);
        SCOPED_TRACE(n);
        auto w = makeWindow();
        part<QComboBox>(*w, "designCombo")->setCurrentIndex(1);
        std::vector<int> subjects;
        for (int i = 1; i <= n; ++i)
            subjects.push_back(i);
        fill(w->categoryPanels()[0], subjects);
        std::vector<int> more = subjects;
        more.push_back(n + 1); // the smaller category counts
        fill(w->categoryPanels()[1], more);
        w->onCategoryChanged();
        const QString text = description(*w);
        EXPECT_TRUE(text.contains(QStringLiteral("With %1 matched observations, the minimum "
                                                 "achievable p-value (Wilcoxon) is ≈%2.")
                                      .arg(n)
                                      .arg(QString::number(pMin, 'g', 3))))
            << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("This exceeds α=0.05 — significance cannot be "
                                               "reached regardless of effect size.")),
                  pMin > 0.05);
    }
}

TEST_F(StatsWindowTest, NoMatchedWarningAboveTenSubjectsOrInTheIndependentDesign) {
    for (const auto& [design, count, warned] :
         std::vector<std::tuple<int, int, bool>>{{1, 11, false}, {1, 10, true}, {0, 5, false}}) {
        auto w = makeWindow();
        part<QComboBox>(*w, "designCombo")->setCurrentIndex(design);
        std::vector<int> subjects;
        for (int i = 1; i <= count; ++i)
            subjects.push_back(i);
        fill(w->categoryPanels()[0], subjects);
        fill(w->categoryPanels()[1], subjects);
        w->onCategoryChanged();
        EXPECT_EQ(description(*w).contains(QStringLiteral("matched observations")), warned)
            << design << " " << count;
    }
}

TEST_F(StatsWindowTest, CorrectionParagraphCountsTheTests) {
    const int a = addDataset("a", {"area_um", "deform", "bright_avg"});
    const int b = addDataset("b", {"area_um", "deform", "bright_avg"});
    auto w = makeWindow();
    w->categoryPanels()[0]->tryAddDataset(a);
    w->categoryPanels()[1]->tryAddDataset(b);
    ASSERT_EQ(part<QListWidget>(*w, "featureList")->count(), 3);
    EXPECT_FALSE(description(*w).contains(QStringLiteral("correction")));

    part<QListWidget>(*w, "featureList")->item(0)->setSelected(true);
    w->updateDescription();
    EXPECT_FALSE(description(*w).contains(QStringLiteral("Bonferroni")))
        << "one test: no correction";

    selectAllFeatures(*w);
    EXPECT_TRUE(description(*w).contains(QStringLiteral(
        "Bonferroni correction: α is divided by 3 tests (α*=0.01667). Simple and conservative.")));
    part<QComboBox>(*w, "correctionCombo")->setCurrentIndex(1);
    EXPECT_TRUE(description(*w).contains(
        QStringLiteral("Holm-Bonferroni step-down correction across 3 tests.")));
    part<QComboBox>(*w, "correctionCombo")->setCurrentIndex(2);
    EXPECT_TRUE(description(*w).contains(QStringLiteral("No correction applied across 3 tests.")));

    // Four categories and one feature: six pairwise tests.
    part<QComboBox>(*w, "correctionCombo")->setCurrentIndex(0);
    addCategory(*w);
    addCategory(*w);
    part<QListWidget>(*w, "featureList")->clearSelection();
    part<QListWidget>(*w, "featureList")->item(0)->setSelected(true);
    w->updateDescription();
    EXPECT_TRUE(description(*w).contains(QStringLiteral("divided by 6 tests (α*=0.008333)")));
}

TEST_F(StatsWindowTest, DescriptionFollowsTabAndSummaryChoice) {
    auto w = makeWindow();
    auto* summary = part<QComboBox>(*w, "summaryCombo");
    summary->setCurrentIndex(4);
    EXPECT_TRUE(description(*w).startsWith(
        QStringLiteral("Each dataset is summarized by its interquartile range")));
    part<QTabWidget>(*w, "tabWidget")->setCurrentIndex(1);
    EXPECT_TRUE(description(*w).contains(QStringLiteral("ROC analysis evaluates")));
    EXPECT_FALSE(description(*w).contains(QStringLiteral("More than 2 categories")));
    addCategory(*w);
    EXPECT_TRUE(description(*w).contains(QStringLiteral("More than 2 categories present")));
    part<QTabWidget>(*w, "tabWidget")->setCurrentIndex(2);
    EXPECT_TRUE(description(*w).startsWith(QStringLiteral("Explore the full event-level")));
    EXPECT_TRUE(description(*w).contains(QStringLiteral("Per-dataset mode")));
    EXPECT_TRUE(description(*w).endsWith(QStringLiteral("Select one or more features to display.")));
    part<QComboBox>(*w, "distributionModeCombo")->setCurrentIndex(1);
    EXPECT_TRUE(description(*w).contains(QStringLiteral("Per-category mode")));
}

// ---- feature list --------------------------------------------------------------------

TEST_F(StatsWindowTest, FeatureListHoldsTheCommonFeaturesAndKeepsTheSelection) {
    const int a = addDataset("a", {"deform", "area_um", "bright_avg"});
    const int b = addDataset("b", {"area_um", "bright_avg", "deform", "porosity"});
    const int c = addDataset("c", {"area_um", "deform"});
    auto w = makeWindow();
    auto* list = part<QListWidget>(*w, "featureList");
    const auto keys = [&] {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->data(Qt::UserRole).toString();
        return out;
    };
    const auto selected = [&] {
        QStringList out;
        for (const QListWidgetItem* item : list->selectedItems())
            out << item->data(Qt::UserRole).toString();
        out.sort();
        return out;
    };
    EXPECT_EQ(list->count(), 0);
    w->categoryPanels()[0]->tryAddDataset(a);
    w->categoryPanels()[1]->tryAddDataset(b);
    EXPECT_EQ(keys(), (QStringList{"area_um", "bright_avg", "deform"}));
    const RTDCReader& reader = *m_store.findById(a)->reader;
    EXPECT_EQ(list->item(0)->text(), QString::fromStdString(reader.getFeatureLabel("area_um")));

    list->item(1)->setSelected(true);
    list->item(2)->setSelected(true);
    w->categoryPanels()[1]->tryAddDataset(a); // the same dataset twice changes nothing
    EXPECT_EQ(selected(), (QStringList{"bright_avg", "deform"}));

    w->categoryPanels()[0]->tryAddDataset(c); // lacks bright_avg
    EXPECT_EQ(keys(), (QStringList{"area_um", "deform"}));
    EXPECT_EQ(selected(), QStringList{"deform"});

    // A feature computed later joins the list once the main window says so.
    for (const int id : {a, b, c})
        m_store.findById(id)->reader->addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    w->onFeaturesChanged();
    EXPECT_EQ(keys(), (QStringList{"area_um", "deform", "emodulus"}));
    EXPECT_EQ(selected(), QStringList{"deform"});
}

// ---- ID detection --------------------------------------------------------------------

TEST_F(StatsWindowTest, DetectsNumbersFromNamesElseSampleNames) {
    struct Row {
        const char* displayName;
        const char* sample;
        int before[3];
        int after[3];
    };
    const Row rows[] = {
        {"Mouse id7 br2", "", {0, 0, 5}, {7, 2, 5}},
        {"plain", "ID4 TR3", {0, 6, 0}, {4, 6, 3}},
        {"only BR2", "", {0, 0, 0}, {0, 0, 0}},
        {"ID99999999999 BR1", "ID5", {0, 0, 0}, {0, 0, 0}}, // too large for an int
        {"ID2147483647 br2147483648 tr0", "", {0, 0, 0}, {2147483647, 0, 0}},
        {"x ID12 TR2 BR1 ID13", "", {0, 0, 0}, {12, 1, 2}},
    };
    auto w = makeWindow();
    int id = 0;
    for (const Row& row : rows)
        w->categoryPanels()[id++ % 2]->addEntry(CategoryDatasetEntry{
            id, QString::fromUtf8(row.displayName), row.sample, row.before[0], row.before[1],
            row.before[2]});
    part<QComboBox>(*w, "designCombo")->setCurrentIndex(1);
    part<QPushButton>(*w, "autoDetectButton")->click();

    for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
        const CategoryPanel* panel = w->categoryPanels()[static_cast<std::size_t>(i % 2)];
        const CategoryDatasetEntry& e = panel->entries()[static_cast<std::size_t>(i / 2)];
        EXPECT_EQ((std::vector<int>{e.numberId, e.bioRepId, e.techRepId}),
                  (std::vector<int>(rows[i].after, rows[i].after + 3)))
            << rows[i].displayName;
    }
    ASSERT_EQ(m_dialogs.count(DialogCall::Information), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, QStringLiteral("Auto-detect IDs"));
    EXPECT_EQ(m_dialogs.calls.back().text,
              QStringLiteral("Detected IDs in 4 of 6 datasets. Remaining datasets need manual "
                             "assignment or names containing ID#."));
    // The button's refresh shows the numbers found.
    EXPECT_TRUE(part<QLabel>(*w, "testLabel")->text().contains(QStringLiteral("Pairing incomplete")));
}

TEST_F(StatsWindowTest, DetectionReportsOnlyWhenSomethingIsMissing) {
    struct Case {
        std::vector<const char*> names;
        int boxes;
        const char* start;
    };
    const Case cases[] = {
        {{}, 0, ""},
        {{"ID1", "ID2"}, 0, ""},
        {{"ID1", "none"}, 1, "Detected IDs in 1 of 2 datasets. Remaining datasets need manual "
                             "assignment or names containing ID#."},
        {{"none", "nothing"}, 1, "No IDs detected. Use the naming convention ID#, BR#, TR# in "
                                 "dataset names (e.g. \"Sample ID1 BR2 TR1\").\n\nID = "
                                 "subject/sample identifier\nBR = biological replicate "
                                 "(optional)\nTR = technical replicate (optional)"},
    };
    for (const Case& c : cases) {
        m_dialogs.calls.clear();
        auto w = makeWindow();
        int id = 0;
        for (const char* name : c.names)
            w->categoryPanels()[0]->addEntry(CategoryDatasetEntry{id++, name, {}, 0, 0, 0});
        w->autoDetectNumberIds();
        ASSERT_EQ(m_dialogs.count(DialogCall::Information), c.boxes);
        if (c.boxes) {
            EXPECT_EQ(m_dialogs.calls.back().text, QString::fromUtf8(c.start));
        }
    }
}

// ---- notifications and ownership --------------------------------------------------------

TEST_F(StatsWindowTest, MainWindowNotificationsReachEveryCategory) {
    const int a = addDataset("a", {"area_um", "deform"});
    const int b = addDataset("b", {"area_um"});
    auto w = makeWindow();
    CategoryPanel* first = w->categoryPanels()[0];
    CategoryPanel* second = w->categoryPanels()[1];
    first->tryAddDataset(a);
    first->tryAddDataset(b);
    second->tryAddDataset(a);
    QSignalSpy firstChanged(first, &CategoryPanel::changed);

    w->onDatasetRenamed(a, QStringLiteral("renamed"));
    EXPECT_EQ(first->entries()[0].displayName, QStringLiteral("renamed"));
    EXPECT_EQ(second->entries()[0].displayName, QStringLiteral("renamed"));
    EXPECT_EQ(firstChanged.count(), 0);

    w->onMainDatasetRemoved(b);
    EXPECT_EQ(first->entries().size(), 1u);
    EXPECT_EQ(part<QListWidget>(*w, "featureList")->count(), 2) << "b held back deform";
    w->onMainDatasetRemoved(a);
    EXPECT_TRUE(first->entries().empty());
    EXPECT_TRUE(second->entries().empty());
    EXPECT_EQ(part<QListWidget>(*w, "featureList")->count(), 0);
}

TEST_F(StatsWindowTest, ClosingReportsOnceAndLeavesDeletionToTheOwner) {
    ToolWindowRegistry<StatisticalEvalWindow> registry;
    QObject owner;
    QPointer<StatisticalEvalWindow> w = registry.open(new StatisticalEvalWindow(&m_store), &owner);
    QSignalSpy closed(w.data(), &StatisticalEvalWindow::windowClosed);
    w->close();
    w->close();
    ASSERT_EQ(closed.count(), 1);
    const auto* reported = closed.at(0).at(0).value<StatisticalEvalWindow*>();
    EXPECT_EQ(reported, w.data());
    EXPECT_TRUE(registry.windows().empty());
    EXPECT_FALSE(w.isNull()) << "not deleted inside its own close";
    testing::flushDeletes();
    EXPECT_TRUE(w.isNull());
}

TEST_F(StatsWindowTest, ClosingDoesNotDeleteAWindowNobodyReleases) {
    auto w = makeWindow();
    QPointer<StatisticalEvalWindow> watch = w.get();
    w->show();
    w->close();
    testing::flushDeletes();
    EXPECT_FALSE(watch.isNull());
}

} // namespace
} // namespace Quorvex3
