#include "compare/CombinePlotWindow.h"

#include "app/MainWindow.h"
#include "compare/CombineDatasetWidget.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "util/DatasetDragPayload.h"
#include "util/DatasetPickDialog.h"
#include "util/DialogProvider.h"
#include "util/RequestCoalescer.h"
#include "util/WindowUtil.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

const char* const kDisplayModeNames[] = {"Array", "Array + Contour", "Same Plot"};

// Parts of a requested refresh.
constexpr RequestCoalescer::Parts kPanelPart = 1;
constexpr RequestCoalescer::Parts kPlotsPart = 2;

QLabel* makePlaceholder(QWidget* parent) {
    auto* label = new QLabel(QObject::tr("Drag datasets here\nfrom the main window"), parent);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("QLabel { color: #787c82; padding: 20px; border: 2px "
                                        "dashed #c8cbd0; border-radius: 8px; }"));
    return label;
}

QDoubleSpinBox* makeLimitField(const QString& name, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(-1e12, 1e12);
    spin->setDecimals(4);
    spin->setValue(0.0);
    spin->setEnabled(false);
    // Wide enough for usual limits; the range alone would ask for twice this.
    spin->setMaximumWidth(120);
    return spin;
}

QDoubleSpinBox* makePercentField(const QString& name, double value, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(1.0, 99.0);
    spin->setSingleStep(5.0);
    spin->setDecimals(0);
    spin->setSuffix(QStringLiteral("%"));
    spin->setValue(value);
    return spin;
}

QSpinBox* makeArraySizeField(const QString& name, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(0, 50);
    spin->setSpecialValueText(QObject::tr("auto"));
    return spin;
}

bool isReorderDrag(const QMimeData* mime) {
    return mime != nullptr && mime->hasFormat(combineReorderMimeType());
}

} // namespace

// ---- construction ----------------------------------------------------------

