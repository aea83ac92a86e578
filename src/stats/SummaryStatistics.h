#pragma once

#include "stats/StatSummaryResult.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// The statistics of the statistical summary table, in column order.
enum class SummaryColumn {
    N,
    Median,
    IQR,
    Q1,
    Q3,
    Percentile,
    Mean,
    SD,
    SEM,
    CV,
    Min,
    Max,
    Skewness
};

/// The chosen statistics of `result`, in column order (not the flags' order).
std::vector<SummaryColumn> summaryColumns(const StatSummaryResult& result);

/// "N", "Median", "IQR", "Q1", "Q3", "P95.0" (the percentile with one
/// decimal), "Mean", "SD", "SEM", "CV (%)", "Min", "Max", "Skewness".
std::string summaryColumnName(SummaryColumn column, double percentile);

/// Q(p) of ascending values: h = p (n - 1), k = floor(h), linear between
/// v[k] and v[k + 1] (v[n - 1] at the top). p is clamped into [0, 1]; NaN for
/// no value.
double quantileOfSorted(const std::vector<double>& sorted, double p);

/// The chosen statistics of one feature of one dataset over its finite shown
/// values (consumed: reordered by partial selection, only the order
/// statistics needed are placed). One cell per column; with no value only
/// "N" holds 0 and every other cell is empty. `percentile` in per cent.
/// Equal values have an SD, SEM, CV and skewness of exactly 0.
std::vector<std::optional<double>>
computeSummaryStatistics(std::vector<double> values, const std::vector<SummaryColumn>& columns,
                         double percentile);

/// Header line: "Dataset", then per feature label and per column a tab,
/// the label, a blank and the column name; ended by "\n". Labels are TSV
/// cells (tabs and line breaks become blanks).
std::string statSummaryHeader(const std::vector<std::string>& featureLabels,
                              const std::vector<SummaryColumn>& columns, double percentile);

/// One dataset's line: its name, then per feature a tab and each cell
/// (formatGeneral; empty cells empty). A feature the dataset lacks is an
/// empty optional and gives `columnCount` empty cells.
std::string
statSummaryRow(const std::string& datasetName,
               const std::vector<std::optional<std::vector<std::optional<double>>>>& features,
               std::size_t columnCount);

/// The dialog's feature list: the current dataset's scalar features in
/// ascending byte order, then those only other datasets offer, once each,
/// also in ascending byte order.
std::vector<std::string>
statSummaryFeatureOrder(const std::vector<std::string>& current,
                        const std::vector<std::vector<std::string>>& others);

} // namespace Quorvex3
