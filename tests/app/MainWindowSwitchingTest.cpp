// Switching the active dataset: every plot control comes back as the dataset
// left it, the feature choices and their defaults, the loading state of a
// dataset still being cached, plot changes while another dataset preloads,
// and copying the plot settings to every dataset with the button's highlight.
#include "MainPlotTestSupport.h"

#include "calc/EModulus.h"
#include "core/RTDCReader.h"
#include "plots/PseudoLogScaleEngine.h"
#include "plots/StatisticsDockWidget.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <qwt_scale_engine.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QTextStream>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using test::Measurement;
using test::part;
using test::PlotProbe;
using testing::TempDir;

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

const QString kDivergedStyle = QStringLiteral(
    "QPushButton { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; "
    "font-weight: bold; }");

/// `count` events of the named features; feature k of event i is
/// offset + 10 * k + i, so every feature and dataset has values of its own.
Measurement events(const std::vector<std::string>& features, int count, double offset = 0.0,
                   bool images = true) {
    Measurement m;
    for (std::size_t k = 0; k < features.size(); ++k)
        for (int i = 0; i < count; ++i)
            m.columns[features[k]].push_back(offset + 10.0 * static_cast<double>(k) + i + 1.0);
    m.images = images ? static_cast<std::size_t>(count) : 0;
    return m;
}

const std::vector<std::string> kFour{"area_um", "deform", "bright_avg", "porosity"};

class ActiveDataset : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    /// Writes `m` as `name` and opens it; it becomes the active dataset.
    void open(const std::string& name, const Measurement& m) {
        const std::string path = write(name, m);
        ASSERT_TRUE(test::openAndWait(window, path)) << name;
    }
    std::string write(const std::string& name, const Measurement& m) {
        const std::string path = dir.file(name);
        test::writeMeasurement(path, m);
        return path;
    }

    QComboBox* combo(const char* name) { return part<QComboBox>(window, name); }
    QString current(const char* name) { return combo(name)->currentData().toString(); }
    QDoubleSpinBox* spin(const char* name) { return part<QDoubleSpinBox>(window, name); }
    QSpinBox* eventSpin() { return part<QSpinBox>(window, "eventSpinBox"); }
    /// The button and the plot as they are once the plot requests made so
    /// far have run, as they have when the event loop turns.
    QPushButton* applyButton() {
        window.flushPlotRequests();
        return part<QPushButton>(window, "applyPlotSettingsButton");
    }
    ScatterPlot* plot() {
        window.flushPlotRequests();
        return part<ScatterPlot>(window, "scatterPlot");
    }
    const DatasetEntry& record(int row) {
        return *window.datasets()[static_cast<std::size_t>(row)];
    }

    /// Chooses one complete set of plot settings, as the user would.
    void choose(const char* x, const char* y, const char* color, int scaleX, int scaleY,
                int contourMode, double inner, double outer, int event) {
        ASSERT_TRUE(test::chooseData(combo("xFeatureCombo"), QString::fromLatin1(x)));
        ASSERT_TRUE(test::chooseData(combo("yFeatureCombo"), QString::fromLatin1(y)));
        ASSERT_TRUE(test::chooseData(combo("colorCombo"), QString::fromLatin1(color)));
        combo("scaleXCombo")->setCurrentIndex(scaleX);
        combo("scaleYCombo")->setCurrentIndex(scaleY);
        combo("contourModeCombo")->setCurrentIndex(contourMode);
        spin("contourInnerSpin")->setValue(inner);
        spin("contourOuterSpin")->setValue(outer);
        eventSpin()->setValue(event);
    }

    /// The controls show exactly these settings.
    void expectShown(const char* x, const char* y, const char* color, int scaleX, int scaleY,
                     int contourMode, double inner, double outer, int event) {
        EXPECT_EQ(current("xFeatureCombo"), QString::fromLatin1(x));
        EXPECT_EQ(current("yFeatureCombo"), QString::fromLatin1(y));
        EXPECT_EQ(current("colorCombo"), QString::fromLatin1(color));
        EXPECT_EQ(combo("scaleXCombo")->currentIndex(), scaleX);
        EXPECT_EQ(combo("scaleYCombo")->currentIndex(), scaleY);
        EXPECT_EQ(combo("contourModeCombo")->currentIndex(), contourMode);
        EXPECT_EQ(spin("contourInnerSpin")->value(), inner);
        EXPECT_EQ(spin("contourOuterSpin")->value(), outer);
        EXPECT_EQ(eventSpin()->value(), event);
    }

    TempDir dir;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider dialogGuard{dialogs};
    MainWindow window;
};

