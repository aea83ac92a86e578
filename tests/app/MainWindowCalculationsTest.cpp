// The compute actions of the main window on fixture measurements: one task
// at a time, the progress text of all-datasets runs, Young's modulus with a
// test table (missing table reported, missing conditions defaulted), the
// quality report's filter, release of replaced columns, records kept while a
// task runs, and the dimension-reduction fit, reference save/load/apply.
#include "MainWindowTestSupport.h"
#include "app/DatasetListWidget.h"
#include "app/MainWindow.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModQualityDialog.h"
#include "calc/EModulus.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedReference.h"
#include "plots/PlotOverlayItems.h"
#include "plots/ScatterPlot.h"
#include "support/RtdcFixtureWriter.h"
#include "util/CalcTaskRunner.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;
using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::TempDir;

/// A measurement with area_um, deform and two more features; `setup` adds
/// metadata of the setup section.
void writeMeasurement(const std::string& path, int events, double shift,
                      const std::vector<std::pair<std::string, std::string>>& setup = {},
                      bool withExtra = true) {
    std::vector<double> area, deform, a, b;
    for (int i = 0; i < events; ++i) {
        area.push_back(40.0 + (i * 37 % 100) + shift);
        deform.push_back(0.01 + 0.0007 * (i * 13 % 100));
        a.push_back(std::sin(0.3 * i) * 3 + shift);
        b.push_back(std::cos(0.17 * i) * (1 + i % 5) - shift);
    }
    RtdcFixtureWriter w(path);
    w.addColumn<double>("area_um", area);
    w.addColumn<double>("deform", deform);
    if (withExtra) {
        w.addColumn<double>("feat_a", a);
        w.addColumn<double>("feat_b", b);
    }
    for (const auto& [key, value] : setup)
        w.setStringAttribute("setup:" + key, value);
}

/// A 21 x 21 table over areas [20, 220] µm² and deformations [0, 0.1].
std::string writeTable(const TempDir& dir) {
    const std::string base = dir.file("program");
    std::filesystem::create_directories(base + "/data");
    std::ofstream out(base + "/data/LUT_LE_2D_FEM.txt");
    out << "area_um deform emodulus\n";
    for (int k = 0; k < 441; ++k) {
        const double area = 20.0 + 10.0 * (k % 21), d = 0.005 * (k / 21);
        out << area << ' ' << d << ' ' << 0.5 + area / 100.0 + 20.0 * d << '\n';
    }
    return base;
}

class MainWindowCalculations : public ::testing::Test {
protected:
    void SetUp() override {
        m_window = std::make_unique<MainWindow>();
        m_dock = m_window->findChild<CalculationsDockWidget*>();
        m_emod = m_window->findChild<EModulus*>();
        ASSERT_TRUE(m_dock && m_emod);
        m_emod->setLUTSearchDir(QString::fromStdString(writeTable(m_dir)));
    }
    // A failed check may leave a blocking task waiting: let it end first.
    void TearDown() override {
        release();
        m_window.reset();
    }

