// Session files: the checks made when one is read, the round trip, stored
// paths and fingerprints, and damaged files through the reader.
//
// Oracle: /usr/bin/python3 tests/session/session_oracle.py SESSION.QV3
// reads the written file with json, h5py and hashlib (exact comparison).

#include "session/SessionFile.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "session/SessionDatasets.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <armadillo>

#include <cmath>
#include <cstring>
#include <random>

namespace Quorvex3 {
namespace {

int g_warnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString&) {
    g_warnings += type == QtWarningMsg ? 1 : 0;
}

// Dataset 0 uses everything, 1 is a duplicate of it, 2 another measurement;
// groups 0, 4, 2.
// clang-format off
const char* const kBase = R"({"version": 1, "mainWindow": {"activeDatasetIndex": 1, "colorMapIndex": 3}, "nextGroupId": 3,
 "filterGroups": [{"id": 0, "name": "g0"}, {"id": 4}, {"id": 2}], "statEvalWindows": [{"categories": [{"datasetSessionIndex": 2}]}],
 "datasets": [{"filePath": "a.rtdc", "displayName": "Zellen µ", "currentEventIndex": 2, "contourMode": 1, "contourFraction1": 0.2, "contourFraction2": 0.8, "scaleXMode": 1, "scaleYMode": 2,
   "ctcApplied": true, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0.1, 0.2, 1], "emodApplied": true, "emodParams": {"channelWidth": 30, "flowRate": 0.16, "medium": 0, "manualViscosity": "nan"},
   "fingerprint": {"fileSize": 1234, "eventCount": 6, "featureHash": "0123456789ab"}, "groupEnabled": [{"groupId": 4, "enabled": true}, {"groupId": 2}],
   "filter": {"enabled": true, "combineMode": "NOT", "rules": [{"featureName": "area_um", "minValue": "-inf", "maxValue": "inf"}, {"type": "Polygon", "polygonVertices": [["-inf", 1], ["nan", 2]]}]}},
  {"isDuplicate": true, "duplicateOfIndex": 0}, {"filePath": "b.rtdc"}]})";
// clang-format on

const QDateTime kSavedAt = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);

bool isNumberWord(const QJsonValue& value) {
    const QString word = value.toString();
    return word == QLatin1String("inf") || word == QLatin1String("-inf") ||
           word == QLatin1String("nan");
}

QJsonObject object(const char* text) {
    return QJsonDocument::fromJson(text).object();
}

// The base document with the keys of `patch` replaced in dataset `index`,
// or in the root for -1 (a null value removes the key).
QByteArray patched(int index, const char* patch) {
    QJsonObject root = object(kBase);
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    QJsonObject target = index < 0 ? root : datasets[index].toObject();
    const QJsonObject keys = object(patch);
    for (auto it = keys.begin(); it != keys.end(); ++it)
        it->isNull() ? void(target.remove(it.key())) : void(target.insert(it.key(), *it));
    if (index < 0)
        return QJsonDocument(target).toJson();
    datasets[index] = target;
    root[QStringLiteral("datasets")] = datasets;
    return QJsonDocument(root).toJson();
}

// Rule, dataset patched (-1: the root), patch, expected keys of the dataset
// as written back ("/key" for keys of the root; null: absent), warns.
using ReadCase = std::tuple<const char*, int, const char*, const char*, bool>;

const char* const kNoCtc = R"({"ctcApplied": false, "ctcChannels": null, "spilloverMatrix": null})";
const char* const kNoEmod = R"({"emodApplied": false, "emodParams": null})";
const char* const kHashOnly = R"({"fingerprint": {"featureHash": "0123456789ab"}})";

