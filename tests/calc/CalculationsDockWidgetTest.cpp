// The calculations dock: what the compute actions read back from it and the
// rules that switch its controls.

#include "calc/CalculationsDockWidget.h"

#include "calc/EModulus.h"
#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace Quorvex3 {

namespace {

template <typename T> T* named(const QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

template <typename T> T* withText(const QWidget* parent, const QString& text) {
    for (T* widget : parent->findChildren<T*>())
        if (widget->text() == text)
            return widget;
    ADD_FAILURE() << "no widget with text " << text.toStdString();
    return nullptr;
}

QGroupBox* titled(const QWidget* parent, const QString& title) {
    for (QGroupBox* box : parent->findChildren<QGroupBox*>())
        if (box->title() == title)
            return box;
    ADD_FAILURE() << "no group " << title.toStdString();
    return nullptr;
}

QStringList comboTexts(const QComboBox* combo) {
    QStringList texts;
    for (int row = 0; row < combo->count(); ++row)
        texts << combo->itemText(row);
    return texts;
}

bool itemEnabled(const QComboBox* combo, int row) {
    const auto* model = qobject_cast<const QStandardItemModel*>(combo->model());
    return model && model->item(row)->isEnabled();
}

RTDCMetadata viscoraMetadata() {
    RTDCMetadata metadata;
    metadata.setup = {{"channel width", "20"}, {"flow rate", "0.04"}, {"medium", "Viscora"}};
    metadata.imaging = {{"pixel size", "0.34"}};
    return metadata;
}

double viscosityOf(ViscosityModel model, EModMedium medium, double temperature) {
    EModParams params;
    params.viscosityModel = static_cast<int>(model);
    params.medium = static_cast<int>(medium);
    params.channelWidth = 20.0;
    params.flowRate = 0.04;
    // The box shows three decimals.
    return std::round(EModulus::computeViscosity(params, temperature) * 1000.0) / 1000.0;
}

} // namespace

// ---- spillover table -------------------------------------------------------------

TEST(CalculationsDockSpillover, TableHeadersDiagonalParsingAndRestore) {
    CalculationsDockWidget dock;
    auto* table = named<QTableWidget>(&dock, "spilloverTable");
    dock.buildSpilloverTable({1, 2, 3});
    QStringList headers;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(table->horizontalHeaderItem(i)->text(), table->verticalHeaderItem(i)->text());
        headers << table->horizontalHeaderItem(i)->text();
    }
    EXPECT_EQ(headers, QStringList({"FL-1", "FL-2", "FL-3"}));
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            EXPECT_EQ(item->text(), r == c ? "1.0" : "0.0");
            EXPECT_EQ(bool(item->flags() & Qt::ItemIsEditable), r != c) << r << c;
            if (r == c) {
                EXPECT_EQ(item->background().color(), QColor(230, 230, 230));
            }
        }
    }
    EXPECT_TRUE(arma::approx_equal(dock.readSpilloverMatrix(), arma::eye(3, 3), "absdiff", 0));

    // Numbers are read where they are; text reads as 0; the diagonal is 1
    // whatever it shows.
    table->item(0, 1)->setText("0.125");
    table->item(2, 0)->setText("-3e-2");
    table->item(1, 2)->setText("abc");
    table->item(1, 1)->setText("7");
    arma::mat expected = arma::eye(3, 3);
    expected(0, 1) = 0.125;
    expected(2, 0) = -0.03;
    EXPECT_TRUE(arma::approx_equal(dock.readSpilloverMatrix(), expected, "absdiff", 0));

    // A stored matrix goes into the off-diagonal cells (6 significant
    // digits); one of another size changes nothing.
    arma::mat stored = {{9.0, 0.1234567, 0.2}, {0.3, 9.0, 0.0}, {1e-7, 0.5, 9.0}};
    dock.restoreSpilloverMatrix(arma::mat(2, 2, arma::fill::value(0.9)), {1, 2, 3});
    EXPECT_EQ(table->item(0, 1)->text(), "0.125");
    dock.restoreSpilloverMatrix(stored, {1, 2, 3});
    EXPECT_EQ(table->item(0, 1)->text(), "0.123457");
    EXPECT_EQ(table->item(2, 0)->text(), "1e-07");
    EXPECT_EQ(table->item(1, 1)->text(), "7");
    arma::mat restored = stored;
    restored.diag().ones();
    restored(0, 1) = 0.123457;
    EXPECT_TRUE(arma::approx_equal(dock.readSpilloverMatrix(), restored, "absdiff", 1e-15));

    // Rebuilding for other channels starts from the identity again.
    dock.buildSpilloverTable({2, 4});
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "FL-4");
    EXPECT_TRUE(arma::approx_equal(dock.readSpilloverMatrix(), arma::eye(2, 2), "absdiff", 0));
}

