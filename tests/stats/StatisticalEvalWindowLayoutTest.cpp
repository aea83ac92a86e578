// The evaluation window's layout at the size it opens at on a 1280 x 720
// screen, with two, four and six categories, one and eight features, in a
// new window's independent group comparison (and, named by the user, in the
// matched design), and the ROC table of two categories and two features.
// Everything must be in view without scrolling sideways: the category
// panels, the settings, the three tab titles, the group plots and every
// column of the results and ROC tables, whose titles and words stay whole;
// the tables show at least five whole rows. Checked on the widgets'
// geometry with the program's look (style, palette, style sheet), not on
// pixels.

#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/LayoutCheck.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"
#include "util/WindowUtil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

using Quorvex3::testing::layoutFaults;
using Quorvex3::testing::settleLayout;

void applyLookOnce() {
    Quorvex3::testing::useProgramLookForLayout();
}
void settle() {
    settleLayout();
}

/// Whether the widget and every ancestor up to the window are visible.
bool shown(const QWidget* widget) { return widget->isVisibleTo(widget->window()); }

/// The size the window opens at on a 1280 x 720 screen without a window
/// manager's frame (a virtual display): what the window asks for, inside
/// that screen, and never narrower than its widgets need.
QSize sizeOpenedOnSmallScreen(StatisticalEvalWindow& window) {
    window.ensurePolished();
    const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
    return WindowUtil::fittedWindowGeometry(StatisticalEvalWindow::preferredSize(),
                                            QRect(0, 0, 1280, 720), least)
        .size();
}

/// The eight features of every measurement, in the order the window lists
/// them (by name); their labels hold the longest words of the table.
const char* const kFeatures[] = {"area_um", "aspect",          "bright_avg", "circ",
                                 "deform",  "inert_ratio_raw", "size_x",     "volume"};

struct WindowCase {
    int categories;
    /// The first this many features of the list are compared.
    int features;
    /// The categories as a new window names them ("Baseline", "Condition
    /// 1", ...) in the independent design: pairwise rows "Baseline vs
    /// Condition 1" and the longest test names. Else named by the user, in
    /// the matched design with replicates.
    bool independent = true;
};

/// Datasets with names as long as a lab's in each category, every feature
/// of a dataset shifted by its category: three in a new window's categories
/// (as a user tries it out), twelve donors in the user's own.
class StatsWindowFixture {
protected:
    void writeMeasurement() {
        applyLookOnce();
        std::vector<std::vector<double>> columns(std::size(kFeatures), std::vector<double>(40));
        for (std::size_t f = 0; f < columns.size(); ++f)
            for (std::size_t i = 0; i < 40; ++i)
                columns[f][i] = (1.0 + static_cast<double>(f)) * (50.0 + static_cast<double>(i));
        {
            RtdcFixtureWriter writer(m_dir.file("m.rtdc"));
            for (std::size_t f = 0; f < columns.size(); ++f)
                writer.addColumn<double>(kFeatures[f], columns[f]);
        }
        m_reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(m_reader->openFile(m_dir.file("m.rtdc")));
    }

    /// `categories` of three datasets (twelve subjects when named by the
    /// user) and the first `features` features selected. Named by the user:
    /// matched design with replicates (the longest description and every
    /// settings row in view).
    void fill(StatisticalEvalWindow& window, int categories, int features, bool independent) {
        while (static_cast<int>(window.categoryPanels().size()) < categories)
            window.onAddCategory();
        const char* names[] = {"Control", "Drug 10 \xC2\xB5M", "Drug 50 \xC2\xB5M",
                               "Drug 100 \xC2\xB5M"};
        for (int c = 0; c < categories; ++c) {
            CategoryPanel* panel = window.categoryPanels()[static_cast<std::size_t>(c)];
            if (!independent)
                panel->setCategoryName(QString::fromUtf8(names[c % 4]));
            for (int s = 1; s <= (independent ? 3 : 12); ++s) {
                auto entry = std::make_unique<DatasetEntry>();
                entry->reader = m_reader;
                FilterRule rule;
                rule.featureName = "area_um";
                rule.minValue = 50.0 + s + 3.0 * c;
                rule.maxValue = rule.minValue + 10.0;
                entry->filter.addRule(rule);
                entry->displayName = QStringLiteral("%1_ID%2_BR1_TR1_2024-05-17.rtdc")
                                         .arg(panel->categoryName())
                                         .arg(s);
                const QString display = entry->displayName;
                const int id = m_store.append(std::move(entry));
                panel->addEntry({id, display, "", s, 1, 1});
            }
        }
        window.onCategoryChanged();
        auto* list = window.findChild<QListWidget*>(QStringLiteral("featureList"));
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(i < features);
        if (!independent) {
            window.findChild<QComboBox*>(QStringLiteral("designCombo"))->setCurrentIndex(1);
            window.findChild<QComboBox*>(QStringLiteral("correctionCombo"))
                ->setCurrentText(QStringLiteral("Holm-Bonferroni"));
            window.findChild<QCheckBox*>(QStringLiteral("replicatesCheck"))->setChecked(true);
        }
    }

