#include "calc/CalculationsDockWidget.h"

#include "model/DatasetEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Quorvex3 {

namespace {

const QString kGreyDescription = QStringLiteral("color: gray; font-size: 10px;");

QVBoxLayout* pageLayout(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    return layout;
}

QLabel* greyDescription(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setStyleSheet(kGreyDescription);
    return label;
}

// The selector's items are those of a standard item model; a row that cannot
// be chosen is both disabled and left out of the drop-down list.
void setItemEnabled(QComboBox* combo, int row, bool enabled) {
    if (auto* model = qobject_cast<QStandardItemModel*>(combo->model()))
        if (QStandardItem* item = model->item(row))
            item->setEnabled(enabled);
}

} // namespace

CalculationsDockWidget::CalculationsDockWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    m_sectionSelector = new QComboBox(this);
    m_sectionSelector->setObjectName(QStringLiteral("calcSectionSelector"));
    m_stack = new QStackedWidget(this);
    const std::pair<QString, QWidget*> sections[] = {
        {tr("Young's Modulus"), buildEmodulusPage()},
        {tr("Crosstalk Compensation"), buildCrosstalkPage()},
        {tr("FL Refinement"), buildRefinementPage()},
        {tr("Deformation from Fourier Decomposition"),
         buildDescribedPage(tr("Decomposes each cell's contour into Fourier components and "
                               "stores the deformation of the odd and even components only. "
                               "Requires segmentation masks."),
                            m_fourierAllCheck, m_fourierButton, tr("Compute Fourier Deformation"))},
        {tr("Image Feature Extraction"),
         buildDescribedPage(tr("Extracts brightness-distribution, texture (LBP), radial-profile, "
                               "spectral and focus features from each cell's image within its "
                               "mask. Requires images and segmentation masks."),
                            m_imageFeaturesAllCheck, m_imageFeaturesButton,
                            tr("Compute Image Features"))},
        {tr("Dimension Reduction"), buildDimRedPage()},
    };
    m_fourierAllCheck->setObjectName(QStringLiteral("fourierAll"));
    m_imageFeaturesAllCheck->setObjectName(QStringLiteral("imageFeaturesAll"));
    for (const auto& [text, page] : sections) {
        m_sectionSelector->addItem(text);
        m_stack->addWidget(page);
    }
    connect(m_sectionSelector, qOverload<int>(&QComboBox::currentIndexChanged), m_stack,
            &QStackedWidget::setCurrentIndex);
    connect(m_stack, &QStackedWidget::currentChanged, this,
            &CalculationsDockWidget::fitStackToCurrentPage);
    fitStackToCurrentPage();
    layout->addWidget(m_sectionSelector);
    layout->addWidget(m_stack);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(true);
    m_progressBar->hide();
    layout->addWidget(m_progressBar);

    connect(m_refineButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::refineFluorescence);
    connect(m_showRefinedCheck, &QCheckBox::toggled, this,
            &CalculationsDockWidget::traceDisplayChanged);
    connect(m_compensateButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::compensateCrosstalk);
    connect(m_fourierButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::computeFourierDeform);
    connect(m_imageFeaturesButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::computeImageFeatures);
    connect(m_dimRedButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::computeDimReduction);
    connect(m_saveReferenceButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::saveDimRedReference);
    connect(m_loadReferenceButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::loadDimRedReference);
    for (QComboBox* combo : {m_dimRedMethod, m_dimRedFitScope})
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this,
                &CalculationsDockWidget::updateDimRedModeUi);
    connect(m_clusterEpsAuto, &QCheckBox::toggled, m_clusterEps,
            [this](bool automatic) { m_clusterEps->setEnabled(!automatic); });
    connect(m_featureList, &QListWidget::itemChanged, this,
            &CalculationsDockWidget::updateDimRedCount);
}

CalculationsDockWidget::~CalculationsDockWidget() = default;

void CalculationsDockWidget::fitStackToCurrentPage() {
    // A stack is as large as its largest page; the hidden dimension-reduction
    // page would make the dock scroll both ways on a small screen.
    for (int i = 0; i < m_stack->count(); ++i) {
        const QSizePolicy::Policy policy =
            i == m_stack->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        m_stack->widget(i)->setSizePolicy(policy, policy);
    }
    m_stack->updateGeometry();
}

