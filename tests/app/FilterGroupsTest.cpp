// Filter groups in the main window: its group operations reaching the store
// and the plot, the per-dataset switches of opened datasets, the overlay ids
// of group polygons, and the filter dock's group requests with their
// divergence marks. The group logic itself is tested on the store alone.
#include "FilterGroupTestSupport.h"

#include "core/EventFilter.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "model/FilterGroup.h"
#include "plots/ScatterPlot.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cmath>
#include <limits>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using test::polygonRule;
using test::rangeRule;

std::vector<std::string> groupNames(const MainWindow& window) {
    std::vector<std::string> names;
    for (const auto& group : window.filterGroups())
        names.push_back(group->name);
    return names;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

FilterDockWidget* dockOf(MainWindow& window) {
    return window.findChild<FilterDockWidget*>();
}

FilterGroupWidget* groupWidget(MainWindow& window, int index) {
    const auto& widgets = dockOf(window)->groupWidgets();
    return index < static_cast<int>(widgets.size()) ? widgets[static_cast<std::size_t>(index)]
                                                    : nullptr;
}

bool highlighted(const QPushButton* button) {
    return button->styleSheet().contains(QStringLiteral("#a6d7d5"));
}

class FilterGroups : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    /// Window with `count` datasets open (the last one active).
    void openDatasets(int count) {
        m_paths = test::openMeasurements(m_window, m_dir, count);
        ASSERT_EQ(static_cast<int>(m_paths.size()), count);
    }

    DatasetEntry* dataset(int index) {
        return m_window.datasets()[static_cast<std::size_t>(index)].get();
    }

    void selectDataset(int row) {
        m_window.findChild<QListWidget*>(QStringLiteral("datasetList"))->setCurrentRow(row);
        test::processEventsFor(20);
    }

    Quorvex3::testing::TempDir m_dir;
    MainWindow m_window;
    std::vector<std::string> m_paths;
};

// ---- the window's group operations --------------------------------------------------
// Ids, names, rules, switches and the effective filter are the store's
// (tests/model/DatasetStoreTest.cpp); here the window's forwards reach it and
// each change replots.

TEST_F(FilterGroups, GroupOperationsChangeTheStoreAndReplotTheActiveDataset) {
    openDatasets(1);
    auto* info = m_window.findChild<QLabel*>(QStringLiteral("infoLabel"));
    ASSERT_NE(info, nullptr);
    // Each call's refresh is a request of its own event-loop turn.
    const auto shownText = [this, info] {
        m_window.flushPlotRequests();
        return info->text().toStdString();
    };
    ASSERT_TRUE(contains(shownText(), "5/5 events shown"));

    const int g = m_window.addFilterGroup("");
    EXPECT_EQ(m_window.store().groups().size(), 1u);
    EXPECT_EQ(m_window.findFilterGroupById(g), m_window.store().findGroupById(g));
    m_window.renameFilterGroup(g, "Gate");
    EXPECT_EQ(m_window.store().findGroupById(g)->name, "Gate");

    m_window.addRuleToGroup(g, rangeRule("area_um", 25, 100));
    m_window.setGroupEnabled(dataset(0)->id, g, true);
    EXPECT_TRUE(m_window.store().isGroupEnabled(dataset(0), g));
    EXPECT_TRUE(contains(shownText(), "3/5 events shown")) << shownText();

    m_window.updateRuleInGroup(g, 0, rangeRule("area_um", 35, 100));
    EXPECT_TRUE(contains(shownText(), "2/5 events shown")) << shownText();

    m_window.setGroupEnabledInAll(g, false);
    EXPECT_TRUE(contains(shownText(), "5/5 events shown")) << shownText();

    m_window.setGroupsEnabled(dataset(0)->id, {g}, true);
    EXPECT_TRUE(contains(shownText(), "2/5 events shown")) << shownText();

    m_window.removeRuleFromGroup(g, 0);
    EXPECT_TRUE(contains(shownText(), "5/5 events shown")) << shownText();

    m_window.addRuleToGroup(g, rangeRule("area_um", 45, 100));
    EXPECT_TRUE(contains(shownText(), "1/5 events shown")) << shownText();
    m_window.removeFilterGroup(g);
    EXPECT_TRUE(m_window.store().groups().empty());
    EXPECT_TRUE(contains(shownText(), "5/5 events shown")) << shownText();
}

// ---- per-dataset switches ----------------------------------------------------------

