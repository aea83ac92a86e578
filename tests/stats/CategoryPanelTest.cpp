// The category panel on a dataset store: which drops and additions it
// takes, the HTML of its rows, when it reports a change, and its dialogs
// through the dialog seam.
#include "stats/StatsWindowTestSupport.h"

#include "stats/CategoryPanel.h"
#include "util/DatasetDragPayload.h"
#include "util/ScriptedDialogProvider.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

namespace Quorvex3 {
namespace {

using testing::DialogCall;
using testing::namedChild;
using testing::ScriptedDialogProvider;

class CategoryPanelTest : public testing::StatsStoreFixture {
protected:
    std::unique_ptr<CategoryPanel> makePanel(bool removable = true) {
        return std::make_unique<CategoryPanel>(QStringLiteral("Cells"), removable,
                                               QColor("#4682b4"), &m_store);
    }

    /// Hands the event to the panel's own handler: the application routes a
    /// drop only to the target of a running drag, which offscreen tests lack.
    static void deliver(CategoryPanel& panel, QEvent& event) {
        static_cast<QObject&>(panel).event(&event);
    }

    /// Drops `mime` onto the panel; whether the drop was accepted.
    static bool drop(CategoryPanel& panel, QMimeData* mime) {
        std::unique_ptr<QMimeData> owned(mime);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, owned.get(), Qt::LeftButton, Qt::NoModifier);
        event.ignore();
        deliver(panel, event);
        return event.isAccepted();
    }

    static QMimeData* payload(const QByteArray& bytes) {
        auto* mime = new QMimeData;
        mime->setData(datasetMimeType(), bytes);
        return mime;
    }

    static std::vector<int> ids(const CategoryPanel& panel) {
        std::vector<int> out;
        for (const CategoryDatasetEntry& entry : panel.entries())
            out.push_back(entry.datasetId);
        return out;
    }

    static QStringList rows(CategoryPanel& panel) {
        QStringList out;
        QListWidget* list = namedChild<QListWidget>(&panel, "datasetList");
        for (int i = 0; list && i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
};

// ---- drops and additions ----------------------------------------------------

TEST_F(CategoryPanelTest, DropTakesOnlyLoadedDatasetsOnceAndRefusesBadPayloads) {
    const int first = addDataset("first", {"area_um"}); // id 0: a real dataset
    const int loading = addDataset("loading", {"area_um"}, {}, /*loaded=*/false);
    const int readerless = addDataset("no reader", {"area_um"}, {}, true, /*withReader=*/false);
    ASSERT_EQ(first, 0);

    struct Case {
        const char* what;
        QByteArray bytes;
        bool accepted;
        std::vector<int> after;
    };
    const Case cases[] = {
        {"not a number, which read as 0 would add dataset 0", "abc", false, {}},
        {"empty payload", "", false, {}},
        {"negative", "-1", false, {}},
        {"too large for an int", "99999999999", false, {}},
        {"space before the digits", " 0", false, {}},
        {"unknown id", "42", false, {}},
        {"preload not finished", QByteArray::number(loading), false, {}},
        {"no reader", QByteArray::number(readerless), false, {}},
        {"loaded dataset", QByteArray::number(first), true, {first}},
        {"already in the panel", QByteArray::number(first), false, {first}},
    };
    auto panel = makePanel();
    QSignalSpy changed(panel.get(), &CategoryPanel::changed);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = changed.count();
        EXPECT_EQ(drop(*panel, payload(c.bytes)), c.accepted);
        EXPECT_EQ(ids(*panel), c.after);
        EXPECT_EQ(changed.count() - before, c.accepted ? 1 : 0);
    }
    EXPECT_EQ(panel->entries().front().displayName, QStringLiteral("first"));
}

TEST_F(CategoryPanelTest, DragEnterAcceptsOnlyTheDatasetType) {
    auto panel = makePanel();
    std::unique_ptr<QMimeData> dataset(createDatasetMimeData(3));
    QMimeData text;
    text.setText(QStringLiteral("3"));
    for (const auto& [mime, accepted] :
         std::vector<std::pair<QMimeData*, bool>>{{dataset.get(), true}, {&text, false}}) {
        QDragEnterEvent event(QPoint(1, 1), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        event.ignore();
        deliver(*panel, event);
        EXPECT_EQ(event.isAccepted(), accepted);
    }
}

TEST_F(CategoryPanelTest, OneDatasetMayStandInTwoPanelsWithItsOwnNumbers) {
    const int id = addDataset("shared", {"area_um"}, "blood sample");
    auto a = makePanel();
    auto b = makePanel();
    EXPECT_TRUE(a->tryAddDataset(id));
    EXPECT_TRUE(b->tryAddDataset(id));
    a->setNumberId(id, 4);
    EXPECT_EQ(a->entries()[0].numberId, 4);
    EXPECT_EQ(b->entries()[0].numberId, 0);
    EXPECT_EQ(b->entries()[0].sampleName, "blood sample");
}

TEST_F(CategoryPanelTest, AddDialogListsLoadedDatasetsNotYetHeldAndAddsTheSelectedOnes) {
    const int a = addDataset("alpha", {"area_um"});
    addDataset("still loading", {"area_um"}, {}, false);
    const int c = addDataset("gamma", {"area_um"});
    const int d = addDataset("delta", {"area_um"});
    auto panel = makePanel();
    ASSERT_TRUE(panel->tryAddDataset(a));

    ScriptedDialogProvider dialogs;
    QStringList offered;
    dialogs.dialogScript = [&](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("addDatasetsList"));
        for (int i = 0; i < list->count(); ++i)
            offered << list->item(i)->text();
        list->item(1)->setSelected(true); // delta
        list->item(0)->setSelected(true); // gamma
        return static_cast<int>(QDialog::Accepted);
    };
    ScopedDialogProvider guard(dialogs);
    QSignalSpy changed(panel.get(), &CategoryPanel::changed);
    namedChild<QPushButton>(panel.get(), "addButton")->click();

    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Add Datasets"));
    EXPECT_EQ(offered, (QStringList{"gamma", "delta"}));
    std::vector<int> held = ids(*panel);
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[0], a);
    EXPECT_EQ(std::set<int>(held.begin() + 1, held.end()), (std::set<int>{c, d}));
    EXPECT_EQ(changed.count(), 2);

