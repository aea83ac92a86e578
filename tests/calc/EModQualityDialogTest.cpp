// The quality dialog: the traffic lights' thresholds and what it shows.

#include "calc/EModQualityDialog.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace Quorvex3 {

TEST(EModQualityDialog, LightThresholdsAndTheFiguresShown) {
    // Of 200 events: unmapped share below 0.05 green, below 0.2 amber; near
    // the edge, share of mapped below 0.1 / 0.3; sensitivity below 0.3 / 0.7;
    // bias below 0.05 / 0.15.
    using L = QualityLight;
    // clang-format off
    for (const auto& [mapped, near, sensitivity, bias, light] : {std::tuple{191, 19, 0.299, 0.049, L::Green},
            {190, 19, 0.3, 0.05, L::Amber}, {161, 48, 0.699, 0.149, L::Amber}, {159, 48, 0.7, 0.15, L::Red}}) {
        // clang-format on
        const EModulus::QualityReport r{200, 0, 0, 0, 0, mapped, near, sensitivity, 0, 0, 0, bias};
        const std::vector lights{coverageLight(r), boundaryLight(r), sensitivityLight(r),
                                 biasLight(r)};
        EXPECT_EQ(lights, std::vector(4, light)) << mapped;
    }
    EXPECT_EQ(EModQualityDialog({}, "d").findChildren<QLabel*>().value(1)->text(),
              "No data available for quality assessment.");
}

} // namespace Quorvex3