CombinePlotWindow::CombinePlotWindow(MainWindow* main, QWidget* parent)
    : QMainWindow(parent), m_mainWindow(main) {
    m_refreshRequests =
        std::make_unique<RequestCoalescer>(this, [this](RequestCoalescer::Parts parts) {
            if (parts & kPanelPart)
                rebuildDatasetPanel();
            rebuildPlots();
        });

    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    m_plotScroll = new QScrollArea(central);
    m_plotScroll->setWidgetResizable(true);
    m_plotContainer = new QWidget(m_plotScroll);
    m_plotContainer->setObjectName(QStringLiteral("plotContainer"));
    m_plotGrid = new QGridLayout(m_plotContainer);
    m_plotGrid->setContentsMargins(0, 0, 0, 0);
    m_plotScroll->setWidget(m_plotContainer);
    centralLayout->addWidget(m_plotScroll, 1);
    setCentralWidget(central);

    setupSettingsDock();
    setupDatasetsDock();
    m_autoScrollTimer = new QTimer(this);
    m_autoScrollTimer->setObjectName(QStringLiteral("autoScrollTimer"));
    m_autoScrollTimer->setInterval(30);
    connect(m_autoScrollTimer, &QTimer::timeout, this, &CombinePlotWindow::onAutoScrollTick);

    setupExportSettingsDock();
    setupStatsDock();
    setupMenus();

    setWindowTitle(tr("Combine Plot"));
    resize(1000, 700);
    setAcceptDrops(true);
    // The main window releases the window when it reports its closing.
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CombinePlotWindow::~CombinePlotWindow() {
    m_refreshRequests->cancel();
    clearPlots();
}

void CombinePlotWindow::setupSettingsDock() {
    m_settingsDock = new QDockWidget(tr("Settings"), this);
    m_settingsDock->setObjectName(QStringLiteral("settingsDock"));
    m_settingsDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    m_settingsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);

    auto* scroll = new QScrollArea(m_settingsDock);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* panel = new QWidget(scroll);
    panel->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(4);
    grid->setHorizontalSpacing(20);

    // A caption and a control side by side in one cell.
    auto labelled = [panel](const QString& caption, QWidget* control) {
        auto* cell = new QWidget(panel);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(new QLabel(caption, cell));
        row->addWidget(control);
        return cell;
    };
    auto checkBox = [panel](const QString& text, const QString& name) {
        auto* box = new QCheckBox(text, panel);
        box->setObjectName(name);
        return box;
    };

    m_displayCombo = new QComboBox(panel);
    m_displayCombo->setObjectName(QStringLiteral("displayCombo"));
    for (const char* name : kDisplayModeNames)
        m_displayCombo->addItem(tr(name));
    grid->addWidget(labelled(tr("Display:"), m_displayCombo), 0, 0);

    m_colorCombo = new QComboBox(panel);
    m_colorCombo->setObjectName(QStringLiteral("colorCombo"));
    m_colorCombo->addItems({tr("Heatmap (Density)"), tr("Dataset Color"), tr("None")});
    m_colorCombo->setCurrentIndex(m_colorMode);
    grid->addWidget(labelled(tr("Color:"), m_colorCombo), 1, 0);

    m_syncFeaturesCheck = checkBox(tr("Sync Features"), QStringLiteral("syncFeaturesCheck"));
    m_syncFeaturesCheck->setToolTip(tr("Keep all datasets on the same X/Y axes"));
    grid->addWidget(m_syncFeaturesCheck, 0, 1);
    m_showLegendCheck = checkBox(tr("Show Legend"), QStringLiteral("showLegendCheck"));
    grid->addWidget(m_showLegendCheck, 1, 1);

    m_syncAxesCheck = checkBox(tr("Sync Axes"), QStringLiteral("syncAxesCheck"));
    m_syncAxesCheck->setToolTip(tr("Use same axis limits for all plots"));
    grid->addWidget(m_syncAxesCheck, 0, 2);
    m_manualLimitsCheck = checkBox(tr("Manual Limits"), QStringLiteral("manualLimitsCheck"));
    m_manualLimitsCheck->setEnabled(false);
    grid->addWidget(m_manualLimitsCheck, 1, 2);

    m_xMinSpin = makeLimitField(QStringLiteral("xMinSpin"), panel);
    m_xMaxSpin = makeLimitField(QStringLiteral("xMaxSpin"), panel);
    m_yMinSpin = makeLimitField(QStringLiteral("yMinSpin"), panel);
    m_yMaxSpin = makeLimitField(QStringLiteral("yMaxSpin"), panel);
    // "caption [low] separator [high]" in one cell.
    auto pairRow = [panel](const QString& caption, QWidget* low, const QString& separator,
                           QWidget* high) {
        auto* cell = new QWidget(panel);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(new QLabel(caption, cell));
        row->addWidget(low);
        row->addWidget(new QLabel(separator, cell));
        row->addWidget(high);
        return cell;
    };
    const QString dash = QStringLiteral("-");
    grid->addWidget(pairRow(tr("X:"), m_xMinSpin, dash, m_xMaxSpin), 0, 3);
    grid->addWidget(pairRow(tr("Y:"), m_yMinSpin, dash, m_yMaxSpin), 1, 3);

    m_contourCombo = new QComboBox(panel);
    m_contourCombo->setObjectName(QStringLiteral("contourCombo"));
    m_contourCombo->addItems({tr("Off"), tr("Overlay"), tr("Only")});
    grid->addWidget(labelled(tr("Contour Overlay:"), m_contourCombo), 0, 4);
    m_contourInnerSpin = makePercentField(QStringLiteral("contourInnerSpin"), 10.0, panel);
    m_contourOuterSpin = makePercentField(QStringLiteral("contourOuterSpin"), 67.0, panel);
    grid->addWidget(pairRow(tr("Inner:"), m_contourInnerSpin, tr("Outer:"), m_contourOuterSpin),
                    1, 4);

    m_isoCheck = checkBox(tr("Isoelastics"), QStringLiteral("isoCheck"));
    m_isoCheck->setToolTip(tr("Show isoelasticity lines on area vs. deformation plots"));
    grid->addWidget(m_isoCheck, 0, 5);
    m_isoLabelsCheck = checkBox(tr("Labels"), QStringLiteral("isoLabelsCheck"));
    m_isoLabelsCheck->setToolTip(tr("Show kPa labels on isoelasticity lines"));
    m_isoLabelsCheck->setEnabled(false);
    grid->addWidget(m_isoLabelsCheck, 1, 5);

    m_manualArrayCheck = checkBox(tr("Manual Array Size"), QStringLiteral("manualArrayCheck"));
    grid->addWidget(m_manualArrayCheck, 0, 6);
    m_arraySizeRow = new QWidget(panel);
    m_arraySizeRow->setObjectName(QStringLiteral("arraySizeRow"));
    {
        auto* row = new QHBoxLayout(m_arraySizeRow);
        row->setContentsMargins(0, 0, 0, 0);
        m_arrayColsSpin = makeArraySizeField(QStringLiteral("arrayColsSpin"), m_arraySizeRow);
        m_arrayRowsSpin = makeArraySizeField(QStringLiteral("arrayRowsSpin"), m_arraySizeRow);
        row->addWidget(new QLabel(tr("Cols:"), m_arraySizeRow));
        row->addWidget(m_arrayColsSpin);
        row->addWidget(new QLabel(tr("Rows:"), m_arraySizeRow));
        row->addWidget(m_arrayRowsSpin);
    }
    m_arraySizeRow->setVisible(false);
    grid->addWidget(m_arraySizeRow, 1, 6);

    m_showCountCheck = checkBox(tr("Show N"), QStringLiteral("showCountCheck"));
    m_showCountCheck->setToolTip(
        tr("Display the number of plotted events (N = #) in each array plot"));
    grid->addWidget(m_showCountCheck, 0, 7);
    grid->setColumnStretch(8, 1);

    scroll->setWidget(panel);
    // Both rows stay in view, with room for the scroll bar a narrow window
    // needs below them.
    scroll->setMinimumHeight(panel->sizeHint().height() +
                             scroll->horizontalScrollBar()->sizeHint().height() +
                             2 * scroll->frameWidth());
    m_settingsDock->setWidget(scroll);
    addDockWidget(Qt::TopDockWidgetArea, m_settingsDock);

    // Connections.
    connect(m_displayCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onDisplayModeChanged);
    connect(m_colorCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onColorModeChanged);
    connect(m_syncFeaturesCheck, &QCheckBox::toggled, this,
            &CombinePlotWindow::onSyncFeaturesToggled);
    connect(m_showLegendCheck, &QCheckBox::toggled, this, [this] { rebuildPlots(); });
    connect(m_syncAxesCheck, &QCheckBox::toggled, this, &CombinePlotWindow::onSyncAxesToggled);
    connect(m_manualLimitsCheck, &QCheckBox::toggled, this, [this](bool on) {
        for (QDoubleSpinBox* spin : {m_xMinSpin, m_xMaxSpin, m_yMinSpin, m_yMaxSpin})
            spin->setEnabled(on);
        rebuildPlots();
    });
    for (QDoubleSpinBox* spin : {m_xMinSpin, m_xMaxSpin, m_yMinSpin, m_yMaxSpin})
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &CombinePlotWindow::onAxisLimitsChanged);
    connect(m_contourCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { rebuildPlots(); });
    for (QDoubleSpinBox* spin : {m_contourInnerSpin, m_contourOuterSpin})
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this] { rebuildPlots(); });
    connect(m_isoCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_isoLabelsCheck->setEnabled(on);
        if (!on) {
            const QSignalBlocker block(m_isoLabelsCheck);
            m_isoLabelsCheck->setChecked(false);
        }
        rebuildPlots();
    });
    connect(m_isoLabelsCheck, &QCheckBox::toggled, this, [this] { rebuildPlots(); });
    connect(m_manualArrayCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_arraySizeRow->setVisible(on);
        if (!on) {
            const QSignalBlocker blockCols(m_arrayColsSpin);
            const QSignalBlocker blockRows(m_arrayRowsSpin);
            m_arrayColsSpin->setValue(0);
            m_arrayRowsSpin->setValue(0);
        }
        rebuildPlots();
    });
    // Columns and rows exclude each other: fixing one frees the other.
    auto exclusive = [this](QSpinBox* other) {
        return [this, other](int value) {
            if (value >= 1) {
                const QSignalBlocker block(other);
                other->setValue(0);
            }
            rebuildPlots();
        };
    };
    connect(m_arrayColsSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            exclusive(m_arrayRowsSpin));
    connect(m_arrayRowsSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            exclusive(m_arrayColsSpin));
    connect(m_showCountCheck, &QCheckBox::toggled, this, [this] { rebuildPlots(); });
}

