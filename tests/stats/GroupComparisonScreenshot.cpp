// Development aid, not a test: three categories of twelve donors each
// (matched design, Holm-Bonferroni), a group comparison of two features run
// in the statistical evaluation window with the program's look, saved as a
// picture to the path given as the first argument, at the window's default
// size or at the width and height given after it. Run it on a real display
// server (e.g. under xvfb-run).
#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv) {
    using namespace Quorvex3;
    // The size is optional, but both of its numbers or neither.
    if (!testing::screenshotArguments(argc, argv, 1, 3, "<output.png> [width height]") ||
        argc == 3)
        return 2;
    QApplication app(argc, argv);
    testing::applyProgramLook();

    testing::TempDir dir;
    DatasetStore store;
    StatisticalEvalWindow window(&store);
    window.onAddCategory();
    const char* names[] = {"Control", "Drug 10 \xC2\xB5M", "Drug 50 \xC2\xB5M"};
    const double areaShift[] = {0.0, 4.0, 9.0};
    const double deformShift[] = {0.0, 0.001, 0.004};
    std::mt19937_64 rng(3);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (int c = 0; c < 3; ++c) {
        CategoryPanel* panel = window.categoryPanels()[static_cast<std::size_t>(c)];
        panel->findChild<QLineEdit*>()->setText(QString::fromUtf8(names[c]));
        for (int donor = 1; donor <= 12; ++donor) {
            std::mt19937_64 donorRng(static_cast<unsigned>(donor));
            const double donorArea = 8.0 * normal(donorRng);
            const double donorDeform = 0.003 * normal(donorRng);
            std::vector<double> area(2000), deform(2000);
            for (std::size_t i = 0; i < area.size(); ++i) {
                area[i] = 60.0 + donorArea + areaShift[c] + 1.5 * normal(rng) + 10.0 * normal(rng);
                deform[i] = 0.02 + donorDeform + deformShift[c] + 0.002 * normal(rng) +
                            0.005 * std::abs(normal(rng));
            }
            const std::string path = dir.file("d" + std::to_string(c) + std::to_string(donor) +
                                              ".rtdc");
            {
                testing::RtdcFixtureWriter writer(path);
                writer.addColumn<double>("area_um", area);
                writer.addColumn<double>("deform", deform);
            }
            auto entry = std::make_unique<DatasetEntry>();
            entry->reader = std::make_shared<RTDCReader>();
            entry->reader->openFile(path);
            entry->displayName = QStringLiteral("%1 ID%2").arg(QString::fromUtf8(names[c])).arg(donor);
            const QString display = entry->displayName;
            const int id = store.append(std::move(entry));
            panel->addEntry({id, display, "", donor, 0, 0});
        }
    }
    window.onCategoryChanged();
    auto* list = window.findChild<QListWidget*>(QStringLiteral("featureList"));
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(true);
    window.findChild<QComboBox*>(QStringLiteral("designCombo"))->setCurrentIndex(1);
    window.findChild<QComboBox*>(QStringLiteral("correctionCombo"))
        ->setCurrentText(QStringLiteral("Holm-Bonferroni"));
    window.findChild<QCheckBox*>(QStringLiteral("connectionLinesCheck"))->setChecked(true);
    if (argc == 4)
        window.resize(std::atoi(argv[2]), std::atoi(argv[3]));
    window.show();
    testing::spinEvents(1000);
    return testing::saveGrab(window, argv[1]) ? 0 : 1;
}
