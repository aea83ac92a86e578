// The filter dock: its boxes and status texts, the rule editors it builds
// for the active dataset's filter and writes back, and its group widgets.
#include "filters/FilterTestSupport.h"

#include "core/EventFilter.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"
#include "model/DatasetEntry.h"
#include "model/FilterGroup.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace Quorvex3 {
namespace {

using testing::bits;
using testing::child;
using testing::flushDeletes;
using testing::kHighlightedStyle;
using testing::kPlainStyle;

class FilterDockWidgetTest : public testing::FilterFixture {
protected:
    void SetUp() override {
        FilterFixture::SetUp();
        auto reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(reader->openFile(m_path));
        m_entry.id = 1;
        m_entry.reader = reader;
        m_dock = std::make_unique<FilterDockWidget>();
        m_enable = child<QCheckBox>(m_dock.get(), "dockEnableBox");
        m_showExcluded = child<QCheckBox>(m_dock.get(), "dockShowExcludedBox");
        m_enabledForAll = child<QPushButton>(m_dock.get(), "dockEnabledForAllButton");
        m_combineForAll = child<QPushButton>(m_dock.get(), "dockCombineForAllButton");
        m_addRule = child<QPushButton>(m_dock.get(), "dockAddRuleButton");
        m_addPolygon = child<QPushButton>(m_dock.get(), "dockAddPolygonButton");
        m_status = child<QLabel>(m_dock.get(), "dockStatusLabel");
        m_filterBox = child<QGroupBox>(m_dock.get(), "dockFilterBox");
    }

    void TearDown() override {
        m_dock.reset();
        flushDeletes();
    }

    static FilterRule rangeRule(const std::string& feature, double lo, double hi) {
        FilterRule rule;
        rule.featureName = feature;
        rule.minValue = lo;
        rule.maxValue = hi;
        return rule;
    }

    static FilterRule polygonRule() {
        FilterRule rule;
        rule.type = 1;
        rule.featureName = "area_um";
        rule.featureNameY = "deform";
        rule.polygonVertices = {{0.1234567, 0.001}, {600.0, 0.0}, {600.0, 1.0}, {0.0, 0.987654321}};
        return rule;
    }

    // Two range rules with bounds no spin box shows exactly, and a polygon.
    void fillThreeRules() {
        m_entry.filter.addRule(rangeRule("deform", 0.0123456789, 0.0456789123));
        m_entry.filter.addRule(polygonRule());
        m_entry.filter.addRule(rangeRule("area_um", 12.3456, 400.04));
    }

    // Every scalar column of the measurement, for EventFilter::apply.
    EventFilter::FeatureMap columns() {
        EventFilter::FeatureMap map;
        for (const std::string& name : m_entry.reader->getAvailableFeatures())
            map[name] = &m_entry.reader->readScalarFeature(name);
        return map;
    }

    static void expectSameRules(const std::vector<FilterRule>& actual,
                                const std::vector<FilterRule>& expected) {
        ASSERT_EQ(actual.size(), expected.size());
        for (std::size_t i = 0; i < actual.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(actual[i].type, expected[i].type);
            EXPECT_EQ(actual[i].featureName, expected[i].featureName);
            EXPECT_EQ(bits(actual[i].minValue), bits(expected[i].minValue));
            EXPECT_EQ(bits(actual[i].maxValue), bits(expected[i].maxValue));
            EXPECT_EQ(actual[i].enabled, expected[i].enabled);
            EXPECT_EQ(actual[i].inverted, expected[i].inverted);
            EXPECT_EQ(actual[i].propagationId, expected[i].propagationId);
            ASSERT_EQ(actual[i].polygonVertices.size(), expected[i].polygonVertices.size());
            for (std::size_t v = 0; v < actual[i].polygonVertices.size(); ++v) {
                EXPECT_EQ(bits(actual[i].polygonVertices[v].first),
                          bits(expected[i].polygonVertices[v].first));
                EXPECT_EQ(bits(actual[i].polygonVertices[v].second),
                          bits(expected[i].polygonVertices[v].second));
            }
        }
    }

    QWidget* ruleWidget(std::size_t i) const { return m_dock->ruleWidgets().at(i); }

    // The rule layout shows rule, separator, rule, ... with nothing else.
    void expectLayoutAlternates() const {
        const std::vector<QWidget*>& rules = m_dock->ruleWidgets();
        const std::vector<QWidget*>& separators = m_dock->ruleSeparators();
        ASSERT_FALSE(rules.empty());
        QLayout* content = rules[0]->parentWidget()->layout();
        ASSERT_NE(content, nullptr);
        QLayout* ruleLayout = content->itemAt(0)->layout();
        ASSERT_NE(ruleLayout, nullptr);
        ASSERT_EQ(ruleLayout->count(), static_cast<int>(rules.size() + separators.size()));
        for (int i = 0; i < ruleLayout->count(); ++i) {
            const std::size_t k = static_cast<std::size_t>(i / 2);
            EXPECT_EQ(ruleLayout->itemAt(i)->widget(), i % 2 == 0 ? rules[k] : separators[k]);
        }
    }

