// The groups-by-datasets matrix window: its look, its rows and columns in
// list and folder mode, ticking a cell, clicking a group's header or a
// dataset's name, keeping in step with the main window, and the safety of
// its check boxes while they report a click.
#include "FilterGroupTestSupport.h"

#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "model/FilterGroup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

QStringList headerLabels(QTreeWidget* tree) {
    QStringList labels;
    for (int column = 0; column < tree->columnCount(); ++column)
        labels << tree->headerItem()->text(column);
    return labels;
}

/// The check box of a cell, or null.
QCheckBox* cellBox(QTreeWidget* tree, QTreeWidgetItem* item, int column) {
    QWidget* container = tree->itemWidget(item, column);
    return container ? container->findChild<QCheckBox*>() : nullptr;
}

/// Every item of the tree in display order, with its depth.
void collect(QTreeWidgetItem* item, int depth, std::vector<std::pair<QTreeWidgetItem*, int>>& out) {
    out.emplace_back(item, depth);
    for (int i = 0; i < item->childCount(); ++i)
        collect(item->child(i), depth + 1, out);
}

std::vector<std::pair<QTreeWidgetItem*, int>> allItems(QTreeWidget* tree) {
    std::vector<std::pair<QTreeWidgetItem*, int>> items;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        collect(tree->topLevelItem(i), 0, items);
    return items;
}

/// "name" per row, indented by two spaces per level.
QStringList outline(QTreeWidget* tree) {
    QStringList lines;
    for (const auto& [item, depth] : allItems(tree))
        lines << QString(depth * 2, QLatin1Char(' ')) + item->text(0);
    return lines;
}

QTreeWidgetItem* rowNamed(QTreeWidget* tree, const QString& name) {
    for (const auto& entry : allItems(tree))
        if (entry.first->text(0) == name)
            return entry.first;
    return nullptr;
}

void clickName(QTreeWidget* tree, QTreeWidgetItem* item, int column = 0) {
    const QRect rect = tree->visualItemRect(item);
    const int x = tree->header()->sectionViewportPosition(column) + 10;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(x, rect.center().y()));
}

void clickHeader(QTreeWidget* tree, int section) {
    QHeaderView* header = tree->header();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

/// Clears the stored settings when constructed, so a window built after
/// it starts in list mode whatever an earlier test chose.
struct ClearedSettings {
    ClearedSettings() { test::clearSettings(); }
};

class MatrixWindow : public ::testing::Test {
protected:
    void openDatasets(int count) {
        m_paths = test::openMeasurements(m_main, m_dir, count);
        ASSERT_EQ(static_cast<int>(m_paths.size()), count);
    }

    DatasetEntry* dataset(int index) {
        return m_main.datasets()[static_cast<std::size_t>(index)].get();
    }

    /// The matrix as the main window opens it, shown.
    FilterGroupsMatrixWindow* openMatrix() {
        QMetaObject::invokeMethod(&m_main, "openFilterGroupsMatrixWindow", Qt::DirectConnection);
        EXPECT_EQ(m_main.filterGroupsMatrixWindows().size(), 1u);
        FilterGroupsMatrixWindow* window = m_main.filterGroupsMatrixWindows().back();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return window;
    }

    /// Group widgets alive in the dock, including those only deleted later.
    int dockGroupWidgets() {
        return m_main.findChild<FilterDockWidget*>()->findChildren<FilterGroupWidget*>().size();
    }

    ClearedSettings m_clearedSettings;
    Quorvex3::testing::TempDir m_dir;
    MainWindow m_main;
    std::vector<std::string> m_paths;
};

// ---- look --------------------------------------------------------------------------

TEST_F(MatrixWindow, TitleSizeHelpTextAndTree) {
    FilterGroupsMatrixWindow window(&m_main.store());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Filter Groups \u2013 Datasets Matrix"));
    EXPECT_EQ(window.size(), QSize(720, 480));
    EXPECT_EQ(window.parentWidget(), nullptr);
    auto* help = window.findChild<QLabel*>();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text(),
              QStringLiteral("Tick a cell to enable a filter group for a dataset. Click a "
                             "group's column header to bulk-toggle it across datasets, or click "
                             "a dataset's name to bulk-toggle every group for it."));
    EXPECT_TRUE(help->wordWrap());
    EXPECT_EQ(help->styleSheet(), QStringLiteral("QLabel { color: #555; padding-bottom: 4px; }"));

    QTreeWidget* tree = window.tree();
    EXPECT_TRUE(tree->header()->sectionsClickable());
    EXPECT_FALSE(tree->header()->stretchLastSection());
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::NoSelection);
    EXPECT_EQ(tree->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(tree->alternatingRowColors());
    EXPECT_FALSE(tree->itemsExpandable());
    EXPECT_TRUE(tree->rootIsDecorated());
    EXPECT_EQ(headerLabels(tree), QStringList{QStringLiteral("Dataset")});
    const QMenu* view = test::menuNamed(window, QStringLiteral("&View"));
    ASSERT_NE(view, nullptr);
    EXPECT_NE(test::actionNamed(const_cast<QMenu*>(view), QStringLiteral("Keep on &Top")), nullptr);
}

