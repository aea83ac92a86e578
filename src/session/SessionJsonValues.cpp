#include "session/SessionJsonValues.h"

#include <QString>

#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

const QString kInf = QStringLiteral("inf");
const QString kMinusInf = QStringLiteral("-inf");
const QString kNaN = QStringLiteral("nan");

// 2^53: every whole number up to here has an exact double.
constexpr double kLargestExactCount = 9007199254740992.0;

bool isWhole(double value) {
    return std::isfinite(value) && value == std::trunc(value);
}

} // namespace

QJsonValue sessionNumberToJson(double value) {
    if (std::isnan(value))
        return kNaN;
    if (std::isinf(value))
        return value > 0 ? kInf : kMinusInf;
    return value;
}

double sessionNumberFromJson(const QJsonValue& value, double fallback) {
    if (value.isDouble())
        return value.toDouble();
    if (!value.isString())
        return fallback;
    const QString text = value.toString();
    if (text == kInf)
        return std::numeric_limits<double>::infinity();
    if (text == kMinusInf)
        return -std::numeric_limits<double>::infinity();
    if (text == kNaN)
        return std::numeric_limits<double>::quiet_NaN();
    return fallback;
}

// Qt 5's toInt() converts the double before comparing, which is undefined
// for numbers outside int: range-check first.
int sessionIntFromJson(const QJsonValue& value, int fallback) {
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!isWhole(number) || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return fallback;
    return static_cast<int>(number);
}

std::optional<std::int64_t> sessionCountFromJson(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!isWhole(number) || number < 0.0 || number > kLargestExactCount)
        return std::nullopt;
    return static_cast<std::int64_t>(number);
}

std::string sessionUtf8FromJson(const QJsonValue& value) {
    return value.toString().toStdString();
}

} // namespace Quorvex3
