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

int64_t ArrivalOrder::nextDueNs(int64_t nowNs) const {
    if (_heap.empty())
        return -1;
    int64_t due = _heap.front()->timeNs + _holdNs - nowNs;
    return due > 0 ? due : 0;
}

} // namespace VorIec61850
