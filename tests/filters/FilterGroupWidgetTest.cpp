// The filter group box: name, switch, propagate and delete buttons, and the
// rule editors it builds for the group's rules.
#include "filters/FilterTestSupport.h"

#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace Quorvex3 {
namespace {

using testing::bits;
using testing::child;
using testing::flushDeletes;
using testing::kHighlightedStyle;
using testing::kPlainStyle;
using testing::kRemoveStyle;

constexpr int kGroupId = 7;

class FilterGroupWidgetTest : public testing::FilterFixture {
protected:
    void SetUp() override {
        FilterFixture::SetUp();
        m_group = std::make_unique<FilterGroupWidget>(
            kGroupId, std::vector<std::string>{"area_um", "deform", "porosity"}, m_reader.get());
        m_name = child<QLineEdit>(m_group.get(), "nameEdit");
        m_enable = child<QCheckBox>(m_group.get(), "groupEnableBox");
        m_propagate = child<QPushButton>(m_group.get(), "propagateButton");
    }

    static std::vector<FilterRule> threeRules() {
        FilterRule first;
        first.featureName = "deform";
        first.minValue = 0.0123456789;
        first.maxValue = 0.05;
        first.enabled = false;
        FilterRule second;
        second.type = 1;
        second.featureName = "area_um";
        second.featureNameY = "deform";
        second.polygonVertices = {{1.0, 0.0}, {600.0, 0.0}, {600.0, 1.0}};
        FilterRule third;
        third.featureName = "area_um";
        third.minValue = 12.3456;
        third.maxValue = 400.0;
        return {first, second, third};
    }

    // Rule editors in layout order (direct children of the group box).
    std::vector<QWidget*> editors() const {
        std::vector<QWidget*> out;
        for (QWidget* w : m_group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (qobject_cast<FilterRuleWidget*>(w) || qobject_cast<PolygonRuleWidget*>(w))
                out.push_back(w);
        return out;
    }

    // Separator lines: the one under the header rows plus one between rules.
    int separatorLines() const {
        int lines = 0;
        for (QWidget* w : m_group->findChildren<QWidget*>())
            lines += w->styleSheet() == QStringLiteral("background-color: #c8c8c8;");
        return lines;
    }

    std::unique_ptr<FilterGroupWidget> m_group;
    QLineEdit* m_name = nullptr;
    QCheckBox* m_enable = nullptr;
    QPushButton* m_propagate = nullptr;
};

// ---- header rows ---------------------------------------------------------------

TEST_F(FilterGroupWidgetTest, HeaderRowsHaveTheirTextsAndLooks) {
    EXPECT_TRUE(m_group->title().isEmpty());
    EXPECT_EQ(m_group->groupId(), kGroupId);
    EXPECT_EQ(m_enable->toolTip(), "Enable this group for the active dataset");
    EXPECT_EQ(m_propagate->toolTip(), "Apply this group's enabled/disabled state to every dataset");
    auto* remove = child<QPushButton>(m_group.get(), "deleteButton");
    EXPECT_EQ(remove->text(), QString(QChar(0x00D7)));
    EXPECT_EQ(remove->styleSheet(), kRemoveStyle);
    EXPECT_EQ(remove->toolTip(), "Delete this filter group");
    auto* addRule = child<QPushButton>(m_group.get(), "addRuleButton");
    EXPECT_EQ(addRule->text(), "+ Rule");
    EXPECT_EQ(addRule->styleSheet(),
              "QPushButton { padding: 2px 8px; min-height: 16px; min-width: 70px; }");
    EXPECT_EQ(addRule->toolTip(), "Add a range rule to this group");
    auto* addPolygon = child<QPushButton>(m_group.get(), "addPolygonButton");
    EXPECT_EQ(addPolygon->text(), "+ Polygon");
    EXPECT_FALSE(addPolygon->isCheckable());
    EXPECT_EQ(addPolygon->styleSheet(),
              "QPushButton { padding: 2px 8px; min-height: 16px; min-width: 90px; }");
    EXPECT_EQ(addPolygon->toolTip(),
              "Draw a polygon gate on the scatter plot and add it to this group");
    EXPECT_EQ(separatorLines(), 1);
}

TEST_F(FilterGroupWidgetTest, NameIsSetSilentlyAndReportedWhenEditingEnds) {
    QSignalSpy rename(m_group.get(), &FilterGroupWidget::renameRequested);
    m_group->setName("Gate A");
    EXPECT_EQ(m_name->text(), "Gate A");
    EXPECT_EQ(rename.count(), 0);

    m_name->selectAll();
    QTest::keyClicks(m_name, "Beads");
    QTest::keyClick(m_name, Qt::Key_Return);
    ASSERT_EQ(rename.count(), 1);
    EXPECT_EQ(rename.at(0).at(0).toInt(), kGroupId);
    EXPECT_EQ(rename.at(0).at(1).toString(), "Beads");
}

TEST_F(FilterGroupWidgetTest, DeleteIsRequestedAtOnceWithoutConfirmation) {
    QSignalSpy deleted(m_group.get(), &FilterGroupWidget::deleteRequested);
    child<QPushButton>(m_group.get(), "deleteButton")->click();
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted.at(0).at(0).toInt(), kGroupId);
}

TEST_F(FilterGroupWidgetTest, AddButtonsRequestWithTheGroupId) {
    QSignalSpy addRule(m_group.get(), &FilterGroupWidget::addRuleRequested);
    QSignalSpy addPolygon(m_group.get(), &FilterGroupWidget::addPolygonRequested);
    child<QPushButton>(m_group.get(), "addRuleButton")->click();
    child<QPushButton>(m_group.get(), "addPolygonButton")->click();
    ASSERT_EQ(addRule.count(), 1);
    ASSERT_EQ(addPolygon.count(), 1);
    EXPECT_EQ(addRule.at(0).at(0).toInt(), kGroupId);
    EXPECT_EQ(addPolygon.at(0).at(0).toInt(), kGroupId);
}

// ---- switch and propagate button ------------------------------------------------------

TEST_F(FilterGroupWidgetTest, PropagateButtonNamesTheSwitchState) {
    EXPECT_EQ(m_propagate->text(), "Uncheck in All Datasets");
    QSignalSpy toggled(m_group.get(), &FilterGroupWidget::enableToggled);
    m_group->setEnabledInDataset(true);
    EXPECT_TRUE(m_enable->isChecked());
    EXPECT_EQ(m_propagate->text(), "Check in All Datasets");
    EXPECT_EQ(toggled.count(), 0);
}

TEST_F(FilterGroupWidgetTest, UserSwitchUpdatesTheButtonBeforeItIsReported) {
    QString textWhenReported;
    QObject::connect(m_group.get(), &FilterGroupWidget::enableToggled, m_group.get(),
                     [&](int, bool) { textWhenReported = m_propagate->text(); });
    QSignalSpy toggled(m_group.get(), &FilterGroupWidget::enableToggled);
    m_enable->click();
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled.at(0).at(0).toInt(), kGroupId);
    EXPECT_TRUE(toggled.at(0).at(1).toBool());
    EXPECT_EQ(textWhenReported, "Check in All Datasets");
}

