// The export dialog: what it offers for the current and the other datasets,
// how scope and format enable its choices, restoring the last choices, and
// refusing an unusable output folder.
#include "SessionTestSupport.h"

#include "model/DatasetEntry.h"
#include "session/ExportDialog.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace Quorvex3 {
namespace {

using testing::DialogCall;
using testing::ScriptedDialogProvider;
using testing::TempDir;

template <typename Widget> Widget* named(QWidget& dialog, const QString& text) {
    for (Widget* widget : dialog.findChildren<Widget*>())
        if (widget->text() == text)
            return widget;
    ADD_FAILURE() << "no widget " << text.toStdString();
    return nullptr;
}

class ExportDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The current dataset: the test source (images, masks, traces).
        addDataset(m_dir.file("current/M001.rtdc"),
                   [](const std::string& path) { test::writeSourceMeasurement(path); });
        // Another one with a feature of its own and masks but no images.
        addDataset(m_dir.file("other/M002.rtdc"), [](const std::string& path) {
            testing::RtdcFixtureWriter w(path);
            w.addColumn<double>("area_um", {1, 2});
            w.addColumn<double>("volume", {3, 4});
            w.addImageStack("mask", 2, 2, 2, std::vector<std::uint8_t>(8, 1));
        });
    }

    template <typename Write> void addDataset(const std::string& path, Write write) {
        QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
        write(path);
        auto entry = std::make_unique<DatasetEntry>();
        entry->reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(entry->reader->openFile(path));
        entry->filePath = path;
        m_datasets.push_back(std::move(entry));
    }

    const DatasetEntry* current() const { return m_datasets.front().get(); }

    QCheckBox* feature(QWidget& dialog, const std::string& name) {
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            if (box->text().endsWith(QString::fromStdString("  [" + name + "]")))
                return box;
        ADD_FAILURE() << "no feature box " << name;
        return nullptr;
    }

    TempDir m_dir;
    std::vector<std::unique_ptr<DatasetEntry>> m_datasets;
};

