// Development aid, not a test: opens six small measurements named with
// subject and replicate numbers, opens the statistical evaluation window
// with three categories in the matched design, detects the IDs, selects two
// features and saves a picture of the window to the path given as the only
// argument. Run it on a real display server (e.g. under xvfb-run).
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

#include <string>

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 1, "<output.png>"))
        return 2;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::resetNumericLocale();
    Quorvex3::setApplicationIdentity();
    Quorvex3::applyApplicationIcon();
    Quorvex3::applyApplicationLook();

    Quorvex3::testing::TempDir dir;
    Quorvex3::MainWindow window;
    const char* names[] = {"ctrl_ID1_BR1", "ctrl_ID2_BR1", "ctrl_ID3_BR1",
                           "drugA_ID1_BR1", "drugA_ID2_BR1", "drugA_ID3_BR1",
                           "drugB_ID1_BR1", "drugB_ID2_BR1", "drugB_ID3_BR1"};
    double shift = 0.0;
    for (const char* name : names) {
        const std::string path = dir.file(std::string(name) + ".rtdc");
        {
            Quorvex3::testing::RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", {40 + shift, 50 + shift, 60 + shift});
            writer.addColumn<double>("deform", {0.02, 0.03 + shift / 1000, 0.04});
            writer.addColumn<double>("bright_avg", {100, 110, 120});
        }
        shift += 1.5;
        window.addDataset(QString::fromStdString(path));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 &&
               !(window.activeDataset() && window.activeDataset()->featuresLoaded))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    Quorvex3::StatisticalEvalWindow stats(&window.store());
    stats.findChild<QPushButton*>(QStringLiteral("addCategoryButton"))->click();
    stats.findChild<QComboBox*>(QStringLiteral("designCombo"))->setCurrentIndex(1);
    for (std::size_t i = 0; i < window.datasets().size(); ++i)
        stats.categoryPanels()[i / 3]->tryAddDataset(window.datasets()[i]->id);
    stats.categoryPanels()[1]->setCategoryName(QStringLiteral("Drug A"));
    stats.categoryPanels()[2]->setCategoryName(QStringLiteral("Drug B"));
    stats.autoDetectNumberIds();
    stats.onCategoryChanged();
    auto* features = stats.findChild<QListWidget*>(QStringLiteral("featureList"));
    for (int i = 0; i < features->count() && i < 2; ++i)
        features->item(i)->setSelected(true);
    stats.updateDescription();
    stats.show();
    Quorvex3::testing::spinEvents(1000);
    return Quorvex3::testing::saveGrab(stats, argv[1]) ? 0 : 1;
}
