#include "plots/PlotControlsWidget.h"

#include "util/WindowUtil.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

/// The longest feature label the x and y choosers need to show in full.
const char* const kWidestFeatureLabel = "Position along channel axis [µm]";
const char* const kWarnComboStyle =
    "QComboBox { background-color: #fff8e1; border: 1px solid #f9a825; }";
const char* const kDivergedButtonStyle =
    "QPushButton { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; "
    "font-weight: bold; }";

QLabel* makeFixedWidthLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return label;
}

QFrame* makeVerticalLine(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QComboBox* makeScaleCombo(const QString& toolTip, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    // Item index = ScaleMode code.
    combo->addItems({QStringLiteral("Linear"), QStringLiteral("Log"), QStringLiteral("PseudoLog")});
    combo->setCurrentIndex(0);
    combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    combo->setToolTip(toolTip);
    // The popup is as wide as the box, and its items take more padding than
    // the box's own text: "PseudoLog" showed as "Pse...Log". The list is
    // made as wide as its widest item needs.
    combo->ensurePolished();
    combo->view()->ensurePolished();
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) +
                                   2 * combo->view()->frameWidth());
    // The box itself too: its size hint measures the text short.
    WindowUtil::fitComboToItems(combo);
    return combo;
}

QDoubleSpinBox* makeContourSpin(double value, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setRange(1.0, 99.0);
    spin->setSingleStep(5.0);
    spin->setDecimals(0);
    spin->setSuffix(QStringLiteral("%"));
    spin->setValue(value);
    // Each new value recomputes the contours (a second or more at a million
    // events): a typed number counts once it is complete (Enter or leaving
    // the box), not after every keystroke. Arrows still step at once.
    spin->setKeyboardTracking(false);
    return spin;
}

/// The feature name stored as the combo's current item data (UTF-8).
std::string currentFeatureName(const QComboBox* combo) {
    return combo->currentData().toString().toUtf8().toStdString();
}

