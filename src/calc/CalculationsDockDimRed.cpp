// The dimension-reduction page of the calculations dock.

#include "calc/CalculationsDockWidget.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSet>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

const QString kNoReference = QStringLiteral("No reference fitted or loaded yet.");
constexpr int kUseReference = 2;
constexpr int kUmap = 1;

int itemData(const QComboBox* combo, int fallback) {
    return combo ? combo->currentData().toInt() : fallback;
}

} // namespace

QWidget* CalculationsDockWidget::buildDimRedPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);

    auto* description = new QLabel(tr("Projects the selected features onto two components, "
                                      "stored as Dimension 1 and Dimension 2."),
                                   page);
    description->setWordWrap(true);
    description->setStyleSheet(QStringLiteral("color: gray; font-size: 10px;"));
    layout->addWidget(description);

    auto* methodRow = new QHBoxLayout;
    methodRow->addWidget(new QLabel(tr("Method:"), page));
    m_dimRedMethod = new QComboBox(page);
    m_dimRedMethod->setObjectName(QStringLiteral("dimRedMethod"));
    m_dimRedMethod->addItem(tr("PCA (linear)"), 0);
    m_dimRedMethod->addItem(tr("UMAP (non-linear)"), 1);
    m_dimRedMethod->setToolTip(
        tr("PCA maximises variance and is deterministic. UMAP preserves local neighbourhoods "
           "and is better at exposing subpopulations, but is stochastic and its inter-cluster "
           "distances carry no meaning."));
    methodRow->addWidget(m_dimRedMethod, 1);
    layout->addLayout(methodRow);

    auto* scopeForm = new QFormLayout;
    scopeForm->setContentsMargins(0, 0, 0, 0);
    m_dimRedFitScope = new QComboBox(page);
    m_dimRedFitScope->setObjectName(QStringLiteral("dimRedFitScope"));
    m_dimRedFitScope->addItem(tr("This dataset"), 0);
    m_dimRedFitScope->addItem(tr("All datasets (pooled)"), 1);
    m_dimRedFitScope->addItem(tr("Use reference"), kUseReference);
    m_dimRedFitScope->setToolTip(
        tr("Which events define the axes. Fitting on this dataset keeps the axes driven by "
           "within-dataset structure; pooling lets differences between measurements shape them, "
           "which is what makes datasets comparable but can make the first component track the "
           "measurement rather than the biology. Use reference fits nothing and projects onto "
           "the axes of the reference just fitted or loaded, using its features and scaling."));
    scopeForm->addRow(tr("Fit on:"), m_dimRedFitScope);
    m_dimRedApplyScope = new QComboBox(page);
    m_dimRedApplyScope->setObjectName(QStringLiteral("dimRedApplyScope"));
    m_dimRedApplyScope->addItem(tr("This dataset"), 0);
    m_dimRedApplyScope->addItem(tr("All datasets"), 1);
    m_dimRedApplyScope->setToolTip(
        tr("Which datasets receive Dimension 1 / Dimension 2. All of them are projected onto the "
           "same fitted axes, so their values are comparable."));
    scopeForm->addRow(tr("Apply to:"), m_dimRedApplyScope);
    layout->addLayout(scopeForm);

    m_umapGroup = new QGroupBox(tr("UMAP Parameters"), page);
    auto* umapForm = new QFormLayout(m_umapGroup);
    umapForm->setContentsMargins(4, 4, 4, 4);
    m_umapNeighbours = new QSpinBox(m_umapGroup);
    m_umapNeighbours->setRange(2, 200);
    m_umapNeighbours->setValue(15);
    m_umapNeighbours->setToolTip(
        tr("Size of the neighbourhood each event is fitted to. Small values chase fine local "
           "detail; large values favour the overall shape."));
    umapForm->addRow(tr("Neighbours:"), m_umapNeighbours);
    m_umapMinDist = new QDoubleSpinBox(m_umapGroup);
    m_umapMinDist->setDecimals(2);
    m_umapMinDist->setSingleStep(0.05);
    m_umapMinDist->setRange(0.0, 0.99);
    m_umapMinDist->setValue(0.1);
    m_umapMinDist->setToolTip(tr("How tightly events may pack together. Lower values give "
                                 "denser, more clearly separated clumps."));
    umapForm->addRow(tr("Min. distance:"), m_umapMinDist);
    m_umapEpochs = new QSpinBox(m_umapGroup);
    m_umapEpochs->setRange(0, 5000);
    m_umapEpochs->setValue(0);
    m_umapEpochs->setSpecialValueText(tr("Auto"));
    m_umapEpochs->setToolTip(
        tr("Optimisation epochs. Auto uses 500 below 10,000 events and 200 above."));
    umapForm->addRow(tr("Epochs:"), m_umapEpochs);
    m_umapInit = new QComboBox(m_umapGroup);
    m_umapInit->addItem(tr("Spectral"), 0);
    m_umapInit->addItem(tr("Random"), 1);
    m_umapInit->setToolTip(
        tr("Where the optimisation starts. Spectral lays the events out along the neighbour "
           "graph's principal axes first, which makes the coarse arrangement of the clusters "
           "follow the data rather than the seed. Random starts from noise: local structure "
           "comes out the same, the overall layout does not. Spectral falls back to random on a "
           "graph it cannot decompose."));
    umapForm->addRow(tr("Initialisation:"), m_umapInit);
    m_umapSeed = new QSpinBox(m_umapGroup);
    m_umapSeed->setRange(0, 1000000);
    m_umapSeed->setValue(42);
    m_umapSeed->setToolTip(
        tr("UMAP is stochastic. The same seed on the same data reproduces the same embedding; "
           "changing it gives a different \u2014 equally valid \u2014 one."));
    umapForm->addRow(tr("Seed:"), m_umapSeed);
    m_umapGroup->hide();
    layout->addWidget(m_umapGroup);

    m_featureGroup = new QGroupBox(tr("Input Features"), page);
    auto* featureLayout = new QVBoxLayout(m_featureGroup);
    featureLayout->setContentsMargins(4, 4, 4, 4);
    m_featureList = new QListWidget(m_featureGroup);
    m_featureList->setObjectName(QStringLiteral("dimRedFeatureList"));
    m_featureList->setToolTip(tr("Features used as input. Events with a NaN or Inf value in any "
                                 "selected feature are skipped."));
    featureLayout->addWidget(m_featureList);
    auto* selectRow = new QHBoxLayout;
    auto* selectAll = new QPushButton(tr("Select All"), m_featureGroup);
    auto* selectNone = new QPushButton(tr("Select None"), m_featureGroup);
    selectRow->addWidget(selectAll);
    selectRow->addWidget(selectNone);
    selectRow->addStretch(1);
    featureLayout->addLayout(selectRow);
    layout->addWidget(m_featureGroup);
    for (auto [button, state] : {std::pair{selectAll, Qt::Checked},
                                 std::pair{selectNone, Qt::Unchecked}}) {
        connect(button, &QPushButton::clicked, this, [this, state = state] {
            {
                const QSignalBlocker blocker(m_featureList);
                for (int row = 0; row < m_featureList->count(); ++row)
                    m_featureList->item(row)->setCheckState(state);
            }
            updateDimRedCount();
        });
    }

    m_clusterGroup = new QGroupBox(tr("Label clusters (DBSCAN)"), page);
    m_clusterGroup->setCheckable(true);
    m_clusterGroup->setChecked(false);
    m_clusterGroup->setToolTip(
        tr("Assign each event a cluster id from the embedding, stored as the feature \"DR "
           "cluster ID\". Events in no cluster are left unlabelled. When a reference is applied, "
           "its own clusters are used so the ids stay consistent across datasets."));
    auto* clusterForm = new QFormLayout(m_clusterGroup);
    clusterForm->setContentsMargins(4, 4, 4, 4);
    m_clusterMinPts = new QSpinBox(m_clusterGroup);
    m_clusterMinPts->setRange(2, 500);
    m_clusterMinPts->setValue(10);
    m_clusterMinPts->setToolTip(
        tr("Minimum neighbours for a point to seed a cluster. Larger values give fewer, denser "
           "clusters and more unlabelled events."));
    clusterForm->addRow(tr("Min. points:"), m_clusterMinPts);
    auto* epsRow = new QHBoxLayout;
    epsRow->setContentsMargins(0, 0, 0, 0);
    m_clusterEpsAuto = new QCheckBox(tr("Auto"), m_clusterGroup);
    m_clusterEpsAuto->setChecked(true);
    m_clusterEpsAuto->setToolTip(tr("Choose the neighbourhood radius from the data (the knee of "
                                    "the k-distance curve). Uncheck to set it by hand."));
    m_clusterEps = new QDoubleSpinBox(m_clusterGroup);
    m_clusterEps->setRange(0.0, 1000000.0);
    m_clusterEps->setDecimals(3);
    m_clusterEps->setValue(0.0);
    m_clusterEps->setSpecialValueText(QStringLiteral("\u2014"));
    m_clusterEps->setEnabled(false);
    m_clusterEps->setToolTip(tr("Neighbourhood radius in embedding units. Two events closer than "
                                "this are neighbours. Only used when Auto is off."));
    epsRow->addWidget(m_clusterEpsAuto);
    epsRow->addWidget(m_clusterEps, 1);
    clusterForm->addRow(tr("Radius (eps):"), epsRow);
    layout->addWidget(m_clusterGroup);

    m_dimRedButton = new QPushButton(tr("Compute Dimension Reduction"), page);
    m_dimRedButton->setEnabled(false);
    layout->addWidget(m_dimRedButton);

    auto* referenceGroup = new QGroupBox(tr("Reference"), page);
    auto* referenceLayout = new QVBoxLayout(referenceGroup);
    referenceLayout->setContentsMargins(4, 4, 4, 4);
    auto* referenceRow = new QHBoxLayout;
    m_saveReferenceButton = new QPushButton(tr("Save Reference\u2026"), referenceGroup);
    m_saveReferenceButton->setEnabled(false);
    m_saveReferenceButton->setToolTip(tr("Save the fitted projection for reuse."));
    m_loadReferenceButton = new QPushButton(tr("Load Reference\u2026"), referenceGroup);
    m_loadReferenceButton->setToolTip(
        tr("Load a saved projection. Apply it with Fit on: Use reference."));
    referenceRow->addWidget(m_saveReferenceButton);
    referenceRow->addWidget(m_loadReferenceButton);
    referenceLayout->addLayout(referenceRow);
    m_referenceInfo = new QLabel(kNoReference, referenceGroup);
    m_referenceInfo->setObjectName(QStringLiteral("dimRedReferenceInfo"));
    m_referenceInfo->setWordWrap(true);
    m_referenceInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_referenceInfo->setStyleSheet(QStringLiteral("color: gray;"));
    QFont infoFont = m_referenceInfo->font();
    infoFont.setPixelSize(10);
    m_referenceInfo->setFont(infoFont);
    auto* scroll = new QScrollArea(referenceGroup);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_referenceInfo);
    scroll->setMaximumHeight(2 * QFontMetrics(infoFont).lineSpacing() + 6);
    referenceLayout->addWidget(scroll);
    layout->addWidget(referenceGroup);

    setUseReferenceSelectable(false);
    return page;
}

