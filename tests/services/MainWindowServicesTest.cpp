// The Help menu and the error box of the main window: update checks and
// feedback uploads as a scripted server on 127.0.0.1 saw them, the manual in
// help windows of its own, and the About dialog.
#include "ServicesTestSupport.h"

#include "util/Logging.h"
#include "app/MainWindow.h"
#include "app/MainWindowTestSupport.h"
#include "app/ShellSettings.h"
#include "model/DatasetEntry.h"
#include "services/AboutDialog.h"
#include "services/AppLocations.h"
#include "services/FeedbackDialog.h"
#include "services/HelpWindow.h"
#include "services/ServiceEndpoints.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <QAbstractButton>
#include <QDate>
#include <QApplication>
#include <QDockWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpSearchEngine>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace Quorvex3 {
namespace {

using testing::reply;

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

const QByteArray kTestAccessKey = "test-key-0123456789-abcdefghijklmnopqrstuvw"; // 43 bytes
const QByteArray kNewerFeed = reply(200, R"({"version": "3.4"})");

class MainWindowServices : public ::testing::Test {
protected:
    MainWindowServices() : guard(dialogs) {
        [[maybe_unused]] static const bool s_logging = (Logging::install(), true);
        test::clearSettings();
        ShellSettings::setCheckUpdatesOnStartup(false);
        setApplicationDirOverride(QString());
        ServiceEndpoints endpoints; // both on the server, with short time-outs
        endpoints.updateServer = endpoints.feedbackServer = server.url();
        endpoints.feedbackKeyTable = encodeAccessKey(kTestAccessKey);
        endpoints.updateTimeoutMs = endpoints.feedbackTimeoutMs = 500;
        setServiceEndpoints(endpoints);
        dialogs.dialogScript = [this](QDialog& dialog) {
            auto* shown = dialog.findChild<QPlainTextEdit*>(kFeedbackPreviewName);
            if (!shown) // not the feedback dialog
                return int(QDialog::Rejected);
            preview = shown->toPlainText();
            auto* label = dialog.findChild<QLabel*>(kFeedbackErrorLabelName);
            errorLabel = label ? label->text() : QString();
            // A dialog shown again after a failed send still holds what was typed.
            auto* editor = dialog.findChild<QPlainTextEdit*>(kFeedbackCommentName);
            const int showing = dialog.property("timesShown").toInt();
            dialog.setProperty("timesShown", showing + 1);
            commentsShown.push_back(editor->toPlainText());
            if (showing == 0)
                editor->setPlainText(comment);
            qInfo("LATE_LINE logged while the dialog is open");
            return int(send && showing < sendAttempts ? QDialog::Accepted : QDialog::Rejected);
        };
        main = std::make_unique<MainWindow>();
    }

    void trigger(const char* item) {
        test::actionNamed(test::menuNamed(*main, "&Help"), item)->trigger();
    }
    bool waitForCalls(std::size_t count) {
        return test::waitUntil([&] { return dialogs.calls.size() >= count; });
    }

