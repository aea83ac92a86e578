// Filter rules spread from the active dataset to the others and kept in step
// there, the divergence marks of the filter dock, the import of the
// measurement's own filters, and polygons drawn or edited in the scatter
// plot becoming dataset or group rules.
//
// Each test writes its measurements with the fixture writer, opens them in
// an offscreen main window and waits for every preload to finish.
#include "MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "filters/FilterWidgetStyle.h"
#include "filters/PolygonRuleWidget.h"
#include "model/FilterGroup.h"
#include "plots/ScatterPlot.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;
using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::TempDir;
using Vertices = std::vector<std::pair<double, double>>;

// ---- fixtures ------------------------------------------------------------------

struct MeasurementOptions {
    bool deform = true;
    bool onlineFilters = false;
};

/// Six events of area_um, bright_avg and (optionally) deform. With online
/// filters: area_um limited to [20, 200], the area_um/deform polygon
/// switched on, and a bright_avg limit whose minimum is unreadable.
void writeMeasurement(const std::string& path, const MeasurementOptions& options) {
    RtdcFixtureWriter w(path);
    w.addColumn<double>("area_um", {10.0, 50.0, 100.0, 150.0, 250.0, 80.0});
    w.addColumn<double>("bright_avg", {90.0, 100.0, 110.0, 120.0, 130.0, 140.0});
    if (options.deform)
        w.addColumn<double>("deform", {0.01, 0.02, 0.03, 0.04, 0.05, 0.06});
    w.setStringAttribute("experiment:sample", "sample");
    if (options.onlineFilters) {
        w.setScalarAttribute<int64_t>("online_filter:area_um soft limit", 1);
        w.setScalarAttribute<double>("online_filter:area_um min", 20.0);
        w.setScalarAttribute<double>("online_filter:area_um max", 200.0);
        w.setScalarAttribute<int64_t>("online_filter:area_um,deform soft limit", 1);
        w.setPolygonAttribute("online_filter:area_um,deform polygon points",
                              {{20.f, 0.0f}, {200.f, 0.0f}, {200.f, 0.5f}});
        w.setScalarAttribute<int64_t>("online_filter:bright_avg soft limit", 1);
        w.setStringAttribute("online_filter:bright_avg min", "n/a");
        w.setScalarAttribute<double>("online_filter:bright_avg max", 125.0);
        w.setScalarAttribute<int64_t>("online_filter:deform soft limit", 0);
        w.setScalarAttribute<double>("online_filter:deform min", 0.0);
        w.setScalarAttribute<double>("online_filter:deform max", 0.1);
    }
}

/// Spins the event loop until `done` holds or five seconds have passed.
template <typename Predicate> bool waitFor(Predicate done) {
    return test::waitUntil(done, 5000);
}

FilterRule rangeRule(const std::string& feature, double lo, double hi) {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

FilterRule polygonRule(const std::string& x, const std::string& y) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = {{20.0, 0.015}, {120.0, 0.015}, {120.0, 0.045}};
    return rule;
}

QPolygonF toPolygon(const Vertices& vertices) {
    QPolygonF polygon;
    for (const auto& [x, y] : vertices)
        polygon.append(QPointF(x, y));
    return polygon;
}

const Vertices kQuad = {{30.0, 0.02}, {140.0, 0.02}, {140.0, 0.05}, {30.0, 0.05}};

/// Every field of two rules except the vertices.
void expectSameExceptVertices(const FilterRule& a, const FilterRule& b) {
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.featureName, b.featureName);
    EXPECT_EQ(a.featureNameY, b.featureNameY);
    EXPECT_EQ(a.minValue, b.minValue);
    EXPECT_EQ(a.maxValue, b.maxValue);
    EXPECT_EQ(a.scaleXMode, b.scaleXMode);
    EXPECT_EQ(a.scaleYMode, b.scaleYMode);
    EXPECT_EQ(a.enabled, b.enabled);
    EXPECT_EQ(a.inverted, b.inverted);
    EXPECT_EQ(a.propagationId, b.propagationId);
}

