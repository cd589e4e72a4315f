#include "acquisition/MmsReportPoolReciver.h"

#include "mms/MmsConnect.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace VorIec61850 {

MmsReportReciver::MmsReportReciver(uint64_t number) : _number(number) {}

MmsReportReciver::~MmsReportReciver() {
    stop();
}

bool MmsReportReciver::setTarget(const MmsReportTarget& target) {
    if (_running.load())
        return false;
    _target = target;
    _values.assign(_target.paths.size(), nullptr);
    _indexes.assign(_target.paths.size(), IndexPath());
    return true;
}

IedConnection MmsReportReciver::_connect(const std::string& host) {
    IedClientError error = IED_ERROR_OK;
    IedConnection connection = connectIed(host, kMmsPort, _connectTimeout, &error);
    _lastError.store(error);
    if (connection == nullptr)
        printf("Ied connection service error!\n");
    return connection;
}

std::string MmsReportReciver::_dataSetOf(IedConnection connection, const std::string& rcbReference) {
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(connection, &error, rcbReference.c_str(), nullptr);
    const char* dataSet = rcb ? ClientReportControlBlock_getDataSetReference(rcb) : nullptr;
    std::string result = error == IED_ERROR_OK && dataSet != nullptr ? dataSet : "";
    if (rcb)
        ClientReportControlBlock_destroy(rcb);
    if (result.empty()) {
        _lastError.store(error != IED_ERROR_OK ? error : IED_ERROR_OBJECT_DOES_NOT_EXIST);
        printf("getRCBValues service error!\n");
    }
    return result;
}

template <class Result>
Result MmsReportReciver::_readDataSet(const MmsReportPath& path,
                                      const std::function<Result(IedConnection, const std::string&)>& read) {
    const std::string& host = path.host.empty() ? _target.report.host : path.host;
    const std::string& rcbReference =
        path.rcbReference.empty() ? _target.report.rcbReference : path.rcbReference;
    IedConnection connection = _connection != nullptr ? _connection : _connect(host);
    if (connection == nullptr)
        return Result();
    Result result = Result();
    const std::string dataSet = _dataSetOf(connection, rcbReference);
    if (!dataSet.empty()) {
        result = read(connection, dataSet);
        if (!result)
            printf("getRCBValues service error!\n");
    }
    if (connection != _connection)
        IedConnection_destroy(connection);
    return result;
}

LinkedList MmsReportReciver::getDatasetDirectory(const MmsReportPath& path) {
    return _readDataSet<LinkedList>(path, [this](IedConnection connection, const std::string& dataSet) {
        IedClientError error = IED_ERROR_OK;
        LinkedList directory =
            IedConnection_getDataSetDirectory(connection, &error, dataSet.c_str(), nullptr);
        if (error != IED_ERROR_OK) {
            _lastError.store(error);
            if (directory)
                LinkedList_destroy(directory);
            directory = nullptr;
        }
        return directory;
    });
}

std::unique_ptr<FCDAElement> MmsReportReciver::getDatasetStructure(const MmsReportPath& path) {
    return _readDataSet<std::unique_ptr<FCDAElement>>(
        path, [this](IedConnection connection, const std::string& dataSet) {
            IedClientError error = IED_ERROR_OK;
            std::unique_ptr<FCDAElement> structure =
                MmsDatasetHelper::createDatasetStructure(connection, dataSet, &error);
            if (!structure)
                _lastError.store(error);
            return structure;
        });
}

bool MmsReportReciver::start() {
    if (_running.load() && _connectionLost.load())
        stop(); // the lost connection of the last run
    if (_running.load())
        return false;
    _running.store(true);
    _connectionLost.store(false);
    _values.assign(_target.paths.size(), nullptr);

    _connection = _connect(_target.report.host);
    _connectFailed.store(_connection == nullptr);
    if (_connection == nullptr) {
        stop();
        return false;
    }
    IedConnection_installConnectionClosedHandler(_connection, _connectionClosedFunction, this);
    if (!_createAssociateIndexes() || !_installReport() || !_enableReport()) {
        stop();
        return false;
    }
    _lastError.store(IED_ERROR_OK);
    return true;
}

bool MmsReportReciver::_createAssociateIndexes() {
    _indexes.assign(_target.paths.size(), IndexPath());
    // Read again at each start: the IED may have changed the data set since setTarget.
    std::unique_ptr<FCDAElement> dataSet = getDatasetStructure(MmsReportPath());
    if (!dataSet)
        return false;
    _indexes = MmsDatasetHelper::getDataAssociatedIndexPaths(*dataSet, _target.paths);
    return true;
}

