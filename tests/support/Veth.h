#pragma once
// A veth pair for network tests: two connected virtual Ethernet interfaces with names unique to
// this process ("ixv<pid><n>a" / "ixv<pid><n>b"), both up, IPv6 disabled so that the kernel adds
// no traffic of its own. The pair is deleted in the destructor, also when the test fails.
// Creating one needs root (CAP_NET_ADMIN); without it `ok()` is false and `skipReason()` says why.
#include "host/NonCopyable.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace iecx {
namespace test {

class Veth : Vor::NonCopyable {
public:
    Veth();
    ~Veth();

    bool ok() const { return _ok; }
    const std::string& skipReason() const { return _reason; }
    const std::string& a() const { return _a; }
    const std::string& b() const { return _b; }

    // Runs `ip` with the given arguments; true on exit status 0.
    static bool ip(const std::vector<std::string>& args, std::string* output = nullptr);

private:
    std::string _a;
    std::string _b;
    std::string _reason;
    bool _ok = false;
    bool _created = false;
};

// true when the process may create interfaces and raw sockets (effective uid 0).
bool haveNetworkRights();

// A network namespace of its own with only `lo` (up), so that programs run in it see no other
// test's frames; deleted in the destructor. Needs root: without it `ok()` is false and
// `prefix()` empty, so that commands run in the current namespace.
//
//     iecx::test::Netns ns("iecxdemo");
//     runCommand(ns.prefix() + " iecx demo");    // "ip netns exec iecxdemo<pid> iecx demo"
class Netns : Vor::NonCopyable {
public:
    explicit Netns(const std::string& stem);
    ~Netns();

    bool ok() const { return _ok; }
    const std::string& name() const { return _name; }
    // "ip netns exec <name>" to put before a command line, empty without the namespace.
    std::string prefix() const { return _ok ? "ip netns exec " + _name : std::string(); }

private:
    std::string _name;
    bool _created = false;
    bool _ok = false;
};

} // namespace test
} // namespace iecx

#define IECX_REQUIRE_VETH(veth) IECX_SKIP_UNLESS((veth).ok(), (veth).skipReason())