TEST_F(FilterGroups, NewGroupIsExplicitlyOffInOpenDatasetsAndMissingInLaterOnes) {
    openDatasets(3);
    const int id = m_window.addFilterGroup("");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(dataset(i)->groupEnabled.count(id), 1u);
        EXPECT_FALSE(dataset(i)->groupEnabled.at(id));
    }
    const std::string later = m_dir.file("later.rtdc");
    test::writeSmallMeasurement(later);
    ASSERT_TRUE(test::openAndWait(m_window, later));
    EXPECT_EQ(dataset(3)->groupEnabled.count(id), 0u);
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(3), id));
    EXPECT_FALSE(m_window.isGroupEnabled(nullptr, id));
}

TEST_F(FilterGroups, SwitchesAreStoredPerDatasetOrForAllAndErasedWithTheGroup) {
    openDatasets(2);
    const int a = m_window.addFilterGroup("A");
    const int b = m_window.addFilterGroup("B");

    m_window.setGroupEnabled(dataset(0)->id, a, true);
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(0), a));
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(1), a));
    // A dataset id that names nothing changes nothing.
    m_window.setGroupEnabled(12345, b, true);
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(0), b));
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(1), b));
    // The key is stored although no group has that id.
    m_window.setGroupEnabled(dataset(1)->id, 77, true);
    EXPECT_TRUE(dataset(1)->groupEnabled.at(77));

    m_window.setGroupEnabledInAll(b, true);
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(0), b));
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(1), b));

    m_window.removeFilterGroup(a);
    EXPECT_EQ(dataset(0)->groupEnabled.count(a), 0u);
    EXPECT_EQ(dataset(1)->groupEnabled.count(a), 0u);
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(1), b));
}

TEST_F(FilterGroups, SwitchingSeveralGroupsOfOneDatasetAtOnce) {
    openDatasets(2);
    const int a = m_window.addFilterGroup("A");
    const int b = m_window.addFilterGroup("B");
    m_window.setGroupsEnabled(dataset(0)->id, {a, b}, true);
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(0), a));
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(0), b));
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(1), a));
    m_window.setGroupsEnabled(-5, {a}, true);
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(1), a));
}

// ---- effective filter --------------------------------------------------------------

TEST_F(FilterGroups, DatasetWithoutOwnRulesIsFilteredByItsGroupsAlone) {
    openDatasets(2);
    const int g = m_window.addFilterGroup("G");
    m_window.addRuleToGroup(g, rangeRule("area_um", 25, 100));
    m_window.setGroupEnabled(dataset(1)->id, g, true);
    const std::vector<double> area{10, 20, 30, 40, 50};
    const EventFilter::FeatureMap columns{{"area_um", &area}};
    EXPECT_EQ(m_window.buildEffectiveFilter(dataset(1)).apply(columns, 5),
              (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(m_window.buildEffectiveFilter(dataset(0)).apply(columns, 5),
              (std::vector<int>{0, 1, 2, 3, 4}));
}

// ---- group polygons on the plot ----------------------------------------------------

TEST_F(FilterGroups, RebuiltGroupWidgetsKeepTheEditToggleOfThePolygonBeingEdited) {
    openDatasets(1);
    const int first = m_window.addFilterGroup("First");
    const int g = m_window.addFilterGroup("G");
    m_window.addRuleToGroup(first, polygonRule({{10, 0.01}, {50, 0.01}, {30, 0.05}}));
    m_window.addRuleToGroup(g, rangeRule("area_um", 0, 100));
    m_window.addRuleToGroup(g, polygonRule({{10, 0.01}, {50, 0.01}, {30, 0.05}}));
    m_window.setGroupEnabledInAll(g, true);
    auto* plot = m_window.findChild<ScatterPlot*>();
    plot->startPolygonEditing(encodeGroupPolygonId(g, 1),
                              QPolygonF(QVector<QPointF>{{10, 0.01}, {50, 0.01}, {30, 0.05}}));
    m_window.refreshFilterGroupsUi();

    const auto editButtons = [this](int group) {
        std::vector<bool> checked;
        for (auto* button :
             groupWidget(m_window, group)->findChildren<QPushButton*>(QStringLiteral("editButton")))
            checked.push_back(button->isChecked());
        return checked;
    };
    EXPECT_EQ(editButtons(1), std::vector<bool>{true});
    EXPECT_EQ(editButtons(0), std::vector<bool>{false});
    plot->stopPolygonEditing();
}

// Switching the edit from one group polygon to another left the first
// one's overlay hidden and its Edit toggle pressed (the stop was reported
// while the plot still edited it).
TEST_F(FilterGroups, SwitchingTheEditedGroupPolygonReleasesTheFormerOne) {
    openDatasets(1);
    const int g = m_window.addFilterGroup("G");
    m_window.addRuleToGroup(g, polygonRule({{10, 0.01}, {50, 0.01}, {30, 0.05}}));
    m_window.addRuleToGroup(g, polygonRule({{20, 0.02}, {40, 0.02}, {30, 0.04}}));
    m_window.setGroupEnabledInAll(g, true);
    // The plot refresh it asked for runs as the event loop turns.
    m_window.flushPlotRequests();
    auto* plot = m_window.findChild<ScatterPlot*>();
    const auto editButton = [this](int rule) {
        return groupWidget(m_window, 0)
            ->findChildren<QPushButton*>(QStringLiteral("editButton"))[rule];
    };
    const auto checkedButtons = [this] {
        std::vector<bool> checked;
        for (auto* button :
             groupWidget(m_window, 0)->findChildren<QPushButton*>(QStringLiteral("editButton")))
            checked.push_back(button->isChecked());
        return checked;
    };
    const auto visibleOverlays = [plot] {
        int visible = 0;
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotShape))
            visible += item->isVisible() ? 1 : 0;
        return visible;
    };
    ASSERT_EQ(visibleOverlays(), 2);

    editButton(0)->click();
    test::flushDeletes();
    ASSERT_EQ(plot->editingPolygonId(), encodeGroupPolygonId(g, 0));
    EXPECT_EQ(checkedButtons(), (std::vector<bool>{true, false}));
    EXPECT_EQ(visibleOverlays(), 1);

    editButton(1)->click();
    test::flushDeletes();
    EXPECT_EQ(plot->editingPolygonId(), encodeGroupPolygonId(g, 1));
    EXPECT_EQ(checkedButtons(), (std::vector<bool>{false, true}));
    EXPECT_EQ(visibleOverlays(), 1); // the first one back, the edited one as edit curve
    plot->stopPolygonEditing();
    test::flushDeletes();
    EXPECT_EQ(visibleOverlays(), 2);
}

