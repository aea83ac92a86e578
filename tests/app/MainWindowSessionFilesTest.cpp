// Session files through the main window's load: one crafted file per
// checked value (each taking its fallback), the derived features a restored
// dataset gets back when first shown, the end-to-end round trip and 500
// damaged files.
//
// Oracles: tests/app/session_flow_oracle.py (two session files compared as
// JSON apart from "savedAt") and tests/session/session_oracle.py (paths and
// fingerprints read back with json, h5py and hashlib).
#include "SessionTestFixture.h"

namespace Quorvex3 {
namespace {

using namespace sessiontest;

// ---- crafted files -------------------------------------------------------------------

// Each case changes one value of a saved session of a.rtdc (active) and
// b.rtdc; the load gives its fallback, checked on what the window shows.
TEST_F(Sessions, CraftedValuesTakeTheirFallbackOnLoad) {
    open("a.rtdc", 0.0, true);
    open("b.rtdc", 5.0, true);
    test::selectRow(*window, 0);
    save(path("base.QV3"));
    QDir().mkpath(path("folder"));
    const QJsonObject base = readJson(path("base.QV3"));
    ASSERT_FALSE(base.isEmpty());

    const auto found = [this]() -> const DatasetEntry* {
        for (const auto& entry : window->datasets())
            if (QFileInfo(QString::fromStdString(entry->filePath)).fileName() == "b.rtdc")
                return entry.get();
        return nullptr;
    };
    // Cases that read b's values fail, rather than crash, when b did not
    // come back; those that expect it gone ask `found`.
    const DatasetEntry missing;
    const auto b = [&]() -> const DatasetEntry* {
        if (const DatasetEntry* entry = found())
            return entry;
        ADD_FAILURE() << "b.rtdc was not restored";
        return &missing;
    };
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const struct {
        const char* rule;
        int dataset; // -1: the "mainWindow" object, -2: the root
        const char* patch;
        std::vector<Button> answers;
        std::function<bool()> holds;
    } cases[] = {
        {"event index past the last event", 1, R"({"currentEventIndex": 30})", {},
         [&] { return b()->currentEventIndex == -1; }},
        {"event index kept in range", 1, R"({"currentEventIndex": 29})", {},
         [&] { return b()->currentEventIndex == 29; }},
        {"contour mode 3", 1, R"({"contourMode": 3})", {}, [&] { return b()->contourMode == 0; }},
        {"contour mode 2 kept", 1, R"({"contourMode": 2})", {},
         [&] { return b()->contourMode == 2; }},
        {"scale mode 3", 1, R"({"scaleXMode": 3, "scaleYMode": 1})", {},
         [&] { return b()->scaleXMode == 0 && b()->scaleYMode == 1; }},
        {"contour fraction 1.5 and 0", 1, R"({"contourFraction1": 1.5, "contourFraction2": 0})",
         {}, [&] { return b()->contourFraction1 == 0.1 && b()->contourFraction2 == 0.67; }},
        {"colour map 6", -1, R"({"colorMapIndex": 6})", {},
         [&] { return window->colorMapIndex() == 0; }},
        {"colour map 4 kept", -1, R"({"colorMapIndex": 4})", {},
         [&] { return window->colorMapIndex() == 4; }},
        {"empty display name keeps the file name", 1, R"({"displayName": ""})", {},
         [&] { return b()->displayName == QStringLiteral("b.rtdc"); }},
        {"stored display name, also in the list", 1, R"({"displayName": "Probe B"})", {},
         [&] {
             return b()->displayName == QStringLiteral("Probe B") &&
                    test::part<QListWidget>(*window, "datasetList")
                        ->item(1)
                        ->text()
                        .contains(QStringLiteral("Probe B"));
         }},
        {"empty path names the session folder: not found", 1, R"({"filePath": ""})",
         {QMessageBox::No}, [&] {
             return !found() && callsTitled("Dataset Not Found").size() == 1 &&
                    callsTitled("Dataset Not Found")[0]->text.contains(
                        QString::fromStdString(dir.path()) + QStringLiteral("\n"));
         }},
        {"a folder: not found", 1, R"({"filePath": "folder"})", {QMessageBox::No},
         [&] { return !found() && callsTitled("Dataset Not Found").size() == 1; }},
        {"compensated channel the file lacks", 1,
         R"({"ctcApplied": true, "ctcChannels": [1, 7], "spilloverMatrix": [1, 0, 0, 1]})", {},
         [&] { return !b()->ctcApplied && b()->ctcChannels.empty(); }},
        {"compensation kept", 1,
         R"({"ctcApplied": true, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0.2, 0, 1]})", {},
         [&] { return b()->ctcApplied && b()->spilloverMatrix.value()(0, 1) == 0.2; }},
        {"modulus with flow rate 0", 1,
         R"({"emodApplied": true, "emodParams": {"flowRate": 0}})", {},
         [&] { return !b()->emodApplied; }},
        {"modulus kept", 1, R"({"emodApplied": true, "emodParams": {"flowRate": 0.12}})", {},
         [&] { return b()->emodApplied && b()->emodParams.flowRate == 0.12; }},
        {"switch of an unknown group", 1, R"({"groupEnabled": [{"groupId": 9, "enabled": true}]})",
         {}, [&] { return b()->groupEnabled.count(9) == 0; }},
        {"a duplicate of itself is not recreated", 1,
         R"({"isDuplicate": true, "duplicateOfIndex": 1})", {},
         [&] { return window->datasets().size() == 1 && !found(); }},
        {"infinite bounds come back", 1,
         R"({"filter": {"enabled": true, "rules": [{"type": "Range", "featureName": "area_um",
             "minValue": "-inf", "maxValue": "inf"}]}})",
         {}, [&] {
             return b()->filter.isEnabled() && b()->filter.ruleCount() == 1 &&
                    b()->filter.rules()[0].minValue == -inf &&
                    b()->filter.rules()[0].maxValue == inf;
         }},
        {"a combined plot colour that is no colour takes the palette's", -2,
         R"({"combineWindows": [{"datasets": [{"datasetSessionIndex": 1, "color": "nonsense"},
             {"datasetSessionIndex": 0, "color": "#00ff00", "colorAlpha": 300}]}]})",
         {}, [&] {
             const auto& refs = window->combinePlotWindows().at(0)->references();
             return refs.size() == 2 && refs[0].datasetId == b()->id &&
                    refs[0].color == combinePaletteColor(0) &&
                    refs[1].color == QColor(0, 255, 0);
         }},
        {"a combined plot drops a dataset that did not come back", -2,
         R"({"combineWindows": [{"datasets": [{"datasetSessionIndex": 1}, {"datasetSessionIndex": 0}]}],
             "datasets": [{"filePath": "a.rtdc", "fingerprint": {}}, {"filePath": "gone.rtdc"}]})",
         {QMessageBox::Yes, QMessageBox::No}, [&] {
             const auto& refs = window->combinePlotWindows().at(0)->references();
             return refs.size() == 1 && refs[0].datasetId == window->datasets().at(0)->id;
         }},
        {"\"not\" reads as AND", 1, R"({"filter": {"enabled": true, "combineMode": "not"}})", {},
         [&] { return b()->filter.combineMode() == FilterCombineMode::AND; }},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        QJsonObject root = base;
        QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
        QJsonObject target = c.dataset == -2   ? root
                             : c.dataset == -1 ? root[QStringLiteral("mainWindow")].toObject()
                                               : datasets[c.dataset].toObject();
        const QJsonObject patch = QJsonDocument::fromJson(c.patch).object();
        ASSERT_FALSE(patch.isEmpty());
        for (auto it = patch.begin(); it != patch.end(); ++it)
            target.insert(it.key(), *it);
        if (c.dataset == -2) {
            root = target;
        } else if (c.dataset == -1) {
            root[QStringLiteral("mainWindow")] = target;
        } else {
            datasets[c.dataset] = target;
            root[QStringLiteral("datasets")] = datasets;
        }
        ASSERT_TRUE(writeText(path("crafted.QV3"), QJsonDocument(root).toJson()));
        dialogs.calls.clear();
        ASSERT_TRUE(load(path("crafted.QV3"), c.answers));
        EXPECT_TRUE(c.holds());
        EXPECT_EQ(window->activeDataset() ? window->activeDataset()->filePath : "",
                  dir.file("a.rtdc"));
    }

    // The infinite bounds are written as text again, never as null.
    const QJsonObject infinite = QJsonDocument::fromJson(R"({"filter": {"enabled": true, "rules":
        [{"type": "Range", "featureName": "area_um", "minValue": "-inf", "maxValue": "inf"}]}})")
                                     .object();
    QJsonObject root = base;
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    QJsonObject second = datasets[1].toObject();
    second.insert(QStringLiteral("filter"), infinite[QStringLiteral("filter")]);
    datasets[1] = second;
    root[QStringLiteral("datasets")] = datasets;
    ASSERT_TRUE(writeText(path("crafted.QV3"), QJsonDocument(root).toJson()));
    ASSERT_TRUE(load(path("crafted.QV3")));
    save(path("again.QV3"));
    const QByteArray again = readBytes(path("again.QV3"));
    EXPECT_TRUE(again.contains(R"("minValue": "-inf")") && again.contains(R"("maxValue": "inf")"));
    EXPECT_FALSE(again.contains("null"));
}

