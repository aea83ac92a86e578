// The main window's Help menu and error box: the wiring of the update
// check, feedback, the manual and About, against a scripted server on
// 127.0.0.1.
#include "ServicesTestSupport.h"

#include "app/MainWindow.h"
#include "app/MainWindowTestSupport.h"
#include "app/ShellSettings.h"
#include "model/DatasetEntry.h"
#include "services/AppLocations.h"
#include "services/FeedbackDialog.h"
#include "services/HelpWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

using testing::DialogCall;
using testing::LoopbackAnswer;
using testing::LoopbackServer;

[[maybe_unused]] const bool s_application = (testing::installServicesTestApplication(), true);

const QByteArray kNewerFeed = R"({"version": "3.4"})";
const QByteArray kCurrentFeed = R"({"version": "3.3.99"})";

class MainWindowServices : public ::testing::Test {
protected:
    MainWindowServices() : guard(dialogs) {
        test::clearSettings();
        ShellSettings::setCheckUpdatesOnStartup(false);
        setServiceEndpoints(testing::loopbackEndpoints(server, 2000));
    }
    ~MainWindowServices() override {
        setServiceEndpoints(ServiceEndpoints::buildDefaults());
        setApplicationDirOverride(QString());
    }

    static void trigger(MainWindow& window, const char* item) {
        QAction* action = test::actionNamed(test::menuNamed(window, "&Help"), item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }

    int count(DialogCall::Kind kind) const { return dialogs.count(kind); }
    int boxes() const {
        return count(DialogCall::Information) + count(DialogCall::Warning) +
               count(DialogCall::MessageBox);
    }
    /// Lets late replies arrive: any box they cause shows by then.
    static void settle(int ms = 300) { test::processEventsFor(ms); }

    /// Scripts the feedback dialog: records its preview, types `comment`
    /// and answers `result`.
    void scriptFeedback(const QString& comment, int result) {
        dialogs.dialogScript = [this, comment, result](QDialog& dialog) {
            preview = dialog.findChild<QPlainTextEdit*>(kFeedbackPreviewName)->toPlainText();
            auto* label = dialog.findChild<QLabel*>(kFeedbackErrorLabelName);
            errorLabel = label ? label->text() : QString();
            dialog.findChild<QPlainTextEdit*>(kFeedbackCommentName)->setPlainText(comment);
            return result;
        };
    }

    LoopbackServer server;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard;
    testing::UrlRecorder urls{{"http", "https", "file"}};
    QString preview;
    QString errorLabel;
};

// ===== update check ============================================================

TEST_F(MainWindowServices, TheStartupCheckAsksTheFeedSilently) {
    ShellSettings::setCheckUpdatesOnStartup(true);
    server.answers.push_back(LoopbackAnswer::json(200, kCurrentFeed));
    {
        MainWindow main;
        ASSERT_TRUE(server.waitForRequests(1));
        settle();
    }
    EXPECT_EQ(boxes(), 0); // up to date: nothing to say

    // Switched off, the next start asks nothing.
    ShellSettings::setCheckUpdatesOnStartup(false);
    MainWindow main;
    settle();
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(MainWindowServices, TheInteractiveCheckAlwaysEndsInABox) {
    LoopbackAnswer serverError = LoopbackAnswer::json(500, "{}");
    serverError.reason = "Internal Server Error";
    server.answers = {LoopbackAnswer::json(200, kCurrentFeed), serverError};
    MainWindow main;
    trigger(main, "Check for &Updates...");
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 1; }));
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Information);
    EXPECT_EQ(dialogs.calls[0].title, "Check for Updates");
    EXPECT_EQ(dialogs.calls[0].text, "You are running the latest version of Quorvex3 (3.3.99).");

    trigger(main, "Check for &Updates...");
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 2; }));
    EXPECT_EQ(dialogs.calls[1].kind, DialogCall::Warning);
    EXPECT_EQ(dialogs.calls[1].title, "Check for Updates");
    EXPECT_TRUE(dialogs.calls[1].text.startsWith("Could not check for updates.\n\n"));
    EXPECT_TRUE(dialogs.calls[1].text.contains("500"));
}

TEST_F(MainWindowServices, TheUpdateBoxShowsNotesAsTextAndOpensTheDownloadsPage) {
    server.answers.push_back(
        LoopbackAnswer::json(200, R"({"version": "3.4", "url": "file:///etc/passwd",
                 "notes": "<b>Faster</b> plots\n<img src=x onerror=y>"})"));
    dialogs.choiceAnswers = {"Open Downloads..."};
    MainWindow main;
    trigger(main, "Check for &Updates...");
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 1; }));
    const DialogCall& box = dialogs.calls[0];
    EXPECT_EQ(box.kind, DialogCall::MessageBox);
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.title, "Update Available");
    EXPECT_EQ(box.text, "A newer version of Quorvex3 is available.\n\nInstalled: 3.3.99\nLatest: "
                        "3.4\n\nWhat's new:\n<b>Faster</b> plots\n<img src=x onerror=y>");
    EXPECT_EQ(box.textFormat, Qt::PlainText);
    EXPECT_EQ(box.buttons, QStringList({"Open Downloads...", "Ignore This Version", "Later"}));
    // A file URL from the feed is not opened: the downloads page is.
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0], server.url("/downloads"));
}

