#include "capture/ArrivalOrder.h"

#include <algorithm>
#include <cstring>

namespace VorIec61850 {

namespace {

// std heap functions build a max-heap: "less" here means "later".
template <class T> bool later(const T* a, const T* b) {
    return a->timeNs != b->timeNs ? a->timeNs > b->timeNs : a->sequence > b->sequence;
}

} // namespace

void ArrivalOrder::add(const uint8_t* data, uint32_t length, uint32_t originalLength, int64_t timeNs) {
    Held* held;
    if (_free.empty()) {
        _storage.push_back(std::make_unique<Held>());
        held = _storage.back().get();
    } else {
        held = _free.back();
        _free.pop_back();
    }
    held->timeNs = timeNs;
    held->sequence = _sequence++;
    held->length = length;
    held->originalLength = originalLength;
    held->bytes.assign(data, data + length);
    _heap.push_back(held);
    std::push_heap(_heap.begin(), _heap.end(), later<Held>);
}

ArrivalOrder::Held* ArrivalOrder::_popOldest() {
    std::pop_heap(_heap.begin(), _heap.end(), later<Held>);
    Held* held = _heap.back();
    _heap.pop_back();
    return held;
}

size_t ArrivalOrder::release(int64_t nowNs, bool all,
                             const std::function<void(const CapturedFrame*, size_t)>& fn) {
    size_t count = 0;
    for (;;) {
        _batch.clear();
        _batchFrames.clear();
        while (_batch.size() < kMaxBatch && !_heap.empty() &&
               (all || _heap.front()->timeNs <= nowNs - _holdNs)) {
            Held* held = _popOldest();
            if (held->timeNs < _lastNs) {
                // Late beyond the window (the kernel held it back, on a loaded machine): it
                // takes the time of the frame before it, and the window grows to twice that
                // lateness so that the next such frame is put in its place instead.
                _holdNs = std::min(std::max(_holdNs, 2 * (_lastNs - held->timeNs)), kMaxHoldNs);
                held->timeNs = _lastNs;
            }
            _lastNs = held->timeNs;
            CapturedFrame frame;
            frame.data = held->bytes.data();
            frame.length = held->length;
            frame.originalLength = held->originalLength;
            frame.seconds = static_cast<uint32_t>(held->timeNs / 1000000000);
            frame.nanoseconds = static_cast<uint32_t>(held->timeNs % 1000000000);
            _batch.push_back(held);
            _batchFrames.push_back(frame);
        }
        if (_batch.empty())
            return count;
        fn(_batchFrames.data(), _batchFrames.size());
        count += _batch.size();
        _free.insert(_free.end(), _batch.begin(), _batch.end());
    }
}

int64_t ArrivalOrder::nextDueNs(int64_t nowNs) const {
    if (_heap.empty())
        return -1;
    int64_t due = _heap.front()->timeNs + _holdNs - nowNs;
    return due > 0 ? due : 0;
}

} // namespace VorIec61850