// ---- switching back and forth -------------------------------------------------------

TEST_F(ActiveDataset, SwitchingBackRestoresEveryPlotControl) {
    open("a.rtdc", events(kFour, 10));
    choose("deform", "bright_avg", "porosity", 2, 1, 2, 20.0, 80.0, 3);
    open("b.rtdc", events(kFour, 10, 500.0));
    choose("area_um", "porosity", "", 0, 0, 1, 30.0, 60.0, 7);

    test::selectRow(window, 0);
    expectShown("deform", "bright_avg", "porosity", 2, 1, 2, 20.0, 80.0, 3);
    // The plot follows the restored controls.
    EXPECT_NE(dynamic_cast<const PseudoLogScaleEngine*>(plot()->axisScaleEngine(QwtPlot::xBottom)),
              nullptr);
    EXPECT_NE(dynamic_cast<const QwtLogScaleEngine*>(plot()->axisScaleEngine(QwtPlot::yLeft)),
              nullptr);
    EXPECT_FALSE(PlotProbe(plot()).anyDotsVisible()); // contours only
    EXPECT_EQ(window.activeDataset()->currentEventIndex, 3);
    // What was left is stored, fractions as spin value / 100.
    EXPECT_EQ(record(1).yFeatureName, "porosity");
    EXPECT_EQ(record(1).contourFraction1, 30.0 / 100.0);
    EXPECT_EQ(record(1).contourFraction2, 60.0 / 100.0);
    EXPECT_EQ(record(1).currentEventIndex, 7);

    test::selectRow(window, 1);
    expectShown("area_um", "porosity", "", 0, 0, 1, 30.0, 60.0, 7);
    EXPECT_NE(dynamic_cast<const QwtLinearScaleEngine*>(plot()->axisScaleEngine(QwtPlot::xBottom)),
              nullptr);
    EXPECT_EQ(PlotProbe(plot()).dots().front().x(), 501.0); // b's own values
}

TEST_F(ActiveDataset, StoredChoicesTheDatasetCannotShowFallBackToDefaults) {
    open("a.rtdc", events(kFour, 5));
    open("b.rtdc", events(kFour, 5));
    DatasetEntry& first = *window.datasets()[0];
    first.xFeatureName = "volume";     // not in the file
    first.yFeatureName = "Bright_avg"; // names match exactly, with case
    first.colorFeatureName = "__density_kde__";
    first.currentEventIndex = 5; // one past the last event

    test::selectRow(window, 0);
    EXPECT_EQ(current("xFeatureCombo"), QStringLiteral("area_um"));
    EXPECT_EQ(current("yFeatureCombo"), QStringLiteral("deform"));
    EXPECT_EQ(current("colorCombo"), QStringLiteral("__density_kde__"));
    EXPECT_EQ(eventSpin()->value(), 0);
    EXPECT_EQ(eventSpin()->maximum(), 4);
    EXPECT_EQ(window.activeDataset()->currentEventIndex, 0);
}

// ---- feature choices ----------------------------------------------------------------

