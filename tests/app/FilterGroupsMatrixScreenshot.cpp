// Development aid, not a test: opens six small measurements in two levels of
// folders, adds three filter groups with a few switches on, opens the
// groups-by-datasets matrix window in folder mode with the program's look
// and saves a picture of it to the path given as the only argument. Run it
// on a real display server (e.g. under xvfb-run).
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "support/RtdcFixtureWriter.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QSpinBox>

#include <cstdio>
#include <string>

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
    const char* files[] = {"2024-05-02/blood/donor_A.rtdc",   "2024-05-02/blood/donor_B.rtdc",
                           "2024-05-02/beads/beads_8um.rtdc", "2024-05-09/blood/donor_A.rtdc",
                           "2024-05-09/blood/donor_C.rtdc",   "2024-05-09/hl60/hl60_ctrl.rtdc"};
    Quorvex3::MainWindow window;
    window.findChild<QComboBox*>(QStringLiteral("viewModeCombo"))->setCurrentIndex(1);
    window.findChild<QSpinBox*>(QStringLiteral("depthSpin"))->setValue(2);
    for (const char* name : files) {
        const std::string path = dir.file(name);
        QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
        {
            Quorvex3::testing::RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", {10, 20, 30, 40, 50});
            writer.addColumn<double>("deform", {0.05, 0.04, 0.03, 0.02, 0.01});
        }
        window.addDataset(QString::fromStdString(path));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 &&
               !(window.activeDataset() && window.activeDataset()->featuresLoaded))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const int singlets = window.addFilterGroup("Singlets");
    const int debris = window.addFilterGroup("No debris");
    window.addFilterGroup("Large cells");
    window.setGroupEnabledInAll(debris, true);
    for (int i : {0, 1, 3})
        window.setGroupEnabled(window.datasets()[static_cast<std::size_t>(i)]->id, singlets, true);
    window.refreshFilterGroupsUi();

    Quorvex3::FilterGroupsMatrixWindow matrix(
        &window.store(), {window.datasetFolderViewActive(), window.datasetFolderDepth()});
    matrix.show();
    spin(1000);

    const QPixmap picture = matrix.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