// ---- the window ------------------------------------------------------------------

class PropagationWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::clearSettings();
        m_window = std::make_unique<MainWindow>();
        m_dock = m_window->findChild<FilterDockWidget*>();
        m_plot = m_window->findChild<ScatterPlot*>(QStringLiteral("scatterPlot"));
        m_list = m_window->findChild<QListWidget*>(QStringLiteral("datasetList"));
        m_xCombo = m_window->findChild<QComboBox*>(QStringLiteral("xFeatureCombo"));
        m_yCombo = m_window->findChild<QComboBox*>(QStringLiteral("yFeatureCombo"));
        m_scaleX = m_window->findChild<QComboBox*>(QStringLiteral("scaleXCombo"));
        m_scaleY = m_window->findChild<QComboBox*>(QStringLiteral("scaleYCombo"));
        ASSERT_TRUE(m_dock && m_plot && m_list && m_xCombo && m_yCombo && m_scaleX && m_scaleY);
    }

    void TearDown() override {
        m_window.reset();
        test::processEventsFor(10);
    }

    /// Writes and opens one measurement per entry, waits for each, then
    /// makes the first one active with area_um on x and deform on y.
    void open(const std::vector<MeasurementOptions>& measurements) {
        for (std::size_t i = 0; i < measurements.size(); ++i) {
            const std::string path = m_dir.file("m" + std::to_string(i) + ".rtdc");
            writeMeasurement(path, measurements[i]);
            m_window->addDataset(QString::fromStdString(path));
            ASSERT_TRUE(waitFor([&] {
                const DatasetEntry* entry = m_window->activeDataset();
                return entry && entry->filePath == path && entry->featuresLoaded;
            })) << path;
        }
        activate(0);
        chooseAxes("area_um", "deform");
    }

    void activate(int index) {
        m_list->setCurrentRow(index);
        ASSERT_TRUE(waitFor([&] { return m_window->activeDataset() == &entry(index); }));
        test::processEventsFor(20);
    }

    void chooseAxes(const char* x, const char* y) {
        const int xIndex = m_xCombo->findData(QString::fromLatin1(x));
        const int yIndex = m_yCombo->findData(QString::fromLatin1(y));
        ASSERT_GE(xIndex, 0) << x;
        ASSERT_GE(yIndex, 0) << y;
        m_xCombo->setCurrentIndex(xIndex);
        m_yCombo->setCurrentIndex(yIndex);
        test::processEventsFor(10);
    }

    DatasetEntry& entry(int index) const {
        return *m_window->datasets()[static_cast<std::size_t>(index)];
    }
    const FilterRule& rule(int dataset, int index) const {
        return entry(dataset).filter.rules()[static_cast<std::size_t>(index)];
    }

    /// Gives the active dataset these rules, as if the user had made them.
    void setActiveRules(const std::vector<FilterRule>& rules) {
        DatasetEntry* active = m_window->activeDataset();
        active->filter.clearRules();
        for (const FilterRule& r : rules)
            active->filter.addRule(r);
        m_dock->setActiveDataset(active);
        invoke("onFilterChanged");
    }

    void invoke(const char* slot) {
        ASSERT_TRUE(QMetaObject::invokeMethod(m_window.get(), slot, Qt::DirectConnection)) << slot;
        // The plot refresh it asked for runs as the event loop turns.
        m_window->flushPlotRequests();
    }
    template <typename A> void invoke(const char* slot, const char* type, A a) {
        ASSERT_TRUE(QMetaObject::invokeMethod(m_window.get(), slot, Qt::DirectConnection,
                                              QGenericArgument(type, &a)))
            << slot;
        m_window->flushPlotRequests();
    }

    /// Lets the plot report a drawn polygon the way it does after a double
    /// click: completion, then the end of drawing.
    void finishDrawing(const Vertices& vertices) {
        emit m_plot->polygonCompleted(toPolygon(vertices));
        m_plot->cancelPolygonDrawing();
    }

    QPushButton* ruleButton(int index, const char* name) const {
        QWidget* widget = m_dock->ruleWidgets().at(static_cast<std::size_t>(index));
        return widget->findChild<QPushButton*>(QLatin1String(name));
    }
    bool highlighted(const QPushButton* button) const {
        return button && button->styleSheet() == FilterWidgetStyle::highlightedButton();
    }
    QPushButton* dockButton(const char* name) const {
        return m_dock->findChild<QPushButton*>(QLatin1String(name));
    }
    /// The Edit toggle of the first polygon rule shown in the group's box.
    QPushButton* groupEditButton(int groupId) const {
        for (FilterGroupWidget* group : m_dock->groupWidgets())
            if (group->groupId() == groupId)
                if (auto* polygon = group->findChild<PolygonRuleWidget*>())
                    return polygon->findChild<QPushButton*>(QStringLiteral("editButton"));
        return nullptr;
    }

    TempDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    FilterDockWidget* m_dock = nullptr;
    ScatterPlot* m_plot = nullptr;
    QListWidget* m_list = nullptr;
    QComboBox* m_xCombo = nullptr;
    QComboBox* m_yCombo = nullptr;
    QComboBox* m_scaleX = nullptr;
    QComboBox* m_scaleY = nullptr;
};