// ---- dimension reduction ---------------------------------------------------------

class CalculationsDockDimRed : public ::testing::Test {
protected:
    void SetUp() override {
        m_fitScope = named<QComboBox>(&m_dock, "dimRedFitScope");
        m_method = named<QComboBox>(&m_dock, "dimRedMethod");
        m_list = named<QListWidget>(&m_dock, "dimRedFeatureList");
        m_compute = withText<QPushButton>(&m_dock, "Compute Dimension Reduction");
        m_save = withText<QPushButton>(&m_dock, "Save Reference\u2026");
        m_load = withText<QPushButton>(&m_dock, "Load Reference\u2026");
        m_info = named<QLabel>(&m_dock, "dimRedReferenceInfo");
    }

    DatasetEntry entryWith(const std::string& name, const std::vector<std::string>& features) {
        const std::string path = m_dir.file(name);
        {
            testing::RtdcFixtureWriter writer(path);
            for (const std::string& feature : features)
                writer.addColumn<float>(feature, {1.f, 2.f, 3.f});
            writer.addImageStack("image", 3, 2, 2, std::vector<uint8_t>(12, 5));
        }
        DatasetEntry entry;
        entry.reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(entry.reader->openFile(path));
        return entry;
    }

    void check(int row, bool checked) {
        m_list->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }

    testing::TempDir m_dir;
    CalculationsDockWidget m_dock;
    QComboBox* m_fitScope = nullptr;
    QComboBox* m_method = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_compute = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_load = nullptr;
    QLabel* m_info = nullptr;
};

TEST_F(CalculationsDockDimRed, FeatureListKeepsCheckedNamesAcrossDatasets) {
    DatasetEntry first = entryWith("a.rtdc", {"area_um", "deform", "dim_1", "dim_2", "bright_avg"});
    DatasetEntry second = entryWith("b.rtdc", {"deform", "bright_avg", "area_um"});
    m_dock.setActiveDataset(&first);
    QStringList names;
    for (int row = 0; row < m_list->count(); ++row) {
        names << m_list->item(row)->data(Qt::UserRole).toString();
        EXPECT_EQ(m_list->item(row)->toolTip(), names.back());
    }
    EXPECT_FALSE(names.contains("dim_1") || names.contains("dim_2") || names.contains("image"));
    ASSERT_EQ(names.size(), 3);
    // Check "deform" and "bright_avg"; the second dataset lists them again.
    check(static_cast<int>(names.indexOf("deform")), true);
    check(static_cast<int>(names.indexOf("bright_avg")), true);
    m_dock.refreshDimRedFeatures(&second);
    std::vector<std::string> selected = m_dock.selectedDimRedFeatures();
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<std::string>{"bright_avg", "deform"}));
    EXPECT_TRUE(m_compute->isEnabled());
    // No dataset: nothing to choose, nothing to compute.
    m_dock.setActiveDataset(nullptr);
    EXPECT_EQ(m_list->count(), 0);
    EXPECT_FALSE(m_compute->isEnabled());
}

