// Development aid, not a test: opens two small measurements with partly
// different features, opens the statistical summary export dialog for the
// first with "All datasets" chosen and the program's look, and saves a
// picture of it to the path given as the only argument. Run it on a real
// display server (e.g. under xvfb-run).
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "stats/StatSummaryExportDialog.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"

#include <QCheckBox>
#include <QRadioButton>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 1, "<output.png>"))
        return 2;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();

    Quorvex3::testing::TempDir dir;
    const std::vector<std::vector<std::string>> features = {
        {"area_um", "deform", "bright_avg", "aspect"}, {"area_um", "deform", "emodulus", "fl1_max"}};
    std::vector<std::unique_ptr<Quorvex3::DatasetEntry>> datasets;
    for (std::size_t d = 0; d < features.size(); ++d) {
        auto entry = std::make_unique<Quorvex3::DatasetEntry>();
        entry->id = static_cast<int>(d);
        entry->filePath = dir.file("run1_m" + std::to_string(d) + ".rtdc");
        {
            Quorvex3::testing::RtdcFixtureWriter writer(entry->filePath);
            for (const std::string& name : features[d])
                writer.addColumn<double>(name, {1, 2, 3});
        }
        entry->reader = std::make_shared<Quorvex3::RTDCReader>();
        entry->reader->openFile(entry->filePath);
        entry->featuresLoaded = true;
        datasets.push_back(std::move(entry));
    }
    Quorvex3::StatSummaryExportDialog dialog(datasets.front().get(), datasets, nullptr, nullptr);
    dialog.findChild<QRadioButton*>(QStringLiteral("allDatasetsRadio"))->setChecked(true);
    dialog.findChild<QCheckBox*>(QStringLiteral("statPercentile"))->setChecked(true);
    dialog.show();
    Quorvex3::testing::spinEvents(800);
    return Quorvex3::testing::saveGrab(dialog, argv[1]) ? 0 : 1;
}
