// iecx goose: subscribe to GOOSE messages on an interface and print what arrives.
#include "acquisition/GooseSubscriberPool.h"
#include "acquisition/InnerGooseSubscriber.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "host/NetworkHelper.h"
#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"
#include "scl/DataExtractor.h"

#include "goose_subscriber.h"
#include "mms_value.h"

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
#include <ctime>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace iecx::cli;
using namespace VorIec61850;

std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}

const char* kHelp =
    "usage: iecx goose IFACE [--scl FILE] [--gocbref REF] [--appid N] [--goid ID] [--confrev N]\n"
    "                        [--dst-mac MAC] [--path PATH]... [--count N] [--seconds S]\n"
    "\n"
    "Subscribes to the GOOSE messages on network interface IFACE ('any' listens on every\n"
    "interface) until Ctrl-C, N messages (--count) or S seconds (--seconds).\n"
    "\n"
    "With --scl FILE the control block and its data set come from the SCL file: --gocbref picks\n"
    "the control block (needed when the file has several), whose APPID, destination MAC and\n"
    "confRev become filters. Each accepted message prints its time stamp, then one line per\n"
    "data set member (or per --path) with the value and the time stamp of its data object.\n"
    "\n"
    "Without --scl every message that passes the filters is printed with its header fields and\n"
    "data set values (observe mode).\n"
    "\n"
    "Filters: --gocbref control block reference, --appid APPID (decimal or 0x hex), --goid GoID,\n"
    "--confrev configuration revision, --dst-mac destination MAC (aa:bb:cc:dd:ee:ff; checked\n"
    "together with a control block reference).\n"
    "Needs root or CAP_NET_RAW.\n";

struct Options {
    std::string iface;
    std::string scl;
    Vor::Nullable<std::string> goCbRef;
    Vor::Nullable<int64_t> appId;
    Vor::Nullable<std::string> goId;
    Vor::Nullable<uint64_t> confRev;
    Vor::Nullable<std::string> dstMac;
    std::vector<std::string> paths;
    long count = 0;
    double seconds = 0;
};

// 0 on success, otherwise the exit status.
int parseOptions(const std::vector<std::string>& args, Options& o, bool& help) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            help = true;
            return 0;
        }
        if (!a.empty() && a[0] == '-') {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "iecx goose: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            const std::string& v = args[++i];
            uint64_t n = 0;
            if (a == "--scl") {
                o.scl = v;
            } else if (a == "--gocbref") {
                o.goCbRef = v;
            } else if (a == "--goid") {
                o.goId = v;
            } else if (a == "--dst-mac") {
                o.dstMac = v;
            } else if (a == "--path") {
                o.paths.push_back(v);
            } else if (a == "--appid" || a == "--confrev" || a == "--count") {
                if (!parseUnsigned(v, n) || (a == "--appid" && n > 0xFFFF) || (a == "--count" && n == 0)) {
                    std::fprintf(stderr, "iecx goose: %s: bad number '%s'\n", a.c_str(), v.c_str());
                    return kExitUsage;
                }
                if (a == "--appid")
                    o.appId = static_cast<int64_t>(n);
                else if (a == "--confrev")
                    o.confRev = n;
                else
                    o.count = static_cast<long>(n);
            } else if (a == "--seconds") {
                char* end = nullptr;
                o.seconds = std::strtod(v.c_str(), &end);
                if (end == v.c_str() || *end != '\0' || !(o.seconds > 0)) {
                    std::fprintf(stderr, "iecx goose: --seconds wants a positive number, not '%s'\n",
                                 v.c_str());
                    return kExitUsage;
                }
            } else {
                std::fprintf(stderr, "iecx goose: unknown option '%s'\n%s", a.c_str(), kHelp);
                return kExitUsage;
            }
        } else if (o.iface.empty()) {
            o.iface = a;
        } else {
            std::fprintf(stderr, "iecx goose: one interface only\n%s", kHelp);
            return kExitUsage;
        }
    }
    if (o.iface.empty()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    if (!o.paths.empty() && o.scl.empty()) {
        std::fprintf(stderr, "iecx goose: --path needs the data set of --scl\n");
        return kExitUsage;
    }
    return 0;
}

