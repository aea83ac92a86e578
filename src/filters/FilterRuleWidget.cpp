#include "filters/FilterRuleWidget.h"

#include "core/RTDCReader.h"
#include "util/WrapRowLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

const QString kUnavailableSuffix = QStringLiteral(" (n/a)");
constexpr double kSpinLimit = 1e15;

// Smallest and largest finite value; false when there is none.
bool finiteRange(const std::vector<double>& values, double& lo, double& hi) {
    lo = std::numeric_limits<double>::max();
    hi = -std::numeric_limits<double>::max();
    for (double v : values) {
        if (!std::isfinite(v))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return lo <= hi;
}

int decimalsForSpan(double span) {
    if (span < 0.1)
        return 6;
    if (span < 1.0)
        return 4;
    if (span < 100.0)
        return 2;
    return 1;
}

// The value a spin box with `decimals` decimals shows for units / 10^decimals.
double shownValue(double units, double scale, int decimals) {
    return QString::number(units / scale, 'f', decimals).toDouble();
}

// `value` rounded down (lower bound) or up (upper bound) to a number the spin
// box shows exactly, so a bound taken from the data still includes the
// extreme event. Where the decimal grid is coarser than the doubles (huge
// magnitudes) the value itself is returned.
double outwardBound(double value, int decimals, bool down) {
    const double scale = std::pow(10.0, decimals);
    const double scaled = value * scale;
    if (!std::isfinite(scaled))
        return value;
    double units = down ? std::floor(scaled) : std::ceil(scaled);
    double bound = shownValue(units, scale, decimals);
    const auto inward = [&](double b) { return down ? b > value : b < value; };
    if (inward(bound)) {
        units += down ? -1.0 : 1.0;
        bound = shownValue(units, scale, decimals);
    }
    return inward(bound) ? value : bound;
}

QDoubleSpinBox* makeBoundSpin(QWidget* parent, const char* objectName, const QString& tip) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QLatin1String(objectName));
    spin->setRange(-kSpinLimit, kSpinLimit);
    spin->setMaximumWidth(parent->fontMetrics().horizontalAdvance(QStringLiteral("-1234567.89")) +
                          30);
    // Its own hint is as wide as the range's ends (16 digits and more), which
    // would widen the dock on a small screen; six decimals below 1 still show.
    spin->setMinimumWidth(parent->fontMetrics().horizontalAdvance(QStringLiteral("-0.000000")) +
                          30);
    spin->setToolTip(tip);
    return spin;
}

} // namespace

FilterRuleWidget::FilterRuleWidget(const std::vector<std::string>& features, RTDCReader* reader,
                                   QWidget* parent)
    : RuleEditorWidget(reader, parent), m_features(features) {
    buildLayout();
    addFeatureItems();
    if (m_featureCombo->count() > 0)
        onFeatureChanged(m_featureCombo->currentIndex());
    connectControls();
}

FilterRuleWidget::~FilterRuleWidget() = default;

void FilterRuleWidget::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(2);

    createEnableBox();
    m_featureCombo = new QComboBox(this);
    m_featureCombo->setObjectName(QStringLiteral("featureCombo"));
    m_featureCombo->setMinimumWidth(140);
    createRemoveButton();
    auto* featureRow = new QHBoxLayout;
    featureRow->setContentsMargins(0, 0, 0, 0);
    featureRow->addWidget(m_enableBox);
    featureRow->addWidget(m_featureCombo, 1);
    featureRow->addWidget(m_removeButton);
    layout->addLayout(featureRow);

    m_minSpin = makeBoundSpin(this, "minimumSpinBox", tr("Minimum value (inclusive)"));
    m_maxSpin = makeBoundSpin(this, "maximumSpinBox", tr("Maximum value (inclusive)"));
    auto* dash = new QLabel(QStringLiteral("\u2013"), this);
    dash->setAlignment(Qt::AlignCenter);
    createInvertBox();
    // The bounds stay together; "Invert" goes below them in a narrow dock.
    auto* bounds = new QHBoxLayout;
    bounds->setContentsMargins(0, 0, 12, 0);
    bounds->setSpacing(4);
    bounds->addWidget(m_minSpin);
    bounds->addWidget(dash);
    bounds->addWidget(m_maxSpin);
    auto* boundsRow = new WrapRowLayout(4);
    boundsRow->setContentsMargins(20, 0, 0, 0);
    boundsRow->addRowLayout(bounds);
    boundsRow->addWidget(m_invertBox);
    layout->addLayout(boundsRow);

    layout->addLayout(createPropagationRow());
}

void FilterRuleWidget::connectControls() {
    connect(m_featureCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FilterRuleWidget::onFeatureChanged);
    // A spin box reports only what the user typed or stepped: the program
    // sets them with signals blocked. Only the edited bound changes.
    connect(m_minSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double value) {
                m_minValue = value;
                emit ruleChanged();
            });
    connect(m_maxSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double value) {
                m_maxValue = value;
                emit ruleChanged();
            });
    connectSharedControls();
}

void FilterRuleWidget::addFeatureItems() {
    for (const std::string& name : m_features) {
        const QString text =
            QString::fromStdString(m_reader ? m_reader->getFeatureLabel(name) : name);
        m_featureCombo->addItem(text, QString::fromStdString(name));
    }
}