void CombinePlotWindow::setupDatasetsDock() {
    m_datasetsDock = new QDockWidget(tr("Datasets"), this);
    m_datasetsDock->setObjectName(QStringLiteral("datasetsDock"));
    m_datasetsDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_datasetsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    m_datasetsDock->setMinimumWidth(280);

    auto* content = new QWidget(m_datasetsDock);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* buttons = new QHBoxLayout();
    auto* addButton = new QPushButton(tr("Add..."), content);
    addButton->setObjectName(QStringLiteral("addDatasetsButton"));
    auto* addAllButton = new QPushButton(tr("Add All"), content);
    addAllButton->setObjectName(QStringLiteral("addAllDatasetsButton"));
    buttons->addWidget(addButton);
    buttons->addWidget(addAllButton);
    layout->addLayout(buttons);
    connect(addButton, &QPushButton::clicked, this, &CombinePlotWindow::addSelectedDatasets);
    connect(addAllButton, &QPushButton::clicked, this, &CombinePlotWindow::addAllDatasets);

    m_datasetScroll = new QScrollArea(content);
    m_datasetScroll->setObjectName(QStringLiteral("datasetScroll"));
    m_datasetScroll->setWidgetResizable(true);
    m_datasetScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_datasetScroll->setAcceptDrops(true);
    m_datasetScroll->viewport()->setAcceptDrops(true);
    m_datasetScroll->viewport()->installEventFilter(this);
    m_datasetPanel = new QWidget(m_datasetScroll);
    m_datasetPanel->setObjectName(QStringLiteral("datasetPanel"));
    m_datasetLayout = new QVBoxLayout(m_datasetPanel);
    m_datasetLayout->setAlignment(Qt::AlignTop);
    m_datasetLayout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    m_datasetLayout->addWidget(makePlaceholder(m_datasetPanel));
    m_datasetScroll->setWidget(m_datasetPanel);
    layout->addWidget(m_datasetScroll, 1);

    m_datasetsDock->setWidget(content);
    addDockWidget(Qt::LeftDockWidgetArea, m_datasetsDock);
}

