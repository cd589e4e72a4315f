#pragma once
#include "acquisition/IMmsPool.h"
#include "acquisition/MmsReportPoolReciver.h"
#include "acquisition/MmsReportTarget.h"
#include "acquisition/PoolValues.h"
#include "host/NonCopyable.h"
#include "host/Result.h"

#include <sigc++/sigc++.h>

#include <cstdint>
#include <mutex>

namespace VorIec61850 {

// The acquisition pool for MMS reports: enables one report control block of an IED and, for
// each report, replaces its value list with new elements (a copy of the value of each wanted
// path, whole data objects included, with the time stamp of its data object) and emits
// valuesUpdated, then timestampUpdated, on the connection's receive thread.
//
// When the connection is lost (the IED closes it or goes away) the pool emits connectionLost on
// the receive thread, isRunning() turns false, getLastError() tells which IED was lost, and the
// elements delivered so far stay; start() then connects anew.
class MmsReportPool : public virtual IMmsPool, Vor::NonCopyable {
public:
    // `number` is kept by the receiver for the host (see MmsReportReciver); reception ignores it.
    explicit MmsReportPool(uint64_t number = 0);
    ~MmsReportPool() override;

    // Time stamp in milliseconds of the report that caused the refresh (0 when it has none).
    sigc::signal<void, uint64_t> timestampUpdated;
    // The connection ended while running (receive thread).
    sigc::signal<void> connectionLost;

    // Refused (false, no message) while running. Reads the control block's data set from the
    // IED to locate each path and pair it with its time path: "MmsReport.missingRCB" when that
    // fails, "Pool.noPaths" without paths, "Pool.unknownPath" for a path not in the data set.
    Vor::Result setTarget(const MmsReportTarget& target);
    const MmsReportTarget& getTarget() const { return _target; }
    // The target with a time path after each value path, as handed to the receiver.
    const MmsReportTarget& getTimePairTarget() const { return _reciver.getTarget(); }

    // false when running or when the IED cannot be reached or reporting cannot be enabled;
    // getLastError() and getLastClientError() then tell why.
    bool start() override;
    bool stop() override;
    bool isRunning() const override;
    // A general interrogation of the running block: one report with every member.
    bool requestGeneralInterrogation();
    MmsValueElementList getValues() const override { return _values.snapshot(); }
    std::string getLastError() const override { return _error.get(); }
    IedClientError getLastClientError() const { return _reciver.getLastClientError(); }
    bool isConnectionLost() const { return _reciver.isConnectionLost(); }

    // How long connecting may take, in milliseconds (3000 unless set).
    void setConnectTimeout(uint32_t milliseconds) { _reciver.setConnectTimeout(milliseconds); }

    // The receiver, for its raw message signal and diagnostics.
    MmsReportReciver& getReciver() { return _reciver; }

private:
    void _reportCallback(ClientReport report);
    void _connectionLost();

    MmsReportReciver _reciver;
    MmsReportTarget _target;
    PoolValues _values;
    PoolError _error;
    // Keeps setTarget, start and stop of callers on different threads apart.
    std::mutex _controlMutex;
};

} // namespace VorIec61850