bool FilterRuleWidget::isOffered(const std::string& name) const {
    return std::find(m_features.begin(), m_features.end(), name) != m_features.end();
}

void FilterRuleWidget::removeUnavailableItem() {
    const QSignalBlocker block(m_featureCombo);
    for (int i = m_featureCombo->count() - 1; i >= 0; --i) {
        if (m_featureCombo->itemText(i).endsWith(kUnavailableSuffix)) {
            m_featureCombo->removeItem(i);
            return;
        }
    }
}

void FilterRuleWidget::markUnavailable(const std::string& name) {
    const QString data = QString::fromStdString(name);
    m_featureCombo->addItem(data + kUnavailableSuffix, data);
    m_featureCombo->setCurrentIndex(m_featureCombo->count() - 1);
    m_unavailable = true;
}

// Decimals and step of both spin boxes from the finite data span of `name`;
// lo and hi receive the span's ends. False (nothing changed) without data.
bool FilterRuleWidget::adoptDataPrecision(const std::string& name, double& lo, double& hi) {
    if (!m_reader)
        return false;
    const std::vector<double>& values = m_reader->readScalarFeature(name);
    if (values.empty() || !finiteRange(values, lo, hi))
        return false;
    const double span = hi - lo;
    const int decimals = decimalsForSpan(span);
    const double step = span > 0.0 ? span / 100.0 : 0.01;
    for (QDoubleSpinBox* spin : {m_minSpin, m_maxSpin}) {
        const QSignalBlocker block(spin);
        spin->setDecimals(decimals);
        spin->setSingleStep(step);
    }
    return true;
}

void FilterRuleWidget::showBounds() {
    const QSignalBlocker blockMin(m_minSpin);
    const QSignalBlocker blockMax(m_maxSpin);
    m_minSpin->setValue(m_minValue);
    m_maxSpin->setValue(m_maxValue);
}

void FilterRuleWidget::onFeatureChanged(int /*index*/) {
    if (!m_reader)
        return;
    const std::string name = m_featureCombo->currentData(Qt::UserRole).toString().toStdString();
    if (name.empty() || !isOffered(name))
        return;
    if (m_unavailable) {
        removeUnavailableItem();
        m_unavailable = false;
        updateAvailableState();
    }
    double lo = 0.0;
    double hi = 0.0;
    if (!adoptDataPrecision(name, lo, hi))
        return;
    const int decimals = m_minSpin->decimals();
    m_minValue = outwardBound(lo, decimals, true);
    m_maxValue = outwardBound(hi, decimals, false);
    showBounds();
    emit ruleChanged();
}

FilterRule FilterRuleWidget::getRule() const {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = m_featureCombo->currentData(Qt::UserRole).toString().toStdString();
    rule.minValue = m_minValue;
    rule.maxValue = m_maxValue;
    rule.enabled = m_inGroup ? true : m_enableBox->isChecked();
    rule.inverted = m_invertBox->isChecked();
    rule.propagationId = propagationId();
    return rule;
}

void FilterRuleWidget::setRule(const FilterRule& rule) {
    {
        const QSignalBlocker blockEnable(m_enableBox);
        const QSignalBlocker blockInvert(m_invertBox);
        const QSignalBlocker blockCombo(m_featureCombo);
        m_enableBox->setChecked(rule.enabled);
        m_invertBox->setChecked(rule.inverted);

        // A feature shown as unavailable by an earlier rule goes first, so
        // the combo never holds more than one "(n/a)" item.
        if (m_unavailable) {
            removeUnavailableItem();
            m_unavailable = false;
        }
        const int index =
            m_featureCombo->findData(QString::fromStdString(rule.featureName), Qt::UserRole,
                                     Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0) {
            m_featureCombo->setCurrentIndex(index);
            double lo = 0.0;
            double hi = 0.0;
            adoptDataPrecision(rule.featureName, lo, hi);
        } else if (!rule.featureName.empty()) {
            markUnavailable(rule.featureName);
        }
        m_minValue = rule.minValue;
        m_maxValue = rule.maxValue;
        showBounds();
    }
    setPropagationId(rule.propagationId);
    updateAvailableState();
}

void FilterRuleWidget::refreshAvailableFeatures(const std::vector<std::string>& features) {
    if (features == m_features)
        return;
    m_features = features;
    const QString current = m_featureCombo->currentData(Qt::UserRole).toString();
    {
        const QSignalBlocker block(m_featureCombo);
        m_featureCombo->clear();
        addFeatureItems();
        const int index = m_featureCombo->findData(current, Qt::UserRole,
                                                   Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0) {
            m_featureCombo->setCurrentIndex(index);
            m_unavailable = false;
        } else if (!current.isEmpty()) {
            markUnavailable(current.toStdString());
        } else {
            m_unavailable = false;
        }
    }
    updateAvailableState();
}

void FilterRuleWidget::updateAvailableState() {
    const bool available = !m_unavailable;
    m_enableBox->setEnabled(available);
    m_minSpin->setEnabled(available);
    m_maxSpin->setEnabled(available);
}

} // namespace Quorvex3