// ---- apply, update, check, uncheck and delete in all ----------------------------

TEST_F(PropagationWindowTest, ApplyRuleToAllLinksCopiesByOneNewIdAndReplacesThemLater) {
    open({{}, {}, {}});
    entry(2).filter.addRule(rangeRule("bright_avg", 0, 1000));
    setActiveRules({rangeRule("area_um", 20, 200)});

    invoke("onApplyRuleToAll", "int", 0);
    const std::string id = rule(0, 0).propagationId;
    ASSERT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), '{');
    EXPECT_EQ(id.back(), '}');
    ASSERT_EQ(entry(1).filter.ruleCount(), 1);
    ASSERT_EQ(entry(2).filter.ruleCount(), 2);
    EXPECT_EQ(rule(1, 0).propagationId, id);
    EXPECT_EQ(rule(2, 1).propagationId, id);
    EXPECT_EQ(rule(2, 0).featureName, "bright_avg");
    EXPECT_EQ(rule(1, 0).minValue, 20.0);
    auto* editor = qobject_cast<FilterRuleWidget*>(m_dock->ruleWidgets()[0]);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->propagationId(), id) << "the dock's editor learns the id";

    // Applying again keeps the id and replaces the copies in place.
    FilterRule changed = rule(0, 0);
    changed.minValue = 30.0;
    setActiveRules({changed});
    invoke("onApplyRuleToAll", "int", 0);
    EXPECT_EQ(rule(0, 0).propagationId, id);
    ASSERT_EQ(entry(1).filter.ruleCount(), 1);
    ASSERT_EQ(entry(2).filter.ruleCount(), 2);
    EXPECT_EQ(rule(1, 0).minValue, 30.0);
    EXPECT_EQ(rule(2, 1).minValue, 30.0);
}

TEST_F(PropagationWindowTest, UpdateInAllChangesOnlyDatasetsHoldingTheCopy) {
    open({{}, {}, {}});
    setActiveRules({rangeRule("area_um", 20, 200)});
    invoke("onApplyRuleToAll", "int", 0);
    entry(2).filter.removeRule(0);

    FilterRule changed = rule(0, 0);
    changed.minValue = 40.0;
    changed.maxValue = 90.0;
    changed.inverted = true;
    changed.enabled = false;
    setActiveRules({changed});
    invoke("onUpdateRuleToAll", "int", 0);
    ASSERT_EQ(entry(1).filter.ruleCount(), 1);
    EXPECT_EQ(rule(1, 0).minValue, 40.0);
    EXPECT_EQ(rule(1, 0).maxValue, 90.0);
    EXPECT_TRUE(rule(1, 0).inverted);
    EXPECT_FALSE(rule(1, 0).enabled);
    EXPECT_EQ(entry(2).filter.ruleCount(), 0) << "nothing is appended";
}