    DatasetEntry m_entry;
    std::unique_ptr<FilterDockWidget> m_dock;
    QCheckBox* m_enable = nullptr;
    QCheckBox* m_showExcluded = nullptr;
    QPushButton* m_enabledForAll = nullptr;
    QPushButton* m_combineForAll = nullptr;
    QPushButton* m_addRule = nullptr;
    QPushButton* m_addPolygon = nullptr;
    QLabel* m_status = nullptr;
    QGroupBox* m_filterBox = nullptr;
};

// --- Status texts and the dataset binding ---------------------------------------

TEST_F(FilterDockWidgetTest, StatusTextsFollowTheCounts) {
    EXPECT_EQ(m_status->text(), "No filter active");
    m_dock->updateStats(0, 0);
    EXPECT_EQ(m_status->text(), "No events");
    // All events shown reads as "no filter", whatever the rules are.
    m_dock->updateStats(1000, 1000);
    EXPECT_EQ(m_status->text(), "1000 events (no filter active)");
    m_dock->updateStats(1, 3);
    EXPECT_EQ(m_status->text(), "1 / 3 events shown (33.3%)");
    m_dock->updateStats(250, 1000);
    EXPECT_EQ(m_status->text(), "250 / 1000 events shown (25.0%)");
    // No digit grouping; 100 * 1234567 / 2000000 = 61.72835.
    m_dock->updateStats(1234567, 2000000);
    EXPECT_EQ(m_status->text(), "1234567 / 2000000 events shown (61.7%)");
}

TEST_F(FilterDockWidgetTest, BindingADatasetEnablesTheBoxAndDetachingClearsIt) {
    EXPECT_FALSE(m_filterBox->isEnabled());
    EXPECT_EQ(m_filterBox->title(), "Active Dataset Filter");
    EXPECT_EQ(m_enable->text(), "Filtering Enabled");
    EXPECT_EQ(m_showExcluded->text(), "Show Excluded Events");

    fillThreeRules();
    m_entry.filter.setCombineMode(FilterCombineMode::NOT);
    FilterGroup group{4, "Gate", {rangeRule("deform", 0.0, 0.04)}};
    m_dock->setActiveDataset(&m_entry);
    m_dock->refreshFilterGroups({&group}, m_entry.reader.get());
    m_dock->updateStats(2, 6);
    EXPECT_TRUE(m_filterBox->isEnabled());
    EXPECT_TRUE(m_showExcluded->isChecked());
    EXPECT_EQ(m_dock->ruleWidgets().size(), 3u);

    const std::vector<FilterRule> before = m_entry.filter.rules();
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);
    m_dock->setActiveDataset(nullptr);
    EXPECT_EQ(m_dock->activeDataset(), nullptr);
    EXPECT_FALSE(m_filterBox->isEnabled());
    EXPECT_EQ(m_status->text(), "No dataset selected");
    EXPECT_FALSE(m_enable->isChecked());
    EXPECT_FALSE(m_showExcluded->isChecked());
    EXPECT_TRUE(m_dock->ruleWidgets().empty());
    EXPECT_TRUE(m_dock->ruleSeparators().empty());
    EXPECT_EQ(m_dock->groupWidgets().size(), 1u);
    EXPECT_EQ(changed.count(), 0);
    // The dataset that was left keeps its filter untouched.
    EXPECT_TRUE(m_entry.filter.isEnabled());
    EXPECT_EQ(m_entry.filter.combineMode(), FilterCombineMode::NOT);
    expectSameRules(m_entry.filter.rules(), before);
    EXPECT_TRUE(m_dock->getScalarFeatures().empty());
}

TEST_F(FilterDockWidgetTest, ScalarFeaturesFollowTheReaderOrder) {
    m_dock->setActiveDataset(&m_entry);
    const std::vector<std::string> expected{"area_um",         "aspect",   "bright_avg", "deform",
                                            "inert_ratio_raw", "porosity", "size_x_um"};
    EXPECT_EQ(m_dock->getScalarFeatures(), expected);
}

// --- Rule widgets and separators -------------------------------------------------

TEST_F(FilterDockWidgetTest, RebuildShowsEveryRuleWithoutChangingIt) {
    fillThreeRules();
    m_entry.filter.setEnabled(false);
    const std::vector<FilterRule> before = m_entry.filter.rules();
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);
    m_dock->setActiveDataset(&m_entry);

    ASSERT_EQ(m_dock->ruleWidgets().size(), 3u);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(ruleWidget(0)), nullptr);
    EXPECT_NE(qobject_cast<PolygonRuleWidget*>(ruleWidget(1)), nullptr);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(ruleWidget(2)), nullptr);
    EXPECT_EQ(m_dock->ruleSeparators().size(), 2u);
    EXPECT_FALSE(m_enable->isChecked());
    EXPECT_FALSE(m_showExcluded->isChecked());
    EXPECT_EQ(m_status->text(), "No filter active");
    EXPECT_EQ(changed.count(), 0);
    expectSameRules(m_entry.filter.rules(), before);

    // Writing back what is shown changes nothing either.
    m_dock->syncToDataset();
    expectSameRules(m_entry.filter.rules(), before);
    EXPECT_FALSE(m_entry.filter.isEnabled());
}

TEST_F(FilterDockWidgetTest, TogglingOneRuleLeavesEveryOtherBoundBitIdentical) {
    fillThreeRules();
    m_dock->setActiveDataset(&m_entry);
    std::vector<FilterRule> expected = m_entry.filter.rules();
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);

    child<QCheckBox>(ruleWidget(2), "invertBox")->click();
    expected[2].inverted = true;
    expectSameRules(m_entry.filter.rules(), expected);

    child<QCheckBox>(ruleWidget(1), "enableBox")->click();
    expected[1].enabled = false;
    expectSameRules(m_entry.filter.rules(), expected);

    m_enable->click();
    m_showExcluded->click();
    expectSameRules(m_entry.filter.rules(), expected);
    EXPECT_EQ(changed.count(), 4);
}

