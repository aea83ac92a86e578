#include "model/FilterGroupFile.h"

#include "model/FilterRuleJson.h"
#include "model/RepairReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include <utility>

namespace Quorvex3 {

UniqueGroupNames::UniqueGroupNames(const std::vector<std::string>& taken)
    : m_taken(taken.begin(), taken.end()) {}

std::string UniqueGroupNames::take(const std::string& base) {
    std::string candidate = base;
    if (m_taken.count(candidate) != 0) {
        int& n = m_nextSuffix.emplace(base, 2).first->second;
        for (;; ++n) {
            candidate = base + " (" + std::to_string(n) + ")";
            if (m_taken.count(candidate) == 0)
                break;
        }
    }
    m_taken.insert(candidate);
    return candidate;
}

namespace {

/// One group object of the file; its problems are led by the name it gets.
FilterGroup readGroup(const QJsonObject& object, UniqueGroupNames& names,
                      std::vector<QString>& problems) {
    QStringList found;
    const QJsonValue name = object.value(QStringLiteral("name"));
    std::string base = name.toString().toStdString();
    if (base.empty())
        base = kImportedGroupName;
    if (!name.isUndefined() && !name.isString())
        found << QStringLiteral("name %1 replaced by \"%2\"")
                     .arg(jsonValueText(name), QLatin1String(kImportedGroupName));
    FilterGroup group;
    group.id = -1;
    group.name = names.take(base);
    group.rules = readFilterRules(object.value(QStringLiteral("rules")), found);
    for (FilterRule& rule : group.rules)
        rule.propagationId.clear();
    const QString label = QStringLiteral("group \"%1\": ").arg(QString::fromStdString(group.name));
    for (const QString& problem : found)
        problems.push_back(label + problem);
    return group;
}

} // namespace

FilterGroupFileContent readFilterGroupFile(const QByteArray& bytes,
                                           const std::vector<std::string>& takenNames) {
    FilterGroupFileContent content;
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (document.isNull() || !document.isObject()) {
        // A well-formed document whose root is not an object has no parser
        // error to show; say what is wrong instead.
        const QString reason = document.isNull() ? parseError.errorString()
                                                 : QStringLiteral("the root is not a JSON object");
        content.message = QStringLiteral("File is not a valid filter-groups JSON: ") + reason;
        return content;
    }
    const QJsonArray groups = document.object().value(QStringLiteral("groups")).toArray();
    if (groups.isEmpty()) {
        content.outcome = FilterGroupFileContent::Outcome::NoGroups;
        content.message = QStringLiteral("The file contains no filter groups.");
        return content;
    }
    UniqueGroupNames names(takenNames);
    content.groups.reserve(static_cast<std::size_t>(groups.size()));
    for (int i = 0; i < groups.size(); ++i) {
        const QJsonValue element = groups.at(i);
        // A number or a text is no group: making an empty group of it would
        // only hide that the file is damaged.
        if (!element.isObject()) {
            content.problems.push_back(QStringLiteral("group %1: %2 is no group; left out")
                                           .arg(i + 1)
                                           .arg(jsonValueText(element)));
            continue;
        }
        content.groups.push_back(readGroup(element.toObject(), names, content.problems));
    }
    if (content.groups.empty()) {
        content.outcome = FilterGroupFileContent::Outcome::NoUsableGroup;
        const RepairReportMessage box = repairReportMessage(repairReport(
            {{QStringLiteral("The file contains no usable filter group:"), content.problems}}));
        content.message = box.text;
        content.details = box.details;
        return content;
    }
    content.outcome = FilterGroupFileContent::Outcome::Groups;
    return content;
}

} // namespace Quorvex3
