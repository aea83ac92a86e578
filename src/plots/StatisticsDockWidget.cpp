#include "plots/StatisticsDockWidget.h"

#include <QHeaderView>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

QString formatValue(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

StatisticsDockWidget::StatisticsDockWidget(QWidget* parent)
    : QWidget(parent), m_tree(new QTreeWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_tree);

    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels(
        {QStringLiteral("Statistic"), QStringLiteral("X"), QStringLiteral("Y")});
    m_tree->setRootIsDecorated(false);
    m_tree->setAlternatingRowColors(true);
    m_tree->header()->setStretchLastSection(true);
}

StatisticsDockWidget::~StatisticsDockWidget() = default;

void StatisticsDockWidget::updateStatistics(const std::vector<double>& x,
                                            const std::vector<double>& y, const QString& xName,
                                            const QString& yName) {
    showStatistics(computePlotStatistics(x, y), xName, yName);
}

void StatisticsDockWidget::showStatistics(const PlotStatistics& statistics, const QString& xName,
                                          const QString& yName) {
    m_tree->clear();
    m_tree->setHeaderLabels({QStringLiteral("Statistic"), xName, yName});
    if (!statistics.hasValues)
        return;

    // Events whose value is NaN or infinite in one feature still count in the
    // other, so each column reports its own number of finite values.
    const FeatureStats& xs = statistics.x;
    const FeatureStats& ys = statistics.y;
    addRow(QStringLiteral("N"), QString::number(statistics.xCount),
           QString::number(statistics.yCount));
    addStatisticsRow(QStringLiteral("Mean"), xs.mean, ys.mean);
    addStatisticsRow(QStringLiteral("SD"), xs.sd, ys.sd);
    addStatisticsRow(QStringLiteral("Q1"), xs.q1, ys.q1);
    addStatisticsRow(QStringLiteral("Median"), xs.median, ys.median);
    addStatisticsRow(QStringLiteral("Q3"), xs.q3, ys.q3);
    addStatisticsRow(QStringLiteral("IQR"), xs.iqr, ys.iqr);
    m_tree->resizeColumnToContents(0);
}

void StatisticsDockWidget::clear() {
    m_tree->clear();
    m_tree->setHeaderLabels(
        {QStringLiteral("Statistic"), QStringLiteral("X"), QStringLiteral("Y")});
}

FeatureStats StatisticsDockWidget::computeStats(const std::vector<double>& values) {
    return computeFeatureStats(values);
}

void StatisticsDockWidget::addStatisticsRow(const QString& name, double xValue, double yValue) {
    addRow(name, formatValue(xValue), formatValue(yValue));
}

void StatisticsDockWidget::addRow(const QString& name, const QString& xText, const QString& yText) {
    auto* item = new QTreeWidgetItem(m_tree);
    item->setText(0, name);
    item->setText(1, xText);
    item->setText(2, yText);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace Quorvex3