    // Cancelled: nothing changes.
    dialogs.dialogScript = [](QDialog& dialog) {
        dialog.findChild<QListWidget*>(QStringLiteral("addDatasetsList"))->selectAll();
        return static_cast<int>(QDialog::Rejected);
    };
    namedChild<QPushButton>(panel.get(), "addButton")->click();
    EXPECT_EQ(panel->entries().size(), 3u);
    EXPECT_EQ(changed.count(), 2);
}

// ---- rows ---------------------------------------------------------------------

TEST_F(CategoryPanelTest, RowTextShowsEscapedNameAndColouredNumbers) {
    const QString q = QStringLiteral("<b style=\"color:#c04040\">?</b>");
    struct Case {
        bool showNumbers;
        bool techRep;
        int id, bio, tech;
        QString html;
    };
    const Case cases[] = {
        {false, false, 5, 0, 0, "a&lt;b &amp; c"},
        {true, false, 0, 0, 0, "a&lt;b &amp; c  <span style=\"color:#a0a0a0\">[#" + q + "]</span>"},
        {true, false, 5, 0, 0, "a&lt;b &amp; c  <span style=\"color:#3070b0\">[#5]</span>"},
        {true, false, 5, 0, 7, "a&lt;b &amp; c  <span style=\"color:#3070b0\">[#5]</span>"},
        {true, true, 3, 0, 1,
         "a&lt;b &amp; c  <span style=\"color:#a0a0a0\">[#3." + q + ".1]</span>"},
        {true, true, 3, 2, 1, "a&lt;b &amp; c  <span style=\"color:#3070b0\">[#3.2.1]</span>"},
        {true, true, 0, 2, 1,
         "a&lt;b &amp; c  <span style=\"color:#a0a0a0\">[#" + q + ".2.1]</span>"},
    };
    for (const Case& c : cases) {
        CategoryDatasetEntry entry;
        entry.displayName = QStringLiteral("a<b & c");
        entry.numberId = c.id;
        entry.bioRepId = c.bio;
        entry.techRepId = c.tech;
        EXPECT_EQ(CategoryPanel::rowHtml(entry, c.showNumbers, c.techRep), c.html)
            << c.showNumbers << c.techRep << c.id << c.bio << c.tech;
    }
}

TEST_F(CategoryPanelTest, ListFollowsModesNumbersAndCount) {
    const int a = addDataset("A & B", {"area_um"});
    const int b = addDataset("plain", {"area_um"});
    auto panel = makePanel();
    QLabel* count = namedChild<QLabel>(panel.get(), "countLabel");
    EXPECT_EQ(count->text(), QStringLiteral("0 datasets"));
    panel->tryAddDataset(a);
    EXPECT_EQ(count->text(), QStringLiteral("1 datasets"));
    panel->tryAddDataset(b);
    EXPECT_EQ(count->text(), QStringLiteral("2 datasets"));
    EXPECT_EQ(rows(*panel), (QStringList{"A &amp; B", "plain"}));

    panel->setShowNumbers(true);
    panel->setNumberId(b, 5);
    EXPECT_TRUE(rows(*panel)[0].contains(QStringLiteral("#a0a0a0")));
    EXPECT_TRUE(rows(*panel)[1].endsWith(QStringLiteral("[#5]</span>")));
    panel->setTechRepMode(true);
    panel->setBioRepId(b, 2);
    panel->setTechRepId(b, 1);
    EXPECT_TRUE(rows(*panel)[1].endsWith(QStringLiteral("<span style=\"color:#3070b0\">[#5.2.1]</span>")));

    panel->onDatasetRenamed(a, QStringLiteral("x<y"));
    EXPECT_TRUE(rows(*panel)[0].startsWith(QStringLiteral("x&lt;y  ")));
    // Row data carry the dataset ids.
    QListWidget* list = namedChild<QListWidget>(panel.get(), "datasetList");
    EXPECT_EQ(list->item(1)->data(Qt::UserRole).toInt(), b);

    namedChild<QPushButton>(panel.get(), "clearButton")->click();
    EXPECT_EQ(count->text(), QStringLiteral("0 datasets"));
    EXPECT_EQ(list->count(), 0);
}

// ---- changed() ------------------------------------------------------------------

TEST_F(CategoryPanelTest, ReportsChangesMadeThroughItselfButNotThroughTheWindowsSetters) {
    const int a = addDataset("a", {"area_um"});
    const int b = addDataset("b", {"area_um"});
    auto panel = makePanel();
    auto other = makePanel();
    QSignalSpy changed(panel.get(), &CategoryPanel::changed);
    QSignalSpy otherChanged(other.get(), &CategoryPanel::changed);
    QListWidget* list = namedChild<QListWidget>(panel.get(), "datasetList");

    struct Step {
        const char* what;
        std::function<void()> run;
        int emitted;
    };
    const Step steps[] = {
        {"add", [&] { panel->tryAddDataset(a); }, 1},
        {"add again", [&] { panel->tryAddDataset(a); }, 0},
        {"add second", [&] { panel->tryAddDataset(b); }, 1},
        {"number setters", [&] { panel->setNumberId(a, 3); panel->setBioRepId(a, 1); panel->setTechRepId(a, 2); }, 0},
        {"setter for an id it lacks", [&] { panel->setNumberId(99, 3); }, 0},
        {"modes", [&] { panel->setShowNumbers(true); panel->setTechRepMode(true); }, 0},
        {"entry from a session", [&] { panel->addEntry(CategoryDatasetEntry{b, "b", {}, 1, 1, 1}); }, 0},
        {"renamed in the main window", [&] { panel->onDatasetRenamed(a, "A"); }, 0},
        {"colour", [&] { panel->setColor(QColor("#112233")); }, 1},
        {"name stored but not committed", [&] { panel->setCategoryName("Other"); }, 0},
        {"name committed unchanged", [&] { emit namedChild<QLineEdit>(panel.get(), "nameEdit")->editingFinished(); }, 1},
        {"removed elsewhere", [&] { panel->onDatasetRemoved(a); other->onDatasetRemoved(a); }, 1},
        {"remove selected without selection", [&] { list->clearSelection(); panel->onRemoveSelected(); }, 1},
        {"clear all", [&] { panel->onClearAll(); }, 1},
        {"clear all when empty", [&] { panel->onClearAll(); }, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const int before = changed.count();
        step.run();
        EXPECT_EQ(changed.count() - before, step.emitted);
    }
    EXPECT_EQ(otherChanged.count(), 0) << "a panel without the dataset reports nothing";
}

TEST_F(CategoryPanelTest, RemoveSelectedDropsEveryEntryOfTheSelectedDataset) {
    const int a = addDataset("a", {"area_um"});
    const int b = addDataset("b", {"area_um"});
    auto panel = makePanel();
    panel->tryAddDataset(a);
    panel->tryAddDataset(b);
    panel->addEntry(CategoryDatasetEntry{a, "a again", {}, 0, 0, 0});
    QListWidget* list = namedChild<QListWidget>(panel.get(), "datasetList");
    QPushButton* remove = namedChild<QPushButton>(panel.get(), "removeSelectedButton");
    EXPECT_FALSE(remove->isEnabled());
    list->item(0)->setSelected(true);
    EXPECT_TRUE(remove->isEnabled());
    remove->click();
    EXPECT_EQ(ids(*panel), std::vector<int>{b});
}

TEST_F(CategoryPanelTest, DeleteButtonOnlyOnRemovablePanelsAndOnlyAsks) {
    auto fixed = makePanel(false);
    auto removable = makePanel(true);
    EXPECT_TRUE(namedChild<QPushButton>(fixed.get(), "deleteButton")->isHidden());
    EXPECT_FALSE(namedChild<QPushButton>(removable.get(), "deleteButton")->isHidden());
    QSignalSpy asked(removable.get(), &CategoryPanel::deleteRequested);
    namedChild<QPushButton>(removable.get(), "deleteButton")->click();
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.at(0).at(0).value<CategoryPanel*>(), removable.get());
    testing::flushDeletes();
    EXPECT_EQ(removable->categoryName(), QStringLiteral("Cells")); // still there
}

// ---- dialogs ------------------------------------------------------------------

TEST_F(CategoryPanelTest, ColourDialogChangesTheColourOnlyWhenAccepted) {
    auto panel = makePanel();
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    QSignalSpy changed(panel.get(), &CategoryPanel::changed);
    QPushButton* button = namedChild<QPushButton>(panel.get(), "colorButton");

    button->click(); // cancelled
    ASSERT_EQ(dialogs.count(DialogCall::Color), 1);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Category Color"));
    EXPECT_EQ(dialogs.calls.back().text, QStringLiteral("#4682b4")); // the initial colour
    EXPECT_EQ(panel->color(), QColor("#4682b4"));
    EXPECT_EQ(changed.count(), 0);

    dialogs.colorAnswers.push_back(QColor("#123456"));
    button->click();
    EXPECT_EQ(panel->color(), QColor("#123456"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(button->styleSheet().contains(QStringLiteral("background-color: #123456;")));
}

TEST_F(CategoryPanelTest, IdDialogOpensOnlyWithNumbersShownAndStoresTheAnswer) {
    const int a = addDataset("Mouse \"7\"", {"area_um"});
    auto panel = makePanel();
    panel->tryAddDataset(a);
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    QSignalSpy changed(panel.get(), &CategoryPanel::changed);
    QListWidget* list = namedChild<QListWidget>(panel.get(), "datasetList");
    const auto doubleClick = [&] { emit list->itemDoubleClicked(list->item(0)); };

    dialogs.inputAnswers.push_back(QStringLiteral("7"));
    doubleClick(); // numbers hidden: no dialog
    EXPECT_EQ(dialogs.calls.size(), 0u);

    panel->setShowNumbers(true);
    doubleClick();
    ASSERT_EQ(dialogs.count(DialogCall::Input), 1);
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Set ID"));
    EXPECT_EQ(dialogs.calls.back().text, QStringLiteral("ID for \"Mouse \"7\"\":"));
    EXPECT_EQ(panel->entries()[0].numberId, 7);
    EXPECT_EQ(changed.count(), 1);

    dialogs.inputAnswers.push_back(QStringLiteral("<cancel>"));
    doubleClick();
    EXPECT_EQ(panel->entries()[0].numberId, 7);
    EXPECT_EQ(changed.count(), 1);

    dialogs.inputAnswers.push_back(QStringLiteral("0")); // unassigned again
    doubleClick();
    EXPECT_EQ(panel->entries()[0].numberId, 0);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(CategoryPanelTest, ReplicateDialogEditsAllThreeNumbersWhenAccepted) {
    const int a = addDataset("rep", {"area_um"});
    auto panel = makePanel();
    panel->tryAddDataset(a);
    panel->setNumberId(a, 9);
    panel->setShowNumbers(true);
    panel->setTechRepMode(true);
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    QSignalSpy changed(panel.get(), &CategoryPanel::changed);
    QListWidget* list = namedChild<QListWidget>(panel.get(), "datasetList");

    int startId = -1;
    int maxId = -1;
    dialogs.dialogScript = [&](QDialog& dialog) {
        auto* id = dialog.findChild<QSpinBox*>(QStringLiteral("idSpin"));
        startId = id->value();
        maxId = id->maximum();
        id->setValue(3);
        dialog.findChild<QSpinBox*>(QStringLiteral("bioRepSpin"))->setValue(2);
        dialog.findChild<QSpinBox*>(QStringLiteral("techRepSpin"))->setValue(1);
        return static_cast<int>(QDialog::Rejected);
    };
    emit list->itemDoubleClicked(list->item(0));
    EXPECT_EQ(dialogs.calls.back().title, QStringLiteral("Set Replicate IDs"));
    EXPECT_EQ(startId, 9);
    EXPECT_EQ(maxId, 9999);
    EXPECT_EQ(panel->entries()[0].numberId, 9) << "cancel keeps the numbers";
    EXPECT_EQ(changed.count(), 0);

    auto script = dialogs.dialogScript;
    dialogs.dialogScript = [&](QDialog& dialog) {
        script(dialog);
        return static_cast<int>(QDialog::Accepted);
    };
    emit list->itemDoubleClicked(list->item(0));
    const CategoryDatasetEntry& e = panel->entries()[0];
    EXPECT_EQ((std::vector<int>{e.numberId, e.bioRepId, e.techRepId}), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("[#3.2.1]</span>")));
}

TEST_F(CategoryPanelTest, ContextMenuOffersSetIdsOnlyOnARowWithNumbersShown) {
    const int a = addDataset("only row", {"area_um"});
    auto panel = makePanel();
    panel->tryAddDataset(a);
    panel->resize(300, 220);
    panel->show();
    QCoreApplication::processEvents();
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    QListWidget* list = namedChild<QListWidget>(panel.get(), "datasetList");
    const QPoint onRow = list->visualItemRect(list->item(0)).center();
    const QPoint below(onRow.x(), list->viewport()->height() - 3);
    ASSERT_EQ(list->itemAt(below), nullptr);

    // Whatever menu opens is recorded and answered by choosing "Set IDs...",
    // so a menu that should not open cannot hang the test either.
    QStringList menus;
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        menus << texts.join('|');
        menu->actions().value(0)->trigger();
        menu->close();
    });
    answer.start();
    const auto request = [&](const QPoint& at) { emit list->customContextMenuRequested(at); };

    dialogs.inputAnswers.push_back(QStringLiteral("8"));
    request(onRow); // numbers hidden
    EXPECT_TRUE(menus.isEmpty());
    panel->setShowNumbers(true);
    request(below); // no row there
    EXPECT_TRUE(menus.isEmpty());
    request(onRow);
    EXPECT_EQ(menus, QStringList{"Set IDs..."});
    ASSERT_EQ(dialogs.count(DialogCall::Input), 1);
    EXPECT_EQ(panel->entries()[0].numberId, 8);
}

} // namespace
} // namespace Quorvex3
