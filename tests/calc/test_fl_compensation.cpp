// Crosstalk compensation against numpy.linalg.solve and closed forms: the
// channel order, the refined inputs, singular matrices and short columns.

#include "CalcTestSupport.h"
#include "calc/FLCompensation.h"
#include "core/RTDCReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace Quorvex3 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Compensation : public ::testing::Test {
protected:
    RTDCReader& open(const std::map<std::string, std::vector<double>>& columns) {
        m_readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(m_readers.back()->openFile(testing::writeMeasurement(
            m_dir, "c" + std::to_string(m_readers.size()) + ".rtdc", columns)));
        return *m_readers.back();
    }

    static std::string runQuietly(const std::function<void()>& body) {
        ::testing::internal::CaptureStderr();
        body();
        return ::testing::internal::GetCapturedStderr();
    }

    testing::TempDir m_dir;
    std::vector<std::unique_ptr<RTDCReader>> m_readers;
    FLCompensation m_compensation;
};

TEST_F(Compensation, MatchesNumpySolveInTheListedChannelOrder) {
    // /usr/bin/python3 tests/calc/compensation_oracle.py MATRIX INPUTS:
    // numpy.linalg.solve(S, measured); relative tolerance 1e-12. Channels
    // listed as 3, 1, 2: row and column 0 belong to channel 3.
    const std::vector<int> channels{3, 1, 2};
    const arma::mat spillover{{1.0, 0.12, 0.03}, {0.2, 1.0, 0.07}, {0.015, 0.31, 1.0}};
    testing::SplitMix64 random(3);
    std::map<std::string, std::vector<double>> columns;
    std::vector<std::vector<double>> inputs;
    for (int e = 0; e < 200; ++e) {
        std::vector<double> row;
        for (int channel : channels) {
            const double value = 50.0 + 5000.0 * random.uniform();
            columns["fl" + std::to_string(channel) + "_max"].push_back(value);
            row.push_back(value);
        }
        inputs.push_back(row);
    }
    RTDCReader& reader = open(columns);
    ASSERT_TRUE(m_compensation.run(&reader, channels, spillover));

    std::vector<std::vector<double>> matrixRows;
    for (arma::uword r = 0; r < spillover.n_rows; ++r)
        matrixRows.push_back({spillover(r, 0), spillover(r, 1), spillover(r, 2)});
    testing::writeRows(m_dir.file("matrix.txt"), matrixRows);
    testing::writeRows(m_dir.file("inputs.txt"), inputs);
    const std::vector<double> expected = testing::parseNumbers(testing::runOracle(
        "compensation_oracle.py", m_dir.file("matrix.txt") + " " + m_dir.file("inputs.txt")));
    ASSERT_EQ(expected.size(), 3 * inputs.size());
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const std::vector<double>& out =
            reader.readScalarFeature("fl" + std::to_string(channels[k]) + "_max_ctc");
        ASSERT_EQ(out.size(), inputs.size());
        for (std::size_t e = 0; e < inputs.size(); ++e) {
            const double reference = expected[3 * e + k];
            EXPECT_NEAR(out[e], reference, 1e-12 * std::abs(reference)) << k << " " << e;
        }
    }
}

TEST_F(Compensation, TwoChannelClosedFormAndOrder) {
    // Spillover [[1, a], [b, 1]]: ((x - a y), (y - b x)) / (1 - a b), with
    // x the first listed channel (3) and y the second (1).
    const double a = 0.25;
    const double b = 0.1;
    RTDCReader& reader = open({{"fl1_max", {10.0, 0.0}}, {"fl3_max", {100.0, 40.0}}});
    ASSERT_TRUE(m_compensation.run(&reader, {3, 1}, arma::mat{{1.0, a}, {b, 1.0}}));
    const std::vector<double>& three = reader.readScalarFeature("fl3_max_ctc");
    const std::vector<double>& one = reader.readScalarFeature("fl1_max_ctc");
    for (std::size_t e = 0; e < 2; ++e) {
        const double x = std::vector<double>{100.0, 40.0}[e];
        const double y = std::vector<double>{10.0, 0.0}[e];
        EXPECT_NEAR(three[e], (x - a * y) / (1 - a * b), 1e-12) << e;
        EXPECT_NEAR(one[e], (y - b * x) / (1 - a * b), 1e-12) << e;
    }
}

