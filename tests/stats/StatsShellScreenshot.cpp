// Development aid, not a test: opens twelve small measurements named with
// subject and replicate numbers, opens the statistical evaluation window
// with four categories in the matched design, detects the IDs, selects two
// features, runs the comparison and saves a picture of the window to the
// path given as the first argument. With "independent" after it, the four
// categories keep the names a new window gives them ("Baseline",
// "Condition 1", ...) and the design stays independent: the longest pair
// labels and test names of the results table. Run it on a real display
// server (e.g. under xvfb-run -s "-screen 0 1280x720x24").
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"
#include "util/ScriptedDialogProvider.h"
#include "util/WindowUtil.h"

#include <cstdio>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

#include <string>

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 2, "<output.png> [independent]"))
        return 2;
    const bool independent = argc == 3 && std::string(argv[2]) == "independent";
    if (argc == 3 && !independent) {
        std::fprintf(stderr, "unknown option: %s\n", argv[2]);
        return 2;
    }
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::resetNumericLocale();
    Quorvex3::setApplicationIdentity();
    Quorvex3::applyApplicationIcon();
    Quorvex3::applyApplicationLook();

    Quorvex3::testing::TempDir dir;
    Quorvex3::MainWindow window;
    const char* names[] = {"ctrl_ID1_BR1",  "ctrl_ID2_BR1",  "ctrl_ID3_BR1",  "drugA_ID1_BR1",
                           "drugA_ID2_BR1", "drugA_ID3_BR1", "drugB_ID1_BR1", "drugB_ID2_BR1",
                           "drugB_ID3_BR1", "drugC_ID1_BR1", "drugC_ID2_BR1", "drugC_ID3_BR1"};
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
    stats.findChild<QPushButton*>(QStringLiteral("addCategoryButton"))->click();
    if (!independent)
        stats.findChild<QComboBox*>(QStringLiteral("designCombo"))->setCurrentIndex(1);
    for (std::size_t i = 0; i < window.datasets().size(); ++i)
        stats.categoryPanels()[i / 3]->tryAddDataset(window.datasets()[i]->id);
    if (!independent) {
        stats.categoryPanels()[1]->setCategoryName(QStringLiteral("Drug A"));
        stats.categoryPanels()[2]->setCategoryName(QStringLiteral("Drug B"));
        stats.categoryPanels()[3]->setCategoryName(QStringLiteral("Drug C 100 \u00B5M"));
        stats.autoDetectNumberIds();
    }
    stats.onCategoryChanged();
    auto* features = stats.findChild<QListWidget*>(QStringLiteral("featureList"));
    for (int i = 0; i < features->count() && i < 2; ++i)
        features->item(i)->setSelected(true);
    stats.updateDescription();
    // The whole screen, as on a 1280 x 720 laptop (xvfb-run -s "-screen 0 1280x720x24").
    Quorvex3::WindowUtil::resizeInsideScreen(&stats, QSize(1280, 720));
    stats.show();
    {
        // Any box the run opens is answered (and named) instead of waiting.
        Quorvex3::testing::ScriptedDialogProvider dialogs;
        dialogs.buttonAnswers.push_back(QMessageBox::Yes);
        const Quorvex3::ScopedDialogProvider guard(dialogs);
        stats.onRunAnalysis();
        for (const auto& call : dialogs.calls)
            std::fprintf(stderr, "%s: %s\n", qPrintable(call.title), qPrintable(call.text));
    }
    Quorvex3::testing::spinEvents(1000);
    return Quorvex3::testing::saveGrab(stats, argv[1]) ? 0 : 1;
}