// The damaged values of one file are named together in one box at the end
// of the load, each with its dataset or window; the polygon that could
// filter nothing is not restored as a rule.
TEST_F(Sessions, DamagedValuesAreNamedInOneWarningAfterTheLoad) {
    open("a.rtdc");
    open("b.rtdc", 5.0);
    save(path("base.QV3"));
    QJsonObject root = readJson(path("base.QV3"));
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    QJsonObject b = datasets[1].toObject();
    b.insert(QStringLiteral("xFeatureName"), 5);
    b.insert(QStringLiteral("filter"), QJsonDocument::fromJson(R"({"enabled": true, "rules": [
        {"type": "Range", "featureName": "area_um", "minValue": "abc", "maxValue": 90},
        {"type": "Polygon", "featureName": "area_um", "featureNameY": "deform",
         "polygonVertices": [[60, 0.01], ["x", 0.02]]}]})")
                                           .object());
    datasets[1] = b;
    datasets.append(QJsonDocument::fromJson(
                        R"({"isDuplicate": true, "duplicateOfIndex": 7, "displayName": "copy"})")
                        .object());
    root[QStringLiteral("datasets")] = datasets;
    QJsonObject mainWindow = root[QStringLiteral("mainWindow")].toObject();
    mainWindow.insert(QStringLiteral("expertMode"), QStringLiteral("on"));
    root[QStringLiteral("mainWindow")] = mainWindow;
    root[QStringLiteral("filterGroups")] = QJsonArray{3};
    root[QStringLiteral("combineWindows")] = QJsonDocument::fromJson(R"([{"displayMode": 7,
        "datasets": [{"datasetSessionIndex": 0}, {"datasetSessionIndex": 9}]}])")
                                                 .array();
    ASSERT_TRUE(writeText(path("damaged.QV3"), QJsonDocument(root).toJson()));
    clear();
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("damaged.QV3")));

    EXPECT_EQ(dialogs.count(DialogCall::Warning), 1);
    const auto boxes = callsTitled("Load Session");
    ASSERT_EQ(boxes.size(), 2u); // the file dialog, then the warning
    const QString text = boxes[1]->text;
    for (const char* line :
         {"b.rtdc: filter rule 1 (range on area_um): minimum \"abc\" replaced by 0",
          "b.rtdc: filter rule 2 (polygon on area_um/deform): only 1 vertex usable; rule "
          "left out",
          "copy: copy naming no earlier original dataset (7) left out",
          "combined plot window 1: display mode 7 replaced by \"Array\"",
          "combined plot window 1: dataset card naming no stored dataset (9) left out",
          "b.rtdc: x feature 5 replaced by the default",
          "main window: expert mode \"on\" replaced by off",
          "filter group 1: 3 is no group; left out"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();
    EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 2 dataset(s)"));
    ASSERT_EQ(window->datasets().size(), 2u);
    const EventFilter& filter = window->datasets()[1]->filter;
    ASSERT_EQ(filter.ruleCount(), 1u);
    EXPECT_EQ(filter.rules()[0].type, 0);
    EXPECT_EQ(filter.rules()[0].minValue, 0.0);
}

// A plotted feature the restored measurement cannot show is named with its
// dataset in the one box, and the plot shows its default; a derived one is
// judged once the load has computed it again, so it is not named.
TEST_F(Sessions, APlottedFeatureTheMeasurementLacksIsNamedInTheOneWarning) {
    open("a.rtdc", 0.0, true);
    open("b.rtdc", 5.0);
    DatasetEntry& a = *window->datasets()[0];
    a.fcDeformApplied = true;
    test::selectRow(*window, 1);
    test::selectRow(*window, 0);
    ASSERT_TRUE(a.reader->isCalculatedFeature("deform_fc"));
    save(path("base.QV3"));
    QJsonObject root = readJson(path("base.QV3"));
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    QJsonObject storedA = datasets[0].toObject();
    storedA.insert(QStringLiteral("xFeatureName"), QStringLiteral("deform_fc"));
    storedA.insert(QStringLiteral("yFeatureName"), QStringLiteral("no_such_feature"));
    datasets[0] = storedA;
    QJsonObject storedB = datasets[1].toObject();
    storedB.insert(QStringLiteral("colorFeatureName"), QStringLiteral("fl1_max"));
    datasets[1] = storedB;
    root[QStringLiteral("datasets")] = datasets;
    root[QStringLiteral("mainWindow")] = QJsonObject{{QStringLiteral("activeDatasetIndex"), 0}};
    ASSERT_TRUE(writeText(path("lacking.QV3"), QJsonDocument(root).toJson()));
    clear();
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("lacking.QV3")));

    const auto boxes = callsTitled("Load Session");
    ASSERT_EQ(boxes.size(), 2u); // the file dialog, then the one warning
    EXPECT_EQ(boxes[1]->kind, DialogCall::Warning);
    const QString text = boxes[1]->text;
    for (const char* line :
         {"a.rtdc: y feature \"no_such_feature\", which the measurement cannot show, replaced by "
          "the default",
          "b.rtdc: colour feature \"fl1_max\", which the measurement cannot show, replaced by "
          "none"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("deform_fc"))) << text.toStdString();
    ASSERT_EQ(window->datasets().size(), 2u);
    EXPECT_EQ(window->store().activeRow(), 0);
    const auto combo = [this](const char* name) {
        const auto* box = window->findChild<QComboBox*>(QLatin1String(name));
        return box ? box->currentData().toString() : QString();
    };
    EXPECT_EQ(combo("xFeatureCombo"), QStringLiteral("deform_fc"));
    EXPECT_EQ(combo("yFeatureCombo"), QStringLiteral("deform"));
    EXPECT_TRUE(window->datasets()[1]->colorFeatureName.empty());
}

