// Sampled Values reception load: 64 streams (--streams N) of 4 800 frames/s each (IEC 61850-9-2 style, one
// ASDU of 8 INT32 channels with quality per frame) published over a veth pair that this program
// creates and removes, received (a) by one plain packet socket, the baseline, (b) by the stack
// directly (one SVReceiver with a subscriber per stream) and (c) by one InnerSvSubscriber, one per stream,
// through the receivers' memory-mapped ring and, for comparison, through the socket's receive queue.
// Reports per stream the ASDUs delivered, the loss and smpCnt gaps, and the CPU time per frame of the receive
// threads, as ratios to the baseline.
//
// Needs root (veth pair, raw sockets). The sender is bounded in frames and time.
#include "acquisition/InnerSvSubscriber.h"
#include "bench/support/BenchNet.h"

#include "sv_publisher.h"
#include "sv_subscriber.h"
#include "hal_ethernet.h"

#include <arpa/inet.h>
#include <fcntl.h>
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
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace VorIec61850;
using namespace benchnet;

namespace {

// 64 streams unless --streams N says otherwise (at most 256: the stream is the MAC's last byte).
int kStreams = 64;
constexpr int kFramesPerSecond = 4800;
constexpr int kChannels = 8;

// The publishers, one per stream; publish() sends one frame of every stream, smpCnt counting 0..4799.
class Streams {
public:
    explicit Streams(const std::string& iface) {
        for (int s = 0; s < kStreams; ++s) {
            CommParameters params{};
            params.appId = static_cast<uint16_t>(0x4000 + s);
            const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, static_cast<uint8_t>(s)};
            std::memcpy(params.dstAddress, mac, 6);
            params.vlanPriority = 4;
            SVPublisher publisher = SVPublisher_create(&params, iface.c_str());
            if (!publisher)
                return;
            std::string svId = "BENCHMU" + std::to_string(s);
            SVPublisher_ASDU asdu = SVPublisher_addASDU(publisher, svId.c_str(), nullptr, 1);
            std::vector<int> offsets;
            for (int c = 0; c < kChannels; ++c) {
                offsets.push_back(SVPublisher_ASDU_addINT32(asdu));
                SVPublisher_ASDU_addQuality(asdu);
            }
            SVPublisher_ASDU_setSmpCntWrap(asdu, kFramesPerSecond);
            SVPublisher_setupComplete(publisher);
            _publishers.push_back(publisher);
            _asdus.push_back(asdu);
            _offsets.push_back(offsets);
        }
    }
    ~Streams() {
        for (SVPublisher p : _publishers)
            SVPublisher_destroy(p);
    }
    bool ok() const { return _publishers.size() == static_cast<size_t>(kStreams); }
    void publish(uint64_t sample) {
        uint16_t smpCnt = static_cast<uint16_t>(sample % kFramesPerSecond);
        for (size_t s = 0; s < _publishers.size(); ++s) {
            for (int c = 0; c < kChannels; ++c)
                SVPublisher_ASDU_setINT32(_asdus[s], _offsets[s][c], static_cast<int32_t>(sample * 10 + c));
            SVPublisher_ASDU_setSmpCnt(_asdus[s], smpCnt);
            SVPublisher_publish(_publishers[s]);
        }
    }

private:
    std::vector<SVPublisher> _publishers;
    std::vector<SVPublisher_ASDU> _asdus;
    std::vector<std::vector<int>> _offsets;
};

// One second of the streams (smpCnt 0..4799 each) as encoded frames, recorded once from the
// publishers on the receiving end, so that the timed runs replay them with little sender cost.
struct Recording {
    std::vector<std::vector<uint8_t>> frames; // round r, stream s at r * kStreams + s
};