TEST_F(ExportDialogTest, OffersTheCurrentFeaturesCheckedThenTheOthersHidden) {
    ExportDialog dialog(current(), m_datasets, false, nullptr, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Export Data"));
    const ExportResult result = dialog.getResult();
    EXPECT_EQ(result.features,
              (std::vector<std::string>{"area_um", "bright_avg", "deform", "frame", "short_col"}));
    EXPECT_TRUE(result.includeImages && result.includeMasks && result.includeTraces);
    EXPECT_FALSE(result.formatTsv || result.formatAvi || result.allDatasets ||
                 result.useCustomDirectory);
    EXPECT_EQ(result.outputDirectory, m_dir.file("current"));
    EXPECT_EQ(feature(dialog, "area_um")->text(),
              QStringLiteral("Area [\u00b5m\u00b2]  [area_um]"));

    QCheckBox* volume = feature(dialog, "volume");
    EXPECT_FALSE(volume->isChecked());
    EXPECT_FALSE(volume->isVisibleTo(&dialog));
    EXPECT_EQ(volume->toolTip(),
              QStringLiteral("Not available in current dataset (available in other datasets)"));
    EXPECT_EQ(volume->palette().color(QPalette::WindowText), QColor(160, 160, 160));
    EXPECT_TRUE(named<QRadioButton>(dialog, QStringLiteral("All datasets (2)"))->isEnabled());
}

TEST_F(ExportDialogTest, AFeatureOfAnotherDatasetIsShownAndSelectableOnlyForAllDatasets) {
    ExportDialog dialog(current(), m_datasets, false, nullptr, nullptr);
    QCheckBox* volume = feature(dialog, "volume");
    named<QPushButton>(dialog, QStringLiteral("Select All"))->click();
    EXPECT_FALSE(volume->isChecked());

    named<QRadioButton>(dialog, QStringLiteral("All datasets (2)"))->setChecked(true);
    EXPECT_TRUE(volume->isVisibleTo(&dialog));
    named<QPushButton>(dialog, QStringLiteral("Select All"))->click();
    EXPECT_TRUE(volume->isChecked());
    EXPECT_EQ(dialog.getResult().features.back(), "volume");

    named<QRadioButton>(dialog, QStringLiteral("Current dataset only"))->setChecked(true);
    EXPECT_FALSE(volume->isVisibleTo(&dialog));
    named<QPushButton>(dialog, QStringLiteral("Deselect All"))->click();
    EXPECT_FALSE(volume->isChecked()); // hidden boxes are cleared too
    EXPECT_TRUE(dialog.getResult().features.empty());
}

TEST_F(ExportDialogTest, FormatsEnableWhatTheyCanCarry) {
    ExportDialog dialog(current(), m_datasets, false, nullptr, nullptr);
    QCheckBox* images = named<QCheckBox>(dialog, QStringLiteral("Images"));
    QCheckBox* masks = named<QCheckBox>(dialog, QStringLiteral("Masks"));
    QCheckBox* traces = named<QCheckBox>(dialog, QStringLiteral("Traces"));
    QGroupBox* aviOptions = nullptr;
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>())
        if (group->title() == QStringLiteral("AVI Options"))
            aviOptions = group;
    ASSERT_NE(aviOptions, nullptr);
    EXPECT_FALSE(aviOptions->isVisibleTo(&dialog));

    named<QRadioButton>(dialog, QStringLiteral(".avi (Video)"))->setChecked(true);
    EXPECT_TRUE(aviOptions->isVisibleTo(&dialog));
    EXPECT_FALSE(feature(dialog, "deform")->isEnabled());
    EXPECT_TRUE(feature(dialog, "deform")->isVisibleTo(&dialog));
    EXPECT_TRUE(images->isChecked());
    EXPECT_FALSE(images->isEnabled());
    EXPECT_EQ(images->toolTip(), QStringLiteral("Images are always included in AVI export"));
    EXPECT_FALSE(masks->isChecked() || masks->isEnabled() || traces->isChecked());
    EXPECT_EQ(masks->toolTip(), QStringLiteral("Only images are exported in AVI format"));

    named<QRadioButton>(dialog, QStringLiteral(".tsv (Tab-separated)"))->setChecked(true);
    EXPECT_FALSE(images->isChecked() || images->isEnabled());
    EXPECT_EQ(traces->toolTip(), QStringLiteral("Not available in TSV format"));
    EXPECT_TRUE(feature(dialog, "deform")->isEnabled());

    named<QRadioButton>(dialog, QStringLiteral(".rtdc (HDF5)"))->setChecked(true);
    EXPECT_TRUE(images->isChecked() && images->isEnabled());
    EXPECT_TRUE(masks->isChecked() && traces->isChecked());
    EXPECT_TRUE(traces->toolTip().isEmpty());
}

TEST_F(ExportDialogTest, AllDatasetsOfferDataThatOnlyAnotherDatasetHas) {
    // The current dataset is the one without images; the other has them.
    std::swap(m_datasets[0], m_datasets[1]);
    ExportDialog dialog(current(), m_datasets, false, nullptr, nullptr);
    QCheckBox* images = named<QCheckBox>(dialog, QStringLiteral("Images"));
    QCheckBox* masks = named<QCheckBox>(dialog, QStringLiteral("Masks"));
    EXPECT_FALSE(images->isEnabled() || images->isChecked());
    EXPECT_TRUE(masks->isEnabled() && masks->isChecked());

    named<QRadioButton>(dialog, QStringLiteral("All datasets (2)"))->setChecked(true);
    EXPECT_TRUE(images->isEnabled());
    EXPECT_FALSE(images->isChecked());
    EXPECT_EQ(images->toolTip(),
              QStringLiteral("Not available in current dataset (available in other datasets)"));
    EXPECT_EQ(images->palette().color(QPalette::WindowText), QColor(160, 160, 160));
    EXPECT_TRUE(masks->toolTip().isEmpty());
}

