// Young's modulus: viscosity models against numpy, the per-event
// computation (scaling laws, pixelation, temperature sources, progress,
// refusals), the quality report and the lines of constant modulus.

#include "CalcTestSupport.h"
#include "core/RTDCMetadata.h"

#include <QLocale>

namespace Quorvex3::testing {

// The table's reference conditions (20 µm, 0.16 µL/s, manual viscosity
// 1.002 mPa·s): the moduli are the table's own.
EModParams reference(bool corrected = false) {
    return {0,        static_cast<int>(ViscosityModel::Manual),
            1,        23,
            2,        1.002,
            20,       0.16,
            0.34,     "deform",
            corrected};
}

// The default record's modulus factor at 20 µm, 0.04 µL/s: ViscoraB by Herold.
double factor(double t) {
    return 0.25 / 1.002 * EModulus::viscosityHerold2017(EModMedium::ViscoraB, t, 20, 0.04);
}

TEST(Viscosity, ModelsMatchNumpyAndPixelationCorrection) {
    // /usr/bin/python3 tests/calc/emodulus_fl_oracle.py viscosity CASES; relative
    // tolerance 1e-12: every medium at 4, 20, 23.2 and 37 °C in a 15 and a
    // 30 µm channel, by model 0, 1, 2: Herold, Kestin, Buyukurganci.
    const double t[] = {4, 20, 23.2, 37};
    Rows cases;
    for (int i = 0; i < 40; ++i)
        cases.push_back({i % 5 * 1.0, t[i / 5 % 4], i < 20 ? 15.0 : 30.0, i < 20 ? 0.04 : 0.16});
    const std::vector<double> expected = oracle("viscosity", {cases});
    ASSERT_EQ(expected.size(), 120u);
    for (std::size_t i = 0; i < 120; ++i) {
        const std::vector<double>& c = cases[i / 3];
        const EModParams p{0, static_cast<int>(i % 3), static_cast<int>(c[0]), 0, 0, 0, c[2], c[3]};
        EXPECT_NEAR(EModulus::computeViscosity(p, c[1]), expected[i], 1e-12 * expected[i]) << i;
    }
    // numpy: z = 50 * (0.34 / pixel)**2; 0.05 - (0.0012 + 0.02 * np.exp(-z / 7.1)
    //        + 0.01 * np.exp(-z / 38.6) + 0.005 * np.exp(-z / 296))
    EXPECT_NEAR(EModulus::pixelationCorrection(0.05, 50.0, 0.5), 0.03791128668595503, 1e-15);
}

TEST(Viscosity, ManualAndUnknownModelsAndKestinAtItsReference) {
    // The manual model returns the record's viscosity whatever the
    // temperature; a model the program does not know gives 1.0 mPa·s.
    EModParams p;
    p.viscosity = 3.25;
    p.viscosityModel = 3;
    for (const double t : {-10.0, 0.0, 23.0, 80.0})
        EXPECT_EQ(EModulus::computeViscosity(p, t), 3.25) << t;
    for (const int model : {4, 7, -1}) {
        p.viscosityModel = model;
        EXPECT_EQ(EModulus::computeViscosity(p, 23.0), 1.0) << model;
    }
    EXPECT_EQ(EModulus::viscosityKestin1978(20.0), 1.002);
}

class EModulusRun : public CalcTest {
protected:
    void SetUp() override { m_emod.setLUTSearchDir(tableDir(gridTable())); }

