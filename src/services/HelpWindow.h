#pragma once

#include <QMainWindow>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

class QHelpEngine;
class QLineEdit;
class QSplitter;

namespace Quorvex3 {

/// Shows the pages of the manual. Only the manual's own pages ("qthelp:")
/// and inline "data:" resources are loaded; anything else a page names
/// (local files, web addresses) stays unloaded.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT

public:
    /// `engine` is not owned and must outlive the browser.
    HelpBrowser(QHelpEngine* engine, QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHelpEngine* m_engine;
};

/// The manual in a window of its own: contents, keyword index and full-text
/// search beside the page browser.
///
/// Each window has its own help collection (and search index) in the cache
/// folder under a unique name, removed when the window goes, so opening a
/// second window never pulls the index out from under the first. A manual
/// that cannot be registered leaves the engine's error in the browser.
class HelpWindow : public QMainWindow {
    Q_OBJECT

public:
    /// The manual's start page.
    static QUrl startPage();

    /// Registers the compiled manual `qchPath` into a fresh collection and
    /// shows the start page.
    explicit HelpWindow(const QString& qchPath, QWidget* parent = nullptr);
    /// Closes the engine, then removes the collection and its search index.
    ~HelpWindow() override;

    QHelpEngine* helpEngine() const { return m_engine; }
    HelpBrowser* browser() const { return m_browser; }
    QLineEdit* indexFilter() const { return m_indexFilter; }
    /// This window's collection file.
    QString collectionFile() const { return m_collectionPath; }

private:
    QWidget* buildIndexPage();
    QWidget* buildSearchPage();
    void connectNavigation();
    /// Registers the manual; false (with the engine's error) when it failed.
    bool registerManual(const QString& qchPath, QString* error);
    void removeCollectionFiles();

    QString m_collectionPath;
    QHelpEngine* m_engine = nullptr;
    HelpBrowser* m_browser = nullptr;
    QSplitter* m_splitter = nullptr;
    QLineEdit* m_indexFilter = nullptr;
};

} // namespace Quorvex3
