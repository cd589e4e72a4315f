// iecx goose: subscribe to GOOSE messages on an interface and print what arrives.
#include "acquisition/GooseSubscriberPool.h"
#include "acquisition/InnerGooseSubscriber.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/ValueText.h"
#include "cli/Command.h"
#include "cli/Subscription.h"
#include "host/NetworkHelper.h"
#include "mms/FCDAElement.h"
#include "models/AcquisitionWorkflow.h"

#include "goose_subscriber.h"
#include "mms_value.h"

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

const char* kDescription =
    "Subscribes to the GOOSE messages on network interface IFACE ('any' listens on every interface)\n"
    "until Ctrl-C, N messages (--count) or S seconds (--seconds).\n"
    "\n"
    "With --scl FILE the control block and its data set come from the SCL file: --gocbref picks the\n"
    "control block (needed when the file has several), whose APPID, destination MAC and confRev become\n"
    "filters. Each accepted message prints its time stamp, then one line per data set member (or per\n"
    "--path) with the value and the time stamp of its data object.\n"
    "\n"
    "Without --scl every message that passes the filters is printed with every header field (source\n"
    "and destination MAC, VLAN id and priority, APPID, goCbRef, GoID, data set, stNum, sqNum, confRev,\n"
    "simulation, ndsCom, TTL, numDatSetEntries) and its data set values (observe mode).\n"
    "Needs root or CAP_NET_RAW.\n"
    "Example: iecx goose eth0 --scl station.scd --gocbref PROT1PROT/LLN0$GO$gcbTrip --count 10";

struct Options : SubscriptionOptions {
    Vor::Nullable<std::string> goCbRef;
    Vor::Nullable<int64_t> appId;
    Vor::Nullable<std::string> goId;
    std::vector<std::string> paths;
};

// -1 to go on, otherwise the exit status.
int parseOptions(const std::vector<std::string>& args, Options& o) {
    auto app = newCommand("goose", kDescription);
    o.addSource(*app, "SCL file with the control block and its data set");
    app->add_option_function<std::string>(
        "--gocbref", [&o](const std::string& v) { o.goCbRef = v; }, "control block reference");
    addUnsigned(
        *app, "--appid", [&o](uint64_t n) { o.appId = static_cast<int64_t>(n); }, "APPID (decimal or 0x hex)",
        0, 0xFFFF);
    app->add_option_function<std::string>(
        "--goid", [&o](const std::string& v) { o.goId = v; }, "GoID");
    o.addFilters(*app);
    app->add_option("--path", o.paths, "a data set member to print (with --scl); repeatable");
    addRunOptions(*app, o, "end after N messages", "one JSON object per message and line");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (!o.paths.empty() && o.scl.empty()) {
        std::fprintf(stderr, "iecx goose: --path needs the data set of --scl\n");
        return kExitUsage;
    }
    return -1;
}

std::string formatValue(const MmsValue* value) {
    return valueText(value);
}

std::string safeText(const char* text) {
    return text ? printableText(text) : "";
}

std::string macText(const uint8_t* mac) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

