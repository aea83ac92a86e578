#pragma once

// Shared fixtures of the derived-feature tests: look-up tables in the table
// file's format, measurement files with their readers, and the Python
// oracle tests/calc/emodulus_fl_oracle.py (run with /usr/bin/python3).

#include "calc/EModulus.h"
#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

namespace Quorvex3::testing {

/// Rows of numbers: table rows (area, deformation, modulus), oracle input.
using Rows = std::vector<std::vector<double>>;
using Columns = std::map<std::string, std::vector<double>>;

/// Uniform in [0, 1) from the generator's raw bits, the same on every
/// platform (the standard distributions are not).
inline double uniform(std::mt19937_64& random) {
    return static_cast<double>(random() >> 11) * 0x1p-53;
}

/// The linear table's modulus: linear interpolation reproduces it anywhere.
inline double linearModulus(double area, double deform) {
    return 0.5 + 0.01 * area + 20.0 * deform;
}

/// A 21 x 21 grid over areas [20, 220] µm² and deformations [0, 0.1], area
/// varying fastest, kept where `keep` holds for the normalised place (x, y).
inline Rows gridTable(bool (*keep)(double, double) = nullptr,
                      double (*modulus)(double, double) = linearModulus) {
    Rows rows;
    for (int k = 0; k < 441; ++k) {
        const double area = 20.0 + 10.0 * (k % 21), deform = 0.005 * (k / 21);
        if (!keep || keep(k % 21 / 20.0, k / 21 / 20.0))
            rows.push_back({area, deform, modulus(area, deform)});
    }
    return rows;
}

/// Rows as text, blank-separated numbers of full precision.
inline std::string rowsText(const Rows& rows) {
    std::string text;
    for (const auto& row : rows) {
        for (double value : row)
            text += QString::number(value, 'g', 17).toStdString() + ' ';
        text.back() = '\n';
    }
    return text;
}

inline void writeText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

/// The table file: the metadata block when given, the header line, the rows.
inline std::string lutText(const Rows& rows, const std::string& json = {}) {
    const std::string meta =
        json.empty() ? "" : "# BEGIN METADATA\n# " + json + "\n# END METADATA\n";
    return meta + "area_um deform emodulus\n" + rowsText(rows);
}

/// What "/usr/bin/python3 emodulus_fl_oracle.py MODE FILE..." prints for the inputs
/// written as files; fails the test when the script fails.
inline std::vector<double> oracle(const std::string& mode, const std::vector<Rows>& inputs) {
    TempDir dir;
    std::string command = "/usr/bin/python3 " QUORVEX3_CALC_ORACLE " " + mode;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        writeText(dir.file(std::to_string(i)), rowsText(inputs[i]));
        command += " " + dir.file(std::to_string(i));
    }
    EXPECT_EQ(std::system((command + " > " + dir.file("out")).c_str()), 0) << command;
    std::ifstream in(dir.file("out"));
    std::vector<double> values;
    for (std::string word; in >> word;)
        values.push_back(std::strtod(word.c_str(), nullptr));
    return values;
}

/// A temporary directory per test for measurements and tables, and an
/// EModulus to compute with.
class CalcTest : public ::testing::Test {
protected:
    /// Writes and opens a measurement of float64 columns; `extra` adds more.
    RTDCReader& open(const Columns& columns,
                     const std::function<void(RtdcFixtureWriter&)>& extra = {}) {
        const std::string path = m_dir.file(std::to_string(++m_files) + ".rtdc");
        RtdcFixtureWriter writer(path);
        for (const auto& [name, values] : columns)
            writer.addColumn(name, values);
        if (extra)
            extra(writer);
        writer.close();
        m_readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(m_readers.back()->openFile(path));
        return *m_readers.back();
    }

    /// A new program directory with the table in its "data" folder.
    QString tableDir(const Rows& rows, const std::string& json = {}) {
        const std::string base = m_dir.file(std::to_string(++m_files));
        writeText(base + "/data/LUT_LE_2D_FEM.txt", lutText(rows, json));
        return QString::fromStdString(base);
    }

    TempDir m_dir;
    EModulus m_emod;
    std::vector<std::unique_ptr<RTDCReader>> m_readers;
    int m_files = 0;
};

} // namespace Quorvex3::testing
