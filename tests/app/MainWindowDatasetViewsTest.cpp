// The main window's dataset list and folder tree: item texts with their
// rich text and escaping, folder trees of uneven and relative paths at every
// depth, reordering with the active dataset and the running preload kept
// right, and switching between the list and the folder view.
#include "MainWindowTestSupport.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetReorder.h"
#include "app/DatasetTreeWidget.h"
#include "app/MainWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using testing::RtdcFixtureWriter;
using testing::ScriptedDialogProvider;
using testing::TempDir;

constexpr int kEvents = 40;

/// Metadata a measurement may carry for its list text; empty means absent.
struct ItemMetadata {
    std::string sample;
    std::optional<double> flowRate;
    std::string flowRateText;
    std::string chipRegion;
    std::optional<int> runIndex;
};

void writeMeasurement(const std::string& path, const ItemMetadata& meta = {}) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    std::vector<float> area(kEvents);
    for (std::size_t i = 0; i < area.size(); ++i)
        area[i] = 20.0f + static_cast<float>(i);
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", area);
    writer.addColumn<float>("deform", std::vector<float>(area.size(), 0.05f));
    if (!meta.sample.empty())
        writer.setStringAttribute("experiment:sample", meta.sample, testing::CharSet::Utf8);
    if (meta.flowRate)
        writer.setScalarAttribute<double>("setup:flow rate", *meta.flowRate);
    if (!meta.flowRateText.empty())
        writer.setStringAttribute("setup:flow rate", meta.flowRateText);
    if (!meta.chipRegion.empty())
        writer.setStringAttribute("setup:chip region", meta.chipRegion);
    if (meta.runIndex)
        writer.setScalarAttribute<int32_t>("experiment:run index", *meta.runIndex);
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool allLoaded(const MainWindow& window, std::size_t count) {
    if (window.datasets().size() != count)
        return false;
    for (const auto& entry : window.datasets())
        if (!entry->featuresLoaded)
            return false;
    return true;
}