TEST_F(ActiveDataset, FeatureChoicesListScalarFeaturesByLabelWithDefaults) {
    open("a.rtdc", events({"porosity", "deform", "bright_avg", "area_um"}, 4));
    const QStringList sorted{"area_um", "bright_avg", "deform", "porosity"};
    EXPECT_EQ(test::itemData(combo("xFeatureCombo")), sorted); // no image, no mask
    EXPECT_EQ(test::itemData(combo("yFeatureCombo")), sorted);
    EXPECT_EQ(test::itemData(combo("colorCombo")), QStringList({"", "__density_kde__"}) + sorted);
    EXPECT_EQ(combo("colorCombo")->itemText(0), QStringLiteral("None"));
    EXPECT_EQ(combo("colorCombo")->itemText(1), QStringLiteral("Density (KDE)"));
    const RTDCReader* reader = window.activeReader();
    for (int i = 0; i < sorted.size(); ++i)
        EXPECT_EQ(combo("xFeatureCombo")->itemText(i),
                  QString::fromStdString(reader->getFeatureLabel(sorted[i].toStdString())));
    EXPECT_EQ(current("xFeatureCombo"), QStringLiteral("area_um"));
    EXPECT_EQ(current("yFeatureCombo"), QStringLiteral("deform"));
    EXPECT_EQ(combo("colorCombo")->currentIndex(), 0);

    // Without area_um and deform, both axes show the first scalar feature.
    Measurement other = events({"volume", "porosity", "bright_avg"}, 4);
    open("b.rtdc", other);
    EXPECT_EQ(current("xFeatureCombo"), QStringLiteral("bright_avg"));
    EXPECT_EQ(current("yFeatureCombo"), QStringLiteral("bright_avg"));
}

// A string column and a column of 2 values for 5 events were offered: the
// string one failed on every switch ("Failed to read feature data."), the
// short one plotted 2 of 5 events as if a filter were on.
TEST_F(ActiveDataset, FeatureChoicesLeaveOutStringsAndColumnsShorterThanTheEvents) {
    Measurement m = events({"area_um", "deform", "porosity"}, 5);
    m.columns["short"] = {1.0, 2.0};
    m.textColumns["strings"] = {"a", "b", "c", "d", "e"};
    open("a.rtdc", m);
    open("b.rtdc", m);
    const QStringList usable{"area_um", "deform", "porosity"};
    EXPECT_EQ(test::itemData(combo("xFeatureCombo")), usable);
    EXPECT_EQ(test::itemData(combo("yFeatureCombo")), usable);
    EXPECT_EQ(test::itemData(combo("colorCombo")), QStringList({"", "__density_kde__"}) + usable);

    // Stored choices of either fall back as an absent feature does.
    DatasetEntry& first = *window.datasets()[0];
    first.xFeatureName = "strings";
    first.yFeatureName = "short";
    first.colorFeatureName = "short";
    test::selectRow(window, 0);
    EXPECT_EQ(current("xFeatureCombo"), QStringLiteral("area_um"));
    EXPECT_EQ(current("yFeatureCombo"), QStringLiteral("deform"));
    EXPECT_EQ(current("colorCombo"), QString());
    EXPECT_EQ(part<QLabel>(window, "infoLabel")->text(),
              QStringLiteral("Loaded: a.rtdc (5/5 events shown (100.0% pass filter))"));
    EXPECT_EQ(PlotProbe(plot()).dots().size(), 5u);
    EXPECT_EQ(dialogs.count(testing::DialogCall::Warning), 0);
}

// ---- loading ------------------------------------------------------------------------