    std::vector<double> run(RTDCReader& reader, const EModParams& params) {
        QString error;
        EXPECT_TRUE(m_emod.run(&reader, params, &error)) << error.toStdString();
        return reader.readScalarFeature("emodulus");
    }
};

TEST_F(EModulusRun, PixelationTemperatureSourcesAndProgress) {
    // 1000 events cycling through 7 places: outside the table (area 10, 250,
    // NaN), then at temperatures 18, 22, 26 and 30 °C.
    const double areas[] = {10, 250, NAN, 30, 55.5, 120, 199};
    Columns c;
    for (int i = 0; i < 1000; ++i) {
        c["area_um"].push_back(areas[i % 7]);
        c["deform"].push_back(0.02 + 0.01 * (i % 7));
        c["temp"].push_back(6.0 + 4 * (i % 7));
    }
    RTDCReader& reader = open(c);
    std::vector<int> progress;
    QObject::connect(&m_emod, &EModulus::progressChanged, [&](int p) { progress.push_back(p); });
    EModParams params; // 20 µm, 0.04 µL/s, ViscoraB by Herold
    params.pixelSize = 0.5;
    params.temperature = 25.0;
    for (const int source : {1, 0, 2}) { // per event, manual, metadata (resolved before)
        params.temperatureSource = source;
        const std::vector<double> e = run(reader, params);
        for (std::size_t i = 0; i < 1000; ++i) {
            const double d = EModulus::pixelationCorrection(c["deform"][i], c["area_um"][i], 0.5);
            const double t = source == 1 ? c["temp"][i] : 25;
            const double expected = linearModulus(c["area_um"][i], d) * factor(t);
            EXPECT_TRUE(i % 7 < 3 ? std::isnan(e[i]) : std::abs(e[i] - expected) < 1e-9) << i;
        }
    }
    EXPECT_EQ(std::vector(progress.begin(), progress.begin() + 5),
              (std::vector{0, 25, 51, 76, 100}));
    // Every 256 events, not more often: 256 events report 0 and 100 only,
    // 257 events also 99 at event 256.
    for (const auto& [count, expected] :
         {std::pair{256, std::vector{0, 100}}, {257, std::vector{0, 99, 100}}}) {
        progress.clear();
        run(open({{"area_um", std::vector<double>(count, 50.0)},
                  {"deform", std::vector<double>(count, 0.05)}}),
            params);
        EXPECT_EQ(progress, expected) << count;
    }
}

TEST_F(EModulusRun, DoubleFlowDoublesHalfWidthLooksUpFourfoldAreasForEightfoldModuli) {
    // The record's deformation feature ("d2" here) is the one mapped.
    const std::vector<double> areas{10, 20, 35, 50}, d{0.02, 0.04, 0.06, 0.08};
    RTDCReader& narrow = open({{"area_um", areas}, {"deform", {0, 0, 0, 0}}, {"d2", d}});
    RTDCReader& wide = open({{"area_um", {40, 80, 140, 200}}, {"d2", d}});
    EModParams params = reference();
    params.deformFeature = "d2";
    // clang-format off
    for (const auto& [reader, flow, width, scale] :
            {std::tuple{&wide, 0.16, 20.0, 1.0}, {&wide, 0.32, 20.0, 2.0}, {&narrow, 0.16, 10.0, 8.0}}) {
        // clang-format on
        params.flowRate = flow;
        params.channelWidth = width;
        const std::vector<double> e = run(*reader, params);
        for (std::size_t i = 0; i < areas.size(); ++i)
            EXPECT_NEAR(e[i], scale * linearModulus(4 * areas[i], d[i]), 1e-9) << scale;
    }
}

TEST_F(EModulusRun, TheTablesReferenceConditionsScaleTheModuli) {
    // A table for 40 µm, 0.04 µL/s and 0.501 mPa·s, a measurement in 20 µm at
    // 0.16 µL/s in 1.002 mPa·s: areas looked up fourfold, moduli times
    // 2³ (geometry) · 4 (flow) · 2 (viscosity) = 64.
    EModulus emod;
    emod.setLUTSearchDir(tableDir(
        gridTable(), R"({"channel_width": 40, "flow_rate": 0.04, "fluid_viscosity": 0.501})"));
    const std::vector<double> areas{10, 30, 50}, d{0.02, 0.05, 0.09};
    RTDCReader& reader = open({{"area_um", areas}, {"deform", d}});
    ASSERT_TRUE(emod.run(&reader, reference()));
    for (std::size_t i = 0; i < areas.size(); ++i)
        EXPECT_NEAR(reader.readScalarFeature("emodulus")[i],
                    64 * linearModulus(4 * areas[i], d[i]), 1e-9)
            << i;
}

TEST_F(EModulusRun, PerEventTemperatureOnlyFromAFullTempColumn) {
    // Without "temp", or with a column of another length, the record's
    // temperature holds for every event; a NaN temperature makes NaN.
    EModParams params;
    params.temperatureSource = static_cast<int>(TemperatureSource::Event);
    params.temperature = 25.0;
    params.pixelationCorrection = false;
    const Columns base{{"area_um", {50, 100}}, {"deform", {0.03, 0.06}}};
    // clang-format off
    for (const auto& [temp, t0, t1] : {std::tuple{std::vector<double>{}, 25.0, 25.0},
            {std::vector<double>{30}, 25.0, 25.0}, {std::vector<double>{30, 18}, 30.0, 18.0},
            {std::vector<double>{NAN, 18}, NAN, 18.0}}) {
        // clang-format on
        Columns c = base;
        if (!temp.empty())
            c["temp"] = temp;
        const std::vector<double> e = run(open(c), params);
        EXPECT_NEAR(e[1], linearModulus(100, 0.06) * factor(t1), 1e-9) << temp.size();
        if (std::isnan(t0))
            EXPECT_TRUE(std::isnan(e[0]));
        else
            EXPECT_NEAR(e[0], linearModulus(50, 0.03) * factor(t0), 1e-9) << temp.size();
    }
}

TEST_F(EModulusRun, RefusesWhatCannotGiveModuliAndSaysWhy) {
    const std::pair<void (*)(EModParams&), const char*> cases[] = {
        {[](EModParams& p) { p.channelWidth = 0.0; }, "channel width"},
        {[](EModParams& p) { p.flowRate = -0.1; }, "flow rate"},
        {[](EModParams& p) { p.pixelationCorrection = true, p.pixelSize = 0.0; }, "pixel size"},
        {[](EModParams& p) { p.viscosity = 0.0; }, "viscosity"},
        {[](EModParams& p) { p.viscosityModel = 0, p.temperature = 0.0; }, "viscosity"},
        {[](EModParams& p) { p.deformFeature = "deform_fc"; }, "\"deform_fc\""},
        {[](EModParams& p) { p.lutModel = 3; }, "model 3"}};
    RTDCReader& reader = open({{"area_um", {50, 60}}, {"deform", {0.05, 0.05}}});
    QString error;
    for (const auto& [change, expected] : cases) {
        EModParams params = reference();
        change(params);
        EXPECT_FALSE(m_emod.run(&reader, params, &error)) << expected;
        EXPECT_TRUE(error.contains(expected)) << error.toStdString();
    }
    EXPECT_FALSE(reader.hasFeature("emodulus"));
    // No events, or deformations not one per area: refused, nothing added.
    for (RTDCReader* bad : {&open({{"area_um", {}}, {"deform", {}}}),
                            &open({{"area_um", {50, 60}}, {"deform", {0.05}}})}) {
        EXPECT_FALSE(m_emod.run(bad, reference(), &error));
        EXPECT_FALSE(bad->hasFeature("emodulus"));
    }
}

TEST(EModMetadataTemperature, OnlyPositiveNumbersReplaceItForTheMetadataSource) {
    // clang-format off
    for (const auto& [text, source, expected] : {std::tuple{"25.5", 2, 25.5}, {"0.000000", 2, 23.0},
            {"-3", 2, 23.0}, {"warm", 2, 23.0}, {"25.5", 0, 23.0}}) {
        // clang-format on
        RTDCMetadata metadata;
        metadata.setup["temperature"] = text;
        EModParams params;
        params.temperatureSource = source;
        EXPECT_EQ(applyMetadataTemperature(params, metadata), expected != 23.0) << text;
        EXPECT_EQ(params.temperature, expected) << text;
    }
}

class Quality : public CalcTest {
protected:
    // Classifies events at (area, pixelation-corrected deformation at
    // 0.34 µm), plus two out-of-range indices, against m_model's table.
    EModulus::QualityReport assess(const std::vector<std::pair<double, double>>& places,
                                   const EModParams& params = reference(true)) {
        Columns c;
        std::vector<int> indices{-1, static_cast<int>(places.size())};
        for (const auto& [area, deform] : places) {
            indices.push_back(static_cast<int>(c["area_um"].size()));
            c["area_um"].push_back(area);
            c["deform"].push_back(2 * deform - EModulus::pixelationCorrection(deform, area, 0.34));
        }
        return m_model->assessQuality(&open(c), params, indices);
    }

