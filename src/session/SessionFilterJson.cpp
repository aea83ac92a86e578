#include "session/SessionFilterJson.h"

#include "model/FilterRuleJson.h"

#include <QJsonArray>
#include <QString>

namespace Quorvex3 {

namespace {
const QString kNot = QStringLiteral("NOT");
} // namespace

QJsonObject serializeFilter(const EventFilter& filter) {
    QJsonArray rules;
    for (const FilterRule& rule : filter.rules())
        rules.append(serializeFilterRule(rule));
    QJsonObject object;
    object.insert(QStringLiteral("enabled"), filter.isEnabled());
    object.insert(QStringLiteral("combineMode"),
                  filter.combineMode() == FilterCombineMode::NOT ? kNot : QStringLiteral("AND"));
    object.insert(QStringLiteral("rules"), rules);
    return object;
}

void restoreFilter(EventFilter& filter, const QJsonObject& object) {
    filter = EventFilter();
    filter.setEnabled(object.value(QStringLiteral("enabled")).toBool(false));
    filter.setCombineMode(object.value(QStringLiteral("combineMode")).toString() == kNot
                              ? FilterCombineMode::NOT
                              : FilterCombineMode::AND);
    const QJsonArray rules = object.value(QStringLiteral("rules")).toArray();
    for (const QJsonValue& rule : rules)
        filter.addRule(deserializeFilterRule(rule.toObject()));
}

} // namespace Quorvex3
