#pragma once
// Shared pieces of the network benchmarks: a veth pair that the program creates and always
// removes (also on Ctrl-C), thread pinning and CPU clocks, and a raw sender that floods or paces
// frames with sendmmsg. Header-only: every bench/*.cpp is a program of its own.
#include "host/NonCopyable.h"

#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace benchnet {

using Clock = std::chrono::steady_clock;

// Runs a program with its output discarded; its exit status, -1 when it did not exit.
inline int run(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string& vethToRemove() {
    static std::string name;
    return name;
}
inline void removeVeth() {
    if (!vethToRemove().empty())
        run({"ip", "link", "del", vethToRemove()});
    vethToRemove().clear();
}
inline void removeVethOnSignal(int) {
    removeVeth();
    _exit(130);
}

// Creates "<prefix><pid>a" / "...b", both up, IPv6 off (no traffic of the kernel's own); it is
// removed at exit and on SIGINT/SIGTERM.
inline bool createVeth(const std::string& prefix, std::string& a, std::string& b, int mtu = 0) {
    std::string base = prefix + std::to_string(getpid() % 1000000);
    a = base + "a";
    b = base + "b";
    if (run({"ip", "link", "add", a, "type", "veth", "peer", "name", b}) != 0)
        return false;
    vethToRemove() = a;
    std::atexit(removeVeth);
    signal(SIGINT, removeVethOnSignal);
    signal(SIGTERM, removeVethOnSignal);
    for (const auto& n : {a, b}) {
        FILE* f = std::fopen(("/proc/sys/net/ipv6/conf/" + n + "/disable_ipv6").c_str(), "w");
        if (f) {
            std::fputs("1", f);
            std::fclose(f);
        }
        if (mtu > 0)
            run({"ip", "link", "set", "dev", n, "mtu", std::to_string(mtu)});
    }
    return run({"ip", "link", "set", a, "up"}) == 0 && run({"ip", "link", "set", b, "up"}) == 0;
}

// The number after --name among the program's arguments, or fallback.
inline double option(int argc, char** argv, const std::string& name, double fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] == name)
            return std::atof(argv[i + 1]);
    return fallback;
}

// The veth pair of a benchmark that needs root (and `needs`, when not empty, is what else it
// needs); false, with the reason on stderr under the program's name, when it cannot run.
inline bool setUp(const char* program, bool allowed, const char* needs, const std::string& prefix,
                  std::string& a, std::string& b) {
    if (geteuid() != 0 || !allowed) {
        std::fprintf(stderr, "%s: needs root%s\n", program, needs);
        return false;
    }
    if (!createVeth(prefix, a, b)) {
        std::fprintf(stderr, "%s: cannot create a veth pair\n", program);
        return false;
    }
    return true;
}

inline void pinToCpu(int cpu) {
    if (cpu < 0 || cpu >= static_cast<int>(std::thread::hardware_concurrency()))
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

inline double cpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A raw sender socket on iface and its destination address for sendmmsg; fd < 0 when it cannot
// be opened.
inline int openSender(const std::string& iface, sockaddr_ll& addr) {
    int fd = socket(AF_PACKET, SOCK_RAW, 0);
    int sndbuf = 8 << 20;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &sndbuf, sizeof sndbuf);
    addr = sockaddr_ll{};
    addr.sll_family = AF_PACKET;
    addr.sll_ifindex = static_cast<int>(if_nametoindex(iface.c_str()));
    addr.sll_halen = 6;
    return fd;
}

// One message of a sendmmsg batch: the frame's bytes to addr.
inline void setMessage(mmsghdr& msg, iovec& iov, sockaddr_ll& addr, const uint8_t* bytes, size_t length) {
    iov.iov_base = const_cast<uint8_t*>(bytes);
    iov.iov_len = length;
    std::memset(&msg, 0, sizeof msg);
    msg.msg_hdr.msg_name = &addr;
    msg.msg_hdr.msg_namelen = sizeof addr;
    msg.msg_hdr.msg_iov = &iov;
    msg.msg_hdr.msg_iovlen = 1;
}

struct SendResult {
    uint64_t sent = 0;
    double seconds = 0;
};

