// Reading a session file into a checked record. Every value that could
// crash a later step or silently show something else than was saved is
// checked here, so the main window applies the record as it is.

#include "session/SessionFile.h"

#include "model/FilterRuleJson.h"
#include "session/SessionDatasets.h"
#include "session/SessionJsonValues.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>
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

/// Collects what a damaged file made the reader replace or leave out, each
/// line led by the dataset, group or window it belongs to.
class Repairs {
public:
    Repairs(std::vector<QString>& lines, QString owner)
        : m_lines(lines), m_owner(std::move(owner)) {}
    void add(const QString& what) { m_lines.push_back(m_owner + QStringLiteral(": ") + what); }
    /// For a value that is there (a missing key is no damage) but was not
    /// used as stored.
    void replaced(const QJsonObject& o, const char* key, const QString& what,
                  const QString& byWhat) {
        if (o.contains(QLatin1String(key)))
            add(QStringLiteral("%1 %2 replaced by %3")
                    .arg(what, text(o.value(QLatin1String(key))), byWhat));
    }
    static QString text(const QJsonValue& value) { return jsonValueText(value); }

private:
    std::vector<QString>& m_lines;
    QString m_owner;
};

/// A switch stored as something else than true or false is named.
bool flagAt(const QJsonObject& o, const char* key, const char* what, Repairs& repairs) {
    const QJsonValue value = at(o, key);
    if (!value.isBool() && o.contains(QLatin1String(key)))
        repairs.replaced(o, key, QLatin1String(what), QStringLiteral("off"));
    return value.toBool(false);
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

void readEModulus(const QJsonObject& o, int index, SessionDataset& d, Repairs& repairs) {
    d.emodApplied = flagAt(o, "emodApplied", "Young's modulus switch", repairs);
    if (!d.emodApplied)
        return;
    const QJsonValue params = at(o, "emodParams");
    if (params.isObject())
        d.emodParams = readEModParams(params.toObject());
    if (!params.isObject() || !usableEModParams(d.emodParams)) {
        qWarning("Session: dataset %d: Young's modulus parameters missing or unusable; "
                 "the modulus is not recomputed",
                 index);
        repairs.add(QStringLiteral("Young's modulus parameters missing or unusable; the "
                                   "modulus is left out"));
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

void readCompensation(const QJsonObject& o, int index, SessionDataset& d, Repairs& repairs) {
    d.ctcApplied = flagAt(o, "ctcApplied", "crosstalk compensation switch", repairs);
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
        repairs.add(QStringLiteral("crosstalk channels or spillover matrix missing or "
                                   "unusable; the compensation is left out"));
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

void readPlotSettings(const QJsonObject& o, SessionDataset& d, Repairs& repairs) {
    d.xFeatureName = sessionUtf8FromJson(at(o, "xFeatureName"));
    d.yFeatureName = sessionUtf8FromJson(at(o, "yFeatureName"));
    d.colorFeatureName = sessionUtf8FromJson(at(o, "colorFeatureName"));
    // The upper bound needs the measurement: checkAgainstMeasurement.
    const int event = sessionIntFromJson(at(o, "currentEventIndex"), -2);
    d.currentEventIndex = std::max(-1, event);
    if (event < -1)
        repairs.replaced(o, "currentEventIndex", QStringLiteral("event"),
                         QStringLiteral("no event"));
    const auto code = [&](const char* key, int count, const char* what, const char* fallback) {
        const int value = sessionIntFromJson(at(o, key), -1);
        if (value >= 0 && value < count)
            return value;
        repairs.replaced(o, key, QLatin1String(what), QLatin1String(fallback));
        return 0;
    };
    d.contourMode = code("contourMode", kContourModes, "contour mode", "off");
    const auto fraction = [&](const char* key, double fallback) {
        const double stored =
            sessionNumberFromJson(at(o, key), std::numeric_limits<double>::quiet_NaN());
        if (!(stored > 0.0 && stored < 1.0))
            repairs.replaced(o, key, QStringLiteral("contour level"), QString::number(fallback));
        return fractionOr(at(o, key), fallback);
    };
    d.contourFraction1 = fraction("contourFraction1", kDefaultContourFraction1);
    d.contourFraction2 = fraction("contourFraction2", kDefaultContourFraction2);
    d.scaleXMode = code("scaleXMode", kScaleModes, "x scale", "linear");
    d.scaleYMode = code("scaleYMode", kScaleModes, "y scale", "linear");
}

// Later switches of one group replace earlier ones, as assigning into the
// dataset's map would.
std::map<int, bool> readGroupSwitches(const QJsonValue& value, const std::set<int>& groupIds,
                                      Repairs& repairs) {
    std::map<int, bool> switches;
    for (const QJsonValue& element : value.toArray()) {
        const QJsonObject item = element.toObject();
        const int id = sessionIntFromJson(at(item, "groupId"), 0);
        if (groupIds.count(id) != 0)
            switches[id] = at(item, "enabled").toBool(false);
        else
            repairs.add(QStringLiteral("switch of filter group %1, which the session does not "
                                       "hold, left out")
                            .arg(Repairs::text(at(item, "groupId"))));
    }
    return switches;
}

SessionDataset readDataset(const QJsonObject& o, int index, const std::set<int>& groupIds) {
    SessionDataset d;
    d.filePath = at(o, "filePath").toString();
    d.displayName = at(o, "displayName").toString();
    Repairs repairs(d.repairs, sessionDatasetLabel(d, index));
    readPlotSettings(o, d, repairs);
    d.flRefinementApplied = flagAt(o, "flRefinementApplied", "refinement switch", repairs);
    readCompensation(o, index, d, repairs);
    readEModulus(o, index, d, repairs);
    d.fcDeformApplied = flagAt(o, "fcDeformApplied", "Fourier deformation switch", repairs);
    d.imageFeaturesApplied = flagAt(o, "imageFeaturesApplied", "image features switch", repairs);
    d.isDuplicate = at(o, "isDuplicate").toBool(false);
    d.duplicateOfIndex = sessionIntFromJson(at(o, "duplicateOfIndex"), -1);
    d.fingerprint = readFingerprint(at(o, "fingerprint").toObject());
    QStringList filterProblems;
    restoreFilter(d.filter, at(o, "filter").toObject(), filterProblems);
    for (const QString& problem : filterProblems)
        repairs.add(QStringLiteral("filter ") + problem);
    d.groupEnabled = readGroupSwitches(at(o, "groupEnabled"), groupIds, repairs);
    return d;
}

// A duplicate is made from the dataset it names, which must already exist
// when the duplicates are recreated: an earlier dataset that is no
// duplicate itself.
void checkDuplicateSources(std::vector<SessionDataset>& datasets, std::vector<QString>& lines) {
    for (std::size_t i = 0; i < datasets.size(); ++i) {
        SessionDataset& d = datasets[i];
        if (!d.isDuplicate) {
            d.duplicateOfIndex = -1;
            continue;
        }
        const int source = d.duplicateOfIndex;
        if (source >= 0 && static_cast<std::size_t>(source) < i && !datasets[source].isDuplicate)
            continue;
        qWarning("Session: dataset %d names no earlier original (%d); it is not recreated",
                 static_cast<int>(i), source);
        Repairs(lines, sessionDatasetLabel(d, static_cast<int>(i)))
            .add(QStringLiteral("copy naming no earlier original dataset (%1) left out")
                     .arg(source));
        d.duplicateOfIndex = -1;
    }
}

FilterGroup readGroup(const QJsonObject& o, int id, std::vector<QString>& lines) {
    FilterGroup group;
    group.id = id;
    group.name = sessionUtf8FromJson(at(o, "name"));
    Repairs repairs(lines,
                    QStringLiteral("filter group \"%1\"").arg(QString::fromStdString(group.name)));
    const QJsonArray rules = at(o, "rules").toArray();
    for (int i = 0; i < rules.size(); ++i) {
        QStringList problems;
        const FilterRule rule = deserializeFilterRule(rules.at(i).toObject(), problems);
        for (const QString& problem : problems)
            repairs.add(QStringLiteral("rule %1: ").arg(i + 1) + problem);
        // It could filter nothing while it showed as a rule.
        if (rule.type != 0 && rule.polygonVertices.size() < 3) {
            repairs.add(QStringLiteral("rule %1: polygon with fewer than 3 usable vertices left "
                                       "out")
                            .arg(i + 1));
            continue;
        }
        group.rules.push_back(rule);
    }
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
        if (id < 0 || id == std::numeric_limits<int>::max() || !seen.insert(id).second) {
            qWarning("Session: filter group id %d repeated or out of range; group dropped", id);
            Repairs(doc.repairs,
                    QStringLiteral("filter group \"%1\"")
                        .arg(QString::fromStdString(sessionUtf8FromJson(at(o, "name")))))
                .add(QStringLiteral("id %1 missing, repeated or out of range; group left out")
                         .arg(Repairs::text(at(o, "id"))));
            continue;
        }
        doc.filterGroups.push_back(readGroup(o, id, doc.repairs));
        if (doc.nextGroupId <= id)
            doc.nextGroupId = id + 1;
    }
}

std::vector<QJsonObject> readWindowStates(const QJsonValue& value, const QString& kind,
                                          std::vector<QString>& lines) {
    std::vector<QJsonObject> states;
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        if (array.at(i).isObject())
            states.push_back(array.at(i).toObject());
        else
            lines.push_back(
                QStringLiteral("%1 %2: no window state; window left out").arg(kind).arg(i + 1));
    }
    return states;
}

/// Whether `value` names a stored dataset by its position.
bool namesStoredDataset(const QJsonValue& value, int datasetCount) {
    const int index = sessionIntFromJson(value, -1);
    return index >= 0 && index < datasetCount;
}

// What the windows will replace or leave out, said here since the windows
// restore quietly: display modes they do not know and dataset references
// naming no stored dataset. References to datasets the user chose not to
// load are no damage.
void checkWindowStates(SessionDocument& doc) {
    const int count = static_cast<int>(doc.datasets.size());
    const char* const modes[] = {"Array", "Array + Contour", "Same Plot"};
    for (std::size_t w = 0; w < doc.combineWindows.size(); ++w) {
        const QJsonObject& state = doc.combineWindows[w];
        Repairs repairs(doc.repairs, QStringLiteral("combined plot window %1").arg(w + 1));
        const int mode = sessionIntFromJson(at(state, "displayMode"), -1);
        if (mode < 0 || mode >= 3)
            repairs.replaced(state, "displayMode", QStringLiteral("display mode"),
                             QLatin1Char('"') + QLatin1String(modes[0]) + QLatin1Char('"'));
        for (const QJsonValue& card : at(state, "datasets").toArray()) {
            const QJsonValue index = card.toObject().value(QLatin1String("datasetSessionIndex"));
            if (!namesStoredDataset(index, count))
                repairs.add(QStringLiteral("dataset card naming no stored dataset (%1) left out")
                                .arg(Repairs::text(index)));
        }
    }
    for (std::size_t w = 0; w < doc.statEvalWindows.size(); ++w) {
        Repairs repairs(doc.repairs, QStringLiteral("statistical evaluation window %1").arg(w + 1));
        for (const QJsonValue& category : at(doc.statEvalWindows[w], "categories").toArray())
            for (const QJsonValue& entry : at(category.toObject(), "entries").toArray()) {
                const QJsonValue index =
                    entry.toObject().value(QLatin1String("datasetSessionIndex"));
                if (!namesStoredDataset(index, count))
                    repairs.add(
                        QStringLiteral("category \"%1\": entry naming no stored dataset "
                                       "(%2) left out")
                            .arg(at(category.toObject(), "name").toString(), Repairs::text(index)));
            }
    }
}

void readMainWindow(const QJsonObject& o, SessionDocument& doc) {
    Repairs repairs(doc.repairs, QStringLiteral("main window"));
    const int count = static_cast<int>(doc.datasets.size());
    const int active = sessionIntFromJson(at(o, "activeDatasetIndex"), -1);
    doc.activeDatasetIndex = count == 0 ? -1 : (active >= 0 && active < count ? active : 0);
    if (count > 0 && doc.activeDatasetIndex != active)
        repairs.replaced(o, "activeDatasetIndex", QStringLiteral("active dataset"),
                         QStringLiteral("the first"));
    doc.colorMapIndex = codeIn(at(o, "colorMapIndex"), kColorMaps);
    const int colorMap = sessionIntFromJson(at(o, "colorMapIndex"), -1);
    if (colorMap < 0 || colorMap >= kColorMaps)
        repairs.replaced(o, "colorMapIndex", QStringLiteral("colour map"), QStringLiteral("0"));
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
    checkDuplicateSources(doc.datasets, doc.repairs);
    readMainWindow(at(root, "mainWindow").toObject(), doc);
    doc.combineWindows = readWindowStates(at(root, "combineWindows"),
                                          QStringLiteral("combined plot window"), doc.repairs);
    doc.statEvalWindows = readWindowStates(
        at(root, "statEvalWindows"), QStringLiteral("statistical evaluation window"), doc.repairs);
    checkWindowStates(doc);
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