    EModulus* m_model = &m_emod;
};

TEST_F(Quality, ClassifiesEventsAndSummarisesTheMappedOnes) {
    // Table modulus 0.5 + 0.01 area + 20 deformation. Events: area too small,
    // too large, deformation too low, too high; mapped E 2.6 (near the lower
    // edge: deformation below 0.1 of the range), 1.6, 2.1, 3.6, 2.74 (near),
    // 0.72 (near).
    m_emod.setLUTSearchDir(tableDir(gridTable()));
    const std::vector<std::pair<double, double>> places{
        {10, 0.05}, {300, 0.05}, {100, -0.01}, {100, 0.12},  {200, 0.005},
        {50, 0.03}, {60, 0.05},  {150, 0.08},  {220, 0.002}, {20, 0.001}};
    const EModulus::QualityReport r = assess(places);
    EXPECT_EQ(std::vector({r.totalEvents, r.areaTooSmall, r.areaTooLarge, r.deformTooLow,
                           r.deformTooHigh, r.mapped, r.nearBoundary, r.highSensitivity}),
              std::vector({12, 1, 1, 1, 1, 6, 3, 1}));
    // Sorted 0.72 1.6 2.1 2.6 2.74 3.6: element 3, not the mean of the two
    // middle ones; interior 1.6 2.1 3.6 -> 2.1. Deformations 0.001 0.002
    // 0.005 0.03 0.05 0.08: absolute deviations from 0.03 sorted 0 0.02 0.025
    // 0.028 0.029 0.05 -> MAD 1.4826 · 0.028; slope 20: sensitivity 20 MAD / E,
    // above 1 only for E = 0.72.
    EXPECT_NEAR(r.medianAll, 2.6, 1e-9);
    EXPECT_NEAR(r.medianInterior, 2.1, 1e-9);
    EXPECT_NEAR(r.bias, 0.5 / 2.1, 1e-9);
    EXPECT_NEAR(r.medianSensitivity, 20.0 * 1.4826 * 0.028 / 2.1, 1e-6);
    // Thrice the flow: medians threefold; always "deform", always corrected,
    // whatever the record says.
    EModParams params = reference();
    params.flowRate = 0.48;
    params.deformFeature = "deform_fc";
    const EModulus::QualityReport tripled = assess(places, params);
    EXPECT_NEAR(tripled.medianAll, 3.0 * r.medianAll, 1e-9);
    EXPECT_EQ(tripled.nearBoundary, 3);
    QLocale::setDefault(QLocale(QLocale::German)); // the counts keep their decimal point
    EXPECT_EQ(formatCountPercent(2, 3), "2 (66.7%)");
    EXPECT_EQ(formatCountPercent(3, 0), "0 (0.0%)");
    EXPECT_FALSE(m_emod.assessQuality(nullptr, reference(), {0}).valid);
}

TEST_F(Quality, NoIndicesAndEveryEventNearTheLowerEdge) {
    m_emod.setLUTSearchDir(tableDir(gridTable()));
    const EModulus::QualityReport none =
        m_emod.assessQuality(&open({{"area_um", {50}}, {"deform", {0.05}}}), reference(), {});
    EXPECT_TRUE(none.valid);
    EXPECT_EQ(std::pair(none.totalEvents, none.mapped), std::pair(0, 0));
    // Deformations below a tenth of the range above the lower edge (0): the
    // interior list is empty, its median is that of all, no bias. E = 1.02,
    // 1.58, 2.18: the median is the middle one.
    const EModulus::QualityReport r = assess({{50, 0.001}, {100, 0.004}, {150, 0.009}});
    EXPECT_EQ(std::tuple(r.totalEvents, r.mapped, r.nearBoundary), std::tuple(5, 3, 3));
    EXPECT_NEAR(r.medianAll, 1.58, 1e-9);
    EXPECT_EQ(r.medianInterior, r.medianAll);
    EXPECT_EQ(r.bias, 0.0);
    // The band is a tenth of the range (0.01) above the edge, upper end
    // excluded.
    const EModulus::QualityReport band = assess({{100, 0.0099}, {100, 0.0101}, {100, 0.015}});
    EXPECT_EQ(std::pair(band.mapped, band.nearBoundary), std::pair(3, 1));
}

TEST_F(Quality, NarrowChannelCorrectsTheMeasuredAreaAndSensitivityStepsAThousandth) {
    // A 10 µm channel: areas of 5 to 55 µm² are looked up fourfold, but the
    // pixelation correction is that of the measured area. Modulus 0.5 + 200
    // d², linear between the table's deformation rows 0.005 apart.
    m_emod.setLUTSearchDir(tableDir(gridTable({}, [](double, double d) { return 0.5 + 200 * d * d; })));
    EModParams params = reference(true);
    params.channelWidth = 10.0;
    const EModulus::QualityReport band = assess({{25, 0.0099}, {25, 0.0101}, {25, 0.015}}, params);
    EXPECT_EQ(std::pair(band.mapped, band.nearBoundary), std::pair(3, 1));
    // Deformations 0.0508, 0.0608, 0.0708: MAD 1.4826 · 0.01. Steps of
    // 0.0001 stay inside one row (slope 200 (2 lo + 0.005)); a wider step
    // would reach the next row. Median of the three sensitivities.
    const double ds[] = {0.0508, 0.0608, 0.0708};
    std::vector<double> expected;
    for (const double d : ds) {
        const double lo = 0.005 * std::floor(d / 0.005), slope = 200 * (2 * lo + 0.005);
        expected.push_back(0.014826 * slope / (0.5 + 200 * lo * lo + slope * (d - lo)));
    }
    std::sort(expected.begin(), expected.end());
    const EModulus::QualityReport r = assess({{25, ds[0]}, {25, ds[1]}, {25, ds[2]}}, params);
    ASSERT_EQ(r.mapped, 3);
    EXPECT_NEAR(r.medianSensitivity, expected[1], 1e-9);
}

TEST_F(Quality, OutsideTheHullByTheTablesSideNearItsLocalLowerEdge) {
    // L-shaped tables, normalised (x, y) at (20 + 200 x, 0.1 y). Low arms: the
    // hull misses x + y > 1.3. (0.9, 0.9): the middle deformation is outside
    // too, a low one inside -> too high; (0.5, 0.9): the middle is inside,
    // below it -> too high.
    auto at = [](double x, double y) { return std::pair{20.0 + 200.0 * x, 0.1 * y}; };
    m_emod.setLUTSearchDir(
        tableDir(gridTable([](double x, double y) { return x <= 0.3 || y <= 0.3; })));
    EModulus::QualityReport r = assess({at(0.9, 0.9), at(0.5, 0.9), at(0.9, 0.2)});
    EXPECT_EQ(std::pair(r.deformTooHigh, r.mapped), std::pair(2, 1));
    // High arms: the hull misses the low corner. (0.1, 0.1): middle and low
    // sample outside -> too low; (0.3, 0.2): the middle is inside, above it
    // -> too low. The lower edge is y = 0.7 up to x = 0.65, bins without
    // table points taking their left neighbour's (0 from x = 0.7 on):
    // (0.5, 0.9) is far above it, (0.5, 0.4) below it, (0.67, 0.75) near.
    EModulus high;
    high.setLUTSearchDir(
        tableDir(gridTable([](double x, double y) { return x >= 0.7 || y >= 0.7; })));
    m_model = &high;
    r = assess({at(0.1, 0.1), at(0.3, 0.2), at(0.5, 0.9), at(0.5, 0.4), at(0.67, 0.75)});
    EXPECT_EQ(std::tuple(r.deformTooLow, r.mapped, r.nearBoundary), std::tuple(2, 3, 1));
}

TEST_F(CalcTest, IsolinesOfTenTimesTheDeformationInAnyConditions) {
    // Level L lies at deformation L / 10 plus the pixelation offset of the
    // area, in 150 steps of area; the table reaches 1.0 kPa, so the levels
    // from 1.2 kPa on are not drawn.
    m_emod.setLUTSearchDir(tableDir(gridTable({}, [](double, double d) { return 10 * d; })));
    EModParams params = reference(true);
    params.pixelSize = 0.5;
    const std::vector<IsoLine> lines = m_emod.computeIsolines(params);
    const double levels[] = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9};
    ASSERT_EQ(lines.size(), 7u);
    for (std::size_t k = 0; k < 7; ++k) {
        EXPECT_DOUBLE_EQ(lines[k].value, levels[k]);
        ASSERT_EQ(lines[k].points.size() / 2, 75u); // the end by repeated addition: 150 or 151
        for (std::size_t i = 0; i < lines[k].points.size(); ++i) {
            const auto [area, deform] = lines[k].points[i];
            EXPECT_NEAR(area, 20.0 + i * 200.0 / 150.0, 1e-9);
            EXPECT_NEAR(deform + EModulus::pixelationCorrection(0, area, 0.5), levels[k] / 10,
                        1e-8);
        }
    }
    // The record's deformation feature, correction flag and temperature
    // source play no part.
    EModParams other = params;
    other.pixelationCorrection = false;
    other.deformFeature = "deform_fc";
    other.temperatureSource = static_cast<int>(TemperatureSource::Event);
    const std::vector<IsoLine> same = m_emod.computeIsolines(other);
    ASSERT_EQ(same.size(), lines.size());
    for (std::size_t k = 0; k < lines.size(); ++k)
        EXPECT_EQ(std::pair(same[k].value, same[k].points),
                  std::pair(lines[k].value, lines[k].points));
    // The default record (lines always come from table 0) scales the
    // values; half the width shrinks the areas fourfold; a width of 0 (an
    // area step of 0 would never end) gives no lines.
    params = EModParams();
    params.lutModel = 5;
    EXPECT_DOUBLE_EQ(m_emod.computeIsolines(params).at(0).value, 0.2 * factor(23));
    params.channelWidth = 10.0;
    EXPECT_DOUBLE_EQ(m_emod.computeIsolines(params).at(0).points.at(0).first, 5.0);
    // There the table's areas are four times the measured ones, and the
    // offset added is that of the measured area.
    EModParams narrow = reference(true);
    narrow.channelWidth = 10.0;
    narrow.pixelSize = 0.5;
    const std::vector<IsoLine> narrowLines = m_emod.computeIsolines(narrow);
    ASSERT_FALSE(narrowLines.empty());
    EXPECT_DOUBLE_EQ(narrowLines[0].value, 8 * 0.2);
    for (const auto& [area, deform] : narrowLines[0].points)
        EXPECT_NEAR(deform + EModulus::pixelationCorrection(0, area, 0.5), 0.02, 1e-8) << area;
    params.channelWidth = 0.0;
    EXPECT_TRUE(m_emod.computeIsolines(params).empty());
}

TEST_F(CalcTest, IsolinesWithoutATableAreNoneAndSayWhy) {
    const std::string base = m_dir.path() + "/p/q/r/s";
    std::filesystem::create_directories(base);
    m_emod.setLUTSearchDir(QString::fromStdString(base));
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(m_emod.computeIsolines(EModParams()).empty());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "EModulus: LUT file not found: LUT_LE_2D_FEM.txt (searched from " + base + ")\n");
}

} // namespace Quorvex3::testing
