#include "models/ParamsModel.h"

#include <cstdint>
#include <memory>
#include <string>

namespace VorIec61850 {

ParamsModel::ParamsModel() {
    _unlockCollection();
    _macAddress = _addUnit("MAC-Address");
    _appId = _addUnit("APPID");
    _vlanId = _addUnit("VLAN-ID");
    _vlanPriority = _addUnit("VLAN-PRIORITY");
    _dataSetReference = _addUnit("DataSetReference");
    _controlBlockReference = _addUnit("CBreference");
    _gooseId = _addUnit("GOOSE ID");
    _confRev = _addUnit("ConfRev");
    _lockContainer();
}

VorTree::StringUnit* ParamsModel::_addUnit(const char* id) {
    auto unit = std::make_unique<VorTree::StringUnit>(id, id, VorTree::LocalString::Empty(), "");
    add(unit.get()); // a refusal throws and the unit is destroyed here
    return unit.release();
}

void ParamsModel::_setBlock(const tControlBlock& block, const std::string& iedName,
                            const std::string& dataSet, const std::string& controlBlock,
                            const std::string& id, int32_t confRev) {
    // The references join the IED name and the ldInst directly: SCL names the logical device
    // by both together. An access point without IED name gives a reference starting at ldInst.
    const std::string ln0 = iedName + block.ldInst + "/LLN0$";
    _macAddress->setData(block.getMacAddress());
    _appId->setData(std::to_string(block.getAppId()));
    _vlanId->setData(std::to_string(block.getVlanId()));
    _vlanPriority->setData(std::to_string(block.getVlanPriority()));
    _dataSetReference->setData(ln0 + dataSet);
    _controlBlockReference->setData(ln0 + controlBlock);
    _gooseId->setData(id);
    _confRev->setData(std::to_string(static_cast<uint32_t>(confRev)));
}

void ParamsModel::onSignalSetParams(tConnectedAP ap, unsigned long long protocol, unsigned long long index) {
    if (protocol == 1 && index < ap.gse.size()) {
        const tGSE& g = ap.gse[static_cast<std::size_t>(index)];
        const tGSEControl& c = *g.gseControl;
        _setBlock(g, ap.iedName, c.datSet, "GO$" + c.name, c.appID, c.confRev);
    } else if (protocol == 2 && index < ap.smv.size()) {
        const tSMV& s = ap.smv[static_cast<std::size_t>(index)];
        const tSampledValueControl& c = *s.svControl;
        // A Sampled Values control block is reached under the functional constraint of its
        // kind: MS for a multicast control block, US for a unicast one.
        _setBlock(s, ap.iedName, c.datSet, (c.multicast ? "MS$" : "US$") + c.name, " - ", c.confRev);
    }
    // MMS reports (0), unknown protocols and indexes past the blocks carry no publication
    // parameters.
}

void ParamsModel::onSignalClearParams() {
    for (VorTree::StringUnit* unit : {_macAddress, _appId, _vlanId, _vlanPriority, _dataSetReference,
                                      _controlBlockReference, _gooseId, _confRev}) {
        unit->setData("");
    }
}

} // namespace VorIec61850
