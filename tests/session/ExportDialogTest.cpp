// The export dialog: features of other datasets, what each format can carry,
// previous choices as far as they still apply, and the custom folder.
#include "SessionTestSupport.h"

#include "model/DatasetEntry.h"
#include "session/ExportDialog.h"
#include "util/ScriptedDialogProvider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>

namespace Quorvex3 {
namespace {

class ExportDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeSource(m_dir.file("M001.rtdc")); // images, masks and traces
        {
            // Another dataset, with a feature of its own and masks only.
            testing::RtdcFixtureWriter w(m_dir.file("M002.rtdc"));
            w.addColumn<double>("volume", {3, 4});
            w.addImageStack("mask", 2, 2, 2, std::vector<std::uint8_t>(8, 1));
        }
        for (const char* name : {"M001.rtdc", "M002.rtdc"}) {
            m_datasets.push_back(std::make_unique<DatasetEntry>());
            m_datasets.back()->filePath = m_dir.file(name);
            m_datasets.back()->reader = std::make_shared<RTDCReader>();
            ASSERT_TRUE(m_datasets.back()->reader->openFile(m_dir.file(name)));
        }
    }

    void open(const ExportResult* previous = nullptr) {
        m_dialog = std::make_unique<ExportDialog>(m_datasets.front().get(), m_datasets, false,
                                                  nullptr, previous);
    }

    /// The button or check box with this text, or of this feature.
    QAbstractButton* named(const QString& text) {
        for (QAbstractButton* widget : m_dialog->findChildren<QAbstractButton*>())
            if (widget->text() == text || widget->text().endsWith("  [" + text + "]"))
                return widget;
        ADD_FAILURE() << "no widget " << text.toStdString();
        return nullptr;
    }

    bool shown(QWidget* widget) const { return widget->isVisibleTo(m_dialog.get()); }

    testing::TempDir m_dir;
    std::vector<std::unique_ptr<DatasetEntry>> m_datasets;
    std::unique_ptr<ExportDialog> m_dialog;
};

TEST_F(ExportDialogTest, AFeatureOfAnotherDatasetIsShownAndSelectableOnlyForAllDatasets) {
    open();
    QAbstractButton* volume = named("volume");
    EXPECT_EQ(volume->toolTip(),
              QStringLiteral("Not available in current dataset (available in other datasets)"));
    named("Select All")->click();
    EXPECT_FALSE(shown(volume) || volume->isChecked());
    named("All datasets (2)")->setChecked(true);
    named("Select All")->click();
    EXPECT_TRUE(shown(volume));
    EXPECT_EQ(m_dialog->getResult().features,
              (std::vector<std::string>{"area_um", "bright_avg", "deform", "edge", "frame",
                                        "short_col", "volume"}));
    named("Current dataset only")->setChecked(true);
    named("Deselect All")->click();
    EXPECT_FALSE(shown(volume));
    EXPECT_TRUE(m_dialog->getResult().features.empty()); // hidden boxes are cleared too
}

TEST_F(ExportDialogTest, AviTakesOnlyImagesAndRtdcBringsBackWhatTheDatasetHas) {
    open();
    QAbstractButton* images = named("Images");
    EXPECT_FALSE(shown(named("Raw (uncompressed)")));
    named(".avi (Video)")->setChecked(true);
    EXPECT_TRUE(shown(named("Raw (uncompressed)")) && shown(named("deform")));
    EXPECT_TRUE(images->isChecked() && !images->isEnabled() && !named("deform")->isEnabled());
    EXPECT_FALSE(named("Masks")->isChecked() || named("Masks")->isEnabled() ||
                 named("Traces")->isChecked());
    named(".rtdc (HDF5)")->setChecked(true);
    EXPECT_TRUE(named("deform")->isEnabled() && images->isEnabled() && images->isChecked() &&
                named("Masks")->isChecked() && named("Traces")->isChecked());
}

// The dialog kept its first width when the AVI options appeared, and cut
// "Skip duplicate frames (exclude ... video frame)" short; chosen before the
// dialog opens (a previous AVI export) or after, the option shows whole on a
// 1280-pixel screen.
TEST_F(ExportDialogTest, TheAviOptionsShowWholeWhenChosen) {
    const QString skip =
        QStringLiteral("Skip duplicate frames (exclude multiple events from the same video frame)");
    for (const bool chosenBefore : {false, true}) {
        SCOPED_TRACE(chosenBefore ? "restored from a previous AVI export" : "chosen when open");
        ExportResult previous;
        previous.formatAvi = true;
        open(chosenBefore ? &previous : nullptr);
        m_dialog->show();
        QApplication::processEvents();
        named(".avi (Video)")->setChecked(true);
        QApplication::processEvents();
        QAbstractButton* option = named(skip);
        ASSERT_TRUE(option->isVisible());
        EXPECT_GE(option->width(), option->sizeHint().width());
        const QRect inDialog(option->mapTo(m_dialog.get(), QPoint(0, 0)), option->size());
        EXPECT_TRUE(m_dialog->rect().contains(inDialog));
        EXPECT_LE(m_dialog->frameGeometry().width(), 1280);
        named(".rtdc (HDF5)")->setChecked(true);
        EXPECT_EQ(m_dialog->minimumWidth(), 400); // its own least width again
        m_dialog.reset();
    }
}

