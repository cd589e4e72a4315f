// Capture next to dumpcap on the same traffic: GOOSE and SV frames sent over a veth pair that
// this program creates and removes, captured at once by dumpcap (PCAP), by PacketCapturer (in a
// child process, like dumpcap) and by a bare packet socket (recvmmsg with kernel time stamps, no
// file). Each frame carries a unique number, so both files are matched frame by frame.
// Reports per run: frames lost, CPU time per captured frame (process CPU of dumpcap and of the
// capturing child; thread CPU of the bare socket) as ratios, the time stamp difference to
// dumpcap (median and max) and backward steps in each file.
//
// Runs: GOOSE + SV at 2 x 40 000 frames/s, then both senders as fast as they can.
// Needs root and dumpcap. Every sender is bounded in frames and time.
#include "capture/PacketCapturer.h"
#include "capture/PcapReader.h"
#include "bench/support/BenchNet.h"

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <fstream>
#include <iterator>
#include <linux/filter.h>
#include <map>
#include <poll.h>

using namespace benchnet;

namespace {

constexpr size_t kIdOffset = 40; // stream (1 byte) and number (4 bytes) of a frame

std::vector<uint8_t> makeFrame(bool goose) {
    std::vector<uint8_t> f(goose ? 160 : 130, 0x5A);
    const uint8_t gooseHeader[22] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01, 0x02, 0,    0,    0,    0,
                                     1,    0x81, 0x00, 0x80, 0x00, 0x88, 0xB8, 0x10, 0x01, 0x00, 0x8A};
    const uint8_t svHeader[18] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01, 0x02, 0,    0,
                                  0,    0,    2,    0x88, 0xBA, 0x40, 0x00, 0x00, 0x74};
    if (goose)
        std::copy(gooseHeader, gooseHeader + sizeof gooseHeader, f.begin());
    else
        std::copy(svHeader, svHeader + sizeof svHeader, f.begin());
    return f;
}

uint64_t frameKey(const uint8_t* f, size_t length) {
    if (length < kIdOffset + 5)
        return ~0ULL;
    uint32_t n;
    std::memcpy(&n, f + kIdOffset + 1, 4);
    return (uint64_t(f[kIdOffset]) << 32) | n;
}

// (key -> time) of the GOOSE and SV records of a PCAP file, and its backward time steps.
struct FileFrames {
    std::map<uint64_t, int64_t> times;
    uint64_t records = 0;
    uint64_t backwardSteps = 0;
};

FileFrames readFrames(const std::string& path) {
    FileFrames out;
    VorIec61850::PcapReader reader;
    if (!reader.open(path))
        return out;
    int64_t previous = 0;
    VorIec61850::PcapRecord record;
    while (reader.next(record)) {
        const uint8_t* f = record.bytes.data();
        const size_t length = record.bytes.size();
        uint16_t type = length >= 14 ? uint16_t(f[12] << 8 | f[13]) : 0;
        if (type == 0x8100 && length >= 18)
            type = uint16_t(f[16] << 8 | f[17]);
        if (type == 0x88B8 || type == 0x88BA) {
            out.backwardSteps += record.timeNs < previous;
            previous = record.timeNs;
            out.times[frameKey(f, length)] = record.timeNs;
            ++out.records;
        }
    }
    return out;
}

double processCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < text.size()) {
        size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() < 13)
        return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// PacketCapturer in a child process: starts, says so on `ready`, captures until `stop` closes.
pid_t startOurCapture(const std::string& iface, const std::string& path, int& stopFd, int& resultFd) {
    int stopPipe[2], resultPipe[2];
    if (pipe(stopPipe) != 0 || pipe(resultPipe) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(stopPipe[1]);
        close(resultPipe[0]);
        VorIec61850::PacketCapturer capturer;
        capturer.initPacketCapture("/tmp");
        capturer.setOutputPath(path);
        char ok = capturer.startPacketCapturer(iface.c_str(), "") ? '1' : '0';
        ssize_t ignored = write(resultPipe[1], &ok, 1);
        char c;
        ignored = read(stopPipe[0], &c, 1); // ends when the parent closes the pipe
        capturer.stopPacketCapturer();
        VorIec61850::CaptureCounters counters = capturer.getCounters();
        ignored = write(resultPipe[1], &counters, sizeof counters);
        (void)ignored;
        _exit(0);
    }
    close(stopPipe[0]);
    close(resultPipe[1]);
    stopFd = stopPipe[1];
    resultFd = resultPipe[0];
    char ok = '0';
    if (read(resultFd, &ok, 1) != 1 || ok != '1')
        return -1;
    return pid;
}

