#include "services/FeedbackReport.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSysInfo>
#include <QtGlobal>

#include <algorithm>

namespace Quorvex3 {

namespace {

const QString kPathToken = QStringLiteral("<path>");
const QString kNameToken = QStringLiteral("<name>");

// Room for the heading, a summary of many datasets and 2,000 log lines
// without growing the buffer.
constexpr int kReportReserveBytes = 262144;

void appendLine(QByteArray& report, const QString& line) {
    report += line.toUtf8();
    report += '\n';
}

quint32 bucketKey(QChar first, QChar second) {
    return (static_cast<quint32>(first.unicode()) << 16) | second.unicode();
}

} // namespace

FeedbackReportParts collectReportParts(const QString& version, const QString& sessionSummary,
                                       const QString& errorTitle, const QString& errorMessage,
                                       const QString& log) {
    FeedbackReportParts parts;
    parts.version = version;
    parts.timestamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    parts.os = QSysInfo::prettyProductName();
    parts.arch = QSysInfo::currentCpuArchitecture();
    parts.errorTitle = errorTitle;
    parts.errorMessage = errorMessage;
    parts.sessionSummary = sessionSummary;
    parts.log = log;
    return parts;
}

QByteArray composeReport(const FeedbackReportParts& parts, const QString& comment) {
    QByteArray report;
    report.reserve(kReportReserveBytes);
    appendLine(report, QStringLiteral("=== Quorvex3 Feedback Report ==="));
    appendLine(report, QStringLiteral("Version: ") + parts.version);
    appendLine(report, QStringLiteral("Timestamp: ") + parts.timestamp);
    appendLine(report, QStringLiteral("OS: ") + parts.os);
    appendLine(report, QStringLiteral("Arch: ") + parts.arch);
    appendLine(report, QString());

    if (!parts.errorTitle.isEmpty() || !parts.errorMessage.isEmpty()) {
        appendLine(report, QStringLiteral("=== Error ==="));
        appendLine(report, QStringLiteral("Title: ") + parts.errorTitle);
        appendLine(report, QStringLiteral("Message: ") + parts.errorMessage);
        appendLine(report, QString());
    }
    if (!comment.isEmpty()) {
        appendLine(report, QStringLiteral("=== User Comment ==="));
        appendLine(report, comment);
        appendLine(report, QString());
    }

    appendLine(report, QStringLiteral("=== Session ==="));
    if (parts.sessionSummary.isEmpty())
        appendLine(report, QStringLiteral("(no datasets loaded)"));
    else
        report += parts.sessionSummary.toUtf8();
    report += "\n\n";

    appendLine(report, QStringLiteral("=== Log ==="));
    if (parts.log.isEmpty())
        appendLine(report, QStringLiteral("(log is empty)"));
    else
        report += parts.log.toUtf8();
    return report;
}

PrivateTerms systemPrivateTerms() {
    PrivateTerms terms;
    const QString home = QDir::homePath();
    terms.paths << home;
    const QString canonicalHome = QDir(home).canonicalPath();
    if (!canonicalHome.isEmpty() && canonicalHome != home)
        terms.paths << canonicalHome;
    for (const char* variable : {"USER", "USERNAME", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(variable);
        if (!user.isEmpty() && !terms.names.contains(user))
            terms.names << user;
    }
    return terms;
}

// ---- scrubbing -----------------------------------------------------------------

PrivateTextScrubber::PrivateTextScrubber(const PrivateTerms& terms) {
    addTerms(m_pathTerms, terms.paths, kPathToken);
    addTerms(m_nameTerms, terms.names, kNameToken);
}

void PrivateTextScrubber::addTerms(TermTable& table, const QStringList& terms,
                                   const QString& replacement) {
    for (QString term : terms) {
        // A folder is matched without its trailing separator, so the file
        // names below it are covered too.
        while (term.size() > 1 && term.endsWith(QLatin1Char('/')))
            term.chop(1);
        if (term.size() < kMinPrivateTermLength)
            continue;
        std::vector<Term>& bucket = table[bucketKey(term.at(0), term.at(1))];
        const bool known = std::any_of(bucket.begin(), bucket.end(),
                                       [&](const Term& t) { return t.text == term; });
        if (!known)
            bucket.push_back({term, replacement});
    }
    for (auto& entry : table)
        std::stable_sort(
            entry.second.begin(), entry.second.end(),
            [](const Term& a, const Term& b) { return a.text.size() > b.text.size(); });
}

QString PrivateTextScrubber::replaceTerms(const QString& text, const TermTable& table) {
    if (table.empty())
        return text;
    QString out;
    out.reserve(text.size());
    const int n = text.size();
    const QChar* data = text.constData();
    int i = 0;
    while (i < n) {
        // What an earlier pass put in stays as it is.
        if (data[i] == QLatin1Char('<') &&
            (text.midRef(i, 6) == kPathToken || text.midRef(i, 6) == kNameToken)) {
            out += text.midRef(i, 6);
            i += 6;
            continue;
        }
        const Term* match = nullptr;
        if (i + 1 < n) {
            const auto bucket = table.find(bucketKey(data[i], data[i + 1]));
            if (bucket != table.end())
                for (const Term& term : bucket->second)
                    if (text.midRef(i, term.text.size()) == term.text) {
                        match = &term;
                        break;
                    }
        }
        if (match) {
            out += match->replacement;
            i += match->text.size();
        } else {
            out += data[i];
            ++i;
        }
    }
    return out;
}

QString PrivateTextScrubber::replaceFileUrls(const QString& text) {
    // The path of a file: URL is a path like any other, decoded (blanks) or
    // percent-encoded, and so is the host of a shared folder (it follows the
    // "//"); the scheme stays, so the reader still sees a URL was logged.
    // Quoted, the whole quoted text goes; bare, it ends where a bare path ends.
    static const QRegularExpression s_quoted(
        QStringLiteral(R"((['"])(file):(?:/|<path>)[^'"\n]*\1)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression s_bare(QStringLiteral(R"((?<![\w.+\-/])(file):(?:/|<path>))"
                                                          R"((?:<path>|[^\s'"<>|,;()\[\]{}])*)"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    out.replace(s_quoted, QStringLiteral("\\1\\2://<path>\\1"));
    out.replace(s_bare, QStringLiteral("\\1://<path>"));
    return out;
}

