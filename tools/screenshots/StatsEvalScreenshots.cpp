// Development aid, not a test: the statistical evaluation window reached as
// a user reaches it, for looking at by eye. The main window opens eighteen
// measurements (s01 ... s18) from files written here; "Tool Windows > New
// Statistical Evaluation..." opens the window at the size it chooses for the
// screen; "Add Category" is clicked until there are enough categories; each
// category's "Add..." dialog gets three measurements selected and accepted;
// features are selected in the list; then "Run Analysis" (or, on the ROC
// tab, "Run ROC Analysis") is clicked. Run it on a display server of the
// screen size to look at, e.g.
//
//     xvfb-run -a -s "-screen 0 1280x720x24" quorvex3_stats_eval_screenshots compare 4 1 out.png
//     xvfb-run -a -s "-screen 0 1280x720x24" quorvex3_stats_eval_screenshots roc 2 2 out.png
//
// compare <categories> <features>: the group comparison; roc <categories>
// <features>: the ROC analysis (the first two categories). A width after the
// picture's path makes the window that narrow before the categories are
// added. A picture of the whole window is saved; lines on stderr name the
// results table's and plot area's widths against their views.
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::MainWindow;
using Quorvex3::StatisticalEvalWindow;
using Quorvex3::testing::spinEvents;
using Quorvex3::testing::spinUntil;

/// Scalar features of every measurement: enough for eight to be selected.
const char* const kFeatures[] = {"area_um", "deform", "bright_avg", "aspect",
                                 "circ",    "volume", "size_x",     "inert_ratio_raw"};

/// Measurement `index` (0 based) of a group whose values shift with `group`.
void writeMeasurement(const std::string& path, int index, int group) {
    std::mt19937 rng(static_cast<unsigned>(100 + index));
    std::normal_distribution<double> unit(0.0, 1.0);
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    for (std::size_t f = 0; f < std::size(kFeatures); ++f) {
        std::vector<double> values;
        for (int i = 0; i < 400; ++i)
            values.push_back((10.0 + static_cast<double>(f)) *
                             (1.0 + 0.08 * group + 0.03 * unit(rng)));
        writer.addColumn<double>(kFeatures[f], values);
    }
    char sample[16];
    std::snprintf(sample, sizeof sample, "s%02d", index + 1);
    writer.setStringAttribute("experiment:sample", sample);
}

QAction* menuAction(QMenuBar* bar, const QString& menu, const QString& item) {
    for (QAction* top : bar->actions())
        if (top->menu() && top->text().remove(QLatin1Char('&')) == menu)
            for (QAction* action : top->menu()->actions())
                if (action->text().remove(QLatin1Char('&')) == item)
                    return action;
    return nullptr;
}

StatisticalEvalWindow* openEvaluationWindow(MainWindow& window) {
    QAction* open = menuAction(window.menuBar(), QStringLiteral("Tool Windows"),
                               QStringLiteral("New Statistical Evaluation..."));
    if (!open)
        return nullptr;
    open->trigger();
    StatisticalEvalWindow* found = nullptr;
    spinUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* stats = qobject_cast<StatisticalEvalWindow*>(top);
                stats && stats->isVisible())
                found = stats;
        return found != nullptr;
    });
    return found;
}

/// Clicks the panel's "Add..." and, in the dialog it opens, selects the
/// measurements named `names` and clicks OK.
bool addThroughDialog(Quorvex3::CategoryPanel& panel, const QStringList& names) {
    bool accepted = false;
    QTimer::singleShot(200, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* list =
            dialog ? dialog->findChild<QListWidget*>(QStringLiteral("addDatasetsList")) : nullptr;
        if (!list) {
            if (dialog)
                dialog->reject();
            return;
        }
        for (int row = 0; row < list->count(); ++row)
            list->item(row)->setSelected(names.contains(list->item(row)->text()));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        accepted = true;
    });
    panel.findChild<QPushButton*>(QStringLiteral("addButton"))->click();
    return accepted;
}

