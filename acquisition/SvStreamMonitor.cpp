#include "acquisition/SvStreamMonitor.h"

namespace VorIec61850 {

SvStreamMonitor::SvStreamMonitor(std::chrono::milliseconds window) : _window(window) {
    _subscriber.asduReceived.connect(sigc::mem_fun(*this, &SvStreamMonitor::onAsdu));
}

SvStreamMonitor::~SvStreamMonitor() {
    _subscriber.stop();
}

bool SvStreamMonitor::setTarget(const SvIn& target) {
    return _subscriber.setTarget(target);
}

bool SvStreamMonitor::start() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _state = Snapshot();
        _seen = false;
        _arrivals.clear();
    }
    return _subscriber.start();
}

bool SvStreamMonitor::stop() {
    return _subscriber.stop();
}

SvStreamMonitor::Snapshot SvStreamMonitor::getSnapshot() const {
    std::lock_guard<std::mutex> lock(_mutex);
    Snapshot copy = _state;
    if (!_arrivals.empty()) {
        // The rate decays when the stream stops instead of freezing at its last value.
        const auto now = std::chrono::steady_clock::now();
        std::size_t recent = 0;
        for (auto it = _arrivals.rbegin(); it != _arrivals.rend() && now - *it <= _window; ++it)
            ++recent;
        copy.rate = static_cast<double>(recent) / std::chrono::duration<double>(_window).count();
    }
    return copy;
}

void SvStreamMonitor::onAsdu(SVSubscriber, SVSubscriber_ASDU asdu) {
    const auto now = std::chrono::steady_clock::now();
    const uint16_t smpCnt = SVSubscriber_ASDU_getSmpCnt(asdu);
    const uint16_t smpRate = SVSubscriber_ASDU_getSmpRate(asdu);
    const char* svId = SVSubscriber_ASDU_getSvId(asdu);
    const int length = SVSubscriber_ASDU_getDataSize(asdu);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_seen) {
            // smpCnt wraps at the number of samples per second when the rate is given per
            // second, and at 4000/4800-style counts otherwise; a step that is neither +1 nor a
            // wrap to 0 is a gap.
            const bool next = smpCnt == static_cast<uint16_t>(_state.lastSmpCnt + 1);
            const bool wrapped = smpCnt == 0;
            if (!next && !wrapped)
                ++_state.gaps;
        }
        _seen = true;
        _state.lastSmpCnt = smpCnt;
        _state.smpRate = smpRate;
        _state.svId = svId ? svId : "";
        ++_state.asdus;
        const int channels = length > 0 ? length / 8 : 0;
        _state.values.resize(static_cast<std::size_t>(channels));
        _state.qualities.resize(static_cast<std::size_t>(channels));
        for (int i = 0; i < channels; ++i) {
            _state.values[static_cast<std::size_t>(i)] = SVSubscriber_ASDU_getINT32(asdu, i * 8);
            _state.qualities[static_cast<std::size_t>(i)] = SVSubscriber_ASDU_getINT32U(asdu, i * 8 + 4);
        }
        _arrivals.push_back(now);
        while (!_arrivals.empty() && now - _arrivals.front() > _window)
            _arrivals.pop_front();
    }
    updated.emit();
}

} // namespace VorIec61850