TEST_F(ActiveDataset, ADatasetStillCachingShowsLoadingUntilItsPreloadEnds) {
    open("a.rtdc", events(kFour, 10));
    const std::string second = write("b.rtdc", events(kFour, 6, 500.0));

    // The preload's end arrives through the event loop, which does not run here.
    window.addDataset(QString::fromStdString(second));
    ASSERT_EQ(window.activeDataset(), window.datasets()[1].get());
    ASSERT_FALSE(window.activeDataset()->featuresLoaded);
    EXPECT_EQ(part<QLabel>(window, "infoLabel")->text(), QStringLiteral("Loading: b.rtdc..."));
    EXPECT_FALSE(combo("xFeatureCombo")->isEnabled());
    EXPECT_FALSE(combo("yFeatureCombo")->isEnabled());
    EXPECT_FALSE(combo("colorCombo")->isEnabled());
    EXPECT_FALSE(eventSpin()->isEnabled());
    EXPECT_FALSE(part<QLineEdit>(window, "renameEdit")->isEnabled());
    EXPECT_EQ(part<QLineEdit>(window, "renameEdit")->text(), QStringLiteral("b.rtdc"));
    EXPECT_TRUE(PlotProbe(plot()).dots().empty());
    EXPECT_EQ(part<QTableWidget>(window, "eventTable")->rowCount(), 0);

    // Changing the contours meanwhile draws nothing of the dataset before.
    combo("contourModeCombo")->setCurrentIndex(1);
    EXPECT_TRUE(PlotProbe(plot()).contours().empty());

    // The full view comes without another click.
    ASSERT_TRUE(test::waitUntil([&] { return window.activeDataset()->featuresLoaded; }));
    EXPECT_TRUE(combo("xFeatureCombo")->isEnabled());
    EXPECT_TRUE(eventSpin()->isEnabled());
    EXPECT_EQ(PlotProbe(plot()).dots().size(), 6u);
    EXPECT_TRUE(
        part<QLabel>(window, "infoLabel")->text().startsWith(QStringLiteral("Loaded: b.rtdc")));
}

TEST_F(ActiveDataset, PlotChoicesOfALoadedDatasetWorkWhileAnotherPreloads) {
    open("a.rtdc", events(kFour, 10));
    const std::string second = write("b.rtdc", events(kFour, 6, 500.0));
    window.addDataset(QString::fromStdString(second));
    // Back to the first dataset while the second still preloads (no event
    // loop has run, so its preload cannot have been reported as finished).
    part<QListWidget>(window, "datasetList")->setCurrentRow(0);
    ASSERT_EQ(window.activeDataset(), window.datasets()[0].get());
    ASSERT_FALSE(record(1).featuresLoaded);

    ASSERT_TRUE(test::chooseData(combo("xFeatureCombo"), QStringLiteral("bright_avg")));
    std::vector<QPointF> dots = PlotProbe(plot()).dots();
    ASSERT_EQ(dots.size(), 10u);
    EXPECT_EQ(dots.front().x(), 21.0); // bright_avg of event 0
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("porosity")));
    EXPECT_EQ(PlotProbe(plot()).colors().front(), 31.0);

    // When the other preload ends, the shown dataset stays as chosen.
    ASSERT_TRUE(test::waitUntil([&] { return record(1).featuresLoaded; }));
    EXPECT_EQ(window.activeDataset(), window.datasets()[0].get());
    EXPECT_EQ(PlotProbe(plot()).dots().front().x(), 21.0);
}

// ---- plot settings for every dataset ------------------------------------------------

TEST_F(ActiveDataset, ApplyButtonIsHighlightedWhileSomeDatasetDiffers) {
    open("a.rtdc", events(kFour, 5));
    EXPECT_FALSE(applyButton()->isEnabled());
    EXPECT_TRUE(applyButton()->styleSheet().isEmpty());

    open("b.rtdc", events(kFour, 5)); // joins the settings all datasets share
    EXPECT_TRUE(applyButton()->isEnabled());
    EXPECT_TRUE(applyButton()->styleSheet().isEmpty());

    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("__density_kde__")));
    EXPECT_EQ(applyButton()->styleSheet(), kDivergedStyle);
    applyButton()->click();
    EXPECT_TRUE(applyButton()->styleSheet().isEmpty());
    EXPECT_EQ(record(0).colorFeatureName, "__density_kde__");

    spin("contourOuterSpin")->setValue(70.0);
    test::refreshPlot(window); // any refresh tests the settings again
    EXPECT_EQ(applyButton()->styleSheet(), kDivergedStyle);
}

