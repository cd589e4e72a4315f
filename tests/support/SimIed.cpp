#include "support/SimIed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <exception>

namespace iecx {
namespace test {

SimIed::SimIed(const std::string& sclFile, const std::string& iedName, const std::string& gooseInterface,
               const std::string& host, const std::string& password)
    : _host(host) {
    try {
        _ied.load(sclFile, iedName);
    } catch (const std::exception& e) {
        _error = e.what();
        return;
    }
    _ied.setPassword(password);
    if (!_ied.start(host, 0, gooseInterface)) {
        _error = _ied.lastError();
        return;
    }
    _port = _ied.port();
    _ok = true;
}

SimIed::~SimIed() {
    _ied.stop();
}

void SimIed::kill() {
    _ied.stop();
}

SilentDevice::SilentDevice() {
    _fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (_fd >= 0 && ::bind(_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(_fd, 8) == 0 && ::getsockname(_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        _port = ntohs(address.sin_port);
}

SilentDevice::~SilentDevice() {
    if (_fd >= 0)
        ::close(_fd);
}

int SilentDevice::accept() {
    return ::accept(_fd, nullptr, nullptr);
}

std::string simData(const std::string& name) {
    return std::string(IECX_TEST_DATA_DIR) + "/sim/" + name;
}

} // namespace test
} // namespace iecx