void CombinePlotWindow::setupMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* close = file->addAction(tr("&Close"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);

    QMenu* exportMenu = menuBar()->addMenu(tr("&Export"));
    QAction* plots = exportMenu->addAction(tr("&Export Plots..."));
    plots->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    connect(plots, &QAction::triggered, this, &CombinePlotWindow::exportPlots);
    QAction* stats = exportMenu->addAction(tr("Export Plot &Statistics TSV..."));
    connect(stats, &QAction::triggered, this, &CombinePlotWindow::exportStatsTsv);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_settingsDock->toggleViewAction());
    view->addAction(m_datasetsDock->toggleViewAction());
    if (m_statsDock)
        view->addAction(m_statsDock->toggleViewAction());
    view->addSeparator();
    m_exportPreviewAction = view->addAction(tr("Export &Preview"));
    m_exportPreviewAction->setCheckable(true);
    m_exportPreviewAction->setChecked(false);
    connect(m_exportPreviewAction, &QAction::toggled, this, &CombinePlotWindow::setExportPreview);
    view->addSeparator();
    WindowUtil::addKeepOnTopAction(this);
}

// ---- notifications of the main window --------------------------------------

void CombinePlotWindow::refresh() {
    m_refreshRequests->request(kPanelPart | kPlotsPart);
}

