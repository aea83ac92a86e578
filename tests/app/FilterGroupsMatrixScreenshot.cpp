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
#include "support/ScreenshotSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSpinBox>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 1, "<output.png>"))
        return 2;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();

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
        Quorvex3::testing::spinUntil(
            [&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; },
            10000);
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
    Quorvex3::testing::spinEvents(1000);
    return Quorvex3::testing::saveGrab(matrix, argv[1]) ? 0 : 1;
}
