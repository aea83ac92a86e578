// The combined plot window's session state: what is written, what a restore
// sets, the defaults it takes for missing or bad values, and that a saved
// window restores to the same state.
#include "CombineTestSupport.h"

#include "calc/EModulus.h"
#include "model/DatasetEntry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using test::CombineWindowTest;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

QJsonObject parse(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

class CombineState : public CombineWindowTest {
protected:
    /// A second window on the same main window, restored from `state`.
    std::unique_ptr<CombinePlotWindow> restored(const QJsonObject& state,
                                                const QMap<int, int>& map) {
        auto other = std::make_unique<CombinePlotWindow>(&main.store(), &main);
        other->restoreState(state, map);
        return other;
    }
    /// Positions 0.. of the main window's datasets to their ids.
    QMap<int, int> identityMap() const {
        QMap<int, int> map;
        for (size_t i = 0; i < main.datasets().size(); ++i)
            map.insert(static_cast<int>(i), main.datasets()[i]->id);
        return map;
    }
    QJsonObject save(const CombinePlotWindow& w) const { return w.saveState(main.datasets()); }

    template <typename T> static T* in(CombinePlotWindow& w, const char* name) {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

TEST_F(CombineState, EmptyObjectRestoresTheDefaultsAndLeavesExportSettingsAndStatsDock) {
    CombinePlotWindow w(&main.store(), &main);
    in<QDockWidget>(w, "statsDock")->show();
    in<QSpinBox>(w, "tickLabelSpin")->setValue(7);
    w.restoreState(QJsonObject(), {});
    EXPECT_EQ(w.displayMode(), 0);
    EXPECT_EQ(w.colorMode(), 1);
    EXPECT_EQ(in<QComboBox>(w, "colorCombo")->currentIndex(), 1);
    EXPECT_EQ(in<QDoubleSpinBox>(w, "contourInnerSpin")->value(), 10.0);
    EXPECT_EQ(in<QDoubleSpinBox>(w, "contourOuterSpin")->value(), 67.0);
    for (const char* box :
         {"syncFeaturesCheck", "showLegendCheck", "syncAxesCheck", "manualLimitsCheck", "isoCheck",
          "isoLabelsCheck", "manualArrayCheck", "showCountCheck"})
        EXPECT_FALSE(in<QCheckBox>(w, box)->isChecked()) << box;
    EXPECT_FALSE(in<QCheckBox>(w, "isoLabelsCheck")->isEnabled());
    EXPECT_FALSE(in<QCheckBox>(w, "manualLimitsCheck")->isEnabled());
    EXPECT_FALSE(in<QDoubleSpinBox>(w, "xMinSpin")->isEnabled());
    EXPECT_FALSE(in<QWidget>(w, "arraySizeRow")->isVisibleTo(&w));
    EXPECT_EQ(w.datasetCount(), 0);
    EXPECT_EQ(w.exportSettings().tickLabelSize, 7);
    EXPECT_EQ(in<QSpinBox>(w, "tickLabelSpin")->value(), 7);
    EXPECT_TRUE(in<QComboBox>(w, "uniformColorCombo")->isHidden());
    EXPECT_FALSE(in<QDockWidget>(w, "statsDock")->isHidden());
}

TEST_F(CombineState, SavedWindowRestoresToTheSameState) {
    // Isoelastics stay ticked only with a look-up table.
    std::filesystem::create_directories(dir.file("program/data"));
    std::ofstream(dir.file("program/data/LUT_LE_2D_FEM.txt"))
        << "area deform emodulus\n20 0 1\n220 0 2\n20 0.1 3\n220 0.1 4\n";
    main.findChild<EModulus*>()->setLUTSearchDir(QString::fromStdString(dir.file("program")));
    openDatasets({"a", "b", "c"});
    const auto& ds = main.datasets();
    window.addDataset(ds[2]->id);
    window.addDataset(ds[0]->id);
    window.cards()[0]->setScaleSelections(1, 2);
    dialogs.colorAnswers.push_back(QColor(1, 2, 3, 100));
    window.cards()[1]->findChild<QPushButton*>("colorButton")->click();
    // The card's state is saved, not the stored reference.
    window.cards()[1]->setFeatureSelections("bright_avg", "area_um");
    control<QComboBox>("colorCombo")->setCurrentIndex(2);
    control<QComboBox>("contourCombo")->setCurrentIndex(1);
    control<QDoubleSpinBox>("contourInnerSpin")->setValue(33);
    control<QCheckBox>("isoCheck")->setChecked(true);
    control<QCheckBox>("isoLabelsCheck")->setChecked(true);
    control<QCheckBox>("syncAxesCheck")->setChecked(true);
    control<QCheckBox>("manualLimitsCheck")->setChecked(true);
    control<QDoubleSpinBox>("xMinSpin")->setValue(-2.5);
    control<QCheckBox>("manualArrayCheck")->setChecked(true);
    control<QSpinBox>("arrayRowsSpin")->setValue(3);
    control<QCheckBox>("showCountCheck")->setChecked(true);
    control<QCheckBox>("showLegendCheck")->setChecked(true);
    control<QSpinBox>("plotWidthSpin")->setValue(150);
    control<QComboBox>("uniformColorCombo")->setCurrentIndex(3);
    control<QDockWidget>("statsDock")->show();

    const QJsonObject saved = save(window);
    EXPECT_DOUBLE_EQ(saved["contourFraction1"].toDouble(), 0.33);
    const QJsonArray items = saved["datasets"].toArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].toObject()["datasetSessionIndex"].toInt(), 2);
    EXPECT_EQ(items[1].toObject()["datasetSessionIndex"].toInt(), 0);
    EXPECT_EQ(items[1].toObject()["xFeatureName"].toString(), QStringLiteral("bright_avg"));
    EXPECT_EQ(items[1].toObject()["color"].toString(), QStringLiteral("#010203"));
    EXPECT_EQ(items[1].toObject()["colorAlpha"].toInt(), 100);
    EXPECT_EQ(items[0].toObject()["scaleYMode"].toInt(), 2);
    EXPECT_EQ(saved["exportSettings"].toObject()["uniformColor"].toString(),
              QColor(Qt::red).name());

    const std::unique_ptr<CombinePlotWindow> copy = restored(saved, identityMap());
    EXPECT_EQ(save(*copy), saved);
    EXPECT_EQ(copy->references()[1].color, QColor(1, 2, 3, 100));
    EXPECT_EQ(copy->cards().size(), 2u);
    // The dock holding it is hidden; the choice itself is shown in it.
    EXPECT_FALSE(in<QComboBox>(*copy, "uniformColorCombo")->isHidden());
}

TEST_F(CombineState, PartCasesOfFractionsColoursSizesAndMissingDatasets) {
    const std::vector<int> ids = openDatasets({"a", "b"});
    const QJsonObject state = parse(R"({
        "contourFraction1": 0.25,
        "datasets": [
            {"datasetSessionIndex": 1, "xFeatureName": "deform", "yFeatureName": "area_um",
             "color": "#102030", "colorAlpha": 100},
            {"datasetSessionIndex": 0, "color": "#405060"},
            {"datasetSessionIndex": -1},
            {"datasetSessionIndex": 9}
        ],
        "exportSettings": {"plotWidthMm": 120.7}
    })");
    const std::unique_ptr<CombinePlotWindow> w = restored(state, identityMap());
    EXPECT_EQ(in<QDoubleSpinBox>(*w, "contourInnerSpin")->value(), 25.0);
    ASSERT_EQ(w->datasetCount(), 2);
    EXPECT_EQ(w->references()[0].datasetId, ids[1]);
    EXPECT_EQ(w->references()[0].color, QColor(0x10, 0x20, 0x30, 100));
    EXPECT_EQ(w->references()[0].xFeature, "deform");
    EXPECT_EQ(w->references()[1].color, QColor(0x40, 0x50, 0x60, 255));
    EXPECT_EQ(in<QSpinBox>(*w, "plotWidthSpin")->value(), 120);
    EXPECT_EQ(w->exportSettings().plotWidthMm, 120.0);

    // An empty map drops every dataset; the settings still apply.
    const std::unique_ptr<CombinePlotWindow> none = restored(state, {});
    EXPECT_EQ(none->datasetCount(), 0);
    EXPECT_EQ(in<QDoubleSpinBox>(*none, "contourInnerSpin")->value(), 25.0);

    // A reference whose dataset left the main window is written as -1.
    window.addDataset(ids[0]);
    window.addDataset(ids[1]);
    main.findDatasetById(ids[0])->id = 1000; // as if the dataset were gone
    const QJsonArray items = save(window)["datasets"].toArray();
    EXPECT_EQ(items[0].toObject()["datasetSessionIndex"].toInt(), -1);
    EXPECT_EQ(items[1].toObject()["datasetSessionIndex"].toInt(), 1);
    main.findDatasetById(1000)->id = ids[0];
}

