// The quality dialog: the traffic lights' thresholds and what each aspect
// shows.

#include "calc/EModQualityDialog.h"

#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

const char* const kAmber = "#f9a825";

EModulus::QualityReport sampleReport() {
    EModulus::QualityReport r;
    r.totalEvents = 200;
    r.areaTooSmall = 4;
    r.areaTooLarge = 2;
    r.deformTooLow = 10;
    r.deformTooHigh = 4;
    r.mapped = 180;
    r.nearBoundary = 27;
    r.medianSensitivity = 0.4567;
    r.highSensitivity = 9;
    r.medianAll = 1.23456;
    r.medianInterior = 1.1;
    r.bias = 0.1223;
    r.valid = true;
    return r;
}

TEST(QualityLights, ThresholdsOfEachAspect) {
    EModulus::QualityReport r = sampleReport();
    struct Case {
        int mapped;
        QualityLight expected;
    };
    // Coverage: unmapped share below 0.05 green, below 0.2 amber.
    for (const Case& c : {Case{191, QualityLight::Green}, Case{190, QualityLight::Amber},
                          Case{161, QualityLight::Amber}, Case{159, QualityLight::Red}}) {
        r.mapped = c.mapped;
        EXPECT_EQ(coverageLight(r), c.expected) << c.mapped;
    }
    // Boundary: near share below 0.1 green, below 0.3 amber; none mapped green.
    r.mapped = 100;
    for (const auto& [near, expected] : {std::pair{9, QualityLight::Green},
                                         {10, QualityLight::Amber},
                                         {29, QualityLight::Amber},
                                         {30, QualityLight::Red}}) {
        r.nearBoundary = near;
        EXPECT_EQ(boundaryLight(r), expected) << near;
    }
    r.mapped = 0;
    EXPECT_EQ(boundaryLight(r), QualityLight::Green);
    for (const auto& [value, expected] : {std::pair{0.299, QualityLight::Green},
                                          {0.3, QualityLight::Amber},
                                          {0.7, QualityLight::Red}}) {
        r.medianSensitivity = value;
        EXPECT_EQ(sensitivityLight(r), expected) << value;
    }
    for (const auto& [value, expected] : {std::pair{0.049, QualityLight::Green},
                                          {0.05, QualityLight::Amber},
                                          {0.15, QualityLight::Red}}) {
        r.bias = value;
        EXPECT_EQ(biasLight(r), expected) << value;
    }
}

QString firstLine(const EModQualityDialog& dialog, const QString& title) {
    for (const QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        if (box->title() == title)
            return box->findChildren<QLabel*>().value(0)->text();
    }
    return {};
}

QStringList lines(const EModQualityDialog& dialog, const QString& title) {
    QStringList texts;
    for (const QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        if (box->title() != title)
            continue;
        for (const QLabel* label : box->findChildren<QLabel*>())
            texts << label->text();
    }
    return texts;
}

TEST(EModQualityDialog, ShowsEachAspectWithItsLightAndFigures) {
    EModQualityDialog dialog(sampleReport(), QStringLiteral("Blood <ID1>"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("YM Quality Assessment"));
    EXPECT_EQ(dialog.findChildren<QGroupBox*>().size(), 4);

    const QString coverage = firstLine(dialog, QStringLiteral("Coverage"));
    EXPECT_TRUE(coverage.contains(QLatin1String(kAmber))); // 10 % unmapped
    EXPECT_TRUE(coverage.endsWith(QStringLiteral("<b>Mapped:</b> 180 (90.0%)")));
    EXPECT_EQ(lines(dialog, QStringLiteral("Coverage")).mid(1),
              (QStringList{"Area too small: 4 (2.0%)", "Area too large: 2 (1.0%)",
                           "Deform too low: 10 (5.0%)", "Deform too high: 4 (2.0%)"}));

    const QString boundary = firstLine(dialog, QStringLiteral("Boundary Proximity"));
    EXPECT_TRUE(boundary.contains(QLatin1String(kAmber))); // 15 % near
    EXPECT_TRUE(boundary.endsWith(
        QStringLiteral("<b>Near low-deformation edge:</b> 27 (15.0%) of mapped events")));

    const QString sensitivity = firstLine(dialog, QStringLiteral("Gradient Sensitivity"));
    EXPECT_TRUE(sensitivity.contains(QLatin1String(kAmber)));
    EXPECT_TRUE(sensitivity.endsWith(QStringLiteral("<b>Median sensitivity:</b> 0.457")));
    EXPECT_EQ(lines(dialog, QStringLiteral("Gradient Sensitivity")).value(2),
              QStringLiteral("High sensitivity events (>1.0): 9 (5.0%)"));

    const QString bias = firstLine(dialog, QStringLiteral("Population Bias"));
    EXPECT_TRUE(bias.contains(QLatin1String(kAmber)));
    EXPECT_TRUE(bias.endsWith(QStringLiteral("<b>Bias:</b> 12.2%")));
    EXPECT_EQ(
        lines(dialog, QStringLiteral("Population Bias")).mid(1),
        (QStringList{"Median YM (all mapped): 1.23 kPa", "Median YM (interior only): 1.10 kPa"}));

    // The dataset name is shown as text, not read as markup.
    const QLabel* name = dialog.findChildren<QLabel*>().value(0);
    EXPECT_EQ(name->text(), QStringLiteral("<b>Dataset:</b> Blood &lt;ID1&gt;"));
}

TEST(EModQualityDialog, WithoutDataOnlyTheNameAndTheNotice) {
    for (const EModulus::QualityReport& report : {EModulus::QualityReport{}, [] {
                                                      EModulus::QualityReport empty;
                                                      empty.valid = true;
                                                      return empty;
                                                  }()}) {
        EModQualityDialog dialog(report, QStringLiteral("d"));
        EXPECT_TRUE(dialog.findChildren<QGroupBox*>().isEmpty());
        const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
        ASSERT_EQ(labels.size(), 2);
        EXPECT_EQ(labels[1]->text(), QStringLiteral("No data available for quality assessment."));
    }
}

} // namespace
} // namespace Quorvex3
