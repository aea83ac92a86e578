// The combined plot window's dataset cards and panel: what a card offers and
// reports, reorder drops by synthetic drag events, datasets dropped or picked
// from the main window, the sync rules with their question, the plot grid,
// the main window's notifications and the coalescing of refreshes.
#include "CombineTestSupport.h"

#include "app/DatasetListWidget.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "util/DatasetDragPayload.h"

#include <QApplication>
#include <QDrag>
#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>

#include <qwt_plot.h>

#include <memory>
#include <set>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

using test::CombineWindowTest;
using test::dragAndDrop;
using testing::DialogCall;

const std::vector<std::string> kFeatures = {"area_um", "deform", "bright_avg"};

QComboBox* cardCombo(CombineDatasetWidget& card, const char* name) {
    return card.findChild<QComboBox*>(QString::fromLatin1(name));
}

QStringList itemTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// ---- the card on its own -------------------------------------------------------

class CombineCard : public ::testing::Test {
protected:
    CombineDatasetRef ref(const std::string& x, const std::string& y) const {
        CombineDatasetRef r;
        r.datasetId = 4;
        r.xFeature = x;
        r.yFeature = y;
        r.color = QColor(10, 20, 30, 200);
        r.scaleXMode = 2;
        r.scaleYMode = 1;
        return r;
    }
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard{dialogs};
};

TEST_F(CombineCard, ChoicesStartAtTheReferenceAndGetRefReportsTheChoices) {
    struct Case {
        const char* x;
        const char* y;
        const char* reportedX; // a name not offered leaves the first feature
        const char* reportedY;
    };
    const Case cases[] = {
        {"deform", "bright_avg", "deform", "bright_avg"},
        {"volume", "deform", "area_um", "deform"},
        {"Deform", "", "area_um", "area_um"}, // names match case-sensitively
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        CombineDatasetWidget card(ref(c.x, c.y), kFeatures, nullptr);
        // Without a reader the items show the raw names.
        EXPECT_EQ(itemTexts(cardCombo(card, "xFeatureCombo")),
                  QStringList({"area_um", "deform", "bright_avg"}));
        const CombineDatasetRef got = card.getRef();
        EXPECT_EQ(got.xFeature, c.reportedX);
        EXPECT_EQ(got.yFeature, c.reportedY);
        EXPECT_EQ(got.scaleXMode, 2);
        EXPECT_EQ(got.scaleYMode, 1);
        EXPECT_EQ(got.datasetId, 4);
        EXPECT_EQ(got.color, QColor(10, 20, 30, 200));
    }
}

TEST_F(CombineCard, ProgrammaticSelectionsAreSilentAndUserChoicesAreReported) {
    CombineDatasetWidget card(ref("area_um", "deform"), kFeatures, nullptr);
    QSignalSpy changed(&card, &CombineDatasetWidget::settingsChanged);
    card.setFeatureSelections("bright_avg", "area_um");
    card.setScaleSelections(1, 0);
    card.setFeatureSelections("missing", "deform"); // x stays as it is
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(card.getRef().xFeature, "bright_avg");
    EXPECT_EQ(card.getRef().yFeature, "deform");
    EXPECT_EQ(card.getRef().scaleXMode, 1);

    cardCombo(card, "yScaleCombo")->setCurrentIndex(2);
    cardCombo(card, "xFeatureCombo")->setCurrentIndex(1);
    EXPECT_EQ(changed.count(), 2);
    QSignalSpy removed(&card, &CombineDatasetWidget::removeRequested);
    card.findChild<QPushButton*>("removeButton")->click();
    EXPECT_EQ(removed.count(), 1);
}

