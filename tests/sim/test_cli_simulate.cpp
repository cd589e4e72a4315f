// `iecx simulate` as a process: serves until SIGINT, then shuts down cleanly with exit 0.
#include "support/SimIed.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace iecx::test;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Child spawn(const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    Child c;
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return c;
    c.pid = fork();
    if (c.pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> argv;
        std::string cli = IECX_CLI_PATH;
        argv.push_back(const_cast<char*>(cli.c_str()));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    c.out = outPipe[0];
    c.err = errPipe[0];
    return c;
}

// Reads from fd until a newline or the time-out.
std::string readLine(int fd, int timeoutMs) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char ch;
        if (read(fd, &ch, 1) != 1)
            break;
        if (ch == '\n')
            return line;
        line += ch;
    }
    return line;
}

// Waits for the child's exit status (-1 on time-out, after which it is killed).
int waitExit(pid_t pid, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

} // namespace

TEST(SimCli, ServesUntilInterrupted) {
    Child c = spawn({"simulate", simData("simple.cid"), "--ied", "SIMIED", "--port", "0", "--bind",
                     "127.0.0.3", "--change-ms", "20"});
    ASSERT_GT(c.pid, 0);
    std::string banner = readLine(c.out, 10000);
    auto colon = banner.find("127.0.0.3:");
    ASSERT_NE(colon, std::string::npos) << banner;
    int port = std::atoi(banner.c_str() + colon + 10);
    ASSERT_GT(port, 0) << banner;

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.3", port);
    ASSERT_EQ(err, IED_ERROR_OK);
    float first = IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    EXPECT_EQ(err, IED_ERROR_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    float later = IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    EXPECT_NE(first, later); // --change-ms makes measured values drift

    // Interrupted with a client still connected.
    kill(c.pid, SIGINT);
    EXPECT_EQ(waitExit(c.pid, 10000), 0);
    std::string summary = readLine(c.out, 1000);
    EXPECT_NE(summary.find("served"), std::string::npos) << summary;
    IedConnection_destroy(con);
    close(c.out);
    close(c.err);
}

TEST(SimCli, UsageAndInputErrors) {
    struct Case {
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {{"simulate"}, 2},
        {{"simulate", "--help"}, 0},
        {{"simulate", simData("simple.cid"), "--port", "70000"}, 2},
        {{"simulate", simData("simple.cid"), "--bogus"}, 2},
        {{"simulate", "/nonexistent.cid"}, 1},
        {{"simulate", simData("simple.cid"), "--ied", "NOPE"}, 1},
        {{"simulate", simData("simple.cid"), "--bind", "300.1.1.1", "--port", "0"}, 1},
    };
    for (const auto& tc : cases) {
        Child c = spawn(tc.args);
        ASSERT_GT(c.pid, 0);
        EXPECT_EQ(waitExit(c.pid, 10000), tc.exit) << tc.args.back();
        close(c.out);
        close(c.err);
    }
}
