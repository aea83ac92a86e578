// The help window on the manual the build compiles: start page, keyword
// index, full-text search in two windows at once, and what a page may load.
#include "services/HelpWindow.h"
#include "app/MainWindowTestSupport.h"

#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpSearchEngine>
#include <QLineEdit>
#include <QPixmap>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace Quorvex3 {
namespace {

/// A help window on the built manual, its indexing watched from the start.
struct WatchedWindow {
    WatchedWindow()
        : started(search(), &QHelpSearchEngine::indexingStarted),
          finished(search(), &QHelpSearchEngine::indexingFinished) {}
    QHelpSearchEngine* search() { return window.helpEngine()->searchEngine(); }

    /// The pages a full-text search finds, once the index is built.
    QStringList find(const QString& words) {
        if (finished.isEmpty() && !finished.wait(20000))
            return {};
        QSignalSpy done(search(), &QHelpSearchEngine::searchingFinished);
        search()->search(words);
        if (!done.wait(10000))
            return {};
        QStringList pages;
        for (const QHelpSearchResult& result :
             search()->searchResults(0, search()->searchResultCount()))
            pages << result.url().fileName();
        return pages;
    }

    HelpWindow window{QStringLiteral(QUORVEX3_BUILT_MANUAL)};
    QSignalSpy started;
    QSignalSpy finished;
};

TEST(HelpWindow, ShowsOurStartPageAndFindsAKeywordThroughTheIndex) {
    WatchedWindow watched;
    HelpWindow& window = watched.window;
    QFile index(QStringLiteral(QUORVEX3_MANUAL_SOURCES "/index.html"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    EXPECT_EQ(window.browser()->source(), HelpWindow::startPage());
    EXPECT_EQ(window.helpEngine()->fileData(HelpWindow::startPage()), index.readAll());

    QHelpIndexModel* keywords = window.helpEngine()->indexModel();
    ASSERT_TRUE(test::waitUntil([&] { return keywords->rowCount() > 0; }));
    window.indexFilter()->setText("modulus");
    ASSERT_EQ(keywords->rowCount(), 1);
    window.helpEngine()->indexWidget()->activateCurrentItem();
    EXPECT_EQ(window.browser()->source().fileName(), "calculations.html");
    ASSERT_TRUE(watched.finished.wait(20000));
    test::processEventsFor(300);
    EXPECT_EQ(watched.started.count(), 1); // not restarted by the engine's own
}

TEST(HelpWindow, ClosingOneWindowLeavesTheOtherSearchingAndNoFilesBehind) {
    const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    const QStringList before =
        cache.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    {
        auto first = std::make_unique<WatchedWindow>();
        WatchedWindow second;
        EXPECT_TRUE(first->find("contours").contains("plots.html"));
        first.reset();
        const QStringList found = second.find("replicates");
        EXPECT_TRUE(found.contains("statistics.html")) << found.join(", ").toStdString();
        EXPECT_FALSE(found.contains("gallery.html"));
    }
    EXPECT_EQ(cache.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

TEST(HelpWindow, ShowsWhyAManualCannotBeOpenedAndLoadsNoLocalFile) {
    QTemporaryDir dir;
    QFile broken(dir.filePath("quorvex3.qch"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly) && broken.write("not a help file") > 0);
    broken.close();
    HelpWindow window(broken.fileName());
    const QString text = window.browser()->toPlainText();
    const QString start = "The manual could not be opened.\n\n" + broken.fileName() + "\n\n";
    EXPECT_TRUE(text.startsWith(start) && text.size() > start.size()) << text.toStdString();

    const QUrl image = QUrl::fromLocalFile(dir.filePath("secret.png"));
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(image.toLocalFile()));
    window.browser()->setHtml("<img src=\"" + image.toString() + "\">");
    EXPECT_TRUE(qvariant_cast<QPixmap>(
                    window.browser()->document()->resource(QTextDocument::ImageResource, image))
                    .isNull());
}

} // namespace
} // namespace Quorvex3
