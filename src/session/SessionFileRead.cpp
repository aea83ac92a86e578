// Reading a session file into a checked record. Every value that could
// crash a later step or silently show something else than was saved is
// checked here, so the main window applies the record as it is.

#include "session/SessionFile.h"

#include "model/FilterRuleJson.h"
#include "session/SessionJsonValues.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace Quorvex3 {

namespace {

constexpr int kScaleModes = 3;   // linear, log, pseudo-log
constexpr int kContourModes = 3; // off, overlay, only
constexpr int kColorMaps = 6;
constexpr int kViscosityModels = 4;
constexpr int kMedia = 5;
constexpr int kTemperatureSources = 3;
constexpr int kLutModels = 1; // only the finite-element table exists

QJsonValue at(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key));
}

int codeIn(const QJsonValue& value, int count) {
    const int code = sessionIntFromJson(value, 0);
    return code >= 0 && code < count ? code : 0;
}

double fractionOr(const QJsonValue& value, double fallback) {
    const double fraction = sessionNumberFromJson(value, fallback);
    return fraction > 0.0 && fraction < 1.0 ? fraction : fallback;
}

bool positiveFinite(double value) {
    return std::isfinite(value) && value > 0.0;
}

EModParams readEModParams(const QJsonObject& o) {
    EModParams p;
    p.lutModel = sessionIntFromJson(at(o, "lutModel"), p.lutModel);
    p.viscosityModel = sessionIntFromJson(at(o, "viscModel"), p.viscosityModel);
    p.medium = sessionIntFromJson(at(o, "medium"), p.medium);
    p.temperature = sessionNumberFromJson(at(o, "temperature"), p.temperature);
    p.temperatureSource = sessionIntFromJson(at(o, "tempSource"), p.temperatureSource);
    p.viscosity = sessionNumberFromJson(at(o, "manualViscosity"), p.viscosity);
    p.channelWidth = sessionNumberFromJson(at(o, "channelWidth"), p.channelWidth);
    p.flowRate = sessionNumberFromJson(at(o, "flowRate"), p.flowRate);
    p.pixelSize = sessionNumberFromJson(at(o, "pixelSize"), p.pixelSize);
    const QJsonValue deform = at(o, "deformFeature");
    if (deform.isString())
        p.deformFeature = sessionUtf8FromJson(deform);
    p.pixelationCorrection = at(o, "applyPixelationCorrection").toBool(p.pixelationCorrection);
    return p;
}

// Parameters the modulus computation cannot use would give NaN moduli or
// look up a table that does not exist.
bool usableEModParams(const EModParams& p) {
    const auto inRange = [](int code, int count) { return code >= 0 && code < count; };
    return positiveFinite(p.channelWidth) && positiveFinite(p.flowRate) &&
           positiveFinite(p.pixelSize) && inRange(p.lutModel, kLutModels) &&
           inRange(p.viscosityModel, kViscosityModels) && inRange(p.medium, kMedia) &&
           inRange(p.temperatureSource, kTemperatureSources);
}

void readEModulus(const QJsonObject& o, int index, SessionDataset& d) {
    d.emodApplied = at(o, "emodApplied").toBool(false);
    if (!d.emodApplied)
        return;
    const QJsonValue params = at(o, "emodParams");
    if (params.isObject())
        d.emodParams = readEModParams(params.toObject());
    if (!params.isObject() || !usableEModParams(d.emodParams)) {
        qWarning("Session: dataset %d: Young's modulus parameters missing or unusable; "
                 "the modulus is not recomputed",
                 index);
        d.emodApplied = false;
        d.emodParams = EModParams();
    }
}

bool usableCompensation(const std::vector<int>& channels, const std::vector<double>& matrix) {
    const std::size_t n = channels.size();
    if (n == 0 || matrix.size() != n * n)
        return false;
    if (std::set<int>(channels.begin(), channels.end()).size() != n)
        return false;
    return std::all_of(matrix.begin(), matrix.end(), [](double v) { return std::isfinite(v); });
}

