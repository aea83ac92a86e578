// The main window's export actions: the data export through its dialog and
// progress with the closing messages, and the plot export as PNG, SVG and
// PDF with the screen's look put back afterwards.
#include "app/MainPlotTestSupport.h"

#include "session/ExportDialog.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QXmlStreamReader>

#include <functional>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;
using testing::ScriptedDialogProvider;
using testing::TempDir;

/// Runs `act` on the export dialog once it is open (from a timer, while its
/// own event loop runs).
void whenExportDialogOpens(std::function<void(ExportDialog*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

/// Chooses the radio buttons named in `choices`, then presses "Export".
void chooseAndExport(ExportDialog* dialog, const QStringList& choices) {
    for (QRadioButton* button : dialog->findChildren<QRadioButton*>())
        if (choices.contains(button->text()))
            button->setChecked(true);
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Export"))
            button->click();
}

class MainWindowExport : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    /// Writes and opens measurement `name` with areas 10..50, deformations
    /// 0.05..0.01 and images.
    void openMeasurement(const std::string& name) {
        test::Measurement m;
        m.columns["area_um"] = {10, 20, 30, 40, 50};
        m.columns["deform"] = {0.05, 0.04, 0.03, 0.02, 0.01};
        m.images = 5;
        const std::string path = m_dir.file(name);
        test::writeMeasurement(path, m);
        ASSERT_TRUE(test::openAndWait(m_window, path));
    }

    void trigger(const QString& text) {
        QAction* action =
            test::actionNamed(test::menuNamed(m_window, QStringLiteral("&Export")), text);
        ASSERT_NE(action, nullptr);
        action->trigger();
    }

    void exportData(const QStringList& choices) {
        whenExportDialogOpens(
            [choices](ExportDialog* dialog) { chooseAndExport(dialog, choices); });
        trigger(QStringLiteral("Export &Data..."));
    }

    QString file(const std::string& name) const { return QString::fromStdString(m_dir.file(name)); }

    TempDir m_dir;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
    MainWindow m_window;
};

// ---- data ----------------------------------------------------------------------------

TEST_F(MainWindowExport, WithoutALoadedDatasetTheExportSaysSo) {
    trigger(QStringLiteral("Export &Data..."));
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(m_dialogs.calls[0].title, QStringLiteral("Export"));
    EXPECT_EQ(m_dialogs.calls[0].text, QStringLiteral("No loaded dataset available for export."));
}

TEST_F(MainWindowExport, TheCurrentDatasetIsExportedAndTheChoicesAreOfferedAgain) {
    openMeasurement("M001_data.rtdc");
    exportData({QStringLiteral(".tsv (Tab-separated)")});
    ASSERT_TRUE(QFile::exists(file("QV3export_M001_data.tsv")));
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Information);
    EXPECT_EQ(m_dialogs.calls[0].text, QStringLiteral("Dataset exported successfully."));

    // Nothing chosen this time: the last choices (TSV) hold.
    exportData({});
    EXPECT_TRUE(QFile::exists(file("QV3export_M001_data_2.tsv")));

    // A cancelled dialog exports nothing and says nothing.
    whenExportDialogOpens([](ExportDialog* dialog) { dialog->reject(); });
    trigger(QStringLiteral("Export &Data..."));
    EXPECT_FALSE(QFile::exists(file("QV3export_M001_data_3.tsv")));
    EXPECT_EQ(m_dialogs.calls.size(), 2u);
}