TEST_F(ActiveDataset, ApplyingPlotSettingsCopiesOnlyFeaturesADatasetHas) {
    open("b.rtdc", events({"area_um", "deform", "bright_avg"}, 5));
    open("c.rtdc", events({"area_um", "deform", "porosity"}, 5));
    open("a.rtdc", events(kFour, 5));
    choose("bright_avg", "porosity", "porosity", 1, 2, 1, 25.0, 75.0, 2);
    applyButton()->click();

    const DatasetEntry& b = record(0);
    const DatasetEntry& c = record(1);
    EXPECT_EQ(b.xFeatureName, "bright_avg");
    EXPECT_EQ(b.yFeatureName, "deform"); // b has no porosity
    EXPECT_EQ(b.colorFeatureName, "");
    EXPECT_EQ(c.xFeatureName, "area_um"); // c has no bright_avg
    EXPECT_EQ(c.yFeatureName, "porosity");
    EXPECT_EQ(c.colorFeatureName, "porosity");
    for (const DatasetEntry* entry : {&b, &c}) {
        EXPECT_EQ(entry->scaleXMode, 1);
        EXPECT_EQ(entry->scaleYMode, 2);
        EXPECT_EQ(entry->contourMode, 1);
        EXPECT_EQ(entry->contourFraction1, 0.25);
        EXPECT_EQ(entry->contourFraction2, 0.75);
    }
    // Names still differ, so the button still says so.
    EXPECT_EQ(applyButton()->styleSheet(), kDivergedStyle);

    // A density colour goes to every dataset.
    ASSERT_TRUE(test::chooseData(combo("colorCombo"), QStringLiteral("__density_kde__")));
    applyButton()->click();
    EXPECT_EQ(b.colorFeatureName, "__density_kde__");
    EXPECT_EQ(c.colorFeatureName, "__density_kde__");

    // Shown again, each dataset plots what it got.
    test::selectRow(window, 1);
    EXPECT_EQ(current("xFeatureCombo"), QStringLiteral("area_um"));
    EXPECT_EQ(current("yFeatureCombo"), QStringLiteral("porosity"));
    EXPECT_EQ(combo("scaleXCombo")->currentIndex(), 1);
    EXPECT_EQ(PlotProbe(plot()).colors().size(), 5u);
}

// ---- datasets without usable events --------------------------------------------------

/// A measurement with no "events" group at all, or one whose columns hold no values.
Measurement withoutEvents(bool eventsGroup, const std::string& sample = "empty") {
    Measurement m;
    if (eventsGroup) {
        m.columns["area_um"] = {};
        m.columns["deform"] = {};
    }
    m.textAttributes["experiment:sample"] = sample;
    return m;
}

int statisticsRows(MainWindow& window) {
    const auto* tree = window.findChild<StatisticsDockWidget*>()->findChild<QTreeWidget*>();
    return tree ? tree->topLevelItemCount() : -1;
}