TEST_F(FilterDockWidgetTest, AddRuleCoversTheWholeRangeOfAwkwardBounds) {
    m_entry.filter.addRule(rangeRule("deform", 0.0123456789, 0.0456789123));
    m_dock->setDatasetCount(2);
    m_dock->setActiveDataset(&m_entry);
    const FilterRule first = m_entry.filter.rules()[0];
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);

    m_addRule->click();
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(m_entry.filter.ruleCount(), 2);
    EXPECT_EQ(m_dock->ruleSeparators().size(), 1u);
    expectSameRules({m_entry.filter.rules()[0]}, {first});

    // The first feature is area_um, with data from 12.36 to 512.94.
    const FilterRule added = m_entry.filter.rules()[1];
    EXPECT_EQ(added.type, 0);
    EXPECT_EQ(added.featureName, "area_um");
    EXPECT_LE(added.minValue, 12.36);
    EXPECT_GE(added.maxValue, 512.94);
    EXPECT_TRUE(added.enabled);
    EXPECT_TRUE(added.propagationId.empty());

    EventFilter alone;
    alone.addRule(added);
    EXPECT_EQ(alone.apply(columns(), 6), (std::vector<int>{0, 1, 2, 3, 4, 5}));

    // Its propagation buttons know that two datasets are loaded.
    EXPECT_TRUE(child<QPushButton>(ruleWidget(1), "applyToAllButton")->isEnabled());
}

TEST_F(FilterDockWidgetTest, AddRuleNeedsScalarFeatures) {
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);
    // Without a dataset the button is out of reach; the slot must not act.
    QMetaObject::invokeMethod(m_dock.get(), "onAddRule");

    DatasetEntry noReader;
    m_dock->setActiveDataset(&noReader);
    m_addRule->click();
    EXPECT_EQ(noReader.filter.ruleCount(), 0);

    // A measurement with images only offers no scalar feature.
    const std::string path = m_dir.file("images.rtdc");
    {
        testing::RtdcFixtureWriter writer(path);
        writer.addImageStack("image", 2, 2, 3, std::vector<uint8_t>(12, 7));
    }
    DatasetEntry imagesOnly;
    imagesOnly.reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(imagesOnly.reader->openFile(path));
    m_dock->setActiveDataset(&imagesOnly);
    EXPECT_TRUE(m_dock->getScalarFeatures().empty());
    m_addRule->click();
    EXPECT_EQ(imagesOnly.filter.ruleCount(), 0);
    EXPECT_TRUE(m_dock->ruleWidgets().empty());
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(FilterDockWidgetTest, RemovingRulesKeepsOneSeparatorBetweenNeighbours) {
    fillThreeRules();
    m_dock->setActiveDataset(&m_entry);
    const std::vector<FilterRule> rules = m_entry.filter.rules();
    QWidget* separatorBelowFirst = m_dock->ruleSeparators()[0];
    QWidget* separatorAboveLast = m_dock->ruleSeparators()[1];
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);

    // The first rule takes the separator below it.
    child<QPushButton>(ruleWidget(0), "removeButton")->click();
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(m_dock->ruleSeparators().size(), 1u);
    EXPECT_EQ(m_dock->ruleSeparators()[0], separatorAboveLast);
    expectSameRules(m_entry.filter.rules(), {rules[1], rules[2]});
    flushDeletes();

    // Rebuild the three, then the last rule takes the separator above it.
    m_entry.filter.clearRules();
    fillThreeRules();
    m_dock->rebuildFromDataset();
    flushDeletes();
    separatorBelowFirst = m_dock->ruleSeparators()[0];
    m_dock->removeRuleAt(2);
    ASSERT_EQ(m_dock->ruleSeparators().size(), 1u);
    EXPECT_EQ(m_dock->ruleSeparators()[0], separatorBelowFirst);
    expectLayoutAlternates();
    expectSameRules(m_entry.filter.rules(), {rules[0], rules[1]});

    // A middle rule takes the separator above it, too.
    m_entry.filter.clearRules();
    fillThreeRules();
    m_dock->rebuildFromDataset();
    flushDeletes();
    QWidget* separatorBelowMiddle = m_dock->ruleSeparators()[1];
    m_dock->removeRuleAt(1);
    ASSERT_EQ(m_dock->ruleSeparators().size(), 1u);
    EXPECT_EQ(m_dock->ruleSeparators()[0], separatorBelowMiddle);
    expectLayoutAlternates();
    expectSameRules(m_entry.filter.rules(), {rules[0], rules[2]});
    m_entry.filter.clearRules();
    fillThreeRules();
    m_dock->rebuildFromDataset();
    flushDeletes();
    m_dock->removeRuleAt(2);
    changed.clear();

    // Out of range: nothing at all.
    m_dock->removeRuleAt(2);
    m_dock->removeRuleAt(-1);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(m_entry.filter.ruleCount(), 2);

    m_dock->removeRuleAt(1);
    child<QPushButton>(ruleWidget(0), "removeButton")->click();
    EXPECT_TRUE(m_dock->ruleWidgets().empty());
    EXPECT_TRUE(m_dock->ruleSeparators().empty());
    EXPECT_EQ(m_entry.filter.ruleCount(), 0);
    EXPECT_EQ(changed.count(), 2);
    flushDeletes();
}

