// The main window's export actions: the data export through its dialog and
// progress with the closing messages, and the plot export as PNG, SVG and
// PDF with the screen's look put back afterwards.
#include "SessionTestSupport.h"
#include "app/MainPlotTestSupport.h"

#include "session/ExportDialog.h"
#include "support/PdfInfo.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QXmlStreamReader>

#include <csignal>
#include <mutex>
#include <optional>

#include <sys/resource.h>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;

class MainWindowExport : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    void openMeasurement(const std::string& name) {
        test::writeSource(m_dir.file(name));
        ASSERT_TRUE(test::openAndWait(m_window, m_dir.file(name)));
    }

    void trigger(const QString& text) {
        QAction* action =
            test::actionNamed(test::menuNamed(m_window, QStringLiteral("&Export")), text);
        ASSERT_NE(action, nullptr);
        action->trigger();
    }

    /// Opens the export dialog, chooses the radio buttons named in `choices`
    /// and presses `button`. The dialog runs through the dialog seam; one run
    /// past it (no recorded call) is rejected untouched, so nothing exports.
    void exportData(const QStringList& choices, const QString& button = QStringLiteral("Export")) {
        m_dialogs.dialogScript = [choices, button](QDialog& dialog) {
            if (!qobject_cast<ExportDialog*>(&dialog))
                return int(QDialog::Rejected);
            dialog.setResult(QDialog::Rejected);
            for (QAbstractButton* widget : dialog.findChildren<QAbstractButton*>()) {
                if (choices.contains(widget->text()))
                    widget->setChecked(true);
                if (widget->text() == button) // the buttons come last
                    widget->click();
            }
            return dialog.result();
        };
        QTimer canceller;
        QObject::connect(&canceller, &QTimer::timeout, [] {
            // The export's own progress stays: cancelling it is a test of its own.
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog && !qobject_cast<QProgressDialog*>(dialog))
                dialog->reject();
        });
        canceller.start(5);
        const int dialogsBefore = m_dialogs.count(DialogCall::Dialog);
        trigger(QStringLiteral("Export &Data..."));
        m_dialogs.dialogScript = nullptr;
        if (m_window.activeDataset() && m_window.activeDataset()->featuresLoaded) {
            ASSERT_EQ(m_dialogs.count(DialogCall::Dialog), dialogsBefore + 1);
            EXPECT_EQ(m_dialogs.calls[lastDialogCall()].title, QStringLiteral("Export Data"));
        }
    }

    std::size_t lastDialogCall() const {
        for (std::size_t i = m_dialogs.calls.size(); i-- > 0;)
            if (m_dialogs.calls[i].kind == DialogCall::Dialog)
                return i;
        return m_dialogs.calls.size();
    }

    /// The message boxes shown, without the dialogs run.
    std::vector<DialogCall> boxes() const {
        std::vector<DialogCall> shown;
        for (const DialogCall& call : m_dialogs.calls)
            if (call.kind != DialogCall::Dialog)
                shown.push_back(call);
        return shown;
    }

    QString file(const std::string& name) const { return QString::fromStdString(m_dir.file(name)); }

    testing::TempDir m_dir;
    testing::ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
    MainWindow m_window;
};

TEST_F(MainWindowExport, DataExportsSayWhatWasWrittenAndOfferTheLastChoicesAgain) {
    trigger(QStringLiteral("Export &Data..."));
    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].text, QStringLiteral("No loaded dataset available for export."));

    openMeasurement("m0.rtdc");
    exportData({QStringLiteral(".tsv (Tab-separated)")});
    EXPECT_TRUE(QFile::exists(file("QV3export_m0.tsv")));
    EXPECT_EQ(m_dialogs.calls.back().text, QStringLiteral("Dataset exported successfully."));
    const std::size_t shown = boxes().size();
    exportData({}, QStringLiteral("Cancel")); // nothing written, nothing said
    EXPECT_EQ(boxes().size(), shown);

    openMeasurement("m1.rtdc");
    DatasetEntry* m0 = m_window.findDatasetById(m_window.datasets()[0]->id);
    m0->filter.addRule(test::rangeRule("area_um", 100.0, 200.0)); // shows no events
    exportData({QStringLiteral("All datasets (2)"), QStringLiteral(".rtdc (HDF5)")});
    EXPECT_TRUE(!QFile::exists(file("QV3export_m0.rtdc")) &&
                QFile::exists(file("QV3export_m1.rtdc")));
    ASSERT_EQ(boxes().size(), 4u);
    EXPECT_EQ(boxes()[2].text, "No events pass the filter for: " + m0->displayName);
    EXPECT_EQ(
        boxes()[3].text,
        QStringLiteral("Exported 1 of 2 datasets.\n\nNot exported:\n%1: no events pass the filter")
            .arg(m0->displayName));

    // Nothing chosen: the last choices (all datasets, .rtdc) hold.
    m0->filter.clearRules();
    exportData({});
    EXPECT_TRUE(QFile::exists(file("QV3export_m0.rtdc")) &&
                QFile::exists(file("QV3export_m1_2.rtdc")));
    EXPECT_EQ(m_dialogs.calls.back().text, QStringLiteral("Exported 2 dataset(s) successfully."));
}

