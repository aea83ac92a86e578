// Development aid, not a test: loads a session of twelve measurements whose
// file holds about 200 values the program cannot use (values of the wrong
// type, indices out of range, groups that are none, damaged filter rules)
// and saves a picture of the whole screen while the "Load Session" warning
// is open, as the program's own message box shows it, and, given a second
// name, one with its details open. Run it on a display server of the size
// to look at, e.g.
//
//     xvfb-run -a -s "-screen 0 1280x720x24" quorvex3_load_warning_screenshot out.png
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"
#include "support/ScreenshotSupport.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::spinUntil;
using Quorvex3::testing::spinUntilLoaded;

/// Scripted file dialogs and questions, but the program's real warning box.
class RealWarnings : public Quorvex3::testing::ScriptedDialogProvider {
public:
    QMessageBox::StandardButton warningWithDetails(QWidget* parent, const QString& title,
                                                   const QString& text,
                                                   const QString& details) override {
        return m_real.warningWithDetails(parent, title, text, details);
    }

private:
    Quorvex3::QtDialogProvider m_real;
};

void writeMeasurement(const std::string& path, int k) {
    std::vector<double> area, deform;
    for (int i = 0; i < 200; ++i) {
        area.push_back(40.0 + (i * 7 + k * 3) % 60);
        deform.push_back(0.01 + ((i * 13 + k) % 40) * 0.001);
    }
    RtdcFixtureWriter writer(path);
    writer.addColumn<double>("area_um", area);
    writer.addColumn<double>("deform", deform);
}

/// Damages the saved session: per dataset a dozen filter rules with values
/// of the wrong type, a plot feature that is a number and an event index
/// far out of range; then filter groups that are numbers and a duplicate of
/// a dataset that does not exist.
QJsonObject damaged(QJsonObject root) {
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    for (int d = 0; d < datasets.size(); ++d) {
        QJsonObject dataset = datasets[d].toObject();
        QJsonArray rules;
        for (int r = 0; r < 14; ++r)
            rules.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("Range")},
                                     {QStringLiteral("featureName"), QStringLiteral("area_um")},
                                     {QStringLiteral("minValue"), QStringLiteral("low")},
                                     {QStringLiteral("maxValue"), 90}});
        dataset.insert(QStringLiteral("filter"), QJsonObject{{QStringLiteral("enabled"), true},
                                                             {QStringLiteral("rules"), rules}});
        dataset.insert(QStringLiteral("xFeatureName"), 5);
        dataset.insert(QStringLiteral("currentEvent"), 1000000 + d);
        datasets[d] = dataset;
    }
    datasets.append(QJsonObject{{QStringLiteral("isDuplicate"), true},
                                {QStringLiteral("duplicateOfIndex"), 40},
                                {QStringLiteral("displayName"), QStringLiteral("copy")}});
    root[QStringLiteral("datasets")] = datasets;
    QJsonArray groups;
    for (int g = 0; g < 12; ++g)
        groups.append(g);
    root[QStringLiteral("filterGroups")] = groups;
    return root;
}

} // namespace

int main(int argc, char** argv) {
    if (!Quorvex3::testing::screenshotArguments(argc, argv, 1, 2,
                                                "<output.png> [with-details.png]"))
        return 2;
    Quorvex3::testing::TempDir dir;
    Quorvex3::SafeApplication app(argc, argv);
    Quorvex3::testing::applyProgramLook();
    RealWarnings dialogs;
    Quorvex3::ScopedDialogProvider guard(dialogs);

    Quorvex3::MainWindow window;
    window.resize(QGuiApplication::primaryScreen()->availableSize());
    window.show();
    for (int k = 0; k < 12; ++k) {
        const std::string path = dir.file("M" + std::to_string(k + 1) + "_Sample.rtdc");
        writeMeasurement(path, k);
        window.addDataset(QString::fromStdString(path));
    }
    if (!spinUntilLoaded(window, 12)) {
        std::fprintf(stderr, "the measurements did not load\n");
        return 1;
    }
    const QString session = QString::fromStdString(dir.file("damaged.QV3"));
    dialogs.fileAnswers = {session};
    Quorvex3::testing::triggerMenuItem(window, QStringLiteral("&File"),
                                       QStringLiteral("&Save Session..."));
    QFile file(session);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QJsonObject root = damaged(QJsonDocument::fromJson(file.readAll()).object());
    file.close();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(root).toJson()) < 0)
        return 1;
    file.close();

    // The picture is taken while the warning is open, then the box closes.
    bool shot = false;
    auto* watch = new QTimer(&app);
    QObject::connect(watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch->stop();
        Quorvex3::testing::spinEvents(500);
        shot =
            QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[1]));
        const QRect frame = box->frameGeometry();
        std::printf("box %d x %d at %d, %d; %d lines of text, %d of details\n", frame.width(),
                    frame.height(), frame.x(), frame.y(), int(box->text().count('\n')) + 1,
                    int(box->detailedText().count('\n')) + 1);
        if (argc > 2) {
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == QMessageBox::ActionRole) // "Show Details..."
                    button->click();
            Quorvex3::testing::spinEvents(500);
            shot = shot && QGuiApplication::primaryScreen()->grabWindow(0).save(
                               QString::fromLocal8Bit(argv[2]));
            const QRect open = box->frameGeometry();
            std::printf("with its details %d x %d at %d, %d\n", open.width(), open.height(),
                        open.x(), open.y());
        }
        box->done(QMessageBox::Ok);
    });
    watch->start(50);
    dialogs.buttonAnswers = {QMessageBox::Ok};
    dialogs.fileAnswers = {session};
    Quorvex3::testing::triggerMenuItem(window, QStringLiteral("&File"),
                                       QStringLiteral("&Load Session..."));
    spinUntil([&] { return !window.sessionLoading(); });
    spinUntil([&] { return shot; }, 5000);
    if (!shot) {
        std::fprintf(stderr, "no warning was shown\n");
        return 1;
    }
    return 0;
}