TEST_F(MainWindowServices, IgnoringAVersionSilencesOnlyTheSilentCheck) {
    server.answers = {LoopbackAnswer::json(200, kNewerFeed), LoopbackAnswer::json(200, kNewerFeed),
                      LoopbackAnswer::json(200, kNewerFeed)};
    dialogs.choiceAnswers = {"Ignore This Version", "Later"};
    MainWindow main;
    trigger(main, "Check for &Updates...");
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 1; }));
    EXPECT_EQ(QSettings().value("updates/ignoredVersion").toString(), "3.4");
    EXPECT_TRUE(dialogs.calls[0].text.endsWith("Latest: 3.4")); // no notes, no "What's new"

    main.checkForUpdates(true);
    ASSERT_TRUE(server.waitForRequests(2));
    settle();
    EXPECT_EQ(boxes(), 1);

    trigger(main, "Check for &Updates...");
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 2; }));
    EXPECT_EQ(dialogs.calls[1].title, "Update Available");
    EXPECT_EQ(QSettings().value("updates/ignoredVersion").toString(), "3.4");
    EXPECT_TRUE(urls.opened.empty());
}

TEST_F(MainWindowServices, OverlappingChecksAreJudgedEachWithItsOwnFlag) {
    QSettings().setValue("updates/ignoredVersion", "3.4");
    server.answers = {LoopbackAnswer::json(200, kNewerFeed), LoopbackAnswer::json(200, kNewerFeed)};
    MainWindow main;
    main.checkForUpdates(true);  // the start-up check, still waiting for its answer
    main.checkForUpdates(false); // the user asks meanwhile
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 1; }));
    settle();
    EXPECT_EQ(boxes(), 1);
    EXPECT_EQ(dialogs.calls[0].title, "Update Available");
}

TEST_F(MainWindowServices, WithoutAnUpdateServerOnlyTheInteractiveCheckSpeaks) {
    setServiceEndpoints(ServiceEndpoints());
    MainWindow main;
    main.checkForUpdates(true);
    settle();
    EXPECT_EQ(boxes(), 0);
    trigger(main, "Check for &Updates...");
    ASSERT_TRUE(test::waitUntil([&] { return boxes() == 1; }));
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not check for updates.\n\nNo update server is configured in this build.");
    EXPECT_TRUE(server.requests().empty());
}

// ===== error box and feedback ==================================================

/// Raises a second error while the first box is open.
class ReentrantDialogs : public testing::ScriptedDialogProvider {
public:
    MainWindow* window = nullptr;
    int messageBox(QWidget* parent, const CustomMessageBox& box) override {
        const int answer = ScriptedDialogProvider::messageBox(parent, box);
        if (window && count(DialogCall::MessageBox) == 1)
            window->onUnhandledException("Unexpected Error", "second");
        return answer;
    }
};

TEST_F(MainWindowServices, TheErrorBoxShowsOneErrorAtATime) {
    MainWindow main;
    ReentrantDialogs reentrant;
    reentrant.window = &main;
    ScopedDialogProvider inner(reentrant);
    main.onUnhandledException("File / Data Error", "H5Dread: <read> failed");
    ASSERT_EQ(reentrant.calls.size(), 1u);
    const DialogCall& box = reentrant.calls[0];
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.title, "File / Data Error");
    EXPECT_EQ(box.text, "An unexpected error occurred:\n\nH5Dread: <read> failed\n\nYou can send a "
                        "diagnostic report to help us fix this.");
    EXPECT_EQ(box.textFormat, Qt::PlainText);
    EXPECT_EQ(box.buttons, QStringList({"Send Feedback...", "Close"}));

    // Closed (unscripted: the "Close" button); the next error shows again.
    main.onUnhandledException("Unexpected Error", "third");
    ASSERT_EQ(reentrant.calls.size(), 2u);
    EXPECT_TRUE(reentrant.calls[1].text.contains("third"));
    EXPECT_EQ(reentrant.count(DialogCall::Dialog), 0);
}

TEST_F(MainWindowServices, TheErrorBoxLeadsToFeedbackWithTheError) {
    MainWindow main;
    dialogs.choiceAnswers = {"Send Feedback..."};
    scriptFeedback(QString(), QDialog::Rejected);
    main.onUnhandledException("Unexpected Error", "std::bad_alloc");
    ASSERT_EQ(count(DialogCall::Dialog), 1);
    EXPECT_EQ(dialogs.calls.back().title, "Send Feedback to BVA Support");
    EXPECT_EQ(errorLabel, "<b>Error:</b> Unexpected Error<br>std::bad_alloc");
    EXPECT_TRUE(
        preview.contains("=== Error ===\nTitle: Unexpected Error\nMessage: std::bad_alloc\n"));
    settle(100);
    EXPECT_TRUE(server.requests().empty()); // cancelled: nothing sent
}

