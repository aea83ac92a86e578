// Sessions in the main window: save, load and clear as a user runs them
// through the "&File" menu, on fixture measurements, with scripted dialogs.
//
// The file's values and their checks are tested on the session core
// (tests/session/SessionFileTest.cpp); here: the flows, what a load does
// with the measurements it finds (or does not), and the faults of a load
// interrupted by a clear, a second load or a file changed under it.
// Crafted files, derived features, the end-to-end round trip and damaged
// files: MainWindowSessionFilesTest.cpp.
//
// Oracle: tests/app/session_flow_oracle.py (h5py appends an event).
#include "SessionTestFixture.h"

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using namespace sessiontest;

// ---- saving --------------------------------------------------------------------------

TEST_F(Sessions, SaveAppendsTheSuffixUnlessTheNameEndsInItInAnyCase) {
    open("a.rtdc");
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {{"s1", "s1.QV3"},
                 {"s2.qv3", "s2.qv3"},
                 {"s3.Qv3", "s3.Qv3"},
                 {"s4.QV3.bak", "s4.QV3.bak.QV3"}};
    for (const auto& c : cases) {
        save(path(c.typed));
        EXPECT_TRUE(QFileInfo(path(c.written)).isFile()) << c.typed;
        EXPECT_EQ(infoText(), QStringLiteral("Session saved: ") + c.written);
    }
    EXPECT_FALSE(QFileInfo::exists(path("s1")));
    // Saved beside the measurement: its bare name.
    const QJsonObject saved = readJson(path("s1.QV3"));
    EXPECT_EQ(saved[QStringLiteral("datasets")][0][QStringLiteral("filePath")].toString(),
              QStringLiteral("a.rtdc"));
}

TEST_F(Sessions, SaveWithoutDatasetsWritesNothingEvenWithWindowsOpen) {
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    save(path("s.QV3"));
    EXPECT_FALSE(QFileInfo::exists(path("s.QV3")));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("No datasets loaded to save."));
}

// A save that fails part-way (the file-size limit is reached) leaves the
// previous session as it was and says so; "Session saved" only follows a
// complete file.
TEST_F(Sessions, SaveUnderAFileSizeLimitKeepsTheOldFile) {
    open("a.rtdc");
    save(path("s.QV3"));
    const QByteArray before = readBytes(path("s.QV3"));
    ASSERT_GT(before.size(), 200);
    open("b.rtdc", 5.0); // the label now shows the dataset, and the file grows

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved;
    lowered.rlim_cur = 128;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    dialogs.calls.clear();
    save(path("s.QV3"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_EQ(dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(callsTitled("Error").at(0)->text,
              QStringLiteral("Failed to write session file: ") + path("s.QV3"));
    EXPECT_EQ(readBytes(path("s.QV3")), before);
    EXPECT_NE(infoText(), QStringLiteral("Session saved: s.QV3"));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path()))
                  .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                  .filter(QStringLiteral("s.QV3"))
                  .size(),
              1); // no temporary file left beside it
}

// ---- rejected files ------------------------------------------------------------------

