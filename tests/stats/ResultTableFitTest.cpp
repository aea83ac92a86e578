// The comparison's results table at every width a window may give it, one
// pixel apart, so that each edge where wrapped text takes another line is
// met: four categories named as a new window names them, two features and
// their pairs, with the program's look. Every cell's text fits its row, a
// pair's label stays on one line, and the table never gets lower than five
// whole rows, however far the plots below it are dragged up.

#include "stats/ResultTableFit.h"
#include "support/LayoutCheck.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Quorvex3::testing::settleLayout;

const QStringList kHeader = {
    "Feature",     "Baseline", "Condition 1", "Condition 2",
    "Condition 3", "Test",     "p",           QStringLiteral("Sig. (\u03B1*=0.004167)")};

/// A feature's row and its six pairs, as the comparison writes them.
std::vector<QStringList> featureBlock(const QString& label) {
    std::vector<QStringList> rows = {
        {label, QStringLiteral("51.5 \u00B1 1.5"), QStringLiteral("56 \u00B1 1.5"),
         QStringLiteral("60.5 \u00B1 1.5"), QStringLiteral("65 \u00B1 1.5"), "Kruskal-Wallis",
         "0.01556", "(omnibus)"}};
    const QStringList names = {"Baseline", "Condition 1", "Condition 2", "Condition 3"};
    for (int i = 0; i < names.size(); ++i)
        for (int j = i + 1; j < names.size(); ++j)
            rows.push_back({QStringLiteral("  %1 vs %2").arg(names[i], names[j]), "", "", "", "",
                            "Mann-Whitney U", "0.04953", "ns"});
    return rows;
}

class ResultTableFit : public ::testing::Test {
protected:
    void SetUp() override {
        Quorvex3::testing::useProgramLookForLayout();
        auto* layout = new QVBoxLayout(&m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        m_splitter = new QSplitter(Qt::Vertical, &m_window);
        layout->addWidget(m_splitter);
        m_table = new QTableWidget(m_splitter);
        m_table->setAlternatingRowColors(true);
        m_splitter->addWidget(m_table);
        // The group plots below the table.
        m_splitter->addWidget(new QWidget(m_splitter));
        m_splitter->setStretchFactor(0, 1);
        m_splitter->setStretchFactor(1, 3);

        std::vector<QStringList> rows = featureBlock(QStringLiteral("Area [\u00B5m\u00B2]"));
        for (const QStringList& row : featureBlock(QStringLiteral("Deformation")))
            rows.push_back(row);
        m_table->setColumnCount(kHeader.size());
        m_table->setRowCount(static_cast<int>(rows.size()));
        m_table->setHorizontalHeaderLabels(kHeader);
        for (int r = 0; r < m_table->rowCount(); ++r)
            for (int c = 0; c < m_table->columnCount(); ++c)
                m_table->setItem(r, c, new QTableWidgetItem(rows[static_cast<std::size_t>(r)][c]));
        Quorvex3::spanLabelsOverEmptyCells(m_table, 4);
        m_window.resize(900, 700);
        m_window.show();
        settleLayout();
        Quorvex3::fitResultTable(m_table);
        settleLayout();
    }

    /// Rows shown whole in the table's viewport as it is scrolled now.
    int wholeRowsInView() const {
        int whole = 0;
        for (int r = 0; r < m_table->rowCount(); ++r) {
            const int top = m_table->rowViewportPosition(r);
            whole += top >= 0 && top + m_table->rowHeight(r) <= m_table->viewport()->height();
        }
        return whole;
    }

    /// What is wrong with the table at its present width, one line each.
    QStringList faults() const {
        QStringList found;
        const QFontMetrics metrics(m_table->font());
        const int margin =
            2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1);
        for (int r = 0; r < m_table->rowCount(); ++r) {
            int tallest = 0;
            for (int c = 0; c < m_table->columnCount(); ++c) {
                const QTableWidgetItem* item = m_table->item(r, c);
                const QRect cell = m_table->visualItemRect(item);
                if (cell.left() != m_table->columnViewportPosition(c))
                    continue; // under a label that runs over it
                const QRect wrapped = metrics.boundingRect(
                    QRect(0, 0, cell.width() - margin, 10000), Qt::TextWordWrap, item->text());
                tallest = std::max(tallest, wrapped.height());
                if (wrapped.height() > m_table->rowHeight(r))
                    found << QStringLiteral("\"%1\" needs %2 px, its row is %3")
                                 .arg(item->text())
                                 .arg(wrapped.height())
                                 .arg(m_table->rowHeight(r));
                if (m_table->columnSpan(r, c) > 1 &&
                    metrics.horizontalAdvance(item->text()) + margin > cell.width())
                    found << QStringLiteral("\"%1\" on more than one line").arg(item->text());
            }
            // No empty line in a row: its cells' margins, not a line more.
            if (m_table->rowHeight(r) >= tallest + metrics.lineSpacing())
                found << QStringLiteral("row %1 is %2 px for %3 px of text")
                             .arg(r)
                             .arg(m_table->rowHeight(r))
                             .arg(tallest);
        }
        return found;
    }

    QWidget m_window;
    QSplitter* m_splitter = nullptr;
    QTableWidget* m_table = nullptr;
};

} // namespace