TEST_F(Compensation, IdentityCopiesAndRefinedPeaksAreUsedOnceComputed) {
    RTDCReader& reader = open({{"fl1_max", {1.0, 2.0}}, {"fl2_max", {3.0, 4.0}}});
    ASSERT_TRUE(m_compensation.run(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_ctc"), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(reader.readScalarFeature("fl2_max_ctc"), (std::vector<double>{3.0, 4.0}));

    reader.addCalculatedFeature("fl1_max_rf", {7.0, 8.0});
    ASSERT_TRUE(m_compensation.run(&reader, {1, 2}, arma::mat{{1.0, 0.5}, {0.0, 1.0}}));
    // fl1 out = fl1_rf - 0.5 fl2.
    EXPECT_DOUBLE_EQ(reader.readScalarFeature("fl1_max_ctc")[0], 7.0 - 0.5 * 3.0);
}

TEST_F(Compensation, NaNInputSpoilsAllOutputsOfItsEvent) {
    RTDCReader& reader = open({{"fl1_max", {1.0, kNaN}}, {"fl2_max", {3.0, 4.0}}});
    ASSERT_TRUE(m_compensation.run(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_TRUE(std::isnan(reader.readScalarFeature("fl1_max_ctc")[1]));
    EXPECT_TRUE(std::isnan(reader.readScalarFeature("fl2_max_ctc")[1]));
    EXPECT_FALSE(std::isnan(reader.readScalarFeature("fl2_max_ctc")[0]));
}

TEST_F(Compensation, SingularMatricesAreRefusedWithTheMessage) {
    RTDCReader& reader = open({{"fl1_max", {1.0}}, {"fl2_max", {2.0}}});
    const arma::mat cases[] = {
        {{1.0, 2.0}, {2.0, 4.0}},         // singular
        {{1.0, 1.0}, {1.0, 1.0 + 1e-15}}, // singular up to rounding
        {{0.0, 0.0}, {0.0, 0.0}},
        {{1.0, kNaN}, {0.0, 1.0}},
    };
    for (const arma::mat& spillover : cases) {
        SCOPED_TRACE(spillover(1, 1));
        bool result = true;
        const std::string err = runQuietly([&] {
            result = m_compensation.run(&reader, {1, 2}, spillover);
        });
        EXPECT_FALSE(result);
        EXPECT_NE(err.find("FLCompensation: spillover matrix is singular\n"), std::string::npos)
            << err;
        EXPECT_FALSE(reader.hasFeature("fl1_max_ctc"));
        arma::mat inverse(2, 2, arma::fill::ones);
        runQuietly([&] { EXPECT_FALSE(FLCompensation::compensationMatrix(spillover, inverse)); });
        EXPECT_TRUE(inverse.is_empty());
    }
}

TEST_F(Compensation, RequestsThatCannotRunChangeNothingAndSayNothing) {
    RTDCReader& reader = open({{"fl1_max", {1.0}}, {"fl2_max", {2.0}}});
    RTDCReader& empty = open({{"fl1_max", {}}, {"fl2_max", {}}});
    const std::string err = runQuietly([&] {
        EXPECT_FALSE(m_compensation.run(nullptr, {1, 2}, arma::eye(2, 2)));
        EXPECT_FALSE(m_compensation.run(&reader, {1}, arma::eye(1, 1)));
        EXPECT_FALSE(m_compensation.run(&reader, {1, 2}, arma::eye(3, 3)));
        EXPECT_FALSE(m_compensation.run(&reader, {1, 2}, arma::mat(2, 3, arma::fill::ones)));
        EXPECT_FALSE(m_compensation.run(&empty, {1, 2}, arma::eye(2, 2)));
        arma::mat out;
        EXPECT_FALSE(FLCompensation::compensationMatrix(arma::mat(), out));
        EXPECT_FALSE(FLCompensation::compensationMatrix(arma::mat(2, 3, arma::fill::ones), out));
    });
    EXPECT_EQ(err, "");
    EXPECT_FALSE(reader.hasFeature("fl1_max_ctc"));
    EXPECT_FALSE(empty.hasFeature("fl1_max_ctc"));
}

TEST_F(Compensation, ShortOrMissingSourceColumnsGiveNaN) {
    // "area_um" sets three events; fl2_max holds one value: no read past
    // its end, and the events it lacks come out NaN in every channel.
    RTDCReader& reader =
        open({{"area_um", {1, 2, 3}}, {"fl1_max", {1.0, 2.0, 3.0}}, {"fl2_max", {10.0}}});
    ASSERT_TRUE(m_compensation.run(&reader, {1, 2}, arma::eye(2, 2)));
    const std::vector<double>& one = reader.readScalarFeature("fl1_max_ctc");
    const std::vector<double>& two = reader.readScalarFeature("fl2_max_ctc");
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[0], 1.0);
    EXPECT_EQ(two[0], 10.0);
    for (std::size_t e : {1u, 2u}) {
        EXPECT_TRUE(std::isnan(one[e])) << e;
        EXPECT_TRUE(std::isnan(two[e])) << e;
    }
    // A listed channel without any column.
    ASSERT_TRUE(m_compensation.run(&reader, {1, 5}, arma::eye(2, 2)));
    EXPECT_TRUE(std::isnan(reader.readScalarFeature("fl5_max_ctc")[0]));
}

TEST_F(Compensation, EventKernelAndProgress) {
    std::vector<double> out{9.0};
    FLCompensation::compensateEvent(arma::eye(3, 3), {1.0, 2.0}, out);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.0})); // size mismatch: zeros
    FLCompensation::compensateEvent(arma::mat{{2.0, 1.0}, {0.0, 3.0}}, {1.0, 2.0}, out);
    EXPECT_EQ(out, (std::vector<double>{4.0, 6.0}));

    RTDCReader& reader = open(
        {{"fl1_max", std::vector<double>(1000, 1.0)}, {"fl2_max", std::vector<double>(1000, 2.0)}});
    std::vector<int> progress;
    QObject::connect(&m_compensation, &FLCompensation::progressChanged,
                     [&progress](int percent) { progress.push_back(percent); });
    ASSERT_TRUE(m_compensation.run(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_EQ(progress, (std::vector<int>{0, 25, 51, 76, 100}));
}

} // namespace
} // namespace Quorvex3
