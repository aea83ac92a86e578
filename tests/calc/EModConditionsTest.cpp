// Measurement conditions missing from a dataset's metadata take the same
// positive defaults as for every other dataset.
#include "calc/EModInputs.h"

#include <gtest/gtest.h>

#include <limits>

namespace Quorvex3 {
namespace {

TEST(EModConditions, MissingConditionsTakeTheDefaults) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Table: channel width, flow rate, pixel size given -> used.
    struct Case {
        double width, flow, pixel;
        double expectWidth, expectFlow, expectPixel;
    };
    const Case cases[] = {
        {30.0, 0.16, 0.68, 30.0, 0.16, 0.68}, // all present: kept
        {0.0, 0.0, 0.0, 20.0, 0.04, 0.34},    // missing (read as 0)
        {-5.0, nan, inf, 20.0, 0.04, 0.34},   // unusable
        {15.0, 0.0, 0.5, 15.0, 0.04, 0.5},    // only the flow rate missing
        {1e-9, 1e-9, 1e-9, 1e-9, 1e-9, 1e-9}, // tiny but positive: kept
    };
    for (const Case& c : cases) {
        EModParams p;
        p.channelWidth = c.width;
        p.flowRate = c.flow;
        p.pixelSize = c.pixel;
        p.temperature = 30.5;
        p.deformFeature = "deform_fc";
        EModParams out = p;
        const bool replaced = fillMissingConditions(out);
        EXPECT_EQ(replaced, c.width != c.expectWidth || c.flow != c.expectFlow ||
                                !(c.pixel == c.expectPixel))
            << c.width;
        EXPECT_EQ(out.channelWidth, c.expectWidth) << c.width;
        EXPECT_EQ(out.flowRate, c.expectFlow) << c.flow;
        EXPECT_EQ(out.pixelSize, c.expectPixel) << c.pixel;
        EXPECT_EQ(out.temperature, 30.5);
        EXPECT_EQ(out.deformFeature, "deform_fc");
    }
}

} // namespace
} // namespace Quorvex3