    DatasetEntry* open(const std::string& name, int events, double shift = 0.0,
                       const std::vector<std::pair<std::string, std::string>>& setup = {},
                       bool withExtra = true) {
        const std::string path = m_dir.file(name);
        writeMeasurement(path, events, shift, setup, withExtra);
        const size_t before = m_window->datasets().size();
        m_window->addDataset(QString::fromStdString(path));
        EXPECT_TRUE(test::waitUntil([&] {
            return m_window->datasets().size() == before + 1 &&
                   m_window->datasets().back()->featuresLoaded;
        }));
        return m_window->datasets().back().get();
    }
    bool waitIdle() {
        const bool idle = test::waitUntil([&] { return !m_window->calcBusy(); });
        test::processEventsFor(20);
        return idle;
    }
    void check(const char* name, bool on) {
        auto* box = m_dock->findChild<QCheckBox*>(QString::fromLatin1(name));
        ASSERT_TRUE(box) << name;
        box->setChecked(on);
    }
    void choose(const char* name, int data) {
        auto* combo = m_dock->findChild<QComboBox*>(QString::fromLatin1(name));
        ASSERT_TRUE(combo) << name;
        combo->setCurrentIndex(combo->findData(data));
    }
    void activate(int row) {
        m_window->findChild<DatasetListWidget*>()->setCurrentRow(row);
        test::processEventsFor(20);
        ASSERT_EQ(m_window->activeDataset(), m_window->datasets()[row].get());
    }
    void selectFeatures(const std::set<std::string>& names) {
        m_dock->refreshDimRedFeatures(m_window->activeDataset());
        auto* list = m_dock->findChild<QListWidget*>(QStringLiteral("dimRedFeatureList"));
        ASSERT_TRUE(list);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(
                names.count(list->item(i)->text().toStdString()) ? Qt::Checked : Qt::Unchecked);
    }
    /// Starts a task whose work waits until release() (or the test's end).
    void startBlockingTask(std::function<void()> finish = {}) {
        m_release = false;
        auto release = m_releasePtr;
        m_window->startCalcTask(
            [release] {
                while (!release->load())
                    QThread::msleep(1);
            },
            finish ? std::move(finish) : [] {});
        ASSERT_TRUE(m_window->calcBusy());
    }
    void release() { m_releasePtr->store(true); }

    TempDir m_dir;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
    std::unique_ptr<MainWindow> m_window;
    CalculationsDockWidget* m_dock = nullptr;
    EModulus* m_emod = nullptr;
    std::shared_ptr<std::atomic<bool>> m_releasePtr = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool>& m_release = *m_releasePtr;
};

// ---- task protocol -----------------------------------------------------------------

TEST_F(MainWindowCalculations, OneTaskAtATimeDropsTheSecondRequestAndItsFinish) {
    DatasetEntry* entry = open("a.rtdc", 50);
    int firstFinished = 0, secondRan = 0;
    startBlockingTask([&] { ++firstFinished; });
    m_window->startCalcTask([&] { ++secondRan; }, [&] { ++secondRan; });
    // A compute action while busy is dropped too, without a message.
    emit m_dock->computeEmodulus();
    release();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(firstFinished, 1);
    EXPECT_EQ(secondRan, 0);
    EXPECT_FALSE(entry->reader->hasFeature("emodulus"));
    EXPECT_TRUE(m_dialogs.calls.empty());
}

TEST_F(MainWindowCalculations, RecordsStayWhileATaskRuns) {
    open("a.rtdc", 50);
    startBlockingTask();
    // Table: slot -> title of the refusal; the dataset stays either way.
    struct Case {
        const char* slot;
        const char* title;
    };
    for (const Case c :
         {Case{"removeDataset", "Cannot Remove"}, Case{"onAssessEmodQuality", "Assess Quality"}}) {
        m_dialogs.calls.clear();
        if (std::string(c.slot) == "onAssessEmodQuality")
            m_window->activeDataset()->emodApplied = true;
        ASSERT_TRUE(QMetaObject::invokeMethod(m_window.get(), c.slot));
        ASSERT_EQ(m_dialogs.calls.size(), 1u) << c.slot;
        EXPECT_EQ(m_dialogs.calls[0].title, c.title);
        EXPECT_EQ(m_dialogs.calls[0].text,
                  "A calculation is running. Please wait until it has finished.");
        EXPECT_EQ(m_window->datasets().size(), 1u);
    }
    EXPECT_TRUE(m_window->findChildren<EModQualityDialog*>().isEmpty());
    release();
    ASSERT_TRUE(waitIdle());
    m_dialogs.calls.clear();
    ASSERT_TRUE(QMetaObject::invokeMethod(m_window.get(), "removeDataset"));
    EXPECT_TRUE(m_window->datasets().empty());
}

