// iecx sv: subscribe to Sampled Values streams and report their rates, ASDU counts and smpCnt gaps.
#include "acquisition/InnerSvSubscriber.h"
#include "acquisition/SampleRateAsdu.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/ValueText.h"
#include "cli/Command.h"
#include "cli/Subscription.h"
#include "host/NetworkHelper.h"

#include "sv_subscriber.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace iecx::cli;
using namespace VorIec61850;

const char* kDescription =
    "Subscribes to Sampled Values streams on network interface IFACE ('any' listens on every interface)\n"
    "until Ctrl-C, N ASDUs in total (--count) or S seconds (--seconds).\n"
    "\n"
    "The streams are the SMV control blocks of an SCL file (--scl; their APPID, destination MAC, svID\n"
    "and confRev become filters) or the APPIDs given with --appid (repeatable; decimal or 0x hex),\n"
    "optionally filtered by --svid, --confrev and --dst-mac.\n"
    "\n"
    "Every --interval seconds (default 1) one line per stream: svID (control bytes escaped), APPID, the\n"
    "current rate in ASDUs per second over the last second, total ASDUs, smpCnt gaps and missing\n"
    "samples; with --scl also the rate the control block announces (at the nominal frequency\n"
    "--frequency, default 50 Hz). At the end a summary, as JSON with --json. Needs root or CAP_NET_RAW.\n"
    "Example: iecx sv eth0 --appid 0x4000 --seconds 10";

// The window of the current rate.
constexpr std::chrono::milliseconds kRateWindow{1000};

struct Options : SubscriptionOptions {
    std::vector<uint16_t> appIds;
    Vor::Nullable<std::string> svId;
    uint32_t frequency = 50;
    double interval = 1;
};

// One subscription: the target and, from an SCL file, the rate its control block announces.
struct Stream {
    SvIn target;
    std::string name;
    uint32_t expectedAsdusPerSecond = 0; // 0 when unknown
};

// Counters of one svID of one APPID, updated on the receive threads.
struct Counters {
    uint16_t appId = 0;
    std::string svId;
    uint32_t expected = 0;
    uint64_t asdus = 0;
    uint64_t gaps = 0;
    uint64_t missing = 0;
    int32_t lastSmpCnt = -1;
    uint32_t wrap = 0; // smpCnt after which the counter restarts at 0, once seen
    // Arrival times of the ASDUs of the last rate window.
    std::deque<std::chrono::steady_clock::time_point> recent;

    // ASDUs per second over the window that ends now.
    double currentRate(std::chrono::steady_clock::time_point now) {
        while (!recent.empty() && now - recent.front() > kRateWindow)
            recent.pop_front();
        return recent.size() * 1000.0 / kRateWindow.count();
    }

    void add(uint16_t smpCnt, std::chrono::steady_clock::time_point now) {
        ++asdus;
        recent.push_back(now);
        currentRate(now);
        if (lastSmpCnt >= 0) {
            uint32_t next = static_cast<uint32_t>(lastSmpCnt) + 1;
            if (smpCnt == 0 && next != 0) {
                // Restart at 0: the first one teaches the counter's range; later ones at another
                // point mean samples were lost before the restart.
                if (wrap == 0 && next > 1)
                    wrap = next;
                else if (next != wrap) {
                    ++gaps;
                    missing += next < wrap ? wrap - next : 0;
                }
            } else if (smpCnt != next) {
                ++gaps;
                uint32_t range = wrap ? wrap : 65536u;
                missing += smpCnt > next ? smpCnt - next : range - next + smpCnt;
            }
        }
        lastSmpCnt = smpCnt;
    }
};