    testing::LoopbackServer server;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard;
    testing::UrlRecorder urls;
    QString preview;      // of the last feedback dialog
    QString errorLabel;   // of the last feedback dialog, empty without one
    QString comment;      // typed into each feedback dialog
    bool send = true;     // its answer
    int sendAttempts = 1; // "Send" clicks per dialog; showing it again after that cancels
    std::vector<QString> commentsShown; // in the comment editor as each dialog was shown
    std::unique_ptr<MainWindow> main;
};

// ===== update check ============================================================

TEST_F(MainWindowServices, UpdateChecksJudgeEachAnswerAndASilentOneReportsOnlyNews) {
    const QByteArray huge = R"({"version": "3.4", "notes": ")" + QByteArray(1 << 20, 'x') + "\"}";
    const char* const newer = "A newer version of Quorvex3 is available.\n\nInstalled: 3.3.99\nLatest: ";
    // The answer, whether it is news, and the text of the interactive check's box.
    const std::tuple<QByteArray, bool, QString> cases[] = {
        // Empty notes: no "What's new" block.
        {kNewerFeed, true, newer + QString("3.4")},
        {reply(200, R"({"version": "3.3.99.1", "notes": ""})"), true, newer + QString("3.3.99.1")},
        {reply(200, R"({"version": "3.3.99"})"), false,
         "You are running the latest version of Quorvex3 (3.3.99)."},
        {reply(200, R"({"version": "3.3.9", "url": 7})"), false,
         "You are running the latest version of Quorvex3 (3.3.99)."},
        {reply(200, R"({"version": "v3.4"})"), false,
         "Could not check for updates.\n\nThe server returned an unrecognized version string."},
        {reply(200, "<html/>"), false,
         "Could not check for updates.\n\nCould not read version information from the server."},
        {reply(500, "{}"), false, "(HTTP status 500)"},
        // 1 MiB: the download stops at the cap rather than waiting for the rest.
        {reply(200, huge, {}, 1), false, "Could not read version information"},
        // Announced beyond the cap: given up at once, not after the time-out.
        {reply(200, kNewerFeed, {}, 1 << 20), false, "Could not read version information"},
        {QByteArray(), false, "The server did not answer within 0.5 seconds."},
    };
    for (const auto& [answer, news, text] : cases) {
        SCOPED_TRACE(text.toStdString());
        dialogs.calls.clear();
        server.answers = {answer, answer};
        main->checkForUpdates(true); // as at start-up
        trigger("Check for &Updates...");
        const std::size_t boxes = news ? 2 : 1; // the silent one only for news
        ASSERT_TRUE(waitForCalls(boxes));
        test::processEventsFor(150); // the other reply is handled by now
        ASSERT_EQ(dialogs.calls.size(), boxes);
        const QString shown = dialogs.calls.back().text;
        EXPECT_TRUE(news ? shown == text : shown.contains(text)) << shown.toStdString();
        EXPECT_EQ(dialogs.calls.back().title, news ? "Update Available" : "Check for Updates");
    }
    EXPECT_TRUE(server.requests[0].startsWith(
        "GET /media/public_001/Downloads/Quorvex_3/quorvex3_latest.json HTTP/1.1\r\n"));
    EXPECT_TRUE(server.requests[0].contains("\r\nUser-Agent: Quorvex3/3.3.99\r\n"));
}

TEST_F(MainWindowServices, TheUpdateBoxShowsNotesAsTextAndAVersionCanBeIgnored) {
    server.answers = {reply(302, {}, "Location: " + server.url("/moved").toEncoded() + "\r\n"),
                      reply(200, R"({"version": "3.4", "url": "file:///etc/passwd",
                                       "notes": "<b>Faster</b>\n<img src=x>"})"),
                      kNewerFeed, kNewerFeed, kNewerFeed};
    dialogs.choiceAnswers = {"Open Downloads..."};
    trigger("Check for &Updates...");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_TRUE(server.requests[1].startsWith("GET /moved HTTP/1.1\r\n"));
    EXPECT_EQ(dialogs.calls[0].text,
              "A newer version of Quorvex3 is available.\n\nInstalled: "
              "3.3.99\nLatest: 3.4\n\nWhat's new:\n<b>Faster</b>\n<img src=x>");
    EXPECT_EQ(urls.opened, std::vector<QUrl>{server.url("/downloads")});
    {
        // The real box lays its buttons out by role; the one clicked counts.
        QtDialogProvider qtDialogs;
        ScopedDialogProvider real(qtDialogs);
        QTimer clicker;
        Qt::TextFormat format = Qt::AutoText;
        QObject::connect(&clicker, &QTimer::timeout, [&format] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == "Ignore This Version")
                        button->click();
            }
        });
        clicker.start(10);
        trigger("Check for &Updates...");
        ASSERT_TRUE(test::waitUntil([] { return ShellSettings::ignoredUpdateVersion() == "3.4"; }));
        EXPECT_EQ(format, Qt::PlainText);
    }
    main->checkForUpdates(true);      // the start-up check, still waiting for its answer
    trigger("Check for &Updates..."); // the user asks meanwhile
    ASSERT_TRUE(waitForCalls(2));
    test::processEventsFor(150);
    EXPECT_EQ(dialogs.calls.size(), 2u);
}

