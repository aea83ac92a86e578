// Opening measurements in the main window: drops of files and folders and
// their order, dataset ids, paths opened twice, display names and renaming,
// the one-at-a-time preload with its queue, failing files and failed
// preloads, and removing and duplicating datasets.
#include "MainWindowTestSupport.h"

#include "app/DatasetListWidget.h"
#include "app/MainWindow.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QMimeData>
#include <QSpinBox>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::DialogCall;
using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::Storage;
using testing::TempDir;

/// Names of one measurement's sample, as the metadata can hold them.
struct SampleNames {
    std::string sample;
    std::string exportName;
};

/// A small valid measurement with area_um and deform columns.
void writeMeasurement(const std::string& path, const SampleNames& names = {}, int events = 40) {
    std::vector<float> area(static_cast<std::size_t>(events));
    std::vector<float> deform(area.size());
    for (std::size_t i = 0; i < area.size(); ++i) {
        area[i] = 20.0f + static_cast<float>(i);
        deform[i] = 0.01f * static_cast<float>(i % 7);
    }
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", area);
    writer.addColumn<float>("deform", deform);
    if (!names.sample.empty())
        writer.setStringAttribute("experiment:sample", names.sample);
    if (!names.exportName.empty())
        writer.setStringAttribute("export:changed sample name", names.exportName);
}

/// A measurement whose "broken" column cannot be read (one corrupt chunk).
void writeMeasurementWithBrokenColumn(const std::string& path) {
    std::vector<double> values(4000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i % 97);
    {
        RtdcFixtureWriter writer(path);
        writer.addColumn<double>("area_um", values);
        writer.addColumn<double>("deform", values);
        writer.addColumn<double>("broken", values, Storage::chunked({1000}, 5));
        writer.setStringAttribute("experiment:sample", "cells");
    }
    testing::corruptChunk(path, "/events/broken", 1);
}

std::string makeDir(const TempDir& dir, const std::string& relative) {
    const std::string path = dir.file(relative);
    EXPECT_TRUE(QDir().mkpath(QString::fromStdString(path)));
    return path;
}

QUrl localUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

/// Drags `mime` onto the window and drops it there, as a user would (a
/// drop reaches only the widget that accepted the drag's entry); true when
/// the window accepted the drop.
bool dragAndDrop(MainWindow& window, const QMimeData& mime) {
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

bool dropUrls(MainWindow& window, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    return dragAndDrop(window, mime);
}

DatasetListWidget* datasetList(MainWindow& window) {
    return window.findChild<DatasetListWidget*>();
}

QString infoText(MainWindow& window) {
    const QLabel* label = window.findChild<QLabel*>(QStringLiteral("infoLabel"));
    return label ? label->text() : QString();
}

QLineEdit* renameEdit(MainWindow& window) {
    return window.findChild<QLineEdit*>(QStringLiteral("renameEdit"));
}

int activeRow(const MainWindow& window) {
    const DatasetEntry* active = window.activeDataset();
    for (std::size_t i = 0; i < window.datasets().size(); ++i)
        if (window.datasets()[i].get() == active)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> paths(const MainWindow& window) {
    std::vector<std::string> result;
    for (const auto& entry : window.datasets())
        result.push_back(entry->filePath);
    return result;
}

std::vector<int> ids(const MainWindow& window) {
    std::vector<int> result;
    for (const auto& entry : window.datasets())
        result.push_back(entry->id);
    return result;
}

int unloadedCount(const MainWindow& window) {
    int count = 0;
    for (const auto& entry : window.datasets())
        count += entry->featuresLoaded ? 0 : 1;
    return count;
}

/// Runs the event loop until `done` holds (or 20 s passed); `each` is
/// checked after every pass.
bool spinUntil(const std::function<bool()>& done, const std::function<void()>& each = {}) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (each)
            each();
    }
    return true;
}

/// Waits until `count` datasets exist and every one has been preloaded.
bool waitForLoaded(const MainWindow& window, std::size_t count) {
    return spinUntil(
        [&] { return window.datasets().size() == count && unloadedCount(window) == 0; });
}

