// The feedback dialog and the upload against a scripted server on
// 127.0.0.1: what is sent is what was previewed, with the comment added.
#include "ServicesTestSupport.h"

#include "services/FeedbackDialog.h"
#include "services/FeedbackSender.h"
#include "services/UpdateChecker.h"
#include "util/ScriptedDialogProvider.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace Quorvex3 {
namespace {

using testing::DialogCall;
using testing::LoopbackAnswer;
using testing::LoopbackServer;

[[maybe_unused]] const bool s_application = (testing::installServicesTestApplication(), true);

const QString kSummary = QStringLiteral("Datasets: 0\n");

/// What the test saw of the feedback dialog while it was open.
struct SeenDialog {
    bool opened = false;
    QString preview;
    QString errorLabel; // empty when the dialog had none
    bool hadErrorLabel = false;
};

class FeedbackSenderTest : public ::testing::Test {
protected:
    FeedbackSenderTest() : guard(dialogs) {
        sender.setEndpoints(testing::loopbackEndpoints(server, 2000));
    }

    /// Scripts the feedback dialog: types `comment`, runs `whileOpen`, then
    /// answers with `result`.
    void scriptDialog(const QString& comment, int result,
                      std::function<void()> whileOpen = nullptr) {
        dialogs.dialogScript = [this, comment, result, whileOpen](QDialog& dialog) {
            seen.opened = true;
            auto* preview = dialog.findChild<QPlainTextEdit*>(kFeedbackPreviewName);
            seen.preview = preview ? preview->toPlainText() : QString();
            auto* label = dialog.findChild<QLabel*>(kFeedbackErrorLabelName);
            seen.hadErrorLabel = label != nullptr;
            seen.errorLabel = label ? label->text() : QString();
            if (auto* editor = dialog.findChild<QPlainTextEdit*>(kFeedbackCommentName))
                editor->setPlainText(comment);
            if (whileOpen)
                whileOpen();
            return result;
        };
    }

    /// Sends with `answer` from the server and waits for the outcome box.
    void sendAgainst(const LoopbackAnswer& answer) {
        server.answers.push_back(answer);
        scriptDialog(QString(), QDialog::Accepted);
        sender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
        ASSERT_TRUE(testing::waitFor([&] { return !dialogs.calls.empty() && boxes() > 0; }));
    }

    int boxes() const {
        return dialogs.count(DialogCall::Information) + dialogs.count(DialogCall::Warning);
    }

    static QByteArray withComment(const QString& preview, const QByteArray& comment) {
        QByteArray report = preview.toUtf8();
        const int session = report.indexOf("=== Session ===\n");
        report.insert(session, "=== User Comment ===\n" + comment + "\n\n");
        return report;
    }