TEST_F(PropagationWindowTest, ADatasetWithTwoCopiesHasOnlyTheFirstOneTouched) {
    open({{}, {}});
    setActiveRules({rangeRule("area_um", 20, 200)});
    invoke("onApplyRuleToAll", "int", 0);
    FilterRule second = rule(1, 0);
    second.minValue = 1.0;
    second.enabled = false;
    entry(1).filter.addRule(second);

    FilterRule changed = rule(0, 0);
    changed.maxValue = 180.0;
    setActiveRules({changed});
    invoke("onUpdateRuleToAll", "int", 0);
    EXPECT_EQ(rule(1, 0).maxValue, 180.0);
    EXPECT_EQ(rule(1, 1).maxValue, 200.0);
    EXPECT_EQ(rule(1, 1).minValue, 1.0);

    invoke("onCheckRuleInAll", "int", 0);
    EXPECT_TRUE(rule(1, 0).enabled);
    EXPECT_FALSE(rule(1, 1).enabled);
    invoke("onUncheckRuleInAll", "int", 0);
    EXPECT_FALSE(rule(1, 0).enabled);
    EXPECT_EQ(rule(1, 0).maxValue, 180.0) << "only the switch changes";
    EXPECT_FALSE(rule(0, 0).enabled) << "the active rule is switched through the dock";
    invoke("onCheckRuleInAll", "int", 0);
    EXPECT_TRUE(rule(1, 0).enabled);
    EXPECT_TRUE(rule(0, 0).enabled);
    EXPECT_FALSE(rule(1, 1).enabled);

    invoke("onDeleteRuleFromAll", "int", 0);
    ASSERT_EQ(entry(1).filter.ruleCount(), 1);
    EXPECT_EQ(rule(1, 0).minValue, 1.0);
    EXPECT_EQ(entry(0).filter.ruleCount(), 0);
    EXPECT_TRUE(m_dock->ruleWidgets().empty());
}

TEST_F(PropagationWindowTest, RulesWithoutIdAndIndicesOutOfRangeChangeNothing) {
    open({{}, {}});
    FilterRule other = rangeRule("area_um", 20, 200);
    entry(1).filter.addRule(other);
    setActiveRules({rangeRule("area_um", 20, 200)});
    for (const char* slot :
         {"onUpdateRuleToAll", "onUncheckRuleInAll", "onCheckRuleInAll", "onDeleteRuleFromAll"})
        invoke(slot, "int", 0);
    ASSERT_EQ(entry(0).filter.ruleCount(), 1);
    EXPECT_TRUE(rule(0, 0).enabled);
    ASSERT_EQ(entry(1).filter.ruleCount(), 1);
    EXPECT_TRUE(rule(1, 0).enabled);

    for (const char* slot : {"onApplyRuleToAll", "onUpdateRuleToAll", "onUncheckRuleInAll",
                             "onCheckRuleInAll", "onDeleteRuleFromAll"}) {
        invoke(slot, "int", 1);
        invoke(slot, "int", -1);
    }
    EXPECT_EQ(entry(0).filter.ruleCount(), 1);
    EXPECT_EQ(entry(1).filter.ruleCount(), 1);
    EXPECT_TRUE(rule(0, 0).propagationId.empty());
}

TEST_F(PropagationWindowTest, ApplyFilterToAllCopiesSwitchModeAndRulesWithTheirIds) {
    open({{}, {}});
    entry(1).filter.addRule(rangeRule("bright_avg", 0, 1));
    FilterRule linked = rangeRule("area_um", 20, 200);
    linked.propagationId = "{00000000-0000-0000-0000-000000000001}";
    setActiveRules({linked, polygonRule("area_um", "deform")});
    entry(0).filter.setEnabled(false);
    entry(0).filter.setCombineMode(FilterCombineMode::NOT);

    invoke("onApplyFilterToAll");
    const EventFilter& copy = entry(1).filter;
    EXPECT_FALSE(copy.isEnabled());
    EXPECT_EQ(copy.combineMode(), FilterCombineMode::NOT);
    ASSERT_EQ(copy.ruleCount(), 2);
    EXPECT_EQ(copy.rules()[0].propagationId, linked.propagationId);
    EXPECT_TRUE(copy.rules()[1].propagationId.empty());
    EXPECT_EQ(copy.rules()[1].polygonVertices, polygonRule("area_um", "deform").polygonVertices);
}

