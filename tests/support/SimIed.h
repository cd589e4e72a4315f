#pragma once
// A simulated IED for client tests: loads an SCL file and serves it on a free port of a loopback
// address (127.0.0.1 unless given), optionally publishing GOOSE on an interface. Stopped in the
// destructor.
#include "host/NonCopyable.h"
#include "sim/Model.h" // tests reach into the served model
#include "sim/SimulatedIed.h"

#include <string>

namespace iecx {
namespace test {

class SimIed : Vor::NonCopyable {
public:
    // A non-empty password makes the IED require ACSE password authentication.
    explicit SimIed(const std::string& sclFile, const std::string& iedName = "",
                    const std::string& gooseInterface = "", const std::string& host = "127.0.0.1",
                    const std::string& password = "");
    ~SimIed();

    bool ok() const { return _ok; }
    const std::string& error() const { return _error; }
    const std::string& host() const { return _host; }
    uint16_t port() const { return _port; }
    iecx::sim::SimulatedIed& ied() { return _ied; }

    // Stops the server: open connections are closed under the clients' feet.
    void kill();

private:
    iecx::sim::SimulatedIed _ied;
    std::string _host;
    uint16_t _port = 0;
    bool _ok = false;
    std::string _error;
};

// A device that never answers: a socket listening on a free port of 127.0.0.1 that accepts no
// connection (the kernel completes the TCP handshake, nothing more comes). For peers that answer
// with garbage, `accept()` hands over the next connection.
class SilentDevice : Vor::NonCopyable {
public:
    SilentDevice();
    ~SilentDevice();

    uint16_t port() const { return _port; }
    // "127.0.0.1:<port>"
    std::string address() const { return "127.0.0.1:" + std::to_string(_port); }
    // The next connection (-1 on failure); the caller closes it.
    int accept();

private:
    int _fd = -1;
    uint16_t _port = 0;
};

// Path of a file in tests/data/sim.
std::string simData(const std::string& name);

} // namespace test
} // namespace iecx
