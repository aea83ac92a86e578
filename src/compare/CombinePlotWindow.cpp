#include "compare/CombinePlotWindow.h"

#include "compare/CombineDatasetWidget.h"
#include "compare/CombinePlotHost.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "model/DatasetStore.h"
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

bool isReorderDrag(const QMimeData* mime) {
    return mime != nullptr && mime->hasFormat(combineReorderMimeType());
}

} // namespace

// ---- construction ----------------------------------------------------------

CombinePlotWindow::CombinePlotWindow(const DatasetStore* store, CombinePlotHost* host,
                                     QWidget* parent)
    : QMainWindow(parent), m_store(store), m_host(host) {
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
    m_exportTask.reset();
    clearPlots();
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
    return m_store ? m_store->findById(datasetId) : nullptr;
}

void CombinePlotWindow::saveHostState() {
    if (m_host)
        m_host->saveCurrentDatasetState();
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
    if (referenceIndexOf(datasetId) >= 0 || !m_store)
        return;
    saveHostState();
    const DatasetEntry* entry = findDatasetEntry(datasetId);
    if (!entry || !entry->featuresLoaded)
        return;
    takeCardsState();
    appendReference(*entry);
    rebuildAll();
}

void CombinePlotWindow::addAllDatasets() {
    if (!m_store)
        return;
    saveHostState();
    takeCardsState();
    for (const auto& entry : m_store->datasets()) {
        if (entry->featuresLoaded && referenceIndexOf(entry->id) < 0)
            appendReference(*entry);
    }
    rebuildAll();
}

void CombinePlotWindow::addSelectedDatasets() {
    if (!m_store)
        return;
    std::vector<PickableDataset> offered;
    for (const auto& entry : m_store->datasets())
        if (entry->featuresLoaded && referenceIndexOf(entry->id) < 0)
            offered.push_back({entry->id, entry->displayName});
    // A dataset may have gone while the dialog was open: addDataset skips
    // an id the store no longer has.
    const auto ids = askDatasetsToAdd(this, offered, QStringLiteral("datasetList"),
                                      QStringLiteral("addDatasetsDialog"));
    if (!ids)
        return;
    saveHostState();
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

// ---- reordering ------------------------------------------------------------

void CombinePlotWindow::onDatasetReorder(CombineDatasetWidget* source, CombineDatasetWidget* target,
                                         bool above) {
    const auto sourceAt = std::find(m_cards.begin(), m_cards.end(), source);
    const auto targetAt = std::find(m_cards.begin(), m_cards.end(), target);
    if (sourceAt == m_cards.end() || targetAt == m_cards.end() || sourceAt == targetAt)
        return;
    // Cards are made anew by the move, so it runs after the drop has been
    // handled; it names the datasets, whose positions may change meanwhile.
    const int sourceId = source->datasetId();
    const int targetId = target->datasetId();
    QTimer::singleShot(
        0, this, [this, sourceId, targetId, above] { moveReference(sourceId, targetId, above); });
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
