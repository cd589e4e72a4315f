// iecx sv: subscribe to Sampled Values streams and report their rates, ASDU counts and smpCnt gaps.
#include "acquisition/InnerSvSubscriber.h"
#include "acquisition/SampleRateAsdu.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "host/NetworkHelper.h"
#include "scl/DataExtractor.h"

#include "sv_subscriber.h"

#include <libxml++/libxml++.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}

const char* kHelp =
    "usage: iecx sv IFACE (--scl FILE | --appid N...) [--svid ID] [--confrev N] [--dst-mac MAC]\n"
    "                     [--frequency HZ] [--interval S] [--count N] [--seconds S] [--json]\n"
    "\n"
    "Subscribes to Sampled Values streams on network interface IFACE ('any' listens on every\n"
    "interface) until Ctrl-C, N ASDUs in total (--count) or S seconds (--seconds).\n"
    "\n"
    "The streams are the SMV control blocks of an SCL file (--scl; their APPID, destination MAC,\n"
    "svID and confRev become filters) or the APPIDs given with --appid (repeatable; decimal or 0x\n"
    "hex), optionally filtered by --svid, --confrev and --dst-mac.\n"
    "\n"
    "Every --interval seconds (default 1) one line per stream: svID, APPID, ASDUs per second,\n"
    "total ASDUs, smpCnt gaps and missing samples; with --scl also the rate the control block\n"
    "announces (at the nominal frequency --frequency, default 50 Hz). At the end a summary, as\n"
    "JSON with --json. Needs root or CAP_NET_RAW.\n";

struct Options {
    std::string iface;
    std::string scl;
    std::vector<uint16_t> appIds;
    Vor::Nullable<std::string> svId;
    Vor::Nullable<uint64_t> confRev;
    Vor::Nullable<std::string> dstMac;
    uint32_t frequency = 50;
    double interval = 1;
    uint64_t count = 0;
    double seconds = 0;
    bool json = false;
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
    uint64_t asdusAtLastReport = 0;

    void add(uint16_t smpCnt) {
        ++asdus;
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
        it->second.add(smpCnt);
        ++_total;
    }
    uint64_t total() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _total;
    }
    // One line per stream with the rate since the last report.
    void report(double seconds) {
        std::lock_guard<std::mutex> lock(_mutex);
        for (auto& [key, c] : _counters) {
            double rate = seconds > 0 ? (c.asdus - c.asdusAtLastReport) / seconds : 0;
            c.asdusAtLastReport = c.asdus;
            std::printf("%s appid=0x%04X rate=%.0f/s", c.svId.c_str(), c.appId, rate);
            if (c.expected)
                std::printf(" expected=%u/s", c.expected);
            std::printf(" asdus=%llu gaps=%llu missing=%llu\n", static_cast<unsigned long long>(c.asdus),
                        static_cast<unsigned long long>(c.gaps), static_cast<unsigned long long>(c.missing));
        }
        std::fflush(stdout);
    }
    void summary(double seconds, bool json) {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!json) {
            std::printf("summary: %zu streams, %llu ASDUs in %.1f s\n", _counters.size(),
                        static_cast<unsigned long long>(_total), seconds);
            for (auto& [key, c] : _counters)
                std::printf("  %s appid=0x%04X asdus=%llu rate=%.0f/s gaps=%llu missing=%llu\n",
                            c.svId.c_str(), c.appId, static_cast<unsigned long long>(c.asdus),
                            seconds > 0 ? c.asdus / seconds : 0, static_cast<unsigned long long>(c.gaps),
                            static_cast<unsigned long long>(c.missing));
            return;
        }
        std::printf("{\"seconds\": %.3f, \"asdus\": %llu, \"streams\": [", seconds,
                    static_cast<unsigned long long>(_total));
        bool first = true;
        for (auto& [key, c] : _counters) {
            std::printf(
                "%s\n  {\"svId\": \"%s\", \"appId\": %u, \"asdus\": %llu, \"rate\": %.1f, \"expected\": %u, "
                "\"gaps\": %llu, \"missing\": %llu}",
                first ? "" : ",", jsonEscape(c.svId).c_str(), c.appId,
                static_cast<unsigned long long>(c.asdus), seconds > 0 ? c.asdus / seconds : 0, c.expected,
                static_cast<unsigned long long>(c.gaps), static_cast<unsigned long long>(c.missing));
            first = false;
        }
        std::printf("\n]}\n");
    }

