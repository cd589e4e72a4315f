#pragma once
// Runs the built iecx tool as a child process and collects its exit status and output.
#include <string>

namespace iecx {
namespace test {

struct CliRun {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs "iecx <args>" through the shell (args are not quoted further), after `prefix` when one is
// given (for example "ip netns exec NAME").
CliRun runCli(const std::string& args, const std::string& prefix = "");

} // namespace test
} // namespace iecx
