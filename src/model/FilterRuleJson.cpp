#include "model/FilterRuleJson.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

const QString kInf = QStringLiteral("inf");
const QString kMinusInf = QStringLiteral("-inf");
const QString kNaN = QStringLiteral("nan");

QJsonValue numberToJson(double value) {
    if (std::isnan(value))
        return kNaN;
    if (std::isinf(value))
        return value > 0 ? kInf : kMinusInf;
    return value;
}

double numberFromJson(const QJsonValue& value) {
    if (value.isDouble())
        return value.toDouble();
    if (value.isString()) {
        const QString text = value.toString();
        if (text == kInf)
            return std::numeric_limits<double>::infinity();
        if (text == kMinusInf)
            return -std::numeric_limits<double>::infinity();
        if (text == kNaN)
            return std::numeric_limits<double>::quiet_NaN();
    }
    return 0.0;
}

std::string textFromJson(const QJsonValue& value) {
    return value.toString().toStdString();
}

bool boolFromJson(const QJsonValue& value, bool fallback) {
    return value.isBool() ? value.toBool() : fallback;
}

// A non-integral number is not a scale code, and neither is an unknown one:
// both fall back to linear.
int scaleModeFromJson(const QJsonValue& value) {
    const int code = value.toInt(0);
    return (code >= 0 && code <= 2) ? code : 0;
}

QJsonArray verticesToJson(const std::vector<std::pair<double, double>>& vertices) {
    QJsonArray array;
    for (const auto& vertex : vertices)
        array.append(QJsonArray{numberToJson(vertex.first), numberToJson(vertex.second)});
    return array;
}

// Elements that are not arrays of at least two entries are skipped, so the
// remaining vertices keep their order.
std::vector<std::pair<double, double>> verticesFromJson(const QJsonValue& value) {
    std::vector<std::pair<double, double>> vertices;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        if (!element.isArray())
            continue;
        const QJsonArray pair = element.toArray();
        if (pair.size() < 2)
            continue;
        vertices.emplace_back(numberFromJson(pair.at(0)), numberFromJson(pair.at(1)));
    }
    return vertices;
}

} // namespace

QJsonObject serializeFilterRule(const FilterRule& rule) {
    QJsonObject object;
    object.insert(QStringLiteral("type"),
                  rule.type != 0 ? QStringLiteral("Polygon") : QStringLiteral("Range"));
    object.insert(QStringLiteral("featureName"), QString::fromStdString(rule.featureName));
    object.insert(QStringLiteral("featureNameY"), QString::fromStdString(rule.featureNameY));
    object.insert(QStringLiteral("minValue"), numberToJson(rule.minValue));
    object.insert(QStringLiteral("maxValue"), numberToJson(rule.maxValue));
    object.insert(QStringLiteral("enabled"), rule.enabled);
    object.insert(QStringLiteral("inverted"), rule.inverted);
    object.insert(QStringLiteral("propagationId"), QString::fromStdString(rule.propagationId));
    object.insert(QStringLiteral("polygonVertices"), verticesToJson(rule.polygonVertices));
    object.insert(QStringLiteral("scaleXMode"), rule.scaleXMode);
    object.insert(QStringLiteral("scaleYMode"), rule.scaleYMode);
    return object;
}

FilterRule deserializeFilterRule(const QJsonObject& object) {
    FilterRule rule;
    rule.type =
        object.value(QStringLiteral("type")).toString() == QStringLiteral("Polygon") ? 1 : 0;
    rule.featureName = textFromJson(object.value(QStringLiteral("featureName")));
    rule.featureNameY = textFromJson(object.value(QStringLiteral("featureNameY")));
    rule.minValue = numberFromJson(object.value(QStringLiteral("minValue")));
    rule.maxValue = numberFromJson(object.value(QStringLiteral("maxValue")));
    rule.enabled = boolFromJson(object.value(QStringLiteral("enabled")), true);
    rule.inverted = boolFromJson(object.value(QStringLiteral("inverted")), false);
    rule.propagationId = textFromJson(object.value(QStringLiteral("propagationId")));
    rule.polygonVertices = verticesFromJson(object.value(QStringLiteral("polygonVertices")));
    rule.scaleXMode = scaleModeFromJson(object.value(QStringLiteral("scaleXMode")));
    rule.scaleYMode = scaleModeFromJson(object.value(QStringLiteral("scaleYMode")));
    return rule;
}

QJsonObject serializeFilter(const EventFilter& filter) {
    QJsonArray rules;
    for (const FilterRule& rule : filter.rules())
        rules.append(serializeFilterRule(rule));
    QJsonObject object;
    object.insert(QStringLiteral("enabled"), filter.isEnabled());
    object.insert(QStringLiteral("combineMode"), filter.combineMode() == FilterCombineMode::NOT
                                                     ? QStringLiteral("NOT")
                                                     : QStringLiteral("AND"));
    object.insert(QStringLiteral("rules"), rules);
    return object;
}

void restoreFilter(EventFilter& filter, const QJsonObject& object) {
    filter = EventFilter();
    filter.setEnabled(object.value(QStringLiteral("enabled")).toBool(false));
    filter.setCombineMode(object.value(QStringLiteral("combineMode")).toString() ==
                                  QStringLiteral("NOT")
                              ? FilterCombineMode::NOT
                              : FilterCombineMode::AND);
    const QJsonArray rules = object.value(QStringLiteral("rules")).toArray();
    for (const QJsonValue& rule : rules)
        filter.addRule(deserializeFilterRule(rule.toObject()));
}

} // namespace Quorvex3
