// Judging the update feed: version comparison, the feed document's members
// and which download addresses may be opened.
#include "services/UpdateFeed.h"

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

const QString kCurrent = QStringLiteral("3.3.99");
const QString kDefaultPage = QStringLiteral("https://downloads.example.com/downloads");

// ===== isNewerVersion ==========================================================

TEST(UpdateVersionCompare, ComparesDottedNumbersNumericallyFromTheLeft) {
    const struct {
        const char* latest;
        bool newer;
    } cases[] = {
        {"3.4", true},      {"3.4.0", true},    {"4", true},
        {"3.3.100", true},                                          // numerically, not as text
        {"3.10", true},     {"3.3.99.1", true}, {"3.3.99.0", true}, // more segments is newer
        {"3.3.99", false},  {"3.3.98", false},  {"3.3", false},
        {"2.99.99", false}, {"3.4-beta", true}, // parsing stops at the first other character
        {"v3.4", false},                        // does not begin with a digit
        {"", false},        {"latest", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latest);
        EXPECT_EQ(isNewerVersion(QString::fromLatin1(c.latest), kCurrent), c.newer);
    }
}

// ===== judgeUpdateFeed =========================================================

TEST(UpdateFeedJudge, ReadsTheThreeMembersAndTheirDefaults) {
    const struct {
        const char* body;
        UpdateFeedVerdict::Outcome outcome;
        const char* latest;
        const char* url; // null: the default page
        const char* notes;
    } cases[] = {
        {R"({"version": "3.4", "url": "https://x.example/dl", "notes": "Faster"})",
         UpdateFeedVerdict::Newer, "3.4", "https://x.example/dl", "Faster"},
        {R"({"version": "3.4.0"})", UpdateFeedVerdict::Newer, "3.4.0", nullptr, ""},
        {R"({"version": "3.3.99", "extra": 1})", UpdateFeedVerdict::UpToDate, "3.3.99", nullptr,
         ""},
        {R"({"version": "3.3.5"})", UpdateFeedVerdict::UpToDate, "3.3.5", nullptr, ""},
        {R"({"version": "v3.4"})", UpdateFeedVerdict::UnrecognisedVersion, "v3.4", nullptr, ""},
        {R"({"url": "https://x.example/dl"})", UpdateFeedVerdict::UnrecognisedVersion, "",
         "https://x.example/dl", ""},
        // Members of the wrong type take their defaults.
        {R"({"version": 3.4, "url": 7, "notes": ["a"]})", UpdateFeedVerdict::UnrecognisedVersion,
         "", nullptr, ""},
        // Notes are carried as they are; the box shows them as plain text.
        {R"({"version": "3.5", "notes": "<b>bold</b> & <script>x</script>"})",
         UpdateFeedVerdict::Newer, "3.5", nullptr, "<b>bold</b> & <script>x</script>"},
        {"not json", UpdateFeedVerdict::Unreadable, "", "", ""},
        {"", UpdateFeedVerdict::Unreadable, "", "", ""},
        {R"(["3.4"])", UpdateFeedVerdict::Unreadable, "", "", ""},
        {R"({"version": "3.4")", UpdateFeedVerdict::Unreadable, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const UpdateFeedVerdict verdict =
            judgeUpdateFeed(QByteArray(c.body), kCurrent, kDefaultPage);
        EXPECT_EQ(verdict.outcome, c.outcome);
        if (c.outcome == UpdateFeedVerdict::Unreadable)
            continue;
        EXPECT_EQ(verdict.latestVersion, QString::fromUtf8(c.latest));
        EXPECT_EQ(verdict.downloadUrl, c.url ? QString::fromUtf8(c.url) : kDefaultPage);
        EXPECT_EQ(verdict.notes, QString::fromUtf8(c.notes));
    }
}

TEST(UpdateFeedJudge, OffersOnlyWebAddressesWithAHost) {
    const struct {
        const char* url;
        bool kept;
    } cases[] = {
        {"https://example.com/downloads/q3.dmg", true},
        {"http://example.com/get", true},
        {"HTTPS://Example.com/x", true},
        {"file:///etc/passwd", false},
        {"smb://server/share/setup.exe", false},
        {"javascript:alert(1)", false},
        {"quorvex3://install", false},
        {"", false},
        {"https://", false},
        {"//example.com/x", false},
        {"/downloads", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const QByteArray body = QByteArray(R"({"version": "3.4", "url": ")") + c.url + "\"}";
        const UpdateFeedVerdict verdict = judgeUpdateFeed(body, kCurrent, kDefaultPage);
        EXPECT_EQ(verdict.downloadUrl, c.kept ? QString::fromUtf8(c.url) : kDefaultPage);
    }
}

} // namespace
} // namespace Quorvex3
