#pragma once

#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QString>

#include <memory>
#include <vector>

class QCloseEvent;

namespace Quorvex3 {

class MainWindow;
struct DatasetEntry;

/// Tool window that compares several datasets in combined scatter plots.
/// Top-level; the main window owns it and is told when it closes.
///
/// This build opens the window without content: the comparison itself is
/// not available yet.
class CombinePlotWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `main` is not owned and may be null; the main window passes no parent.
    CombinePlotWindow(MainWindow* main, QWidget* parent = nullptr);
    ~CombinePlotWindow() override;

    /// Rebuilds the dataset panel and the plots from the main window.
    void refresh();
    /// Drops the dataset with that id from the window.
    void onMainDatasetRemoved(int datasetId);
    /// Shows the dataset's new display name.
    void onDatasetRenamed(int datasetId, const QString& name);

    /// The window's state for a session file. Datasets are named by their
    /// position in `datasets`, the main window's list as the session writes it.
    QJsonObject saveState(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const;
    /// Rebuilds the window from a state written by saveState; `sessionIdMap`
    /// turns those positions into the ids of the reopened datasets.
    void restoreState(const QJsonObject& state, const QMap<int, int>& sessionIdMap);

signals:
    /// Emitted with the window itself when it is closed.
    void windowClosed(CombinePlotWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* m_mainWindow = nullptr;
};

} // namespace Quorvex3