// ---- crosstalk compensation --------------------------------------------------------

QWidget* CalculationsDockWidget::buildCrosstalkPage() {
    auto* page = new QWidget(this);
    auto* layout = pageLayout(page);
    m_spilloverTable = new QTableWidget(page);
    m_spilloverTable->setObjectName(QStringLiteral("spilloverTable"));
    m_spilloverTable->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_spilloverTable);
    m_compensateAllCheck = new QCheckBox(tr("Apply to All Datasets"), page);
    m_compensateAllCheck->setObjectName(QStringLiteral("compensateAll"));
    layout->addWidget(m_compensateAllCheck);
    m_compensateButton = new QPushButton(tr("Compensate Crosstalk"), page);
    m_compensateButton->setEnabled(false);
    layout->addWidget(m_compensateButton);
    layout->addStretch(1);
    return page;
}

void CalculationsDockWidget::buildSpilloverTable(const std::vector<int>& channels) {
    const QSignalBlocker blocker(m_spilloverTable);
    const int n = static_cast<int>(channels.size());
    m_spilloverTable->clear();
    m_spilloverTable->setRowCount(n);
    m_spilloverTable->setColumnCount(n);
    QStringList headers;
    for (int channel : channels)
        headers << QStringLiteral("FL-%1").arg(channel);
    m_spilloverTable->setHorizontalHeaderLabels(headers);
    m_spilloverTable->setVerticalHeaderLabels(headers);
    for (int row = 0; row < n; ++row) {
        for (int column = 0; column < n; ++column) {
            const bool diagonal = row == column;
            auto* item =
                new QTableWidgetItem(diagonal ? QStringLiteral("1.0") : QStringLiteral("0.0"));
            item->setTextAlignment(Qt::AlignCenter);
            if (diagonal) {
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                item->setBackground(QColor(230, 230, 230));
            }
            m_spilloverTable->setItem(row, column, item);
        }
    }
    m_spilloverTable->resizeColumnsToContents();
    m_spilloverTable->resizeRowsToContents();
    m_spilloverTable->setMaximumHeight(m_spilloverTable->horizontalHeader()->height() +
                                       m_spilloverTable->verticalHeader()->length() + 4);
}

arma::Mat<double> CalculationsDockWidget::readSpilloverMatrix() const {
    const int n = m_spilloverTable->rowCount();
    arma::Mat<double> matrix(n, n, arma::fill::eye);
    for (int row = 0; row < n; ++row) {
        for (int column = 0; column < n; ++column) {
            const QTableWidgetItem* item = m_spilloverTable->item(row, column);
            if (row == column || !item)
                continue;
            bool ok = false;
            const double value = item->text().toDouble(&ok);
            if (ok)
                matrix(row, column) = value;
        }
    }
    return matrix;
}

void CalculationsDockWidget::restoreSpilloverMatrix(const arma::Mat<double>& matrix,
                                                    const std::vector<int>& channels) {
    const auto n = channels.size();
    if (matrix.n_rows != n || matrix.n_cols != n)
        return;
    const QSignalBlocker blocker(m_spilloverTable);
    for (int row = 0; row < static_cast<int>(n); ++row) {
        for (int column = 0; column < static_cast<int>(n); ++column) {
            if (row == column)
                continue;
            if (QTableWidgetItem* item = m_spilloverTable->item(row, column))
                item->setText(QString::number(matrix(row, column), 'g', 6));
        }
    }
}

bool CalculationsDockWidget::isCompensateAllChecked() const {
    return m_compensateAllCheck->isChecked();
}

// ---- fluorescence refinement -------------------------------------------------------

