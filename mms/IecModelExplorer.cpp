// IecModelExplorer: the connection and the directory, data set and control block services.
#include "mms/IecModelExplorer.h"

#include "mms/MmsDatasetHelper.h"

#include "linked_list.h"

#include <cstdio>

namespace VorIec61850 {

std::vector<std::string> IecModelExplorer::takeNames(LinkedList list) {
    std::vector<std::string> names;
    if (list == nullptr)
        return names;
    names.reserve(static_cast<size_t>(LinkedList_size(list)));
    for (LinkedList element = LinkedList_getNext(list); element != nullptr;
         element = LinkedList_getNext(element)) {
        const char* text = static_cast<const char*>(LinkedList_getData(element));
        names.emplace_back(text != nullptr ? text : "");
    }
    LinkedList_destroy(list);
    return names;
}

std::string ReportControlBlock::getRcbReference() const {
    return lnReference + (buffered ? ".BR." : ".RP.") + name;
}

IecModelExplorer::IecModelExplorer() : nodes("Node", VorTree::LocalString(), VorTree::LocalString()) {}

IecModelExplorer::~IecModelExplorer() {
    _releaseConnection();
}

void IecModelExplorer::startGoose(const std::string& interfaceId) {
    gooseObserver.startObserver(interfaceId);
}

void IecModelExplorer::stopGoose() {
    gooseObserver.stopObserver();
}

void IecModelExplorer::_releaseConnection() {
    if (connection == nullptr)
        return;
    IedConnection_destroy(connection); // closes it first when it is still open
    connection = nullptr;
}

int IecModelExplorer::connect(const std::string& host, int port) {
    // Only the newest handle is kept; the previous one is released rather than leaked.
    _releaseConnection();
    connection = IedConnection_create();
    if (connection == nullptr) {
        error = IED_ERROR_UNKNOWN;
    } else {
        if (IedConnection_getState(connection) != IED_STATE_CLOSED)
            IedConnection_close(connection);
        IedConnection_setConnectTimeout(connection, connectTimeout);
        IedConnection_connect(connection, &error, host.c_str(), port);
    }
    if (error != IED_ERROR_OK)
        std::printf("Connection error: %i\n", static_cast<int>(error));
    else
        std::printf("Connection ok\n");
    std::fflush(stdout);
    return error;
}

void IecModelExplorer::disconnect() {
    if (connection == nullptr || IedConnection_getState(connection) != IED_STATE_CONNECTED)
        return;
    IedConnection_close(connection);
    IedConnection_destroy(connection);
    connection = nullptr;
}

IedConnectionState IecModelExplorer::connectionState() const {
    if (connection == nullptr)
        return IED_STATE_CLOSED;
    return IedConnection_getState(connection);
}

std::vector<std::string> IecModelExplorer::getLogicalDevices() {
    if (connectionState() == IED_STATE_CLOSED)
        return {};
    return takeNames(IedConnection_getServerDirectory(connection, &error, false));
}

std::vector<std::string> IecModelExplorer::getLogicalNodes(const std::string& ldName) {
    if (connectionState() == IED_STATE_CLOSED)
        return {};
    return takeNames(IedConnection_getLogicalDeviceDirectory(connection, &error, ldName.c_str()));
}

std::vector<std::string> IecModelExplorer::getDataObjects(const std::string& lnReference) {
    if (connectionState() == IED_STATE_CLOSED)
        return {};
    return _logicalNodeDirectory(lnReference, ACSI_CLASS_DATA_OBJECT);
}

std::vector<std::string> IecModelExplorer::_logicalNodeDirectory(const std::string& lnReference,
                                                                 ACSIClass acsiClass) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return {};
    }
    return takeNames(
        IedConnection_getLogicalNodeDirectory(connection, &error, lnReference.c_str(), acsiClass));
}

std::vector<std::string> IecModelExplorer::getDataAttributes(const std::string& reference) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return {};
    }
    return takeNames(IedConnection_getDataDirectoryFC(connection, &error, reference.c_str()));
}

std::vector<std::string> IecModelExplorer::getDataSets(const std::string& ldName) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return {};
    }
    std::vector<std::string> dataSets;
    const std::vector<std::string> logicalNodes =
        takeNames(IedConnection_getLogicalDeviceDirectory(connection, &error, ldName.c_str()));
    for (const std::string& ln : logicalNodes) {
        // Each name keeps its logical node: a data set outside LLN0 is read as LD/LN.name.
        for (std::string& name : _logicalNodeDirectory(ldName + "/" + ln, ACSI_CLASS_DATA_SET))
            dataSets.push_back(ln + "." + name);
    }
    return dataSets;
}

std::unique_ptr<FCDAElement> IecModelExplorer::getDataSetStructure(const std::string& dataSetReference) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return nullptr;
    }
    error = IED_ERROR_OK;
    return MmsDatasetHelper::createDatasetStructure(connection, dataSetReference, &error);
}

std::vector<std::string> IecModelExplorer::getDataSetVariables(const std::string& dataSetReference) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return {};
    }
    return takeNames(
        IedConnection_getDataSetDirectory(connection, &error, dataSetReference.c_str(), nullptr));
}

std::vector<ReportControlBlock> IecModelExplorer::getReportControlBlocks(const std::string& lnReference) {
    std::vector<ReportControlBlock> blocks;
    for (std::string& name : _logicalNodeDirectory(lnReference, ACSI_CLASS_URCB))
        blocks.push_back(ReportControlBlock{lnReference, std::move(name), false});
    for (std::string& name : _logicalNodeDirectory(lnReference, ACSI_CLASS_BRCB))
        blocks.push_back(ReportControlBlock{lnReference, std::move(name), true});
    return blocks;
}

std::vector<GooseControlBlock> IecModelExplorer::getGooseControlBlocks(const std::string& lnReference) {
    std::vector<GooseControlBlock> blocks;
    for (std::string& name : _logicalNodeDirectory(lnReference, ACSI_CLASS_GoCB))
        blocks.push_back(GooseControlBlock{lnReference, std::move(name)});
    return blocks;
}

namespace {

// The data set a control block read from the device names ("" for none or no block); the block
// is freed.
template <class Block>
std::string takeDataSet(Block block, const char* (*dataSetOf)(Block), void (*destroy)(Block)) {
    if (block == nullptr)
        return {};
    const char* dataSet = dataSetOf(block);
    std::string result = dataSet != nullptr ? dataSet : "";
    destroy(block);
    return result;
}

} // namespace

std::string IecModelExplorer::getRcbDataSet(const std::string& rcbReference) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return {};
    }
    return takeDataSet(IedConnection_getRCBValues(connection, &error, rcbReference.c_str(), nullptr),
                       ClientReportControlBlock_getDataSetReference, ClientReportControlBlock_destroy);
}

ClientGooseControlBlock IecModelExplorer::getGooseCBValues(const std::string& gocbReference) {
    if (connection == nullptr) {
        error = IED_ERROR_NOT_CONNECTED;
        return nullptr;
    }
    return IedConnection_getGoCBValues(connection, &error, gocbReference.c_str(), nullptr);
}

std::string IecModelExplorer::getGooseDataSet(const std::string& gocbReference) {
    return takeDataSet(getGooseCBValues(gocbReference), ClientGooseControlBlock_getDatSet,
                       ClientGooseControlBlock_destroy);
}

} // namespace VorIec61850