TEST_F(MainWindowServices, TheStartUpCheckAsksOnceSilentlyWhenSwitchedOn) {
    // Whether the check is on, the ignored version, the answer; the requests
    // and the boxes that follow once the event loop runs.
    const std::tuple<bool, const char*, QByteArray, std::size_t, std::size_t> cases[] = {
        {true, "", kNewerFeed, 1, 1},
        {true, "3.4", kNewerFeed, 1, 0},
        {true, "3.4.0", kNewerFeed, 1, 1}, // ignored exactly as the feed named it
        {true, "", reply(200, R"({"version": "3.3.99"})"), 1, 0},
        {true, "", reply(500, "{}"), 1, 0},
        {false, "", kNewerFeed, 0, 0},
    };
    for (const auto& [on, ignored, answer, requests, boxes] : cases) {
        SCOPED_TRACE(std::string(on ? "on, " : "off, ") + ignored + ", " + answer.left(12).data());
        ShellSettings::setCheckUpdatesOnStartup(on);
        ShellSettings::setIgnoredUpdateVersion(ignored);
        server.requests.clear();
        server.answers = {answer};
        dialogs.calls.clear();
        MainWindow started;
        EXPECT_TRUE(server.requests.empty()); // not before the event loop runs
        test::processEventsFor(300);
        ASSERT_EQ(server.requests.size(), requests);
        ASSERT_EQ(dialogs.calls.size(), boxes);
        if (boxes) {
            EXPECT_EQ(dialogs.calls[0].title, "Update Available");
        }
    }
    // Switched off in the Settings menu: the next start asks nothing.
    ShellSettings::setCheckUpdatesOnStartup(true);
    std::make_unique<MainWindow>().swap(main);
    test::actionNamed(test::menuNamed(*main, "&Settings"), "Check for Updates on Startup")
        ->trigger();
    test::processEventsFor(300);
    server.requests.clear();
    MainWindow next;
    test::processEventsFor(300);
    EXPECT_TRUE(server.requests.empty());
}

TEST_F(MainWindowServices, TheFeedIsReadUpToItsCapAndNoFurther) {
    ServiceEndpoints endpoints = serviceEndpoints();
    endpoints.maxFeedBytes = 40;
    setServiceEndpoints(endpoints);
    main = std::make_unique<MainWindow>(); // takes the endpoints on first use
    // A body of exactly the cap is read; one byte more is not.
    const QByteArray feed = R"({"version": "3.3.99"})";
    for (const int size : {40, 41}) {
        SCOPED_TRACE(size);
        server.answers = {reply(200, feed + QByteArray(size - feed.size(), ' '))};
        dialogs.calls.clear();
        trigger("Check for &Updates...");
        ASSERT_TRUE(waitForCalls(1));
        EXPECT_EQ(dialogs.calls[0].text,
                  size == 40 ? "You are running the latest version of Quorvex3 (3.3.99)."
                             : "Could not check for updates.\n\nCould not read version "
                               "information from the server.");
    }
}

// A server that sends one byte at a time, each well within the time-out,
// would keep the check open for minutes: the time-out counts from the request.
TEST_F(MainWindowServices, AFeedTrickledByteByByteEndsAtTheTimeOut) {
    const QByteArray feed = R"({"version": "3.4"})" + QByteArray(280, ' ');
    const QByteArray whole = reply(200, feed);
    testing::TricklingServer trickling(whole.left(whole.size() - feed.size()), feed, 50);
    ServiceEndpoints endpoints = serviceEndpoints();
    endpoints.updateServer = trickling.url();
    setServiceEndpoints(endpoints);
    main = std::make_unique<MainWindow>(); // takes the endpoints on first use
    trigger("Check for &Updates...");
    // The body takes 15 s to arrive; the time-out is 0.5 s.
    ASSERT_TRUE(test::waitUntil([&] { return !dialogs.calls.empty(); }, 5000));
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not check for updates.\n\nThe server did not answer within 0.5 seconds.");
}

TEST_F(MainWindowServices, CancellingTheFeedbackDialogSendsNothing) {
    send = false;
    comment = "never sent";
    trigger("Send &Feedback...");
    test::processEventsFor(200);
    ASSERT_EQ(dialogs.calls.size(), 1u); // the dialog, and no box after it
    EXPECT_EQ(dialogs.calls[0].kind, testing::DialogCall::Dialog);
    EXPECT_EQ(dialogs.calls[0].title, "Send Feedback to BVA Support");
    EXPECT_TRUE(server.requests.empty());
    EXPECT_FALSE(preview.contains("=== User Comment ==="));
}

TEST_F(MainWindowServices, WithoutAServerOrKeyNothingIsSent) {
    ServiceEndpoints endpoints = serviceEndpoints();
    endpoints.updateServer = QUrl();
    endpoints.feedbackKeyTable.clear();
    setServiceEndpoints(endpoints);
    main->checkForUpdates(true);
    trigger("Send &Feedback...");
    trigger("Check for &Updates...");
    test::processEventsFor(100);
    ASSERT_EQ(dialogs.calls.size(), 4u);
    EXPECT_EQ(dialogs.calls[1].text,
              "Could not send feedback.\n\nNo feedback server is configured in this build.");
    EXPECT_EQ(dialogs.calls[2].kind, testing::DialogCall::Dialog); // back, and cancelled
    EXPECT_EQ(dialogs.calls[3].text,
              "Could not check for updates.\n\nNo update server is configured in this build.");
    EXPECT_TRUE(server.requests.empty());
    EXPECT_TRUE(errorLabel.isEmpty()); // from the menu: no error
    EXPECT_FALSE(preview.contains("=== Error ==="));
    EXPECT_TRUE(preview.contains("=== Session ===\nDatasets: 0\n\n\n=== Log ===\n"));
}

