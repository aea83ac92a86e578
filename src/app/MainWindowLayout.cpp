// The main window's widgets: the central area (information line, rename
// field, plot settings, event number, plot and event views) and the docks.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetTreeWidget.h"
#include "app/ShellSettings.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "filters/FilterDockWidget.h"
#include "plots/ImageViewer.h"
#include "plots/PlotControlsWidget.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "plots/TracePlot.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDockWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

const char* const kNoFileText = "No file loaded. Drag and drop a .rtdc file or use File > Open.";

} // namespace

void MainWindow::setupUI() {
    setCentralWidget(buildCentralWidget());
    buildDocks();

    m_flRefinement = new FLRefinement(this);
    m_flCompensation = new FLCompensation(this);
    m_emodulus = new EModulus(this);
    m_fourierDeform = new FourierDeform(this);
    m_imageFeatures = new ImageFeatures(this);
}

QWidget* MainWindow::buildCentralWidget() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    m_infoLabel = new QLabel(QString::fromUtf8(kNoFileText), central);
    m_infoLabel->setObjectName(QStringLiteral("infoLabel"));
    // It names datasets as users typed them; "<b>x</b>" is a name, not markup.
    m_infoLabel->setTextFormat(Qt::PlainText);
    m_infoLabel->setStyleSheet(
        QStringLiteral("QLabel { padding: 5px; background-color: #eceef1; "
                       "border: 1px solid #dcdee2; border-radius: 5px; color: #23262e; }"));
    layout->addWidget(m_infoLabel);

    auto* renameRow = new QHBoxLayout;
    m_renameEdit = new QLineEdit(central);
    m_renameEdit->setObjectName(QStringLiteral("renameEdit"));
    m_renameEdit->setPlaceholderText(QStringLiteral("Rename dataset..."));
    m_renameEdit->setEnabled(false);
    renameRow->addWidget(m_renameEdit, 1);
    renameRow->addWidget(new QLabel(QStringLiteral("Dataset Name"), central));
    layout->addLayout(renameRow);

    layout->addWidget(buildPlotSettingsBox());

    auto* eventRow = new QHBoxLayout;
    eventRow->addWidget(new QLabel(QStringLiteral("Event:"), central));
    m_eventSpinBox = new QSpinBox(central);
    m_eventSpinBox->setObjectName(QStringLiteral("eventSpinBox"));
    m_eventSpinBox->setRange(0, 0);
    m_eventSpinBox->setEnabled(false);
    m_eventSpinBox->setMinimumWidth(100);
    eventRow->addWidget(m_eventSpinBox);
    eventRow->addStretch();
    layout->addLayout(eventRow);

    layout->addWidget(buildPlotArea(), 1);
    return central;
}

QWidget* MainWindow::buildPlotSettingsBox() {
    m_plotControls = new PlotControlsWidget(this);
    return m_plotControls;
}

