// The groups-by-datasets window on a dataset store alone, without the main
// window: what it reads from the store, the requests its clicks send, and
// the rows of its folder view.
#include "filters/FilterTestSupport.h"

#include "filters/FilterGroupsMatrixWindow.h"
#include "model/DatasetStore.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace Quorvex3 {
namespace {

/// The check box of a cell, or null.
QCheckBox* cellBox(QTreeWidget* tree, QTreeWidgetItem* item, int column) {
    QWidget* container = tree->itemWidget(item, column);
    return container ? container->findChild<QCheckBox*>() : nullptr;
}

/// Every box of the grid as "row:column" ticks, rows top to bottom.
QStringList ticks(QTreeWidget* tree) {
    QStringList out;
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
        for (int column = 1; column < tree->columnCount(); ++column) {
            QCheckBox* box = cellBox(tree, tree->topLevelItem(row), column);
            out << QStringLiteral("%1:%2=%3")
                       .arg(row)
                       .arg(column)
                       .arg(box ? (box->isChecked() ? "on" : "off") : "none");
        }
    return out;
}

void outline(QTreeWidgetItem* item, int depth, QStringList& out) {
    out << QString(depth * 2, QLatin1Char(' ')) + item->text(0);
    for (int i = 0; i < item->childCount(); ++i)
        outline(item->child(i), depth + 1, out);
}

QStringList outline(QTreeWidget* tree) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        outline(tree->topLevelItem(i), 0, out);
    return out;
}

class MatrixOnStore : public ::testing::Test {
protected:
    void SetUp() override {
        testing::app();
        for (const char* path :
             {"/data/day1/a/m1.rtdc", "/data/day1/b/m2.rtdc", "/data/day2/a/m3.rtdc"}) {
            auto entry = std::make_unique<DatasetEntry>();
            entry->filePath = path;
            entry->displayName = QString::fromUtf8(path).section(QLatin1Char('/'), -1);
            m_store.append(std::move(entry));
        }
        m_alpha = m_store.addGroup("Alpha");
        m_beta = m_store.addGroup("Beta");
    }

    int id(int row) const { return m_store.at(row)->id; }

    /// The window shown, with its requests answered by the store, as the
    /// main window answers them.
    std::unique_ptr<FilterGroupsMatrixWindow> openAnswered() {
        auto window = std::make_unique<FilterGroupsMatrixWindow>(&m_store);
        QObject::connect(window.get(), &FilterGroupsMatrixWindow::groupSwitchRequested,
                         [this](int dataset, int group, bool on) {
                             m_store.setGroupEnabled(dataset, group, on);
                         });
        QObject::connect(window.get(), &FilterGroupsMatrixWindow::groupSwitchesRequested,
                         [this](int dataset, const std::vector<int>& groups, bool on) {
                             m_store.setGroupsEnabled(dataset, groups, on);
                         });
        QObject::connect(window.get(), &FilterGroupsMatrixWindow::groupSwitchInAllRequested,
                         [this](int group, bool on) { m_store.setGroupEnabledInAll(group, on); });
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    DatasetStore m_store;
    int m_alpha = -1;
    int m_beta = -1;
};

TEST_F(MatrixOnStore, BoxesShowTheStoresSwitchesAndATickOnlyRequestsItsCell) {
    m_store.setGroupEnabled(id(2), m_alpha, true);
    FilterGroupsMatrixWindow window(&m_store);
    QTreeWidget* tree = window.tree();
    EXPECT_EQ(ticks(tree),
              (QStringList{"0:1=off", "0:2=off", "1:1=off", "1:2=off", "2:1=on", "2:2=off"}));

    QSignalSpy one(&window, &FilterGroupsMatrixWindow::groupSwitchRequested);
    QSignalSpy all(&window, &FilterGroupsMatrixWindow::groupSwitchInAllRequested);
    cellBox(tree, tree->topLevelItem(1), 2)->click();
    ASSERT_EQ(one.count(), 1);
    EXPECT_EQ(one.at(0), (QVariantList{id(1), m_beta, true}));
    EXPECT_EQ(all.count(), 0);
    // Nobody answered: the window changed nothing itself.
    EXPECT_FALSE(m_store.isGroupEnabled(m_store.at(1), m_beta));

    // Only what the store says counts at the next refresh.
    m_store.setGroupEnabled(id(0), m_beta, true);
    window.refresh();
    EXPECT_EQ(ticks(tree),
              (QStringList{"0:1=off", "0:2=on", "1:1=off", "1:2=off", "2:1=on", "2:2=off"}));
}

TEST_F(MatrixOnStore, HeaderClickRequestsTheOppositeOfAllOn) {
    struct Case {
        const char* name;
        std::vector<int> betaOnRows;
        bool expectedOn;
    };
    const std::vector<Case> cases{
        {"none on", {}, true},
        {"some on", {0, 2}, true},
        {"all on", {0, 1, 2}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_store.setGroupEnabledInAll(m_alpha, false);
        m_store.setGroupEnabledInAll(m_beta, false);
        for (int row : c.betaOnRows)
            m_store.setGroupEnabled(id(row), m_beta, true);
        auto window = openAnswered();
        QTreeWidget* tree = window->tree();
        QSignalSpy all(window.get(), &FilterGroupsMatrixWindow::groupSwitchInAllRequested);

        QHeaderView* header = tree->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + header->sectionSize(2) / 2,
                                 header->height() / 2));
        ASSERT_EQ(all.count(), 1);
        EXPECT_EQ(all.at(0), (QVariantList{m_beta, c.expectedOn}));
        // The answer is in the store when the request returns; the boxes follow.
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(cellBox(tree, tree->topLevelItem(row), 2)->isChecked(), c.expectedOn);
        EXPECT_FALSE(cellBox(tree, tree->topLevelItem(0), 1)->isChecked());
    }
}

TEST_F(MatrixOnStore, NameClickRequestsEveryGroupOfThatDatasetInGroupOrder) {
    m_store.setGroupEnabled(id(1), m_beta, true);
    auto window = openAnswered();
    QTreeWidget* tree = window->tree();
    QSignalSpy many(window.get(), &FilterGroupsMatrixWindow::groupSwitchesRequested);
    const QRect rect = tree->visualItemRect(tree->topLevelItem(1));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(tree->header()->sectionViewportPosition(0) + 10, rect.center().y()));
    ASSERT_EQ(many.count(), 1);
    EXPECT_EQ(many.at(0).at(0).toInt(), id(1));
    EXPECT_TRUE(many.at(0).at(2).toBool());
    EXPECT_EQ(ticks(tree),
              (QStringList{"0:1=off", "0:2=off", "1:1=on", "1:2=on", "2:1=off", "2:2=off"}));
}

TEST_F(MatrixOnStore, FolderViewArrangesRowsUnderFoldersAndBack) {
    FilterGroupsMatrixWindow window(&m_store, {true, 2});
    EXPECT_EQ(outline(window.tree()), (QStringList{"day1", "  a", "    m1.rtdc", "  b",
                                                   "    m2.rtdc", "day2", "  a", "    m3.rtdc"}));
    window.setFolderView({true, 1});
    window.refresh();
    EXPECT_EQ(outline(window.tree()),
              (QStringList{"a", "  m1.rtdc", "b", "  m2.rtdc", "a", "  m3.rtdc"}));
    window.setFolderView({false, 1});
    window.refresh();
    EXPECT_EQ(outline(window.tree()), (QStringList{"m1.rtdc", "m2.rtdc", "m3.rtdc"}));
}

} // namespace
} // namespace Quorvex3
