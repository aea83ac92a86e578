// The evaluation window's layout at the sizes a scientist opens it with: the
// window's own 1200 x 700 with three categories and a 1280 x 720 screen with
// four, in the matched design and in a new window's independent group
// comparison. Everything must be in view without scrolling sideways: the
// category panels, the settings, the three tab titles and every column of
// the results table, which shows at least five whole rows. Checked on the
// widgets' geometry with the program's look (style, palette, style sheet),
// not on pixels.

#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/LayoutCheck.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
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

struct WindowSize {
    int width;
    int height;
    int categories;
    /// The categories as a new window names them ("Baseline", "Condition
    /// 1", ...) in the independent design: pairwise rows "Baseline vs
    /// Condition 1" and the longest test names. Else named by the user, in
    /// the matched design with replicates.
    bool independent = false;
};

class StatsLayoutTest : public ::testing::TestWithParam<WindowSize> {
protected:
    void SetUp() override {
        applyLookOnce();
        // Twelve donors in three groups with names as long as a lab's.
        std::vector<double> area(40), deform(40), bright(40);
        for (std::size_t i = 0; i < area.size(); ++i) {
            area[i] = 50.0 + static_cast<double>(i);
            deform[i] = 0.01 + 0.001 * static_cast<double>(i);
            bright[i] = 100.0 + static_cast<double>(i % 7);
        }
        {
            // bright_avg: the longest feature label, "Brightness average [a.u.]".
            RtdcFixtureWriter writer(m_dir.file("m.rtdc"));
            writer.addColumn<double>("area_um", area);
            writer.addColumn<double>("deform", deform);
            writer.addColumn<double>("bright_avg", bright);
        }
        m_reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(m_reader->openFile(m_dir.file("m.rtdc")));
    }

