#pragma once

#include "stats/ROCAnalysis.h"

#include <string>
#include <vector>

namespace Quorvex3 {

/// `value` as printf's "%.<digits>g" gives it in the C locale (0.5, 1,
/// 0.333333, 1e-05, 1.23457e+06), whatever the process locale.
std::string formatGeneral(double value, int significantDigits = 6);

/// `value` with a fixed number of decimals, in the C locale.
std::string formatFixed(double value, int decimals);

/// ',' when the path's suffix (after the file name's last dot), compared
/// without regard to case, is "csv"; else a tab.
char tableSeparatorForPath(const std::string& path);

/// One cell of a table file. With ',' a cell holding a comma, a double quote,
/// CR or LF is enclosed in double quotes with its quotes doubled (RFC 4180);
/// with a tab, tabs, CR and LF become blanks. Other cells stay byte-identical.
std::string escapeTableCell(const std::string& text, char separator);

/// The escaped cells joined by the separator, ended by "\n".
std::string joinTableRow(const std::vector<std::string>& cells, char separator);

/// The ROC curve data block of one feature: "# <label>", the header
/// "FPR", "TPR", "Threshold", one line per curve point (threshold 0 when the
/// list is shorter), numbers as formatGeneral, then an empty line. Empty for
/// an invalid result.
std::string rocCurveDataBlock(const std::string& label, const ROCResult& result, char separator);

} // namespace Quorvex3
