#include "support/Veth.h"

#include "support/CliRun.h"

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace iecx {
namespace test {

namespace {

std::atomic<unsigned> pairCounter{0};

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
    std::string command = "ip";
    for (const auto& a : args)
        command += " '" + a + "'"; // names, numbers and keywords: nothing to escape
    CliRun r = runCommand(command);
    if (output)
        *output += r.out + r.err;
    return r.status == 0;
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