// A session of 200 unusable values gave a box of 40 of them, taller than
// the screen, and "… and 160 more" that could be read nowhere: the box
// shows the first ones, its details every one.
TEST_F(Sessions, EveryDamagedValueOfALongReportIsInTheBoxOrItsDetails) {
    open("a.rtdc");
    save(path("base.QV3"));
    QJsonObject root = readJson(path("base.QV3"));
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    QJsonObject a = datasets[0].toObject();
    QJsonArray rules;
    std::vector<QString> problems;
    for (int i = 1; i <= 200; ++i) {
        rules.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("Range")},
                                 {QStringLiteral("featureName"), QStringLiteral("area_um")},
                                 {QStringLiteral("minValue"), QStringLiteral("abc")},
                                 {QStringLiteral("maxValue"), 90}});
        problems.push_back(
            QStringLiteral("a.rtdc: filter rule %1 (range on area_um): minimum \"abc\" replaced "
                           "by 0")
                .arg(i));
    }
    a.insert(QStringLiteral("filter"),
             QJsonObject{{QStringLiteral("enabled"), true}, {QStringLiteral("rules"), rules}});
    datasets[0] = a;
    root[QStringLiteral("datasets")] = datasets;
    ASSERT_TRUE(writeText(path("damaged.QV3"), QJsonDocument(root).toJson()));
    clear();
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("damaged.QV3")));

    const auto boxes = callsTitled("Load Session");
    ASSERT_EQ(boxes.size(), 2u); // the file dialog, then the one warning
    EXPECT_EQ(boxes[1]->kind, DialogCall::Warning);
    const QString& text = boxes[1]->text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Some stored values could not be used; they were "
                                               "replaced by their defaults or left out:\n\u2022 ") +
                                problems.front()))
        << text.toStdString();
    EXPECT_LE(text.count(QLatin1Char('\n')), 15) << text.toStdString();
    int shownNowhere = 0;
    for (const QString& line : problems)
        shownNowhere += text.contains(line) || boxes[1]->details.contains(line) ? 0 : 1;
    EXPECT_EQ(shownNowhere, 0);
}