TEST_F(MainWindowServices, FeedbackFromTheMenuDescribesAnEmptySession) {
    MainWindow main;
    scriptFeedback(QString(), QDialog::Rejected);
    trigger(main, "Send &Feedback...");
    ASSERT_EQ(count(DialogCall::Dialog), 1);
    EXPECT_TRUE(errorLabel.isEmpty());
    EXPECT_FALSE(preview.contains("=== Error ==="));
    EXPECT_TRUE(preview.contains("=== Session ===\nDatasets: 0\n\n\n=== Log ==="));
    EXPECT_TRUE(preview.contains("Version: 3.3.99\n"));
}

TEST_F(MainWindowServices, FeedbackKeepsNamesPathsAndTheUserToItself) {
    qputenv("USER", "qv3tester");
    Quorvex3::testing::TempDir dir;
    const QString folder = QString::fromStdString(dir.path()) + "/SECRET_FOLDER";
    QDir().mkpath(folder);
    const QString path = folder + "/SECRET_NAME.rtdc";
    {
        Quorvex3::testing::RtdcFixtureWriter writer(path.toStdString());
        writer.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
        writer.setStringAttribute("experiment:sample", "SECRET_SAMPLE_42");
        writer.setStringAttribute("setup:medium", "CellCarrier");
    }
    MainWindow main;
    main.addDataset(path);
    ASSERT_TRUE(test::waitUntil(
        [&] { return !main.datasets().empty() && main.datasets()[0]->featuresLoaded; }));
    qInfo("user qv3tester opened %s (sample SECRET_SAMPLE_42)", qPrintable(path));
    qInfo("home is %s", qPrintable(QDir::homePath()));

    server.answers.push_back(LoopbackAnswer::json(200, "{}"));
    scriptFeedback("Plot looks wrong", QDialog::Accepted);
    trigger(main, "Send &Feedback...");
    ASSERT_TRUE(server.waitForRequests(1));
    const QByteArray body = server.requests()[0].body;

    EXPECT_TRUE(preview.contains("Datasets: 1\n"));
    EXPECT_TRUE(preview.contains("--- Dataset 1 ---\nEvents: 3\nLoaded: yes\n"));
    EXPECT_TRUE(preview.contains("  medium: CellCarrier\n"));
    EXPECT_TRUE(preview.contains("user <name> opened <path> (sample <name>)"));
    for (const QString& secret : {QString("SECRET"), QString::fromStdString(dir.path()),
                                  QString("qv3tester"), QDir::homePath()}) {
        SCOPED_TRACE(secret.toStdString());
        EXPECT_FALSE(preview.contains(secret));
        EXPECT_FALSE(body.contains(secret.toUtf8()));
    }
    EXPECT_TRUE(body.contains("=== User Comment ===\nPlot looks wrong\n"));
    ASSERT_TRUE(test::waitUntil([&] { return count(DialogCall::Information) == 1; }));
    EXPECT_EQ(dialogs.calls.back().title, "Feedback Sent");
}

// ===== manual and About ========================================================

TEST_F(MainWindowServices, AMissingManualListsWhereItWasLookedFor) {
    QTemporaryDir app;
    setApplicationDirOverride(app.path());
    MainWindow main;
    trigger(main, "&Manual");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(dialogs.calls[0].title, "Manual Not Found");
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not find the help file (quorvex3.qch).\n\nSearched in:\n" + app.path() +
                  "/../data/quorvex3.qch\n" + app.path() + "/data/quorvex3.qch\n" + app.path() +
                  "/../Resources/quorvex3.qch");
    EXPECT_TRUE(main.findChildren<HelpWindow*>().isEmpty());
}

TEST_F(MainWindowServices, EachUseOfTheManualOpensAWindow) {
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    MainWindow main;
    trigger(main, "&Manual");
    trigger(main, "&Manual");
    const QList<HelpWindow*> windows = main.findChildren<HelpWindow*>();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_TRUE(windows[0]->isVisible());
    EXPECT_EQ(windows[0]->browser()->source(), HelpWindow::startPage());
    EXPECT_NE(windows[0]->collectionFile(), windows[1]->collectionFile());
    EXPECT_TRUE(dialogs.calls.empty());
    // Closing one deletes it.
    windows[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main.findChildren<HelpWindow*>().size(), 1);
}

TEST_F(MainWindowServices, AboutRunsTheAboutDialog) {
    MainWindow main;
    trigger(main, "&About");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Dialog);
    EXPECT_EQ(dialogs.calls[0].title, "About Quorvex3");
}

} // namespace
} // namespace Quorvex3
