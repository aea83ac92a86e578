// The update checker against a scripted feed server on 127.0.0.1: what it
// asks, how it judges each answer, and that a silent check reports only news.
#include "ServicesTestSupport.h"

#include "services/UpdateChecker.h"
#include "services/UpdateFeed.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

using testing::LoopbackAnswer;
using testing::LoopbackServer;

[[maybe_unused]] const bool s_application = (testing::installServicesTestApplication(), true);

const QByteArray kFeedPath = "/media/public_001/Downloads/Quorvex_3/quorvex3_latest.json";

/// One checker on one server, with a spy on each outcome.
class UpdateCheckerTest : public ::testing::Test {
protected:
    UpdateCheckerTest()
        : available(&checker, &UpdateChecker::updateAvailable),
          upToDate(&checker, &UpdateChecker::upToDate),
          failed(&checker, &UpdateChecker::checkFailed) {
        checker.setEndpoints(testing::loopbackEndpoints(server, 2000));
    }

    int outcomes() const { return available.count() + upToDate.count() + failed.count(); }

    /// Runs one check against `answer` and waits until the reply is judged.
    void checkAgainst(const LoopbackAnswer& answer, bool silent) {
        server.answers.push_back(answer);
        checker.check(silent);
        ASSERT_TRUE(server.waitForRequests(1));
        // A silent check may end without a signal: give the reply time.
        testing::waitFor([&] { return outcomes() > 0; }, silent ? 500 : 10000);
    }

    LoopbackServer server;
    UpdateChecker checker;
    QSignalSpy available;
    QSignalSpy upToDate;
    QSignalSpy failed;
};

TEST_F(UpdateCheckerTest, GetsTheFeedWithTheProgramsUserAgent) {
    checkAgainst(LoopbackAnswer::json(200, R"({"version": "3.4"})"), false);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].path, kFeedPath);
    EXPECT_EQ(server.requests()[0].header("User-Agent"), "Quorvex3/3.3.99");
}

struct FeedCase {
    const char* name;
    LoopbackAnswer answer;
    // Expected outcome of an interactive check: 'n' newer, 'u' up to date,
    // 'f' failed (with the message containing `message`).
    char outcome;
    const char* message;
};

std::vector<FeedCase> feedCases() {
    LoopbackAnswer serverError = LoopbackAnswer::json(500, "oops");
    serverError.reason = "Internal Server Error";
    LoopbackAnswer huge = LoopbackAnswer::json(200, R"({"version": "3.4", "notes": ")" +
                                                        QByteArray(1024 * 1024, 'x') + "\"}");
    // The body outgrows the cap long before it would end: the download stops
    // there rather than waiting for the rest.
    LoopbackAnswer endless = huge;
    endless.missingBytes = 1;
    return {
        {"3.4", LoopbackAnswer::json(200, R"({"version": "3.4"})"), 'n', ""},
        {"3.3.99.1", LoopbackAnswer::json(200, R"({"version": "3.3.99.1"})"), 'n', ""},
        {"3.3.99", LoopbackAnswer::json(200, R"({"version": "3.3.99"})"), 'u', ""},
        {"3.2", LoopbackAnswer::json(200, R"({"version": "3.2"})"), 'u', ""},
        {"v3.4", LoopbackAnswer::json(200, R"({"version": "v3.4"})"), 'f',
         kUnrecognisedVersionMessage},
        {"not json", LoopbackAnswer::json(200, "<html>maintenance</html>"), 'f',
         kUnreadableFeedMessage},
        {"500", serverError, 'f', "500"},
        {"1 MiB body", huge, 'f', kUnreadableFeedMessage},
        {"1 MiB body, never ending", endless, 'f', kUnreadableFeedMessage},
        {"time-out", LoopbackAnswer::silence(), 'f', "did not answer within 0.3 seconds"},
    };
}

