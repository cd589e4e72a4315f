// Sampled Values: subscribe to one stream by APPID and svID and watch it: frame rate, smpCnt
// gaps and the latest sample of each channel. InnerSvSubscriber underneath hands out raw ASDUs.
//     sv_pool INTERFACE APPID SVID SECONDS
#include "example.h"

#include "acquisition/SvStreamMonitor.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc == 5, "sv_pool INTERFACE APPID SVID SECONDS");
    SvIn target;
    target.interfaceName = argv[1];
    target.appId = static_cast<int64_t>(std::strtol(argv[2], nullptr, 0));
    target.svId = std::string(argv[3]); // absent criteria (dstMac, confRev) are not checked

    SvStreamMonitor monitor;
    if (!monitor.setTarget(target) || !monitor.start()) {
        std::fprintf(stderr, "cannot receive on %s (raw sockets need root or CAP_NET_RAW)\n", argv[1]);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[4])));
    const SvStreamMonitor::Snapshot s = monitor.getSnapshot(); // a locked copy, from any thread
    monitor.stop();

    std::printf("svID %s: %llu ASDUs, %.0f ASDUs/s, smpRate %u, %llu smpCnt gaps, last smpCnt %u\n",
                s.svId.c_str(), static_cast<unsigned long long>(s.asdus), s.rate, s.smpRate,
                static_cast<unsigned long long>(s.gaps), s.lastSmpCnt);
    for (std::size_t i = 0; i < s.values.size(); ++i)
        std::printf("channel %zu = %d quality 0x%08x\n", i, s.values[i], s.qualities[i]);
    return s.asdus > 0 ? 0 : 1;
}