// ===== error box and feedback ==================================================

TEST_F(MainWindowServices, FeedbackSendsWhatWasPreviewedAndReportsSentOnlyOnA2xxAnswer) {
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
    // The answer, and the text of the box that follows.
    const std::pair<QByteArray, const char*> cases[] = {
        {reply(200, "{}"), "Thank you! Your report has been sent to BVA support."},
        {reply(201, "{}"), "Thank you!"},
        // Not followed: the key goes nowhere else.
        {reply(302, {}, "Location: " + server.url("/x").toEncoded() + "\r\n"),
         "Could not send feedback.\n\nThe server answered with HTTP status 302 (Scripted)."},
        {reply(500, "{}"), "(HTTP status 500)"},
        {QByteArray(), "The server did not answer within 0.5 seconds."},
    };
    comment = " Plot looks wrong\n";
    for (const auto& [answer, text] : cases) {
        SCOPED_TRACE(text);
        server.answers = {answer};
        dialogs.calls.clear();
        trigger("Send &Feedback...");
        ASSERT_TRUE(waitForCalls(2));
        EXPECT_TRUE(dialogs.calls[1].text.contains(text));
        // The preview, with the comment spliced in: no log line added since.
        const int session = preview.indexOf("=== Session ===");
        EXPECT_TRUE(server.requests.back().endsWith("\r\n\r\n" + preview.left(session).toUtf8() +
                                                    "=== User Comment ===\nPlot looks wrong\n\n" +
                                                    preview.mid(session).toUtf8()));
    }
    ASSERT_EQ(server.requests.size(), std::size(cases));
    const QByteArray& request = server.requests[0];
    EXPECT_TRUE(request.startsWith("PUT /upload/ HTTP/1.1\r\n"));
    EXPECT_TRUE(request.contains("\r\nX-Api-Key: " + kTestAccessKey +
                                 "\r\nX-Version: 3.3.99\r\nX-Setup-Id: Quorvex3\r\n"));
    EXPECT_TRUE(request.contains("\r\nContent-Type: text/plain\r\n"));
    EXPECT_TRUE(preview.contains("--- Dataset 1 ---\nEvents: 3\n"));
    EXPECT_TRUE(preview.contains("<name> opened <path> (<name>) in <path>\n"));
    for (const QString& secret : {QString("SECRET"), QString::fromStdString(dir.path()),
                                  QString("qv3tester"), QDir::homePath()})
        EXPECT_FALSE(request.contains(secret.toUtf8())) << secret.toStdString();
}

TEST_F(MainWindowServices, AFailedSendKeepsTheDialogAndItsCommentForAnotherTry) {
    server.answers = {reply(503, "{}"), reply(200, "{}")};
    comment = "Plot looks wrong";
    sendAttempts = 2;
    trigger("Send &Feedback...");
    ASSERT_TRUE(waitForCalls(4));
    using K = testing::DialogCall;
    const K::Kind kinds[] = {K::Dialog, K::Warning, K::Dialog, K::Information};
    for (std::size_t i = 0; i < std::size(kinds); ++i)
        EXPECT_EQ(dialogs.calls[i].kind, kinds[i]) << i;
    EXPECT_EQ(dialogs.calls[1].title, "Feedback Failed");
    EXPECT_EQ(dialogs.calls[3].title, "Feedback Sent");
    EXPECT_EQ(commentsShown, (std::vector<QString>{QString(), comment}));
    // The second try sends the report that was previewed, comment and all.
    ASSERT_EQ(server.requests.size(), 2u);
    const auto body = [](const QByteArray& request) {
        return request.mid(request.indexOf("\r\n\r\n") + 4);
    };
    EXPECT_EQ(body(server.requests[1]), body(server.requests[0]));
    EXPECT_TRUE(server.requests[1].contains("=== User Comment ===\nPlot looks wrong\n"));
    test::processEventsFor(50);
    EXPECT_EQ(dialogs.calls.size(), 4u); // sent: the dialog is not shown again
}