TEST_F(FilterDockWidgetTest, SeparatorsStayOneFewerThanRules) {
    m_dock->setActiveDataset(&m_entry);
    auto expectInvariant = [this] {
        const std::size_t rules = m_dock->ruleWidgets().size();
        EXPECT_EQ(m_dock->ruleSeparators().size(), rules > 0 ? rules - 1 : 0);
        EXPECT_EQ(static_cast<std::size_t>(m_entry.filter.ruleCount()), rules);
        if (rules > 0)
            expectLayoutAlternates();
    };
    expectInvariant();
    for (int i = 0; i < 4; ++i) {
        m_addRule->click();
        expectInvariant();
    }
    m_dock->removeRuleAt(1);
    expectInvariant();
    m_dock->removeRuleWidget(ruleWidget(2));
    expectInvariant();
    m_dock->rebuildFromDataset();
    expectInvariant();
    m_dock->removeRuleAt(0);
    m_dock->removeRuleAt(0);
    expectInvariant();
    flushDeletes();
}

TEST_F(FilterDockWidgetTest, SetRuleEnabledWritesThroughAndIgnoresBadIndices) {
    fillThreeRules();
    m_dock->setActiveDataset(&m_entry);
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);
    m_dock->setRuleEnabled(1, false);
    EXPECT_FALSE(m_entry.filter.rules()[1].enabled);
    EXPECT_FALSE(child<QCheckBox>(ruleWidget(1), "enableBox")->isChecked());
    m_dock->setRuleEnabled(0, false);
    EXPECT_FALSE(m_entry.filter.rules()[0].enabled);
    EXPECT_EQ(changed.count(), 2);
    m_dock->setRuleEnabled(3, true);
    m_dock->setRuleEnabled(-1, true);
    EXPECT_EQ(changed.count(), 2);
}

// --- Propagation requests --------------------------------------------------------

TEST_F(FilterDockWidgetTest, PropagationRequestsCarryTheCurrentPosition) {
    fillThreeRules();
    m_dock->setDatasetCount(3);
    m_dock->setActiveDataset(&m_entry);
    QSignalSpy apply(m_dock.get(), &FilterDockWidget::applyRuleToAll);
    QSignalSpy update(m_dock.get(), &FilterDockWidget::updateRuleToAll);
    QSignalSpy check(m_dock.get(), &FilterDockWidget::checkRuleInAll);
    QSignalSpy uncheck(m_dock.get(), &FilterDockWidget::uncheckRuleInAll);
    QSignalSpy deleteAll(m_dock.get(), &FilterDockWidget::deleteRuleFromAll);

    QWidget* last = ruleWidget(2);
    child<QPushButton>(last, "applyToAllButton")->click();
    child<QPushButton>(ruleWidget(1), "applyToAllButton")->click();
    m_dock->removeRuleAt(0);
    child<QPushButton>(last, "applyToAllButton")->click();
    ASSERT_EQ(apply.count(), 3);
    EXPECT_EQ(apply[0][0].toInt(), 2);
    EXPECT_EQ(apply[1][0].toInt(), 1);
    EXPECT_EQ(apply[2][0].toInt(), 1);

    const std::string id = "{0f8fad5b-d9cb-469f-a165-70867728950e}";
    m_dock->updateRuleWidgetPropagationId(0, id);
    auto* polygon = qobject_cast<PolygonRuleWidget*>(ruleWidget(0));
    ASSERT_NE(polygon, nullptr);
    EXPECT_EQ(polygon->propagationId(), id);
    child<QPushButton>(polygon, "updateInAllButton")->click();
    child<QPushButton>(polygon, "deleteFromAllButton")->click();
    // The check-state button names the rule's own state: checked asks to
    // check the copies, unchecked to uncheck them.
    child<QPushButton>(polygon, "checkStateButton")->click();
    m_dock->setRuleEnabled(0, false);
    child<QPushButton>(polygon, "checkStateButton")->click();
    EXPECT_EQ(update.count(), 1);
    EXPECT_EQ(deleteAll.count(), 1);
    ASSERT_EQ(check.count(), 1);
    ASSERT_EQ(uncheck.count(), 1);
    EXPECT_EQ(check[0][0].toInt(), 0);
    EXPECT_EQ(uncheck[0][0].toInt(), 0);

    // Divergence marks reach the rule's buttons.
    m_dock->setRuleDivergence(0, true, false);
    EXPECT_EQ(child<QPushButton>(polygon, "updateInAllButton")->styleSheet(), kHighlightedStyle);
    m_dock->setRuleDivergence(5, true, true); // ignored
    flushDeletes();
}

TEST_F(FilterDockWidgetTest, DatasetCountGatesEveryPropagationButton) {
    fillThreeRules();
    m_dock->setDatasetCount(1);
    m_dock->setActiveDataset(&m_entry);
    m_dock->setEnabledStateDivergence(true);
    m_dock->setCombineModeDivergence(true);
    EXPECT_FALSE(m_enabledForAll->isEnabled());
    EXPECT_FALSE(m_combineForAll->isEnabled());
    EXPECT_EQ(m_enabledForAll->styleSheet(), kPlainStyle);
    EXPECT_EQ(m_combineForAll->styleSheet(), kPlainStyle);
    for (QWidget* widget : m_dock->ruleWidgets())
        EXPECT_FALSE(child<QPushButton>(widget, "applyToAllButton")->isEnabled());

    m_dock->setDatasetCount(2);
    for (QWidget* widget : m_dock->ruleWidgets())
        EXPECT_TRUE(child<QPushButton>(widget, "applyToAllButton")->isEnabled());
    m_dock->setEnabledStateDivergence(true);
    m_dock->setCombineModeDivergence(false);
    EXPECT_TRUE(m_enabledForAll->isEnabled());
    EXPECT_EQ(m_enabledForAll->styleSheet(), kHighlightedStyle);
    EXPECT_EQ(m_combineForAll->styleSheet(), kPlainStyle);
}