/// What a user reads in a rich-text item.
QString shownText(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

/// One line per tree item, indented two spaces per level: a folder by its
/// shown name and a slash, a dataset by its file name.
void outline(const QTreeWidgetItem* item, int level, QStringList& lines) {
    const bool dataset = item->data(0, Qt::UserRole).isValid();
    const QString label = dataset ? QFileInfo(item->toolTip(0)).fileName()
                                  : shownText(item->text(0)) + QStringLiteral("/");
    lines << QString(level * 2, QLatin1Char(' ')) + label;
    for (int i = 0; i < item->childCount(); ++i)
        outline(item->child(i), level + 1, lines);
}

QString treeOutline(const QTreeWidget* tree) {
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        outline(tree->topLevelItem(i), 0, lines);
    return lines.join(QLatin1Char('\n'));
}

class MainWindowDatasetViews : public ::testing::Test {
protected:
    void SetUp() override {
        test::clearSettings();
        m_previousDir = QDir::currentPath();
    }
    void TearDown() override { QDir::setCurrent(m_previousDir); }

    std::string path(const std::string& relative) const { return m_dir.file(relative); }

    /// Opens every path in order and waits until all are preloaded.
    static void open(MainWindow& window, const std::vector<std::string>& paths) {
        const std::size_t count = window.datasets().size() + paths.size();
        for (const std::string& p : paths)
            window.addDataset(QString::fromStdString(p));
        ASSERT_TRUE(spinUntil([&] { return allLoaded(window, count); }));
    }

    static DatasetListWidget* list(MainWindow& window) {
        return window.findChild<DatasetListWidget*>();
    }
    static DatasetTreeWidget* tree(MainWindow& window) {
        return window.findChild<DatasetTreeWidget*>();
    }
    static QComboBox* modeCombo(MainWindow& window) {
        return window.findChild<QComboBox*>(QStringLiteral("viewModeCombo"));
    }
    static QSpinBox* depthSpin(MainWindow& window) {
        return window.findChild<QSpinBox*>(QStringLiteral("depthSpin"));
    }
    static void showFolders(MainWindow& window, int depth) {
        depthSpin(window)->setValue(depth);
        modeCombo(window)->setCurrentIndex(1);
    }

    static QStringList listNames(MainWindow& window) {
        QStringList names;
        for (int row = 0; row < list(window)->count(); ++row)
            names << QFileInfo(list(window)->item(row)->toolTip()).fileName();
        return names;
    }
    static QStringList datasetNames(const MainWindow& window) {
        QStringList names;
        for (const auto& entry : window.datasets())
            names << QFileInfo(QString::fromStdString(entry->filePath)).fileName();
        return names;
    }
    static int indexOfId(const MainWindow& window, int id) {
        for (std::size_t i = 0; i < window.datasets().size(); ++i)
            if (window.datasets()[i]->id == id)
                return static_cast<int>(i);
        return -1;
    }

    TempDir m_dir;
    QString m_previousDir;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
};

// ---- item text -------------------------------------------------------------------

TEST_F(MainWindowDatasetViews, ItemShowsNameAndEachMetadataPartOnlyWhenPresent) {
    writeMeasurement(path("full.rtdc"), {"Blood", 0.16, "", "reservoir", 3});
    writeMeasurement(path("bare.rtdc"));
    writeMeasurement(path("rounded.rtdc"), {"R", 0.123456, "", "channel", std::nullopt});
    writeMeasurement(path("whole.rtdc"), {"W", 12.0, "", "Reservoir", 0});
    writeMeasurement(path("garbled.rtdc"), {"G", std::nullopt, "fast", "", std::nullopt});
    MainWindow window;
    open(window, {path("full.rtdc"), path("bare.rtdc"), path("rounded.rtdc"), path("whole.rtdc"),
                  path("garbled.rtdc")});

    const QStringList expected = {
        QStringLiteral("<b>Blood</b> (0.16 \u00B5L/s, Reservoir, #3, 40 events)"),
        QStringLiteral("<b>bare.rtdc</b> (40 events)"),
        // Four significant digits; the chip region must be "reservoir" exactly.
        QStringLiteral("<b>R</b> (0.1235 \u00B5L/s, 40 events)"),
        QStringLiteral("<b>W</b> (12 \u00B5L/s, #0, 40 events)"),
        QStringLiteral("<b>G</b> (40 events)"),
    };
    ASSERT_EQ(list(window)->count(), expected.size());
    for (int row = 0; row < expected.size(); ++row) {
        SCOPED_TRACE(row);
        const QListWidgetItem* item = list(window)->item(row);
        const DatasetEntry& entry = *window.datasets()[static_cast<std::size_t>(row)];
        EXPECT_EQ(item->text(), expected[row]);
        EXPECT_EQ(window.buildDatasetListText(&entry), expected[row]);
        EXPECT_EQ(item->data(Qt::UserRole).toInt(), entry.id);
        EXPECT_EQ(item->toolTip(), QString::fromStdString(entry.filePath));
    }
}

TEST_F(MainWindowDatasetViews, MarkupInANameIsShownAsTextInBold) {
    const std::string name = "<i>Blood</i> & co. 100% %2";
    writeMeasurement(path("m.rtdc"), {name, std::nullopt, "", "", std::nullopt});
    MainWindow window;
    open(window, {path("m.rtdc")});

    const QString html = list(window)->item(0)->text();
    EXPECT_EQ(html,
              QStringLiteral("<b>&lt;i&gt;Blood&lt;/i&gt; &amp; co. 100% %2</b> (40 events)"));
    EXPECT_EQ(shownText(html), QString::fromStdString(name) + QStringLiteral(" (40 events)"));
    QTextDocument document;
    document.setHtml(html);
    QTextCursor cursor(&document);
    cursor.setPosition(2);
    EXPECT_TRUE(cursor.charFormat().font().bold());
}

// ---- folder tree -----------------------------------------------------------------

/// Measurements on uneven levels below the temporary directory T, plus one
/// opened by a relative path. The deepest one lies four folders below T,
/// so T and its parents never show at depths 1 to 4.
class MainWindowFolderTree : public MainWindowDatasetViews {
protected:
    void openUnevenTree(MainWindow& window) {
        const std::vector<std::string> files = {path("lab/2024/day1/chipA/a.rtdc"),
                                                path("lab/2024/day1/chipA/b.rtdc"),
                                                path("lab/2024/day1/c.rtdc"),
                                                path("lab/2024/day2/d.rtdc"),
                                                path("lab/e.rtdc"),
                                                path("rel/f.rtdc")};
        for (const std::string& file : files)
            writeMeasurement(file);
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(m_dir.path())));
        std::vector<std::string> opened(files.begin(), files.end() - 1);
        opened.push_back("rel/f.rtdc");
        open(window, opened);
    }
};