int CalculationsDockWidget::dimRedMethod() const {
    return itemData(m_dimRedMethod, 0);
}

int CalculationsDockWidget::dimRedFitScope() const {
    return itemData(m_dimRedFitScope, 0);
}

int CalculationsDockWidget::dimRedApplyScope() const {
    return itemData(m_dimRedApplyScope, 0);
}

bool CalculationsDockWidget::dimRedClusterEnabled() const {
    return m_clusterGroup && m_clusterGroup->isChecked();
}

int CalculationsDockWidget::dimRedClusterMinPts() const {
    return m_clusterMinPts ? m_clusterMinPts->value() : 10;
}

bool CalculationsDockWidget::dimRedClusterEpsAuto() const {
    return !m_clusterEpsAuto || m_clusterEpsAuto->isChecked();
}

double CalculationsDockWidget::dimRedClusterEps() const {
    return m_clusterEps ? m_clusterEps->value() : 0.0;
}

UmapParams CalculationsDockWidget::umapParams() const {
    UmapParams params;
    params.n_neighbors = m_umapNeighbours->value();
    params.min_dist = m_umapMinDist->value();
    params.n_epochs = m_umapEpochs->value();
    params.seed = static_cast<uint64_t>(m_umapSeed->value());
    params.init = m_umapInit->currentData().toInt();
    return params;
}