QWidget* CalculationsDockWidget::buildRefinementPage() {
    auto* page = new QWidget(this);
    auto* layout = pageLayout(page);
    auto* group = new QGroupBox(tr("Trace Filters"), page);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    const QString halfWindow = tr("Half-window size (full window = 2k+1)");
    struct RowSpec {
        TraceFilterRow* row;
        QString text;
        bool checked;
        int maximum;
        int k;
        QString checkTip;
        QString kTip;
    };
    const RowSpec rows[] = {
        {&m_hampel1, tr("Hampel 1"), true, 50, 5, {}, halfWindow},
        {&m_hampel2, tr("Hampel 2"), true, 50, 11, {}, halfWindow},
        {&m_median, tr("Median"), false, 50, 3,
         tr("Sliding median filter \u2014 removes impulse bursts shorter than k+1 samples"),
         halfWindow},
        {&m_rollingAvg, tr("Rolling Avg"), false, 50, 3, tr("Moving mean filter (window = 2k+1)"),
         halfWindow},
        {&m_savgol,
         tr("Savitzky-Golay"),
         true,
         20,
         3,
         {},
         tr("Half-window size (quadratic fit, window = 2k+1)")},
    };
    for (const RowSpec& spec : rows) {
        auto* line = new QHBoxLayout;
        spec.row->enabled = new QCheckBox(spec.text, group);
        spec.row->enabled->setChecked(spec.checked);
        if (!spec.checkTip.isEmpty())
            spec.row->enabled->setToolTip(spec.checkTip);
        spec.row->k = new QSpinBox(group);
        spec.row->k->setRange(1, spec.maximum);
        spec.row->k->setValue(spec.k);
        spec.row->k->setToolTip(spec.kTip);
        line->addWidget(spec.row->enabled);
        line->addWidget(new QLabel(tr("k:"), group));
        line->addWidget(spec.row->k);
        line->addStretch(1);
        groupLayout->addLayout(line);
    }
    layout->addWidget(group);

    auto* thresholdRow = new QHBoxLayout;
    thresholdRow->addWidget(new QLabel(tr("FL max threshold:"), page));
    m_flMaxThreshold = new QDoubleSpinBox(page);
    m_flMaxThreshold->setRange(0.0, 10000.0);
    m_flMaxThreshold->setDecimals(0);
    m_flMaxThreshold->setValue(400.0);
    m_flMaxThreshold->setToolTip(tr("Minimum fl_max value for velocity estimation events"));
    thresholdRow->addWidget(m_flMaxThreshold);
    thresholdRow->addStretch(1);
    layout->addLayout(thresholdRow);

    m_refineAllCheck = new QCheckBox(tr("Apply to All Datasets"), page);
    m_refineAllCheck->setObjectName(QStringLiteral("refineAll"));
    layout->addWidget(m_refineAllCheck);
    m_refineButton = new QPushButton(tr("Refine Fluorescence"), page);
    m_refineButton->setEnabled(false);
    layout->addWidget(m_refineButton);
    m_showRefinedCheck = new QCheckBox(tr("Show Refined Trace"), page);
    m_showRefinedCheck->setChecked(true);
    m_showRefinedCheck->setToolTip(tr("Toggle between refined and original median trace display"));
    layout->addWidget(m_showRefinedCheck);
    layout->addStretch(1);
    return page;
}

FLRefineSettings CalculationsDockWidget::readRefineSettings() const {
    FLRefineSettings settings;
    settings.hampel1Enabled = m_hampel1.enabled->isChecked();
    settings.hampel1K = m_hampel1.k->value();
    settings.hampel1Threshold = 3.0f;
    settings.hampel2Enabled = m_hampel2.enabled->isChecked();
    settings.hampel2K = m_hampel2.k->value();
    settings.hampel2Threshold = 3.0f;
    settings.medianEnabled = m_median.enabled->isChecked();
    settings.medianK = m_median.k->value();
    settings.rollingAvgEnabled = m_rollingAvg.enabled->isChecked();
    settings.rollingAvgK = m_rollingAvg.k->value();
    settings.savgolEnabled = m_savgol.enabled->isChecked();
    settings.savgolK = m_savgol.k->value();
    settings.flMaxThreshold = m_flMaxThreshold->value();
    return settings;
}

bool CalculationsDockWidget::isRefineAllChecked() const {
    return m_refineAllCheck->isChecked();
}

