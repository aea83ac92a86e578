#pragma once

// Shared fixtures of the derived-feature tests: look-up tables in the
// table file's format, measurement files, a reference triangulation and the
// Python oracles.

#include "calc/LUTTable.h"
#include "support/RtdcFixtureWriter.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Quorvex3::testing {

/// Deterministic uniform numbers (splitmix64), the same on every platform.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    /// Uniform in [0, 1).
    double uniform();

private:
    std::uint64_t m_state;
};

/// One table row.
struct LutRow {
    double area;
    double deform;
    double emodulus;
};

/// Grid of the linear table: areas 20, 30, ..., 220 µm², deformations 0,
/// 0.005, ..., 0.1.
constexpr double kLinAreaMin = 20.0;
constexpr double kLinAreaMax = 220.0;
constexpr double kLinDeformMin = 0.0;
constexpr double kLinDeformMax = 0.1;

/// The modulus of the linear table, exact at every grid point, so linear
/// interpolation reproduces it anywhere inside (up to rounding).
double linearModulus(double area, double deform);

/// The linear table on its 21 x 21 grid, area varying fastest.
std::vector<LutRow> linearTable();

/// `n` rows at uniform random places of [20, 220] x [0.01, 0.11] with a
/// smooth, non-linear modulus.
std::vector<LutRow> scatteredTable(int n, std::uint64_t seed);

/// A 21 x 21 grid over the linear table's box, normalised coordinates
/// (x, y) kept only where x <= 0.3 or y <= 0.3 (arms along the low area
/// and low deformation sides) or, with `armsHigh`, where x >= 0.7 or
/// y >= 0.7. Modulus as the linear table's.
std::vector<LutRow> lShapedTable(bool armsHigh);

/// The table file's text: an optional metadata block (each line of
/// `metadataJson` prefixed with "# "), an optional header line, the rows.
std::string lutText(const std::vector<LutRow>& rows, const std::string& metadataJson = {},
                    bool header = true);

/// Writes `text` as the file `path`, creating missing directories.
void writeText(const std::string& path, const std::string& text);

/// A temporary program directory with the table file in its "data" folder.
class LutDir {
public:
    explicit LutDir(const std::string& tableText);
    /// The directory to search from (EModulus::setLUTSearchDir).
    QString base() const;
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
};

/// Writes a measurement with the given float64 columns (all equally long
/// unless a test wants otherwise) and returns its path.
std::string writeMeasurement(const TempDir& dir, const std::string& name,
                             const std::map<std::string, std::vector<double>>& columns);

/// The plain Bowyer–Watson of the table format: every triangle tested per
/// point, triangle list order kept. The reference for the fast version.
std::vector<std::array<int, 3>> referenceDelaunay(const std::vector<double>& x,
                                                  const std::vector<double>& y);

/// Runs "/usr/bin/python3 <oracle dir>/<script> <args>" and returns its
/// standard output; fails the current test when it exits non-zero.
std::string runOracle(const std::string& script, const std::string& args);

/// Parses whitespace-separated numbers ("nan" included).
std::vector<double> parseNumbers(const std::string& text);

/// Writes doubles one row per line with full precision.
void writeRows(const std::string& path, const std::vector<std::vector<double>>& rows);

} // namespace Quorvex3::testing
