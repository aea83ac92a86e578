#include "util/WindowUtil.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

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

QRect fittedWindowGeometry(QSize preferred, QRect available) {
    if (available.isEmpty())
        return {QPoint(0, 0), preferred};
    const QSize size = preferred.boundedTo(available.size());
    const QPoint offset((available.width() - size.width()) / 2,
                        (available.height() - size.height()) / 2);
    return {available.topLeft() + offset, size};
}

} // namespace WindowUtil
} // namespace Quorvex3
