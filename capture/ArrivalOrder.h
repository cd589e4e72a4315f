#pragma once
// Puts captured frames back into the order of their kernel arrival time stamps.
//
// Frames reach user space in queue order, one queue per socket. Within a queue the stamps can
// step back by a few microseconds (two CPUs stamp and enqueue concurrently), and across queues
// (GOOSE and SV, MMS) a later frame can be read before an earlier one. Each frame is therefore
// held for a short window after its stamp and handed over oldest first once the window has
// passed: a frame stamped earlier than that has had the window to reach its queue. Should one
// come later still, it gets the time of the frame before it, so that time in the stream never
// goes backwards, and the window grows to twice its lateness (up to half a second).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace VorIec61850 {

// One frame as it goes into the capture file.
struct CapturedFrame {
    const uint8_t* data = nullptr;
    uint32_t length = 0;         // bytes in data (the frame, or its first snap-length bytes)
    uint32_t originalLength = 0; // the frame's length on the wire
    uint32_t seconds = 0;        // arrival time: seconds since the Unix epoch
    uint32_t nanoseconds = 0;    // and nanoseconds within that second
};

class ArrivalOrder {
public:
    explicit ArrivalOrder(int64_t holdNs) : _holdNs(holdNs) {}

    // Copies the frame in; `timeNs` is its arrival time in nanoseconds since the epoch.
    void add(const uint8_t* data, uint32_t length, uint32_t originalLength, int64_t timeNs);

    // Hands over, oldest first, every frame stamped at least the hold window before nowNs (every
    // frame when `all`), in batches of at most kMaxBatch: fn(frames, count). The frame data is
    // valid during the call only. Returns how many frames were handed over.
    static constexpr size_t kMaxBatch = 256;
    static constexpr int64_t kMaxHoldNs = 500000000;
    size_t release(int64_t nowNs, bool all, const std::function<void(const CapturedFrame*, size_t)>& fn);

    // Nanoseconds from nowNs until the oldest held frame is due (0 when it is); -1 when none is
    // held.
    int64_t nextDueNs(int64_t nowNs) const;
    size_t held() const { return _heap.size(); }
    int64_t holdNs() const { return _holdNs; }

private:
    struct Held {
        int64_t timeNs = 0;
        uint64_t sequence = 0; // keeps frames with equal stamps in queue order
        uint32_t length = 0;
        uint32_t originalLength = 0;
        std::vector<uint8_t> bytes;
    };
    Held* _popOldest();

    int64_t _holdNs;
    int64_t _lastNs = 0;
    uint64_t _sequence = 0;
    std::vector<std::unique_ptr<Held>> _storage;
    std::vector<Held*> _free;
    std::vector<Held*> _heap; // min-heap on (timeNs, sequence)
    std::vector<Held*> _batch;
    std::vector<CapturedFrame> _batchFrames;
};

} // namespace VorIec61850
