// The gallery window: its controls, binding to a dataset, paging and the
// display options. The background tasks and the export are in
// ImageGalleryWindowTasks.cpp.
#include "compare/ImageGalleryWindow.h"

#include "compare/GalleryCutout.h"
#include "compare/GalleryGridWidget.h"
#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "model/DatasetStore.h"
#include "util/WindowUtil.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr double kDefaultPixelSize = 0.34;

// Micrometres per pixel from the imaging metadata; the default unless it is
// a finite number above 0.
double pixelSizeOf(const DatasetEntry& entry) {
    const auto found = entry.metadata.imaging.find("pixel size");
    if (found == entry.metadata.imaging.end())
        return kDefaultPixelSize;
    bool ok = false;
    const double value = QString::fromStdString(found->second).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && value > 0.0 ? value : kDefaultPixelSize;
}

QSpinBox* pixelSpin(QWidget* parent, int minimum, int maximum, int step) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    spin->setSuffix(QStringLiteral(" px"));
    return spin;
}

} // namespace

ImageGalleryWindow::ImageGalleryWindow(const DatasetStore* store, int datasetId, QWidget* parent)
    : QMainWindow(parent), m_store(store) {
    // The main window deletes it after windowClosed; it must not delete itself.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(tr("Image Gallery"));

    m_renderWatcher = new QFutureWatcher<GalleryRenderResult>(this);
    connect(m_renderWatcher, &QFutureWatcher<GalleryRenderResult>::finished, this,
            &ImageGalleryWindow::onPageRenderFinished);
    m_contrastWatcher = new QFutureWatcher<GalleryAutoContrastResult>(this);
    connect(m_contrastWatcher, &QFutureWatcher<GalleryAutoContrastResult>::finished, this,
            &ImageGalleryWindow::onAutoContrastFinished);
    setRenderTask(nullptr);
    setContrastTask(nullptr);

    buildUI();
    WindowUtil::addKeepOnTopAction(this);
    rebindToDataset(datasetId);
    // Inside a small screen (a 1280 x 720 laptop) rather than past its
    // edges, once the controls and the dataset's name are in place: they
    // decide how narrow the window can be.
    WindowUtil::resizeInsideScreen(this, QSize(1100, 800));
}

ImageGalleryWindow::~ImageGalleryWindow() {
    // The tasks hold their own reader handle and inputs, but their results
    // come back to the watchers, which go with this window.
    waitForTasks();
}