TEST_F(ExportDialogTest, PreviousChoicesComeBackAsFarAsTheyStillApply) {
    ExportResult previous;
    previous.features = {"deform", "volume"};
    previous.includeMasks = false; // the current-scope rule checks it again
    previous.allDatasets = true;
    previous.useCustomDirectory = true;
    std::unique_ptr<DatasetEntry> other = std::move(m_datasets.back());
    m_datasets.pop_back(); // one dataset: "All datasets" cannot be chosen
    open(&previous);
    EXPECT_FALSE(named("All datasets (1)")->isEnabled());
    const ExportResult restored = m_dialog->getResult();
    EXPECT_FALSE(restored.allDatasets);
    EXPECT_EQ(restored.features, (std::vector<std::string>{"deform"}));
    EXPECT_TRUE(restored.includeMasks && restored.useCustomDirectory);
    EXPECT_EQ(restored.outputDirectory, m_dir.path()); // an empty one keeps the default

    m_datasets.push_back(std::move(other));
    previous.allDatasets = false;
    open(&previous);
    EXPECT_FALSE(shown(named("volume")));
    named("All datasets (2)")->setChecked(true);
    EXPECT_TRUE(shown(named("volume")) && named("volume")->isChecked());
}

// Images, masks and traces per format and scope, seen from a dataset with
// masks only while another dataset has all three.
TEST_F(ExportDialogTest, NonScalarBoxesFollowFormatAndScopeWithTheirTooltips) {
    m_dialog = std::make_unique<ExportDialog>(m_datasets.back().get(), m_datasets, false, nullptr,
                                              nullptr);
    const QString elsewhere =
        QStringLiteral("Not available in current dataset (available in other datasets)");
    const QString tsvTip = QStringLiteral("Not available in TSV format");
    const QString aviTip = QStringLiteral("Only images are exported in AVI format");
    const QColor grey(160, 160, 160);
    const struct {
        const char* format;
        const char* scope;
        const char* box;
        bool enabled;
        bool checked;
        QString tip;
        bool greyText;
    } cases[] = {
        {".rtdc (HDF5)", "All datasets (2)", "Images", true, false, elsewhere, true},
        {".rtdc (HDF5)", "All datasets (2)", "Masks", true, true, QString(), false},
        {".rtdc (HDF5)", "All datasets (2)", "Traces", true, false, elsewhere, true},
        {".rtdc (HDF5)", "Current dataset only", "Images", false, false, QString(), false},
        {".rtdc (HDF5)", "Current dataset only", "Masks", true, true, QString(), false},
        {".tsv (Tab-separated)", "Current dataset only", "Masks", false, false, tsvTip, false},
        {".tsv (Tab-separated)", "All datasets (2)", "Images", false, false, tsvTip, false},
        {".avi (Video)", "All datasets (2)", "Images", false, true,
         QStringLiteral("Images are always included in AVI export"), false},
        {".avi (Video)", "Current dataset only", "Masks", false, false, aviTip, false},
        {".avi (Video)", "Current dataset only", "Traces", false, false, aviTip, false},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.format) + ", " + c.scope + ": " + c.box;
        named(QString::fromLatin1(c.scope))->setChecked(true);
        named(QString::fromLatin1(c.format))->setChecked(true);
        QAbstractButton* box = named(QString::fromLatin1(c.box));
        EXPECT_EQ(box->isEnabled(), c.enabled) << what;
        EXPECT_EQ(box->isChecked(), c.checked) << what;
        EXPECT_EQ(box->toolTip(), c.tip) << what;
        // TSV and AVI leave the text colour as it was; .rtdc greys exactly
        // what only other datasets have.
        if (QLatin1String(c.format) == QLatin1String(".rtdc (HDF5)")) {
            EXPECT_EQ(box->palette().color(QPalette::Active, QPalette::WindowText) == grey,
                      c.greyText)
                << what;
        }
    }
}

TEST_F(ExportDialogTest, AnEmptyOrMissingCustomFolderIsRefused) {
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    open();
    named("Export All to a Custom Directory (default: original file locations)")->setChecked(true);
    QLineEdit* folder = m_dialog->findChild<QLineEdit*>();
    for (const std::string& text :
         {std::string("  "), m_dir.file("nowhere"), m_dir.file("M001.rtdc"), m_dir.path()}) {
        folder->setText(QString::fromStdString(text));
        m_dialog->setResult(QDialog::Rejected);
        const std::size_t boxes = dialogs.calls.size();
        m_dialog->accept();
        const bool accepted = text == m_dir.path();
        EXPECT_EQ(m_dialog->result() == QDialog::Accepted, accepted) << text;
        EXPECT_EQ(dialogs.calls.size() - boxes, accepted ? 0u : 1u) << text;
    }
    dialogs.fileAnswers = {QStringLiteral("/chosen")};
    named("Browse...")->click();
    EXPECT_EQ(m_dialog->getResult().outputDirectory, "/chosen");
}

} // namespace
} // namespace Quorvex3
