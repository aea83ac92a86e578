// Plot documents of the evaluation window's exports: the geometry of three
// stacked plots as PNG (read back by OpenCV as well), SVG and PDF (page size
// by pdfinfo), a single plot's document, and failures that leave the old
// file and no temporary file behind.
#include "stats/EvaluationPlotExport.h"
#include "support/PdfInfo.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::TempDir;

const QColor kCanvas(200, 30, 30);

/// A plot whose canvas is a strong red, so its box shows in an image.
std::unique_ptr<QwtPlot> redPlot(const QString& title) {
    auto plot = std::make_unique<QwtPlot>(title);
    plot->setCanvasBackground(kCanvas);
    plot->resize(600, 400);
    plot->replot();
    return plot;
}

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    if (pipe)
        ::pclose(pipe);
    return out;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Whether any pixel of row y is the canvas red.
bool rowHasCanvas(const QImage& image, int y) {
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == kCanvas)
            return true;
    return false;
}

bool rowIsWhite(const QImage& image, int y) {
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) != QColor(Qt::white))
            return false;
    return true;
}

/// Names in the folder, hidden ones included (a left-over temporary file).
QStringList folderEntries(const TempDir& dir) {
    return QDir(QString::fromStdString(dir.path()))
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

class EvaluationPlotExport : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i)
            m_owned.push_back(redPlot(QStringLiteral("plot %1").arg(i)));
        for (const auto& p : m_owned)
            m_plots.push_back(p.get());
    }
    QString path(const char* name) const { return QString::fromStdString(m_dir.file(name)); }

    TempDir m_dir;
    std::vector<std::unique_ptr<QwtPlot>> m_owned;
    std::vector<QwtPlot*> m_plots;
    PlotDocumentStyle m_group; // 120 x 80 mm
};

TEST_F(EvaluationPlotExport, ThreeStackedPlotsAsPng) {
    QString error;
    ASSERT_TRUE(exportPlots(m_plots, path("plots.png"), m_group, &error)) << error.toStdString();
    const QImage image(path("plots.png"));
    // H = 3 x 80 + 2 x 8 = 256 mm at 150 dpi, the width cut to 708 pixels.
    EXPECT_EQ(image.size(), QSize(708, 1511));
    const std::string shape = run("/usr/bin/python3 -c \"import cv2,sys; "
                                  "print(cv2.imread(sys.argv[1]).shape)\" '" +
                                  m_dir.file("plots.png") + "'");
    EXPECT_EQ(shape, "(1511, 708, 3)\n");
    // Plot boxes start at 0, 519.685 and 1039.37 and are 472.44 high (the
    // anti-aliased edge of a tick label's glyph may reach the row after a
    // box: text is drawn at its true size, 150 dpi, on whole-pixel layouts).
    for (int y : {5, 470, 525, 990, 1045, 1505})
        EXPECT_TRUE(!rowIsWhite(image, y)) << "row " << y;
    for (int y : {475, 517, 995, 1037})
        EXPECT_TRUE(rowIsWhite(image, y)) << "row " << y;
    EXPECT_TRUE(rowHasCanvas(image, 300) && rowHasCanvas(image, 800) && rowHasCanvas(image, 1300));
    EXPECT_EQ(folderEntries(m_dir), QStringList{"plots.png"});
}

TEST_F(EvaluationPlotExport, ThreeStackedPlotsAsSvg) {
    QString error;
    ASSERT_TRUE(exportPlots(m_plots, path("plots.svg"), m_group, &error)) << error.toStdString();
    const QString svg = QString::fromUtf8(readAll(path("plots.svg")));
    EXPECT_TRUE(svg.contains(QStringLiteral("viewBox=\"0 0 453.54 967.552\"")))
        << svg.left(600).toStdString();
    // The generator's size, 453 by 967, is written in millimetres at its
    // default 72 dpi.
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("width=\"([0-9.]+)mm\" height=\"([0-9.]+)mm\""))
            .match(svg);
    ASSERT_TRUE(size.hasMatch()) << svg.left(600).toStdString();
    EXPECT_NEAR(size.captured(1).toDouble() * 72.0 / 25.4, 453.0, 0.05);
    EXPECT_NEAR(size.captured(2).toDouble() * 72.0 / 25.4, 967.0, 0.05);
    EXPECT_EQ(folderEntries(m_dir), QStringList{"plots.svg"});
}

