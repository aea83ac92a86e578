// Quality report of computed moduli: classification counts, the edge and
// sensitivity figures, the upper-middle median, and count/percent texts.

#include "CalcTestSupport.h"
#include "calc/EModulus.h"
#include "core/RTDCReader.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Quorvex3 {
namespace {

// Measured deformation whose pixelation-corrected value is `target`.
double measured(double target, double area) {
    return target + (target - EModulus::pixelationCorrection(target, area, 0.34));
}

// Reference conditions of the table (F = 1): 20 µm, 0.16 µL/s, manual
// viscosity equal to the table's.
EModParams referenceParams() {
    EModParams params;
    params.viscosityModel = static_cast<int>(ViscosityModel::Manual);
    params.viscosity = 1.002;
    params.flowRate = 0.16;
    return params;
}

class QualityReportTest : public ::testing::Test {
protected:
    // Events at (area, corrected deformation); table modulus 0.5 + 0.01 a + 20 d.
    RTDCReader& open(const testing::LutDir& lut,
                     const std::vector<std::pair<double, double>>& events) {
        m_emod = std::make_unique<EModulus>();
        m_emod->setLUTSearchDir(lut.base());
        std::vector<double> areas;
        std::vector<double> deforms;
        for (const auto& [area, deform] : events) {
            areas.push_back(area);
            deforms.push_back(measured(deform, area));
        }
        m_reader = std::make_unique<RTDCReader>();
        EXPECT_TRUE(m_reader->openFile(
            testing::writeMeasurement(m_dir, "q.rtdc", {{"area_um", areas}, {"deform", deforms}})));
        return *m_reader;
    }

    testing::TempDir m_dir;
    std::unique_ptr<EModulus> m_emod;
    std::unique_ptr<RTDCReader> m_reader;
};

TEST_F(QualityReportTest, ClassifiesEventsAndSummarisesTheMappedOnes) {
    testing::LutDir lut(testing::lutText(testing::linearTable()));
    RTDCReader& reader = open(lut, {
                                       {10, 0.05},   // 0 area too small
                                       {300, 0.05},  // 1 area too large
                                       {100, -0.01}, // 2 deformation too low
                                       {100, 0.12},  // 3 deformation too high
                                       {200, 0.005}, // 4 E 2.6, near the edge
                                       {50, 0.03},   // 5 E 1.6
                                       {60, 0.05},   // 6 E 2.1
                                       {150, 0.08},  // 7 E 3.6
                                       {220, 0.002}, // 8 E 2.74, near
                                       {20, 0.001},  // 9 E 0.72, near
                                   });
    const EModulus::QualityReport r =
        m_emod->assessQuality(&reader, referenceParams(), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1, 10});
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.totalEvents, 12); // indices out of range count only here
    EXPECT_EQ(r.areaTooSmall, 1);
    EXPECT_EQ(r.areaTooLarge, 1);
    EXPECT_EQ(r.deformTooLow, 1);
    EXPECT_EQ(r.deformTooHigh, 1);
    EXPECT_EQ(r.mapped, 6);
    // The lower edge of a rectangular table is deformation 0: near when the
    // corrected deformation is below 0.1 · 0.1.
    EXPECT_EQ(r.nearBoundary, 3);
    // All mapped, sorted: 0.72 1.6 2.1 2.6 2.74 3.6 -> element 3 (not 2.35,
    // the mean of the middle two). Interior: 1.6 2.1 3.6 -> 2.1.
    EXPECT_NEAR(r.medianAll, 2.6, 1e-9);
    EXPECT_NEAR(r.medianInterior, 2.1, 1e-9);
    EXPECT_NEAR(r.bias, 0.5 / 2.1, 1e-9);
    // Deformations 0.001 0.002 0.005 0.03 0.05 0.08: median 0.03, absolute
    // deviations 0 0.02 0.025 0.028 0.029 0.05 -> MAD 1.4826 · 0.028. Slope
    // dE/dd = 20 everywhere: sensitivity 20 · MAD / E; above 1 only for
    // E = 0.72; the median is that of E = 2.1.
    const double mad = 1.4826 * 0.028;
    EXPECT_NEAR(r.medianSensitivity, 20.0 * mad / 2.1, 1e-6);
    EXPECT_EQ(r.highSensitivity, 1);
}

TEST_F(QualityReportTest, ScaledConditionsScaleTheMediansButNotTheSensitivity) {
    testing::LutDir lut(testing::lutText(testing::linearTable()));
    RTDCReader& reader = open(lut, {{50, 0.03}, {60, 0.05}, {150, 0.08}});
    const EModulus::QualityReport reference =
        m_emod->assessQuality(&reader, referenceParams(), {0, 1, 2});
    EModParams params = referenceParams();
    params.flowRate = 0.48;
    const EModulus::QualityReport tripled = m_emod->assessQuality(&reader, params, {0, 1, 2});
    EXPECT_NEAR(tripled.medianAll, 3.0 * reference.medianAll, 1e-9);
    EXPECT_NEAR(tripled.medianSensitivity, reference.medianSensitivity, 1e-12);
    // The deformation feature and the correction flag of the record are
    // not used: always "deform", always corrected.
    params.deformFeature = "deform_fc";
    params.pixelationCorrection = false;
    EXPECT_NEAR(m_emod->assessQuality(&reader, params, {0, 1, 2}).medianAll, tripled.medianAll,
                0.0);
}

