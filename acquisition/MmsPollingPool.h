#pragma once
#include "acquisition/IMmsPool.h"
#include "acquisition/MmsPollingTarget.h"
#include "host/AutoResetEvent.h"
#include "host/Result.h"
#include "mms/MmsPath.h"

#include "iec61850_client.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VorIec61850 {

// The acquisition pool for cyclic MMS reads: one connection to the IED and one thread
// ("MmsPollingPool_readValues") that reads every wanted attribute, and the time stamp "t" (or
// "T") of its data object when the IED has one, then pauses for the target's period. Entries
// whose value or time changed are replaced by new elements and valuesUpdated is emitted on the
// polling thread.
//
// Each element owns the value it points to: the value is released with the last shared pointer
// to the element, so an element the host keeps stays readable.
//
// stop() joins the polling thread; it must not be called from a handler of valuesUpdated.
class MmsPollingPool : public virtual IMmsPool {
public:
    MmsPollingPool() = default;
    ~MmsPollingPool() override;
    MmsPollingPool(const MmsPollingPool&) = delete;
    MmsPollingPool& operator=(const MmsPollingPool&) = delete;

    // Refused while running with the "MmsPolling.running" message; the old target stays.
    Vor::Result setTarget(const MmsPollingTarget& target);
    MmsPollingTarget& getTarget() { return _target; }
    // The time path of each target path ("LD/LN.DO.t[FC]"), empty where none was found; filled
    // by start().
    const std::vector<MmsPath>& getTimePaths() const { return _timePaths; }

    // Connects and starts the polling thread; false when already running or when the IED cannot
    // be reached ("Ied connection service error!").
    bool start() override;
    // Ends the polling thread (at once, also during the pause) and closes the connection.
    bool stop() override;
    bool isRunning() const override { return _running.load(); }
    MmsValueElementList& getValues() override { return _values; }

private:
    bool _stop();
    void _createAssociatePaths();
    std::string _getAssociatedTimePath(const std::string& path);
    void _readValues();
    // A read of a path with FC; null when the IED gave no value or a data access error.
    MmsValue* _read(const std::string& path);
    bool _stopping() const { return _stopRequested.load() || !_running.load(); }

    std::atomic<bool> _running{false};
    std::atomic<bool> _stopRequested{false};
    MmsPollingTarget _target;
    MmsValueElementList _values;
    std::vector<MmsPath> _timePaths;
    IedConnection _connection = nullptr;
    std::thread _thread;
    Vor::AutoResetEvent _wakeEvent;
    // Keeps setTarget, start and stop of callers on different threads apart.
    std::mutex _controlMutex;
};

} // namespace VorIec61850