TEST_F(Sessions, BadVersionsAndBrokenFilesAreRejectedBeforeAnythingCloses) {
    open("a.rtdc");
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    const struct {
        const char* name;
        const char* bytes; // null: no such file
        const char* error;
    } cases[] = {
        {"v0.QV3", R"({"version": 0, "datasets": []})", kSessionUnrecognizedFormat},
        {"v-text.QV3", R"({"version": "1", "datasets": []})", kSessionUnrecognizedFormat},
        {"v-absent.QV3", R"({"datasets": []})", kSessionUnrecognizedFormat},
        {"array.QV3", R"([{"version": 1}])", kSessionUnrecognizedFormat},
        {"broken.QV3", R"({"version": 1, )", kSessionInvalidPrefix},
        {"missing.QV3", nullptr, kSessionReadFailedPrefix},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bytes) {
            ASSERT_TRUE(writeText(path(c.name), c.bytes));
        }
        dialogs.calls.clear();
        load(path(c.name));
        ASSERT_EQ(dialogs.count(DialogCall::Critical), 1);
        EXPECT_TRUE(callsTitled("Error").at(0)->text.startsWith(QLatin1String(c.error)));
        EXPECT_EQ(window->datasets().size(), 1u);
        EXPECT_EQ(window->statisticalEvalWindows().size(), 1u);
    }

    // A newer version warns and loads what it can.
    ASSERT_TRUE(writeText(path("v2.QV3"), R"({"version": 2, "datasets": [], "nextGroupId": 3})"));
    dialogs.calls.clear();
    load(path("v2.QV3"));
    ASSERT_EQ(callsTitled("Warning").size(), 1u);
    EXPECT_EQ(callsTitled("Warning")[0]->text, QLatin1String(kSessionNewerVersionWarning));
    EXPECT_TRUE(window->datasets().empty() && window->statisticalEvalWindows().empty());
    EXPECT_EQ(window->store().nextGroupId(), 3);
}

TEST_F(Sessions, CancellingTheQuestionOrTheFileDialogKeepsEverything) {
    open("a.rtdc");
    save(path("s.QV3"));
    dialogs.buttonAnswers = {QMessageBox::Cancel};
    dialogs.fileAnswers = {path("s.QV3")};
    trigger("&File", "&Load Session...");
    EXPECT_EQ(dialogs.count(DialogCall::OpenFile), 0); // stopped at the question
    dialogs.buttonAnswers = {QMessageBox::Ok};
    dialogs.fileAnswers = {QString()};
    trigger("&File", "&Load Session...");
    dialogs.buttonAnswers = {QMessageBox::Cancel};
    trigger("&File", "&Clear Session");
    EXPECT_EQ(window->datasets().size(), 1u);
    EXPECT_FALSE(window->sessionLoading());
}

// The load asks whenever a window it closes is open, also when that is
// only a statistical evaluation window; a second load asks once.
TEST_F(Sessions, TheLoadAsksOnceWheneverSomethingItClosesIsOpen) {
    open("a.rtdc");
    save(path("s.QV3"));
    clear();
    ASSERT_TRUE(window->datasets().empty());
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    dialogs.calls.clear();
    load(path("s.QV3"));
    EXPECT_EQ(callsTitled("Load Session").size(), 2u); // the question and the file dialog
    dialogs.calls.clear();
    load(path("s.QV3"));
    EXPECT_EQ(dialogs.count(DialogCall::Warning), 1); // only the load's own question
    EXPECT_EQ(window->datasets().size(), 1u);
}

// ---- the stored datasets come back -----------------------------------------------------

// Saved A, C, copy of C, B with the copy active: the list comes back in
// that order (the copy in its saved place, made last from C's reader), and
// the copy is still the active dataset.
TEST_F(Sessions, TheSavedOrderComesBackWithACopyInItsPlace) {
    open("a.rtdc");
    open("c.rtdc", 9.0);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "duplicateDataset"));
    open("b.rtdc", 5.0);
    test::selectRow(*window, 2);
    ASSERT_EQ(names(), (std::vector<QString>{"a.rtdc", "c.rtdc", "c.rtdc (copy)", "b.rtdc"}));
    save(path("s.QV3"));
    clear();
    ASSERT_TRUE(load(path("s.QV3")));

    EXPECT_EQ(names(), (std::vector<QString>{"a.rtdc", "c.rtdc", "c.rtdc (copy)", "b.rtdc"}));
    ASSERT_EQ(window->datasets().size(), 4u);
    EXPECT_EQ(window->datasets()[1]->reader, window->datasets()[2]->reader);
    const auto* list = test::part<QListWidget>(*window, "datasetList");
    ASSERT_EQ(list->count(), 4);
    EXPECT_TRUE(list->item(2)->text().contains(QStringLiteral("c.rtdc (copy)")));
    EXPECT_TRUE(list->item(3)->text().contains(QStringLiteral("b.rtdc")));
    ASSERT_NE(window->activeDataset(), nullptr);
    EXPECT_EQ(window->activeDataset()->displayName, QStringLiteral("c.rtdc (copy)"));
    EXPECT_EQ(window->store().activeRow(), 2);
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 4 dataset(s)"));
    // Saved again, the file lists them as before.
    save(path("again.QV3"));
    EXPECT_EQ(readJson(path("again.QV3"))[QStringLiteral("datasets")],
              readJson(path("s.QV3"))[QStringLiteral("datasets")]);
}