    TempDir m_dir;
    DatasetStore m_store;
    std::shared_ptr<RTDCReader> m_reader;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
};

class StatsLayoutTest : public ::testing::TestWithParam<WindowCase>, public StatsWindowFixture {
protected:
    void SetUp() override { writeMeasurement(); }
};

class StatsRocLayoutTest : public ::testing::Test, public StatsWindowFixture {
protected:
    void SetUp() override { writeMeasurement(); }
};

/// The pieces of a table's text that must stay whole on a line: the text
/// between spaces, split after the hyphen between two letters.
QStringList wholeWords(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\\s+|(?<=\\p{L}-)(?=\\p{L})"));
    return text.split(breaks, Qt::SkipEmptyParts);
}

/// The font the fitted tables' titles are drawn in: the program's
/// semi-bold unless the table's own style sheet says otherwise.
QFont titleFontOf(const QHeaderView& header) {
    QFont font = header.font();
    font.setWeight(header.styleSheet().contains(QLatin1String("font-weight: normal"))
                       ? QFont::Normal
                       : QFont::DemiBold);
    return font;
}

/// What is wrong with a filled table of results as shown: a column out of
/// view or cut, a title or a word cut, a table that scrolls sideways, fewer
/// than five whole rows (all of them when it has fewer) wherever scrolled.
QStringList tableFaults(QTableWidget& table) {
    QStringList faults;
    QHeaderView* header = table.horizontalHeader();
    if (header->length() > table.viewport()->width() || table.horizontalScrollBar()->maximum() > 0)
        faults << QStringLiteral("%1 columns need %2 px in a %3 px view")
                      .arg(table.objectName())
                      .arg(header->length())
                      .arg(table.viewport()->width());
    const QFontMetrics metrics(table.font());
    const QFontMetrics titleMetrics(titleFontOf(*header));
    const int margin =
        2 * (table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1);
    for (int column = 0; column < table.columnCount(); ++column) {
        const int width = header->sectionSize(column);
        if (header->sectionViewportPosition(column) + width > table.viewport()->width() ||
            header->sectionViewportPosition(column) < 0)
            faults << QStringLiteral("column %1 out of view").arg(column);
        // A title wraps where a line may break: its lines fit the room the
        // style draws it in, and the header is high enough for them.
        const QString title = table.horizontalHeaderItem(column)->text();
        QStyleOptionHeader option;
        option.initFrom(header);
        option.orientation = Qt::Horizontal;
        option.section = column;
        option.text = title;
        option.rect = QRect(0, 0, width, header->height());
        const QRect room = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
        for (const QString& word : wholeWords(title))
            if (titleMetrics.horizontalAdvance(word) > room.width())
                faults << QStringLiteral("title \"%1\" cut: \"%2\" in %3 px")
                              .arg(title, word)
                              .arg(room.width());
        const QRect lines =
            titleMetrics.boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, title);
        if (lines.height() > room.height())
            faults << QStringLiteral("title \"%1\" needs %2 px, has %3")
                          .arg(title)
                          .arg(lines.height())
                          .arg(room.height());
        for (int row = 0; row < table.rowCount(); ++row) {
            const QTableWidgetItem* item = table.item(row, column);
            const QString text = item ? item->text() : QString();
            // A pair's label runs over the empty category cells beside it:
            // it has their width, and they show nothing of their own.
            const QRect cell = table.visualRect(table.model()->index(row, column));
            if (cell.left() != table.columnViewportPosition(column)) {
                if (!text.isEmpty())
                    faults << QStringLiteral("\"%1\" under a label").arg(text);
                continue;
            }
            if (table.columnSpan(row, column) > 1 &&
                metrics.horizontalAdvance(text) + margin > cell.width())
                faults << QStringLiteral("\"%1\" on more than one line").arg(text);
            // Whole words, wrapped onto as many lines as the row holds.
            for (const QString& word : wholeWords(text))
                if (metrics.horizontalAdvance(word) + margin > cell.width())
                    faults << QStringLiteral("\"%1\" cut in %2 px").arg(word).arg(cell.width());
            const QRect wrapped = metrics.boundingRect(QRect(0, 0, cell.width() - margin, 10000),
                                                       Qt::TextWordWrap, text);
            if (wrapped.height() > table.rowHeight(row))
                faults << QStringLiteral("\"%1\" needs %2 px, its row is %3")
                              .arg(text)
                              .arg(wrapped.height())
                              .arg(table.rowHeight(row));
        }
    }

    // At least five whole rows in view wherever the table is scrolled.
    const int wanted = std::min(table.rowCount(), 5);
    const auto wholeRowsInView = [&] {
        settle();
        int whole = 0;
        for (int row = 0; row < table.rowCount(); ++row) {
            const int top = table.rowViewportPosition(row);
            whole += top >= 0 && top + table.rowHeight(row) <= table.viewport()->height();
        }
        return whole;
    };
    table.scrollToBottom();
    if (wholeRowsInView() < wanted)
        faults << QStringLiteral("%1 whole rows scrolled to the end").arg(wholeRowsInView());
    table.scrollToTop();
    if (wholeRowsInView() < wanted)
        faults << QStringLiteral("%1 whole rows scrolled to the top").arg(wholeRowsInView());
    return faults;
}

} // namespace

