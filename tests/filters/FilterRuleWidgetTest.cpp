// The range rule editor: precision from the data span, exact bounds, features
// that are missing, the propagation buttons and group mode.
#include "filters/FilterTestSupport.h"

#include "core/EventFilter.h"
#include "filters/FilterRuleWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QPushButton>
#include <QSignalSpy>

#include <cmath>

namespace Quorvex3 {
namespace {

using testing::bits;
using testing::child;
using testing::kHighlightedStyle;
using testing::kPlainStyle;
using testing::kRemoveStyle;

const std::vector<std::string> kFeatures = {"area_um", "deform",          "bright_avg", "size_x_um",
                                            "aspect",  "inert_ratio_raw", "porosity"};

class FilterRuleWidgetTest : public testing::FilterFixture {
protected:
    // A widget whose first (preselected) feature is `first`.
    std::unique_ptr<FilterRuleWidget> widgetOn(const std::string& first) {
        std::vector<std::string> features = {first};
        for (const std::string& name : kFeatures)
            if (name != first)
                features.push_back(name);
        auto widget = std::make_unique<FilterRuleWidget>(features, m_reader.get());
        bind(widget.get());
        return widget;
    }

    void bind(FilterRuleWidget* widget) {
        m_enable = child<QCheckBox>(widget, "enableBox");
        m_invert = child<QCheckBox>(widget, "invertBox");
        m_combo = child<QComboBox>(widget, "featureCombo");
        m_min = child<QDoubleSpinBox>(widget, "minimumSpinBox");
        m_max = child<QDoubleSpinBox>(widget, "maximumSpinBox");
        m_apply = child<QPushButton>(widget, "applyToAllButton");
        m_update = child<QPushButton>(widget, "updateInAllButton");
        m_checkState = child<QPushButton>(widget, "checkStateButton");
        m_deleteAll = child<QPushButton>(widget, "deleteFromAllButton");
    }

    // Passing event indices of the rule over the fixture's columns.
    std::vector<int> passing(const FilterRule& rule) {
        EventFilter filter;
        filter.addRule(rule);
        EventFilter::FeatureMap columns;
        for (const std::string& name : filter.requiredFeatures())
            columns[name] = &m_reader->readScalarFeature(name);
        return filter.apply(columns, m_reader->getEventCount());
    }

    static FilterRule rangeRule(const std::string& feature, double lo, double hi) {
        FilterRule rule;
        rule.featureName = feature;
        rule.minValue = lo;
        rule.maxValue = hi;
        return rule;
    }