void report(const char* what, QAbstractScrollArea* area, int contentWidth) {
    std::fprintf(stderr, "%s: content %d px in a %d px view, sideways scroll bar %s\n", what,
                 contentWidth, area->viewport()->width(),
                 area->horizontalScrollBar()->isVisible() ? "shown" : "hidden");
}

} // namespace

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(
            argc, argv, 4, 5, "compare|roc <categories> <features> out.png [window width]"))
        return 2;
    const std::string scene = argv[1];
    const int categories = std::atoi(argv[2]);
    const int features = std::atoi(argv[3]);
    if ((scene != "compare" && scene != "roc") || categories < 2 || categories > 6 ||
        features < 1 || features > static_cast<int>(std::size(kFeatures))) {
        std::fprintf(stderr, "compare|roc, 2 to 6 categories, 1 to 8 features\n");
        return 2;
    }
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();

    Quorvex3::testing::TempDir dir;
    MainWindow window;
    window.show();
    const int measurements = 3 * categories;
    for (int i = 0; i < measurements; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%02d.rtdc", i + 1);
        const std::string path = dir.file(name);
        writeMeasurement(path, i, i / 3);
        window.addDataset(QString::fromStdString(path));
        if (!spinUntil([&] {
                return window.activeDataset() && window.activeDataset()->filePath == path &&
                       window.activeDataset()->featuresLoaded;
            })) {
            std::fprintf(stderr, "%s did not load\n", name);
            return 1;
        }
    }

    StatisticalEvalWindow* stats = openEvaluationWindow(window);
    if (!stats) {
        std::fprintf(stderr, "no evaluation window opened\n");
        return 1;
    }
    spinEvents(300);
    if (argc == 6) {
        // Made narrower by the user, as a smaller screen would have it.
        stats->resize(std::atoi(argv[5]), stats->height());
        spinEvents(300);
    }
    std::fprintf(stderr, "evaluation window %d x %d, frame %d x %d at %d, %d\n", stats->width(),
                 stats->height(), stats->frameGeometry().width(), stats->frameGeometry().height(),
                 stats->frameGeometry().x(), stats->frameGeometry().y());
    auto* addCategory = stats->findChild<QPushButton*>(QStringLiteral("addCategoryButton"));
    while (static_cast<int>(stats->categoryPanels().size()) < categories)
        addCategory->click();
    spinEvents(100);
    // Three measurements a category, in their order: s01 to s03 in the first.
    for (int c = 0; c < categories; ++c) {
        QStringList names;
        for (int i = 1; i <= 3; ++i)
            names << QString::asprintf("s%02d", 3 * c + i);
        if (!addThroughDialog(*stats->categoryPanels()[static_cast<std::size_t>(c)], names)) {
            std::fprintf(stderr, "the Add dialog of category %d did not open\n", c + 1);
            return 1;
        }
    }
    for (const Quorvex3::CategoryPanel* panel : stats->categoryPanels())
        std::fprintf(stderr, "%s: %zu measurements\n", qPrintable(panel->categoryName()),
                     panel->entries().size());
    auto* list = stats->findChild<QListWidget*>(QStringLiteral("featureList"));
    std::fprintf(stderr, "%d features offered\n", list->count());
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setSelected(row < features);

    // A box the run opens is answered as a user going on would: Yes to the
    // question whether to run anyway, OK to a message (named on stderr),
    // the first class offered in a choice of classes.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            std::fprintf(stderr, "answered: %s\n", qPrintable(box->text()));
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->accept();
        }
    });
    answer.start(200);
    auto* tabs = stats->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    if (scene == "roc") {
        tabs->setCurrentIndex(1);
        spinEvents(100);
        stats->findChild<QPushButton*>(QStringLiteral("runROCButton"))->click();
    } else {
        stats->findChild<QPushButton*>(QStringLiteral("runAnalysisButton"))->click();
    }
    spinEvents(800);

    auto* table = stats->findChild<QTableWidget*>(
        QString::fromLatin1(scene == "roc" ? "rocTable" : "resultsTable"));
    report("table", table, table->horizontalHeader()->length());
    auto* plots = stats->findChild<QScrollArea*>(
        QString::fromLatin1(scene == "roc" ? "rocPlotScrollArea" : "groupPlotScrollArea"));
    report("plots", plots, plots->widget()->width());
    for (QDockWidget* dock : stats->findChildren<QDockWidget*>())
        std::fprintf(stderr, "%s: %d px wide, at least %d\n", qPrintable(dock->objectName()),
                     dock->width(), dock->minimumSizeHint().width());
    if (qEnvironmentVariableIsSet("EXP_WIDGETS")) {
        for (QWidget* w : stats->findChildren<QWidget*>())
            if (w->isVisible() &&
                (w->minimumSizeHint().width() > 150 || w->objectName() == "nameEdit" ||
                 w->objectName() == "countLabel" || w->objectName() == "deleteButton"))
                std::fprintf(stderr, "W %s %s min %d hint %d width %d minw %d\n",
                             w->metaObject()->className(), qPrintable(w->objectName()),
                             w->minimumSizeHint().width(), w->sizeHint().width(), w->width(),
                             w->minimumWidth());
    }
    auto* header = table->horizontalHeader();
    for (int c = 0; c < table->columnCount(); ++c)
        std::fprintf(stderr, "  column %d %d px\n", c, header->sectionSize(c));
    return Quorvex3::testing::saveGrab(*stats, argv[4]) ? 0 : 1;
}