// Every tab at the size the window opens at: the tab titles, the
// categories, the settings and the description fit; the results table shows
// all of its columns and the group plots take no more than their view.
TEST_P(StatsLayoutTest, EverythingInViewWithoutScrollingSideways) {
    const WindowCase param = GetParam();
    StatisticalEvalWindow window(&m_store);
    // The size it opens at, before any category is added.
    const QSize opened = sizeOpenedOnSmallScreen(window);
    fill(window, param.categories, param.features, param.independent);
    // As a user runs it: the window on the screen, then "Run Analysis".
    showWithFrameSize(window, opened);
    window.findChild<QPushButton*>(QStringLiteral("runAnalysisButton"))->click();
    settle();
    ASSERT_EQ(m_dialogs.calls.size(), 0u) << m_dialogs.calls[0].text.toStdString();
    ASSERT_EQ(window.frameGeometry().size(), opened) << "the window's minimum size is too large";
    const QSize size = opened;

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    auto* categoriesDock = window.findChild<QDockWidget*>(QStringLiteral("categoriesDock"));
    auto* settingsDock = window.findChild<QDockWidget*>(QStringLiteral("settingsDock"));
    auto* categoryArea = window.findChild<QScrollArea*>(QStringLiteral("categoryScrollArea"));
    auto* description = window.findChild<QLabel*>(QStringLiteral("descriptionLabel"));
    auto* results = window.findChild<QTableWidget*>(QStringLiteral("resultsTable"));
    auto* features = window.findChild<QListWidget*>(QStringLiteral("featureList"));
    ASSERT_TRUE(tabs && categoriesDock && settingsDock && categoryArea && description &&
                results && features);
    ASSERT_EQ(features->count(), static_cast<int>(std::size(kFeatures)));

    // The category panels follow the dock's width; the settings fit theirs
    // and the description shows all of its wrapped lines (reachable by
    // scrolling down where needed).
    const auto checkDocks = [&] {
        QWidget* panels = categoryArea->widget();
        EXPECT_LE(panels->minimumSizeHint().width(), categoryArea->viewport()->width());
        EXPECT_LE(panels->width(), categoryArea->viewport()->width());
        EXPECT_FALSE(categoryArea->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(features->horizontalScrollBar()->isVisible()) << "feature list";

        auto* settingsArea = settingsDock->findChild<QScrollArea*>();
        QWidget* settings = settingsArea ? settingsArea->widget() : settingsDock->widget();
        const int settingsWidth = settingsArea ? settingsArea->viewport()->width()
                                               : settingsDock->widget()->width();
        EXPECT_LE(settings->minimumSizeHint().width(), settingsWidth);
        EXPECT_LE(settings->width(), settingsWidth);
        ASSERT_TRUE(shown(description));
        EXPECT_LE(description->geometry().right(), settingsWidth - 1);
        EXPECT_GE(description->height(), description->heightForWidth(description->width()));
        EXPECT_LE(description->geometry().bottom(), settings->height() - 1);
    };

    const auto checkTable = [&] {
        ASSERT_EQ(results->columnCount(), param.categories + 4);
        const QStringList faults = tableFaults(*results);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n  ")).toStdString();
    };

    for (int tab = 0; tab < 3; ++tab) {
        SCOPED_TRACE("tab " + std::to_string(tab));
        tabs->setCurrentIndex(tab);
        settle();

        // The three docks and tabs side by side inside the window, the
        // centre wide enough for a table and a plot.
        EXPECT_LE(categoriesDock->geometry().right(), tabs->geometry().left());
        EXPECT_LE(tabs->geometry().right(), settingsDock->geometry().left());
        EXPECT_LE(settingsDock->geometry().right(), window.width() - 1);
        EXPECT_GE(tabs->width(), 400);

        // Every tab title in full, no scroll arrows.
        QTabBar* bar = tabs->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            EXPECT_LE(bar->tabRect(i).right(), bar->width() - 1) << "tab title " << i;
            EXPECT_GE(bar->tabRect(i).width(),
                      bar->fontMetrics().horizontalAdvance(bar->tabText(i)))
                << "tab " << i;
        }
        for (const QToolButton* arrow : bar->findChildren<QToolButton*>())
            EXPECT_FALSE(arrow->isVisible()) << "tab bar scroll arrow";
        checkDocks();
        // Every control's text whole, lists of at least five rows (the
        // category lists showed two), nothing scrolling sideways.
        // Dataset names are as long as their files': the category lists may
        // scroll sideways for them.
        Quorvex3::testing::LayoutAllowances allow;
        allow.mayScrollSideways << QStringLiteral("datasetList");
        const QStringList faults = layoutFaults(window, allow, QSize(1280, 720));
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n  ")).toStdString();
    }

    tabs->setCurrentIndex(0);
    settle();
    {
        SCOPED_TRACE("table as shown");
        checkTable();
    }
    {
        // The other size: the columns are fitted again on the resize.
        SCOPED_TRACE("table after a resize");
        window.resize(sizeForFrame(window, QSize(size.width() + 120, size.height())));
        settle();
        checkTable();
    }
    {
        // Docks dragged as narrow as they go stop at their contents.
        SCOPED_TRACE("docks dragged narrow");
        window.resize(sizeForFrame(window, size));
        window.resizeDocks({categoriesDock, settingsDock}, {10, 10}, Qt::Horizontal);
        settle();
        checkDocks();
    }
}

