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
        xmlpp::Element* p = CidOutput::addElement(address, "P", {"type", type});
        byType.emplace(type, p);
    }
    return byType;
}

} // namespace

void SvToCid::_setScl(xmlpp::Element* scl) {
    CidOutput::setSclRoot(scl, sclVersion, sclRevision);
}

void SvToCid::_addHeader(xmlpp::Element* scl) {
    CidOutput::addElement(scl, "Header", {"id", headerId}, {"version", headerVersion},
                          {"revision", headerRevision}, {"nameStructure", kNameStructures[nameStructure]});
}

void SvToCid::_addCommunication(xmlpp::Element* scl) {
    xmlpp::Element* communication = CidOutput::addElement(scl, "Communication", {"desc", communicationDesc});
    for (const tSubNetwork& subNetwork : subNetworks)
        _addSubNetwork(communication, subNetwork);
}

void SvToCid::_addSubNetwork(xmlpp::Element* communication, const tSubNetwork& subNetwork) {
    xmlpp::Element* element = CidOutput::addElement(communication, "SubNetwork", {"name", subNetwork.name},
                                                    {"type", subNetwork.type});
    for (const tConnectedAP& connectedAp : subNetwork.connectedAPs)
        _setConnectedAp(element, connectedAp);
}

void SvToCid::_setConnectedAp(xmlpp::Element* subNetwork, const tConnectedAP& connectedAp) {
    xmlpp::Element* element =
        CidOutput::addElement(subNetwork, "ConnectedAP", {"desc", connectedAp.desc},
                              {"iedName", connectedAp.iedName}, {"apName", connectedAp.apName});
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
    xmlpp::Element* element = CidOutput::addElement(connectedAp, "SMV", {"desc", smv.desc},
                                                    {"ldInst", smv.ldInst}, {"cbName", smv.cbName});
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
    xmlpp::Element* element = CidOutput::addElement(scl, "IED", {"name", ied.name}, {"type", ied.type},
                                                    {"manufacturer", ied.manufacturer},
                                                    {"configVersion", ied.configVersion}, {"desc", ied.desc});
    _setConfDataSet(element->add_child("Services"), ied.services);
    for (const tAccessPoint& accessPoint : ied.accessPoints)
        _setAccessPoint(element, accessPoint);
}

void SvToCid::_setConfDataSet(xmlpp::Element* services, const tServices& limits) {
    CidOutput::addElement(services, "ConfDataSet", {"max", limits.confDataSet.max},
                          {"maxAttributes", limits.confDataSet.maxAttributes});
    XmlHelper::set_attribute(services->add_child("GOOSE"), "max", limits.goose.max);
    XmlHelper::set_attribute(services->add_child("SMVsc"), "max", limits.smvsc.max);
}

void SvToCid::_setAccessPoint(xmlpp::Element* ied, const tAccessPoint& accessPoint) {
    xmlpp::Element* element =
        CidOutput::addElement(ied, "AccessPoint", {"desc", accessPoint.desc}, {"name", accessPoint.name});
    _setServer(element, accessPoint.server);
}

void SvToCid::_setServer(xmlpp::Element* accessPoint, const tServer& server) {
    xmlpp::Element* element = CidOutput::addElement(accessPoint, "Server", {"desc", server.desc});
    _setAuthentication(element, server.authentication);
    for (const tLDevice& lDevice : server.lDevices)
        _setLDevice(element, lDevice);
}

void SvToCid::_setAuthentication(xmlpp::Element* server, const tAuthentication& authentication) {
    CidOutput::addElement(server, "Authentication", {"none", authentication.none},
                          {"password", authentication.password}, {"weak", authentication.weak},
                          {"strong", authentication.strong}, {"certificate", authentication.certificate});
}

void SvToCid::_setLDevice(xmlpp::Element* server, const tLDevice& lDevice) {
    xmlpp::Element* element =
        CidOutput::addElement(server, "LDevice", {"desc", lDevice.desc}, {"inst", lDevice.inst});
    _setLn0(element, lDevice.ln0);
    for (const tLN& ln : lDevice.lns)
        _addLn(element, ln);
}