TEST_F(CombineCard, ScaleWarningNamesTheHiddenPointsAndClearsAgain) {
    CombineDatasetWidget card(ref("area_um", "deform"), kFeatures, nullptr);
    QComboBox* x = cardCombo(card, "xScaleCombo");
    QComboBox* y = cardCombo(card, "yScaleCombo");
    QSignalSpy changed(&card, &CombineDatasetWidget::settingsChanged);
    struct Case {
        std::size_t hidden;
        const char* item;
        const char* tooltip;
        bool warning;
    };
    const Case cases[] = {
        {1, "Log \u26a0", "1 point with value \u2264 0 not shown (cannot be drawn on a log axis)",
         true},
        {3, "Log \u26a0", "3 points with value \u2264 0 not shown (cannot be drawn on a log axis)",
         true},
        {0, "Log", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hidden);
        card.setScaleWarnings(c.hidden, 0);
        EXPECT_EQ(x->itemText(1), QString::fromUtf8(c.item));
        EXPECT_EQ(x->toolTip(), QString::fromUtf8(c.tooltip));
        EXPECT_EQ(x->styleSheet().contains("#fff8e1"), c.warning);
        // The other axis is left unmarked, the choices keep their entries.
        EXPECT_EQ(y->itemText(1), QStringLiteral("Log"));
        EXPECT_TRUE(y->toolTip().isEmpty());
        EXPECT_EQ(x->currentIndex(), 2);
    }
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(CombineCard, PickedColourReplacesTheWholeColourAndACancelKeepsIt) {
    CombineDatasetWidget card(ref("area_um", "deform"), kFeatures, nullptr);
    QSignalSpy changed(&card, &CombineDatasetWidget::settingsChanged);
    auto* button = card.findChild<QPushButton*>("colorButton");

    button->click(); // no answer: cancelled
    EXPECT_EQ(card.getRef().color, QColor(10, 20, 30, 200));
    EXPECT_EQ(changed.count(), 0);

    dialogs.colorAnswers.push_back(QColor(200, 100, 50, 80));
    button->click();
    EXPECT_EQ(card.getRef().color, QColor(200, 100, 50, 80));
    EXPECT_EQ(card.getRef().color.alpha(), 80);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(button->styleSheet().contains("#c86432"));
    ASSERT_EQ(dialogs.count(DialogCall::Color), 2);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Dataset Color"));
    // The dialog opens at the colour the card holds.
    EXPECT_EQ(dialogs.calls.back().text, QColor(10, 20, 30).name());
}

// A drop of another card of the same panel on the upper or lower half of a
// card, onto any of its parts; drops of itself, of a card of another panel
// or of other data are not taken.
TEST_F(CombineCard, ReorderDropsReportTheHalfAndIgnoreSelfForeignAndBadPayloads) {
    QWidget panel;
    QWidget otherPanel;
    auto* first = new CombineDatasetWidget(ref("area_um", "deform"), kFeatures, nullptr, &panel);
    auto* second = new CombineDatasetWidget(ref("area_um", "deform"), kFeatures, nullptr, &panel);
    auto* foreign =
        new CombineDatasetWidget(ref("area_um", "deform"), kFeatures, nullptr, &otherPanel);
    second->resize(260, 100);
    QSignalSpy drops(second, &CombineDatasetWidget::dropReceived);
    const std::unique_ptr<QMimeData> fromFirst(first->createReorderMimeData());

    auto drop = [&](QWidget* target, const QMimeData& mime, QPoint at) {
        return test::dragAndDrop(target, mime, at);
    };

    struct Case {
        QWidget* target; // the card or one of its parts
        QPoint at;       // in the target's coordinates
        bool above;
    };
    QWidget* name = second->findChild<QWidget*>("nameLabel");
    QWidget* yChoice = second->findChild<QWidget*>("yFeatureCombo");
    const Case cases[] = {
        {second, {10, 49}, true},
        {second, {10, 50}, false},
        {second, {10, 99}, false},
        {name, {1, 1}, true},
        // Through a part of the card the half is still the card's own.
        {name, {1, 49 - name->y()}, true},
        {name, {1, 50 - name->y()}, false},
        {yChoice, {1, yChoice->height() - 1}, yChoice->mapTo(second, QPoint(1, yChoice->height() - 1)).y() < 50},
    };
    for (const Case& c : cases) {
        drops.clear();
        EXPECT_TRUE(drop(c.target, *fromFirst, c.at));
        ASSERT_EQ(drops.count(), 1);
        EXPECT_EQ(drops[0][0].value<CombineDatasetWidget*>(), first);
        EXPECT_EQ(drops[0][1].value<CombineDatasetWidget*>(), second);
        EXPECT_EQ(drops[0][2].toBool(), c.above);
    }

    drops.clear();
    const std::unique_ptr<QMimeData> fromSelf(second->createReorderMimeData());
    const std::unique_ptr<QMimeData> fromForeign(foreign->createReorderMimeData());
    QMimeData garbled;
    garbled.setData(combineReorderMimeType(), "card");
    QMimeData empty;
    empty.setData(combineReorderMimeType(), QByteArray());
    std::unique_ptr<QMimeData> dataset(createDatasetMimeData(1));
    for (const QMimeData* mime :
         {fromSelf.get(), fromForeign.get(), &garbled, &empty, dataset.get()}) {
        EXPECT_FALSE(drop(second, *mime, {10, 10}));
        EXPECT_FALSE(drop(name, *mime, {1, 1}));
    }
    EXPECT_EQ(drops.count(), 0);
}

// ---- adding datasets -----------------------------------------------------------

TEST_F(CombineWindowTest, NewWindowIsEmptyWithItsPlaceholder) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Combine Plot"));
    EXPECT_EQ(window.datasetCount(), 0);
    EXPECT_TRUE(window.cards().empty());
    EXPECT_TRUE(window.plots().empty());
    EXPECT_FALSE(window.testAttribute(Qt::WA_DeleteOnClose));
    auto* panel = control<QWidget>("datasetPanel");
    bool placeholder = false;
    for (const QLabel* label : panel->findChildren<QLabel*>())
        placeholder = placeholder || label->text() == "Drag datasets here\nfrom the main window";
    EXPECT_TRUE(placeholder);
}

