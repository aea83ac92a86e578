#include "stats/TableText.h"

#include <array>
#include <charconv>
#include <cstddef>

namespace Quorvex3 {

namespace {

std::string toChars(double value, std::chars_format format, int precision) {
    // Enough for "-1.7976931348623157e+308" at any precision up to 17, and
    // for the fixed notation of any double with a few decimals.
    std::array<char, 400> buffer{};
    const std::to_chars_result r =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, precision);
    return r.ec == std::errc() ? std::string(buffer.data(), r.ptr) : std::string();
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string formatGeneral(double value, int significantDigits) {
    return toChars(value, std::chars_format::general, significantDigits);
}

std::string formatFixed(double value, int decimals) {
    return toChars(value, std::chars_format::fixed, decimals);
}

char tableSeparatorForPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return '\t';
    std::string suffix = path.substr(dot + 1);
    for (char& c : suffix)
        c = lowerAscii(c);
    return suffix == "csv" ? ',' : '\t';
}

std::string escapeTableCell(const std::string& text, char separator) {
    if (separator == ',') {
        if (text.find_first_of(",\"\r\n") == std::string::npos)
            return text;
        std::string quoted = "\"";
        for (char c : text) {
            if (c == '"')
                quoted += '"';
            quoted += c;
        }
        return quoted + '"';
    }
    std::string cell = text;
    for (char& c : cell)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return cell;
}

std::string joinTableRow(const std::vector<std::string>& cells, char separator) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += separator;
        line += escapeTableCell(cells[i], separator);
    }
    return line + '\n';
}

std::string rocCurveDataBlock(const std::string& label, const ROCResult& result, char separator) {
    if (!result.valid)
        return {};
    std::string block = joinTableRow({"# " + label}, separator);
    block += joinTableRow({"FPR", "TPR", "Threshold"}, separator);
    for (std::size_t k = 0; k < result.fpr.size(); ++k) {
        const double tpr = k < result.tpr.size() ? result.tpr[k] : 0.0;
        const double threshold = k < result.thresholds.size() ? result.thresholds[k] : 0.0;
        block += joinTableRow(
            {formatGeneral(result.fpr[k]), formatGeneral(tpr), formatGeneral(threshold)},
            separator);
    }
    return block + '\n';
}

} // namespace Quorvex3