void invoke(MainWindow& window, const char* slot) {
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, slot)) << slot;
}

void selectRow(MainWindow& window, int row) {
    datasetList(window)->setCurrentRow(row);
}

/// A scripted provider that also runs a hook when a message box opens, to
/// see the window's state at that moment.
class ObservingDialogs : public ScriptedDialogProvider {
public:
    std::function<void(const QString& title)> onBox;

    QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override {
        if (onBox)
            onBox(title);
        return ScriptedDialogProvider::warning(parent, title, text, buttons, defaultButton);
    }
    QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override {
        if (onBox)
            onBox(title);
        return ScriptedDialogProvider::critical(parent, title, text, buttons, defaultButton);
    }
};

/// Collects the warnings logged while it lives.
class WarningCapture {
public:
    WarningCapture() {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&WarningCapture::handle);
    }
    ~WarningCapture() { qInstallMessageHandler(m_previous); }
    const QStringList& lines() const { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg)
            s_lines.append(text);
    }
    static QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};
QStringList WarningCapture::s_lines;

class MainWindowDatasets : public ::testing::Test {
protected:
    void SetUp() override { test::clearSettings(); }

    TempDir m_dir;
    ObservingDialogs m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
};

// ---- Drops -----------------------------------------------------------------------------

TEST_F(MainWindowDatasets, DroppedFoldersAndFilesOpenInFolderByFolderCaseInsensitiveOrder) {
    // Whole-path string order would put "m-n.rtdc" before "m/x.rtdc" ('-' is
    // below '/') and "Day2" before "day1" (capitals first); both are wrong.
    makeDir(m_dir, "root/day1/sub");
    makeDir(m_dir, "root/Day2");
    makeDir(m_dir, "root/day3");
    makeDir(m_dir, "root/m");
    makeDir(m_dir, "other");
    const std::vector<std::string> expected = {
        m_dir.file("other/loose.RTDC"), m_dir.file("root/day1/sub/c.rtdc"),
        m_dir.file("root/day1/z.rtdc"), m_dir.file("root/Day2/b.rtdc"),
        m_dir.file("root/day3/a.rtdc"), m_dir.file("root/m/x.rtdc"),
        m_dir.file("root/m-n.rtdc"),
    };
    for (const std::string& path : expected)
        writeMeasurement(path);
    testing::writeBytes(m_dir.file("root/notes.txt"), "not a measurement");
    testing::writeBytes(m_dir.file("root/day3/table.tsv"), "a\tb\n");

    MainWindow window;
    // The folder comes first in the drop, the loose file second: the order
    // is that of the paths, across all dropped items.
    EXPECT_TRUE(
        dropUrls(window, {localUrl(m_dir.file("root")), localUrl(m_dir.file("other/loose.RTDC"))}));
    ASSERT_TRUE(waitForLoaded(window, expected.size()));
    EXPECT_EQ(paths(window), expected);
    EXPECT_TRUE(m_dialogs.calls.empty());
}

TEST_F(MainWindowDatasets, DropWithoutMeasurementsWarnsAndIsNotAccepted) {
    testing::writeBytes(m_dir.file("notes.txt"), "text");
    makeDir(m_dir, "empty/inner");
    MainWindow window;

    EXPECT_FALSE(dropUrls(window, {localUrl(m_dir.file("notes.txt"))}));
    EXPECT_FALSE(dropUrls(window, {localUrl(m_dir.file("empty"))}));
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 2);
    for (const DialogCall& call : m_dialogs.calls) {
        EXPECT_EQ(call.title, "Invalid File");
        EXPECT_EQ(call.text, "Please drop .rtdc file(s) or folders containing them.");
    }
    EXPECT_TRUE(window.datasets().empty());
}