// Finds the GOOSE control block named by goCbRef (or the only one of the file), takes its target
// as the library builds it and applies the options' filters over it. 0 on success, otherwise
// the exit status.
int targetFromScl(const Options& o, GooseIn& target) {
    std::vector<tConnectedAP> aps;
    if (!o.readScl("goose", aps))
        return kExitFailure;
    struct Candidate {
        GooseIn target;
        std::string dataSetName;
    };
    std::vector<Candidate> candidates;
    for (const tConnectedAP& ap : aps)
        for (size_t i = 0; i < ap.gse.size(); ++i)
            candidates.push_back({AcquisitionWorkflow::gooseTarget(ap, i), ap.gse[i].gseControl->datSet});
    const Candidate* chosen = nullptr;
    if (o.goCbRef) {
        for (const Candidate& c : candidates)
            if (*c.target.identifier.goCbRef == *o.goCbRef)
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
            std::fprintf(stderr, "  %s\n", c.target.identifier.goCbRef->c_str());
        return !candidates.empty() && !o.goCbRef ? kExitUsage : kExitFailure;
    }

    const std::string interfaceName = target.interfaceName;
    target = chosen->target;
    target.interfaceName = interfaceName;
    std::unique_ptr<FCDAElement> dataSet = FCDAElement::deserialize(target.dataSetXml);
    if (o.paths.empty()) {
        for (const auto& member : dataSet->getChildren())
            target.paths.push_back(MmsPath(member->getFullPathWithFC(), nullptr));
    } else {
        for (const std::string& p : o.paths)
            target.paths.push_back(MmsPath(p, nullptr));
    }
    GooseIdentifer& id = target.identifier;
    if (o.appId)
        id.appId = o.appId;
    if (o.dstMac) {
        std::string mac = *o.dstMac;
        std::replace(mac.begin(), mac.end(), '-', ':');
        id.dstMac = mac;
    }
    if (o.confRev)
        id.confRev = o.confRev;
    if (o.goId)
        id.goId = o.goId;
    std::fprintf(stderr, "iecx goose: %s, data set %s with %zu members\n", id.goCbRef->c_str(),
                 chosen->dataSetName.c_str(), dataSet->getChildren().size());
    return 0;
}

void identifierFromOptions(const Options& o, GooseIdentifer& id) {
    id.goCbRef = o.goCbRef;
    id.appId = o.appId;
    id.goId = o.goId;
    id.confRev = o.confRev;
    id.dstMac = o.dstMac;
}

// Runs the subscription (a pool or the inner subscriber) until Ctrl-C, the message count or the
// time limit.
template <class Subscription>
int listen(const Options& o, Subscription& subscription, const std::atomic<long>& messages) {
    if (!subscription.start()) {
        std::fprintf(stderr, "iecx goose: cannot listen on '%s'\n", o.iface.c_str());
        return kExitFailure;
    }
    waitUntil([&] { return o.count > 0 && messages >= static_cast<long>(o.count); }, o.seconds);
    subscription.stop();
    std::fprintf(stderr, "iecx goose: %ld messages\n", messages.load());
    return kExitOk;
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
        if (o.count > 0 && messages >= static_cast<long>(o.count))
            return;
        if (o.json) {
            Json members = Json::array();
            const auto& paths = pool.getTarget().paths;
            const auto& values = pool.getValues();
            for (size_t i = 0; i < values.size() && i < paths.size(); ++i)
                members.push_back({{"path", paths[i].path},
                                   {"value", valueJson(values[i] ? values[i]->getValue() : nullptr)},
                                   {"t", millisecondsText(values[i] ? values[i]->getUnixTimestamp() : 0)}});
            printJson({{"time", millisecondsText(timestamp)}, {"members", members}}, false);
            ++messages;
            return;
        }
        std::string out = "message " + millisecondsText(timestamp) + "\n";
        const auto& paths = pool.getTarget().paths;
        const auto& values = pool.getValues();
        for (size_t i = 0; i < values.size() && i < paths.size(); ++i) {
            const auto& element = values[i];
            out += "  " + paths[i].path + " = " + formatValue(element ? element->getValue() : nullptr) +
                   "  t=" + millisecondsText(element ? element->getUnixTimestamp() : 0) + "\n";
        }
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
        ++messages;
    });
    return listen(o, pool, messages);
}

