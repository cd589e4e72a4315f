#pragma once
#include "acquisition/IMmsPool.h"
#include "acquisition/MmsPollingTarget.h"
#include "acquisition/PoolValues.h"
#include "host/AutoResetEvent.h"
#include "host/NonCopyable.h"
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
// ("MmsPollingPool_readValues") that reads every wanted path, and the time stamp "t" (or "T") of
// its data object when the IED has one, then pauses for the target's period. Entries whose value
// or time changed are replaced by new elements and valuesUpdated is emitted on the polling
// thread. The elements own their values.
//
// When the connection is lost the thread ends at once (no retries that would spin), the pool
// emits connectionLost on the polling thread, isRunning() turns false and getLastError() tells
// which IED was lost; start() then connects anew.
//
// stop() joins the polling thread; it must not be called from a handler of the signals.
class MmsPollingPool : public virtual IMmsPool, Vor::NonCopyable {
public:
    MmsPollingPool() = default;
    ~MmsPollingPool() override;

    // The connection ended while polling (polling thread).
    sigc::signal<void> connectionLost;

    // Refused while running ("MmsPolling.running"; the old target stays), without paths
    // ("Pool.noPaths") and for a path without a functional constraint ("MmsPolling.noFC").
    Vor::Result setTarget(const MmsPollingTarget& target);
    // The target as given; the polling thread works on its own copy, so changing it while
    // running changes nothing before the next start().
    MmsPollingTarget& getTarget() { return _target; }
    // The time path of each target path ("LD/LN.DO.t[FC]"), empty where none was found; filled
    // by start().
    const std::vector<MmsPath>& getTimePaths() const { return _timePaths; }

    // Connects and starts the polling thread; false when running or when the IED cannot be
    // reached (getLastError() and getLastClientError() tell why).
    bool start() override;
    // Ends the polling thread (at once, also during the pause) and closes the connection.
    bool stop() override;
    bool isRunning() const override { return _running.load() && !_connectionLost.load(); }
    MmsValueElementList getValues() const override { return _values.snapshot(); }
    std::string getLastError() const override { return _error.get(); }
    IedClientError getLastClientError() const { return _lastClientError.load(); }
    bool isConnectionLost() const { return _connectionLost.load(); }

    // How long connecting may take, in milliseconds (3000 unless set).
    void setConnectTimeout(uint32_t milliseconds) { _connectTimeout = milliseconds; }

    // The connection has ended (the stack's receive thread).
    void connectionClosed();

private:
    bool _stop();
    void _createAssociatePaths();
    std::string _getAssociatedTimePath(const std::string& path);
    void _readValues();
    // A read of a path with FC; null when the IED gave no value or a data access error.
    MmsValue* _read(const std::string& path);
    bool _stopping() const { return _stopRequested.load() || !_running.load() || _connectionLost.load(); }
    // After a failed read: whether the connection is gone.
    bool _checkConnectionLost();

    std::atomic<bool> _running{false};
    std::atomic<bool> _stopRequested{false};
    std::atomic<bool> _connectionLost{false};
    std::atomic<bool> _closing{false};
    std::atomic<IedClientError> _lastClientError{IED_ERROR_OK};
    MmsPollingTarget _target;
    // What the polling thread reads, fixed at start().
    std::vector<MmsPath> _paths;
    uint64_t _period = 0;
    std::string _host;
    PoolValues _values;
    PoolError _error;
    std::vector<MmsPath> _timePaths;
    uint32_t _connectTimeout = 3000;
    IedConnection _connection = nullptr;
    std::thread _thread;
    Vor::AutoResetEvent _wakeEvent;
    // Keeps setTarget, start and stop of callers on different threads apart.
    std::mutex _controlMutex;
};

} // namespace VorIec61850