// ---- derived features ----------------------------------------------------------------

/// Every derived feature of the session fixture, "_rf" standing for the
/// refined fluorescence features.
bool hasComputed(const RTDCReader& reader, const std::string& feature) {
    for (const std::string& name : reader.getAvailableFeatures()) {
        if (!reader.isCalculatedFeature(name))
            continue;
        if (feature == "_rf" ? name.size() > 3 && name.compare(name.size() - 3, 3, "_rf") == 0
                             : name == feature)
            return true;
    }
    return false;
}

/// The statistical summary export's table over every open dataset.
std::string summaryOfAll(const MainWindow& window, const std::vector<std::string>& features) {
    StatSummaryResult result;
    result.features = features;
    result.allDatasets = true;
    std::vector<StatSummarySource> sources;
    for (const auto& entry : window.datasets())
        sources.push_back({entry->displayName.toStdString(), entry->reader.get(),
                           window.store().buildEffectiveFilter(entry.get())});
    return buildStatSummaryTable(sources, result);
}

// Young's modulus for both datasets (and the other computations), crosstalk
// compensation for one: right after the load, before any dataset but the
// active one was shown, every dataset has its derived features again, the
// summary export gives the numbers it gave before the save, and the
// statistics window keeps "emodulus" selected.
TEST_F(Sessions, AppliedComputationsOfEveryDatasetAreRedoneBeforeTheWindowsComeBack) {
    const QString program = lutFolder(dir);
    ASSERT_FALSE(program.isEmpty());
    window->findChild<EModulus*>()->setLUTSearchDir(program);
    open("a.rtdc", 0.0, true);
    open("b.rtdc", 5.0, true);
    for (const auto& entry : window->datasets()) {
        entry->flRefinementApplied = true;
        entry->emodApplied = true;
        entry->emodParams.flowRate = 0.16;
        entry->emodParams.pixelationCorrection = false;
        entry->fcDeformApplied = true;
        entry->imageFeaturesApplied = true;
    }
    DatasetEntry& b = *window->datasets()[1];
    b.ctcApplied = true;
    b.ctcChannels = {1, 2};
    b.spilloverMatrix = arma::mat{{1.0, 0.1}, {0.05, 1.0}};
    // Shown again each, so both have their features before the save.
    test::selectRow(*window, 0);
    test::selectRow(*window, 1);
    test::selectRow(*window, 0);
    const std::vector<std::string> features = {"emodulus", "fl1_max_ctc", "deform_fc",
                                               imageFeatureNames().front(), "area_um"};
    const std::string before = summaryOfAll(*window, features);
    ASSERT_TRUE(hasComputed(*b.reader, "emodulus") && hasComputed(*b.reader, "fl1_max_ctc"));
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    window->statisticalEvalWindows().at(0)->restoreState(
        QJsonDocument::fromJson(R"({"categories": [
            {"name": "A", "entries": [{"datasetSessionIndex": 0}]},
            {"name": "B", "entries": [{"datasetSessionIndex": 1}]}],
            "selectedFeatures": ["emodulus"]})")
            .object(),
        {{0, window->datasets()[0]->id}, {1, b.id}});
    const QJsonArray selected =
        window->statisticalEvalWindows()
            .at(0)
            ->saveState(window->datasets())[QStringLiteral("selectedFeatures")]
            .toArray();
    ASSERT_EQ(selected, QJsonArray{QStringLiteral("emodulus")});
    save(path("s.QV3"));
    clear();
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("s.QV3")));
    ASSERT_EQ(window->datasets().size(), 2u);
    EXPECT_EQ(window->store().activeRow(), 0);

    const std::string results[] = {"_rf", "emodulus", "deform_fc", imageFeatureNames().front()};
    for (const auto& entry : window->datasets())
        for (const std::string& feature : results)
            EXPECT_TRUE(hasComputed(*entry->reader, feature)) << feature;
    EXPECT_TRUE(hasComputed(*window->datasets()[1]->reader, "fl1_max_ctc"));
    EXPECT_EQ(summaryOfAll(*window, features), before);
    ASSERT_EQ(window->statisticalEvalWindows().size(), 1u);
    EXPECT_EQ(window->statisticalEvalWindows()
                  .at(0)
                  ->saveState(window->datasets())[QStringLiteral("selectedFeatures")]
                  .toArray(),
              selected);
    EXPECT_EQ(dialogs.count(DialogCall::Warning), 0);
}

