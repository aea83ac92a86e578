// Young's modulus inputs from a measurement's metadata, without widgets:
// medium recognition, the metadata readers, reservoir detection and the
// parameters of a dataset with missing conditions.

#include "calc/EModInputs.h"

#include "calc/EModulus.h"

#include "core/RTDCMetadata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace Quorvex3 {

namespace {

RTDCMetadata channelMetadata() {
    RTDCMetadata metadata;
    metadata.setup = {{"channel width", "30"},
                      {"flow rate", "0.16"},
                      {"medium", "Viscora"},
                      {"temperature", "24.5"}};
    metadata.imaging = {{"pixel size", "0.265"}};
    return metadata;
}

} // namespace

TEST(EModInputs, MediumTextsMapToMediumModelAndLabel) {
    using M = EModMedium;
    using V = ViscosityModel;
    // clang-format off
    for (const auto& [text, medium, model, label] : {
             std::tuple<std::string, M, V, std::string>{"Viscora", M::Viscora, V::Herold2017, "Viscora"},
             {"ViscoraB", M::ViscoraB, V::Herold2017, "ViscoraB"},
             {"Water", M::Water, V::Kestin1978, "Water"},
             {"water", M::Water, V::Kestin1978, "Water"},
             {"WATER", M::Unknown, V::Manual, "WATER (unknown)"},
             {"viscora", M::Unknown, V::Manual, "viscora (unknown)"},
             {"0.83% MC-PBS", M::McPbs083, V::Manual, "0.83% MC-PBS"},
             {"MC-PBS 0.83%", M::McPbs083, V::Manual, "0.83% MC-PBS"},
             {"", M::Unknown, V::Manual, "\u2014 (unknown)"},
             {"CellCarrier", M::Unknown, V::Manual, "CellCarrier (unknown)"}}) {
        // clang-format on
        const MediumRecognition recognised = recogniseMedium(text);
        EXPECT_EQ(recognised.medium, medium) << text;
        EXPECT_EQ(recognised.viscosityModel, model) << text;
        EXPECT_EQ(recognised.label, label) << text;
        EXPECT_EQ(viscosityChoiceFor(medium), model) << text;
    }
    EXPECT_EQ(viscosityChoiceName(ViscosityModel::Herold2017), "Herold-2017");
    EXPECT_EQ(viscosityChoiceName(ViscosityModel::Kestin1978), "Kestin-1978");
    EXPECT_EQ(viscosityChoiceName(ViscosityModel::Manual), "Manual");
}

TEST(EModInputs, MetadataReadersLookOnlyInSetupAndImaging) {
    RTDCMetadata metadata = channelMetadata();
    metadata.setup["run note"] = "twenty";
    metadata.experiment["channel width"] = "99";
    // clang-format off
    for (const auto& [section, key, expected] : {
             std::tuple<std::string, std::string, double>{"setup", "channel width", 30.0},
             {"imaging", "pixel size", 0.265},
             {"setup", "pixel size", -1.0},       // the key lives in imaging only
             {"experiment", "channel width", -1.0}, // no condition section
             {"setup", "run note", -1.0},          // not a number
             {"setup", "missing", -1.0}}) {
        // clang-format on
        EXPECT_DOUBLE_EQ(metadataDouble(metadata, section, key, -1.0), expected)
            << section << "/" << key;
    }
    EXPECT_EQ(metadataString(metadata, "setup", "medium"), "Viscora");
    EXPECT_EQ(metadataString(metadata, "experiment", "channel width"), "");
    EXPECT_EQ(metadataString(metadata, "imaging", "medium"), "");
}

TEST(EModInputs, ReservoirOnlyWhenTheChipRegionSaysSoExactly) {
    for (const auto& [region, reservoir] : {std::pair<const char*, bool>{"reservoir", true},
                                            {"Reservoir", false},
                                            {"channel", false},
                                            {"reservoir ", false},
                                            {nullptr, false}}) {
        RTDCMetadata metadata;
        if (region)
            metadata.setup["chip region"] = region;
        EXPECT_EQ(isReservoirMeasurement(metadata), reservoir) << (region ? region : "(none)");
    }
    RTDCMetadata elsewhere;
    elsewhere.experiment["chip region"] = "reservoir";
    EXPECT_FALSE(isReservoirMeasurement(elsewhere));
}