QWidget* MainWindow::buildPlotArea() {
    m_mainSplitter = new QSplitter(Qt::Horizontal, this);
    m_mainSplitter->setObjectName(QStringLiteral("mainSplitter"));

    auto* left = new QWidget(m_mainSplitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 6, 0);
    m_scatterPlot = new ScatterPlot(left);
    m_scatterPlot->setObjectName(QStringLiteral("scatterPlot"));
    m_scatterPlot->setMinimumSize(400, 300);
    leftLayout->addWidget(m_scatterPlot);

    auto* right = new QWidget(m_mainSplitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(6, 0, 0, 0);
    m_rightTabs = new QTabWidget(right);
    m_rightTabs->setObjectName(QStringLiteral("eventTabs"));
    rightLayout->addWidget(m_rightTabs);

    auto* imageSplitter = new QSplitter(Qt::Vertical, m_rightTabs);
    m_imageViewer = new ImageViewer(imageSplitter);
    m_imageViewer->setObjectName(QStringLiteral("imageViewer"));
    m_imageViewer->setMinimumSize(100, 100);
    m_tracePlot = new TracePlot(imageSplitter);
    m_tracePlot->setObjectName(QStringLiteral("tracePlot"));
    m_tracePlot->hide();
    imageSplitter->addWidget(m_imageViewer);
    imageSplitter->addWidget(m_tracePlot);
    imageSplitter->setStretchFactor(0, 3);
    imageSplitter->setStretchFactor(1, 1);
    m_rightTabs->addTab(imageSplitter, QStringLiteral("Image"));

    m_eventTable = new QTableWidget(0, 2, m_rightTabs);
    m_eventTable->setObjectName(QStringLiteral("eventTable"));
    m_eventTable->setHorizontalHeaderLabels({QStringLiteral("Feature"), QStringLiteral("Value")});
    m_eventTable->horizontalHeader()->setStretchLastSection(true);
    m_eventTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_eventTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_eventTable->setAlternatingRowColors(true);
    m_eventTable->verticalHeader()->setVisible(false);
    // However narrow the panel is dragged (or a small screen makes it), a
    // value keeps its room beside its label, which is elided instead: the
    // widest number the table writes (six significant digits with sign and
    // exponent), the least a label column takes, a scroll bar and the frame.
    m_eventTable->setMinimumWidth(
        m_eventTable->fontMetrics().horizontalAdvance(QStringLiteral("-8.88888e+888")) + 16 +
        m_eventTable->horizontalHeader()->minimumSectionSize() +
        m_eventTable->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_eventTable) +
        2 * m_eventTable->frameWidth());
    m_rightTabs->addTab(m_eventTable, QStringLiteral("Event Data"));

    m_mainSplitter->addWidget(left);
    m_mainSplitter->addWidget(right);
    m_mainSplitter->setStretchFactor(0, 1);
    m_mainSplitter->setStretchFactor(1, 0);
    m_mainSplitter->setSizes({600, 260});
    return m_mainSplitter;
}

QDockWidget* MainWindow::makeDock(const QString& title, const char* objectName, QWidget* content) {
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(QString::fromLatin1(objectName));
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    dock->setWidget(scrollableDockContent(content));
    return dock;
}

