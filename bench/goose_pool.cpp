// GOOSE reception throughput: frames flooded over a veth pair that this program creates and
// removes, received (a) by a plain packet socket, the baseline, and (b) through
// GooseSubscriberPool up to valuesUpdated, reading a memory-mapped ring and, for comparison,
// the socket's receive queue. Reports messages per second at saturation, the loss
// at a paced rate (500 000 messages/s unless --paced N says otherwise), and the receive thread's CPU time per
// message, each as a ratio to the baseline measured in the same run.
//
// Needs root (veth pair, raw sockets). Every sender is bounded in frames and time.
#include "acquisition/GooseSubscriberPool.h"
#include "bench/support/BenchNet.h"
#include "mms/FCDAElement.h"

#include "goose_publisher.h"
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "hal_ethernet.h"
#include "linked_list.h"
#include "mms_value.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace VorIec61850;
using namespace benchnet;

namespace {

// ---- frames and the sender ------------------------------------------------------------------

// 64 encoded GOOSE frames of one control block (successive sqNum), data set of 8 members:
// four (BOOLEAN, BIT_STRING quality) pairs with a UTC time stamp... as a relay's trip data set.
// Retransmissions (the same data, as most of a station bus carries) unless `changing`: then the
// first member toggles from frame to frame.
std::vector<std::vector<uint8_t>> buildFrames(const std::string& iface, bool changing = false) {
    CommParameters params{};
    params.appId = 0x1001;
    const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    std::memcpy(params.dstAddress, mac, 6);
    params.vlanPriority = 4;
    GoosePublisher publisher = GoosePublisher_create(&params, iface.c_str());
    std::vector<std::vector<uint8_t>> frames;
    if (!publisher)
        return frames;
    char goCbRef[] = "BENCHLD0/LLN0$GO$gcb1";
    char goId[] = "BENCH_gcb1";
    char dataSet[] = "BENCHLD0/LLN0$dsTrip";
    GoosePublisher_setGoCbRef(publisher, goCbRef);
    GoosePublisher_setGoID(publisher, goId);
    GoosePublisher_setDataSetRef(publisher, dataSet);
    GoosePublisher_setConfRev(publisher, 1);
    GoosePublisher_setTimeAllowedToLive(publisher, 2000);
    LinkedList values = LinkedList_create();
    for (int i = 0; i < 4; ++i) {
        LinkedList_add(values, MmsValue_newBoolean(i % 2 == 0));
        LinkedList_add(values, MmsValue_newBitString(13));
    }
    LinkedList_add(values, MmsValue_newUtcTimeByMsTime(1764940000123ULL));
    for (int i = 0; i < 64; ++i) {
        if (changing)
            MmsValue_setBoolean(static_cast<MmsValue*>(LinkedList_getNext(values)->data), i % 2 == 1);
        char buffer[1600];
        int32_t length = 0;
        if (GoosePublisher_publishAndDump(publisher, values, buffer, &length, sizeof buffer) == 0 &&
            length > 0)
            frames.emplace_back(buffer, buffer + length);
    }
    LinkedList_destroyDeep(values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    GoosePublisher_destroy(publisher);
    return frames;
}

// The data set of those frames as FCDA XML, with a "t" member.
std::string dataSetXml() {
    FCDAElement root;
    for (int i = 0; i < 4; ++i) {
        std::string doPath = "LD0/PTRC1.Op" + std::to_string(i);
        root.addChild(
            std::make_unique<FCDAElement>(doPath + ".general", tFCEnum::ST, tMmsTypeEnum::BOOLEAN, nullptr));
        root.addChild(
            std::make_unique<FCDAElement>(doPath + ".q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING, nullptr));
    }
    root.addChild(std::make_unique<FCDAElement>("t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME, nullptr));
    return root.serializeToString();
}

// ---- receivers --------------------------------------------------------------------------------

struct Measurement {
    uint64_t sent = 0;
    uint64_t received = 0;
    double seconds = 0; // sender's time
    double cpuSeconds = 0;
    double rate() const { return seconds > 0 ? received / seconds : 0; }
    double loss() const { return sent ? 1.0 - double(received) / double(sent) : 0; }
    double cpuPerMessageUs() const { return received ? cpuSeconds / received * 1e6 : 0; }
};

// Baseline: a packet socket for EtherType 0x88B8 on the interface, read with recvmmsg.
// The steady clock in nanoseconds, for send-to-delivery latencies.
int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Latency runs: the send time of every frame, and the delivery time of every message.
struct Latency {
    std::vector<int64_t> sent;
    std::vector<int64_t> delivered;
    std::function<void(std::vector<uint8_t>&, uint64_t)> stamp() {
        return [this](std::vector<uint8_t>&, uint64_t i) {
            if (i < sent.size())
                sent[i] = nowNs();
        };
    }
    // Median and maximum of delivery minus send time over the frames delivered, microseconds.
    std::pair<double, double> medianAndMaxUs() const {
        std::vector<int64_t> d;
        for (size_t i = 0; i < sent.size() && i < delivered.size(); ++i)
            if (sent[i] && delivered[i])
                d.push_back(delivered[i] - sent[i]);
        if (d.empty())
            return {0, 0};
        std::sort(d.begin(), d.end());
        return {d[d.size() / 2] / 1e3, d.back() / 1e3};
    }
};

Measurement measureRawSocket(const std::string& a, const std::string& b,
                             const std::vector<std::vector<uint8_t>>& frames, uint64_t maxFrames, double rate,
                             double seconds, int receiverCpu, Latency* latency = nullptr) {
    Measurement m;
    const int fd = openReceiver(b, 0x88B8, 4 << 20, 10000); // as much buffer as the stack's sockets
    std::atomic<uint64_t> received{0};
    std::atomic<bool> stop{false};
    std::atomic<double> cpu{0};
    std::thread reader([&] {
        pinToCpu(receiverCpu);
        clockid_t clock;
        pthread_getcpuclockid(pthread_self(), &clock);
        double cpuStart = cpuSeconds(clock);
        readBatches(fd, stop, [&](int n) {
            if (latency)
                for (int i = 0; i < n; ++i)
                    if (received + static_cast<uint64_t>(i) < latency->delivered.size())
                        latency->delivered[received + static_cast<uint64_t>(i)] = nowNs();
            received += static_cast<uint64_t>(n);
        });
        cpu = cpuSeconds(clock) - cpuStart;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SendResult s = sendFrames(a, frames, maxFrames, rate, seconds, latency ? latency->stamp() : nullptr);
    waitForDrain([&] { return received.load(); });
    stop = true;
    reader.join();
    close(fd);
    m.sent = s.sent;
    m.seconds = s.seconds;
    m.received = received;
    m.cpuSeconds = cpu;
    return m;
}

// The pool: GooseSubscriberPool on b with the control block reference and 4 value paths, each
// paired with the data set's time member; counts valuesUpdated.
Measurement measurePool(const std::string& a, const std::string& b,
                        const std::vector<std::vector<uint8_t>>& frames, uint64_t maxFrames, double rate,
                        double seconds, int receiverCpu, Latency* latency = nullptr) {
    Measurement m;
    GooseSubscriberPool pool;
    GooseIn target;
    target.interfaceName = b;
    target.dataSetXml = dataSetXml();
    target.identifier.goCbRef = std::string("BENCHLD0/LLN0$GO$gcb1");
    target.identifier.appId = 0x1001;
    target.identifier.confRev = 1;
    for (int i = 0; i < 4; ++i)
        target.paths.push_back(MmsPath("LD0/PTRC1.Op" + std::to_string(i) + ".general[ST]", nullptr));
    pool.setTarget(target);
    std::atomic<uint64_t> received{0};
    std::atomic<bool> haveClock{false};
    clockid_t clock{};
    double cpuStart = 0;
    bool allValues = true;
    pool.valuesUpdated.connect([&] {
        if (!haveClock) {
            pinToCpu(receiverCpu);
            pthread_getcpuclockid(pthread_self(), &clock);
            cpuStart = cpuSeconds(clock);
            haveClock = true;
        }
        const auto& values = pool.getValues();
        if (!values[3] || values[3]->getUnixTimestamp() == 0)
            allValues = false;
        uint64_t n = received.fetch_add(1, std::memory_order_relaxed);
        if (latency && n < latency->delivered.size())
            latency->delivered[n] = nowNs();
    });
    if (!pool.start()) {
        std::fprintf(stderr, "bench_goose_pool: the pool cannot listen on %s\n", b.c_str());
        return m;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SendResult s = sendFrames(a, frames, maxFrames, rate, seconds, latency ? latency->stamp() : nullptr);
    waitForDrain([&] { return received.load(); });
    if (haveClock)
        m.cpuSeconds = cpuSeconds(clock) - cpuStart;
    pool.stop();
    if (!allValues)
        std::fprintf(stderr, "bench_goose_pool: some updates lacked a value or its time stamp\n");
    m.sent = s.sent;
    m.seconds = s.seconds;
    m.received = received;
    return m;
}

// Decoding alone: the same frames handed to a threadless receiver in a loop (no sockets).
double measureDecodeOnly(const std::vector<std::vector<uint8_t>>& frames, uint64_t count) {
    GooseReceiver receiver = GooseReceiver_create();
    char goCbRef[] = "BENCHLD0/LLN0$GO$gcb1";
    GooseSubscriber subscriber = GooseSubscriber_create(goCbRef, nullptr);
    uint64_t delivered = 0;
    GooseSubscriber_setListener(
        subscriber, [](GooseSubscriber, void* p) { ++*static_cast<uint64_t*>(p); }, &delivered);
    GooseReceiver_addSubscriber(receiver, subscriber);
    std::vector<std::vector<uint8_t>> copies = frames;
    // Thread CPU time, so that other processes on the machine do not count.
    double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (uint64_t i = 0; i < count; ++i) {
        auto& f = copies[i % copies.size()];
        GooseReceiver_handleMessage(receiver, f.data(), static_cast<int>(f.size()));
    }
    double seconds = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
    GooseReceiver_destroy(receiver);
    return delivered == count && seconds > 0 ? count / seconds : 0;
}

void printRow(const char* name, const Measurement& m, const Measurement& base) {
    std::printf(
        "  %-22s sent %9llu  received %9llu  loss %6.2f%%  %9.0f msg/s (x%.2f)  cpu %6.3f us/msg (x%.2f)\n",
        name, static_cast<unsigned long long>(m.sent), static_cast<unsigned long long>(m.received),
        m.loss() * 100, m.rate(), base.rate() > 0 ? m.rate() / base.rate() : 0, m.cpuPerMessageUs(),
        base.cpuPerMessageUs() > 0 ? m.cpuPerMessageUs() / base.cpuPerMessageUs() : 0);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = option(argc, argv, "--seconds", 2.0);
    const double paced = option(argc, argv, "--paced", 500000);
    senderThreads() = std::max(1, static_cast<int>(option(argc, argv, "--senders", senderThreads())));
    std::string a, b;
    if (!setUp("bench_goose_pool", true, " for the veth pair and raw sockets", "ixbg", a, b))
        return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto frames = buildFrames(a);
    if (frames.empty()) {
        std::fprintf(stderr, "bench_goose_pool: cannot build frames\n");
        return 1;
    }
    const int senderCpu = 0, receiverCpu = 1;
    pinToCpu(senderCpu);
    std::printf("GOOSE reception over veth %s -> %s, frames of %zu bytes, %.1f s per run, %u CPUs\n",
                a.c_str(), b.c_str(), frames[0].size(), seconds, std::thread::hardware_concurrency());

    const uint64_t floodLimit = static_cast<uint64_t>(3000000 * seconds);
    std::printf("saturation (sender as fast as it can):\n");
    Measurement rawFlood = measureRawSocket(a, b, frames, floodLimit, 0, seconds, receiverCpu);
    Measurement poolFlood = measurePool(a, b, frames, floodLimit, 0, seconds, receiverCpu);
    // The same pool reading the socket's receive queue in batches (recvmmsg) instead of the ring.
    const size_t ringBytes = Ethernet_getReceiverRingSize();
    Ethernet_setReceiverRingSize(0);
    Measurement queueFlood = measurePool(a, b, frames, floodLimit, 0, seconds, receiverCpu);
    Ethernet_setReceiverRingSize(ringBytes);
    printRow("packet socket (base)", rawFlood, rawFlood);
    printRow("GooseSubscriberPool", poolFlood, rawFlood);
    printRow("pool, receive queue", queueFlood, rawFlood);

    const uint64_t pacedCount = static_cast<uint64_t>(paced * seconds);
    std::printf("paced at %.0f messages/s:\n", paced);
    Measurement rawPaced = measureRawSocket(a, b, frames, pacedCount, paced, seconds * 2, receiverCpu);
    Measurement poolPaced = measurePool(a, b, frames, pacedCount, paced, seconds * 2, receiverCpu);
    printRow("packet socket (base)", rawPaced, rawPaced);
    printRow("GooseSubscriberPool", poolPaced, rawPaced);

    // Send to delivery at a light 1 000 messages/s: what a subscriber waits for one message.
    const uint64_t lightCount = 1000;
    Latency rawLatency{std::vector<int64_t>(lightCount), std::vector<int64_t>(lightCount)};
    Latency poolLatency = rawLatency;
    measureRawSocket(a, b, frames, lightCount, 1000, 3, receiverCpu, &rawLatency);
    measurePool(a, b, frames, lightCount, 1000, 3, receiverCpu, &poolLatency);
    auto rawDelay = rawLatency.medianAndMaxUs(), poolDelay = poolLatency.medianAndMaxUs();
    std::printf("send to delivery at 1 000 messages/s: packet socket median %.1f us (max %.1f), pool median "
                "%.1f us (max %.1f)\n",
                rawDelay.first, rawDelay.second, poolDelay.first, poolDelay.second);

    double decode = measureDecodeOnly(frames, 1000000);
    double decodeChanging = measureDecodeOnly(buildFrames(a, true), 1000000);
    std::printf(
        "stack decode only (threadless receiver, no socket): retransmissions %.0f msg/s per CPU second "
        "(%.3f us/msg), data changing in every message %.0f msg/s (%.3f us/msg)\n",
        decode, decode > 0 ? 1e6 / decode : 0, decodeChanging, decodeChanging > 0 ? 1e6 / decodeChanging : 0);
    // The sender shares the machine with the receiver, so the flood rate can be the sender's
    // limit: the receive thread's CPU time per message gives the rate one core could sustain.
    double poolCapacity = poolFlood.cpuPerMessageUs() > 0 ? 1e6 / poolFlood.cpuPerMessageUs() : 0;
    double rawCapacity = rawFlood.cpuPerMessageUs() > 0 ? 1e6 / rawFlood.cpuPerMessageUs() : 0;
    std::printf("receive thread capacity on one core (1 / cpu per message): packet socket %.0f msg/s, pool "
                "%.0f msg/s "
                "(x%.2f)\n",
                rawCapacity, poolCapacity, rawCapacity > 0 ? poolCapacity / rawCapacity : 0);
    std::printf(
        "pool measured flood rate / 300 000 target: x%.2f; pool capacity / 300 000: x%.2f; pool loss at "
        "%.0f/s: %.3f%% (achieved %.0f/s)\n",
        poolFlood.rate() / 300000.0, poolCapacity / 300000.0, paced, poolPaced.loss() * 100,
        poolPaced.seconds > 0 ? poolPaced.sent / poolPaced.seconds : 0);
    removeVeth();
    return 0;
}
