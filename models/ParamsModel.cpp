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

void ParamsModel::_setAddress(const tControlBlock& block) {
    _macAddress->setData(block.getMacAddress());
    _appId->setData(std::to_string(block.getAppId()));
    _vlanId->setData(std::to_string(block.getVlanId()));
    _vlanPriority->setData(std::to_string(block.getVlanPriority()));
}

void ParamsModel::onSignalSetParams(tConnectedAP ap, unsigned long long protocol, unsigned long long index) {
    // The references join the IED name and the ldInst directly: SCL names the logical device
    // by both together. An access point without IED name gives a reference starting at ldInst.
    if (protocol == 1) {
        if (index >= ap.gse.size()) {
            return;
        }
        const tGSE& g = ap.gse[static_cast<std::size_t>(index)];
        const tGSEControl& c = *g.gseControl;
        const std::string ln0 = ap.iedName + g.ldInst + "/" + "LLN0" + "$";
        _setAddress(g);
        _dataSetReference->setData(ln0 + c.datSet);
        _controlBlockReference->setData(ln0 + "GO" + "$" + c.name);
        _gooseId->setData(c.appID);
        _confRev->setData(std::to_string(static_cast<uint32_t>(c.confRev)));
    } else if (protocol == 2) {
        if (index >= ap.smv.size()) {
            return;
        }
        const tSMV& s = ap.smv[static_cast<std::size_t>(index)];
        const tSampledValueControl& c = *s.svControl;
        const std::string ln0 = ap.iedName + s.ldInst + "/" + "LLN0" + "$";
        _setAddress(s);
        _dataSetReference->setData(ln0 + c.datSet);
        // A Sampled Values control block is reached under the functional constraint of its
        // kind: MS for a multicast control block, US for a unicast one.
        _controlBlockReference->setData(ln0 + (c.multicast ? "MS" : "US") + "$" + c.name);
        _gooseId->setData(" - ");
        _confRev->setData(std::to_string(static_cast<uint32_t>(c.confRev)));
    }
    // MMS reports (0) and unknown protocols carry no publication parameters.
}

void ParamsModel::onSignalClearParams() {
    for (VorTree::StringUnit* unit : {_macAddress, _appId, _vlanId, _vlanPriority, _dataSetReference,
                                      _controlBlockReference, _gooseId, _confRev}) {
        unit->setData("");
    }
}

} // namespace VorIec61850
