#pragma once
// Runs the built iecx tool (or another program) as a child process and collects its exit status
// and output: to the end (runCli), or while the test goes on (CliProcess, also for tshark and
// dumpcap).
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace iecx {
namespace test {

struct CliRun {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs "iecx <args>" through the shell (args are not quoted further).
CliRun runCli(const std::string& args);
// Runs "iecx <args>" with every argument quoted for the shell; `env` ("NAME=value ...") goes
// before the command.
CliRun runCli(const std::vector<std::string>& args, const std::string& env = "");
// Runs any command line through the shell.
CliRun runCommand(const std::string& commandLine);

// "iecx <args>" (or `program` <args>, searched on the PATH) running while the test goes on, its
// output collected. With `unprivileged` the child drops to user nobody first. Killed in the
// destructor if it is still running.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args, bool unprivileged = false);
    CliProcess(const std::string& program, const std::vector<std::string>& args, bool unprivileged = false);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // true once the child has ended (or never started); collects what it wrote so far.
    bool poll();
    bool started() const { return _pid > 0; }
    // Waits for the end, at most the given time; calls `whileRunning` about every 20 ms.
    template <typename F> bool waitForExit(int milliseconds, F whileRunning) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!poll() && std::chrono::steady_clock::now() < end) {
            whileRunning();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return poll();
    }
    bool waitForExit(int milliseconds) {
        return waitForExit(milliseconds, [] {});
    }
    // Waits until the standard output (or error) holds `text`, at most the given time.
    bool waitForOutput(const std::string& text, int milliseconds, bool onStandardError = false);
    // Ctrl-C.
    void interrupt();
    int exitCode() const { return _exitCode; } // -1 while running or after a signal
    const std::string& out() const { return _stdout; }
    const std::string& err() const { return _stderr; }

private:
    void drain();
    pid_t _pid = -1;
    int _out = -1, _err = -1;
    bool _exited = false;
    int _exitCode = -1;
    std::string _stdout, _stderr;
};

} // namespace test
} // namespace iecx

// Skips the test with `why` unless `condition` holds (a tool or a right the test needs).
#define IECX_SKIP_UNLESS(condition, why)                                                                     \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            GTEST_SKIP() << (why);                                                                           \
    } while (0)