TEST_F(Sessions, WithEveryMeasurementGoneGroupsAndWindowsStillComeBack) {
    open("a.rtdc");
    open("b.rtdc", 5.0);
    window->addFilterGroup("first");
    window->addFilterGroup("second");
    trigger("&Tool Windows", "New &Combine Plot...");
    trigger("&Tool Windows", "New &Statistical Evaluation...");
    save(path("s.QV3"));
    QFile::remove(path("a.rtdc"));
    QFile::remove(path("b.rtdc"));
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("s.QV3"), {QMessageBox::No, QMessageBox::No}));

    const auto notFound = callsTitled("Dataset Not Found");
    ASSERT_EQ(notFound.size(), 2u);
    EXPECT_EQ(notFound[0]->text,
              QStringLiteral("Cannot find dataset:\n%1\n\nDisplay name: a.rtdc\n\nWould you "
                             "like to locate it manually?")
                  .arg(path("a.rtdc")));
    EXPECT_TRUE(window->datasets().empty());
    ASSERT_EQ(window->filterGroups().size(), 2u);
    EXPECT_EQ(window->filterGroups()[1]->name, "second");
    EXPECT_EQ(window->store().nextGroupId(), 2);
    EXPECT_EQ(window->combinePlotWindows().size(), 1u);
    EXPECT_EQ(window->statisticalEvalWindows().size(), 1u);
    EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 0 dataset(s)"));
}

