// The evaluation window's "&Export" menu: what each entry asks and writes,
// its messages, the documents of three plots, tables as TSV (byte for byte)
// and CSV (read back by Python's csv module), the last ROC run's curves
// against scikit-learn, failures that name the path and keep the old file,
// and UTF-8 whatever the locale's codec.
#include "StatsWindowTestSupport.h"
#include "stats/ROCAnalysis.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/PdfInfo.h"
#include "util/ScriptedDialogProvider.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTableWidget>
#include <QTextCodec>
#include <QVBoxLayout>

#include <qwt_plot.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Quorvex3 {

/// Fills the window's plot lists and last ROC run as its runs would.
class StatisticalEvalWindowTestAccess {
public:
    static void addGroupPlot(StatisticalEvalWindow& w) {
        add(w.m_groupPlots, w.m_groupPlotContainer, w.m_groupPlotLayout);
    }
    static void addRocPlot(StatisticalEvalWindow& w) {
        add(w.m_rocPlots, w.m_rocPlotContainer, w.m_rocPlotLayout);
    }
    static void addDistributionPlot(StatisticalEvalWindow& w) {
        add(w.m_distributionPlots, w.m_distributionContainer, w.m_distributionLayout);
    }
    static void setLastRocRun(StatisticalEvalWindow& w,
                              std::vector<std::pair<std::string, ROCResult>> curves) {
        w.m_lastRocCurves = std::move(curves);
    }

private:
    static void add(std::vector<QwtPlot*>& plots, QWidget* container, QVBoxLayout* layout) {
        auto* plot = new QwtPlot(QStringLiteral("plot %1").arg(plots.size()), container);
        plot->setCanvasBackground(QColor(200, 30, 30));
        layout->addWidget(plot);
        plots.push_back(plot);
    }
};

namespace {

using Access = StatisticalEvalWindowTestAccess;
using testing::DialogCall;
using testing::namedChild;
using testing::ScriptedDialogProvider;

std::string readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<none>");
}

std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int code = pipe ? ::pclose(pipe) : -1;
    if (status)
        *status = code;
    return out;
}

/// A folder nobody may add files to (root, whom permissions do not stop,
/// gets /sys).
std::string unwritableFolder(const testing::TempDir& dir) {
    const std::string folder = dir.file("read-only");
    ::mkdir(folder.c_str(), 0555);
    return ::access(folder.c_str(), W_OK) == 0 ? std::string("/sys") : folder;
}

class EvaluationWindowExports : public testing::StatsStoreFixture {
protected:
    QString path(const std::string& name) const { return QString::fromStdString(m_dir.file(name)); }

    /// Fills the results table: three columns, the last without header.
    void fillResultsTable(StatisticalEvalWindow& w) {
        auto* table = namedChild<QTableWidget>(&w, "resultsTable");
        table->setColumnCount(3);
        table->setRowCount(2);
        table->setHorizontalHeaderItem(0, new QTableWidgetItem("Feature"));
        table->setHorizontalHeaderItem(1, new QTableWidgetItem("p-value"));
        table->setItem(0, 0, new QTableWidgetItem(QString::fromUtf8("Area [µm²]")));
        table->setItem(0, 1, new QTableWidgetItem("0.0123"));
        table->setItem(0, 2, new QTableWidgetItem("1,5 \"a\""));
        table->setItem(1, 0, new QTableWidgetItem("tab\tand\nbreak"));
        table->setItem(1, 2, new QTableWidgetItem("ns"));
    }
};

TEST_F(EvaluationWindowExports, NothingToExportSaysSoAndAsksNothing) {
    StatisticalEvalWindow w(&m_store);
    const struct {
        void (StatisticalEvalWindow::*slot)();
        const char* text;
    } cases[] = {
        {&StatisticalEvalWindow::exportPlots, "No plots to export. Run analysis first."},
        {&StatisticalEvalWindow::exportTable, "No results to export. Run analysis first."},
        {&StatisticalEvalWindow::exportROCPlots, "No ROC plots to export. Run ROC analysis first."},
        {&StatisticalEvalWindow::exportROCTable,
         "No ROC results to export. Run ROC analysis first."},
        {&StatisticalEvalWindow::exportROCData, "No ROC data to export. Run ROC analysis first."},
        {&StatisticalEvalWindow::exportDistributionPlots,
         "No distribution plots to export. Run distribution explorer first."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ScriptedDialogProvider dialogs;
        ScopedDialogProvider guard(dialogs);
        (w.*c.slot)();
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Information);
        EXPECT_EQ(dialogs.calls[0].title, "Export");
        EXPECT_EQ(dialogs.calls[0].text, c.text);
    }
}