TEST_F(FilterGroupWidgetTest, PropagateCopiesTheCurrentSwitch) {
    m_group->setMultiDataset(true);
    QSignalSpy propagate(m_group.get(), &FilterGroupWidget::enablePropagateRequested);
    m_propagate->click();
    m_group->setEnabledInDataset(true);
    m_propagate->click();
    ASSERT_EQ(propagate.count(), 2);
    EXPECT_EQ(propagate.at(0).at(0).toInt(), kGroupId);
    EXPECT_FALSE(propagate.at(0).at(1).toBool());
    EXPECT_TRUE(propagate.at(1).at(1).toBool());
}

TEST_F(FilterGroupWidgetTest, OneDatasetDisablesThePropagateButtonAndNeverHighlights) {
    m_group->setMultiDataset(false);
    m_group->setEnabledDivergence(true);
    EXPECT_FALSE(m_propagate->isEnabled());
    EXPECT_EQ(m_propagate->styleSheet(), kPlainStyle);

    m_group->setMultiDataset(true);
    EXPECT_TRUE(m_propagate->isEnabled());
    EXPECT_EQ(m_propagate->styleSheet(), kHighlightedStyle);
    m_group->setEnabledDivergence(false);
    EXPECT_EQ(m_propagate->styleSheet(), kPlainStyle);
}

// ---- rule editors ----------------------------------------------------------------------

TEST_F(FilterGroupWidgetTest, WithoutReaderShowsNoRuleEditors) {
    FilterGroupWidget group(1, {"area_um"}, nullptr);
    group.setRules(threeRules());
    EXPECT_TRUE(group.findChildren<FilterRuleWidget*>().isEmpty());
    EXPECT_TRUE(group.findChildren<PolygonRuleWidget*>().isEmpty());
}

