#pragma once
#include "cid/Descriptors.h"
#include "mms/IecModelExplorer.h"
#include "models/SourceModel.h"
#include "scl/SclRecords.h"

#include <functional>
#include <string>
#include <vector>

namespace VorIec61850 {

// The data source that reads an IED online over MMS: its logical devices, its report and GOOSE
// control blocks, and the members of the chosen control block's data set. Every operation opens
// its own connection through the explorer and closes it again; a failed connection makes the
// operation do nothing.
class SourceDeviceModel : public SourceModel {
public:
    SourceDeviceModel();
    ~SourceDeviceModel() override;

    // Stores the IED's address; nothing else.
    void onIpAddressChanged(const std::string& address);
    // Reads the IED's devices and control blocks and selects the first device and element.
    void onButtonClicked();
    void setTransferProtocol(const TransferProtocolEnum& protocol) override;
    void sendData(const DataList& data) override;

    // Fill the data tree from the whole IED: the members of every GOOSE control block's data set
    // (also creating one Goose descriptor child per block), of every report control block's data
    // set, or every data object.
    void getGooseAddress();
    void getReportTree();
    void setDataObjectTree();

    // The MMS port (102 unless set) and the time a connection attempt may take.
    void setPort(int value) { port = value; }
    int getPort() const { return port; }
    const std::string& getIedAddress() const { return iedAddress; }

    const std::vector<ReportControlBlock>& getReportControlBlocks() const { return reportControlBlocks; }
    const std::vector<GooseControlBlock>& getGooseControlBlocks() const { return gooseControlBlocks; }
    const std::vector<Goose*>& getGooses() const { return gooses; }
    // The IED's GOOSE control blocks as SCL records, one per block, in the order found.
    const tConnectedAP& getConnectedAp() const { return connectedAP; }
    // The chosen element's data set reference ("LD/LN$name" as the IED names it) and members
    // ("LD/LN.DO[.DA][FC]"); empty when nothing is chosen or the IED could not be read.
    const std::string& getElementDataSet() const { return elementDataSet; }
    const std::vector<std::string>& getElementMembers() const { return elementMembers; }
    // The chosen report control block's reference, empty unless reports are chosen.
    std::string getElementRcbReference() const;

    IecModelExplorer& getExplorer() { return explorer; }

private:
    void _onTransferProtocolChanged();
    void _onElementChanged();
    void _onDeviceChanged() {}
    void _fillCollections();
    void _fillConnectedAp();
    // Opens the connection; false (and nothing changed) when the IED cannot be reached.
    bool _connect();
    // Emits signalAddNode for every leaf below the data set members, each path prefixed by
    // `prefix` (the whole path when empty), and forgets the explorer's expansion afterwards.
    void _addMemberLeaves(const std::vector<std::string>& members, const std::vector<std::string>& prefix);
    void _refillDevices();
    // Connects, clears the tree, refills the device list, calls visit(ld, ln) for every logical
    // node of the IED, then chooses the first device and disconnects; nothing when the connection
    // fails.
    void _rebuildTree(const std::function<void(const std::string& ld, const std::string& ln)>& visit);
    int _protocol() const { return static_cast<int>(transferProtocol->getEnumValue()); }
    static tFCEnum _functionalConToEnum(FunctionalConstraint fc);

    std::string iedAddress;
    int port = 102;
    IecModelExplorer explorer;
    std::vector<Goose*> gooses;
    std::vector<ReportControlBlock> reportControlBlocks;
    std::vector<GooseControlBlock> gooseControlBlocks;
    tConnectedAP connectedAP;
    std::string elementDataSet;
    std::vector<std::string> elementMembers;
};

} // namespace VorIec61850