QString PrivateTextScrubber::replaceAbsolutePaths(const QString& text) {
    // A quoted path may hold blanks: the whole quoted text goes.
    static const QRegularExpression s_quoted(QStringLiteral(R"((['"])(?:<path>)?/[^'"\n]*\1)"));
    // A bare path: segments after a "/" that does not continue a word, a
    // number, a URL ("://") or a path; a replaced folder in front is merged.
    static const QRegularExpression s_bare(
        QStringLiteral(R"((?<![\w.:/>\-])(?:<path>)?(?:/[^\s/'"<>|:;,()\[\]{}*?]+)+/?)"));
    QString out = text;
    out.replace(s_quoted, QStringLiteral("\\1<path>\\1"));
    out.replace(s_bare, kPathToken);
    return out;
}

QString PrivateTextScrubber::scrub(const QString& text) const {
    if (text.isEmpty())
        return text;
    return replaceTerms(replaceAbsolutePaths(replaceFileUrls(replaceTerms(text, m_pathTerms))),
                        m_nameTerms);
}

void scrubReportParts(FeedbackReportParts& parts, const PrivateTextScrubber& scrubber) {
    parts.errorTitle = scrubber.scrub(parts.errorTitle);
    parts.errorMessage = scrubber.scrub(parts.errorMessage);
    parts.sessionSummary = scrubber.scrub(parts.sessionSummary);
    parts.log = scrubber.scrub(parts.log);
}

} // namespace Quorvex3