TEST_F(CalculationsDockDimRed, ComputeNeedsTwoFeaturesOrAReferenceAndNeverWhileBusy) {
    DatasetEntry entry = entryWith("a.rtdc", {"area_um", "deform", "bright_avg"});
    m_dock.setActiveDataset(&entry);
    // Checked features, fit scope row, reference present, busy -> enabled.
    // clang-format off
    for (const auto& [features, fitRow, reference, busy, enabled] : {
             std::tuple{1, 0, false, false, false},
             std::tuple{2, 0, false, false, true},
             std::tuple{2, 1, false, false, true},
             std::tuple{2, 0, false, true, false},
             std::tuple{0, 2, true, false, true},   // the reference brings its features
             std::tuple{3, 2, true, true, false}}) {
        // clang-format on
        for (int row = 0; row < m_list->count(); ++row)
            check(row, row < features);
        m_dock.setDimRedReferenceInfo(reference ? "PCA on 3 features" : "", reference);
        m_fitScope->setCurrentIndex(fitRow);
        m_dock.setDimRedBusy(busy);
        EXPECT_EQ(m_compute->isEnabled(), enabled) << features << fitRow << reference << busy;
        // Busy locks the inputs and both reference buttons.
        EXPECT_EQ(m_list->isEnabledTo(m_list->parentWidget()), !busy);
        EXPECT_EQ(m_fitScope->isEnabled(), !busy);
        EXPECT_EQ(m_load->isEnabled(), !busy);
        EXPECT_EQ(m_save->isEnabled(), reference && !busy);
        // With a reference its axes decide: method, features and clusters
        // are not the user's to change.
        const bool editable = fitRow != 2 && !busy;
        EXPECT_EQ(m_method->isEnabled(), editable);
        EXPECT_EQ(titled(&m_dock, "Input Features")->isEnabled(), editable);
        EXPECT_EQ(titled(&m_dock, "Label clusters (DBSCAN)")->isEnabled(), editable);
        m_dock.setDimRedBusy(false);
    }
}

TEST_F(CalculationsDockDimRed, ReferenceInfoAndTheUseReferenceChoice) {
    EXPECT_FALSE(itemEnabled(m_fitScope, 2));
    m_dock.setDimRedReferenceInfo("UMAP, 4 features, fitted on 2 datasets", true);
    EXPECT_EQ(m_info->text(), "UMAP, 4 features, fitted on 2 datasets");
    EXPECT_TRUE(itemEnabled(m_fitScope, 2));
    EXPECT_TRUE(m_save->isEnabled());
    m_fitScope->setCurrentIndex(2);
    EXPECT_EQ(m_dock.dimRedFitScope(), 2);
    // The reference is gone: back to "This dataset" and the empty-state text.
    m_dock.setDimRedReferenceInfo("", false);
    EXPECT_EQ(m_fitScope->currentIndex(), 0);
    EXPECT_EQ(m_dock.dimRedFitScope(), 0);
    EXPECT_FALSE(itemEnabled(m_fitScope, 2));
    EXPECT_FALSE(m_save->isEnabled());
    EXPECT_EQ(m_info->text(), "No reference fitted or loaded yet.");
}

TEST_F(CalculationsDockDimRed, UmapGroupAndParametersFollowTheMethod) {
    auto* umap = titled(&m_dock, "UMAP Parameters");
    named<QComboBox>(&m_dock, "calcSectionSelector")->setCurrentIndex(5);
    m_dock.show();
    m_method->setCurrentIndex(1);
    EXPECT_TRUE(umap->isVisible());
    EXPECT_EQ(m_dock.dimRedMethod(), 1);
    m_dock.setDimRedReferenceInfo("ref", true);
    m_fitScope->setCurrentIndex(2);
    EXPECT_FALSE(umap->isVisible());
    m_fitScope->setCurrentIndex(1);
    EXPECT_TRUE(umap->isVisible());
    m_method->setCurrentIndex(0);
    EXPECT_FALSE(umap->isVisible());

    // The values set by the user reach the parameter record; the rest keep
    // their defaults.
    const auto spins = umap->findChildren<QSpinBox*>();
    ASSERT_EQ(spins.size(), 3); // neighbours, epochs, seed in form order
    spins[0]->setValue(30);
    spins[1]->setValue(0);
    spins[2]->setValue(7);
    umap->findChild<QDoubleSpinBox*>()->setValue(0.25);
    umap->findChild<QComboBox*>()->setCurrentIndex(1);
    const UmapParams params = m_dock.umapParams();
    EXPECT_EQ(params.n_neighbors, 30);
    EXPECT_EQ(params.n_epochs, 0);
    EXPECT_EQ(params.seed, 7u);
    EXPECT_DOUBLE_EQ(params.min_dist, 0.25);
    EXPECT_EQ(params.init, 1);
    EXPECT_EQ(params.negative_sample_rate, 5);

    // Clustering: the radius is the user's only with "Auto" off.
    auto* cluster = titled(&m_dock, "Label clusters (DBSCAN)");
    cluster->setChecked(true);
    auto* automatic = withText<QCheckBox>(&m_dock, "Auto");
    auto* radius = cluster->findChild<QDoubleSpinBox*>();
    automatic->setChecked(false);
    EXPECT_TRUE(radius->isEnabled());
    radius->setValue(0.75);
    EXPECT_TRUE(m_dock.dimRedClusterEnabled());
    EXPECT_FALSE(m_dock.dimRedClusterEpsAuto());
    EXPECT_DOUBLE_EQ(m_dock.dimRedClusterEps(), 0.75);
    automatic->setChecked(true);
    EXPECT_FALSE(radius->isEnabled());
}

