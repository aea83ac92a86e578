// Sessions in the main window: save, load and clear as a user runs them
// through the "&File" menu, on fixture measurements, with scripted dialogs.
//
// The file's values and their checks are tested on the session core
// (tests/session/SessionFileTest.cpp); here: the flows, what a load does
// with the measurements it finds (or does not), and the faults of a load
// interrupted by a clear, a second load or a file changed under it.
//
// Oracles: tests/app/session_flow_oracle.py (h5py appends an event; two
// session files compared as JSON apart from "savedAt") and
// tests/session/session_oracle.py (paths and fingerprints read back with
// json, h5py and hashlib).
#include "MainPlotTestSupport.h"

#include "app/MainWindow.h"
#include "calc/EModulus.h"
#include "calc/ImageFeatures.h"
#include "compare/CombineDatasetRef.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "session/SessionFile.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <armadillo>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMetaObject>
#include <QTextStream>
#include <QThread>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <atomic>
#include <functional>
#include <limits>
#include <random>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;
using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::TempDir;
using Button = QMessageBox::StandardButton;

constexpr int kEvents = 30;

/// A measurement of `events` cells. A rich one also has two fluorescence
/// channels with traces, and images with masks showing one round cell, so
/// that every derived-feature computation can run on it.
void writeCells(const std::string& path, int events, double shift, bool rich = false) {
    std::vector<double> area, deform, bright, flMax[2], posX, sizeX;
    for (int i = 0; i < events; ++i) {
        area.push_back(50.0 + (i * 37 % 60) + shift);
        deform.push_back(0.01 + 0.001 * (i * 13 % 50));
        bright.push_back(100.0 + i % 7 - shift);
        flMax[0].push_back(500.0 + 40.0 * (i % 9));
        flMax[1].push_back(300.0 + 25.0 * (i % 5));
        posX.push_back(20.0 + 0.1 * (i % 10));
        sizeX.push_back(8.0 + 0.05 * (i % 10));
    }
    RtdcFixtureWriter w(path);
    w.addColumn<double>("area_um", area);
    w.addColumn<double>("deform", deform);
    w.addColumn<double>("bright_avg", bright);
    if (!rich)
        return;
    w.addColumn<double>("fl1_max", flMax[0]);
    w.addColumn<double>("fl2_max", flMax[1]);
    w.addColumn<double>("pos_x", posX);
    w.addColumn<double>("size_x", sizeX);
    const std::size_t samples = 64, side = 24;
    std::vector<std::int16_t> traces[2];
    for (int i = 0; i < events; ++i)
        for (std::size_t s = 0; s < samples; ++s)
            for (int c = 0; c < 2; ++c) {
                const double x = (static_cast<double>(s) - 32.0) / 6.0;
                traces[c].push_back(
                    static_cast<std::int16_t>(20 + flMax[c][std::size_t(i)] * std::exp(-x * x)));
            }
    w.addTrace("fl1_raw", std::size_t(events), samples, traces[0]);
    w.addTrace("fl2_raw", std::size_t(events), samples, traces[1]);
    std::vector<std::uint8_t> image, mask;
    for (int i = 0; i < events; ++i)
        for (std::size_t y = 0; y < side; ++y)
            for (std::size_t x = 0; x < side; ++x) {
                const double dx = double(x) - 11.5, dy = (double(y) - 11.5) * (1.0 + 0.01 * (i % 5));
                const bool inside = dx * dx + dy * dy < 49.0;
                image.push_back(static_cast<std::uint8_t>(inside ? 60 + (x * y) % 40 : 120));
                mask.push_back(inside ? 255 : 0);
            }
    w.addImageStack("image", std::size_t(events), side, side, image);
    w.addImageStack("mask", std::size_t(events), side, side, mask);
    w.setScalarAttribute<double>("imaging:pixel size", 0.34);
    w.setScalarAttribute<double>("setup:channel width", 20.0);
    w.setScalarAttribute<double>("setup:flow rate", 0.16);
}

