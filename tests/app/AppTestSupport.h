#pragma once

#include <QString>
#include <QStringList>

namespace Quorvex3 {
namespace test {

/// Makes a private temporary home for this test program and points HOME,
/// XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME, XDG_STATE_HOME and
/// XDG_RUNTIME_DIR into it, so nothing a test does reaches the user's files.
/// Call once, before anything reads these variables. Returns the home path;
/// the directory is removed when the program ends.
QString isolateHomeDirectories();

/// Argument count and vector for an application object; they live as long
/// as the program, as Qt requires.
int& applicationArgc();
char** applicationArgv();

/// The lines of `text` (split at "\n", without the empty tail).
QStringList linesOf(const QString& text);

/// Regular expression source of a log line's time stamp and level:
/// "2026-01-31T09:15:02Z [LEVEL] ".
QString logLinePrefixPattern(const QString& level);

} // namespace test
} // namespace Quorvex3