void CombinePlotWindow::flushRefresh() {
    m_refreshRequests->flush();
}

void CombinePlotWindow::rebuildAll() {
    m_refreshRequests->cancel();
    rebuildDatasetPanel();
    rebuildPlots();
}

void CombinePlotWindow::onMainDatasetRemoved(int datasetId) {
    const int index = referenceIndexOf(datasetId);
    if (index < 0)
        return;
    takeCardsState();
    m_refs.erase(m_refs.begin() + index);
    // The main window refreshes its tool windows after a removal as well;
    // both cost one rebuild. The removed dataset's card changes nothing
    // meanwhile: its state has no reference left to go to.
    m_refreshRequests->request(kPanelPart | kPlotsPart);
}

void CombinePlotWindow::onDatasetRenamed(int datasetId, const QString& name) {
    for (CombineDatasetWidget* card : m_cards) {
        if (card->datasetId() == datasetId)
            card->setDisplayName(name);
    }
    m_refreshRequests->request(kPlotsPart);
}

void CombinePlotWindow::closeEvent(QCloseEvent* event) {
    if (!m_closeReported) {
        m_closeReported = true;
        emit windowClosed(this);
    }
    QMainWindow::closeEvent(event);
}

// ---- references and cards --------------------------------------------------

DatasetEntry* CombinePlotWindow::findDatasetEntry(int datasetId) const {
    return m_mainWindow ? m_mainWindow->findDatasetById(datasetId) : nullptr;
}

int CombinePlotWindow::referenceIndexOf(int datasetId) const {
    for (size_t i = 0; i < m_refs.size(); ++i) {
        if (m_refs[i].datasetId == datasetId)
            return static_cast<int>(i);
    }
    return -1;
}

void CombinePlotWindow::applyDefaultFeatures(CombineDatasetRef& ref, RTDCReader* reader) const {
    if (!reader)
        return;
    if (ref.xFeature.empty() && reader->hasFeature("area_um"))
        ref.xFeature = "area_um";
    if (ref.yFeature.empty() && reader->hasFeature("deform"))
        ref.yFeature = "deform";
    if (!ref.xFeature.empty() && !ref.yFeature.empty())
        return;
    for (const std::string& name : reader->getAvailableFeatures()) {
        if (name == "image" || name == "mask" || name == "contour")
            continue;
        if (ref.xFeature.empty()) {
            ref.xFeature = name;
        } else if (ref.yFeature.empty()) {
            ref.yFeature = name;
            break;
        }
    }
}

void CombinePlotWindow::appendReference(const DatasetEntry& entry) {
    CombineDatasetRef ref;
    ref.datasetId = entry.id;
    ref.xFeature = entry.xFeatureName;
    ref.yFeature = entry.yFeatureName;
    ref.scaleXMode = entry.scaleXMode;
    ref.scaleYMode = entry.scaleYMode;
    if (ref.xFeature.empty() || ref.yFeature.empty())
        applyDefaultFeatures(ref, entry.reader.get());
    ref.color = combinePaletteColor(static_cast<int>(m_refs.size()));
    m_refs.push_back(ref);
}

void CombinePlotWindow::takeCardsState() {
    // By dataset id, not by position: a reference whose dataset is gone has
    // no card, so positions of cards and references can differ.
    for (const CombineDatasetWidget* card : m_cards) {
        const int index = referenceIndexOf(card->datasetId());
        if (index >= 0)
            m_refs[static_cast<size_t>(index)] = card->getRef();
    }
}

void CombinePlotWindow::discardCards() {
    for (CombineDatasetWidget* card : m_cards) {
        m_datasetLayout->removeWidget(card);
        disconnect(card, nullptr, this, nullptr);
        // A card may be the source of a drag whose loop is still running (a
        // refresh can arrive meanwhile); it goes once that drag is over.
        card->discard();
    }
    m_cards.clear();
}