private:
    static std::string jsonEscape(const std::string& text) {
        std::string out;
        for (char ch : text) {
            if (ch == '"' || ch == '\\')
                out += '\\';
            if (static_cast<unsigned char>(ch) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", ch);
                out += escaped;
                continue;
            }
            out += ch;
        }
        return out;
    }
    std::mutex _mutex;
    std::map<std::pair<uint16_t, std::string>, Counters> _counters;
    uint64_t _total = 0;
};

bool parsePositive(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && out > 0;
}

// 0 on success, otherwise the exit status.
int parseOptions(const std::vector<std::string>& args, Options& o, bool& help) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            help = true;
            return 0;
        }
        if (a == "--json") {
            o.json = true;
            continue;
        }
        if (!a.empty() && a[0] == '-') {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "iecx sv: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            const std::string& v = args[++i];
            uint64_t n = 0;
            bool good = true;
            if (a == "--scl") {
                o.scl = v;
            } else if (a == "--svid") {
                o.svId = v;
            } else if (a == "--dst-mac") {
                o.dstMac = v;
            } else if (a == "--appid") {
                good = parseUnsigned(v, n) && n <= 0xFFFF;
                o.appIds.push_back(static_cast<uint16_t>(n));
            } else if (a == "--confrev") {
                good = parseUnsigned(v, n) && n <= 0xFFFFFFFFull;
                o.confRev = n;
            } else if (a == "--count") {
                good = parseUnsigned(v, n) && n > 0;
                o.count = n;
            } else if (a == "--frequency") {
                good = parseUnsigned(v, n) && n > 0 && n < 1000;
                o.frequency = static_cast<uint32_t>(n);
            } else if (a == "--interval") {
                good = parsePositive(v, o.interval);
            } else if (a == "--seconds") {
                good = parsePositive(v, o.seconds);
            } else {
                std::fprintf(stderr, "iecx sv: unknown option '%s'\n%s", a.c_str(), kHelp);
                return kExitUsage;
            }
            if (!good) {
                std::fprintf(stderr, "iecx sv: %s: bad value '%s'\n", a.c_str(), v.c_str());
                return kExitUsage;
            }
        } else if (o.iface.empty()) {
            o.iface = a;
        } else {
            std::fprintf(stderr, "iecx sv: one interface only\n%s", kHelp);
            return kExitUsage;
        }
    }
    if (o.iface.empty()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    if (o.scl.empty() == o.appIds.empty()) {
        std::fprintf(stderr, "iecx sv: give either --scl FILE or --appid N\n");
        return kExitUsage;
    }
    return 0;
}

// The streams of the SCL file's SMV control blocks. 0 on success, otherwise the exit status.
int streamsFromScl(const Options& o, const std::string& interfaceName, std::vector<Stream>& streams) {
    std::vector<tConnectedAP> aps;
    try {
        xmlpp::DomParser parser;
        parser.parse_file(o.scl);
        DataExtractor extractor(&parser);
        aps = extractor.getConnectedApCollection();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx sv: cannot read SCL file '%s': %s\n", o.scl.c_str(), e.what());
        return kExitFailure;
    }
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
    bool help = false;
    if (int status = parseOptions(args, o, help))
        return status;
    if (help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    std::string interfaceName = o.iface == "any" ? std::string() : o.iface;
    if (!interfaceName.empty() && !interfaceExists(interfaceName)) {
        std::fprintf(stderr, "iecx sv: no interface '%s'\n", o.iface.c_str());
        return kExitFailure;
    }
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
    if (!canOpenRawSocket()) {
        std::fprintf(stderr, "iecx sv: raw Ethernet access needs root or CAP_NET_RAW\n");
        return kExitFailure;
    }

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
    g_stop = false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
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
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto now = Clock::now();
        if (o.count > 0 && statistics.total() >= o.count)
            break;
        if (o.seconds > 0 && now - start >= std::chrono::duration<double>(o.seconds))
            break;
        if (!o.json && now - lastReport >= std::chrono::duration<double>(o.interval)) {
            statistics.report(std::chrono::duration<double>(now - lastReport).count());
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