TEST_F(CombineWindowTest, DroppedDatasetIsAddedOnceAndBadPayloadsAreIgnored) {
    const std::vector<int> ids = openDatasets({"a", "b"});
    const std::unique_ptr<QMimeData> b(createDatasetMimeData(ids[1]));
    EXPECT_TRUE(dragAndDrop(&window, *b, {20, 20}));
    EXPECT_EQ(refIds(), std::vector<int>{ids[1]});
    // Already in the window: not added again, the drop not taken.
    EXPECT_FALSE(dragAndDrop(&window, *b, {20, 20}));
    EXPECT_EQ(refIds(), std::vector<int>{ids[1]});

    // A payload that is not a dataset id must not be taken for id 0 (the
    // first dataset's id in a fresh main window).
    ASSERT_EQ(ids[0], 0);
    for (const QByteArray& payload : {QByteArray("abc"), QByteArray(""), QByteArray("-1"),
                                      QByteArray("0x1"), QByteArray("99999999999")}) {
        QMimeData mime;
        mime.setData(datasetMimeType(), payload);
        EXPECT_FALSE(dragAndDrop(&window, mime, {20, 20})) << payload.constData();
    }
    // An unknown id is ignored as well, and so is a dataset still loading.
    const std::unique_ptr<QMimeData> unknown(createDatasetMimeData(77));
    dragAndDrop(&window, *unknown, {20, 20});
    main.findDatasetById(ids[0])->featuresLoaded = false;
    const std::unique_ptr<QMimeData> loading(createDatasetMimeData(ids[0]));
    EXPECT_FALSE(dragAndDrop(&window, *loading, {20, 20}));
    window.addAllDatasets();
    EXPECT_EQ(refIds(), std::vector<int>{ids[1]});
    main.findDatasetById(ids[0])->featuresLoaded = true;
}

TEST_F(CombineWindowTest, DropOnTheDatasetPanelReachesTheWindow) {
    const std::vector<int> ids = openDatasets({"a"});
    auto* viewport = control<QScrollArea>("datasetScroll")->viewport();
    const std::unique_ptr<QMimeData> a(createDatasetMimeData(ids[0]));
    // A drag is delivered to the widget under the pointer and passed up to
    // the first that takes it; the drop goes to that one.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, a.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, a.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    EXPECT_EQ(refIds(), std::vector<int>{ids[0]});
}

TEST_F(CombineWindowTest, AddDatasetsDialogOffersOnlyDatasetsNotInTheWindowAndAddsTheSelection) {
    const std::vector<int> ids = openDatasets({"a", "b", "c", "d"});
    window.addDataset(ids[1]);
    QStringList offered;
    dialogs.dialogScript = [&](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>("datasetList");
        for (int i = 0; i < list->count(); ++i)
            offered << list->item(i)->text();
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        list->item(2)->setSelected(true); // d
        list->item(0)->setSelected(true); // a
        return static_cast<int>(QDialog::Accepted);
    };
    window.addSelectedDatasets();
    ASSERT_EQ(dialogs.count(DialogCall::Dialog), 1);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Add Datasets"));
    EXPECT_EQ(offered, QStringList({"a", "c", "d"}));
    ASSERT_EQ(window.datasetCount(), 3);
    EXPECT_EQ(window.references()[0].datasetId, ids[1]);
    EXPECT_EQ(std::set<int>({refIds()[1], refIds()[2]}), std::set<int>({ids[0], ids[3]}));

    // Cancel adds nothing.
    dialogs.dialogScript = [](QDialog& dialog) {
        dialog.findChild<QListWidget*>("datasetList")->selectAll();
        return static_cast<int>(QDialog::Rejected);
    };
    window.addSelectedDatasets();
    EXPECT_EQ(window.datasetCount(), 3);
}

TEST_F(CombineWindowTest, AddAllTakesTheLoadedDatasetsInListOrderWithPaletteColours) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    window.addDataset(ids[2]);
    window.addAllDatasets();
    EXPECT_EQ(refIds(), (std::vector<int>{ids[2], ids[0], ids[1]}));
    const char* colours[] = {"#1f77b4", "#ff7f0e", "#2ca02c"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(window.references()[i].color, QColor(colours[i])) << i;
    ASSERT_EQ(window.cards().size(), 3u);
    // Removing the second and adding it again gives the colour of the list
    // length, the same as the former third's.
    window.removeDataset(1);
    window.addDataset(ids[0]);
    EXPECT_EQ(window.references()[2].color, QColor("#2ca02c"));
    EXPECT_EQ(window.references()[1].color, QColor("#2ca02c"));
    // The palette has 20 colours; the 21st is the first again.
    EXPECT_EQ(combinePaletteColor(20), QColor("#1f77b4"));
    EXPECT_EQ(combinePaletteColor(19), QColor("#9edae5"));
    EXPECT_EQ(combinePaletteColor(10), QColor("#aec7e8"));
}

