// The window's shell: construction of the docks, tabs and menus, the
// categories, the controls each tab shows, and closing.
#include "stats/StatisticalEvalWindow.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "stats/CategoryPanel.h"
#include "stats/GroupComparisonPlot.h"
#include "util/WindowUtil.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFrame>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qwt_plot.h>

#include <algorithm>
#include <limits>
#include <set>

namespace Quorvex3 {

namespace {

/// A label above its control, without margins, in its own widget: the
/// control keeps its whole width (every choice readable) without widening
/// the dock by the label's.
QWidget* labelledRow(const QString& label, QWidget* control, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* text = new QLabel(label, row);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addWidget(control);
    return row;
}

QTableWidget* resultTable(const char* name, QWidget* parent) {
    auto* table = new QTableWidget(parent);
    table->setObjectName(QLatin1String(name));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

/// A scroll area that resizes its widget, holding a container whose
/// vertical layout aligns its items to the top.
QScrollArea* plotArea(QWidget*& container, QVBoxLayout*& layout, const char* name,
                      QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setObjectName(QLatin1String(name));
    area->setWidgetResizable(true);
    container = new QWidget(area);
    layout = new QVBoxLayout(container);
    layout->setAlignment(Qt::AlignTop);
    area->setWidget(container);
    return area;
}

/// A scroll area that scrolls only vertically: its widget always takes the
/// viewport's width, so the area asks for at least the widget's minimum
/// width (and `floor`) besides its vertical scroll bar. The dock holding it
/// then never becomes narrower than its contents.
class VerticalScrollArea : public QScrollArea {
public:
    VerticalScrollArea(int floor, QWidget* parent) : QScrollArea(parent), m_floor(floor) {
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }

    QSize minimumSizeHint() const override {
        QSize size = QScrollArea::minimumSizeHint();
        if (widget())
            size.setWidth(std::max(m_floor, widget()->minimumSizeHint().width() +
                                                verticalScrollBar()->sizeHint().width() +
                                                2 * frameWidth()));
        return size;
    }

    // The widget's minimum width changes after construction (style sheet
    // polish, panels added): the dock must ask again.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }

private:
    int m_floor;
};

} // namespace

StatisticalEvalWindow::StatisticalEvalWindow(const DatasetStore* store, QWidget* parent)
    : QMainWindow(parent), m_store(store) {
    setWindowTitle(tr("Statistical Evaluation"));
    // The main window owns the window and deletes it later, after its
    // closing was reported; Qt must not delete it inside the close.
    setAttribute(Qt::WA_DeleteOnClose, false);

    buildCategoriesDock();
    buildSettingsDock();
    buildTabs();
    buildMenus();
    // Inside a small screen, and never narrower than the docks and tabs
    // need.
    WindowUtil::resizeInsideScreen(this, preferredSize());
    // The docks start as narrow as their contents allow: the results beside
    // them need every pixel (six categories' columns with whole words).
    resizeDocks({m_categoriesDock, m_settingsDock}, {1, 1}, Qt::Horizontal);
    onTabChanged(0);
}

QSize StatisticalEvalWindow::preferredSize() {
    // A 1280 x 720 screen's whole width: the results table of six
    // categories fits beside the docks only so.
    return {1280, 720};
}

StatisticalEvalWindow::~StatisticalEvalWindow() = default;

QColor StatisticalEvalWindow::paletteColor(int panelCount) {
    // The group plots' palette, so a category keeps its colour in them.
    return categoryPaletteColor(panelCount);
}

void StatisticalEvalWindow::buildCategoriesDock() {
    m_categoriesDock = new QDockWidget(tr("Categories"), this);
    m_categoriesDock->setObjectName(QStringLiteral("categoriesDock"));
    m_categoriesDock->setFeatures(QDockWidget::DockWidgetMovable |
                                  QDockWidget::DockWidgetFloatable);
    auto* content = new QWidget(m_categoriesDock);
    auto* layout = new QVBoxLayout(content);
    // Narrow margins: the panels' own button rows need the width.
    layout->setContentsMargins(2, 4, 2, 4);
    auto* addButton = new QPushButton(tr("Add Category"), content);
    addButton->setObjectName(QStringLiteral("addCategoryButton"));
    layout->addWidget(addButton);

    // At least 280 wide, and as wide as a panel's buttons need: the panels
    // follow the dock's width and only their column scrolls.
    auto* categoryScrollArea = new VerticalScrollArea(280, content);
    categoryScrollArea->setObjectName(QStringLiteral("categoryScrollArea"));
    m_categoryContainer = new QWidget(categoryScrollArea);
    m_categoryContainer->setObjectName(QStringLiteral("categoryContainer"));
    m_categoryLayout = new QVBoxLayout(m_categoryContainer);
    // The panels bring margins of their own.
    m_categoryLayout->setContentsMargins(0, 0, 0, 0);
    m_categoryLayout->setAlignment(Qt::AlignTop);
    categoryScrollArea->setWidget(m_categoryContainer);
    layout->addWidget(categoryScrollArea);
    m_categoriesDock->setWidget(content);
    addDockWidget(Qt::LeftDockWidgetArea, m_categoriesDock);

    connect(addButton, &QPushButton::clicked, this, &StatisticalEvalWindow::onAddCategory);

    createCategoryPanel(tr("Baseline"));
    createCategoryPanel(tr("Condition 1"));
}

void StatisticalEvalWindow::buildSettingsDock() {
    m_settingsDock = new QDockWidget(tr("Analysis Settings"), this);
    m_settingsDock->setObjectName(QStringLiteral("settingsDock"));
    m_settingsDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    // The settings and the description are taller than a small screen: they
    // scroll vertically, never sideways (the labels wrap, the combos shrink).
    auto* scroll = new VerticalScrollArea(0, m_settingsDock);
    scroll->setObjectName(QStringLiteral("settingsScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("settingsContent"));
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(2, 4, 2, 4);

    layout->addWidget(new QLabel(tr("Features to compare:"), content));
    m_featureList = new QListWidget(content);
    m_featureList->setObjectName(QStringLiteral("featureList"));
    m_featureList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_featureList->setMinimumHeight(120);
    // Long feature labels are elided in the narrow dock (the tool tip holds
    // the label) rather than scrolled sideways.
    m_featureList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_featureList->setTextElideMode(Qt::ElideRight);
    layout->addWidget(m_featureList);

    m_summaryCombo = new QComboBox(content);
    m_summaryCombo->setObjectName(QStringLiteral("summaryCombo"));
    m_summaryCombo->addItems({tr("Median"), tr("Mean"), tr("Standard Deviation"),
                              tr("Coefficient of Variation"), tr("IQR")});
    m_summaryRow = labelledRow(tr("Dataset summary:"), m_summaryCombo, content);
    m_summaryRow->setObjectName(QStringLiteral("summaryRow"));
    layout->addWidget(m_summaryRow);

    m_replicatesCheck = new QCheckBox(tr("Replicates included"), content);
    m_replicatesCheck->setObjectName(QStringLiteral("replicatesCheck"));
    layout->addWidget(m_replicatesCheck);

    m_autoDetectButton = new QPushButton(tr("Auto-detect IDs"), content);
    m_autoDetectButton->setObjectName(QStringLiteral("autoDetectButton"));
    m_autoDetectButton->hide();
    layout->addWidget(m_autoDetectButton);

    m_testSettingsWidget = new QWidget(content);
    m_testSettingsWidget->setObjectName(QStringLiteral("testSettingsWidget"));
    auto* testLayout = new QVBoxLayout(m_testSettingsWidget);
    testLayout->setContentsMargins(0, 0, 0, 0);
    m_designCombo = new QComboBox(m_testSettingsWidget);
    m_designCombo->setObjectName(QStringLiteral("designCombo"));
    m_designCombo->addItems({tr("Independent / No matching"), tr("Repeated measures / Matched")});
    testLayout->addWidget(labelledRow(tr("Design:"), m_designCombo, m_testSettingsWidget));
    m_connectionLinesCheck = new QCheckBox(tr("Show connection lines"), m_testSettingsWidget);
    m_connectionLinesCheck->setObjectName(QStringLiteral("connectionLinesCheck"));
    m_connectionLinesCheck->hide();
    testLayout->addWidget(m_connectionLinesCheck);
    m_alphaSpin = new QDoubleSpinBox(m_testSettingsWidget);
    m_alphaSpin->setObjectName(QStringLiteral("alphaSpin"));
    m_alphaSpin->setRange(0.001, 0.5);
    m_alphaSpin->setSingleStep(0.01);
    m_alphaSpin->setDecimals(3);
    m_alphaSpin->setValue(0.05);
    testLayout->addWidget(
        labelledRow(QStringLiteral("Significance level α:"), m_alphaSpin, m_testSettingsWidget));
    m_correctionCombo = new QComboBox(m_testSettingsWidget);
    m_correctionCombo->setObjectName(QStringLiteral("correctionCombo"));
    m_correctionCombo->addItems(
        {tr("Bonferroni"), tr("Holm-Bonferroni"), tr("None (discouraged)")});
    testLayout->addWidget(labelledRow(tr("Correction:"), m_correctionCombo, m_testSettingsWidget));
    layout->addWidget(m_testSettingsWidget);

    m_runAnalysisButton = new QPushButton(tr("Run Analysis"), content);
    m_runAnalysisButton->setObjectName(QStringLiteral("runAnalysisButton"));
    layout->addWidget(m_runAnalysisButton);
    m_runROCButton = new QPushButton(tr("Run ROC Analysis"), content);
    m_runROCButton->setObjectName(QStringLiteral("runROCButton"));
    layout->addWidget(m_runROCButton);

    m_distributionModeCombo = new QComboBox(content);
    m_distributionModeCombo->setObjectName(QStringLiteral("distributionModeCombo"));
    m_distributionModeCombo->addItems({tr("Per dataset"), tr("Per category (averaged)")});
    m_distributionModeRow = labelledRow(tr("Mode:"), m_distributionModeCombo, content);
    m_distributionModeRow->setObjectName(QStringLiteral("distributionModeRow"));
    layout->addWidget(m_distributionModeRow);
    m_updateDistributionsButton = new QPushButton(tr("Update Distributions"), content);
    m_updateDistributionsButton->setObjectName(QStringLiteral("updateDistributionsButton"));
    layout->addWidget(m_updateDistributionsButton);

    m_testLabel = new QLabel(content);
    m_testLabel->setObjectName(QStringLiteral("testLabel"));
    m_testLabel->setWordWrap(true);
    layout->addWidget(m_testLabel);
    m_descriptionLabel = new QLabel(content);
    m_descriptionLabel->setObjectName(QStringLiteral("descriptionLabel"));
    m_descriptionLabel->setWordWrap(true);
    m_descriptionLabel->setStyleSheet(QStringLiteral(
        "QLabel { color: #555; font-size: 11px; background: #f5f5f5; border: 1px solid #ddd; "
        "border-radius: 4px; padding: 6px; }"));
    layout->addWidget(m_descriptionLabel);
    layout->addStretch();
    for (QComboBox* combo :
         {m_summaryCombo, m_designCombo, m_correctionCombo, m_distributionModeCombo})
        WindowUtil::fitComboToItems(combo);
    scroll->setWidget(content);
    m_settingsDock->setWidget(scroll);
    addDockWidget(Qt::RightDockWidgetArea, m_settingsDock);

    connect(m_autoDetectButton, &QPushButton::clicked, this, [this] {
        autoDetectNumberIds();
        onCategoryChanged();
    });
    connect(m_connectionLinesCheck, &QCheckBox::toggled, this,
            [this](bool) { onRunAnalysis(); });
    connect(m_replicatesCheck, &QCheckBox::toggled, this,
            &StatisticalEvalWindow::onReplicatesToggled);
    connect(m_designCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &StatisticalEvalWindow::onDesignChanged);
    connect(m_runAnalysisButton, &QPushButton::clicked, this,
            &StatisticalEvalWindow::onRunAnalysis);
    connect(m_runROCButton, &QPushButton::clicked, this, &StatisticalEvalWindow::onRunROC);
    connect(m_updateDistributionsButton, &QPushButton::clicked, this,
            &StatisticalEvalWindow::onRunDistribution);
    for (QComboBox* combo : {m_summaryCombo, m_correctionCombo, m_distributionModeCombo})
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this](int) { updateDescription(); });
    connect(m_alphaSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double) { updateDescription(); });
}

void StatisticalEvalWindow::buildTabs() {
    m_tabWidget = new QTabWidget(this);
    m_tabWidget->setObjectName(QStringLiteral("tabWidget"));
    // All three titles stay in view: the tab bar's width becomes the central
    // widget's minimum, and the docks give way to it.
    m_tabWidget->setUsesScrollButtons(false);
    m_tabWidget->setElideMode(Qt::ElideNone);
    setCentralWidget(m_tabWidget);

    auto* comparison = new QSplitter(Qt::Vertical, m_tabWidget);
    m_resultsTable = resultTable("resultsTable", comparison);
    m_resultsTable->setMaximumHeight(200);
    QScrollArea* groupPlots = plotArea(m_groupPlotContainer, m_groupPlotLayout,
                                       "groupPlotScrollArea", comparison);
    comparison->addWidget(m_resultsTable);
    comparison->addWidget(groupPlots);
    comparison->setStretchFactor(0, 1);
    comparison->setStretchFactor(1, 3);
    m_tabWidget->addTab(comparison, tr("Statistical Comparison"));

    auto* roc = new QSplitter(Qt::Vertical, m_tabWidget);
    m_rocTable = resultTable("rocTable", roc);
    QScrollArea* rocPlots =
        plotArea(m_rocPlotContainer, m_rocPlotLayout, "rocPlotScrollArea", roc);
    roc->addWidget(m_rocTable);
    roc->addWidget(rocPlots);
    roc->setStretchFactor(0, 1);
    roc->setStretchFactor(1, 2);
    m_tabWidget->addTab(roc, tr("ROC Analysis"));

    QScrollArea* distributions = plotArea(m_distributionContainer, m_distributionLayout,
                                          "distributionScrollArea", m_tabWidget);
    m_tabWidget->addTab(distributions, tr("Distribution Explorer"));

    connect(m_tabWidget, &QTabWidget::currentChanged, this, &StatisticalEvalWindow::onTabChanged);
}

void StatisticalEvalWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* closeAction = file->addAction(tr("&Close"));
    closeAction->setShortcut(QKeySequence::Close);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);

    QMenu* exports = menuBar()->addMenu(tr("&Export"));
    connect(exports->addAction(tr("Export Group &Plots...")), &QAction::triggered, this,
            &StatisticalEvalWindow::exportPlots);
    connect(exports->addAction(tr("Export Group &Table...")), &QAction::triggered, this,
            &StatisticalEvalWindow::exportTable);
    exports->addSeparator();
    connect(exports->addAction(tr("Export &ROC Plots...")), &QAction::triggered, this,
            &StatisticalEvalWindow::exportROCPlots);
    connect(exports->addAction(tr("Export ROC Ta&ble...")), &QAction::triggered, this,
            &StatisticalEvalWindow::exportROCTable);
    connect(exports->addAction(tr("Export ROC Curve &Data...")), &QAction::triggered, this,
            &StatisticalEvalWindow::exportROCData);
    exports->addSeparator();
    connect(exports->addAction(tr("Export &Distribution Plots...")), &QAction::triggered, this,
            &StatisticalEvalWindow::exportDistributionPlots);

    WindowUtil::addKeepOnTopAction(this);
}