std::vector<std::string> CalculationsDockWidget::selectedDimRedFeatures() const {
    std::vector<std::string> names;
    for (int row = 0; row < m_featureList->count(); ++row) {
        const QListWidgetItem* item = m_featureList->item(row);
        if (item->checkState() == Qt::Checked)
            names.push_back(item->data(Qt::UserRole).toString().toStdString());
    }
    return names;
}

void CalculationsDockWidget::populateDimRedFeatures(const DatasetEntry* entry) {
    QSet<QString> checked;
    for (int row = 0; row < m_featureList->count(); ++row) {
        const QListWidgetItem* item = m_featureList->item(row);
        if (item->checkState() == Qt::Checked)
            checked.insert(item->data(Qt::UserRole).toString());
    }
    {
        const QSignalBlocker blocker(m_featureList);
        m_featureList->clear();
        if (entry && entry->reader) {
            const RTDCReader& reader = *entry->reader;
            for (const std::string& name : reader.getAvailableFeatures()) {
                // The embedding's own output never feeds the next fit.
                if (!RTDCReader::isScalarFeature(name) || name == "dim_1" || name == "dim_2")
                    continue;
                const QString key = QString::fromStdString(name);
                auto* item = new QListWidgetItem(
                    QString::fromStdString(reader.getFeatureLabel(name)), m_featureList);
                item->setData(Qt::UserRole, key);
                item->setToolTip(key);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(checked.contains(key) ? Qt::Checked : Qt::Unchecked);
            }
        }
    }
    updateDimRedCount();
}