TEST(SessionFileRead, EachStoredValueIsCheckedAndFallsBackToItsDefault) {
    // clang-format off
    const ReadCase cases[] = {
        {"valid: kept; group ids 0,4,2 with next 3 give 5", 0, "{}", R"({"currentEventIndex": 2, "contourFraction2": 0.8, "scaleYMode": 2,
          "ctcChannels": [1, 2], "spilloverMatrix": [1, 0.1, 0.2, 1], "emodApplied": true, "/nextGroupId": 5, "fingerprint": {"fileSize": 1234, "eventCount": 6, "featureHash": "0123456789ab"},
          "groupEnabled": [{"groupId": 2, "enabled": false}, {"groupId": 4, "enabled": true}], "/mainWindow": {"activeDatasetIndex": 1, "colorMapIndex": 3, "expertMode": false}})", false},
        {"plot settings out of range", 0, R"({"currentEventIndex": -7, "contourMode": 3, "scaleXMode": -1, "scaleYMode": "1", "contourFraction1": 1.0, "contourFraction2": "nan"})",
         R"({"currentEventIndex": -1, "contourMode": 0, "scaleXMode": 0, "scaleYMode": 0, "contourFraction1": 0.1, "contourFraction2": 0.67})", false},
        {"event index not whole, fraction 0", 0, R"({"currentEventIndex": 1.5, "contourFraction1": 0})", R"({"currentEventIndex": -1, "contourFraction1": 0.1})", false},
        {"colour map 6, active dataset past the end", -1, R"({"mainWindow": {"colorMapIndex": 6, "activeDatasetIndex": 3}})",
         R"({"/mainWindow": {"activeDatasetIndex": 0, "colorMapIndex": 0, "expertMode": false}})", false},
        {"switch of an unknown group", 0, R"({"groupEnabled": [{"groupId": 9}]})", R"({"groupEnabled": null})", false},
        {"switch whose group id is text", 0, R"({"groupEnabled": [{"groupId": "4", "enabled": true}]})", R"({"groupEnabled": null})", false},
        {"repeated, negative, largest and text group ids", -1, R"({"nextGroupId": -5, "filterGroups": [{"id": 1, "name": "first"}, {"id": 1}, {"id": -3}, {"id": 2147483647}, {"id": "7"}]})",
         R"({"/nextGroupId": 2, "/filterGroups": [{"id": 1, "name": "first", "rules": []}]})", true},
        {"duplicate of a duplicate", 2, R"({"isDuplicate": true, "duplicateOfIndex": 1})", R"({"isDuplicate": true, "duplicateOfIndex": -1})", true},
        {"duplicate of a later one", 1, R"({"duplicateOfIndex": 2})", R"({"duplicateOfIndex": -1})", true},
        {"spillover matrix not n*n", 0, R"({"spilloverMatrix": [1, 0, 1]})", kNoCtc, true},
        {"spillover matrix not finite", 0, R"({"spilloverMatrix": [1, "inf", 0, 1]})", kNoCtc, true},
        {"repeated channels", 0, R"({"ctcChannels": [1, 1]})", kNoCtc, true},
        {"channels absent", 0, R"({"ctcChannels": null})", kNoCtc, true},
        {"channel width 0", 0, R"({"emodParams": {"channelWidth": 0}})", kNoEmod, true},
        {"flow rate nan", 0, R"({"emodParams": {"flowRate": "nan"}})", kNoEmod, true},
        {"pixel size -inf", 0, R"({"emodParams": {"pixelSize": "-inf"}})", kNoEmod, true},
        {"medium 5", 0, R"({"emodParams": {"medium": 5}})", kNoEmod, true},
        {"temperature source 3", 0, R"({"emodParams": {"tempSource": 3}})", kNoEmod, true},
        {"viscosity model 4", 0, R"({"emodParams": {"viscModel": 4}})", kNoEmod, true},
        {"look-up table 1", 0, R"({"emodParams": {"lutModel": 1}})", kNoEmod, true},
        {"modulus parameters absent", 0, R"({"emodParams": null})", kNoEmod, true},
        {"absent keys", 0, R"({"emodParams": {}, "ctcApplied": null, "contourFraction2": null, "filter": null, "fingerprint": null, "currentEventIndex": null})",
         R"({"emodParams": {"lutModel": 0, "viscModel": 0, "medium": 1, "temperature": 23, "tempSource": 2, "manualViscosity": 0, "channelWidth": 20, "flowRate": 0.04,
          "pixelSize": 0.34, "deformFeature": "deform", "applyPixelationCorrection": true}, "ctcApplied": false, "contourFraction2": 0.67, "currentEventIndex": -1,
          "filter": {"enabled": false, "combineMode": "AND", "rules": []}, "fingerprint": {"featureHash": ""}})", false},
        {"sizes not whole or negative", 0, R"({"fingerprint": {"fileSize": 1.5, "eventCount": -1, "featureHash": "0123456789ab"}})", kHashOnly, false},
        {"sizes beyond 2^53 or as text", 0, R"({"fingerprint": {"fileSize": 9007199254740994, "eventCount": "6", "featureHash": "0123456789ab"}})", kHashOnly, false},
        {"size 2^53", 0, R"({"fingerprint": {"fileSize": 9007199254740992}})", R"({"fingerprint": {"fileSize": 9007199254740992, "featureHash": ""}})", false},
        {"\"not\" reads as AND", 0, R"({"filter": {"combineMode": "not"}})", R"({"filter": {"enabled": false, "combineMode": "AND", "rules": []}})", false},
        {"window states that are no objects", -1, R"({"combineWindows": [{"a": 1}, 3, "x"], "statEvalWindows": {}})", R"({"/combineWindows": [{"a": 1}], "/statEvalWindows": []})", false},
        {"no datasets", -1, R"({"datasets": 5})", R"({"/mainWindow": {"activeDatasetIndex": -1, "colorMapIndex": 3, "expertMode": false}})", false},
    };
    // clang-format on
    const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    for (const auto& [rule, index, patch, expectedKeys, warns] : cases) {
        g_warnings = 0;
        const QJsonObject root =
            sessionDocumentToJson(parseSessionDocument(patched(index, patch)).document, {});
        const QJsonObject expected = object(expectedKeys);
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            const bool top = it.key().startsWith(QLatin1Char('/'));
            const QJsonObject owner =
                top ? root : root[QStringLiteral("datasets")][index].toObject();
            const QString key = top ? it.key().mid(1) : it.key();
            EXPECT_EQ(owner.contains(key) ? owner[key] : QJsonValue(), *it)
                << rule << ": " << key.toStdString();
        }
        EXPECT_EQ(g_warnings > 0, warns) << rule;
    }
    qInstallMessageHandler(previous);
}