TEST_F(UpdateCheckerTest, JudgesEachAnswerAndReportsOnlyNewsToASilentCheck) {
    for (const FeedCase& c : feedCases())
        for (const bool silent : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (silent ? " (silent)" : ""));
            LoopbackServer caseServer;
            UpdateChecker caseChecker;
            caseChecker.setEndpoints(testing::loopbackEndpoints(caseServer, 300));
            QSignalSpy news(&caseChecker, &UpdateChecker::updateAvailable);
            QSignalSpy current(&caseChecker, &UpdateChecker::upToDate);
            QSignalSpy failure(&caseChecker, &UpdateChecker::checkFailed);
            caseServer.answers.push_back(c.answer);
            caseChecker.check(silent);
            ASSERT_TRUE(caseServer.waitForRequests(1));
            // A silent check may stay quiet: wait past the time-out then.
            const bool speaks = !silent || c.outcome == 'n';
            testing::waitFor([&] { return news.count() + current.count() + failure.count() > 0; },
                             speaks ? 10000 : 600);
            testing::waitFor([] { return false; }, 50); // a second signal would show now
            EXPECT_EQ(news.count() + current.count() + failure.count(), speaks ? 1 : 0);
            if (!speaks)
                continue;
            if (c.outcome == 'n') {
                ASSERT_EQ(news.count(), 1);
                EXPECT_EQ(news[0][0].toString(), QString::fromLatin1(c.name));
                EXPECT_EQ(news[0][3].toBool(), silent);
            } else if (c.outcome == 'u') {
                ASSERT_EQ(current.count(), 1);
                EXPECT_EQ(current[0][0].toString(), "3.3.99");
            } else {
                ASSERT_EQ(failure.count(), 1);
                EXPECT_TRUE(failure[0][0].toString().contains(QString::fromUtf8(c.message)))
                    << failure[0][0].toString().toStdString();
            }
        }
}

TEST_F(UpdateCheckerTest, PassesTheFeedsDownloadPageAndNotes) {
    checkAgainst(LoopbackAnswer::json(200, R"({"version": "3.4", "url": "https://example.com/q3",
                                                "notes": "<b>Faster</b>"})"),
                 false);
    ASSERT_EQ(available.count(), 1);
    EXPECT_EQ(available[0][1].toString(), "https://example.com/q3");
    EXPECT_EQ(available[0][2].toString(), "<b>Faster</b>");
}

TEST_F(UpdateCheckerTest, OffersTheDownloadsPageForAFileUrl) {
    checkAgainst(LoopbackAnswer::json(200, R"({"version": "3.4", "url": "file:///etc/passwd"})"),
                 false);
    ASSERT_EQ(available.count(), 1);
    EXPECT_EQ(available[0][1].toString(), server.url("/downloads").toString());
}

TEST_F(UpdateCheckerTest, FollowsARedirectOnTheLoopbackServer) {
    server.answers.push_back(LoopbackAnswer::redirect(302, server.url("/moved.json").toEncoded()));
    server.answers.push_back(LoopbackAnswer::json(200, R"({"version": "3.3.99"})"));
    checker.check(false);
    ASSERT_TRUE(testing::waitFor([&] { return outcomes() > 0; }));
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].path, kFeedPath);
    EXPECT_EQ(server.requests()[1].path, "/moved.json");
    EXPECT_EQ(upToDate.count(), 1);
}

TEST_F(UpdateCheckerTest, JudgesOverlappingRepliesEachWithItsOwnFlag) {
    // Both up to date: only the interactive request says so.
    server.answers.push_back(LoopbackAnswer::json(200, R"({"version": "3.3.99"})"));
    server.answers.push_back(LoopbackAnswer::json(200, R"({"version": "3.3.99"})"));
    checker.check(true);
    checker.check(false);
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(testing::waitFor([&] { return upToDate.count() > 0; }));
    testing::waitFor([] { return false; }, 200);
    EXPECT_EQ(upToDate.count(), 1);
    EXPECT_EQ(failed.count(), 0);
}

TEST_F(UpdateCheckerTest, WithoutAServerSendsNothingAndSaysSoOnlyWhenAsked) {
    ServiceEndpoints none = testing::loopbackEndpoints(server);
    none.updateServer = QUrl();
    checker.setEndpoints(none);
    checker.check(true);
    testing::waitFor([] { return false; }, 100);
    EXPECT_EQ(outcomes(), 0);

    checker.check(false);
    ASSERT_TRUE(testing::waitFor([&] { return failed.count() > 0; }));
    EXPECT_EQ(failed[0][0].toString(), "No update server is configured in this build.");

    // Plain HTTP beyond this machine is refused before anything is sent.
    none.updateServer = QUrl("http://updates.example.com");
    checker.setEndpoints(none);
    checker.check(false);
    ASSERT_TRUE(testing::waitFor([&] { return failed.count() > 1; }));
    EXPECT_TRUE(failed[1][0].toString().contains("HTTPS"));
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
} // namespace Quorvex3
