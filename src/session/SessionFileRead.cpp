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
#include <optional>
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

    /// The text at `key`; a value of another type is named and reads as
    /// empty.
    QString textAt(const QJsonObject& o, const char* key, const char* what, const char* byWhat) {
        const QJsonValue value = at(o, key);
        if (!value.isUndefined() && !value.isString())
            replaced(o, key, QLatin1String(what), QLatin1String(byWhat));
        return value.toString();
    }
    /// The array at `key`; a value of another type is named and reads as an
    /// empty array.
    QJsonArray arrayAt(const QJsonObject& o, const char* key, const QString& what) {
        const QJsonValue value = at(o, key);
        if (!value.isUndefined() && !value.isArray())
            add(QStringLiteral("%1 %2 left out").arg(what, text(value)));
        return value.toArray();
    }
    /// The object at `key`; a value of another type is named and reads as
    /// an empty object.
    QJsonObject objectAt(const QJsonObject& o, const char* key, const char* what,
                         const char* byWhat) {
        const QJsonValue value = at(o, key);
        if (!value.isUndefined() && !value.isObject())
            replaced(o, key, QLatin1String(what), QLatin1String(byWhat));
        return value.toObject();
    }

private:
    std::vector<QString>& m_lines;
    QString m_owner;
};

/// Whether sessionNumberFromJson takes `value` as it is rather than giving
/// the fallback: a JSON number or one of "inf", "-inf" and "nan".
bool isSessionNumber(const QJsonValue& value) {
    return !(sessionNumberFromJson(value, 0.0) == 0.0 && sessionNumberFromJson(value, 1.0) == 1.0);
}

/// Whether sessionIntFromJson takes `value` as it is: a whole number in the
/// range of int.
bool isSessionInt(const QJsonValue& value) {
    return !(sessionIntFromJson(value, 0) == 0 && sessionIntFromJson(value, 1) == 1);
}