// ---- sections, buttons and signals -----------------------------------------------

TEST(CalculationsDockSections, ExpertModeOffLeavesOnlyTheFirstTwoSections) {
    CalculationsDockWidget dock;
    auto* selector = named<QComboBox>(&dock, "calcSectionSelector");
    auto* view = qobject_cast<QListView*>(selector->view());
    ASSERT_NE(view, nullptr);
    selector->setCurrentIndex(5);
    dock.setExpertMode(false);
    EXPECT_EQ(selector->currentText(), "Young's Modulus");
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(itemEnabled(selector, row), row < 2) << row;
        EXPECT_EQ(view->isRowHidden(row), row >= 2) << row;
    }
    dock.setExpertMode(true);
    for (int row = 0; row < 6; ++row)
        EXPECT_TRUE(itemEnabled(selector, row) && !view->isRowHidden(row)) << row;
}

TEST(CalculationsDockSections, ButtonsEmitTheirRequestsAndNoDatasetDisablesThem) {
    CalculationsDockWidget dock;
    // clang-format off
    const std::vector<std::pair<QString, void (CalculationsDockWidget::*)()>> buttons{
        {"Refine Fluorescence", &CalculationsDockWidget::refineFluorescence},
        {"Compensate Crosstalk", &CalculationsDockWidget::compensateCrosstalk},
        {"Compute Young's Modulus", &CalculationsDockWidget::computeEmodulus},
        {"Assess Quality", &CalculationsDockWidget::assessEmodQuality},
        {"Compute Fourier Deformation", &CalculationsDockWidget::computeFourierDeform},
        {"Compute Image Features", &CalculationsDockWidget::computeImageFeatures},
        {"Save Reference\u2026", &CalculationsDockWidget::saveDimRedReference},
        {"Load Reference\u2026", &CalculationsDockWidget::loadDimRedReference}};
    // clang-format on
    dock.setRefineEnabled(true);
    dock.setCompensationVisible(true);
    dock.setEmodulusEnabled(true);
    dock.setAssessQualityVisible(true);
    dock.setFourierEnabled(true);
    dock.setImageFeaturesEnabled(true);
    dock.setDimRedReferenceInfo("r", true);
    for (const auto& [text, signal] : buttons) {
        QSignalSpy spy(&dock, signal);
        QPushButton* button = withText<QPushButton>(&dock, text);
        ASSERT_TRUE(button && button->isEnabled()) << text.toStdString();
        button->click();
        EXPECT_EQ(spy.count(), 1) << text.toStdString();
    }
    QSignalSpy trace(&dock, &CalculationsDockWidget::traceDisplayChanged);
    withText<QCheckBox>(&dock, "Show Refined Trace")->setChecked(false);
    EXPECT_EQ(trace.count(), 1);
    EXPECT_FALSE(dock.isShowRefinedTrace());

    dock.setActiveDataset(nullptr);
    for (const QString text : {"Refine Fluorescence", "Compensate Crosstalk",
                               "Compute Young's Modulus", "Compute Fourier Deformation"})
        EXPECT_FALSE(withText<QPushButton>(&dock, text)->isEnabled()) << text.toStdString();
}