std::string caseName(const ::testing::TestParamInfo<WindowCase>& info) {
    return std::to_string(info.param.categories) + "categories_" +
           std::to_string(info.param.features) + "features" +
           (info.param.independent ? "_independent" : "_matched");
}

INSTANTIATE_TEST_SUITE_P(OpenedOnSmallScreen, StatsLayoutTest,
                         ::testing::Values(WindowCase{2, 1}, WindowCase{2, 8},
                                           WindowCase{3, 2, false}, WindowCase{4, 1},
                                           WindowCase{4, 8}, WindowCase{4, 2, false},
                                           WindowCase{6, 1}, WindowCase{6, 8},
                                           WindowCase{6, 2, false}),
                         caseName);

// The ROC tab of two categories and two features, as "Run ROC Analysis"
// leaves it: 909 pixels of columns in a view of 584 hid Sensitivity,
// Specificity and both counts.
TEST_F(StatsRocLayoutTest, RocTableAndPlotsInView) {
    StatisticalEvalWindow window(&m_store);
    const QSize opened = sizeOpenedOnSmallScreen(window);
    fill(window, 2, 2, true);
    showWithFrameSize(window, opened);
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    tabs->setCurrentIndex(1);
    settle();
    window.findChild<QPushButton*>(QStringLiteral("runROCButton"))->click();
    settle();
    ASSERT_EQ(m_dialogs.calls.size(), 0u) << m_dialogs.calls[0].text.toStdString();
    ASSERT_EQ(tabs->currentIndex(), 1);

    auto* table = window.findChild<QTableWidget*>(QStringLiteral("rocTable"));
    ASSERT_EQ(table->columnCount(), 8);
    ASSERT_EQ(table->rowCount(), 3) << "two features and the combined score";
    QStringList faults = tableFaults(*table);
    Quorvex3::testing::LayoutAllowances allow;
    allow.mayScrollSideways << QStringLiteral("datasetList");
    faults << layoutFaults(window, allow, QSize(1280, 720));
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n  ")).toStdString();
}