TEST_F(MainWindowCalculations, ClosingWaitsForTheRunningTask) {
    open("a.rtdc", 20);
    auto returned = std::make_shared<std::atomic<bool>>(false);
    m_window->startCalcTask(
        [returned] {
            QThread::msleep(300);
            returned->store(true);
        },
        [] {});
    m_dialogs.buttonAnswers.push_back(QMessageBox::Discard); // no session to keep
    m_window->close();
    EXPECT_TRUE(returned->load());
}

TEST_F(MainWindowCalculations, RequestsWithoutInputsStartNothing) {
    open("a.rtdc", 30, 0.0, {{"chip region", "reservoir"}});
    // Table: all-datasets box, signal -> warning text (empty: no box).
    struct Case {
        const char* box;
        bool all;
        void (CalculationsDockWidget::*signal)();
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        {"fourierAll", false, &CalculationsDockWidget::computeFourierDeform, "Fourier Deformation",
         "This dataset has no segmentation masks."},
        {"fourierAll", true, &CalculationsDockWidget::computeFourierDeform, "Fourier Deformation",
         "No loaded dataset has segmentation masks."},
        {"imageFeaturesAll", false, &CalculationsDockWidget::computeImageFeatures, "Image Features",
         "This dataset has no images and/or segmentation masks."},
        {"imageFeaturesAll", true, &CalculationsDockWidget::computeImageFeatures, "Image Features",
         "No loaded dataset has both images and segmentation masks."},
        // A reservoir measurement has no Young's modulus: silently nothing.
        {"emodulusAll", false, &CalculationsDockWidget::computeEmodulus, "", ""},
    };
    for (const Case& c : cases) {
        m_dialogs.calls.clear();
        check(c.box, c.all);
        (m_dock->*c.signal)();
        EXPECT_FALSE(m_window->calcBusy()) << c.text;
        if (std::string(c.text).empty()) {
            EXPECT_TRUE(m_dialogs.calls.empty());
            continue;
        }
        ASSERT_EQ(m_dialogs.calls.size(), 1u) << c.text;
        EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
        EXPECT_EQ(m_dialogs.calls[0].title, c.title);
        EXPECT_EQ(m_dialogs.calls[0].text, c.text);
    }
    EXPECT_FALSE(m_window->datasets()[0]->reader->hasFeature("emodulus"));
}

// ---- Young's modulus ---------------------------------------------------------------

TEST_F(MainWindowCalculations, YoungsModulusOnTheActiveDatasetWithMissingConditions) {
    // No channel width, flow rate, pixel size or temperature in the
    // metadata: computed with the defaults, and the user is told which.
    DatasetEntry* entry = open("a.rtdc", 300);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(m_dialogs.calls[0].title, "Young's Modulus");
    EXPECT_EQ(m_dialogs.calls[0].text,
              "Computed with default values where the metadata gives no usable value:\n"
              "a.rtdc: channel width 20 \u00b5m, flow rate 0.04 \u00b5L/s, pixel size 0.34 "
              "\u00b5m, temperature 23 \u00b0C");
    EXPECT_TRUE(entry->emodApplied);
    EXPECT_GT(entry->emodParams.channelWidth, 0.0);
    EXPECT_GT(entry->emodParams.flowRate, 0.0);
    EXPECT_GT(entry->emodParams.pixelSize, 0.0);
    const auto& e = entry->reader->readScalarFeature("emodulus");
    ASSERT_EQ(e.size(), 300u);
    int finite = 0;
    for (double v : e)
        finite += std::isfinite(v) ? 1 : 0;
    EXPECT_GT(finite, 100);
    EXPECT_EQ(m_dock->progressBar()->format(), "%p%");
}