TEST_F(CombineState, ExportSettingsThatAllDifferAreAllRestored) {
    CombinePlotWindow w(&main.store(), &main);
    w.restoreState(parse(R"({"colorMode": 2, "exportSettings": {
        "tickLabelSize": 9, "axisLabelSize": 11, "showTitle": false, "titleSize": 20,
        "titleBold": true, "titleUseColor": false, "plotWidthMm": 200.0, "plotHeightMm": 80.0,
        "pointSize": 7, "axisLineWidth": 2.5, "showGrid": false, "showRightTopAxes": false,
        "uniformColor": "#800080"}})"),
                   {});
    const CombinePlotWindow::ExportSettings& s = w.exportSettings();
    EXPECT_EQ(s.tickLabelSize, 9);
    EXPECT_EQ(s.axisLabelSize, 11);
    EXPECT_FALSE(s.showTitle);
    EXPECT_EQ(s.titleSize, 20);
    EXPECT_TRUE(s.titleBold);
    EXPECT_FALSE(s.titleUseColor);
    EXPECT_EQ(s.plotWidthMm, 200.0);
    EXPECT_EQ(s.plotHeightMm, 80.0);
    EXPECT_EQ(s.pointSize, 7);
    EXPECT_EQ(s.axisLineWidth, 2.5);
    EXPECT_FALSE(s.showGrid);
    EXPECT_FALSE(s.showRightTopAxes);
    EXPECT_EQ(s.uniformColor, QColor(128, 0, 128));
    // The controls show the same.
    EXPECT_EQ(in<QSpinBox>(w, "tickLabelSpin")->value(), 9);
    EXPECT_EQ(in<QSpinBox>(w, "axisLabelSpin")->value(), 11);
    EXPECT_FALSE(in<QCheckBox>(w, "showTitleCheck")->isChecked());
    EXPECT_EQ(in<QSpinBox>(w, "titleSizeSpin")->value(), 20);
    EXPECT_TRUE(in<QCheckBox>(w, "titleBoldCheck")->isChecked());
    EXPECT_FALSE(in<QCheckBox>(w, "titleColorCheck")->isChecked());
    EXPECT_EQ(in<QSpinBox>(w, "plotHeightSpin")->value(), 80);
    EXPECT_EQ(in<QSpinBox>(w, "pointSizeSpin")->value(), 7);
    EXPECT_EQ(in<QDoubleSpinBox>(w, "axisWidthSpin")->value(), 2.5);
    EXPECT_FALSE(in<QCheckBox>(w, "gridCheck")->isChecked());
    EXPECT_FALSE(in<QCheckBox>(w, "rightTopAxesCheck")->isChecked());
    EXPECT_EQ(in<QComboBox>(w, "uniformColorCombo")->currentText(), QStringLiteral("Purple"));
    EXPECT_FALSE(in<QComboBox>(w, "uniformColorCombo")->isHidden());
}

