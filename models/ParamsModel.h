#pragma once
#include "host/tree/Unit.h"
#include "scl/SclTypes.h"

namespace VorIec61850 {

// Shows the communication parameters of the chosen GOOSE or Sampled Values control block in
// eight text units: destination MAC address, APPID, VLAN id and priority, data set and control
// block references, GOOSE identifier and configuration revision. The source models' parameter
// signals are connected to its two slots by the host.
class ParamsModel : public VorTree::UnitableContainer {
public:
    ParamsModel();

    // Fills the units for the control block at `index` of ap's gse list (protocol 1) or smv list
    // (protocol 2). Any other protocol, or an index without an entry, leaves the units as they are.
    void onSignalSetParams(tConnectedAP ap, unsigned long long protocol, unsigned long long index);
    // Empties all eight units.
    void onSignalClearParams();

    VorTree::StringUnit* getMacAddressUnit() const { return _macAddress; }
    VorTree::StringUnit* getAppIdUnit() const { return _appId; }
    VorTree::StringUnit* getVlanIdUnit() const { return _vlanId; }
    VorTree::StringUnit* getVlanPriorityUnit() const { return _vlanPriority; }
    VorTree::StringUnit* getDataSetReferenceUnit() const { return _dataSetReference; }
    VorTree::StringUnit* getControlBlockReferenceUnit() const { return _controlBlockReference; }
    VorTree::StringUnit* getGooseIdUnit() const { return _gooseId; }
    VorTree::StringUnit* getConfRevUnit() const { return _confRev; }

private:
    VorTree::StringUnit* _addUnit(const char* id);
    // Every unit from one GOOSE or SV control block; dataSet and controlBlock are the names
    // under the block's LLN0.
    void _setBlock(const tControlBlock& block, const std::string& iedName, const std::string& dataSet,
                   const std::string& controlBlock, const std::string& id, int32_t confRev);

    VorTree::StringUnit* _macAddress = nullptr;
    VorTree::StringUnit* _appId = nullptr;
    VorTree::StringUnit* _vlanId = nullptr;
    VorTree::StringUnit* _vlanPriority = nullptr;
    VorTree::StringUnit* _dataSetReference = nullptr;
    VorTree::StringUnit* _controlBlockReference = nullptr;
    VorTree::StringUnit* _gooseId = nullptr;
    VorTree::StringUnit* _confRev = nullptr;
};

} // namespace VorIec61850