// A computation that cannot be redone (the look-up table is gone) leaves
// the load going; the dataset is named in the one box at its end.
TEST_F(Sessions, AComputationThatCannotBeRedoneNamesItsDatasetInOneWarning) {
    const QString program = lutFolder(dir);
    window->findChild<EModulus*>()->setLUTSearchDir(program);
    open("a.rtdc", 0.0, true);
    open("b.rtdc", 5.0, true);
    for (const auto& entry : window->datasets()) {
        entry->emodApplied = true;
        entry->emodParams.flowRate = 0.16;
    }
    window->datasets()[1]->displayName = QStringLiteral("Probe B");
    save(path("s.QV3"));
    clear();
    window->findChild<EModulus*>()->setLUTSearchDir(path("nowhere"));
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("s.QV3")));
    ASSERT_EQ(window->datasets().size(), 2u);
    const auto boxes = callsTitled("Load Session");
    ASSERT_EQ(boxes.size(), 2u); // the file dialog and the one warning
    EXPECT_EQ(boxes[1]->kind, DialogCall::Warning);
    EXPECT_TRUE(boxes[1]->text.contains(QStringLiteral("a.rtdc: Young's modulus")));
    EXPECT_TRUE(boxes[1]->text.contains(QStringLiteral("Probe B: Young's modulus")));
    EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 2 dataset(s)"));
    // The computation stays applied: the next save keeps it.
    EXPECT_TRUE(window->datasets()[1]->emodApplied);
}

