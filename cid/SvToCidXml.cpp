// Serialisation of the SV document's records, attributes in a fixed order.
#include "cid/CidOutput.h"
#include "cid/SvToCid.h"
#include "host/XmlHelper.h"

#include <libxml++/libxml++.h>

#include <map>

namespace VorIec61850 {

using Vor::XmlHelper;

namespace {

const char* const kNameStructures[] = {"IEDName"};

// Creates one P element per type, in the given order, and returns them by type.
template <std::size_t N>
std::map<std::string, xmlpp::Element*> addPElements(xmlpp::Element* address, const char* const (&types)[N]) {
    std::map<std::string, xmlpp::Element*> byType;
    for (const char* type : types) {
        xmlpp::Element* p = address->add_child("P");
        XmlHelper::set_attribute(p, "type", type);
        byType.emplace(type, p);
    }
    return byType;
}

} // namespace

void SvToCid::_setScl(xmlpp::Element* scl) {
    // Written as plain attributes: the root carries no namespace of its own in the tree.
    XmlHelper::set_attribute(scl, "xmlns:xsi", CidOutput::kXsiNamespace);
    XmlHelper::set_attribute(scl, "xmlns:xsd", CidOutput::kXsdNamespace);
    XmlHelper::set_attribute(scl, "version", sclVersion);
    XmlHelper::set_attribute(scl, "revision", sclRevision);
    XmlHelper::set_attribute(scl, "xmlns", CidOutput::kSclNamespace);
}

void SvToCid::_addHeader(xmlpp::Element* scl) {
    xmlpp::Element* header = scl->add_child("Header");
    XmlHelper::set_attribute(header, "id", headerId);
    XmlHelper::set_attribute(header, "version", headerVersion);
    XmlHelper::set_attribute(header, "revision", headerRevision);
    XmlHelper::set_attribute(header, "nameStructure", kNameStructures[nameStructure]);
}

void SvToCid::_addCommunication(xmlpp::Element* scl) {
    xmlpp::Element* communication = scl->add_child("Communication");
    XmlHelper::set_attribute(communication, "desc", communicationDesc);
    for (const tSubNetwork& subNetwork : subNetworks)
        _addSubNetwork(communication, subNetwork);
}

void SvToCid::_addSubNetwork(xmlpp::Element* communication, const tSubNetwork& subNetwork) {
    xmlpp::Element* element = communication->add_child("SubNetwork");
    XmlHelper::set_attribute(element, "name", subNetwork.name);
    XmlHelper::set_attribute(element, "type", subNetwork.type);
    for (const tConnectedAP& connectedAp : subNetwork.connectedAPs)
        _setConnectedAp(element, connectedAp);
}

void SvToCid::_setConnectedAp(xmlpp::Element* subNetwork, const tConnectedAP& connectedAp) {
    xmlpp::Element* element = subNetwork->add_child("ConnectedAP");
    XmlHelper::set_attribute(element, "desc", connectedAp.desc);
    XmlHelper::set_attribute(element, "iedName", connectedAp.iedName);
    XmlHelper::set_attribute(element, "apName", connectedAp.apName);
    _setConnectedApP(element, connectedAp.address);
    for (const tSMV& smv : connectedAp.smv)
        _addSmv(element, smv);
}

void SvToCid::_setConnectedApP(xmlpp::Element* connectedAp, const std::vector<tP>& address) {
    static const char* const kTypes[] = {"IP", "IP-SUBNET", "IP-GATEWAY", "OSI-PSEL", "OSI-SSEL", "OSI-TSEL"};
    const auto byType = addPElements(connectedAp->add_child("Address"), kTypes);
    for (const tP& p : address) {
        const auto found = byType.find(p.getType());
        if (found == byType.end())
            continue;
        const bool isIp = p.getType().compare(0, 2, "IP") == 0;
        found->second->set_child_text(isIp ? p.getIpAddress() : std::to_string(p.getValue()));
    }
}

void SvToCid::_addSmv(xmlpp::Element* connectedAp, const tSMV& smv) {
    xmlpp::Element* element = connectedAp->add_child("SMV");
    XmlHelper::set_attribute(element, "desc", smv.desc);
    XmlHelper::set_attribute(element, "ldInst", smv.ldInst);
    XmlHelper::set_attribute(element, "cbName", smv.cbName);
    _setSmvP(element, smv.address);
}

void SvToCid::_setSmvP(xmlpp::Element* smv, const std::vector<tP>& address) {
    static const char* const kTypes[] = {"MAC-Address", "VLAN-ID", "VLAN-PRIORITY", "APPID"};
    const auto byType = addPElements(smv->add_child("Address"), kTypes);
    for (const tP& p : address) {
        const auto found = byType.find(p.getType());
        if (found == byType.end())
            continue;
        std::string text;
        if (p.getType() == "MAC-Address")
            text = p.getMacAddress();
        else if (p.getType() == "VLAN-ID")
            text = CidOutput::hexUpper(p.getValue(), 3);
        else if (p.getType() == "VLAN-PRIORITY")
            text = std::to_string(p.getValue());
        else
            text = CidOutput::hexUpper(p.getValue(), 4);
        found->second->set_child_text(text);
    }
}

void SvToCid::_addIEDs(xmlpp::Element* scl) {
    for (const tIED& ied : ieds)
        _setIed(scl, ied);
}

void SvToCid::_setIed(xmlpp::Element* scl, const tIED& ied) {
    xmlpp::Element* element = scl->add_child("IED");
    XmlHelper::set_attribute(element, "name", ied.name);
    XmlHelper::set_attribute(element, "type", ied.type);
    XmlHelper::set_attribute(element, "manufacturer", ied.manufacturer);
    XmlHelper::set_attribute(element, "configVersion", ied.configVersion);
    XmlHelper::set_attribute(element, "desc", ied.desc);
    _setConfDataSet(element->add_child("Services"), ied.services);
    for (const tAccessPoint& accessPoint : ied.accessPoints)
        _setAccessPoint(element, accessPoint);
}

void SvToCid::_setConfDataSet(xmlpp::Element* services, const tServices& limits) {
    xmlpp::Element* confDataSet = services->add_child("ConfDataSet");
    XmlHelper::set_attribute(confDataSet, "max", limits.confDataSet.max);
    XmlHelper::set_attribute(confDataSet, "maxAttributes", limits.confDataSet.maxAttributes);
    XmlHelper::set_attribute(services->add_child("GOOSE"), "max", limits.goose.max);
    XmlHelper::set_attribute(services->add_child("SMVsc"), "max", limits.smvsc.max);
}

void SvToCid::_setAccessPoint(xmlpp::Element* ied, const tAccessPoint& accessPoint) {
    xmlpp::Element* element = ied->add_child("AccessPoint");
    XmlHelper::set_attribute(element, "desc", accessPoint.desc);
    XmlHelper::set_attribute(element, "name", accessPoint.name);
    _setServer(element, accessPoint.server);
}

void SvToCid::_setServer(xmlpp::Element* accessPoint, const tServer& server) {
    xmlpp::Element* element = accessPoint->add_child("Server");
    XmlHelper::set_attribute(element, "desc", server.desc);
    _setAuthentication(element, server.authentication);
    for (const tLDevice& lDevice : server.lDevices)
        _setLDevice(element, lDevice);
}

void SvToCid::_setAuthentication(xmlpp::Element* server, const tAuthentication& authentication) {
    xmlpp::Element* element = server->add_child("Authentication");
    XmlHelper::set_attribute(element, "none", authentication.none);
    XmlHelper::set_attribute(element, "password", authentication.password);
    XmlHelper::set_attribute(element, "weak", authentication.weak);
    XmlHelper::set_attribute(element, "strong", authentication.strong);
    XmlHelper::set_attribute(element, "certificate", authentication.certificate);
}

void SvToCid::_setLDevice(xmlpp::Element* server, const tLDevice& lDevice) {
    xmlpp::Element* element = server->add_child("LDevice");
    XmlHelper::set_attribute(element, "desc", lDevice.desc);
    XmlHelper::set_attribute(element, "inst", lDevice.inst);
    _setLn0(element, lDevice.ln0);
    for (const tLN& ln : lDevice.lns)
        _addLn(element, ln);
}

void SvToCid::_setLn0(xmlpp::Element* lDevice, const tLN0& ln0) {
    xmlpp::Element* element = lDevice->add_child("LN0");
    XmlHelper::set_attribute(element, "desc", ln0.desc);
    XmlHelper::set_attribute(element, "lnType", ln0.lnType);
    XmlHelper::set_attribute(element, "lnClass", toString(ln0.lnClass));
    XmlHelper::set_attribute(element, "inst", ln0.inst);
    for (const tDataSet& dataSet : ln0.dataSets)
        _addDataSet(element, dataSet);
    for (const tSampledValueControl& control : ln0.sampledValueControls)
        _setSmvControl(element, control);
}

void SvToCid::_addDataSet(xmlpp::Element* ln0, const tDataSet& dataSet) {
    xmlpp::Element* element = ln0->add_child("DataSet");
    XmlHelper::set_attribute(element, "desc", dataSet.desc);
    XmlHelper::set_attribute(element, "name", dataSet.name);
    for (const tFCDA& fcda : dataSet.fcdas)
        _addFcda(element, fcda);
}

void SvToCid::_addFcda(xmlpp::Element* dataSet, const tFCDA& fcda) {
    xmlpp::Element* element = dataSet->add_child("FCDA");
    XmlHelper::set_attribute(element, "ldInst", fcda.ldInst);
    XmlHelper::set_attribute(element, "prefix", fcda.prefix);
    XmlHelper::set_attribute(element, "lnClass", fcda.lnClass);
    XmlHelper::set_attribute(element, "lnInst", fcda.lnInst);
    XmlHelper::set_attribute(element, "doName", fcda.doName);
    XmlHelper::set_attribute(element, "daName", fcda.daName);
    XmlHelper::set_attribute(element, "fc", toString(fcda.fc));
}

void SvToCid::_setSmvControl(xmlpp::Element* ln0, const tSampledValueControl& control) {
    xmlpp::Element* element = ln0->add_child("SampledValueControl");
    XmlHelper::set_attribute(element, "desc", control.desc);
    XmlHelper::set_attribute(element, "name", control.name);
    XmlHelper::set_attribute(element, "datSet", control.datSet);
    XmlHelper::set_attribute(element, "confRev", control.confRev);
    XmlHelper::set_attribute(element, "smvID", control.smvID);
    XmlHelper::set_attribute(element, "smpRate", control.smpRate);
    XmlHelper::set_attribute(element, "nofASDU", control.nofASDU);
    XmlHelper::set_attribute(element, "smpMod", toString(control.smpMod));
    _setSmvOpts(element, control.smvOpts);
}

void SvToCid::_setSmvOpts(xmlpp::Element* control, const tSampledValueControlSmvOpts& options) {
    xmlpp::Element* element = control->add_child("SmvOpts");
    XmlHelper::set_attribute(element, "refreshTime", options.refreshTime);
    XmlHelper::set_attribute(element, "sampleSynchronized", options.sampleSynchronized);
    XmlHelper::set_attribute(element, "sampleRate", options.sampleRate);
    XmlHelper::set_attribute(element, "dataSet", options.dataSet);
    XmlHelper::set_attribute(element, "security", options.security);
}

void SvToCid::_addLn(xmlpp::Element* lDevice, const tLN& ln) {
    xmlpp::Element* element = lDevice->add_child("LN");
    XmlHelper::set_attribute(element, "desc", ln.desc);
    XmlHelper::set_attribute(element, "lnType", ln.lnType);
    XmlHelper::set_attribute(element, "prefix", ln.prefix);
    XmlHelper::set_attribute(element, "lnClass", toString(ln.lnClass));
    XmlHelper::set_attribute(element, "inst", ln.inst);
}

void SvToCid::_addDataTypeTemplates(xmlpp::Element* scl) {
    xmlpp::Element* templates = scl->add_child("DataTypeTemplates");
    for (const tLNodeType& type : lNodeTypes)
        _setLNodeType(templates, type);
    for (const tDOType& type : doTypes)
        _setDoType(templates, type);
    for (const tDAType& type : daTypes)
        _setDaType(templates, type);
    for (const tEnumType& type : enumTypes)
        _setEnumType(templates, type);
}

void SvToCid::_setLNodeType(xmlpp::Element* templates, const tLNodeType& type) {
    xmlpp::Element* element = templates->add_child("LNodeType");
    XmlHelper::set_attribute(element, "id", type.id);
    XmlHelper::set_attribute(element, "lnClass", type.lnClass);
    for (const tDO& item : type.dos) {
        xmlpp::Element* child = element->add_child("DO");
        XmlHelper::set_attribute(child, "name", item.name);
        XmlHelper::set_attribute(child, "type", item.type);
    }
}

void SvToCid::_setDoType(xmlpp::Element* templates, const tDOType& type) {
    xmlpp::Element* element = templates->add_child("DOType");
    XmlHelper::set_attribute(element, "id", type.id);
    XmlHelper::set_attribute(element, "cdc", toString(type.cdc));
    for (const tDA& da : type.das) {
        xmlpp::Element* child = element->add_child("DA");
        XmlHelper::set_attribute(child, "bType", toString(da.bType));
        XmlHelper::set_attribute(child, "dchg", da.dchg);
        XmlHelper::set_attribute(child, "fc", toString(da.fc));
        XmlHelper::set_attribute(child, "name", da.name);
        XmlHelper::set_attribute(child, "type", da.type);
    }
}

void SvToCid::_setDaType(xmlpp::Element* templates, const tDAType& type) {
    xmlpp::Element* element = templates->add_child("DAType");
    XmlHelper::set_attribute(element, "id", type.id);
    for (const tBDA& bda : type.bdas) {
        xmlpp::Element* child = element->add_child("BDA");
        XmlHelper::set_attribute(child, "bType", toString(bda.bType));
        XmlHelper::set_attribute(child, "name", bda.name);
        XmlHelper::set_attribute(child, "type", bda.type);
    }
}

void SvToCid::_setEnumType(xmlpp::Element* templates, const tEnumType& type) {
    xmlpp::Element* element = templates->add_child("EnumType");
    XmlHelper::set_attribute(element, "id", type.id);
    XmlHelper::set_attribute(element, "desc", type.desc);
    for (const tEnumVal& value : type.enumVals) {
        xmlpp::Element* child = element->add_child("EnumVal");
        XmlHelper::set_attribute(child, "ord", value.ord);
        // A value without text (ITSIUnit's "none") gets no text node.
        if (!value.value.empty())
            child->add_child_text(value.value);
    }
}

} // namespace VorIec61850