TEST_F(MainWindowDatasets, DragsWithoutUrlsAreNotTakenIncludingDatasetPayloads) {
    MainWindow window;
    auto enterAccepted = [&window](const QMimeData& mime) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        const bool accepted = enter.isAccepted();
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&window, &leave);
        return accepted;
    };
    QMimeData withUrl;
    withUrl.setUrls({localUrl(m_dir.file("anything.txt"))});
    EXPECT_TRUE(enterAccepted(withUrl)); // the file type is tested at the drop

    // A dataset dragged out of the list (valid or malformed id) is no file.
    for (const char* payload : {"0", "abc", ""}) {
        SCOPED_TRACE(payload);
        QMimeData dataset;
        dataset.setData(QStringLiteral("application/x-quorvex3-dataset"), payload);
        dataset.setText(QString::fromUtf8(payload));
        EXPECT_FALSE(enterAccepted(dataset));
        EXPECT_FALSE(dragAndDrop(window, dataset));
    }
    EXPECT_TRUE(m_dialogs.calls.empty());
    EXPECT_TRUE(window.datasets().empty());
}

// ---- Ids and paths opened twice --------------------------------------------------------

TEST_F(MainWindowDatasets, IdsAreNeverReusedAndAFailedOpenConsumesOne) {
    const std::string a = m_dir.file("a.rtdc");
    const std::string bad = m_dir.file("bad.rtdc");
    const std::string c = m_dir.file("c.rtdc");
    const std::string d = m_dir.file("d.rtdc");
    writeMeasurement(a);
    testing::writeBytes(bad, "this is not an HDF5 file");
    writeMeasurement(c);
    writeMeasurement(d);
    MainWindow window;

    window.addDataset(QString::fromStdString(a));
    ASSERT_TRUE(waitForLoaded(window, 1));
    window.addDataset(QString::fromStdString(bad));
    ASSERT_EQ(m_dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, "Error");
    EXPECT_EQ(m_dialogs.calls.back().text,
              QStringLiteral("Failed to open: ") + QString::fromStdString(bad));
    // The box says why, in its details.
    EXPECT_TRUE(
        m_dialogs.calls.back().details.startsWith(QStringLiteral("The file is not an HDF5 file")))
        << m_dialogs.calls.back().details.toStdString();
    EXPECT_EQ(window.datasets().size(), 1u);

    window.addDataset(QString::fromStdString(c));
    ASSERT_TRUE(waitForLoaded(window, 2));
    EXPECT_EQ(ids(window), (std::vector<int>{0, 2}));

    invoke(window, "removeDataset"); // c, the active one
    window.addDataset(QString::fromStdString(d));
    ASSERT_TRUE(waitForLoaded(window, 2));
    invoke(window, "duplicateDataset");
    EXPECT_EQ(ids(window), (std::vector<int>{0, 3, 4}));
    EXPECT_EQ(window.findDatasetById(2), nullptr);
    ASSERT_NE(window.findDatasetById(4), nullptr);
    EXPECT_EQ(window.findDatasetById(4)->filePath, d);
}

TEST_F(MainWindowDatasets, OpeningALoadedPathSelectsItsRowButAnotherSpellingLoadsAgain) {
    makeDir(m_dir, "sub");
    const std::string a = m_dir.file("sub/a.rtdc");
    const std::string b = m_dir.file("b.rtdc");
    writeMeasurement(a);
    writeMeasurement(b);
    MainWindow window;
    window.addDataset(QString::fromStdString(a));
    window.addDataset(QString::fromStdString(b));
    ASSERT_TRUE(waitForLoaded(window, 2));
    EXPECT_EQ(activeRow(window), 1);

    window.addDataset(QString::fromStdString(a));
    EXPECT_EQ(window.datasets().size(), 2u);
    EXPECT_EQ(activeRow(window), 0);
    EXPECT_EQ(datasetList(window)->currentRow(), 0);
    EXPECT_EQ(window.findDatasetByPath(a), window.datasets()[0].get());

    // The same file through a parent-folder step is another path.
    const std::string spelled = m_dir.file("sub/../sub/a.rtdc");
    window.addDataset(QString::fromStdString(spelled));
    ASSERT_TRUE(waitForLoaded(window, 3));
    EXPECT_EQ(window.datasets()[2]->filePath, spelled);
    EXPECT_EQ(activeRow(window), 2);
}

