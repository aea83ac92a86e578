#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <unordered_map>
#include <vector>

namespace Quorvex3 {

/// Everything a feedback report says, gathered once when the user opens the
/// feedback dialog, so the report sent is the report previewed (the user's
/// comment is the only addition).
struct FeedbackReportParts {
    QString version;
    /// UTC, yyyy-MM-ddTHH:mm:ssZ.
    QString timestamp;
    QString os;
    QString arch;
    /// The error that led to the report; both empty for feedback from the menu.
    QString errorTitle;
    QString errorMessage;
    QString sessionSummary;
    /// The recent log lines, each ending in a line feed.
    QString log;
};

/// Parts with the time stamp and the system taken now.
FeedbackReportParts collectReportParts(const QString& version, const QString& sessionSummary,
                                       const QString& errorTitle, const QString& errorMessage,
                                       const QString& log);

/// The report as UTF-8 text, blocks in this order: heading, version, time
/// stamp, system, an empty line; "=== Error ===" (only with an error);
/// "=== User Comment ===" (only for a comment that is not empty);
/// "=== Session ==="; "=== Log ===". An empty summary or log is replaced by
/// "(no datasets loaded)" or "(log is empty)". The comment is written as
/// given: callers trim it.
QByteArray composeReport(const FeedbackReportParts& parts, const QString& comment);

/// What must not leave the machine in a report: paths (replaced by "<path>")
/// and names (replaced by "<name>"). Terms shorter than kMinPrivateTermLength
/// characters are ignored, as replacing them would garble the report.
struct PrivateTerms {
    QStringList paths;
    QStringList names;
};
inline constexpr int kMinPrivateTermLength = 3;

/// The user's home folder and user name (from HOME, USER, USERNAME, LOGNAME).
PrivateTerms systemPrivateTerms();

/// Replaces private text: first the listed paths (longest first), then the
/// host and path of every file: URL ("file://<path>"), then any other
/// absolute path (a run of path segments after a "/" that does not follow a
/// letter, digit, "." or ":"; a quoted path or URL with blanks as a whole),
/// then the listed names. Replacements are never searched again.
class PrivateTextScrubber {
public:
    explicit PrivateTextScrubber(const PrivateTerms& terms);
    QString scrub(const QString& text) const;

private:
    struct Term {
        QString text;
        QString replacement;
    };
    /// Terms by their first two characters, longest first within a bucket.
    using TermTable = std::unordered_map<quint32, std::vector<Term>>;
    static void addTerms(TermTable& table, const QStringList& terms, const QString& replacement);
    static QString replaceTerms(const QString& text, const TermTable& table);
    static QString replaceFileUrls(const QString& text);
    static QString replaceAbsolutePaths(const QString& text);

    TermTable m_pathTerms;
    TermTable m_nameTerms;
};

/// Scrubs the parts that may hold private text: the error, the session
/// summary and the log.
void scrubReportParts(FeedbackReportParts& parts, const PrivateTextScrubber& scrubber);

} // namespace Quorvex3
