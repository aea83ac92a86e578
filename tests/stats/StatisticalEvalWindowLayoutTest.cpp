// The evaluation window's layout at the sizes a scientist opens it with: the
// window's own 1000 x 700 and a 1280 x 720 screen. Everything must be in view
// without scrolling sideways: the category panels, the settings, the three
// tab titles and every column of the results table. Checked on the widgets'
// geometry with the program's look (style, palette, style sheet), not on
// pixels.

#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
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

/// The program's look on the application of the whole run (WidgetTestMain).
void applyLookOnce() {
    static const bool looked = [] {
        resetNumericLocale();
        applyApplicationLook();
        // The offscreen platform's default font is larger than a desktop's:
        // measure with the font the window is shown with under X11.
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        return true;
    }();
    (void)looked;
}

/// Lets the layouts and the header's deferred section sizing run.
void settle() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

/// Whether the widget and every ancestor up to the window are visible.
bool shown(const QWidget* widget) { return widget->isVisibleTo(widget->window()); }

struct WindowSize {
    int width;
    int height;
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

    /// Three categories of twelve subjects, matched design with replicates
    /// (the longest description and every settings row in view), both
    /// features selected, the comparison run.
    void fill(StatisticalEvalWindow& window) {
        window.onAddCategory();
        const char* names[] = {"Control", "Drug 10 \xC2\xB5M", "Drug 50 \xC2\xB5M"};
        for (int c = 0; c < 3; ++c) {
            CategoryPanel* panel = window.categoryPanels()[static_cast<std::size_t>(c)];
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
                                         .arg(QString::fromUtf8(names[c]))
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
        window.findChild<QComboBox*>(QStringLiteral("designCombo"))->setCurrentIndex(1);
        window.findChild<QComboBox*>(QStringLiteral("correctionCombo"))
            ->setCurrentText(QStringLiteral("Holm-Bonferroni"));
        window.findChild<QCheckBox*>(QStringLiteral("replicatesCheck"))->setChecked(true);
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
    window.resize(size.width, size.height);
    window.show();
    settle();
    ASSERT_EQ(window.width(), size.width) << "the window's minimum width is too large";

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

    // The comparison's table fills its width exactly, and the p and
    // significance columns are wide enough for their text.
    const auto checkTable = [&] {
        ASSERT_EQ(results->columnCount(), 7);
        QHeaderView* header = results->horizontalHeader();
        EXPECT_EQ(header->length(), results->viewport()->width());
        EXPECT_EQ(results->horizontalScrollBar()->maximum(), 0);
        for (const int column : {5, 6}) {
            SCOPED_TRACE("column " + std::to_string(column));
            int needed = header->sectionSizeHint(column);
            QStyleOptionViewItem option;
            option.initFrom(results);
            option.font = results->font();
            for (int row = 0; row < results->rowCount(); ++row)
                needed = std::max(
                    needed,
                    results->itemDelegate()
                        ->sizeHint(option, results->model()->index(row, column))
                        .width());
            EXPECT_GE(header->sectionSize(column), needed);
            EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column),
                      results->viewport()->width());
        }
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
        window.resize(size.width == 1000 ? 1280 : 1000, size.height);
        settle();
        checkTable();
    }
    {
        // Docks dragged as narrow as they go stop at their contents.
        SCOPED_TRACE("docks dragged narrow");
        window.resize(size.width, size.height);
        window.resizeDocks({categoriesDock, settingsDock}, {10, 10}, Qt::Horizontal);
        settle();
        checkDocks();
    }
}

std::string sizeName(const ::testing::TestParamInfo<WindowSize>& size) {
    return std::to_string(size.param.width) + "x" + std::to_string(size.param.height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StatsLayoutTest,
                         ::testing::Values(WindowSize{1000, 700}, WindowSize{1280, 720}),
                         sizeName);