// ---- Display names and renaming --------------------------------------------------------

TEST_F(MainWindowDatasets, DisplayNamePrefersExportNameThenSampleThenFileName) {
    const std::string exported = m_dir.file("exported.rtdc");
    const std::string sampled = m_dir.file("sampled.rtdc");
    const std::string plain = m_dir.file("plain.rtdc");
    const std::string emptyNames = m_dir.file("empty-names.rtdc");
    writeMeasurement(exported, {"blood", "blood, gated"});
    writeMeasurement(sampled, {"HL60", ""});
    writeMeasurement(plain);
    {
        // Present but empty values do not count.
        RtdcFixtureWriter writer(emptyNames);
        writer.addColumn<float>("area_um", {1.f, 2.f});
        writer.setStringAttribute("experiment:sample", "");
        writer.setStringAttribute("export:changed sample name", "");
    }
    MainWindow window;
    for (const std::string& path : {exported, sampled, plain, emptyNames})
        window.addDataset(QString::fromStdString(path));
    ASSERT_TRUE(waitForLoaded(window, 4));
    EXPECT_EQ(window.datasets()[0]->displayName, "blood, gated");
    EXPECT_EQ(window.datasets()[1]->displayName, "HL60");
    EXPECT_EQ(window.datasets()[2]->displayName, "plain.rtdc");
    EXPECT_EQ(window.datasets()[3]->displayName, "empty-names.rtdc");
}

TEST_F(MainWindowDatasets, RenameTrimsAndAnEmptyNameRestoresSampleOrFileNameNeverExportName) {
    const std::string exported = m_dir.file("exported.rtdc");
    const std::string plain = m_dir.file("plain.rtdc");
    writeMeasurement(exported, {"blood", "blood, gated"});
    writeMeasurement(plain);
    MainWindow window;
    window.addDataset(QString::fromStdString(exported));
    window.addDataset(QString::fromStdString(plain));
    ASSERT_TRUE(waitForLoaded(window, 2));
    QLineEdit* edit = renameEdit(window);
    ASSERT_NE(edit, nullptr);
    auto rename = [edit](const QString& text) {
        edit->setText(text);
        emit edit->editingFinished();
    };

    selectRow(window, 0);
    rename(QStringLiteral("  donor 7  "));
    EXPECT_EQ(window.datasets()[0]->displayName, "donor 7");
    rename(QString());
    EXPECT_EQ(window.datasets()[0]->displayName, "blood");
    EXPECT_EQ(edit->text(), "blood");

    selectRow(window, 1);
    rename(QStringLiteral("x"));
    rename(QStringLiteral("   "));
    EXPECT_EQ(window.datasets()[1]->displayName, "plain.rtdc");
    EXPECT_EQ(edit->text(), "plain.rtdc");
    // The other dataset kept its name.
    EXPECT_EQ(window.datasets()[0]->displayName, "blood");
}

TEST_F(MainWindowDatasets, RenameReachesTheListItemAndTheInformationLineAtOnce) {
    const std::string first = m_dir.file("first.rtdc");
    const std::string second = m_dir.file("second.rtdc");
    writeMeasurement(first);
    writeMeasurement(second);
    MainWindow window;
    window.addDataset(QString::fromStdString(first));
    window.addDataset(QString::fromStdString(second));
    ASSERT_TRUE(waitForLoaded(window, 2));
    selectRow(window, 0);
    QLineEdit* edit = renameEdit(window);
    auto* info = window.findChild<QLabel*>(QStringLiteral("infoLabel"));
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(info, nullptr);

    edit->setText(QStringLiteral("donor 7"));
    emit edit->editingFinished();
    EXPECT_TRUE(datasetList(window)->item(0)->text().contains(QStringLiteral("<b>donor 7</b>")))
        << datasetList(window)->item(0)->text().toStdString();
    EXPECT_TRUE(info->text().startsWith(QStringLiteral("Loaded: donor 7 (")))
        << info->text().toStdString();
    // The other row keeps its own name.
    EXPECT_TRUE(datasetList(window)->item(1)->text().contains(QStringLiteral("second.rtdc")));
}

