#pragma once

#include <QMainWindow>

class QCloseEvent;

namespace Quorvex3 {

class MainWindow;

/// Tool window that switches every filter group on or off per dataset, as a
/// grid of datasets by groups. Top-level; the main window owns it and is
/// told when it closes.
///
/// This build opens the window without its grid: switching groups per
/// dataset here is not available yet.
class FilterGroupsMatrixWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `main` is not owned and may be null; the main window passes no parent.
    FilterGroupsMatrixWindow(MainWindow* main, QWidget* parent = nullptr);
    ~FilterGroupsMatrixWindow() override;

    /// Rebuilds the grid from the main window's datasets and groups.
    void refreshFromMain();

signals:
    /// Emitted with the window itself when it is closed.
    void windowClosed(FilterGroupsMatrixWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* m_mainWindow = nullptr;
};

} // namespace Quorvex3