TEST_F(MainWindowCalculations, MissingOrUnusableTableIsReportedAndNothingApplied) {
    // Table: where the table is -> what the warning says. A table whose
    // points lie on one line was accepted and marked applied with no finite
    // modulus at all.
    const std::string line = m_dir.file("line");
    std::filesystem::create_directories(line + "/data");
    {
        std::ofstream out(line + "/data/LUT_LE_2D_FEM.txt");
        out << "area_um deform emodulus\n";
        for (int k = 0; k < 30; ++k)
            out << 20 + 5 * k << ' ' << 0.001 * k << ' ' << 1 + 0.1 * k << '\n';
    }
    const std::pair<std::string, const char*> cases[] = {
        {m_dir.file("nowhere"), "\"LUT_LE_2D_FEM.txt\" was not found"},
        {line, "no triangle to interpolate in"}};
    for (const auto& [dir, says] : cases) {
        m_window.reset();
        m_window = std::make_unique<MainWindow>();
        m_dock = m_window->findChild<CalculationsDockWidget*>();
        m_emod = m_window->findChild<EModulus*>();
        m_emod->setLUTSearchDir(QString::fromStdString(dir));
        m_dialogs.calls.clear();
        DatasetEntry* entry =
            open("a.rtdc", 30, 0.0,
                 {{"channel width", "20"}, {"flow rate", "0.04"}, {"temperature", "23"}});
        emit m_dock->computeEmodulus();
        ASSERT_TRUE(waitIdle());
        ASSERT_GE(m_dialogs.calls.size(), 1u) << says;
        EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
        EXPECT_EQ(m_dialogs.calls[0].title, "Young's Modulus");
        EXPECT_TRUE(m_dialogs.calls[0].text.contains(says))
            << m_dialogs.calls[0].text.toStdString();
        EXPECT_FALSE(entry->emodApplied) << says;
        EXPECT_FALSE(entry->reader->hasFeature("emodulus")) << says;
    }
}

TEST_F(MainWindowCalculations, AllDatasetsTakeTheActiveDatasetsRulesAndNameTheirDefaults) {
    // A metadata temperature of 0 computed at 23 °C for the active dataset
    // but failed for "all datasets" (an infinite viscosity at 0 °C).
    const std::vector<std::pair<std::string, std::string>> zero{{"medium", "Viscora"},
                                                                {"channel width", "20"},
                                                                {"flow rate", "0.04"},
                                                                {"temperature", "0"}};
    DatasetEntry* a = open("a.rtdc", 200, 0.0, zero);
    DatasetEntry* b = open("b.rtdc", 200, 2.0,
                           {{"medium", "Viscora"},
                            {"channel width", "20"},
                            {"flow rate", "inf"},
                            {"temperature", "24"}});
    activate(0);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(a->emodApplied);
    const std::vector<double> single = a->reader->readScalarFeature("emodulus");

    m_dialogs.calls.clear();
    check("emodulusAll", true);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    for (DatasetEntry* entry : {a, b})
        EXPECT_TRUE(entry->emodApplied) << entry->displayName.toStdString();
    EXPECT_DOUBLE_EQ(a->emodParams.temperature, 23.0);
    EXPECT_DOUBLE_EQ(b->emodParams.flowRate, 0.04);
    const std::vector<double>& all = a->reader->readScalarFeature("emodulus");
    ASSERT_EQ(all.size(), single.size());
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_TRUE(all[i] == single[i] || (std::isnan(all[i]) && std::isnan(single[i]))) << i;
    // One warning after the run, a line per dataset that took a default.
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].text,
              "Computed with default values where the metadata gives no usable value:\n"
              "a.rtdc: pixel size 0.34 \u00b5m, temperature 23 \u00b0C\n"
              "b.rtdc: flow rate 0.04 \u00b5L/s, pixel size 0.34 \u00b5m");
}

TEST_F(MainWindowCalculations, IsoelasticsWithoutATableSayWhyAndStayUnticked) {
    open("a.rtdc", 100);
    m_emod->setLUTSearchDir(QString::fromStdString(m_dir.file("nowhere")));
    auto* iso = m_window->findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"));
    ASSERT_TRUE(iso);
    iso->setChecked(true);
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].title, "Isoelastics");
    EXPECT_TRUE(m_dialogs.calls[0].text.contains("look-up table \"LUT_LE_2D_FEM.txt\" was not "
                                                 "found"));
    EXPECT_FALSE(iso->isChecked());

    // The combined plot window's box the same way.
    m_dialogs.calls.clear();
    CombinePlotWindow combine(&m_window->store(), m_window.get());
    auto* combineIso = combine.findChild<QCheckBox*>(QStringLiteral("isoCheck"));
    ASSERT_TRUE(combineIso);
    combineIso->setChecked(true);
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].title, "Isoelastics");
    EXPECT_FALSE(combineIso->isChecked());

    // With the table both stay ticked, without a word.
    m_dialogs.calls.clear();
    m_emod->setLUTSearchDir(QString::fromStdString(writeTable(m_dir)));
    iso->setChecked(true);
    combineIso->setChecked(true);
    EXPECT_TRUE(iso->isChecked() && combineIso->isChecked());
    EXPECT_TRUE(m_dialogs.calls.empty());
}