void CombinePlotWindow::rebuildDatasetPanel() {
    if (!m_cards.empty())
        takeCardsState();
    discardCards();
    while (QLayoutItem* item = m_datasetLayout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    if (m_refs.empty()) {
        m_datasetLayout->addWidget(makePlaceholder(m_datasetPanel));
        return;
    }
    for (const CombineDatasetRef& ref : m_refs) {
        const DatasetEntry* entry = findDatasetEntry(ref.datasetId);
        if (!entry)
            continue;
        RTDCReader* reader = entry->reader.get();
        std::vector<std::string> features;
        if (reader) {
            for (const std::string& name : reader->getAvailableFeatures()) {
                if (name != "image" && name != "mask" && name != "contour")
                    features.push_back(name);
            }
        }
        auto* card = new CombineDatasetWidget(ref, features, reader, m_datasetPanel);
        card->setDisplayName(entry->displayName);
        connect(card, &CombineDatasetWidget::settingsChanged, this,
                &CombinePlotWindow::onDatasetSettingsChanged);
        connect(card, &CombineDatasetWidget::removeRequested, this,
                &CombinePlotWindow::onDatasetRemoveRequested);
        connect(card, &CombineDatasetWidget::dropReceived, this,
                &CombinePlotWindow::onDatasetReorder);
        m_datasetLayout->addWidget(card);
        m_cards.push_back(card);
    }
}

// ---- adding and removing datasets ------------------------------------------

void CombinePlotWindow::addDataset(int datasetId) {
    if (referenceIndexOf(datasetId) >= 0 || !m_mainWindow)
        return;
    m_mainWindow->saveCurrentDatasetState();
    const DatasetEntry* entry = findDatasetEntry(datasetId);
    if (!entry || !entry->featuresLoaded)
        return;
    takeCardsState();
    appendReference(*entry);
    rebuildAll();
}

void CombinePlotWindow::addAllDatasets() {
    if (!m_mainWindow)
        return;
    m_mainWindow->saveCurrentDatasetState();
    takeCardsState();
    for (const auto& entry : m_mainWindow->datasets()) {
        if (entry->featuresLoaded && referenceIndexOf(entry->id) < 0)
            appendReference(*entry);
    }
    rebuildAll();
}

void CombinePlotWindow::addSelectedDatasets() {
    if (!m_mainWindow)
        return;
    std::vector<PickableDataset> offered;
    for (const auto& entry : m_mainWindow->datasets())
        if (entry->featuresLoaded && referenceIndexOf(entry->id) < 0)
            offered.push_back({entry->id, entry->displayName});
    // A dataset may have gone while the dialog was open: addDataset skips
    // an id the store no longer has.
    const auto ids = askDatasetsToAdd(this, offered, QStringLiteral("datasetList"),
                                      QStringLiteral("addDatasetsDialog"));
    if (!ids)
        return;
    m_mainWindow->saveCurrentDatasetState();
    for (int id : *ids)
        addDataset(id);
}

void CombinePlotWindow::removeDataset(int index) {
    if (index < 0 || index >= datasetCount())
        return;
    takeCardsState();
    m_refs.erase(m_refs.begin() + index);
    rebuildAll();
}

void CombinePlotWindow::onDatasetRemoveRequested() {
    const auto* card = qobject_cast<CombineDatasetWidget*>(sender());
    if (!card || std::find(m_cards.begin(), m_cards.end(), card) == m_cards.end())
        return;
    removeDataset(referenceIndexOf(card->datasetId()));
}

// ---- settings --------------------------------------------------------------

void CombinePlotWindow::onDisplayModeChanged(int mode) {
    if ((mode == 1 || mode == 2) && !m_syncFeaturesCheck->isChecked() && m_refs.size() >= 2) {
        CustomMessageBox box;
        box.title = tr("Sync Features Required");
        box.text = QStringLiteral("\"") + tr(kDisplayModeNames[mode]) + QStringLiteral("\"") +
                   tr(" requires all datasets to use the same features.\nFeature syncing will "
                      "be enabled and all datasets will use\nthe features of the first dataset.");
        box.textFormat = Qt::PlainText;
        box.buttons = {{tr("OK"), QMessageBox::AcceptRole}, {tr("Cancel"), QMessageBox::RejectRole}};
        box.defaultButton = 0;
        if (DialogProvider::current().messageBox(this, box) != 0) {
            const QSignalBlocker block(m_displayCombo);
            m_displayCombo->setCurrentIndex(m_displayMode);
            return;
        }
        // The mode is stored first, so the sync cannot be switched off again
        // by a handler that still sees the old mode.
        m_displayMode = mode;
        m_syncFeaturesCheck->setChecked(true);
    }
    m_displayMode = mode;
    rebuildPlots();
}

void CombinePlotWindow::onColorModeChanged(int mode) {
    m_colorMode = mode;
    updateUniformColorVisibility();
    rebuildPlots();
}

void CombinePlotWindow::pushFeaturesFrom(const CombineDatasetWidget* card) {
    const CombineDatasetRef source = card->getRef();
    for (CombineDatasetWidget* other : m_cards) {
        if (other != card)
            other->setFeatureSelections(source.xFeature, source.yFeature);
    }
}

void CombinePlotWindow::pushScalesFrom(const CombineDatasetWidget* card) {
    const CombineDatasetRef source = card->getRef();
    for (CombineDatasetWidget* other : m_cards) {
        if (other != card)
            other->setScaleSelections(source.scaleXMode, source.scaleYMode);
    }
}

void CombinePlotWindow::onSyncFeaturesToggled(bool on) {
    if (!on) {
        if (m_displayMode == 1 || m_displayMode == 2) {
            const QSignalBlocker block(m_syncFeaturesCheck);
            m_syncFeaturesCheck->setChecked(true);
        }
        return;
    }
    if (m_cards.empty())
        return;
    pushFeaturesFrom(m_cards.front());
    takeCardsState();
    rebuildPlots();
}

void CombinePlotWindow::fillLimitFieldsFromData() {
    const CombineAxisLimits limits = computeGlobalAxisLimits();
    // An axis with nothing to span keeps its fields as they are.
    const std::pair<const AxisRange*, std::pair<QDoubleSpinBox*, QDoubleSpinBox*>> axes[] = {
        {&limits.x, {m_xMinSpin, m_xMaxSpin}}, {&limits.y, {m_yMinSpin, m_yMaxSpin}}};
    for (const auto& axis : axes) {
        if (!axis.first->valid)
            continue;
        const QSignalBlocker blockLow(axis.second.first);
        const QSignalBlocker blockHigh(axis.second.second);
        axis.second.first->setValue(axis.first->min);
        axis.second.second->setValue(axis.first->max);
    }
}

void CombinePlotWindow::onSyncAxesToggled(bool on) {
    m_manualLimitsCheck->setEnabled(on);
    if (!on) {
        m_manualLimitsCheck->setChecked(false);
        rebuildPlots();
        return;
    }
    if (!m_cards.empty()) {
        pushScalesFrom(m_cards.front());
        takeCardsState();
    }
    fillLimitFieldsFromData();
    rebuildPlots();
}

void CombinePlotWindow::onAxisLimitsChanged() {
    if (m_syncAxesCheck->isChecked() && m_manualLimitsCheck->isChecked())
        rebuildPlots();
}

void CombinePlotWindow::onDatasetSettingsChanged() {
    takeCardsState();
    if (const auto* card = qobject_cast<CombineDatasetWidget*>(sender())) {
        const bool syncFeatures = m_syncFeaturesCheck->isChecked();
        const bool syncAxes = m_syncAxesCheck->isChecked();
        if (syncFeatures)
            pushFeaturesFrom(card);
        if (syncAxes)
            pushScalesFrom(card);
        if (syncFeatures || syncAxes)
            takeCardsState();
    }
    rebuildPlots();
}

// ---- reordering ------------------------------------------------------------

void CombinePlotWindow::onDatasetReorder(CombineDatasetWidget* source,
                                         CombineDatasetWidget* target, bool above) {
    const auto sourceAt = std::find(m_cards.begin(), m_cards.end(), source);
    const auto targetAt = std::find(m_cards.begin(), m_cards.end(), target);
    if (sourceAt == m_cards.end() || targetAt == m_cards.end() || sourceAt == targetAt)
        return;
    // Cards are made anew by the move, so it runs after the drop has been
    // handled; it names the datasets, whose positions may change meanwhile.
    const int sourceId = source->datasetId();
    const int targetId = target->datasetId();
    QTimer::singleShot(0, this,
                       [this, sourceId, targetId, above] { moveReference(sourceId, targetId, above); });
}

void CombinePlotWindow::moveReference(int sourceId, int targetId, bool above) {
    takeCardsState();
    const int source = referenceIndexOf(sourceId);
    const int target = referenceIndexOf(targetId);
    if (source < 0 || target < 0 || source == target)
        return;
    int insertAt = target + (above ? 0 : 1);
    if (source < insertAt)
        --insertAt;
    if (insertAt == source)
        return;
    const CombineDatasetRef moved = m_refs[static_cast<size_t>(source)];
    m_refs.erase(m_refs.begin() + source);
    m_refs.insert(m_refs.begin() + insertAt, moved);
    // The cards hold the old order; they must not be copied back over it.
    discardCards();
    rebuildAll();
}

// ---- drops and auto-scroll -------------------------------------------------

void CombinePlotWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (datasetIdFromMimeData(event->mimeData()).has_value())
        event->acceptProposedAction();
}

