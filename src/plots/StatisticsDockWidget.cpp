#include "plots/StatisticsDockWidget.h"

#include <QHeaderView>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

std::vector<double> finiteValues(const std::vector<double>& values) {
    std::vector<double> finite;
    finite.reserve(values.size());
    for (double v : values) {
        if (std::isfinite(v))
            finite.push_back(v);
    }
    return finite;
}

/// Quantile of sorted values by linear interpolation at (n - 1) * p.
double sortedQuantile(const std::vector<double>& sorted, double p) {
    const double position = static_cast<double>(sorted.size() - 1) * p;
    const auto i = static_cast<std::size_t>(std::floor(position));
    const double fraction = position - static_cast<double>(i);
    if (i + 1 < sorted.size())
        return sorted[i] * (1.0 - fraction) + fraction * sorted[i + 1];
    return sorted[i];
}

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
    m_tree->clear();
    m_tree->setHeaderLabels({QStringLiteral("Statistic"), xName, yName});
    if (x.empty() || y.empty())
        return;

    // Events whose value is NaN or infinite in one feature still count in the
    // other, so each column reports its own number of finite values.
    const std::vector<double> xFinite = finiteValues(x);
    const std::vector<double> yFinite = finiteValues(y);
    const FeatureStats xs = computeStats(xFinite);
    const FeatureStats ys = computeStats(yFinite);

    addRow(QStringLiteral("N"), QString::number(xFinite.size()), QString::number(yFinite.size()));
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
    FeatureStats stats;
    std::vector<double> sorted = finiteValues(values);
    const std::size_t n = sorted.size();
    if (n == 0)
        return stats;

    double sum = 0.0;
    for (double v : sorted)
        sum += v;
    stats.mean = sum / static_cast<double>(n);
    if (n > 1) {
        double squares = 0.0;
        for (double v : sorted)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }

    std::sort(sorted.begin(), sorted.end());
    stats.q1 = sortedQuantile(sorted, 0.25);
    stats.median = sortedQuantile(sorted, 0.5);
    stats.q3 = sortedQuantile(sorted, 0.75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
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