TEST_F(CombineWindowTest, DatasetWithoutAreaAndDeformationGetsItsFirstTwoPlotFeatures) {
    test::Measurement m;
    m.columns["fl1_max"] = {1, 2, 3, 4, 5};
    m.columns["bright_avg"] = {5, 4, 3, 2, 1};
    m.images = 5;
    const std::string path = dir.file("plain.rtdc");
    test::writeMeasurement(path, m);
    ASSERT_TRUE(test::openAndWait(main, path));
    const int plain = main.activeDatasetId();
    openDatasets({"other"}); // the plain one is no longer active
    DatasetEntry* entry = main.findDatasetById(plain);
    entry->xFeatureName.clear();
    entry->yFeatureName.clear();
    window.addDataset(plain);
    ASSERT_EQ(window.datasetCount(), 1);
    std::vector<std::string> listed;
    for (const std::string& name : entry->reader->getAvailableFeatures())
        if (name != "image" && name != "mask" && name != "contour")
            listed.push_back(name);
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(window.references()[0].xFeature, listed[0]);
    EXPECT_EQ(window.references()[0].yFeature, listed[1]);
}

// ---- sync rules ----------------------------------------------------------------

TEST_F(CombineWindowTest, OverlayModesAskForFeatureSyncWithTwoDatasets) {
    const std::vector<int> ids = openDatasets({"a", "b"});
    window.addDataset(ids[0]);
    auto* display = control<QComboBox>("displayCombo");
    auto* sync = control<QCheckBox>("syncFeaturesCheck");

    // One dataset: no question, no sync.
    display->setCurrentIndex(2);
    EXPECT_EQ(dialogs.count(DialogCall::MessageBox), 0);
    EXPECT_FALSE(sync->isChecked());
    EXPECT_EQ(window.plots().size(), 1u);
    display->setCurrentIndex(0);

    window.addDataset(ids[1]);
    window.cards()[1]->setFeatureSelections("bright_avg", "area_um");
    const std::uint64_t rebuilds = window.plotRebuildCount();
    dialogs.choiceAnswers.push_back("Cancel");
    display->setCurrentIndex(2);
    ASSERT_EQ(dialogs.count(DialogCall::MessageBox), 1);
    const DialogCall& box = dialogs.calls.back();
    EXPECT_EQ(box.title, QStringLiteral("Sync Features Required"));
    EXPECT_EQ(box.text, QStringLiteral("\"Same Plot\" requires all datasets to use the same "
                                       "features.\nFeature syncing will be enabled and all "
                                       "datasets will use\nthe features of the first dataset."));
    EXPECT_EQ(box.buttons, QStringList({"OK", "Cancel"}));
    EXPECT_EQ(display->currentIndex(), 0);
    EXPECT_EQ(window.displayMode(), 0);
    EXPECT_FALSE(sync->isChecked());
    EXPECT_EQ(window.plotRebuildCount(), rebuilds);

    // Closing the box counts as Cancel.
    display->setCurrentIndex(1);
    EXPECT_EQ(display->currentIndex(), 0);

    dialogs.choiceAnswers.push_back("OK");
    display->setCurrentIndex(1);
    EXPECT_TRUE(sync->isChecked());
    EXPECT_EQ(window.displayMode(), 1);
    for (const CombineDatasetRef& ref : window.references()) {
        EXPECT_EQ(ref.xFeature, "area_um");
        EXPECT_EQ(ref.yFeature, "deform");
    }
    EXPECT_EQ(window.cards()[1]->getRef().xFeature, "area_um");
    // Two dataset plots and the contour overlay.
    EXPECT_EQ(window.plots().size(), 3u);

    // The sync cannot be switched off in an overlay mode.
    sync->setChecked(false);
    EXPECT_TRUE(sync->isChecked());
    // A changed card takes the others along.
    QComboBox* y = cardCombo(*window.cards()[1], "yFeatureCombo");
    y->setCurrentIndex(y->findData(QStringLiteral("bright_avg")));
    for (const CombineDatasetRef& ref : window.references())
        EXPECT_EQ(ref.yFeature, "bright_avg");
    display->setCurrentIndex(2);
    EXPECT_EQ(dialogs.count(DialogCall::MessageBox), 3); // synced already: no question
    sync->setChecked(false);
    EXPECT_TRUE(sync->isChecked());
    display->setCurrentIndex(0);
    sync->setChecked(false);
    EXPECT_FALSE(sync->isChecked());
}