// What a damaged value made the reader replace or leave out is listed for
// the user, led by the dataset (or group, window) it belongs to; a missing
// key is no damage. A polygon rule without 3 usable vertices is left out.
/// The repairs of a load that restored every dataset of `document`.
std::vector<QString> repairsOfAll(const SessionDocument& document) {
    std::map<int, int> all;
    for (int i = 0; i < static_cast<int>(document.datasets.size()); ++i)
        all[i] = i;
    return sessionLoadRepairs(document, all);
}

TEST(SessionFileRead, DamagedValuesAreListedWithTheirDataset) {
    const std::vector<QString> base = repairsOfAll(parseSessionDocument(kBase).document);
    // The base file's own damage: a polygon of non-finite corners.
    ASSERT_EQ(base.size(), 1u);
    EXPECT_EQ(base[0],
              QStringLiteral("Zellen \u00b5: filter rule 2 (polygon on /): only 0 vertices "
                             "usable; rule left out"));
    const SessionDocument clean =
        parseSessionDocument(serializeSessionDocument(parseSessionDocument(kBase).document))
            .document;
    EXPECT_TRUE(repairsOfAll(clean).empty());

    // clang-format off
    const std::tuple<const char*, int, const char*, const char*> cases[] = {
        {"range bound that is no number", 2, R"({"filter": {"enabled": true, "rules": [{"featureName": "area_um", "minValue": "abc", "maxValue": 90}]}})",
         "b.rtdc: filter rule 1 (range on area_um): minimum \"abc\" replaced by 0"},
        {"polygon with one usable vertex", 2, R"({"filter": {"rules": [{"type": "Polygon", "featureName": "area_um", "featureNameY": "deform", "polygonVertices": [[1, 2], ["a", 3], [4], null]}]}})",
         "b.rtdc: filter rule 1 (polygon on area_um/deform): only 1 vertex usable; rule left out"},
        {"duplicate naming no original", 2, R"({"isDuplicate": true, "duplicateOfIndex": 7})",
         "b.rtdc: copy naming no earlier original dataset (7) left out"},
        {"combined plot card with a bad index", -1, R"({"combineWindows": [{"displayMode": 1, "datasets": [{"datasetSessionIndex": 0}, {"datasetSessionIndex": 9}]}]})",
         "combined plot window 1: dataset card naming no stored dataset (9) left out"},
        {"display mode 7", -1, R"({"combineWindows": [{"displayMode": 7}]})",
         "combined plot window 1: display mode 7 replaced by \"Array\""},
        {"contour mode 3", 0, R"({"contourMode": 3})", "Zellen \u00b5: contour mode 3 replaced by off"},
        {"contour level 1.5", 0, R"({"contourFraction1": 1.5})", "Zellen \u00b5: contour level 1.5 replaced by 0.1"},
        {"event -7", 0, R"({"currentEventIndex": -7})", "Zellen \u00b5: event -7 replaced by no event"},
        {"colour map 6", -1, R"({"mainWindow": {"colorMapIndex": 6}})", "main window: colour map 6 replaced by 0"},
        {"unknown group switch", 0, R"({"groupEnabled": [{"groupId": 9}]})", "Zellen \u00b5: switch of filter group 9, which the session does not hold, left out"},
        {"repeated group id", -1, R"({"filterGroups": [{"id": 0}, {"id": 4}, {"id": 2}, {"id": 4, "name": "again"}]})",
         "filter group \"again\": id 4 missing, repeated or out of range; group left out"},
        {"group polygon without vertices", -1, R"({"filterGroups": [{"id": 0}, {"id": 4}, {"id": 2, "name": "g", "rules": [{"type": "Polygon"}]}]})",
         "filter group \"g\": rule 1 (polygon on /): only 0 vertices usable; rule left out"},
        // Rules without a feature to test are left out, one line each.
        {"filter rule whose feature name is a number", 2, R"({"filter": {"rules": [{"featureName": 17, "maxValue": "x"}]}})",
         "b.rtdc: filter rule 1 (range): featureName 17 names no feature; rule left out"},
        {"filter rule with an empty feature name", 2, R"({"filter": {"rules": [{"featureName": ""}]}})",
         "b.rtdc: filter rule 1 (range): featureName \"\" names no feature; rule left out"},
        {"filter rule no object", 2, R"({"filter": {"rules": [5]}})", "b.rtdc: filter rule 1: 5 is no rule; left out"},
        {"group polygon with an empty y feature", -1, R"({"filterGroups": [{"id": 0}, {"id": 4}, {"id": 2, "name": "g", "rules": [{"type": "Polygon",
          "featureName": "area_um", "featureNameY": "", "polygonVertices": [[0, 0], [1, 0], [0, 1]]}]}]})",
         "filter group \"g\": rule 1 (polygon): featureNameY \"\" names no feature; rule left out"},
        {"group polygon whose y feature is a number", -1, R"({"filterGroups": [{"id": 0}, {"id": 4}, {"id": 2, "name": "g", "rules": [{"type": "Polygon",
          "featureName": "area_um", "featureNameY": 3, "polygonVertices": [[0, 0], [1, 0], [0, 1]]}]}]})",
         "filter group \"g\": rule 1 (polygon): featureNameY 3 names no feature; rule left out"},
        {"spillover matrix not n*n", 0, R"({"spilloverMatrix": [1, 0, 1]})", "Zellen \u00b5: crosstalk channels or spillover matrix missing or unusable; the compensation is left out"},
        {"flow rate 0", 0, R"({"emodParams": {"flowRate": 0}})", "Zellen \u00b5: Young's modulus parameters missing or unusable; the modulus is left out"},
        {"switch that is no boolean", 2, R"({"fcDeformApplied": "yes"})", "b.rtdc: Fourier deformation switch \"yes\" replaced by off"},
        {"window state that is no object", -1, R"({"statEvalWindows": [3]})", "statistical evaluation window 1: no window state; window left out"},
        {"no name, no path", 2, R"({"filePath": null, "contourMode": -1})", "dataset 3: contour mode -1 replaced by off"},
        // Values of another type than stored, each named where it was.
        {"datasets no array", -1, R"({"datasets": 5})", "session: datasets 5 left out"},
        {"dataset no object", -1, R"({"datasets": [3, {}]})", "dataset 1: 3 is no dataset; read as an empty one"},
        {"filter no object", 2, R"({"filter": 5})", "b.rtdc: filter 5 replaced by no filter"},
        {"filter rules no array", 2, R"({"filter": {"rules": {}}})", "b.rtdc: filter rules an object left out"},
        {"path no text", 2, R"({"filePath": 4, "displayName": "B"})", "B: measurement path 4 replaced by none"},
        {"display name no text", 2, R"({"displayName": 4})", "b.rtdc: display name 4 replaced by the file name"},
        {"x feature no text", 2, R"({"xFeatureName": 5})", "b.rtdc: x feature 5 replaced by the default"},
        {"colour feature no text", 2, R"({"colorFeatureName": ["a"]})", "b.rtdc: colour feature an array replaced by none"},
        {"duplicate mark no boolean", 2, R"({"isDuplicate": "true"})", "b.rtdc: duplicate mark \"true\" replaced by off"},
        {"duplicate source as text", 1, R"({"duplicateOfIndex": "0"})", "dataset 2: copy naming no earlier original dataset (\"0\") left out"},
        {"fingerprint no object", 2, R"({"fingerprint": 5})", "b.rtdc: fingerprint 5 replaced by none"},
        {"fingerprint size as text", 0, R"({"fingerprint": {"fileSize": "big", "eventCount": 6, "featureHash": "0123456789ab"}})", "Zellen \u00b5: fingerprint file size \"big\" left out"},
        {"group switches no array", 0, R"({"groupEnabled": {}})", "Zellen \u00b5: filter group switches an object left out"},
        {"group switch no object", 0, R"({"groupEnabled": [3]})", "Zellen \u00b5: filter group switch 3 left out"},
        {"group switch id as text", 0, R"({"groupEnabled": [{"groupId": "4", "enabled": true}]})", "Zellen \u00b5: switch of filter group \"4\", which the session does not hold, left out"},
        {"group switch no boolean", 0, R"({"groupEnabled": [{"groupId": 4, "enabled": "yes"}]})", "Zellen \u00b5: switch of filter group 4: \"yes\" replaced by off"},
        {"crosstalk channel as text", 0, R"({"ctcChannels": ["1", 2]})", "Zellen \u00b5: crosstalk channel \"1\" replaced by 0"},
        {"spillover value as text", 0, R"({"spilloverMatrix": [1, "x", 0.2, 1]})", "Zellen \u00b5: spillover value \"x\" replaced by 0"},
        {"temperature as text", 0, R"({"emodParams": {"flowRate": 0.16, "temperature": "warm"}})", "Zellen \u00b5: Young's modulus temperature \"warm\" replaced by 23"},
        {"medium null", 0, R"({"emodParams": {"flowRate": 0.16, "medium": null}})", "Zellen \u00b5: Young's modulus medium null replaced by 1"},
        {"pixel size array", 0, R"({"emodParams": {"pixelSize": [1]}})", "Zellen \u00b5: Young's modulus pixel size an array replaced by 0.34"},
        {"viscosity as text", 0, R"({"emodParams": {"manualViscosity": "thick"}})", "Zellen \u00b5: Young's modulus viscosity \"thick\" replaced by 0"},
        {"deformation feature number", 0, R"({"emodParams": {"deformFeature": 3}})", "Zellen \u00b5: Young's modulus deformation feature 3 replaced by deform"},
        {"pixelation switch as text", 0, R"({"emodParams": {"applyPixelationCorrection": "no"}})", "Zellen \u00b5: Young's modulus pixelation correction switch \"no\" replaced by on"},
        {"group rules no array", -1, R"({"filterGroups": [{"id": 0, "name": "g0", "rules": "x"}, {"id": 4}, {"id": 2}]})", "filter group \"g0\": rules \"x\" left out"},
        {"group name no text", -1, R"({"filterGroups": [{"id": 0, "name": 7}, {"id": 4}, {"id": 2}]})", "filter group 1: name 7 replaced by an empty name"},
        {"group no object", -1, R"({"filterGroups": [{"id": 0}, {"id": 4}, {"id": 2}, "g"]})", "filter group 4: \"g\" is no group; left out"},
        {"filter groups no array", -1, R"({"filterGroups": {}, "nextGroupId": 0, "datasets": []})", "session: filter groups an object left out"},
        {"next group id as text", -1, R"({"nextGroupId": "3"})", "session: next filter group id \"3\" replaced by 5"},
        {"main window no object", -1, R"({"mainWindow": []})", "session: main window settings an array replaced by defaults"},
        {"colour map as text", -1, R"({"mainWindow": {"colorMapIndex": "3", "activeDatasetIndex": 1}})", "main window: colour map \"3\" replaced by 0"},
        {"active dataset as text", -1, R"({"mainWindow": {"activeDatasetIndex": "1", "colorMapIndex": 3}})", "main window: active dataset \"1\" replaced by the first"},
        {"active dataset as text, no datasets", -1, R"({"mainWindow": {"activeDatasetIndex": "1"}, "datasets": []})", "main window: active dataset \"1\" replaced by none"},
        {"expert mode no boolean", -1, R"({"mainWindow": {"expertMode": 1, "activeDatasetIndex": 1, "colorMapIndex": 3}})", "main window: expert mode 1 replaced by off"},
        {"combined plot windows no array", -1, R"({"combineWindows": {"displayMode": 1}})", "session: combined plot windows an object left out"},
        {"statistics windows no array", -1, R"({"statEvalWindows": "none"})", "session: statistical evaluation windows \"none\" left out"},
    };
    // clang-format on
    for (const auto& [rule, index, patch, expected] : cases) {
        const SessionParseResult read = parseSessionDocument(patched(index, patch));
        ASSERT_TRUE(read.ok) << rule;
        std::vector<QString> added = repairsOfAll(read.document);
        for (const QString& line : base) {
            const auto found = std::find(added.begin(), added.end(), line);
            if (found != added.end())
                added.erase(found);
        }
        EXPECT_EQ(added, std::vector<QString>{QString::fromUtf8(expected)}) << rule;
    }

    // The range rule is kept with its default, also on a feature no
    // measurement may have; the polygon and the rules without a feature
    // name are not kept.
    const SessionDocument kept =
        parseSessionDocument(patched(2, R"({"filter": {"rules": [{"type": "Polygon",
            "polygonVertices": [[1, 2], [3, 4]]}, {"featureName": "x", "minValue": "abc"},
            {"featureName": 17}, 3, {"featureName": "no_such_feature", "maxValue": 2}]}})"))
            .document;
    const SessionDataset& b = kept.datasets[2];
    ASSERT_EQ(b.filter.ruleCount(), 2u);
    EXPECT_EQ(b.filter.rules()[0].featureName, "x");
    EXPECT_EQ(b.filter.rules()[0].minValue, 0.0);
    EXPECT_EQ(b.filter.rules()[1].featureName, "no_such_feature");
    EXPECT_EQ(b.filter.rules()[1].maxValue, 2.0);

    // Missing keys are no damage.
    EXPECT_EQ(repairsOfAll(parseSessionDocument(patched(2, R"({"filePath": null})")).document),
              base);
    // Those of a dataset that was not restored are not listed; a copy naming
    // no original is, since it is what was left out.
    const SessionDocument damaged =
        parseSessionDocument(
            patched(2, R"({"contourMode": 9, "isDuplicate": true, "duplicateOfIndex": 8})"))
            .document;
    EXPECT_EQ(sessionLoadRepairs(damaged, {{1, 5}}),
              std::vector<QString>{QStringLiteral("b.rtdc: copy naming no earlier original "
                                                  "dataset (8) left out")});
    EXPECT_EQ(repairsOfAll(parseSessionDocument(
                               R"({"version": 1, "datasets": [{}], "combineWindows": [{}]})")
                               .document),
              std::vector<QString>{});
}

