// Development aid, not a test: pictures of the main window in two situations
// worth looking at by eye. Run it on a display server, e.g.
//
//     xvfb-run -a -s "-screen 0 1920x1200x24" quorvex3_window_screenshots log-axis out.png
//     xvfb-run -a -s "-screen 0 1920x1200x24" quorvex3_window_screenshots small-screen out.png
//     xvfb-run -a -s "-screen 0 1280x720x24" quorvex3_window_screenshots export-avi out.png
//
// log-axis: a fluorescence feature with values at and below 0 on a log axis,
// density colours and contours. small-screen: the window at 1280 x 720 with
// two datasets, a filter group with two rules and a dataset rule, on the
// screen it is started on. no-images-event: a measurement without images and
// traces counted in samples, after event 7 was typed in. empty-after-full: a
// measurement with 0 events shown after a full one. export-avi: the export
// dialog with the AVI options, as it opens over that window. emodulus: Young's
// modulus computed by the calculations dock's button with a generated look-up
// table, coloured by the modulus, with the isoelastics and their labels on
// (QUORVEX3_ISOLINE_ENDS widens the axes to the lines' labelled ends).
// calc-dock: the calculations dock alone, on a measurement with images,
// masks and traces, in the window as it opens on the screen.
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "calc/EModulus.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "plots/ScatterPlot.h"
#include "session/ExportDialog.h"
#include "support/RtdcFixtureWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::MainWindow;

void spinEvents(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

/// Cells in area and deformation, with a fluorescence maximum that is
/// background noise around 0 for a third of them.
void writeMeasurement(const std::string& path, int events, unsigned seed, const char* sample) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> area, deform, fl1;
    for (int i = 0; i < events; ++i) {
        area.push_back(std::exp(std::log(80.0) + 0.25 * unit(rng)));
        deform.push_back(std::max(0.002, 0.02 + 0.008 * unit(rng)));
        fl1.push_back(uniform(rng) < 0.33 ? 40.0 * unit(rng)
                                          : std::exp(std::log(900.0) + 0.6 * unit(rng)));
    }
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    writer.addColumn<double>("area_um", area);
    writer.addColumn<double>("deform", deform);
    writer.addColumn<double>("fl1_max", fl1);
    writer.setStringAttribute("experiment:sample", sample);
    writer.setScalarAttribute<double>("setup:flow rate", 0.06);
}

