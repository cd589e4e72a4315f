#include "support/Dumpcap.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace iecx {
namespace test {

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

} // namespace

PcapContents readPcap(const std::string& path) {
    PcapContents result;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 24)
        return result;
    uint32_t magic = le32(b, 0);
    if (magic != 0xA1B2C3D4u && magic != 0xA1B23C4Du)
        return result;
    result.nanosecond = magic == 0xA1B23C4Du;
    result.snapLength = le32(b, 16);
    size_t at = 24;
    while (at + 16 <= b.size()) {
        uint32_t length = le32(b, at + 8);
        if (at + 16 + length > b.size())
            return result; // a torn record
        PcapRecord r;
        r.timeNs =
            int64_t(le32(b, at)) * 1000000000 + int64_t(le32(b, at + 4)) * (result.nanosecond ? 1 : 1000);
        r.originalLength = le32(b, at + 12);
        r.bytes.assign(b.begin() + static_cast<long>(at + 16),
                       b.begin() + static_cast<long>(at + 16 + length));
        result.records.push_back(std::move(r));
        at += 16 + length;
    }
    result.ok = at == b.size();
    return result;
}

bool Dumpcap::available() {
    return access("/usr/bin/dumpcap", X_OK) == 0;
}

Dumpcap::Dumpcap(const std::string& iface, const std::string& path, const std::string& filter) {
    int errPipe[2];
    if (!available() || pipe(errPipe) != 0) {
        _error = "dumpcap cannot be started";
        return;
    }
    _pid = fork();
    if (_pid == 0) {
        dup2(errPipe[1], 2);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        close(errPipe[0]);
        close(errPipe[1]);
        std::vector<const char*> argv{"dumpcap", "-q", "-i", iface.c_str(), "-P", "-w", path.c_str()};
        if (!filter.empty())
            argv.insert(argv.end(), {"-f", filter.c_str()});
        argv.push_back(nullptr);
        execv("/usr/bin/dumpcap", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(errPipe[1]);
    _errFd = errPipe[0];
    // dumpcap says "Capturing on '<iface>'" once its socket is open.
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && text.find("Capturing on") == std::string::npos) {
        pollfd p{_errFd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[512];
        ssize_t n = read(_errFd, buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    _ok = text.find("Capturing on") != std::string::npos;
    if (!_ok)
        _error = "dumpcap did not start: " + text;
    // Its own socket is open; give it a moment to be bound before traffic starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void Dumpcap::stop() {
    if (_pid > 0) {
        kill(_pid, SIGINT);
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(_pid, SIGKILL);
                waitpid(_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        _pid = -1;
    }
    if (_errFd >= 0)
        close(_errFd);
    _errFd = -1;
}

} // namespace test
} // namespace iecx