void SvToCid::_setLn0(xmlpp::Element* lDevice, const tLN0& ln0) {
    xmlpp::Element* element =
        CidOutput::addElement(lDevice, "LN0", {"desc", ln0.desc}, {"lnType", ln0.lnType},
                              {"lnClass", toString(ln0.lnClass)}, {"inst", ln0.inst});
    for (const tDataSet& dataSet : ln0.dataSets)
        _addDataSet(element, dataSet);
    for (const tSampledValueControl& control : ln0.sampledValueControls)
        _setSmvControl(element, control);
}

void SvToCid::_addDataSet(xmlpp::Element* ln0, const tDataSet& dataSet) {
    xmlpp::Element* element =
        CidOutput::addElement(ln0, "DataSet", {"desc", dataSet.desc}, {"name", dataSet.name});
    for (const tFCDA& fcda : dataSet.fcdas)
        _addFcda(element, fcda);
}

void SvToCid::_addFcda(xmlpp::Element* dataSet, const tFCDA& fcda) {
    CidOutput::addFcda(dataSet, fcda, toString(fcda.fc));
}

void SvToCid::_setSmvControl(xmlpp::Element* ln0, const tSampledValueControl& control) {
    xmlpp::Element* element = CidOutput::addElement(
        ln0, "SampledValueControl", {"desc", control.desc}, {"name", control.name},
        {"datSet", control.datSet}, {"confRev", control.confRev}, {"smvID", control.smvID},
        {"smpRate", control.smpRate}, {"nofASDU", control.nofASDU}, {"smpMod", toString(control.smpMod)});
    _setSmvOpts(element, control.smvOpts);
}

void SvToCid::_setSmvOpts(xmlpp::Element* control, const tSampledValueControlSmvOpts& options) {
    CidOutput::addElement(control, "SmvOpts", {"refreshTime", options.refreshTime},
                          {"sampleSynchronized", options.sampleSynchronized},
                          {"sampleRate", options.sampleRate}, {"dataSet", options.dataSet},
                          {"security", options.security});
}

void SvToCid::_addLn(xmlpp::Element* lDevice, const tLN& ln) {
    CidOutput::addLn(lDevice, ln, toString(ln.lnClass));
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
    xmlpp::Element* element =
        CidOutput::addElement(templates, "LNodeType", {"id", type.id}, {"lnClass", type.lnClass});
    for (const tDO& item : type.dos) {
        CidOutput::addElement(element, "DO", {"name", item.name}, {"type", item.type});
    }
}

void SvToCid::_setDoType(xmlpp::Element* templates, const tDOType& type) {
    xmlpp::Element* element =
        CidOutput::addElement(templates, "DOType", {"id", type.id}, {"cdc", toString(type.cdc)});
    for (const tDA& da : type.das) {
        CidOutput::addElement(element, "DA", {"bType", toString(da.bType)}, {"dchg", da.dchg},
                              {"fc", toString(da.fc)}, {"name", da.name}, {"type", da.type});
    }
}

void SvToCid::_setDaType(xmlpp::Element* templates, const tDAType& type) {
    xmlpp::Element* element = CidOutput::addElement(templates, "DAType", {"id", type.id});
    for (const tBDA& bda : type.bdas) {
        CidOutput::addElement(element, "BDA", {"bType", toString(bda.bType)}, {"name", bda.name},
                              {"type", bda.type});
    }
}

void SvToCid::_setEnumType(xmlpp::Element* templates, const tEnumType& type) {
    xmlpp::Element* element =
        CidOutput::addElement(templates, "EnumType", {"id", type.id}, {"desc", type.desc});
    for (const tEnumVal& value : type.enumVals) {
        xmlpp::Element* child = CidOutput::addElement(element, "EnumVal", {"ord", value.ord});
        // A value without text (ITSIUnit's "none") gets no text node.
        if (!value.value.empty())
            child->add_child_text(value.value);
    }
}

} // namespace VorIec61850