TEST_F(MainWindowFolderTree, DepthOneShowsOnlyTheFoldersHoldingTheDeepestMeasurements) {
    MainWindow window;
    openUnevenTree(window);
    showFolders(window, 1);
    // c's folder day1 also holds chipA one level further down, so c goes to
    // the top level; the relative path has no folder at all.
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("chipA/\n"
                                                        "  a.rtdc\n"
                                                        "  b.rtdc\n"
                                                        "c.rtdc\n"
                                                        "day2/\n"
                                                        "  d.rtdc\n"
                                                        "e.rtdc\n"
                                                        "f.rtdc"));
}

TEST_F(MainWindowFolderTree, EachDepthAddsOneParentLevel) {
    MainWindow window;
    openUnevenTree(window);
    showFolders(window, 2);
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("day1/\n"
                                                        "  chipA/\n"
                                                        "    a.rtdc\n"
                                                        "    b.rtdc\n"
                                                        "  c.rtdc\n"
                                                        "day2/\n"
                                                        "  d.rtdc\n"
                                                        "e.rtdc\n"
                                                        "f.rtdc"));
    depthSpin(window)->setValue(3);
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("2024/\n"
                                                        "  day1/\n"
                                                        "    chipA/\n"
                                                        "      a.rtdc\n"
                                                        "      b.rtdc\n"
                                                        "    c.rtdc\n"
                                                        "  day2/\n"
                                                        "    d.rtdc\n"
                                                        "e.rtdc\n"
                                                        "f.rtdc"));
    depthSpin(window)->setValue(4);
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("lab/\n"
                                                        "  2024/\n"
                                                        "    day1/\n"
                                                        "      chipA/\n"
                                                        "        a.rtdc\n"
                                                        "        b.rtdc\n"
                                                        "      c.rtdc\n"
                                                        "    day2/\n"
                                                        "      d.rtdc\n"
                                                        "  e.rtdc\n"
                                                        "f.rtdc"));
}

TEST_F(MainWindowFolderTree, EvenTreeAtDepthTwoShowsTheFolderAndItsParent) {
    writeMeasurement(path("u/me/data/day1/a.rtdc"));
    writeMeasurement(path("u/me/data/day1/b.rtdc"));
    writeMeasurement(path("u/me/data/day2/c.rtdc"));
    MainWindow window;
    open(window, {path("u/me/data/day1/a.rtdc"), path("u/me/data/day1/b.rtdc"),
                  path("u/me/data/day2/c.rtdc")});
    showFolders(window, 2);
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("data/\n"
                                                        "  day1/\n"
                                                        "    a.rtdc\n"
                                                        "    b.rtdc\n"
                                                        "  day2/\n"
                                                        "    c.rtdc"));
}

