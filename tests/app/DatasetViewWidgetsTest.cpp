// The dataset list and folder tree as widgets: the drag payload they write
// and read back, which drops they turn into reorder requests, the empty-area
// click of the list, and the rich-text item delegate.
#include "MainWindowTestSupport.h"

#include "util/DatasetDragPayload.h"
#include "app/DatasetListWidget.h"
#include "app/DatasetTreeWidget.h"
#include "app/HtmlItemDelegate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <memory>
#include <optional>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using ListReorder = std::optional<std::pair<int, int>>;

/// A shown list with one row per id, each row's text its id in bold.
std::unique_ptr<DatasetListWidget> listWithIds(const std::vector<int>& ids) {
    auto list = std::make_unique<DatasetListWidget>();
    for (int id : ids) {
        auto* item = new QListWidgetItem(QStringLiteral("<b>dataset %1</b>").arg(id));
        item->setData(Qt::UserRole, id);
        list->addItem(item);
    }
    list->resize(240, 300);
    list->show();
    return list;
}

/// Points in the upper and lower half of a row, and below the last row.
QPoint upperHalf(const QRect& rect) {
    return {rect.center().x(), rect.top() + 1};
}
QPoint lowerHalf(const QRect& rect) {
    return {rect.center().x(), rect.bottom() - 1};
}

/// MIME data of a dataset drag whose payload is `payload` verbatim.
std::unique_ptr<QMimeData> rawPayload(const QByteArray& payload) {
    auto mime = std::make_unique<QMimeData>();
    mime->setData(datasetMimeType(), payload);
    mime->setText(QString::fromUtf8(payload));
    return mime;
}

// ---- drag payload ---------------------------------------------------------------

TEST(DatasetDragPayload, CarriesTheIdAsDatasetTypeAndAsPlainText) {
    for (int id : {0, 7, 42, INT_MAX}) {
        SCOPED_TRACE(id);
        const std::unique_ptr<QMimeData> mime(createDatasetMimeData(id));
        EXPECT_EQ(mime->data("application/x-quorvex3-dataset"), QByteArray::number(id));
        EXPECT_EQ(mime->text(), QString::number(id));
        EXPECT_EQ(datasetIdFromMimeData(mime.get()), id);
    }
}

TEST(DatasetDragPayload, PayloadsThatAreNotAnIdAreRefusedNotReadAsZero) {
    for (const QByteArray& payload :
         {QByteArray(), QByteArray("abc"), QByteArray("7a"), QByteArray(" 7"), QByteArray("7 "),
          QByteArray("+7"), QByteArray("-1"), QByteArray("1.0"), QByteArray("0x1"),
          QByteArray("2147483648"), QByteArray("99999999999"), QByteArray("\xd9\xa3")}) {
        SCOPED_TRACE(payload.toStdString());
        EXPECT_EQ(parseDatasetId(payload), std::nullopt);
        EXPECT_EQ(datasetIdFromMimeData(rawPayload(payload).get()), std::nullopt);
    }
    EXPECT_EQ(parseDatasetId("2147483647"), INT_MAX);
    EXPECT_EQ(parseDatasetId("0"), 0);
}

TEST(DatasetDragPayload, OtherMimeDataCarriesNoDataset) {
    QMimeData textOnly;
    textOnly.setText(QStringLiteral("3"));
    EXPECT_EQ(datasetIdFromMimeData(&textOnly), std::nullopt);
    EXPECT_EQ(datasetIdFromMimeData(nullptr), std::nullopt);
}

// ---- list ----------------------------------------------------------------------

TEST(DatasetListWidget, DrawsItsItemsAsRichText) {
    DatasetListWidget list;
    EXPECT_NE(qobject_cast<HtmlItemDelegate*>(list.itemDelegate()), nullptr);
    EXPECT_EQ(list.itemDelegate()->parent(), &list);
}

