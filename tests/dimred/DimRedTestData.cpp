#include "DimRedTestData.h"

#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace Quorvex3::dimredtest {

namespace {

Oracle parse(std::istream& in) {
    Oracle out;
    for (std::string text, tag; std::getline(in, text);) {
        std::istringstream fields(text);
        if (fields >> tag)
            out[tag].emplace_back(std::istream_iterator<double>(fields),
                                  std::istream_iterator<double>());
    }
    return out;
}

} // namespace

std::string runOracleText(const std::string& mode, const std::string& args) {
    TempDir dir;
    const std::string command = "/usr/bin/python3 " QUORVEX3_DIMRED_ORACLE_DIR
                                "/dimred_oracle.py " +
                                mode + " " + args + " > '" + dir.file("out.txt") + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("oracle failed: " + command);
    std::ostringstream text;
    text << std::ifstream(dir.file("out.txt")).rdbuf();
    return text.str();
}

Oracle oracleOn(const std::string& mode, const DimRedMatrix& m, const std::string& args) {
    TempDir dir;
    std::ofstream input(dir.file("input.txt"));
    input << std::setprecision(17) << m.rows << " " << m.cols << "\n";
    for (size_t i = 0; i < m.data.size(); ++i)
        input << m.data[i] << ((i + 1) % m.cols == 0 ? '\n' : ' ');
    input.close();
    std::istringstream text(runOracleText(mode, "'" + dir.file("input.txt") + "' " + args));
    return parse(text);
}

const Oracle& umapLearn() {
    std::ifstream in(std::string(QUORVEX3_DIMRED_ORACLE_DIR) + "/umap_oracle.txt");
    static const Oracle values = parse(in);
    return values;
}

} // namespace Quorvex3::dimredtest