// Bad values of a file take the defaults, or the nearest value the control
// can hold, never something the window cannot show.
TEST_F(CombineState, BadValuesTakeDefaultsOrAreClampedToTheirControls) {
    struct Case {
        const char* key;
        QJsonValue value;
        const char* control;
        double expected; // the control's value (index for choices)
    };
    const Case cases[] = {
        {"displayMode", 7, "displayCombo", 0},
        {"displayMode", -1, "displayCombo", 0},
        {"displayMode", 1.5, "displayCombo", 0},
        {"displayMode", QStringLiteral("2"), "displayCombo", 0},
        {"colorMode", 3, "colorCombo", 1},
        {"colorMode", 1e20, "colorCombo", 1},
        {"contourMode", 5, "contourCombo", 0},
        {"contourFraction1", kNaN, "contourInnerSpin", 10},
        {"contourFraction2", kInf, "contourOuterSpin", 67},
        {"contourFraction1", 5.0, "contourInnerSpin", 99},
        {"contourFraction2", -1.0, "contourOuterSpin", 1},
        {"xMin", kInf, "xMinSpin", 0},
        {"xMax", 1e300, "xMaxSpin", 1e12},
        {"yMin", -1e300, "yMinSpin", -1e12},
        {"yMax", kNaN, "yMaxSpin", 0},
        {"arrayCols", 80, "arrayColsSpin", 50},
        {"arrayRows", -3, "arrayRowsSpin", 0},
        {"arrayCols", kNaN, "arrayColsSpin", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " -> " + c.control);
        QJsonObject state{{"manualArraySize", true}};
        state.insert(QLatin1String(c.key), c.value);
        CombinePlotWindow w(&main.store(), &main);
        w.restoreState(state, {});
        const QString name = QString::fromLatin1(c.control);
        if (auto* combo = w.findChild<QComboBox*>(name))
            EXPECT_EQ(combo->currentIndex(), static_cast<int>(c.expected));
        else if (auto* spin = w.findChild<QDoubleSpinBox*>(name))
            EXPECT_EQ(spin->value(), c.expected);
        else if (auto* ints = w.findChild<QSpinBox*>(name))
            EXPECT_EQ(ints->value(), static_cast<int>(c.expected));
        else
            ADD_FAILURE() << "no control";
        // The window's modes follow their choices.
        EXPECT_EQ(w.displayMode(), in<QComboBox>(w, "displayCombo")->currentIndex());
        EXPECT_EQ(w.colorMode(), in<QComboBox>(w, "colorCombo")->currentIndex());
    }
}