/// Every value of `value` and below with the path to it, window states
/// aside (their windows read them).
void collectPaths(const QJsonValue& value, const QStringList& path,
                  std::vector<QStringList>& paths) {
    if (!path.isEmpty())
        paths.push_back(path);
    if (path.size() == 2 && path[0].endsWith(QLatin1String("Windows")))
        return;
    if (value.isObject()) {
        const QJsonObject o = value.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!path.isEmpty() || (it.key() != "version" && it.key() != "savedAt"))
                collectPaths(*it, path + QStringList{it.key()}, paths);
    } else if (value.isArray()) {
        const QJsonArray a = value.toArray();
        for (int i = 0; i < a.size(); ++i)
            collectPaths(a[i], path + QStringList{QString::number(i)}, paths);
    }
}

/// `root` with the value at `path` replaced.
QJsonValue replacedAt(const QJsonValue& root, const QStringList& path, const QJsonValue& value) {
    if (path.isEmpty())
        return value;
    const QStringList rest = path.mid(1);
    if (root.isArray()) {
        QJsonArray a = root.toArray();
        const int i = path[0].toInt();
        a[i] = replacedAt(a[i], rest, value);
        return a;
    }
    QJsonObject o = root.toObject();
    o[path[0]] = replacedAt(o[path[0]], rest, value);
    return o;
}