// ---- categories ------------------------------------------------------------

CategoryPanel* StatisticalEvalWindow::createCategoryPanel(const QString& name) {
    auto* panel = new CategoryPanel(name, false,
                                    paletteColor(static_cast<int>(m_categoryPanels.size())),
                                    m_store, m_categoryContainer);
    adoptPanel(panel);
    return panel;
}

void StatisticalEvalWindow::adoptPanel(CategoryPanel* panel) {
    connect(panel, &CategoryPanel::changed, this, &StatisticalEvalWindow::onCategoryChanged);
    connect(panel, &CategoryPanel::deleteRequested, this,
            &StatisticalEvalWindow::onDeleteCategoryPanel);
    m_categoryPanels.push_back(panel);
    m_categoryLayout->addWidget(panel);
}

void StatisticalEvalWindow::onAddCategory() {
    // A session may bring any counter up to the largest int: it stops there
    // rather than overflow, and later categories share that number.
    const int number = m_nextCategoryIndex;
    if (m_nextCategoryIndex < std::numeric_limits<int>::max())
        ++m_nextCategoryIndex;
    auto* panel = new CategoryPanel(tr("Condition %1").arg(number), true,
                                    paletteColor(static_cast<int>(m_categoryPanels.size())),
                                    m_store, m_categoryContainer);
    const bool replicates = m_replicatesCheck->isChecked();
    panel->setShowNumbers(isPaired() || replicates);
    panel->setTechRepMode(replicates);
    adoptPanel(panel);
    onCategoryChanged();
}