TEST_F(CombineWindowTest, SyncAxesPushesTheFirstScalesAndFillsTheLimitFields) {
    const std::vector<int> ids = openDatasets({"a", "b"});
    window.addAllDatasets();
    window.cards()[0]->setScaleSelections(2, 0);
    window.cards()[1]->setScaleSelections(0, 1);
    auto* syncAxes = control<QCheckBox>("syncAxesCheck");
    auto* manual = control<QCheckBox>("manualLimitsCheck");
    EXPECT_FALSE(manual->isEnabled());
    syncAxes->setChecked(true);
    EXPECT_TRUE(manual->isEnabled());
    for (const CombineDatasetRef& ref : window.references()) {
        EXPECT_EQ(ref.scaleXMode, 2);
        EXPECT_EQ(ref.scaleYMode, 0);
    }
    // Linear y over deformation 0.01 .. 0.05 padded by 5 % of the span.
    EXPECT_NEAR(control<QDoubleSpinBox>("yMinSpin")->value(), 0.008, 1e-4);
    EXPECT_NEAR(control<QDoubleSpinBox>("yMaxSpin")->value(), 0.052, 1e-4);

    // A card's scale change goes to every card while the axes are synced.
    cardCombo(*window.cards()[1], "yScaleCombo")->setCurrentIndex(1);
    EXPECT_EQ(window.references()[0].scaleYMode, 1);

    manual->setChecked(true);
    EXPECT_TRUE(control<QDoubleSpinBox>("xMinSpin")->isEnabled());
    const std::uint64_t rebuilds = window.plotRebuildCount();
    control<QDoubleSpinBox>("xMaxSpin")->setValue(99.0);
    EXPECT_EQ(window.plotRebuildCount(), rebuilds + 1);
    syncAxes->setChecked(false);
    EXPECT_FALSE(manual->isChecked());
    EXPECT_FALSE(manual->isEnabled());
    // Limit fields are ignored while the axes are not synced.
    const std::uint64_t after = window.plotRebuildCount();
    control<QDoubleSpinBox>("xMaxSpin")->setValue(98.0);
    EXPECT_EQ(window.plotRebuildCount(), after);
}

TEST_F(CombineWindowTest, UniformColourChoiceShowsOnlyInColourModeNone) {
    auto* uniform = control<QComboBox>("uniformColorCombo");
    EXPECT_TRUE(uniform->isHidden());
    control<QComboBox>("colorCombo")->setCurrentIndex(2);
    EXPECT_EQ(window.colorMode(), 2);
    EXPECT_FALSE(uniform->isHidden());
    control<QComboBox>("colorCombo")->setCurrentIndex(0);
    EXPECT_TRUE(uniform->isHidden());
}

// ---- plot grid -----------------------------------------------------------------

/// Row and column of each plot in the window's grid.
std::vector<std::pair<int, int>> plotCells(CombinePlotWindow& window) {
    auto* grid = window.findChild<QWidget*>("plotContainer")->findChild<QGridLayout*>();
    std::vector<std::pair<int, int>> cells;
    for (QwtPlot* plot : window.plots()) {
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(plot), &row, &column, &rowSpan, &columnSpan);
        cells.emplace_back(row, column);
    }
    return cells;
}

using Cells = std::vector<std::pair<int, int>>;

