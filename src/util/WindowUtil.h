#pragma once

#include <QMargins>
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

/// Where a window that would like to be `preferred` in size, and cannot be
/// smaller than `least` (its minimum size), opens inside `available` (a
/// screen's available geometry): `preferred` widened to `least` and bounded
/// by the available size in each direction, centred in `available`, so that
/// the whole window is inside it. In a direction where `least` is larger
/// than `available`, the window is `least` and starts at the available
/// area's edge. An empty `available` (no screen known) leaves `preferred`
/// (widened to `least`) at the origin.
QRect fittedWindowGeometry(QSize preferred, QRect available, QSize least = QSize(0, 0));

/// Gives `window` (not yet shown, its widgets in place) the size
/// `preferred` where its screen has room, else as much of the screen's
/// available area as it takes, never less than the window's own minimum
/// (what its widgets need), and moves it, with its frame, wholly inside
/// that area when it does not get `preferred` (`fittedWindowGeometry` on
/// the window's screen, less the frame the window system draws around the
/// program's shown windows).
void resizeInsideScreen(QWidget* window, QSize preferred);

/// The frame the window system draws around `window`: its own once drawn,
/// else the one drawn around the program's shown windows (none while no
/// window is shown).
QMargins frameAround(const QWidget* window);

/// Where a window whose frame is `frame` goes to lie inside `available` (a
/// screen's available geometry): `frame` moved as little as it takes. In a
/// direction where it is larger than `available` it starts at the area's
/// top or left edge, where a dialog's title and first lines are. An empty
/// `available` (no screen known) leaves `frame` where it is.
QRect movedInside(QRect frame, QRect available);

/// Moves the shown (or being shown) `window` as little as it takes for its
/// frame, made `growth` pixels taller, to lie inside its screen's available
/// area (frameAround): `growth` keeps room below for a part that may still
/// open (a message box's details).
void moveInsideScreen(QWidget* window, int growth = 0);

/// Keeps `window`, whose size changes with what is chosen in it, inside its
/// screen: each time the shown window changes size it is moved as little as
/// it takes for its frame to lie inside its screen's available area (a
/// dialog grows downward, and ran past the screen's bottom edge). Call it
/// once, in the window's constructor.
void keepInsideScreen(QWidget* window);

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