TEST_F(MainWindowFolderTree, ItemsCarryIdsTextsAndOnlyDatasetsAreSelectableOrDraggable) {
    writeMeasurement(path("R&D <x>/a.rtdc"), {"S<1>", std::nullopt, "", "", 7});
    MainWindow window;
    open(window, {path("R&D <x>/a.rtdc")});
    showFolders(window, 1);

    ASSERT_EQ(tree(window)->topLevelItemCount(), 1);
    const QTreeWidgetItem* folder = tree(window)->topLevelItem(0);
    EXPECT_EQ(folder->text(0), QStringLiteral("R&amp;D &lt;x&gt;"));
    EXPECT_EQ(shownText(folder->text(0)), QStringLiteral("R&D <x>"));
    EXPECT_FALSE(folder->data(0, Qt::UserRole).isValid());
    EXPECT_FALSE(folder->flags() & Qt::ItemIsSelectable);
    EXPECT_FALSE(folder->flags() & Qt::ItemIsDragEnabled);

    ASSERT_EQ(folder->childCount(), 1);
    const QTreeWidgetItem* item = folder->child(0);
    const DatasetEntry& entry = *window.datasets()[0];
    EXPECT_EQ(item->text(0), QStringLiteral("<b>S&lt;1&gt;</b> (#7, 40 events)"));
    EXPECT_EQ(item->data(0, Qt::UserRole).toInt(), entry.id);
    EXPECT_EQ(item->toolTip(0), QString::fromStdString(entry.filePath));
    EXPECT_TRUE(item->flags() & Qt::ItemIsSelectable);
    EXPECT_TRUE(item->flags() & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(item->flags() & Qt::ItemIsDropEnabled);
    EXPECT_TRUE(folder->isExpanded());
}

// ---- view switching --------------------------------------------------------------

TEST_F(MainWindowDatasetViews, SwitchingToFoldersShowsTheCurrentTreeWithTheActiveDataset) {
    writeMeasurement(path("x/day1/a.rtdc"));
    writeMeasurement(path("x/day2/b.rtdc"));
    MainWindow window;
    open(window, {path("x/day1/a.rtdc"), path("x/day2/b.rtdc")});
    list(window)->setCurrentRow(0);
    // Changed while the list is shown: the tree must follow once it is.
    depthSpin(window)->setValue(1);

    modeCombo(window)->setCurrentIndex(1);
    EXPECT_EQ(window.findChild<QStackedWidget*>(QStringLiteral("datasetStack"))->currentWidget(),
              tree(window));
    EXPECT_TRUE(window.datasetFolderViewActive());
    EXPECT_EQ(QSettings().value(QStringLiteral("datasetView/mode")).toInt(), 1);
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("day1/\n"
                                                        "  a.rtdc\n"
                                                        "day2/\n"
                                                        "  b.rtdc"));
    ASSERT_NE(tree(window)->currentItem(), nullptr);
    EXPECT_EQ(tree(window)->currentItem()->data(0, Qt::UserRole).toInt(), window.activeDatasetId());

    modeCombo(window)->setCurrentIndex(0);
    EXPECT_EQ(window.findChild<QStackedWidget*>(QStringLiteral("datasetStack"))->currentWidget(),
              list(window));
    EXPECT_FALSE(window.datasetFolderViewActive());
    EXPECT_EQ(QSettings().value(QStringLiteral("datasetView/mode")).toInt(), 0);
}

TEST_F(MainWindowDatasetViews, StoredFolderModeShowsNewDatasetsInTheTreeAtTheStoredDepth) {
    {
        QSettings settings;
        settings.setValue(QStringLiteral("datasetView/mode"), 1);
        settings.setValue(QStringLiteral("datasetView/depth"), 1);
    }
    writeMeasurement(path("p/q/a.rtdc"));
    writeMeasurement(path("p/r/b.rtdc"));
    MainWindow window;
    open(window, {path("p/q/a.rtdc")});
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("q/\n"
                                                        "  a.rtdc"));
    open(window, {path("p/r/b.rtdc")});
    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("q/\n"
                                                        "  a.rtdc\n"
                                                        "r/\n"
                                                        "  b.rtdc"));
    // The list holds every dataset in either mode.
    EXPECT_EQ(listNames(window), QStringList({"a.rtdc", "b.rtdc"}));
}

TEST_F(MainWindowDatasetViews, TreeAndListSelectionFollowEachOther) {
    writeMeasurement(path("s/one/a.rtdc"));
    writeMeasurement(path("s/two/b.rtdc"));
    writeMeasurement(path("s/two/c.rtdc"));
    MainWindow window;
    open(window, {path("s/one/a.rtdc"), path("s/two/b.rtdc"), path("s/two/c.rtdc")});
    showFolders(window, 1);

    const int idOfB = window.datasets()[1]->id;
    tree(window)->setCurrentItem(tree(window)->findDatasetItem(idOfB));
    EXPECT_EQ(window.activeDatasetId(), idOfB);
    EXPECT_EQ(list(window)->currentRow(), 1);

    // A folder item is no dataset: nothing changes.
    tree(window)->setCurrentItem(tree(window)->topLevelItem(0));
    EXPECT_EQ(window.activeDatasetId(), idOfB);

    list(window)->setCurrentRow(0);
    ASSERT_NE(tree(window)->currentItem(), nullptr);
    EXPECT_EQ(tree(window)->currentItem()->data(0, Qt::UserRole).toInt(), window.datasets()[0]->id);
}