// An applied computation that the measurement cannot give again is named in
// the one box rather than skipped: Fourier deformation and image features
// need images and masks, the refinement fluorescence channels, the modulus
// "area_um" and "deform". The switches stay as saved.
TEST_F(Sessions, AComputationTheMeasurementCannotGiveAgainIsNamed) {
    open("plain.rtdc");
    DatasetEntry& plain = *window->datasets()[0];
    plain.flRefinementApplied = true;
    plain.fcDeformApplied = true;
    plain.imageFeaturesApplied = true;
    save(path("s.QV3"));
    // The modulus of a measurement without deformation.
    QJsonObject root = readJson(path("s.QV3"));
    QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
    RtdcFixtureWriter(dir.file("areas.rtdc")).addColumn<double>("area_um", {50.0, 60.0, 70.0});
    QJsonObject areas = datasets[0].toObject();
    for (const char* key : {"flRefinementApplied", "fcDeformApplied", "imageFeaturesApplied"})
        areas.insert(QLatin1String(key), false);
    areas.insert(QStringLiteral("filePath"), QStringLiteral("areas.rtdc"));
    areas.insert(QStringLiteral("displayName"), QStringLiteral("areas"));
    areas.insert(QStringLiteral("emodApplied"), true);
    areas.insert(QStringLiteral("emodParams"), QJsonObject{{QStringLiteral("flowRate"), 0.16}});
    datasets.append(areas);
    root[QStringLiteral("datasets")] = datasets;
    ASSERT_TRUE(writeText(path("s.QV3"), QJsonDocument(root).toJson()));
    clear();
    dialogs.calls.clear();
    // The changed fingerprint of the second measurement is confirmed.
    ASSERT_TRUE(load(path("s.QV3"), {QMessageBox::Yes}));
    ASSERT_EQ(window->datasets().size(), 2u);

    const auto boxes = callsTitled("Load Session");
    ASSERT_EQ(boxes.size(), 2u); // the file dialog and the one warning
    EXPECT_EQ(boxes[1]->kind, DialogCall::Warning);
    for (const char* line :
         {"plain.rtdc: fluorescence peak refinement could not be computed again: the "
          "measurement has no fluorescence channels",
          "plain.rtdc: Fourier deformation could not be computed again: the measurement has no "
          "segmentation masks",
          "plain.rtdc: image features could not be computed again: the measurement has no "
          "images and/or segmentation masks",
          "areas: Young's modulus could not be computed again: the measurement has no "
          "\"deform\" feature"})
        EXPECT_TRUE(boxes[1]->text.contains(QString::fromUtf8(line)))
            << line << "\n"
            << boxes[1]->text.toStdString();
    const DatasetEntry& restored = *window->datasets()[0];
    EXPECT_TRUE(restored.flRefinementApplied && restored.fcDeformApplied &&
                restored.imageFeaturesApplied);
    EXPECT_TRUE(window->datasets()[1]->emodApplied);
}