    QCheckBox* m_enable = nullptr;
    QCheckBox* m_invert = nullptr;
    QComboBox* m_combo = nullptr;
    QDoubleSpinBox* m_min = nullptr;
    QDoubleSpinBox* m_max = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_checkState = nullptr;
    QPushButton* m_deleteAll = nullptr;
};

const std::vector<int> kAllEvents = {0, 1, 2, 3, 4, 5};

// ---- layout --------------------------------------------------------------------

TEST_F(FilterRuleWidgetTest, OffersEveryFeatureByLabelWithItsNameAsData) {
    FilterRuleWidget widget(kFeatures, m_reader.get());
    bind(&widget);
    ASSERT_EQ(m_combo->count(), static_cast<int>(kFeatures.size()));
    for (int i = 0; i < m_combo->count(); ++i) {
        EXPECT_EQ(m_combo->itemText(i), label(kFeatures[i]));
        EXPECT_EQ(m_combo->itemData(i, Qt::UserRole).toString().toStdString(), kFeatures[i]);
    }
    EXPECT_EQ(m_combo->currentIndex(), 0);
    EXPECT_TRUE(m_enable->isChecked());
    EXPECT_TRUE(m_enable->text().isEmpty());
    EXPECT_EQ(m_invert->text(), "Invert");
    EXPECT_FALSE(m_invert->isChecked());
    EXPECT_EQ(m_invert->toolTip(), "Invert this rule (pass events that do NOT match)");
    EXPECT_EQ(m_min->toolTip(), "Minimum value (inclusive)");
    EXPECT_EQ(m_max->toolTip(), "Maximum value (inclusive)");
    EXPECT_EQ(m_min->minimum(), -1e15);
    EXPECT_EQ(m_max->maximum(), 1e15);
    EXPECT_EQ(m_min->maximumWidth(),
              widget.fontMetrics().horizontalAdvance(QStringLiteral("-1234567.89")) + 30);
    auto* remove = child<QPushButton>(&widget, "removeButton");
    EXPECT_EQ(remove->text(), QString(QChar(0x00D7)));
    EXPECT_EQ(remove->size(), QSize(20, 24));
    EXPECT_EQ(remove->styleSheet(), kRemoveStyle);
}

TEST_F(FilterRuleWidgetTest, WithoutReaderShowsBareNamesAndKeepsZeroBounds) {
    FilterRuleWidget widget({"area_um", "deform"}, nullptr);
    bind(&widget);
    EXPECT_EQ(m_combo->itemText(0), "area_um");
    EXPECT_EQ(m_combo->itemText(1), "deform");
    const FilterRule rule = widget.getRule();
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.minValue, 0.0);
    EXPECT_EQ(rule.maxValue, 0.0);
}

// ---- precision from the data span -------------------------------------------------

TEST_F(FilterRuleWidgetTest, SpanBelowATenthGetsSixDecimals) {
    auto widget = widgetOn("deform"); // finite span 0.06 - 0.01 = 0.05
    EXPECT_EQ(m_min->decimals(), 6);
    EXPECT_EQ(m_max->decimals(), 6);
    EXPECT_NEAR(m_min->singleStep(), 0.0005, 1e-15);
    EXPECT_NEAR(m_max->singleStep(), 0.0005, 1e-15);
    EXPECT_EQ(widget->getRule().minValue, 0.01);
    EXPECT_EQ(widget->getRule().maxValue, 0.06);
}

TEST_F(FilterRuleWidgetTest, SpanOfExactlyHundredGetsOneDecimalAndStepOne) {
    auto widget = widgetOn("bright_avg");
    EXPECT_EQ(m_min->decimals(), 1);
    EXPECT_EQ(m_min->singleStep(), 1.0);
    EXPECT_EQ(widget->getRule().minValue, 0.0);
    EXPECT_EQ(widget->getRule().maxValue, 100.0);
}

TEST_F(FilterRuleWidgetTest, SpanBelowHundredGetsTwoDecimals) {
    auto widget = widgetOn("porosity"); // 3.434 - 1.234 = 2.2
    EXPECT_EQ(m_min->decimals(), 2);
    EXPECT_NEAR(m_min->singleStep(), 0.022, 1e-12);
}

TEST_F(FilterRuleWidgetTest, ZeroSpanGetsSixDecimalsAndBothBoundsAtTheValue) {
    auto widget = widgetOn("size_x_um");
    EXPECT_EQ(m_min->decimals(), 6);
    EXPECT_EQ(m_min->singleStep(), 0.01);
    EXPECT_EQ(widget->getRule().minValue, 7.5);
    EXPECT_EQ(widget->getRule().maxValue, 7.5);
    EXPECT_EQ(passing(widget->getRule()), kAllEvents);
}

TEST_F(FilterRuleWidgetTest, BoundsComeFromFiniteValuesOnly) {
    auto widget = widgetOn("aspect"); // 1.5 .. 2.0 among NaN and +-inf: span 0.5
    EXPECT_EQ(m_min->decimals(), 4);
    EXPECT_NEAR(m_min->singleStep(), 0.005, 1e-15);
    EXPECT_EQ(widget->getRule().minValue, 1.5);
    EXPECT_EQ(widget->getRule().maxValue, 2.0);
}

TEST_F(FilterRuleWidgetTest, FeatureWithoutFiniteValueChangesNothingAndEmitsNothing) {
    auto widget = widgetOn("area_um");
    const FilterRule before = widget->getRule();
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);
    m_combo->setCurrentIndex(m_combo->findData(QStringLiteral("inert_ratio_raw")));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(m_min->decimals(), 1);
    EXPECT_EQ(bits(widget->getRule().minValue), bits(before.minValue));
    EXPECT_EQ(bits(widget->getRule().maxValue), bits(before.maxValue));
    EXPECT_EQ(widget->getRule().featureName, "inert_ratio_raw");
}

