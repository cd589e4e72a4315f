#include "cli/CliSupport.h"
#include "host/NetworkHelper.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty())
        return false;
    for (char c : digits)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c))
                  : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    errno = 0;
    const unsigned long long n = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno == ERANGE)
        return false;
    out = n;
    return true;
}

namespace {

std::atomic<bool> g_stop{false};

void onStopSignal(int) {
    if (g_stop.exchange(true)) {
        // A second Ctrl-C: the user does not want to wait for a clean end.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void installStopHandler() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() {
    return g_stop.load();
}

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const int64_t end = seconds > 0 ? nowMs() + static_cast<int64_t>(seconds * 1000) : 0;
    while (!g_stop) {
        if (done && done())
            return true;
        if (end != 0 && nowMs() >= end)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

Progress::Progress() : _enabled(::isatty(STDERR_FILENO) == 1), _startMs(nowMs()) {}

Progress::~Progress() {
    if (_shown)
        std::fputs("\r\033[K", stderr);
}

void Progress::update(const std::string& text) {
    if (!_enabled || nowMs() - _startMs < 1000)
        return;
    std::fprintf(stderr, "\r\033[K%.*s", 78, text.c_str());
    std::fflush(stderr);
    _shown = true;
}

FILE* resultsOut() {
    static FILE* const out = [] {
        std::fflush(stdout);
        const int fd = ::dup(STDOUT_FILENO);
        FILE* f = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
        return f != nullptr ? f : stdout;
    }();
    return out;
}

QuietStdout::QuietStdout() {
    resultsOut(); // taken before stdout goes quiet
    std::fflush(stdout);
    _saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

QuietStdout::~QuietStdout() {
    std::fflush(stdout);
    if (_saved >= 0) {
        ::dup2(_saved, STDOUT_FILENO);
        ::close(_saved);
    }
}

} // namespace iecx::cli
