// Viscosity models against a numpy transcription of their closed forms,
// the model dispatch, and the pixelation correction.

#include "CalcTestSupport.h"
#include "calc/EModulus.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Quorvex3 {
namespace {

void expectRelNear(double expected, double actual, double rel) {
    EXPECT_NEAR(actual, expected, rel * std::abs(expected)) << "expected " << expected;
}

TEST(Viscosity, ClosedFormsMatchNumpy) {
    // /usr/bin/python3 tests/calc/viscosity_oracle.py CASES: Kestin 1978,
    // Herold 2017 and Buyukurganci 2022 per (medium, T, width, flow rate);
    // relative tolerance 1e-12.
    std::vector<std::vector<double>> cases;
    for (int medium = 0; medium <= 4; ++medium)
        for (double t : {4.0, 15.0, 20.0, 23.2, 25.0, 37.0})
            for (double width : {15.0, 20.0, 30.0})
                for (double flow : {0.04, 0.16})
                    cases.push_back({double(medium), t, width, flow});
    testing::TempDir dir;
    testing::writeRows(dir.file("cases.txt"), cases);
    const std::vector<double> expected =
        testing::parseNumbers(testing::runOracle("viscosity_oracle.py", dir.file("cases.txt")));
    ASSERT_EQ(expected.size(), 3 * cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto medium = static_cast<EModMedium>(int(cases[i][0]));
        const double t = cases[i][1];
        SCOPED_TRACE(i);
        expectRelNear(expected[3 * i], EModulus::viscosityKestin1978(t), 1e-12);
        expectRelNear(expected[3 * i + 1],
                      EModulus::viscosityHerold2017(medium, t, cases[i][2], cases[i][3]), 1e-12);
        expectRelNear(expected[3 * i + 2],
                      EModulus::viscosityBuyukurganci2022(medium, t, cases[i][2], cases[i][3]),
                      1e-12);
    }
}

TEST(Viscosity, KnownValues) {
    EXPECT_EQ(EModulus::viscosityKestin1978(20.0), 1.002);
    // Herold for Viscora at 23.2 °C: the temperature factor is 1, and the
    // exponent is 0.677 - 1 in double precision.
    const double width = 20.0 * 1e-6;
    const double shear = 2.0 * (7.1136 * 0.16 * 1e-9) / std::pow(width, 3.0) / 3.0;
    EXPECT_DOUBLE_EQ(EModulus::viscosityHerold2017(EModMedium::Viscora, 23.2, 20.0, 0.16),
                     0.179 * std::pow(1.6707050335189184 * shear, -0.32299999999999995) * 1000.0);
    // Viscosity grows as the medium cools.
    EXPECT_GT(EModulus::viscosityKestin1978(10.0), EModulus::viscosityKestin1978(30.0));
}

TEST(Viscosity, BuyukurganciTreatsViscoraBWaterAndUnknownAlike) {
    const double b = EModulus::viscosityBuyukurganci2022(EModMedium::ViscoraB, 24.0, 20.0, 0.04);
    EXPECT_EQ(EModulus::viscosityBuyukurganci2022(EModMedium::Water, 24.0, 20.0, 0.04), b);
    EXPECT_EQ(EModulus::viscosityBuyukurganci2022(EModMedium::Unknown, 24.0, 20.0, 0.04), b);
    EXPECT_NE(EModulus::viscosityBuyukurganci2022(EModMedium::Viscora, 24.0, 20.0, 0.04), b);
    EXPECT_NE(EModulus::viscosityBuyukurganci2022(EModMedium::McPbs083, 24.0, 20.0, 0.04), b);
}

TEST(Viscosity, ComputeViscosityDispatchesOnTheModel) {
    EModParams params;
    params.medium = static_cast<int>(EModMedium::Viscora);
    params.channelWidth = 30.0;
    params.flowRate = 0.12;
    params.viscosity = 7.5;
    struct Case {
        int model;
        double expected;
    };
    const Case cases[] = {
        {0, EModulus::viscosityHerold2017(EModMedium::Viscora, 26.0, 30.0, 0.12)},
        {1, EModulus::viscosityKestin1978(26.0)},
        {2, EModulus::viscosityBuyukurganci2022(EModMedium::Viscora, 26.0, 30.0, 0.12)},
        {3, 7.5},
        {7, 1.0},
        {-1, 1.0},
    };
    for (const Case& c : cases) {
        params.viscosityModel = c.model;
        EXPECT_EQ(EModulus::computeViscosity(params, 26.0), c.expected) << c.model;
    }
    params.viscosityModel = 3;
    EXPECT_EQ(EModulus::computeViscosity(params, -40.0), 7.5); // manual ignores temperature
}

TEST(PixelationCorrection, SubtractsTheOffsetOfTheCellSize) {
    // 0.05 - (0.0012 + 0.02 e^(-50/7.1) + 0.01 e^(-50/38.6) + 0.005 e^(-50/296))
    // for 50 µm² at the reference pixel size 0.34 µm:
    // numpy: 0.05 - (0.0012 + 0.02*np.exp(-50/7.1) + 0.01*np.exp(-50/38.6)
    //        + 0.005*np.exp(-50/296)) = 0.04182157366771976
    EXPECT_NEAR(EModulus::pixelationCorrection(0.05, 50.0, 0.34), 0.04182157366771976, 1e-15);
    // Half the pixel size is four times the area in reference pixels.
    EXPECT_DOUBLE_EQ(EModulus::pixelationCorrection(0.05, 50.0, 0.17),
                     EModulus::pixelationCorrection(0.05, 200.0, 0.34));
    // Large cells: only the constant offset is left.
    EXPECT_NEAR(EModulus::pixelationCorrection(0.05, 1e6, 0.34), 0.05 - 0.0012, 1e-15);
}

} // namespace
} // namespace Quorvex3