TEST_F(ExportDialogTest, PreviousChoicesComeBackAsFarAsTheyStillApply) {
    ExportResult previous;
    previous.features = {"deform", "volume"};
    previous.includeMasks = false; // comes back checked: the current-scope rule re-applies
    previous.includeImages = true;
    previous.includeTraces = false;
    previous.aviMjpeg = false;
    previous.aviSkipDuplicateFrames = true;
    previous.useCustomDirectory = true;
    previous.outputDirectory = "";
    ExportDialog dialog(current(), m_datasets, false, nullptr, &previous);
    ExportResult restored = dialog.getResult();
    EXPECT_EQ(restored.features, (std::vector<std::string>{"deform", "volume"}));
    EXPECT_FALSE(feature(dialog, "volume")->isVisibleTo(&dialog));
    EXPECT_TRUE(restored.includeMasks && restored.includeTraces);
    EXPECT_FALSE(restored.aviMjpeg);
    EXPECT_TRUE(restored.aviSkipDuplicateFrames);
    EXPECT_TRUE(restored.useCustomDirectory);
    EXPECT_EQ(restored.outputDirectory, m_dir.file("current")); // empty keeps the default
    EXPECT_TRUE(named<QPushButton>(dialog, QStringLiteral("Browse..."))->isEnabled());

    named<QRadioButton>(dialog, QStringLiteral("All datasets (2)"))->setChecked(true);
    EXPECT_TRUE(feature(dialog, "volume")->isVisibleTo(&dialog));
    EXPECT_TRUE(feature(dialog, "volume")->isChecked());

    previous.allDatasets = true;
    previous.formatAvi = true;
    previous.outputDirectory = "/elsewhere";
    m_datasets.pop_back();
    ExportDialog single(current(), m_datasets, false, nullptr, &previous);
    EXPECT_FALSE(named<QRadioButton>(single, QStringLiteral("All datasets (1)"))->isEnabled());
    restored = single.getResult();
    EXPECT_FALSE(restored.allDatasets);
    EXPECT_TRUE(restored.formatAvi);
    EXPECT_EQ(restored.outputDirectory, "/elsewhere");
}

TEST_F(ExportDialogTest, AnEmptyOrMissingCustomFolderIsRefused) {
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    ExportDialog dialog(current(), m_datasets, false, nullptr, nullptr);
    named<QCheckBox>(
        dialog,
        QStringLiteral("Export All to a Custom Directory (default: original file locations)"))
        ->setChecked(true);
    QLineEdit* folder = dialog.findChild<QLineEdit*>();
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->isEnabled());

    const struct {
        QString text;
        bool accepted;
    } cases[] = {
        {QString(), false},
        {QStringLiteral("   "), false},
        {QString::fromStdString(m_dir.file("nowhere")), false},
        {QString::fromStdString(m_dir.file("current/M001.rtdc")), false}, // a file
        {QString::fromStdString(m_dir.file("other")), true},
    };
    for (const auto& c : cases) {
        folder->setText(c.text);
        dialog.setResult(QDialog::Rejected);
        const int boxesBefore = dialogs.count(DialogCall::Warning);
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.text.toStdString();
        EXPECT_EQ(dialogs.count(DialogCall::Warning) - boxesBefore, c.accepted ? 0 : 1);
    }
    EXPECT_EQ(dialogs.calls.front().title, QStringLiteral("Export Data"));
}

TEST_F(ExportDialogTest, BrowseReplacesTheFolderUnlessCancelled) {
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    ExportDialog dialog(current(), m_datasets, false, nullptr, nullptr);
    named<QCheckBox>(
        dialog,
        QStringLiteral("Export All to a Custom Directory (default: original file locations)"))
        ->setChecked(true);
    dialogs.fileAnswers.push_back(QStringLiteral("/chosen"));
    named<QPushButton>(dialog, QStringLiteral("Browse..."))->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Directory);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("Select Output Directory"));
    EXPECT_EQ(dialogs.calls[0].dir, QString::fromStdString(m_dir.file("current")));
    EXPECT_EQ(dialog.getResult().outputDirectory, "/chosen");
    named<QPushButton>(dialog, QStringLiteral("Browse..."))->click(); // cancelled
    EXPECT_EQ(dialog.getResult().outputDirectory, "/chosen");
}

} // namespace
} // namespace Quorvex3