TEST_F(FilterGroupWidgetTest, OneEditorPerRuleInGroupModeWithSeparatorsBetween) {
    m_group->setRules(threeRules());
    const std::vector<QWidget*> list = editors();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(list[0]), nullptr);
    EXPECT_NE(qobject_cast<PolygonRuleWidget*>(list[1]), nullptr);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(list[2]), nullptr);
    EXPECT_EQ(separatorLines(), 1 + 2);
    for (QWidget* editor : list) {
        EXPECT_TRUE(child<QCheckBox>(editor, "enableBox")->isHidden());
        EXPECT_TRUE(child<QPushButton>(editor, "applyToAllButton")->isHidden());
    }
    // The editors show the rules; group rules always report themselves enabled.
    const FilterRule first = qobject_cast<FilterRuleWidget*>(list[0])->getRule();
    EXPECT_EQ(first.featureName, "deform");
    EXPECT_EQ(bits(first.minValue), bits(0.0123456789));
    EXPECT_TRUE(first.enabled);
}

TEST_F(FilterGroupWidgetTest, SetRulesReplacesTheEditors) {
    m_group->setRules(threeRules());
    m_group->setRules({threeRules()[2]});
    flushDeletes();
    EXPECT_EQ(editors().size(), 1u);
    EXPECT_EQ(separatorLines(), 1);
    m_group->clearRuleWidgets();
    flushDeletes();
    EXPECT_TRUE(editors().empty());
}

TEST_F(FilterGroupWidgetTest, EditedRuleIsReportedEnabledWithItsIndexAndExactOtherBound) {
    m_group->setRules(threeRules());
    QSignalSpy changed(m_group.get(), &FilterGroupWidget::ruleChanged);
    QWidget* third = editors()[2];
    child<QDoubleSpinBox>(third, "maximumSpinBox")->setValue(450.0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), kGroupId);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 2);
    const FilterRule rule = changed.at(0).at(2).value<FilterRule>();
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.maxValue, 450.0);
    EXPECT_EQ(bits(rule.minValue), bits(12.3456));
    EXPECT_TRUE(rule.enabled);

    // The disabled first rule comes back enabled once it is edited.
    child<QCheckBox>(editors()[0], "invertBox")->setChecked(true);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(1).toInt(), 0);
    EXPECT_TRUE(changed.at(1).at(2).value<FilterRule>().enabled);
    EXPECT_TRUE(changed.at(1).at(2).value<FilterRule>().inverted);
}

TEST_F(FilterGroupWidgetTest, RemoveAndEditCarryTheIndexFromWhenTheyWereBuilt) {
    m_group->setRules(threeRules());
    QSignalSpy removed(m_group.get(), &FilterGroupWidget::ruleRemoved);
    QSignalSpy edit(m_group.get(), &FilterGroupWidget::polygonEditToggled);
    child<QPushButton>(editors()[1], "editButton")->click();
    child<QPushButton>(editors()[1], "removeButton")->click();
    child<QPushButton>(editors()[2], "removeButton")->click();
    ASSERT_EQ(edit.count(), 1);
    EXPECT_EQ(edit.at(0).at(0).toInt(), kGroupId);
    EXPECT_EQ(edit.at(0).at(1).toInt(), 1);
    EXPECT_TRUE(edit.at(0).at(2).toBool());
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 1);
    EXPECT_EQ(removed.at(1).at(1).toInt(), 2);
}

TEST_F(FilterGroupWidgetTest, PolygonEditCheckIsSilentAndIgnoresOtherIndices) {
    m_group->setRules(threeRules());
    QSignalSpy edit(m_group.get(), &FilterGroupWidget::polygonEditToggled);
    auto* button = child<QPushButton>(editors()[1], "editButton");
    m_group->setPolygonEditChecked(1, true);
    EXPECT_TRUE(button->isChecked());
    m_group->setPolygonEditChecked(0, true);  // a range rule
    m_group->setPolygonEditChecked(5, false); // out of range
    m_group->setPolygonEditChecked(-1, false);
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(edit.count(), 0);
}

TEST_F(FilterGroupWidgetTest, RefreshedFeaturesReachTheRangeEditors) {
    m_group->setRules(threeRules());
    m_group->refreshAvailableFeatures({"area_um", "porosity"});
    QWidget* first = editors()[0];
    EXPECT_EQ(child<QComboBox>(first, "featureCombo")->currentText(), "deform (n/a)");
    EXPECT_EQ(child<QComboBox>(editors()[2], "featureCombo")->currentText(), label("area_um"));
    // Editors built later get the stored list.
    m_group->setRules(threeRules());
    flushDeletes();
    EXPECT_EQ(child<QComboBox>(editors()[0], "featureCombo")->currentText(), "deform (n/a)");
}

