#include "support/SimIed.h"

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

std::string simData(const std::string& name) {
    return std::string(IECX_TEST_DATA_DIR) + "/sim/" + name;
}

} // namespace test
} // namespace iecx