TEST_F(MainWindowServices, CancellingTheUploadShowsNothing) {
    server.answers = {QByteArray()};
    comment = " \n\t "; // blank: no comment block
    trigger("Send &Feedback...");
    ASSERT_TRUE(test::waitUntil([&] { return !server.requests.empty(); }));
    EXPECT_TRUE(server.requests[0].endsWith("\r\n\r\n" + preview.toUtf8()));
    main->findChild<QProgressDialog*>()->findChild<QPushButton*>()->click();
    test::processEventsFor(800); // past the time-out, which would report a failure
    EXPECT_EQ(dialogs.calls.size(), 1u);
}

TEST_F(MainWindowServices, ALicenceTextTheDesktopCannotOpenLeavesNoPathInTheReport) {
    // The platform gets the URL and logs it when it cannot open it.
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    AboutDialog about;
    about.onLinkActivated("app:license-en");
    send = false;
    trigger("Send &Feedback...");
    EXPECT_TRUE(preview.contains("file://<path>")) << preview.toStdString();
    for (const char* secret : {"licenses", "License Agreement", QUORVEX3_BUILT_APP_DIR})
        EXPECT_FALSE(preview.contains(secret)) << secret;
}

TEST_F(MainWindowServices, TheErrorBoxShowsOneErrorAtATimeAndLeadsToFeedback) {
    dialogs.whileBoxOpen = [&] { main->onUnhandledException("Unexpected Error", "second"); };
    dialogs.choiceAnswers = {"Send Feedback..."};
    send = false;
    main->onUnhandledException("File / Data Error", "<b>no /srv/x.rtdc");
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].title, "File / Data Error");
    EXPECT_EQ(dialogs.calls[0].text, "An unexpected error occurred:\n\n<b>no /srv/x.rtdc\n\nYou "
                                     "can send a diagnostic report to help us fix this.");
    EXPECT_EQ(dialogs.calls[0].textFormat, Qt::PlainText);
    EXPECT_EQ(errorLabel, "<b>Error:</b> File / Data Error<br>&lt;b&gt;no /srv/x.rtdc");
    EXPECT_TRUE(preview.contains(
        "=== Error ===\nTitle: File / Data Error\nMessage: <b>no <path>\n\n=== Session ==="));
    main->onUnhandledException("Unexpected Error", "third"); // closed: shown again
    EXPECT_EQ(dialogs.calls.size(), 3u);
}

// ===== manual and About ========================================================

/// The pages a full-text search in `window` finds, once its index holds them.
QStringList find(HelpWindow* window, const QString& words) {
    QHelpSearchEngine* search = window->helpEngine()->searchEngine();
    QStringList pages;
    test::waitUntil([&] {
        QSignalSpy done(search, &QHelpSearchEngine::searchingFinished);
        search->search(words);
        const int count = done.wait() ? search->searchResultCount() : 0;
        for (const QHelpSearchResult& result : search->searchResults(0, count))
            pages << result.url().fileName();
        return !pages.isEmpty();
    });
    return pages;
}