/// Makes the item whose data is exactly `name` current; the current item
/// stays when no item has it.
void selectFeature(QComboBox* combo, const std::string& name) {
    const int index = combo->findData(QString::fromStdString(name), Qt::UserRole,
                                      Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

void setScaleComboWarning(QComboBox* combo, std::size_t leftOut, const QString& baseToolTip) {
    if (leftOut == 0) {
        combo->setItemText(1, QStringLiteral("Log"));
        combo->setStyleSheet(QString());
        combo->setToolTip(baseToolTip);
        return;
    }
    combo->setItemText(1, QStringLiteral("Log \u26A0"));
    combo->setStyleSheet(QString::fromUtf8(kWarnComboStyle));
    combo->setToolTip(
        QStringLiteral(
            "%1: %2 point%3 with value \u2264 0 not shown (cannot be drawn on a log axis)")
            .arg(baseToolTip, QString::number(leftOut),
                 leftOut == 1 ? QString() : QStringLiteral("s")));
}

} // namespace

PlotControlsWidget::PlotControlsWidget(QWidget* parent)
    : QGroupBox(QStringLiteral("Plot Settings"), parent) {
    setObjectName(QStringLiteral("plotSettingsBox"));
    build();
    connectControls();
}

void PlotControlsWidget::build() {
    auto* row = new QHBoxLayout(this);

    // Features and scales.
    auto* featureGrid = new QGridLayout;
    featureGrid->setHorizontalSpacing(4);
    featureGrid->setVerticalSpacing(2);
    m_xFeatureCombo = new QComboBox(this);
    m_yFeatureCombo = new QComboBox(this);
    m_colorCombo = new QComboBox(this);
    m_xFeatureCombo->setObjectName(QStringLiteral("xFeatureCombo"));
    m_yFeatureCombo->setObjectName(QStringLiteral("yFeatureCombo"));
    m_colorCombo->setObjectName(QStringLiteral("colorCombo"));
    for (QComboBox* combo : {m_xFeatureCombo, m_yFeatureCombo}) {
        combo->setMinimumWidth(150);
        combo->setMaximumWidth(
            combo->fontMetrics().horizontalAdvance(QString::fromUtf8(kWidestFeatureLabel)) + 60);
    }
    m_colorCombo->setMinimumWidth(150);
    for (QComboBox* combo : {m_xFeatureCombo, m_yFeatureCombo, m_colorCombo})
        combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_scaleXCombo = makeScaleCombo(QStringLiteral("X-axis scale mode"), this);
    m_scaleYCombo = makeScaleCombo(QStringLiteral("Y-axis scale mode"), this);
    m_scaleXCombo->setObjectName(QStringLiteral("scaleXCombo"));
    m_scaleYCombo->setObjectName(QStringLiteral("scaleYCombo"));
    featureGrid->addWidget(makeFixedWidthLabel(QStringLiteral("X Axis"), this), 0, 0);
    featureGrid->addWidget(m_xFeatureCombo, 0, 1);
    featureGrid->addWidget(m_scaleXCombo, 0, 2);
    featureGrid->addWidget(makeFixedWidthLabel(QStringLiteral("Y Axis"), this), 1, 0);
    featureGrid->addWidget(m_yFeatureCombo, 1, 1);
    featureGrid->addWidget(m_scaleYCombo, 1, 2);
    featureGrid->addWidget(makeFixedWidthLabel(QStringLiteral("Color by"), this), 2, 0);
    featureGrid->addWidget(m_colorCombo, 2, 1, 1, 2);
    row->addLayout(featureGrid, 1);
    row->addWidget(makeVerticalLine(this));

    // Contours and isoelastics.
    auto* contourGrid = new QGridLayout;
    contourGrid->setHorizontalSpacing(4);
    contourGrid->setVerticalSpacing(2);
    m_contourModeCombo = new QComboBox(this);
    m_contourModeCombo->setObjectName(QStringLiteral("contourModeCombo"));
    // Item index = ContourMode code.
    m_contourModeCombo->addItems(
        {QStringLiteral("Off"), QStringLiteral("Overlay"), QStringLiteral("Only")});
    m_contourModeCombo->setCurrentIndex(0);
    m_contourInnerSpin = makeContourSpin(10.0, this);
    m_contourOuterSpin = makeContourSpin(67.0, this);
    m_contourInnerSpin->setObjectName(QStringLiteral("contourInnerSpin"));
    m_contourOuterSpin->setObjectName(QStringLiteral("contourOuterSpin"));
    m_isoelasticsCheck = new QCheckBox(QStringLiteral("Isoelastics"), this);
    m_isoelasticsCheck->setObjectName(QStringLiteral("isoelasticsCheck"));
    m_isoelasticsCheck->setToolTip(QStringLiteral("Show isoelasticity lines"));
    m_isoLabelsCheck = new QCheckBox(QStringLiteral("Labels"), this);
    m_isoLabelsCheck->setObjectName(QStringLiteral("isoLabelsCheck"));
    m_isoLabelsCheck->setToolTip(QStringLiteral("Show kPa labels on isoelasticity lines"));
    // Shown only while area and deformation are plotted.
    m_isoelasticsCheck->hide();
    m_isoLabelsCheck->hide();
    // The label may wrap (and the apply button sits below these controls):
    // the whole box has to fit a 1280-pixel screen beside the docks.
    auto* contourLabel = new QLabel(QStringLiteral("Contour Overlay"), this);
    contourLabel->setWordWrap(true);
    contourGrid->addWidget(contourLabel, 0, 0, 1, 2);
    contourGrid->addWidget(m_contourModeCombo, 0, 2, 1, 2);
    contourGrid->addWidget(new QLabel(QStringLiteral("Inner"), this), 1, 0);
    contourGrid->addWidget(m_contourInnerSpin, 1, 1);
    contourGrid->addWidget(new QLabel(QStringLiteral("Outer"), this), 1, 2);
    contourGrid->addWidget(m_contourOuterSpin, 1, 3);
    contourGrid->addWidget(m_isoelasticsCheck, 2, 0, 1, 2);
    contourGrid->addWidget(m_isoLabelsCheck, 2, 2, 1, 2);

    auto* contourColumn = new QVBoxLayout;
    contourColumn->addLayout(contourGrid);
    m_applyButton = new QPushButton(QStringLiteral("Apply Plot Settings\nto All Datasets"), this);
    m_applyButton->setObjectName(QStringLiteral("applyPlotSettingsButton"));
    m_applyButton->setToolTip(QStringLiteral(
        "Copy the active dataset's feature, scale, and contour settings to every other "
        "loaded dataset. Highlights when any peer differs."));
    contourColumn->addWidget(m_applyButton, 0, Qt::AlignLeft);
    contourColumn->addStretch();
    row->addLayout(contourColumn);
    row->addStretch();
}

void PlotControlsWidget::connectControls() {
    const auto emitChange = [this](PlotSettingsChange change) {
        return [this, change] { emit settingsChanged(change); };
    };
    for (QComboBox* combo : {m_xFeatureCombo, m_yFeatureCombo, m_colorCombo})
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this,
                emitChange(PlotSettingsChange::Features));
    connect(m_scaleXCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            emitChange(PlotSettingsChange::ScaleX));
    connect(m_scaleYCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            emitChange(PlotSettingsChange::ScaleY));
    connect(m_contourModeCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            emitChange(PlotSettingsChange::Contours));
    for (QDoubleSpinBox* spin : {m_contourInnerSpin, m_contourOuterSpin})
        connect(spin, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
                emitChange(PlotSettingsChange::Contours));
    for (QCheckBox* check : {m_isoelasticsCheck, m_isoLabelsCheck})
        connect(check, &QCheckBox::toggled, this, emitChange(PlotSettingsChange::Isolines));
    connect(m_applyButton, &QPushButton::clicked, this, &PlotControlsWidget::applyToAllRequested);
}