TEST_F(CombineState, BadDatasetValuesTakeDefaultsAndARepeatedDatasetIsKeptOnce) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    const QJsonObject state = parse(R"({"datasets": [
        {"datasetSessionIndex": 0, "scaleXMode": 3, "scaleYMode": -2, "colorAlpha": 300},
        {"datasetSessionIndex": 1, "color": "not a colour", "colorAlpha": -5, "scaleXMode": 2},
        {"datasetSessionIndex": 0, "color": "#ffffff"},
        {"datasetSessionIndex": 2, "color": 12, "scaleYMode": 1.5, "colorAlpha": "9"},
        {"datasetSessionIndex": "1"}
    ]})");
    const std::unique_ptr<CombinePlotWindow> w = restored(state, identityMap());
    ASSERT_EQ(w->datasetCount(), 3);
    const auto& refs = w->references();
    EXPECT_EQ(refs[0].datasetId, ids[0]);
    EXPECT_EQ(refs[0].scaleXMode, 0);
    EXPECT_EQ(refs[0].scaleYMode, 0);
    EXPECT_EQ(refs[0].color, QColor("#1f77b4")); // default colour, alpha clamped to 255
    EXPECT_EQ(refs[0].color.alpha(), 255);
    // An invalid colour takes its position's palette colour; alpha 0 at least.
    EXPECT_EQ(refs[1].datasetId, ids[1]);
    EXPECT_EQ(refs[1].color.rgb(), QColor("#ff7f0e").rgb());
    EXPECT_EQ(refs[1].color.alpha(), 0);
    EXPECT_EQ(refs[1].scaleXMode, 2);
    // The repeated dataset 0 was left out; a colour of another type takes
    // the default colour, a text alpha the default alpha.
    EXPECT_EQ(refs[2].datasetId, ids[2]);
    EXPECT_EQ(refs[2].color, QColor("#1f77b4"));
    EXPECT_EQ(refs[2].scaleYMode, 0);
    // Restoring into a window that holds a dataset already keeps it once.
    w->restoreState(state, identityMap());
    EXPECT_EQ(w->datasetCount(), 3);
}

TEST_F(CombineState, BadExportSettingsAreClampedToTheirControls) {
    CombinePlotWindow w(&main.store(), &main);
    const CombinePlotWindow::ExportSettings before = w.exportSettings();
    QJsonObject e{{"tickLabelSize", 100},  {"axisLabelSize", -4},       {"titleSize", 2.5},
                  {"plotWidthMm", 1e9},    {"plotHeightMm", kNaN},      {"pointSize", 0},
                  {"axisLineWidth", kInf}, {"uniformColor", "#123456"}, {"showGrid", "no"}};
    w.restoreState(QJsonObject{{"exportSettings", e}}, {});
    const CombinePlotWindow::ExportSettings& s = w.exportSettings();
    EXPECT_EQ(s.tickLabelSize, 24);
    EXPECT_EQ(s.axisLabelSize, 4);
    EXPECT_EQ(s.titleSize, 14); // not a whole number: default
    EXPECT_EQ(s.plotWidthMm, 600.0);
    EXPECT_EQ(s.plotHeightMm, 100.0);
    EXPECT_EQ(s.pointSize, 1);
    EXPECT_EQ(s.axisLineWidth, 1.0);
    EXPECT_TRUE(s.showGrid);
    // A colour the choice does not offer leaves choice and record as they were.
    EXPECT_EQ(s.uniformColor, before.uniformColor);
    EXPECT_EQ(in<QComboBox>(w, "uniformColorCombo")->currentIndex(), 0);
    EXPECT_EQ(in<QSpinBox>(w, "plotWidthSpin")->value(), 600);

    // What was restored saves as the controls hold it.
    const QJsonObject saved = w.saveState(main.datasets())["exportSettings"].toObject();
    EXPECT_EQ(saved["tickLabelSize"].toInt(), 24);
    EXPECT_EQ(saved["plotWidthMm"].toDouble(), 600.0);
}