class Statistics {
public:
    void add(uint16_t appId, const char* svId, uint16_t smpCnt, uint32_t expected) {
        std::lock_guard<std::mutex> lock(_mutex);
        auto key = std::make_pair(appId, std::string(svId ? svId : ""));
        auto it = _counters.find(key);
        if (it == _counters.end()) {
            it = _counters.emplace(key, Counters{}).first;
            it->second.appId = appId;
            it->second.svId = key.second;
            it->second.expected = expected;
        }
        it->second.add(smpCnt, std::chrono::steady_clock::now());
        ++_total;
    }
    uint64_t total() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _total;
    }
    // One line per stream with its current rate.
    void report() {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto now = std::chrono::steady_clock::now();
        for (auto& [key, c] : _counters) {
            std::printf("%s appid=0x%04X rate=%.0f/s", printableText(c.svId).c_str(), c.appId,
                        c.currentRate(now));
            if (c.expected)
                std::printf(" expected=%u/s", c.expected);
            std::printf(" asdus=%llu gaps=%llu missing=%llu\n", static_cast<unsigned long long>(c.asdus),
                        static_cast<unsigned long long>(c.gaps), static_cast<unsigned long long>(c.missing));
        }
        std::fflush(stdout);
    }
    void summary(double seconds, bool json) {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!json) {
            std::printf("summary: %zu streams, %llu ASDUs in %.1f s\n", _counters.size(),
                        static_cast<unsigned long long>(_total), seconds);
            for (auto& [key, c] : _counters)
                std::printf(
                    "  %s appid=0x%04X asdus=%llu rate=%.0f/s average=%.0f/s gaps=%llu missing=%llu\n",
                    printableText(c.svId).c_str(), c.appId, static_cast<unsigned long long>(c.asdus),
                    c.currentRate(now), seconds > 0 ? c.asdus / seconds : 0,
                    static_cast<unsigned long long>(c.gaps), static_cast<unsigned long long>(c.missing));
            return;
        }
        Json streams = Json::array();
        for (auto& [key, c] : _counters)
            streams.push_back({{"svId", c.svId},
                               {"appId", c.appId},
                               {"asdus", c.asdus},
                               {"rate", c.currentRate(now)},
                               {"average", seconds > 0 ? c.asdus / seconds : 0},
                               {"expected", c.expected},
                               {"gaps", c.gaps},
                               {"missing", c.missing}});
        printJson({{"seconds", seconds}, {"asdus", _total}, {"streams", streams}});
    }

private:
    std::mutex _mutex;
    std::map<std::pair<uint16_t, std::string>, Counters> _counters;
    uint64_t _total = 0;
};

// -1 to go on, otherwise the exit status.
int parseOptions(const std::vector<std::string>& args, Options& o) {
    auto app = newCommand("sv", kDescription);
    o.addSource(*app, "SCL file whose SMV control blocks give the streams");
    addUnsigned(
        *app, "--appid", [&o](uint64_t n) { o.appIds.push_back(static_cast<uint16_t>(n)); },
        "APPID of a stream (decimal or 0x hex); repeatable", 0, 0xFFFF);
    app->add_option_function<std::string>(
        "--svid", [&o](const std::string& v) { o.svId = v; }, "svID filter");
    o.addFilters(*app);
    addUnsigned(*app, "--frequency", o.frequency, "nominal frequency in Hz (default 50)", 1, 999);
    addSeconds(*app, "--interval", o.interval, "seconds between two rate lines (default 1)");
    addRunOptions(*app, o, "end after N ASDUs", "print the summary as JSON");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (o.scl.empty() == o.appIds.empty()) {
        std::fprintf(stderr, "iecx sv: give either --scl FILE or --appid N\n");
        return kExitUsage;
    }
    return -1;
}

