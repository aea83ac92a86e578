// Young's modulus per event: scaling from the table's reference conditions,
// the pixelation correction, temperature sources, progress, and refusals
// that tell the user why instead of storing meaningless moduli.

#include "CalcTestSupport.h"
#include "calc/EModulus.h"
#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace Quorvex3 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Columns = std::map<std::string, std::vector<double>>;

// The linear table at the default reference conditions (20 µm, 0.16 µL/s,
// 1.002 mPa·s), so every expected modulus can be written down.
class EModulusRun : public ::testing::Test {
protected:
    void SetUp() override { m_emod.setLUTSearchDir(m_lut.base()); }

    RTDCReader& open(const Columns& columns) {
        m_readers.push_back(std::make_unique<RTDCReader>());
        const std::string path = testing::writeMeasurement(
            m_dir, "m" + std::to_string(m_readers.size()) + ".rtdc", columns);
        EXPECT_TRUE(m_readers.back()->openFile(path));
        return *m_readers.back();
    }

    // A record that isolates the geometry: manual viscosity equal to the
    // table's, no pixelation correction.
    static EModParams plainParams() {
        EModParams params;
        params.viscosityModel = static_cast<int>(ViscosityModel::Manual);
        params.viscosity = 1.002;
        params.flowRate = 0.16;
        params.pixelationCorrection = false;
        return params;
    }

    std::vector<double> run(RTDCReader& reader, const EModParams& params) {
        QString error;
        EXPECT_TRUE(m_emod.run(&reader, params, &error)) << error.toStdString();
        return reader.readScalarFeature("emodulus");
    }

    testing::LutDir m_lut{testing::lutText(testing::linearTable())};
    testing::TempDir m_dir;
    EModulus m_emod;
    std::vector<std::unique_ptr<RTDCReader>> m_readers;
};

const std::vector<double> kAreas{30.0, 55.5, 120.0, 199.0, 10.0, 250.0, kNaN};
const std::vector<double> kDeforms{0.02, 0.045, 0.07, 0.09, 0.05, 0.05, 0.05};

TEST_F(EModulusRun, DefaultConditionsScaleByFlowAndViscosityOnly) {
    RTDCReader& reader = open({{"area_um", kAreas}, {"deform", kDeforms}});
    const EModParams params; // 20 µm, 0.04 µL/s, ViscoraB by Herold at 23 °C
    const std::vector<double> e = run(reader, params);
    ASSERT_EQ(e.size(), kAreas.size());
    const double eta = EModulus::viscosityHerold2017(EModMedium::ViscoraB, 23.0, 20.0, 0.04);
    for (std::size_t i = 0; i < 4; ++i) {
        const double d = EModulus::pixelationCorrection(kDeforms[i], kAreas[i], 0.34);
        EXPECT_NEAR(e[i], 0.25 * testing::linearModulus(kAreas[i], d) * eta / 1.002, 1e-9) << i;
    }
    // Outside the table's areas, and a NaN input.
    EXPECT_TRUE(std::isnan(e[4]));
    EXPECT_TRUE(std::isnan(e[5]));
    EXPECT_TRUE(std::isnan(e[6]));
    EXPECT_TRUE(reader.isCalculatedFeature("emodulus"));
}

TEST_F(EModulusRun, DoublingTheFlowRateDoublesEveryModulus) {
    // With a viscosity that does not itself depend on the flow (the
    // methyl-cellulose models thin with shear).
    RTDCReader& reader = open({{"area_um", kAreas}, {"deform", kDeforms}});
    EModParams params = plainParams();
    params.pixelationCorrection = true;
    const std::vector<double> single = run(reader, params);
    params.flowRate *= 2.0;
    const std::vector<double> doubled = run(reader, params);
    for (std::size_t i = 0; i < single.size(); ++i) {
        if (std::isnan(single[i]))
            EXPECT_TRUE(std::isnan(doubled[i]));
        else
            EXPECT_DOUBLE_EQ(doubled[i], 2.0 * single[i]) << i;
    }
}

TEST_F(EModulusRun, HalfTheChannelWidthLooksUpFourfoldAreasAndGivesEightfoldModuli) {
    const std::vector<double> areas{10.0, 20.0, 35.0, 50.0};
    const std::vector<double> deforms{0.02, 0.04, 0.06, 0.08};
    std::vector<double> fourfold;
    for (double a : areas)
        fourfold.push_back(4.0 * a);
    RTDCReader& narrow = open({{"area_um", areas}, {"deform", deforms}});
    RTDCReader& reference = open({{"area_um", fourfold}, {"deform", deforms}});
    EModParams params = plainParams();
    const std::vector<double> atReference = run(reference, params);
    params.channelWidth = 10.0;
    const std::vector<double> halfWidth = run(narrow, params);
    for (std::size_t i = 0; i < areas.size(); ++i) {
        EXPECT_NEAR(atReference[i], testing::linearModulus(4.0 * areas[i], deforms[i]), 1e-9);
        EXPECT_NEAR(halfWidth[i], 8.0 * atReference[i], 1e-9) << i;
    }
}