void ImageGalleryWindow::buildUI() {
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* panel = new QWidget(central);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(6, 4, 6, 4);
    panelLayout->setSpacing(2);

    auto* first = new QHBoxLayout;
    first->setSpacing(8);
    m_headerLabel = new QLabel(tr("(no dataset)"), panel);
    m_headerLabel->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; }"));
    m_prevButton = new QPushButton(QStringLiteral("\u25C0 Page"), panel);
    m_pageLabel = new QLabel(QStringLiteral("0 / 0"), panel);
    m_pageLabel->setMinimumWidth(80);
    m_pageLabel->setAlignment(Qt::AlignCenter);
    m_nextButton = new QPushButton(QStringLiteral("Page \u25B6"), panel);
    m_pageSizeCombo = new QComboBox(panel);
    m_pageSizeCombo->addItem(QStringLiteral("5 \u00D7 5 (25)"), 25);
    m_pageSizeCombo->addItem(QStringLiteral("10 \u00D7 10 (100)"), 100);
    m_pageSizeCombo->addItem(QStringLiteral("20 \u00D7 20 (400)"), 400);
    m_pageSizeCombo->setCurrentIndex(1);
    WindowUtil::fitComboToItems(m_pageSizeCombo);
    m_showIdsCheck = new QCheckBox(tr("Show event IDs"), panel);
    m_showIdsCheck->setChecked(m_showIds);
    m_followActiveCheck = new QCheckBox(tr("Follow active dataset"), panel);
    first->addWidget(m_headerLabel);
    first->addSpacing(20);
    first->addWidget(m_prevButton);
    first->addWidget(m_pageLabel);
    first->addWidget(m_nextButton);
    first->addSpacing(20);
    first->addWidget(new QLabel(tr("Page size:"), panel));
    first->addWidget(m_pageSizeCombo);
    first->addStretch();
    first->addWidget(m_showIdsCheck);
    first->addWidget(m_followActiveCheck);

    auto* second = new QHBoxLayout;
    second->setSpacing(8);
    m_autoCutoutCheck = new QCheckBox(tr("Auto cutout (99th percentile)"), panel);
    m_autoCutoutCheck->setChecked(true);
    m_cutoutWidthSpin = pixelSpin(panel, 8, kMaxGalleryCutoutSide, 2);
    m_cutoutHeightSpin = pixelSpin(panel, 8, kMaxGalleryCutoutSide, 2);
    m_cutoutWidthSpin->setEnabled(false);
    m_cutoutHeightSpin->setEnabled(false);
    m_marginSpin = pixelSpin(panel, 0, 100, 1);
    m_marginSpin->setValue(m_margin);
    m_contrastCombo = new QComboBox(panel);
    m_contrastCombo->addItem(tr("Full range"), 0);
    m_contrastCombo->addItem(tr("Auto (dataset)"), 1);
    m_contrastCombo->addItem(tr("Manual"), 2);
    WindowUtil::fitComboToItems(m_contrastCombo);
    m_loLabel = new QLabel(tr("lo:"), panel);
    m_loSpin = new QSpinBox(panel);
    m_loSpin->setRange(0, 254);
    m_loSpin->setValue(0);
    m_hiLabel = new QLabel(tr("hi:"), panel);
    m_hiSpin = new QSpinBox(panel);
    m_hiSpin->setRange(1, 255);
    m_hiSpin->setValue(255);
    m_exportButton = new QPushButton(QStringLiteral("Export page as PNG\u2026"), panel);
    second->addWidget(m_autoCutoutCheck);
    second->addWidget(new QLabel(tr("W:"), panel));
    second->addWidget(m_cutoutWidthSpin);
    second->addWidget(new QLabel(tr("H:"), panel));
    second->addWidget(m_cutoutHeightSpin);
    second->addWidget(new QLabel(tr("Margin:"), panel));
    second->addWidget(m_marginSpin);
    second->addSpacing(20);
    second->addWidget(new QLabel(tr("Contrast:"), panel));
    second->addWidget(m_contrastCombo);
    second->addWidget(m_loLabel);
    second->addWidget(m_loSpin);
    second->addWidget(m_hiLabel);
    second->addWidget(m_hiSpin);
    second->addStretch();
    second->addWidget(m_exportButton);

    panelLayout->addLayout(first);
    panelLayout->addLayout(second);
    outer->addWidget(panel);

    auto* line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(line);

    auto* scroll = new QScrollArea(central);
    m_grid = new GalleryGridWidget;
    scroll->setWidget(m_grid);
    scroll->setWidgetResizable(false);
    scroll->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outer->addWidget(scroll, 1);

    m_statusLabel = new QLabel(central);
    m_statusLabel->setStyleSheet(QStringLiteral("QLabel { padding: 2px 6px; color: #555; }"));
    outer->addWidget(m_statusLabel);
    setCentralWidget(central);

    // Object names let tests and style sheets find the controls.
    const std::pair<QWidget*, const char*> named[] = {{m_headerLabel, "headerLabel"},
                                                      {m_prevButton, "prevButton"},
                                                      {m_nextButton, "nextButton"},
                                                      {m_pageLabel, "pageLabel"},
                                                      {m_pageSizeCombo, "pageSizeCombo"},
                                                      {m_autoCutoutCheck, "autoCutoutCheck"},
                                                      {m_cutoutWidthSpin, "cutoutWidthSpin"},
                                                      {m_cutoutHeightSpin, "cutoutHeightSpin"},
                                                      {m_marginSpin, "marginSpin"},
                                                      {m_contrastCombo, "contrastCombo"},
                                                      {m_loSpin, "loSpin"},
                                                      {m_hiSpin, "hiSpin"},
                                                      {m_loLabel, "loLabel"},
                                                      {m_hiLabel, "hiLabel"},
                                                      {m_followActiveCheck, "followActiveCheck"},
                                                      {m_showIdsCheck, "showIdsCheck"},
                                                      {m_exportButton, "exportButton"},
                                                      {m_statusLabel, "statusLabel"},
                                                      {m_grid, "grid"}};
    for (const auto& [widget, name] : named)
        widget->setObjectName(QString::fromLatin1(name));
    updateContrastUiEnabled();

    connect(m_prevButton, &QPushButton::clicked, this, &ImageGalleryWindow::onPrevPage);
    connect(m_nextButton, &QPushButton::clicked, this, &ImageGalleryWindow::onNextPage);
    connect(m_pageSizeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ImageGalleryWindow::onPageSizeChanged);
    connect(m_showIdsCheck, &QCheckBox::toggled, this, &ImageGalleryWindow::onShowIdsToggled);
    connect(m_followActiveCheck, &QCheckBox::toggled, this,
            &ImageGalleryWindow::onFollowActiveToggled);
    connect(m_autoCutoutCheck, &QCheckBox::toggled, this, &ImageGalleryWindow::onAutoCutoutToggled);
    connect(m_cutoutWidthSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ImageGalleryWindow::onCutoutSpinChanged);
    connect(m_cutoutHeightSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ImageGalleryWindow::onCutoutSpinChanged);
    connect(m_marginSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ImageGalleryWindow::onMarginChanged);
    connect(m_contrastCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ImageGalleryWindow::onContrastModeChanged);
    connect(m_loSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ImageGalleryWindow::onContrastValuesChanged);
    connect(m_hiSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ImageGalleryWindow::onContrastValuesChanged);
    connect(m_exportButton, &QPushButton::clicked, this, &ImageGalleryWindow::onExportPagePng);
}

