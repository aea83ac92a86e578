// The statistics dock: its numbers against numpy and the table it shows.

#include "density/DensityTestData.h"
#include "plots/StatisticsDockWidget.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

#include <QApplication>
#include <QHeaderView>
#include <QLayout>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>

namespace Quorvex3 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_statistics_dock";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

class StatisticsDockTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        m_dock = std::make_unique<StatisticsDockWidget>();
        m_tree = m_dock->findChild<QTreeWidget*>();
        ASSERT_NE(m_tree, nullptr);
    }

    QStringList headers() const {
        QStringList labels;
        for (int c = 0; c < m_tree->columnCount(); ++c)
            labels << m_tree->headerItem()->text(c);
        return labels;
    }

    QStringList column(int c) const {
        QStringList cells;
        for (int r = 0; r < m_tree->topLevelItemCount(); ++r)
            cells << m_tree->topLevelItem(r)->text(c);
        return cells;
    }

    std::unique_ptr<StatisticsDockWidget> m_dock;
    QTreeWidget* m_tree = nullptr;
};

/// The dock's columns from density_oracle.py's stats_columns(): clustered(200, 5)
/// with x scaled by 1000, NaN / inf sprinkled into both columns.
void statsColumns(std::vector<double>& x, std::vector<double>& y) {
    const testdata::Points p = testdata::clustered(200, 5);
    x = p.x;
    y = p.y;
    for (int i = 0; i < 200; ++i) {
        const auto k = static_cast<std::size_t>(i);
        x[k] = x[k] * 1000.0;
        if (i % 17 == 0)
            x[k] = kNaN;
        else if (i % 23 == 0)
            x[k] = kInf;
        if (i % 19 == 0)
            y[k] = (i % 2) ? -kInf : kNaN;
    }
}

// ---------------------------------------------------------------- computeStats

TEST(StatisticsDockStats, HandComputedExamples) {
    const FeatureStats four = StatisticsDockWidget::computeStats({4.0, 2.0, 1.0, 3.0});
    EXPECT_DOUBLE_EQ(four.mean, 2.5);
    EXPECT_NEAR(four.sd, std::sqrt(5.0 / 3.0), 1e-15);
    EXPECT_DOUBLE_EQ(four.q1, 1.75);
    EXPECT_DOUBLE_EQ(four.median, 2.5);
    EXPECT_DOUBLE_EQ(four.q3, 3.25);
    EXPECT_DOUBLE_EQ(four.iqr, 1.5);

    const FeatureStats one = StatisticsDockWidget::computeStats({5.0});
    EXPECT_EQ(one.mean, 5.0);
    EXPECT_EQ(one.sd, 0.0);
    EXPECT_EQ(one.q1, 5.0);
    EXPECT_EQ(one.median, 5.0);
    EXPECT_EQ(one.q3, 5.0);
    EXPECT_EQ(one.iqr, 0.0);

    const FeatureStats none = StatisticsDockWidget::computeStats({});
    EXPECT_EQ(none.mean, 0.0);
    EXPECT_EQ(none.iqr, 0.0);
    const FeatureStats onlyNaN = StatisticsDockWidget::computeStats({kNaN, kInf});
    EXPECT_EQ(onlyNaN.mean, 0.0);
    EXPECT_EQ(onlyNaN.sd, 0.0);
}

TEST(StatisticsDockStats, FiniteValuesMatchNumpy) {
    // /usr/bin/python3 tests/density/density_oracle.py: "stats x" and "stats y"
    // (np.mean, np.std(ddof=1), np.percentile linear, on the finite values);
    // summation order differs, tolerance 1e-12 relative.
    std::vector<double> x;
    std::vector<double> y;
    statsColumns(x, y);
    const double ex[] = {3597.7002945663576, 1768.3703220313964, 2017.6115521725928,
                         3392.1148877752912, 5061.5251880173637, 3043.9136358447709};
    const double ey[] = {1.8570259561332805, 1.2664489877088609, 0.83585994856158186,
                         2.0437528480130158, 3.0265826674533387, 2.1907227188917568};
    for (const auto& [values, expected] : {std::pair{&x, ex}, std::pair{&y, ey}}) {
        const FeatureStats s = StatisticsDockWidget::computeStats(*values);
        const double got[] = {s.mean, s.sd, s.q1, s.median, s.q3, s.iqr};
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-12 * std::abs(expected[i])) << i;
    }
}

