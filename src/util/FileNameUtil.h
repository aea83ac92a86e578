#pragma once

#include <QString>

namespace Quorvex3 {

/// Completes a file name chosen in a save dialog with the extension of the
/// selected name filter.
///
/// The extensions are the "*.ext" patterns of `selectedFilter` (lower case,
/// trailing dots dropped, at least one character after the dot). When
/// `path` already ends in one of them (ignoring case) or the filter names
/// none, `path` comes back unchanged; otherwise the first extension is
/// appended. An empty `path` (dialog cancelled) stays empty.
///
/// Examples: "plot" with "PNG Image (*.png)" gives "plot.png"; "a.bmp" with
/// "Images (*.png *.jpg)" gives "a.bmp.png"; "plot.PNG" stays as it is.
QString ensureSelectedFilterExtension(const QString& path, const QString& selectedFilter);

} // namespace Quorvex3