TEST(CalculationsDockSections, RefineSettingsComeFromTheFilterRows) {
    CalculationsDockWidget dock;
    withText<QCheckBox>(&dock, "Hampel 1")->setChecked(false);
    withText<QCheckBox>(&dock, "Median")->setChecked(true);
    auto* group = titled(&dock, "Trace Filters");
    const auto ks = group->findChildren<QSpinBox*>();
    ASSERT_EQ(ks.size(), 5);
    for (int i = 0; i < 5; ++i)
        ks[i]->setValue(10 + i); // Hampel 1, Hampel 2, Median, Rolling Avg, Savitzky-Golay
    const FLRefineSettings settings = dock.readRefineSettings();
    EXPECT_FALSE(settings.hampel1Enabled);
    EXPECT_TRUE(settings.medianEnabled);
    EXPECT_EQ(std::vector<int>({settings.hampel1K, settings.hampel2K, settings.medianK,
                                settings.rollingAvgK, settings.savgolK}),
              std::vector<int>({10, 11, 12, 13, 14}));
    EXPECT_FLOAT_EQ(settings.hampel2Threshold, 3.0f);
}

// ---- Young's modulus inputs ------------------------------------------------------

class CalculationsDockEmod : public ::testing::Test {
protected:
    void SetUp() override {
        m_medium = named<QLabel>(&m_dock, "emodMedium");
        m_width = named<QLabel>(&m_dock, "emodChannelWidth");
        m_flow = named<QLabel>(&m_dock, "emodFlowRate");
        m_pixel = named<QLabel>(&m_dock, "emodPixelSize");
        m_models = named<QComboBox>(&m_dock, "emodViscosityModel");
        m_eta = named<QDoubleSpinBox>(&m_dock, "emodViscosity");
        m_temperature = named<QDoubleSpinBox>(&m_dock, "emodTemperature");
        m_manual = withText<QRadioButton>(&m_dock, "Manual");
        m_meta = withText<QRadioButton>(&m_dock, "Meta");
        m_event = withText<QRadioButton>(&m_dock, "Event");
        m_dock.show();
    }

    CalculationsDockWidget m_dock;
    QLabel* m_medium = nullptr;
    QLabel* m_width = nullptr;
    QLabel* m_flow = nullptr;
    QLabel* m_pixel = nullptr;
    QComboBox* m_models = nullptr;
    QDoubleSpinBox* m_eta = nullptr;
    QDoubleSpinBox* m_temperature = nullptr;
    QRadioButton* m_manual = nullptr;
    QRadioButton* m_meta = nullptr;
    QRadioButton* m_event = nullptr;
};

TEST_F(CalculationsDockEmod, ConditionsAndMediumFromMetadata) {
    RTDCMetadata metadata = viscoraMetadata();
    metadata.setup["temperature"] = "25";
    m_dock.populateEmodulusDefaults(metadata, false);
    EXPECT_EQ(m_width->text(), "20 \u00b5m");
    EXPECT_EQ(m_flow->text(), "0.04 \u00b5L/s");
    EXPECT_EQ(m_pixel->text(), "0.34 \u00b5m");
    EXPECT_EQ(m_medium->text(), "Viscora");
    EXPECT_EQ(comboTexts(m_models), QStringList{"Herold-2017"});
    EXPECT_TRUE(m_eta->isReadOnly());
    EXPECT_DOUBLE_EQ(m_eta->value(),
                     viscosityOf(ViscosityModel::Herold2017, EModMedium::Viscora, 25.0));

    // Medium text -> label, offered model, whether η is the user's to enter.
    // clang-format off
    for (const auto& [text, label, model, editable] : {
             std::tuple<QString, QString, QString, bool>{"water", "Water", "Kestin-1978", false},
             {"WATER", "WATER (unknown)", "Manual", true},
             {"MC-PBS 0.83%", "0.83% MC-PBS", "Manual", true},
             {"", "\u2014 (unknown)", "Manual", true},
             {"ViscoraB", "ViscoraB", "Herold-2017", false}}) {
        // clang-format on
        metadata.setup["medium"] = text.toStdString();
        m_dock.populateEmodulusDefaults(metadata, false);
        EXPECT_EQ(m_medium->text(), label) << text.toStdString();
        EXPECT_EQ(comboTexts(m_models), QStringList{model}) << text.toStdString();
        EXPECT_EQ(m_eta->isReadOnly(), !editable) << text.toStdString();
    }
    EXPECT_DOUBLE_EQ(m_eta->value(),
                     viscosityOf(ViscosityModel::Herold2017, EModMedium::ViscoraB, 25.0));

    // The page's parameters for the active dataset.
    const EModParams params = m_dock.readEmodulusParams();
    EXPECT_EQ(params.medium, static_cast<int>(EModMedium::ViscoraB));
    EXPECT_EQ(params.viscosityModel, static_cast<int>(ViscosityModel::Herold2017));
    EXPECT_DOUBLE_EQ(params.viscosity, m_eta->value());
    EXPECT_DOUBLE_EQ(params.channelWidth, 20.0);
    EXPECT_DOUBLE_EQ(params.flowRate, 0.04);
    EXPECT_DOUBLE_EQ(params.pixelSize, 0.34);
    EXPECT_EQ(params.temperatureSource, static_cast<int>(TemperatureSource::Metadata));
    EXPECT_DOUBLE_EQ(params.temperature, 25.0);
}