int runObserve(const Options& o, const GooseIn& target) {
    InnerGooseSubscriber subscriber;
    subscriber.setTarget(target);
    std::atomic<long> messages{0};
    subscriber.gooseReceived.connect([&](GooseSubscriber s) {
        if (o.count > 0 && messages >= static_cast<long>(o.count))
            return;
        uint8_t src[6], dst[6];
        GooseSubscriber_getSrcMac(s, src);
        GooseSubscriber_getDstMac(s, dst);
        MmsValue* values = GooseSubscriber_getDataSetValues(s);
        const uint32_t size = values ? MmsValue_getArraySize(values) : 0;
        char appId[16];
        std::snprintf(appId, sizeof appId, "0x%04X", static_cast<unsigned>(GooseSubscriber_getAppId(s)));
        const bool vlan = GooseSubscriber_isVlanSet(s);
        if (o.json) {
            Json line = {{"time", millisecondsText(GooseSubscriber_getTimestamp(s))},
                         {"src", macText(src)},
                         {"dst", macText(dst)},
                         {"appId", GooseSubscriber_getAppId(s)},
                         {"goCbRef", safeText(GooseSubscriber_getGoCbRef(s))},
                         {"goId", safeText(GooseSubscriber_getGoId(s))},
                         {"dataSet", safeText(GooseSubscriber_getDataSet(s))},
                         {"stNum", GooseSubscriber_getStNum(s)},
                         {"sqNum", GooseSubscriber_getSqNum(s)},
                         {"confRev", GooseSubscriber_getConfRev(s)},
                         {"simulation", GooseSubscriber_isTest(s)},
                         {"ndsCom", GooseSubscriber_needsCommission(s)},
                         {"ttl", GooseSubscriber_getTimeAllowedToLive(s)},
                         {"numDatSetEntries", size},
                         {"values", valueJson(values)}};
            if (vlan) {
                line["vlanId"] = GooseSubscriber_getVlanId(s);
                line["vlanPriority"] = GooseSubscriber_getVlanPrio(s);
            }
            printJson(line, false);
            ++messages;
            return;
        }
        std::string out = "message " + millisecondsText(GooseSubscriber_getTimestamp(s)) +
                          " src=" + macText(src) + " dst=" + macText(dst) +
                          (vlan ? " vlan=" + std::to_string(GooseSubscriber_getVlanId(s)) +
                                      " priority=" + std::to_string(GooseSubscriber_getVlanPrio(s))
                                : std::string(" vlan=none")) +
                          " appId=" + appId + "\n  goCbRef=" + safeText(GooseSubscriber_getGoCbRef(s)) +
                          " goId=" + safeText(GooseSubscriber_getGoId(s)) +
                          " dataSet=" + safeText(GooseSubscriber_getDataSet(s)) +
                          "\n  stNum=" + std::to_string(GooseSubscriber_getStNum(s)) +
                          " sqNum=" + std::to_string(GooseSubscriber_getSqNum(s)) +
                          " confRev=" + std::to_string(GooseSubscriber_getConfRev(s)) +
                          " simulation=" + (GooseSubscriber_isTest(s) ? "true" : "false") +
                          " ndsCom=" + (GooseSubscriber_needsCommission(s) ? "true" : "false") +
                          " ttl=" + std::to_string(GooseSubscriber_getTimeAllowedToLive(s)) +
                          " numDatSetEntries=" + std::to_string(size) + "\n";
        for (uint32_t i = 0; i < size; ++i)
            out += "  [" + std::to_string(i) + "] " +
                   formatValue(MmsValue_getElement(values, static_cast<int>(i))) + "\n";
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
        ++messages;
    });
    return listen(o, subscriber, messages);
}

int runGoose(const std::vector<std::string>& args) {
    Options o;
    if (int status = parseOptions(args, o); status >= 0)
        return status;
    GooseIn target;
    if (!o.interfaceName("goose", target.interfaceName))
        return kExitFailure;
    if (!o.scl.empty()) {
        if (int status = targetFromScl(o, target))
            return status;
    } else {
        identifierFromOptions(o, target.identifier);
    }
    if (!SubscriptionOptions::rawAccess("goose"))
        return kExitFailure;
    return o.scl.empty() ? runObserve(o, target) : runWithDataSet(o, target);
}

CommandRegistration registration("goose", "subscribe to GOOSE messages and print their values", runGoose);

} // namespace
