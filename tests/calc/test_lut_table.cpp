// The look-up table file: row and header rules, the metadata block, bad
// values, where the file is searched and what the user learns when it is
// missing.

#include "CalcTestSupport.h"
#include "calc/EModulus.h"
#include "calc/LUTTable.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace Quorvex3 {
namespace {

using testing::LutDir;
using testing::lutText;
using testing::TempDir;
using testing::writeText;

LUTData parseText(const std::string& text) {
    TempDir dir;
    const std::string path = dir.file("table.txt");
    writeText(path, text);
    LUTData table;
    QString error;
    EXPECT_TRUE(readLUTFile(QString::fromStdString(path), table, &error)) << error.toStdString();
    return table;
}

template <typename F> std::string capturedStderr(F&& body) {
    ::testing::internal::CaptureStderr();
    body();
    return ::testing::internal::GetCapturedStderr();
}

// ---------------------------------------------------------------- rows and header

TEST(LutRows, FirstHeaderLineSkippedLaterWordLinesDropped) {
    const LUTData table =
        parseText("# comment\n"
                  "\n"
                  "   \t \n"
                  "area_um deform emodulus\n"
                  "20 0.01 1.5\n"
                  "area 0.02 2.5\n"           // not a header any more: dropped
                  "30\t0.02   2.5  99 area\n" // further columns, a word: no 2nd header
                  "40 0.03\n"                 // too short
                  "40,0.03,3\n"               // not split at commas
                  "  50 0.04 3.5\r\n");       // leading blanks, CRLF
    EXPECT_EQ(table.area, (std::vector<double>{20, 30, 50}));
    EXPECT_EQ(table.deform, (std::vector<double>{0.01, 0.02, 0.04}));
    EXPECT_EQ(table.emodulus, (std::vector<double>{1.5, 2.5, 3.5}));
}

TEST(LutRows, DeformWordAloneAlsoMakesTheHeader) {
    const LUTData table = parseText("deformation and more\n1 2 3\n");
    EXPECT_EQ(table.area, (std::vector<double>{1}));
}

TEST(LutRows, WithoutHeaderEveryNumericLineIsData) {
    const LUTData table = parseText("1 2 3\n4 5 6\n");
    EXPECT_EQ(table.area, (std::vector<double>{1, 4}));
}

TEST(LutRows, RowsWithNonFiniteValuesAreSkipped) {
    // Guards against NaN or infinite table points reaching the
    // triangulation, where one such point poisons every in-circle test.
    const LUTData table = parseText("area deform emodulus\n"
                                    "nan 0.01 1\n"
                                    "20 inf 1\n"
                                    "20 0.01 -inf\n"
                                    "1e999 0.01 1\n"
                                    "20 0.02 2\n");
    EXPECT_EQ(table.area, (std::vector<double>{20}));
    EXPECT_EQ(table.emodulus, (std::vector<double>{2}));
}

TEST(LutRows, EmptyFileGivesAnEmptyTableWithDefaults) {
    const LUTData table = parseText("");
    EXPECT_TRUE(table.area.empty());
    EXPECT_EQ(table.channelWidth, 20.0);
    EXPECT_EQ(table.flowRate, 0.16);
    EXPECT_EQ(table.fluidViscosity, 1.002);
}

// ---------------------------------------------------------------- metadata block

TEST(LutMetadata, PrefixedJsonBlockSetsTheReferenceConditions) {
    const LUTData table = parseText(lutText(
        {{1, 2, 3}},
        "{\n  \"channel_width\": 30.0,\n  \"flow_rate\": 0.12,\n  \"fluid_viscosity\": 15.5,\n"
        "  \"other\": \"ignored\"\n}"));
    EXPECT_EQ(table.channelWidth, 30.0);
    EXPECT_EQ(table.flowRate, 0.12);
    EXPECT_EQ(table.fluidViscosity, 15.5);
    EXPECT_EQ(table.area.size(), 1u);
}

TEST(LutMetadata, BlockWithoutPrefixesAndPartialKeys) {
    const LUTData table = parseText("BEGIN METADATA\n{\"flow_rate\": 0.08}\nEND METADATA\n"
                                    "1 2 3\n");
    EXPECT_EQ(table.flowRate, 0.08);
    EXPECT_EQ(table.channelWidth, 20.0);
    EXPECT_EQ(table.fluidViscosity, 1.002);
}

TEST(LutMetadata, ValuesThatAreNotPositiveNumbersKeepTheirDefaults) {
    // A zero or negative reference would make every modulus zero, infinite
    // or negative; a string would have read as 0.0.
    for (const char* value : {"0", "-20", "\"30\"", "null", "true", "[30]", "{}"}) {
        SCOPED_TRACE(value);
        const std::string json = std::string("{\"channel_width\": ") + value +
                                 ", \"flow_rate\": " + value + ", \"fluid_viscosity\": " + value +
                                 "}";
        const LUTData table = parseText(lutText({{1, 2, 3}}, json));
        EXPECT_EQ(table.channelWidth, 20.0);
        EXPECT_EQ(table.flowRate, 0.16);
        EXPECT_EQ(table.fluidViscosity, 1.002);
    }
}

TEST(LutMetadata, BrokenJsonKeepsDefaultsAndStillReadsRows) {
    const LUTData table = parseText(lutText({{1, 2, 3}, {4, 5, 6}}, "{\"channel_width\": 30,,}"));
    EXPECT_EQ(table.channelWidth, 20.0);
    EXPECT_EQ(table.area.size(), 2u);
}

TEST(LutMetadata, LinesInsideTheBlockAreNeverData) {
    const LUTData table = parseText("# BEGIN METADATA\n1 2 3\n# END METADATA\n4 5 6\n");
    EXPECT_EQ(table.area, (std::vector<double>{4}));
}

// ---------------------------------------------------------------- unreadable file

TEST(LutFile, UnopenablePathIsAnErrorWithTheReason) {
    TempDir dir;
    LUTData table;
    QString error;
    EXPECT_FALSE(readLUTFile(QString::fromStdString(dir.file("missing.txt")), table, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("could not be opened"))) << error.toStdString();
}

// ---------------------------------------------------------------- search

TEST(LutSearch, CandidatesInTheirOrder) {
    EXPECT_EQ(lutSearchCandidates(QStringLiteral("/opt/q/bin"), QStringLiteral("T.txt")),
              (QStringList{"/opt/q/bin/data/T.txt", "/opt/q/bin/../Resources/data/T.txt",
                           "/opt/q/bin/../data/T.txt", "/opt/q/bin/../../data/T.txt",
                           "/opt/q/bin/../../../data/T.txt"}));
}

TEST(LutSearch, FirstExistingCandidateWins) {
    // base = <tmp>/r/a/b/c; candidates below <tmp>/r so nothing outside the
    // temporary directory is ever found. Tables are told apart by their
    // reference channel width; each round adds a better-placed file.
    TempDir dir;
    const std::string root = dir.path() + "/r";
    const std::string base = root + "/a/b/c";
    std::filesystem::create_directories(base);
    const std::vector<std::pair<std::string, double>> places = {
        {root + "/data", 5.0},               // base/../../../data
        {root + "/a/data", 4.0},             // base/../../data
        {root + "/a/b/data", 3.0},           // base/../data
        {root + "/a/b/Resources/data", 2.0}, // base/../Resources/data
        {base + "/data", 1.0},               // base/data
    };
    for (const auto& [place, width] : places) {
        SCOPED_TRACE(place);
        writeText(place + "/LUT_LE_2D_FEM.txt",
                  lutText({{1, 2, 3}}, "{\"channel_width\": " + std::to_string(width) + "}"));
        EModulus emod;
        emod.setLUTSearchDir(QString::fromStdString(base));
        emod.loadLUT(0);
        ASSERT_NE(emod.lut(0), nullptr);
        EXPECT_EQ(emod.lut(0)->channelWidth, width);
        EXPECT_TRUE(emod.lutError(0).isEmpty());
    }
}

TEST(LutSearch, MissingFileIsReportedOnEveryCallAndExplainedToTheUser) {
    TempDir dir;
    EModulus emod;
    emod.setLUTSearchDir(QString::fromStdString(dir.path()));
    const std::string expected =
        "EModulus: LUT file not found: LUT_LE_2D_FEM.txt (searched from " + dir.path() + ")\n";
    EXPECT_EQ(capturedStderr([&] { emod.loadLUT(0); }), expected);
    EXPECT_EQ(emod.lut(0), nullptr);
    const QString message = emod.lutError(0);
    EXPECT_TRUE(message.contains(QStringLiteral("\"LUT_LE_2D_FEM.txt\" was not found")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(dir.path())));
    // Nothing cached: the next call searches again, and finds a file that
    // appeared meanwhile.
    EXPECT_EQ(capturedStderr([&] { emod.loadLUT(0); }), expected);
    writeText(dir.file("data/LUT_LE_2D_FEM.txt"), lutText(testing::linearTable()));
    EXPECT_EQ(capturedStderr([&] { emod.loadLUT(0); }), "");
    ASSERT_NE(emod.lut(0), nullptr);
    EXPECT_EQ(emod.lut(0)->area.size(), 441u);
    EXPECT_TRUE(emod.lutError(0).isEmpty());
}

TEST(LutSearch, OnceLoadedTheTableIsKeptEvenIfTheFileChanges) {
    LutDir lut(lutText({{1, 2, 3}}));
    EModulus emod;
    emod.setLUTSearchDir(lut.base());
    emod.loadLUT(0);
    const LUTData* first = emod.lut(0);
    writeText(lut.dir().file("data/LUT_LE_2D_FEM.txt"), lutText({{1, 2, 3}, {4, 5, 6}}));
    emod.loadLUT(0);
    EXPECT_EQ(emod.lut(0), first);
    EXPECT_EQ(emod.lut(0)->area.size(), 1u);
}

TEST(LutSearch, OnlyModelZeroNamesAFile) {
    EXPECT_EQ(EModulus::lutFilename(0), "LUT_LE_2D_FEM.txt");
    EXPECT_EQ(EModulus::lutFilename(1), "");
    EXPECT_EQ(EModulus::lutFilename(-1), "");
    LutDir lut(lutText(testing::linearTable()));
    EModulus emod;
    emod.setLUTSearchDir(lut.base());
    EXPECT_EQ(capturedStderr([&] { emod.buildTriangulation(1); }), "");
    EXPECT_EQ(emod.lut(1), nullptr);
    EXPECT_EQ(emod.triangulation(1), nullptr);
    EXPECT_FALSE(emod.lutError(1).isEmpty());
}

TEST(LutSearch, DefaultSearchStartsBesideTheProgram) {
    int argc = 1;
    char name[] = "test_lut_table";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::string dataDir = QCoreApplication::applicationDirPath().toStdString() + "/data";
    const std::string file = dataDir + "/LUT_LE_2D_FEM.txt";
    // The folder beside the test program holds nothing but this test's
    // table; a run that crashed may have left it behind.
    struct Cleanup {
        std::string dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{dataDir};
    std::filesystem::remove_all(dataDir);
    writeText(file, lutText(testing::linearTable(), "{\"flow_rate\": 0.32}"));
    EModulus emod;
    emod.loadLUT(0);
    ASSERT_NE(emod.lut(0), nullptr);
    EXPECT_EQ(emod.lut(0)->flowRate, 0.32);
}

} // namespace
} // namespace Quorvex3