/// The stored value at `path`.
QJsonValue valueAt(QJsonValue value, const QStringList& path) {
    for (const QString& key : path)
        value = value.isArray() ? value.toArray()[key.toInt()] : value.toObject()[key];
    return value;
}

// Any value stored as another JSON type than written that changes what the
// load restores is named: no value is replaced or left out without a word.
TEST(SessionFileRead, EveryValueOfAnotherTypeThatChangesTheRestoredStateIsNamed) {
    const QJsonObject base = sessionDocumentToJson(parseSessionDocument(kBase).document, kSavedAt);
    const QJsonObject restoredBase = sessionDocumentToJson(
        parseSessionDocument(QJsonDocument(base).toJson()).document, kSavedAt);
    const std::size_t baseLines =
        repairsOfAll(parseSessionDocument(QJsonDocument(base).toJson()).document).size();
    std::vector<QStringList> paths;
    collectPaths(base, {}, paths);
    ASSERT_GT(paths.size(), 100u);
    const QJsonValue text(QStringLiteral("x")), number(5), flag(true), null(QJsonValue::Null),
        array(QJsonArray{1}), object(QJsonObject{{QStringLiteral("a"), 1}});
    int changed = 0;
    for (const QStringList& path : paths) {
        const QJsonValue stored = valueAt(base, path);
        // "inf", "-inf" and "nan" stand for numbers.
        const bool numeric = stored.isDouble() || (stored.isString() && isNumberWord(stored));
        std::vector<QJsonValue> others;
        for (const QJsonValue& other : {text, number, flag, null, array, object})
            if (other.type() != stored.type() && !(numeric && other.isDouble()))
                others.push_back(other);
        for (const QJsonValue& other : others) {
            const QJsonObject damaged = replacedAt(base, path, other).toObject();
            const SessionParseResult read = parseSessionDocument(QJsonDocument(damaged).toJson());
            ASSERT_TRUE(read.ok);
            if (sessionDocumentToJson(read.document, kSavedAt) == restoredBase)
                continue;
            ++changed;
            EXPECT_GT(repairsOfAll(read.document).size(), baseLines)
                << path.join(QLatin1Char('/')).toStdString() << " = "
                << QJsonDocument(QJsonArray{other}).toJson(QJsonDocument::Compact).constData();
        }
    }
    EXPECT_GT(changed, 250);
}

