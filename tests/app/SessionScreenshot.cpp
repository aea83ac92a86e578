// Development aid, not a test: opens three generated measurements, gives
// them filters, a filter group, density colours and contours, opens a
// combined plot and a statistical evaluation window, saves the session,
// clears it, loads it again and saves a picture of the main window as the
// load left it. Run it on a display server, e.g.
//
//     xvfb-run -a quorvex3_session_screenshot out.png
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "core/FilterRule.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::spinUntil;
using Quorvex3::testing::spinUntilLoaded;

void writeMeasurement(const std::string& path, double shift, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> area(70.0 + shift, 14.0);
    std::normal_distribution<double> deform(0.02 + shift / 2000.0, 0.007);
    std::normal_distribution<double> bright(110.0, 9.0);
    std::vector<double> a, d, b;
    for (int i = 0; i < 20000; ++i) {
        a.push_back(std::max(15.0, area(rng)));
        d.push_back(std::max(0.001, deform(rng)));
        b.push_back(bright(rng));
    }
    RtdcFixtureWriter w(path);
    w.addColumn<double>("area_um", a);
    w.addColumn<double>("deform", d);
    w.addColumn<double>("bright_avg", b);
    w.setStringAttribute("experiment:sample", "Donor " + std::to_string(seed));
}

} // namespace

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 1, "<output.png>"))
        return 2;
    Quorvex3::testing::TempDir dir;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();
    Quorvex3::testing::ScriptedDialogProvider dialogs;
    Quorvex3::ScopedDialogProvider guard(dialogs);

    Quorvex3::MainWindow window;
    window.resize(1400, 900);
    window.show();
    for (int k = 0; k < 3; ++k) {
        const std::string path = dir.file("donor" + std::to_string(k + 1) + ".rtdc");
        writeMeasurement(path, 12.0 * k, unsigned(k + 1));
        window.addDataset(QString::fromStdString(path));
    }
    if (!spinUntilLoaded(window, 3)) {
        std::fprintf(stderr, "the measurements did not load\n");
        return 1;
    }
    Quorvex3::testing::spinEvents(300);
    if (auto* colour = window.findChild<QComboBox*>(QStringLiteral("colorCombo")))
        colour->setCurrentIndex(colour->findData(QStringLiteral("__density_kde__")));
    if (auto* contours = window.findChild<QComboBox*>(QStringLiteral("contourModeCombo")))
        contours->setCurrentIndex(1);
    Quorvex3::FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 50.0;
    rule.maxValue = 110.0;
    const int group = window.addFilterGroup("Mid-size cells");
    window.addRuleToGroup(group, rule);
    window.setGroupEnabled(window.datasets()[2]->id, group, true);
    window.datasets()[1]->displayName = QStringLiteral("Donor 2 (treated)");
    Quorvex3::testing::spinEvents(300);

    const QString session = QString::fromStdString(dir.file("screenshot.QV3"));
    dialogs.fileAnswers = {session};
    Quorvex3::testing::triggerMenuItem(window, QStringLiteral("&File"),
                                       QStringLiteral("&Save Session..."));
    dialogs.buttonAnswers = {QMessageBox::Ok};
    Quorvex3::testing::triggerMenuItem(window, QStringLiteral("&File"),
                                       QStringLiteral("&Clear Session"));
    Quorvex3::testing::spinEvents(200);
    dialogs.fileAnswers = {session};
    Quorvex3::testing::triggerMenuItem(window, QStringLiteral("&File"),
                                       QStringLiteral("&Load Session..."));
    if (!spinUntil([&] { return !window.sessionLoading(); })) {
        std::fprintf(stderr, "the session did not load\n");
        return 1;
    }
    Quorvex3::testing::spinEvents(1500);
    if (!Quorvex3::testing::saveGrab(window, argv[1]))
        return 1;
    std::printf("%d dataset(s), %d dialog(s)\n", int(window.datasets().size()),
                int(dialogs.calls.size()));
    return 0;
}