TEST_F(PropagationWindowTest, EnabledStateAndCombineModeGoToEveryOtherDataset) {
    invoke("onEnabledChangedForAll", "bool", false); // no datasets: nothing to do
    invoke("onCombineModeChangedForAll", "int", 1);
    open({{}, {}, {}});
    invoke("onEnabledChangedForAll", "bool", false);
    invoke("onCombineModeChangedForAll", "int", 1);
    EXPECT_TRUE(entry(0).filter.isEnabled()) << "the dock switches the active filter itself";
    EXPECT_EQ(entry(0).filter.combineMode(), FilterCombineMode::AND);
    for (int i : {1, 2}) {
        EXPECT_FALSE(entry(i).filter.isEnabled());
        EXPECT_EQ(entry(i).filter.combineMode(), FilterCombineMode::NOT);
    }
}

// ---- divergence marks --------------------------------------------------------------

TEST_F(PropagationWindowTest, MarksShowWhereCopiesAndSwitchesDiffer) {
    open({{}, {}, {false, false}}); // the third measurement has no deform
    setActiveRules({rangeRule("deform", 0.015, 0.055)});
    invoke("onApplyRuleToAll", "int", 0);
    ASSERT_EQ(entry(2).filter.ruleCount(), 1);
    EXPECT_FALSE(highlighted(ruleButton(0, "updateInAllButton")));
    EXPECT_FALSE(highlighted(ruleButton(0, "checkStateButton")));

    // A copy in a measurement without the feature is not compared.
    FilterRule ignored = rule(2, 0);
    ignored.minValue = 0.0;
    ignored.enabled = false;
    entry(2).filter.setRule(0, ignored);
    invoke("onFilterChanged");
    EXPECT_FALSE(highlighted(ruleButton(0, "updateInAllButton")));
    EXPECT_FALSE(highlighted(ruleButton(0, "checkStateButton")));

    FilterRule changed = rule(1, 0);
    changed.minValue = 0.02;
    entry(1).filter.setRule(0, changed);
    invoke("onFilterChanged");
    EXPECT_TRUE(highlighted(ruleButton(0, "updateInAllButton")));
    EXPECT_FALSE(highlighted(ruleButton(0, "checkStateButton")));

    changed.enabled = false;
    entry(1).filter.setRule(0, changed);
    invoke("onFilterChanged");
    EXPECT_TRUE(highlighted(ruleButton(0, "checkStateButton")));

    // Updating the copies clears both marks again.
    invoke("onUpdateRuleToAll", "int", 0);
    EXPECT_FALSE(highlighted(ruleButton(0, "updateInAllButton")));
    EXPECT_FALSE(highlighted(ruleButton(0, "checkStateButton")));

    EXPECT_FALSE(highlighted(dockButton("dockEnabledForAllButton")));
    EXPECT_FALSE(highlighted(dockButton("dockCombineForAllButton")));
    entry(2).filter.setEnabled(false);
    invoke("onFilterChanged");
    EXPECT_TRUE(highlighted(dockButton("dockEnabledForAllButton")));
    EXPECT_FALSE(highlighted(dockButton("dockCombineForAllButton")));
    entry(1).filter.setCombineMode(FilterCombineMode::NOT);
    invoke("onFilterChanged");
    EXPECT_TRUE(highlighted(dockButton("dockCombineForAllButton")));
    invoke("onEnabledChangedForAll", "bool", true);
    invoke("onCombineModeChangedForAll", "int", 0);
    EXPECT_FALSE(highlighted(dockButton("dockEnabledForAllButton")));
    EXPECT_FALSE(highlighted(dockButton("dockCombineForAllButton")));
}