TEST_F(CalculationsDockEmod, MissingConditionsShowADashAndComputeWithDefaults) {
    RTDCMetadata metadata;
    metadata.setup = {{"medium", "Viscora"}, {"channel width", "abc"}, {"flow rate", "0"}};
    metadata.imaging = {{"pixel size", "0.265"}};
    m_dock.populateEmodulusDefaults(metadata, false);
    // The default the computation takes is shown as such.
    EXPECT_EQ(m_width->text(), "20 \u00b5m (default)");
    EXPECT_EQ(m_flow->text(), "0.04 \u00b5L/s (default)");
    EXPECT_EQ(m_pixel->text(), "0.265 \u00b5m");
    EXPECT_DOUBLE_EQ(CalculationsDockWidget::parseLabelValue(m_width, " \u00b5m"), 0.0);
    EXPECT_DOUBLE_EQ(CalculationsDockWidget::parseLabelValue(m_pixel, " \u00b5m"), 0.265);
    // The shear-dependent viscosity is computed for the default channel.
    EXPECT_DOUBLE_EQ(m_eta->value(),
                     viscosityOf(ViscosityModel::Herold2017, EModMedium::Viscora, 23.0));
    // Never an all-NaN modulus from a missing condition: the defaults every
    // dataset starts with fill in; what the metadata has is kept.
    const EModParams params = m_dock.readEmodulusParams();
    EXPECT_DOUBLE_EQ(params.channelWidth, 20.0);
    EXPECT_DOUBLE_EQ(params.flowRate, 0.04);
    EXPECT_DOUBLE_EQ(params.pixelSize, 0.265);
    const EModParams other = m_dock.buildParamsForDataset(metadata, false);
    EXPECT_DOUBLE_EQ(other.channelWidth, 20.0);
    EXPECT_DOUBLE_EQ(other.flowRate, 0.04);
    EXPECT_DOUBLE_EQ(other.pixelSize, 0.265);
    EXPECT_EQ(other.medium, static_cast<int>(EModMedium::Viscora));
    EXPECT_EQ(other.viscosityModel, static_cast<int>(ViscosityModel::Herold2017));
}