TEST(DatasetListWidget, DraggedRowCarriesItsDatasetIdNotItsRow) {
    const auto list = listWithIds({5, 7, 9});
    const std::unique_ptr<QMimeData> mime(list->model()->mimeData({list->model()->index(1, 0)}));
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->data(datasetMimeType()), QByteArray("7"));
    EXPECT_EQ(mime->text(), QStringLiteral("7"));
}

TEST(DatasetListWidget, DropPositionGivesTheInsertionPosition) {
    const auto list = listWithIds({10, 11, 12, 13});
    const auto rect = [&](int row) { return list->visualItemRect(list->item(row)); };
    const std::unique_ptr<QMimeData> first(createDatasetMimeData(10));
    const std::unique_ptr<QMimeData> last(createDatasetMimeData(13));

    EXPECT_EQ(list->reorderForDrop(first.get(), lowerHalf(rect(1))), ListReorder({0, 2}));
    EXPECT_EQ(list->reorderForDrop(first.get(), lowerHalf(rect(3))), ListReorder({0, 4}));
    EXPECT_EQ(list->reorderForDrop(last.get(), upperHalf(rect(0))), ListReorder({3, 0}));
    EXPECT_EQ(list->reorderForDrop(last.get(), lowerHalf(rect(0))), ListReorder({3, 1}));
    // Below the last row: to the end.
    const QPoint belowAll(rect(3).center().x(), rect(3).bottom() + 40);
    EXPECT_EQ(list->reorderForDrop(first.get(), belowAll), ListReorder({0, 4}));
}

TEST(DatasetListWidget, DropOntoTheRowsOwnPlaceChangesNothing) {
    const auto list = listWithIds({10, 11, 12});
    const auto rect = [&](int row) { return list->visualItemRect(list->item(row)); };
    const std::unique_ptr<QMimeData> middle(createDatasetMimeData(11));
    EXPECT_EQ(list->reorderForDrop(middle.get(), upperHalf(rect(1))), std::nullopt);
    EXPECT_EQ(list->reorderForDrop(middle.get(), lowerHalf(rect(1))), std::nullopt);
    EXPECT_EQ(list->reorderForDrop(middle.get(), upperHalf(rect(2))), std::nullopt);
    EXPECT_EQ(list->reorderForDrop(middle.get(), lowerHalf(rect(0))), std::nullopt);
    // One step further is a move.
    EXPECT_EQ(list->reorderForDrop(middle.get(), lowerHalf(rect(2))), ListReorder({1, 3}));
    EXPECT_EQ(list->reorderForDrop(middle.get(), upperHalf(rect(0))), ListReorder({1, 0}));
    // The last row dropped below the list stays where it is.
    const std::unique_ptr<QMimeData> last(createDatasetMimeData(12));
    const QPoint belowAll(rect(2).center().x(), rect(2).bottom() + 40);
    EXPECT_EQ(list->reorderForDrop(last.get(), belowAll), std::nullopt);
}

TEST(DatasetListWidget, MalformedOrUnknownPayloadIsIgnoredEvenWithDatasetZeroListed) {
    // Guards against reading a malformed payload as id 0, which would move
    // the first dataset.
    const auto list = listWithIds({0, 1, 2});
    const QPoint end = lowerHalf(list->visualItemRect(list->item(2)));
    EXPECT_EQ(list->reorderForDrop(rawPayload("oops").get(), end), std::nullopt);
    EXPECT_EQ(list->reorderForDrop(rawPayload("").get(), end), std::nullopt);
    EXPECT_EQ(list->reorderForDrop(createDatasetMimeData(99), end), std::nullopt);
    EXPECT_EQ(list->reorderForDrop(rawPayload("0").get(), end), ListReorder({0, 3}));
}

