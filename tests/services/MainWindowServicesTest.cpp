// The Help menu and the error box of the main window: update checks and
// feedback uploads as a scripted server on 127.0.0.1 saw them, the manual
// and the About dialog.
#include "ServicesTestSupport.h"

#include "app/Logging.h"
#include "app/MainWindow.h"
#include "app/ShellSettings.h"
#include "model/DatasetEntry.h"
#include "services/AboutDialog.h"
#include "services/AppLocations.h"
#include "services/FeedbackDialog.h"
#include "services/HelpWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

using testing::LoopbackServer;

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

const QByteArray kNewerFeed = LoopbackServer::reply(200, R"({"version": "3.4"})");

class MainWindowServices : public ::testing::Test {
protected:
    MainWindowServices() : guard(dialogs) {
        [[maybe_unused]] static const bool s_logging = (Logging::install(), true);
        test::clearSettings();
        ShellSettings::setCheckUpdatesOnStartup(false);
        setServiceEndpoints(testing::loopbackEndpoints(server));
        main = std::make_unique<MainWindow>();
    }
    ~MainWindowServices() override {
        setServiceEndpoints(ServiceEndpoints::buildDefaults());
        setApplicationDirOverride(QString());
    }

    void trigger(const char* item) {
        test::actionNamed(test::menuNamed(*main, "&Help"), item)->trigger();
    }
    bool waitForCalls(std::size_t count) {
        return test::waitUntil([&] { return dialogs.calls.size() >= count; });
    }
    /// Scripts the feedback dialog: keeps its preview and error label, types
    /// `comment`, runs `whileOpen` and answers `result`.
    void scriptFeedback(
        const QString& comment, int result = QDialog::Accepted,
        std::function<void()> whileOpen = [] {}) {
        dialogs.dialogScript = [=](QDialog& dialog) {
            preview = dialog.findChild<QPlainTextEdit*>(kFeedbackPreviewName)->toPlainText();
            auto* label = dialog.findChild<QLabel*>(kFeedbackErrorLabelName);
            errorLabel = label ? label->text() : QString();
            dialog.findChild<QPlainTextEdit*>(kFeedbackCommentName)->setPlainText(comment);
            whileOpen();
            return result;
        };
    }

    LoopbackServer server;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard;
    testing::UrlRecorder urls;
    QString preview;
    QString errorLabel;
    std::unique_ptr<MainWindow> main;
};

// ===== update check ============================================================

TEST_F(MainWindowServices, UpdateChecksJudgeEachAnswerAndASilentOneReportsOnlyNews) {
    const QByteArray huge = R"({"version": "3.4", "notes": ")" + QByteArray(1 << 20, 'x') + "\"}";
    const struct {
        QByteArray answer;
        const char* title;
        const char* text;
    } cases[] = {
        {kNewerFeed, "Update Available", "Latest: 3.4"},
        {LoopbackServer::reply(200, R"({"version": "3.3.99.1"})"), "Update Available", "3.3.99.1"},
        {LoopbackServer::reply(200, R"({"version": "3.3.99"})"), "Check for Updates",
         "You are running the latest version of Quorvex3 (3.3.99)."},
        {LoopbackServer::reply(200, R"({"version": "3.2"})"), "Check for Updates", "latest"},
        {LoopbackServer::reply(200, R"({"version": "v3.4"})"), "Check for Updates",
         "Could not check for updates.\n\nThe server returned an unrecognized version string."},
        {LoopbackServer::reply(200, "<html/>"), "Check for Updates", "Could not read version"},
        {LoopbackServer::reply(500, "{}"), "Check for Updates", "(HTTP status 500)"},
        {LoopbackServer::reply(200, huge), "Check for Updates", "Could not read version"},
        // Outgrowing the cap stops the download: the rest is not waited for.
        {LoopbackServer::reply(200, huge, {}, 1), "Check for Updates", "Could not read version"},
        {QByteArray(), "Check for Updates", "The server did not answer within 0.5 seconds."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        dialogs.calls.clear();
        server.answers = {c.answer, c.answer};
        main->checkForUpdates(true); // as at start-up
        trigger("Check for &Updates...");
        const std::size_t boxes = QByteArray(c.title) == "Update Available" ? 2 : 1;
        ASSERT_TRUE(waitForCalls(boxes));
        test::processEventsFor(150); // the other reply is handled by now
        ASSERT_EQ(dialogs.calls.size(), boxes);
        EXPECT_EQ(dialogs.calls.back().title, c.title);
        EXPECT_TRUE(dialogs.calls.back().text.contains(c.text))
            << dialogs.calls.back().text.toStdString();
    }
    EXPECT_TRUE(server.requests[0].head.startsWith(
        "GET /media/public_001/Downloads/Quorvex_3/quorvex3_latest.json HTTP/1.1\r\n"));
    EXPECT_TRUE(server.requests[0].head.contains("\r\nUser-Agent: Quorvex3/3.3.99\r\n"));
}