TEST_F(MainWindowServices, TheManualOpensInWindowsOfItsOwnThatSearchAndIndexApart) {
    QTemporaryDir app;
    setApplicationDirOverride(app.path());
    trigger("&Manual");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text,
              "Could not find the help file (quorvex3.qch).\n\nSearched in:\n" + app.path() +
                  "/../data/quorvex3.qch\n" + app.path() + "/data/quorvex3.qch\n" + app.path() +
                  "/../Resources/quorvex3.qch");

    const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    const auto files = [&] {
        return cache.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList before = files();
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    trigger("&Manual");
    trigger("&Manual");
    const QList<HelpWindow*> windows = main->findChildren<HelpWindow*>();
    ASSERT_EQ(windows.size(), 2);
    QSignalSpy indexing(windows[1]->helpEngine()->searchEngine(),
                        &QHelpSearchEngine::indexingStarted);
    HelpWindow& window = *windows[1];
    EXPECT_TRUE(window.isVisible());
    QFile index(QStringLiteral(QUORVEX3_MANUAL_SOURCES "/index.html"));
    index.open(QIODevice::ReadOnly);
    EXPECT_EQ(window.browser()->source(), HelpWindow::startPage());
    EXPECT_EQ(window.helpEngine()->fileData(HelpWindow::startPage()), index.readAll());
    EXPECT_EQ(window.windowTitle(), "Quorvex3 Manual");
    EXPECT_EQ(window.indexFilter()->placeholderText(), "Filter keywords...");
    EXPECT_FALSE(window.browser()->openExternalLinks());
    const QTabWidget* tabs = window.findChild<QTabWidget*>();
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(QStringList({tabs->tabText(0), tabs->tabText(1), tabs->tabText(2)}),
              QStringList({"Contents", "Index", "Search"}));
    QHelpIndexModel* keywords = window.helpEngine()->indexModel();
    ASSERT_TRUE(test::waitUntil([&] { return keywords->rowCount() > 0; }));
    const int allKeywords = keywords->rowCount();
    window.indexFilter()->setText("modulus");
    ASSERT_EQ(keywords->rowCount(), 1);
    window.helpEngine()->indexWidget()->activateCurrentItem();
    EXPECT_EQ(window.browser()->source().fileName(), "calculations.html");
    window.indexFilter()->clear(); // the whole index again
    EXPECT_EQ(keywords->rowCount(), allKeywords);

    EXPECT_TRUE(find(windows[0], "contours").contains("plots.html"));
    windows[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QStringList found = find(windows[1], "replicates");
    EXPECT_TRUE(found.contains("statistics.html")) << found.join(", ").toStdString();
    EXPECT_FALSE(found.contains("gallery.html"));
    EXPECT_EQ(indexing.count(), 1); // not restarted by the engine's own
    delete windows[1];
    EXPECT_EQ(files(), before);
}

/// A menu path the manual names, <span class="menu">File &gt; Open...</span>,
/// and whether it is described as not available yet (class "menu not-yet").
struct ManualMenuPath {
    QString page;
    QString path; // "File > Open..."
    bool notYet;
};

std::vector<ManualMenuPath> manualMenuPaths() {
    static const QRegularExpression s_span(
        QStringLiteral(R"(<span class="menu( not-yet)?">([^<]*)</span>)"));
    std::vector<ManualMenuPath> paths;
    const QDir sources(QStringLiteral(QUORVEX3_MANUAL_SOURCES));
    for (const QString& page : sources.entryList({QStringLiteral("*.html")})) {
        QFile file(sources.filePath(page));
        file.open(QIODevice::ReadOnly);
        const QString html = QString::fromUtf8(file.readAll());
        for (auto it = s_span.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            QString path = match.captured(2);
            path.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
            paths.push_back({page, path.simplified(), !match.captured(1).isEmpty()});
        }
    }
    return paths;
}

/// The menu bar's action at "Menu > Item" (deeper for submenus), "&" not
/// counted; null when there is none.
QAction* menuBarAction(QMainWindow& window, const QString& path) {
    QList<QAction*> actions = window.menuBar()->actions();
    QAction* found = nullptr;
    for (const QString& step : path.split(QStringLiteral(" > "))) {
        const auto match = std::find_if(actions.begin(), actions.end(), [&](QAction* action) {
            return QString(action->text()).remove(QLatin1Char('&')) == step;
        });
        if (match == actions.end())
            return nullptr;
        found = *match;
        actions = found->menu() ? found->menu()->actions() : QList<QAction*>();
    }
    return found;
}

bool showsNotAvailableYet(const QWidget& widget) {
    const QList<QLabel*> labels = widget.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text().contains(QStringLiteral("not available yet"));
    });
}