/// A program folder with a Young's modulus table over areas 20 to 220 µm²
/// and deformations 0 to 0.1.
QString lutFolder(const TempDir& dir) {
    const QString base = QString::fromStdString(dir.file("program"));
    QDir().mkpath(base + QStringLiteral("/data"));
    QFile file(base + QStringLiteral("/data/LUT_LE_2D_FEM.txt"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QTextStream out(&file);
    out << "area_um deform emodulus\n";
    for (int k = 0; k < 441; ++k) {
        const double area = 20.0 + 10.0 * (k % 21), d = 0.005 * (k / 21);
        out << area << ' ' << d << ' ' << 0.5 + 0.01 * area + 20.0 * d << '\n';
    }
    return base;
}

QJsonObject readJson(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

bool writeText(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Sessions : public ::testing::Test {
protected:
    void SetUp() override {
        m_guard = std::make_unique<ScopedDialogProvider>(dialogs);
        window = std::make_unique<MainWindow>();
    }
    void TearDown() override {
        window.reset();
        m_guard.reset();
    }

    QString path(const std::string& name) const { return QString::fromStdString(dir.file(name)); }

    /// Writes a measurement and opens it; it is then active and loaded.
    DatasetEntry* open(const std::string& name, double shift = 0.0, bool rich = false) {
        writeCells(dir.file(name), kEvents, shift, rich);
        EXPECT_TRUE(test::openAndWait(*window, dir.file(name))) << name;
        return window->activeDataset();
    }

    void trigger(const char* menu, const char* item) {
        QAction* action = test::actionNamed(test::menuNamed(*window, QString::fromUtf8(menu)),
                                            QString::fromUtf8(item));
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }

    /// Saves through the menu, the file dialog answering `file`.
    void save(const QString& file) {
        dialogs.fileAnswers.push_back(file);
        trigger("&File", "&Save Session...");
    }

    /// Loads through the menu (confirming when asked, with `answers` for the
    /// boxes that follow) and waits for the load to end.
    bool load(const QString& file, std::vector<Button> answers = {}, int settleMs = 20) {
        const bool asks = !window->datasets().empty() || !window->combinePlotWindows().empty() ||
                          !window->statisticalEvalWindows().empty() ||
                          !window->imageGalleryWindows().empty();
        dialogs.buttonAnswers.clear();
        if (asks)
            dialogs.buttonAnswers.push_back(QMessageBox::Ok);
        for (Button answer : answers)
            dialogs.buttonAnswers.push_back(answer);
        dialogs.fileAnswers.push_back(file);
        trigger("&File", "&Load Session...");
        const bool ended = test::waitUntil([&] { return !window->sessionLoading(); });
        test::processEventsFor(settleMs);
        return ended;
    }

    void clear() {
        dialogs.buttonAnswers.push_back(QMessageBox::Ok);
        trigger("&File", "&Clear Session");
    }

    QString infoText() { return test::part<QLabel>(*window, "infoLabel")->text(); }

    std::vector<QString> names() const {
        std::vector<QString> result;
        for (const auto& entry : window->datasets())
            result.push_back(entry->displayName);
        return result;
    }

    std::vector<const DialogCall*> callsTitled(const QString& title) const {
        std::vector<const DialogCall*> found;
        for (const DialogCall& call : dialogs.calls)
            if (call.title == title)
                found.push_back(&call);
        return found;
    }

    TempDir dir;
    ScriptedDialogProvider dialogs;
    std::unique_ptr<MainWindow> window;

private:
    std::unique_ptr<ScopedDialogProvider> m_guard;
};

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

// Saved A, copy of A, B with the copy active: B is reopened before the copy
// is recreated, and the copy is still the active dataset.
TEST_F(Sessions, ACopyComesBackAfterTheReopenedDatasetsAndStaysActive) {
    open("a.rtdc");
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "duplicateDataset"));
    open("b.rtdc", 5.0);
    test::selectRow(*window, 1);
    ASSERT_EQ(names(), (std::vector<QString>{"a.rtdc", "a.rtdc (copy)", "b.rtdc"}));
    save(path("s.QV3"));
    clear();
    ASSERT_TRUE(load(path("s.QV3")));

    EXPECT_EQ(names(), (std::vector<QString>{"a.rtdc", "b.rtdc", "a.rtdc (copy)"}));
    ASSERT_EQ(window->datasets().size(), 3u);
    EXPECT_EQ(window->datasets()[0]->reader, window->datasets()[2]->reader);
    ASSERT_NE(window->activeDataset(), nullptr);
    EXPECT_EQ(window->activeDataset()->displayName, QStringLiteral("a.rtdc (copy)"));
    EXPECT_EQ(window->store().activeRow(), 2);
    EXPECT_EQ(infoText(), QStringLiteral("Session loaded: 3 dataset(s)"));
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
        EXPECT_EQ(callsTitled("Error")[0]->text, QStringLiteral("Failed to open: ") + path(c.broken));
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
        ASSERT_TRUE(test::waitUntil([&] {
            return !window->datasets().empty() && window->datasets()[0]->featuresLoaded;
        }));
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
    window->startCalcTask([&] { while (!release) QThread::msleep(1); }, [] {});
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
    const auto appended = testing::runPythonOracle(
        QUORVEX3_APP_TEST_DIR "/session_flow_oracle.py", "append|" + dir.file("a.rtdc"));
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

    const auto b = [this]() -> const DatasetEntry* {
        for (const auto& entry : window->datasets())
            if (QFileInfo(QString::fromStdString(entry->filePath)).fileName() == "b.rtdc")
                return entry.get();
        return nullptr;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* rule;
        int dataset; // -1: the "mainWindow" object, -2: the root
        const char* patch;
        std::vector<Button> answers;
        std::function<bool()> holds;
    } cases[] = {
        {"event index past the last event", 1, R"({"currentEventIndex": 30})", {},
         [&] { return b() && b()->currentEventIndex == -1; }},
        {"event index kept in range", 1, R"({"currentEventIndex": 29})", {},
         [&] { return b() && b()->currentEventIndex == 29; }},
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
             return !b() && callsTitled("Dataset Not Found").size() == 1 &&
                    callsTitled("Dataset Not Found")[0]->text.contains(
                        QString::fromStdString(dir.path()) + QStringLiteral("\n"));
         }},
        {"a folder: not found", 1, R"({"filePath": "folder"})", {QMessageBox::No},
         [&] { return !b() && callsTitled("Dataset Not Found").size() == 1; }},
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
         [&] { return window->datasets().size() == 1 && !b(); }},
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        QJsonObject root = base;
        QJsonArray datasets = root[QStringLiteral("datasets")].toArray();
        QJsonObject target = c.dataset == -2  ? root
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

// ---- derived features ----------------------------------------------------------------

// Each of the five computations a dataset had is done again when the
// restored dataset is first shown, and not before.
TEST_F(Sessions, AppliedComputationsAreRedoneWhenARestoredDatasetIsFirstShown) {
    const QString program = lutFolder(dir);
    ASSERT_FALSE(program.isEmpty());
    window->findChild<EModulus*>()->setLUTSearchDir(program);
    open("a.rtdc", 0.0, true);
    open("b.rtdc", 5.0, true);
    for (const auto& entry : window->datasets()) {
        entry->flRefinementApplied = true;
        entry->ctcApplied = true;
        entry->ctcChannels = {1, 2};
        entry->spilloverMatrix = arma::mat{{1.0, 0.1}, {0.05, 1.0}};
        entry->emodApplied = true;
        entry->emodParams.flowRate = 0.16;
        entry->emodParams.pixelationCorrection = false;
        entry->fcDeformApplied = true;
        entry->imageFeaturesApplied = true;
    }
    test::selectRow(*window, 0);
    save(path("s.QV3"));
    clear();
    ASSERT_TRUE(load(path("s.QV3")));
    ASSERT_EQ(window->datasets().size(), 2u);

    const auto computed = [](const RTDCReader& reader) {
        std::vector<std::string> found;
        for (const std::string& name : reader.getAvailableFeatures())
            if (reader.isCalculatedFeature(name))
                found.push_back(name);
        return found;
    };
    const auto has = [&](const RTDCReader& reader, const std::string& feature) {
        const auto names = computed(reader);
        if (feature == "_rf")
            return std::any_of(names.begin(), names.end(), [](const std::string& n) {
                return n.size() > 3 && n.compare(n.size() - 3, 3, "_rf") == 0;
            });
        return std::find(names.begin(), names.end(), feature) != names.end();
    };
    const std::string results[] = {"_rf", "fl1_max_ctc", "emodulus", "deform_fc",
                                   imageFeatureNames().front()};
    const RTDCReader& shown = *window->datasets()[0]->reader;
    const RTDCReader& hidden = *window->datasets()[1]->reader;
    for (const std::string& feature : results) {
        EXPECT_TRUE(has(shown, feature)) << feature;
        EXPECT_FALSE(has(hidden, feature)) << feature;
    }
    test::selectRow(*window, 1);
    for (const std::string& feature : results)
        EXPECT_TRUE(has(hidden, feature)) << feature;
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

    const auto same = testing::runPythonOracle(QUORVEX3_APP_TEST_DIR "/session_flow_oracle.py",
                                               "same|" + dir.file("first.QV3") + "|" +
                                                   dir.file("second.QV3"));
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
    const char* const tokens[] = {"-1",   "0.5",     "1e308",  "2147483648", "\"inf\"",
                                  "null", "[]",      "{}",     "true",       "\"NOT\"",
                                  "\"\"", "\"..\"", "[1, 2]", "9007199254740993"};
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
