#include "services/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QLineEdit>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextDocument>
#include <QUuid>
#include <QVBoxLayout>

namespace Quorvex3 {

// ---- browser ---------------------------------------------------------------------

HelpBrowser::HelpBrowser(QHelpEngine* engine, QWidget* parent)
    : QTextBrowser(parent), m_engine(engine) {}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() == QLatin1String("qthelp"))
        return m_engine ? QVariant(m_engine->fileData(name)) : QVariant();
    // Inline data is decoded by the document itself when nothing is returned.
    if (name.scheme() == QLatin1String("data"))
        return {};
    // Anything else (local files, the network) is refused. An empty result
    // that is not null, because for a null one the document would read a
    // local file itself.
    Q_UNUSED(type)
    return QVariant(QByteArray(""));
}

// ---- window ----------------------------------------------------------------------

QUrl HelpWindow::startPage() {
    return QUrl(QStringLiteral("qthelp://de.bva.quorvex3/manual/index.html"));
}

HelpWindow::HelpWindow(const QString& qchPath, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Quorvex3 Manual"));
    resize(900, 600);

    const QString cacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(cacheDir);
    m_collectionPath =
        QDir(cacheDir).filePath(QStringLiteral("quorvex3-help-%1.qhc")
                                    .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    removeCollectionFiles();

    // Qt 5's engine writes to its collection (registration, search index).
    m_engine = new QHelpEngine(m_collectionPath, this);
    // Without the filter engine, Qt 5 searches only the documents of the
    // current (legacy) filter, and the manual has none.
    m_engine->setUsesFilterEngine(true);
    QString error;
    const bool registered = registerManual(qchPath, &error);

    auto* tabs = new QTabWidget(this);
    tabs->addTab(m_engine->contentWidget(), QStringLiteral("Contents"));
    tabs->addTab(buildIndexPage(), QStringLiteral("Index"));
    tabs->addTab(buildSearchPage(), QStringLiteral("Search"));

    m_browser = new HelpBrowser(m_engine, this);
    m_browser->setOpenExternalLinks(false);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->addWidget(tabs);
    m_splitter->addWidget(m_browser);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({250, 650});
    setCentralWidget(m_splitter);

    connectNavigation();
    if (!registered) {
        m_browser->setPlainText(
            QStringLiteral("The manual could not be opened.\n\n%1\n\n%2").arg(qchPath, error));
        return;
    }
    // The engine sets itself up once more from the event loop, and its search
    // engine would then schedule an indexing of its own that restarts ours (a
    // search in between finds nothing): ours is the one indexing.
    QHelpSearchEngine* search = m_engine->searchEngine();
    disconnect(m_engine, &QHelpEngineCore::setupFinished, search, nullptr);
    search->reindexDocumentation();
    m_browser->setSource(startPage());
}

HelpWindow::~HelpWindow() {
    // The engine's widgets and the browser hold on to the engine: they go
    // first. The engine holds the collection open and its indexer may still
    // run: it goes next, and its files last.
    delete m_splitter;
    m_splitter = nullptr;
    m_browser = nullptr;
    delete m_engine;
    m_engine = nullptr;
    removeCollectionFiles();
}

bool HelpWindow::registerManual(const QString& qchPath, QString* error) {
    if (!m_engine->setupData()) {
        *error = m_engine->error();
        return false;
    }
    if (!m_engine->registerDocumentation(qchPath)) {
        *error = m_engine->error();
        return false;
    }
    return true;
}

void HelpWindow::removeCollectionFiles() {
    QFile::remove(m_collectionPath);
    QFile::remove(m_collectionPath + QStringLiteral("-journal"));
    // The search engine keeps its index in ".<collection name>" beside it.
    const QFileInfo collection(m_collectionPath);
    QDir(collection.absoluteDir().filePath(QStringLiteral(".") + collection.completeBaseName()))
        .removeRecursively();
}

QWidget* HelpWindow::buildIndexPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    m_indexFilter = new QLineEdit(page);
    m_indexFilter->setPlaceholderText(QStringLiteral("Filter keywords..."));
    layout->addWidget(m_indexFilter);
    layout->addWidget(m_engine->indexWidget());
    return page;
}

QWidget* HelpWindow::buildSearchPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_engine->searchEngine()->queryWidget());
    layout->addWidget(m_engine->searchEngine()->resultWidget());
    return page;
}

void HelpWindow::connectNavigation() {
    QHelpSearchEngine* search = m_engine->searchEngine();
    connect(m_engine->contentWidget(), &QHelpContentWidget::linkActivated, m_browser,
            [this](const QUrl& url) { m_browser->setSource(url); });
    connect(
        m_engine->indexWidget(), &QHelpIndexWidget::documentActivated, m_browser,
        [this](const QHelpLink& document, const QString&) { m_browser->setSource(document.url); });
    connect(m_engine->indexWidget(), &QHelpIndexWidget::documentsActivated, m_browser,
            [this](const QList<QHelpLink>& documents, const QString&) {
                if (!documents.isEmpty())
                    m_browser->setSource(documents.first().url);
            });
    connect(m_indexFilter, &QLineEdit::textChanged, m_engine->indexWidget(),
            [this](const QString& text) { m_engine->indexWidget()->filterIndices(text); });
    connect(search->queryWidget(), &QHelpSearchQueryWidget::search, search,
            [search] { search->search(search->queryWidget()->searchInput()); });
    connect(search->resultWidget(), &QHelpSearchResultWidget::requestShowLink, m_browser,
            [this](const QUrl& url) { m_browser->setSource(url); });
}

} // namespace Quorvex3