ClientReportControlBlock MmsReportReciver::_readRcb(IedClientError* error) {
    *error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(_connection, error, _target.report.rcbReference.c_str(), nullptr);
    if (*error == IED_ERROR_OK && rcb != nullptr)
        return rcb;
    if (*error == IED_ERROR_OK)
        *error = IED_ERROR_OBJECT_DOES_NOT_EXIST;
    printf("getRCBValues service error!\n");
    if (rcb)
        ClientReportControlBlock_destroy(rcb);
    return nullptr;
}

IedClientError MmsReportReciver::_writeRptEna(bool enable) {
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb = _readRcb(&error);
    if (rcb == nullptr)
        return error;
    ClientReportControlBlock_setRptEna(rcb, enable);
    IedConnection_setRCBValues(_connection, &error, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    if (error != IED_ERROR_OK)
        printf("setRCBValues service error!\n");
    return error;
}

bool MmsReportReciver::_installReport() {
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb = _readRcb(&error);
    if (rcb == nullptr) {
        _lastError.store(error);
        return false;
    }
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(_connection), _messageCallbackFunction,
                                       this);
    IedConnection_installReportHandler(_connection, _target.report.rcbReference.c_str(),
                                       ClientReportControlBlock_getRptId(rcb), _reportCallbackFunction, this);
    ClientReportControlBlock_destroy(rcb);
    return true;
}

bool MmsReportReciver::_enableReport() {
    const IedClientError error = _writeRptEna(true);
    if (error != IED_ERROR_OK)
        _lastError.store(error);
    return error == IED_ERROR_OK;
}

void MmsReportReciver::_disableReport() {
    _writeRptEna(false);
}

bool MmsReportReciver::stop() {
    if (!_running.load())
        return false;
    if (_connection != nullptr) {
        // A lost connection has no control block left to disable.
        if (!_connectionLost.load() && IedConnection_getState(_connection) == IED_STATE_CONNECTED)
            _disableReport();
        _closeConnection();
    }
    _running.store(false);
    return true;
}

bool MmsReportReciver::requestGeneralInterrogation() {
    if (!_running.load() || _connection == nullptr)
        return false;
    ClientReportControlBlock rcb = ClientReportControlBlock_create(_target.report.rcbReference.c_str());
    ClientReportControlBlock_setGI(rcb, true);
    IedClientError error = IED_ERROR_OK;
    IedConnection_setRCBValues(_connection, &error, rcb, RCB_ELEMENT_GI, true);
    ClientReportControlBlock_destroy(rcb);
    return error == IED_ERROR_OK;
}

void MmsReportReciver::_closeConnection() {
    // Closing joins the receive thread: no handler runs afterwards, and the values handed out
    // are copies, so the connection goes at once.
    _closing.store(true);
    IedConnection_destroy(_connection);
    _connection = nullptr;
    _closing.store(false);
}

void MmsReportReciver::reportCallback(ClientReport report) {
    const char* rcbReference = ClientReport_getRcbReference(report);
    if (rcbReference == nullptr || _target.report.rcbReference != rcbReference)
        return;
    MmsValue* dataSetValues = ClientReport_getDataSetValues(report);
    for (size_t i = 0; i < _indexes.size() && i < _values.size(); ++i) {
        const IndexPath& index = _indexes[i];
        // Members the report does not carry give no value: their entries keep the last one.
        if (index.empty() ||
            ClientReport_getReasonForInclusion(report, index.front()) == IEC61850_REASON_NOT_INCLUDED) {
            _values[i] = nullptr;
            continue;
        }
        _values[i] = MmsDatasetHelper::getValueAt(dataSetValues, index);
    }
    reportReceived.emit(report);
    // The report's values belong to the stack; no pointer into them outlives the delivery.
    std::fill(_values.begin(), _values.end(), nullptr);
}

void MmsReportReciver::messageCallback(uint8_t* message, int messageLength, bool received) {
    rawMessageReceived.emit(message, static_cast<int32_t>(messageLength), received);
}

void MmsReportReciver::connectionClosed() {
    if (_closing.load() || !_running.load())
        return;
    _connectionLost.store(true);
    _lastError.store(IED_ERROR_CONNECTION_LOST);
    connectionLost.emit();
}

void _reportCallbackFunction(void* parameter, ClientReport report) {
    static_cast<MmsReportReciver*>(parameter)->reportCallback(report);
}

void _messageCallbackFunction(void* parameter, uint8_t* message, int messageLength, bool received) {
    static_cast<MmsReportReciver*>(parameter)->messageCallback(message, messageLength, received);
}

void _connectionClosedFunction(void* parameter, IedConnection) {
    static_cast<MmsReportReciver*>(parameter)->connectionClosed();
}

} // namespace VorIec61850
