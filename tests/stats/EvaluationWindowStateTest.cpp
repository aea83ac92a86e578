// The evaluation window's session state: a new window against the object
// written by hand, a restore from hand-written JSON, values a damaged file
// may hold, no analysis run by a restore, and save -> restore -> save.
#include "StatsWindowTestSupport.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/ScriptedDialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QTabWidget>

#include <cmath>
#include <limits>

namespace Quorvex3 {
namespace {

using testing::namedChild;

QJsonObject parse(const char* text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

/// The entries of a panel as "id:number/bio/tech".
std::vector<std::string> entriesOf(const CategoryPanel* panel) {
    std::vector<std::string> out;
    for (const CategoryDatasetEntry& e : panel->entries())
        out.push_back(std::to_string(e.datasetId) + ":" + std::to_string(e.numberId) + "/" +
                      std::to_string(e.bioRepId) + "/" + std::to_string(e.techRepId));
    return out;
}

QStringList selectedFeatures(StatisticalEvalWindow& w) {
    QStringList out;
    for (const QListWidgetItem* item : namedChild<QListWidget>(&w, "featureList")->selectedItems())
        out.append(item->data(Qt::UserRole).toString());
    out.sort();
    return out;
}

class EvaluationWindowState : public testing::StatsStoreFixture {
protected:
    /// Three loaded datasets and one still loading, all with the same two
    /// features; session positions 0..3 map to their ids.
    void SetUp() override {
        StatsStoreFixture::SetUp();
        m_ids = {addDataset("alpha ID1", {"area_um", "deform"}, "blood"),
                 addDataset("beta", {"area_um", "deform"}),
                 addDataset("gamma", {"area_um", "deform"}),
                 addDataset("loading", {"area_um", "deform"}, {}, false)};
        for (int i = 0; i < 4; ++i)
            m_map.insert(i, m_ids[static_cast<std::size_t>(i)]);
    }
    std::vector<int> m_ids;
    QMap<int, int> m_map;
};

TEST_F(EvaluationWindowState, NewWindowWritesItsStartingState) {
    StatisticalEvalWindow w(&m_store);
    const QJsonObject expected = parse(R"({
        "categories": [
            {"name": "Baseline", "removable": false, "color": "#4682b4", "entries": []},
            {"name": "Condition 1", "removable": false, "color": "#dc503c", "entries": []}],
        "selectedFeatures": [], "alpha": 0.05, "correctionMethod": "Bonferroni",
        "averageMethod": "Median", "pairingMode": "Independent / No matching",
        "technicalReplicates": false, "connectionLines": false, "nextCategoryIndex": 2,
        "activeTab": 0})");
    EXPECT_EQ(w.saveState(m_store.datasets()), expected);
    // An added category is removable and raises the counter.
    w.onAddCategory();
    const QJsonObject added = w.saveState(m_store.datasets());
    EXPECT_EQ(added.value("nextCategoryIndex").toInt(), 3);
    EXPECT_EQ(added.value("categories").toArray().at(2).toObject(),
              parse(R"({"name": "Condition 2", "removable": true, "color": "#3cb44b",
                        "entries": []})"));
}

TEST_F(EvaluationWindowState, RestoresHandWrittenJson) {
    StatisticalEvalWindow w(&m_store);
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    w.restoreState(parse(R"({
        "categories": [
            {"name": "Control", "removable": false, "color": "#102030",
             "entries": [{"datasetSessionIndex": 0, "numberId": 1, "bioRepId": 2, "techRepId": 3},
                         {"datasetSessionIndex": 1},
                         {"datasetSessionIndex": 9},
                         {"datasetSessionIndex": 3}]},
            {"name": "Treated", "removable": true,
             "entries": [{"datasetSessionIndex": 2, "numberId": 4}]},
            {"name": "Empty", "removable": true}],
        "selectedFeatures": ["deform", "gone"], "alpha": 0.01,
        "correctionMethod": "Holm-Bonferroni", "averageMethod": "IQR",
        "pairingMode": "Repeated measures / Matched", "technicalReplicates": true,
        "connectionLines": true, "nextCategoryIndex": 5, "activeTab": 1})"),
                   m_map);
    const auto& panels = w.categoryPanels();
    ASSERT_EQ(panels.size(), 3u);
    EXPECT_EQ(panels[0]->categoryName(), "Control");
    EXPECT_EQ(panels[0]->color(), QColor("#102030"));
    EXPECT_FALSE(panels[0]->isRemovable());
    // Position 9 has no dataset, position 3 is still loading.
    EXPECT_EQ(entriesOf(panels[0]),
              (std::vector<std::string>{std::to_string(m_ids[0]) + ":1/2/3",
                                        std::to_string(m_ids[1]) + ":0/0/0"}));
    EXPECT_EQ(panels[0]->entries()[0].displayName, "alpha ID1");
    EXPECT_EQ(panels[0]->entries()[0].sampleName, "blood");
    // Without "color": the palette entry of the panel's position.
    EXPECT_EQ(panels[1]->color(), QColor("#dc503c"));
    EXPECT_TRUE(panels[1]->isRemovable());
    EXPECT_EQ(entriesOf(panels[1]), std::vector<std::string>{std::to_string(m_ids[2]) + ":4/0/0"});
    EXPECT_EQ(panels[2]->color(), QColor("#3cb44b"));
    EXPECT_TRUE(panels[2]->entries().empty());
    // The matched design and replicates show the numbers of every panel.
    for (const CategoryPanel* panel : panels)
        EXPECT_TRUE(panel->showNumbers() && panel->techRepMode());