TEST_F(MatrixWindow, WithoutAMainWindowOnlyTheEmptyTree) {
    FilterGroupsMatrixWindow window(nullptr);
    window.refresh();
    EXPECT_EQ(window.tree()->topLevelItemCount(), 0);
    EXPECT_EQ(headerLabels(window.tree()), QStringList{QStringLiteral("Dataset")});
}

// ---- rows and columns --------------------------------------------------------------

TEST_F(MatrixWindow, OneColumnPerGroupAndOneRowPerDatasetWithItsSwitches) {
    openDatasets(3);
    const int a = m_main.addFilterGroup("Alpha");
    const int b = m_main.addFilterGroup("Beta");
    m_main.setGroupEnabled(dataset(1)->id, b, true);
    m_main.setGroupEnabled(dataset(2)->id, a, true);
    FilterGroupsMatrixWindow window(&m_main.store());
    QTreeWidget* tree = window.tree();

    EXPECT_EQ(headerLabels(tree), (QStringList{"Dataset", "Alpha", "Beta"}));
    EXPECT_EQ(tree->header()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_EQ(tree->header()->sectionResizeMode(1), QHeaderView::ResizeToContents);
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    const int rowHeight = tree->fontMetrics().height() + 12;
    for (int row = 0; row < 3; ++row) {
        QTreeWidgetItem* item = tree->topLevelItem(row);
        EXPECT_EQ(item->text(0), dataset(row)->displayName);
        EXPECT_EQ(item->data(0, Qt::UserRole).toInt(), dataset(row)->id);
        EXPECT_EQ(item->sizeHint(1), QSize(0, rowHeight));
        for (int group = 0; group < 2; ++group) {
            QCheckBox* box = cellBox(tree, item, group + 1);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->text().isEmpty());
            EXPECT_EQ(box->isChecked(), (row == 1 && group == 1) || (row == 2 && group == 0))
                << "row " << row << " group " << group;
        }
    }
}

TEST_F(MatrixWindow, FolderModeArrangesDatasetsUnderTheirFolders) {
    const std::vector<std::string> relative{"day1/a/m1.rtdc", "day1/b/m2.rtdc", "day2/a/m3.rtdc"};
    for (const std::string& path : relative) {
        m_paths.push_back(m_dir.file(path));
        test::writeSmallMeasurement(m_paths.back());
        ASSERT_TRUE(test::openAndWait(m_main, m_paths.back()));
    }
    m_main.addFilterGroup("G");
    m_main.findChild<QComboBox*>(QStringLiteral("viewModeCombo"))->setCurrentIndex(1);
    m_main.findChild<QSpinBox*>(QStringLiteral("depthSpin"))->setValue(2);
    FilterGroupsMatrixWindow window(&m_main.store(), {m_main.datasetFolderViewActive(),
                                                      m_main.datasetFolderDepth()});
    QTreeWidget* tree = window.tree();
    const QString m1 = dataset(0)->displayName;
    const QString m2 = dataset(1)->displayName;
    const QString m3 = dataset(2)->displayName;
    EXPECT_EQ(outline(tree), (QStringList{"day1", "  a", "    " + m1, "  b", "    " + m2, "day2",
                                          "  a", "    " + m3}));
    QTreeWidgetItem* folder = tree->topLevelItem(0);
    EXPECT_FALSE(folder->data(0, Qt::UserRole).isValid());
    EXPECT_EQ(tree->itemWidget(folder, 1), nullptr);
    EXPECT_TRUE(folder->isExpanded());
    ASSERT_NE(cellBox(tree, rowNamed(tree, m3), 1), nullptr);

    // The main window's depth change reaches the open matrix window.
    QMetaObject::invokeMethod(&m_main, "openFilterGroupsMatrixWindow", Qt::DirectConnection);
    FilterGroupsMatrixWindow* open = m_main.filterGroupsMatrixWindows().back();
    m_main.findChild<QSpinBox*>(QStringLiteral("depthSpin"))->setValue(1);
    EXPECT_EQ(outline(open->tree()), (QStringList{"a", "  " + m1, "b", "  " + m2, "a", "  " + m3}));
    // Clicking a folder row switches nothing.
    clickName(open->tree(), open->tree()->topLevelItem(0));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(i), 0));
}

