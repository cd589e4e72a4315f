#pragma once
// Helpers of the pool tests: the address of a simulated IED, values set in it, and a recorder of
// what a pool's valuesUpdated delivered (the MMS pools' and the GOOSE pool's alike).
#include "acquisition/IMmsPool.h"
#include "support/SimIed.h"

#include "mms_value.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mmspooltest {

using namespace VorIec61850;
using Clock = std::chrono::steady_clock;

inline std::string hostOf(const iecx::test::SimIed& sim) {
    return sim.host() + ":" + std::to_string(sim.port());
}

// Sets a value in the simulated IED and releases it.
inline bool setSim(iecx::test::SimIed& sim, const std::string& reference, MmsValue* value) {
    const bool ok = sim.ied().setValue(reference, value);
    MmsValue_delete(value);
    EXPECT_TRUE(ok) << reference;
    return ok;
}

// The time stamp the simulated IED serves at `reference`, 0 when there is none.
inline uint64_t simTime(iecx::test::SimIed& sim, const std::string& reference) {
    MmsValue* v = sim.ied().getValue(reference);
    const uint64_t t = v ? MmsValue_getUtcTimeInMs(v) : 0;
    MmsValue_delete(v);
    return t;
}

inline uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// What one refresh delivered, read inside the handler (later refreshes overwrite the values).
struct Delivery {
    MmsValueElementList elements;
    std::vector<bool> present;
    std::vector<std::string> text;
    std::vector<uint64_t> time;
    std::vector<MmsValue*> pointer;
    std::thread::id thread;
    std::string threadName;
};

// Records valuesUpdated (and timestampUpdated when the pool has it).
class Recorder {
public:
    explicit Recorder(IMmsPool& pool) : _pool(pool) {
        pool.valuesUpdated.connect([this] { _onValues(); });
    }
    template <class Pool> Recorder(Pool& pool, bool withTimestamps) : Recorder(static_cast<IMmsPool&>(pool)) {
        if (withTimestamps)
            pool.timestampUpdated.connect([this](uint64_t t) {
                std::lock_guard<std::mutex> lock(_mutex);
                _timestamps.push_back(t);
            });
    }

    // Waits until `predicate` holds for a delivery (checked on every new one).
    template <class Predicate> bool waitFor(Predicate predicate, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(_mutex);
        size_t seen = 0;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            for (; seen < _deliveries.size(); ++seen)
                if (predicate(_deliveries[seen]))
                    return true;
            if (_cv.wait_until(lock, deadline) == std::cv_status::timeout && seen == _deliveries.size())
                return false;
        }
    }
    bool waitForCount(size_t count, int timeoutMs = 5000) {
        return waitFor([&, n = size_t(0)](const Delivery&) mutable { return ++n >= count; }, timeoutMs);
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _deliveries.size();
    }
    Delivery last() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _deliveries.back();
    }
    std::vector<Delivery> deliveries() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _deliveries;
    }
    std::vector<uint64_t> timestamps() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _timestamps;
    }

private:
    void _onValues() {
        Delivery d;
        d.thread = std::this_thread::get_id();
        char name[32] = "";
        pthread_getname_np(pthread_self(), name, sizeof name);
        d.threadName = name;
        d.elements = _pool.getValues();
        for (const auto& element : d.elements) {
            d.present.push_back(element != nullptr);
            char buffer[128] = "";
            if (element && element->getValue())
                MmsValue_printToBuffer(element->getValue(), buffer, sizeof buffer);
            d.text.push_back(buffer);
            d.time.push_back(element ? element->getUnixTimestamp() : 0);
            d.pointer.push_back(element ? element->getValue() : nullptr);
        }
        std::lock_guard<std::mutex> lock(_mutex);
        _deliveries.push_back(d);
        _cv.notify_all();
    }

    IMmsPool& _pool;
    std::mutex _mutex;
    std::condition_variable _cv;
    std::vector<Delivery> _deliveries;
    std::vector<uint64_t> _timestamps;
};

// Starts, stops and retargets `pool` from three threads while the IED's values change; afterwards
// a clean start still delivers, and its lists can be read from another thread meanwhile.
template <class Pool, class Retarget>
void startStopStorm(Pool& pool, iecx::test::SimIed& sim, Retarget retarget) {
    std::atomic<int> updates{0};
    pool.valuesUpdated.connect([&] {
        // Reading the list is safe here: the handler runs on the pool's thread.
        for (const auto& e : pool.getValues())
            if (e && e->getValue())
                MmsValue_getType(e->getValue());
        ++updates;
    });
    sim.ied().changeValuesEvery(5);
    std::atomic<int> started{0};
    auto worker = [&] {
        for (int i = 0; i < 8; ++i) {
            if (pool.start())
                ++started;
            std::this_thread::sleep_for(std::chrono::milliseconds(12));
            pool.stop();
            pool.isRunning();
        }
    };
    std::thread a(worker), b(worker);
    std::thread c([&] {
        for (int i = 0; i < 15; ++i) {
            retarget(i);
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    });
    a.join();
    b.join();
    c.join();
    pool.stop();
    EXPECT_GT(started.load(), 0);
    EXPECT_FALSE(pool.isRunning());
    // Whether the short runs above caught a change depends on the machine's load: the check that
    // values flow is made on a run of its own, while another thread (the host's user-interface
    // thread) reads the lists the pool refreshes.
    const int before = updates.load();
    ASSERT_TRUE(pool.start()) << pool.getLastError();
    std::atomic<bool> done{false};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            for (const auto& element : pool.getValues())
                if (element && element->getValue()) {
                    char text[256];
                    MmsValue_printToBuffer(element->getValue(), text, sizeof text);
                    element->getUnixTimestamp();
                    ++reads;
                }
            std::this_thread::yield();
        }
    });
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (updates.load() < before + 3 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const MmsValueElementList kept = pool.getValues();
    EXPECT_TRUE(pool.stop());
    done = true;
    reader.join();
    sim.ied().changeValuesEvery(0);
    EXPECT_GT(updates.load(), before);
    EXPECT_GT(reads.load(), 0);
    // Elements kept past stop() are still whole.
    for (const auto& element : kept) {
        if (element && element->getValue()) {
            EXPECT_NE(MmsValue_getType(element->getValue()), MMS_DATA_ACCESS_ERROR);
        }
    }
}

} // namespace mmspooltest
