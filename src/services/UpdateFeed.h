#pragma once

#include <QByteArray>
#include <QString>

namespace Quorvex3 {

/// Messages of a failed interactive update check.
inline const char* const kUnreadableFeedMessage =
    "Could not read version information from the server.";
inline const char* const kUnrecognisedVersionMessage =
    "The server returned an unrecognized version string.";

/// What an update feed document says about the installed version.
struct UpdateFeedVerdict {
    enum Outcome {
        Newer,               ///< the feed names a newer version
        UpToDate,            ///< the same version or an older one
        Unreadable,          ///< not JSON, or not a JSON object
        UnrecognisedVersion, ///< "version" missing or not starting with a digit
    };
    Outcome outcome = Unreadable;
    /// "version" exactly as the feed gave it.
    QString latestVersion;
    /// The page to open for the download: the feed's "url" when it is a web
    /// address, else the default downloads page.
    QString downloadUrl;
    /// "notes", free text (plain text, never markup).
    QString notes;
};

/// Judges a feed body: a JSON object whose "version", "url" and "notes"
/// strings are read (a member that is missing or not a string takes its
/// default). `currentVersion` is the installed version.
UpdateFeedVerdict judgeUpdateFeed(const QByteArray& body, const QString& currentVersion,
                                  const QString& defaultDownloadUrl);

/// Whether `latest` is a newer version than `current`: both read as dotted
/// numbers up to the first other character; numbers compare from the left,
/// and with equal common parts the longer one is newer (3.3.99.0 > 3.3.99).
/// False when `latest` does not begin with a number.
bool isNewerVersion(const QString& latest, const QString& current);

/// `candidate` when it is an http or https address with a host, else
/// `fallback`: a feed must not make the program open local files, shares
/// or scripts.
QString safeDownloadUrl(const QString& candidate, const QString& fallback);

} // namespace Quorvex3