// ---- the measurement's own filters -------------------------------------------------

TEST_F(PropagationWindowTest, ImportingMeasurementFiltersAddsTheSwitchedOnLimits) {
    ScriptedDialogProvider dialogs;
    const ScopedDialogProvider guard(dialogs);
    invoke("onImportMeasurementFilters", "bool", false); // no dataset: silent
    EXPECT_TRUE(dialogs.calls.empty());
    invoke("onImportMeasurementFilters", "bool", true); // no dataset: nothing found
    ASSERT_EQ(dialogs.count(DialogCall::Information), 1);

    open({{true, true}, {}});
    activate(1);
    invoke("onImportMeasurementFilters", "bool", false);
    ASSERT_EQ(dialogs.count(DialogCall::Information), 2);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Import Measurement Filters"));
    EXPECT_EQ(dialogs.calls.back().text,
              QStringLiteral("No features with soft limit enabled found."));
    EXPECT_EQ(entry(1).filter.ruleCount(), 0);

    // All datasets: the limits of the first measurement; the unreadable
    // bright_avg minimum leaves that limit out and stops nothing.
    entry(0).filter.setEnabled(false);
    invoke("onImportMeasurementFilters", "bool", true);
    EXPECT_EQ(dialogs.count(DialogCall::Information), 2);
    ASSERT_EQ(entry(0).filter.ruleCount(), 2);
    EXPECT_TRUE(entry(0).filter.isEnabled());
    EXPECT_EQ(rule(0, 0).type, 0);
    EXPECT_EQ(rule(0, 0).featureName, "area_um");
    EXPECT_EQ(rule(0, 0).minValue, 20.0);
    EXPECT_EQ(rule(0, 0).maxValue, 200.0);
    EXPECT_EQ(rule(0, 1).type, 1);
    EXPECT_EQ(rule(0, 1).featureNameY, "deform");
    const Vertices polygon = {{20.0, 0.0}, {200.0, 0.0}, {200.0, 0.5}};
    EXPECT_EQ(rule(0, 1).polygonVertices, polygon);
    EXPECT_EQ(entry(1).filter.ruleCount(), 0);

    // Twice appends twice; the dock shows the active dataset's new rules.
    activate(0);
    invoke("onImportMeasurementFilters", "bool", false);
    ASSERT_EQ(entry(0).filter.ruleCount(), 4);
    EXPECT_EQ(rule(0, 2).featureName, "area_um");
    EXPECT_EQ(m_dock->ruleWidgets().size(), 4u);
}

// ---- polygons drawn in the plot ----------------------------------------------------

TEST_F(PropagationWindowTest, APolygonGoesToTheGroupThatAskedForItThenToTheDataset) {
    open({{}});
    m_scaleY->setCurrentIndex(2);
    test::processEventsFor(10);
    const int group = m_window->addFilterGroup("Gate");
    m_window->refreshFilterGroupsUi();

    invoke("onAddPolygonToGroupRequested", "int", group);
    ASSERT_TRUE(m_plot->isDrawingPolygon());
    const Vertices drawn = {{30.0, 0.02}, {90.0, 0.02}, {60.0, 0.05}};
    finishDrawing(drawn);
    const FilterGroup* target = m_window->findFilterGroupById(group);
    ASSERT_EQ(target->rules.size(), 1u);
    const FilterRule& gate = target->rules[0];
    EXPECT_EQ(gate.type, 1);
    EXPECT_EQ(gate.featureName, "area_um");
    EXPECT_EQ(gate.featureNameY, "deform");
    EXPECT_EQ(gate.scaleXMode, 0);
    EXPECT_EQ(gate.scaleYMode, 2);
    EXPECT_EQ(gate.polygonVertices, drawn);
    EXPECT_TRUE(gate.enabled);
    EXPECT_FALSE(gate.inverted);
    EXPECT_EQ(entry(0).filter.ruleCount(), 0);
    EXPECT_FALSE(dockButton("dockAddPolygonButton")->isChecked());

    // The next polygon belongs to the dataset again.
    emit m_dock->polygonDrawRequested();
    ASSERT_TRUE(m_plot->isDrawingPolygon());
    finishDrawing(kQuad);
    EXPECT_EQ(target->rules.size(), 1u);
    ASSERT_EQ(entry(0).filter.ruleCount(), 1);
    EXPECT_EQ(rule(0, 0).polygonVertices, kQuad);
    EXPECT_EQ(rule(0, 0).scaleYMode, 2);
    EXPECT_TRUE(rule(0, 0).propagationId.empty());
    EXPECT_EQ(m_dock->ruleWidgets().size(), 1u);
}