// ---- the dock's group requests -----------------------------------------------------

TEST_F(FilterGroups, DockButtonsAddRenameAndDeleteGroups) {
    openDatasets(1);
    FilterDockWidget* dock = dockOf(m_window);
    dock->findChild<QPushButton*>(QStringLiteral("dockAddGroupButton"))->click();
    dock->findChild<QPushButton*>(QStringLiteral("dockAddGroupButton"))->click();
    EXPECT_EQ(groupNames(m_window), (std::vector<std::string>{"Filter group 1", "Filter group 2"}));
    ASSERT_EQ(dock->groupWidgets().size(), 2u);
    auto* nameEdit = groupWidget(m_window, 1)->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
    EXPECT_EQ(nameEdit->text(), QStringLiteral("Filter group 2"));

    nameEdit->setText(QStringLiteral("Zellen \u00e4"));
    emit nameEdit->editingFinished();
    EXPECT_EQ(groupNames(m_window),
              (std::vector<std::string>{"Filter group 1", "Zellen \xc3\xa4"}));

    groupWidget(m_window, 0)->findChild<QPushButton*>(QStringLiteral("deleteButton"))->click();
    EXPECT_EQ(groupNames(m_window), (std::vector<std::string>{"Zellen \xc3\xa4"}));
    ASSERT_EQ(dock->groupWidgets().size(), 1u);
    EXPECT_EQ(dock->groupWidgets()[0]->groupId(), 1);
}

TEST_F(FilterGroups, EnableBoxSwitchesTheActiveDatasetAndMarksTheDivergence) {
    openDatasets(2);
    const int g = m_window.addFilterGroup("G");
    m_window.refreshFilterGroupsUi();
    auto* box = groupWidget(m_window, 0)->findChild<QCheckBox*>(QStringLiteral("groupEnableBox"));
    box->click();
    // The plot refresh it asked for runs as the event loop turns.
    m_window.flushPlotRequests();
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(1), g));
    EXPECT_FALSE(m_window.isGroupEnabled(dataset(0), g));
    auto* propagate =
        groupWidget(m_window, 0)->findChild<QPushButton*>(QStringLiteral("propagateButton"));
    EXPECT_TRUE(highlighted(propagate));

    propagate->click();
    EXPECT_TRUE(m_window.isGroupEnabled(dataset(0), g));
    propagate =
        groupWidget(m_window, 0)->findChild<QPushButton*>(QStringLiteral("propagateButton"));
    EXPECT_FALSE(highlighted(propagate));
}