// --- The two boxes and their for-all buttons ---------------------------------------

TEST_F(FilterDockWidgetTest, EnableAndShowExcludedBoxesEditTheFilter) {
    m_dock->setActiveDataset(&m_entry);
    QSignalSpy changed(m_dock.get(), &FilterDockWidget::filterChanged);
    EXPECT_TRUE(m_enable->isChecked());
    m_enable->click();
    EXPECT_FALSE(m_entry.filter.isEnabled());
    m_showExcluded->click();
    EXPECT_EQ(m_entry.filter.combineMode(), FilterCombineMode::NOT);
    m_showExcluded->click();
    EXPECT_EQ(m_entry.filter.combineMode(), FilterCombineMode::AND);
    EXPECT_EQ(changed.count(), 3);

    // Rebuilding sets the boxes silently from the filter.
    m_entry.filter.setEnabled(true);
    m_entry.filter.setCombineMode(FilterCombineMode::NOT);
    m_dock->rebuildFromDataset();
    EXPECT_TRUE(m_enable->isChecked());
    EXPECT_TRUE(m_showExcluded->isChecked());
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(FilterDockWidgetTest, ForAllButtonsNameAndSendTheBoxStates) {
    m_dock->setDatasetCount(2);
    QSignalSpy enabledAll(m_dock.get(), &FilterDockWidget::enabledChangedForAll);
    QSignalSpy combineAll(m_dock.get(), &FilterDockWidget::combineModeChangedForAll);
    // Without a dataset the clicks are dropped.
    QMetaObject::invokeMethod(m_dock.get(), "onEnabledForAllClicked");
    QMetaObject::invokeMethod(m_dock.get(), "onCombineForAllClicked");
    EXPECT_EQ(enabledAll.count(), 0);
    EXPECT_EQ(combineAll.count(), 0);

    m_dock->setActiveDataset(&m_entry);
    m_dock->setEnabledStateDivergence(false);
    m_dock->setCombineModeDivergence(false);
    EXPECT_EQ(m_enabledForAll->text(), "Enable in All Datasets");
    EXPECT_EQ(m_combineForAll->text(), "Hide Excluded in All Datasets");
    m_enabledForAll->click();
    m_combineForAll->click();

    m_enable->click();
    m_showExcluded->click();
    m_dock->setEnabledStateDivergence(false);
    m_dock->setCombineModeDivergence(false);
    EXPECT_EQ(m_enabledForAll->text(), "Disable in All Datasets");
    EXPECT_EQ(m_combineForAll->text(), "Show Excluded in All Datasets");
    m_enabledForAll->click();
    m_combineForAll->click();

    ASSERT_EQ(enabledAll.count(), 2);
    EXPECT_TRUE(enabledAll[0][0].toBool());
    EXPECT_FALSE(enabledAll[1][0].toBool());
    ASSERT_EQ(combineAll.count(), 2);
    EXPECT_EQ(combineAll[0][0].toInt(), 0);
    EXPECT_EQ(combineAll[1][0].toInt(), 1);
}

// --- Polygons ----------------------------------------------------------------------

TEST_F(FilterDockWidgetTest, OnlyOneDatasetPolygonIsEditedAtATime) {
    m_entry.filter.addRule(polygonRule());
    m_entry.filter.addRule(rangeRule("deform", 0.01, 0.05));
    m_entry.filter.addRule(polygonRule());
    m_dock->setActiveDataset(&m_entry);
    QSignalSpy edit(m_dock.get(), &FilterDockWidget::polygonEditRequested);
    auto* firstEdit = child<QPushButton>(ruleWidget(0), "editButton");
    auto* secondEdit = child<QPushButton>(ruleWidget(2), "editButton");

    firstEdit->click();
    secondEdit->click();
    EXPECT_FALSE(firstEdit->isChecked());
    EXPECT_TRUE(secondEdit->isChecked());
    secondEdit->click();
    ASSERT_EQ(edit.count(), 3);
    EXPECT_EQ(edit[0], (QList<QVariant>{0, true}));
    EXPECT_EQ(edit[1], (QList<QVariant>{2, true}));
    EXPECT_EQ(edit[2], (QList<QVariant>{2, false}));

    // Set from outside: silent, range rules and bad indices ignored.
    m_dock->setPolygonEditing(0, true);
    m_dock->setPolygonEditing(1, true);
    m_dock->setPolygonEditing(7, true);
    EXPECT_TRUE(firstEdit->isChecked());
    EXPECT_EQ(edit.count(), 3);
}

TEST_F(FilterDockWidgetTest, PolygonButtonRequestsDrawingOnlyWhenTheUserTogglesIt) {
    m_dock->setActiveDataset(&m_entry);
    QSignalSpy draw(m_dock.get(), &FilterDockWidget::polygonDrawRequested);
    QSignalSpy cancel(m_dock.get(), &FilterDockWidget::polygonDrawCancelRequested);
    m_addPolygon->click();
    EXPECT_TRUE(m_addPolygon->isChecked());
    m_addPolygon->click();
    EXPECT_EQ(draw.count(), 1);
    EXPECT_EQ(cancel.count(), 1);
    m_dock->setPolygonDrawing(true);
    EXPECT_TRUE(m_addPolygon->isChecked());
    m_dock->setPolygonDrawing(false);
    EXPECT_FALSE(m_addPolygon->isChecked());
    EXPECT_EQ(draw.count(), 1);
    EXPECT_EQ(cancel.count(), 1);
}

// --- Menu and groups -----------------------------------------------------------------

TEST_F(FilterDockWidgetTest, MenuActionsSendTheirRequests) {
    auto* more = child<QPushButton>(m_dock.get(), "dockMoreButton");
    EXPECT_EQ(more->text(), QString(QChar(0x22EE)));
    ASSERT_NE(more->menu(), nullptr);
    QSignalSpy applyAll(m_dock.get(), &FilterDockWidget::applyToAllRequested);
    QSignalSpy importFilters(m_dock.get(), &FilterDockWidget::importMeasurementFiltersRequested);
    QSignalSpy importGroups(m_dock.get(), &FilterDockWidget::importGroupsRequested);
    QSignalSpy exportGroups(m_dock.get(), &FilterDockWidget::exportGroupsRequested);

    QStringList texts;
    QMenu* submenu = nullptr;
    for (QAction* action : more->menu()->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        if (action->menu())
            submenu = action->menu();
        else if (!action->isSeparator())
            action->trigger();
    }
    EXPECT_EQ(texts, (QStringList{"Apply Filter to All Datasets", "-", "Import Measurement Filters",
                                  "-", QStringLiteral("Import Filter Groups\u2026"),
                                  QStringLiteral("Export Filter Groups\u2026")}));
    ASSERT_NE(submenu, nullptr);
    ASSERT_EQ(submenu->actions().size(), 2);
    EXPECT_EQ(submenu->actions()[0]->text(), "For Active Dataset");
    EXPECT_EQ(submenu->actions()[1]->text(), "For All Datasets");
    submenu->actions()[1]->trigger();
    submenu->actions()[0]->trigger();

    EXPECT_EQ(applyAll.count(), 1);
    EXPECT_EQ(importGroups.count(), 1);
    EXPECT_EQ(exportGroups.count(), 1);
    ASSERT_EQ(importFilters.count(), 2);
    EXPECT_TRUE(importFilters[0][0].toBool());
    EXPECT_FALSE(importFilters[1][0].toBool());
}

TEST_F(FilterDockWidgetTest, GroupWidgetsShowTheActiveSwitchesAndForwardRequests) {
    FilterGroup gate{3, "Gate", {rangeRule("deform", 0.0, 0.04), polygonRule()}};
    FilterGroup other{9, "Other", {}};
    m_entry.groupEnabled[9] = true;
    m_dock->setDatasetCount(2);
    m_dock->setActiveDataset(&m_entry);
    m_dock->refreshFilterGroups({&gate, &other}, m_entry.reader.get());
    ASSERT_EQ(m_dock->groupWidgets().size(), 2u);
    FilterGroupWidget* first = m_dock->groupWidgets()[0];
    FilterGroupWidget* second = m_dock->groupWidgets()[1];
    EXPECT_EQ(first->groupId(), 3);
    EXPECT_EQ(child<QLineEdit>(first, "nameEdit")->text(), "Gate");
    EXPECT_FALSE(child<QCheckBox>(first, "groupEnableBox")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(second, "groupEnableBox")->isChecked());
    EXPECT_TRUE(child<QPushButton>(second, "propagateButton")->isEnabled());

    QSignalSpy deleted(m_dock.get(), &FilterDockWidget::deleteFilterGroupRequested);
    QSignalSpy enabled(m_dock.get(), &FilterDockWidget::groupEnableChanged);
    QSignalSpy propagate(m_dock.get(), &FilterDockWidget::groupEnablePropagateRequested);
    QSignalSpy groupEdit(m_dock.get(), &FilterDockWidget::groupPolygonEditRequested);
    QSignalSpy addGroup(m_dock.get(), &FilterDockWidget::addFilterGroupRequested);
    QSignalSpy datasetEdit(m_dock.get(), &FilterDockWidget::polygonEditRequested);
    child<QPushButton>(second, "deleteButton")->click();
    child<QCheckBox>(first, "groupEnableBox")->click();
    child<QPushButton>(first, "propagateButton")->click();
    child<QPushButton>(first, "editButton")->click();
    child<QPushButton>(m_dock.get(), "dockAddGroupButton")->click();
    EXPECT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted[0][0].toInt(), 9);
    ASSERT_EQ(enabled.count(), 1);
    EXPECT_EQ(enabled[0], (QList<QVariant>{3, true}));
    ASSERT_EQ(propagate.count(), 1);
    EXPECT_EQ(propagate[0][0].toInt(), 3);
    ASSERT_EQ(groupEdit.count(), 1);
    EXPECT_EQ(groupEdit[0], (QList<QVariant>{3, 1, true}));
    EXPECT_EQ(datasetEdit.count(), 0);
    EXPECT_EQ(addGroup.count(), 1);
    // Group switches never touch the dataset's own filter.
    EXPECT_EQ(m_entry.filter.ruleCount(), 0);

    auto* groupEditButton = child<QPushButton>(first, "editButton");
    m_dock->setGroupPolygonEditChecked(3, 1, false);
    EXPECT_FALSE(groupEditButton->isChecked());
    m_dock->setGroupPolygonEditChecked(4, 1, true); // no such group
    EXPECT_FALSE(groupEditButton->isChecked());
    m_dock->setGroupEnabledDivergence(9, true);
    EXPECT_EQ(child<QPushButton>(second, "propagateButton")->styleSheet(), kHighlightedStyle);

    // A refresh replaces the widgets; without a dataset every switch is off.
    m_dock->setActiveDataset(nullptr);
    m_dock->refreshFilterGroups({&other}, nullptr);
    flushDeletes();
    ASSERT_EQ(m_dock->groupWidgets().size(), 1u);
    EXPECT_FALSE(child<QCheckBox>(m_dock->groupWidgets()[0], "groupEnableBox")->isChecked());
}