// Either kind of dataset without events, opened or selected after a full
// one, shows an empty plot without the full one's axes, empty statistics and
// its own information line, and no box: nothing went wrong.
TEST_F(ActiveDataset, ADatasetWithoutUsableEventsShowsAnEmptyPlotAndItsOwnLine) {
    for (const bool eventsGroup : {false, true}) {
        for (const bool selected : {false, true}) {
            SCOPED_TRACE(std::string(eventsGroup ? "0 events" : "no events group") +
                         (selected ? ", selected" : ", opened"));
            testing::ScriptedDialogProvider boxes;
            const ScopedDialogProvider guard(boxes);
            MainWindow shown;
            const std::string empty = write("empty.rtdc", withoutEvents(eventsGroup));
            const std::string full = write("full.rtdc", events(kFour, 50));
            if (selected) {
                ASSERT_TRUE(test::openAndWait(shown, empty));
            }
            ASSERT_TRUE(test::openAndWait(shown, full));
            auto* scatter = part<ScatterPlot>(shown, "scatterPlot");
            ASSERT_EQ(PlotProbe(scatter).dots().size(), 50u);
            ASSERT_GT(statisticsRows(shown), 0);
            ASSERT_FALSE(scatter->axisTitle(QwtPlot::xBottom).text().isEmpty());
            scatter->setAxisScale(QwtPlot::xBottom, 5.0, 7.0); // zoomed in
            if (selected) {
                test::selectRow(shown, 0);
            } else {
                ASSERT_TRUE(test::openAndWait(shown, empty));
            }
            test::processEventsFor(20);

            ASSERT_EQ(shown.activeDataset()->filePath, empty);
            EXPECT_EQ(part<QLabel>(shown, "infoLabel")->text(),
                      QStringLiteral("Loaded: empty (0 events)"));
            EXPECT_TRUE(PlotProbe(scatter).dots().empty());
            EXPECT_FALSE(PlotProbe(scatter).highlight().has_value());
            EXPECT_TRUE(scatter->axisTitle(QwtPlot::xBottom).text().isEmpty());
            EXPECT_TRUE(scatter->axisTitle(QwtPlot::yLeft).text().isEmpty());
            EXPECT_TRUE(scatter->axisAutoScale(QwtPlot::xBottom));
            EXPECT_TRUE(scatter->axisAutoScale(QwtPlot::yLeft));
            EXPECT_EQ(statisticsRows(shown), 0);
            EXPECT_EQ(part<QTableWidget>(shown, "eventTable")->rowCount(), 0);
            EXPECT_TRUE(boxes.calls.empty()) << boxes.calls.front().text.toStdString();

            // And back: the full dataset shows itself again.
            test::selectRow(shown, selected ? 1 : 0);
            EXPECT_EQ(PlotProbe(scatter).dots().size(), 50u);
            EXPECT_TRUE(part<QLabel>(shown, "infoLabel")
                            ->text()
                            .startsWith(QStringLiteral("Loaded: full.rtdc (50/50 events")));
        }
    }
}

// After a removal the information line and the axes describe the dataset
// now active, or nothing when none is left.
TEST_F(ActiveDataset, RemovingADatasetShowsTheLineAndAxesOfTheOneNowActive) {
    open("bare.rtdc", withoutEvents(false, "bare"));
    open("full.rtdc", events(kFour, 20));
    open("empty.rtdc", withoutEvents(true));
    ASSERT_EQ(part<QLabel>(window, "infoLabel")->text(),
              QStringLiteral("Loaded: empty (0 events)"));

    // The empty one, last in the list: the one above takes over.
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "removeDataset"));
    ASSERT_EQ(window.datasets().size(), 2u);
    EXPECT_EQ(part<QLabel>(window, "infoLabel")->text(),
              QStringLiteral("Loaded: full.rtdc (20/20 events shown (100.0% pass filter))"));
    EXPECT_EQ(plot()->axisTitle(QwtPlot::xBottom).text(),
              QString::fromStdString(window.activeReader()->getFeatureLabel("area_um")));
    EXPECT_EQ(PlotProbe(plot()).dots().size(), 20u);

    // The full one: the measurement without an events group takes over.
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "removeDataset"));
    ASSERT_EQ(window.datasets().size(), 1u);
    EXPECT_EQ(part<QLabel>(window, "infoLabel")->text(), QStringLiteral("Loaded: bare (0 events)"));
    EXPECT_TRUE(plot()->axisTitle(QwtPlot::xBottom).text().isEmpty());
    EXPECT_TRUE(plot()->axisTitle(QwtPlot::yLeft).text().isEmpty());
    EXPECT_TRUE(PlotProbe(plot()).dots().empty());
    EXPECT_EQ(statisticsRows(window), 0);

    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "removeDataset")); // the last one
    EXPECT_EQ(part<QLabel>(window, "infoLabel")->text(), QStringLiteral("No file loaded."));
    EXPECT_TRUE(plot()->axisTitle(QwtPlot::xBottom).text().isEmpty());
    EXPECT_TRUE(plot()->axisTitle(QwtPlot::yLeft).text().isEmpty());
    EXPECT_TRUE(PlotProbe(plot()).dots().empty());
    EXPECT_EQ(statisticsRows(window), 0);
    EXPECT_TRUE(dialogs.calls.empty());
}