// ---- Preload queue ----------------------------------------------------------------------

TEST_F(MainWindowDatasets, ChosenFilesOpenOneAfterAnotherWithOnePreloadAtATime) {
    const std::vector<std::string> sorted = {m_dir.file("A.rtdc"), m_dir.file("b.rtdc"),
                                             m_dir.file("C.rtdc")};
    for (const std::string& path : sorted)
        writeMeasurement(path, {}, 5000);
    m_dialogs.multiFileAnswers.push_back({QString::fromStdString(sorted[2]),
                                          QString::fromStdString(sorted[0]),
                                          QString::fromStdString(sorted[1])});
    MainWindow window;
    invoke(window, "openFile");
    ASSERT_EQ(m_dialogs.count(DialogCall::OpenFiles), 1);
    EXPECT_EQ(m_dialogs.calls[0].title, "Open RT-DC File(s)");
    EXPECT_EQ(m_dialogs.calls[0].text, "RT-DC Files (*.rtdc);;All Files (*)");

    // Only the first opens at once; the others wait for its preload.
    ASSERT_EQ(window.datasets().size(), 1u);
    EXPECT_EQ(window.datasets()[0]->filePath, sorted[0]);
    EXPECT_FALSE(window.datasets()[0]->featuresLoaded);
    EXPECT_EQ(infoText(window), "Loading: A.rtdc...");

    // A later file opens only once the one before it is loaded.
    bool atMostOneLoading = true;
    ASSERT_TRUE(spinUntil([&] { return window.datasets().size() == 3 && !unloadedCount(window); },
                          [&] {
                              atMostOneLoading = atMostOneLoading && unloadedCount(window) <= 1;
                              if (window.datasets().size() > 1)
                                  atMostOneLoading =
                                      atMostOneLoading && window.datasets()[0]->featuresLoaded;
                          }));
    EXPECT_TRUE(atMostOneLoading);
    EXPECT_EQ(paths(window), sorted);
    EXPECT_EQ(activeRow(window), 2);
}

TEST_F(MainWindowDatasets, AQueuedFileThatFailsToOpenDoesNotStallTheQueue) {
    const std::string a = m_dir.file("a.rtdc");
    const std::string bad = m_dir.file("b.rtdc");
    const std::string c = m_dir.file("c.rtdc");
    const std::string d = m_dir.file("d.rtdc");
    writeMeasurement(a);
    testing::writeBytes(bad, "truncated");
    writeMeasurement(c);
    writeMeasurement(d);
    MainWindow window;
    // The error box must open only once the next file has started loading.
    std::size_t datasetsWhenBoxOpened = 0;
    m_dialogs.onBox = [&](const QString&) { datasetsWhenBoxOpened = window.datasets().size(); };

    ASSERT_TRUE(dropUrls(window, {localUrl(a), localUrl(bad), localUrl(c), localUrl(d)}));
    ASSERT_TRUE(waitForLoaded(window, 3));
    EXPECT_EQ(paths(window), (std::vector<std::string>{a, c, d}));
    EXPECT_EQ(ids(window), (std::vector<int>{0, 2, 3}));
    ASSERT_EQ(m_dialogs.count(DialogCall::Critical), 1);
    EXPECT_EQ(m_dialogs.calls[0].text,
              QStringLiteral("Failed to open: ") + QString::fromStdString(bad));
    EXPECT_EQ(datasetsWhenBoxOpened, 2u);
}