// Sends up to maxFrames frames on iface in batches, frame i being frames[i % size] after
// prepare(frame bytes, i) when given: as fast as possible when rate is 0, else paced to `rate`
// frames per second. Ends after maxSeconds in any case.
inline SendResult sendFramesOnce(const std::string& iface, const std::vector<std::vector<uint8_t>>& frames,
                                 uint64_t maxFrames, double rate, double maxSeconds,
                                 const std::function<void(std::vector<uint8_t>&, uint64_t)>& prepare) {
    SendResult result;
    sockaddr_ll addr;
    int fd = openSender(iface, addr);
    if (fd < 0 || frames.empty()) {
        if (fd >= 0)
            close(fd);
        return result;
    }
    constexpr int kBatch = 32;
    // Each frame of a batch needs its own bytes when prepare() changes them.
    std::vector<std::vector<uint8_t>> slots(kBatch);
    mmsghdr msgs[kBatch];
    iovec iov[kBatch];
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration<double>(maxSeconds);
    while (result.sent < maxFrames) {
        auto now = Clock::now();
        if (now >= deadline)
            break;
        if (rate > 0) {
            auto due = start + std::chrono::duration<double>(result.sent / rate);
            if (due > now) {
                if (due - now > std::chrono::microseconds(100))
                    std::this_thread::sleep_for(due - now - std::chrono::microseconds(50));
                continue;
            }
        }
        int n = static_cast<int>(std::min<uint64_t>(kBatch, maxFrames - result.sent));
        if (rate > 0)
            n = std::min(n, 8); // small bursts keep the pace even
        for (int i = 0; i < n; ++i) {
            uint64_t index = result.sent + static_cast<uint64_t>(i);
            const auto& f = frames[index % frames.size()];
            uint8_t* bytes = const_cast<uint8_t*>(f.data());
            if (prepare) {
                slots[i].assign(f.begin(), f.end()); // reuses the slot's storage
                prepare(slots[i], index);
                bytes = slots[i].data();
            }
            setMessage(msgs[i], iov[i], addr, bytes, f.size());
        }
        int done = sendmmsg(fd, msgs, static_cast<unsigned>(n), 0);
        if (done > 0)
            result.sent += static_cast<uint64_t>(done);
        else if (errno == ENOBUFS || errno == EAGAIN)
            std::this_thread::yield();
        else
            break;
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    return result;
}

// How many threads send: on a veth pair the kernel delivers each frame on the sending CPU, so
// one sender thread is the limit long before the receiver is. --senders N (default: one per CPU).
inline int& senderThreads() {
    static int n = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return n;
}

// sendFramesOnce on senderThreads() threads, one per CPU, each with its own socket and a share of
// the frames and of the rate. prepare() needs the frames' order, so it keeps one thread.
inline SendResult sendFrames(const std::string& iface, const std::vector<std::vector<uint8_t>>& frames,
                             uint64_t maxFrames, double rate, double maxSeconds,
                             const std::function<void(std::vector<uint8_t>&, uint64_t)>& prepare = nullptr) {
    const int threads = prepare ? 1 : senderThreads();
    if (threads == 1)
        return sendFramesOnce(iface, frames, maxFrames, rate, maxSeconds, prepare);
    std::vector<SendResult> results(static_cast<size_t>(threads));
    std::vector<std::thread> senders;
    for (int t = 0; t < threads; ++t)
        senders.emplace_back([&, t] {
            pinToCpu(t);
            const uint64_t share =
                maxFrames / threads + (static_cast<uint64_t>(t) < maxFrames % threads ? 1 : 0);
            results[static_cast<size_t>(t)] =
                sendFramesOnce(iface, frames, share, rate / threads, maxSeconds, nullptr);
        });
    SendResult total;
    for (int t = 0; t < threads; ++t) {
        senders[static_cast<size_t>(t)].join();
        total.sent += results[static_cast<size_t>(t)].sent;
        total.seconds = std::max(total.seconds, results[static_cast<size_t>(t)].seconds);
    }
    return total;
}

// Waits until count() stops growing (a receiver has drained its queue), at most 2 s.
template <typename Count> void waitForDrain(Count count) {
    uint64_t last = count();
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        uint64_t now = count();
        if (now == last)
            return;
        last = now;
    }
}

// A packet socket that receives `etherType` on iface, with a receive buffer of bufferBytes and
// reads that give up after timeoutUs microseconds; fd < 0 when it cannot be opened.
inline int openReceiver(const std::string& iface, uint16_t etherType, int bufferBytes, long timeoutUs) {
    int fd = socket(AF_PACKET, SOCK_RAW, htons(etherType));
    if (fd < 0)
        return fd;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes);
    sockaddr_ll addr{};
    addr.sll_family = AF_PACKET;
    addr.sll_protocol = htons(etherType);
    addr.sll_ifindex = static_cast<int>(if_nametoindex(iface.c_str()));
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    timeval tv{0, timeoutUs};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// Reads fd in recvmmsg batches of up to 32 frames until `stop`; onBatch(n) after each batch of
// n > 0 frames (the bytes themselves are not kept).
template <typename OnBatch> void readBatches(int fd, const std::atomic<bool>& stop, OnBatch onBatch) {
    constexpr int kBatch = 32;
    std::vector<uint8_t> storage(kBatch * 2048);
    mmsghdr msgs[kBatch];
    iovec iov[kBatch];
    while (!stop) {
        for (int i = 0; i < kBatch; ++i) {
            iov[i] = {storage.data() + i * 2048, 2048};
            std::memset(&msgs[i], 0, sizeof msgs[i]);
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
        }
        int n = recvmmsg(fd, msgs, kBatch, MSG_WAITFORONE, nullptr);
        if (n > 0)
            onBatch(n);
    }
}

// The baseline receiver of the benchmarks: one packet socket for an EtherType on an interface,
// read with recvmmsg on a thread of its own (pinned to cpu when it names one), counting frames and
// the thread's CPU time.
class RawCounter : Vor::NonCopyable {
public:
    RawCounter(const std::string& iface, uint16_t etherType, int cpu = -1) {
        _fd = openReceiver(iface, etherType, 4 << 20, 10000); // as much buffer as the stack's sockets
        _thread = std::thread([this, cpu] { _read(cpu); });
    }
    ~RawCounter() { stop(); }

    uint64_t received() const { return _received.load(); }
    // Waits until the frames stop coming, ends the thread and returns its CPU seconds.
    double drainAndStop() {
        waitForDrain([this] { return received(); });
        return stop();
    }
    double stop() {
        _stop = true;
        if (_thread.joinable())
            _thread.join();
        if (_fd >= 0)
            close(_fd);
        _fd = -1;
        return _cpu;
    }

private:
    void _read(int cpu) {
        pinToCpu(cpu);
        clockid_t clock;
        pthread_getcpuclockid(pthread_self(), &clock);
        const double start = cpuSeconds(clock);
        readBatches(_fd, _stop, [this](int n) { _received += static_cast<uint64_t>(n); });
        _cpu = cpuSeconds(clock) - start;
    }

    int _fd = -1;
    std::thread _thread;
    std::atomic<uint64_t> _received{0};
    std::atomic<bool> _stop{false};
    std::atomic<double> _cpu{0};
};

} // namespace benchnet