TEST_F(MainWindowCalculations, ClearSessionLeavesNoModulusStateBehind) {
    auto* eta = m_dock->findChild<QDoubleSpinBox*>(QStringLiteral("emodViscosity"));
    ASSERT_TRUE(eta);
    open("typed.rtdc", 50);
    ASSERT_FALSE(eta->isReadOnly());
    eta->setValue(3.0); // a viscosity entered for a medium without a model
    open("a.rtdc", 200, 0.0, {{"medium", "Viscora"}, {"channel width", "30"}});
    activate(1);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    m_window->findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"))->setChecked(true);
    m_window->flushPlotRequests();
    auto isolineItems = [&] {
        int count = 0;
        for (const QwtPlotItem* item : m_window->findChild<ScatterPlot*>()->itemList())
            count += item->z() == kIsolineCurveZ ? 1 : 0;
        return count;
    };
    ASSERT_GT(isolineItems(), 0);
    auto* assess = m_dock->findChild<QPushButton*>(QStringLiteral("emodAssessQuality"));
    ASSERT_TRUE(assess);
    ASSERT_TRUE(assess->isEnabled());
    ASSERT_GT(std::abs(eta->value() - 1.0), 0.1); // computed for Viscora

    m_dialogs.buttonAnswers.push_back(QMessageBox::Ok);
    ASSERT_TRUE(QMetaObject::invokeMethod(m_window.get(), "clearSession"));
    test::processEventsFor(20);
    ASSERT_TRUE(m_window->datasets().empty());
    EXPECT_EQ(isolineItems(), 0);
    EXPECT_FALSE(m_window->findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"))->isChecked());
    EXPECT_FALSE(assess->isEnabled());
    for (const char* name : {"emodMedium", "emodChannelWidth"})
        EXPECT_EQ(m_dock->findChild<QLabel*>(QString::fromLatin1(name))->text(), "\u2014") << name;

    // The next measurement, without a medium, starts from the viscosity of a
    // fresh start, neither the one computed for Viscora nor the one typed
    // for the cleared session; so does its modulus.
    DatasetEntry* bare = open("b.rtdc", 200);
    EXPECT_DOUBLE_EQ(eta->value(), 1.0);
    EXPECT_EQ(isolineItems(), 0);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(bare->emodApplied);
    EXPECT_EQ(bare->emodParams.viscosityModel, static_cast<int>(ViscosityModel::Manual));
    EXPECT_DOUBLE_EQ(bare->emodParams.viscosity, 1.0);
}

TEST_F(MainWindowCalculations, EachDatasetShowsItsOwnConditionsAndWhyComputeIsOff) {
    open("a.rtdc", 50, 0.0, {{"medium", "Viscora"}, {"channel width", "30"}});
    const std::string bare = m_dir.file("bare.rtdc");
    {
        RtdcFixtureWriter w(bare); // no setup metadata, no deformation
        w.addColumn<double>("area_um", {40.0, 50.0, 60.0});
        w.addColumn<double>("feat_a", {1.0, 2.0, 3.0});
    }
    m_window->addDataset(QString::fromStdString(bare));
    ASSERT_TRUE(test::waitUntil([&] {
        return m_window->datasets().size() == 2 && m_window->datasets().back()->featuresLoaded;
    }));
    auto label = [&](const char* name) {
        return m_dock->findChild<QLabel*>(QString::fromLatin1(name));
    };
    auto* compute = m_dock->findChild<QPushButton*>(QStringLiteral("emodCompute"));
    ASSERT_TRUE(compute);
    // Table: row -> medium, channel width, compute enabled, reason shown.
    struct Case {
        int row;
        const char* medium;
        const char* width;
        bool enabled;
    };
    for (const Case c : {Case{1, "\u2014 (unknown)", "20 \u00b5m (default)", false},
                         Case{0, "Viscora", "30 \u00b5m", true},
                         Case{1, "\u2014 (unknown)", "20 \u00b5m (default)", false}}) {
        activate(c.row);
        EXPECT_EQ(label("emodMedium")->text(), c.medium) << c.row;
        EXPECT_EQ(label("emodChannelWidth")->text(), c.width) << c.row;
        EXPECT_EQ(compute->isEnabled(), c.enabled) << c.row;
        EXPECT_EQ(label("emodUnavailableReason")->isVisibleTo(m_dock), !c.enabled) << c.row;
        if (!c.enabled) {
            EXPECT_TRUE(label("emodUnavailableReason")->text().contains("\"deform\""));
        }
    }
}

TEST_F(MainWindowCalculations, AllDatasetsShowDatasetKOfNAndSkipReservoirs) {
    open("a.rtdc", 600);
    open("r.rtdc", 600, 0.0, {{"chip region", "reservoir"}});
    open("b.rtdc", 600, 3.0);
    open("c.rtdc", 600, 5.0);
    check("emodulusAll", true);
    std::vector<QString> formats;
    QObject::connect(
        m_emod, &EModulus::progressChanged, m_dock->progressBar(),
        [&](int) {
            if (formats.empty() || formats.back() != m_dock->progressBar()->format())
                formats.push_back(m_dock->progressBar()->format());
        },
        Qt::QueuedConnection);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(formats, (std::vector<QString>{QStringLiteral("Dataset 1 of 3 \u2014 %p%"),
                                             QStringLiteral("Dataset 2 of 3 \u2014 %p%"),
                                             QStringLiteral("Dataset 3 of 3 \u2014 %p%")}));
    const std::vector<bool> applied{true, false, true, true};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(m_window->datasets()[i]->emodApplied, applied[i]) << i;
        EXPECT_EQ(m_window->datasets()[i]->reader->hasFeature("emodulus"), applied[i]) << i;
    }
}

