#pragma once

#include <QRect>
#include <QSize>

class QAction;
class QComboBox;
class QMainWindow;
class QScrollArea;
class QWidget;

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

/// Gives `window` (not yet shown) the size `preferred` where its screen has
/// room, else the screen's available area, placed inside that area
/// (`fittedWindowGeometry` on the window's screen).
void resizeInsideScreen(QWidget* window, QSize preferred);

/// Makes `combo` at least as wide as its longest item needs in the current
/// style, so no choice is shown cut ("Heatma…nsity)"): the box's own size
/// hint measures the text a few pixels short under the program's style
/// sheet, and layouts squeeze it further. For boxes with a fixed list of
/// choices; call it after the items are added.
void fitComboToItems(QComboBox* combo);

/// Makes the scroll area at least high enough for `rows` rows of the
/// vertical list its widget holds (the rows as high as the tallest item),
/// so a list of check boxes never shrinks to a slit. Call it once the
/// widget and its items are in place.
void keepListRowsInView(QScrollArea* area, int rows);

} // namespace WindowUtil
} // namespace Quorvex3