// UTC text with milliseconds of a Unix time in milliseconds.
std::string formatTime(uint64_t ms) {
    if (ms == 0)
        return "-";
    time_t seconds = static_cast<time_t>(ms / 1000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03uZ", static_cast<unsigned>(ms % 1000));
    return text;
}

std::string formatValue(const MmsValue* value) {
    if (value == nullptr)
        return "(none)";
    char buffer[1024];
    buffer[0] = '\0';
    MmsValue_printToBuffer(value, buffer, sizeof buffer);
    return buffer;
}

std::string safeText(const char* text) {
    return text ? text : "";
}

// Finds the GOOSE control block named by goCbRef (or the only one of the file) and fills the
// target from it. 0 on success, otherwise the exit status.
int targetFromScl(const Options& o, GooseIn& target) {
    std::vector<tConnectedAP> aps;
    try {
        xmlpp::DomParser parser;
        parser.parse_file(o.scl);
        DataExtractor extractor(&parser);
        aps = extractor.getConnectedApCollection();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx goose: cannot read SCL file '%s': %s\n", o.scl.c_str(), e.what());
        return kExitFailure;
    }
    struct Candidate {
        tGSE gse;
        std::string reference;
    };
    std::vector<Candidate> candidates;
    for (const tConnectedAP& ap : aps) {
        for (size_t i = 0; i < ap.gse.size(); ++i) {
            tGSE gse = ap.gse[i];
            gse.gseControl->setControlBlockReference(&ap, i);
            candidates.push_back({gse, gse.gseControl->getControlBlockReference()});
        }
    }
    const Candidate* chosen = nullptr;
    if (o.goCbRef) {
        for (const Candidate& c : candidates)
            if (c.reference == *o.goCbRef)
                chosen = &c;
    } else if (candidates.size() == 1) {
        chosen = &candidates.front();
    }
    if (chosen == nullptr) {
        if (o.goCbRef)
            std::fprintf(stderr, "iecx goose: no GOOSE control block '%s' in '%s'\n", o.goCbRef->c_str(),
                         o.scl.c_str());
        else if (candidates.empty())
            std::fprintf(stderr, "iecx goose: '%s' has no GOOSE control block\n", o.scl.c_str());
        else
            std::fprintf(stderr, "iecx goose: '%s' has %zu GOOSE control blocks; choose one with --gocbref\n",
                         o.scl.c_str(), candidates.size());
        for (const Candidate& c : candidates)
            std::fprintf(stderr, "  %s\n", c.reference.c_str());
        return chosen == nullptr && !candidates.empty() && !o.goCbRef ? kExitUsage : kExitFailure;
    }

    const tGSE& gse = chosen->gse;
    std::unique_ptr<FCDAElement> dataSet =
        MmsDatasetHelper::createDatasetStructure(gse.gseControl->dataSet.get());
    target.dataSetXml = dataSet->serializeToString();
    if (o.paths.empty()) {
        for (const auto& member : dataSet->getChildren())
            target.paths.push_back(MmsPath(member->getFullPathWithFC(), nullptr));
    } else {
        for (const std::string& p : o.paths)
            target.paths.push_back(MmsPath(p, nullptr));
    }
    GooseIdentifer& id = target.identifier;
    id.goCbRef = chosen->reference;
    if (o.appId)
        id.appId = o.appId;
    else if (gse.getAppId() != 0) // a file without an APPID entry does not filter on it
        id.appId = static_cast<int64_t>(gse.getAppId());
    std::string mac = o.dstMac ? *o.dstMac : gse.getMacAddress();
    std::replace(mac.begin(), mac.end(), '-', ':');
    if (!mac.empty())
        id.dstMac = mac;
    id.confRev = o.confRev ? *o.confRev : static_cast<uint64_t>(gse.gseControl->confRev);
    if (o.goId)
        id.goId = o.goId;
    std::fprintf(stderr, "iecx goose: %s, data set %s with %zu members\n", chosen->reference.c_str(),
                 gse.gseControl->datSet.c_str(), dataSet->getChildren().size());
    return 0;
}

void identifierFromOptions(const Options& o, GooseIdentifer& id) {
    id.goCbRef = o.goCbRef;
    id.appId = o.appId;
    id.goId = o.goId;
    id.confRev = o.confRev;
    id.dstMac = o.dstMac;
}

// Waits for Ctrl-C, the message count or the time limit.
void waitForEnd(const Options& o, const std::atomic<long>& messages) {
    auto start = std::chrono::steady_clock::now();
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (o.count > 0 && messages >= o.count)
            break;
        if (o.seconds > 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(o.seconds))
            break;
    }
}

