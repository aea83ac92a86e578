// Development aid, not a test: opens four generated populations, shows them
// in a combined plot window as "Array + Contour" with heat maps, contours,
// labelled isolines, "Show N" and the statistics dock, and saves a picture
// of the window (first argument) and of the same window in export preview
// (second argument); with a third argument, also the grid export as PNG; with
// a fourth, a picture of "Same Plot" in export preview; with a fifth, the
// same grid also written as SVG and PDF beside the PNG, and a picture of the
// SVG as Qt's own renderer draws it at the PNG's size, beside the PNG. Run it
// on a real display server (e.g. under xvfb-run).
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "calc/EModulus.h"
#include "compare/CombinePlotWindow.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"
#include "util/ScriptedDialogProvider.h"
#include "util/WindowUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

// A 21 x 21 Young's modulus table over areas 20..220 um^2 and deformations
// 0..0.1 whose modulus falls with deformation, as a real one does.
std::string writeTable(const Quorvex3::testing::TempDir& dir) {
    const std::string base = dir.file("program");
    QDir().mkpath(QString::fromStdString(base + "/data"));
    std::ofstream out(base + "/data/LUT_LE_2D_FEM.txt");
    out << "area_um deform emodulus\n";
    for (int k = 0; k < 441; ++k) {
        const double area = 20.0 + 10.0 * (k % 21), d = 0.005 * (k / 21);
        out << area << ' ' << d << ' ' << 0.3 + 40.0 * d * (1.0 + area / 200.0) << '\n';
    }
    return base;
}

// Cells: area around `area` um^2, deformation around `deform`, correlated.
void writePopulation(const std::string& path, int n, double area, double deform, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> a(0.0, 1.0);
    std::vector<double> x(static_cast<size_t>(n)), y(x.size()), b(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double u = a(rng), v = a(rng);
        x[i] = area * (1.0 + 0.18 * u);
        y[i] = deform * (1.0 + 0.25 * v + 0.1 * u);
        b[i] = 100.0 + 8.0 * a(rng);
    }
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    writer.addColumn<double>("area_um", x);
    writer.addColumn<double>("deform", y);
    writer.addColumn<double>("bright_avg", b);
    writer.setStringAttribute("setup:flow rate", "0.16");
    writer.setScalarAttribute<double>("setup:channel width", 20.0);
    writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
    writer.close();
}

// Writes the window's plots as one grid image to `path`; waits for the file.
void exportGrid(Quorvex3::CombinePlotWindow& combine, const QString& path) {
    Quorvex3::testing::ScriptedDialogProvider dialogs;
    const Quorvex3::ScopedDialogProvider guard(dialogs);
    dialogs.fileAnswers.push_back(path);
    dialogs.filterAnswers.push_back(QStringLiteral("PNG Image (*.png)"));
    dialogs.choiceAnswers.push_back(QStringLiteral("Single Grid Image"));
    combine.exportPlots();
    // The file is written in the background.
    while (combine.exportRunning())
        Quorvex3::testing::spinEvents(10);
}