TEST(DatasetListWidget, DropFromAnotherWidgetIsNoReorder) {
    const auto list = listWithIds({0, 1, 2});
    QSignalSpy spy(list.get(), &DatasetListWidget::internalReorderRequested);
    const std::unique_ptr<QMimeData> mime(createDatasetMimeData(0));
    const QPoint end = lowerHalf(list->visualItemRect(list->item(2)));
    QDropEvent drop(end, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    test::processEventsFor(20);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(list->count(), 3);
}

TEST(DatasetListWidget, ClickOnTheEmptyAreaKeepsTheCurrentDataset) {
    const auto list = listWithIds({0, 1});
    list->setCurrentRow(1);
    const QRect last = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(last.center().x(), last.bottom() + 60));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(list->item(1)->isSelected());

    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(list->currentRow(), 0);
}

// ---- tree ----------------------------------------------------------------------

/// folder "A" holding datasets 0, 1, 2; folder "B" holding 3; datasets 4
/// and 5 at the top level.
class DatasetTreeDrops : public ::testing::Test {
protected:
    void SetUp() override {
        m_folderA = folder(nullptr, "A");
        for (int id : {0, 1, 2})
            dataset(m_folderA, id);
        m_folderB = folder(nullptr, "B");
        dataset(m_folderB, 3);
        dataset(nullptr, 4);
        dataset(nullptr, 5);
        m_tree.expandAll();
        m_tree.resize(300, 400);
        m_tree.show();
    }

    QTreeWidgetItem* folder(QTreeWidgetItem* parent, const char* name) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&m_tree);
        item->setText(0, QString::fromLatin1(name));
        return item;
    }

    void dataset(QTreeWidgetItem* parent, int id) {
        QTreeWidgetItem* item = folder(parent, "dataset");
        item->setData(0, Qt::UserRole, id);
    }

    QRect rectOf(int id) { return m_tree.visualItemRect(m_tree.findDatasetItem(id)); }

    std::optional<DatasetTreeWidget::Reorder> drop(int sourceId, const QPoint& pos) {
        const std::unique_ptr<QMimeData> mime(createDatasetMimeData(sourceId));
        return m_tree.reorderForDrop(mime.get(), pos);
    }

    DatasetTreeWidget m_tree;
    QTreeWidgetItem* m_folderA = nullptr;
    QTreeWidgetItem* m_folderB = nullptr;
};

TEST_F(DatasetTreeDrops, SiblingInTheSameFolderTakesTheDatasetBeforeOrBehindIt) {
    const auto below = drop(0, lowerHalf(rectOf(2)));
    ASSERT_TRUE(below);
    EXPECT_EQ(below->sourceId, 0);
    EXPECT_EQ(below->targetId, 2);
    EXPECT_TRUE(below->after);

    const auto above = drop(2, upperHalf(rectOf(1)));
    ASSERT_TRUE(above);
    EXPECT_EQ(above->sourceId, 2);
    EXPECT_EQ(above->targetId, 1);
    EXPECT_FALSE(above->after);

    const auto topLevel = drop(5, upperHalf(rectOf(4)));
    ASSERT_TRUE(topLevel);
    EXPECT_EQ(topLevel->targetId, 4);
}

TEST_F(DatasetTreeDrops, FoldersOtherFoldersAndItselfAreRefused) {
    EXPECT_EQ(drop(0, m_tree.visualItemRect(m_folderA).center()), std::nullopt);
    EXPECT_EQ(drop(0, m_tree.visualItemRect(m_folderB).center()), std::nullopt);
    EXPECT_EQ(drop(0, lowerHalf(rectOf(3))), std::nullopt);
    EXPECT_EQ(drop(4, upperHalf(rectOf(0))), std::nullopt);
    EXPECT_EQ(drop(0, upperHalf(rectOf(4))), std::nullopt);
    EXPECT_EQ(drop(1, lowerHalf(rectOf(1))), std::nullopt);
    EXPECT_EQ(drop(1, QPoint(5, 390)), std::nullopt);
}