// ---- built later ------------------------------------------------------------------

// A box built later shows what was set on it while empty, and answers as a
// box built at once.
TEST_F(FilterGroupWidgetTest, BuiltLaterShowsWhatWasSetWhileEmptyAndResponds) {
    FilterGroupWidget group(kGroupId, {"area_um", "deform", "porosity"}, m_reader.get(), nullptr,
                            FilterGroupWidget::Build::Later);
    const QString name = QStringLiteral("Viable cells of the second run");
    group.setName(name);
    group.setEnabledInDataset(true);
    group.setMultiDataset(true);
    group.setEnabledDivergence(true);
    group.setRules({threeRules()[0]});
    group.setRules(threeRules()); // the last rules count
    group.setPolygonEditChecked(1, true);
    group.refreshAvailableFeatures({"area_um", "porosity"});
    EXPECT_FALSE(group.isBuilt());
    EXPECT_TRUE(group.findChildren<QWidget*>().isEmpty());

    group.show();
    group.build();
    group.build(); // once only
    ASSERT_TRUE(group.isBuilt());
    EXPECT_EQ(group.findChildren<QLineEdit*>(QStringLiteral("nameEdit")).size(), 1);
    EXPECT_EQ(child<QLineEdit>(&group, "nameEdit")->text(), name);
    // Its name box is as wide as that of a box built at once.
    m_group->setName(name);
    EXPECT_EQ(child<QLineEdit>(&group, "nameEdit")->minimumWidth(), m_name->minimumWidth());
    EXPECT_TRUE(child<QLineEdit>(&group, "nameEdit")->isVisible());
    EXPECT_TRUE(child<QCheckBox>(&group, "groupEnableBox")->isChecked());
    auto* propagate = child<QPushButton>(&group, "propagateButton");
    EXPECT_EQ(propagate->text(), "Check in All Datasets");
    EXPECT_TRUE(propagate->isEnabled());
    EXPECT_EQ(propagate->styleSheet(), kHighlightedStyle);
    const auto ranges = group.findChildren<FilterRuleWidget*>();
    const auto polygons = group.findChildren<PolygonRuleWidget*>();
    ASSERT_EQ(ranges.size(), 2);
    ASSERT_EQ(polygons.size(), 1);
    EXPECT_TRUE(child<QPushButton>(polygons[0], "editButton")->isChecked());
    EXPECT_EQ(child<QComboBox>(ranges[0], "featureCombo")->currentText(), "deform (n/a)");

    QSignalSpy toggled(&group, &FilterGroupWidget::enableToggled);
    QSignalSpy removed(&group, &FilterGroupWidget::ruleRemoved);
    QSignalSpy deleted(&group, &FilterGroupWidget::deleteRequested);
    child<QCheckBox>(&group, "groupEnableBox")->click();
    child<QPushButton>(polygons[0], "removeButton")->click();
    child<QPushButton>(&group, "deleteButton")->click();
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled[0], (QList<QVariant>{kGroupId, false}));
    EXPECT_EQ(propagate->text(), "Uncheck in All Datasets");
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0], (QList<QVariant>{kGroupId, 1}));
    EXPECT_EQ(deleted.count(), 1);
}

// What is undone while the box is empty stays undone when it is built.
TEST_F(FilterGroupWidgetTest, WhatIsUndoneWhileEmptyIsNotBuilt) {
    FilterGroupWidget unchecked(kGroupId, {"area_um"}, m_reader.get(), nullptr,
                                FilterGroupWidget::Build::Later);
    unchecked.setRules(threeRules());
    unchecked.setPolygonEditChecked(1, true);
    unchecked.setPolygonEditChecked(1, false);
    unchecked.build();
    ASSERT_EQ(unchecked.findChildren<PolygonRuleWidget*>().size(), 1);
    EXPECT_FALSE(child<QPushButton>(unchecked.findChildren<PolygonRuleWidget*>()[0], "editButton")
                     ->isChecked());

    FilterGroupWidget cleared(kGroupId, {"area_um"}, m_reader.get(), nullptr,
                              FilterGroupWidget::Build::Later);
    cleared.setRules(threeRules());
    cleared.clearRuleWidgets();
    cleared.build();
    EXPECT_TRUE(cleared.findChildren<FilterRuleWidget*>().isEmpty());
    EXPECT_TRUE(cleared.findChildren<PolygonRuleWidget*>().isEmpty());
}

} // namespace
} // namespace Quorvex3
