// The plot-setting controls of the main window as one widget: the record
// they read back and restore, and one signal per change saying what changed.
#include "plots/PlotControlsWidget.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <string>
#include <utility>
#include <vector>

Q_DECLARE_METATYPE(Quorvex3::PlotSettingsChange)

namespace Quorvex3 {
namespace {

const std::vector<std::pair<std::string, QString>> kFeatures = {
    {"area_um", QStringLiteral("Area [µm²]")},
    {"bright_avg", QStringLiteral("Brightness")},
    {"deform", QStringLiteral("Deformation")},
    {"volume", QStringLiteral("Volume [µm³]")},
};

template <typename T> T* child(const PlotControlsWidget& widget, const char* name) {
    auto* found = widget.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QStringList itemData(const QComboBox* combo) {
    QStringList data;
    for (int i = 0; i < combo->count(); ++i)
        data << combo->itemData(i).toString();
    return data;
}

class PlotControlsWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        qRegisterMetaType<PlotSettingsChange>();
        m_widget.setFeatures(kFeatures);
    }
    PlotControlsWidget m_widget;
};

TEST_F(PlotControlsWidgetTest,
       FeatureListsOfferColourChoicesFirstAndStartOnAreaAgainstDeformation) {
    QSignalSpy spy(&m_widget, &PlotControlsWidget::settingsChanged);
    m_widget.setFeatures(kFeatures);
    EXPECT_EQ(spy.count(), 0);
    const QStringList names = {"area_um", "bright_avg", "deform", "volume"};
    EXPECT_EQ(itemData(child<QComboBox>(m_widget, "xFeatureCombo")), names);
    EXPECT_EQ(itemData(child<QComboBox>(m_widget, "yFeatureCombo")), names);
    EXPECT_EQ(itemData(child<QComboBox>(m_widget, "colorCombo")),
              QStringList({"", "__density_kde__"}) + names);
    EXPECT_EQ(child<QComboBox>(m_widget, "colorCombo")->itemText(1),
              QStringLiteral("Density (KDE)"));
    const PlotSettings settings = m_widget.settings();
    EXPECT_EQ(settings.xFeature, "area_um");
    EXPECT_EQ(settings.yFeature, "deform");
    EXPECT_EQ(settings.colorId, "");
    EXPECT_EQ(settings.contourMode, ContourMode::Off);
    EXPECT_DOUBLE_EQ(settings.contourFraction1, 0.10);
    EXPECT_DOUBLE_EQ(settings.contourFraction2, 0.67);

    m_widget.clearFeatures();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(m_widget.settings().xFeature, "");
}

TEST_F(PlotControlsWidgetTest, RestoredSettingsReadBackWithoutASignal) {
    QSignalSpy spy(&m_widget, &PlotControlsWidget::settingsChanged);
    PlotSettings settings;
    settings.xFeature = "volume";
    settings.yFeature = "bright_avg";
    settings.colorId = "__density_kde__";
    settings.scaleX = ScaleMode::Log;
    settings.scaleY = ScaleMode::PseudoLog;
    settings.contourMode = ContourMode::Only;
    settings.contourFraction1 = 0.25;
    settings.contourFraction2 = 0.9;
    m_widget.restore(settings);
    EXPECT_EQ(m_widget.settings(), settings);
    EXPECT_EQ(child<QComboBox>(m_widget, "scaleXCombo")->currentIndex(), 1);
    EXPECT_EQ(child<QComboBox>(m_widget, "contourModeCombo")->currentText(), "Only");
    EXPECT_EQ(child<QDoubleSpinBox>(m_widget, "contourInnerSpin")->value(), 25.0);

    // Features the lists do not offer leave the choices as they are.
    PlotSettings missing = settings;
    missing.xFeature = "no_such";
    missing.yFeature = "";
    missing.colorId = "also_missing";
    m_widget.restore(missing);
    EXPECT_EQ(m_widget.settings(), settings);
    // No colour is a choice of its own.
    missing.colorId = "";
    m_widget.restore(missing);
    EXPECT_EQ(m_widget.settings().colorId, "");
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(PlotControlsWidgetTest, EachControlSignalsOnceWhatItChanges) {
    struct Case {
        const char* name;
        std::function<void()> act;
        PlotSettingsChange change;
    };
    const auto combo = [this](const char* name) { return child<QComboBox>(m_widget, name); };
    const std::vector<Case> cases = {
        {"x", [&] { combo("xFeatureCombo")->setCurrentIndex(3); }, PlotSettingsChange::Features},
        {"y", [&] { combo("yFeatureCombo")->setCurrentIndex(0); }, PlotSettingsChange::Features},
        {"colour", [&] { combo("colorCombo")->setCurrentIndex(1); }, PlotSettingsChange::Features},
        {"x scale", [&] { combo("scaleXCombo")->setCurrentIndex(2); }, PlotSettingsChange::ScaleX},
        {"y scale", [&] { combo("scaleYCombo")->setCurrentIndex(1); }, PlotSettingsChange::ScaleY},
        {"contour mode", [&] { combo("contourModeCombo")->setCurrentIndex(1); },
         PlotSettingsChange::Contours},
        {"inner", [&] { child<QDoubleSpinBox>(m_widget, "contourInnerSpin")->stepUp(); },
         PlotSettingsChange::Contours},
        {"outer", [&] { child<QDoubleSpinBox>(m_widget, "contourOuterSpin")->stepDown(); },
         PlotSettingsChange::Contours},
        {"isoelastics", [&] { child<QCheckBox>(m_widget, "isoelasticsCheck")->toggle(); },
         PlotSettingsChange::Isolines},
        {"labels", [&] { child<QCheckBox>(m_widget, "isoLabelsCheck")->toggle(); },
         PlotSettingsChange::Isolines},
    };
    for (const Case& c : cases) {
        QSignalSpy spy(&m_widget, &PlotControlsWidget::settingsChanged);
        c.act();
        ASSERT_EQ(spy.count(), 1) << c.name;
        EXPECT_EQ(spy.at(0).at(0).value<PlotSettingsChange>(), c.change) << c.name;
    }
    const PlotSettings settings = m_widget.settings();
    EXPECT_EQ(settings.xFeature, "volume");
    EXPECT_EQ(settings.yFeature, "area_um");
    EXPECT_EQ(settings.colorId, "__density_kde__");
    EXPECT_EQ(settings.scaleX, ScaleMode::PseudoLog);
    EXPECT_EQ(settings.scaleY, ScaleMode::Log);
    EXPECT_EQ(settings.contourMode, ContourMode::Overlay);
    EXPECT_DOUBLE_EQ(settings.contourFraction1, 0.15);
    EXPECT_DOUBLE_EQ(settings.contourFraction2, 0.62);
    EXPECT_TRUE(m_widget.isolinesShown());
    EXPECT_TRUE(m_widget.isolineLabelsShown());
}

TEST_F(PlotControlsWidgetTest, ATypedContourLevelCountsOnceItIsComplete) {
    auto* inner = child<QDoubleSpinBox>(m_widget, "contourInnerSpin");
    QSignalSpy spy(&m_widget, &PlotControlsWidget::settingsChanged);
    inner->selectAll();
    QTest::keyClicks(inner, QStringLiteral("50"));
    EXPECT_EQ(spy.count(), 0);
    QTest::keyClick(inner, Qt::Key_Return);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(m_widget.settings().contourFraction1, 0.5);
}

TEST_F(PlotControlsWidgetTest, LogChoiceWarnsOfLeftOutPointsPerAxis) {
    auto* x = child<QComboBox>(m_widget, "scaleXCombo");
    auto* y = child<QComboBox>(m_widget, "scaleYCombo");
    m_widget.setLeftOutCounts(1, 3);
    EXPECT_EQ(x->itemText(1), QStringLiteral("Log \u26A0"));
    EXPECT_EQ(x->toolTip(), QStringLiteral("X-axis scale mode: 1 point with value \u2264 0 not "
                                           "shown (cannot be drawn on a log axis)"));
    EXPECT_EQ(y->toolTip(), QStringLiteral("Y-axis scale mode: 3 points with value \u2264 0 not "
                                           "shown (cannot be drawn on a log axis)"));
    EXPECT_FALSE(x->styleSheet().isEmpty());
    m_widget.setLeftOutCounts(0, 3);
    EXPECT_EQ(x->itemText(1), QStringLiteral("Log"));
    EXPECT_EQ(x->toolTip(), QStringLiteral("X-axis scale mode"));
    EXPECT_TRUE(x->styleSheet().isEmpty());
    EXPECT_EQ(y->itemText(1), QStringLiteral("Log \u26A0"));
}

TEST_F(PlotControlsWidgetTest, IsolineSwitchesShowOnlyWhereTheyApplyAndApplyButtonAsks) {
    m_widget.show();
    auto* iso = child<QCheckBox>(m_widget, "isoelasticsCheck");
    auto* labels = child<QCheckBox>(m_widget, "isoLabelsCheck");
    m_widget.setIsolinesAvailable(true);
    EXPECT_TRUE(iso->isVisible());
    EXPECT_FALSE(labels->isVisible());
    iso->setChecked(true);
    m_widget.setIsolinesAvailable(true);
    EXPECT_TRUE(labels->isVisible());
    m_widget.setIsolinesAvailable(false);
    EXPECT_FALSE(iso->isVisible());
    EXPECT_FALSE(labels->isVisible());

    auto* apply = child<QPushButton>(m_widget, "applyPlotSettingsButton");
    m_widget.setApplyToAllState(true, true);
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_FALSE(apply->styleSheet().isEmpty());
    QSignalSpy spy(&m_widget, &PlotControlsWidget::applyToAllRequested);
    apply->click();
    EXPECT_EQ(spy.count(), 1);
    m_widget.setApplyToAllState(false, false);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_TRUE(apply->styleSheet().isEmpty());
}

} // namespace
} // namespace Quorvex3
