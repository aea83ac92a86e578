// Lines of constant modulus on a table with E = 10 · deformation: each
// level L lies at deformation L / 10 plus the pixelation offset of its area.

#include "CalcTestSupport.h"
#include "calc/EModulus.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Quorvex3 {
namespace {

std::vector<testing::LutRow> tenTimesDeformation() {
    std::vector<testing::LutRow> rows = testing::linearTable();
    for (testing::LutRow& row : rows)
        row.emodulus = 10.0 * row.deform;
    return rows;
}

double pixelationOffset(double area, double pixelSize) {
    const double z = -area * (0.34 / pixelSize) * (0.34 / pixelSize);
    return 0.0012 + 0.02 * std::exp(z / 7.1) + 0.01 * std::exp(z / 38.6) +
           0.005 * std::exp(z / 296.0);
}

class Isolines : public ::testing::Test {
protected:
    void SetUp() override { m_emod.setLUTSearchDir(m_lut.base()); }

    static EModParams referenceParams() {
        EModParams params;
        params.viscosityModel = static_cast<int>(ViscosityModel::Manual);
        params.viscosity = 1.002;
        params.flowRate = 0.16;
        return params;
    }

    testing::LutDir m_lut{testing::lutText(tenTimesDeformation())};
    EModulus m_emod;
};

TEST_F(Isolines, LevelsTheTableReachesLieAtTheirDeformation) {
    EModParams params = referenceParams();
    params.pixelSize = 0.5;
    const std::vector<EModulus::IsoLine> lines = m_emod.computeIsolines(params);
    // The table reaches 1.0 kPa: levels 0.2 ... 0.7 and 0.9 are drawn, 1.2
    // and above are not.
    const std::vector<double> levels{0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9};
    ASSERT_EQ(lines.size(), levels.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        SCOPED_TRACE(levels[k]);
        EXPECT_DOUBLE_EQ(lines[k].value, levels[k]);
        ASSERT_GE(lines[k].points.size(), 150u);
        ASSERT_LE(lines[k].points.size(), 151u);
        EXPECT_DOUBLE_EQ(lines[k].points.front().first, 20.0);
        for (std::size_t i = 0; i < lines[k].points.size(); ++i) {
            const auto [area, deform] = lines[k].points[i];
            EXPECT_NEAR(area, 20.0 + i * 200.0 / 150.0, 1e-9);
            EXPECT_NEAR(deform, levels[k] / 10.0 + pixelationOffset(area, 0.5), 1e-8) << i;
        }
    }
}

TEST_F(Isolines, ConditionsScaleValuesAndAreas) {
    // Default record: 20 µm, 0.04 µL/s, ViscoraB by Herold at 23 °C.
    EModParams params;
    const double factor =
        0.25 * EModulus::viscosityHerold2017(EModMedium::ViscoraB, 23.0, 20.0, 0.04) / 1.002;
    std::vector<EModulus::IsoLine> lines = m_emod.computeIsolines(params);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_DOUBLE_EQ(lines[0].value, factor * 0.2);
    // Half the channel width: areas shrink 4-fold, values grow 8-fold.
    params = referenceParams();
    params.channelWidth = 10.0;
    lines = m_emod.computeIsolines(params);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_DOUBLE_EQ(lines[0].value, 8.0 * 0.2);
    EXPECT_DOUBLE_EQ(lines[0].points.front().first, 5.0);
    // The area grows by repeated addition of (55 - 5) / 150, so rounding
    // may leave the last step just beyond the end.
    EXPECT_LE(lines[0].points.back().first, 55.0);
    EXPECT_GT(lines[0].points.back().first, 55.0 - 50.0 / 150.0 - 1e-9);
    EXPECT_NEAR(lines[0].points.front().second, 0.02 + pixelationOffset(5.0, 0.34), 1e-8);
}

TEST_F(Isolines, RecordFieldsThatDoNotMatterChangeNothing) {
    const std::vector<EModulus::IsoLine> reference = m_emod.computeIsolines(referenceParams());
    EModParams params = referenceParams();
    params.lutModel = 5;
    params.pixelationCorrection = false;
    params.deformFeature = "deform_fc";
    params.temperatureSource = static_cast<int>(TemperatureSource::Event);
    const std::vector<EModulus::IsoLine> lines = m_emod.computeIsolines(params);
    ASSERT_EQ(lines.size(), reference.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        EXPECT_EQ(lines[k].value, reference[k].value);
        EXPECT_EQ(lines[k].points, reference[k].points);
    }
}

TEST_F(Isolines, NoLinesWithoutTableOrUsableConditions) {
    testing::TempDir nowhere;
    EModulus noTable;
    noTable.setLUTSearchDir(QString::fromStdString(nowhere.path()));
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(noTable.computeIsolines(referenceParams()).empty());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("EModulus: LUT file not found"),
              std::string::npos);
    // A channel width of 0 would make the area step 0 and the scan endless.
    for (double bad : {0.0, -20.0, std::nan("")}) {
        EModParams params = referenceParams();
        params.channelWidth = bad;
        EXPECT_TRUE(m_emod.computeIsolines(params).empty()) << bad;
    }
    EModParams params = referenceParams();
    params.viscosity = 0.0;
    EXPECT_TRUE(m_emod.computeIsolines(params).empty());
}

} // namespace
} // namespace Quorvex3
