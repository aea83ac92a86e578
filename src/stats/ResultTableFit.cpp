// The group comparison's results table inside the window: its columns
// within the table's width, its rows as high as their text, the table high
// enough for a few whole rows.
#include "stats/ResultTableFit.h"

#include "stats/ColumnFit.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
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

/// The font of the column titles: the style sheet draws them semi-bold.
QFont titleFont(const QHeaderView& header) {
    QFont font = header.font();
    font.setWeight(QFont::DemiBold);
    return font;
}

/// Width of the widest piece of `text` that wrapping keeps on one line:
/// the text between two places where a line may break (after a space, or
/// after the hyphen of "Mann-Whitney"), trailing spaces left out.
int longestWord(const QFont& font, const QString& text) {
    // In whole pixels, rounded up as the text layout rounds a line's width.
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    int start = 0;
    while (start < text.size()) {
        int end = breaks.toNextBoundary();
        if (end <= start)
            end = text.size();
        widest =
            std::max(widest, metrics.horizontalAdvance(text.mid(start, end - start).trimmed()));
        start = end;
    }
    return static_cast<int>(std::ceil(widest));
}

/// Lives on the table's viewport and refits on every resize of it.
class ResultTableFitter : public QObject {
public:
    static constexpr const char* kName = "resultTableFitter";

    explicit ResultTableFitter(QTableWidget* table) : QObject(table), m_table(table) {
        setObjectName(QLatin1String(kName));
        QHeaderView* header = m_table->horizontalHeader();
        // Fitted here; a stretched last section would undo the fit.
        header->setStretchLastSection(false);
        // Titles wrap at their spaces as the cells do (the header grows).
        header->setTextElideMode(Qt::ElideNone);
        header->setDefaultAlignment(Qt::AlignCenter |
                                    static_cast<Qt::Alignment>(static_cast<int>(Qt::TextWordWrap)));
        // Four categories' titles beside the test, p and significance
        // columns fit the table's width on a 1280-pixel screen only with
        // narrower title margins than the program's other tables have.
        header->setStyleSheet(
            QStringLiteral("QHeaderView::section { padding-left: 3px; padding-right: 3px; }"));
        // Its rows are a feature and its pairs, whose numbers say nothing;
        // the columns need the width.
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
        m_wanted.clear();
        m_least.clear();
        const QFontMetrics metrics(m_table->font());
        const int margin = textMargin();
        for (int c = 0; c < m_table->columnCount(); ++c) {
            // Each column's text on one line; a title keeps its longest word
            // (its tool tip holds all of it).
            int wanted = header->sectionSizeHint(c);
            int least = 0;
            if (QTableWidgetItem* item = m_table->horizontalHeaderItem(c)) {
                item->setToolTip(item->text());
                least = titlePadding(c) + longestWord(titleFont(*header), item->text());
            }
            int content = 0;
            for (int r = 0; r < m_table->rowCount(); ++r) {
                const QTableWidgetItem* item = m_table->item(r, c);
                // A label running over its empty neighbours has their room.
                if (!item || m_table->columnSpan(r, c) > 1)
                    continue;
                content = std::max(content, metrics.horizontalAdvance(item->text()) + margin);
                least = std::max(least, longestWord(m_table->font(), item->text()) + margin);
            }
            wanted = std::max(wanted, content);
            // The verdict columns keep their values whole but not their
            // titles on one line: the significance title ("Sig.
            // (α*=0.004167)") is as wide as two category columns and
            // pushed the table sideways. The last column still takes all
            // room left over, so the title is on one line wherever the
            // other columns leave room for it.
            if (static_cast<std::size_t>(c) >= keptFrom())
                wanted = std::max(content, least);
            m_wanted.push_back(wanted);
            m_least.push_back(std::min(least, wanted));
        }
        fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == m_table->viewport())
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    /// The p and significance columns, the last two.
    std::size_t keptFrom() const {
        const auto columns = static_cast<std::size_t>(m_table->columnCount());
        return columns >= 2 ? columns - 2 : 0;
    }

    /// The item views' text margins on both sides of a cell, and two pixels
    /// for the text layout's fractional widths.
    int textMargin() const {
        return 2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) +
                    1) +
               2;
    }

    /// A column title's width beyond its text.
    int titlePadding(int column) const {
        const QHeaderView* header = m_table->horizontalHeader();
        const QTableWidgetItem* item = m_table->horizontalHeaderItem(column);
        return header->sectionSizeHint(column) -
               (item ? QFontMetrics(titleFont(*header)).horizontalAdvance(item->text()) : 0);
    }

    void fit() {
        if (m_wanted.empty() || static_cast<int>(m_wanted.size()) != m_table->columnCount())
            return;
        QHeaderView* header = m_table->horizontalHeader();
        const int available = m_table->viewport()->width();
        const std::vector<int> widths = keepLeastWidths(
            fitColumnWidths(m_wanted, available, keptFrom(), header->minimumSectionSize()), m_least,
            available, keptFrom());
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
                metrics.boundingRect(QRect(0, 0, header->sectionSize(c) - titlePadding(c), 10000),
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
    std::vector<int> m_wanted;
    int m_titleFrame = 0;
    /// Per column: its longest word (and its title), below which text is cut.
    std::vector<int> m_least;
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
