// The group comparison's results table inside the window: its columns
// within the table's width, its rows as high as their text, the table high
// enough for a few whole rows.
#include "stats/ResultTableFit.h"

#include "stats/ColumnFit.h"
#include "stats/WordWrap.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTableWidget>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

namespace Quorvex3 {

namespace {

/// Rows the table shows whole, wherever it is scrolled.
constexpr int kRowsInView = 5;
/// The table's greatest height unless those rows need more: the group
/// plots below it get the rest.
constexpr int kUsualMaximumHeight = 200;

/// The font of the column titles, as the table's own style sheet draws
/// them: in the cells' weight. The program's semi-bold titles made each of
/// six categories' columns wider than its values need ("Condition" alone
/// took 71 pixels), and the table no longer fitted beside the docks.
QFont titleFont(const QHeaderView& header) {
    QFont font = header.font();
    font.setWeight(QFont::Normal);
    return font;
}

/// The titles' look in the fitted tables: the program's, in the cells'
/// weight and without its side padding (the style still keeps two pixels
/// on either side of a title).
const char* const kTitleStyle =
    "QHeaderView::section { padding-left: 0px; padding-right: 0px; font-weight: normal; }";

/// Lives on the table's viewport and refits on every resize of it.
class ResultTableFitter : public QObject {
public:
    static constexpr const char* kName = "resultTableFitter";

    explicit ResultTableFitter(QTableWidget* table) : QObject(table), m_table(table) {
        setObjectName(QLatin1String(kName));
        QHeaderView* header = m_table->horizontalHeader();
        // Fitted here; a stretched last section would undo the fit.
        header->setStretchLastSection(false);
        // The style's least section is as wide as the font's widest glyph
        // (82 pixels with the program's font): it held every short title
        // ("Condition 1") wider than its longest word needs. The fit keeps
        // each column's words whole.
        header->setMinimumSectionSize(QFontMetrics(titleFont(*header)).height());
        // Titles wrap at their spaces as the cells do (the header grows).
        header->setTextElideMode(Qt::ElideNone);
        header->setDefaultAlignment(Qt::AlignCenter |
                                    static_cast<Qt::Alignment>(static_cast<int>(Qt::TextWordWrap)));
        // Six categories' titles beside the test, p and significance
        // columns fit the table's width on a 1280-pixel screen only so.
        header->setStyleSheet(QLatin1String(kTitleStyle));
        // Its rows are features (and their pairs), whose numbers say
        // nothing; the columns need the width.
        m_table->verticalHeader()->hide();
        m_table->setWordWrap(true);
        m_table->viewport()->installEventFilter(this);
    }