// ---- many groups ------------------------------------------------------------------

// `count` groups without rules, ids from 100, named "Gate 1", "Gate 2", ...
std::vector<FilterGroup> manyGroups(int count) {
    std::vector<FilterGroup> groups;
    for (int i = 0; i < count; ++i)
        groups.push_back(FilterGroup{100 + i, "Gate " + std::to_string(i + 1), {}});
    return groups;
}

std::vector<FilterGroup*> pointersTo(std::vector<FilterGroup>& groups) {
    std::vector<FilterGroup*> out;
    for (FilterGroup& group : groups)
        out.push_back(&group);
    return out;
}

void settle() {
    for (int i = 0; i < 6; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }
}

// Positions of the group widgets the user sees in the dock's scroll area.
std::vector<std::size_t> groupsInView(FilterDockWidget& dock) {
    const QWidget* viewport = child<QScrollArea>(&dock, "dockScrollArea")->viewport();
    std::vector<std::size_t> out;
    const auto& widgets = dock.groupWidgets();
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const QRect box(widgets[i]->mapTo(viewport, QPoint(0, 0)), widgets[i]->size());
        if (box.intersects(viewport->rect()))
            out.push_back(i);
    }
    return out;
}

QScrollBar* scrollBarOf(FilterDockWidget& dock) {
    return child<QScrollArea>(&dock, "dockScrollArea")->verticalScrollBar();
}