void StatisticalEvalWindow::onDeleteCategoryPanel(CategoryPanel* panel) {
    const auto found = std::find(m_categoryPanels.begin(), m_categoryPanels.end(), panel);
    if (found == m_categoryPanels.end())
        return;
    m_categoryPanels.erase(found);
    m_categoryLayout->removeWidget(panel);
    // The request comes from the panel's own button, inside its signal:
    // the panel is off every list now and hidden, and goes once control
    // has left it.
    panel->disconnect(this);
    panel->hide();
    panel->deleteLater();
    onCategoryChanged();
}

std::vector<std::string> StatisticalEvalWindow::computeIntersectingFeatures() const {
    std::set<std::string> common;
    bool first = true;
    for (const CategoryPanel* panel : m_categoryPanels) {
        for (const CategoryDatasetEntry& entry : panel->entries()) {
            const DatasetEntry* dataset = m_store ? m_store->findById(entry.datasetId) : nullptr;
            if (!dataset || !dataset->reader)
                continue;
            const std::vector<std::string> names = scalarFeaturesOf(dataset);
            std::set<std::string> scalar(names.begin(), names.end());
            if (first) {
                common = std::move(scalar);
                first = false;
                continue;
            }
            std::set<std::string> kept;
            std::set_intersection(common.begin(), common.end(), scalar.begin(), scalar.end(),
                                  std::inserter(kept, kept.end()));
            common = std::move(kept);
        }
    }
    return {common.begin(), common.end()};
}

