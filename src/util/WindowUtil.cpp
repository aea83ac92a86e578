#include "util/WindowUtil.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWindow>

#include <algorithm>

namespace Quorvex3 {
namespace WindowUtil {

namespace {

QMenu* findOrAddViewMenu(QMenuBar* menuBar) {
    const QList<QAction*> actions = menuBar->actions();
    for (QAction* action : actions) {
        QMenu* menu = action->menu();
        if (menu && menu->title()
                            .remove(QLatin1Char('&'))
                            .compare(QLatin1String("View"), Qt::CaseInsensitive) == 0)
            return menu;
    }
    return menuBar->addMenu(QStringLiteral("&View"));
}

/// The frame the window system draws around the program's windows, as it
/// drew it around a shown one: a window's own frame is known only once it
/// is shown. None while no window is shown (the main window's first start).
QMargins frameOfShownWindows() {
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (const QWindow* shown : windows)
        if (shown->isVisible() && (shown->type() == Qt::Window || shown->type() == Qt::Dialog))
            return shown->frameMargins();
    return {};
}

/// Moves its window back inside the screen whenever the shown window
/// changes size.
class ScreenKeeper : public QObject {
public:
    explicit ScreenKeeper(QWidget* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::Resize && m_window->isVisible())
            moveInsideScreen(m_window);
        return false;
    }

private:
    QWidget* m_window;
};

} // namespace

QAction* addKeepOnTopAction(QMainWindow* window) {
    if (!window)
        return nullptr;
    QMenu* viewMenu = findOrAddViewMenu(window->menuBar());
    auto* action = new QAction(QStringLiteral("Keep on &Top"), window);
    action->setCheckable(true);
    action->setChecked(false);
    action->setToolTip(QStringLiteral("Keep this window above the main window."));
    viewMenu->addAction(action);
    QObject::connect(action, &QAction::toggled, window, [window](bool on) {
        const QPoint position = window->pos();
        const QSize size = window->size();
        window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
        // Changing the window flags hides the window.
        window->show();
        window->resize(size);
        window->move(position);
    });
    return action;
}

QRect fittedWindowGeometry(QSize preferred, QRect available, QSize least) {
    const QSize wanted = preferred.expandedTo(least);
    if (available.isEmpty())
        return {QPoint(0, 0), wanted};
    const QSize size = wanted.boundedTo(available.size()).expandedTo(least);
    const QPoint offset(std::max(0, (available.width() - size.width()) / 2),
                        std::max(0, (available.height() - size.height()) / 2));
    return {available.topLeft() + offset, size};
}

void resizeInsideScreen(QWidget* window, QSize preferred) {
    // The window takes at least what its widgets need (the gallery's rows
    // of controls made it 1195 pixels wide where 1100 were asked for):
    // centring the size asked for put its right edge past a 1280-pixel
    // screen. The style sheet decides those sizes, so it applies first.
    window->ensurePolished();
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    // The frame goes around the window: the window gets the area inside it.
    const QMargins frame = frameOfShownWindows();
    const QScreen* screen = window->screen();
    const QRect place = fittedWindowGeometry(
        preferred, screen ? screen->availableGeometry().marginsRemoved(frame) : QRect(), least);
    window->resize(place.size());
    // Before the window is shown, moving it places its frame.
    if (place.size() != preferred)
        window->move(place.topLeft() - QPoint(frame.left(), frame.top()));
}

QMargins frameAround(const QWidget* window) {
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    const QMargins own(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom());
    return own.isNull() ? frameOfShownWindows() : own;
}

QRect movedInside(QRect frame, QRect available) {
    if (available.isEmpty())
        return frame;
    // The far edge first, then the near one: where the frame is larger
    // than the area, the near edge wins.
    if (frame.right() > available.right())
        frame.moveRight(available.right());
    if (frame.left() < available.left())
        frame.moveLeft(available.left());
    if (frame.bottom() > available.bottom())
        frame.moveBottom(available.bottom());
    if (frame.top() < available.top())
        frame.moveTop(available.top());
    return frame;
}

void moveInsideScreen(QWidget* window, int growth) {
    const QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        return;
    const QRect frame = window->geometry().marginsAdded(frameAround(window));
    const QRect grown = frame.adjusted(0, 0, 0, std::max(0, growth));
    const QRect place = movedInside(grown, screen->availableGeometry());
    // Moving a window places its frame.
    if (place.topLeft() != grown.topLeft())
        window->move(place.topLeft());
}

void keepInsideScreen(QWidget* window) {
    if (window)
        window->installEventFilter(new ScreenKeeper(window));
}

void fitComboToItems(QComboBox* combo) {
    combo->ensurePolished();
    const QSize hint = combo->sizeHint();
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect = QRect(QPoint(0, 0), hint);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.iconSize = combo->iconSize();
    option.subControls = QStyle::SC_All;
    // The label is drawn one pixel in from each side of the text field.
    const int room =
        combo->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
            .width() -
        2;
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) {
        int needed = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
        if (!combo->itemIcon(i).isNull())
            needed += combo->iconSize().width() + 4;
        widest = std::max(widest, needed);
    }
    combo->setMinimumWidth(
        std::max(combo->minimumWidth(), hint.width() + std::max(0, widest - room)));
}

void keepListRowsInView(QScrollArea* area, int rows) {
    QWidget* content = area->widget();
    QLayout* layout = content ? content->layout() : nullptr;
    if (!layout || rows < 1)
        return;
    content->ensurePolished();
    int row = 0;
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget* item = layout->itemAt(i)->widget())
            row = std::max(row, item->sizeHint().height());
    const QMargins margins = layout->contentsMargins();
    area->setMinimumHeight(rows * row + (rows - 1) * std::max(0, layout->spacing()) +
                           margins.top() + margins.bottom() + 2 * area->frameWidth());
}

} // namespace WindowUtil
} // namespace Quorvex3
