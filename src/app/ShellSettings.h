#pragma once

#include <QString>

namespace Quorvex3 {

/// The settings the main window's shell reads and writes, with their keys,
/// defaults and fallbacks in one place. Reads never fail: a missing or
/// out-of-range value gives the default. Writes reach the settings file at
/// once; nothing is saved when the window closes.
///
/// Settings live in the default QSettings of organisation and application
/// "Quorvex3", so the application's names must be set before use.
namespace ShellSettings {

/// "settings/colorMapIndex": 0 to 5; a missing value or one outside that
/// range counts as 0 (the stored value is left as it is).
int colorMapIndex();
void setColorMapIndex(int index);

/// "updates/checkOnStartup": whether the silent update check runs after
/// start-up; true when missing.
bool checkUpdatesOnStartup();
void setCheckUpdatesOnStartup(bool on);

/// "updates/ignoredVersion": the latest version the user chose to ignore,
/// exactly as the update feed named it; empty when none.
QString ignoredUpdateVersion();
void setIgnoredUpdateVersion(const QString& version);

/// "datasetView/mode": true for the folder view (stored value 1); any other
/// value, or none, is the list view (0).
bool datasetFolderView();
void setDatasetFolderView(bool folderView);

/// "datasetView/depth": folder levels of the tree view, 2 when missing,
/// clamped to 1 ... 4 when read.
int datasetViewDepth();
void setDatasetViewDepth(int depth);

} // namespace ShellSettings
} // namespace Quorvex3