TEST_F(MainWindowDatasets, FailedPreloadIsReportedOnceAfterTheNextLoadStartedAndStillLoads) {
    const std::string broken = m_dir.file("broken.rtdc");
    const std::string next = m_dir.file("next.rtdc");
    writeMeasurementWithBrokenColumn(broken);
    writeMeasurement(next);
    MainWindow window;
    bool nextWasLoadingWhenBoxOpened = false;
    m_dialogs.onBox = [&](const QString&) {
        nextWasLoadingWhenBoxOpened =
            window.datasets().size() == 2 && !window.datasets()[1]->featuresLoaded;
    };

    WarningCapture warnings;
    ASSERT_TRUE(dropUrls(window, {localUrl(broken), localUrl(next)}));
    ASSERT_TRUE(waitForLoaded(window, 2));

    const DatasetEntry& entry = *window.datasets()[0];
    EXPECT_TRUE(entry.featuresLoaded);
    EXPECT_EQ(entry.failedFeatures, std::vector<std::string>{"broken"});
    EXPECT_TRUE(window.datasets()[1]->failedFeatures.empty());

    ASSERT_EQ(m_dialogs.calls.size(), 1u);
    EXPECT_EQ(m_dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(m_dialogs.calls[0].title, "Loading Problem");
    EXPECT_TRUE(m_dialogs.calls[0].text.contains(QStringLiteral("\"cells\"")))
        << m_dialogs.calls[0].text.toStdString();
    EXPECT_TRUE(m_dialogs.calls[0].text.contains(QStringLiteral("broken")));
    EXPECT_TRUE(nextWasLoadingWhenBoxOpened);
    int logged = 0;
    for (const QString& line : warnings.lines())
        logged += line.contains(QStringLiteral("cells")) && line.contains(QStringLiteral("broken"));
    EXPECT_EQ(logged, 1) << warnings.lines().join('\n').toStdString();

    // It is an ordinary dataset: it can be duplicated and removed.
    selectRow(window, 0);
    invoke(window, "duplicateDataset");
    ASSERT_EQ(window.datasets().size(), 3u);
    EXPECT_EQ(window.datasets()[2]->failedFeatures, std::vector<std::string>{"broken"});
    selectRow(window, 0);
    invoke(window, "removeDataset");
    EXPECT_EQ(window.datasets().size(), 2u);
    EXPECT_EQ(window.findDatasetByPath(broken)->displayName, "cells (copy)");
}

TEST_F(MainWindowDatasets, ClosingTheWindowDuringAPreloadWaitsForIt) {
    const std::string big = m_dir.file("big.rtdc");
    writeMeasurement(big, {}, 200000);
    std::weak_ptr<RTDCReader> reader;
    {
        MainWindow window;
        window.addDataset(QString::fromStdString(big));
        ASSERT_EQ(window.datasets().size(), 1u);
        reader = window.datasets()[0]->reader;
        QCoreApplication::processEvents(); // the preload starts
        ASSERT_FALSE(window.datasets()[0]->featuresLoaded);
    }
    // The task held a handle of its own and let go before it finished.
    EXPECT_TRUE(reader.expired());
}

// ---- Remove and duplicate ----------------------------------------------------------------

TEST_F(MainWindowDatasets, RemovingIsRefusedWhileLoadingAndTheLastRemovalResetsTheViews) {
    const std::string a = m_dir.file("a.rtdc");
    writeMeasurement(a, {"blood", ""});
    MainWindow window;
    window.addDataset(QString::fromStdString(a));
    invoke(window, "removeDataset");
    ASSERT_EQ(m_dialogs.count(DialogCall::Warning), 1);
    EXPECT_EQ(m_dialogs.calls.back().title, "Cannot Remove");
    EXPECT_EQ(m_dialogs.calls.back().text, "This dataset is still loading.");
    EXPECT_EQ(window.datasets().size(), 1u);

    ASSERT_TRUE(waitForLoaded(window, 1));
    invoke(window, "removeDataset");
    EXPECT_TRUE(window.datasets().empty());
    EXPECT_EQ(window.activeDataset(), nullptr);
    EXPECT_EQ(infoText(window), "No file loaded.");
    EXPECT_EQ(datasetList(window)->count(), 0);
    EXPECT_FALSE(renameEdit(window)->isEnabled());
    EXPECT_TRUE(renameEdit(window)->text().isEmpty());
    for (const char* name : {"xFeatureCombo", "yFeatureCombo", "colorCombo"}) {
        const QComboBox* combo = window.findChild<QComboBox*>(QString::fromLatin1(name));
        ASSERT_NE(combo, nullptr) << name;
        EXPECT_EQ(combo->count(), 0) << name;
    }
    const QSpinBox* events = window.findChild<QSpinBox*>(QStringLiteral("eventSpinBox"));
    ASSERT_NE(events, nullptr);
    EXPECT_FALSE(events->isEnabled());
    EXPECT_EQ(events->maximum(), 0);
    EXPECT_EQ(window.findChild<FilterDockWidget*>()->activeDataset(), nullptr);
    EXPECT_EQ(m_dialogs.calls.size(), 1u);
}

TEST_F(MainWindowDatasets, RemovingTheActiveDatasetActivatesItsNeighbourInListAndFilterDock) {
    const std::vector<std::string> files = {m_dir.file("a.rtdc"), m_dir.file("b.rtdc"),
                                            m_dir.file("c.rtdc")};
    for (const std::string& path : files)
        writeMeasurement(path);
    struct Case {
        int removedRow;
        std::string nowActive;
    };
    // First and middle rows hand over to the dataset below, the last row to
    // the one above.
    const Case cases[] = {{0, files[1]}, {1, files[2]}, {2, files[1]}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.removedRow);
        MainWindow window;
        for (const std::string& path : files)
            window.addDataset(QString::fromStdString(path));
        ASSERT_TRUE(waitForLoaded(window, 3));
        selectRow(window, c.removedRow);
        ASSERT_EQ(activeRow(window), c.removedRow);

        invoke(window, "removeDataset");
        ASSERT_EQ(window.datasets().size(), 2u);
        ASSERT_NE(window.activeDataset(), nullptr);
        EXPECT_EQ(window.activeDataset()->filePath, c.nowActive);
        const int row = activeRow(window);
        EXPECT_EQ(datasetList(window)->currentRow(), row);
        const QList<QListWidgetItem*> selected = datasetList(window)->selectedItems();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected[0]->data(Qt::UserRole).toInt(), window.activeDataset()->id);
        EXPECT_EQ(window.findChild<FilterDockWidget*>()->activeDataset(), window.activeDataset());
        EXPECT_EQ(renameEdit(window)->text(), window.activeDataset()->displayName);
    }
}