// While a calculation runs, showing a restored dataset that lacks its
// derived features leaves them to after the task: the task may be using
// the same computation objects. They come once it has finished.
TEST_F(Sessions, ShowingARestoredDatasetDuringACalculationWaitsForIt) {
    open("a.rtdc", 0.0, true);
    open("b.rtdc", 5.0, true);
    test::selectRow(*window, 0);
    DatasetEntry& b = *window->datasets()[1];
    b.fcDeformApplied = true; // as a restored dataset has it, not yet computed
    std::atomic<bool> release{false};
    window->startCalcTask(
        [&] {
            while (!release)
                QThread::msleep(1);
        },
        [] {});
    ASSERT_TRUE(window->calcBusy());
    test::selectRow(*window, 1);
    EXPECT_FALSE(b.reader->isCalculatedFeature("deform_fc"));
    release = true;
    ASSERT_TRUE(test::waitUntil([&] { return !window->calcBusy(); }));
    ASSERT_TRUE(test::waitUntil([&] { return b.reader->isCalculatedFeature("deform_fc"); }));
    EXPECT_EQ(window->activeDataset(), &b);
}

// ---- end to end ----------------------------------------------------------------------

// Three datasets with filters of each kind, a group switched on for one,
// a combined plot and a statistics window: save, clear, load and save again
// gives the same file apart from "savedAt", whose paths and fingerprints
// Python reads back from the measurements.
TEST_F(Sessions, SaveClearLoadSaveGivesTheSameFile) {
    open("a.rtdc");
    open("b.rtdc", 5.0);
    open("c.rtdc", 9.0);
    DatasetEntry& a = *window->datasets()[0];
    DatasetEntry& b = *window->datasets()[1];
    DatasetEntry& c = *window->datasets()[2];
    FilterRule range;
    range.featureName = "area_um";
    range.minValue = 55.0;
    range.maxValue = 90.0;
    a.filter.addRule(range);
    FilterRule polygon;
    polygon.type = 1;
    polygon.featureName = "area_um";
    polygon.featureNameY = "deform";
    polygon.polygonVertices = {{40, 0}, {120, 0}, {120, 0.04}, {40, 0.04}};
    polygon.scaleXMode = 1;
    b.filter.addRule(polygon);
    range.inverted = true;
    range.maxValue = -std::numeric_limits<double>::infinity();
    c.filter.addRule(range);
    c.filter.setCombineMode(FilterCombineMode::NOT);
    c.displayName = QStringLiteral("Zellen µ");
    const int group = window->addFilterGroup("large");
    window->addRuleToGroup(group, range);
    window->setGroupEnabled(b.id, group, true);
    test::selectRow(*window, 1);
    trigger("&Tool Windows", "New &Combine Plot...");
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    // The combined plot shows a and c, as if dropped there.
    window->combinePlotWindows().at(0)->restoreState(
        QJsonDocument::fromJson(R"({"displayMode": 2, "syncFeatures": true, "datasets": [
            {"datasetSessionIndex": 0, "xFeatureName": "area_um", "yFeatureName": "deform",
             "color": "#ff0000", "colorAlpha": 100},
            {"datasetSessionIndex": 2, "xFeatureName": "area_um", "yFeatureName": "bright_avg",
             "scaleXMode": 1}]})")
            .object(),
        {{0, a.id}, {2, c.id}});
    ASSERT_EQ(window->combinePlotWindows()[0]->datasetCount(), 2);
    save(path("first.QV3"));
    clear();
    ASSERT_TRUE(window->datasets().empty() && window->combinePlotWindows().empty());
    ASSERT_TRUE(load(path("first.QV3")));
    EXPECT_EQ(window->combinePlotWindows().size(), 1u);
    EXPECT_EQ(window->statisticalEvalWindows().size(), 1u);
    EXPECT_EQ(window->store().activeRow(), 1);
    const auto& refs = window->combinePlotWindows().at(0)->references();
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0].datasetId, window->datasets()[0]->id);
    EXPECT_EQ(refs[1].datasetId, window->datasets()[2]->id);
    EXPECT_EQ(refs[0].color.alpha(), 100);
    save(path("second.QV3"));

    const auto same =
        testing::runPythonOracle(QUORVEX3_APP_TEST_DIR "/session_flow_oracle.py",
                                 "same|" + dir.file("first.QV3") + "|" + dir.file("second.QV3"));
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].groups[0][0], 1.0);
    const auto files = testing::runPythonOracle(QUORVEX3_SESSION_TEST_DIR "/session_oracle.py",
                                                dir.file("second.QV3"));
    ASSERT_EQ(files.size(), 3u);
    for (const auto& line : files)
        EXPECT_EQ(line.kind, "OK");
    EXPECT_NE(readJson(path("first.QV3"))[QStringLiteral("savedAt")].toString(), QString());
}

