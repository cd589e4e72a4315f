#pragma once
#include "acquisition/InnerSvSubscriber.h"
#include "acquisition/SvIn.h"
#include "host/NonCopyable.h"

#include <sigc++/sigc++.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace VorIec61850 {

// Watches one Sampled Values stream: counts frames and smpCnt gaps, measures the current frame
// rate over a sliding window and keeps the latest sample of every channel (the 9-2LE layout: a
// 32-bit value followed by a 32-bit quality word per channel). The host reads a locked snapshot
// from any thread; `updated` is emitted on the receive thread after each ASDU.
class SvStreamMonitor : Vor::NonCopyable {
public:
    struct Snapshot {
        std::string svId;
        uint64_t asdus = 0;
        // smpCnt steps other than +1 (with wrap-around at the stream's rate).
        uint64_t gaps = 0;
        uint16_t lastSmpCnt = 0;
        uint16_t smpRate = 0;
        // ASDUs per second over the last window (one second, or what has passed of it).
        double rate = 0;
        std::vector<int32_t> values;
        std::vector<uint32_t> qualities;
    };

    explicit SvStreamMonitor(std::chrono::milliseconds window = std::chrono::milliseconds(1000));
    ~SvStreamMonitor();

    sigc::signal<void> updated;

    // Refused (false) while running.
    bool setTarget(const SvIn& target);
    const SvIn& getTarget() const { return _subscriber.getTarget(); }
    bool start();
    bool stop();
    bool isRunning() const { return _subscriber.isRunning(); }
    Snapshot getSnapshot() const;

    // Feeds one ASDU as the receive thread does; public for the subscriber's signal.
    void onAsdu(SVSubscriber subscriber, SVSubscriber_ASDU asdu);

private:
    InnerSvSubscriber _subscriber;
    const std::chrono::steady_clock::duration _window;
    mutable std::mutex _mutex;
    Snapshot _state;
    bool _seen = false;
    std::deque<std::chrono::steady_clock::time_point> _arrivals;
};

} // namespace VorIec61850
