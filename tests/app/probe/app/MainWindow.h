#pragma once

// Stand-in main window for running the real entry point in tests. What it
// does is chosen by the environment variable QUORVEX3_PROBE; it reports on
// standard output.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

namespace Quorvex3 {

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

public slots:
    void onUnhandledException(const QString& title, const QString& message);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_mode;
    QElapsedTimer m_sinceConstruction;
};

} // namespace Quorvex3
