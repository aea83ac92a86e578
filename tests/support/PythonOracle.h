#pragma once

// Runs an oracle script under Debian's interpreter (/usr/bin/python3, which
// has numpy, scipy, sklearn and OpenCV) and parses what it prints. The
// interpreter and modules are installed by scripts/install-deps.sh, so a
// failing script fails the test instead of skipping it.

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace Quorvex3::testing {

/// One output line "KIND a b | c d e | ...": the kind and its groups of
/// numbers ("nan", "inf" and "-inf" included).
struct OracleCase {
    std::string kind;
    std::vector<std::vector<double>> groups;
};

/// The lines printed by "/usr/bin/python3 <script> <argument>", in order;
/// none when the script fails.
inline std::vector<OracleCase> runPythonOracle(const std::string& script,
                                               const std::string& argument = "") {
    std::vector<OracleCase> cases;
    FILE* pipe = ::popen(("/usr/bin/python3 '" + script + "' '" + argument + "'").c_str(), "r");
    char* line = nullptr;
    size_t capacity = 0;
    while (pipe && ::getline(&line, &capacity, pipe) > 0) {
        std::istringstream words(line);
        OracleCase& c = cases.emplace_back();
        c.groups.emplace_back();
        words >> c.kind;
        for (std::string word; words >> word;)
            if (word == "|")
                c.groups.emplace_back();
            else
                c.groups.back().push_back(std::strtod(word.c_str(), nullptr));
    }
    std::free(line);
    return pipe && ::pclose(pipe) == 0 ? cases : std::vector<OracleCase>{};
}

} // namespace Quorvex3::testing
