#include "support/Veth.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace iecx {
namespace test {

namespace {

std::atomic<unsigned> pairCounter{0};

// Runs a program with arguments (no shell) and collects its standard output and error.
int runProgram(const std::vector<std::string>& argv, std::string* output) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return -1;
    pid_t pid = fork();
    if (pid < 0) {
        close(pipeFd[0]);
        close(pipeFd[1]);
        return -1;
    }
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        dup2(pipeFd[1], 2);
        close(pipeFd[0]);
        close(pipeFd[1]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipeFd[1]);
    char buf[512];
    ssize_t n;
    while ((n = read(pipeFd[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0 && output)
            output->append(buf, static_cast<size_t>(n));
    }
    close(pipeFd[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void disableIpv6(const std::string& ifname) {
    std::string path = "/proc/sys/net/ipv6/conf/" + ifname + "/disable_ipv6";
    int fd = open(path.c_str(), O_WRONLY);
    if (fd >= 0) {
        ssize_t ignored = write(fd, "1", 1);
        (void)ignored;
        close(fd);
    }
}

} // namespace

bool haveNetworkRights() {
    return geteuid() == 0;
}

Netns::Netns(const std::string& stem) : _name(stem + std::to_string(::getpid())) {
    _created = haveNetworkRights() && Veth::ip({"netns", "add", _name});
    _ok = _created && Veth::ip({"-n", _name, "link", "set", "lo", "up"});
}

Netns::~Netns() {
    if (_created)
        Veth::ip({"netns", "delete", _name});
}

bool Veth::ip(const std::vector<std::string>& args, std::string* output) {
    std::vector<std::string> argv{"ip"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, output) == 0;
}

Veth::Veth() {
    if (!haveNetworkRights()) {
        _reason = "needs root to create a veth pair and open raw sockets";
        return;
    }
    unsigned n = pairCounter++;
    std::string base = "ixv" + std::to_string(getpid() % 10000000) + std::to_string(n % 1000);
    _a = base + "a";
    _b = base + "b";
    std::string out;
    if (!ip({"link", "add", _a, "type", "veth", "peer", "name", _b}, &out)) {
        _reason = "cannot create veth pair " + _a + "/" + _b + ": " + out;
        return;
    }
    _created = true;
    disableIpv6(_a);
    disableIpv6(_b);
    if (!ip({"link", "set", _a, "up"}, &out) || !ip({"link", "set", _b, "up"}, &out)) {
        _reason = "cannot bring up veth pair " + _a + "/" + _b + ": " + out;
        return;
    }
    // Wait until both ends report carrier (usually immediate) so that the first frame is not lost.
    for (int i = 0; i < 200; ++i) {
        std::string state;
        ip({"-o", "link", "show", _b}, &state);
        if (state.find("LOWER_UP") != std::string::npos)
            break;
        usleep(5000);
    }
    _ok = true;
}

Veth::~Veth() {
    if (_created)
        ip({"link", "del", _a}); // deleting one end removes the pair
}

} // namespace test
} // namespace iecx
