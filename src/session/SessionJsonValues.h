#pragma once

#include <QJsonValue>

#include <cstdint>
#include <optional>
#include <string>

namespace Quorvex3 {

/// Conversions between session values and JSON that never fail: whatever a
/// hand-edited or damaged file holds, the reader gets its default.

/// A number as JSON. JSON has no infinity or NaN (Qt would write null and
/// read it back as the default), so those are written as the strings "inf",
/// "-inf" and "nan".
QJsonValue sessionNumberToJson(double value);

/// A JSON number, or one of the strings "inf", "-inf" and "nan"; anything
/// else gives `fallback`.
double sessionNumberFromJson(const QJsonValue& value, double fallback);

/// A whole JSON number inside the range of int; anything else (other types,
/// fractions, out-of-range numbers) gives `fallback`.
int sessionIntFromJson(const QJsonValue& value, int fallback);

/// A whole JSON number from 0 to 2^53, the range in which a double holds
/// every integer exactly; anything else is absent.
std::optional<std::int64_t> sessionCountFromJson(const QJsonValue& value);

/// A JSON string as UTF-8 bytes; other types give an empty text.
std::string sessionUtf8FromJson(const QJsonValue& value);

} // namespace Quorvex3