    LoopbackServer server;
    FeedbackSender sender;
    QWidget parent;
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard;
    SeenDialog seen;
};

TEST_F(FeedbackSenderTest, PutsThePreviewedReportWithTheCommentAndTheFourHeaders) {
    qInfo("EARLY_LINE logged before the dialog opened");
    server.answers.push_back(LoopbackAnswer::json(200, "{}"));
    scriptDialog("  It froze while loading.\n ", QDialog::Accepted,
                 [] { qInfo("LATE_LINE logged while the dialog was open"); });
    sender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
    ASSERT_TRUE(server.waitForRequests(1));

    const testing::LoopbackRequest& request = server.requests()[0];
    EXPECT_EQ(request.method, "PUT");
    EXPECT_EQ(request.path, "/upload/");
    EXPECT_EQ(request.header("X-Api-Key"), testing::kTestAccessKey);
    EXPECT_EQ(request.header("X-Api-Key").size(), 43);
    EXPECT_EQ(request.header("X-Version"), "3.3.99");
    EXPECT_EQ(request.header("X-Setup-Id"), "Quorvex3");
    EXPECT_EQ(request.header("Content-Type"), "text/plain");
    EXPECT_LT(request.headerIndex("X-Api-Key"), request.headerIndex("X-Version"));
    EXPECT_LT(request.headerIndex("X-Version"), request.headerIndex("X-Setup-Id"));

    // The body is the preview with the comment block spliced in, nothing else.
    EXPECT_EQ(request.body, withComment(seen.preview, "It froze while loading."));
    EXPECT_FALSE(seen.preview.contains("=== User Comment ==="));
    EXPECT_TRUE(request.body.contains("EARLY_LINE"));
    EXPECT_FALSE(request.body.contains("LATE_LINE"));
    EXPECT_TRUE(request.body.contains("=== Session ===\nDatasets: 0\n"));

    ASSERT_TRUE(testing::waitFor([&] { return boxes() > 0; }));
    EXPECT_EQ(dialogs.calls.back().kind, DialogCall::Information);
    EXPECT_EQ(dialogs.calls.back().title, "Feedback Sent");
    EXPECT_EQ(dialogs.calls.back().text, "Thank you! Your report has been sent to BVA support.");
}

TEST_F(FeedbackSenderTest, FromTheMenuHasNoErrorAndDropsABlankComment) {
    server.answers.push_back(LoopbackAnswer::json(201, "{}"));
    scriptDialog(" \n\t \n", QDialog::Accepted);
    sender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_FALSE(seen.hadErrorLabel);
    const QByteArray body = server.requests()[0].body;
    EXPECT_EQ(body, seen.preview.toUtf8());
    EXPECT_FALSE(body.contains("=== Error ==="));
    EXPECT_FALSE(body.contains("=== User Comment ==="));
    ASSERT_EQ(dialogs.calls[0].kind, DialogCall::Dialog);
    EXPECT_EQ(dialogs.calls[0].title, "Send Feedback to BVA Support");
}

TEST_F(FeedbackSenderTest, AnErrorShowsItsEscapedLabelAndItsBlock) {
    scriptDialog(QString(), QDialog::Rejected);
    sender.showDialogForError(UpdateChecker::currentVersion(), kSummary, "<Unexpected Error>",
                              "a & b", &parent);
    ASSERT_TRUE(seen.hadErrorLabel);
    EXPECT_EQ(seen.errorLabel, "<b>Error:</b> &lt;Unexpected Error&gt;<br>a &amp; b");
    EXPECT_TRUE(
        seen.preview.contains("=== Error ===\nTitle: <Unexpected Error>\nMessage: a & b\n\n"));
}

TEST_F(FeedbackSenderTest, ReportsSentOnlyForA2xxAnswer) {
    LoopbackAnswer serverError = LoopbackAnswer::json(500, "{}");
    serverError.reason = "Internal Server Error";
    const struct {
        const char* name;
        LoopbackAnswer answer;
        const char* title;
        const char* text; // contained in the box text
    } cases[] = {
        {"200", LoopbackAnswer::json(200, "{}"), "Feedback Sent", "Thank you!"},
        {"201", LoopbackAnswer::json(201, "{}"), "Feedback Sent", "Thank you!"},
        {"302", LoopbackAnswer::redirect(302, "http://127.0.0.1:9/elsewhere"), "Feedback Failed",
         "Could not send feedback.\n\nThe server answered with HTTP status 302 (Found)."},
        {"500", serverError, "Feedback Failed", "(HTTP status 500)"},
        {"time-out", LoopbackAnswer::silence(), "Feedback Failed",
         "The server did not answer within 0.3 seconds."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer caseServer;
        FeedbackSender caseSender;
        caseSender.setEndpoints(testing::loopbackEndpoints(caseServer, 300));
        caseServer.answers.push_back(c.answer);
        dialogs.calls.clear();
        scriptDialog("comment", QDialog::Accepted);
        caseSender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
        ASSERT_TRUE(testing::waitFor([&] { return boxes() > 0; }));
        EXPECT_EQ(dialogs.calls.back().title, QString::fromLatin1(c.title));
        EXPECT_TRUE(dialogs.calls.back().text.contains(QString::fromUtf8(c.text)))
            << dialogs.calls.back().text.toStdString();
        // A redirect is not followed: the key goes nowhere else.
        EXPECT_EQ(caseServer.requests().size(), 1u);
    }
}

TEST_F(FeedbackSenderTest, CancellingTheUploadShowsNothing) {
    server.answers.push_back(LoopbackAnswer::silence());
    scriptDialog("comment", QDialog::Accepted);
    sender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
    ASSERT_TRUE(server.waitForRequests(1));
    QProgressDialog* progress = nullptr;
    ASSERT_TRUE(testing::waitFor([&] {
        progress = parent.findChild<QProgressDialog*>();
        return progress != nullptr;
    }));
    EXPECT_EQ(progress->labelText(), "Sending feedback...");
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    // Longer than the transfer time-out, which would report a failure.
    testing::waitFor([] { return false; }, 2500);
    EXPECT_EQ(boxes(), 0);
    // The click came from the test, not from an event: release it by hand.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(parent.findChild<QProgressDialog*>(), nullptr);
}

TEST_F(FeedbackSenderTest, CancellingTheDialogSendsNothing) {
    scriptDialog("never sent", QDialog::Rejected);
    sender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
    testing::waitFor([] { return false; }, 200);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(boxes(), 0);
    EXPECT_TRUE(seen.opened);
}

TEST_F(FeedbackSenderTest, WithoutAUsableServerOrKeySendSaysSoAndSendsNothing) {
    const ServiceEndpoints usable = testing::loopbackEndpoints(server);
    ServiceEndpoints noServer = usable;
    noServer.feedbackServer = QUrl();
    ServiceEndpoints noKey = usable;
    noKey.feedbackKeyTable = "short";
    ServiceEndpoints plainHttp = usable;
    plainHttp.feedbackServer = QUrl("http://feedback.example.com");
    const struct {
        const char* name;
        ServiceEndpoints endpoints;
        const char* reason;
    } cases[] = {
        {"no server", noServer, "No feedback server is configured in this build."},
        {"no key", noKey, "No feedback server is configured in this build."},
        {"plain http", plainHttp, "HTTPS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sender.setEndpoints(c.endpoints);
        dialogs.calls.clear();
        scriptDialog("comment", QDialog::Accepted);
        sender.showDialog(UpdateChecker::currentVersion(), kSummary, &parent);
        ASSERT_EQ(boxes(), 1);
        EXPECT_EQ(dialogs.calls.back().title, "Feedback Failed");
        EXPECT_TRUE(dialogs.calls.back().text.contains(QString::fromUtf8(c.reason)));
    }
    testing::waitFor([] { return false; }, 100);
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
} // namespace Quorvex3