// ---- Dataset and event list ----------------------------------------------------------

const DatasetEntry* ImageGalleryWindow::findDataset() const {
    return m_store ? m_store->findById(m_datasetId) : nullptr;
}

void ImageGalleryWindow::rebindToDataset(int id) {
    m_datasetId = id;
    m_autoContrastValid = false;
    ++m_contrastGeneration; // a task still running computes the old list
    const DatasetEntry* entry = findDataset();
    if (entry) {
        // The old dataset's tiles would otherwise stand under the new name
        // until the first page of the new one is rendered.
        m_grid->clear();
        m_datasetName = entry->displayName;
        m_headerLabel->setText(entry->displayName);
        m_pixelSize = pixelSizeOf(*entry);
        refreshFromMain();
        return;
    }
    m_headerLabel->setText(tr("(dataset not found)"));
    m_filteredIndices.clear();
    m_currentPage = 0;
    // Also a new page request: a render still running for the old dataset
    // must not fill the grid afterwards.
    ++m_renderGeneration;
    m_grid->setTiles({}, gridSide(), m_showIds);
    updateStatusLabel();
    updatePageNavEnabled();
}

void ImageGalleryWindow::refreshFromMain() {
    recomputeFilteredIndices();
    m_currentPage = 0;
    m_autoContrastValid = false;
    ++m_contrastGeneration;
    if (m_autoCutout)
        recomputeAutoCutoutFromPercentile();
    updateStatusLabel();
    updatePageNavEnabled();
    requestPageRender();
}

void ImageGalleryWindow::recomputeFilteredIndices() {
    m_filteredIndices.clear();
    const DatasetEntry* entry = findDataset();
    if (!entry || !entry->featuresLoaded || !entry->reader || !entry->reader->isOpen())
        return;
    // A rule on a feature this dataset lacks (or on a short column) takes
    // no part, as everywhere else the filter is applied.
    m_filteredIndices = shownEvents(*entry->reader, m_store->buildEffectiveFilter(entry));
}

void ImageGalleryWindow::recomputeAutoCutoutFromPercentile() {
    const DatasetEntry* entry = findDataset();
    if (!entry || !entry->reader)
        return;
    const GalleryCutoutSize size =
        computeAutoCutoutSize(*entry->reader, m_filteredIndices, m_pixelSize, m_margin);
    m_cutoutWidth = size.width;
    m_cutoutHeight = size.height;
    syncCutoutSpinsFromState();
}

void ImageGalleryWindow::syncCutoutSpinsFromState() {
    const QSignalBlocker blockWidth(m_cutoutWidthSpin);
    const QSignalBlocker blockHeight(m_cutoutHeightSpin);
    m_cutoutWidthSpin->setValue(m_cutoutWidth);
    m_cutoutHeightSpin->setValue(m_cutoutHeight);
}

int ImageGalleryWindow::pageCount() const {
    if (m_filteredIndices.empty() || m_pageSize < 1)
        return 0;
    const auto events = static_cast<long long>(m_filteredIndices.size());
    return static_cast<int>((events + m_pageSize - 1) / m_pageSize);
}

int ImageGalleryWindow::gridSide() const {
    if (m_pageSize <= 25)
        return 5;
    if (m_pageSize <= 100)
        return 10;
    return 20;
}

// ---- Paging and labels ----------------------------------------------------------------

void ImageGalleryWindow::afterPageChange() {
    updatePageNavEnabled();
    updateStatusLabel();
    requestPageRender();
}

void ImageGalleryWindow::onPrevPage() {
    if (m_currentPage < 1)
        return;
    --m_currentPage;
    afterPageChange();
}

void ImageGalleryWindow::onNextPage() {
    if (m_currentPage + 1 >= pageCount())
        return;
    ++m_currentPage;
    afterPageChange();
}