// Restoring once overwrote the stored features: it ticked "Sync Features"
// and gave every dataset the first one's features.
TEST_F(CombineState, OverlayModesWithoutFeatureSyncStandAsStoredAndSaveUnchanged) {
    openDatasets({"a", "b"});
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        QJsonObject state = parse(R"({"syncFeatures": false, "datasets": [
            {"datasetSessionIndex": 1, "xFeatureName": "deform", "yFeatureName": "bright_avg"},
            {"datasetSessionIndex": 0, "xFeatureName": "area_um", "yFeatureName": "deform"}
        ]})");
        state.insert(QStringLiteral("displayMode"), mode);
        const std::unique_ptr<CombinePlotWindow> w = restored(state, identityMap());
        EXPECT_EQ(w->displayMode(), mode);
        EXPECT_FALSE(in<QCheckBox>(*w, "syncFeaturesCheck")->isChecked());
        const std::pair<const char*, const char*> stored[] = {{"deform", "bright_avg"},
                                                              {"area_um", "deform"}};
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(w->references()[i].xFeature, stored[i].first);
            EXPECT_EQ(w->references()[i].yFeature, stored[i].second);
            EXPECT_EQ(w->cards()[i]->getRef().xFeature, stored[i].first);
        }
        // Save, restore, save: the same object, the window unchanged.
        const QJsonObject first = save(*w);
        EXPECT_FALSE(first["syncFeatures"].toBool());
        EXPECT_EQ(first["datasets"].toArray()[0].toObject()["yFeatureName"].toString(),
                  QStringLiteral("bright_avg"));
        const std::unique_ptr<CombinePlotWindow> again = restored(first, identityMap());
        EXPECT_EQ(save(*again), first);
        EXPECT_EQ(save(*w), first);
    }
    // No question is asked on restore.
    EXPECT_EQ(dialogs.count(testing::DialogCall::MessageBox), 0);
}

TEST_F(CombineState, SwitchesThatNeedAnotherAreRestoredTogether) {
    CombinePlotWindow w(&main.store(), &main);
    // Manual limits without synced axes and labels without isoelastics
    // cannot be set in the window; a file cannot set them either.
    w.restoreState(parse(R"({"syncAxes": false, "manualLimits": true, "isoelasticity": false,
                             "isoLabels": true, "manualArraySize": false, "arrayCols": 3,
                             "showStats": false})"),
                   {});
    EXPECT_FALSE(in<QCheckBox>(w, "manualLimitsCheck")->isChecked());
    EXPECT_FALSE(in<QDoubleSpinBox>(w, "xMinSpin")->isEnabled());
    EXPECT_FALSE(in<QCheckBox>(w, "isoLabelsCheck")->isChecked());
    EXPECT_EQ(in<QSpinBox>(w, "arrayColsSpin")->value(), 0);
    EXPECT_TRUE(in<QDockWidget>(w, "statsDock")->isHidden());

    w.restoreState(parse(R"({"syncAxes": true, "manualLimits": true, "isoelasticity": true,
                             "isoLabels": true, "manualArraySize": true, "arrayCols": 3,
                             "arrayRows": 2, "showStats": true})"),
                   {});
    EXPECT_TRUE(in<QCheckBox>(w, "manualLimitsCheck")->isChecked());
    EXPECT_TRUE(in<QCheckBox>(w, "manualLimitsCheck")->isEnabled());
    EXPECT_TRUE(in<QDoubleSpinBox>(w, "xMinSpin")->isEnabled());
    EXPECT_TRUE(in<QCheckBox>(w, "isoLabelsCheck")->isChecked());
    EXPECT_TRUE(in<QCheckBox>(w, "isoLabelsCheck")->isEnabled());
    EXPECT_EQ(in<QSpinBox>(w, "arrayColsSpin")->value(), 3);
    EXPECT_EQ(in<QSpinBox>(w, "arrayRowsSpin")->value(), 0); // fixed columns free the rows
    EXPECT_TRUE(in<QWidget>(w, "arraySizeRow")->isVisibleTo(&w));
    EXPECT_FALSE(in<QDockWidget>(w, "statsDock")->isHidden());
}

} // namespace
} // namespace Quorvex3
