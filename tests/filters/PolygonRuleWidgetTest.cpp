// The polygon rule editor: its label, thumbnail, Edit toggle, the rule it
// hands back and its propagation buttons.
#include "filters/FilterTestSupport.h"

#include "filters/PolygonRuleWidget.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>

namespace Quorvex3 {
namespace {

using testing::child;
using testing::kHighlightedStyle;
using testing::kPlainStyle;

class PolygonRuleWidgetTest : public testing::FilterFixture {
protected:
    static FilterRule polygon(const std::string& x, const std::string& y) {
        FilterRule rule;
        rule.type = 1;
        rule.featureName = x;
        rule.featureNameY = y;
        rule.polygonVertices = {{10.0, 0.01}, {500.0, 0.012345678}, {250.25, 0.06}, {12.36, 0.05}};
        rule.scaleXMode = 1;
        rule.scaleYMode = 2;
        return rule;
    }
};

TEST_F(PolygonRuleWidgetTest, LabelNamesBothFeaturesAndTheVertexCount) {
    PolygonRuleWidget widget(m_reader.get());
    widget.setRule(polygon("area_um", "deform"));
    EXPECT_EQ(child<QLabel>(&widget, "featuresLabel")->text(),
              label("area_um") + " vs " + label("deform"));
    EXPECT_TRUE(child<QLabel>(&widget, "featuresLabel")->wordWrap());
    EXPECT_EQ(child<QLabel>(&widget, "pointsLabel")->text(), "(4 pts)");
    EXPECT_EQ(child<QLabel>(&widget, "pointsLabel")->styleSheet(), "color: #787c82;");
    EXPECT_TRUE(child<QCheckBox>(&widget, "enableBox")->isEnabled());
}

TEST_F(PolygonRuleWidgetTest, MissingYFeatureIsMarkedAndOnlyTheEnableBoxIsDisabled) {
    PolygonRuleWidget widget(m_reader.get());
    widget.setRule(polygon("area_um", "emodulus"));
    EXPECT_EQ(child<QLabel>(&widget, "featuresLabel")->text(),
              label("area_um") + " vs " + label("emodulus") + " (n/a)");
    EXPECT_FALSE(child<QCheckBox>(&widget, "enableBox")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>(&widget, "invertBox")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(&widget, "editButton")->isEnabled());
}

TEST_F(PolygonRuleWidgetTest, WithoutReaderShowsBareNamesAsNotAvailable) {
    PolygonRuleWidget widget(nullptr);
    widget.setRule(polygon("area_um", "deform"));
    EXPECT_EQ(child<QLabel>(&widget, "featuresLabel")->text(), "area_um vs deform (n/a)");
    EXPECT_FALSE(child<QCheckBox>(&widget, "enableBox")->isEnabled());
}

TEST_F(PolygonRuleWidgetTest, ThumbnailIsTheFilledGateIcon) {
    PolygonRuleWidget widget(m_reader.get());
    auto* thumbnail = child<QLabel>(&widget, "thumbnailLabel");
    EXPECT_EQ(thumbnail->size(), QSize(32, 32));
    EXPECT_EQ(thumbnail->toolTip(), "Polygon gate");
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QPixmap pixmap = thumbnail->pixmap();
#else
    const QPixmap pixmap = thumbnail->pixmap(Qt::ReturnByValue);
#endif
    ASSERT_FALSE(pixmap.isNull());
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const qreal ratio = widget.devicePixelRatioF();
    ASSERT_EQ(image.width(), static_cast<int>(32 * ratio));
    const auto at = [&](double x, double y) {
        return image.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
    };
    // Inside the outline: the fill colour; outside: transparent.
    EXPECT_EQ(at(16, 16), QColor("#a6d7d5"));
    EXPECT_EQ(at(12, 20), QColor("#a6d7d5"));
    EXPECT_EQ(at(0.5, 0.5).alpha(), 0);
    EXPECT_EQ(at(31.5, 31.5).alpha(), 0);
    EXPECT_EQ(at(31.5, 16).alpha(), 0);
    // The outline itself is drawn in the pen colour (on the top edge near
    // the corner at (19.84, 1.6)).
    bool penFound = false;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            penFound = penFound || image.pixelColor(x, y) == QColor("#00abad");
    EXPECT_TRUE(penFound);
}

TEST_F(PolygonRuleWidgetTest, GetRuleKeepsEverythingButTheTwoBoxes) {
    PolygonRuleWidget widget(m_reader.get());
    FilterRule rule = polygon("area_um", "deform");
    rule.propagationId = "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}";
    rule.minValue = 1.5; // unused by polygons, yet kept
    widget.setRule(rule);
    QSignalSpy changed(&widget, &PolygonRuleWidget::ruleChanged);
    child<QCheckBox>(&widget, "invertBox")->setChecked(true);
    child<QCheckBox>(&widget, "enableBox")->setChecked(false);
    EXPECT_EQ(changed.count(), 2);
    const FilterRule back = widget.getRule();
    EXPECT_EQ(back.type, 1);
    EXPECT_EQ(back.featureName, rule.featureName);
    EXPECT_EQ(back.featureNameY, rule.featureNameY);
    EXPECT_EQ(back.polygonVertices, rule.polygonVertices);
    EXPECT_EQ(back.scaleXMode, 1);
    EXPECT_EQ(back.scaleYMode, 2);
    EXPECT_EQ(back.minValue, 1.5);
    EXPECT_EQ(back.propagationId, rule.propagationId);
    EXPECT_TRUE(back.inverted);
    EXPECT_FALSE(back.enabled);
}

TEST_F(PolygonRuleWidgetTest, SetRuleEmitsNothing) {
    PolygonRuleWidget widget(m_reader.get());
    QSignalSpy changed(&widget, &PolygonRuleWidget::ruleChanged);
    FilterRule rule = polygon("area_um", "deform");
    rule.enabled = false;
    rule.inverted = true;
    widget.setRule(rule);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(child<QCheckBox>(&widget, "enableBox")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(&widget, "invertBox")->isChecked());
}

TEST_F(PolygonRuleWidgetTest, EditToggleReportsOnlyUserToggles) {
    PolygonRuleWidget widget(m_reader.get());
    widget.setRule(polygon("area_um", "deform"));
    auto* edit = child<QPushButton>(&widget, "editButton");
    EXPECT_TRUE(edit->isCheckable());
    EXPECT_EQ(edit->text(), "Edit");
    QSignalSpy toggled(&widget, &PolygonRuleWidget::editToggled);
    edit->click();
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_TRUE(toggled.at(0).at(0).toBool());
    widget.setEditChecked(false);
    EXPECT_FALSE(edit->isChecked());
    EXPECT_EQ(toggled.count(), 1);
}

TEST_F(PolygonRuleWidgetTest, PropagationButtonsFollowTheStoredId) {
    PolygonRuleWidget widget(m_reader.get());
    FilterRule rule = polygon("area_um", "deform");
    widget.setRule(rule);
    widget.setMultiDataset(true);
    auto* apply = child<QPushButton>(&widget, "applyToAllButton");
    auto* update = child<QPushButton>(&widget, "updateInAllButton");
    auto* checkState = child<QPushButton>(&widget, "checkStateButton");
    EXPECT_FALSE(apply->isHidden());
    EXPECT_TRUE(update->isHidden());

    widget.setPropagationId("{id}");
    EXPECT_EQ(widget.propagationId(), "{id}");
    EXPECT_EQ(widget.getRule().propagationId, "{id}");
    EXPECT_TRUE(apply->isHidden());
    EXPECT_FALSE(update->isHidden());
    EXPECT_EQ(checkState->text(), "Check in All");

    widget.setPropagationDivergence(false, true);
    EXPECT_EQ(checkState->styleSheet(), kHighlightedStyle);
    EXPECT_EQ(update->styleSheet(), kPlainStyle);
    widget.setMultiDataset(false);
    EXPECT_EQ(checkState->styleSheet(), kPlainStyle);
    EXPECT_FALSE(checkState->isEnabled());

    QSignalSpy uncheck(&widget, &PolygonRuleWidget::uncheckRuleInAllRequested);
    widget.setMultiDataset(true);
    widget.setEnableChecked(false);
    EXPECT_EQ(checkState->text(), "Uncheck in All");
    checkState->click();
    EXPECT_EQ(uncheck.count(), 1);
}

TEST_F(PolygonRuleWidgetTest, GroupModeHidesEnableBoxAndButtons) {
    PolygonRuleWidget widget(m_reader.get());
    FilterRule rule = polygon("area_um", "deform");
    rule.enabled = false;
    widget.setRule(rule);
    widget.setInGroup(true);
    EXPECT_TRUE(child<QCheckBox>(&widget, "enableBox")->isHidden());
    EXPECT_TRUE(child<QPushButton>(&widget, "applyToAllButton")->isHidden());
    EXPECT_TRUE(widget.getRule().enabled);
}

} // namespace
} // namespace Quorvex3