TEST_F(EvaluationWindowExports, ThreeGroupPlotsAsPngSvgAndPdf) {
    StatisticalEvalWindow w(&m_store);
    for (int i = 0; i < 3; ++i)
        Access::addGroupPlot(w);
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    // Typed without extension: the selected filter's is added; a typed known
    // one chooses the format whatever filter was left selected.
    dialogs.fileAnswers = {path("plots"), path("plots.svg"), path("plots.pdf")};
    dialogs.filterAnswers = {"PNG Image (*.png)", "PNG Image (*.png)", "PNG Image (*.png)"};
    w.exportPlots();
    w.exportPlots();
    w.exportPlots();
    ASSERT_EQ(dialogs.count(DialogCall::SaveFile), 3);
    EXPECT_EQ(dialogs.calls[0].title, "Export Plots");
    EXPECT_EQ(dialogs.calls[0].text, "PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
    EXPECT_EQ(dialogs.calls.size(), 3u); // no message on success
    EXPECT_EQ(QImage(path("plots.png")).size(), QSize(708, 1511));
    EXPECT_NE(readFile(path("plots.svg")).find("viewBox=\"0 0 453.54 967.552\""),
              std::string::npos);
    const QSizeF page = testing::pdfPageSizePoints(path("plots.pdf"));
    ASSERT_FALSE(page.isEmpty());
    const double wPts = page.width(), hPts = page.height();
    EXPECT_NEAR(wPts, 120.0 * 72.0 / 25.4, 0.5);
    EXPECT_NEAR(hPts, 256.0 * 72.0 / 25.4, 0.5);
}

TEST_F(EvaluationWindowExports, RocPlotsAreSquareBoxes) {
    StatisticalEvalWindow w(&m_store);
    Access::addRocPlot(w);
    Access::addRocPlot(w);
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    dialogs.fileAnswers = {path("roc.png")};
    w.exportROCPlots();
    EXPECT_EQ(dialogs.calls.at(0).title, "Export ROC Plots");
    // 2 x 120 + 8 = 248 mm at 150 dpi.
    EXPECT_EQ(QImage(path("roc.png")).size(), QSize(708, 1464));
}

TEST_F(EvaluationWindowExports, TablesAsTsvByteForByteAndAsCsv) {
    StatisticalEvalWindow w(&m_store);
    fillResultsTable(w);
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    dialogs.fileAnswers = {path("table"), path("table.CSV")};
    dialogs.filterAnswers = {"Tab-separated values (*.tsv)", "Tab-separated values (*.tsv)"};
    w.exportTable();
    w.exportTable();
    ASSERT_EQ(dialogs.calls.size(), 2u) << dialogs.calls.back().text.toStdString();
    EXPECT_EQ(dialogs.calls[0].title, "Export Table");
    EXPECT_EQ(dialogs.calls[0].text, "Tab-separated values (*.tsv);;CSV (*.csv)");
    // TSV: a tab or line break inside a cell becomes a blank; nothing else
    // changes.
    EXPECT_EQ(readFile(path("table.tsv")), "Feature\tp-value\t\n"
                                           "Area [\xC2\xB5m\xC2\xB2]\t0.0123\t1,5 \"a\"\n"
                                           "tab and break\t\tns\n");
    // "CSV" in capitals, typed under the TSV filter, is comma-separated;
    // Python's csv module reads back every cell as shown.
    int status = 0;
    const std::string rows =
        run("/usr/bin/python3 -c \"import csv,sys; "
            "print(list(csv.reader(open(sys.argv[1], encoding='utf-8', newline=''))))\" '" +
                m_dir.file("table.CSV") + "'",
            &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rows, "[['Feature', 'p-value', ''], ['Area [\xC2\xB5m\xC2\xB2]', '0.0123', "
                    "'1,5 \"a\"'], ['tab\\tand\\nbreak', '', 'ns']]\n");
}

TEST_F(EvaluationWindowExports, RocCurveDataIsTheLastRunAgainstScikitLearn) {
    StatisticalEvalWindow w(&m_store);
    Access::addRocPlot(w);
    const std::vector<double> negatives{1, 2, 3, 4, 5.5}, positives{3.5, 5, 6, 7, 8};
    ROCResult invalid;
    Access::setLastRocRun(w,
                          {{"Area [\xC2\xB5m\xC2\xB2]", ROCAnalysis::compute(negatives, positives)},
                           {"deform", invalid}});
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    dialogs.fileAnswers = {path("roc.tsv"), path("roc.csv")};
    w.exportROCData();
    w.exportROCData();
    EXPECT_EQ(dialogs.calls.at(0).title, "Export ROC Curve Data");
    EXPECT_EQ(dialogs.calls.size(), 2u);
    // One block: the invalid feature writes none.
    EXPECT_EQ(readFile(path("roc.tsv")).rfind("# Area [\xC2\xB5m\xC2\xB2]\n", 0), 0u);
    for (const auto& [file, separator] :
         {std::pair{"roc.tsv", "tab"}, std::pair{"roc.csv", "comma"}}) {
        SCOPED_TRACE(file);
        int status = 0;
        const std::string out =
            run("/usr/bin/python3 '" QUORVEX3_TEST_DIR "/roc_data_oracle.py' '" + m_dir.file(file) +
                    "' " + separator + " 1,2,3,4,5.5 3.5,5,6,7,8",
                &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(out, "ok\n");
    }
}

TEST_F(EvaluationWindowExports, DistributionPlotsCountOnlyFilesWritten) {
    StatisticalEvalWindow w(&m_store);
    for (int i = 0; i < 4; ++i)
        Access::addDistributionPlot(w);
    const QString folder = path("out");
    QDir().mkpath(folder);
    {
        ScriptedDialogProvider dialogs;
        ScopedDialogProvider guard(dialogs);
        dialogs.fileAnswers = {folder};
        w.exportDistributionPlots();
        ASSERT_EQ(dialogs.calls.size(), 2u);
        EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Directory);
        EXPECT_EQ(dialogs.calls[0].title, "Export Distribution Plots");
        EXPECT_EQ(dialogs.calls[1].kind, DialogCall::Information);
        EXPECT_EQ(dialogs.calls[1].text, "Exported 4 distribution plot(s) to " + folder);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"distribution_1.svg", "distribution_2.svg", "distribution_3.svg",
                               "distribution_4.svg"}));
        // 200 x 150 mm at 300 dpi.
        EXPECT_NE(
            readFile(folder + "/distribution_1.svg").find("<svg viewBox=\"0 0 2362.2 1771.65\""),
            std::string::npos)
            << readFile(folder + "/distribution_1.svg").substr(0, 400);
    }
    {
        const QString unwritable = QString::fromStdString(unwritableFolder(m_dir));
        ScriptedDialogProvider dialogs;
        ScopedDialogProvider guard(dialogs);
        dialogs.fileAnswers = {unwritable};
        w.exportDistributionPlots();
        ASSERT_EQ(dialogs.calls.size(), 2u);
        EXPECT_EQ(dialogs.calls[1].kind, DialogCall::Warning);
        EXPECT_EQ(dialogs.calls[1].title, "Export");
        EXPECT_TRUE(dialogs.calls[1].text.startsWith("Could not write file:\n" + unwritable +
                                                     "/distribution_1.svg\n"))
            << dialogs.calls[1].text.toStdString();
    }
}

