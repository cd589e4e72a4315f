#include "acquisition/MmsReportPoolReciver.h"

#include "host/StringHelper.h"
#include "mms/MmsPathHelper.h"

#include <cstdio>

namespace VorIec61850 {

namespace {

// IED connections go to TCP port 102 unless the host text carries its own ":port".
constexpr int kMmsPort = 102;

IedConnection connectTo(const std::string& host) {
    IedConnection connection = IedConnection_create();
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection, &error, host.c_str(), kMmsPort);
    if (error != IED_ERROR_OK) {
        printf("Ied connection service error!\n");
        IedConnection_destroy(connection);
        return nullptr;
    }
    return connection;
}

FunctionalConstraint constraintOf(const std::string& path) {
    return FunctionalConstraint_fromString(MmsPathHelper::getPathFCstring(path).c_str());
}

} // namespace

MmsReportReciver::MmsReportReciver(uint64_t number) : _number(number) {}

MmsReportReciver::~MmsReportReciver() {
    stop();
    _releaseRetiredConnection();
}

bool MmsReportReciver::setTarget(const MmsReportTarget& target) {
    if (_running.load())
        return false;
    _target = target;
    _values.assign(_target.paths.size(), nullptr);
    _indexes.assign(_target.paths.size(), IndexPath());
    return true;
}

LinkedList MmsReportReciver::getDatasetDirectory(const MmsReportPath& path) {
    const std::string& host = path.host.empty() ? _target.report.host : path.host;
    const std::string& rcbReference =
        path.rcbReference.empty() ? _target.report.rcbReference : path.rcbReference;

    IedConnection connection = _connection;
    const bool temporary = connection == nullptr;
    if (temporary) {
        connection = connectTo(host);
        if (connection == nullptr)
            return nullptr;
    }

    LinkedList directory = nullptr;
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(connection, &error, rcbReference.c_str(), nullptr);
    const char* dataSet = rcb ? ClientReportControlBlock_getDataSetReference(rcb) : nullptr;
    if (error != IED_ERROR_OK || rcb == nullptr || dataSet == nullptr || dataSet[0] == '\0') {
        printf("getRCBValues service error!\n");
    } else {
        directory = IedConnection_getDataSetDirectory(connection, &error, dataSet, nullptr);
        if (error != IED_ERROR_OK) {
            printf("getRCBValues service error!\n");
            if (directory)
                LinkedList_destroy(directory);
            directory = nullptr;
        }
    }
    if (rcb)
        ClientReportControlBlock_destroy(rcb);

    if (temporary) {
        IedConnection_close(connection);
        IedConnection_destroy(connection);
    }
    return directory;
}

bool MmsReportReciver::start() {
    if (_running.load())
        return false;
    _running.store(true);
    // The closed connection of the previous run holds the data the old pointers refer to.
    _values.assign(_target.paths.size(), nullptr);
    _releaseRetiredConnection();

    _connection = connectTo(_target.report.host);
    if (_connection == nullptr) {
        stop();
        return false;
    }
    if (!_createAssociateIndexes() || !_installReport() || !_enableReport()) {
        stop();
        return false;
    }
    return true;
}

bool MmsReportReciver::_createAssociateIndexes() {
    _indexes.assign(_target.paths.size(), IndexPath());
    LinkedList directory = getDatasetDirectory(MmsReportPath());
    if (directory == nullptr)
        return false;

    for (size_t i = 0; i < _target.paths.size(); ++i) {
        const std::string& path = _target.paths[i].path;
        if (path.empty())
            continue;
        const std::string wanted = MmsPathHelper::getPathWithoutFC(path);
        int32_t j = 0;
        for (LinkedList element = LinkedList_getNext(directory); element != nullptr;
             element = LinkedList_getNext(element), ++j) {
            const char* data = static_cast<const char*>(LinkedList_getData(element));
            if (data == nullptr)
                continue;
            const std::string member = data;
            if (member == path) {
                _indexes[i] = IndexPath{j};
                break;
            }
            const std::string memberPath = MmsPathHelper::getPathWithoutFC(member);
            if (!Vor::StringHelper::startsWith(wanted, memberPath))
                continue;
            // The wanted attribute may lie inside this member: follow the member's type down.
            const FunctionalConstraint fc = constraintOf(member);
            IedClientError error = IED_ERROR_OK;
            MmsVariableSpecification* varType =
                IedConnection_getVariableSpecification(_connection, &error, memberPath.c_str(), fc);
            if (varType == nullptr)
                continue;
            IndexPath components;
            if (_findComponentIndexes(varType, memberPath, wanted, fc, components)) {
                components.insert(components.begin(), j);
                _indexes[i] = components;
            }
            MmsVariableSpecification_destroy(varType);
        }
    }
    LinkedList_destroy(directory);
    return true;
}