PlotSettings PlotControlsWidget::settings() const {
    PlotSettings settings;
    settings.xFeature = currentFeatureName(m_xFeatureCombo);
    settings.yFeature = currentFeatureName(m_yFeatureCombo);
    settings.colorId = currentFeatureName(m_colorCombo);
    settings.scaleX = static_cast<ScaleMode>(m_scaleXCombo->currentIndex());
    settings.scaleY = static_cast<ScaleMode>(m_scaleYCombo->currentIndex());
    settings.contourMode = static_cast<ContourMode>(m_contourModeCombo->currentIndex());
    settings.contourFraction1 = m_contourInnerSpin->value() / 100.0;
    settings.contourFraction2 = m_contourOuterSpin->value() / 100.0;
    return settings;
}

void PlotControlsWidget::restore(const PlotSettings& settings) {
    const QSignalBlocker blockX(m_xFeatureCombo);
    const QSignalBlocker blockY(m_yFeatureCombo);
    const QSignalBlocker blockColor(m_colorCombo);
    const QSignalBlocker blockMode(m_contourModeCombo);
    const QSignalBlocker blockInner(m_contourInnerSpin);
    const QSignalBlocker blockOuter(m_contourOuterSpin);
    const QSignalBlocker blockScaleX(m_scaleXCombo);
    const QSignalBlocker blockScaleY(m_scaleYCombo);
    // A name the dataset no longer offers leaves the default in place.
    if (!settings.xFeature.empty())
        selectFeature(m_xFeatureCombo, settings.xFeature);
    if (!settings.yFeature.empty())
        selectFeature(m_yFeatureCombo, settings.yFeature);
    selectFeature(m_colorCombo, settings.colorId);
    m_contourModeCombo->setCurrentIndex(static_cast<int>(settings.contourMode));
    m_contourInnerSpin->setValue(settings.contourFraction1 * 100.0);
    m_contourOuterSpin->setValue(settings.contourFraction2 * 100.0);
    m_scaleXCombo->setCurrentIndex(static_cast<int>(settings.scaleX));
    m_scaleYCombo->setCurrentIndex(static_cast<int>(settings.scaleY));
}

void PlotControlsWidget::setFeatures(const std::vector<std::pair<std::string, QString>>& features) {
    const QSignalBlocker blockX(m_xFeatureCombo);
    const QSignalBlocker blockY(m_yFeatureCombo);
    const QSignalBlocker blockColor(m_colorCombo);
    m_xFeatureCombo->clear();
    m_yFeatureCombo->clear();
    m_colorCombo->clear();
    m_colorCombo->addItem(QStringLiteral("None"), QString());
    m_colorCombo->addItem(QStringLiteral("Density (KDE)"),
                          QString::fromStdString(densityColorId(DensityMethod::KDE)));
    for (const auto& [name, label] : features) {
        const QString data = QString::fromStdString(name);
        m_xFeatureCombo->addItem(label, data);
        m_yFeatureCombo->addItem(label, data);
        m_colorCombo->addItem(label, data);
    }
    selectFeature(m_xFeatureCombo, "area_um");
    selectFeature(m_yFeatureCombo, "deform");
    m_colorCombo->setCurrentIndex(0);
}

void PlotControlsWidget::clearFeatures() {
    for (QComboBox* combo : {m_xFeatureCombo, m_yFeatureCombo, m_colorCombo}) {
        const QSignalBlocker blocker(combo);
        combo->clear();
    }
}

void PlotControlsWidget::setFeatureChoicesEnabled(bool enabled) {
    for (QComboBox* combo : {m_xFeatureCombo, m_yFeatureCombo, m_colorCombo})
        combo->setEnabled(enabled);
}

void PlotControlsWidget::setLeftOutCounts(std::size_t nonPositiveX, std::size_t nonPositiveY) {
    setScaleComboWarning(m_scaleXCombo, nonPositiveX, QStringLiteral("X-axis scale mode"));
    setScaleComboWarning(m_scaleYCombo, nonPositiveY, QStringLiteral("Y-axis scale mode"));
}

void PlotControlsWidget::setIsolinesAvailable(bool available) {
    m_isoelasticsCheck->setVisible(available);
    m_isoLabelsCheck->setVisible(available && m_isoelasticsCheck->isChecked());
}

void PlotControlsWidget::setIsolinesShown(bool shown) {
    {
        const QSignalBlocker blocker(m_isoelasticsCheck);
        m_isoelasticsCheck->setChecked(shown);
    }
    m_isoLabelsCheck->setVisible(m_isoelasticsCheck->isVisible() && shown);
}

bool PlotControlsWidget::isolinesShown() const {
    return m_isoelasticsCheck->isChecked();
}

bool PlotControlsWidget::isolineLabelsShown() const {
    return m_isoLabelsCheck->isChecked();
}

void PlotControlsWidget::setApplyToAllState(bool enabled, bool highlighted) {
    m_applyButton->setEnabled(enabled);
    m_applyButton->setStyleSheet(highlighted ? QString::fromUtf8(kDivergedButtonStyle) : QString());
}

} // namespace Quorvex3
