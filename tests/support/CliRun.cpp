#include "support/CliRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace iecx {
namespace test {

CliRun runCli(const std::string& args, const std::string& prefix) {
    char errPath[] = "/tmp/iecx_cli_err_XXXXXX";
    const int fd = mkstemp(errPath);
    if (fd >= 0)
        close(fd);
    const std::string command =
        (prefix.empty() ? "" : prefix + " ") + std::string(IECX_CLI_PATH) + " " + args + " 2>" + errPath;
    CliRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe != nullptr) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
            r.out.append(buf, n);
        const int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream in(errPath);
    std::stringstream s;
    s << in.rdbuf();
    r.err = s.str();
    unlink(errPath);
    return r;
}

} // namespace test
} // namespace iecx