/// The statistics as the dock has always defined them: the finite values
/// summed in order, the SD about that mean, quartiles interpolated in a fully
/// sorted copy.
FeatureStats sortedReference(const std::vector<double>& values, std::size_t& count) {
    std::vector<double> finite;
    for (double v : values)
        if (std::isfinite(v))
            finite.push_back(v);
    count = finite.size();
    FeatureStats s;
    const std::size_t n = finite.size();
    if (n == 0)
        return s;
    double sum = 0.0;
    for (double v : finite)
        sum += v;
    s.mean = sum / static_cast<double>(n);
    if (n > 1) {
        double squares = 0.0;
        for (double v : finite)
            squares += (v - s.mean) * (v - s.mean);
        s.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }
    std::sort(finite.begin(), finite.end());
    const auto quantile = [&](double p) {
        const double position = static_cast<double>(n - 1) * p;
        const auto i = static_cast<std::size_t>(std::floor(position));
        const double f = position - static_cast<double>(i);
        return i + 1 < n ? finite[i] * (1.0 - f) + f * finite[i + 1] : finite[i];
    };
    s.q1 = quantile(0.25);
    s.median = quantile(0.5);
    s.q3 = quantile(0.75);
    s.iqr = s.q3 - s.q1;
    return s;
}

// The plot's statistics are worked out with the plot arrays, on other
// threads and without sorting; every number must be the very one (bit for
// bit) of the plain definition, for small and large columns (these take
// another way to their quartiles), ties, one value repeated, huge ranges and
// NaN or infinite values in either column.
TEST(StatisticsDockStats, PlotStatisticsEqualTheSortingDefinitionExactly) {
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(70.0, 15.0);
    std::uniform_int_distribution<int> coarse(-20, 20);
    struct Column {
        const char* name;
        std::size_t n;
        std::function<double(std::size_t)> value;
    };
    const Column columns[] = {
        {"normal, small", 7, [&](std::size_t) { return normal(rng); }},
        {"normal, just below the large way", 32767, [&](std::size_t) { return normal(rng); }},
        {"normal, large", 200003, [&](std::size_t) { return normal(rng); }},
        {"ties, large", 150000, [&](std::size_t) { return coarse(rng) * 0.25; }},
        {"one value", 70000, [&](std::size_t) { return -3.5; }},
        {"huge range", 50001,
         [&](std::size_t i) { return (i % 3 == 0 ? -1e300 : 1e300) * normal(rng); }},
        {"NaN and infinities", 90001,
         [&](std::size_t i) {
             return i % 11 == 0 ? kNaN : i % 13 == 0 ? (i % 2 ? kInf : -kInf) : normal(rng);
         }},
    };
    for (const Column& cx : columns) {
        for (const Column& cy : {columns[2], columns[6], columns[0]}) {
            SCOPED_TRACE(std::string(cx.name) + " / " + cy.name);
            std::vector<double> x(cx.n);
            for (std::size_t i = 0; i < x.size(); ++i)
                x[i] = cx.value(i);
            std::vector<double> y(cy.n);
            for (std::size_t i = 0; i < y.size(); ++i)
                y[i] = cy.value(i);
            std::size_t xCount = 0;
            std::size_t yCount = 0;
            const FeatureStats ex = sortedReference(x, xCount);
            const FeatureStats ey = sortedReference(y, yCount);
            const PlotStatistics got = computePlotStatistics(x, y);
            ASSERT_TRUE(got.hasValues);
            EXPECT_EQ(got.xCount, xCount);
            EXPECT_EQ(got.yCount, yCount);
            for (const auto& [g, e] : {std::pair{got.x, ex}, std::pair{got.y, ey}}) {
                EXPECT_EQ(g.mean, e.mean);
                EXPECT_EQ(g.sd, e.sd);
                EXPECT_EQ(g.q1, e.q1);
                EXPECT_EQ(g.median, e.median);
                EXPECT_EQ(g.q3, e.q3);
                EXPECT_EQ(g.iqr, e.iqr);
            }
        }
    }
    EXPECT_FALSE(computePlotStatistics({}, {1.0}).hasValues);
    EXPECT_FALSE(computePlotStatistics({1.0}, {}).hasValues);
}

// ---------------------------------------------------------------- the table

