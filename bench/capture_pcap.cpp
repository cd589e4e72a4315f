// PCAP writing speed: PacketCapturer opens, appends and closes the file for every frame so that
// the file on disk is always complete. Measured against a baseline that writes the same records
// through one stream kept open, and, when run as root, end to end over a veth pair with SV-sized
// frames sent as fast as the sender can.
#include "capture/PacketCapturer.h"
#include "hal_ethernet.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<uint8_t> svSizedFrame() {
    // A 9-2 frame with one ASDU of eight channels is about 130 bytes; use that size.
    std::vector<uint8_t> f(130, 0x5A);
    const uint8_t header[14] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01, 0x02, 0, 0, 0, 0, 1, 0x88, 0xBA};
    std::copy(header, header + 14, f.begin());
    return f;
}

bool run(const std::string& cmd) {
    return std::system(cmd.c_str()) == 0;
}

} // namespace

int main() {
    char pattern[] = "/tmp/iecx-bench-pcap-XXXXXX";
    std::string dir = mkdtemp(pattern);
    const int kFrames = 20000;
    auto frame = svSizedFrame();

    // Baseline: the same records through one open stream.
    auto start = Clock::now();
    {
        FILE* f = std::fopen((dir + "/baseline.pcap").c_str(), "wb");
        uint8_t header[24] = {0};
        std::fwrite(header, 1, sizeof header, f);
        for (int i = 0; i < kFrames; ++i) {
            uint32_t rec[4] = {uint32_t(i), 0, uint32_t(frame.size()), uint32_t(frame.size())};
            std::fwrite(rec, 1, sizeof rec, f);
            std::fwrite(frame.data(), 1, frame.size(), f);
        }
        std::fclose(f);
    }
    double baseline = secondsSince(start);

    VorIec61850::PacketCapturer capturer;
    capturer.initPacketCapture(dir);
    capturer.startPacketCapturer("iecx-bench-none", "");
    capturer.stopPacketCapturer();
    start = Clock::now();
    for (int i = 0; i < kFrames; ++i)
        capturer.packetReceived.emit(frame.data(), static_cast<int32_t>(frame.size()), uint32_t(i), 0);
    double writer = secondsSince(start);

    std::printf("pcap writer: %d frames of %zu bytes\n", kFrames, frame.size());
    std::printf("  open stream baseline : %10.0f frames/s\n", kFrames / baseline);
    std::printf("  PacketCapturer       : %10.0f frames/s (%.1fx the baseline's time per frame)\n",
                kFrames / writer, writer / baseline);

    // End to end over veth: how many of a burst of SV frames reach the file.
    if (geteuid() == 0) {
        std::string a = "ixb" + std::to_string(getpid()) + "a", b = "ixb" + std::to_string(getpid()) + "b";
        if (run("ip link add " + a + " type veth peer name " + b + " && ip link set " + a +
                " up && ip link set " + b + " up")) {
            VorIec61850::PacketCapturer live;
            live.initPacketCapture(dir);
            std::atomic<int> seen{0};
            live.packetReceived.connect([&](const uint8_t*, int32_t, uint32_t, uint32_t) { ++seen; });
            live.startPacketCapturer(b.c_str(), "");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EthernetSocket s = Ethernet_createSocket(a.c_str(), nullptr);
            const int kRate = 76800;  // 16 SV streams of 4 800 frames/s
            const int kBurst = kRate; // one second of that load
            start = Clock::now();
            for (int i = 0; i < kBurst && s != nullptr; ++i) {
                Ethernet_sendPacket(s, frame.data(), static_cast<int>(frame.size()));
                auto due = start + std::chrono::microseconds(static_cast<int64_t>(i) * 1000000 / kRate);
                std::this_thread::sleep_until(due);
            }
            double sendTime = secondsSince(start);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            live.stopPacketCapturer();
            if (s != nullptr)
                Ethernet_destroySocket(s);
            std::printf("veth capture: offered %d SV frames at %.0f frames/s, %d written (%.2f%% loss)\n",
                        kBurst, kBurst / sendTime, seen.load(), 100.0 * (kBurst - seen.load()) / kBurst);
            run("ip link del " + a + " 2>/dev/null");
        }
    }
    run("rm -rf '" + dir + "'");
    return 0;
}