// Near the edges a row was one line lower than its wrapped text (measured a
// grid line wider than drawn); a pair's label ran over three lines in its
// first column's width, and its row stayed three lines high once the label
// ran over the empty cells beside it.
TEST_F(ResultTableFit, EveryCellsTextFitsItsRowAtEveryWidth) {
    for (int width = 560; width <= 960; ++width) {
        m_window.resize(width, 700);
        settleLayout();
        const QStringList found = faults();
        ASSERT_TRUE(found.isEmpty()) << "at " << m_table->viewport()->width() << " px:\n  "
                                     << found.join(QStringLiteral("\n  ")).toStdString();
    }
}

// Dragged as low as it goes, the table still shows five whole rows; at most
// 200 pixels high where those need no more.
TEST_F(ResultTableFit, FiveWholeRowsHoweverLowTheTableIsDragged) {
    for (const int width : {600, 700, 900}) {
        SCOPED_TRACE(std::to_string(width) + " px wide");
        m_window.resize(width, 700);
        settleLayout();
        m_splitter->setSizes({0, 10000});
        settleLayout();
        m_table->scrollToTop();
        EXPECT_GE(wholeRowsInView(), 5);
        m_table->scrollToBottom();
        settleLayout();
        EXPECT_GE(wholeRowsInView(), 5);

        m_splitter->setSizes({10000, 0});
        settleLayout();
        EXPECT_EQ(m_table->height(), std::max(200, m_table->minimumHeight()));
    }
}

// Where the room is short, the titles and the category values (one row per
// feature) wrap before the test names that fill every row: "Mann-Whitney U"
// went onto three lines, and every pair's row with it, while the category
// columns kept room to spare. The test column is cut only once every other
// column is down to its longest word; a p-value is never broken.
TEST_F(ResultTableFit, TestNamesWrapLast) {
    // Values as wide as real summaries give: wider than their titles' words.
    for (int r = 0; r < m_table->rowCount(); ++r)
        for (int c = 1; c <= 4; ++c)
            if (!m_table->item(r, c)->text().isEmpty())
                m_table->item(r, c)->setText(QStringLiteral("1%1.02 \u00B1 0.0314").arg(c));
    Quorvex3::fitResultTable(m_table);
    const QFontMetrics metrics(m_table->font());
    QFont titleFont = m_table->horizontalHeader()->font();
    titleFont.setWeight(QFont::Normal);
    const QFontMetrics titleMetrics(titleFont);
    // A column's longest word of title and cells, with room for the
    // margins around a title or a cell's text.
    const auto longestWord = [&](int column) {
        int widest = 0;
        for (const QString& word : m_table->horizontalHeaderItem(column)->text().split(' '))
            widest = std::max(widest, titleMetrics.horizontalAdvance(word) + 10);
        for (int r = 0; r < m_table->rowCount(); ++r)
            if (m_table->columnSpan(r, column) == 1)
                for (const QString& word : m_table->item(r, column)->text().split(' '))
                    widest = std::max(widest, metrics.horizontalAdvance(word) + 10);
        return widest;
    };
    const int testColumn = 5;
    const int pColumn = 6;
    int cut = 0;
    for (int width = 560; width <= 960; width += 4) {
        m_window.resize(width, 700);
        settleLayout();
        const QHeaderView* header = m_table->horizontalHeader();
        SCOPED_TRACE(std::to_string(m_table->viewport()->width()) + " px");
        EXPECT_GE(header->sectionSize(pColumn),
                  metrics.horizontalAdvance(QStringLiteral("0.01556")) + 6);
        if (header->sectionSize(testColumn) >=
            metrics.horizontalAdvance(QStringLiteral("Mann-Whitney U")) + 8)
            continue;
        ++cut;
        for (int column = 0; column < testColumn; ++column)
            EXPECT_LE(header->sectionSize(column), longestWord(column)) << "column " << column;
    }
    EXPECT_GT(cut, 0) << "no width where the test names wrap: the case tests nothing";
}

// Two categories with names of many short words: their columns may narrow
// to "Drug", but the pair's label running over them stays on one line.
TEST(ResultTableFitPairs, APairsLabelKeepsTheRoomOfItsLine) {
    Quorvex3::testing::useProgramLookForLayout();
    const QString first = QStringLiteral("Ctrl on day 1 at 37 C");
    const QString second = QStringLiteral("Drug at 10 uM on day 3");
    QTableWidget table;
    table.setColumnCount(6);
    table.setRowCount(2);
    table.setHorizontalHeaderLabels(
        {"Feature", first, second, "Test", "p", QStringLiteral("Sig. (\u03B1=0.05)")});
    const QStringList rows[] = {{"Area", QStringLiteral("51.5 \u00B1 1.5"),
                                 QStringLiteral("56 \u00B1 1.5"), "Mann-Whitney U", "0.04953", "*"},
                                {QStringLiteral("  %1 vs %2").arg(first, second), "", "",
                                 "Mann-Whitney U", "0.04953", "*"}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 6; ++c)
            table.setItem(r, c, new QTableWidgetItem(rows[r][c]));
    Quorvex3::spanLabelsOverEmptyCells(&table, 2);
    table.resize(380, 300);
    table.show();
    settleLayout();
    Quorvex3::fitResultTable(&table);
    const QFontMetrics metrics(table.font());
    const int needed = metrics.horizontalAdvance(table.item(1, 0)->text());
    for (int width = 380; width <= 640; width += 20) {
        table.resize(width, 300);
        settleLayout();
        const QRect label = table.visualItemRect(table.item(1, 0));
        EXPECT_GT(label.width(), needed + 6) << "at " << table.viewport()->width() << " px";
    }
}
