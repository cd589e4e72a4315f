#pragma once
#include <string>
#include <vector>

namespace iecx::cli {

// One `iecx <name>` command. Each command lives in its own file and registers itself with a
// static CommandRegistration, so adding a command touches no other file.
struct Command {
    std::string name;
    std::string summary;                              // one line for `iecx --help`
    int (*run)(const std::vector<std::string>& args); // args after the command name
};

class CommandRegistration {
public:
    CommandRegistration(const char* name, const char* summary, int (*run)(const std::vector<std::string>&));
};

const std::vector<Command>& commands();

// Exit codes shared by all commands.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

} // namespace iecx::cli