class ManyGroupsDockTest : public FilterDockWidgetTest {
protected:
    void SetUp() override {
        FilterDockWidgetTest::SetUp();
        m_groups = manyGroups(300);
        m_dock->setDatasetCount(2);
        m_dock->setActiveDataset(&m_entry);
        m_dock->resize(380, 600);
        m_dock->show();
    }

    void refresh() {
        m_dock->refreshFilterGroups(pointersTo(m_groups), m_entry.reader.get());
        settle();
        flushDeletes();
    }

    std::vector<FilterGroup> m_groups;
};

// Groups far down are built only when scrolled into view; they then show
// what the dock was told about them meanwhile and answer as any other.
TEST_F(ManyGroupsDockTest, GroupsScrolledIntoViewAreBuiltAndRespond) {
    m_groups.back().rules = {polygonRule()};
    m_entry.groupEnabled[399] = true;
    m_groups[1].name = m_groups[298].name = "Viable cells of the second run";
    refresh();
    ASSERT_EQ(m_dock->groupWidgets().size(), 300u);
    FilterGroupWidget* last = m_dock->groupWidgets().back();
    ASSERT_FALSE(last->isBuilt());
    m_dock->setGroupEnabledDivergence(399, true);
    m_dock->setGroupPolygonEditChecked(399, 0, true);

    // The scroll range grows as groups of rules come into view.
    for (int i = 0; i < 3; ++i) {
        scrollBarOf(*m_dock)->setValue(scrollBarOf(*m_dock)->maximum());
        settle();
    }
    const std::vector<std::size_t> inView = groupsInView(*m_dock);
    ASSERT_FALSE(inView.empty());
    EXPECT_EQ(inView.back(), 299u);
    for (const std::size_t i : inView) {
        FilterGroupWidget* group = m_dock->groupWidgets()[i];
        ASSERT_TRUE(group->isBuilt()) << "group " << i;
        EXPECT_TRUE(child<QLineEdit>(group, "nameEdit")->isVisible()) << "group " << i;
        EXPECT_EQ(child<QLineEdit>(group, "nameEdit")->text().toStdString(), m_groups[i].name);
    }
    EXPECT_FALSE(m_dock->groupWidgets()[150]->isBuilt());
    // Built later, a group looks exactly like one built at once.
    const QImage builtAtOnce = m_dock->groupWidgets()[1]->grab().toImage();
    const QImage builtLater = m_dock->groupWidgets()[298]->grab().toImage();
    EXPECT_FALSE(builtAtOnce.isNull());
    EXPECT_TRUE(builtAtOnce == builtLater);
    if (qEnvironmentVariableIsSet("QV3_DOCK_GRAB")) {
        m_dock->grab().save("/tmp/groups_dock_bottom.png");
        builtAtOnce.save("/tmp/groups_g1.png");
        builtLater.save("/tmp/groups_g298.png");
    }
    EXPECT_TRUE(child<QCheckBox>(last, "groupEnableBox")->isChecked());
    auto* propagate = child<QPushButton>(last, "propagateButton");
    EXPECT_TRUE(propagate->isEnabled());
    EXPECT_EQ(propagate->styleSheet(), kHighlightedStyle);
    auto* edit = child<QPushButton>(last, "editButton");
    EXPECT_TRUE(edit->isChecked());

    QSignalSpy deleted(m_dock.get(), &FilterDockWidget::deleteFilterGroupRequested);
    QSignalSpy enabled(m_dock.get(), &FilterDockWidget::groupEnableChanged);
    QSignalSpy groupEdit(m_dock.get(), &FilterDockWidget::groupPolygonEditRequested);
    QSignalSpy renamed(m_dock.get(), &FilterDockWidget::renameFilterGroupRequested);
    child<QCheckBox>(last, "groupEnableBox")->click();
    edit->click();
    auto* name = child<QLineEdit>(last, "nameEdit");
    name->setText("Last");
    emit name->editingFinished();
    child<QPushButton>(last, "deleteButton")->click();
    ASSERT_EQ(enabled.count(), 1);
    EXPECT_EQ(enabled[0], (QList<QVariant>{399, false}));
    ASSERT_EQ(groupEdit.count(), 1);
    EXPECT_EQ(groupEdit[0], (QList<QVariant>{399, 0, false}));
    ASSERT_EQ(renamed.count(), 1);
    EXPECT_EQ(renamed[0], (QList<QVariant>{399, QStringLiteral("Last")}));
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted[0][0].toInt(), 399);
}

