#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Vor {

// An event that releases one waiter and then resets itself.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySet = false) : _set(initiallySet) {}

    void set() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _set = true;
        }
        _cv.notify_one();
    }

    void reset() {
        std::lock_guard<std::mutex> lock(_mutex);
        _set = false;
    }

    // Returns true when the event was set, false at the time-out; a set event is consumed.
    bool waitOne(int timeoutMs) {
        std::unique_lock<std::mutex> lock(_mutex);
        bool signalled = _cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return _set; });
        _set = false;
        return signalled;
    }

private:
    std::mutex _mutex;
    std::condition_variable _cv;
    bool _set;
};

} // namespace Vor