    /// The parameter's categories of twelve subjects, both features
    /// selected, the comparison run. Named by the user: matched design with
    /// replicates (the longest description and every settings row in view).
    void fill(StatisticalEvalWindow& window) {
        const int categories = GetParam().categories;
        const bool independent = GetParam().independent;
        while (static_cast<int>(window.categoryPanels().size()) < categories)
            window.onAddCategory();
        const char* names[] = {"Control", "Drug 10 \xC2\xB5M", "Drug 50 \xC2\xB5M",
                               "Drug 100 \xC2\xB5M"};
        for (int c = 0; c < categories; ++c) {
            CategoryPanel* panel = window.categoryPanels()[static_cast<std::size_t>(c)];
            if (!independent)
                panel->setCategoryName(QString::fromUtf8(names[c]));
            for (int s = 1; s <= 12; ++s) {
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
            list->item(i)->setSelected(list->item(i)->data(Qt::UserRole) != "bright_avg");
        if (!independent) {
            window.findChild<QComboBox*>(QStringLiteral("designCombo"))->setCurrentIndex(1);
            window.findChild<QComboBox*>(QStringLiteral("correctionCombo"))
                ->setCurrentText(QStringLiteral("Holm-Bonferroni"));
            window.findChild<QCheckBox*>(QStringLiteral("replicatesCheck"))->setChecked(true);
        }
        window.onRunAnalysis();
    }

    TempDir m_dir;
    DatasetStore m_store;
    std::shared_ptr<RTDCReader> m_reader;
    ScriptedDialogProvider m_dialogs;
    ScopedDialogProvider m_guard{m_dialogs};
};

} // namespace

// Every tab at the given size: the tab titles, the categories, the settings
// and the description fit; the results table shows all of its columns.
TEST_P(StatsLayoutTest, EverythingInViewWithoutScrollingSideways) {
    const WindowSize size = GetParam();
    StatisticalEvalWindow window(&m_store);
    fill(window);
    ASSERT_EQ(m_dialogs.calls.size(), 0u) << m_dialogs.calls[0].text.toStdString();
    // The window with its frame at the size given.
    showWithFrameSize(window, QSize(size.width, size.height));
    ASSERT_EQ(window.frameGeometry().width(), size.width)
        << "the window's minimum width is too large";

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    auto* categoriesDock = window.findChild<QDockWidget*>(QStringLiteral("categoriesDock"));
    auto* settingsDock = window.findChild<QDockWidget*>(QStringLiteral("settingsDock"));
    auto* categoryArea = window.findChild<QScrollArea*>(QStringLiteral("categoryScrollArea"));
    auto* description = window.findChild<QLabel*>(QStringLiteral("descriptionLabel"));
    auto* results = window.findChild<QTableWidget*>(QStringLiteral("resultsTable"));
    auto* features = window.findChild<QListWidget*>(QStringLiteral("featureList"));
    ASSERT_TRUE(tabs && categoriesDock && settingsDock && categoryArea && description &&
                results && features);
    ASSERT_EQ(features->count(), 3);

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

    // The comparison's table (feature, test, a column per category, p,
    // significance...) fills its width exactly, and every column is wide
    // enough for its text: below about 1,070 pixels the values were cut.
    const auto checkTable = [&] {
        ASSERT_GE(results->columnCount(), 4 + 2);
        QHeaderView* header = results->horizontalHeader();
        EXPECT_EQ(header->length(), results->viewport()->width());
        EXPECT_EQ(results->horizontalScrollBar()->maximum(), 0);
        const QFontMetrics metrics(results->font());
        // The header's height with one line of title.
        const int oneLineHeader = [&] {
            const int shown = header->minimumHeight();
            header->setMinimumHeight(0);
            const int height = header->sizeHint().height();
            header->setMinimumHeight(shown);
            return height;
        }();
        const int margin =
            2 * (results->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, results) + 1);
        for (int column = 0; column < results->columnCount(); ++column) {
            SCOPED_TRACE("column " + std::to_string(column));
            const int width = header->sectionSize(column);
            // A title wraps where a line may break: no word is wider than
            // the column (wrapped, the text would overflow its box) and its
            // lines fit the header (the style sheet draws it semi-bold).
            const QString title = results->horizontalHeaderItem(column)->text();
            QFont titleFont = header->font();
            titleFont.setWeight(QFont::DemiBold);
            const QFontMetrics titleMetrics(titleFont);
            const int padding =
                header->sectionSizeHint(column) - titleMetrics.horizontalAdvance(title);
            const QRect titleLines = titleMetrics.boundingRect(QRect(0, 0, width - padding, 10000),
                                                               Qt::TextWordWrap, title);
            EXPECT_LE(titleLines.width(), width - padding) << title.toStdString();
            EXPECT_LE(titleLines.height() - titleMetrics.height() + oneLineHeader, header->height())
                << title.toStdString();
            EXPECT_LE(header->sectionViewportPosition(column) + width,
                      results->viewport()->width());
            for (int row = 0; row < results->rowCount(); ++row) {
                const QTableWidgetItem* item = results->item(row, column);
                const QString text = item->text();
                SCOPED_TRACE(text.toStdString());
                // A pair's label runs over the empty category cells beside
                // it: it has their width, and they show nothing of their own.
                const QRect cell = results->visualItemRect(item);
                if (cell.left() != results->columnViewportPosition(column)) {
                    EXPECT_TRUE(text.isEmpty());
                    continue;
                }
                if (results->columnSpan(row, column) > 1) {
                    EXPECT_LE(metrics.horizontalAdvance(text) + margin, cell.width())
                        << "a pair's label on more than one line";
                }
                // Whole words, wrapped onto as many lines as the row holds.
                const QRect wrapped = metrics.boundingRect(
                    QRect(0, 0, cell.width() - margin, 10000), Qt::TextWordWrap, text);
                EXPECT_LE(wrapped.width(), cell.width() - margin);
                EXPECT_LE(wrapped.height(), results->rowHeight(row));
            }
        }

        // At least five whole rows in view wherever the table is scrolled
        // (at 1280 x 720 two and a half showed).
        const int rows = results->rowCount();
        ASSERT_GE(rows, 5);
        const auto wholeRowsInView = [&] {
            settle();
            int whole = 0;
            for (int row = 0; row < rows; ++row) {
                const int top = results->rowViewportPosition(row);
                whole += top >= 0 && top + results->rowHeight(row) <= results->viewport()->height();
            }
            return whole;
        };
        results->scrollToBottom();
        EXPECT_GE(wholeRowsInView(), 5) << "scrolled to the end";
        results->scrollToTop();
        EXPECT_GE(wholeRowsInView(), 5) << "scrolled to the top";
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
        const QStringList faults = layoutFaults(window, allow, QSize(size.width, size.height));
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
        window.resize(sizeForFrame(window, QSize(size.width + 120, size.height)));
        settle();
        checkTable();
    }
    {
        // Docks dragged as narrow as they go stop at their contents.
        SCOPED_TRACE("docks dragged narrow");
        window.resize(sizeForFrame(window, QSize(size.width, size.height)));
        window.resizeDocks({categoriesDock, settingsDock}, {10, 10}, Qt::Horizontal);
        settle();
        checkDocks();
    }
}

std::string sizeName(const ::testing::TestParamInfo<WindowSize>& size) {
    return std::to_string(size.param.width) + "x" + std::to_string(size.param.height) + "_" +
           std::to_string(size.param.categories) + "categories" +
           (size.param.independent ? "_independent" : "_matched");
}

INSTANTIATE_TEST_SUITE_P(Sizes, StatsLayoutTest,
                         ::testing::Values(WindowSize{1200, 700, 3}, WindowSize{1280, 720, 4},
                                           WindowSize{1280, 720, 4, true}),
                         sizeName);
