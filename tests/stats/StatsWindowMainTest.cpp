// The main window and its open evaluation windows: every window is told of
// a removed or renamed dataset and of changed features, also when one of
// them closes itself while being told.
#include "app/MainWindowTestSupport.h"

#include "app/MainWindow.h"
#include "core/RTDCReader.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (test::installMainWindowTestApplication(), true);

class StatsWindowsInMain : public ::testing::Test {
protected:
    void SetUp() override {
        test::clearSettings();
        m_guard = std::make_unique<ScopedDialogProvider>(m_dialogs);
        for (const char* name : {"a.rtdc", "b.rtdc"}) {
            testing::RtdcFixtureWriter writer(m_dir.file(name));
            writer.addColumn<double>("area_um", {10.0, 20.0, 30.0});
            writer.addColumn<double>("deform", {0.1, 0.2, 0.3});
        }
        m_main = std::make_unique<MainWindow>();
        m_main->addDataset(QString::fromStdString(m_dir.file("a.rtdc")));
        m_main->addDataset(QString::fromStdString(m_dir.file("b.rtdc")));
        ASSERT_TRUE(test::waitUntil([&] {
            return m_main->datasets().size() == 2 && m_main->datasets()[0]->featuresLoaded &&
                   m_main->datasets()[1]->featuresLoaded;
        }));
    }

    void TearDown() override {
        m_main.reset();
        m_guard.reset();
    }

    StatisticalEvalWindow* openWindow() {
        QAction* action = test::actionNamed(test::menuNamed(*m_main, "&Tool Windows"),
                                            "New &Statistical Evaluation...");
        EXPECT_NE(action, nullptr);
        if (action)
            action->trigger();
        return m_main->statisticalEvalWindows().empty() ? nullptr
                                                         : m_main->statisticalEvalWindows().back();
    }

    int id(int row) const { return m_main->datasets()[static_cast<std::size_t>(row)]->id; }

    void selectRow(int row) {
        m_main->findChild<QListWidget*>(QStringLiteral("datasetList"))->setCurrentRow(row);
    }

    testing::TempDir m_dir;
    testing::ScriptedDialogProvider m_dialogs;
    std::unique_ptr<ScopedDialogProvider> m_guard;
    std::unique_ptr<MainWindow> m_main;
};

TEST_F(StatsWindowsInMain, RemovalReachesEveryWindowEvenWhenOneClosesMeanwhile) {
    StatisticalEvalWindow* first = openWindow();
    StatisticalEvalWindow* second = openWindow();
    StatisticalEvalWindow* third = openWindow();
    ASSERT_EQ(m_main->statisticalEvalWindows().size(), 3u);
    const int a = id(0);
    const int b = id(1);
    for (StatisticalEvalWindow* window : {first, second, third}) {
        ASSERT_TRUE(window->categoryPanels()[0]->tryAddDataset(a));
        ASSERT_TRUE(window->categoryPanels()[1]->tryAddDataset(b));
    }
    // The second window closes itself while it is told of the removal.
    QPointer<StatisticalEvalWindow> closing = second;
    QObject::connect(second->categoryPanels()[0], &CategoryPanel::changed, second,
                     [second] { second->close(); });

    selectRow(0);
    ASSERT_TRUE(QMetaObject::invokeMethod(m_main.get(), "removeDataset"));
    ASSERT_EQ(m_main->datasets().size(), 1u);

    EXPECT_EQ(m_main->statisticalEvalWindows(), (std::vector<StatisticalEvalWindow*>{first, third}));
    for (StatisticalEvalWindow* window : {first, third}) {
        EXPECT_TRUE(window->categoryPanels()[0]->entries().empty());
        ASSERT_EQ(window->categoryPanels()[1]->entries().size(), 1u);
        EXPECT_EQ(window->categoryPanels()[1]->entries()[0].datasetId, b);
    }
    EXPECT_FALSE(closing.isNull()) << "released, not deleted inside the broadcast";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
}

TEST_F(StatsWindowsInMain, RenameAndNewFeaturesReachEveryWindow) {
    StatisticalEvalWindow* first = openWindow();
    StatisticalEvalWindow* second = openWindow();
    const int a = id(0);
    for (StatisticalEvalWindow* window : {first, second})
        ASSERT_TRUE(window->categoryPanels()[1]->tryAddDataset(a));

    selectRow(0);
    auto* rename = m_main->findChild<QLineEdit*>(QStringLiteral("renameEdit"));
    ASSERT_NE(rename, nullptr);
    rename->setText(QStringLiteral("donor 7"));
    emit rename->editingFinished();
    for (StatisticalEvalWindow* window : {first, second})
        EXPECT_EQ(window->categoryPanels()[1]->entries()[0].displayName,
                  QStringLiteral("donor 7"));

    // A feature computed for the dataset shows up after the main window's
    // next refresh of what follows its plot.
    m_main->datasets()[0]->reader->addCalculatedFeature("emodulus", {1.0, 2.0, 3.0});
    m_main->requestPlotUpdate();
    m_main->flushPlotRequests();
    for (StatisticalEvalWindow* window : {first, second}) {
        auto* list = window->findChild<QListWidget*>(QStringLiteral("featureList"));
        QStringList keys;
        for (int i = 0; i < list->count(); ++i)
            keys << list->item(i)->data(Qt::UserRole).toString();
        EXPECT_TRUE(keys.contains(QStringLiteral("emodulus"))) << keys.join(',').toStdString();
    }
}

} // namespace
} // namespace Quorvex3