TEST_F(EvaluationPlotExport, ThreeStackedPlotsAsPdfPage) {
    QString error;
    ASSERT_TRUE(exportPlots(m_plots, path("plots.pdf"), m_group, &error)) << error.toStdString();
    const QSizeF page = testing::pdfPageSizePoints(path("plots.pdf"));
    ASSERT_FALSE(page.isEmpty());
    const double w = page.width(), h = page.height();
    // 120 mm by 256 mm in points (72 per inch), which the PDF rounds to
    // whole points.
    EXPECT_NEAR(w, 120.0 * 72.0 / 25.4, 0.5);
    EXPECT_NEAR(h, 256.0 * 72.0 / 25.4, 0.5);
    const std::string info = run("pdfinfo '" + m_dir.file("plots.pdf") + "'");
    EXPECT_TRUE(QString::fromStdString(info).contains(QRegularExpression("Pages: +1\n"))) << info;
}

TEST_F(EvaluationPlotExport, OnePlotIsAWholeDocumentOfItsBox) {
    QString error;
    const std::vector<QwtPlot*> one{m_plots[0]};
    ASSERT_TRUE(exportPlots(one, path("one.png"), m_group, &error)) << error.toStdString();
    // 120 x 80 mm at 150 dpi.
    EXPECT_EQ(QImage(path("one.png")).size(), QSize(709, 472));
    PlotDocumentStyle roc = m_group;
    roc.plotSizeMm = QSizeF(120.0, 120.0);
    ASSERT_TRUE(exportPlots(one, path("one.pdf"), roc, &error)) << error.toStdString();
    const QSizeF page = testing::pdfPageSizePoints(path("one.pdf"));
    ASSERT_FALSE(page.isEmpty());
    const double w = page.width(), h = page.height();
    EXPECT_NEAR(w, 120.0 * 72.0 / 25.4, 0.5);
    EXPECT_NEAR(h, 120.0 * 72.0 / 25.4, 0.5);
}

TEST_F(EvaluationPlotExport, FailuresKeepTheOldFileAndLeaveNoTemporaryFile) {
    const QString old = path("old.png");
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
    }
    QString error;
    // No plot, an unknown format for one plot.
    EXPECT_FALSE(exportPlots({}, old, m_group, &error));
    EXPECT_FALSE(exportPlots({m_plots[0]}, path("old.xyz"), m_group, &error));
    EXPECT_FALSE(error.isEmpty());
    // A write that fails part-way: the file size limit.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    error.clear();
    const bool stacked = exportPlots(m_plots, old, m_group, &error);
    const bool single = exportPlots({m_plots[0]}, old, m_group, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(stacked);
    EXPECT_FALSE(single);
    EXPECT_EQ(readAll(old), QByteArray("old"));
    EXPECT_EQ(folderEntries(m_dir), QStringList{"old.png"});
    // A folder that refuses new files (root, whom permissions do not stop,
    // gets /sys).
    const std::string folder = m_dir.file("read-only");
    ::mkdir(folder.c_str(), 0555);
    const std::string target =
        (::access(folder.c_str(), W_OK) == 0 ? std::string("/sys") : folder) + "/plots.svg";
    error.clear();
    EXPECT_FALSE(exportPlots(m_plots, QString::fromStdString(target), m_group, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
}

// A file marked read-only is left alone, by the stacked and the single
// document alike, even where renaming over it would succeed.
TEST_F(EvaluationPlotExport, ReadOnlyTargetIsLeftAlone) {
    const struct {
        const char* name;
        std::size_t plots;
    } cases[] = {{"stacked.png", 3}, {"stacked.svg", 3}, {"single.pdf", 1}, {"single.svg", 1}};
    for (const auto& c : cases) {
        const QString target = path(c.name);
        {
            QFile file(target);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("old");
        }
        QFile::setPermissions(target, QFileDevice::ReadOwner);
        const std::vector<QwtPlot*> plots(m_plots.begin(),
                                          m_plots.begin() + static_cast<long>(c.plots));
        QString error;
        EXPECT_FALSE(exportPlots(plots, target, m_group, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_EQ(readAll(target), QByteArray("old")) << c.name;
    }
    EXPECT_EQ(folderEntries(m_dir).size(), 4);
}

} // namespace
} // namespace Quorvex3