TEST_F(FilterRuleWidgetTest, PickingAFeatureResetsBoundsToItsDataAndEmitsOnce) {
    auto widget = widgetOn("area_um");
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);
    m_combo->setCurrentIndex(m_combo->findData(QStringLiteral("bright_avg")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(widget->getRule().featureName, "bright_avg");
    EXPECT_EQ(widget->getRule().minValue, 0.0);
    EXPECT_EQ(widget->getRule().maxValue, 100.0);
}

// ---- a new rule covers the whole range ---------------------------------------------

// With one decimal, 12.36 rounded to the nearest shown value would be 12.4
// and 512.94 would be 512.9: the rule would drop both extreme events.
TEST_F(FilterRuleWidgetTest, NewRuleOnAwkwardBoundsPassesEveryEvent) {
    auto widget = widgetOn("area_um");
    const FilterRule rule = widget->getRule();
    EXPECT_EQ(rule.minValue, 12.3);
    EXPECT_EQ(rule.maxValue, 513.0);
    EXPECT_EQ(passing(rule), kAllEvents);
    // The spin boxes show exactly the rule's bounds.
    EXPECT_EQ(m_min->value(), rule.minValue);
    EXPECT_EQ(m_max->value(), rule.maxValue);
}

TEST_F(FilterRuleWidgetTest, EveryFeatureWithFiniteDataGetsAWholeRangeRule) {
    for (const std::string& name : kFeatures) {
        if (name == "inert_ratio_raw")
            continue;
        auto widget = widgetOn(name);
        const std::vector<int> shown = passing(widget->getRule());
        // Events with a non-finite value can never pass a plain range rule.
        std::vector<int> finite;
        const std::vector<double>& values = m_reader->readScalarFeature(name);
        for (int i = 0; i < 6; ++i)
            if (std::isfinite(values[static_cast<std::size_t>(i)]))
                finite.push_back(i);
        EXPECT_EQ(shown, finite) << name;
    }
}

TEST_F(FilterRuleWidgetTest, TwoDecimalBoundsAreRoundedOutwards) {
    auto widget = widgetOn("porosity"); // 1.234 .. 3.434
    EXPECT_EQ(widget->getRule().minValue, 1.23);
    EXPECT_EQ(widget->getRule().maxValue, 3.44);
    EXPECT_EQ(passing(widget->getRule()), kAllEvents);
}

// ---- exact bounds -----------------------------------------------------------------

TEST_F(FilterRuleWidgetTest, SetRuleKeepsBoundsExactWhileTheSpinBoxesRound) {
    auto widget = widgetOn("deform");
    const FilterRule rule = rangeRule("area_um", 12.3456789, 400.123456);
    widget->setRule(rule);
    EXPECT_EQ(m_min->decimals(), 1);
    EXPECT_EQ(m_min->value(), 12.3);
    EXPECT_EQ(m_max->value(), 400.1);
    EXPECT_EQ(bits(widget->getRule().minValue), bits(rule.minValue));
    EXPECT_EQ(bits(widget->getRule().maxValue), bits(rule.maxValue));
}

TEST_F(FilterRuleWidgetTest, InfiniteAndHugeBoundsSurviveBeingShown) {
    auto widget = widgetOn("area_um");
    widget->setRule(rangeRule("area_um", -kInf, 3e20));
    EXPECT_EQ(widget->getRule().minValue, -kInf);
    EXPECT_EQ(widget->getRule().maxValue, 3e20);
    EXPECT_EQ(m_max->value(), 1e15);
}

TEST_F(FilterRuleWidgetTest, EditingOneBoundLeavesTheOtherBitIdentical) {
    auto widget = widgetOn("area_um");
    widget->setRule(rangeRule("area_um", 12.3456789, 400.123456));
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);

    m_max->setValue(450.0); // as the user's edit arrives
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(widget->getRule().maxValue, 450.0);
    EXPECT_EQ(bits(widget->getRule().minValue), bits(12.3456789));

    m_min->stepUp();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(widget->getRule().minValue, m_min->value());
    EXPECT_EQ(widget->getRule().maxValue, 450.0);
}

