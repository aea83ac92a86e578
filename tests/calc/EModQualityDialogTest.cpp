// The quality dialog: the traffic lights' thresholds and what each aspect
// shows.

#include "calc/EModQualityDialog.h"

#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

TEST(QualityLights, ThresholdsOfEachAspect) {
    constexpr QualityLight kGreen = QualityLight::Green, kAmber = QualityLight::Amber,
                           kRed = QualityLight::Red;
    EModulus::QualityReport r;
    r.totalEvents = 200; // coverage: unmapped share below 0.05 green, below 0.2 amber
    for (const auto& [mapped, light] :
         {std::pair{191, kGreen}, {190, kAmber}, {161, kAmber}, {159, kRed}}) {
        r.mapped = mapped;
        EXPECT_EQ(coverageLight(r), light) << mapped;
    }
    r.mapped = 100; // boundary: near share below 0.1 green, below 0.3 amber
    for (const auto& [near, light] :
         {std::pair{9, kGreen}, {10, kAmber}, {29, kAmber}, {30, kRed}}) {
        r.nearBoundary = near;
        EXPECT_EQ(boundaryLight(r), light) << near;
    }
    r.mapped = 0;
    EXPECT_EQ(boundaryLight(r), kGreen);
    // Sensitivity: below 0.3 green, below 0.7 amber; bias: 0.05 and 0.15.
    for (const auto& [value, sensitivity, bias] : {std::tuple{0.049, kGreen, kGreen},
                                                   {0.05, kGreen, kAmber},
                                                   {0.149, kGreen, kAmber},
                                                   {0.15, kGreen, kRed},
                                                   {0.299, kGreen, kRed},
                                                   {0.3, kAmber, kRed},
                                                   {0.7, kRed, kRed}}) {
        r.medianSensitivity = r.bias = value;
        EXPECT_EQ(sensitivityLight(r), sensitivity) << value;
        EXPECT_EQ(biasLight(r), bias) << value;
    }
}

TEST(EModQualityDialog, ShowsEveryAspectsFiguresOrTheNotice) {
    EModulus::QualityReport r;
    r.totalEvents = 200;
    r.areaTooSmall = 4;
    r.deformTooHigh = 16;
    r.mapped = 180;
    r.nearBoundary = 27;
    r.medianSensitivity = 0.4567;
    r.highSensitivity = 9;
    r.medianAll = 1.23456;
    r.medianInterior = 1.1;
    r.bias = 0.1223;
    r.valid = true;
    const EModQualityDialog dialog(r, QStringLiteral("Blood <ID1>"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("YM Quality Assessment"));
    EXPECT_EQ(dialog.findChildren<QGroupBox*>().size(), 4);
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    for (const char* expected :
         {"<b>Dataset:</b> Blood &lt;ID1&gt;", "<b>Mapped:</b> 180 (90.0%)",
          "Area too small: 4 (2.0%)", "Deform too high: 16 (8.0%)",
          "<b>Near low-deformation edge:</b> 27 (15.0%) of mapped events",
          "<b>Median sensitivity:</b> 0.457", "High sensitivity events (>1.0): 9 (5.0%)",
          "<b>Bias:</b> 12.2%", "Median YM (all mapped): 1.23 kPa",
          "Median YM (interior only): 1.10 kPa"})
        EXPECT_TRUE(texts.join('\n').contains(QString::fromUtf8(expected))) << expected;
    const EModQualityDialog empty(EModulus::QualityReport{}, QStringLiteral("d"));
    EXPECT_TRUE(empty.findChildren<QGroupBox*>().isEmpty());
    EXPECT_EQ(empty.findChildren<QLabel*>().value(1)->text(),
              QStringLiteral("No data available for quality assessment."));
}

} // namespace
} // namespace Quorvex3
