#include "stats/StatisticalEvalWindow.h"

#include "util/WindowUtil.h"

#include <QCloseEvent>
#include <QLabel>

namespace Quorvex3 {

StatisticalEvalWindow::StatisticalEvalWindow(MainWindow* main, QWidget* parent)
    : QMainWindow(parent), m_mainWindow(main) {
    setWindowTitle(tr("Statistical Evaluation"));
    resize(1000, 700);
    auto* notice = new QLabel(tr("The statistical evaluation is not available yet."), this);
    notice->setAlignment(Qt::AlignCenter);
    notice->setStyleSheet(QStringLiteral("color: gray;"));
    setCentralWidget(notice);
    WindowUtil::addKeepOnTopAction(this);
}

StatisticalEvalWindow::~StatisticalEvalWindow() = default;

void StatisticalEvalWindow::onFeaturesChanged() {}

void StatisticalEvalWindow::onMainDatasetRemoved(int) {}

void StatisticalEvalWindow::onDatasetRenamed(int, const QString&) {}

// This build's window has no settings of its own to keep.
QJsonObject StatisticalEvalWindow::saveState(const std::vector<std::unique_ptr<DatasetEntry>>&) const {
    return {};
}

void StatisticalEvalWindow::restoreState(const QJsonObject&, const QMap<int, int>&) {}

void StatisticalEvalWindow::closeEvent(QCloseEvent* event) {
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Quorvex3
