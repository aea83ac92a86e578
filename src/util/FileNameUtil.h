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

/// Like ensureSelectedFilterExtension, for dialogs whose filters each name
/// one file format: a name that already ends in an extension of any of
/// `offeredFilters` (the dialog's whole ";;"-separated list, ignoring case)
/// keeps it, so the typed suffix chooses the format over the selected
/// filter. Other names get the selected filter's extension as there.
///
/// Examples with "PNG Image (*.png);;SVG Vector (*.svg)" offered and the PNG
/// filter selected: "plot2.svg" and "plot2.SVG" stay; "plot2" gives
/// "plot2.png"; "plot2.jpg" gives "plot2.jpg.png".
QString ensureOfferedFilterExtension(const QString& path, const QString& selectedFilter,
                                     const QString& offeredFilters);

} // namespace Quorvex3