TEST(EModInputs, ParamsTakeTheDatasetsConditionsAndTheChosenTemperature) {
    const RTDCMetadata metadata = channelMetadata();
    const EModParams fromMeta =
        emodParamsFromMetadata(metadata, false, {TemperatureSource::Metadata, 30.0}, 5.0);
    EXPECT_DOUBLE_EQ(fromMeta.channelWidth, 30.0);
    EXPECT_DOUBLE_EQ(fromMeta.flowRate, 0.16);
    EXPECT_DOUBLE_EQ(fromMeta.pixelSize, 0.265);
    EXPECT_EQ(fromMeta.medium, static_cast<int>(EModMedium::Viscora));
    EXPECT_EQ(fromMeta.viscosityModel, static_cast<int>(ViscosityModel::Herold2017));
    EXPECT_EQ(fromMeta.temperatureSource, static_cast<int>(TemperatureSource::Metadata));
    EXPECT_DOUBLE_EQ(fromMeta.temperature, 24.5);
    EXPECT_EQ(fromMeta.deformFeature, "deform");
    EXPECT_TRUE(fromMeta.pixelationCorrection);

    // Source chosen, whether the dataset has "temp" -> source and temperature.
    using T = TemperatureSource;
    // clang-format off
    for (const auto& [chosen, hasTemp, source, temperature] : {
             std::tuple{T::Event, true, T::Event, 23.0},
             std::tuple{T::Event, false, T::Manual, 30.0}, // no per-event values to take
             std::tuple{T::Metadata, true, T::Metadata, 24.5},
             std::tuple{T::Manual, true, T::Manual, 30.0}}) {
        // clang-format on
        const EModParams params = emodParamsFromMetadata(metadata, hasTemp, {chosen, 30.0}, 5.0);
        EXPECT_EQ(params.temperatureSource, static_cast<int>(source)) << int(chosen) << hasTemp;
        EXPECT_DOUBLE_EQ(params.temperature, temperature) << int(chosen) << hasTemp;
    }
}

TEST(EModInputs, EveryDatasetTakesTheActiveDatasetsTemperatureRule) {
    // The active dataset computed at 23 °C where the metadata temperature
    // is 0, but "all datasets" at 0 °C, an infinite viscosity: one rule now.
    // Metadata text -> temperature (absent, not a number, infinite, 0 or
    // less: 23 °C).
    // clang-format off
    for (const auto& [text, temperature] : {
             std::pair<const char*, double>{"24.5", 24.5}, {"60", 60.0}, {nullptr, 23.0},
             {"0", 23.0}, {"-4", 23.0}, {"abc", 23.0}, {"nan", 23.0}, {"inf", 23.0}}) {
        // clang-format on
        RTDCMetadata metadata = channelMetadata();
        metadata.setup.erase("temperature");
        if (text)
            metadata.setup["temperature"] = text;
        const std::string label = text ? text : "(absent)";
        EXPECT_DOUBLE_EQ(metadataTemperature(metadata), temperature) << label;
        const EModParams params =
            emodParamsFromMetadata(metadata, false, {TemperatureSource::Metadata, 30.0}, 5.0);
        EXPECT_DOUBLE_EQ(params.temperature, temperature) << label;
        // What the active dataset's computation does with the dock's value.
        EModParams active;
        active.temperature = metadataTemperature(metadata);
        applyMetadataTemperature(active, metadata);
        EXPECT_DOUBLE_EQ(active.temperature, params.temperature) << label;
    }
}

TEST(EModInputs, DefaultsTakenAreNamedPerCondition) {
    using T = TemperatureSource;
    const std::vector<std::string> all{"channel width 20 \u00b5m", "flow rate 0.04 \u00b5L/s",
                                       "pixel size 0.34 \u00b5m", "temperature 23 \u00b0C"};
    struct Case {
        const char* what;
        std::map<std::string, std::string> setup, imaging;
        T source;
        bool pixelation;
        std::vector<std::string> taken;
    };
    const RTDCMetadata full = channelMetadata();
    // clang-format off
    const Case cases[] = {
        {"nothing in the metadata", {}, {}, T::Metadata, true, all},
        {"everything usable", full.setup, full.imaging, T::Metadata, true, {}},
        {"no pixelation correction, manual temperature", {}, {}, T::Manual, false,
         {all[0], all[1]}},
        {"per-event temperature", {}, full.imaging, T::Event, true, {all[0], all[1]}},
        {"unusable numbers", {{"channel width", "inf"}, {"flow rate", "-0.1"},
                              {"temperature", "nan"}}, {{"pixel size", "0"}}, T::Metadata, true,
         all},
        {"text", {{"channel width", "20 um"}, {"flow rate", "0.16"}, {"temperature", "24"}},
         full.imaging, T::Metadata, true, {all[0]}}};
    // clang-format on
    for (const Case& c : cases) {
        RTDCMetadata metadata;
        metadata.setup = c.setup;
        metadata.imaging = c.imaging;
        EModParams params =
            emodParamsFromMetadata(metadata, c.source == T::Event, {c.source, 23.0}, 1.0);
        params.pixelationCorrection = c.pixelation;
        EXPECT_EQ(emodDefaultsTaken(metadata, params), c.taken) << c.what;
    }
}

