#pragma once
// Runs the built iecx tool (or another program) as a child process and collects its exit status
// and output.
#include <string>

namespace iecx {
namespace test {

struct CliRun {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs "iecx <args>" through the shell (args are not quoted further).
CliRun runCli(const std::string& args);
// Runs any command line through the shell.
CliRun runCommand(const std::string& commandLine);

} // namespace test
} // namespace iecx