// A polygon needs 3 corners to filter anything, and 3 usable ones are
// enough: such a rule comes back in a dataset's filter and in a group, also
// from a file written again; the corner that could not be used is named.
TEST(SessionFileRead, APolygonOfThreeUsableVerticesComesBack) {
    const QJsonObject triangle = object(R"({"type": "Polygon", "featureName": "area_um",
        "featureNameY": "deform", "polygonVertices": [[10, 0.01], [50, 0.01], ["x", 1], [30, 0.05]]})");
    const QJsonObject segment =
        object(R"({"type": "Polygon", "polygonVertices": [[1, 2], [3, 4]]})");
    QJsonObject root = object(patched(2, "{}"));
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    QJsonObject b = datasets[2].toObject();
    b[QStringLiteral("filter")] =
        QJsonObject{{QStringLiteral("rules"), QJsonArray{segment, triangle}}};
    datasets[2] = b;
    root[QStringLiteral("datasets")] = datasets;
    QJsonArray groups = root[QStringLiteral("filterGroups")].toArray();
    QJsonObject group = groups[2].toObject();
    group[QStringLiteral("rules")] = QJsonArray{triangle};
    groups[2] = group;
    root[QStringLiteral("filterGroups")] = groups;

    const std::vector<std::pair<double, double>> corners = {{10, 0.01}, {50, 0.01}, {30, 0.05}};
    const SessionDocument read = parseSessionDocument(QJsonDocument(root).toJson()).document;
    const SessionDocument again =
        parseSessionDocument(serializeSessionDocument(read, kSavedAt)).document;
    for (const SessionDocument* doc : {&read, &again}) {
        const EventFilter& filter = doc->datasets[2].filter;
        ASSERT_EQ(filter.ruleCount(), 1);
        EXPECT_EQ(filter.rules()[0].polygonVertices, corners);
        ASSERT_EQ(doc->filterGroups.size(), 3u);
        EXPECT_EQ(doc->filterGroups[2].id, 2);
        ASSERT_EQ(doc->filterGroups[2].rules.size(), 1u);
        EXPECT_EQ(doc->filterGroups[2].rules[0].polygonVertices, corners);
    }
    const std::vector<QString> lines = repairsOfAll(read);
    for (const char* line :
         {"b.rtdc: filter rule 1 (polygon on /): only 2 vertices usable; rule left out",
          "b.rtdc: filter rule 2 (polygon on area_um/deform): 1 vertex that is no pair of finite "
          "numbers left out",
          "filter group 3: rule 1 (polygon on area_um/deform): 1 vertex that is no pair of "
          "finite numbers left out"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), QString::fromUtf8(line)), lines.end())
            << line;
}