bool StatisticalEvalWindow::isPaired() const { return m_designCombo->currentIndex() == 1; }

void StatisticalEvalWindow::onCategoryChanged() {
    QSet<QString> selected;
    for (const QListWidgetItem* item : m_featureList->selectedItems())
        selected.insert(item->data(Qt::UserRole).toString());

    const RTDCReader* labels = nullptr;
    for (const CategoryPanel* panel : m_categoryPanels) {
        for (const CategoryDatasetEntry& entry : panel->entries()) {
            const DatasetEntry* dataset = m_store ? m_store->findById(entry.datasetId) : nullptr;
            if (dataset && dataset->reader) {
                labels = dataset->reader.get();
                break;
            }
        }
        if (labels)
            break;
    }

    m_featureList->clear();
    for (const std::string& name : computeIntersectingFeatures()) {
        const QString key = QString::fromStdString(name);
        auto* item = new QListWidgetItem(
            labels ? QString::fromStdString(labels->getFeatureLabel(name)) : key, m_featureList);
        item->setData(Qt::UserRole, key);
        item->setToolTip(item->text());
        if (selected.contains(key))
            item->setSelected(true);
    }

    m_testLabel->setText(testLabelText());
    updateDescription();
}

QString StatisticalEvalWindow::testLabelText() const {
    const bool paired = isPaired();
    const bool two = m_categoryPanels.size() == 2;
    const QString test = paired ? (two ? tr("Wilcoxon signed-rank (matched)")
                                       : tr("Friedman (repeated measures)"))
                                : (two ? tr("Mann-Whitney U (independent)")
                                       : tr("Kruskal-Wallis (independent)"));
    QString problems;
    for (const CategoryPanel* panel : m_categoryPanels) {
        const std::size_t n = panel->entries().size();
        if (n == 1 || n == 2)
            problems += tr("%1: fewer than 3 datasets\n").arg(panel->categoryName());
    }
    if (!paired) {
        if (m_replicatesCheck->isChecked()) {
            const bool missing = std::any_of(
                m_categoryPanels.begin(), m_categoryPanels.end(), [](const CategoryPanel* panel) {
                    return std::any_of(panel->entries().begin(), panel->entries().end(),
                                       [](const CategoryDatasetEntry& e) {
                                           return e.numberId < 1;
                                       });
                });
            if (missing)
                problems += tr("Replicates enabled: assign IDs to all datasets\n");
        }
    } else if (!pairingValid()) {
        problems += tr("Pairing incomplete: ensure all categories have matching IDs\n");
    }
    return QStringLiteral("Test: %1\n%2").arg(test, problems);
}

