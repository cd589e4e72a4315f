#pragma once
// Pieces shared by the tests that drive the stack's client: owned values, name lists as vectors,
// bounded waits, records of callbacks, and a client connected to the simulated IED of simple.cid.
#include "iec61850_client.h"
#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace iecx {
namespace test {

struct ValueDeleter {
    void operator()(MmsValue* v) const { MmsValue_delete(v); }
};
using Value = std::unique_ptr<MmsValue, ValueDeleter>;
using Strings = std::vector<std::string>;

// The strings of a list the client returned; the list is released (null: empty).
inline Strings toVector(LinkedList list) {
    Strings out;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e))
        out.emplace_back(static_cast<const char*>(LinkedList_getData(e)));
    LinkedList_destroy(list);
    return out;
}

// Polls `done` every millisecond until it holds or the time is up; the last answer.
template <typename Pred> bool waitUntil(Pred done, int timeoutMs = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Waits until `counter` reached `target`.
inline bool waitForCount(const std::atomic<int>& counter, int target, int timeoutMs = 3000) {
    return waitUntil([&] { return counter.load() >= target; }, timeoutMs);
}

// What a callback on another thread records, read under the same lock.
template <typename T> class Recorded {
public:
    void add(T item) {
        std::lock_guard<std::mutex> lock(_mutex);
        _items.push_back(std::move(item));
    }
    std::vector<T> take() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _items;
    }

private:
    mutable std::mutex _mutex;
    std::vector<T> _items;
};

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A new connection to `sim`, or null.
inline IedConnection connectTo(const SimIed& sim) {
    IedConnection c = IedConnection_create();
    IedClientError err;
    IedConnection_connect(c, &err, sim.host().c_str(), sim.port());
    if (err == IED_ERROR_OK)
        return c;
    IedConnection_destroy(c);
    return nullptr;
}

// A client connected to the simulated IED of simple.cid (IED "SIMIED").
class SimpleIedClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok()) << sim.error();
        con = connectTo(sim);
        ASSERT_NE(con, nullptr);
    }
    void TearDown() override {
        if (con)
            IedConnection_destroy(con);
    }
    // Reads one object; an error code other than OK fails the test unless `errOut` takes it.
    Value read(const char* ref, FunctionalConstraint fc, IedClientError* errOut = nullptr) {
        IedClientError err;
        Value v(IedConnection_readObject(con, &err, ref, fc));
        if (errOut)
            *errOut = err;
        else
            EXPECT_EQ(err, IED_ERROR_OK) << ref;
        return v;
    }
    SimIed sim{simData("simple.cid"), "SIMIED"};
    IedConnection con = nullptr;
};

} // namespace test
} // namespace iecx