// ---- cells -------------------------------------------------------------------------

TEST_F(MatrixWindow, TickingABoxSwitchesExactlyOneDatasetAndTheDockFollows) {
    openDatasets(2);
    const int a = m_main.addFilterGroup("A");
    const int b = m_main.addFilterGroup("B");
    m_main.refreshFilterGroupsUi();
    FilterGroupsMatrixWindow* window = openMatrix();
    QTreeWidget* tree = window->tree();

    QPointer<QCheckBox> box = cellBox(tree, tree->topLevelItem(1), 2);
    box->click();
    // The plot refresh it asked for runs as the event loop turns.
    m_main.flushPlotRequests();
    EXPECT_TRUE(m_main.isGroupEnabled(dataset(1), b));
    EXPECT_FALSE(m_main.isGroupEnabled(dataset(1), a));
    EXPECT_FALSE(m_main.isGroupEnabled(dataset(0), b));
    // Dataset 1 is the active one: its group switch in the dock follows.
    auto* dock = m_main.findChild<FilterDockWidget*>();
    auto* enable = dock->groupWidgets()[1]->findChild<QCheckBox*>(QStringLiteral("groupEnableBox"));
    EXPECT_TRUE(enable->isChecked());

    // The box was kept (not rebuilt under its own signal) and still works.
    test::flushDeletes();
    ASSERT_FALSE(box.isNull());
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_FALSE(m_main.isGroupEnabled(dataset(1), b));
}

TEST_F(MatrixWindow, ABoxIsNotDeletedWhileItReportsAClickThatRenamesAColumn) {
    openDatasets(1);
    const int g = m_main.addFilterGroup("Before");
    FilterGroupsMatrixWindow* window = openMatrix();
    QPointer<QCheckBox> box = cellBox(window->tree(), window->tree()->topLevelItem(0), 1);
    bool aliveAfterRefresh = false;
    // A second receiver of the same click changes the columns of the grid.
    QObject::connect(box, &QCheckBox::toggled, &m_main, [&] {
        m_main.renameFilterGroup(g, "After");
        m_main.refreshFilterGroupsUi();
        aliveAfterRefresh = !box.isNull() && box->isVisible();
    });
    box->click();
    EXPECT_TRUE(aliveAfterRefresh);
    EXPECT_TRUE(m_main.isGroupEnabled(dataset(0), g));
    // The rebuild follows from the event loop.
    ASSERT_TRUE(test::waitUntil([&] {
        return headerLabels(window->tree()) == QStringList{"Dataset", "After"};
    }));
    QCheckBox* rebuilt = cellBox(window->tree(), window->tree()->topLevelItem(0), 1);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_TRUE(rebuilt->isChecked());
}

TEST_F(MatrixWindow, MainWindowChangesReachTheOpenWindow) {
    openDatasets(2);
    FilterGroupsMatrixWindow* window = openMatrix();
    QTreeWidget* tree = window->tree();
    const int a = m_main.addFilterGroup("A");
    m_main.refreshFilterGroupsUi();
    EXPECT_EQ(headerLabels(tree), (QStringList{"Dataset", "A"}));
    m_main.setGroupEnabledInAll(a, true);
    m_main.flushPlotRequests();
    EXPECT_TRUE(cellBox(tree, tree->topLevelItem(0), 1)->isChecked());
    EXPECT_TRUE(cellBox(tree, tree->topLevelItem(1), 1)->isChecked());
    m_main.removeFilterGroup(a);
    m_main.refreshFilterGroupsUi();
    EXPECT_EQ(headerLabels(tree), QStringList{"Dataset"});
}

