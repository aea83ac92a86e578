#include "compare/CombinePlotWindow.h"

#include "util/WindowUtil.h"

#include <QCloseEvent>
#include <QLabel>

namespace Quorvex3 {

CombinePlotWindow::CombinePlotWindow(MainWindow* main, QWidget* parent)
    : QMainWindow(parent), m_mainWindow(main) {
    setWindowTitle(tr("Combine Plot"));
    resize(1000, 700);
    auto* notice = new QLabel(tr("Combined plots are not available yet."), this);
    notice->setAlignment(Qt::AlignCenter);
    notice->setStyleSheet(QStringLiteral("color: gray;"));
    setCentralWidget(notice);
    WindowUtil::addKeepOnTopAction(this);
}

CombinePlotWindow::~CombinePlotWindow() = default;

void CombinePlotWindow::refresh() {}

void CombinePlotWindow::onMainDatasetRemoved(int) {}

void CombinePlotWindow::onDatasetRenamed(int, const QString&) {}

// This build's window has no settings of its own to keep.
QJsonObject CombinePlotWindow::saveState(const std::vector<std::unique_ptr<DatasetEntry>>&) const {
    return {};
}

void CombinePlotWindow::restoreState(const QJsonObject&, const QMap<int, int>&) {}

void CombinePlotWindow::closeEvent(QCloseEvent* event) {
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Quorvex3