void readCompensation(const QJsonObject& o, int index, SessionDataset& d) {
    d.ctcApplied = at(o, "ctcApplied").toBool(false);
    if (!d.ctcApplied)
        return;
    const QJsonValue channels = at(o, "ctcChannels");
    const QJsonValue matrix = at(o, "spilloverMatrix");
    if (channels.isArray() && matrix.isArray()) {
        for (const QJsonValue& channel : channels.toArray())
            d.ctcChannels.push_back(sessionIntFromJson(channel, 0));
        for (const QJsonValue& element : matrix.toArray())
            d.spilloverMatrix.push_back(sessionNumberFromJson(element, 0.0));
    }
    if (!usableCompensation(d.ctcChannels, d.spilloverMatrix)) {
        qWarning("Session: dataset %d: crosstalk channels or spillover matrix missing or "
                 "unusable; the compensation is not recomputed",
                 index);
        d.ctcApplied = false;
        d.ctcChannels.clear();
        d.spilloverMatrix.clear();
    }
}

SessionFingerprint readFingerprint(const QJsonObject& o) {
    SessionFingerprint f;
    f.fileSize = sessionCountFromJson(at(o, "fileSize"));
    f.eventCount = sessionCountFromJson(at(o, "eventCount"));
    f.featureHash = at(o, "featureHash").toString();
    return f;
}

void readPlotSettings(const QJsonObject& o, SessionDataset& d) {
    d.xFeatureName = sessionUtf8FromJson(at(o, "xFeatureName"));
    d.yFeatureName = sessionUtf8FromJson(at(o, "yFeatureName"));
    d.colorFeatureName = sessionUtf8FromJson(at(o, "colorFeatureName"));
    // The upper bound needs the measurement: checkAgainstMeasurement.
    d.currentEventIndex = std::max(-1, sessionIntFromJson(at(o, "currentEventIndex"), -1));
    d.contourMode = codeIn(at(o, "contourMode"), kContourModes);
    d.contourFraction1 = fractionOr(at(o, "contourFraction1"), kDefaultContourFraction1);
    d.contourFraction2 = fractionOr(at(o, "contourFraction2"), kDefaultContourFraction2);
    d.scaleXMode = codeIn(at(o, "scaleXMode"), kScaleModes);
    d.scaleYMode = codeIn(at(o, "scaleYMode"), kScaleModes);
}

// Later switches of one group replace earlier ones, as assigning into the
// dataset's map would.
std::map<int, bool> readGroupSwitches(const QJsonValue& value, const std::set<int>& groupIds) {
    std::map<int, bool> switches;
    for (const QJsonValue& element : value.toArray()) {
        const QJsonObject item = element.toObject();
        const int id = sessionIntFromJson(at(item, "groupId"), 0);
        if (groupIds.count(id) != 0)
            switches[id] = at(item, "enabled").toBool(false);
    }
    return switches;
}

SessionDataset readDataset(const QJsonObject& o, int index, const std::set<int>& groupIds) {
    SessionDataset d;
    d.filePath = at(o, "filePath").toString();
    d.displayName = at(o, "displayName").toString();
    readPlotSettings(o, d);
    d.flRefinementApplied = at(o, "flRefinementApplied").toBool(false);
    readCompensation(o, index, d);
    readEModulus(o, index, d);
    d.fcDeformApplied = at(o, "fcDeformApplied").toBool(false);
    d.imageFeaturesApplied = at(o, "imageFeaturesApplied").toBool(false);
    d.isDuplicate = at(o, "isDuplicate").toBool(false);
    d.duplicateOfIndex = sessionIntFromJson(at(o, "duplicateOfIndex"), -1);
    d.fingerprint = readFingerprint(at(o, "fingerprint").toObject());
    restoreFilter(d.filter, at(o, "filter").toObject());
    d.groupEnabled = readGroupSwitches(at(o, "groupEnabled"), groupIds);
    return d;
}

// A duplicate is made from the dataset it names, which must already exist
// when the duplicates are recreated: an earlier dataset that is no
// duplicate itself.
void checkDuplicateSources(std::vector<SessionDataset>& datasets) {
    for (std::size_t i = 0; i < datasets.size(); ++i) {
        SessionDataset& d = datasets[i];
        if (!d.isDuplicate) {
            d.duplicateOfIndex = -1;
            continue;
        }
        const int source = d.duplicateOfIndex;
        if (source >= 0 && static_cast<std::size_t>(source) < i && !datasets[source].isDuplicate)
            continue;
        if (source != -1)
            qWarning("Session: dataset %d names no earlier original (%d); it is not recreated",
                     static_cast<int>(i), source);
        d.duplicateOfIndex = -1;
    }
}

