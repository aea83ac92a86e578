#pragma once

// Runs an oracle script under Debian's interpreter (/usr/bin/python3, which
// has numpy, scipy, sklearn and OpenCV) on an input file and returns its
// standard output split into whitespace-separated words per line. The
// interpreter and modules are installed by scripts/install-deps.sh, so a
// failing script fails the test instead of skipping it.

#include "support/RtdcFixtureWriter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace Quorvex3::testing {

struct OracleRun {
    int status = -1;                             ///< exit status from pclose; 0 on success
    std::vector<std::vector<std::string>> lines; ///< words of each output line
};

inline OracleRun runPythonOracle(const std::string& script, const std::string& input) {
    OracleRun run;
    TempDir dir;
    const std::string inputPath = dir.file("oracle_input.txt");
    {
        std::ofstream file(inputPath, std::ios::binary);
        file << input;
        if (!file)
            return run;
    }
    const std::string command = "/usr/bin/python3 '" + script + "' '" + inputPath + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::string output;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, n);
    run.status = ::pclose(pipe);
    std::istringstream text(output);
    std::string line;
    while (std::getline(text, line)) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        std::string word;
        while (words >> word)
            fields.push_back(word);
        run.lines.push_back(std::move(fields));
    }
    return run;
}

/// Parses a number printed by Python ("nan", "inf", "-inf" included).
inline double oracleNumber(const std::string& word) {
    return std::strtod(word.c_str(), nullptr);
}

} // namespace Quorvex3::testing