// ---- reorder ---------------------------------------------------------------------

TEST_F(MainWindowDatasetViews, ListReorderMovesTheDatasetAndKeepsTheActiveOne) {
    for (const char* name : {"a.rtdc", "b.rtdc", "c.rtdc", "d.rtdc"})
        writeMeasurement(path(name));
    MainWindow window;
    open(window, {path("a.rtdc"), path("b.rtdc"), path("c.rtdc"), path("d.rtdc")});
    list(window)->setCurrentRow(2);
    const int activeId = window.activeDatasetId();
    ASSERT_EQ(activeId, window.datasets()[2]->id);

    // a to the end: the active c moves up by one.
    emit list(window)->internalReorderRequested(0, 4);
    EXPECT_EQ(datasetNames(window), QStringList({"b.rtdc", "c.rtdc", "d.rtdc", "a.rtdc"}));
    EXPECT_EQ(listNames(window), datasetNames(window));
    EXPECT_EQ(window.activeDatasetId(), activeId);
    EXPECT_EQ(list(window)->currentRow(), 1);
    EXPECT_TRUE(list(window)->item(1)->isSelected());

    // The active c itself to the front.
    emit list(window)->internalReorderRequested(1, 0);
    EXPECT_EQ(datasetNames(window), QStringList({"c.rtdc", "b.rtdc", "d.rtdc", "a.rtdc"}));
    EXPECT_EQ(window.activeDatasetId(), activeId);
    EXPECT_EQ(list(window)->currentRow(), 0);
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(list(window)->item(row)->data(Qt::UserRole).toInt(),
                  window.datasets()[static_cast<std::size_t>(row)]->id);

    // Requests that would not change the order, or lie outside the list.
    for (const auto& [from, to] :
         std::vector<std::pair<int, int>>{{1, 1}, {1, 2}, {-1, 0}, {4, 0}, {0, 5}, {0, -1}}) {
        emit list(window)->internalReorderRequested(from, to);
        EXPECT_EQ(datasetNames(window), QStringList({"c.rtdc", "b.rtdc", "d.rtdc", "a.rtdc"}));
    }
}

TEST_F(MainWindowDatasetViews, TreeReorderPlacesTheDatasetBeforeOrBehindItsSibling) {
    for (const char* name : {"f/a.rtdc", "f/b.rtdc", "f/c.rtdc"})
        writeMeasurement(path(name));
    MainWindow window;
    open(window, {path("f/a.rtdc"), path("f/b.rtdc"), path("f/c.rtdc")});
    showFolders(window, 1);
    const int a = window.datasets()[0]->id;
    const int b = window.datasets()[1]->id;
    const int c = window.datasets()[2]->id;
    list(window)->setCurrentRow(0);

    emit tree(window)->internalReorderRequested(a, c, true);
    EXPECT_EQ(datasetNames(window), QStringList({"b.rtdc", "c.rtdc", "a.rtdc"}));
    emit tree(window)->internalReorderRequested(c, b, false);
    EXPECT_EQ(datasetNames(window), QStringList({"c.rtdc", "b.rtdc", "a.rtdc"}));
    // An id that no longer exists changes nothing.
    emit tree(window)->internalReorderRequested(a, 999, false);
    EXPECT_EQ(datasetNames(window), QStringList({"c.rtdc", "b.rtdc", "a.rtdc"}));

    EXPECT_EQ(treeOutline(tree(window)), QStringLiteral("f/\n"
                                                        "  c.rtdc\n"
                                                        "  b.rtdc\n"
                                                        "  a.rtdc"));
    EXPECT_EQ(window.activeDatasetId(), a);
    EXPECT_EQ(list(window)->currentRow(), 2);
    ASSERT_NE(tree(window)->currentItem(), nullptr);
    EXPECT_EQ(tree(window)->currentItem()->data(0, Qt::UserRole).toInt(), a);
}