TEST_F(CombineWindowTest, PlotsFillTheGridRowByRow) {
    const std::vector<int> ids = openDatasets({"a", "b", "c", "d", "e"});
    for (int i = 0; i < 3; ++i)
        window.addDataset(ids[i]);
    // Three datasets: 2 x 2 with the last cell empty.
    EXPECT_EQ(plotCells(window), (Cells{{0, 0}, {0, 1}, {1, 0}}));
    dialogs.choiceAnswers.push_back("OK");
    control<QComboBox>("displayCombo")->setCurrentIndex(1);
    // The contour overlay takes the fourth cell.
    EXPECT_EQ(plotCells(window), (Cells{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
    EXPECT_EQ(window.plots().back()->canvasBackground().color(), QColor("#f5f5ff"));
    control<QComboBox>("displayCombo")->setCurrentIndex(0);

    window.addDataset(ids[3]);
    window.addDataset(ids[4]);
    control<QCheckBox>("manualArrayCheck")->setChecked(true);
    EXPECT_TRUE(control<QWidget>("arraySizeRow")->isVisibleTo(&window));
    auto* cols = control<QSpinBox>("arrayColsSpin");
    auto* rows = control<QSpinBox>("arrayRowsSpin");
    cols->setValue(1);
    EXPECT_EQ(plotCells(window), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}));
    rows->setValue(2);
    EXPECT_EQ(cols->value(), 0);
    EXPECT_EQ(cols->text(), QStringLiteral("auto"));
    EXPECT_EQ(plotCells(window), (Cells{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}));
    control<QCheckBox>("manualArrayCheck")->setChecked(false);
    EXPECT_EQ(rows->value(), 0);
    EXPECT_FALSE(control<QWidget>("arraySizeRow")->isVisibleTo(&window));
    EXPECT_EQ(plotCells(window), (Cells{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}));
}

// ---- reordering ----------------------------------------------------------------

TEST_F(CombineWindowTest, CardDroppedOnAnotherMovesItsDatasetOnceTheDropIsDone) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    window.addAllDatasets();
    window.show();
    auto dropFirstOn = [&](int target, bool upperHalf) {
        CombineDatasetWidget* card = window.cards()[static_cast<size_t>(target)];
        const std::unique_ptr<QMimeData> mime(window.cards()[0]->createReorderMimeData());
        const int y = upperHalf ? 1 : card->height() - 1;
        EXPECT_TRUE(dragAndDrop(card, *mime, {5, y}));
        // Nothing moves inside the drop: the cards are still those dropped on.
        EXPECT_EQ(window.cards()[static_cast<size_t>(target)], card);
        test::processEventsFor(5);
    };
    struct Case {
        int target;
        bool upperHalf;
        std::vector<int> order; // as indices into ids
    };
    const Case cases[] = {
        {1, true, {0, 1, 2}},  // onto the upper half of the next: no change
        {2, false, {1, 2, 0}}, // onto the lower half of the last: last
        {1, false, {2, 1, 0}}, // b onto the lower half of c: after it
        {2, true, {1, 2, 0}},  // c onto the upper half of a: before it
    };
    for (const Case& c : cases) {
        dropFirstOn(c.target, c.upperHalf);
        std::vector<int> expected;
        for (int i : c.order)
            expected.push_back(ids[static_cast<size_t>(i)]);
        EXPECT_EQ(refIds(), expected) << c.target << c.upperHalf;
        // The cards follow the new order.
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(window.cards()[i]->datasetId(), expected[i]);
    }
}

TEST_F(CombineWindowTest, QueuedReorderFindsItsDatasetsAnewAndSkipsOnesGone) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    window.addAllDatasets();
    // A move of a to the end, and before it runs, b is removed: a still
    // goes after c.
    emit window.cards()[0]->dropReceived(window.cards()[0], window.cards()[2], false);
    window.onMainDatasetRemoved(ids[1]);
    test::processEventsFor(5);
    EXPECT_EQ(refIds(), (std::vector<int>{ids[2], ids[0]}));

    // A move whose target is gone by then does nothing.
    emit window.cards()[1]->dropReceived(window.cards()[1], window.cards()[0], true);
    window.onMainDatasetRemoved(ids[2]);
    test::processEventsFor(5);
    EXPECT_EQ(refIds(), std::vector<int>{ids[0]});
}