bool openAndWait(MainWindow& window, const std::string& path) {
    window.addDataset(QString::fromStdString(path));
    QElapsedTimer clock;
    clock.start();
    while (!(window.activeDataset() && window.activeDataset()->filePath == path &&
             window.activeDataset()->featuresLoaded) &&
           clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return window.activeDataset() && window.activeDataset()->featuresLoaded;
}

void choose(MainWindow& window, const char* combo, const QString& data) {
    auto* box = window.findChild<QComboBox*>(QString::fromLatin1(combo));
    if (box && box->findData(data) >= 0)
        box->setCurrentIndex(box->findData(data));
}

bool logAxis(MainWindow& window, const QDir& dir) {
    const std::string path = dir.filePath(QStringLiteral("cells.rtdc")).toStdString();
    writeMeasurement(path, 30000, 7u, "Cells with FL1 background");
    window.resize(1600, 1000);
    window.show();
    if (!openAndWait(window, path))
        return false;
    choose(window, "yFeatureCombo", QStringLiteral("fl1_max"));
    window.findChild<QComboBox*>(QStringLiteral("scaleYCombo"))->setCurrentIndex(1);
    choose(window, "colorCombo", QStringLiteral("__density_kde__"));
    window.findChild<QComboBox*>(QStringLiteral("contourModeCombo"))->setCurrentIndex(1);
    return true;
}

// The window keeps the size it chose for the screen it opens on.
bool smallScreen(MainWindow& window, const QDir& dir) {
    window.show();
    for (const char* name : {"day1/a.rtdc", "day2/b.rtdc"}) {
        dir.mkpath(QFileInfo(dir.filePath(QString::fromLatin1(name))).path());
        const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
        writeMeasurement(path, 5000, name[3] == '1' ? 1u : 2u, name);
        if (!openAndWait(window, path))
            return false;
    }
    const int group = window.addFilterGroup("Large cells");
    Quorvex3::FilterRule range;
    range.featureName = "area_um";
    range.minValue = 80.0;
    range.maxValue = 200.0;
    window.addRuleToGroup(group, range);
    Quorvex3::FilterRule polygon;
    polygon.type = 1;
    polygon.featureName = "area_um";
    polygon.featureNameY = "deform";
    polygon.polygonVertices = {{60.0, 0.01}, {120.0, 0.01}, {110.0, 0.035}, {65.0, 0.03}};
    window.addRuleToGroup(group, polygon);
    window.setGroupEnabledInAll(group, true);
    // A dataset rule copied to the other dataset shows all its buttons.
    Quorvex3::FilterRule deform;
    deform.featureName = "deform";
    deform.minValue = 0.0;
    deform.maxValue = 0.05;
    window.activeDataset()->filter.addRule(deform);
    window.refreshFilterGroupsUi();
    window.findChild<Quorvex3::FilterDockWidget*>()->setActiveDataset(window.activeDataset());
    spinEvents(100);
    for (QPushButton* apply : window.findChildren<QPushButton*>(QStringLiteral("applyToAllButton")))
        if (apply->isVisible()) {
            apply->click();
            break;
        }
    return true;
}

bool exportAvi(MainWindow& window, const QDir& dir, QWidget*& shown) {
    if (!smallScreen(window, dir))
        return false;
    auto* dialog = new Quorvex3::ExportDialog(window.activeDataset(), window.datasets(), false,
                                              &window, nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    spinEvents(300);
    for (QRadioButton* format : dialog->findChildren<QRadioButton*>())
        if (format->text() == QStringLiteral(".avi (Video)"))
            format->setChecked(true);
    shown = dialog;
    return true;
}

bool noImagesEvent(MainWindow& window, const QDir& dir) {
    // No images, and traces without a sample rate: the time axis counts samples.
    const std::string path = dir.filePath(QStringLiteral("plain.rtdc")).toStdString();
    {
        const std::size_t events = 200;
        const std::size_t samples = 100;
        std::vector<double> area, deform;
        std::vector<std::int16_t> trace;
        for (std::size_t i = 0; i < events; ++i) {
            area.push_back(40.0 + 0.5 * static_cast<double>(i));
            deform.push_back(0.01 + 0.0002 * static_cast<double>(i % 50));
            for (std::size_t j = 0; j < samples; ++j) {
                const double d = (static_cast<double>(j) - 50.0) / 12.0;
                trace.push_back(static_cast<std::int16_t>(20 + (200 + 10 * i) * std::exp(-d * d)));
            }
        }
        Quorvex3::testing::RtdcFixtureWriter writer(path);
        writer.addColumn<double>("area_um", area);
        writer.addColumn<double>("deform", deform);
        writer.addTrace("fl1_median", events, samples, trace);
        writer.setStringAttribute("experiment:sample", "No images");
        writer.setStringAttribute("fluorescence:channel 1 name", "488/525");
    }
    window.resize(1600, 1000);
    window.show();
    if (!openAndWait(window, path))
        return false;
    window.findChild<QSpinBox*>(QStringLiteral("eventSpinBox"))->setValue(7);
    // The Image tab shows the traces; QUORVEX3_SHOW_EVENT_DATA shows the table.
    if (qEnvironmentVariableIsSet("QUORVEX3_SHOW_EVENT_DATA"))
        if (auto* tabs = window.findChild<QTabWidget*>())
            tabs->setCurrentIndex(1);
    return true;
}

bool emptyAfterFull(MainWindow& window, const QDir& dir) {
    const std::string full = dir.filePath(QStringLiteral("full.rtdc")).toStdString();
    writeMeasurement(full, 5000, 5u, "Full");
    const std::string empty = dir.filePath(QStringLiteral("empty.rtdc")).toStdString();
    {
        Quorvex3::testing::RtdcFixtureWriter writer(empty);
        writer.addColumn<double>("area_um", {});
        writer.addColumn<double>("deform", {});
        writer.setStringAttribute("experiment:sample", "empty");
    }
    window.resize(1600, 1000);
    window.show();
    return openAndWait(window, full) && openAndWait(window, empty);
}

/// A look-up table over areas [20, 300] µm² and deformations [0, 0.1] at the
/// table's reference conditions: stiffer cells deform less, larger ones more.
void writeLookUpTable(const QDir& dir) {
    dir.mkpath(QStringLiteral("program/data"));
    std::ofstream out(dir.filePath(QStringLiteral("program/data/LUT_LE_2D_FEM.txt")).toStdString());
    out << "area_um deform emodulus\n";
    for (int i = 0; i <= 28; ++i)
        for (int j = 0; j <= 40; ++j) {
            const double area = 20.0 + 10.0 * i, deform = 0.0025 * j;
            out << area << ' ' << deform << ' '
                << std::pow(area / 80.0, 0.7) * 0.025 / (deform + 0.005) << '\n';
        }
}

bool emodulus(MainWindow& window, const QDir& dir) {
    writeLookUpTable(dir);
    window.findChild<Quorvex3::EModulus*>()->setLUTSearchDir(
        dir.filePath(QStringLiteral("program")));
    const std::string path = dir.filePath(QStringLiteral("cells.rtdc")).toStdString();
    {
        std::mt19937 rng(3u);
        std::normal_distribution<double> unit(0.0, 1.0);
        std::vector<double> area, deform;
        for (int i = 0; i < 20000; ++i) {
            area.push_back(std::exp(std::log(80.0) + 0.25 * unit(rng)));
            deform.push_back(std::max(0.002, 0.02 + 0.007 * unit(rng)));
        }
        Quorvex3::testing::RtdcFixtureWriter writer(path);
        writer.addColumn<double>("area_um", area);
        writer.addColumn<double>("deform", deform);
        writer.setStringAttribute("experiment:sample", "Cells for Young's modulus");
        writer.setStringAttribute("setup:chip region", "channel");
        writer.setStringAttribute("setup:medium", "Water");
        writer.setScalarAttribute<double>("setup:channel width", 20.0);
        writer.setScalarAttribute<double>("setup:flow rate", 0.16);
        writer.setScalarAttribute<double>("setup:temperature", 23.0);
        writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
    }
    window.resize(1600, 1000);
    window.show();
    if (!openAndWait(window, path))
        return false;
    // The dock's own button, as a user presses it.
    if (auto* dock = window.findChild<QDockWidget*>(QStringLiteral("calculationsDock")))
        dock->raise();
    QPushButton* compute = nullptr;
    for (QPushButton* button : window.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Compute Young's Modulus"))
            compute = button;
    if (!compute || !compute->isEnabled()) {
        std::fprintf(stderr, "no enabled \"Compute Young's Modulus\" button\n");
        return false;
    }
    compute->click();
    QElapsedTimer clock;
    clock.start();
    spinEvents(50);
    while (window.calcBusy() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (window.calcBusy() || !window.activeDataset()->reader->hasFeature("emodulus")) {
        std::fprintf(stderr, "Young's modulus was not computed\n");
        return false;
    }
    spinEvents(200);
    choose(window, "colorCombo", QStringLiteral("emodulus"));
    if (auto* iso = window.findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck")))
        iso->setChecked(true);
    if (auto* labels = window.findChild<QCheckBox*>(QStringLiteral("isoLabelsCheck")))
        labels->setChecked(true);
    // The labels sit at the lines' ends, at the table's largest area:
    // QUORVEX3_ISOLINE_ENDS widens the axes to show them.
    if (qEnvironmentVariableIsSet("QUORVEX3_ISOLINE_ENDS"))
        if (auto* plot = window.findChild<Quorvex3::ScatterPlot*>()) {
            spinEvents(300);
            plot->setAxisScale(QwtPlot::xBottom, 0.0, 320.0);
            plot->setAxisScale(QwtPlot::yLeft, 0.0, 0.1);
            plot->replot();
        }
    return true;
}

/// A measurement with images, masks, two fluorescence traces and their
/// peaks, and the setup metadata a Young's modulus needs.
void writeImagedMeasurement(const std::string& path) {
    const std::size_t events = 300, height = 40, width = 120, samples = 100;
    std::mt19937 rng(5u);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::vector<double> area, deform, fl1, fl2, posX, temp;
    std::vector<std::uint8_t> images, masks;
    std::vector<std::int16_t> trace1, trace2;
    for (std::size_t i = 0; i < events; ++i) {
        area.push_back(std::exp(std::log(80.0) + 0.25 * unit(rng)));
        deform.push_back(std::max(0.002, 0.02 + 0.007 * unit(rng)));
        fl1.push_back(std::exp(std::log(900.0) + 0.6 * unit(rng)));
        fl2.push_back(std::exp(std::log(300.0) + 0.6 * unit(rng)));
        posX.push_back(60.0);
        temp.push_back(23.5 + 0.1 * unit(rng));
        for (std::size_t y = 0; y < height; ++y)
            for (std::size_t x = 0; x < width; ++x) {
                const double dx = (double(x) - 60.0) / 14.0, dy = (double(y) - 20.0) / 10.0;
                const bool inside = dx * dx + dy * dy < 1.0;
                images.push_back(static_cast<std::uint8_t>(inside ? 70 : 110));
                masks.push_back(inside ? 255 : 0);
            }
        for (std::size_t j = 0; j < samples; ++j) {
            const double d = (static_cast<double>(j) - 50.0) / 12.0;
            trace1.push_back(static_cast<std::int16_t>(20 + fl1.back() * std::exp(-d * d)));
            trace2.push_back(static_cast<std::int16_t>(20 + fl2.back() * std::exp(-d * d)));
        }
    }
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    writer.addColumn<double>("area_um", area);
    writer.addColumn<double>("deform", deform);
    writer.addColumn<double>("fl1_max", fl1);
    writer.addColumn<double>("fl2_max", fl2);
    writer.addColumn<double>("pos_x", posX);
    writer.addColumn<double>("temp", temp);
    writer.addImageStack("image", events, height, width, images);
    writer.addImageStack("mask", events, height, width, masks);
    writer.addTrace("fl1_median", events, samples, trace1);
    writer.addTrace("fl2_median", events, samples, trace2);
    writer.setStringAttribute("experiment:sample", "Cells with images and traces");
    writer.setStringAttribute("setup:chip region", "channel");
    writer.setStringAttribute("setup:medium", "CellCarrierB");
    writer.setScalarAttribute<double>("setup:channel width", 20.0);
    writer.setScalarAttribute<double>("setup:flow rate", 0.16);
    writer.setScalarAttribute<double>("setup:temperature", 23.5);
    writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
    writer.setStringAttribute("fluorescence:channel 1 name", "488/525");
    writer.setStringAttribute("fluorescence:channel 2 name", "561/593");
}

// The calculations dock at 1280 x 720 on a dataset with images and traces:
// the window keeps the size it chose for the screen, the picture is the
// dock alone.
bool calcDock(MainWindow& window, const QDir& dir, QWidget*& shown) {
    const std::string path = dir.filePath(QStringLiteral("imaged.rtdc")).toStdString();
    writeImagedMeasurement(path);
    window.show();
    if (!openAndWait(window, path))
        return false;
    auto* dock = window.findChild<QDockWidget*>(QStringLiteral("calculationsDock"));
    if (!dock)
        return false;
    dock->raise();
    shown = dock;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: %s log-axis|small-screen|no-images-event|empty-after-full|"
                     "export-avi|emodulus|calc-dock <output.png>\n",
                     argv[0]);
        return 2;
    }
    const std::string scene = argv[1];
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::resetNumericLocale();
    Quorvex3::setApplicationIdentity();
    Quorvex3::applyApplicationLook();
    QTemporaryDir dir;
    MainWindow window;
    QWidget* shown = &window;
    const bool ready = scene == "log-axis"           ? logAxis(window, QDir(dir.path()))
                       : scene == "small-screen"     ? smallScreen(window, QDir(dir.path()))
                       : scene == "no-images-event"  ? noImagesEvent(window, QDir(dir.path()))
                       : scene == "empty-after-full" ? emptyAfterFull(window, QDir(dir.path()))
                       : scene == "export-avi"       ? exportAvi(window, QDir(dir.path()), shown)
                       : scene == "emodulus"         ? emodulus(window, QDir(dir.path()))
                       : scene == "calc-dock"        ? calcDock(window, QDir(dir.path()), shown)
                                                     : false;
    if (!ready) {
        std::fprintf(stderr, "unknown scene or a measurement did not load\n");
        return 1;
    }
    spinEvents(1500);
    if (!shown->grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
        return 1;
    }
    const QRect frame = shown->frameGeometry();
    std::printf("window %dx%d at %d,%d\n", frame.width(), frame.height(), frame.x(), frame.y());
    return 0;
}
