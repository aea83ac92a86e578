// The combined plots' exports and preview: the sizes of grid, single and
// per-plot files as their readers see them (QImage, Python's XML parser,
// pdfinfo), a grid that looks as the preview in PNG and SVG, the question
// before numbered files are replaced, failures that leave the old file as it
// was, and plots that look as before afterwards.

#include "CombineTestSupport.h"
#include "plots/PlotFileExport.h"
#include "support/ImageCompare.h"
#include "support/PdfInfo.h"
#include "support/PythonOracle.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>

#include <atomic>
#include <cmath>
#include <thread>

namespace Quorvex3::test {
namespace {

[[maybe_unused]] const bool s_application = (installMainWindowTestApplication(), true);

class CombineExport : public CombinePlotTest {
protected:
    /// `n` datasets in "Array" (n plots), heat map with contours.
    void addPopulations(int n) {
        for (int i = 0; i < n; ++i)
            add("p" + std::to_string(i) + ".rtdc", population(200, 3.0 * i, 0.002 * i));
        setCombo("contourCombo", 1);
        ASSERT_EQ(window->plots().size(), static_cast<size_t>(n));
    }
    /// Runs the export to `path`, answering the mode box with `mode`.
    void exportTo(const QString& path, const QString& mode = QString()) {
        dialogs.fileAnswers.push_back(path);
        dialogs.filterAnswers.push_back(QString());
        if (!mode.isEmpty())
            dialogs.choiceAnswers.push_back(mode);
        window->exportPlots();
        ASSERT_TRUE(waitForExport());
    }
    /// Lets the event loop run until the files are written (or not).
    bool waitForExport() const {
        QElapsedTimer clock;
        clock.start();
        while (window->exportRunning() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return !window->exportRunning();
    }
    QString file(const char* name) const { return QString::fromStdString(dir.file(name)); }
    /// Files in the test folder that are not measurements.
    QStringList leftovers() const {
        QDir folder(QString::fromStdString(dir.path()));
        QStringList all = folder.entryList(QDir::Files | QDir::Hidden);
        all = all.filter(QRegularExpression(QStringLiteral("^(?!.*\\.rtdc$)")));
        return all;
    }
};

// "fig.svg" typed with the PNG filter left selected wrote "fig.svg.png": a
// typed known suffix chooses the format, as in the main window's export.
TEST_F(CombineExport, ATypedSuffixChoosesTheFormat) {
    addPopulations(1);
    const struct {
        const char* typed;
        const char* filter;
        const char* written;
        const char* startsWith;
    } cases[] = {{"fig.svg", "PNG Image (*.png)", "fig.svg", "<?xml"},
                 {"fig2.PDF", "SVG Vector (*.svg)", "fig2.PDF", "%PDF"},
                 {"fig3", "SVG Vector (*.svg)", "fig3.svg", "<?xml"},
                 {"fig4.jpg", "PNG Image (*.png)", "fig4.jpg.png", "\x89PNG"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        dialogs.fileAnswers.push_back(file(c.typed));
        dialogs.filterAnswers.push_back(QString::fromLatin1(c.filter));
        window->exportPlots();
        ASSERT_TRUE(waitForExport());
        QFile written(file(c.written));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_TRUE(written.read(8).startsWith(c.startsWith));
    }
    EXPECT_EQ(leftovers(), (QStringList{"fig.svg", "fig2.PDF", "fig3.svg", "fig4.jpg.png"}));
}

// A grid of 5 plots of 100 x 100 mm is 3 x 2 cells with 10 mm gaps:
// 320 x 210 mm.
TEST_F(CombineExport, GridOfFivePlotsInEachFormatHasTheStatedSize) {
    addPopulations(5);
    exportTo(file("grid.png"), QStringLiteral("Single Grid Image"));
    ASSERT_EQ(dialogs.count(testing::DialogCall::MessageBox), 1);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Export Mode"));
    EXPECT_EQ(dialogs.calls.back().buttons,
              (QStringList{"Single Grid Image", "Individual Plots", "Cancel"}));
    const QImage png(file("grid.png"));
    EXPECT_EQ(png.size(), QSize(1889, 1240));
    // The fifth plot (row 1, column 1) is drawn, the sixth cell stays white.
    const int cell = static_cast<int>(110 / 25.4 * 150);
    bool inked = false;
    for (int x = cell; x < cell + 590 && !inked; x += 7)
        for (int y = cell; y < cell + 590 && !inked; y += 7)
            inked = png.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(inked);
    EXPECT_EQ(png.pixelColor(2 * cell + 300, cell + 300), QColor(Qt::white));

    exportTo(file("grid.svg"), QStringLiteral("Single Grid Image"));
    const auto svg = testing::runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/svg_size.py",
                                              dir.file("grid.svg"));
    ASSERT_EQ(svg.size(), 1u);
    EXPECT_NEAR(svg[0].groups[0][0], 319.76, 0.05);
    EXPECT_NEAR(svg[0].groups[0][1], 210.0, 0.3);
    EXPECT_EQ(svg[0].groups[1], (std::vector<double>{0, 0, 320, 210}));

    exportTo(file("grid.pdf"), QStringLiteral("Single Grid Image"));
    const QSizeF page = testing::pdfPageSizePoints(file("grid.pdf"));
    EXPECT_NEAR(page.width(), 907.0, 0.5);
    EXPECT_NEAR(page.height(), 595.0, 0.5);
    EXPECT_EQ(dialogs.count(testing::DialogCall::Critical), 0);
}

// Three plots as "Single Grid Image": the SVG, drawn by Qt's own renderer at
// the PNG's size, shows each plot filling its cell as the PNG does, and each
// cell of the PNG is the plot's export preview. (The SVG once drew each plot
// about 19 x 24 mm small under text sized for 90 dpi in millimetres, and the
// PNG's text took the screen's resolution.)
TEST_F(CombineExport, GridSvgAndPngLookAsThePreview) {
    addPopulations(3);
    setCheck("showCountCheck", true);
    exportTo(file("grid.png"), QStringLiteral("Single Grid Image"));
    exportTo(file("grid.svg"), QStringLiteral("Single Grid Image"));
    const QImage png(file("grid.png"));
    ASSERT_EQ(png.size(), QSize(1240, 1240)); // 2 x 2 cells of 100 mm, 10 mm apart
    EXPECT_NEAR(png.dotsPerMeterX(), 5905.5, 1.0);
    const QImage svg = testing::rasterisedSvg(file("grid.svg"), png.size());
    EXPECT_LT(testing::differingShare(svg, png, 1), 0.05);

    window->setExportPreview(true);
    const auto labels = window->findChild<QWidget*>(QStringLiteral("plotContainer"))
                            ->findChildren<AspectRatioLabel*>();
    ASSERT_EQ(labels.size(), 3);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const QImage preview = labels[k]->pixmap(Qt::ReturnByValue).toImage();
        ASSERT_EQ(preview.size(), QSize(590, 590));
        // Cells start at 0 and 110 mm: pixel 649.6.
        const QPoint at((k % 2) * 650, (k / 2) * 650);
        EXPECT_LT(testing::differingShare(png.copy(QRect(at, preview.size())), preview, 1), 0.03);
    }
}

// One plot ("Same Plot") is written without asking: 100 mm at 150 dpi.
TEST_F(CombineExport, SinglePlotIsWrittenWithoutTheModeQuestion) {
    addPopulations(2);
    dialogs.choiceAnswers.push_back(QStringLiteral("OK")); // "Sync Features Required"
    setCombo("displayCombo", 2);
    ASSERT_EQ(window->plots().size(), 1u);
    const int boxes = dialogs.count(testing::DialogCall::MessageBox);
    exportTo(file("one.png"));
    EXPECT_EQ(dialogs.count(testing::DialogCall::MessageBox), boxes);
    const QImage png(file("one.png"));
    EXPECT_NEAR(png.width(), 591, 1);
    EXPECT_NEAR(png.height(), 591, 1);
}

// Three plots as "Individual Plots" to fig.png: fig_1.png .. fig_3.png; a
// second export asks before it replaces them, and "No" keeps them.
TEST_F(CombineExport, IndividualPlotsAreNumberedAndReplacedOnlyWhenAllowed) {
    addPopulations(3);
    exportTo(file("fig.png"), QStringLiteral("Individual Plots"));
    for (const char* name : {"fig_1.png", "fig_2.png", "fig_3.png"})
        EXPECT_NEAR(QImage(file(name)).width(), 591, 1) << name;
    EXPECT_FALSE(QFileInfo::exists(file("fig.png")));
    const QByteArray before = bytesOf(file("fig_2.png"));

    dialogs.buttonAnswers.push_back(QMessageBox::No);
    setCombo("colorCombo", 0); // the plots change: a heat map
    exportTo(file("fig.png"), QStringLiteral("Individual Plots"));
    ASSERT_EQ(dialogs.calls.back().kind, testing::DialogCall::Question);
    EXPECT_TRUE(dialogs.calls.back().text.contains(QStringLiteral("fig_3.png")));
    EXPECT_EQ(bytesOf(file("fig_2.png")), before);

    dialogs.buttonAnswers.push_back(QMessageBox::Yes);
    exportTo(file("fig.png"), QStringLiteral("Individual Plots"));
    EXPECT_NE(bytesOf(file("fig_2.png")), before);
    EXPECT_EQ(leftovers(), (QStringList{"fig_1.png", "fig_2.png", "fig_3.png"}));
}

// A folder that cannot be written and a read-only target: an "Export Error"
// box naming the path, the old file byte for byte, no temporary file left.
TEST_F(CombineExport, FailuresNameThePathAndKeepTheOldFile) {
    addPopulations(2);
    const QString missing = file("no/such/folder/grid.png");
    exportTo(missing, QStringLiteral("Single Grid Image"));
    ASSERT_EQ(dialogs.calls.back().kind, testing::DialogCall::Critical);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Export Error"));
    EXPECT_TRUE(dialogs.calls.back().text.contains(missing));

    for (const char* name : {"old.png", "old.svg", "old.pdf"}) {
        const QString target = file(name);
        {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("the figure of last week");
        }
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        exportTo(target, QStringLiteral("Single Grid Image"));
        ASSERT_EQ(dialogs.calls.back().kind, testing::DialogCall::Critical) << name;
        EXPECT_TRUE(dialogs.calls.back().text.contains(target)) << name;
        EXPECT_EQ(bytesOf(target), QByteArray("the figure of last week")) << name;
    }
    EXPECT_EQ(leftovers(), (QStringList{"old.pdf", "old.png", "old.svg"}));

    // The statistics table too.
    window->findChild<QDockWidget*>(QStringLiteral("statsDock"))->show();
    const QString tsv = file("old.pdf");
    dialogs.fileAnswers.push_back(tsv);
    dialogs.filterAnswers.push_back(QStringLiteral("All Files (*)"));
    window->exportStatsTsv();
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Export Error"));
    EXPECT_EQ(bytesOf(tsv), QByteArray("the figure of last week"));
}

// The title settings reach the file: the dataset-coloured title turns black
// with "Color titles" off and goes with "Show titles" off.
TEST_F(CombineExport, TitleSettingsShapeTheWrittenPlot) {
    addPopulations(1);
    setCombo("contourCombo", 0);
    const QColor colour = window->references().at(0).color;
    // The first row that is mostly ink (the frame along the top scale).
    auto frameRow = [&](const char* name) {
        const QImage png(file(name));
        for (int y = 0; y < png.height(); ++y) {
            int inked = 0;
            for (int x = 0; x < png.width(); ++x)
                inked += png.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
            if (inked > png.width() / 2)
                return y;
        }
        return -1;
    };
    // Pixels of the band above the canvas close to the colour, and not white.
    auto titleBand = [&](const char* name) {
        exportTo(file(name));
        const QImage png(file(name));
        int coloured = 0, inked = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < png.width(); ++x) {
                const QColor c = png.pixelColor(x, y);
                inked += c != QColor(Qt::white) ? 1 : 0;
                coloured += std::abs(c.red() - colour.red()) +
                                        std::abs(c.green() - colour.green()) +
                                        std::abs(c.blue() - colour.blue()) <
                                    40
                                ? 1
                                : 0;
            }
        return std::make_pair(coloured, inked);
    };
    const auto shown = titleBand("coloured.png");
    EXPECT_GT(shown.first, 20);
    control<QCheckBox>("titleColorCheck")->setChecked(false);
    const auto black = titleBand("black.png");
    EXPECT_EQ(black.first, 0);
    EXPECT_GT(black.second, 20);
    control<QCheckBox>("showTitleCheck")->setChecked(false);
    EXPECT_EQ(titleBand("none.png").first, 0);
    // Without a title the plot starts higher up the page.
    EXPECT_LT(frameRow("none.png"), frameRow("black.png") - 10);
    EXPECT_GE(frameRow("none.png"), 0);
    EXPECT_EQ(dialogs.count(testing::DialogCall::MessageBox), 0); // one plot: no mode question
}

// The files are written on another thread while the window goes on; a
// cancel leaves the old file as it was and no other file behind. (Once the
// whole export ran on the GUI thread: a PDF of a million events froze the
// window for 20 s, with no way to stop it.)
TEST_F(CombineExport, PlotsAreWrittenInTheBackgroundAndACancelLeavesNoFile) {
    addPopulations(2);
    window->show();
    const QString target = file("held.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    std::atomic<bool> release{false};
    std::atomic<bool> entered{false};
    std::thread::id writer;
    window->setExportFileHook([&](const QString&) {
        writer = std::this_thread::get_id();
        entered = true;
        QElapsedTimer clock;
        clock.start();
        while (!release && clock.elapsed() < 10000)
            std::this_thread::yield();
    });
    dialogs.fileAnswers.push_back(target);
    dialogs.filterAnswers.push_back(QString());
    dialogs.choiceAnswers.push_back(QStringLiteral("Single Grid Image"));
    window->exportPlots();              // returns while the file is still to be written
    release = !window->exportRunning(); // nothing to hold when nothing runs
    ASSERT_TRUE(window->exportRunning());
    QElapsedTimer clock;
    clock.start();
    while (!entered && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(entered);
    EXPECT_NE(writer, std::this_thread::get_id());
    auto* progress = window->findChild<QProgressDialog*>(QStringLiteral("exportProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_GT(progress->maximum(), 1);

    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(progress->isVisible()); // the window is free at once
    release = true;
    ASSERT_TRUE(waitForExport());
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old"));
    EXPECT_EQ(leftovers(), QStringList{QStringLiteral("held.pdf")});
    EXPECT_EQ(dialogs.count(testing::DialogCall::Critical), 0); // a cancel is no error

    // Not cancelled: the new file replaces the old one once it is whole.
    window->setExportFileHook({});
    exportTo(target, QStringLiteral("Single Grid Image"));
    EXPECT_TRUE(plotFileLooksWritten(target, PlotFileFormat::Pdf));
    EXPECT_EQ(leftovers(), QStringList{QStringLiteral("held.pdf")});
}

// An export and the preview leave the plots on screen as they were.
TEST_F(CombineExport, PlotsLookAsBeforeAfterAnExportAndThePreview) {
    addPopulations(2);
    setCheck("showCountCheck", true);
    // Wide enough for the export settings dock, which the preview shows.
    window->resize(1800, 1000);
    window->show();
    QWidget* container = window->findChild<QWidget*>(QStringLiteral("plotContainer"));
    processEventsFor(50);
    const QImage before = container->grab().toImage();
    control<QSpinBox>("pointSizeSpin")->setValue(11);
    control<QSpinBox>("tickLabelSpin")->setValue(20);
    control<QCheckBox>("gridCheck")->setChecked(false);
    control<QCheckBox>("rightTopAxesCheck")->setChecked(false);
    exportTo(file("look.png"), QStringLiteral("Single Grid Image"));
    EXPECT_TRUE(QFileInfo::exists(file("look.png")));
    EXPECT_EQ(container->grab().toImage(), before);

    window->setExportPreview(true);
    const auto labels = container->findChildren<AspectRatioLabel*>();
    ASSERT_EQ(labels.size(), 2);
    // 100 mm at 150 dpi; a label 400 pixels wide is 400 high.
    EXPECT_EQ(labels[0]->pixmap(Qt::ReturnByValue).size(), QSize(590, 590));
    EXPECT_EQ(labels[0]->heightForWidth(400), 400);
    for (QwtPlot* plot : window->plots())
        EXPECT_TRUE(plot->isHidden());
    window->setExportPreview(false);
    EXPECT_TRUE(container->findChildren<AspectRatioLabel*>().isEmpty());
    processEventsFor(50); // the rebuilt plots are laid out
    EXPECT_EQ(container->grab().toImage(), before);
}

} // namespace
} // namespace Quorvex3::test