bool MmsReportReciver::_findComponentIndexes(MmsVariableSpecification* varType, const std::string& nodePath,
                                             const std::string& wanted, FunctionalConstraint fc,
                                             IndexPath& components) {
    if (MmsVariableSpecification_getType(varType) != MMS_STRUCTURE)
        return false;
    const int size = MmsVariableSpecification_getSize(varType);
    for (int k = 0; k < size; ++k) {
        MmsVariableSpecification* child = MmsVariableSpecification_getChildSpecificationByIndex(varType, k);
        const char* name = child ? MmsVariableSpecification_getName(child) : nullptr;
        if (name == nullptr)
            continue;
        const std::string componentPath = nodePath + "." + name;
        if (componentPath == wanted) {
            components.push_back(k);
            return true;
        }
        if (!Vor::StringHelper::startsWith(wanted, componentPath))
            continue;
        IedClientError error = IED_ERROR_OK;
        MmsVariableSpecification* exists =
            IedConnection_getVariableSpecification(_connection, &error, componentPath.c_str(), fc);
        if (exists == nullptr)
            continue;
        MmsVariableSpecification_destroy(exists);
        IndexPath inner;
        if (_findComponentIndexes(child, componentPath, wanted, fc, inner)) {
            components.push_back(k);
            components.insert(components.end(), inner.begin(), inner.end());
            return true;
        }
    }
    return false;
}

bool MmsReportReciver::_installReport() {
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(_connection, &error, _target.report.rcbReference.c_str(), nullptr);
    if (error != IED_ERROR_OK || rcb == nullptr) {
        printf("getRCBValues service error!\n");
        if (rcb)
            ClientReportControlBlock_destroy(rcb);
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
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(_connection, &error, _target.report.rcbReference.c_str(), nullptr);
    if (error != IED_ERROR_OK || rcb == nullptr) {
        printf("getRCBValues service error!\n");
        if (rcb)
            ClientReportControlBlock_destroy(rcb);
        return false;
    }
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(_connection, &error, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    if (error != IED_ERROR_OK) {
        printf("setRCBValues service error!\n");
        return false;
    }
    return true;
}

void MmsReportReciver::_disableReport() {
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(_connection, &error, _target.report.rcbReference.c_str(), nullptr);
    if (error != IED_ERROR_OK || rcb == nullptr) {
        printf("getRCBValues service error!\n");
        if (rcb)
            ClientReportControlBlock_destroy(rcb);
        return;
    }
    ClientReportControlBlock_setRptEna(rcb, false);
    IedConnection_setRCBValues(_connection, &error, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    if (error != IED_ERROR_OK)
        printf("setRCBValues service error!\n");
}

bool MmsReportReciver::stop() {
    if (!_running.load())
        return false;
    if (_connection != nullptr) {
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
    // Closing joins the receive thread: no handler runs afterwards. The object itself is kept
    // (see _retiredConnection) because the value pointers point into its report data.
    IedConnection_close(_connection);
    _releaseRetiredConnection();
    _retiredConnection = _connection;
    _connection = nullptr;
}

void MmsReportReciver::_releaseRetiredConnection() {
    if (_retiredConnection != nullptr) {
        IedConnection_destroy(_retiredConnection);
        _retiredConnection = nullptr;
    }
}

void MmsReportReciver::reportCallback(ClientReport report) {
    const char* rcbReference = ClientReport_getRcbReference(report);
    if (rcbReference == nullptr || _target.report.rcbReference != rcbReference)
        return;
    MmsValue* dataSetValues = ClientReport_getDataSetValues(report);
    for (size_t i = 0; i < _indexes.size() && i < _values.size(); ++i) {
        const IndexPath& index = _indexes[i];
        if (index.empty())
            continue;
        // Members the report does not carry keep their last value.
        if (ClientReport_getReasonForInclusion(report, index.front()) == IEC61850_REASON_NOT_INCLUDED)
            continue;
        MmsValue* value = dataSetValues;
        for (int32_t position : index) {
            if (value == nullptr)
                break;
            value = MmsValue_getElement(value, position);
        }
        _values[i] = value;
    }
    reportReceived.emit(report);
}

void MmsReportReciver::messageCallback(uint8_t* message, int messageLength, bool received) {
    rawMessageReceived.emit(message, static_cast<int32_t>(messageLength), received);
}

void _reportCallbackFunction(void* parameter, ClientReport report) {
    static_cast<MmsReportReciver*>(parameter)->reportCallback(report);
}

void _messageCallbackFunction(void* parameter, uint8_t* message, int messageLength, bool received) {
    static_cast<MmsReportReciver*>(parameter)->messageCallback(message, messageLength, received);
}

} // namespace VorIec61850