// A card dragged near the top or bottom edge of the dataset panel scrolls
// it; in between, and once the drag leaves, the scrolling stops.
TEST_F(CombineWindowTest, CardDragNearThePanelEdgesScrollsIt) {
    const std::vector<int> ids = openDatasets({"a", "b", "c", "d", "e", "f", "g", "h"});
    window.addAllDatasets();
    window.resize(1000, 400);
    window.show();
    test::processEventsFor(20);
    auto* scroll = control<QScrollArea>("datasetScroll");
    QWidget* viewport = scroll->viewport();
    auto* timer = window.findChild<QTimer*>("autoScrollTimer");
    ASSERT_NE(timer, nullptr);
    QScrollBar* bar = scroll->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 12) << "the panel must be taller than its view";
    const std::unique_ptr<QMimeData> mime(window.cards()[0]->createReorderMimeData());
    auto move = [&](int y) {
        QDragMoveEvent event(QPoint(10, y), Qt::MoveAction, mime.get(), Qt::LeftButton,
                             Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    };
    // A drag enters before it moves.
    QDragEnterEvent enter(QPoint(10, 100), Qt::MoveAction, mime.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    const int h = viewport->height();
    EXPECT_TRUE(move(h - 39));
    EXPECT_TRUE(timer->isActive());
    // One tick of the timer, without waiting for it.
    auto tick = [timer] { ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout")); };
    tick();
    tick();
    EXPECT_EQ(bar->value(), 12);
    EXPECT_TRUE(move(h / 2));
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(move(39));
    EXPECT_TRUE(timer->isActive());
    tick();
    EXPECT_EQ(bar->value(), 6);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_FALSE(timer->isActive());
    // Other drags pass through to the window.
    const std::unique_ptr<QMimeData> dataset(createDatasetMimeData(ids[0]));
    QDragMoveEvent other(QPoint(10, 5), Qt::CopyAction, dataset.get(), Qt::LeftButton,
                         Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &other);
    EXPECT_FALSE(timer->isActive());
}

// ---- cards and refreshes ---------------------------------------------------------

TEST_F(CombineWindowTest, CardsKeepTheirChoicesAcrossRefreshesAndOldCardsGoLater) {
    const std::vector<int> ids = openDatasets({"a", "b"});
    window.addAllDatasets();
    QPointer<CombineDatasetWidget> old = window.cards()[1];
    QComboBox* oldX = cardCombo(*old, "xFeatureCombo");
    oldX->setCurrentIndex(oldX->findData(QStringLiteral("bright_avg")));
    window.refresh();
    window.flushRefresh();
    EXPECT_EQ(window.references()[1].xFeature, "bright_avg");
    EXPECT_EQ(window.cards()[1]->getRef().xFeature, "bright_avg");
    ASSERT_NE(window.cards()[1], old.data());
    // The old card is not deleted inside the refresh (it may be running its
    // drag), only from the event loop; until then it changes nothing.
    ASSERT_FALSE(old.isNull());
    EXPECT_FALSE(old->isVisible());
    cardCombo(*old, "xFeatureCombo")->setCurrentIndex(0);
    old->findChild<QPushButton*>("removeButton")->click();
    EXPECT_EQ(window.datasetCount(), 2);
    EXPECT_EQ(window.references()[1].xFeature, "bright_avg");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());

    // A card's remove button removes its dataset, whatever its position.
    window.cards()[0]->findChild<QPushButton*>("removeButton")->click();
    EXPECT_EQ(refIds(), std::vector<int>{ids[1]});
}

// A reference whose dataset the main window no longer knows gets no card
// (until the removal reaches the window), so the cards after it sit one
// position earlier than their references.
TEST_F(CombineWindowTest, ChoicesOfACardGoToItsOwnDatasetWhenAnEarlierOneHasNoCard) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    window.addAllDatasets();
    DatasetEntry* gone = main.findDatasetById(ids[0]);
    gone->id = 1000;
    window.refresh();
    window.flushRefresh();
    ASSERT_EQ(window.cards().size(), 2u);
    ASSERT_EQ(window.cards()[0]->datasetId(), ids[1]);
    QComboBox* x = cardCombo(*window.cards()[0], "xFeatureCombo");
    x->setCurrentIndex(x->findData(QStringLiteral("bright_avg")));
    EXPECT_EQ(window.references()[0].datasetId, ids[0]);
    EXPECT_EQ(window.references()[0].xFeature, "area_um");
    EXPECT_EQ(window.references()[1].xFeature, "bright_avg");
    EXPECT_EQ(window.references()[2].xFeature, "area_um");
    // Its remove button removes its own dataset.
    window.cards()[1]->findChild<QPushButton*>("removeButton")->click();
    EXPECT_EQ(refIds(), (std::vector<int>{ids[0], ids[1]}));
    gone->id = ids[0];
}