TEST_F(FilterRuleWidgetTest, TogglingTheBoxesLeavesBothBoundsBitIdentical) {
    auto widget = widgetOn("porosity");
    widget->setRule(rangeRule("porosity", 1.23456, 3.0000001));
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);
    m_invert->setChecked(true);
    m_enable->setChecked(false);
    EXPECT_EQ(changed.count(), 2);
    const FilterRule rule = widget->getRule();
    EXPECT_TRUE(rule.inverted);
    EXPECT_FALSE(rule.enabled);
    EXPECT_EQ(bits(rule.minValue), bits(1.23456));
    EXPECT_EQ(bits(rule.maxValue), bits(3.0000001));
}

TEST_F(FilterRuleWidgetTest, SetRuleEmitsNothingAndGetRuleGivesTheRuleBack) {
    auto widget = widgetOn("deform");
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);
    FilterRule rule = rangeRule("bright_avg", 3.25, 77.125);
    rule.enabled = false;
    rule.inverted = true;
    rule.propagationId = "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}";
    widget->setRule(rule);
    EXPECT_EQ(changed.count(), 0);
    const FilterRule back = widget->getRule();
    EXPECT_EQ(back.type, 0);
    EXPECT_EQ(back.featureName, "bright_avg");
    EXPECT_EQ(back.minValue, 3.25);
    EXPECT_EQ(back.maxValue, 77.125);
    EXPECT_FALSE(back.enabled);
    EXPECT_TRUE(back.inverted);
    EXPECT_EQ(back.propagationId, rule.propagationId);
    EXPECT_TRUE(back.featureNameY.empty());
    EXPECT_TRUE(back.polygonVertices.empty());
    EXPECT_EQ(widget->propagationId(), rule.propagationId);
}

// ---- missing features -----------------------------------------------------------------

TEST_F(FilterRuleWidgetTest, MissingFeatureIsShownAsNotAvailableAndDisabled) {
    auto widget = widgetOn("area_um");
    widget->setRule(rangeRule("emodulus", 0.123456, 9.87654321));
    EXPECT_EQ(m_combo->currentText(), "emodulus (n/a)");
    EXPECT_EQ(m_combo->count(), static_cast<int>(kFeatures.size()) + 1);
    EXPECT_FALSE(m_enable->isEnabled());
    EXPECT_FALSE(m_min->isEnabled());
    EXPECT_FALSE(m_max->isEnabled());
    EXPECT_TRUE(m_invert->isEnabled());
    const FilterRule back = widget->getRule();
    EXPECT_EQ(back.featureName, "emodulus");
    EXPECT_EQ(bits(back.minValue), bits(0.123456));
    EXPECT_EQ(bits(back.maxValue), bits(9.87654321));
}