// Cancelling the progress stops before the next dataset: what was written
// stays, and no closing box claims anything. (The progress box handles the
// click while its value is set for the dataset about to be exported.)
TEST_F(MainWindowExport, CancellingTheProgressStopsBeforeTheNextDatasetAndSaysNothing) {
    const int count = 5;
    for (int i = 0; i < count; ++i)
        openMeasurement("m" + std::to_string(i) + ".rtdc");
    int cancelledAt = -1;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [this, &cancelledAt] {
        auto* progress = m_window.findChild<QProgressDialog*>();
        if (progress && cancelledAt < 0 && progress->isVisible()) {
            cancelledAt = progress->value();
            progress->cancel();
        }
    });
    canceller.start(0);
    exportData({QStringLiteral("All datasets (5)"), QStringLiteral(".tsv (Tab-separated)")});
    canceller.stop();
    ASSERT_GE(cancelledAt, 0);
    // Each dataset has a thousand steps of the progress; the one under way
    // when Cancel came may have been written before the task heard it.
    const int cancelledIn = cancelledAt / 1000;
    ASSERT_LT(cancelledIn, count - 1);
    for (int i = 0; i < count; ++i)
        if (i != cancelledIn) {
            EXPECT_EQ(QFile::exists(file("QV3export_m" + std::to_string(i) + ".tsv")),
                      i < cancelledIn)
                << i;
        }
    EXPECT_TRUE(boxes().empty());
}

// Export Data wrote on the GUI thread: a large dataset froze the window for
// half a minute, with no progress and no way to stop it. Here the writing
// waits for the HDF5 lock the test holds on the GUI thread (the table needs
// none once the columns are read, its cancel is tested without a window): the window's
// events must keep coming meanwhile, and a Cancel given then leaves no file
// of any format, finished or temporary, and no box.
TEST_F(MainWindowExport, DataExportWritesBesideTheLiveWindowAndCancelLeavesNothing) {
    openMeasurement("M001_data.rtdc");
    const struct {
        const char* format;
        const char* output;
        bool cancel;
    } cases[] = {{".rtdc (HDF5)", "QV3export_M001_data.rtdc", true},
                 {".avi (Video)", "QV3export_M001_data.avi", true},
                 {".rtdc (HDF5)", "QV3export_M001_data.rtdc", false}};
    const QStringList before = QDir(QString::fromStdString(m_dir.path()))
                                   .entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + (c.cancel ? ", cancelled" : ""));
        const std::size_t boxesBefore = boxes().size();
        std::unique_lock<std::recursive_mutex> hdf5(RTDCReader::s_hdf5Mutex);
        int turnsWhileWriting = 0;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* progress = m_window.findChild<QProgressDialog*>();
            if (!hdf5.owns_lock() || !progress || !progress->isVisible())
                return;
            if (++turnsWhileWriting < 3)
                return;
            if (c.cancel)
                progress->findChild<QPushButton*>()->click();
            hdf5.unlock(); // the task goes on, and hears the Cancel at its next report
        });
        watcher.start(5);
        exportData({QStringLiteral("Current dataset only"), QString::fromLatin1(c.format)});
        watcher.stop();
        if (hdf5.owns_lock())
            hdf5.unlock();
        EXPECT_GE(turnsWhileWriting, 3);
        const QStringList after = QDir(QString::fromStdString(m_dir.path()))
                                      .entryList(QDir::Files | QDir::Hidden | QDir::System);
        if (c.cancel) {
            EXPECT_EQ(after, before);
            EXPECT_EQ(boxes().size(), boxesBefore);
        } else {
            EXPECT_TRUE(after.contains(QString::fromLatin1(c.output)));
            EXPECT_EQ(after.size(), before.size() + 1);
            ASSERT_EQ(boxes().size(), boxesBefore + 1);
            EXPECT_EQ(boxes().back().text, QStringLiteral("Dataset exported successfully."));
        }
    }
}

