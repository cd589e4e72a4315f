// Frames per second through the GOOSE and SV frame decoders alone (no socket), against two
// baselines measured in the same run: a memcpy of the same frames and a plain recursive BER
// walk over them.
//   bench_goose_decode --benchmark_counters_tabular=true
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "stack/src/ber/Ber.h"
#include "stack/src/goose/GooseFrame.h"
#include "stack/src/sv/SvFrame.h"
#include "sv_subscriber.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// A typical protection GOOSE: 8 × (stVal boolean, q 13-bit quality) plus 4 × (mag float, t).
std::vector<uint8_t> gooseFrame() {
    std::vector<MmsValue*> values;
    for (int i = 0; i < 8; ++i) {
        values.push_back(MmsValue_newBoolean(i % 2));
        values.push_back(MmsValue_newBitString(13));
    }
    for (int i = 0; i < 4; ++i) {
        values.push_back(MmsValue_newFloat(50.0f + i));
        values.push_back(MmsValue_newUtcTimeByMsTime(1733400000123ull + i));
    }
    stack::goose::GooseFrameParams p;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    memcpy(p.link.dst, dst, 6);
    p.link.appId = 1;
    p.link.vlan = true;
    p.link.vlanId = 10;
    p.link.vlanPriority = 4;
    p.gocbRef = "IED1LD0/LLN0$GO$gcb1";
    p.datSet = "IED1LD0/LLN0$DS1";
    p.goId = "gcb1";
    p.timeAllowedToLive = 2000;
    p.stNum = 12345;
    p.sqNum = 678;
    p.confRev = 1;
    std::vector<uint8_t> out;
    stack::goose::encodeGooseFrame(p, values.data(), values.size(), out);
    for (auto* v : values)
        MmsValue_delete(v);
    return out;
}

// A 9-2 style frame: one ASDU of 8 channels (INT32 + quality).
std::vector<uint8_t> svFrame() {
    stack::sv::SvFrameParams p;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};
    memcpy(p.link.dst, dst, 6);
    p.link.appId = 0x4000;
    stack::sv::SvAsduParams a;
    a.svId = "MU01SV";
    a.smpCnt = 100;
    a.confRev = 1;
    a.smpSynch = 2;
    a.data.assign(64, 0x11);
    p.asdus.push_back(a);
    std::vector<uint8_t> out;
    stack::sv::encodeSvFrame(p, out);
    return out;
}

size_t walk(stack::ber::Reader r) {
    size_t n = 0;
    stack::ber::Tlv t;
    while (r.next(t)) {
        ++n;
        if (t.constructed)
            n += walk(stack::ber::Reader(t));
    }
    return n;
}

void report(benchmark::State& state, size_t frameSize) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frameSize));
}

// The baseline: copying the frame's bytes once.
void copyFrame(benchmark::State& state, const std::vector<uint8_t>& f) {
    std::vector<uint8_t> copy(f.size());
    for (auto _ : state) {
        memcpy(copy.data(), f.data(), f.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    report(state, f.size());
}

// Every TLV of the frame from offset on, without decoding values.
void walkFrame(benchmark::State& state, const std::vector<uint8_t>& f, size_t offset) {
    for (auto _ : state)
        benchmark::DoNotOptimize(walk(stack::ber::Reader(f.data() + offset, f.size() - offset)));
    report(state, f.size());
}

void BM_GooseMemcpy(benchmark::State& state) {
    copyFrame(state, gooseFrame());
}

void BM_GooseBerWalk(benchmark::State& state) {
    walkFrame(state, gooseFrame(), 14 + 4 + 8);
}

void BM_GooseParseHeader(benchmark::State& state) {
    auto f = gooseFrame();
    stack::goose::GooseMessage m;
    for (auto _ : state)
        benchmark::DoNotOptimize(stack::goose::parseGooseFrame(f.data(), f.size(), nullptr, m));
    report(state, f.size());
}

void count(GooseSubscriber, void* p) {
    ++*static_cast<uint64_t*>(p);
}

// The receive path of one frame minus the socket: parse, match, update the data set in place,
// call the listener.
void BM_GooseReceiverFrame(benchmark::State& state) {
    auto f = gooseFrame();
    GooseReceiver r = GooseReceiver_create();
    GooseSubscriber s = GooseSubscriber_create(const_cast<char*>("IED1LD0/LLN0$GO$gcb1"), nullptr);
    uint64_t delivered = 0;
    GooseSubscriber_setListener(s, count, &delivered);
    GooseReceiver_addSubscriber(r, s);
    for (auto _ : state)
        GooseReceiver_handleMessage(r, f.data(), static_cast<int>(f.size()));
    if (delivered != static_cast<uint64_t>(state.iterations()))
        state.SkipWithError("frames were not delivered");
    GooseReceiver_destroy(r);
    report(state, f.size());
}

void BM_SvMemcpy(benchmark::State& state) {
    copyFrame(state, svFrame());
}

void BM_SvBerWalk(benchmark::State& state) {
    walkFrame(state, svFrame(), 14 + 8);
}

void countAsdu(SVSubscriber, void* p, SVSubscriber_ASDU a) {
    *static_cast<uint64_t*>(p) += SVSubscriber_ASDU_getSmpCnt(a) != 0xFFFF;
}

void BM_SvReceiverFrame(benchmark::State& state) {
    auto f = svFrame();
    SVReceiver r = SVReceiver_create();
    SVSubscriber s = SVSubscriber_create(nullptr, 0x4000);
    uint64_t delivered = 0;
    SVSubscriber_setListener(s, countAsdu, &delivered);
    SVReceiver_addSubscriber(r, s);
    for (auto _ : state)
        SVReceiver_handleMessage(r, f.data(), static_cast<int>(f.size()));
    if (delivered != static_cast<uint64_t>(state.iterations()))
        state.SkipWithError("frames were not delivered");
    SVReceiver_destroy(r);
    report(state, f.size());
}

} // namespace

BENCHMARK(BM_GooseMemcpy);
BENCHMARK(BM_GooseBerWalk);
BENCHMARK(BM_GooseParseHeader);
BENCHMARK(BM_GooseReceiverFrame);
BENCHMARK(BM_SvMemcpy);
BENCHMARK(BM_SvBerWalk);
BENCHMARK(BM_SvReceiverFrame);

BENCHMARK_MAIN();