void CombinePlotWindow::dropEvent(QDropEvent* event) {
    const std::optional<int> id = datasetIdFromMimeData(event->mimeData());
    if (!id || referenceIndexOf(*id) >= 0)
        return;
    addDataset(*id);
    // Taken only when it was added (not an unknown or still loading dataset).
    if (referenceIndexOf(*id) >= 0)
        event->acceptProposedAction();
}

bool CombinePlotWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!m_datasetScroll || watched != m_datasetScroll->viewport())
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (!isReorderDrag(enter->mimeData()))
            break;
        enter->acceptProposedAction();
        return true;
    }
    case QEvent::DragMove: {
        auto* move = static_cast<QDragMoveEvent*>(event);
        if (!isReorderDrag(move->mimeData()))
            break;
        move->acceptProposedAction();
        const int y = dropEventPosition(move).y();
        const int h = m_datasetScroll->viewport()->height();
        if (y < 40 || y > h - 40) {
            m_autoScrollStep = y < 40 ? -6 : 6;
            if (!m_autoScrollTimer->isActive())
                m_autoScrollTimer->start();
        } else {
            m_autoScrollStep = 0;
            m_autoScrollTimer->stop();
        }
        return true;
    }
    case QEvent::DragLeave:
    case QEvent::Drop:
        m_autoScrollStep = 0;
        m_autoScrollTimer->stop();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CombinePlotWindow::onAutoScrollTick() {
    if (m_autoScrollStep == 0) {
        m_autoScrollTimer->stop();
        return;
    }
    QScrollBar* bar = m_datasetScroll->verticalScrollBar();
    bar->setValue(bar->value() + m_autoScrollStep);
}

// ---- shared with the rendering ---------------------------------------------

CombineDatasetRef CombinePlotWindow::currentRef(int index) const {
    if (index < 0 || index >= datasetCount())
        return {};
    const CombineDatasetRef& stored = m_refs[static_cast<size_t>(index)];
    for (const CombineDatasetWidget* card : m_cards) {
        if (card->datasetId() == stored.datasetId)
            return card->getRef();
    }
    return stored;
}

CombinePlotWindow::PlotStats CombinePlotWindow::computeStats(const std::vector<double>& values) {
    return Quorvex3::computeStats(values);
}

} // namespace Quorvex3
