// The help window on the manual built with the program: its start page,
// keyword index, full-text search, several windows at once, and what a page
// may load.
#include "ServicesTestSupport.h"

#include "services/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpSearchEngine>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>

namespace Quorvex3 {
namespace {

[[maybe_unused]] const bool s_application = (testing::installServicesTestApplication(), true);

const QString kBuiltManual = QStringLiteral(QUORVEX3_BUILT_MANUAL);
const QString kManualSources = QStringLiteral(QUORVEX3_MANUAL_SOURCES);

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// A help window and a watch on its full-text indexing, attached before the
/// event loop runs (the window starts indexing as it opens).
struct WatchedWindow {
    explicit WatchedWindow(const QString& manual)
        : window(std::make_unique<HelpWindow>(manual)),
          started(window->helpEngine()->searchEngine(), &QHelpSearchEngine::indexingStarted),
          finished(window->helpEngine()->searchEngine(), &QHelpSearchEngine::indexingFinished) {}

    /// Waits until the index is built; false after 20 s.
    bool waitIndexed() { return finished.count() > 0 || finished.wait(20000); }

    std::unique_ptr<HelpWindow> window;
    QSignalSpy started;
    QSignalSpy finished;
};

/// The result URLs of a full-text search.
QStringList searchFor(HelpWindow& window, const QString& words) {
    QHelpSearchEngine* search = window.helpEngine()->searchEngine();
    QSignalSpy done(search, &QHelpSearchEngine::searchingFinished);
    search->search(words);
    if (!done.wait(10000))
        return {};
    QStringList urls;
    for (const QHelpSearchResult& result : search->searchResults(0, search->searchResultCount()))
        urls << result.url().toString();
    return urls;
}

TEST(HelpWindow, ShowsOurStartPageFromTheBuiltManual) {
    ASSERT_TRUE(QFileInfo::exists(kBuiltManual)) << kBuiltManual.toStdString();
    WatchedWindow watched(kBuiltManual);
    HelpWindow& window = *watched.window;
    EXPECT_EQ(window.windowTitle(), "Quorvex3 Manual");
    EXPECT_EQ(window.browser()->source(), HelpWindow::startPage());
    EXPECT_EQ(window.helpEngine()->fileData(HelpWindow::startPage()),
              fileBytes(kManualSources + "/index.html"));
    EXPECT_EQ(window.browser()->documentTitle(), "Quorvex3 Manual");
    // The style sheet the page names comes from the manual too.
    EXPECT_EQ(window.browser()
                  ->loadResource(QTextDocument::StyleSheetResource,
                                 QUrl("qthelp://de.bva.quorvex3/manual/style.css"))
                  .toByteArray(),
              fileBytes(kManualSources + "/style.css"));
    ASSERT_TRUE(watched.waitIndexed());
    // One indexing, not one restarted by the engine's own.
    testing::waitFor([] { return false; }, 300);
    EXPECT_EQ(watched.started.count(), 1);
}

TEST(HelpWindow, FindsAKeywordThroughTheIndexFilter) {
    WatchedWindow watched(kBuiltManual);
    HelpWindow& window = *watched.window;
    QHelpIndexModel* index = window.helpEngine()->indexModel();
    ASSERT_TRUE(testing::waitFor([&] { return index->rowCount() > 0; }));
    const int all = index->rowCount();

    window.indexFilter()->setText("modulus");
    ASSERT_EQ(index->rowCount(), 1);
    EXPECT_EQ(index->data(index->index(0, 0), Qt::DisplayRole).toString(), "Young's modulus");
    window.helpEngine()->indexWidget()->activateCurrentItem();
    EXPECT_EQ(window.browser()->source().toString(),
              "qthelp://de.bva.quorvex3/manual/calculations.html");

    window.indexFilter()->clear();
    EXPECT_EQ(index->rowCount(), all);
    EXPECT_TRUE(watched.waitIndexed());
}

TEST(HelpWindow, FindsAWordThroughFullTextSearch) {
    WatchedWindow watched(kBuiltManual);
    ASSERT_TRUE(watched.waitIndexed());
    const QStringList urls = searchFor(*watched.window, "replicates");
    EXPECT_TRUE(urls.contains("qthelp://de.bva.quorvex3/manual/statistics.html"))
        << urls.join(", ").toStdString();
    EXPECT_FALSE(urls.contains("qthelp://de.bva.quorvex3/manual/gallery.html"));
}

TEST(HelpWindow, ClosingOneWindowLeavesTheOtherSearching) {
    WatchedWindow first(kBuiltManual);
    WatchedWindow second(kBuiltManual);
    ASSERT_TRUE(first.waitIndexed());
    ASSERT_TRUE(second.waitIndexed());
    const QString firstCollection = first.window->collectionFile();
    EXPECT_NE(firstCollection, second.window->collectionFile());
    EXPECT_TRUE(QFileInfo::exists(firstCollection));

    first.window.reset();
    EXPECT_FALSE(QFileInfo::exists(firstCollection));
    EXPECT_FALSE(QFileInfo::exists(firstCollection + "-journal"));
    EXPECT_TRUE(QFileInfo::exists(second.window->collectionFile()));
    EXPECT_TRUE(searchFor(*second.window, "contours")
                    .contains("qthelp://de.bva.quorvex3/manual/plots.html"));
}

TEST(HelpWindow, LeavesNoCollectionBehind) {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const auto entries = [&] {
        return QDir(cache).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList before = entries();
    {
        WatchedWindow watched(kBuiltManual);
        ASSERT_TRUE(watched.waitIndexed());
        EXPECT_NE(entries(), before);
    }
    EXPECT_EQ(entries(), before);
}

TEST(HelpWindow, LoadsOnlyTheManualsOwnAndInlineResources) {
    QTemporaryDir dir;
    const QString image = dir.filePath("secret.png");
    QImage(4, 4, QImage::Format_RGB32).save(image);
    WatchedWindow watched(kBuiltManual);
    HelpBrowser* browser = watched.window->browser();
    for (const QUrl& refused :
         {QUrl::fromLocalFile(image), QUrl(image), QUrl("https://example.com/pixel.png")})
        EXPECT_TRUE(
            browser->loadResource(QTextDocument::ImageResource, refused).toByteArray().isEmpty())
            << refused.toString().toStdString();
    EXPECT_TRUE(browser
                    ->loadResource(QTextDocument::HtmlResource,
                                   QUrl("qthelp://de.bva.quorvex3/manual/missing.html"))
                    .toByteArray()
                    .isEmpty());

    // Through the page's document, which would read a local file itself when
    // the browser gave nothing, and which decodes inline data.
    const QUrl inlinePixel(
        "data:image/png;base64,"
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIA"
        "X8jx0gAAAABJRU5ErkJggg==");
    browser->setHtml(QStringLiteral("<p>x</p><img src=\"%1\"><img src=\"%2\">")
                         .arg(QUrl::fromLocalFile(image).toString(), inlinePixel.toString()));
    QTextDocument* page = browser->document();
    EXPECT_TRUE(qvariant_cast<QPixmap>(
                    page->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(image)))
                    .isNull());
    EXPECT_FALSE(
        qvariant_cast<QPixmap>(page->resource(QTextDocument::ImageResource, inlinePixel)).isNull());
}

TEST(HelpWindow, AManualThatCannotBeRegisteredShowsTheEnginesError) {
    QTemporaryDir dir;
    const QString broken = dir.filePath("quorvex3.qch");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a help file");
    file.close();
    for (const QString& path : {broken, dir.filePath("missing.qch")}) {
        SCOPED_TRACE(path.toStdString());
        HelpWindow window(path);
        const QString text = window.browser()->toPlainText();
        EXPECT_TRUE(text.startsWith("The manual could not be opened.")) << text.toStdString();
        EXPECT_TRUE(text.contains(path));
        EXPECT_GT(text.size(),
                  QStringLiteral("The manual could not be opened.\n\n").size() + path.size() + 4);
    }
}

} // namespace
} // namespace Quorvex3