int runWithDataSet(const Options& o, GooseIn target) {
    GooseSubscriberPool pool;
    Vor::Result result = pool.setTarget(target);
    if (!result) {
        std::fprintf(stderr, "iecx goose: %s\n", result.getMessage().c_str());
        return kExitFailure;
    }
    std::atomic<long> messages{0};
    // Printing happens on the receive thread; the count stops printing once reached.
    pool.timestampUpdated.connect([&](uint64_t timestamp) {
        if (o.count > 0 && messages >= o.count)
            return;
        std::string out = "message " + formatTime(timestamp) + "\n";
        const auto& paths = pool.getTarget().paths;
        const auto& values = pool.getValues();
        for (size_t i = 0; i < values.size() && i < paths.size(); ++i) {
            const auto& element = values[i];
            out += "  " + paths[i].path + " = " + formatValue(element ? element->getValue() : nullptr) +
                   "  t=" + formatTime(element ? element->getUnixTimestamp() : 0) + "\n";
        }
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
        ++messages;
    });
    if (!pool.start()) {
        std::fprintf(stderr, "iecx goose: cannot listen on '%s'\n", o.iface.c_str());
        return kExitFailure;
    }
    waitForEnd(o, messages);
    pool.stop();
    std::fprintf(stderr, "iecx goose: %ld messages\n", messages.load());
    return kExitOk;
}

int runObserve(const Options& o, const GooseIn& target) {
    InnerGooseSubscriber subscriber;
    subscriber.setTarget(target);
    std::atomic<long> messages{0};
    subscriber.gooseReceived.connect([&](GooseSubscriber s) {
        if (o.count > 0 && messages >= o.count)
            return;
        char head[256];
        std::snprintf(head, sizeof head, "appId=0x%04X stNum=%u sqNum=%u confRev=%u test=%s ttl=%u",
                      static_cast<unsigned>(GooseSubscriber_getAppId(s)), GooseSubscriber_getStNum(s),
                      GooseSubscriber_getSqNum(s), GooseSubscriber_getConfRev(s),
                      GooseSubscriber_isTest(s) ? "true" : "false", GooseSubscriber_getTimeAllowedToLive(s));
        std::string out = "message " + formatTime(GooseSubscriber_getTimestamp(s)) +
                          " goCbRef=" + safeText(GooseSubscriber_getGoCbRef(s)) +
                          " goId=" + safeText(GooseSubscriber_getGoId(s)) +
                          " dataSet=" + safeText(GooseSubscriber_getDataSet(s)) + " " + head + "\n";
        MmsValue* values = GooseSubscriber_getDataSetValues(s);
        uint32_t size = MmsValue_getArraySize(values);
        for (uint32_t i = 0; i < size; ++i)
            out += "  [" + std::to_string(i) + "] " +
                   formatValue(MmsValue_getElement(values, static_cast<int>(i))) + "\n";
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
        ++messages;
    });
    if (!subscriber.start()) {
        std::fprintf(stderr, "iecx goose: cannot listen on '%s'\n", o.iface.c_str());
        return kExitFailure;
    }
    waitForEnd(o, messages);
    subscriber.stop();
    std::fprintf(stderr, "iecx goose: %ld messages\n", messages.load());
    return kExitOk;
}

int runGoose(const std::vector<std::string>& args) {
    Options o;
    bool help = false;
    if (int status = parseOptions(args, o, help))
        return status;
    if (help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    GooseIn target;
    target.interfaceName = o.iface == "any" ? std::string() : o.iface;
    if (!target.interfaceName.empty() && !interfaceExists(target.interfaceName)) {
        std::fprintf(stderr, "iecx goose: no interface '%s'\n", o.iface.c_str());
        return kExitFailure;
    }
    if (!o.scl.empty()) {
        if (int status = targetFromScl(o, target))
            return status;
    } else {
        identifierFromOptions(o, target.identifier);
    }
    if (!canOpenRawSocket()) {
        std::fprintf(stderr, "iecx goose: raw Ethernet access needs root or CAP_NET_RAW\n");
        return kExitFailure;
    }
    g_stop = false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    return o.scl.empty() ? runObserve(o, target) : runWithDataSet(o, target);
}

CommandRegistration registration("goose", "subscribe to GOOSE messages and print their values", runGoose);

} // namespace