// The grid PNG on the left, the grid SVG drawn by QSvgRenderer at the PNG's
// size on the right, each named above, the whole scaled to 1280 x 720.
bool saveSvgBesidePng(const QString& png, const QString& svg, const char* path) {
    const QImage left(png);
    QSvgRenderer renderer(svg);
    if (left.isNull() || !renderer.isValid())
        return false;
    QImage right(left.size(), QImage::Format_RGB32);
    right.fill(Qt::white);
    {
        QPainter painter(&right);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(left.size())));
    }
    const int gap = 40;
    const int caption = 70;
    QImage both(2 * left.width() + gap, left.height() + caption, QImage::Format_RGB32);
    both.fill(QColor(200, 203, 208));
    {
        QPainter painter(&both);
        QFont font = painter.font();
        font.setPixelSize(caption / 2);
        painter.setFont(font);
        const QRect names[] = {{0, 0, left.width(), caption},
                               {left.width() + gap, 0, left.width(), caption}};
        painter.drawText(names[0], Qt::AlignCenter, QStringLiteral("PNG"));
        painter.drawText(names[1], Qt::AlignCenter, QStringLiteral("SVG, drawn by QSvgRenderer"));
        painter.drawImage(0, caption, left);
        painter.drawImage(left.width() + gap, caption, right);
    }
    return both.scaled(1280, 720, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .save(QString::fromLocal8Bit(path));
}

} // namespace

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(
            argc, argv, 2, 5,
            "<window.png> <preview.png> [grid.png] [same-plot-preview.png] [svg-beside-png.png]"))
        return 2;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();

    Quorvex3::testing::TempDir dir;
    Quorvex3::MainWindow window;
    window.findChild<Quorvex3::EModulus*>()->setLUTSearchDir(
        QString::fromStdString(writeTable(dir)));
    const struct {
        const char* name;
        double area, deform;
    } populations[] = {{"HL60 control.rtdc", 95, 0.025},
                       {"HL60 latrunculin.rtdc", 100, 0.045},
                       {"Neutrophils.rtdc", 60, 0.03},
                       {"Lymphocytes.rtdc", 40, 0.018}};
    unsigned seed = 7;
    for (const auto& p : populations) {
        const std::string path = dir.file(p.name);
        writePopulation(path, 4000, p.area, p.deform, seed++);
        window.addDataset(QString::fromStdString(path));
        Quorvex3::testing::spinUntil(
            [&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; },
            10000);
    }

    Quorvex3::CombinePlotWindow combine(&window.store(), &window);
    // As large as the screen allows (a 1280 x 720 laptop under xvfb-run -s
    // "-screen 0 1280x720x24").
    Quorvex3::WindowUtil::resizeInsideScreen(&combine, QSize(1500, 1050));
    combine.addAllDatasets();
    combine.findChild<QCheckBox*>(QStringLiteral("syncFeaturesCheck"))->setChecked(true);
    combine.findChild<QComboBox*>(QStringLiteral("displayCombo"))->setCurrentIndex(1);
    combine.findChild<QComboBox*>(QStringLiteral("colorCombo"))->setCurrentIndex(0);
    combine.findChild<QComboBox*>(QStringLiteral("contourCombo"))->setCurrentIndex(1);
    combine.findChild<QCheckBox*>(QStringLiteral("syncAxesCheck"))->setChecked(true);
    combine.findChild<QCheckBox*>(QStringLiteral("isoCheck"))->setChecked(true);
    combine.findChild<QCheckBox*>(QStringLiteral("isoLabelsCheck"))->setChecked(true);
    combine.findChild<QCheckBox*>(QStringLiteral("showCountCheck"))->setChecked(true);
    combine.findChild<QCheckBox*>(QStringLiteral("showLegendCheck"))->setChecked(true);
    combine.findChild<QDockWidget*>(QStringLiteral("statsDock"))->show();
    combine.show();
    Quorvex3::testing::spinEvents(1000);
    if (!Quorvex3::testing::saveGrab(combine, argv[1]))
        return 1;
    combine.setExportPreview(true);
    Quorvex3::testing::spinEvents(1000);
    if (!Quorvex3::testing::saveGrab(combine, argv[2]))
        return 1;
    if (argc >= 4)
        exportGrid(combine, QString::fromLocal8Bit(argv[3]));
    if (argc == 6) {
        const QFileInfo png(QString::fromLocal8Bit(argv[3]));
        const QString base = png.absolutePath() + QLatin1Char('/') + png.completeBaseName();
        exportGrid(combine, base + QStringLiteral(".svg"));
        exportGrid(combine, base + QStringLiteral(".pdf"));
        if (!saveSvgBesidePng(png.absoluteFilePath(), base + QStringLiteral(".svg"), argv[5])) {
            std::fprintf(stderr, "could not write %s\n", argv[5]);
            return 1;
        }
    }
    if (argc >= 5) {
        Quorvex3::testing::ScriptedDialogProvider dialogs;
        const Quorvex3::ScopedDialogProvider guard(dialogs);
        dialogs.choiceAnswers.push_back(QStringLiteral("OK"));
        combine.findChild<QComboBox*>(QStringLiteral("displayCombo"))->setCurrentIndex(2);
        Quorvex3::testing::spinEvents(1000);
        if (!Quorvex3::testing::saveGrab(combine, argv[4]))
            return 1;
    }
    return 0;
}