TEST_F(EModulusRun, PixelationCorrectionOnlyWhenAsked) {
    RTDCReader& reader = open({{"area_um", kAreas}, {"deform", kDeforms}, {"deform_fc", kDeforms}});
    EModParams params = plainParams();
    params.pixelSize = 0.5;
    params.pixelationCorrection = true;
    const std::vector<double> corrected = run(reader, params);
    params.deformFeature = "deform_fc";
    params.pixelationCorrection = false;
    const std::vector<double> plain = run(reader, params);
    for (std::size_t i = 0; i < 4; ++i) {
        const double d = EModulus::pixelationCorrection(kDeforms[i], kAreas[i], 0.5);
        EXPECT_NEAR(corrected[i], testing::linearModulus(kAreas[i], d), 1e-9) << i;
        EXPECT_NEAR(plain[i], testing::linearModulus(kAreas[i], kDeforms[i]), 1e-9) << i;
    }
}

TEST_F(EModulusRun, TemperatureFromEventsOrFromTheRecord) {
    const std::vector<double> temps{18.0, 22.0, 26.0, 30.0, 20.0, 20.0, 20.0};
    RTDCReader& withTemp = open({{"area_um", kAreas}, {"deform", kDeforms}, {"temp", temps}});
    RTDCReader& withoutTemp = open({{"area_um", kAreas}, {"deform", kDeforms}});
    EModParams params;
    params.pixelationCorrection = false;
    params.temperature = 25.0;
    auto expected = [](double area, double deform, double t) {
        return 0.25 * testing::linearModulus(area, deform) *
               EModulus::viscosityHerold2017(EModMedium::ViscoraB, t, 20.0, 0.04) / 1.002;
    };
    struct Case {
        TemperatureSource source;
        RTDCReader* reader;
        bool perEvent;
    };
    const Case cases[] = {{TemperatureSource::Event, &withTemp, true},
                          {TemperatureSource::Event, &withoutTemp, false},
                          {TemperatureSource::Manual, &withTemp, false},
                          {TemperatureSource::Metadata, &withTemp, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.source));
        params.temperatureSource = static_cast<int>(c.source);
        const std::vector<double> e = run(*c.reader, params);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(e[i], expected(kAreas[i], kDeforms[i], c.perEvent ? temps[i] : 25.0), 1e-9)
                << i;
    }
}

TEST_F(EModulusRun, ProgressEvery256EventsThenHundred) {
    std::vector<double> areas(1000, 100.0);
    std::vector<double> deforms(1000, 0.05);
    RTDCReader& reader = open({{"area_um", areas}, {"deform", deforms}});
    std::vector<int> progress;
    QObject::connect(&m_emod, &EModulus::progressChanged,
                     [&progress](int percent) { progress.push_back(percent); });
    run(reader, plainParams());
    EXPECT_EQ(progress, (std::vector<int>{0, 25, 51, 76, 100}));
}

TEST_F(EModulusRun, RecomputingReplacesTheColumnWithoutFreeingTheOldOne) {
    RTDCReader& reader = open({{"area_um", kAreas}, {"deform", kDeforms}});
    EModParams params = plainParams();
    ASSERT_TRUE(m_emod.run(&reader, params));
    const std::vector<double>& first = reader.readScalarFeature("emodulus");
    const std::vector<double> firstCopy = first;
    params.flowRate = 0.32;
    ASSERT_TRUE(m_emod.run(&reader, params));
    const std::vector<double>& second = reader.readScalarFeature("emodulus");
    EXPECT_NE(&first, &second);
    EXPECT_DOUBLE_EQ(second[0], 2.0 * firstCopy[0]);
    // A reader of the old column (the plot, a filter) still sees it whole.
    EXPECT_EQ(first.size(), firstCopy.size());
    EXPECT_DOUBLE_EQ(first[0], firstCopy[0]);
}

// ---------------------------------------------------------------- refusals

