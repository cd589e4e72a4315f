#include "support/CliRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace iecx {
namespace test {

CliRun runCli(const std::string& args) {
    return runCommand(std::string(IECX_CLI_PATH) + " " + args);
}

CliRun runCli(const std::vector<std::string>& args, const std::string& env) {
    auto quote = [](const std::string& arg) {
        std::string q = "'";
        for (char c : arg)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command = env + " " + quote(IECX_CLI_PATH);
    for (const auto& a : args)
        command += " " + quote(a);
    return runCommand(command);
}

CliRun runCommand(const std::string& commandLine) {
    char errPath[] = "/tmp/iecx_cli_err_XXXXXX";
    const int fd = mkstemp(errPath);
    if (fd >= 0)
        close(fd);
    const std::string command = commandLine + " 2>" + errPath;
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

CliProcess::CliProcess(const std::vector<std::string>& args, bool unprivileged)
    : CliProcess(IECX_CLI_PATH, args, unprivileged) {}

CliProcess::CliProcess(const std::string& program, const std::vector<std::string>& args, bool unprivileged) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return;
    _pid = fork();
    if (_pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        if (unprivileged && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    _out = out[0];
    _err = err[0];
    fcntl(_out, F_SETFL, O_NONBLOCK);
    fcntl(_err, F_SETFL, O_NONBLOCK);
}

CliProcess::~CliProcess() {
    if (_pid > 0 && !_exited) {
        kill(_pid, SIGKILL);
        waitpid(_pid, nullptr, 0);
    }
    if (_out >= 0)
        close(_out);
    if (_err >= 0)
        close(_err);
}

bool CliProcess::poll() {
    if (_pid <= 0)
        return true;
    drain();
    if (_pid > 0 && !_exited) {
        int status = 0;
        if (waitpid(_pid, &status, WNOHANG) == _pid) {
            _exited = true;
            _exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            drain();
        }
    }
    return _exited;
}

bool CliProcess::waitForOutput(const std::string& text, int milliseconds, bool onStandardError) {
    const std::string& output = onStandardError ? _stderr : _stdout;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (output.find(text) == std::string::npos && !poll() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return output.find(text) != std::string::npos;
}

void CliProcess::interrupt() {
    if (_pid > 0 && !_exited)
        kill(_pid, SIGINT);
}

void CliProcess::drain() {
    char buffer[4096];
    ssize_t n;
    while (_out >= 0 && (n = read(_out, buffer, sizeof buffer)) > 0)
        _stdout.append(buffer, static_cast<size_t>(n));
    while (_err >= 0 && (n = read(_err, buffer, sizeof buffer)) > 0)
        _stderr.append(buffer, static_cast<size_t>(n));
}

} // namespace test
} // namespace iecx
