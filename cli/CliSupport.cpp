#include "cli/CliSupport.h"
#include "host/NetworkHelper.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace iecx::cli {

bool canOpenRawSocket() {
    int fd = ::socket(AF_PACKET, SOCK_RAW, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool interfaceExists(const std::string& name) {
    for (const auto& itf : Vor::NetworkHelper::getNetworkInterfaces())
        if (itf.id == name)
            return true;
    return false;
}

bool parseUnsigned(const std::string& text, uint64_t& out) {
    if (text.empty() || text[0] == '-')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long n = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0')
        return false;
    out = n;
    return true;
}

} // namespace iecx::cli