// The quartiles come from partial selections; they must equal interpolation
// in a fully sorted copy for every size and with ties, whatever the order.
TEST(StatisticsDockStats, QuartilesEqualSortedInterpolationForManySizes) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coarse(0, 9); // many ties
    for (std::size_t n = 1; n <= 64; ++n) {
        std::vector<double> values(n);
        for (double& v : values)
            v = coarse(rng) * 0.5;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const auto reference = [&](double p) {
            const double position = static_cast<double>(n - 1) * p;
            const auto i = static_cast<std::size_t>(std::floor(position));
            const double f = position - static_cast<double>(i);
            return i + 1 < n ? sorted[i] + f * (sorted[i + 1] - sorted[i]) : sorted[i];
        };
        const FeatureStats s = StatisticsDockWidget::computeStats(values);
        EXPECT_NEAR(s.q1, reference(0.25), 1e-12) << n;
        EXPECT_NEAR(s.median, reference(0.5), 1e-12) << n;
        EXPECT_NEAR(s.q3, reference(0.75), 1e-12) << n;
    }
}

TEST_F(StatisticsDockTest, StartsWithHeaderOnly) {
    EXPECT_EQ(headers(), (QStringList{"Statistic", "X", "Y"}));
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    EXPECT_FALSE(m_tree->rootIsDecorated());
    EXPECT_TRUE(m_tree->alternatingRowColors());
    EXPECT_TRUE(m_tree->header()->stretchLastSection());
    ASSERT_NE(m_dock->layout(), nullptr);
    EXPECT_EQ(m_dock->layout()->contentsMargins(), QMargins(4, 4, 4, 4));
}

TEST_F(StatisticsDockTest, ShowsRowsInOrderWithSixSignificantDigits) {
    m_dock->updateStatistics({1.0, 2.0, 3.0, 4.0}, {0.00012345678, 1234567.0, 1234567.0, 1.0},
                             QStringLiteral("Area"), QStringLiteral("Deformation"));
    EXPECT_EQ(headers(), (QStringList{"Statistic", "Area", "Deformation"}));
    EXPECT_EQ(column(0), (QStringList{"N", "Mean", "SD", "Q1", "Median", "Q3", "IQR"}));
    EXPECT_EQ(column(1), (QStringList{"4", "2.5", "1.29099", "1.75", "2.5", "3.25", "1.5"}));
    const QStringList y = column(2);
    EXPECT_EQ(y[0], "4");
    EXPECT_EQ(y[4], "617284"); // median (1 + 1234567) / 2
    EXPECT_EQ(y[5], "1.23457e+06");

    QTreeWidgetItem* n = m_tree->topLevelItem(0);
    EXPECT_EQ(n->textAlignment(1), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(m_tree->topLevelItem(3)->textAlignment(2), int(Qt::AlignRight | Qt::AlignVCenter));

    m_dock->updateStatistics({0.00012345678}, {5.0}, "a", "b");
    EXPECT_EQ(column(1)[1], "0.000123457");
}

TEST_F(StatisticsDockTest, NonFiniteValuesAreLeftOutPerColumn) {
    // The N row counts each column's finite values (180 and 189 of 200 here).
    std::vector<double> x;
    std::vector<double> y;
    statsColumns(x, y);
    m_dock->updateStatistics(x, y, "x", "y");
    const QStringList xs = column(1);
    const QStringList ys = column(2);
    ASSERT_EQ(xs.size(), 7);
    EXPECT_EQ(xs[0], "180");
    EXPECT_EQ(ys[0], "189");
    // Same oracle values as FiniteValuesMatchNumpy, as shown (6 digits).
    EXPECT_NEAR(xs[1].toDouble(), 3597.7002945663576, 0.01);
    EXPECT_NEAR(ys[2].toDouble(), 1.2664489877088609, 1e-5);
    for (const QString& cell : xs + ys) {
        EXPECT_FALSE(cell.contains("nan", Qt::CaseInsensitive));
        EXPECT_FALSE(cell.contains("inf", Qt::CaseInsensitive));
    }
}

TEST_F(StatisticsDockTest, EmptyColumnLeavesHeaderAndClearRestoresIt) {
    m_dock->updateStatistics({1.0, 2.0}, {3.0, 4.0}, "a", "b");
    EXPECT_EQ(m_tree->topLevelItemCount(), 7);
    m_dock->updateStatistics({}, {1.0}, "Area", "Brightness");
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    EXPECT_EQ(headers(), (QStringList{"Statistic", "Area", "Brightness"}));

    m_dock->updateStatistics({1.0, 2.0}, {3.0, 4.0}, "a", "b");
    m_dock->clear();
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    EXPECT_EQ(headers(), (QStringList{"Statistic", "X", "Y"}));
}

} // namespace
} // namespace Quorvex3
