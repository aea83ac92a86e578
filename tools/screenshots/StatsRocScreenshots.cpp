// Development aid, not a test: pictures of the evaluation window's ROC and
// distribution tabs for looking at by eye. Run it on a display server, e.g.
//
//     xvfb-run -a -s "-screen 0 1600x1000x24" quorvex3_stats_roc_screenshots roc out.png
//
// roc: two categories of six measurements each, area and deformation
// selected, after "Run ROC Analysis": the table, the two feature curves and
// the combined (LDA) curve; roc-plots: all the plots of that run.
// distribution: three categories, per category
// (averaged), area selected. per-dataset: the same per dataset. dialog: the
// negative-class choice that three categories bring up.
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPixmap>
#include <QScrollArea>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Quorvex3;

void spinEvents(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

/// One measurement: cells whose area and deformation centre on the given
/// values, with the spread of real populations.
int addMeasurement(DatasetStore& store, const std::string& path, const QString& name, double area,
                   double deform, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> areas(area, 9.0);
    std::lognormal_distribution<double> deforms(std::log(deform), 0.35);
    std::vector<double> a(3000);
    std::vector<double> d(3000);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = areas(rng);
        d[i] = deforms(rng);
    }
    {
        testing::RtdcFixtureWriter writer(path);
        writer.addColumn<double>("area_um", a);
        writer.addColumn<double>("deform", d);
    }
    auto entry = std::make_unique<DatasetEntry>();
    entry->id = store.newDatasetId();
    entry->filePath = path;
    entry->displayName = name;
    entry->reader = std::make_shared<RTDCReader>();
    entry->reader->openFile(path);
    const int id = entry->id;
    store.append(std::move(entry));
    return id;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s roc|distribution|per-dataset|dialog out.png\n", argv[0]);
        return 2;
    }
    const QString scene = QString::fromLocal8Bit(argv[1]);
    testing::TempDir dir;
    DatasetStore store;
    StatisticalEvalWindow window(&store);
    window.resize(1500, 950);
    const int categories = scene.startsWith("roc") ? 2 : 3;
    for (int c = 2; c < categories; ++c)
        window.onAddCategory();
    std::mt19937 shifts(11);
    std::normal_distribution<double> jitter(0.0, 1.0);
    for (int c = 0; c < categories; ++c)
        for (int i = 0; i < 6; ++i) {
            const QString name = QStringLiteral("%1 ID%2").arg(c == 0 ? "Ctrl" : "Drug").arg(i + 1);
            const std::string path = dir.file("c" + std::to_string(c) + "_" + std::to_string(i));
            const int id =
                addMeasurement(store, path + ".rtdc", name, 60.0 + 6.0 * c + 4.0 * jitter(shifts),
                               0.02 + 0.004 * c + 0.003 * std::abs(jitter(shifts)),
                               static_cast<unsigned>(100 * c + i));
            window.categoryPanels()[static_cast<std::size_t>(c)]->addEntry({id, name, "", i + 1});
        }
    window.onCategoryChanged();
    auto* features = window.findChild<QListWidget*>(QStringLiteral("featureList"));
    for (int row = 0; row < features->count(); ++row)
        features->item(row)->setSelected(scene.startsWith("roc") ||
                                         features->item(row)->data(Qt::UserRole) == "area_um");
    window.show();
    spinEvents(300);

    QPixmap shot;
    if (scene == "roc" || scene == "roc-plots") {
        window.onRunROC();
        if (scene == "roc-plots") {
            spinEvents(300);
            shot = window.findChild<QScrollArea*>(QStringLiteral("rocPlotScrollArea"))
                       ->widget()
                       ->grab();
        }
    } else if (scene == "dialog") {
        QTimer::singleShot(600, [&shot] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                shot = dialog->grab();
                if (auto* d = qobject_cast<QDialog*>(dialog))
                    d->reject();
            }
        });
        window.onRunROC();
    } else {
        window.findChild<QComboBox*>(QStringLiteral("distributionModeCombo"))
            ->setCurrentIndex(scene == "distribution" ? 1 : 0);
        window.onRunDistribution();
    }
    spinEvents(500);
    if (shot.isNull())
        shot = window.grab();
    return shot.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
