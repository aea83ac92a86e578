// The Young's modulus page of the calculations dock: the measurement
// conditions of the active dataset, the viscosity and the temperature.

#include "calc/CalculationsDockWidget.h"

#include "calc/EModInputs.h"
#include "calc/EModulus.h"
#include "core/RTDCMetadata.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace Quorvex3 {

namespace {

const QString kNoValue = QStringLiteral("\u2014");
const QString kMicrometres = QStringLiteral(" \u00b5m");
const QString kMicrolitresPerSecond = QStringLiteral(" \u00b5L/s");
constexpr int kManualViscosity = static_cast<int>(ViscosityModel::Manual);

// The dataset's own value, or the default its computation takes instead:
// a value that is not a finite number above 0 is no measurement condition.
QString conditionText(double value, double fallback, const QString& unit) {
    if (std::isfinite(value) && value > 0.0)
        return QStringLiteral("%1").arg(value) + unit;
    return QStringLiteral("%1").arg(fallback) + unit + QStringLiteral(" (default)");
}

void setEditable(QDoubleSpinBox* box, bool editable) {
    box->setReadOnly(!editable);
    box->setButtonSymbols(editable ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
}

} // namespace

QWidget* CalculationsDockWidget::buildEmodulusPage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    form->setContentsMargins(0, 4, 0, 0);

    m_mediumLabel = new QLabel(kNoValue, page);
    m_mediumLabel->setObjectName(QStringLiteral("emodMedium"));
    form->addRow(tr("Medium:"), m_mediumLabel);

    m_viscosityCombo = new QComboBox(page);
    m_viscosityCombo->setObjectName(QStringLiteral("emodViscosityModel"));
    form->addRow(tr("Viscosity:"), m_viscosityCombo);

    m_viscositySpin = new QDoubleSpinBox(page);
    m_viscositySpin->setObjectName(QStringLiteral("emodViscosity"));
    m_viscositySpin->setRange(0.001, 1000.0);
    m_viscositySpin->setDecimals(3);
    m_viscositySpin->setValue(kStartViscosity);
    m_viscositySpin->setSuffix(QStringLiteral(" mPa\u00b7s"));
    setEditable(m_viscositySpin, false);
    form->addRow(tr("\u03b7 [mPa\u00b7s]:"), m_viscositySpin);

    auto* temperatureRow = new QHBoxLayout;
    temperatureRow->setContentsMargins(0, 0, 0, 0);
    m_temperatureSpin = new QDoubleSpinBox(page);
    m_temperatureSpin->setObjectName(QStringLiteral("emodTemperature"));
    m_temperatureSpin->setRange(0.0, 50.0);
    m_temperatureSpin->setDecimals(1);
    m_temperatureSpin->setValue(23.0);
    m_temperatureSpin->setSuffix(QStringLiteral(" \u00b0C"));
    m_tempManual = new QRadioButton(tr("Manual"), page);
    m_tempMeta = new QRadioButton(tr("Meta"), page);
    m_tempEvent = new QRadioButton(tr("Event"), page);
    m_tempGroup = new QButtonGroup(page);
    m_tempGroup->setExclusive(true);
    m_tempGroup->addButton(m_tempManual, static_cast<int>(TemperatureSource::Manual));
    m_tempGroup->addButton(m_tempEvent, static_cast<int>(TemperatureSource::Event));
    m_tempGroup->addButton(m_tempMeta, static_cast<int>(TemperatureSource::Metadata));
    m_tempMeta->setChecked(true);
    // The three sources on a row of their own under the box, across the
    // whole page: beside it they need more room than the dock has on a
    // 1280 x 720 screen.
    auto* sources = new QHBoxLayout;
    sources->setContentsMargins(0, 0, 0, 0);
    sources->addStretch(1);
    sources->addWidget(m_tempManual);
    sources->addWidget(m_tempMeta);
    sources->addWidget(m_tempEvent);
    temperatureRow->addWidget(m_temperatureSpin);
    temperatureRow->addStretch(1);
    form->addRow(tr("Temperature:"), temperatureRow);
    form->addRow(sources);

