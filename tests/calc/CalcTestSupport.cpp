#include "CalcTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <locale>
#include <sstream>

namespace Quorvex3::testing {

std::uint64_t SplitMix64::next() {
    m_state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double SplitMix64::uniform() {
    return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);
}

double linearModulus(double area, double deform) {
    return 0.5 + 0.01 * area + 20.0 * deform;
}

std::vector<LutRow> linearTable() {
    std::vector<LutRow> rows;
    for (int j = 0; j <= 20; ++j) {
        for (int i = 0; i <= 20; ++i) {
            const double area = kLinAreaMin + 10.0 * i;
            const double deform = kLinDeformMin + 0.005 * j;
            rows.push_back({area, deform, linearModulus(area, deform)});
        }
    }
    return rows;
}

std::vector<LutRow> scatteredTable(int n, std::uint64_t seed) {
    SplitMix64 random(seed);
    std::vector<LutRow> rows;
    for (int i = 0; i < n; ++i) {
        const double area = 20.0 + 200.0 * random.uniform();
        const double deform = 0.01 + 0.1 * random.uniform();
        const double e = 0.3 + 0.004 * area * (1.0 + 30.0 * deform) + 0.1 * std::sin(area / 40.0);
        rows.push_back({area, deform, e});
    }
    return rows;
}

std::vector<LutRow> lShapedTable(bool armsHigh) {
    std::vector<LutRow> rows;
    for (int j = 0; j <= 20; ++j) {
        for (int i = 0; i <= 20; ++i) {
            const double x = i / 20.0;
            const double y = j / 20.0;
            const bool keep = armsHigh ? (i >= 14 || j >= 14) : (i <= 6 || j <= 6);
            if (!keep)
                continue;
            const double area = kLinAreaMin + (kLinAreaMax - kLinAreaMin) * x;
            const double deform = kLinDeformMin + (kLinDeformMax - kLinDeformMin) * y;
            rows.push_back({area, deform, linearModulus(area, deform)});
        }
    }
    return rows;
}

std::string lutText(const std::vector<LutRow>& rows, const std::string& metadataJson, bool header) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(17);
    if (!metadataJson.empty()) {
        out << "# BEGIN METADATA\n";
        std::istringstream lines(metadataJson);
        std::string line;
        while (std::getline(lines, line))
            out << "# " << line << "\n";
        out << "# END METADATA\n";
    }
    if (header)
        out << "# columns follow\narea_um deform emodulus\n";
    for (const LutRow& row : rows)
        out << row.area << ' ' << row.deform << ' ' << row.emodulus << '\n';
    return out.str();
}

void writeText(const std::string& path, const std::string& text) {
    const std::filesystem::path target(path);
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

LutDir::LutDir(const std::string& tableText) {
    writeText(m_dir.file("data/LUT_LE_2D_FEM.txt"), tableText);
}

QString LutDir::base() const {
    return QString::fromStdString(m_dir.path());
}

std::string writeMeasurement(const TempDir& dir, const std::string& name,
                             const std::map<std::string, std::vector<double>>& columns) {
    const std::string path = dir.file(name);
    RtdcFixtureWriter writer(path);
    for (const auto& [feature, values] : columns)
        writer.addColumn<double>(feature, values);
    return path;
}

namespace {

using Triple = std::array<int, 3>;

bool sameEdge(const Triple& t, int a, int b) {
    const bool hasA = t[0] == a || t[1] == a || t[2] == a;
    const bool hasB = t[0] == b || t[1] == b || t[2] == b;
    return hasA && hasB;
}

} // namespace

std::vector<Triple> referenceDelaunay(const std::vector<double>& xIn,
                                      const std::vector<double>& yIn) {
    const int n = static_cast<int>(xIn.size());
    std::vector<double> x = xIn;
    std::vector<double> y = yIn;
    x.insert(x.end(), {-10.0, 20.0, -10.0});
    y.insert(y.end(), {-10.0, -10.0, 20.0});
    std::vector<Triple> triangles;
    const double o = (x[n + 1] - x[n]) * (y[n + 2] - y[n]) - (x[n + 2] - x[n]) * (y[n + 1] - y[n]);
    triangles.push_back(o >= 0.0 ? Triple{n, n + 1, n + 2} : Triple{n, n + 2, n + 1});
    for (int p = 0; p < n; ++p) {
        std::vector<std::size_t> bad;
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            const Triple& tri = triangles[t];
            const double ax = x[tri[0]] - x[p], ay = y[tri[0]] - y[p];
            const double bx = x[tri[1]] - x[p], by = y[tri[1]] - y[p];
            const double cx = x[tri[2]] - x[p], cy = y[tri[2]] - y[p];
            const double det = (ax * ax + ay * ay) * (bx * cy - cx * by) -
                               (bx * bx + by * by) * (ax * cy - cx * ay) +
                               (cx * cx + cy * cy) * (ax * by - bx * ay);
            if (det > 0.0)
                bad.push_back(t);
        }
        std::vector<std::pair<int, int>> edges;
        for (std::size_t t : bad) {
            const Triple& tri = triangles[t];
            const std::pair<int, int> own[3] = {
                {tri[0], tri[1]}, {tri[1], tri[2]}, {tri[2], tri[0]}};
            for (const auto& [a, b] : own) {
                bool shared = false;
                for (std::size_t other : bad)
                    shared = shared || (other != t && sameEdge(triangles[other], a, b));
                if (!shared)
                    edges.emplace_back(a, b);
            }
        }
        std::vector<Triple> kept;
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            if (!std::binary_search(bad.begin(), bad.end(), t))
                kept.push_back(triangles[t]);
        }
        triangles = std::move(kept);
        for (const auto& [a, b] : edges) {
            const double turn = (x[a] - x[p]) * (y[b] - y[p]) - (x[b] - x[p]) * (y[a] - y[p]);
            triangles.push_back(turn >= 0.0 ? Triple{p, a, b} : Triple{p, b, a});
        }
    }
    std::vector<Triple> result;
    for (const Triple& t : triangles) {
        if (t[0] < n && t[1] < n && t[2] < n)
            result.push_back(t);
    }
    return result;
}

std::string runOracle(const std::string& script, const std::string& args) {
    const std::string command =
        std::string("/usr/bin/python3 ") + QUORVEX3_CALC_ORACLE_DIR + "/" + script + " " + args;
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot start " << command;
        return output;
    }
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return output;
}

std::vector<double> parseNumbers(const std::string& text) {
    std::vector<double> values;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        values.push_back(std::strtod(word.c_str(), nullptr));
    return values;
}

void writeRows(const std::string& path, const std::vector<std::vector<double>>& rows) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(17);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            out << (i ? " " : "") << row[i];
        out << '\n';
    }
    writeText(path, out.str());
}

} // namespace Quorvex3::testing
