// Development aid, not a test: builds the export dialog for two small
// measurements with the program's look, chooses "All datasets" and the AVI
// format, and saves a picture of it to the path given as the only argument.
// Run it on a real display server (e.g. under xvfb-run).
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "session/ExportDialog.h"
#include "support/RtdcFixtureWriter.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QRadioButton>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

void spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

std::unique_ptr<Quorvex3::DatasetEntry> dataset(const std::string& path, bool extra) {
    {
        Quorvex3::testing::RtdcFixtureWriter writer(path);
        writer.addColumn<double>("area_um", {10, 20, 30});
        writer.addColumn<double>("deform", {0.05, 0.04, 0.03});
        writer.addColumn<double>("bright_avg", {100, 110, 120});
        writer.addColumn<double>("frame", {1, 1, 2});
        if (extra)
            writer.addColumn<double>("volume", {1, 2, 3});
        writer.addImageStack("image", 3, 2, 2, std::vector<std::uint8_t>(12, 9));
        writer.addImageStack("mask", 3, 2, 2, std::vector<std::uint8_t>(12, 1));
    }
    auto entry = std::make_unique<Quorvex3::DatasetEntry>();
    entry->reader = std::make_shared<Quorvex3::RTDCReader>();
    entry->reader->openFile(path);
    entry->filePath = path;
    return entry;
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
    Quorvex3::applyApplicationLook();

    Quorvex3::testing::TempDir dir;
    std::vector<std::unique_ptr<Quorvex3::DatasetEntry>> datasets;
    datasets.push_back(dataset(dir.file("M001_data.rtdc"), false));
    datasets.push_back(dataset(dir.file("M002_data.rtdc"), true));

    Quorvex3::ExportDialog dialog(datasets.front().get(), datasets, false, nullptr, nullptr);
    for (QRadioButton* button : dialog.findChildren<QRadioButton*>())
        if (button->text() == QStringLiteral("All datasets (2)") ||
            button->text() == QStringLiteral(".avi (Video)"))
            button->setChecked(true);
    dialog.show();
    spin(500);
    const bool saved = dialog.grab().save(QString::fromLocal8Bit(argv[1]));
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", argv[1]);
    return saved ? 0 : 1;
}
