#pragma once
#include "acquisition/IMmsPool.h"
#include "acquisition/MmsReportPoolReciver.h"
#include "acquisition/MmsReportTarget.h"
#include "host/Result.h"

#include <sigc++/sigc++.h>

#include <cstdint>
#include <mutex>

namespace VorIec61850 {

// The acquisition pool for MMS reports: enables one report control block of an IED and, for
// each report, replaces its value list with new elements (value and time stamp of each wanted
// attribute) and emits valuesUpdated, then timestampUpdated, on the connection's receive thread.
//
// The values point into the report data of the protocol stack. They stay readable after stop()
// until the next start() or the pool's destruction; start() empties the list first.
class MmsReportPool : public virtual IMmsPool {
public:
    // `number` is kept by the receiver for the host (see MmsReportReciver); reception ignores it.
    explicit MmsReportPool(uint64_t number = 0);
    ~MmsReportPool() override;
    MmsReportPool(const MmsReportPool&) = delete;
    MmsReportPool& operator=(const MmsReportPool&) = delete;

    // Time stamp in milliseconds of the report that caused the refresh (0 when it has none).
    sigc::signal<void, uint64_t> timestampUpdated;

    // Refused (false, no message) while running. Reads the data set of the control block from
    // the IED to pair each path with its time path; when that fails the result carries the
    // "MmsReport.missingRCB" message.
    Vor::Result setTarget(const MmsReportTarget& target);
    const MmsReportTarget& getTarget() const { return _target; }
    // The target with a time path after each value path, as handed to the receiver.
    const MmsReportTarget& getTimePairTarget() const { return _reciver.getTarget(); }

    bool start() override;
    bool stop() override;
    bool isRunning() const override;
    // A general interrogation of the running block: one report with every member.
    bool requestGeneralInterrogation();
    MmsValueElementList& getValues() override;

    // The receiver, for its raw message signal and diagnostics.
    MmsReportReciver& getReciver() { return _reciver; }

private:
    void _reportCallback(ClientReport report);

    MmsReportReciver _reciver;
    MmsReportTarget _target;
    MmsValueElementList _values;
    // Keeps setTarget, start and stop of callers on different threads apart.
    std::mutex _controlMutex;
};

} // namespace VorIec61850