TEST_F(EModulusRun, RefusesConditionsThatCannotGiveModuliAndSaysWhy) {
    struct Case {
        const char* name;
        void (*change)(EModParams&);
        const char* expected;
    };
    const Case cases[] = {
        {"zero width", [](EModParams& p) { p.channelWidth = 0.0; }, "channel width"},
        {"negative width", [](EModParams& p) { p.channelWidth = -20.0; }, "channel width"},
        {"NaN width", [](EModParams& p) { p.channelWidth = kNaN; }, "channel width"},
        {"infinite width", [](EModParams& p) { p.channelWidth = kInf; }, "channel width"},
        {"zero flow", [](EModParams& p) { p.flowRate = 0.0; }, "flow rate"},
        {"NaN flow", [](EModParams& p) { p.flowRate = kNaN; }, "flow rate"},
        {"zero pixel size, corrected",
         [](EModParams& p) {
             p.pixelSize = 0.0;
             p.pixelationCorrection = true;
         },
         "pixel size"},
        {"zero manual viscosity", [](EModParams& p) { p.viscosity = 0.0; }, "viscosity"},
        {"viscosity at absolute zero",
         [](EModParams& p) {
             p.viscosityModel = static_cast<int>(ViscosityModel::Herold2017);
             p.temperature = 0.0;
         },
         "viscosity"},
        {"missing deformation feature", [](EModParams& p) { p.deformFeature = "deform_fc"; },
         "\"deform_fc\""},
        {"unknown table model", [](EModParams& p) { p.lutModel = 3; }, "model 3"},
    };
    RTDCReader& reader = open({{"area_um", kAreas}, {"deform", kDeforms}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EModParams params = plainParams();
        c.change(params);
        QString error;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(m_emod.run(&reader, params, &error));
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << error.toStdString();
        EXPECT_FALSE(reader.hasFeature("emodulus"));
    }
    // The pixel size does not matter when nothing is corrected.
    EModParams params = plainParams();
    params.pixelSize = 0.0;
    EXPECT_TRUE(m_emod.run(&reader, params));
}

TEST_F(EModulusRun, RefusesWithoutReaderAreaOrEvents) {
    QString error;
    EXPECT_FALSE(m_emod.run(nullptr, plainParams(), &error));
    EXPECT_FALSE(error.isEmpty());
    RTDCReader& noArea = open({{"deform", kDeforms}});
    EXPECT_FALSE(m_emod.run(&noArea, plainParams(), &error));
    EXPECT_TRUE(error.contains(QLatin1String("\"area_um\"")));
    RTDCReader& empty = open({{"area_um", {}}, {"deform", {}}});
    EXPECT_FALSE(m_emod.run(&empty, plainParams(), &error));
    EXPECT_FALSE(empty.hasFeature("emodulus"));
    RTDCReader& unequal = open({{"area_um", {50.0, 60.0}}, {"deform", {0.05}}});
    EXPECT_FALSE(m_emod.run(&unequal, plainParams(), &error));
    EXPECT_FALSE(unequal.hasFeature("emodulus"));
}

TEST_F(EModulusRun, MissingTableRefusesWithTheNotFoundMessage) {
    testing::TempDir nowhere;
    EModulus emod;
    emod.setLUTSearchDir(QString::fromStdString(nowhere.path()));
    RTDCReader& reader = open({{"area_um", kAreas}, {"deform", kDeforms}});
    QString error;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(emod.run(&reader, plainParams(), &error));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("EModulus: LUT file not found: LUT_LE_2D_FEM.txt"), std::string::npos);
    EXPECT_NE(err.find("EModulus: failed to build LUT triangulation\n"), std::string::npos);
    EXPECT_TRUE(error.contains(QLatin1String("\"LUT_LE_2D_FEM.txt\" was not found")))
        << error.toStdString();
    EXPECT_FALSE(reader.hasFeature("emodulus"));
}

// ---------------------------------------------------------------- metadata temperature

TEST(EModMetadataTemperature, OnlyPositiveNumbersReplaceTheTemperature) {
    struct Case {
        const char* text; // null: key missing
        int source;
        double expected;
    };
    const Case cases[] = {
        {"25.500000", 2, 25.5}, {"0.000000", 2, 23.0}, {"-3", 2, 23.0},   {"warm", 2, 23.0},
        {"inf", 2, 23.0},       {nullptr, 2, 23.0},    {"25.5", 0, 23.0}, {"25.5", 1, 23.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(missing)");
        RTDCMetadata metadata;
        if (c.text)
            metadata.setup["temperature"] = c.text;
        EModParams params;
        params.temperatureSource = c.source;
        EXPECT_EQ(applyMetadataTemperature(params, metadata), c.expected != 23.0);
        EXPECT_EQ(params.temperature, c.expected);
    }
}

} // namespace
} // namespace Quorvex3