TEST_F(FilterGroups, DivergenceCountsMissingKeysAsOff) {
    openDatasets(2);
    // Switched on in the active dataset only: divergent. Off in both (one
    // of them without any key): not.
    const int g = m_window.addFilterGroup("G");
    dataset(0)->groupEnabled.erase(g);
    m_window.refreshFilterGroupsUi();
    auto propagate = [this] {
        return groupWidget(m_window, 0)->findChild<QPushButton*>(QStringLiteral("propagateButton"));
    };
    EXPECT_FALSE(highlighted(propagate()));
    dataset(1)->groupEnabled[g] = true;
    m_window.refreshFilterGroupsUi();
    EXPECT_TRUE(highlighted(propagate()));
    dataset(0)->groupEnabled[g] = true;
    m_window.refreshFilterGroupsUi();
    EXPECT_FALSE(highlighted(propagate()));
    // The other dataset on, the active one off: divergent as well.
    selectDataset(0);
    dataset(0)->groupEnabled[g] = false;
    m_window.refreshFilterGroupsUi();
    EXPECT_TRUE(highlighted(propagate()));
}

TEST_F(FilterGroups, PlusRuleCoversEveryFiniteValueOfTheFirstScalarFeature) {
    const std::string path = m_dir.file("one.rtdc");
    {
        Quorvex3::testing::RtdcFixtureWriter writer(path);
        const double inf = std::numeric_limits<double>::infinity();
        writer.addColumn<double>("area_um", {std::nan(""), 12.5, inf, -3.0, 7.0, -inf});
    }
    ASSERT_TRUE(test::openAndWait(m_window, path));
    const int g = m_window.addFilterGroup("G");
    m_window.refreshFilterGroupsUi();
    emit dockOf(m_window)->addRuleToGroupRequested(g);

    const FilterGroup* group = m_window.findFilterGroupById(g);
    ASSERT_EQ(group->rules.size(), 1u);
    const FilterRule& rule = group->rules[0];
    EXPECT_EQ(rule.type, 0);
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.minValue, -3.0);
    EXPECT_EQ(rule.maxValue, 12.5);
    EXPECT_TRUE(rule.enabled);
    EXPECT_FALSE(rule.inverted);
    EXPECT_TRUE(rule.propagationId.empty());
}

TEST_F(FilterGroups, PlusRuleWithoutADatasetAddsAnEmptyRangeRule) {
    const int g = m_window.addFilterGroup("G");
    emit dockOf(m_window)->addRuleToGroupRequested(g);
    const FilterGroup* group = m_window.findFilterGroupById(g);
    ASSERT_EQ(group->rules.size(), 1u);
    EXPECT_TRUE(group->rules[0].featureName.empty());
    EXPECT_EQ(group->rules[0].minValue, 0.0);
    EXPECT_EQ(group->rules[0].maxValue, 0.0);
}

TEST_F(FilterGroups, DeletingTheGroupWhosePolygonIsBeingDrawnCancelsTheDrawing) {
    openDatasets(1);
    const int keep = m_window.addFilterGroup("Keep");
    const int g = m_window.addFilterGroup("G");
    m_window.refreshFilterGroupsUi();
    auto* plot = m_window.findChild<ScatterPlot*>();
    auto* drawButton =
        dockOf(m_window)->findChild<QPushButton*>(QStringLiteral("dockAddPolygonButton"));

    emit dockOf(m_window)->addPolygonToGroupRequested(g);
    EXPECT_TRUE(plot->isDrawingPolygon());
    EXPECT_TRUE(drawButton->isChecked());
    // Deleting another group leaves the drawing alone.
    emit dockOf(m_window)->deleteFilterGroupRequested(keep);
    EXPECT_TRUE(plot->isDrawingPolygon());

    emit dockOf(m_window)->deleteFilterGroupRequested(g);
    EXPECT_FALSE(plot->isDrawingPolygon());
    EXPECT_FALSE(drawButton->isChecked());
}

TEST_F(FilterGroups, EditingAGroupRuleKeepsTheGroupWidgetsButRemovingOneRebuildsThem) {
    openDatasets(1);
    const int g = m_window.addFilterGroup("G");
    m_window.addRuleToGroup(g, rangeRule("area_um", 10, 50));
    m_window.addRuleToGroup(g, rangeRule("deform", 0, 1));
    m_window.setGroupEnabled(dataset(0)->id, g, true);
    m_window.refreshFilterGroupsUi();
    FilterGroupWidget* before = groupWidget(m_window, 0);

    emit dockOf(m_window)->groupRuleChanged(g, 0, rangeRule("area_um", 20, 40));
    EXPECT_EQ(groupWidget(m_window, 0), before);
    EXPECT_EQ(m_window.findFilterGroupById(g)->rules[0].minValue, 20.0);

    emit dockOf(m_window)->groupRuleRemoved(g, 0);
    EXPECT_NE(groupWidget(m_window, 0), before);
    ASSERT_EQ(m_window.findFilterGroupById(g)->rules.size(), 1u);
    EXPECT_EQ(m_window.findFilterGroupById(g)->rules[0].featureName, "deform");
}

} // namespace
} // namespace Quorvex3