TEST_F(MainWindowDatasets, RemovingADatasetKeepsTheRunningPreloadOnItsOwnDataset) {
    const std::vector<std::string> files = {m_dir.file("a.rtdc"), m_dir.file("b.rtdc"),
                                            m_dir.file("c.rtdc")};
    for (const std::string& path : files)
        writeMeasurement(path, {}, 20000);
    MainWindow window;
    // Once b is listed, the file lock is held here, so b's preload cannot
    // finish before the removal below.
    std::unique_lock<std::recursive_mutex> hold(RTDCReader::s_hdf5Mutex, std::defer_lock);
    bool held = false;
    QObject::connect(datasetList(window)->model(), &QAbstractItemModel::rowsInserted, &window, [&] {
        if (datasetList(window)->count() == 2 && !held) {
            hold.lock();
            held = true;
        }
    });
    ASSERT_TRUE(dropUrls(window, {localUrl(files[0]), localUrl(files[1]), localUrl(files[2])}));
    // a loaded, b preloading (and active), c waiting.
    ASSERT_TRUE(spinUntil([&] { return window.datasets().size() == 2; }));
    ASSERT_FALSE(window.datasets()[1]->featuresLoaded);
    selectRow(window, 0);
    invoke(window, "removeDataset");
    ASSERT_EQ(window.datasets().size(), 1u);
    hold.unlock();

    ASSERT_TRUE(waitForLoaded(window, 2));
    EXPECT_EQ(paths(window), (std::vector<std::string>{files[1], files[2]}));
    EXPECT_EQ(m_dialogs.calls.size(), 0u);
}