// A rebuild (after a rename, say) while scrolled down builds the groups in
// view at once: the user never sees them empty.
TEST_F(ManyGroupsDockTest, RebuildWhileScrolledKeepsTheGroupsInViewBuilt) {
    refresh();
    // Scrolled to, the groups are built before anything is painted.
    scrollBarOf(*m_dock)->setValue(scrollBarOf(*m_dock)->maximum() / 2);
    for (const std::size_t i : groupsInView(*m_dock))
        EXPECT_TRUE(m_dock->groupWidgets()[i]->isBuilt()) << "group " << i;
    settle();
    const std::vector<std::size_t> before = groupsInView(*m_dock);
    ASSERT_FALSE(before.empty());
    ASSERT_GT(before.front(), 100u);

    m_groups[before.front()].name = "Renamed";
    m_dock->refreshFilterGroups(pointersTo(m_groups), m_entry.reader.get());
    for (const std::size_t i : before)
        EXPECT_TRUE(m_dock->groupWidgets()[i]->isBuilt()) << "group " << i;
    EXPECT_EQ(child<QLineEdit>(m_dock->groupWidgets()[before.front()], "nameEdit")->text(),
              "Renamed");
    settle();
    flushDeletes();
    for (const std::size_t i : groupsInView(*m_dock))
        EXPECT_TRUE(m_dock->groupWidgets()[i]->isBuilt()) << "group " << i;
}

// A taller dock shows more groups: they are built too.
TEST_F(ManyGroupsDockTest, GroupsBroughtIntoViewByATallerDockAreBuilt) {
    refresh();
    scrollBarOf(*m_dock)->setValue(scrollBarOf(*m_dock)->maximum() / 2);
    settle();
    m_dock->resize(380, 1400);
    settle();
    const std::vector<std::size_t> inView = groupsInView(*m_dock);
    ASSERT_GT(inView.size(), 10u);
    for (const std::size_t i : inView)
        EXPECT_TRUE(m_dock->groupWidgets()[i]->isBuilt()) << "group " << i;
}

// Tab walks the groups in their order, into groups not built yet and past
// groups built out of order (further down first).
TEST_F(ManyGroupsDockTest, TabWalksTheGroupsInOrder) {
    refresh();
    scrollBarOf(*m_dock)->setValue(scrollBarOf(*m_dock)->maximum());
    settle();
    scrollBarOf(*m_dock)->setValue(0);
    settle();
    const auto& widgets = m_dock->groupWidgets();
    std::size_t next = 0;
    while (next < widgets.size() && widgets[next]->isBuilt())
        ++next;
    ASSERT_LT(next + 1, widgets.size());
    ASSERT_GT(next, 0u);
    ASSERT_FALSE(widgets[next + 1]->isBuilt());
    ASSERT_TRUE(widgets.back()->isBuilt());

    QApplication::setActiveWindow(m_dock.get());
    auto* start = child<QPushButton>(widgets[next - 1], "addPolygonButton");
    start->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), start);
    QTest::keyClick(start, Qt::Key_Tab);
    ASSERT_TRUE(widgets[next]->isBuilt());
    EXPECT_EQ(QApplication::focusWidget(), child<QCheckBox>(widgets[next], "groupEnableBox"));
    // Enable box, name, propagate, delete, + Rule, + Polygon: the next group.
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), child<QCheckBox>(widgets[next + 1], "groupEnableBox"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>(widgets[next], "addPolygonButton"));

    // The whole chain meets the groups in their order: each built group's
    // first control, each empty box itself.
    QHash<const QWidget*, std::size_t> firstStops;
    for (std::size_t i = 0; i < widgets.size(); ++i)
        firstStops.insert(widgets[i]->isBuilt() ? child<QCheckBox>(widgets[i], "groupEnableBox")
                                                : static_cast<QWidget*>(widgets[i]),
                          i);
    std::vector<std::size_t> met;
    for (QWidget* w = m_dock->nextInFocusChain(); w != m_dock.get(); w = w->nextInFocusChain()) {
        const auto it = firstStops.constFind(w);
        if (it != firstStops.constEnd())
            met.push_back(it.value());
    }
    EXPECT_EQ(met.size(), widgets.size());
    EXPECT_TRUE(std::is_sorted(met.begin(), met.end()));
}

} // namespace
} // namespace Quorvex3