QWidget* MainWindow::scrollableDockContent(QWidget* content) {
    // A dock's content scrolls rather than widen the window: rows of
    // buttons and filter groups would otherwise push it past small screens.
    if (qobject_cast<QAbstractScrollArea*>(content))
        return content;
    auto* area = new QScrollArea(this);
    area->setObjectName(content->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    return area;
}

void MainWindow::buildDocks() {
    m_datasetsDock =
        makeDock(QStringLiteral("Datasets"), "datasetsDock", buildDatasetsDockContent());
    m_datasetsDock->setMinimumWidth(200);
    addDockWidget(Qt::LeftDockWidgetArea, m_datasetsDock);

    m_filterDock = new FilterDockWidget(this);
    m_filtersDock = makeDock(QStringLiteral("Filters"), "filtersDock", m_filterDock);
    m_filtersDock->setMinimumWidth(300);
    m_filtersDock->setMaximumWidth(500);

    m_statisticsWidget = new StatisticsDockWidget(this);
    m_statisticsDock =
        makeDock(QStringLiteral("Plot Statistics"), "statisticsDock", m_statisticsWidget);
    m_statisticsDock->setMinimumWidth(250);

    m_calculationsWidget = new CalculationsDockWidget(this);
    m_calculationsDock =
        makeDock(QStringLiteral("Calculations"), "calculationsDock", m_calculationsWidget);
    m_calculationsDock->setMinimumWidth(200);

    m_metadataTree = new QTreeWidget(this);
    m_metadataTree->setObjectName(QStringLiteral("metadataTree"));
    m_metadataTree->setHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    m_metadataTree->header()->setStretchLastSection(true);
    m_metadataDock = makeDock(QStringLiteral("Metadata"), "metadataDock", m_metadataTree);
    m_metadataDock->setMinimumWidth(200);

    setTabPosition(Qt::RightDockWidgetArea, QTabWidget::North);
    addDockWidget(Qt::RightDockWidgetArea, m_filtersDock);
    addDockWidget(Qt::RightDockWidgetArea, m_statisticsDock, Qt::Vertical);
    tabifyDockWidget(m_filtersDock, m_calculationsDock);
    tabifyDockWidget(m_calculationsDock, m_metadataDock);
    m_filtersDock->raise();
    resizeDocks({m_filtersDock, m_statisticsDock}, {600, 200}, Qt::Vertical);
    // Their contents scroll, so nothing forces a width any more: start the
    // right-hand column as wide as its widest dock may be (the layout gives
    // way down to the minimum on a small screen).
    resizeDocks({m_filtersDock}, {m_filtersDock->maximumWidth()}, Qt::Horizontal);

    // The tabbed docks start with their tabs only (see updateTabbedDockTitleBars).
    for (QDockWidget* dock : {m_filtersDock, m_calculationsDock, m_metadataDock})
        dock->setTitleBarWidget(new QWidget(dock));
}

QWidget* MainWindow::buildDatasetsDockContent() {
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* viewBar = new QHBoxLayout;
    viewBar->setContentsMargins(4, 2, 4, 2);
    viewBar->setSpacing(4);
    m_viewModeCombo = new QComboBox(content);
    m_viewModeCombo->setObjectName(QStringLiteral("viewModeCombo"));
    m_viewModeCombo->addItems({QStringLiteral("List"), QStringLiteral("Folders")});
    m_viewModeCombo->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    m_viewModeCombo->setMinimumContentsLength(8);
    m_depthLabel = new QLabel(QStringLiteral("Depth:"), content);
    m_depthLabel->setObjectName(QStringLiteral("depthLabel"));
    m_depthSpin = new QSpinBox(content);
    m_depthSpin->setObjectName(QStringLiteral("depthSpin"));
    m_depthSpin->setRange(1, 4);
    m_depthSpin->setValue(2);
    m_depthSpin->setToolTip(QStringLiteral("Number of parent folder levels to show"));
    viewBar->addWidget(m_viewModeCombo);
    viewBar->addStretch();
    viewBar->addWidget(m_depthLabel);
    viewBar->addWidget(m_depthSpin);
    layout->addLayout(viewBar);

    m_datasetStack = new QStackedWidget(content);
    m_datasetStack->setObjectName(QStringLiteral("datasetStack"));
    m_datasetList = new DatasetListWidget(m_datasetStack);
    m_datasetList->setObjectName(QStringLiteral("datasetList"));
    m_datasetTree = new DatasetTreeWidget(m_datasetStack);
    m_datasetTree->setObjectName(QStringLiteral("datasetTree"));
    m_datasetStack->addWidget(m_datasetList);
    m_datasetStack->addWidget(m_datasetTree);
    layout->addWidget(m_datasetStack, 1);

    applyDatasetViewSettings();
    return content;
}

void MainWindow::applyDatasetViewSettings() {
    // Runs before the controls are connected, so nothing is written back.
    const bool folderView = ShellSettings::datasetFolderView();
    m_depthSpin->setValue(ShellSettings::datasetViewDepth());
    m_viewModeCombo->setCurrentIndex(folderView ? 1 : 0);
    m_datasetStack->setCurrentIndex(folderView ? 1 : 0);
    m_depthLabel->setVisible(folderView);
    m_depthSpin->setVisible(folderView);
}

void MainWindow::updateTabbedDockTitleBars() {
    // A dock behind another tab is not hidden; only a dock the user closed is.
    QDockWidget* const tabbed[] = {m_filtersDock, m_calculationsDock, m_metadataDock};
    int notHidden = 0;
    for (const QDockWidget* dock : tabbed)
        if (!dock->isHidden())
            ++notHidden;
    for (QDockWidget* dock : tabbed) {
        if (dock->isHidden())
            continue;
        QWidget* placeholder = dock->titleBarWidget();
        if (notHidden == 1 && placeholder) {
            dock->setTitleBarWidget(nullptr);
            delete placeholder;
        } else if (notHidden != 1 && !placeholder) {
            dock->setTitleBarWidget(new QWidget(dock));
        }
    }
}

} // namespace Quorvex3