// ---- damaged files through the whole load --------------------------------------------

// Values replaced on random lines of a real session file (and, every other
// round, random bytes): the offscreen load never crashes or hangs, and
// always ends.
TEST_F(Sessions, FiveHundredMutatedSessionFilesLoadOrAreRejected) {
    open("a.rtdc");
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "duplicateDataset"));
    open("b.rtdc", 5.0);
    window->addFilterGroup("g");
    window->setGroupEnabled(window->datasets()[0]->id, 0, true);
    window->datasets()[2]->filter.addRule(FilterRule{});
    trigger("&Tool Windows", "New &Combine Plot...");
    save(path("base.QV3"));
    const QByteArray valid = readBytes(path("base.QV3"));
    ASSERT_FALSE(valid.isEmpty());
    const char* const tokens[] = {
        "-1", "0.5",  "1e308",   "2147483648", "\"inf\"", "null",   "[]",
        "{}", "true", "\"NOT\"", "\"\"",       "\"..\"",  "[1, 2]", "9007199254740993"};
    std::mt19937 random(20240611);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    int loaded = 0;
    for (int round = 0; round < 500; ++round) {
        QList<QByteArray> lines = valid.split('\n');
        for (int k = 0; k <= pick(3); ++k) {
            QByteArray& line = lines[pick(int(lines.size()))];
            const int colon = line.indexOf("\": ");
            if (colon >= 0)
                line = line.left(colon + 3) + tokens[pick(14)] + (line.endsWith(',') ? "," : "");
        }
        QByteArray bytes = lines.join('\n');
        for (int k = 0; round % 2 == 1 && k <= pick(4); ++k)
            bytes[pick(int(bytes.size()))] = "{}[]\",:-0e9"[pick(11)];
        ASSERT_TRUE(writeText(path("mutated.QV3"), bytes));
        dialogs.calls.clear();
        ASSERT_TRUE(load(path("mutated.QV3"), {}, 0)) << bytes.constData();
        loaded += dialogs.count(DialogCall::Critical) == 0 ? 1 : 0;
    }
    EXPECT_GT(loaded, 150);
}

} // namespace
} // namespace Quorvex3
