#pragma once
// Shared pieces of the command-line tests: text search, JSON lines and files written for a run.
#include "support/CliRun.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace clitest {

using iecx::test::CliRun;
using iecx::test::runCli;
using Json = nlohmann::json;

inline bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// One JSON document per non-empty line, as the watching commands print them.
inline std::vector<Json> jsonLines(const std::string& text) {
    std::vector<Json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(Json::parse(line));
    return lines;
}

// Writes `bytes` to `name` in `dir` and returns the path.
inline std::string writeFile(const iecx::test::TempDir& dir, const std::string& name,
                             const std::string& bytes) {
    std::ofstream(dir.file(name), std::ios::binary) << bytes;
    return dir.file(name);
}

} // namespace clitest