TEST_F(MainWindowCalculations, RecomputationsReleaseReplacedColumns) {
    DatasetEntry* entry = open("a.rtdc", 200);
    std::vector<std::weak_ptr<const std::vector<double>>> columns;
    for (int run = 0; run < 20; ++run) {
        emit m_dock->computeEmodulus();
        ASSERT_TRUE(waitIdle());
        columns.push_back(entry->reader->featureColumn("emodulus"));
        // Every column replaced so far is freed; only the current one lives.
        for (size_t k = 0; k + 1 < columns.size(); ++k)
            EXPECT_TRUE(columns[k].expired()) << "run " << run << " column " << k;
        EXPECT_FALSE(columns.back().expired());
    }
}

TEST_F(MainWindowCalculations, QualityReportIgnoresRulesOnTheModulus) {
    DatasetEntry* entry = open("a.rtdc", 200);
    emit m_dock->computeEmodulus();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(entry->emodApplied);
    // Table: a rule that keeps no event, on which feature -> report empty?
    struct Case {
        const char* feature;
        bool empty;
    };
    for (const Case c : {Case{"emodulus", false}, Case{"area_um", true}}) {
        entry->filter = EventFilter();
        FilterRule rule;
        rule.type = 0;
        rule.featureName = c.feature;
        rule.minValue = 1e8;
        rule.maxValue = 1e9;
        rule.enabled = true;
        entry->filter.addRule(rule);
        for (auto* old : m_window->findChildren<EModQualityDialog*>())
            delete old;
        emit m_dock->assessEmodQuality();
        const auto dialogs = m_window->findChildren<EModQualityDialog*>();
        ASSERT_EQ(dialogs.size(), 1) << c.feature;
        bool saysEmpty = false;
        for (QLabel* label : dialogs[0]->findChildren<QLabel*>())
            saysEmpty = saysEmpty || label->text() == "No data available for quality assessment.";
        EXPECT_EQ(saysEmpty, c.empty) << c.feature;
    }
}