    /// Measures the columns' text after the table was filled, then fits.
    void measure() {
        QHeaderView* header = m_table->horizontalHeader();
        // The header's height beyond one line of title.
        header->setMinimumHeight(0);
        m_titleFrame = header->sizeHint().height() - QFontMetrics(titleFont(*header)).height();
        const QFontMetrics metrics(m_table->font());
        const int margin = textMargin();
        m_needs.assign(static_cast<std::size_t>(m_table->columnCount()), ColumnNeed{});
        for (int c = 0; c < m_table->columnCount(); ++c) {
            // A title keeps its longest word (its tool tip holds all of it).
            int titleWord = 0;
            if (QTableWidgetItem* item = m_table->horizontalHeaderItem(c)) {
                item->setToolTip(item->text());
                titleWord = titlePadding() + longestWord(titleFont(*header), item->text());
            }
            int content = 0;
            int word = 0;
            int rows = 0;
            for (int r = 0; r < m_table->rowCount(); ++r) {
                const QTableWidgetItem* item = m_table->item(r, c);
                // A label running over its empty neighbours is measured below.
                if (!item || item->text().isEmpty() || m_table->columnSpan(r, c) > 1)
                    continue;
                content = std::max(content, metrics.horizontalAdvance(item->text()) + margin);
                word = std::max(word, longestWord(m_table->font(), item->text()) + margin);
                ++rows;
            }
            ColumnNeed& need = m_needs[static_cast<std::size_t>(c)];
            const QTableWidgetItem* title = m_table->horizontalHeaderItem(c);
            const int titleLine =
                title ? titlePadding() +
                            QFontMetrics(titleFont(*header)).horizontalAdvance(title->text())
                      : 0;
            need.wanted = std::max(titleLine, content);
            need.titleWrapped = std::max(content, titleWord);
            need.least = std::max(word, titleWord);
            need.rowsFilled = rows;
        }
        keepSpannedLabelsOnOneLine(metrics, margin);
        fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == m_table->viewport())
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    /// A label that runs over its empty neighbours ("Condition 1 vs
    /// Condition 2") stays on one line: the columns under it together are
    /// never narrower than it, the first of them taking what is missing.
    void keepSpannedLabelsOnOneLine(const QFontMetrics& metrics, int margin) {
        for (int r = 0; r < m_table->rowCount(); ++r) {
            for (int c = 0; c < m_table->columnCount(); ++c) {
                const int span = m_table->columnSpan(r, c);
                const QTableWidgetItem* item = m_table->item(r, c);
                if (span < 2 || !item)
                    continue;
                const int needed = metrics.horizontalAdvance(item->text()) + margin;
                for (int ColumnNeed::*width :
                     {&ColumnNeed::least, &ColumnNeed::titleWrapped, &ColumnNeed::wanted}) {
                    int under = 0;
                    for (int s = c; s < c + span && s < m_table->columnCount(); ++s)
                        under += m_needs[static_cast<std::size_t>(s)].*width;
                    if (under < needed)
                        m_needs[static_cast<std::size_t>(c)].*width += needed - under;
                }
                ColumnNeed& first = m_needs[static_cast<std::size_t>(c)];
                first.titleWrapped = std::max(first.titleWrapped, first.least);
                first.wanted = std::max(first.wanted, first.titleWrapped);
            }
        }
    }

    /// The item views' text margins on both sides of a cell, and two pixels
    /// for the text layout's fractional widths.
    int textMargin() const {
        return 2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) +
                    1) +
               2;
    }