TEST_F(MainWindowServices, TheUpdateBoxShowsNotesAsTextAndOffersOnlyWebAddresses) {
    server.answers = {
        LoopbackServer::reply(302, {}, "Location: " + server.url("/moved").toEncoded() + "\r\n"),
        LoopbackServer::reply(200, R"({"version": "3.4", "url": "file:///etc/passwd",
                                       "notes": "<b>Faster</b>\n<img src=x>"})")};
    dialogs.choiceAnswers = {"Open Downloads..."};
    trigger("Check for &Updates...");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_TRUE(server.requests[1].head.startsWith("GET /moved HTTP/1.1\r\n"));
    const testing::DialogCall& box = dialogs.calls[0];
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.text, "A newer version of Quorvex3 is available.\n\nInstalled: 3.3.99\nLatest: "
                        "3.4\n\nWhat's new:\n<b>Faster</b>\n<img src=x>");
    EXPECT_EQ(box.textFormat, Qt::PlainText);
    EXPECT_EQ(box.buttons, QStringList({"Open Downloads...", "Ignore This Version", "Later"}));
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0], server.url("/downloads"));
}

TEST_F(MainWindowServices, AnIgnoredVersionSilencesOnlyTheSilentCheckOfOverlappingOnes) {
    server.answers = {kNewerFeed, kNewerFeed, kNewerFeed};
    dialogs.choiceAnswers = {"Ignore This Version"};
    trigger("Check for &Updates...");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(QSettings().value("updates/ignoredVersion").toString(), "3.4");
    main->checkForUpdates(true);      // the start-up check, still waiting for its answer
    trigger("Check for &Updates..."); // the user asks meanwhile
    ASSERT_TRUE(waitForCalls(2));
    test::processEventsFor(150);
    EXPECT_EQ(dialogs.calls.size(), 2u);
    EXPECT_TRUE(urls.opened.empty()); // "Later"
}

TEST_F(MainWindowServices, WithoutAServerOrKeyNothingIsSent) {
    ServiceEndpoints endpoints = testing::loopbackEndpoints(server);
    endpoints.updateServer = QUrl();
    endpoints.feedbackKeyTable.clear();
    setServiceEndpoints(endpoints);
    main->checkForUpdates(true);
    trigger("Check for &Updates...");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not check for updates.\n\nNo update server is configured in this build.");
    scriptFeedback("comment");
    trigger("Send &Feedback...");
    ASSERT_EQ(dialogs.calls.size(), 3u);
    EXPECT_EQ(dialogs.calls[2].text,
              "Could not send feedback.\n\nNo feedback server is configured in this build.");
    test::processEventsFor(100);
    EXPECT_EQ(dialogs.calls.size(), 3u);
    EXPECT_TRUE(server.requests.empty());
}

// ===== error box and feedback ==================================================