bool CalculationsDockWidget::isShowRefinedTrace() const {
    return m_showRefinedCheck->isChecked();
}

// ---- Fourier deformation and image features ----------------------------------------

QWidget* CalculationsDockWidget::buildDescribedPage(const QString& description, QCheckBox*& allBox,
                                                    QPushButton*& button,
                                                    const QString& buttonText) {
    auto* page = new QWidget(this);
    auto* layout = pageLayout(page);
    layout->addWidget(greyDescription(description, page));
    allBox = new QCheckBox(tr("Apply to All Datasets"), page);
    layout->addWidget(allBox);
    button = new QPushButton(buttonText, page);
    button->setEnabled(false);
    layout->addWidget(button);
    layout->addStretch(1);
    return page;
}

bool CalculationsDockWidget::isFourierAllChecked() const {
    return m_fourierAllCheck && m_fourierAllCheck->isChecked();
}

bool CalculationsDockWidget::isImageFeaturesAllChecked() const {
    return m_imageFeaturesAllCheck && m_imageFeaturesAllCheck->isChecked();
}

// ---- setters -----------------------------------------------------------------------

void CalculationsDockWidget::setActiveDataset(const DatasetEntry* entry) {
    m_refineButton->setEnabled(entry != nullptr);
    if (!entry) {
        // Nothing of the dataset shown before may stay: its conditions,
        // or a report of its modulus one could still ask for.
        m_compensateButton->setEnabled(false);
        m_fourierButton->setEnabled(false);
        m_imageFeaturesButton->setEnabled(false);
        clearEmodulusPage();
    }
    populateDimRedFeatures(entry);
}

void CalculationsDockWidget::refreshDimRedFeatures(const DatasetEntry* entry) {
    populateDimRedFeatures(entry);
}

void CalculationsDockWidget::setRefineEnabled(bool enabled) {
    m_refineButton->setEnabled(enabled);
}

void CalculationsDockWidget::setCompensateEnabled(bool enabled) {
    m_compensateButton->setEnabled(enabled);
}

void CalculationsDockWidget::setCompensationVisible(bool visible) {
    setCompensateEnabled(visible);
}

void CalculationsDockWidget::setFourierEnabled(bool enabled) {
    if (m_fourierButton)
        m_fourierButton->setEnabled(enabled);
}

void CalculationsDockWidget::setImageFeaturesEnabled(bool enabled) {
    if (m_imageFeaturesButton)
        m_imageFeaturesButton->setEnabled(enabled);
}

void CalculationsDockWidget::setExpertMode(bool on) {
    m_expertMode = on;
    std::vector<int> rows{2};
    for (const QString& text : {tr("Deformation from Fourier Decomposition"),
                                tr("Image Feature Extraction"), tr("Dimension Reduction")}) {
        const int row = m_sectionSelector->findText(text);
        if (row >= 0)
            rows.push_back(row);
    }
    auto* view = qobject_cast<QListView*>(m_sectionSelector->view());
    for (int row : rows) {
        setItemEnabled(m_sectionSelector, row, on);
        if (view)
            view->setRowHidden(row, !on);
        if (!on && m_sectionSelector->currentIndex() == row)
            m_sectionSelector->setCurrentIndex(0);
    }
    // The selector as wide as the sections one can choose: a hidden
    // section's long name would widen the dock past a small screen.
    const QFontMetrics metrics = m_sectionSelector->fontMetrics();
    int longest = 0;
    for (int row = 0; row < m_sectionSelector->count(); ++row)
        if (on || std::find(rows.begin(), rows.end(), row) == rows.end())
            longest =
                std::max(longest, metrics.horizontalAdvance(m_sectionSelector->itemText(row)));
    // An explicit minimum counts before the box's own hint, which would
    // hold every item.
    QStyleOptionComboBox option;
    option.initFrom(m_sectionSelector);
    const QSize needed = m_sectionSelector->style()->sizeFromContents(
        QStyle::CT_ComboBox, &option, QSize(longest, metrics.height()), m_sectionSelector);
    m_sectionSelector->setMinimumWidth(on ? 0 : needed.width());
}

} // namespace Quorvex3
