#include "model/FilterRuleJson.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>
#include <QString>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

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

// ---- checked reading ----------------------------------------------------------------

QString vertexCount(int count) {
    return count == 1 ? QStringLiteral("1 vertex") : QStringLiteral("%1 vertices").arg(count);
}

bool isNumberText(const QJsonValue& value) {
    const QString text = value.toString();
    return value.isString() && (text == kInf || text == kMinusInf || text == kNaN);
}

/// A vertex the polygon test can use: two finite numbers first.
bool usableVertex(const QJsonValue& element) {
    if (!element.isArray())
        return false;
    const QJsonArray pair = element.toArray();
    return pair.size() >= 2 && pair.at(0).isDouble() && pair.at(1).isDouble() &&
           std::isfinite(pair.at(0).toDouble()) && std::isfinite(pair.at(1).toDouble());
}

void checkRuleValues(const QJsonObject& object, QStringList& problems) {
    const auto present = [&object](const char* key) { return object.contains(QLatin1String(key)); };
    const auto value = [&object](const char* key) { return object.value(QLatin1String(key)); };
    if (present("type")) {
        const QString type = value("type").toString();
        if (type != QStringLiteral("Range") && type != QStringLiteral("Polygon"))
            problems
                << QStringLiteral("type %1 replaced by Range").arg(jsonValueText(value("type")));
    }
    const struct {
        const char* key;
        const char* what;
    } numbers[] = {{"minValue", "minimum"}, {"maxValue", "maximum"}};
    for (const auto& number : numbers)
        if (present(number.key) && !value(number.key).isDouble() &&
            !isNumberText(value(number.key)))
            problems << QStringLiteral("%1 %2 replaced by 0")
                            .arg(QLatin1String(number.what), jsonValueText(value(number.key)));
    for (const char* key : {"featureName", "featureNameY", "propagationId"})
        if (present(key) && !value(key).isString())
            problems << QStringLiteral("%1 %2 replaced by an empty name")
                            .arg(QLatin1String(key), jsonValueText(value(key)));
    for (const char* key : {"enabled", "inverted"})
        if (present(key) && !value(key).isBool())
            problems << QStringLiteral("%1 %2 replaced by %3")
                            .arg(QLatin1String(key), jsonValueText(value(key)),
                                 QLatin1String(key == std::string("enabled") ? "true" : "false"));
    for (const char* key : {"scaleXMode", "scaleYMode"}) {
        if (!present(key))
            continue;
        const QJsonValue code = value(key);
        const double number = code.toDouble(-1.0);
        if (!code.isDouble() || number != std::floor(number) || number < 0 || number > 2)
            problems << QStringLiteral("%1 %2 replaced by linear")
                            .arg(QLatin1String(key), jsonValueText(code));
    }
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

FilterRule deserializeFilterRule(const QJsonObject& object, QStringList& problems) {
    FilterRule rule = deserializeFilterRule(object);
    checkRuleValues(object, problems);
    std::vector<std::pair<double, double>> usable;
    for (const QJsonValue& element : object.value(QStringLiteral("polygonVertices")).toArray())
        if (usableVertex(element))
            usable.emplace_back(element.toArray().at(0).toDouble(),
                                element.toArray().at(1).toDouble());
    // A polygon with too few corners left is left out by the caller, which
    // says so once; otherwise the corners dropped are named.
    const int dropped = object.value(QStringLiteral("polygonVertices")).toArray().size() -
                        static_cast<int>(usable.size());
    if (rule.type != 0 && usable.size() >= 3 && dropped > 0)
        problems << QStringLiteral("%1 that %2 no pair of finite numbers left out")
                        .arg(vertexCount(dropped),
                             dropped == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    rule.polygonVertices = std::move(usable);
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

namespace Quorvex3 {

namespace {

/// Why a rule's feature names leave it nothing to filter, or empty when
/// they are usable. Only the name itself is judged: a feature this
/// measurement lacks may be another's, and groups and copies of rules
/// travel between datasets.
QString unusableFeatureNames(const QJsonObject& object, bool polygon) {
    const auto judge = [&object](const char* key) {
        const QJsonValue name = object.value(QLatin1String(key));
        if (name.isUndefined())
            return QStringLiteral("no %1").arg(QLatin1String(key));
        if (!name.isString() || name.toString().isEmpty())
            return QStringLiteral("%1 %2 names no feature")
                .arg(QLatin1String(key), jsonValueText(name));
        return QString();
    };
    const QString x = judge("featureName");
    return !x.isEmpty() || !polygon ? x : judge("featureNameY");
}

} // namespace

std::vector<FilterRule> readFilterRules(const QJsonValue& value, QStringList& problems) {
    std::vector<FilterRule> rules;
    if (value.isUndefined())
        return rules;
    if (!value.isArray()) {
        problems << QStringLiteral("rules %1 left out").arg(jsonValueText(value));
        return rules;
    }
    const QJsonArray array = value.toArray();
    rules.reserve(static_cast<std::size_t>(array.size()));
    for (int i = 0; i < array.size(); ++i) {
        // An empty range rule made of it would look real in the filter and
        // filter nothing.
        if (!array.at(i).isObject()) {
            problems << QStringLiteral("rule %1: %2 is no rule; left out")
                            .arg(i + 1)
                            .arg(jsonValueText(array.at(i)));
            continue;
        }
        const QJsonObject object = array.at(i).toObject();
        QStringList found;
        const FilterRule rule = deserializeFilterRule(object, found);
        const QString names =
            rule.type != 0
                ? QStringLiteral("polygon on %1/%2")
                      .arg(QString::fromStdString(rule.featureName),
                           QString::fromStdString(rule.featureNameY))
                : QStringLiteral("range on %1").arg(QString::fromStdString(rule.featureName));
        const QString prefix = QStringLiteral("rule %1 (%2): ").arg(i + 1).arg(names);
        if (rule.type != 0 && rule.polygonVertices.size() < 3) {
            for (const QString& problem : found)
                problems << prefix + problem;
            problems << prefix +
                            QStringLiteral("only %1 usable; rule left out")
                                .arg(vertexCount(static_cast<int>(rule.polygonVertices.size())));
            continue;
        }
        // A rule without a feature to test takes no part in filtering, yet
        // would be listed as if it did; its other values do not matter.
        if (const QString why = unusableFeatureNames(object, rule.type != 0); !why.isEmpty()) {
            problems << QStringLiteral("rule %1 (%2): %3; rule left out")
                            .arg(i + 1)
                            .arg(rule.type != 0 ? QStringLiteral("polygon")
                                                : QStringLiteral("range"),
                                 why);
            continue;
        }
        for (const QString& problem : found)
            problems << prefix + problem;
        rules.push_back(rule);
    }
    return rules;
}

void restoreFilter(EventFilter& filter, const QJsonObject& object, QStringList& problems) {
    restoreFilter(
        filter,
        QJsonObject{{QStringLiteral("enabled"), object.value(QStringLiteral("enabled"))},
                    {QStringLiteral("combineMode"), object.value(QStringLiteral("combineMode"))}});
    const QJsonValue mode = object.value(QStringLiteral("combineMode"));
    if (object.contains(QStringLiteral("combineMode")) &&
        mode.toString() != QStringLiteral("AND") && mode.toString() != QStringLiteral("NOT"))
        problems << QStringLiteral("combine mode %1 replaced by AND").arg(jsonValueText(mode));
    if (object.contains(QStringLiteral("enabled")) &&
        !object.value(QStringLiteral("enabled")).isBool())
        problems << QStringLiteral("filter switch %1 replaced by off")
                        .arg(jsonValueText(object.value(QStringLiteral("enabled"))));
    for (const FilterRule& rule : readFilterRules(object.value(QStringLiteral("rules")), problems))
        filter.addRule(rule);
}

QString jsonValueText(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("nothing");
    }
}

} // namespace Quorvex3