TEST_F(MainWindowDatasetViews, ReorderRebuildsTheViewsOnceNotOncePerDataset) {
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(path("g/m" + std::to_string(i) + ".rtdc"));
        writeMeasurement(paths.back());
    }
    MainWindow window;
    open(window, paths);
    showFolders(window, 1);
    QSignalSpy treeResets(tree(window)->model(), &QAbstractItemModel::modelReset);
    QSignalSpy listResets(list(window)->model(), &QAbstractItemModel::modelReset);

    emit list(window)->internalReorderRequested(5, 0);
    EXPECT_EQ(treeResets.count(), 1);
    EXPECT_EQ(listResets.count(), 1);
    EXPECT_EQ(list(window)->count(), 6);
    EXPECT_EQ(tree(window)->topLevelItem(0)->childCount(), 6);
}

TEST_F(MainWindowDatasetViews, ReorderDuringAPreloadStillMarksTheRightDatasetLoaded) {
    writeMeasurement(path("a.rtdc"));
    writeMeasurement(path("b.rtdc"));
    MainWindow window;
    open(window, {path("a.rtdc")});

    // b's preload starts now; its end can only be handled once the event
    // loop runs, so the move below happens while it is running.
    window.addDataset(QString::fromStdString(path("b.rtdc")));
    ASSERT_EQ(window.datasets().size(), 2u);
    ASSERT_FALSE(window.datasets()[1]->featuresLoaded);
    const int idOfB = window.datasets()[1]->id;
    emit list(window)->internalReorderRequested(1, 0);
    ASSERT_EQ(window.datasets()[0]->id, idOfB);

    ASSERT_TRUE(spinUntil([&] { return allLoaded(window, 2); }, 5000))
        << "the preload's end marked another dataset";
    EXPECT_EQ(window.activeDatasetId(), idOfB);
    EXPECT_EQ(indexOfId(window, idOfB), list(window)->currentRow());
}

// ---- index bookkeeping of a move ----------------------------------------------------

TEST(DatasetReorder, EveryIndexFollowsItsOwnDatasetThroughAMove) {
    // Checked against an actual move of labelled entries, for every request
    // on lists of one to five entries.
    for (int count = 1; count <= 5; ++count) {
        for (int from = -1; from <= count; ++from) {
            for (int to = -1; to <= count + 1; ++to) {
                SCOPED_TRACE(::testing::Message() << count << ": " << from << " -> " << to);
                std::vector<int> labels(static_cast<std::size_t>(count));
                for (int i = 0; i < count; ++i)
                    labels[static_cast<std::size_t>(i)] = i;
                const int destination = datasetMoveDestination(from, to, count);
                const bool valid = from >= 0 && from < count && to >= 0 && to <= count;
                const bool unchanged = valid && (to == from || to == from + 1);
                if (!valid || unchanged) {
                    EXPECT_EQ(destination, -1);
                    continue;
                }
                std::vector<int> moved = labels;
                moved.insert(moved.begin() + to, labels[static_cast<std::size_t>(from)]);
                moved.erase(moved.begin() + (to < from ? from + 1 : from));
                ASSERT_GE(destination, 0);
                EXPECT_EQ(moved[static_cast<std::size_t>(destination)], from);
                for (int i = 0; i < count; ++i)
                    EXPECT_EQ(moved[static_cast<std::size_t>(
                                  indexAfterDatasetMove(i, from, destination))],
                              i);
                EXPECT_EQ(indexAfterDatasetMove(-1, from, destination), -1);
            }
        }
    }
}

TEST(DatasetReorder, HandWorkedMoves) {
    // [A B C D E], B inserted before E (position 4) -> [A C D B E].
    EXPECT_EQ(datasetMoveDestination(1, 4, 5), 3);
    const std::vector<int> forward = {0, 3, 1, 2, 4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(indexAfterDatasetMove(i, 1, 3), forward[static_cast<std::size_t>(i)]);
    // [A B C D E], D to the front -> [D A B C E].
    EXPECT_EQ(datasetMoveDestination(3, 0, 5), 0);
    const std::vector<int> backward = {1, 2, 3, 0, 4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(indexAfterDatasetMove(i, 3, 0), backward[static_cast<std::size_t>(i)]);
    // Dropped below the last row: to the end.
    EXPECT_EQ(datasetMoveDestination(0, 5, 5), 4);
}

} // namespace
} // namespace Quorvex3