TEST_F(QualityReportTest, EventsOutsideTheHullAreClassedByTheTablesSide) {
    // Arms along the low sides: the hull misses the high corner (x + y >
    // 1.3 in normalised units).
    auto place = [](double x, double y) { return std::pair{20.0 + 200.0 * x, 0.1 * y}; };
    {
        testing::LutDir lut(testing::lutText(testing::lShapedTable(false)));
        RTDCReader& reader = open(lut, {place(0.9, 0.9), place(0.5, 0.9), place(0.9, 0.2)});
        const EModulus::QualityReport r =
            m_emod->assessQuality(&reader, referenceParams(), {0, 1, 2});
        // (0.9, 0.9): middle also outside, low sample inside -> too high;
        // (0.5, 0.9): middle inside and below it -> too high.
        EXPECT_EQ(r.deformTooHigh, 2);
        EXPECT_EQ(r.mapped, 1);
    }
    {
        // Arms along the high sides: the hull misses the low corner.
        testing::LutDir lut(testing::lutText(testing::lShapedTable(true)));
        RTDCReader& reader = open(lut, {place(0.1, 0.1), place(0.3, 0.2), place(0.5, 0.9),
                                        place(0.5, 0.4), place(0.52, 0.75)});
        const EModulus::QualityReport r =
            m_emod->assessQuality(&reader, referenceParams(), {0, 1, 2, 3, 4});
        // (0.1, 0.1): middle and low sample outside -> too low;
        // (0.3, 0.2): middle inside, above the event -> too low.
        EXPECT_EQ(r.deformTooLow, 2);
        EXPECT_EQ(r.mapped, 3);
        // The lower edge (smallest table deformation per area bin) lies at
        // y = 0.7 around x = 0.5; bins without table points take their left
        // neighbour's edge. (0.5, 0.9) is 0.2 above it, (0.5, 0.4) below it
        // (inside the hull's diagonal), so neither is near; (0.52, 0.75) is.
        EXPECT_EQ(r.nearBoundary, 1);
    }
}

TEST_F(QualityReportTest, AllMappedEventsNearTheEdgeGiveNoBias) {
    testing::LutDir lut(testing::lutText(testing::linearTable()));
    RTDCReader& reader = open(lut, {{50, 0.002}, {100, 0.004}});
    const EModulus::QualityReport r = m_emod->assessQuality(&reader, referenceParams(), {0, 1});
    EXPECT_EQ(r.nearBoundary, 2);
    EXPECT_EQ(r.medianInterior, r.medianAll);
    EXPECT_EQ(r.bias, 0.0);
}

TEST_F(QualityReportTest, EmptyOrUnusableInputs) {
    testing::LutDir lut(testing::lutText(testing::linearTable()));
    RTDCReader& reader = open(lut, {{50, 0.03}});
    const EModulus::QualityReport empty = m_emod->assessQuality(&reader, referenceParams(), {});
    EXPECT_TRUE(empty.valid);
    EXPECT_EQ(empty.totalEvents, 0);
    EXPECT_EQ(empty.mapped, 0);
    EXPECT_EQ(empty.medianAll, 0.0);

    EXPECT_FALSE(m_emod->assessQuality(nullptr, referenceParams(), {0}).valid);
    EModParams noWidth = referenceParams();
    noWidth.channelWidth = 0.0; // the dock's "—"
    EXPECT_FALSE(m_emod->assessQuality(&reader, noWidth, {0}).valid);

    testing::TempDir nowhere;
    EModulus noTable;
    noTable.setLUTSearchDir(QString::fromStdString(nowhere.path()));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(noTable.assessQuality(&reader, referenceParams(), {0}).valid);
    ::testing::internal::GetCapturedStderr();

    RTDCReader noDeform;
    ASSERT_TRUE(noDeform.openFile(
        testing::writeMeasurement(m_dir, "nodeform.rtdc", {{"area_um", {50.0}}})));
    EXPECT_FALSE(m_emod->assessQuality(&noDeform, referenceParams(), {0}).valid);
}

// ---------------------------------------------------------------- count and percent

TEST(FormatCountPercent, OneDecimalAndAFixedTextWithoutTotal) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German)); // must not turn the point into a comma
    const std::tuple<int, int, const char*> cases[] = {
        {1, 3, "1 (33.3%)"}, {2, 3, "2 (66.7%)"}, {5, 5, "5 (100.0%)"},
        {0, 7, "0 (0.0%)"},  {3, 0, "0 (0.0%)"},  {4, -2, "0 (0.0%)"},
    };
    for (const auto& [count, total, expected] : cases)
        EXPECT_EQ(formatCountPercent(count, total).toStdString(), expected);
    QLocale::setDefault(previous);
}

} // namespace
} // namespace Quorvex3