TEST_F(MainWindowServices, FeedbackSendsWhatWasPreviewedWithTheCommentAndNoPrivateNames) {
    qputenv("USER", "qv3tester");
    testing::TempDir dir;
    const QString path = QString::fromStdString(dir.path()) + "/SECRET_DIR/SECRET_NAME.rtdc";
    QDir().mkpath(QFileInfo(path).path());
    {
        testing::RtdcFixtureWriter writer(path.toStdString());
        writer.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
        writer.setStringAttribute("experiment:sample", "SECRET_SAMPLE_42");
    }
    main->addDataset(path);
    ASSERT_TRUE(test::waitUntil([&] { return main->datasets()[0]->featuresLoaded; }));
    qInfo("qv3tester opened %s (SECRET_SAMPLE_42) in %s", qPrintable(path),
          qPrintable(QDir::homePath()));
    server.answers = {LoopbackServer::reply(200, "{}")};
    scriptFeedback(" Plot looks wrong\n", QDialog::Accepted, [] { qInfo("LATE_LINE"); });
    trigger("Send &Feedback...");
    ASSERT_TRUE(server.waitForRequests(1));

    const QByteArray head = server.requests[0].head;
    EXPECT_TRUE(head.startsWith("PUT /upload/ HTTP/1.1\r\n"));
    EXPECT_TRUE(head.contains("\r\nX-Api-Key: " + testing::kTestAccessKey +
                              "\r\nX-Version: 3.3.99\r\nX-Setup-Id: Quorvex3\r\n"));
    EXPECT_TRUE(head.contains("\r\nContent-Type: text/plain\r\n"));
    const int session = preview.indexOf("=== Session ===");
    EXPECT_EQ(server.requests[0].body, preview.left(session).toUtf8() +
                                           "=== User Comment ===\nPlot looks wrong\n\n" +
                                           preview.mid(session).toUtf8());
    EXPECT_TRUE(preview.contains("--- Dataset 1 ---\nEvents: 3\n"));
    EXPECT_TRUE(preview.contains("<name> opened <path> (<name>) in <path>\n"));
    for (const QString& secret : {QString("SECRET"), QString::fromStdString(dir.path()),
                                  QString("qv3tester"), QDir::homePath()})
        EXPECT_FALSE(server.requests[0].body.contains(secret.toUtf8())) << secret.toStdString();
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(dialogs.calls[1].title, "Feedback Sent");
}

TEST_F(MainWindowServices, FeedbackIsSentOnlyOnA2xxAnswer) {
    const struct {
        QByteArray answer;
        const char* title;
        const char* text;
    } cases[] = {
        {LoopbackServer::reply(200, "{}"), "Feedback Sent",
         "Thank you! Your report has been sent to BVA support."},
        {LoopbackServer::reply(201, "{}"), "Feedback Sent", "Thank you!"},
        // Not followed: the key goes nowhere else.
        {LoopbackServer::reply(302, {}, "Location: " + server.url("/x").toEncoded() + "\r\n"),
         "Feedback Failed",
         "Could not send feedback.\n\nThe server answered with HTTP status 302 (Scripted)."},
        {LoopbackServer::reply(500, "{}"), "Feedback Failed", "(HTTP status 500)"},
        {QByteArray(), "Feedback Failed", "The server did not answer within 0.5 seconds."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        server.answers = {c.answer};
        dialogs.calls.clear();
        scriptFeedback(" \n\t "); // blank: no comment block
        trigger("Send &Feedback...");
        ASSERT_TRUE(waitForCalls(2));
        EXPECT_EQ(dialogs.calls[1].title, c.title);
        EXPECT_TRUE(dialogs.calls[1].text.contains(c.text));
        EXPECT_EQ(server.requests.back().body, preview.toUtf8());
    }
    EXPECT_EQ(server.requests.size(), std::size(cases));
    EXPECT_TRUE(errorLabel.isEmpty());
    EXPECT_FALSE(preview.contains("=== Error ==="));
    EXPECT_TRUE(preview.contains("=== Session ===\nDatasets: 0\n\n\n=== Log ===\n"));
}

TEST_F(MainWindowServices, CancellingTheUploadShowsNothing) {
    server.answers = {QByteArray()};
    scriptFeedback("comment");
    trigger("Send &Feedback...");
    ASSERT_TRUE(server.waitForRequests(1));
    main->findChild<QProgressDialog*>()->findChild<QPushButton*>()->click();
    test::processEventsFor(800); // past the time-out, which would report a failure
    EXPECT_EQ(dialogs.calls.size(), 1u);
}

TEST_F(MainWindowServices, TheErrorBoxShowsOneErrorAtATimeAndLeadsToFeedback) {
    dialogs.whileBoxOpen = [&] { main->onUnhandledException("Unexpected Error", "second"); };
    dialogs.choiceAnswers = {"Send Feedback..."};
    scriptFeedback("never sent", QDialog::Rejected);
    main->onUnhandledException("File / Data Error", "<b>no /srv/x.rtdc");
    ASSERT_EQ(dialogs.calls.size(), 2u);
    const testing::DialogCall& box = dialogs.calls[0];
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.title, "File / Data Error");
    EXPECT_EQ(box.text, "An unexpected error occurred:\n\n<b>no /srv/x.rtdc\n\nYou can send a "
                        "diagnostic report to help us fix this.");
    EXPECT_EQ(box.textFormat, Qt::PlainText);
    EXPECT_EQ(box.buttons, QStringList({"Send Feedback...", "Close"}));
    EXPECT_EQ(dialogs.calls[1].title, "Send Feedback to BVA Support");
    EXPECT_EQ(errorLabel, "<b>Error:</b> File / Data Error<br>&lt;b&gt;no /srv/x.rtdc");
    EXPECT_TRUE(preview.contains("=== Error ===\nTitle: File / Data Error\nMessage: <b>no "
                                 "<path>\n\n=== Session ==="));
    main->onUnhandledException("Unexpected Error", "third"); // closed: shown again
    EXPECT_EQ(dialogs.calls.size(), 3u);
    test::processEventsFor(50);
    EXPECT_TRUE(server.requests.empty());
}

