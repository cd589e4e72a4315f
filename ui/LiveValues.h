#pragma once
#include "acquisition/SvStreamMonitor.h"
#include "mms/MmsValueElement.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace iecx::ui {

// The latest state of one acquired value, as the page shows it.
struct ValueState {
    std::string path;     // object path of the checked leaf
    std::string text;     // the value as text, empty until the first value
    bool numeric = false; // number holds the value (booleans count as 0 and 1)
    double number = 0;
    uint64_t timestamp = 0; // milliseconds since 1970, the device's time stamp
    std::string quality;    // "good", "invalid", "questionable" (+ " test"), empty when unknown
    uint64_t updates = 0;   // how many times the value arrived
    uint64_t sequence = 0;  // the change counter of the last update
};

// The bridge between the pools and the page. Pools call store() on their worker threads; it
// copies what the page needs into a fixed set of entries under one short lock and returns, so
// a slow or closed browser never holds a pool up. The streams to the page read the entries
// that changed since their last look at their own pace, which coalesces fast values.
class LiveValues {
public:
    explicit LiveValues(std::size_t maxValues = 4096);

    // Starts a new acquisition of these paths (at most maxValues of them are kept).
    void reset(const std::vector<std::string>& paths);
    // Copies a pool's value list; entry i belongs to path i. Missing entries keep their state.
    void store(const VorIec61850::MmsValueElementList& values);
    // The GOOSE state and sequence numbers of the message about to be stored.
    void setMessageNumbers(uint32_t stNum, uint32_t sqNum);
    void countMessage();
    void countError();

    struct Changes {
        uint64_t generation = 0; // changes on each reset
        uint64_t sequence = 0;   // pass back to the next call
        uint64_t messages = 0;
        uint64_t errors = 0;
        bool all = false;      // the list holds every value (a new acquisition)
        bool numbered = false; // stNum and sqNum are those of the last GOOSE message
        uint32_t stNum = 0;
        uint32_t sqNum = 0;
        std::vector<ValueState> values;
    };
    // The values changed after `sequence` of `generation`; every value after a reset.
    Changes changedSince(uint64_t generation, uint64_t sequence) const;
    uint64_t sequence() const;

    // The value as display text, its number when it has one, and its quality when it is or holds one.
    static void describe(const MmsValue* value, ValueState& state);

private:
    const std::size_t _maxValues;
    mutable std::mutex _mutex;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<ValueState> _values;
    std::vector<std::size_t> _qualityOf; // index of the value's quality attribute, or kNone
    uint64_t _generation = 0;
    uint64_t _sequence = 0;
    uint64_t _messages = 0;
    uint64_t _errors = 0;
    bool _numbered = false;
    uint32_t _stNum = 0;
    uint32_t _sqNum = 0;
};

// The recent samples of each channel of a Sampled Values stream, for drawing the current
// waveform, with the stream's counters. Stored on the receive thread for every ASDU.
class SvWaveforms {
public:
    explicit SvWaveforms(std::size_t samples = 480);

    void reset();
    void store(const VorIec61850::SvStreamMonitor::Snapshot& snapshot);

    struct View {
        uint64_t version = 0;                            // grows with every stored ASDU
        VorIec61850::SvStreamMonitor::Snapshot counters; // without the channel values
        std::vector<std::vector<int32_t>> channels;      // oldest sample first
    };
    View view() const;
    uint64_t version() const;

private:
    const std::size_t _samples;
    mutable std::mutex _mutex;
    uint64_t _version = 0;
    VorIec61850::SvStreamMonitor::Snapshot _counters;
    std::vector<std::vector<int32_t>> _rings;
    std::size_t _next = 0; // ring position of the next sample
    std::size_t _filled = 0;
};

} // namespace iecx::ui