/// A switch stored as something else than true or false is named.
bool flagAt(const QJsonObject& o, const char* key, const char* what, Repairs& repairs,
            bool fallback = false) {
    const QJsonValue value = at(o, key);
    if (!value.isBool() && o.contains(QLatin1String(key)))
        repairs.replaced(o, key, QLatin1String(what),
                         fallback ? QStringLiteral("on") : QStringLiteral("off"));
    return value.toBool(fallback);
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

EModParams readEModParams(const QJsonObject& o, Repairs& repairs) {
    EModParams p;
    const auto code = [&](const char* key, int& field, const char* what) {
        const QJsonValue value = at(o, key);
        if (!value.isUndefined() && !isSessionInt(value))
            repairs.replaced(o, key, QStringLiteral("Young's modulus ") + QLatin1String(what),
                             QString::number(field));
        field = sessionIntFromJson(value, field);
    };
    const auto number = [&](const char* key, double& field, const char* what) {
        const QJsonValue value = at(o, key);
        if (!value.isUndefined() && !isSessionNumber(value))
            repairs.replaced(o, key, QStringLiteral("Young's modulus ") + QLatin1String(what),
                             QString::number(field));
        field = sessionNumberFromJson(value, field);
    };
    code("lutModel", p.lutModel, "look-up table");
    code("viscModel", p.viscosityModel, "viscosity model");
    code("medium", p.medium, "medium");
    number("temperature", p.temperature, "temperature");
    code("tempSource", p.temperatureSource, "temperature source");
    number("manualViscosity", p.viscosity, "viscosity");
    number("channelWidth", p.channelWidth, "channel width");
    number("flowRate", p.flowRate, "flow rate");
    number("pixelSize", p.pixelSize, "pixel size");
    const QJsonValue deform = at(o, "deformFeature");
    if (deform.isString())
        p.deformFeature = sessionUtf8FromJson(deform);
    else
        repairs.replaced(o, "deformFeature", QStringLiteral("Young's modulus deformation feature"),
                         QString::fromStdString(p.deformFeature));
    p.pixelationCorrection =
        flagAt(o, "applyPixelationCorrection", "Young's modulus pixelation correction switch",
               repairs, p.pixelationCorrection);
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
        d.emodParams = readEModParams(params.toObject(), repairs);
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
        for (const QJsonValue& channel : channels.toArray()) {
            if (!isSessionInt(channel))
                repairs.add(QStringLiteral("crosstalk channel %1 replaced by 0")
                                .arg(Repairs::text(channel)));
            d.ctcChannels.push_back(sessionIntFromJson(channel, 0));
        }
        for (const QJsonValue& element : matrix.toArray()) {
            if (!isSessionNumber(element))
                repairs.add(
                    QStringLiteral("spillover value %1 replaced by 0").arg(Repairs::text(element)));
            d.spilloverMatrix.push_back(sessionNumberFromJson(element, 0.0));
        }
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

// A fingerprint that cannot be compared makes the load ask whether the
// measurement changed; the list says why.
SessionFingerprint readFingerprint(const QJsonObject& o, Repairs& repairs) {
    SessionFingerprint f;
    const auto count = [&](const char* key, const char* what) {
        const std::optional<std::int64_t> value = sessionCountFromJson(at(o, key));
        if (!value && o.contains(QLatin1String(key)))
            repairs.add(QStringLiteral("fingerprint %1 %2 left out")
                            .arg(QLatin1String(what), Repairs::text(at(o, key))));
        return value;
    };
    f.fileSize = count("fileSize", "file size");
    f.eventCount = count("eventCount", "event count");
    f.featureHash = repairs.textAt(o, "featureHash", "fingerprint feature hash", "none");
    return f;
}

void readPlotSettings(const QJsonObject& o, SessionDataset& d, Repairs& repairs) {
    d.xFeatureName = repairs.textAt(o, "xFeatureName", "x feature", "the default").toStdString();
    d.yFeatureName = repairs.textAt(o, "yFeatureName", "y feature", "the default").toStdString();
    d.colorFeatureName =
        repairs.textAt(o, "colorFeatureName", "colour feature", "none").toStdString();
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
// dataset's map would. A switch whose group id is no whole number is left
// out rather than taken for group 0: it would switch a group the file never
// named.
std::map<int, bool> readGroupSwitches(const QJsonArray& array, const std::set<int>& groupIds,
                                      Repairs& repairs) {
    std::map<int, bool> switches;
    for (const QJsonValue& element : array) {
        if (!element.isObject()) {
            repairs.add(
                QStringLiteral("filter group switch %1 left out").arg(Repairs::text(element)));
            continue;
        }
        const QJsonObject item = element.toObject();
        const QJsonValue groupId = at(item, "groupId");
        const int id = sessionIntFromJson(groupId, 0);
        if ((!groupId.isUndefined() && !isSessionInt(groupId)) || groupIds.count(id) == 0) {
            repairs.add(QStringLiteral("switch of filter group %1, which the session does not "
                                       "hold, left out")
                            .arg(Repairs::text(groupId)));
            continue;
        }
        const QJsonValue enabled = at(item, "enabled");
        if (!enabled.isUndefined() && !enabled.isBool())
            repairs.add(QStringLiteral("switch of filter group %1: %2 replaced by off")
                            .arg(id)
                            .arg(Repairs::text(enabled)));
        switches[id] = enabled.toBool(false);
    }
    return switches;
}

SessionDataset readDataset(const QJsonObject& o, int index, const std::set<int>& groupIds) {
    SessionDataset d;
    // The label of the lines needs the name first; its own damage is named
    // once the label is known.
    d.filePath = at(o, "filePath").toString();
    d.displayName = at(o, "displayName").toString();
    Repairs repairs(d.repairs, sessionDatasetLabel(d, index));
    repairs.textAt(o, "filePath", "measurement path", "none");
    repairs.textAt(o, "displayName", "display name", "the file name");
    readPlotSettings(o, d, repairs);
    d.flRefinementApplied = flagAt(o, "flRefinementApplied", "refinement switch", repairs);
    readCompensation(o, index, d, repairs);
    readEModulus(o, index, d, repairs);
    d.fcDeformApplied = flagAt(o, "fcDeformApplied", "Fourier deformation switch", repairs);
    d.imageFeaturesApplied = flagAt(o, "imageFeaturesApplied", "image features switch", repairs);
    d.isDuplicate = flagAt(o, "isDuplicate", "duplicate mark", repairs);
    d.duplicateOfIndex = sessionIntFromJson(at(o, "duplicateOfIndex"), -1);
    d.fingerprint =
        readFingerprint(repairs.objectAt(o, "fingerprint", "fingerprint", "none"), repairs);
    QStringList filterProblems;
    restoreFilter(d.filter, repairs.objectAt(o, "filter", "filter", "no filter"), filterProblems);
    for (const QString& problem : filterProblems)
        repairs.add(QStringLiteral("filter ") + problem);
    d.groupEnabled = readGroupSwitches(
        repairs.arrayAt(o, "groupEnabled", QStringLiteral("filter group switches")), groupIds,
        repairs);
    return d;
}

// A duplicate is made from the dataset it names, which must already exist
// when the duplicates are recreated: an earlier dataset that is no
// duplicate itself.
void checkDuplicateSources(std::vector<SessionDataset>& datasets, const QJsonArray& stored,
                           std::vector<QString>& lines) {
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
                     .arg(Repairs::text(
                         at(stored.at(static_cast<int>(i)).toObject(), "duplicateOfIndex"))));
        d.duplicateOfIndex = -1;
    }
}

/// How the user's messages name a stored group: by its name, or by its
/// position (from 1) when it has none.
QString groupLabel(const QJsonObject& o, int position) {
    const QString name = at(o, "name").toString();
    return name.isEmpty() ? QStringLiteral("filter group %1").arg(position + 1)
                          : QStringLiteral("filter group \"%1\"").arg(name);
}

FilterGroup readGroup(const QJsonObject& o, int id, int position, std::vector<QString>& lines) {
    FilterGroup group;
    group.id = id;
    Repairs repairs(lines, groupLabel(o, position));
    group.name = repairs.textAt(o, "name", "name", "an empty name").toStdString();
    QStringList problems;
    group.rules = readFilterRules(at(o, "rules"), problems);
    for (const QString& problem : problems)
        repairs.add(problem);
    return group;
}

// Group ids key the datasets' switches, so a repeated id would switch two
// groups at once; an id of INT_MAX leaves no id for the next new group.
void readGroups(const QJsonObject& root, SessionDocument& doc) {
    Repairs session(doc.repairs, QStringLiteral("session"));
    const QJsonValue next = at(root, "nextGroupId");
    doc.nextGroupId = std::max(0, sessionIntFromJson(next, 0));
    const bool nextUnusable =
        !next.isUndefined() && (!isSessionInt(next) || sessionIntFromJson(next, 0) < 0);
    const QJsonArray groups =
        session.arrayAt(root, "filterGroups", QStringLiteral("filter groups"));
    std::set<int> seen;
    for (int position = 0; position < groups.size(); ++position) {
        const QJsonValue element = groups.at(position);
        if (!element.isObject()) {
            Repairs(doc.repairs, QStringLiteral("filter group %1").arg(position + 1))
                .add(QStringLiteral("%1 is no group; left out").arg(Repairs::text(element)));
            continue;
        }
        const QJsonObject o = element.toObject();
        const int id = sessionIntFromJson(at(o, "id"), -1);
        if (id < 0 || id == std::numeric_limits<int>::max() || !seen.insert(id).second) {
            qWarning("Session: filter group id %d repeated or out of range; group dropped", id);
            Repairs(doc.repairs, groupLabel(o, position))
                .add(QStringLiteral("id %1 missing, repeated or out of range; group left out")
                         .arg(Repairs::text(at(o, "id"))));
            continue;
        }
        doc.filterGroups.push_back(readGroup(o, id, position, doc.repairs));
        if (doc.nextGroupId <= id)
            doc.nextGroupId = id + 1;
    }
    if (nextUnusable)
        session.replaced(root, "nextGroupId", QStringLiteral("next filter group id"),
                         QString::number(doc.nextGroupId));
}

std::vector<QJsonObject> readWindowStates(const QJsonObject& root, const char* key,
                                          const QString& kind, std::vector<QString>& lines) {
    std::vector<QJsonObject> states;
    const QJsonArray array =
        Repairs(lines, QStringLiteral("session")).arrayAt(root, key, kind + QLatin1Char('s'));
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

void readMainWindow(const QJsonObject& root, SessionDocument& doc) {
    const QJsonObject o = Repairs(doc.repairs, QStringLiteral("session"))
                              .objectAt(root, "mainWindow", "main window settings", "defaults");
    Repairs repairs(doc.repairs, QStringLiteral("main window"));
    const int count = static_cast<int>(doc.datasets.size());
    const QJsonValue activeValue = at(o, "activeDatasetIndex");
    const int active = sessionIntFromJson(activeValue, -1);
    doc.activeDatasetIndex = count == 0 ? -1 : (active >= 0 && active < count ? active : 0);
    // With no datasets there is nothing to make active, so only a value of
    // another type is damage there.
    if (count > 0 ? doc.activeDatasetIndex != active
                  : !activeValue.isUndefined() && !isSessionInt(activeValue))
        repairs.replaced(o, "activeDatasetIndex", QStringLiteral("active dataset"),
                         count > 0 ? QStringLiteral("the first") : QStringLiteral("none"));
    doc.colorMapIndex = codeIn(at(o, "colorMapIndex"), kColorMaps);
    const int colorMap = sessionIntFromJson(at(o, "colorMapIndex"), -1);
    if (colorMap < 0 || colorMap >= kColorMaps)
        repairs.replaced(o, "colorMapIndex", QStringLiteral("colour map"), QStringLiteral("0"));
    doc.expertMode = flagAt(o, "expertMode", "expert mode", repairs);
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
    const QJsonArray datasets = Repairs(doc.repairs, QStringLiteral("session"))
                                    .arrayAt(root, "datasets", QStringLiteral("datasets"));
    for (int i = 0; i < datasets.size(); ++i) {
        if (!datasets.at(i).isObject())
            doc.repairs.push_back(QStringLiteral("dataset %1: %2 is no dataset; read as an "
                                                 "empty one")
                                      .arg(i + 1)
                                      .arg(Repairs::text(datasets.at(i))));
        doc.datasets.push_back(readDataset(datasets.at(i).toObject(), i, groupIds));
    }
    checkDuplicateSources(doc.datasets, datasets, doc.repairs);
    readMainWindow(root, doc);
    doc.combineWindows = readWindowStates(root, "combineWindows",
                                          QStringLiteral("combined plot window"), doc.repairs);
    doc.statEvalWindows = readWindowStates(
        root, "statEvalWindows", QStringLiteral("statistical evaluation window"), doc.repairs);
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