// ---- dimension reduction -----------------------------------------------------------

TEST_F(MainWindowCalculations, PooledPcaListsDatasetsLackingAFeature) {
    open("a.rtdc", 80);
    open("b.rtdc", 60, 2.0);
    open("lacking.rtdc", 40, 0.0, {}, false);
    activate(0);
    selectFeatures({"feat_a", "feat_b", "area_um"});
    choose("dimRedFitScope", 1);
    choose("dimRedApplyScope", 1);
    m_dialogs.buttonAnswers.push_back(QMessageBox::Yes);
    emit m_dock->computeDimReduction();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(m_dialogs.calls.size(), 2u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Question);
    EXPECT_EQ(m_dialogs.calls[0].text,
              "These datasets lack one or more selected features and will be left out:\n\n"
              "lacking.rtdc\n\nContinue?");
    EXPECT_EQ(m_dialogs.calls[1].kind, DialogCall::Information);
    EXPECT_TRUE(m_dialogs.calls[1].text.startsWith("Fitted on 140 events from 2 dataset(s).\n"));
    const std::vector<bool> written{true, true, false};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(m_window->datasets()[i]->reader->hasFeature("dim_1"), written[i]) << i;
    ASSERT_TRUE(m_window->dimRedReference());
    EXPECT_EQ(m_window->dimRedReference()->model.nTrain, 140u);
    EXPECT_EQ(m_window->dimRedReference()->fit_datasets, "a.rtdc, b.rtdc");

    // Answering No stops before any task.
    m_dialogs.calls.clear();
    m_dialogs.buttonAnswers.push_back(QMessageBox::No);
    const auto* before = m_window->dimRedReference();
    emit m_dock->computeDimReduction();
    EXPECT_FALSE(m_window->calcBusy());
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_window->dimRedReference(), before);
}

// The fit set and the apply scope are chosen apart: a fit on the active
// dataset may be applied to all, a pooled fit to the active one alone.
TEST_F(MainWindowCalculations, PcaWritesCoordinatesToExactlyTheDatasetsOfTheApplyScope) {
    struct Case {
        const char* label;
        int fitScope;   // 0: this dataset, 1: all datasets
        int applyScope; // 0: this dataset, 1: all datasets
        size_t nTrain;
        std::vector<bool> written;
    };
    const Case cases[] = {
        {"fit this, apply all", 0, 1, 60, {true, true, true}},
        {"fit all, apply this", 1, 0, 190, {false, true, false}},
        {"fit this, apply this", 0, 0, 60, {false, true, false}},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_window = std::make_unique<MainWindow>();
        m_dock = m_window->findChild<CalculationsDockWidget*>();
        ASSERT_TRUE(m_dock);
        const std::string tag = std::to_string(run++);
        open("a" + tag + ".rtdc", 80);
        open("b" + tag + ".rtdc", 60, 2.0);
        open("c" + tag + ".rtdc", 50, 1.0);
        activate(1);
        selectFeatures({"feat_a", "feat_b", "area_um"});
        choose("dimRedFitScope", c.fitScope);
        choose("dimRedApplyScope", c.applyScope);
        m_dialogs.calls.clear();
        emit m_dock->computeDimReduction();
        ASSERT_TRUE(waitIdle());
        ASSERT_EQ(m_dialogs.calls.size(), 1u);
        EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Information);
        ASSERT_TRUE(m_window->dimRedReference());
        EXPECT_EQ(m_window->dimRedReference()->model.nTrain, c.nTrain);
        for (size_t i = 0; i < 3; ++i) {
            RTDCReader& reader = *m_window->datasets()[i]->reader;
            EXPECT_EQ(reader.hasFeature("dim_1"), c.written[i]) << i;
            EXPECT_EQ(reader.hasFeature("dim_2"), c.written[i]) << i;
            if (c.written[i]) {
                EXPECT_EQ(reader.readScalarFeature("dim_1").size(), reader.getEventCount()) << i;
            }
        }
    }
}