    m_channelWidthLabel = new QLabel(kNoValue, page);
    m_channelWidthLabel->setObjectName(QStringLiteral("emodChannelWidth"));
    form->addRow(tr("Channel Width:"), m_channelWidthLabel);
    m_flowRateLabel = new QLabel(kNoValue, page);
    m_flowRateLabel->setObjectName(QStringLiteral("emodFlowRate"));
    form->addRow(tr("Flow Rate:"), m_flowRateLabel);
    m_pixelSizeLabel = new QLabel(kNoValue, page);
    m_pixelSizeLabel->setObjectName(QStringLiteral("emodPixelSize"));
    form->addRow(tr("Pixel Size:"), m_pixelSizeLabel);

    m_deformSourceLabel = new QLabel(tr("Deformation source:"), page);
    m_deformSourceCombo = new QComboBox(page);
    m_deformSourceCombo->setObjectName(QStringLiteral("emodDeformSource"));
    m_deformSourceCombo->setToolTip(
        tr("Which deformation feature to map to Young's modulus. Fourier-decomposition "
           "deformations skip the pixelation correction."));
    form->addRow(m_deformSourceLabel, m_deformSourceCombo);
    m_deformSourceLabel->hide();
    m_deformSourceCombo->hide();

    m_emodAllCheck = new QCheckBox(tr("Apply to All Datasets"), page);
    m_emodAllCheck->setObjectName(QStringLiteral("emodulusAll"));
    form->addRow(m_emodAllCheck);
    m_emodButton = new QPushButton(tr("Compute Young's Modulus"), page);
    m_emodButton->setObjectName(QStringLiteral("emodCompute"));
    m_emodButton->setEnabled(false);
    // Why the button is off, when it is off for the dataset itself.
    m_emodReason = new QLabel(page);
    m_emodReason->setObjectName(QStringLiteral("emodUnavailableReason"));
    m_emodReason->setWordWrap(true);
    m_emodReason->setStyleSheet(QStringLiteral("color: gray;"));
    m_emodReason->hide();
    auto* compute = new QVBoxLayout;
    compute->setContentsMargins(0, 0, 0, 0);
    compute->addWidget(m_emodButton);
    compute->addWidget(m_emodReason);
    form->addRow(compute);
    m_assessButton = new QPushButton(tr("Assess Quality"), page);
    m_assessButton->setObjectName(QStringLiteral("emodAssessQuality"));
    m_assessButton->setEnabled(false);
    m_assessButton->setToolTip(tr("Evaluate how well the YM mapping works for this dataset"));
    form->addRow(m_assessButton);
    m_useFilteredCheck = new QCheckBox(tr("Use filtered data"), page);
    m_useFilteredCheck->setObjectName(QStringLiteral("emodUseFilteredData"));
    m_useFilteredCheck->setChecked(true);
    m_useFilteredCheck->setToolTip(
        tr("Evaluate only filtered events (excluding YM-based filters)"));
    form->addRow(m_useFilteredCheck);

    connect(m_viscosityCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CalculationsDockWidget::onViscosityChoiceChanged);
    // Computed values are written with the box's signals blocked: only what
    // the user enters reaches the remembered manual viscosity.
    connect(m_viscositySpin, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            &CalculationsDockWidget::onViscosityEdited);
    connect(m_temperatureSpin, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            &CalculationsDockWidget::updateViscosityDisplay);
    connect(m_tempGroup, &QButtonGroup::idClicked, this,
            &CalculationsDockWidget::onTempSourceChanged);
    connect(m_emodButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeEmodulus);
    connect(m_assessButton, &QPushButton::clicked, this,
            &CalculationsDockWidget::assessEmodQuality);
    return page;
}

double CalculationsDockWidget::metadataDouble(const RTDCMetadata& metadata,
                                              const std::string& section, const std::string& key,
                                              double fallback) {
    return Quorvex3::metadataDouble(metadata, section, key, fallback);
}

std::string CalculationsDockWidget::metadataString(const RTDCMetadata& metadata,
                                                   const std::string& section,
                                                   const std::string& key) {
    return Quorvex3::metadataString(metadata, section, key);
}

double CalculationsDockWidget::parseLabelValue(const QLabel* label, const QString& suffix) {
    if (!label)
        return 0.0;
    QString text = label->text();
    text.remove(suffix, Qt::CaseSensitive);
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? value : 0.0;
}

