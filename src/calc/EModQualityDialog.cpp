#include "calc/EModQualityDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

QualityLight light(double value, double amberFrom, double redFrom) {
    if (value < amberFrom)
        return QualityLight::Green;
    return value < redFrom ? QualityLight::Amber : QualityLight::Red;
}

QString dot(QualityLight level) {
    switch (level) {
    case QualityLight::Green:
        return QStringLiteral("<span style='color: #2e7d32; font-size: 16px;'>&#x25CF;</span>");
    case QualityLight::Amber:
        return QStringLiteral("<span style='color: #f9a825; font-size: 16px;'>&#x25CF;</span>");
    case QualityLight::Red:
        break;
    }
    return QStringLiteral("<span style='color: #c62828; font-size: 16px;'>&#x25CF;</span>");
}

// One aspect: a rich-text first line with the dot, then indented plain lines.
QGroupBox* aspectBox(const QString& title, const QString& firstLine, const QStringList& lines) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    auto* first = new QLabel(firstLine);
    first->setTextFormat(Qt::RichText);
    layout->addWidget(first);
    for (const QString& text : lines) {
        auto* label = new QLabel(text);
        label->setTextFormat(Qt::PlainText);
        label->setContentsMargins(20, 0, 0, 0);
        layout->addWidget(label);
    }
    return box;
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

} // namespace

QualityLight coverageLight(const EModulus::QualityReport& report) {
    const double total = report.totalEvents;
    return light(total > 0 ? 1.0 - report.mapped / total : 1.0, 0.05, 0.2);
}

QualityLight boundaryLight(const EModulus::QualityReport& report) {
    if (report.mapped < 1)
        return QualityLight::Green;
    return light(static_cast<double>(report.nearBoundary) / report.mapped, 0.1, 0.3);
}

QualityLight sensitivityLight(const EModulus::QualityReport& report) {
    return light(report.medianSensitivity, 0.3, 0.7);
}

QualityLight biasLight(const EModulus::QualityReport& report) {
    return light(report.bias, 0.05, 0.15);
}

EModQualityDialog::EModQualityDialog(const EModulus::QualityReport& report,
                                     const QString& datasetName, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("YM Quality Assessment"));
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("<b>Dataset:</b> %1").arg(datasetName.toHtmlEscaped()));
    name->setTextFormat(Qt::RichText);
    name->setWordWrap(true);
    layout->addWidget(name);

    if (!report.valid || report.totalEvents == 0) {
        layout->addWidget(new QLabel(QStringLiteral("No data available for quality assessment.")));
    } else {
        const int total = report.totalEvents;
        layout->addWidget(aspectBox(
            QStringLiteral("Coverage"),
            QStringLiteral("%1 <b>Mapped:</b> %2")
                .arg(dot(coverageLight(report)), formatCountPercent(report.mapped, total)),
            {QStringLiteral("Area too small: %1")
                 .arg(formatCountPercent(report.areaTooSmall, total)),
             QStringLiteral("Area too large: %1")
                 .arg(formatCountPercent(report.areaTooLarge, total)),
             QStringLiteral("Deform too low: %1")
                 .arg(formatCountPercent(report.deformTooLow, total)),
             QStringLiteral("Deform too high: %1")
                 .arg(formatCountPercent(report.deformTooHigh, total))}));
        layout->addWidget(aspectBox(
            QStringLiteral("Boundary Proximity"),
            QStringLiteral("%1 <b>Near low-deformation edge:</b> %2 of mapped events")
                .arg(dot(boundaryLight(report)),
                     formatCountPercent(report.nearBoundary, report.mapped)),
            {QStringLiteral("Events within 10% of the local lower LUT boundary at their cell size"),
             QStringLiteral("These events yield less reliable (lower-bound) YM estimates")}));
        layout->addWidget(aspectBox(
            QStringLiteral("Gradient Sensitivity"),
            QStringLiteral("%1 <b>Median sensitivity:</b> %2")
                .arg(dot(sensitivityLight(report)), fixed(report.medianSensitivity, 3)),
            {QStringLiteral("|dE/dd| * MAD(deform) / E \u2014 ratio of propagated deformation "
                            "uncertainty to YM value"),
             QStringLiteral("High sensitivity events (>1.0): %1")
                 .arg(formatCountPercent(report.highSensitivity, report.mapped))}));
        layout->addWidget(aspectBox(
            QStringLiteral("Population Bias"),
            QStringLiteral("%1 <b>Bias:</b> %2%")
                .arg(dot(biasLight(report)), fixed(report.bias * 100.0, 1)),
            {QStringLiteral("Median YM (all mapped): %1 kPa").arg(fixed(report.medianAll, 2)),
             QStringLiteral("Median YM (interior only): %1 kPa")
                 .arg(fixed(report.medianInterior, 2))}));
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace Quorvex3