TEST_F(EvaluationWindowExports, FailuresNameThePathAndKeepTheOldFile) {
    StatisticalEvalWindow w(&m_store);
    fillResultsTable(w);
    Access::addGroupPlot(w);
    Access::addGroupPlot(w);
    const QString inUnwritable = QString::fromStdString(unwritableFolder(m_dir)) + "/t.tsv";
    const QString old = path("old.tsv");
    const QString oldPlot = path("old.png");
    for (const QString& file : {old, oldPlot}) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("old");
    }
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    dialogs.fileAnswers = {inUnwritable, old, oldPlot};
    w.exportTable();
    // Writes that fail part-way: the file size limit.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 8;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    w.exportTable();
    w.exportPlots();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    std::vector<QString> warnings;
    for (const DialogCall& c : dialogs.calls)
        if (c.kind == DialogCall::Warning) {
            EXPECT_EQ(c.title, "Export");
            warnings.push_back(c.text);
        }
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_TRUE(warnings[0].startsWith("Could not write file:\n" + inUnwritable + "\n"));
    EXPECT_TRUE(warnings[1].startsWith("Could not write file:\n" + old + "\n"));
    EXPECT_TRUE(warnings[2].startsWith("Could not write file:\n" + oldPlot + "\n"));
    EXPECT_EQ(readFile(old), "old");
    EXPECT_EQ(readFile(oldPlot), "old");
    EXPECT_FALSE(QFile::exists(inUnwritable));
    EXPECT_EQ(QDir(QString::fromStdString(m_dir.path())).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"old.png", "old.tsv"}));
}

TEST_F(EvaluationWindowExports, TextIsUtf8WhateverTheLocaleCodec) {
    StatisticalEvalWindow w(&m_store);
    auto* table = namedChild<QTableWidget>(&w, "rocTable");
    table->setColumnCount(1);
    table->setRowCount(1);
    table->setHorizontalHeaderItem(0, new QTableWidgetItem("Feature"));
    table->setItem(0, 0, new QTableWidgetItem(QString::fromUtf8("Area [µm²]")));
    QTextCodec* before = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    dialogs.fileAnswers = {path("roc-table.tsv")};
    w.exportROCTable();
    QTextCodec::setCodecForLocale(before);
    EXPECT_EQ(dialogs.calls.at(0).title, "Export ROC Table");
    EXPECT_EQ(readFile(path("roc-table.tsv")), "Feature\nArea [\xC2\xB5m\xC2\xB2]\n");
}

} // namespace
} // namespace Quorvex3
