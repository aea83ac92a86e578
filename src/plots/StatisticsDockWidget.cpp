#include "plots/StatisticsDockWidget.h"

#include <QHeaderView>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <initializer_list>

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

/// Quantiles at increasing probabilities `p`, each by linear interpolation
/// at (n - 1) * p, found by selection instead of a full sort: each selection
/// partitions only what lies at or above the previous one. Reorders `values`.
void selectQuantiles(std::vector<double>& values, std::initializer_list<double> p,
                     std::vector<double>& out) {
    const std::size_t n = values.size();
    std::size_t from = 0;
    for (double probability : p) {
        const double position = static_cast<double>(n - 1) * probability;
        const auto i = static_cast<std::size_t>(std::floor(position));
        const double fraction = position - static_cast<double>(i);
        const auto at = values.begin() + static_cast<std::ptrdiff_t>(i);
        std::nth_element(values.begin() + static_cast<std::ptrdiff_t>(from), at, values.end());
        double quantile = *at;
        if (i + 1 < n)
            quantile =
                quantile * (1.0 - fraction) + fraction * *std::min_element(at + 1, values.end());
        out.push_back(quantile);
        from = i;
    }
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
    std::vector<double> finite = finiteValues(values);
    const std::size_t n = finite.size();
    if (n == 0)
        return stats;

    double sum = 0.0;
    for (double v : finite)
        sum += v;
    stats.mean = sum / static_cast<double>(n);
    if (n > 1) {
        double squares = 0.0;
        for (double v : finite)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }

    std::vector<double> quartiles;
    selectQuantiles(finite, {0.25, 0.5, 0.75}, quartiles);
    stats.q1 = quartiles[0];
    stats.median = quartiles[1];
    stats.q3 = quartiles[2];
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