    EXPECT_DOUBLE_EQ(namedChild<QDoubleSpinBox>(&w, "alphaSpin")->value(), 0.01);
    EXPECT_EQ(namedChild<QComboBox>(&w, "correctionCombo")->currentText(), "Holm-Bonferroni");
    EXPECT_EQ(namedChild<QComboBox>(&w, "summaryCombo")->currentText(), "IQR");
    EXPECT_EQ(namedChild<QComboBox>(&w, "designCombo")->currentIndex(), 1);
    EXPECT_TRUE(namedChild<QCheckBox>(&w, "replicatesCheck")->isChecked());
    EXPECT_TRUE(namedChild<QCheckBox>(&w, "connectionLinesCheck")->isChecked());
    EXPECT_EQ(selectedFeatures(w), QStringList{"deform"});
    EXPECT_EQ(namedChild<QTabWidget>(&w, "tabWidget")->currentIndex(), 1);
    EXPECT_EQ(w.saveState(m_store.datasets()).value("nextCategoryIndex").toInt(), 5);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(EvaluationWindowState, ValuesOfADamagedFileTakeTheirDefaults) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        QJsonValue alpha, tab, next;
        double expectedAlpha;
    } settings[] = {
        {"NaN alpha, tab 7, index -3", nan, 7, -3, 0.05},
        {"tab 3 (one past the last), index 1.0e0 below 2", nan, 3, 1.0, 0.05},
        {"infinite alpha, tab -1, index 1", inf, -1, 1, 0.05},
        {"text values", "0.2", "1", "9", 0.05},
        {"fractions", QJsonValue(), 1.5, 4.5, 0.05},
        // A finite alpha out of range is clamped by the field.
        {"huge numbers", 1e300, 1e12, 1e12, 0.5},
    };
    for (const auto& s : settings) {
        SCOPED_TRACE(s.what);
        StatisticalEvalWindow w(&m_store);
        // Settings a user changed before: the restore resets them.
        namedChild<QDoubleSpinBox>(&w, "alphaSpin")->setValue(0.2);
        namedChild<QTabWidget>(&w, "tabWidget")->setCurrentIndex(2);
        w.onAddCategory();
        QJsonObject state = parse(R"({"categories": [], "correctionMethod": "holm-bonferroni"})");
        state.insert("alpha", s.alpha);
        state.insert("activeTab", s.tab);
        state.insert("nextCategoryIndex", s.next);
        w.restoreState(state, m_map);
        const QJsonObject saved = w.saveState(m_store.datasets());
        EXPECT_EQ(saved.value("alpha").toDouble(), s.expectedAlpha);
        EXPECT_EQ(saved.value("activeTab").toInt(), 0);
        EXPECT_EQ(saved.value("nextCategoryIndex").toInt(), 2);
        // A text in another case matches no entry and changes nothing.
        EXPECT_EQ(saved.value("correctionMethod").toString(), "Bonferroni");
        EXPECT_TRUE(w.categoryPanels().empty());
    }

    StatisticalEvalWindow w(&m_store);
    QJsonObject state = parse(R"({"categories": [{"name": "A", "color": "bluish", "entries": [
        {"datasetSessionIndex": 0, "numberId": 1e12, "bioRepId": -2, "techRepId": 2.5},
        {"datasetSessionIndex": 0, "numberId": 7},
        {"datasetSessionIndex": 1e12}, {"datasetSessionIndex": -1},
        {"datasetSessionIndex": 0.5}, {"datasetSessionIndex": "1"},
        {"datasetSessionIndex": 2, "numberId": "3"}]},
        {"name": "B", "color": "#zzzzzz", "entries": [{"datasetSessionIndex": 0, "numberId": 5}]}]})");
    w.restoreState(state, m_map);
    const auto& panels = w.categoryPanels();
    ASSERT_EQ(panels.size(), 2u);
    // "bluish" is no colour: the palette colour of the position.
    EXPECT_EQ(panels[0]->color(), QColor("#4682b4"));
    EXPECT_EQ(panels[1]->color(), QColor("#dc503c"));
    // The second entry of dataset 0 is a duplicate; bad indices drop their
    // entry, bad numbers are unassigned.
    EXPECT_EQ(entriesOf(panels[0]),
              (std::vector<std::string>{std::to_string(m_ids[0]) + ":0/-2/0",
                                        std::to_string(m_ids[2]) + ":0/0/0"}));
    // The same dataset may stand in another category.
    EXPECT_EQ(entriesOf(panels[1]), std::vector<std::string>{std::to_string(m_ids[0]) + ":5/0/0"});
}