TEST_F(CalculationsDockEmod, TemperatureSources) {
    RTDCMetadata metadata = viscoraMetadata();
    // Not usable metadata temperatures ("inf" was shown as 50 °C, the box's
    // top): 23 °C on the page and for every dataset's parameters alike.
    for (const char* text : {"0", "inf", "nan", "-2"}) {
        metadata.setup["temperature"] = text;
        m_dock.populateEmodulusDefaults(metadata, true);
        EXPECT_DOUBLE_EQ(m_temperature->value(), 23.0) << text;
        EXPECT_TRUE(m_temperature->isReadOnly());
        EXPECT_DOUBLE_EQ(m_dock.readEmodulusParams().temperature, 23.0) << text;
        EXPECT_DOUBLE_EQ(m_dock.buildParamsForDataset(metadata, true).temperature, 23.0) << text;
    }
    metadata.setup.erase("temperature");
    EXPECT_DOUBLE_EQ(m_dock.buildParamsForDataset(metadata, true).temperature, 23.0);

    // Manual: the user's value, for this and every other dataset; η follows.
    m_manual->click();
    EXPECT_FALSE(m_temperature->isReadOnly());
    m_temperature->setValue(30.0);
    EXPECT_DOUBLE_EQ(m_eta->value(),
                     viscosityOf(ViscosityModel::Herold2017, EModMedium::Viscora, 30.0));
    metadata.setup["temperature"] = "26";
    const EModParams manual = m_dock.buildParamsForDataset(metadata, true);
    EXPECT_EQ(manual.temperatureSource, static_cast<int>(TemperatureSource::Manual));
    EXPECT_DOUBLE_EQ(manual.temperature, 30.0);
    EXPECT_EQ(m_dock.readEmodulusParams().temperatureSource,
              static_cast<int>(TemperatureSource::Manual));

    // Event: per-event temperatures where a dataset has them.
    m_event->click();
    EXPECT_FALSE(m_temperature->isVisible());
    EXPECT_EQ(m_dock.readEmodulusParams().temperatureSource,
              static_cast<int>(TemperatureSource::Event));
    EXPECT_EQ(m_dock.buildParamsForDataset(metadata, true).temperatureSource,
              static_cast<int>(TemperatureSource::Event));
    EXPECT_NE(m_dock.buildParamsForDataset(metadata, false).temperatureSource,
              static_cast<int>(TemperatureSource::Event));

    // A dataset without "temp" cannot take it: back to the metadata value.
    m_dock.populateEmodulusDefaults(metadata, false);
    EXPECT_FALSE(m_event->isEnabled());
    EXPECT_TRUE(m_meta->isChecked());
    EXPECT_TRUE(m_temperature->isVisible());
    EXPECT_DOUBLE_EQ(m_temperature->value(), 26.0);
    const EModParams meta = m_dock.buildParamsForDataset(metadata, false);
    EXPECT_EQ(meta.temperatureSource, static_cast<int>(TemperatureSource::Metadata));
    EXPECT_DOUBLE_EQ(meta.temperature, 26.0);
}

TEST_F(CalculationsDockEmod, NoDatasetLeavesNothingOfThePreviousOneAndReasonsShow) {
    RTDCMetadata metadata = viscoraMetadata();
    m_dock.populateEmodulusDefaults(metadata, true);
    m_dock.setEmodulusEnabled(true);
    m_dock.setAssessQualityVisible(true);
    m_dock.setImageFeaturesEnabled(true);
    m_dock.setActiveDataset(nullptr);
    for (QLabel* label : {m_medium, m_width, m_flow, m_pixel})
        EXPECT_EQ(label->text(), "\u2014") << label->objectName().toStdString();
    for (const QString text :
         {"Compute Young's Modulus", "Assess Quality", "Compute Image Features"})
        EXPECT_FALSE(withText<QPushButton>(&m_dock, text)->isEnabled()) << text.toStdString();

    // A dataset's own reason why it cannot have a modulus, under the button.
    auto* reason = named<QLabel>(&m_dock, "emodUnavailableReason");
    QPushButton* compute = withText<QPushButton>(&m_dock, "Compute Young's Modulus");
    m_dock.setEmodulusUnavailableReason("Not available: no deform.");
    EXPECT_TRUE(reason->isVisible());
    EXPECT_EQ(reason->text(), "Not available: no deform.");
    EXPECT_EQ(compute->toolTip(), "Not available: no deform.");
    m_dock.setEmodulusUnavailableReason({});
    EXPECT_FALSE(reason->isVisible());
}