bool record(Streams& streams, const std::string& b, Recording& rec) {
    const int fd = openReceiver(b, 0x88BA, 64 << 20, 100000);
    rec.frames.assign(static_cast<size_t>(kFramesPerSecond) * kStreams, {});
    size_t missing = rec.frames.size();
    for (int pass = 0; pass < 5 && missing > 0; ++pass) {
        for (uint64_t sample = 0; sample < static_cast<uint64_t>(kFramesPerSecond); ++sample) {
            bool need = false;
            for (int st = 0; st < kStreams; ++st)
                need = need || rec.frames[sample * kStreams + st].empty();
            if (need)
                streams.publish(sample);
            // Read what arrived so far: the frame's APPID and smpCnt (found after the svID)
            // give its place.
            uint8_t buffer[2048];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
                if (n < 26)
                    continue;
                size_t offset = 12;
                if (buffer[12] == 0x81 && buffer[13] == 0x00)
                    offset = 16;
                int stream = ((buffer[offset + 2] << 8) | buffer[offset + 3]) - 0x4000;
                // smpCnt: the 0x82 tag right after the svID ("BENCHMU..." with its 0x80 tag).
                const uint8_t* found =
                    static_cast<const uint8_t*>(memmem(buffer, static_cast<size_t>(n), "BENCHMU", 7));
                if (found == nullptr || found - buffer < 2 || stream < 0 || stream >= kStreams)
                    continue;
                ssize_t after = (found - buffer) + found[-1];
                if (found[-2] != 0x80 || after + 4 > n || buffer[after] != 0x82 || buffer[after + 1] != 2)
                    continue;
                size_t cnt = (buffer[after + 2] << 8) | buffer[after + 3];
                if (cnt >= static_cast<size_t>(kFramesPerSecond))
                    continue;
                auto& slot = rec.frames[cnt * kStreams + static_cast<size_t>(stream)];
                if (slot.empty()) {
                    slot.assign(buffer, buffer + n);
                    --missing;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    close(fd);
    return missing == 0;
}

// Replays `samples` rounds at 4 800 rounds per second (a frame per stream). The streams are
// shared among the sender threads (one sendmmsg per round each), all paced by one clock.
struct ReplayResult {
    uint64_t frames = 0;
    double seconds = 0;
    double maxLagMs = 0;
};

ReplayResult sendStreams(const Recording& rec, const std::string& a, uint64_t samples, int first, int count,
                         Clock::time_point start) {
    ReplayResult r;
    sockaddr_ll addr;
    int fd = openSender(a, addr);
    std::vector<mmsghdr> msgs(static_cast<size_t>(count));
    std::vector<iovec> iov(static_cast<size_t>(count));
    const auto deadline = start + std::chrono::duration<double>(double(samples) / kFramesPerSecond + 5.0);
    for (uint64_t sample = 0; sample < samples && Clock::now() < deadline; ++sample) {
        auto due = start + std::chrono::duration<double>(double(sample) / kFramesPerSecond);
        auto now = Clock::now();
        if (due > now + std::chrono::microseconds(80))
            std::this_thread::sleep_for(due - now - std::chrono::microseconds(60));
        while (Clock::now() < due) {
        }
        double lag = std::chrono::duration<double, std::milli>(Clock::now() - due).count();
        if (lag > r.maxLagMs)
            r.maxLagMs = lag;
        size_t round = sample % kFramesPerSecond;
        for (int i = 0; i < count; ++i) {
            const auto& f = rec.frames[round * kStreams + static_cast<size_t>(first + i)];
            setMessage(msgs[i], iov[i], addr, f.data(), f.size());
        }
        int sent = 0;
        for (int tries = 0; sent < count && tries < 100; ++tries) {
            int n = sendmmsg(fd, msgs.data() + sent, static_cast<unsigned>(count - sent), 0);
            if (n > 0)
                sent += n;
            else
                std::this_thread::yield();
        }
        r.frames += static_cast<uint64_t>(sent);
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    return r;
}

ReplayResult sendAll(const Recording& rec, const std::string& a, uint64_t samples) {
    const int threads = std::min(senderThreads(), kStreams);
    std::vector<ReplayResult> parts(static_cast<size_t>(threads));
    std::vector<std::thread> senders;
    const auto start = Clock::now() + std::chrono::milliseconds(5);
    for (int t = 0; t < threads; ++t)
        senders.emplace_back([&, t] {
            pinToCpu(t);
            const int first = kStreams * t / threads, last = kStreams * (t + 1) / threads;
            parts[static_cast<size_t>(t)] = sendStreams(rec, a, samples, first, last - first, start);
        });
    ReplayResult all;
    for (int t = 0; t < threads; ++t) {
        senders[static_cast<size_t>(t)].join();
        const ReplayResult& p = parts[static_cast<size_t>(t)];
        all.frames += p.frames;
        all.seconds = std::max(all.seconds, p.seconds);
        all.maxLagMs = std::max(all.maxLagMs, p.maxLagMs);
    }
    return all;
}

struct Measurement {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t gaps = 0;
    double cpuSeconds = 0;
    double maxLagMs = 0;
    double sendSeconds = 0;
    double sendRate() const { return sendSeconds > 0 ? sent / sendSeconds : 0; }
    double lossPercent() const { return sent ? 100.0 * (1.0 - double(received) / double(sent)) : 0; }
    double cpuPerFrameUs() const { return received ? cpuSeconds / received * 1e6 : 0; }
};

// Baseline: one packet socket for EtherType 0x88BA, counting frames.
Measurement measureRawSocket(const Recording& rec, const std::string& a, const std::string& b,
                             uint64_t samples) {
    Measurement m;
    RawCounter counter(b, 0x88BA);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ReplayResult s = sendAll(rec, a, samples);
    m.cpuSeconds = counter.drainAndStop();
    m.sent = s.frames;
    m.received = counter.received();
    m.maxLagMs = s.maxLagMs;
    m.sendSeconds = s.seconds;
    return m;
}

// Per stream: ASDU count and smpCnt continuity, kept on the receive thread.
struct StreamCheck {
    std::atomic<uint64_t> asdus{0};
    uint64_t gaps = 0;
    int32_t last = -1;
    int32_t firstValueBad = 0;
    clockid_t clock{};
    bool haveClock = false;
    double cpuStart = 0;

    // One ASDU with smpCnt cnt whose data buffer was (bufferOk) as expected.
    void record(int32_t cnt, bool bufferOk) {
        if (!haveClock) {
            pthread_getcpuclockid(pthread_self(), &clock);
            cpuStart = cpuSeconds(clock);
            haveClock = true;
        }
        if (last >= 0 && cnt != (last + 1) % kFramesPerSecond)
            ++gaps;
        last = cnt;
        if (!bufferOk)
            ++firstValueBad;
        asdus.fetch_add(1, std::memory_order_relaxed);
    }
};

uint64_t totalAsdus(const std::vector<std::unique_ptr<StreamCheck>>& checks) {
    uint64_t sum = 0;
    for (auto& c : checks)
        sum += c->asdus.load();
    return sum;
}

Measurement measureSubscribers(const Recording& rec, const std::string& a, const std::string& b,
                               uint64_t samples, std::vector<uint64_t>& perStream) {
    Measurement m;
    std::vector<std::unique_ptr<InnerSvSubscriber>> subscribers;
    std::vector<std::unique_ptr<StreamCheck>> checks;
    for (int s = 0; s < kStreams; ++s) {
        auto subscriber = std::make_unique<InnerSvSubscriber>();
        SvIn target;
        target.interfaceName = b;
        target.appId = 0x4000 + s;
        subscriber->setTarget(target);
        auto check = std::make_unique<StreamCheck>();
        StreamCheck* c = check.get();
        InnerSvSubscriber* sub = subscriber.get();
        subscriber->asduReceived.connect([c, sub](SVSubscriber, SVSubscriber_ASDU asdu) {
            // The host reads the raw buffer: do as it does.
            unsigned char buffer[128];
            c->record(SVSubscriber_ASDU_getSmpCnt(asdu),
                      sub->getDataBufferLength() == kChannels * 8 && sub->readDataBuffer(buffer));
        });
        subscribers.push_back(std::move(subscriber));
        checks.push_back(std::move(check));
    }
    for (auto& s : subscribers) {
        if (!s->start()) {
            std::fprintf(stderr, "bench_sv_pool: a subscriber cannot listen on %s\n", b.c_str());
            return m;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ReplayResult r = sendAll(rec, a, samples);
    auto total = [&] { return totalAsdus(checks); };
    waitForDrain(total);
    // Subscribers on one interface share a receive thread: count each thread once.
    std::vector<clockid_t> seenClocks;
    for (auto& c : checks) {
        if (!c->haveClock || std::find(seenClocks.begin(), seenClocks.end(), c->clock) != seenClocks.end())
            continue;
        seenClocks.push_back(c->clock);
        m.cpuSeconds += cpuSeconds(c->clock) - c->cpuStart;
    }
    for (auto& s : subscribers)
        s->stop();
    int bad = 0;
    for (auto& c : checks) {
        perStream.push_back(c->asdus);
        m.gaps += c->gaps;
        bad += c->firstValueBad;
    }
    if (bad)
        std::fprintf(stderr, "bench_sv_pool: %d ASDUs had an unexpected data buffer\n", bad);
    m.sent = r.frames;
    m.received = total();
    m.maxLagMs = r.maxLagMs;
    m.sendSeconds = r.seconds;
    return m;
}

// For comparison: the stack used directly, one SVReceiver on the interface carrying all
// subscribers, so that each frame is read from the kernel once.
Measurement measureSharedReceiver(const Recording& rec, const std::string& a, const std::string& b,
                                  uint64_t samples) {
    Measurement m;
    SVReceiver receiver = SVReceiver_create();
    SVReceiver_setInterfaceId(receiver, b.c_str());
    std::vector<std::unique_ptr<StreamCheck>> checks;
    for (int s = 0; s < kStreams; ++s) {
        checks.push_back(std::make_unique<StreamCheck>());
        SVSubscriber subscriber = SVSubscriber_create(nullptr, static_cast<uint16_t>(0x4000 + s));
        SVSubscriber_setListener(
            subscriber,
            [](SVSubscriber, void* p, SVSubscriber_ASDU asdu) {
                unsigned char buffer[128];
                int length = SVSubscriber_ASDU_getDataSize(asdu);
                if (length == kChannels * 8)
                    std::memcpy(buffer, asdu->dataBuffer, static_cast<size_t>(length));
                static_cast<StreamCheck*>(p)->record(SVSubscriber_ASDU_getSmpCnt(asdu),
                                                     length == kChannels * 8);
            },
            checks.back().get());
        SVReceiver_addSubscriber(receiver, subscriber);
    }
    SVReceiver_start(receiver);
    if (!SVReceiver_isRunning(receiver)) {
        SVReceiver_destroy(receiver);
        return m;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ReplayResult r = sendAll(rec, a, samples);
    auto total = [&] { return totalAsdus(checks); };
    waitForDrain(total);
    // One thread serves all subscribers: its CPU time once.
    for (auto& c : checks)
        if (c->haveClock) {
            m.cpuSeconds = cpuSeconds(c->clock) - c->cpuStart;
            break;
        }
    SVReceiver_stop(receiver);
    SVReceiver_destroy(receiver);
    for (auto& c : checks)
        m.gaps += c->gaps;
    m.sent = r.frames;
    m.received = total();
    m.maxLagMs = r.maxLagMs;
    m.sendSeconds = r.seconds;
    return m;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = option(argc, argv, "--seconds", 3.0);
    kStreams = std::max(1, std::min(256, static_cast<int>(option(argc, argv, "--streams", kStreams))));
    senderThreads() = std::max(1, static_cast<int>(option(argc, argv, "--senders", senderThreads())));
    std::string a, b;
    if (!setUp("bench_sv_pool", true, " for the veth pair and raw sockets", "ixbs", a, b))
        return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Streams streams(a);
    if (!streams.ok()) {
        std::fprintf(stderr, "bench_sv_pool: cannot open the publishers\n");
        return 1;
    }
    const uint64_t samples = static_cast<uint64_t>(seconds * kFramesPerSecond);
    std::printf("SV load: %d streams x %d frames/s (%d channels), %.1f s (%llu frames) over veth %s -> %s, "
                "%d sender threads\n",
                kStreams, kFramesPerSecond, kChannels, seconds,
                static_cast<unsigned long long>(samples * kStreams), a.c_str(), b.c_str(), senderThreads());
    Recording rec;
    if (!record(streams, b, rec)) {
        std::fprintf(stderr, "bench_sv_pool: cannot record the streams' frames\n");
        return 1;
    }
    Measurement base = measureRawSocket(rec, a, b, samples);
    Measurement shared = measureSharedReceiver(rec, a, b, samples);
    std::vector<uint64_t> perStream;
    Measurement subs = measureSubscribers(rec, a, b, samples, perStream);
    // The same subscribers reading the socket's receive queue (recvmmsg) instead of the ring.
    const size_t ringBytes = Ethernet_getReceiverRingSize();
    Ethernet_setReceiverRingSize(0);
    std::vector<uint64_t> queuePerStream;
    Measurement queue = measureSubscribers(rec, a, b, samples, queuePerStream);
    Ethernet_setReceiverRingSize(ringBytes);
    auto row = [&](const char* name, const Measurement& m) {
        std::printf(
            "  %-26s sent %8llu  received %8llu  loss %6.3f%%  gaps %4llu  cpu %6.3f us/frame (x%.2f)  "
            "sent at %.0f/s, lag max %.2f ms\n",
            name, static_cast<unsigned long long>(m.sent), static_cast<unsigned long long>(m.received),
            m.lossPercent(), static_cast<unsigned long long>(m.gaps), m.cpuPerFrameUs(),
            base.cpuPerFrameUs() > 0 ? m.cpuPerFrameUs() / base.cpuPerFrameUs() : 0, m.sendRate(),
            m.maxLagMs);
    };
    row("packet socket (base)", base);
    const std::string n = std::to_string(kStreams);
    row(("1 SVReceiver, " + n + " subscr.").c_str(), shared);
    row((n + " x InnerSvSubscriber").c_str(), subs);
    row("subscribers, receive queue", queue);
    std::printf("  per stream ASDUs:");
    for (uint64_t n : perStream)
        std::printf(" %llu", static_cast<unsigned long long>(n));
    std::printf(" (each expected %llu)\n", static_cast<unsigned long long>(samples));
    std::printf("  delivered / baseline: x%.4f\n",
                base.received ? double(subs.received) / double(base.received) : 0);
    removeVeth();
    return 0;
}