// ---- tabs and options --------------------------------------------------------

void StatisticalEvalWindow::onTabChanged(int index) {
    const bool paired = isPaired();
    const bool replicates = m_replicatesCheck->isChecked();
    m_summaryRow->setVisible(index != 2);
    m_testSettingsWidget->setVisible(index == 0);
    m_runAnalysisButton->setVisible(index == 0);
    m_runROCButton->setVisible(index == 1);
    m_distributionModeRow->setVisible(index == 2);
    m_updateDistributionsButton->setVisible(index == 2);
    m_replicatesCheck->setVisible(index == 0 || index == 1);
    if (index == 0)
        m_replicatesCheck->setText(paired ? tr("Technical replicates")
                                          : tr("Replicates included"));
    else if (index == 1)
        m_replicatesCheck->setText(tr("Replicates included"));
    m_autoDetectButton->setVisible((index == 0 && (paired || replicates)) ||
                                   (index == 1 && replicates));
    updateDescription();
}

void StatisticalEvalWindow::onDesignChanged(int design) {
    const bool matched = design == 1;
    const bool replicates = m_replicatesCheck->isChecked();
    m_replicatesCheck->setText(matched ? tr("Technical replicates") : tr("Replicates included"));
    m_autoDetectButton->setVisible(matched || replicates);
    m_connectionLinesCheck->setVisible(matched);
    if (!matched)
        m_connectionLinesCheck->setChecked(false);
    for (CategoryPanel* panel : m_categoryPanels) {
        panel->setShowNumbers(matched || replicates);
        panel->setTechRepMode(replicates);
    }
    onCategoryChanged();
}