TEST_F(PropagationWindowTest, DeletingTheGroupWaitingForAPolygonCancelsTheDrawing) {
    open({{}});
    const int group = m_window->addFilterGroup("Gate");
    m_window->refreshFilterGroupsUi();
    invoke("onAddPolygonToGroupRequested", "int", group);
    ASSERT_TRUE(m_plot->isDrawingPolygon());
    emit m_dock->deleteFilterGroupRequested(group);
    EXPECT_FALSE(m_plot->isDrawingPolygon());
    EXPECT_FALSE(dockButton("dockAddPolygonButton")->isChecked());

    emit m_dock->polygonDrawRequested();
    finishDrawing(kQuad);
    EXPECT_EQ(entry(0).filter.ruleCount(), 1);
}

TEST_F(PropagationWindowTest, ChangedAxesOrScalesEndADrawingAndDropItsPolygon) {
    open({{}});
    emit m_dock->polygonDrawRequested();
    ASSERT_TRUE(m_plot->isDrawingPolygon());
    m_scaleX->setCurrentIndex(1);
    test::processEventsFor(10);
    EXPECT_FALSE(m_plot->isDrawingPolygon());
    EXPECT_FALSE(dockButton("dockAddPolygonButton")->isChecked());

    emit m_dock->polygonDrawRequested();
    ASSERT_TRUE(m_plot->isDrawingPolygon());
    chooseAxes("bright_avg", "deform");
    EXPECT_FALSE(m_plot->isDrawingPolygon());
    EXPECT_EQ(entry(0).filter.ruleCount(), 0);
}

// ---- polygons edited in the plot ---------------------------------------------------

TEST_F(PropagationWindowTest, EditedVerticesReplaceOnlyTheVerticesOfADatasetRule) {
    open({{}, {}});
    FilterRule gate = polygonRule("area_um", "deform");
    gate.inverted = true;
    gate.enabled = false;
    gate.propagationId = "{00000000-0000-0000-0000-00000000000a}";
    entry(1).filter.addRule(gate);
    FilterRule neighbour = polygonRule("area_um", "deform");
    neighbour.polygonVertices = {{0.0, 0.0}, {5.0, 0.0}, {5.0, 0.01}};
    setActiveRules({neighbour, gate});

    ruleButton(1, "editButton")->click();
    ASSERT_TRUE(m_plot->isEditingPolygon());
    EXPECT_EQ(m_plot->editingPolygonId(), 1);
    emit m_plot->polygonEdited(1, toPolygon(kQuad));
    EXPECT_EQ(rule(0, 1).polygonVertices, kQuad);
    expectSameExceptVertices(rule(0, 1), gate);
    EXPECT_EQ(rule(1, 0).polygonVertices, gate.polygonVertices) << "copies are not updated";
    // The dock's editor holds the new vertices, so its next rewrite keeps them.
    auto* editor = qobject_cast<PolygonRuleWidget*>(m_dock->ruleWidgets()[1]);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->getRule().polygonVertices, kQuad);
    m_dock->setRuleEnabled(0, false);
    EXPECT_EQ(rule(0, 1).polygonVertices, kQuad);

    // An edit reported for a polygon not under edit is ignored.
    emit m_plot->polygonEdited(0, toPolygon(kQuad));
    EXPECT_EQ(rule(0, 0).polygonVertices, neighbour.polygonVertices);

    m_plot->stopPolygonEditing();
    EXPECT_FALSE(ruleButton(1, "editButton")->isChecked());
}

