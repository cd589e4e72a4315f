#pragma once
#include "acquisition/GooseIn.h"
#include "acquisition/IMmsPool.h"
#include "acquisition/InnerGooseSubscriber.h"
#include "acquisition/PoolValues.h"
#include "host/NonCopyable.h"
#include "host/Result.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace VorIec61850 {

// The acquisition pool for GOOSE: subscribes to the messages named by a GooseIn target and,
// for each accepted message, replaces its value list with new elements (a copy of the value of
// each wanted path, whole data objects and structures included, with the time stamp of its data
// object) and emits valuesUpdated, then timestampUpdated, on the receive thread.
class GooseSubscriberPool : public virtual IMmsPool, Vor::NonCopyable {
public:
    GooseSubscriberPool();
    ~GooseSubscriberPool() override;

    // Time stamp in milliseconds of the message that caused the refresh.
    sigc::signal<void, uint64_t> timestampUpdated;

    // Refused while running ("Goose.setTargetError"), without paths ("Pool.noPaths"), with a data
    // set XML that does not parse or has no members ("Goose.invalidDataSet"), and with a path that
    // is not in the data set ("Pool.unknownPath"); target and values then stay as they were.
    Vor::Result setTarget(const GooseIn& target);
    const GooseIn& getTarget() const { return _target; }
    // The target with a time path after each value path, as handed to the inner subscriber.
    const GooseIn& getTimePairTarget() const { return _subscriber.getTarget(); }

    // false when running or when a receiver cannot be started (getLastError says which).
    bool start() override;
    bool stop() override;
    bool isRunning() const override;
    MmsValueElementList getValues() const override { return _values.snapshot(); }
    std::string getLastError() const override { return _error.get(); }

    // State and sequence numbers of the message that caused the last refresh (0 before any);
    // set before valuesUpdated is emitted, so its slots read the numbers of their message.
    uint32_t getStNum() const { return _stNum.load(); }
    uint32_t getSqNum() const { return _sqNum.load(); }

    // Receivers of the inner subscriber (one per listened interface while running).
    size_t getReceiverCount() const { return _subscriber.getReceiverCount(); }

private:
    void _gooseCallback(GooseSubscriber subscriber);

    InnerGooseSubscriber _subscriber;
    GooseIn _target;
    PoolValues _values;
    PoolError _error;
    std::atomic<uint32_t> _stNum{0};
    std::atomic<uint32_t> _sqNum{0};
    // Keeps setTarget, start and stop of callers on different threads apart.
    std::mutex _controlMutex;
};

} // namespace VorIec61850
