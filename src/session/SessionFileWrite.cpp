// Writing a session record as JSON. Keys are set in the order the file
// format lists them; Qt's JSON object sorts them anyway.

#include "session/SessionFile.h"

#include "model/FilterRuleJson.h"
#include "session/SessionJsonValues.h"
#include "util/AtomicFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtGlobal>

namespace Quorvex3 {

namespace {

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonObject eModParamsToJson(const EModParams& p) {
    QJsonObject o;
    o.insert(QStringLiteral("lutModel"), p.lutModel);
    o.insert(QStringLiteral("viscModel"), p.viscosityModel);
    o.insert(QStringLiteral("medium"), p.medium);
    o.insert(QStringLiteral("temperature"), sessionNumberToJson(p.temperature));
    o.insert(QStringLiteral("tempSource"), p.temperatureSource);
    o.insert(QStringLiteral("manualViscosity"), sessionNumberToJson(p.viscosity));
    o.insert(QStringLiteral("channelWidth"), sessionNumberToJson(p.channelWidth));
    o.insert(QStringLiteral("flowRate"), sessionNumberToJson(p.flowRate));
    o.insert(QStringLiteral("pixelSize"), sessionNumberToJson(p.pixelSize));
    o.insert(QStringLiteral("deformFeature"), utf8(p.deformFeature));
    o.insert(QStringLiteral("applyPixelationCorrection"), p.pixelationCorrection);
    return o;
}

// Absent values stay absent, so they still never match after a round trip.
QJsonObject fingerprintToJson(const SessionFingerprint& f) {
    QJsonObject o;
    if (f.fileSize)
        o.insert(QStringLiteral("fileSize"), static_cast<qint64>(*f.fileSize));
    if (f.eventCount)
        o.insert(QStringLiteral("eventCount"), static_cast<qint64>(*f.eventCount));
    o.insert(QStringLiteral("featureHash"), f.featureHash);
    return o;
}

void insertCompensation(const SessionDataset& d, QJsonObject& o) {
    if (!d.ctcApplied || d.ctcChannels.empty())
        return;
    QJsonArray channels;
    for (int channel : d.ctcChannels)
        channels.append(channel);
    QJsonArray matrix;
    for (double value : d.spilloverMatrix)
        matrix.append(sessionNumberToJson(value));
    o.insert(QStringLiteral("ctcChannels"), channels);
    o.insert(QStringLiteral("spilloverMatrix"), matrix);
}

void insertGroupSwitches(const SessionDataset& d, QJsonObject& o) {
    if (d.groupEnabled.empty())
        return;
    QJsonArray switches;
    for (const auto& [id, enabled] : d.groupEnabled)
        switches.append(
            QJsonObject{{QStringLiteral("groupId"), id}, {QStringLiteral("enabled"), enabled}});
    o.insert(QStringLiteral("groupEnabled"), switches);
}

QJsonObject datasetToJson(const SessionDataset& d) {
    QJsonObject o;
    o.insert(QStringLiteral("filePath"), d.filePath);
    o.insert(QStringLiteral("displayName"), d.displayName);
    o.insert(QStringLiteral("xFeatureName"), utf8(d.xFeatureName));
    o.insert(QStringLiteral("yFeatureName"), utf8(d.yFeatureName));
    o.insert(QStringLiteral("colorFeatureName"), utf8(d.colorFeatureName));
    o.insert(QStringLiteral("currentEventIndex"), d.currentEventIndex);
    o.insert(QStringLiteral("contourMode"), d.contourMode);
    o.insert(QStringLiteral("contourFraction1"), sessionNumberToJson(d.contourFraction1));
    o.insert(QStringLiteral("contourFraction2"), sessionNumberToJson(d.contourFraction2));
    o.insert(QStringLiteral("scaleXMode"), d.scaleXMode);
    o.insert(QStringLiteral("scaleYMode"), d.scaleYMode);
    o.insert(QStringLiteral("flRefinementApplied"), d.flRefinementApplied);
    o.insert(QStringLiteral("ctcApplied"), d.ctcApplied);
    o.insert(QStringLiteral("emodApplied"), d.emodApplied);
    o.insert(QStringLiteral("fcDeformApplied"), d.fcDeformApplied);
    o.insert(QStringLiteral("imageFeaturesApplied"), d.imageFeaturesApplied);
    insertCompensation(d, o);
    if (d.emodApplied)
        o.insert(QStringLiteral("emodParams"), eModParamsToJson(d.emodParams));
    o.insert(QStringLiteral("isDuplicate"), d.isDuplicate);
    o.insert(QStringLiteral("duplicateOfIndex"), d.duplicateOfIndex);
    o.insert(QStringLiteral("fingerprint"), fingerprintToJson(d.fingerprint));
    o.insert(QStringLiteral("filter"), serializeFilter(d.filter));
    insertGroupSwitches(d, o);
    return o;
}

QJsonObject groupToJson(const FilterGroup& group) {
    QJsonArray rules;
    for (const FilterRule& rule : group.rules)
        rules.append(serializeFilterRule(rule));
    QJsonObject o;
    o.insert(QStringLiteral("id"), group.id);
    o.insert(QStringLiteral("name"), utf8(group.name));
    o.insert(QStringLiteral("rules"), rules);
    return o;
}

template <typename T, typename Convert>
QJsonArray arrayOf(const std::vector<T>& items, Convert convert) {
    QJsonArray array;
    for (const T& item : items)
        array.append(convert(item));
    return array;
}

} // namespace

QJsonObject sessionDocumentToJson(const SessionDocument& document, const QDateTime& savedAt) {
    QJsonObject mainWindow;
    mainWindow.insert(QStringLiteral("activeDatasetIndex"), document.activeDatasetIndex);
    mainWindow.insert(QStringLiteral("colorMapIndex"), document.colorMapIndex);
    mainWindow.insert(QStringLiteral("expertMode"), document.expertMode);

    const auto same = [](const QJsonObject& state) { return state; };
    QJsonObject root;
    root.insert(QStringLiteral("version"), kSessionFormatVersion);
    root.insert(QStringLiteral("savedAt"), savedAt.toUTC().toString(Qt::ISODate));
    root.insert(QStringLiteral("mainWindow"), mainWindow);
    root.insert(QStringLiteral("datasets"), arrayOf(document.datasets, datasetToJson));
    root.insert(QStringLiteral("filterGroups"), arrayOf(document.filterGroups, groupToJson));
    root.insert(QStringLiteral("nextGroupId"), document.nextGroupId);
    root.insert(QStringLiteral("combineWindows"), arrayOf(document.combineWindows, same));
    root.insert(QStringLiteral("statEvalWindows"), arrayOf(document.statEvalWindows, same));
    return root;
}

QByteArray serializeSessionDocument(const SessionDocument& document, const QDateTime& savedAt) {
    return QJsonDocument(sessionDocumentToJson(document, savedAt)).toJson(QJsonDocument::Indented);
}

bool writeSessionFile(const QString& path, const SessionDocument& document, QString* error) {
    QString reason;
    if (writeFileAtomically(path, serializeSessionDocument(document), &reason) ==
        WriteResult::Written)
        return true;
    qWarning("Session: writing %s failed: %s", qUtf8Printable(path), qUtf8Printable(reason));
    if (error)
        *error = QLatin1String(kSessionWriteFailedPrefix) + path;
    return false;
}

} // namespace Quorvex3
