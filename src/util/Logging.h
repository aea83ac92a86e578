#pragma once

#include <QString>

namespace Quorvex3 {

/// The program's log: every Qt message of the process, from any thread, goes
/// as one line "<UTC time> [<LEVEL>] <text>" into this run's log file and into
/// a ring of the 2,000 most recent lines, and then on to the handler that was
/// installed before.
///
/// The file lives in "bva/quorvex3" below XDG_STATE_HOME (or ~/.local/state);
/// one file per run, "Quorvex3_log_yyyyMMdd_hhmmss.txt", of which only the ten
/// newest older ones are kept. Nothing here reports an error: a file that
/// cannot be written only means the lines miss the file.
class Logging {
public:
    Logging() = delete;

    /// Prunes old log files, names this run's file, installs the message
    /// handler and writes the first line. Called once, early in main, before
    /// the application object exists.
    static void install();

    /// Absolute path of the log directory, created when missing.
    static QString logDir();

    /// This run's log file path; empty before install().
    static QString currentLogFilePath();

    /// The ring's lines, oldest first, each followed by "\n"; empty when no
    /// message has been logged yet.
    static QString recentMessages();

    /// Deletes the files "Quorvex3_log_*.txt" of `dirPath` beyond the ten
    /// with the newest modification time. Other files and sub-directories
    /// are left alone. install() runs it before this run's file exists.
    static void pruneOldLogFiles(const QString& dirPath);

    /// Observer of stored lines, for tests: it runs on the writing thread
    /// right after each line went to the ring and the file, with the log lock
    /// held. Null removes it.
    using LineObserver = void (*)(const QString& line);
    static void setLineObserver(LineObserver observer);

    /// Number of lines the ring keeps.
    static constexpr int kMaxRecentLines = 2000;
    /// Number of older log files kept by pruneOldLogFiles.
    static constexpr int kKeptLogFiles = 10;
};

} // namespace Quorvex3