/// Whether `action` answers "not available yet": in a box, in a window it
/// opens or in the panel it shows (a submenu: any of its entries). Windows
/// it opens are closed again.
bool answersNotAvailableYet(MainWindow& main, QAction* action,
                            const testing::ScriptedDialogProvider& dialogs) {
    if (QMenu* menu = action->menu()) {
        bool any = false;
        for (QAction* entry : menu->actions())
            if (!entry->isSeparator())
                any = answersNotAvailableYet(main, entry, dialogs) || any;
        return any;
    }
    const std::size_t calls = dialogs.calls.size();
    const QWidgetList before = QApplication::topLevelWidgets();
    QTimer canceller; // a dialog run without the dialog seam is cancelled
    QObject::connect(&canceller, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    canceller.start(10);
    action->trigger();
    bool says = false;
    for (QDockWidget* dock : main.findChildren<QDockWidget*>()) {
        if (dock->toggleViewAction() != action)
            continue;
        if (dock->isHidden()) // it was shown: show it again
            action->trigger();
        says = showsNotAvailableYet(*dock);
    }
    test::processEventsFor(20);
    for (std::size_t i = calls; i < dialogs.calls.size(); ++i)
        says = says || dialogs.calls[i].text.contains(QStringLiteral("not available yet"));
    for (QWidget* window : QApplication::topLevelWidgets())
        if (!before.contains(window) && window->isVisible()) {
            says = says || showsNotAvailableYet(*window);
            window->close();
        }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return says;
}

TEST_F(MainWindowServices, TheManualDescribesEachMenuEntryAsTheProgramAnswersIt) {
    // A dataset with images, so that every entry has something to work on.
    testing::TempDir dir;
    const QString path = QString::fromStdString(dir.path()) + "/cells.rtdc";
    {
        testing::RtdcFixtureWriter writer(path.toStdString());
        writer.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
        writer.addColumn<float>("area_um", {50.f, 60.f, 70.f});
        writer.addImageStack("image", 3, 8, 10, std::vector<uint8_t>(3 * 8 * 10, 100));
    }
    main->addDataset(path);
    ASSERT_TRUE(test::waitUntil([&] { return main->datasets()[0]->featuresLoaded; }));
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    send = false;

    // What each entry of the menu bar answers (leaving the program aside).
    std::map<QAction*, bool> notYet;
    for (QAction* menu : main->menuBar()->actions())
        for (QAction* entry : menu->menu()->actions())
            if (!entry->isSeparator() && entry->text() != QStringLiteral("E&xit"))
                notYet[entry] = answersNotAvailableYet(*main, entry, dialogs);
    ASSERT_GT(notYet.size(), 15u);

    const std::vector<ManualMenuPath> named = manualMenuPaths();
    ASSERT_GT(named.size(), 10u);
    std::set<QAction*> describedNotYet;
    for (const auto& [page, menuPath, describedAsNotYet] : named) {
        SCOPED_TRACE(page.toStdString() + ": " + menuPath.toStdString());
        QAction* action = menuBarAction(*main, menuPath);
        EXPECT_NE(action, nullptr) << "no such menu entry";
        if (!action)
            continue;
        const bool answers =
            notYet.count(action) ? notYet[action] : answersNotAvailableYet(*main, action, dialogs);
        EXPECT_EQ(describedAsNotYet, answers)
            << (answers ? "answers \"not available yet\"" : "works");
        if (describedAsNotYet) {
            describedNotYet.insert(action);
            QFile file(QStringLiteral(QUORVEX3_MANUAL_SOURCES "/") + page);
            file.open(QIODevice::ReadOnly);
            EXPECT_TRUE(file.readAll().contains("not available yet"));
        }
    }
    for (const auto& [action, answers] : notYet)
        if (answers) {
            EXPECT_TRUE(describedNotYet.count(action))
                << action->text().toStdString() << " is not described as not available yet";
        }
}

TEST_F(MainWindowServices, TheHelpWindowShowsWhyAManualCannotBeOpenedAndLoadsNoLocalFile) {
    QTemporaryDir dir;
    HelpWindow window(dir.filePath("quorvex3.qch")); // missing
    const QString text = window.browser()->toPlainText();
    const QString start =
        "The manual could not be opened.\n\n" + dir.filePath("quorvex3.qch") + "\n\n";
    EXPECT_TRUE(text.startsWith(start) && text.size() > start.size()) << text.toStdString();

    const QUrl image = QUrl::fromLocalFile(dir.filePath("secret.png"));
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(image.toLocalFile()));
    window.browser()->setHtml("<img src=\"" + image.toString() + "\">");
    EXPECT_TRUE(qvariant_cast<QPixmap>(
                    window.browser()->document()->resource(QTextDocument::ImageResource, image))
                    .isNull());
}