void CalculationsDockWidget::updateDimRedModeUi() {
    const bool useReference = dimRedFitScope() == kUseReference;
    const bool editable = !useReference && !m_dimRedBusy;
    if (m_dimRedMethod)
        m_dimRedMethod->setEnabled(editable);
    if (m_featureGroup)
        m_featureGroup->setEnabled(editable);
    if (m_clusterGroup)
        m_clusterGroup->setEnabled(editable);
    if (m_umapGroup)
        m_umapGroup->setVisible(!useReference && dimRedMethod() == kUmap);
    updateDimRedCount();
}

void CalculationsDockWidget::updateDimRedCount() {
    if (!m_dimRedButton)
        return;
    if (dimRedFitScope() == kUseReference) {
        m_dimRedButton->setEnabled(m_hasReference && !m_dimRedBusy);
        return;
    }
    int checkedCount = 0;
    for (int row = 0; row < m_featureList->count(); ++row)
        checkedCount += m_featureList->item(row)->checkState() == Qt::Checked ? 1 : 0;
    m_dimRedButton->setEnabled(checkedCount >= 2 && !m_dimRedBusy);
}

void CalculationsDockWidget::setDimRedBusy(bool busy) {
    m_dimRedBusy = busy;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_featureList, m_dimRedFitScope, m_dimRedApplyScope, m_umapGroup,
             m_loadReferenceButton})
        widget->setEnabled(!busy);
    m_saveReferenceButton->setEnabled(!busy && m_hasReference);
    updateDimRedModeUi();
}

void CalculationsDockWidget::setDimRedReferenceInfo(const QString& text, bool referencePresent) {
    m_hasReference = referencePresent;
    m_referenceInfo->setText(text.isEmpty() ? kNoReference : text);
    m_saveReferenceButton->setEnabled(referencePresent && !m_dimRedBusy);
    setUseReferenceSelectable(referencePresent);
    updateDimRedCount();
}

void CalculationsDockWidget::setUseReferenceSelectable(bool selectable) {
    const int row = m_dimRedFitScope->findData(kUseReference);
    if (row < 0)
        return;
    if (auto* model = qobject_cast<QStandardItemModel*>(m_dimRedFitScope->model()))
        if (QStandardItem* item = model->item(row))
            item->setEnabled(selectable);
    if (!selectable && m_dimRedFitScope->currentIndex() == row)
        m_dimRedFitScope->setCurrentIndex(0);
}

} // namespace Quorvex3