TEST_F(CalculationsDockEmod, ManualViscosityIsTheLastTypedNeverOneComputedForAnotherMedium) {
    // Guards against the value computed for Viscora staying in the manual
    // field and being used for the next dataset whose medium has no model.
    const RTDCMetadata viscora = viscoraMetadata();
    RTDCMetadata noMedium = viscora, mcPbs = viscora, foreign = viscora;
    noMedium.setup.erase("medium");
    mcPbs.setup["medium"] = "0.83% MC-PBS";
    foreign.setup["medium"] = "Glycerol";
    const double computed = viscosityOf(ViscosityModel::Herold2017, EModMedium::Viscora, 23.0);
    ASSERT_GT(computed, 2.0);
    const double none = std::nan("");

    // Table: dataset shown, viscosity typed there (NaN: none), η shown and
    // used for it, η any dataset without a model takes (all datasets,
    // isolines).
    struct Step {
        const char* what;
        const RTDCMetadata* shown;
        double typed;
        double eta;
        double manual;
    };
    // clang-format off
    for (const Step& step : {Step{"Viscora", &viscora, none, computed, 1.0},
                             Step{"no medium", &noMedium, none, 1.0, 1.0},
                             Step{"typed", &noMedium, 2.5, 2.5, 2.5},
                             Step{"Viscora again", &viscora, none, computed, 2.5},
                             Step{"MC-PBS", &mcPbs, none, 2.5, 2.5},
                             Step{"Viscora once more", &viscora, none, computed, 2.5},
                             Step{"unknown medium", &foreign, none, 2.5, 2.5}}) {
        // clang-format on
        m_dock.populateEmodulusDefaults(*step.shown, false);
        if (!std::isnan(step.typed))
            m_eta->setValue(step.typed);
        EXPECT_NEAR(m_eta->value(), step.eta, 5e-4) << step.what;
        EXPECT_NEAR(m_dock.readEmodulusParams().viscosity, step.eta, 5e-4) << step.what;
        const EModParams other = m_dock.buildParamsForDataset(noMedium, false);
        EXPECT_EQ(other.viscosityModel, static_cast<int>(ViscosityModel::Manual)) << step.what;
        EXPECT_DOUBLE_EQ(other.viscosity, step.manual) << step.what;
    }

    // No dataset shown keeps the typed value; a cleared session forgets it.
    m_dock.setActiveDataset(nullptr);
    EXPECT_DOUBLE_EQ(m_eta->value(), 2.5);
    m_dock.populateEmodulusDefaults(viscora, false);
    m_dock.resetManualViscosity();
    EXPECT_NEAR(m_eta->value(), computed, 5e-4);
    EXPECT_DOUBLE_EQ(m_dock.buildParamsForDataset(noMedium, false).viscosity, 1.0);
    m_dock.setActiveDataset(nullptr);
    EXPECT_DOUBLE_EQ(m_eta->value(), 1.0);
    m_dock.populateEmodulusDefaults(noMedium, false);
    EXPECT_DOUBLE_EQ(m_dock.readEmodulusParams().viscosity, 1.0);
    m_eta->setValue(4.0);
    m_dock.resetManualViscosity();
    EXPECT_DOUBLE_EQ(m_eta->value(), 1.0);
}

TEST_F(CalculationsDockEmod, DeformationSourceOnlyInExpertMode) {
    auto* sources = named<QComboBox>(&m_dock, "emodDeformSource");
    m_dock.updateDeformSources(false, true, true);
    EXPECT_EQ(comboTexts(sources),
              QStringList({"Deformation", "Deformation from FC", "Deformation of odd FC only"}));
    sources->setCurrentIndex(1);
    EXPECT_FALSE(sources->isVisible());
    EXPECT_EQ(m_dock.selectedDeformFeature(), "deform");
    m_dock.updateDeformSources(true, true, false);
    EXPECT_TRUE(sources->isVisible());
    EXPECT_EQ(m_dock.selectedDeformFeature(), "deform_fc");
    const EModParams params = m_dock.readEmodulusParams();
    EXPECT_EQ(params.deformFeature, "deform_fc");
    EXPECT_FALSE(params.pixelationCorrection);
    // The chosen source is gone from the next dataset: plain deformation.
    m_dock.updateDeformSources(true, false, true);
    EXPECT_EQ(m_dock.selectedDeformFeature(), "deform");
}

} // namespace Quorvex3