// The one box at the end of a load: both lists, every line of them (the
// box shows the first ones, its details all).
TEST(SessionLoadReport, ListsEveryRepairAndFailure) {
    EXPECT_EQ(sessionLoadReport({}, {}), QString());
    EXPECT_EQ(sessionLoadReport({QStringLiteral("a: x")}, {QStringLiteral("b: y")}),
              QStringLiteral("Some stored values could not be used; they were replaced by their "
                             "defaults or left out:\n\u2022 a: x\n\nDerived features could not "
                             "be computed again:\n\u2022 b: y"));
    const std::vector<QString> many(45, QStringLiteral("d: v"));
    const QString text = sessionLoadReport(many, {QStringLiteral("b: y")});
    EXPECT_EQ(text.count(QStringLiteral("\u2022")), 46);
    EXPECT_TRUE(text.endsWith(QStringLiteral("be computed again:\n\u2022 b: y")));
}

TEST(SessionFileRead, OnlyPositiveWholeVersionsOfAnObjectAreAccepted) {
    const std::tuple<const char*, bool, bool, const char*> cases[] = {
        {R"({"version": 2})", true, true, ""},
        {R"({"version": 1})", true, false, ""},
        {R"({"version": 0})", false, false, kSessionUnrecognizedFormat},
        {R"({"version": "1"})", false, false, kSessionUnrecognizedFormat},
        {R"({"datasets": []})", false, false, kSessionUnrecognizedFormat},
        {R"([{"version": 1}])", false, false, kSessionUnrecognizedFormat},
        {R"({"version": 1)", false, false, kSessionInvalidPrefix},
    };
    for (const auto& [bytes, ok, newer, error] : cases) {
        const SessionParseResult read = parseSessionDocument(bytes);
        EXPECT_TRUE(read.ok == ok && read.newerVersion == newer) << bytes;
        EXPECT_EQ(read.error.left(int(std::strlen(error))), QLatin1String(error)) << bytes;
    }
}

// Non-finite values are never written as null (which reads back as 0).
TEST(SessionFileWrite, SaveLoadSaveIsIdenticalWithInfiniteBoundsKept) {
    const QByteArray first =
        serializeSessionDocument(parseSessionDocument(kBase).document, kSavedAt);
    EXPECT_TRUE(first.contains(R"("savedAt": "2023-11-14T22:13:20Z")") && !first.contains("null"));
    EXPECT_TRUE(first.contains(R"("minValue": "-inf")") && first.contains(R"("maxValue": "inf")") &&
                first.contains(R"("manualViscosity": "nan")"));
    EXPECT_EQ(serializeSessionDocument(parseSessionDocument(first).document, kSavedAt), first);
}

// Damaged files: values replaced on random lines of a valid file (mostly
// still JSON), on odd rounds also random bytes. No crash or hang (the
// sanitizer run), and whatever is accepted is a fixed point of writing and
// reading again.
TEST(SessionFileRead, FiveHundredMutatedFilesAreReadSafely) {
    const QByteArray valid = serializeSessionDocument(parseSessionDocument(kBase).document);
    const char* const tokens[] = {
        "-1", "0.5",  "1e308",   "2147483648", "\"inf\"",          "null",      "[]",
        "{}", "true", "\"NOT\"", "[1, 2]",     "9007199254740993", "\"a.rtdc\""};
    const auto rewritten = [](const QByteArray& bytes) {
        return serializeSessionDocument(parseSessionDocument(bytes).document, kSavedAt)
            .toStdString();
    };
    std::mt19937 random(20231114);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    int accepted = 0;
    for (int round = 0; round < 500; ++round) {
        QList<QByteArray> lines = valid.split('\n');
        for (int k = 0; k <= pick(3); ++k) {
            QByteArray& line = lines[pick(lines.size())];
            const int colon = line.indexOf("\": ");
            if (colon >= 0)
                line = line.left(colon + 3) + tokens[pick(13)] + (line.endsWith(',') ? "," : "");
        }
        QByteArray bytes = lines.join('\n');
        for (int k = 0; round % 2 == 1 && k <= pick(4); ++k)
            bytes[pick(bytes.size())] = "{}[]\",:-0e9"[pick(11)];
        const bool ok = parseSessionDocument(bytes).ok;
        accepted += ok ? 1 : 0;
        if (ok) {
            ASSERT_EQ(rewritten(rewritten(bytes).c_str()), rewritten(bytes)) << bytes.constData();
        }
    }
    EXPECT_GT(accepted, 150);
}

TEST(SessionFileRead, DuplicatesComeBackAfterTheirSourcesAndTheActiveDatasetByItsId) {
    const SessionDocument doc = parseSessionDocument(kBase).document;
    const auto duplicates = duplicatesToRecreate(doc, {{0, 7}, {2, 9}});
    EXPECT_TRUE(duplicates.size() == 1 && duplicates[0].sessionIndex == 1 &&
                duplicates[0].sourceId == 7);
    EXPECT_TRUE(duplicatesToRecreate(doc, {{2, 9}}).empty()); // its source was skipped
    EXPECT_EQ(activeDatasetId(doc, {{0, 7}, {1, 8}}), 8);
    EXPECT_EQ(activeDatasetId(doc, {{0, 7}}), -1);
}