TEST_F(FilterRuleWidgetTest, PickingAnAvailableFeatureRemovesTheNotAvailableItem) {
    auto widget = widgetOn("area_um");
    widget->setRule(rangeRule("emodulus", 1.0, 2.0));
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);
    m_combo->setCurrentIndex(m_combo->findData(QStringLiteral("porosity")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(m_combo->count(), static_cast<int>(kFeatures.size()));
    EXPECT_EQ(m_combo->findText(QStringLiteral("emodulus (n/a)")), -1);
    EXPECT_TRUE(m_enable->isEnabled());
    EXPECT_TRUE(m_min->isEnabled());
    EXPECT_TRUE(m_max->isEnabled());
    EXPECT_EQ(widget->getRule().minValue, 1.23);
    EXPECT_EQ(widget->getRule().maxValue, 3.44);
}

TEST_F(FilterRuleWidgetTest, ASecondMissingFeatureReplacesTheFirst) {
    auto widget = widgetOn("area_um");
    widget->setRule(rangeRule("emodulus", 1.0, 2.0));
    widget->setRule(rangeRule("volume", 1.0, 2.0));
    EXPECT_EQ(m_combo->count(), static_cast<int>(kFeatures.size()) + 1);
    EXPECT_EQ(m_combo->currentText(), "volume (n/a)");
    widget->setRule(rangeRule("deform", 0.02, 0.03));
    EXPECT_EQ(m_combo->count(), static_cast<int>(kFeatures.size()));
    EXPECT_TRUE(m_min->isEnabled());
}

TEST_F(FilterRuleWidgetTest, RefreshedFeatureListMarksTheSelectionAndKeepsBounds) {
    auto widget = widgetOn("porosity");
    widget->setRule(rangeRule("porosity", 1.23456, 3.0000001));
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);

    widget->refreshAvailableFeatures({"area_um", "deform"});
    EXPECT_EQ(m_combo->count(), 3);
    EXPECT_EQ(m_combo->currentText(), "porosity (n/a)");
    EXPECT_FALSE(m_min->isEnabled());
    EXPECT_FALSE(m_enable->isEnabled());

    widget->refreshAvailableFeatures({"area_um", "porosity", "deform"});
    EXPECT_EQ(m_combo->count(), 3);
    EXPECT_EQ(m_combo->currentText(), label("porosity"));
    EXPECT_TRUE(m_min->isEnabled());

    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(bits(widget->getRule().minValue), bits(1.23456));
    EXPECT_EQ(bits(widget->getRule().maxValue), bits(3.0000001));
}

TEST_F(FilterRuleWidgetTest, RefreshWithTheSameListChangesNothing) {
    auto widget = widgetOn("area_um");
    widget->setRule(rangeRule("emodulus", 1.0, 2.0));
    std::vector<std::string> same = {"area_um"};
    for (const std::string& name : kFeatures)
        if (name != "area_um")
            same.push_back(name);
    widget->refreshAvailableFeatures(same);
    EXPECT_EQ(m_combo->currentText(), "emodulus (n/a)");
    EXPECT_EQ(m_combo->count(), static_cast<int>(kFeatures.size()) + 1);
}

// ---- propagation buttons ------------------------------------------------------------------

TEST_F(FilterRuleWidgetTest, RuleWithoutIdOffersOnlyApplyToAll) {
    auto widget = widgetOn("area_um");
    widget->setMultiDataset(true);
    EXPECT_FALSE(m_apply->isHidden());
    EXPECT_TRUE(m_update->isHidden());
    EXPECT_TRUE(m_checkState->isHidden());
    EXPECT_TRUE(m_deleteAll->isHidden());
    EXPECT_EQ(m_apply->text(), "Apply to All");
    EXPECT_TRUE(m_apply->isEnabled());
    EXPECT_EQ(m_apply->styleSheet(), kPlainStyle);
}

TEST_F(FilterRuleWidgetTest, PropagatedRuleOffersUpdateCheckStateAndDelete) {
    auto widget = widgetOn("area_um");
    widget->setMultiDataset(true);
    widget->setPropagationId("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}");
    EXPECT_TRUE(m_apply->isHidden());
    EXPECT_FALSE(m_update->isHidden());
    EXPECT_FALSE(m_checkState->isHidden());
    EXPECT_FALSE(m_deleteAll->isHidden());
    EXPECT_EQ(m_update->text(), "Update in All");
    EXPECT_EQ(m_deleteAll->text(), "Delete from All");
    EXPECT_EQ(m_checkState->text(), "Check in All");

    // The button names the rule's own state, which it copies.
    m_enable->setChecked(false);
    EXPECT_EQ(m_checkState->text(), "Uncheck in All");
    widget->setEnableChecked(true);
    EXPECT_EQ(m_checkState->text(), "Check in All");
}