// ===== manual and About ========================================================

TEST_F(MainWindowServices, TheHelpMenuOpensTheManualAndAbout) {
    QTemporaryDir app;
    setApplicationDirOverride(app.path());
    trigger("&Manual");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not find the help file (quorvex3.qch).\n\nSearched in:\n" + app.path() +
                  "/../data/quorvex3.qch\n" + app.path() + "/data/quorvex3.qch\n" + app.path() +
                  "/../Resources/quorvex3.qch");
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    trigger("&Manual");
    ASSERT_EQ(main->findChildren<HelpWindow*>().size(), 1);
    EXPECT_TRUE(main->findChild<HelpWindow*>()->isVisible());
    trigger("&About");
    EXPECT_EQ(dialogs.calls.back().title, "About Quorvex3");
}

TEST_F(MainWindowServices, AboutOpensEachShippedLicenceTextThroughItsLink) {
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    const QString folder = QStringLiteral(QUORVEX3_BUILT_APP_DIR "/licenses/");
    AboutDialog dialog;
    auto* links = dialog.findChild<QLabel*>("licenseLinks");
    const std::pair<QString, QString> entries[] = {
        {"app:license-en", "Software License Agreement.md"},
        {"app:license-de", "Softwarelizenzvereinbarung.md"},
        {"app:notice-en", "(EN) Quorvex 3THIRD PARTY SOFTWARE NOTICES.md"},
        {"app:notice-de", "(DE) Quorvex 3 THIRD PARTY SOFTWARE NOTICES.md"},
        {"app:thirdparty-folder", "third party licenses"},
    };
    for (const auto& [link, name] : entries) {
        EXPECT_TRUE(links->text().contains("href=\"" + link + "\""));
        emit links->linkActivated(link);
        EXPECT_EQ(urls.opened.back(), QUrl::fromLocalFile(QDir::cleanPath(folder + name)));
        EXPECT_TRUE(QFileInfo::exists(folder + name)) << name.toStdString();
    }
    EXPECT_GE(QDir(folder + "third party licenses").entryList(QDir::Files).size(), 7);
    dialog.onLinkActivated("https://example.com/licenses");
    EXPECT_EQ(urls.opened.back(), QUrl("https://example.com/licenses"));
    EXPECT_EQ(urls.opened.size(), 6u);
    EXPECT_EQ(AboutDialog::builtWithText(),
              QStringLiteral("Built with Qt %1, QWT, HDF5, OpenCV, Armadillo.").arg(qVersion()));
}

TEST_F(MainWindowServices, AboutNamesAMissingLicenceFileAndFolder) {
    QTemporaryDir app;
    QDir(app.path()).mkpath("licenses");
    setApplicationDirOverride(app.path());
    AboutDialog dialog;
    dialog.onLinkActivated("app:notice-de");
    QDir(app.path() + "/licenses").removeRecursively();
    dialog.onLinkActivated("app:license-en");
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not find:\n" + app.path() +
                  "/licenses/(DE) Quorvex 3 THIRD PARTY SOFTWARE NOTICES.md\n\nThe licenses "
                  "folder is shipped alongside the application; this build appears to be "
                  "missing it.");
    EXPECT_EQ(dialogs.calls[1].text, "License files are not available in this build.");
    EXPECT_EQ(AboutDialog().findChild<QLabel*>("licenseLinks")->text(),
              "<i>License files are not bundled with this build.</i>");
    EXPECT_TRUE(urls.opened.empty());
}

} // namespace
} // namespace Quorvex3