void CalculationsDockWidget::populateEmodulusDefaults(const RTDCMetadata& metadata,
                                                      bool hasTemperatureFeature) {
    const EModParams defaults;
    m_channelWidthLabel->setText(
        conditionText(metadataDouble(metadata, "setup", "channel width", 0.0),
                      defaults.channelWidth, kMicrometres));
    m_flowRateLabel->setText(conditionText(metadataDouble(metadata, "setup", "flow rate", 0.0),
                                           defaults.flowRate, kMicrolitresPerSecond));
    m_pixelSizeLabel->setText(conditionText(metadataDouble(metadata, "imaging", "pixel size", 0.0),
                                            defaults.pixelSize, kMicrometres));

    const MediumRecognition medium = recogniseMedium(metadataString(metadata, "setup", "medium"));
    m_mediumLabel->setText(QString::fromStdString(medium.label));
    updateViscosityOptions(medium.medium);

    m_metadataTemperature = metadataTemperature(metadata);

    m_tempEvent->setEnabled(hasTemperatureFeature);
    if (!hasTemperatureFeature && m_tempEvent->isChecked())
        m_tempMeta->setChecked(true);
    onTempSourceChanged();
}

void CalculationsDockWidget::updateViscosityOptions(EModMedium medium) {
    m_currentMedium = medium;
    {
        const QSignalBlocker blocker(m_viscosityCombo);
        m_viscosityCombo->clear();
        const ViscosityModel model = viscosityChoiceFor(medium);
        m_viscosityCombo->addItem(QString::fromStdString(viscosityChoiceName(model)),
                                  static_cast<int>(model));
    }
    onViscosityChoiceChanged();
}

bool CalculationsDockWidget::manualViscosityChosen() const {
    return m_viscosityCombo->currentData().toInt() == kManualViscosity;
}

void CalculationsDockWidget::onViscosityChoiceChanged() {
    const bool manual = manualViscosityChosen();
    setEditable(m_viscositySpin, manual);
    if (!manual) {
        updateViscosityDisplay();
        return;
    }
    // The box may still hold the value computed for the previous medium.
    const QSignalBlocker blocker(m_viscositySpin);
    m_viscositySpin->setValue(m_manualViscosity);
}

void CalculationsDockWidget::onViscosityEdited(double value) {
    m_manualViscosity = value;
}

void CalculationsDockWidget::resetManualViscosity() {
    m_manualViscosity = kStartViscosity;
    if (manualViscosityChosen()) {
        const QSignalBlocker blocker(m_viscositySpin);
        m_viscositySpin->setValue(m_manualViscosity);
    }
}

void CalculationsDockWidget::onTempSourceChanged() {
    if (m_tempEvent->isChecked()) {
        m_temperatureSpin->hide();
        updateViscosityDisplay();
        return;
    }
    m_temperatureSpin->show();
    if (m_tempMeta->isChecked()) {
        setEditable(m_temperatureSpin, false);
        m_temperatureSpin->setValue(m_metadataTemperature);
    } else {
        setEditable(m_temperatureSpin, true);
    }
    updateViscosityDisplay();
}

void CalculationsDockWidget::updateViscosityDisplay() {
    // An empty combo (no dataset shown yet) has no model to compute with.
    if (m_viscosityCombo->count() == 0)
        return;
    const int model = m_viscosityCombo->currentData().toInt();
    if (model == kManualViscosity)
        return;
    EModParams params;
    params.viscosityModel = model;
    params.medium = static_cast<int>(m_currentMedium);
    params.temperature = m_temperatureSpin->value();
    params.channelWidth = parseLabelValue(m_channelWidthLabel, kMicrometres);
    params.flowRate = parseLabelValue(m_flowRateLabel, kMicrolitresPerSecond);
    if (!(params.channelWidth > 0.0))
        params.channelWidth = 20.0;
    if (!(params.flowRate > 0.0))
        params.flowRate = 0.04;
    const QSignalBlocker blocker(m_viscositySpin);
    m_viscositySpin->setValue(EModulus::computeViscosity(params, params.temperature));
}

