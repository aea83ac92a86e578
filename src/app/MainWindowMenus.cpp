// The menu bar: every action with its text, shortcut and place, the colour
// map choice and the start-up update switch.
#include "app/MainWindow.h"

#include "app/ShellSettings.h"
#include "calc/CalculationsDockWidget.h"
#include "compare/CombinePlotWindow.h"
#include "plots/ScatterPlot.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace Quorvex3 {

namespace {

/// Appends an action that calls `slot` of `receiver` when triggered.
template <typename Receiver, typename Slot>
QAction* addMenuItem(QMenu* menu, const QString& text, Receiver* receiver, Slot slot,
                     const QKeySequence& shortcut = QKeySequence()) {
    QAction* action = menu->addAction(text);
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, receiver, slot);
    return action;
}

} // namespace

QStringList MainWindow::colorMapNames() {
    return {QStringLiteral("Viridis"), QStringLiteral("Jet"),  QStringLiteral("Jet+"),
            QStringLiteral("Plasma"),  QStringLiteral("BVAC"), QStringLiteral("Grayscale")};
}

void MainWindow::setupMenuBar() {
    QMenuBar* bar = menuBar();

    QMenu* fileMenu = bar->addMenu(QStringLiteral("&File"));
    addMenuItem(fileMenu, QStringLiteral("&Open..."), this, &MainWindow::openFile,
                QKeySequence::Open);
    fileMenu->addSeparator();
    addMenuItem(fileMenu, QStringLiteral("&Save Session..."), this, &MainWindow::saveSession,
                QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    addMenuItem(fileMenu, QStringLiteral("&Load Session..."), this, &MainWindow::loadSession,
                QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    fileMenu->addSeparator();
    addMenuItem(fileMenu, QStringLiteral("&Clear Session"), this, &MainWindow::clearSession);
    fileMenu->addSeparator();
    addMenuItem(fileMenu, QStringLiteral("E&xit"), this, &QWidget::close, QKeySequence::Quit);

    QMenu* exportMenu = bar->addMenu(QStringLiteral("&Export"));
    addMenuItem(exportMenu, QStringLiteral("Export &Plot..."), this, &MainWindow::exportPlot,
                QKeySequence(QStringLiteral("Ctrl+E")));
    addMenuItem(exportMenu, QStringLiteral("Export &Data..."), this, &MainWindow::exportData,
                QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    addMenuItem(exportMenu, QStringLiteral("Export Statistical &Summary..."), this,
                &MainWindow::exportStatSummary);

    QMenu* viewMenu = bar->addMenu(QStringLiteral("&View"));
    for (QDockWidget* dock :
         {m_datasetsDock, m_filtersDock, m_calculationsDock, m_metadataDock, m_statisticsDock})
        viewMenu->addAction(dock->toggleViewAction());

    QMenu* toolMenu = bar->addMenu(QStringLiteral("&Tool Windows"));
    addMenuItem(toolMenu, QStringLiteral("New &Combine Plot..."), this,
                &MainWindow::openCombinePlotWindow);
    addMenuItem(toolMenu, QStringLiteral("New &Statistical Evaluation..."), this,
                &MainWindow::openStatisticalEvalWindow);
    addMenuItem(toolMenu, QStringLiteral("New &Image Gallery..."), this,
                &MainWindow::openImageGalleryWindow);
    addMenuItem(toolMenu, QStringLiteral("Filter Groups &Matrix..."), this,
                &MainWindow::openFilterGroupsMatrixWindow);

    QMenu* settingsMenu = bar->addMenu(QStringLiteral("&Settings"));
    buildColorMapMenu(settingsMenu->addMenu(QStringLiteral("Color &Map")));
    settingsMenu->addSeparator();
    QAction* checkOnStartup =
        settingsMenu->addAction(QStringLiteral("Check for Updates on Startup"));
    checkOnStartup->setCheckable(true);
    checkOnStartup->setChecked(ShellSettings::checkUpdatesOnStartup());
    connect(checkOnStartup, &QAction::toggled, this,
            [](bool on) { ShellSettings::setCheckUpdatesOnStartup(on); });
    // Nothing in this window switches expert mode back on.
    m_calculationsWidget->setExpertMode(false);

    QMenu* helpMenu = bar->addMenu(QStringLiteral("&Help"));
    addMenuItem(helpMenu, QStringLiteral("&Manual"), this, &MainWindow::openManualAction,
                QKeySequence::HelpContents);
    helpMenu->addSeparator();
    addMenuItem(helpMenu, QStringLiteral("Check for &Updates..."), this,
                &MainWindow::checkForUpdatesAction);
    addMenuItem(helpMenu, QStringLiteral("Send &Feedback..."), this,
                &MainWindow::sendFeedbackAction);
    helpMenu->addSeparator();
    addMenuItem(helpMenu, QStringLiteral("&About"), this, &MainWindow::showAboutAction);

    m_scatterPlot->setColorMapIndex(m_colorMapIndex);
}

void MainWindow::buildColorMapMenu(QMenu* menu) {
    m_colorMapGroup = new QActionGroup(this);
    m_colorMapGroup->setExclusive(true);
    m_colorMapIndex = ShellSettings::colorMapIndex();

    const QStringList names = colorMapNames();
    for (int index = 0; index < names.size(); ++index) {
        QAction* action = menu->addAction(names[index]);
        action->setCheckable(true);
        action->setData(index);
        m_colorMapGroup->addAction(action);
        action->setChecked(index == m_colorMapIndex);
    }

    connect(m_colorMapGroup, &QActionGroup::triggered, this, [this](QAction* action) {
        m_colorMapIndex = action->data().toInt();
        ShellSettings::setColorMapIndex(m_colorMapIndex);
        m_scatterPlot->setColorMapIndex(m_colorMapIndex);
        m_combinePlotWindows.broadcast([&](CombinePlotWindow* window) { window->refresh(); });
    });
}

} // namespace Quorvex3