TEST_F(DatasetTreeDrops, MalformedOrUnknownPayloadIsIgnoredEvenWithDatasetZeroListed) {
    const QPoint onSibling = lowerHalf(rectOf(2));
    EXPECT_EQ(m_tree.reorderForDrop(rawPayload("x").get(), onSibling), std::nullopt);
    EXPECT_EQ(m_tree.reorderForDrop(rawPayload("").get(), onSibling), std::nullopt);
    EXPECT_EQ(drop(77, onSibling), std::nullopt);
    EXPECT_TRUE(m_tree.reorderForDrop(rawPayload("0").get(), onSibling));
}

TEST_F(DatasetTreeDrops, DatasetItemCarriesItsIdAndFolderItemNothing) {
    const QModelIndex datasetIndex = m_tree.model()->index(1, 0, m_tree.model()->index(0, 0));
    const std::unique_ptr<QMimeData> dataset(m_tree.model()->mimeData({datasetIndex}));
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(dataset->data(datasetMimeType()), QByteArray("1"));
    EXPECT_EQ(dataset->text(), QStringLiteral("1"));

    const std::unique_ptr<QMimeData> folderData(
        m_tree.model()->mimeData({m_tree.model()->index(0, 0)}));
    ASSERT_NE(folderData, nullptr);
    EXPECT_FALSE(folderData->hasFormat(datasetMimeType()));
    EXPECT_FALSE(folderData->hasText());
}

TEST_F(DatasetTreeDrops, DropFromAnotherWidgetIsNoReorder) {
    QSignalSpy spy(&m_tree, &DatasetTreeWidget::internalReorderRequested);
    const std::unique_ptr<QMimeData> mime(createDatasetMimeData(0));
    QDropEvent drop(lowerHalf(rectOf(2)), Qt::CopyAction, mime.get(), Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(m_tree.viewport(), &drop);
    test::processEventsFor(20);
    EXPECT_EQ(spy.count(), 0);
}

TEST(DatasetTreeWidget, DrawsItsItemsAsRichText) {
    DatasetTreeWidget tree;
    EXPECT_NE(qobject_cast<HtmlItemDelegate*>(tree.itemDelegate()), nullptr);
    EXPECT_EQ(tree.itemDelegate()->parent(), &tree);
}

// ---- rich-text delegate -----------------------------------------------------------

TEST(HtmlItemDelegate, SizeHintMeasuresTheShownTextNotTheMarkup) {
    const auto list = listWithIds({});
    list->addItem(QStringLiteral("<b>Sample</b> (5000 events)"));
    const QSize hint = list->sizeHintForIndex(list->model()->index(0, 0));

    QFont bold = list->font();
    bold.setBold(true);
    const int shown =
        QFontMetrics(bold).horizontalAdvance(QStringLiteral("Sample")) +
        QFontMetrics(list->font()).horizontalAdvance(QStringLiteral(" (5000 events)"));
    const int markup =
        QFontMetrics(list->font()).horizontalAdvance(QStringLiteral("<b>Sample</b> (5000 events)"));
    EXPECT_GE(hint.width(), shown + 8);
    EXPECT_LT(hint.width(), markup);
    EXPECT_GE(hint.height(), QFontMetrics(list->font()).height());
}

TEST(HtmlItemDelegate, SelectedItemIsFilledWithTheHighlight) {
    const auto list = listWithIds({1, 2});
    QPalette palette = list->palette();
    const QColor highlight(0x12, 0x34, 0x56);
    palette.setColor(QPalette::Highlight, highlight);
    list->setPalette(palette);
    list->setCurrentRow(0);
    const QImage image = list->viewport()->grab().toImage();

    const QRect selected = list->visualItemRect(list->item(0));
    const QRect other = list->visualItemRect(list->item(1));
    const QPoint rightEdge(selected.right() - 2, selected.center().y());
    EXPECT_EQ(image.pixelColor(rightEdge), highlight);
    EXPECT_NE(image.pixelColor(QPoint(other.right() - 2, other.center().y())), highlight);
}

} // namespace
} // namespace Quorvex3
