#pragma once

#include "density/PlotStatistics.h"

#include <QString>
#include <QWidget>

#include <vector>

class QTreeWidget;

namespace Quorvex3 {

/// Table of summary statistics of the two plotted features: one row per
/// statistic, one value column for x and one for y.
class StatisticsDockWidget : public QWidget {
    Q_OBJECT

public:
    /// The widget is owned by its Qt parent.
    explicit StatisticsDockWidget(QWidget* parent = nullptr);
    ~StatisticsDockWidget() override;

    /// Rebuilds the table from the plotted values (data units, one entry per
    /// plotted event). The column headers become the two names. Each column
    /// uses its finite values only; the "N" row shows that count per column.
    /// An empty x or y leaves only the header.
    void updateStatistics(const std::vector<double>& x, const std::vector<double>& y,
                          const QString& xName, const QString& yName);

    /// Rebuilds the table from statistics worked out beforehand (with the
    /// plot arrays), exactly as updateStatistics shows those of the values.
    void showStatistics(const PlotStatistics& statistics, const QString& xName,
                        const QString& yName);

    /// Empties the table and restores the headers "Statistic", "X", "Y".
    void clear();

    /// Mean, sample SD and linearly interpolated quartiles of the finite
    /// values; all zeros when there are none.
    static FeatureStats computeStats(const std::vector<double>& values);

private:
    void addStatisticsRow(const QString& name, double xValue, double yValue);
    void addRow(const QString& name, const QString& xText, const QString& yText);

    QTreeWidget* m_tree = nullptr;
};

} // namespace Quorvex3