void StatisticalEvalWindow::onReplicatesToggled(bool checked) {
    if (m_tabWidget->currentIndex() == 0 && isPaired()) {
        for (CategoryPanel* panel : m_categoryPanels)
            panel->setTechRepMode(checked);
    } else {
        m_autoDetectButton->setVisible(checked);
        for (CategoryPanel* panel : m_categoryPanels) {
            panel->setShowNumbers(checked);
            panel->setTechRepMode(checked);
        }
    }
    onCategoryChanged();
}

int StatisticalEvalWindow::selectedFeatureCount() const {
    return m_featureList->selectedItems().size();
}

// ---- notifications and closing ---------------------------------------------

void StatisticalEvalWindow::onMainDatasetRemoved(int datasetId) {
    // A panel emits changed() for its own removal; the refresh below covers
    // the panels that held nothing of the dataset as well.
    const std::vector<CategoryPanel*> panels = m_categoryPanels;
    for (CategoryPanel* panel : panels)
        panel->onDatasetRemoved(datasetId);
    onCategoryChanged();
}

void StatisticalEvalWindow::onDatasetRenamed(int datasetId, const QString& name) {
    for (CategoryPanel* panel : m_categoryPanels)
        panel->onDatasetRenamed(datasetId, name);
}

void StatisticalEvalWindow::onFeaturesChanged() { onCategoryChanged(); }

void StatisticalEvalWindow::closeEvent(QCloseEvent* event) {
    if (!m_closeReported) {
        m_closeReported = true;
        emit windowClosed(this);
    }
    event->accept();
}

} // namespace Quorvex3