TEST_F(PropagationWindowTest, EditedVerticesReplaceOnlyTheVerticesOfAGroupRule) {
    open({{}});
    const int group = m_window->addFilterGroup("Gate");
    FilterRule gate = polygonRule("area_um", "deform");
    gate.inverted = true;
    gate.scaleYMode = 2;
    m_window->addRuleToGroup(group, gate);
    m_window->refreshFilterGroupsUi();

    QPushButton* edit = groupEditButton(group);
    ASSERT_NE(edit, nullptr);
    edit->click();
    ASSERT_TRUE(m_plot->isEditingPolygon());
    const int id = encodeGroupPolygonId(group, 0);
    EXPECT_EQ(m_plot->editingPolygonId(), id);
    emit m_plot->polygonEdited(id, toPolygon(kQuad));
    const FilterRule& stored = m_window->findFilterGroupById(group)->rules[0];
    EXPECT_EQ(stored.polygonVertices, kQuad);
    expectSameExceptVertices(stored, gate);
    test::processEventsFor(10);
    ASSERT_NE(groupEditButton(group), nullptr);
    EXPECT_TRUE(groupEditButton(group)->isChecked()) << "the toggle stays pressed while editing";
}

TEST_F(PropagationWindowTest, EditTogglesOfPolygonsOnOtherAxesAreReleased) {
    open({{}});
    setActiveRules({polygonRule("deform", "area_um")});
    ruleButton(0, "editButton")->click();
    EXPECT_FALSE(m_plot->isEditingPolygon());
    EXPECT_FALSE(ruleButton(0, "editButton")->isChecked());

    const int group = m_window->addFilterGroup("Swapped");
    m_window->addRuleToGroup(group, polygonRule("deform", "area_um"));
    m_window->refreshFilterGroupsUi();
    QPushButton* edit = groupEditButton(group);
    ASSERT_NE(edit, nullptr);
    edit->click();
    EXPECT_FALSE(m_plot->isEditingPolygon());
    EXPECT_FALSE(edit->isChecked());
}

TEST_F(PropagationWindowTest, ChangedAxesScalesOrDatasetEndEditingBeforeAnyEditLands) {
    open({{}, {}});
    const FilterRule gate = polygonRule("area_um", "deform");
    entry(1).filter.addRule(gate);
    setActiveRules({gate});

    // Another x feature.
    ruleButton(0, "editButton")->click();
    ASSERT_TRUE(m_plot->isEditingPolygon());
    chooseAxes("bright_avg", "deform");
    EXPECT_FALSE(m_plot->isEditingPolygon());
    EXPECT_FALSE(ruleButton(0, "editButton")->isChecked());
    emit m_plot->polygonEdited(0, toPolygon(kQuad));
    EXPECT_EQ(rule(0, 0).polygonVertices, gate.polygonVertices);

    // Another y scale.
    chooseAxes("area_um", "deform");
    ruleButton(0, "editButton")->click();
    ASSERT_TRUE(m_plot->isEditingPolygon());
    m_scaleY->setCurrentIndex(1);
    test::processEventsFor(10);
    EXPECT_FALSE(m_plot->isEditingPolygon());
    m_scaleY->setCurrentIndex(0);
    test::processEventsFor(10);

    // Another dataset: its rule 0 shares the overlay id of the edited one.
    ruleButton(0, "editButton")->click();
    ASSERT_TRUE(m_plot->isEditingPolygon());
    activate(1);
    EXPECT_FALSE(m_plot->isEditingPolygon());
    emit m_plot->polygonEdited(0, toPolygon(kQuad));
    EXPECT_EQ(rule(0, 0).polygonVertices, gate.polygonVertices);
    EXPECT_EQ(rule(1, 0).polygonVertices, gate.polygonVertices);
}

} // namespace
} // namespace Quorvex3
