#pragma once
// The report receiver behind MmsReportPool: one MMS client connection to an IED, the report
// control block enabled on it, and the mapping of the wanted paths onto the report's data set.
#include "acquisition/MmsReportTarget.h"
#include "host/NonCopyable.h"
#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"

#include "iec61850_client.h"
#include "linked_list.h"
#include "mms_value.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

// Receives the reports of one report control block for an expanded target (value and time paths
// alternating). Each path is located in the report's data set (member, then components, from the
// IED's type descriptions); for each report the receiver points, per path, to its value inside
// that report, and the pointers are valid only while reportReceived is emitted.
//
// Threads: start(), stop() and setTarget() run on the caller's thread and perform blocking MMS
// services; reports, raw messages and connectionLost arrive on the connection's receive thread.
// No callback runs after stop() returns. stop() must not be called from a handler of the signals.
class MmsReportReciver : Vor::NonCopyable {
public:
    using IndexPath = MmsDatasetHelper::IndexPath;

    // `number` is an identifier the host may attach to the receiver (for example to tell several
    // pools apart); reception does not use it.
    explicit MmsReportReciver(uint64_t number = 0);
    ~MmsReportReciver();

    // Every MMS message of the connection: bytes, length, true when received (false when sent).
    sigc::signal<void, uint8_t*, int32_t, bool> rawMessageReceived;
    // Each report of the control block, after the value pointers have been updated.
    sigc::signal<void, ClientReport> reportReceived;
    // The connection ended without stop() (the IED closed it or went away).
    sigc::signal<void> connectionLost;

    // Refused (false) while running.
    bool setTarget(const MmsReportTarget& target);
    const MmsReportTarget& getTarget() const { return _target; }

    // Connects, maps the paths, installs the report handler and enables reporting. false when
    // already running or when any step failed (the receiver is then idle and disconnected;
    // getLastClientError tells the client's error). After a lost connection it starts anew.
    bool start();
    // Disables reporting as far as possible and closes the connection; false when not started.
    bool stop();
    // Started and connected: false again once the connection is lost.
    bool isRunning() const { return _running.load() && !_connectionLost.load(); }
    bool isConnectionLost() const { return _connectionLost.load(); }
    IedClientError getLastClientError() const { return _lastError.load(); }
    // Whether the last failed start() could not connect at all (rather than enable reporting).
    bool didConnectFail() const { return _connectFailed.load(); }
    // Asks the IED for a general interrogation of the enabled block (a report of every member);
    // false when not running or the IED refused. Not from a handler of the signals.
    bool requestGeneralInterrogation();

    // How long connecting may take (3 s unless set).
    void setConnectTimeout(uint32_t milliseconds) { _connectTimeout = milliseconds; }
    uint32_t getConnectTimeout() const { return _connectTimeout; }

    // One pointer per expanded path into the report being delivered, null where it carries no
    // value for the path; read from a handler of reportReceived only.
    const std::vector<MmsValue*>& getMmsValues() const { return _values; }
    const std::vector<IndexPath>& getAssociatedIndexes() const { return _indexes; }
    uint64_t getNumber() const { return _number; }

    // The member references ("LD/LN.DO.DA[FC]") of the data set of a report control block, as a
    // new list the caller destroys with LinkedList_destroy; null when the block or its data set
    // cannot be read. An empty host or reference in `path` stands for the receiver's own target's.
    // Uses the open connection while running, a temporary one otherwise.
    LinkedList getDatasetDirectory(const MmsReportPath& path);
    // The data set of the control block as a structure (one child per member, components from
    // the IED's type descriptions); null when it cannot be read. Same connection rule.
    std::unique_ptr<FCDAElement> getDatasetStructure(const MmsReportPath& path);

    // Processes one report (receive thread).
    void reportCallback(ClientReport report);
    // Passes one raw message on (receive thread).
    void messageCallback(uint8_t* message, int messageLength, bool received);
    // The connection has ended (receive thread).
    void connectionClosed();

private:
    IedConnection _connect(const std::string& host);
    // The data set reference of the control block, empty when it cannot be read.
    std::string _dataSetOf(IedConnection connection, const std::string& rcbReference);
    // Reads the data set of the control block named by path with `read` (given the connection
    // and the data set reference), on the open connection or a temporary one; an empty result
    // when the block, its data set or the read fails.
    template <class Result>
    Result _readDataSet(const MmsReportPath& path,
                        const std::function<Result(IedConnection, const std::string&)>& read);
    bool _createAssociateIndexes();
    // The control block's values read from the IED; null (with *error set) when they cannot be.
    ClientReportControlBlock _readRcb(IedClientError* error);
    // Writes the control block's RptEna; the client error of the read or the write.
    IedClientError _writeRptEna(bool enable);
    bool _installReport();
    bool _enableReport();
    void _disableReport();
    void _closeConnection();

    const uint64_t _number;
    MmsReportTarget _target;
    std::vector<MmsValue*> _values;
    std::vector<IndexPath> _indexes;
    std::atomic<bool> _running{false};
    std::atomic<bool> _connectionLost{false};
    // Set while stop() closes the connection: that close is no loss.
    std::atomic<bool> _closing{false};
    std::atomic<bool> _connectFailed{false};
    std::atomic<IedClientError> _lastError{IED_ERROR_OK};
    uint32_t _connectTimeout = 3000;
    IedConnection _connection = nullptr;
};

// The report handler registered with the protocol stack; parameter is the MmsReportReciver.
void _reportCallbackFunction(void* parameter, ClientReport report);
// The raw message handler registered with the protocol stack; parameter is the MmsReportReciver.
void _messageCallbackFunction(void* parameter, uint8_t* message, int messageLength, bool received);
// The connection-closed handler registered with the protocol stack; parameter is the MmsReportReciver.
void _connectionClosedFunction(void* parameter, IedConnection connection);

} // namespace VorIec61850
