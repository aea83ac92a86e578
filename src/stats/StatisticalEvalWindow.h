#pragma once

#include <QMainWindow>
#include <QString>

class QCloseEvent;

namespace Quorvex3 {

class MainWindow;

/// Tool window that groups datasets into categories and compares them
/// statistically. Top-level; the main window owns it and is told when it
/// closes.
///
/// This build opens the window without content: the evaluation itself is
/// not available yet.
class StatisticalEvalWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `main` is not owned and may be null; the main window passes no parent.
    StatisticalEvalWindow(MainWindow* main, QWidget* parent = nullptr);
    ~StatisticalEvalWindow() override;

    /// The main window's features or filters changed.
    void onFeaturesChanged();
    /// Drops the dataset with that id from every category.
    void onMainDatasetRemoved(int datasetId);
    /// Shows the dataset's new display name in every category.
    void onDatasetRenamed(int datasetId, const QString& name);

signals:
    /// Emitted with the window itself when it is closed.
    void windowClosed(StatisticalEvalWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* m_mainWindow = nullptr;
};

} // namespace Quorvex3