// ---- Young's modulus of a restored dataset -------------------------------------------

/// A program folder whose table gives 0.5 + 0.01 area + 20 deformation on
/// areas 20 to 220 µm² and deformations 0 to 0.1.
QString lutFolder(const TempDir& dir) {
    const QString base = QString::fromStdString(dir.file("program"));
    QDir().mkpath(base + QStringLiteral("/data"));
    QFile file(base + QStringLiteral("/data/LUT_LE_2D_FEM.txt"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QTextStream out(&file);
    out << "area_um deform emodulus\n";
    for (int k = 0; k < 441; ++k) {
        const double area = 20.0 + 10.0 * (k % 21);
        const double deform = 0.005 * (k / 21);
        out << QString::number(area, 'g', 17) << ' ' << QString::number(deform, 'g', 17) << ' '
            << QString::number(0.5 + 0.01 * area + 20.0 * deform, 'g', 17) << '\n';
    }
    return base;
}

// A restored modulus takes the metadata's temperature by the computation's
// own rule: a value at or below 0 °C is a recorder's placeholder and leaves
// the dataset's stored temperature in place.
TEST_F(ActiveDataset, RestoredModulusTakesOnlyAPositiveMetadataTemperature) {
    const QString program = lutFolder(dir);
    ASSERT_FALSE(program.isEmpty());
    auto* emodulus = window.findChild<EModulus*>();
    ASSERT_NE(emodulus, nullptr);
    emodulus->setLUTSearchDir(program);
    EModulus reference;
    reference.setLUTSearchDir(program);

    EModParams params;
    params.viscosityModel = 0; // Herold: depends on the temperature
    params.temperature = 23.0;
    params.temperatureSource = 2;
    params.channelWidth = 20.0;
    params.flowRate = 0.16;
    params.pixelationCorrection = false;

    const struct {
        double metadata;
        double used;
    } cases[] = {{0.0, 23.0}, {-3.0, 23.0}, {30.0, 30.0}};
    int file = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.metadata);
        Measurement m;
        m.columns["area_um"] = {50.0, 80.0, 120.0};
        m.columns["deform"] = {0.01, 0.03, 0.05};
        m.numberAttributes["setup:temperature"] = c.metadata;
        const std::string name = "t" + std::to_string(++file) + ".rtdc";
        open(name, m);
        open("other" + std::to_string(file) + ".rtdc", events(kFour, 5));
        const int row = static_cast<int>(window.datasets().size()) - 2;
        DatasetEntry& restored = *window.datasets()[static_cast<std::size_t>(row)];
        restored.emodApplied = true;
        restored.emodParams = params;
        test::selectRow(window, row);
        ASSERT_TRUE(restored.reader->isCalculatedFeature("emodulus"));
        const std::vector<double> shown = restored.reader->readScalarFeature("emodulus");

        RTDCReader expectedReader;
        ASSERT_TRUE(expectedReader.openFile(dir.file(name)));
        EModParams expectedParams = params;
        expectedParams.temperatureSource = 0;
        expectedParams.temperature = c.used;
        QString error;
        ASSERT_TRUE(reference.run(&expectedReader, expectedParams, &error))
            << error.toStdString();
        const std::vector<double>& expected = expectedReader.readScalarFeature("emodulus");
        ASSERT_EQ(shown.size(), 3u);
        ASSERT_EQ(expected.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ(shown[i], expected[i]) << i;
    }
}

} // namespace
} // namespace Quorvex3