// ---- measurements on disk ----------------------------------------------------

std::shared_ptr<RTDCReader> openReader(const QString& path, int extraColumns = -1) {
    if (extraColumns >= 0) {
        testing::RtdcFixtureWriter w(path.toStdString());
        w.addColumn<double>("area_um", {1, 2, 3});
        w.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
        for (int k = 0; k < extraColumns; ++k)
            w.addColumn<double>("bright_avg", {1, 1, 1});
    }
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->openFile(path.toStdString()));
    return reader;
}

std::unique_ptr<DatasetEntry> entryOf(const std::shared_ptr<RTDCReader>& reader) {
    auto entry = std::make_unique<DatasetEntry>();
    entry->reader = reader;
    entry->filePath = reader->getFilename();
    entry->displayName = QStringLiteral("a.rtdc");
    return entry;
}

TEST(SessionDatasets, PathsFingerprintsAndDuplicatesMatchPythonsReading) {
    testing::TempDir tmp;
    const QString root = QString::fromStdString(tmp.path()), moved = root + "/moved";
    ASSERT_TRUE(QDir(root).mkpath("x/meas") && QDir(root).mkpath("x/sess"));
    auto a = openReader(root + "/x/meas/a.rtdc", 0);
    a->addCalculatedFeature("emodulus", {1, 2, 3}); // leaves the hash unchanged
    std::vector<std::unique_ptr<DatasetEntry>> entries;
    for (const auto& reader : {a, a, a, openReader(root + "/x/meas/b.rtdc", 1)})
        entries.push_back(entryOf(reader));
    const QString sessionPath = withSessionSuffix(root + "/x/sess/s");
    SessionDocument doc;
    doc.datasets = sessionDatasetsFromEntries(entries, sessionFolder(sessionPath));
    EXPECT_EQ(doc.datasets[3].filePath, "../meas/b.rtdc");
    EXPECT_EQ(sessionDatasetsFromEntries(entries, QDir(root + "/x/meas"))[0].filePath, "a.rtdc");
    QString error;
    ASSERT_TRUE(writeSessionFile(sessionPath, doc, &error));
    EXPECT_FALSE(writeSessionFile(root + "/none/s.QV3", doc, &error));
    EXPECT_EQ(error, kSessionWriteFailedPrefix + root + "/none/s.QV3");
    const auto lines = testing::runPythonOracle(QUORVEX3_SESSION_TEST_DIR "/session_oracle.py",
                                                sessionPath.toStdString());
    ASSERT_EQ(lines.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(lines[i].kind == (i % 3 ? "DUP" : "OK") &&
                    lines[i].groups[0][1] == (i % 3 ? 0 : -1))
            << i;

    // Moved together, the stored paths still lead to the files; folders do not.
    ASSERT_TRUE(QDir().rename(root + "/x", moved));
    const QDir sessionDir = sessionFolder(moved + "/sess/s.QV3");
    doc = readSessionFile(moved + "/sess/s.QV3").document;
    EXPECT_EQ(readSessionFile(moved + "/s.QV3").error, kSessionReadFailedPrefix + moved + "/s.QV3");
    const ResolvedDatasetPath found =
        resolveStoredDatasetPath(doc.datasets[3].filePath, sessionDir);
    EXPECT_TRUE(found.found && found.absolutePath == moved + "/meas/b.rtdc");
    for (const char* missing : {"", "../meas", "c.rtdc"})
        EXPECT_FALSE(resolveStoredDatasetPath(missing, sessionDir).found) << missing;

    // An unchanged file matches; one event or one stored feature more does not.
    const QString movedA = moved + "/meas/a.rtdc";
    const SessionFingerprint unchanged = fingerprintOf(*openReader(movedA), movedA);
    EXPECT_TRUE(fingerprintMatches(doc.datasets[0].fingerprint, unchanged));
    SessionFingerprint oneEventMore = unchanged;
    oneEventMore.eventCount = 4;
    EXPECT_FALSE(fingerprintMatches(doc.datasets[0].fingerprint, oneEventMore));
    EXPECT_EQ(computeFeatureHash({"deform", "area_um"}), unchanged.featureHash); // sorts
    entries.clear();
    a->closeFile();
    const auto changed = openReader(movedA, 1);
    EXPECT_FALSE(fingerprintMatches(doc.datasets[0].fingerprint, fingerprintOf(*changed, movedA)));

    // Applied to the reopened dataset (3 events, fluorescence channels 1 and 2, then 1).
    SessionDataset stored = parseSessionDocument(kBase).document.datasets[0];
    stored.displayName.clear(); // keeps the entry's
    DatasetEntry& entry = *entries.emplace_back(entryOf(changed));
    applySessionDataset(stored, entry, {1, 2});
    EXPECT_TRUE(entry.currentEventIndex == 2 && entry.spilloverMatrix.value()(1, 0) == 0.2 &&
                entry.groupEnabled.at(4) && entry.displayName == "a.rtdc");
    stored.currentEventIndex = 3;
    applySessionDataset(stored, entry, {1});
    EXPECT_TRUE(entry.currentEventIndex == -1 && !entry.ctcApplied);
}

} // namespace
} // namespace Quorvex3