FilterGroup readGroup(const QJsonObject& o, int id) {
    FilterGroup group;
    group.id = id;
    group.name = sessionUtf8FromJson(at(o, "name"));
    for (const QJsonValue& rule : at(o, "rules").toArray())
        group.rules.push_back(deserializeFilterRule(rule.toObject()));
    return group;
}

// Group ids key the datasets' switches, so a repeated id would switch two
// groups at once; an id of INT_MAX leaves no id for the next new group.
void readGroups(const QJsonObject& root, SessionDocument& doc) {
    doc.nextGroupId = std::max(0, sessionIntFromJson(at(root, "nextGroupId"), 0));
    std::set<int> seen;
    for (const QJsonValue& element : at(root, "filterGroups").toArray()) {
        const QJsonObject o = element.toObject();
        const int id = sessionIntFromJson(at(o, "id"), -1);
        if (id < 0)
            continue;
        if (id == std::numeric_limits<int>::max() || !seen.insert(id).second) {
            qWarning("Session: filter group id %d repeated or out of range; group dropped", id);
            continue;
        }
        doc.filterGroups.push_back(readGroup(o, id));
        if (doc.nextGroupId <= id)
            doc.nextGroupId = id + 1;
    }
}

std::vector<QJsonObject> readWindowStates(const QJsonValue& value) {
    std::vector<QJsonObject> states;
    for (const QJsonValue& element : value.toArray())
        if (element.isObject())
            states.push_back(element.toObject());
    return states;
}

void readMainWindow(const QJsonObject& o, SessionDocument& doc) {
    const int count = static_cast<int>(doc.datasets.size());
    const int active = sessionIntFromJson(at(o, "activeDatasetIndex"), 0);
    doc.activeDatasetIndex = count == 0 ? -1 : (active >= 0 && active < count ? active : 0);
    doc.colorMapIndex = codeIn(at(o, "colorMapIndex"), kColorMaps);
    doc.expertMode = at(o, "expertMode").toBool(false);
}

SessionDocument readDocument(const QJsonObject& root, int version) {
    SessionDocument doc;
    doc.version = version;
    doc.savedAt = at(root, "savedAt").toString();
    readGroups(root, doc);
    std::set<int> groupIds;
    for (const FilterGroup& group : doc.filterGroups)
        groupIds.insert(group.id);
    // Elements that are no objects still take their place: positions are the
    // session indices that duplicates and window states refer to.
    const QJsonArray datasets = at(root, "datasets").toArray();
    for (int i = 0; i < datasets.size(); ++i)
        doc.datasets.push_back(readDataset(datasets.at(i).toObject(), i, groupIds));
    checkDuplicateSources(doc.datasets);
    readMainWindow(at(root, "mainWindow").toObject(), doc);
    doc.combineWindows = readWindowStates(at(root, "combineWindows"));
    doc.statEvalWindows = readWindowStates(at(root, "statEvalWindows"));
    return doc;
}

} // namespace

SessionParseResult parseSessionDocument(const QByteArray& bytes) {
    SessionParseResult result;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &error);
    if (json.isNull()) {
        result.error = QLatin1String(kSessionInvalidPrefix) + error.errorString();
        return result;
    }
    const int version =
        json.isObject() ? sessionIntFromJson(json.object().value(QLatin1String("version")), 0) : 0;
    if (version <= 0) {
        result.error = QLatin1String(kSessionUnrecognizedFormat);
        return result;
    }
    result.ok = true;
    result.newerVersion = version > kSessionFormatVersion;
    result.document = readDocument(json.object(), version);
    return result;
}

SessionParseResult readSessionFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SessionParseResult result;
        result.error = QLatin1String(kSessionReadFailedPrefix) + path;
        return result;
    }
    return parseSessionDocument(file.readAll());
}

} // namespace Quorvex3
