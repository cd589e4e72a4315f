#pragma once
// The report receiver behind MmsReportPool: one MMS client connection to an IED, the report
// control block enabled on it, and the mapping of the wanted paths onto the report's data set.
#include "acquisition/MmsReportTarget.h"

#include "iec61850_client.h"
#include "linked_list.h"
#include "mms_value.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace VorIec61850 {

// Receives the reports of one report control block for an expanded target (value and time paths
// alternating). For each path it keeps a pointer into the data set values that the protocol
// stack keeps for the report handler and updates with every report.
//
// Threads: start(), stop() and setTarget() run on the caller's thread and perform blocking MMS
// services; reports and raw messages arrive on the connection's receive thread, where the value
// pointers are rewritten and the signals are emitted. No callback runs after stop() returns.
// stop() must not be called from a handler of the signals.
class MmsReportReciver {
public:
    // An index path: the position of the data set member, then the positions of the components
    // inside it, level by level; empty when the path was not found.
    using IndexPath = std::vector<int32_t>;

    // `number` is an identifier the host may attach to the receiver (for example to tell several
    // pools apart); reception does not use it.
    explicit MmsReportReciver(uint64_t number = 0);
    ~MmsReportReciver();
    MmsReportReciver(const MmsReportReciver&) = delete;
    MmsReportReciver& operator=(const MmsReportReciver&) = delete;

    // Every MMS message of the connection: bytes, length, true when received (false when sent).
    sigc::signal<void, uint8_t*, int32_t, bool> rawMessageReceived;
    // Each report of the control block, after the value pointers have been updated.
    sigc::signal<void, ClientReport> reportReceived;

    // Refused (false) while running.
    bool setTarget(const MmsReportTarget& target);
    const MmsReportTarget& getTarget() const { return _target; }

    // Connects, maps the paths, installs the report handler and enables reporting. false when
    // already running or when any step failed (the receiver is then idle and disconnected).
    bool start();
    // Disables reporting as far as possible and closes the connection; false when not running.
    bool stop();
    bool isRunning() const { return _running.load(); }
    // Asks the IED for a general interrogation of the enabled block (a report of every member);
    // false when not running or the IED refused. Not from a handler of the signals.
    bool requestGeneralInterrogation();

    // One pointer per expanded path, null until a report delivered it. The values belong to the
    // protocol stack; they stay readable after stop() until the next start() or the receiver's
    // destruction.
    std::vector<MmsValue*>& getMmsValues() { return _values; }
    const std::vector<IndexPath>& getAssociatedIndexes() const { return _indexes; }
    uint64_t getNumber() const { return _number; }

    // The member references ("LD/LN.DO.DA[FC]") of the data set of a report control block, as a
    // new list the caller destroys with LinkedList_destroy; null when the block or its data set
    // cannot be read. An empty host or reference in `path` stands for the receiver's own target's.
    // Uses the open connection while running, a temporary one otherwise.
    LinkedList getDatasetDirectory(const MmsReportPath& path);

    // Processes one report (receive thread).
    void reportCallback(ClientReport report);
    // Passes one raw message on (receive thread).
    void messageCallback(uint8_t* message, int messageLength, bool received);

private:
    bool _createAssociateIndexes();
    // Searches the components of `varType` (a node whose path is `nodePath`) for `wanted`; on success
    // the component positions leading to it are in `components`.
    bool _findComponentIndexes(MmsVariableSpecification* varType, const std::string& nodePath,
                               const std::string& wanted, FunctionalConstraint fc, IndexPath& components);
    bool _installReport();
    bool _enableReport();
    void _disableReport();
    void _closeConnection();
    void _releaseRetiredConnection();

    const uint64_t _number;
    MmsReportTarget _target;
    std::vector<MmsValue*> _values;
    std::vector<IndexPath> _indexes;
    std::atomic<bool> _running{false};
    IedConnection _connection = nullptr;
    // The connection of the last run, closed but not yet destroyed: the value pointers handed out
    // point into the report data it holds.
    IedConnection _retiredConnection = nullptr;
};

// The report handler registered with the protocol stack; parameter is the MmsReportReciver.
void _reportCallbackFunction(void* parameter, ClientReport report);
// The raw message handler registered with the protocol stack; parameter is the MmsReportReciver.
void _messageCallbackFunction(void* parameter, uint8_t* message, int messageLength, bool received);

} // namespace VorIec61850
