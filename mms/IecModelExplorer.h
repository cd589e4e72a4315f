#pragma once
#include "host/NonCopyable.h"
#include "host/tree/NodeTypedCollection.h"
#include "mms/FCDAElement.h"
#include "mms/FunctionalConDA.h"
#include "mms/GooseObserver.h"
#include "scl/SclEnums.h"

#include "iec61850_client.h"
#include "iec61850_common.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VorIec61850 {

// A report control block found under a logical node.
struct ReportControlBlock {
    std::string lnReference; // the logical node it was listed under, "LD/LN"
    std::string name;
    bool buffered = false;

    // lnReference.BR.name for a buffered block, lnReference.RP.name otherwise: the reference the
    // client reads the block's values with.
    std::string getRcbReference() const;
};

// A GOOSE control block found under a logical node.
struct GooseControlBlock {
    std::string lnReference;
    std::string name;
};

// Browses a live IED over MMS: logical devices, logical nodes, data objects and attributes,
// data sets and their members, report and GOOSE control blocks; expands data set members into
// FunctionalConDA trees while recording every leaf's object path as a token list.
//
// Library errors are never raised: every client call leaves its code in getError() and the
// listing it served stays empty. Used from one thread; no locks.
class IecModelExplorer : Vor::NonCopyable {
public:
    using TokenList = std::vector<std::string>;

    IecModelExplorer();
    // The owner disconnects first; a handle still held here (a failed or never-closed connect)
    // is released, closing it when it is still open, so that no socket or receive thread is
    // left behind.
    ~IecModelExplorer();

    // Opens a new connection to host:port, releasing the previous handle first, giving up after
    // the connect time-out. Returns the client error code (0 on success) and prints
    // "Connection ok" or "Connection error: <code>".
    int connect(const std::string& host, int port);
    // How long connect() may take, in milliseconds (3000 unless set).
    void setConnectTimeout(uint32_t milliseconds) { connectTimeout = milliseconds; }
    // Closes and releases the connection, only when it is connected.
    void disconnect();
    // The client's connection state; closed when there is no connection at all.
    IedConnectionState connectionState() const;

    // Error code of the last client call (IED_ERROR_OK after a successful one).
    IedClientError getError() const { return error; }

    // Empty without asking the server while the connection is closed.
    std::vector<std::string> getLogicalDevices();
    std::vector<std::string> getLogicalNodes(const std::string& ldName);
    std::vector<std::string> getDataObjects(const std::string& lnReference);

    // These ask the server in any state; without a connection they fail with
    // IED_ERROR_NOT_CONNECTED.
    // Children of a data object or attribute over all FCs, each written "name[FC]".
    std::vector<std::string> getDataAttributes(const std::string& reference);
    // The data sets of all logical nodes of the device, node after node, each as "LN.name"
    // (ldName + "/" + it is the data set's reference, also for one outside LLN0).
    std::vector<std::string> getDataSets(const std::string& ldName);
    // The data set as a structure for GOOSE targets and the tree: one child per member as the
    // device lists it, components from the device's type descriptions; null when its directory
    // cannot be read (getError() tells why).
    std::unique_ptr<FCDAElement> getDataSetStructure(const std::string& dataSetReference);
    // Members of a data set, each "LD/LN.DO[.DA...][FC]".
    std::vector<std::string> getDataSetVariables(const std::string& dataSetReference);
    // Unbuffered blocks first, then buffered ones.
    std::vector<ReportControlBlock> getReportControlBlocks(const std::string& lnReference);
    std::vector<GooseControlBlock> getGooseControlBlocks(const std::string& lnReference);
    // Data set reference of a report control block; empty when the block cannot be read.
    std::string getRcbDataSet(const std::string& rcbReference);
    // The control block's values, owned by the caller (ClientGooseControlBlock_destroy); null
    // when it cannot be read.
    ClientGooseControlBlock getGooseCBValues(const std::string& gocbReference);
    // Data set reference of a GOOSE control block; empty when the block cannot be read.
    std::string getGooseDataSet(const std::string& gocbReference);

    // Diagnostic GOOSE listener on one interface (prints every message to standard output).
    void startGoose(const std::string& interfaceId);
    void stopGoose();

    // Splits an object path into tokens: the first ends at '.' or '/', every later one at '.'
    // or '['; delimiters are dropped. "LD0/LLN0.Mod.stVal[ST]" gives LD0, LLN0, Mod, stVal, ST].
    static TokenList parseObjectPath(const std::string& path);
    // The texts of a client name list in list order; the list is destroyed. A null list (the
    // client's answer to a failed call) gives an empty result.
    static std::vector<std::string> takeNames(LinkedList list);

    // Expands a data set member ("reference[FC]") into a new FunctionalConDA appended to the
    // node collection, one leaf per basic attribute below the member under its FC, and records
    // every leaf's token list. A refused insertion throws std::logic_error.
    void setObjectPaths(const std::string& memberReference);
    std::vector<TokenList> getObjectPaths() const { return objectPaths; }
    // Forgets the recorded paths; the nodes stay.
    void clearObjectPaths() { objectPaths.clear(); }

    // The collection that receives one FunctionalConDA per setObjectPaths call.
    VorTree::NodeTypedCollection<FunctionalConDA>& getNodes() { return nodes; }

    // The conversion below, for other readers of the client's functional constraints.
    static tFCEnum functionalConToEnum(FunctionalConstraint fc) { return _functionalConToEnum(fc); }

protected:
    // The client library's functional constraint as this system's tFCEnum. The two enumerations
    // number their constraints differently; MX, SP, SV, CF, DC, SG, SE, SR, OR, BL, EX and CO
    // keep their names, every other value (ST, US, MS, RP, BR, LG, GO, all, none) reads as ST.
    static tFCEnum _functionalConToEnum(FunctionalConstraint fc);

private:
    void _setObjectPath(const std::string& reference, FunctionalConDA& node, FunctionalConstraint fc,
                        int depth);
    std::vector<std::string> _logicalNodeDirectory(const std::string& lnReference, ACSIClass acsiClass);
    void _releaseConnection();

    IedClientError error = IED_ERROR_OK;
    IedConnection connection = nullptr;
    VorTree::NodeTypedCollection<FunctionalConDA> nodes;
    std::vector<TokenList> objectPaths;
    GooseObserver gooseObserver;
    uint32_t connectTimeout = 3000;
};

} // namespace VorIec61850