// ---- header clicks -----------------------------------------------------------------

TEST_F(MatrixWindow, HeaderClickSwitchesTheGroupOnEverywhereUnlessItIsAlready) {
    openDatasets(3);
    m_main.addFilterGroup("A");
    const int b = m_main.addFilterGroup("B");
    m_main.setGroupEnabled(dataset(0)->id, b, true);
    FilterGroupsMatrixWindow* window = openMatrix();
    QTreeWidget* tree = window->tree();

    clickHeader(tree, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(m_main.isGroupEnabled(dataset(i), b));
        EXPECT_TRUE(cellBox(tree, tree->topLevelItem(i), 2)->isChecked());
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(i), 0));
    }
    clickHeader(tree, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(i), b));
        EXPECT_FALSE(cellBox(tree, tree->topLevelItem(i), 2)->isChecked());
    }
    // The "Dataset" column switches nothing.
    clickHeader(tree, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(i), 0));
}

TEST_F(MatrixWindow, HeaderClickWithoutDatasetsSwitchesNothingOn) {
    m_main.addFilterGroup("A");
    FilterGroupsMatrixWindow* window = openMatrix();
    clickHeader(window->tree(), 1);
    EXPECT_EQ(window->tree()->topLevelItemCount(), 0);
    EXPECT_EQ(headerLabels(window->tree()), (QStringList{"Dataset", "A"}));
}

// ---- row clicks --------------------------------------------------------------------

TEST_F(MatrixWindow, NameClickSwitchesEveryGroupOfTheDatasetWithOneRefresh) {
    openDatasets(2);
    for (const char* name : {"A", "B", "C"})
        m_main.addFilterGroup(name);
    m_main.setGroupEnabled(dataset(0)->id, 1, true);
    m_main.refreshFilterGroupsUi();
    FilterGroupsMatrixWindow* window = openMatrix();
    QTreeWidget* tree = window->tree();

    test::flushDeletes();
    ASSERT_EQ(dockGroupWidgets(), 3);
    clickName(tree, tree->topLevelItem(0));
    // The plot refresh it asked for runs as the event loop turns.
    m_main.flushPlotRequests();
    // One refresh of the group interface builds one new set of widgets.
    EXPECT_EQ(dockGroupWidgets(), 6);
    for (int g = 0; g < 3; ++g) {
        EXPECT_TRUE(m_main.isGroupEnabled(dataset(0), g));
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(1), g));
        EXPECT_TRUE(cellBox(tree, tree->topLevelItem(0), g + 1)->isChecked());
    }
    // All on: the next click switches all off.
    clickName(tree, tree->topLevelItem(0));
    for (int g = 0; g < 3; ++g)
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(0), g));

    // A click outside the name column switches nothing.
    clickName(tree, tree->topLevelItem(1), 1);
    for (int g = 0; g < 3; ++g)
        EXPECT_FALSE(m_main.isGroupEnabled(dataset(1), g));
}

TEST_F(MatrixWindow, NameClickWithoutGroupsChangesNothing) {
    openDatasets(1);
    FilterGroupsMatrixWindow* window = openMatrix();
    EXPECT_EQ(headerLabels(window->tree()), QStringList{"Dataset"});
    clickName(window->tree(), window->tree()->topLevelItem(0));
    EXPECT_TRUE(dataset(0)->groupEnabled.empty());
}

// ---- first column width ------------------------------------------------------------

TEST_F(MatrixWindow, NameColumnIsFittedUntilTheUserSizesIt) {
    openDatasets(1);
    m_main.addFilterGroup("G");
    FilterGroupsMatrixWindow* window = openMatrix();
    QTreeWidget* tree = window->tree();
    const int fitted = tree->header()->sectionSize(0);

    dataset(0)->displayName = QStringLiteral("a considerably longer display name of a dataset");
    window->refresh();
    const int wider = tree->header()->sectionSize(0);
    EXPECT_GT(wider, fitted);

    tree->header()->resizeSection(0, 77);
    dataset(0)->displayName = QStringLiteral("an even longer display name, longer than any before");
    window->refresh();
    EXPECT_EQ(tree->header()->sectionSize(0), 77);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), dataset(0)->displayName);
}

} // namespace
} // namespace Quorvex3
