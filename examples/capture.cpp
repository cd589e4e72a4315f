// Capture of GOOSE and Sampled Values frames into a PCAP file (nanosecond time stamps from the
// kernel), with the counters of frames seen, captured and dropped.
//     capture INTERFACE DIRECTORY SECONDS [--all]
#include "example.h"

#include "capture/PacketCapturer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc >= 4, "capture INTERFACE DIRECTORY SECONDS [--all]");
    PacketCapturer capturer;
    capturer.initPacketCapture(argv[2]); // the directory must exist
    capturer.setPcapPromiscuousMode(argc > 4 && std::strcmp(argv[4], "--all") == 0); // every frame
    std::atomic<int> goose{0};
    // On the capture thread, for each frame in arrival order (then the file writer gets it).
    capturer.frameCaptured.connect([&goose](const CapturedFrame& frame) {
        const std::size_t at =
            frame.length >= 18 && frame.data[12] == 0x81 && frame.data[13] == 0x00 ? 16 : 12;
        if (frame.length >= at + 2 && frame.data[at] == 0x88 && frame.data[at + 1] == 0xB8) // VLAN tag or not
            ++goose;
    });
    if (!capturer.startPacketCapturer(argv[1], "")) {
        std::fprintf(stderr, "capture: %s\n", capturer.getLastError().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[3])));
    capturer.stopPacketCapturer();

    const CaptureCounters counters = capturer.getCounters();
    std::printf("%llu frames captured (%d GOOSE), %llu seen, %llu dropped\n",
                static_cast<unsigned long long>(counters.captured), goose.load(),
                static_cast<unsigned long long>(counters.seen),
                static_cast<unsigned long long>(counters.dropped));
    std::printf("file %s\n", capturer.getFilePath().c_str());
    return counters.captured > 0 ? 0 : 1;
}
