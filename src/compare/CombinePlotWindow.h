#pragma once

#include <QMainWindow>
#include <QString>

class QCloseEvent;

namespace Quorvex3 {

class MainWindow;

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

signals:
    /// Emitted with the window itself when it is closed.
    void windowClosed(CombinePlotWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* m_mainWindow = nullptr;
};

} // namespace Quorvex3
