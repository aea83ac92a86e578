// Development aid: saves pictures of the help window (start page), the About
// dialog, the update box and the feedback dialog with its preview, as the
// main window opens them. Run it under a virtual display:
//
//     xvfb-run -a build/tools/screenshots/quorvex3_services_screenshots <folder>
//
// The update feed comes from a scripted server on 127.0.0.1.
#include "services/ServicesTestSupport.h"

#include "app/AppTestSupport.h"
#include "util/Logging.h"
#include "app/MainWindow.h"
#include "app/SafeApplication.h"
#include "app/ShellSettings.h"
#include "app/Startup.h"
#include "services/AppLocations.h"
#include "services/FeedbackDialog.h"
#include "services/HelpWindow.h"
#include "services/ServiceEndpoints.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <cstdio>
#include <memory>

namespace {

using namespace Quorvex3;

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget& widget, const QString& path) {
    widget.show();
    widget.raise();
    settle(400);
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

/// Shows each box and dialog the main window runs instead of running it
/// modally, saves its picture and answers "Later" / "Cancel".
class PictureDialogs : public QtDialogProvider {
public:
    explicit PictureDialogs(QString folder) : m_folder(std::move(folder)) {}
    int messageBox(QWidget* parent, const CustomMessageBox& box) override {
        std::unique_ptr<QMessageBox> shown = createMessageBox(parent, box);
        save(*shown, m_folder + "/update-box.png");
        return static_cast<int>(box.buttons.size()) - 1;
    }
    int execDialog(QDialog& dialog) override {
        const QString name =
            dialog.windowTitle().startsWith("About") ? "about.png" : "feedback-dialog.png";
        if (auto* comment = dialog.findChild<QPlainTextEdit*>(kFeedbackCommentName))
            comment->setPlainText("The contours look shifted after changing the axis scale.");
        save(dialog, m_folder + "/" + name);
        return QDialog::Rejected;
    }

private:
    QString m_folder;
};

QAction* helpAction(MainWindow& main, const QString& text) {
    for (QAction* menu : main.menuBar()->actions())
        if (menu->text() == "&Help")
            for (QAction* action : menu->menu()->actions())
                if (action->text() == text)
                    return action;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    test::isolateHomeDirectories();
    Logging::install();
    SafeApplication app(argc, argv);
    resetNumericLocale();
    setApplicationIdentity();
    applyApplicationLook();
    QDir().mkpath(folder);
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    ShellSettings::setCheckUpdatesOnStartup(false);

    testing::LoopbackServer server;
    server.answers.push_back(testing::reply(
        200,
        R"({"version": "3.4.0", "notes": "- Faster density contours\n- Gallery export as PDF\n- Fixes for <b>tagged</b> text in notes"})"));
    ServiceEndpoints endpoints;
    endpoints.updateServer = server.url();
    setServiceEndpoints(endpoints);

    PictureDialogs dialogs(folder);
    ScopedDialogProvider guard(dialogs);
    testing::TempDir dir;
    const std::string measurement = dir.file("M001_blood.rtdc");
    {
        testing::RtdcFixtureWriter writer(measurement);
        writer.addColumn<float>("deform", {0.02f, 0.05f, 0.04f, 0.07f});
        writer.addColumn<float>("area_um", {30.f, 42.f, 38.f, 51.f});
        writer.setStringAttribute("experiment:sample", "blood donor 7");
        writer.setStringAttribute("setup:medium", "CellCarrierB");
        writer.setStringAttribute("setup:chip region", "channel");
    }

    MainWindow main;
    main.show();
    main.addDataset(QString::fromStdString(measurement));
    settle(1000);

    main.checkForUpdates(false);
    settle(1500);
    helpAction(main, "Send &Feedback...")->trigger();
    helpAction(main, "&About")->trigger();

    const QString manual = findManual(applicationDir());
    HelpWindow help(manual);
    help.helpEngine()->contentWidget()->expandAll();
    settle(500);
    help.helpEngine()->contentWidget()->expandAll();
    return save(help, folder + "/help-window.png") ? 0 : 1;
}