TEST_F(MainWindowDatasets, DuplicateCopiesPlotStateAndFilterButNoGroupsOrCalculations) {
    const std::string a = m_dir.file("a.rtdc");
    writeMeasurement(a, {"blood", ""});
    MainWindow window;
    window.addDataset(QString::fromStdString(a));
    invoke(window, "duplicateDataset"); // not loaded yet: nothing
    EXPECT_EQ(window.datasets().size(), 1u);
    ASSERT_TRUE(waitForLoaded(window, 1));

    DatasetEntry& source = *window.datasets()[0];
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 25.0;
    rule.maxValue = 40.0;
    source.filter.addRule(rule);
    source.filter.setCombineMode(FilterCombineMode::NOT);
    source.groupEnabled[3] = true;
    source.emodApplied = true;
    invoke(window, "duplicateDataset");

    ASSERT_EQ(window.datasets().size(), 2u);
    const DatasetEntry& copy = *window.datasets()[1];
    EXPECT_EQ(copy.displayName, "blood (copy)");
    EXPECT_EQ(copy.reader, window.datasets()[0]->reader);
    EXPECT_EQ(copy.filePath, a);
    EXPECT_TRUE(copy.featuresLoaded);
    EXPECT_EQ(copy.filter.ruleCount(), 1);
    EXPECT_EQ(copy.filter.combineMode(), FilterCombineMode::NOT);
    EXPECT_EQ(copy.xFeatureName, window.datasets()[0]->xFeatureName);
    EXPECT_TRUE(copy.groupEnabled.empty());
    EXPECT_FALSE(copy.emodApplied);
    EXPECT_EQ(window.activeDataset(), &copy);

    // Both share the path: opening it selects the first.
    window.addDataset(QString::fromStdString(a));
    EXPECT_EQ(activeRow(window), 0);
    EXPECT_EQ(window.datasets().size(), 2u);
}

// ---- Settings all datasets share ---------------------------------------------------------

TEST_F(MainWindowDatasets, ANewDatasetJoinsTheFilterSwitchesAllDatasetsAgreeOn) {
    const std::vector<std::string> files = {m_dir.file("a.rtdc"), m_dir.file("b.rtdc"),
                                            m_dir.file("c.rtdc"), m_dir.file("d.rtdc")};
    for (const std::string& path : files)
        writeMeasurement(path);
    MainWindow window;
    window.addDataset(QString::fromStdString(files[0]));
    window.addDataset(QString::fromStdString(files[1]));
    ASSERT_TRUE(waitForLoaded(window, 2));
    FilterRule shared;
    shared.featureName = "deform";
    shared.maxValue = 0.05;
    shared.propagationId = "{00000000-0000-0000-0000-000000000001}";
    FilterRule own;
    own.featureName = "area_um";
    for (const auto& entry : window.datasets()) {
        entry->filter.setEnabled(false);
        entry->filter.setCombineMode(FilterCombineMode::NOT);
        entry->filter.addRule(own);
        entry->filter.addRule(shared);
    }
    window.addDataset(QString::fromStdString(files[2]));
    ASSERT_TRUE(waitForLoaded(window, 3));
    const EventFilter& joined = window.datasets()[2]->filter;
    EXPECT_FALSE(joined.isEnabled());
    EXPECT_EQ(joined.combineMode(), FilterCombineMode::NOT);
    ASSERT_EQ(joined.ruleCount(), 1); // only the rule applied to all
    EXPECT_EQ(joined.rules()[0].propagationId, shared.propagationId);

    // Once they disagree, a newcomer keeps its defaults.
    window.datasets()[0]->filter.setEnabled(true);
    window.datasets()[0]->filter.setCombineMode(FilterCombineMode::AND);
    window.addDataset(QString::fromStdString(files[3]));
    ASSERT_TRUE(waitForLoaded(window, 4));
    EXPECT_TRUE(window.datasets()[3]->filter.isEnabled());
    EXPECT_EQ(window.datasets()[3]->filter.combineMode(), FilterCombineMode::AND);
}

} // namespace
} // namespace Quorvex3