TEST(EModInputs, UnavailableReasonNamesReservoirOrTheMissingFeature) {
    RTDCMetadata reservoir;
    reservoir.setup["chip region"] = "reservoir";
    EXPECT_EQ(emodUnavailableReason(RTDCMetadata{}, true, true), "");
    EXPECT_NE(emodUnavailableReason(reservoir, true, true).find("reservoir"), std::string::npos);
    EXPECT_NE(emodUnavailableReason(RTDCMetadata{}, true, false).find("\"deform\""),
              std::string::npos);
    EXPECT_NE(emodUnavailableReason(RTDCMetadata{}, false, true).find("\"area_um\""),
              std::string::npos);
}

TEST(EModInputs, ManualViscosityOnlyForMediaWithoutAModel) {
    RTDCMetadata metadata = channelMetadata();
    for (const auto& [medium, viscosity] : {std::pair<const char*, double>{"Viscora", 0.0},
                                            {"water", 0.0},
                                            {"0.83% MC-PBS", 5.5},
                                            {"CellCarrier", 5.5}}) {
        metadata.setup["medium"] = medium;
        EXPECT_DOUBLE_EQ(
            emodParamsFromMetadata(metadata, false, {TemperatureSource::Metadata, 23.0}, 5.5)
                .viscosity,
            viscosity)
            << medium;
    }
}

TEST(EModInputs, MissingConditionsTakeTheSameDefaultsAsEveryDataset) {
    // Metadata without any condition, or with unusable ones: the defaults,
    // never zero or infinite.
    const EModParams bare =
        emodParamsFromMetadata(RTDCMetadata{}, false, {TemperatureSource::Metadata, 23.0}, 1.0);
    EXPECT_DOUBLE_EQ(bare.channelWidth, 20.0);
    EXPECT_DOUBLE_EQ(bare.flowRate, 0.04);
    EXPECT_DOUBLE_EQ(bare.pixelSize, 0.34);
    EXPECT_EQ(bare.medium, static_cast<int>(EModMedium::Unknown));
    RTDCMetadata unusable;
    unusable.setup = {{"channel width", "inf"}, {"flow rate", "nan"}};
    unusable.imaging = {{"pixel size", "-1"}};
    const EModParams replaced =
        emodParamsFromMetadata(unusable, false, {TemperatureSource::Metadata, 23.0}, 1.0);
    EXPECT_EQ(std::tuple(replaced.channelWidth, replaced.flowRate, replaced.pixelSize),
              std::tuple(20.0, 0.04, 0.34));

    // A page that shows "—" reads as 0; zero, negative and NaN conditions
    // would map no event, so each is replaced on its own.
    // clang-format off
    for (const auto& [width, flow, pixel, anyReplaced] : {
             std::tuple{0.0, 0.04, 0.34, true},
             std::tuple{30.0, -0.1, 0.34, true},
             std::tuple{30.0, 0.16, std::nan(""), true},
             std::tuple{30.0, 0.16, 0.265, false}}) {
        // clang-format on
        EModParams params;
        params.channelWidth = width;
        params.flowRate = flow;
        params.pixelSize = pixel;
        EXPECT_EQ(fillMissingConditions(params), anyReplaced) << width << " " << flow;
        EXPECT_DOUBLE_EQ(params.channelWidth, width > 0.0 ? width : 20.0);
        EXPECT_DOUBLE_EQ(params.flowRate, flow > 0.0 ? flow : 0.04);
        EXPECT_DOUBLE_EQ(params.pixelSize, pixel > 0.0 ? pixel : 0.34);
    }
}

} // namespace Quorvex3