pid_t startDumpcap(const std::string& iface, const std::string& path, int& errFd) {
    int errPipe[2];
    if (pipe(errPipe) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(errPipe[1], 2);
        close(errPipe[0]);
        execl("/usr/bin/dumpcap", "dumpcap", "-B", "64", "-i", iface.c_str(), "-P", "-w", path.c_str(),
              nullptr);
        _exit(127);
    }
    close(errPipe[1]);
    std::string text;
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline && text.find("Capturing on") == std::string::npos) {
        pollfd p{errPipe[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        ssize_t n = read(errPipe[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    // The pipe stays open: dumpcap still writes to it, its own counters last.
    errFd = errPipe[0];
    return text.find("Capturing on") != std::string::npos ? pid : -1;
}

// The bare socket: GOOSE and SV through one filtered packet socket, recvmmsg with kernel time
// stamps, counting frames; nothing written.
struct BareSocket {
    std::atomic<uint64_t> frames{0};
    std::atomic<bool> stop{false};
    double cpu = 0;
    std::thread thread;

    void start(const std::string& iface) {
        thread = std::thread([this, iface] {
            EthernetSocket s = Ethernet_createCaptureSocket(iface.c_str(), 0, nullptr, 0);
            if (!s)
                return;
            Ethernet_setProtocolFilter2(s, 0x88B8, 0x88BA);
            EthernetHandleSet set = EthernetHandleSet_new();
            EthernetHandleSet_addSocket(set, s);
            double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            while (!stop) {
                if (EthernetHandleSet_waitReady(set, 10) <= 0)
                    continue;
                int n;
                while ((n = Ethernet_receiveBatch(
                            s, [](void*, const EthernetFrame*) {}, nullptr)) > 0)
                    frames += static_cast<uint64_t>(n);
            }
            cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
            EthernetHandleSet_destroy(set);
            Ethernet_destroySocket(s);
        });
    }
    void end() {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
};

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void runScenario(const std::string& a, const std::string& b, const std::string& dir, double ratePerKind,
                 double seconds) {
    const std::string ours = dir + "/iecx.pcap", theirs = dir + "/dumpcap.pcap";
    unlink(ours.c_str());
    unlink(theirs.c_str());
    int dumpcapErr = -1;
    pid_t dumpcap = startDumpcap(b, theirs, dumpcapErr);
    int stopFd = -1, resultFd = -1;
    pid_t child = startOurCapture(b, ours, stopFd, resultFd);
    if (dumpcap < 0 || child < 0) {
        std::fprintf(stderr, "bench_capture_pcap: dumpcap or the capture did not start\n");
        if (dumpcap > 0)
            kill(dumpcap, SIGKILL);
        return;
    }
    BareSocket bare;
    bare.start(b);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    double dumpcapCpu0 = processCpuSeconds(dumpcap), oursCpu0 = processCpuSeconds(child);
    const uint64_t limit = ratePerKind > 0 ? static_cast<uint64_t>(ratePerKind * seconds) : 50000000;
    SendResult goose, sv;
    auto stamp = [](uint8_t kind) {
        return [kind](std::vector<uint8_t>& f, uint64_t i) {
            f[kIdOffset] = kind;
            uint32_t n = static_cast<uint32_t>(i);
            std::memcpy(f.data() + kIdOffset + 1, &n, 4);
        };
    };
    std::thread svSender(
        [&] { sv = sendFrames(a, {makeFrame(false)}, limit, ratePerKind, seconds, stamp(2)); });
    goose = sendFrames(a, {makeFrame(true)}, limit, ratePerKind, seconds, stamp(1));
    svSender.join();
    // Each capture has caught up when its process stops using CPU time (at most 20 s).
    waitForDrain([&] { return bare.frames.load(); });
    for (pid_t pid : {dumpcap, child}) {
        double last = -1;
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            double now = processCpuSeconds(pid);
            if (now == last)
                break;
            last = now;
        }
    }
    double dumpcapCpu = processCpuSeconds(dumpcap) - dumpcapCpu0,
           oursCpu = processCpuSeconds(child) - oursCpu0;
    bare.end();
    close(stopFd);
    VorIec61850::CaptureCounters counters;
    ssize_t got = read(resultFd, &counters, sizeof counters);
    (void)got;
    close(resultFd);
    waitpid(child, nullptr, 0);
    kill(dumpcap, SIGINT);
    waitpid(dumpcap, nullptr, 0);
    std::string dumpcapSays;
    char buf[4096];
    ssize_t n;
    while ((n = read(dumpcapErr, buf, sizeof buf)) > 0)
        dumpcapSays.append(buf, static_cast<size_t>(n));
    close(dumpcapErr);
    size_t line = dumpcapSays.find("Packets received/dropped");

    FileFrames d = readFrames(theirs), o = readFrames(ours);
    std::vector<double> diffs;
    for (const auto& [key, t] : o.times) {
        auto it = d.times.find(key);
        if (it != d.times.end())
            diffs.push_back(std::fabs(double(t - it->second)) / 1000.0);
    }
    const uint64_t sent = goose.sent + sv.sent;
    const double sendSeconds = std::max(goose.seconds, sv.seconds);
    double dumpcapPerFrame = d.records ? dumpcapCpu / double(d.records) * 1e6 : 0;
    double oursPerFrame = o.records ? oursCpu / double(o.records) * 1e6 : 0;
    double barePerFrame = bare.frames ? bare.cpu / double(bare.frames) * 1e6 : 0;
    if (ratePerKind > 0)
        std::printf("GOOSE + SV paced at 2 x %.0f frames/s, %.1f s:\n", ratePerKind, seconds);
    else
        std::printf("GOOSE + SV as fast as the senders can, %.1f s:\n", seconds);
    std::printf("  sent %llu frames (%.0f frames/s)\n", static_cast<unsigned long long>(sent),
                sent / sendSeconds);
    std::printf("  %-22s captured %9llu  lost %7lld  cpu %6.3f us/frame  (x%.2f dumpcap, x%.2f bare)\n",
                "dumpcap", static_cast<unsigned long long>(d.records),
                static_cast<long long>(sent - d.records), dumpcapPerFrame, 1.0,
                barePerFrame > 0 ? dumpcapPerFrame / barePerFrame : 0);
    std::printf("  %-22s captured %9llu  lost %7lld  cpu %6.3f us/frame  (x%.2f dumpcap, x%.2f bare)\n",
                "iecx PacketCapturer", static_cast<unsigned long long>(o.records),
                static_cast<long long>(sent - o.records), oursPerFrame,
                dumpcapPerFrame > 0 ? oursPerFrame / dumpcapPerFrame : 0,
                barePerFrame > 0 ? oursPerFrame / barePerFrame : 0);
    std::printf("  %-22s captured %9llu  lost %7lld  cpu %6.3f us/frame (receive only, no file)\n",
                "bare packet socket", static_cast<unsigned long long>(bare.frames.load()),
                static_cast<long long>(sent - bare.frames.load()), barePerFrame);
    if (line != std::string::npos)
        std::printf("  dumpcap says: %s\n",
                    dumpcapSays.substr(line, dumpcapSays.find('\n', line) - line).c_str());
    std::printf("  iecx counters: seen %llu captured %llu dropped %llu\n",
                static_cast<unsigned long long>(counters.seen),
                static_cast<unsigned long long>(counters.captured),
                static_cast<unsigned long long>(counters.dropped));
    std::sort(diffs.begin(), diffs.end());
    std::printf(
        "  time stamp vs dumpcap over %zu common frames: median %.2f us, max %.2f us; backward steps: "
        "iecx %llu, dumpcap %llu\n",
        diffs.size(), median(diffs), diffs.empty() ? 0 : diffs.back(),
        static_cast<unsigned long long>(o.backwardSteps), static_cast<unsigned long long>(d.backwardSteps));
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = option(argc, argv, "--seconds", 3.0);
    const double rate = option(argc, argv, "--rate", 40000);
    std::string a, b;
    if (!setUp("bench_capture_pcap", access("/usr/bin/dumpcap", X_OK) == 0, " and dumpcap", "ixbc", a, b))
        return 1;
    char pattern[] = "/tmp/iecx-bench-capture-XXXXXX";
    std::string dir = mkdtemp(pattern);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("capture over veth %s -> %s, %u CPUs\n", a.c_str(), b.c_str(),
                std::thread::hardware_concurrency());
    runScenario(a, b, dir, rate, seconds);
    runScenario(a, b, dir, 0, seconds);
    run({"rm", "-rf", dir});
    removeVeth();
    return 0;
}
