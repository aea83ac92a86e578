#pragma once

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

} // namespace WindowUtil
} // namespace Quorvex3