EModParams CalculationsDockWidget::readEmodulusParams() const {
    EModParams params;
    params.lutModel = 0;
    params.viscosityModel = m_viscosityCombo->currentData().toInt();
    params.medium = static_cast<int>(m_currentMedium);
    params.viscosity = m_viscositySpin->value();
    params.temperature = m_temperatureSpin->value();
    params.temperatureSource =
        static_cast<int>(m_tempEvent->isChecked()  ? TemperatureSource::Event
                         : m_tempMeta->isChecked() ? TemperatureSource::Metadata
                                                   : TemperatureSource::Manual);
    params.channelWidth = parseLabelValue(m_channelWidthLabel, kMicrometres);
    params.flowRate = parseLabelValue(m_flowRateLabel, kMicrolitresPerSecond);
    params.pixelSize = parseLabelValue(m_pixelSizeLabel, kMicrometres);
    // A condition the metadata lacks ("—") would map no event at all; the
    // dataset is computed with the defaults every dataset starts with.
    fillMissingConditions(params);
    params.deformFeature = selectedDeformFeature();
    params.pixelationCorrection = params.deformFeature == "deform";
    return params;
}

std::string CalculationsDockWidget::selectedDeformFeature() const {
    if (m_deformSourceEnabled) {
        const QString chosen = m_deformSourceCombo->currentData().toString();
        if (!chosen.isEmpty())
            return chosen.toStdString();
    }
    return "deform";
}

void CalculationsDockWidget::updateDeformSources(bool expertMode, bool hasDeformFc,
                                                 bool hasDeformOdd) {
    const QString previous = m_deformSourceCombo->currentData().toString();
    m_deformSourceCombo->clear();
    m_deformSourceCombo->addItem(tr("Deformation"), QStringLiteral("deform"));
    if (hasDeformFc)
        m_deformSourceCombo->addItem(tr("Deformation from FC"), QStringLiteral("deform_fc"));
    if (hasDeformOdd)
        m_deformSourceCombo->addItem(tr("Deformation of odd FC only"),
                                     QStringLiteral("deform_odd"));
    const int keep = m_deformSourceCombo->findData(previous);
    m_deformSourceCombo->setCurrentIndex(keep >= 0 ? keep : 0);
    m_deformSourceEnabled = expertMode && (hasDeformFc || hasDeformOdd);
    m_deformSourceLabel->setVisible(m_deformSourceEnabled);
    m_deformSourceCombo->setVisible(m_deformSourceEnabled);
}

EModParams CalculationsDockWidget::buildParamsForDataset(const RTDCMetadata& metadata,
                                                         bool hasTemperatureFeature) const {
    EModTemperatureChoice choice;
    choice.source = m_tempEvent->isChecked()  ? TemperatureSource::Event
                    : m_tempMeta->isChecked() ? TemperatureSource::Metadata
                                              : TemperatureSource::Manual;
    choice.temperature = m_temperatureSpin->value();
    EModParams params =
        emodParamsFromMetadata(metadata, hasTemperatureFeature, choice, m_manualViscosity);
    fillMissingConditions(params);
    return params;
}

void CalculationsDockWidget::setEmodulusEnabled(bool enabled) {
    m_emodButton->setEnabled(enabled);
}

void CalculationsDockWidget::setEmodulusUnavailableReason(const QString& reason) {
    m_emodReason->setText(reason);
    m_emodReason->setVisible(!reason.isEmpty());
    m_emodButton->setToolTip(reason);
}

void CalculationsDockWidget::clearEmodulusPage() {
    for (QLabel* label : {m_mediumLabel, m_channelWidthLabel, m_flowRateLabel, m_pixelSizeLabel})
        label->setText(kNoValue);
    m_metadataTemperature = 23.0;
    m_tempEvent->setEnabled(true);
    updateViscosityOptions(EModMedium::Unknown);
    onTempSourceChanged();
    setEmodulusUnavailableReason({});
    m_emodButton->setEnabled(false);
    m_assessButton->setEnabled(false);
}

void CalculationsDockWidget::setAssessQualityVisible(bool visible) {
    m_assessButton->setEnabled(visible);
}

bool CalculationsDockWidget::isEmodulusAllChecked() const {
    return m_emodAllCheck->isChecked();
}

bool CalculationsDockWidget::isUseFilteredDataChecked() const {
    return m_useFilteredCheck->isChecked();
}

} // namespace Quorvex3
