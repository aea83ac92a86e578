#pragma once

#include "session/SessionDocument.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace Quorvex3 {

/// Texts of the message boxes about a session file's format.
inline const char* const kSessionUnrecognizedFormat = "Unrecognized session file format.";
inline const char* const kSessionInvalidPrefix = "Invalid session file: ";
inline const char* const kSessionReadFailedPrefix = "Failed to read session file: ";
inline const char* const kSessionWriteFailedPrefix = "Failed to write session file: ";
inline const char* const kSessionNewerVersionWarning =
    "This session was saved by a newer version of Quorvex3.\n"
    "Some settings may not be restored correctly.";

/// Outcome of reading a session file's bytes.
struct SessionParseResult {
    /// False when the file is no session: `error` then holds the whole text
    /// of the "Error" box, "Invalid session file: " with the JSON parser's
    /// reason, or "Unrecognized session file format."
    bool ok = false;
    QString error;
    /// The file names a version above the one this program writes: show
    /// kSessionNewerVersionWarning and go on with `document`.
    bool newerVersion = false;
    /// Meaningful only when `ok`.
    SessionDocument document;
};

/// Reads a session file's bytes into a checked record. Nothing but the
/// bytes is consulted, so the caller can reject a file before it changes
/// anything.
///
/// Rejected: bytes that are no JSON, a top level that is no object, and a
/// "version" that is missing, not a whole number (the string "1" included)
/// or not positive. Everything else is read, every missing or mistyped key
/// taking its default, and every value is checked; a value out of range
/// takes the default instead:
/// - event index below -1 -> -1; contour mode or axis scale outside 0..2
///   -> 0; a contour level outside (0, 1) -> its default; colour map
///   outside 0..5 -> 0; active dataset outside the datasets -> 0 (-1 with
///   no datasets);
/// - numbers are also read from the strings "inf", "-inf" and "nan";
/// - crosstalk compensation stays applied only with distinct channels and a
///   finite n x n matrix, Young's modulus only with parameters it can use;
///   otherwise the flag is cleared (logged as a warning);
/// - fingerprint sizes and counts count only as whole numbers 0..2^53;
/// - groups with a negative, repeated or largest-int id are dropped, and
///   "nextGroupId" is raised above every kept id (never negative);
/// - a dataset's switches of groups that are not in the file are dropped,
///   and so are switches whose group id is no whole number (rather than
///   switching group 0);
/// - a duplicate naming no earlier non-duplicate dataset gets
///   duplicateOfIndex -1 (not recreated); a non-duplicate always has -1;
/// - window states that are not objects are dropped.
/// Every value that is there but is not used as stored (of another type,
/// out of range, or left out with what holds it) is listed in the record's
/// `repairs`, or in its dataset's when it belongs to one; a missing key is
/// not.
SessionParseResult parseSessionDocument(const QByteArray& bytes);

/// The root object of a session file for `document` (version 1, `savedAt`
/// as ISO 8601 UTC text). Non-finite numbers are written as "inf", "-inf"
/// and "nan". A record read by parseSessionDocument is written back to the
/// same object, "savedAt" aside.
QJsonObject sessionDocumentToJson(const SessionDocument& document, const QDateTime& savedAt);

/// The bytes of a session file: sessionDocumentToJson in Qt's indented form,
/// UTF-8. Write them with writeFileAtomically.
QByteArray serializeSessionDocument(const SessionDocument& document,
                                    const QDateTime& savedAt = QDateTime::currentDateTimeUtc());

/// Reads the session file at `path` and parses it (parseSessionDocument).
/// A file that cannot be opened gives `ok` false with the error
/// "Failed to read session file: " and the path.
SessionParseResult readSessionFile(const QString& path);

/// Writes `document` to `path` through a temporary file that replaces the
/// old one only when every byte is on disk, so a failed save leaves the
/// previous session intact. False, with "Failed to write session file: "
/// and the path in `error` (the system's reason is logged), on any failure.
bool writeSessionFile(const QString& path, const SessionDocument& document, QString* error);

} // namespace Quorvex3
