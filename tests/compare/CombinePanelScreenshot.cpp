// Development aid, not a test: opens four small measurements, puts them in a
// combined plot window with the program's look and saves a picture of the
// window (settings, dataset cards, plot grid) to the path given as the only
// argument. Run it on a real display server (e.g. under xvfb-run).
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotWindow.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"

#include <QElapsedTimer>
#include <QPixmap>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

void spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::resetNumericLocale();
    Quorvex3::setApplicationIdentity();
    Quorvex3::applyApplicationIcon();
    Quorvex3::applyApplicationLook();

    Quorvex3::testing::TempDir dir;
    const char* samples[] = {"donor_A", "donor_B", "beads_8um", "hl60_ctrl"};
    Quorvex3::MainWindow window;
    std::mt19937 random(7);
    for (int k = 0; k < 4; ++k) {
        std::normal_distribution<double> area(40.0 + 15.0 * k, 6.0);
        std::normal_distribution<double> deform(0.02 + 0.01 * k, 0.005);
        std::vector<double> a(3000);
        std::vector<double> d(a.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            a[i] = area(random);
            d[i] = std::abs(deform(random));
        }
        const std::string path = dir.file(std::string(samples[k]) + ".rtdc");
        {
            Quorvex3::testing::RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", a);
            writer.addColumn<double>("deform", d);
            writer.setStringAttribute("experiment:sample", samples[k]);
        }
        window.addDataset(QString::fromStdString(path));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 &&
               !(window.activeDataset() && window.activeDataset()->featuresLoaded))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    Quorvex3::CombinePlotWindow combine(&window);
    combine.addAllDatasets();
    combine.cards()[2]->setScaleSelections(1, 0);
    combine.cards()[2]->setScaleWarnings(3, 0);
    combine.show();
    spin(1000);

    const QPixmap picture = combine.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