TEST_F(MainWindowServices, TheFeedbackDialogAndTheAboutDialogSayWhatTheyShow) {
    // The feedback dialog as the menu and the error box open it.
    for (const bool withError : {false, true}) {
        std::unique_ptr<QDialog> dialog(createFeedbackDialog(
            withError ? "Disk <Error>" : "", withError ? "full" : "", "REPORT", nullptr));
        EXPECT_EQ(dialog->windowTitle(), "Send Feedback to BVA Support");
        EXPECT_EQ(dialog->size(), QSize(640, 540));
        QStringList labels;
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            labels << label->text();
        QStringList expected = {
            "The information below will be sent to BVA support:\n"
            "  \u2022 Application version and system info\n"
            "  \u2022 A summary of the current session (no file paths or sample names)\n"
            "  \u2022 Recent diagnostic log messages",
            "Your comment (optional):", "Preview of data to be sent:"};
        if (withError)
            expected.prepend("<b>Error:</b> Disk &lt;Error&gt;<br>full");
        EXPECT_EQ(labels, expected);
        auto* comment = dialog->findChild<QPlainTextEdit*>(kFeedbackCommentName);
        EXPECT_EQ(comment->placeholderText(), "Describe what happened or what you expected...");
        EXPECT_EQ(comment->maximumHeight(), 100);
        auto* preview = dialog->findChild<QPlainTextEdit*>(kFeedbackPreviewName);
        EXPECT_TRUE(preview->isReadOnly());
        EXPECT_EQ(preview->toPlainText(), "REPORT");
        EXPECT_EQ(preview->font().family(), "monospace");
        EXPECT_EQ(preview->font().pointSize(), 8);
        QStringList buttons;
        for (const QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->isDefault())
                buttons << button->text();
        EXPECT_EQ(buttons, QStringList{"Send"});
    }

    QTemporaryDir app;
    setApplicationDirOverride(app.path()); // no licences folder
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), "About Quorvex3");
    EXPECT_TRUE(about.isModal());
    QStringList labels;
    for (const QLabel* label : about.findChildren<QLabel*>())
        labels << label->text();
    ASSERT_EQ(labels.size(), 5);
    EXPECT_EQ(labels[0], "<div style='font-size:18px; font-weight:bold;'>Quorvex3 v3.3.99</div>");
    EXPECT_EQ(labels[1], "Data analysis and visualization tool for Veloxar RT-DC data.");
    EXPECT_TRUE(labels[2].contains(QString::number(QDate::currentDate().year())));
    EXPECT_EQ(labels[3], AboutDialog::builtWithText());
    EXPECT_EQ(labels[4], "<i>License files are not bundled with this build.</i>");
    setApplicationDirOverride(QStringLiteral(QUORVEX3_BUILT_APP_DIR));
    AboutDialog bundled;
    EXPECT_EQ(bundled.findChild<QLabel*>("licenseLinks")->text(),
              "<b>License:</b> <a href=\"app:license-en\">English</a> &middot; "
              "<a href=\"app:license-de\">Deutsch</a><br><b>Third-party notices:</b> "
              "<a href=\"app:notice-en\">English</a> &middot; <a "
              "href=\"app:notice-de\">Deutsch</a><br><a href=\"app:thirdparty-folder\">Open "
              "third-party license texts folder\u2026</a>");
}

TEST_F(MainWindowServices, AboutOpensEachLicenceTextThroughItsLinkAndNamesWhatIsMissing) {
    QTemporaryDir app;
    QDir(app.path()).mkpath("licenses");
    setApplicationDirOverride(app.path());
    trigger("&About");
    EXPECT_EQ(dialogs.calls[0].title, "About Quorvex3");
    AboutDialog missing;
    missing.onLinkActivated("app:notice-de");
    QDir(app.path() + "/licenses").removeRecursively();
    missing.onLinkActivated("app:license-en");
    ASSERT_EQ(dialogs.calls.size(), 3u);
    EXPECT_EQ(dialogs.calls[1].text,
              "Could not find:\n" + app.path() +
                  "/licenses/(DE) Quorvex 3 THIRD PARTY SOFTWARE NOTICES.md\n\nThe licenses "
                  "folder is shipped alongside the application; this build appears to be "
                  "missing it.");
    EXPECT_EQ(dialogs.calls[2].text, "License files are not available in this build.");
    EXPECT_TRUE(urls.opened.empty());

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
    // The licence agreements name the notice files by the names they are shipped under.
    const QStringList shipped = QDir(folder).entryList(QDir::Files);
    EXPECT_EQ(shipped.filter("THIRD PARTY SOFTWARE NOTICES.md").size(), 2);
    for (const char* agreement :
         {"Software License Agreement.md", "Softwarelizenzvereinbarung.md"}) {
        QFile text(folder + agreement);
        ASSERT_TRUE(text.open(QIODevice::ReadOnly)) << agreement;
        static const QRegularExpression s_named(QStringLiteral("\"([^\"\n]+\\.md)\""));
        QStringList named;
        for (auto it = s_named.globalMatch(QString::fromUtf8(text.readAll())); it.hasNext();)
            named << it.next().captured(1);
        EXPECT_FALSE(named.isEmpty()) << agreement;
        for (const QString& name : named)
            EXPECT_TRUE(shipped.contains(name)) << agreement << " names " << name.toStdString();
    }
    EXPECT_EQ(AboutDialog::builtWithText(),
              QStringLiteral("Built with Qt %1, QWT, HDF5, OpenCV, Armadillo.").arg(qVersion()));
}

} // namespace
} // namespace Quorvex3
