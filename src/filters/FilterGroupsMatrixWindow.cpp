#include "filters/FilterGroupsMatrixWindow.h"

#include "app/WindowUtil.h"

#include <QCloseEvent>
#include <QLabel>

namespace Quorvex3 {

FilterGroupsMatrixWindow::FilterGroupsMatrixWindow(MainWindow* main, QWidget* parent)
    : QMainWindow(parent), m_mainWindow(main) {
    setWindowTitle(tr("Filter Groups \u2013 Datasets Matrix"));
    resize(720, 480);
    auto* notice = new QLabel(tr("The filter groups matrix is not available yet."), this);
    notice->setAlignment(Qt::AlignCenter);
    notice->setStyleSheet(QStringLiteral("color: gray;"));
    setCentralWidget(notice);
    WindowUtil::addKeepOnTopAction(this);
}

FilterGroupsMatrixWindow::~FilterGroupsMatrixWindow() = default;

void FilterGroupsMatrixWindow::refreshFromMain() {}

void FilterGroupsMatrixWindow::closeEvent(QCloseEvent* event) {
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Quorvex3
