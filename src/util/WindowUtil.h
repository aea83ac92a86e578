#pragma once

#include <QRect>
#include <QSize>

class QAction;
class QMainWindow;

namespace Quorvex3 {

/// Small helpers shared by the tool windows.
namespace WindowUtil {

/// Adds a checkable "Keep on &Top" item (off) to the window's "View" menu:
/// the first menu-bar menu titled "View" ignoring case and "&", else a new
/// "&View" menu at the end of the menu bar. Switching it sets or clears the
/// window's stay-on-top hint and keeps the window's position and size.
///
/// @return the new action, owned by `window`; null when `window` is null
QAction* addKeepOnTopAction(QMainWindow* window);

/// Where a window that would like to be `preferred` in size opens inside
/// `available` (a screen's available geometry): `preferred` bounded by the
/// available size in each direction, centred in `available`. An empty
/// `available` (no screen known) leaves `preferred` at the origin.
QRect fittedWindowGeometry(QSize preferred, QRect available);

} // namespace WindowUtil
} // namespace Quorvex3