TEST_F(MainWindowCalculations, ReferenceSaveLoadApplyAndADamagedFileKeepsThePrevious) {
    open("a.rtdc", 80);
    DatasetEntry* b = open("b.rtdc", 50, 1.0);
    activate(0);
    selectFeatures({"feat_a", "feat_b"});
    emit m_dock->computeDimReduction(); // active: the first dataset
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(m_window->dimRedReference());
    const DimRedReference fitted = *m_window->dimRedReference();

    // Save, then load a damaged file: the reference stays the fitted one.
    const std::string saved = m_dir.file("ref");
    m_dialogs.calls.clear();
    m_dialogs.fileAnswers.push_back(QString::fromStdString(saved));
    m_dialogs.filterAnswers.push_back("Quorvex3 Dimension Reduction (*.qv3dr)");
    emit m_dock->saveDimRedReference();
    ASSERT_TRUE(std::filesystem::exists(saved + ".qv3dr"));
    const std::string damaged = m_dir.file("damaged.qv3dr");
    std::ofstream(damaged) << "not a reference";
    m_dialogs.fileAnswers.push_back(QString::fromStdString(damaged));
    emit m_dock->loadDimRedReference();
    ASSERT_FALSE(m_dialogs.calls.empty());
    EXPECT_EQ(m_dialogs.calls.back().kind, DialogCall::Critical);
    EXPECT_EQ(m_dialogs.calls.back().title, "Load Reference");
    EXPECT_TRUE(m_dialogs.calls.back().text.startsWith("Could not read this reference:\n"));
    ASSERT_TRUE(m_window->dimRedReference());
    EXPECT_EQ(m_window->dimRedReference()->model.loading1, fitted.model.loading1);

    // Load the saved file and apply it to the second dataset only.
    m_dialogs.fileAnswers.push_back(QString::fromStdString(saved + ".qv3dr"));
    emit m_dock->loadDimRedReference();
    ASSERT_TRUE(m_window->dimRedReference());
    EXPECT_EQ(m_window->dimRedReference()->model.features, fitted.model.features);
    ASSERT_FALSE(b->reader->hasFeature("dim_1"));
    // Apply with "Use reference" to every dataset.
    choose("dimRedFitScope", 2);
    choose("dimRedApplyScope", 1);
    m_dialogs.calls.clear();
    emit m_dock->computeDimReduction();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].title, "Apply Reference");
    EXPECT_TRUE(m_dialogs.calls[0].text.startsWith(
        "Applied ref.qv3dr to 2 dataset(s) without refitting.\n\n"));
    // PCA: the second dataset's coordinates are the projection of its values.
    const auto& x = b->reader->readScalarFeature("dim_1");
    const auto& fa = b->reader->readScalarFeature("feat_a");
    const auto& fb = b->reader->readScalarFeature("feat_b");
    ASSERT_EQ(x.size(), 50u);
    const DimRedModel& m = fitted.model;
    for (size_t i = 0; i < 50; ++i) {
        const double expect = (fa[i] - m.centre[0]) / m.scale[0] * m.loading1[0] +
                              (fb[i] - m.centre[1]) / m.scale[1] * m.loading1[1];
        EXPECT_NEAR(x[i], expect, 1e-12 * (1 + std::fabs(expect))) << i;
    }
}

TEST_F(MainWindowCalculations, SavingWithoutAReferenceOpensNoDialog) {
    open("a.rtdc", 20);
    emit m_dock->saveDimRedReference();
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Information);
    EXPECT_EQ(m_dialogs.calls[0].text,
              "Fit a dimension reduction first \u2014 there is no projection to save.");
}

} // namespace
} // namespace Quorvex3