    /// A column title's width beyond its text: the section the style makes
    /// for an empty title. (The header's own size hint is no measure: it is
    /// never below the least section size, and the style sizes it in the
    /// program's semi-bold.)
    int titlePadding() const {
        QHeaderView* header = m_table->horizontalHeader();
        QStyleOptionHeader option;
        option.initFrom(header);
        option.orientation = Qt::Horizontal;
        option.text = QLatin1String("");
        return header->style()
            ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header)
            .width();
    }

    void fit() {
        if (m_needs.empty() || static_cast<int>(m_needs.size()) != m_table->columnCount())
            return;
        QHeaderView* header = m_table->horizontalHeader();
        const std::vector<int> widths = fitColumns(m_needs, m_table->viewport()->width());
        for (std::size_t c = 0; c < widths.size(); ++c)
            header->resizeSection(static_cast<int>(c), widths[c]);
        fitHeaderHeight();
        fitRowHeights();
        fitTableHeight();
    }

    /// Wrapped titles need a taller header.
    void fitHeaderHeight() {
        QHeaderView* header = m_table->horizontalHeader();
        const QFontMetrics metrics(titleFont(*header));
        int height = 0;
        for (int c = 0; c < m_table->columnCount(); ++c) {
            const QTableWidgetItem* item = m_table->horizontalHeaderItem(c);
            if (!item)
                continue;
            const QRect text =
                metrics.boundingRect(QRect(0, 0, header->sectionSize(c) - titlePadding(), 10000),
                                     Qt::TextWordWrap, item->text());
            height = std::max(height, text.height() + m_titleFrame);
        }
        header->setMinimumHeight(height);
    }

    /// Each row as high as its tallest cell. The table's own measure takes
    /// a label that runs over its neighbours at its first column's width
    /// ("Condition 1 vs Condition 2" on three lines in a row of empty
    /// cells); here it is measured at the width it is drawn with.
    void fitRowHeights() {
        const QHeaderView* header = m_table->horizontalHeader();
        QAbstractItemDelegate* delegate = m_table->itemDelegate();
        QStyleOptionViewItem option;
        option.initFrom(m_table);
        option.widget = m_table;
        option.font = m_table->font();
        option.fontMetrics = QFontMetrics(option.font);
        option.features |= QStyleOptionViewItem::WrapText;
        const int grid = m_table->showGrid() ? 1 : 0;
        for (int r = 0; r < m_table->rowCount(); ++r) {
            int height = 0;
            for (int c = 0; c < m_table->columnCount();
                 c += std::max(1, m_table->columnSpan(r, c))) {
                const int span = std::max(1, m_table->columnSpan(r, c));
                // The cell is drawn inside the grid line.
                int width = -grid;
                for (int s = c; s < c + span; ++s)
                    width += header->sectionSize(s);
                // A height of one: the style wraps text only in a valid box.
                option.rect = QRect(0, 0, width, 1);
                const QModelIndex index = m_table->model()->index(r, c);
                height = std::max(height, delegate->sizeHint(option, index).height() + grid);
            }
            m_table->setRowHeight(r, height);
        }
    }

    /// High enough for the five tallest rows below the header, so that five
    /// whole rows show wherever the table is scrolled.
    void fitTableHeight() {
        std::vector<int> heights;
        for (int r = 0; r < m_table->rowCount(); ++r)
            heights.push_back(m_table->rowHeight(r));
        const auto shown = std::min(heights.size(), static_cast<std::size_t>(kRowsInView));
        std::partial_sort(heights.begin(), heights.begin() + static_cast<std::ptrdiff_t>(shown),
                          heights.end(), std::greater<>());
        const QHeaderView* header = m_table->horizontalHeader();
        // Where even the columns' longest words leave no room, the table
        // scrolls sideways and its scroll bar takes a row's place.
        const int scrollBar = header->length() > m_table->viewport()->width()
                                  ? m_table->horizontalScrollBar()->sizeHint().height()
                                  : 0;
        const int least = 2 * m_table->frameWidth() +
                          std::max(header->minimumHeight(), header->sizeHint().height()) +
                          scrollBar +
                          std::accumulate(heights.begin(),
                                          heights.begin() + static_cast<std::ptrdiff_t>(shown), 0);
        m_table->setMinimumHeight(least);
        m_table->setMaximumHeight(std::max(kUsualMaximumHeight, least));
    }

    QTableWidget* m_table;
    /// Per column: its widths with its text on one line, its title wrapped
    /// and its words wrapped, and the rows it fills.
    std::vector<ColumnNeed> m_needs;
    int m_titleFrame = 0;
};

} // namespace

void spanLabelsOverEmptyCells(QTableWidget* table, int lastEmpty) {
    if (lastEmpty < 1 || lastEmpty >= table->columnCount())
        return;
    for (int r = 0; r < table->rowCount(); ++r) {
        bool empty = true;
        for (int c = 1; c <= lastEmpty && empty; ++c)
            empty = !table->item(r, c) || table->item(r, c)->text().isEmpty();
        if (empty)
            table->setSpan(r, 0, 1, lastEmpty + 1);
    }
}

void fitResultTable(QTableWidget* table) {
    // Only the fitter carries this name among the table's own children.
    QObject* found = table->findChild<QObject*>(QLatin1String(ResultTableFitter::kName),
                                                Qt::FindDirectChildrenOnly);
    auto* fitter = found ? static_cast<ResultTableFitter*>(found) : new ResultTableFitter(table);
    fitter->measure();
}

} // namespace Quorvex3