TEST_F(FilterRuleWidgetTest, CheckStateButtonCopiesTheRulesOwnState) {
    auto widget = widgetOn("area_um");
    widget->setMultiDataset(true);
    widget->setPropagationId("{id}");
    QSignalSpy check(widget.get(), &FilterRuleWidget::checkRuleInAllRequested);
    QSignalSpy uncheck(widget.get(), &FilterRuleWidget::uncheckRuleInAllRequested);
    m_checkState->click();
    EXPECT_EQ(check.count(), 1);
    EXPECT_EQ(uncheck.count(), 0);
    widget->setEnableChecked(false);
    m_checkState->click();
    EXPECT_EQ(check.count(), 1);
    EXPECT_EQ(uncheck.count(), 1);
}

TEST_F(FilterRuleWidgetTest, EachButtonEmitsItsRequest) {
    auto widget = widgetOn("area_um");
    widget->setMultiDataset(true);
    QSignalSpy apply(widget.get(), &FilterRuleWidget::applyRuleToAllRequested);
    QSignalSpy update(widget.get(), &FilterRuleWidget::updateRuleToAllRequested);
    QSignalSpy deleteAll(widget.get(), &FilterRuleWidget::deleteRuleFromAllRequested);
    QSignalSpy remove(widget.get(), &FilterRuleWidget::removeRequested);
    m_apply->click();
    widget->setPropagationId("{id}");
    m_update->click();
    m_deleteAll->click();
    child<QPushButton>(widget.get(), "removeButton")->click();
    EXPECT_EQ(apply.count(), 1);
    EXPECT_EQ(update.count(), 1);
    EXPECT_EQ(deleteAll.count(), 1);
    EXPECT_EQ(remove.count(), 1);
}

TEST_F(FilterRuleWidgetTest, DivergenceIsHighlightedOnlyWithSeveralDatasetsAndAnId) {
    auto widget = widgetOn("area_um");
    widget->setPropagationId("{id}");
    widget->setPropagationDivergence(true, true);
    // One dataset: disabled and never highlighted.
    for (QPushButton* button : {m_apply, m_update, m_checkState, m_deleteAll}) {
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
        EXPECT_EQ(button->styleSheet(), kPlainStyle) << button->text().toStdString();
    }
    widget->setMultiDataset(true);
    EXPECT_EQ(m_update->styleSheet(), kHighlightedStyle);
    EXPECT_EQ(m_checkState->styleSheet(), kHighlightedStyle);
    EXPECT_EQ(m_deleteAll->styleSheet(), kPlainStyle);
    EXPECT_TRUE(m_update->isEnabled());

    widget->setPropagationDivergence(true, false);
    EXPECT_EQ(m_update->styleSheet(), kHighlightedStyle);
    EXPECT_EQ(m_checkState->styleSheet(), kPlainStyle);
    widget->setPropagationDivergence(false, true);
    EXPECT_EQ(m_update->styleSheet(), kPlainStyle);
    EXPECT_EQ(m_checkState->styleSheet(), kHighlightedStyle);

    widget->setPropagationId("");
    EXPECT_EQ(m_checkState->styleSheet(), kPlainStyle);
    EXPECT_EQ(m_apply->styleSheet(), kPlainStyle);
}

// ---- group mode -------------------------------------------------------------------------

TEST_F(FilterRuleWidgetTest, GroupModeHidesEnableBoxAndButtonsAndReportsEnabled) {
    auto widget = widgetOn("area_um");
    FilterRule rule = rangeRule("area_um", 20.0, 30.0);
    rule.enabled = false;
    rule.propagationId = "{id}";
    widget->setRule(rule);
    widget->setMultiDataset(true);
    QSignalSpy changed(widget.get(), &FilterRuleWidget::ruleChanged);
    widget->setInGroup(true);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(m_enable->isHidden());
    EXPECT_TRUE(m_enable->isChecked());
    for (QPushButton* button : {m_apply, m_update, m_checkState, m_deleteAll})
        EXPECT_TRUE(button->isHidden()) << button->text().toStdString();
    EXPECT_TRUE(widget->getRule().enabled);

    widget->setInGroup(false);
    EXPECT_FALSE(m_enable->isHidden());
    EXPECT_FALSE(m_update->isHidden());
}

} // namespace
} // namespace Quorvex3
