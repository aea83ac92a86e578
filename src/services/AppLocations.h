#pragma once

#include <QString>
#include <QStringList>

namespace Quorvex3 {

/// Where the program looks for the files shipped beside it: the manual and
/// the licence texts. Every path is relative to the application's folder.

/// The application's folder: the executable's folder, unless a test set
/// another with setApplicationDirOverride (empty restores the default).
QString applicationDir();
void setApplicationDirOverride(const QString& dir);

/// The manual's candidate paths in search order, below `appDir`.
QStringList manualCandidates(const QString& appDir);
/// The first candidate that exists, else empty.
QString findManual(const QString& appDir);

/// The licences folder's candidate paths in search order, cleaned (no
/// redundant separators, "." or ".." segments).
QStringList licensesDirCandidates(const QString& appDir);
/// The first candidate that is a folder, in its cleaned form, else empty.
QString findLicensesDir(const QString& appDir);

} // namespace Quorvex3