void ImageGalleryWindow::onPageSizeChanged() {
    const int value = m_pageSizeCombo->currentData().toInt();
    if (value < 1)
        return;
    m_pageSize = value;
    m_currentPage = 0;
    afterPageChange();
}

void ImageGalleryWindow::updatePageNavEnabled() {
    m_prevButton->setEnabled(m_currentPage >= 1);
    m_nextButton->setEnabled(m_currentPage + 1 < pageCount());
}

void ImageGalleryWindow::updateStatusLabel() {
    if (m_filteredIndices.empty()) {
        m_statusLabel->setText(tr("No events to display."));
        m_pageLabel->setText(QStringLiteral("0 / 0"));
        return;
    }
    m_pageLabel->setText(QStringLiteral("%1 / %2").arg(m_currentPage + 1).arg(pageCount()));
    m_statusLabel->setText(QStringLiteral("%1 events \u00B7 cutout %2 \u00D7 %3 px")
                               .arg(m_filteredIndices.size())
                               .arg(m_cutoutWidth)
                               .arg(m_cutoutHeight));
}

void ImageGalleryWindow::updateContrastUiEnabled() {
    const bool manual = m_contrastMode == 2;
    for (QWidget* widget : {static_cast<QWidget*>(m_loSpin), static_cast<QWidget*>(m_hiSpin),
                            static_cast<QWidget*>(m_loLabel), static_cast<QWidget*>(m_hiLabel)})
        widget->setEnabled(manual);
}

// ---- Display options --------------------------------------------------------------------

void ImageGalleryWindow::onShowIdsToggled(bool on) {
    m_showIds = on;
    requestPageRender();
}

void ImageGalleryWindow::onFollowActiveToggled(bool on) {
    m_followActive = on;
    if (!on || !m_store)
        return;
    const int active = m_store->activeDatasetId();
    if (active >= 0 && active != m_datasetId)
        rebindToDataset(active);
}

void ImageGalleryWindow::onAutoCutoutToggled(bool on) {
    m_autoCutout = on;
    m_cutoutWidthSpin->setEnabled(!on);
    m_cutoutHeightSpin->setEnabled(!on);
    if (!on)
        return;
    recomputeAutoCutoutFromPercentile();
    updateStatusLabel();
    requestPageRender();
}

void ImageGalleryWindow::onCutoutSpinChanged() {
    if (m_autoCutout)
        return;
    m_cutoutWidth = m_cutoutWidthSpin->value();
    m_cutoutHeight = m_cutoutHeightSpin->value();
    updateStatusLabel();
    requestPageRender();
}

void ImageGalleryWindow::onMarginChanged(int value) {
    m_margin = value;
    if (!m_autoCutout)
        return;
    recomputeAutoCutoutFromPercentile();
    updateStatusLabel();
    requestPageRender();
}

void ImageGalleryWindow::onContrastModeChanged() {
    m_contrastMode = m_contrastCombo->currentData().toInt();
    updateContrastUiEnabled();
    if (m_contrastMode == 2) {
        const QSignalBlocker blockLo(m_loSpin);
        const QSignalBlocker blockHi(m_hiSpin);
        if (m_autoContrastValid) {
            m_loSpin->setValue(m_autoLo);
            m_hiSpin->setValue(m_autoHi);
        }
        m_manualLo = m_loSpin->value();
        m_manualHi = m_hiSpin->value();
    }
    requestPageRender();
}

void ImageGalleryWindow::onContrastValuesChanged() {
    if (m_loSpin->value() >= m_hiSpin->value()) {
        const QSignalBlocker blockHi(m_hiSpin);
        m_hiSpin->setValue(std::min(m_loSpin->value(), 254) + 1);
    }
    m_manualLo = m_loSpin->value();
    m_manualHi = m_hiSpin->value();
    if (m_contrastMode == 2)
        requestPageRender();
}

// ---- Calls from the main window -----------------------------------------------------------

void ImageGalleryWindow::onActiveDatasetChanged(int datasetId) {
    if (m_followActive && datasetId >= 0 && datasetId != m_datasetId)
        rebindToDataset(datasetId);
}

void ImageGalleryWindow::onMainDatasetRemoved(int datasetId) {
    if (datasetId == m_datasetId)
        close();
}

void ImageGalleryWindow::onDatasetRenamed(int datasetId, const QString& name) {
    if (datasetId != m_datasetId)
        return;
    m_datasetName = name;
    m_headerLabel->setText(name);
}

void ImageGalleryWindow::closeEvent(QCloseEvent* event) {
    waitForTasks();
    if (!m_closeReported) {
        m_closeReported = true;
        emit windowClosed(this);
    }
    event->accept();
}

} // namespace Quorvex3