/// Runs reorder drags through `runner` for the life of the guard.
class ScopedDragRunner {
public:
    explicit ScopedDragRunner(CombineDatasetWidget::DragRunner runner)
        : m_previous(CombineDatasetWidget::setDragRunner(std::move(runner))) {}
    ~ScopedDragRunner() { CombineDatasetWidget::setDragRunner(std::move(m_previous)); }

private:
    CombineDatasetWidget::DragRunner m_previous;
};

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// The main window can refresh the combined plots while a card is being
// dragged (a calculation finishes, a dataset loads): the panel is rebuilt
// inside the drag's event loop, the dragged card must outlive its drag, and
// the drop it brings must not move anything by stale positions.
TEST_F(CombineWindowTest, RefreshDuringACardsDragLeavesTheCardAliveUntilTheDragEnds) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    window.addAllDatasets();
    window.show();
    test::processEventsFor(20);
    QPointer<CombineDatasetWidget> dragged = window.cards()[0];
    QWidget* handle = dragged->findChild<QWidget*>("dragHandle");
    ASSERT_NE(handle, nullptr);

    int drags = 0;
    QPointer<QDrag> running;
    ScopedDragRunner runner([&](QDrag& drag) {
        ++drags;
        running = &drag;
        EXPECT_EQ(drag.source(), dragged.data());
        // A drop on the last card's lower half, then a refresh, both inside
        // the drag's loop, which also deletes what is deleted later.
        CombineDatasetWidget* last = window.cards()[2];
        EXPECT_TRUE(test::dragAndDrop(last, *drag.mimeData(), {5, last->height() - 1}));
        window.refresh();
        window.flushRefresh();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(dragged.isNull());
        EXPECT_FALSE(running.isNull());
        return Qt::MoveAction;
    });

    const QPoint start(5, 5);
    sendMouse(handle, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(handle->cursor().shape(), Qt::ClosedHandCursor);
    // A movement shorter than the drag distance starts nothing.
    sendMouse(handle, QEvent::MouseMove, start + QPoint(1, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(drags, 0);
    sendMouse(handle, QEvent::MouseMove, start + QPoint(0, QApplication::startDragDistance()),
              Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(drags, 1);
    // The drag is over: the discarded card goes from the event loop.
    ASSERT_FALSE(dragged.isNull());
    EXPECT_EQ(handle->cursor().shape(), Qt::OpenHandCursor);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dragged.isNull());
    EXPECT_TRUE(running.isNull());

    // The queued move runs by dataset: a goes last.
    test::processEventsFor(5);
    EXPECT_EQ(refIds(), (std::vector<int>{ids[1], ids[2], ids[0]}));
}

TEST_F(CombineWindowTest, RefreshesInOneTurnOfTheEventLoopCostOneRebuild) {
    const std::vector<int> ids = openDatasets({"a", "b"});
    window.addAllDatasets();
    const std::uint64_t before = window.plotRebuildCount();
    window.refresh();
    window.refresh();
    // As the main window does: the record first, then the notification.
    main.findDatasetById(ids[0])->displayName = QStringLiteral("renamed");
    window.onDatasetRenamed(ids[0], QStringLiteral("renamed"));
    EXPECT_EQ(window.plotRebuildCount(), before);
    test::processEventsFor(5);
    EXPECT_EQ(window.plotRebuildCount(), before + 1);
    test::processEventsFor(5);
    EXPECT_EQ(window.plotRebuildCount(), before + 1);
    EXPECT_EQ(window.plots()[0]->title().text(), QStringLiteral("renamed"));
}

TEST_F(CombineWindowTest, MainWindowNotificationsReachTheWindow) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    window.addDataset(ids[0]);
    window.addDataset(ids[1]);
    test::processEventsFor(5);

    // A dataset not in the window: its removal leaves the plots untouched,
    // its renaming still redraws them.
    std::uint64_t before = window.plotRebuildCount();
    window.onMainDatasetRemoved(ids[2]);
    test::processEventsFor(5);
    EXPECT_EQ(window.plotRebuildCount(), before);
    window.onDatasetRenamed(ids[2], QStringLiteral("x"));
    test::processEventsFor(5);
    EXPECT_EQ(window.plotRebuildCount(), before + 1);

}

// The windows the main window opens are told of renamed and removed
// datasets and of refreshes, and released when they close.
TEST_F(CombineWindowTest, WindowsOpenedByTheMainWindowFollowItsDatasets) {
    const std::vector<int> ids = openDatasets({"a", "b", "c"});
    QAction* open = test::actionNamed(test::menuNamed(main, "&Tool Windows"),
                                      QStringLiteral("New &Combine Plot..."));
    ASSERT_NE(open, nullptr);
    open->trigger();
    open->trigger();
    ASSERT_EQ(main.combinePlotWindows().size(), 2u);
    CombinePlotWindow* first = main.combinePlotWindows()[0];
    CombinePlotWindow* second = main.combinePlotWindows()[1];
    first->addDataset(ids[0]);
    first->addDataset(ids[1]);
    second->addDataset(ids[1]);

    auto* list = main.findChild<DatasetListWidget*>();
    ASSERT_NE(list, nullptr);
    list->setCurrentRow(1);
    auto* edit = main.findChild<QLineEdit*>("renameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(QStringLiteral("donor 7"));
    emit edit->editingFinished();
    EXPECT_EQ(first->cards()[1]->findChild<QLabel*>("nameLabel")->text(),
              QStringLiteral("donor 7"));
    test::processEventsFor(5);
    EXPECT_EQ(second->plots()[0]->title().text(), QStringLiteral("donor 7"));

    // A window that closes while the others are told stays out of it.
    const QPointer<CombinePlotWindow> closing = second;
    second->close();
    EXPECT_EQ(main.combinePlotWindows(), std::vector<CombinePlotWindow*>{first});
    ASSERT_TRUE(QMetaObject::invokeMethod(&main, "removeDataset"));
    test::processEventsFor(5);
    EXPECT_EQ(first->references().size(), 1u);
    EXPECT_EQ(first->references()[0].datasetId, ids[0]);
    EXPECT_EQ(first->cards().size(), 1u);
    EXPECT_TRUE(closing.isNull());
}

TEST_F(CombineWindowTest, ClosingReportsOnce) {
    QSignalSpy closed(&window, &CombinePlotWindow::windowClosed);
    window.show();
    window.close();
    window.show();
    window.close();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed[0][0].value<CombinePlotWindow*>(), &window);
}

} // namespace
} // namespace Quorvex3