TEST_F(Sessions, AMissingMeasurementCanBeLocatedElsewhere) {
    open("a.rtdc");
    save(path("s.QV3"));
    clear();
    QDir().mkpath(path("moved"));
    QFile::rename(path("a.rtdc"), path("moved/a.rtdc"));
    dialogs.calls.clear();
    dialogs.fileAnswers = {path("s.QV3"), path("moved/a.rtdc")};
    dialogs.buttonAnswers = {QMessageBox::Yes};
    trigger("&File", "&Load Session...");
    ASSERT_TRUE(test::waitUntil([&] { return !window->sessionLoading(); }));
    const auto locate = callsTitled("Locate: a.rtdc");
    ASSERT_EQ(locate.size(), 1u);
    EXPECT_EQ(locate[0]->dir, QString::fromStdString(dir.path()));
    EXPECT_EQ(locate[0]->text, QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
    ASSERT_EQ(window->datasets().size(), 1u);
    EXPECT_EQ(window->datasets()[0]->filePath, dir.file("moved/a.rtdc"));
}

// Saved from a sibling folder of the measurements, the path climbs one
// folder up; moving both folders together keeps the session loadable
// without a question.
TEST_F(Sessions, SessionAndMeasurementsMovedTogetherStillLoad) {
    ASSERT_TRUE(QDir().mkpath(path("x/meas")) && QDir().mkpath(path("x/sess")));
    open("x/meas/a.rtdc");
    save(path("x/sess/s"));
    const QJsonObject saved = readJson(path("x/sess/s.QV3"));
    EXPECT_EQ(saved[QStringLiteral("datasets")][0][QStringLiteral("filePath")].toString(),
              QStringLiteral("../meas/a.rtdc"));
    clear();
    ASSERT_TRUE(QDir().rename(path("x"), path("y")));
    dialogs.calls.clear();
    ASSERT_TRUE(load(path("y/sess/s.QV3")));
    ASSERT_EQ(dialogs.calls.size(), 1u); // the file dialog only
    ASSERT_EQ(window->datasets().size(), 1u);
    EXPECT_EQ(window->datasets()[0]->filePath, dir.file("y/meas/a.rtdc"));
}

TEST_F(Sessions, AnEmptySessionFinishesAtOnce) {
    ASSERT_TRUE(writeText(path("e.QV3"), R"({"version": 1, "datasets": [], "nextGroupId": 4,
        "filterGroups": [{"id": 1, "name": "kept"}]})"));
    dialogs.fileAnswers.push_back(path("e.QV3"));
    trigger("&File", "&Load Session...");
    // No event loop turn: nothing waits for a preload.
    EXPECT_FALSE(window->sessionLoading());
    EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 0 dataset(s)"));
    EXPECT_EQ(window->store().nextGroupId(), 4);
    ASSERT_EQ(window->filterGroups().size(), 1u);
}

TEST_F(Sessions, DatasetIdsKeepGrowingAcrossClearAndLoad) {
    open("a.rtdc");
    open("b.rtdc", 5.0);
    save(path("s.QV3"));
    int largest = 0;
    for (const auto& entry : window->datasets())
        largest = std::max(largest, entry->id);
    clear();
    EXPECT_TRUE(window->datasets().empty() && window->filterGroups().empty());
    EXPECT_EQ(infoText(), QStringLiteral("No file loaded."));
    EXPECT_GT(open("c.rtdc", 9.0)->id, largest);
    largest = window->datasets()[0]->id;
    ASSERT_TRUE(load(path("s.QV3")));
    ASSERT_EQ(window->datasets().size(), 2u);
    for (const auto& entry : window->datasets()) {
        EXPECT_GT(entry->id, largest);
        EXPECT_GT(window->store().nextDatasetId(), entry->id);
    }
}

// The second measurement is replaced by bytes that are no HDF5 after the
// checks passed: it is reported and the load still ends.
TEST_F(Sessions, AMeasurementBrokenAfterTheChecksIsReportedAndTheLoadEnds) {
    open("a.rtdc");
    open("b.rtdc", 5.0);
    open("c.rtdc", 9.0);
    save(path("s.QV3"));
    const struct {
        const char* broken;
        std::vector<QString> left;
    } cases[] = {{"b.rtdc", {"a.rtdc", "c.rtdc"}}, {"c.rtdc", {"a.rtdc", "b.rtdc"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.broken);
        clear();
        // The measurements as saved, the one broken last time included.
        const std::pair<const char*, double> files[] = {
            {"a.rtdc", 0.0}, {"b.rtdc", 5.0}, {"c.rtdc", 9.0}};
        for (const auto& [name, shift] : files)
            writeCells(dir.file(name), kEvents, shift);
        dialogs.calls.clear();
        dialogs.fileAnswers.push_back(path("s.QV3"));
        trigger("&File", "&Load Session...");
        ASSERT_TRUE(window->sessionLoading()); // a.rtdc preloads; b and c wait
        ASSERT_TRUE(writeText(path(c.broken), "no measurement here"));
        ASSERT_TRUE(test::waitUntil([&] { return !window->sessionLoading(); }));
        test::processEventsFor(20);

        ASSERT_EQ(callsTitled("Error").size(), 1u);
        EXPECT_EQ(callsTitled("Error")[0]->text,
                  QStringLiteral("Failed to open: ") + path(c.broken));
        EXPECT_EQ(names(), c.left);
        EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 2 dataset(s)"));
    }
}

// A clear or a second load while a load runs gives the first load up: its
// remaining datasets never arrive, and the finish of the preload it had
// started counts for nothing, also not for the dataset opened next.
TEST_F(Sessions, AClearOrALoadDuringALoadGivesItUp) {
    open("a.rtdc");
    open("b.rtdc", 5.0);
    open("c.rtdc", 9.0);
    save(path("s.QV3"));
    writeCells(dir.file("d.rtdc"), kEvents, 2.0);
    for (int turns : {0, 1, 3}) {
        SCOPED_TRACE(turns);
        clear();
        dialogs.fileAnswers.push_back(path("s.QV3"));
        trigger("&File", "&Load Session...");
        ASSERT_TRUE(window->sessionLoading());
        for (int k = 0; k < turns; ++k)
            QCoreApplication::processEvents();
        dialogs.calls.clear();
        clear();
        EXPECT_EQ(dialogs.count(DialogCall::Warning), 1); // the user's clear asks
        EXPECT_FALSE(window->sessionLoading());
        EXPECT_TRUE(window->datasets().empty());
        // Nothing left to wait for: a measurement opened now opens at once.
        window->addDataset(path("d.rtdc"));
        EXPECT_EQ(window->datasets().size(), 1u);
        ASSERT_TRUE(test::waitUntil(
            [&] { return !window->datasets().empty() && window->datasets()[0]->featuresLoaded; }));
        test::processEventsFor(50);
        EXPECT_EQ(names(), (std::vector<QString>{"d.rtdc"}));
    }

    // A second load in the middle of the first: only its datasets, once each.
    dialogs.fileAnswers.push_back(path("s.QV3"));
    dialogs.buttonAnswers.push_back(QMessageBox::Ok);
    trigger("&File", "&Load Session...");
    QCoreApplication::processEvents();
    ASSERT_TRUE(load(path("s.QV3")));
    EXPECT_EQ(names(), (std::vector<QString>{"a.rtdc", "b.rtdc", "c.rtdc"}));
    for (const auto& entry : window->datasets())
        EXPECT_TRUE(entry->featuresLoaded);
}

// While a calculation runs, clear and load are refused with the compute
// actions' own message: the task writes into the datasets they would close.
TEST_F(Sessions, ClearAndLoadAreRefusedWhileACalculationRuns) {
    open("a.rtdc");
    save(path("s.QV3"));
    std::atomic<bool> release{false};
    window->startCalcTask(
        [&] {
            while (!release)
                QThread::msleep(1);
        },
        [] {});
    ASSERT_TRUE(window->calcBusy());
    for (const char* item : {"&Clear Session", "&Load Session..."}) {
        dialogs.calls.clear();
        dialogs.fileAnswers = {path("s.QV3")};
        dialogs.buttonAnswers = {QMessageBox::Ok};
        trigger("&File", item);
        ASSERT_EQ(dialogs.calls.size(), 1u) << item;
        EXPECT_EQ(dialogs.calls[0].text,
                  QStringLiteral("A calculation is running. Please wait until it has finished."));
        EXPECT_EQ(window->datasets().size(), 1u);
    }
    release = true;
    ASSERT_TRUE(test::waitUntil([&] { return !window->calcBusy(); }));
}

TEST_F(Sessions, AMeasurementGrownByOneEventAsksBeforeLoading) {
    open("a.rtdc");
    save(path("s.QV3"));
    clear();
    const qint64 sizeBefore = QFileInfo(path("a.rtdc")).size();
    const auto appended = testing::runPythonOracle(QUORVEX3_APP_TEST_DIR "/session_flow_oracle.py",
                                                   "append|" + dir.file("a.rtdc"));
    ASSERT_EQ(appended.size(), 1u);
    ASSERT_EQ(appended[0].groups[0][0], kEvents + 1);
    for (Button answer : {QMessageBox::No, QMessageBox::Yes}) {
        dialogs.calls.clear();
        ASSERT_TRUE(load(path("s.QV3"), {answer}));
        const auto changed = callsTitled("Dataset Changed");
        ASSERT_EQ(changed.size(), 1u);
        EXPECT_EQ(changed[0]->text,
                  QStringLiteral("Dataset \"a.rtdc\" may have changed since the session was "
                                 "saved.\n\nExpected: %1 events, %2 bytes\nFound: %3 events, %4 "
                                 "bytes\n\nContinue loading this dataset?")
                      .arg(kEvents)
                      .arg(sizeBefore)
                      .arg(kEvents + 1)
                      .arg(QFileInfo(path("a.rtdc")).size()));
        EXPECT_EQ(window->datasets().size(), answer == QMessageBox::Yes ? 1u : 0u);
    }
}

} // namespace
} // namespace Quorvex3