TEST_F(MainWindowExport, AllDatasetsEndWithACountOfWhatWasWrittenAndWhy) {
    openMeasurement("m0.rtdc");
    openMeasurement("m1.rtdc");
    openMeasurement("m2.rtdc");
    // m1 shows no events.
    m_window.findDatasetById(m_window.datasets()[1]->id)
        ->filter.addRule(test::rangeRule("area_um", 100.0, 200.0));
    exportData({QStringLiteral("All datasets (3)"), QStringLiteral(".rtdc (HDF5)")});

    EXPECT_TRUE(QFile::exists(file("QV3export_m0.rtdc")));
    EXPECT_FALSE(QFile::exists(file("QV3export_m1.rtdc")));
    EXPECT_TRUE(QFile::exists(file("QV3export_m2.rtdc")));
    const QString name1 = m_window.datasets()[1]->displayName;
    ASSERT_EQ(m_dialogs.calls.size(), 2u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(m_dialogs.calls[0].text, QStringLiteral("No events pass the filter for: ") + name1);
    EXPECT_EQ(m_dialogs.calls[1].kind, DialogCall::Warning);
    EXPECT_EQ(m_dialogs.calls[1].title, QStringLiteral("Export"));
    EXPECT_EQ(
        m_dialogs.calls[1].text,
        QStringLiteral("Exported 2 of 3 datasets.\n\nNot exported:\n%1: no events pass the filter")
            .arg(name1));

    // With every dataset written, the count is the success message.
    m_window.findDatasetById(m_window.datasets()[1]->id)->filter.clearRules();
    exportData({});
    EXPECT_TRUE(QFile::exists(file("QV3export_m1.rtdc")));
    EXPECT_EQ(m_dialogs.calls.back().text, QStringLiteral("Exported 3 dataset(s) successfully."));
}

// ---- plot ----------------------------------------------------------------------------

class MainPlotExport : public MainWindowExport {
protected:
    void SetUp() override {
        MainWindowExport::SetUp();
        openMeasurement("M001_data.rtdc");
        // A gate whose edges cross the plotted area, and a highlighted event.
        DatasetEntry* entry = m_window.activeDataset();
        entry->filter.addRule(test::polygonRule(
            "area_um", "deform", {{25, 0.0}, {60, 0.035}, {25, 0.07}, {-10, 0.035}}));
        entry->currentEventIndex = 2;
        test::refreshPlot(m_window);
        ASSERT_TRUE(probe().highlight());
        ASSERT_EQ(probe().overlays().size(), 1u);
    }

    test::PlotProbe probe() { return test::PlotProbe(m_window.findChild<ScatterPlot*>()); }

    /// Exports the plot, answering the file dialog with `path` and `filter`.
    void exportPlot(const QString& path, const QString& filter) {
        m_dialogs.fileAnswers.push_back(path);
        m_dialogs.filterAnswers.push_back(filter);
        trigger(QStringLiteral("Export &Plot..."));
    }

    const QString kPng = QStringLiteral("PNG Image (*.png)");
    const QString kSvg = QStringLiteral("SVG Vector (*.svg)");
    const QString kPdf = QStringLiteral("PDF Document (*.pdf)");
};

TEST_F(MainPlotExport, APngIsWhiteAroundAndShowsNeitherHighlightNorGates) {
    exportPlot(file("plot"), kPng);
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].title, QStringLiteral("Export Plot"));
    EXPECT_EQ(m_dialogs.calls[0].text,
              QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)"));
    const QImage image(file("plot.png"));
    ASSERT_FALSE(image.isNull());
    // 200 x 150 mm at 150 dots per inch.
    EXPECT_NEAR(image.width(), 1181, 1);
    EXPECT_NEAR(image.height(), 886, 1);
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(image.width() - 1, 0), QPoint(0, image.height() - 1),
          QPoint(image.width() - 1, image.height() - 1)})
        EXPECT_EQ(image.pixelColor(corner), QColor(Qt::white)) << corner.x() << "," << corner.y();

    // The screen has its highlight and gate back.
    ASSERT_TRUE(probe().highlight());
    EXPECT_EQ(*probe().highlight(), QPointF(30.0, 0.03));
    EXPECT_EQ(probe().overlays().size(), 1u);

    // The same plot without highlight and gate exports the same picture.
    m_window.findChild<ScatterPlot*>()->clearHighlight();
    m_window.findChild<ScatterPlot*>()->clearPolygonOverlays();
    exportPlot(file("bare.png"), kPng);
    EXPECT_EQ(QImage(file("bare.png")), image);
}

TEST_F(MainPlotExport, SvgAndPdfGetTheirExtensionAndPageSize) {
    exportPlot(file("vector"), kSvg);
    QFile svg(file("vector.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    bool sawSvg = false;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("svg"))
            sawSvg = true;
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(sawSvg);

    exportPlot(file("document.PDF"), kPdf);
    ASSERT_TRUE(QFile::exists(file("document.PDF")));
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {file("document.PDF")});
    ASSERT_TRUE(pdfinfo.waitForFinished(30000));
    const QString info = QString::fromUtf8(pdfinfo.readAllStandardOutput());
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_NEAR(size.captured(1).toDouble(), 566.9, 0.5);
    EXPECT_NEAR(size.captured(2).toDouble(), 425.2, 0.5);

    // A ".pdf" name with the PNG filter is a PNG image named ".pdf.png".
    exportPlot(file("mixed.pdf"), kPng);
    EXPECT_FALSE(QImage(file("mixed.pdf.png"), "PNG").isNull());
    EXPECT_EQ(m_dialogs.count(DialogCall::Critical), 0);
}

TEST_F(MainPlotExport, AFailedExportSaysSoAndRestoresTheScreen) {
    exportPlot(file("missing/plot.png"), kPng);
    ASSERT_EQ(m_dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, QStringLiteral("Export Error"));
    EXPECT_TRUE(m_dialogs.calls.back().text.startsWith(
        QStringLiteral("Failed to export the plot to: ") + file("missing/plot.png")));
    EXPECT_TRUE(probe().highlight());
    EXPECT_EQ(probe().overlays().size(), 1u);
}

TEST_F(MainPlotExport, AnEventTheFilterHidesStaysUnhighlighted) {
    DatasetEntry* entry = m_window.activeDataset();
    entry->filter.addRule(test::rangeRule("area_um", 0.0, 25.0)); // hides event 2
    entry->currentEventIndex = 2;
    test::refreshPlot(m_window);
    // The refresh moves the current event to the first shown one; put the
    // hidden one back as a session restore could.
    entry->currentEventIndex = 2;
    exportPlot(file("hidden.png"), kPng);
    EXPECT_FALSE(probe().highlight());
    EXPECT_TRUE(QFile::exists(file("hidden.png")));
}

} // namespace
} // namespace Quorvex3