TEST_F(MainWindowExport, PlotsExportWithoutHighlightOrGateAsPngSvgAndPdfOrSayWhyNot) {
    openMeasurement("M001_data.rtdc");
    // A gate whose edges cross the plotted area, and a highlighted event.
    DatasetEntry* entry = m_window.activeDataset();
    entry->filter.addRule(
        test::polygonRule("area_um", "deform", {{25, 0.0}, {60, 0.035}, {25, 0.07}, {-10, 0.035}}));
    entry->currentEventIndex = 2;
    test::refreshPlot(m_window);
    const test::PlotProbe probe(m_window.findChild<ScatterPlot*>());
    const auto exportPlot = [this](const char* name, const char* filter) {
        m_dialogs.fileAnswers.push_back(file(name));
        m_dialogs.filterAnswers.push_back(QString::fromLatin1(filter));
        trigger(QStringLiteral("Export &Plot..."));
    };

    exportPlot("plot", "PNG Image (*.png)");
    const QImage image(file("plot.png"));
    // 200 x 150 mm at 150 dots per inch.
    EXPECT_NEAR(image.width(), 1181, 1);
    EXPECT_NEAR(image.height(), 886, 1);
    for (const QPoint corner : {QPoint(0, 0), QPoint(image.width() - 1, image.height() - 1),
                                QPoint(0, image.height() - 1), QPoint(image.width() - 1, 0)})
        EXPECT_EQ(image.pixelColor(corner), QColor(Qt::white));

    exportPlot("vector", "SVG Vector (*.svg)");
    QFile svg(file("vector.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    bool sawSvg = false;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("svg"))
            sawSvg = true;
    EXPECT_TRUE(sawSvg && !xml.hasError()) << xml.errorString().toStdString();

    exportPlot("document", "PDF Document (*.pdf)");
    const QSizeF page = Quorvex3::testing::pdfPageSizePoints(file("document.pdf"));
    ASSERT_FALSE(page.isEmpty());
    EXPECT_NEAR(page.width(), 566.9, 0.5);
    EXPECT_NEAR(page.height(), 425.2, 0.5);

    exportPlot("missing/plot.png", "PNG Image (*.png)");
    ASSERT_EQ(m_dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, QStringLiteral("Export Error"));
    EXPECT_TRUE(m_dialogs.calls.back().text.startsWith(
        QStringLiteral("Failed to export the plot to: ") + file("missing/plot.png")));

    // The screen has its highlight and gate back, and the same plot without
    // them exports the same picture (over the first one).
    EXPECT_EQ(probe.highlight(), QPointF(30.0, 0.02));
    EXPECT_EQ(probe.overlays().size(), 1u);
    m_window.findChild<ScatterPlot*>()->clearHighlight();
    m_window.findChild<ScatterPlot*>()->clearPolygonOverlays();
    exportPlot("plot.png", "PNG Image (*.png)");
    EXPECT_EQ(QImage(file("plot.png")), image);
    EXPECT_EQ(m_dialogs.count(DialogCall::Critical), 1);
}

// On a nearly full disk the renderer stops part-way without a word: the cut
// document must neither replace the old file nor pass as written.
TEST_F(MainWindowExport, PlotExportCutShortKeepsTheOldFileAndSaysSo) {
    openMeasurement("M001_data.rtdc");
    const QByteArray old("an older plot the user keeps");
    for (const char* name : {"cut.png", "cut.svg", "cut.pdf"}) {
        QFile out(file(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(old);
        out.close();
        m_dialogs.fileAnswers.push_back(file(name));
        m_dialogs.filterAnswers.push_back(QStringLiteral("PNG Image (*.png)"));
        // Every format's document is larger than the limit.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit tight = saved;
        tight.rlim_cur = 1024;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        trigger(QStringLiteral("Export &Plot..."));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        ASSERT_FALSE(m_dialogs.calls.empty());
        EXPECT_EQ(m_dialogs.calls.back().kind, DialogCall::Critical) << name;
        EXPECT_EQ(m_dialogs.calls.back().title, QStringLiteral("Export Error")) << name;
        QFile kept(file(name));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), old) << name;
        // Only the measurement and the old files: no temporary beside them.
        const QStringList left = QDir(QString::fromStdString(m_dir.path()))
                                     .entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& entry : left)
            EXPECT_TRUE(entry == QLatin1String("M001_data.rtdc") || entry.startsWith("cut."))
                << entry.toStdString();
    }
    EXPECT_EQ(m_dialogs.count(DialogCall::Critical), 3);
}

// After an export the current event is highlighted again at its place among
// the events the filter shows; one the filter hides stays without marker.
TEST_F(MainWindowExport, PlotExportHighlightsTheCurrentEventAgainOnlyWhereItIsShown) {
    openMeasurement("M001_data.rtdc");
    DatasetEntry* entry = m_window.activeDataset();
    entry->filter.addRule(test::rangeRule("area_um", 15.0, 45.0)); // events 1, 2 and 3
    const struct {
        int event;
        std::optional<QPointF> marker;
    } cases[] = {
        {3, QPointF(40.0, 0.04)}, {0, std::nullopt}, {1, QPointF(20.0, 0.01)}, {5, std::nullopt}};
    const test::PlotProbe probe(m_window.findChild<ScatterPlot*>());
    for (const auto& c : cases) {
        test::refreshPlot(m_window); // a refresh moves a hidden current event onto a shown one
        entry->currentEventIndex = c.event;
        m_dialogs.fileAnswers.push_back(file("plot.png"));
        m_dialogs.filterAnswers.push_back(QStringLiteral("PNG Image (*.png)"));
        trigger(QStringLiteral("Export &Plot..."));
        EXPECT_EQ(probe.highlight(), c.marker) << "event " << c.event;
    }
    EXPECT_EQ(m_dialogs.count(DialogCall::Critical), 0);
}

// "plot2.svg" typed with the PNG filter selected was written as a PNG named
// "plot2.svg.png", and Export Plot without a dataset did nothing at all.
TEST_F(MainWindowExport, PlotExportTakesTheTypedFormatAndSaysWhyWithoutADataset) {
    trigger(QStringLiteral("Export &Plot..."));
    ASSERT_EQ(m_dialogs.calls.size(), 1u); // no file asked for
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(m_dialogs.calls[0].title, QStringLiteral("Export Plot"));
    EXPECT_EQ(m_dialogs.calls[0].text, QStringLiteral("No loaded dataset to export the plot of."));

    openMeasurement("M001_data.rtdc");
    const auto exportPlot = [this](const char* name, const char* filter) {
        m_dialogs.fileAnswers.push_back(file(name));
        m_dialogs.filterAnswers.push_back(QString::fromLatin1(filter));
        trigger(QStringLiteral("Export &Plot..."));
    };
    exportPlot("plot2.svg", "PNG Image (*.png)");
    EXPECT_FALSE(QFile::exists(file("plot2.svg.png")));
    QFile svg(file("plot2.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.read(256).contains("<svg")); // a vector document, not an image

    exportPlot("plot3.PDF", "SVG Vector (*.svg)");
    EXPECT_FALSE(QFile::exists(file("plot3.PDF.svg")));
    QFile pdf(file("plot3.PDF"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));

    // A suffix of no offered format still gets the selected one.
    exportPlot("plot4.jpg", "PNG Image (*.png)");
    EXPECT_FALSE(QImage(file("plot4.jpg.png"), "PNG").isNull());
    EXPECT_EQ(m_dialogs.count(DialogCall::Warning), 1);
    EXPECT_EQ(m_dialogs.count(DialogCall::Critical), 0);
}

} // namespace
} // namespace Quorvex3