// The streams of the SCL file's SMV control blocks. 0 on success, otherwise the exit status.
int streamsFromScl(const Options& o, const std::string& interfaceName, std::vector<Stream>& streams) {
    std::vector<tConnectedAP> aps;
    if (!o.readScl("sv", aps))
        return kExitFailure;
    for (const tConnectedAP& ap : aps) {
        for (const tSMV& smv : ap.smv) {
            const tSampledValueControl& control = *smv.svControl;
            Stream s;
            s.target.interfaceName = interfaceName;
            s.target.appId = smv.getAppId();
            std::string mac = o.dstMac ? *o.dstMac : smv.getMacAddress();
            std::replace(mac.begin(), mac.end(), '-', ':');
            if (!mac.empty())
                s.target.dstMac = mac;
            if (o.svId)
                s.target.svId = o.svId;
            else if (!control.smvID.empty())
                s.target.svId = control.smvID;
            s.target.confRev = o.confRev ? *o.confRev : static_cast<uint64_t>(control.confRev);
            s.name = ap.iedName + smv.ldInst + "/LLN0." + control.name;
            if (control.nofASDU > 0 && control.smpRate > 0)
                s.expectedAsdusPerSecond = SampleRateAsdu(static_cast<uint32_t>(control.smpMod),
                                                          static_cast<uint32_t>(control.smpRate),
                                                          static_cast<uint32_t>(control.nofASDU), o.frequency)
                                               .getSamplesPerSecond();
            streams.push_back(s);
        }
    }
    if (streams.empty()) {
        std::fprintf(stderr, "iecx sv: '%s' has no Sampled Values control block\n", o.scl.c_str());
        return kExitFailure;
    }
    return 0;
}

int runSv(const std::vector<std::string>& args) {
    Options o;
    if (int status = parseOptions(args, o); status >= 0)
        return status;
    std::string interfaceName;
    if (!o.interfaceName("sv", interfaceName))
        return kExitFailure;
    std::vector<Stream> streams;
    if (!o.scl.empty()) {
        if (int status = streamsFromScl(o, interfaceName, streams))
            return status;
    } else {
        for (uint16_t appId : o.appIds) {
            Stream s;
            s.target.interfaceName = interfaceName;
            s.target.appId = appId;
            s.target.svId = o.svId;
            s.target.confRev = o.confRev;
            s.target.dstMac = o.dstMac;
            streams.push_back(s);
        }
    }
    if (!SubscriptionOptions::rawAccess("sv"))
        return kExitFailure;

    Statistics statistics;
    std::vector<std::unique_ptr<InnerSvSubscriber>> subscribers;
    for (const Stream& s : streams) {
        auto subscriber = std::make_unique<InnerSvSubscriber>();
        subscriber->setTarget(s.target);
        uint16_t appId = static_cast<uint16_t>(s.target.appId.value_or(0));
        uint32_t expected = s.expectedAsdusPerSecond;
        subscriber->asduReceived.connect(
            [&statistics, appId, expected](SVSubscriber, SVSubscriber_ASDU asdu) {
                statistics.add(appId, SVSubscriber_ASDU_getSvId(asdu), SVSubscriber_ASDU_getSmpCnt(asdu),
                               expected);
            });
        subscribers.push_back(std::move(subscriber));
    }
    for (size_t i = 0; i < subscribers.size(); ++i) {
        if (!subscribers[i]->start()) {
            std::fprintf(stderr, "iecx sv: cannot listen on '%s'\n", o.iface.c_str());
            return kExitFailure;
        }
        if (!streams[i].name.empty())
            std::fprintf(stderr, "iecx sv: %s APPID 0x%04X\n", streams[i].name.c_str(),
                         static_cast<unsigned>(streams[i].target.appId.value_or(0)));
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lastReport = start;
    while (waitUntil(nullptr, 0.01)) {
        auto now = Clock::now();
        if (o.count > 0 && statistics.total() >= o.count)
            break;
        if (o.seconds > 0 && now - start >= std::chrono::duration<double>(o.seconds))
            break;
        if (!o.json && now - lastReport >= std::chrono::duration<double>(o.interval)) {
            statistics.report();
            lastReport = now;
        }
    }
    for (auto& subscriber : subscribers)
        subscriber->stop();
    statistics.summary(std::chrono::duration<double>(Clock::now() - start).count(), o.json);
    return kExitOk;
}

CommandRegistration registration("sv", "subscribe to Sampled Values streams: rates, ASDU counts, smpCnt gaps",
                                 runSv);

} // namespace
