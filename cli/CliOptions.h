#pragma once
// Option parsing and JSON output shared by the commands: CLI11 for options and help,
// nlohmann-json for JSON, and the number rules every command follows (decimal unless written
// with 0x, counts are whole numbers).
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace iecx::cli {

using Json = nlohmann::json;

// The parser of `iecx NAME`: its description and a footer with the exit status.
std::unique_ptr<CLI::App> newCommand(const std::string& name, const std::string& description);

// Parses a command's arguments (as main handed them over, without the command name).
// Returns -1 when the command goes on; otherwise the exit status: 0 after --help (printed on
// stdout), 2 for wrong usage (the reason on stderr).
int parseCommand(CLI::App& app, const std::vector<std::string>& args);

// Adds an option taking a whole unsigned number, decimal or hexadecimal with 0x, between min and
// max; `store` receives it. "010" is ten, "1.5" and "-1" are refused.
CLI::Option* addUnsigned(CLI::App& app, const std::string& name, std::function<void(uint64_t)> store,
                         const std::string& description, uint64_t min = 0,
                         uint64_t max = std::numeric_limits<uint64_t>::max());

// The same into an integer variable, with max defaulting to what the variable holds.
template <class T>
CLI::Option* addUnsigned(CLI::App& app, const std::string& name, T& out, const std::string& description,
                         uint64_t min = 0,
                         uint64_t max = static_cast<uint64_t>(std::numeric_limits<T>::max())) {
    return addUnsigned(
        app, name, [&out](uint64_t n) { out = static_cast<T>(n); }, description, min, max);
}

// A positive number of seconds (fractions allowed).
CLI::Option* addSeconds(CLI::App& app, const std::string& name, double& out, const std::string& description);

// How long a command runs and how it prints; the option sets of the commands that run until
// stopped derive from it.
struct RunOptions {
    uint64_t count = 0; // 0: no limit
    double seconds = 0; // 0: no limit
    bool json = false;
};

// --count N (countText says what is counted), --seconds S and --json (jsonText says what is
// printed).
void addRunOptions(CLI::App& app, RunOptions& run, const std::string& countText, const std::string& jsonText,
                   const std::string& secondsText = "end after S seconds");

// Prints one JSON document (indented) or one JSON line (compact, for streams) on stdout and
// flushes. Text that is not valid UTF-8 is written with replacement characters, never refused.
void printJson(const Json& value, bool pretty = true, FILE* to = stdout);

// "iecx NAME: message" on stderr; returns the failure exit status for `return fail(...)`.
int fail(const std::string& command, const std::string& message);

} // namespace iecx::cli