// A counter at the largest int (a hand-edited session) is kept, and adding
// categories names them with it without overflowing into negative numbers.
TEST_F(EvaluationWindowState, CounterAtTheLargestIntStaysThereWhenCategoriesAreAdded) {
    StatisticalEvalWindow w(&m_store);
    w.restoreState(parse(R"({"categories": [], "nextCategoryIndex": 2147483647})"), m_map);
    w.onAddCategory();
    w.onAddCategory();
    ASSERT_EQ(w.categoryPanels().size(), 2u);
    EXPECT_EQ(w.categoryPanels()[0]->categoryName(), "Condition 2147483647");
    EXPECT_EQ(w.categoryPanels()[1]->categoryName(), "Condition 2147483647");
    EXPECT_EQ(w.saveState(m_store.datasets()).value("nextCategoryIndex").toDouble(), 2147483647.0);
}

TEST_F(EvaluationWindowState, RestoreRunsNoAnalysis) {
    const struct {
        const char* what;
        bool linesBefore;
        const char* state;
    } cases[] = {
        {"lines switched on", false,
         R"({"pairingMode": "Repeated measures / Matched", "connectionLines": true})"},
        {"lines switched off", true,
         R"({"pairingMode": "Repeated measures / Matched", "connectionLines": false})"},
        {"independent design clears the lines", true, R"({"connectionLines": true})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StatisticalEvalWindow w(&m_store);
        namedChild<QComboBox>(&w, "designCombo")->setCurrentIndex(1);
        {
            testing::ScriptedDialogProvider ignored;
            ScopedDialogProvider guard(ignored);
            namedChild<QCheckBox>(&w, "connectionLinesCheck")->setChecked(c.linesBefore);
        }
        testing::ScriptedDialogProvider dialogs;
        ScopedDialogProvider guard(dialogs);
        w.restoreState(parse(c.state), m_map);
        EXPECT_TRUE(dialogs.calls.empty()) << dialogs.calls.front().text.toStdString();
    }
}

TEST_F(EvaluationWindowState, SaveRestoreSaveGivesTheSameObject) {
    StatisticalEvalWindow first(&m_store);
    first.onAddCategory();
    first.onAddCategory();
    first.onDeleteCategoryPanel(first.categoryPanels()[2]);
    testing::flushDeletes();
    first.categoryPanels()[0]->tryAddDataset(m_ids[0]);
    first.categoryPanels()[0]->tryAddDataset(m_ids[1]);
    first.categoryPanels()[1]->tryAddDataset(m_ids[2]);
    first.categoryPanels()[2]->tryAddDataset(m_ids[0]);
    first.categoryPanels()[1]->setColor(QColor(1, 2, 250));
    namedChild<QComboBox>(&first, "designCombo")->setCurrentIndex(1);
    first.categoryPanels()[0]->setNumberId(m_ids[0], 3);
    first.categoryPanels()[0]->setBioRepId(m_ids[1], 2);
    namedChild<QCheckBox>(&first, "replicatesCheck")->setChecked(true);
    first.categoryPanels()[2]->setTechRepId(m_ids[0], 4);
    namedChild<QDoubleSpinBox>(&first, "alphaSpin")->setValue(0.123);
    namedChild<QComboBox>(&first, "summaryCombo")->setCurrentIndex(3);
    namedChild<QComboBox>(&first, "correctionCombo")->setCurrentIndex(2);
    namedChild<QListWidget>(&first, "featureList")->item(0)->setSelected(true);
    namedChild<QTabWidget>(&first, "tabWidget")->setCurrentIndex(2);
    const QJsonObject saved = first.saveState(m_store.datasets());
    ASSERT_EQ(saved.value("categories").toArray().size(), 3);
    ASSERT_EQ(saved.value("selectedFeatures").toArray().size(), 1);

    StatisticalEvalWindow second(&m_store);
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    second.restoreState(saved, m_map);
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_EQ(second.saveState(m_store.datasets()), saved)
        << QJsonDocument(second.saveState(m_store.datasets())).toJson().toStdString() << "\n"
        << QJsonDocument(saved).toJson().toStdString();
}

} // namespace
} // namespace Quorvex3
