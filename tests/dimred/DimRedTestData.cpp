#include "DimRedTestData.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace Quorvex3::dimredtest {

void writeMatrixFile(const std::string& path, const std::vector<double>& values, size_t rows,
                     size_t cols) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    std::fprintf(f, "%zu %zu\n", rows, cols);
    writeRows(f, values, cols);
    std::fclose(f);
}

std::string runOracleText(const std::string& mode, const std::string& input,
                          const std::string& args) {
    const std::string command = std::string("/usr/bin/python3 ") + QUORVEX3_DIMRED_ORACLE_DIR +
                                "/dimred_oracle.py " + mode + " '" + input + "' " + args;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string text;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0)
        throw std::runtime_error("oracle failed: " + command + "\n" + text);
    return text;
}

std::vector<std::pair<std::string, std::vector<double>>>
runOracle(const std::string& mode, const std::string& input, const std::string& args) {
    const std::string text = runOracleText(mode, input, args);
    std::vector<std::pair<std::string, std::vector<double>>> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string tag;
        if (!(fields >> tag))
            continue;
        std::vector<double> values;
        std::string word;
        while (fields >> word)
            values.push_back(std::strtod(word.c_str(), nullptr));
        out.emplace_back(tag, std::move(values));
    }
    return out;
}

std::vector<double> oracleLine(const std::vector<std::pair<std::string, std::vector<double>>>& out,
                               const std::string& tag) {
    for (const auto& entry : out)
        if (entry.first == tag)
            return entry.second;
    return {};
}

} // namespace Quorvex3::dimredtest
