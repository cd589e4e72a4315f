#include "cid/SvToCid.h"

#include "cid/CidOutput.h"
#include "cid/TemplateTables.h"
#include "host/StringHelper.h"

#include <libxml++/libxml++.h>

#include <cstring>

namespace VorIec61850 {

using namespace CidTemplates;

std::string SvToCid::targetPath(const std::string& path) {
    return CidOutput::targetPath(path, kDefaultFileName);
}

void SvToCid::saveToCid(const SvOut& out, const std::string& path) {
    const std::string target = targetPath(path);
    fillSclData(out);
    xmlpp::Document document("1.0");
    xmlpp::Element* scl = document.create_root_node("SCL");
    _setScl(scl);
    _addHeader(scl);
    _addCommunication(scl);
    _addIEDs(scl);
    _addDataTypeTemplates(scl);
    if (_schemaValid)
        CidOutput::makeSchemaValid(document, kDefaultIpAddress);
    CidOutput::writeDocument(document, target);
}

tFCDA SvToCid::channelToFcda(const std::string& mmsPath) {
    tFCDA fcda;
    const auto parts = Vor::StringHelper::split(mmsPath, '.');
    const std::string& first = parts.front();
    const auto slash = first.find('/');
    const std::string ld = first.substr(0, slash);
    const std::string ln = slash == std::string::npos ? std::string() : first.substr(slash + 1);

    // The domain name is the IED name followed by the LD instance. A shorter domain name has no
    // IED name to drop; it is then taken as the instance itself.
    const std::size_t iedNameLength = std::strlen(kIedName);
    fcda.ldInst = ld.size() >= iedNameLength ? ld.substr(iedNameLength) : ld;
    fcda.lnClass = ln.substr(0, 4);
    fcda.lnInst = ln.size() > 4 ? ln.substr(4) : std::string();

    // The last part carries the FC in brackets: "<name>[<FC>]".
    const std::string& last = parts.back();
    const auto open = last.find('[');
    const std::string lastName = last.substr(0, open);
    std::string fcText;
    if (open != std::string::npos) {
        const auto close = last.find(']', open + 1);
        fcText = last.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    }
    fcda.fc = fcFromString(fcText);

    if (parts.size() >= 3) {
        fcda.doName = parts[1];
        for (std::size_t i = 2; i + 1 < parts.size(); ++i)
            fcda.daName += parts[i] + ".";
        fcda.daName += lastName;
    } else if (parts.size() == 2) {
        // A path that names only a data object: no attribute name.
        fcda.doName = lastName;
    }
    return fcda;
}

void SvToCid::fillSclData(const SvOut& out) {
    _setLNodeTypeData();
    _setDOTypeData();
    _setDATypeData();
    _setEnumTypeData();

    // Communication: the access point's IP parameters and the SMV address.
    tSubNetwork subNetwork;
    subNetwork.desc = "";
    subNetwork.name = "Subnet1";
    subNetwork.type = "8-MMS";
    subNetwork.reservedCode = 3;

    tConnectedAP connectedAp;
    connectedAp.desc = "";
    connectedAp.iedName = kIedName;
    connectedAp.apName = "P1";
    connectedAp.address.emplace_back("IP", std::string(kDefaultIpAddress));
    connectedAp.address.emplace_back("IP-SUBNET", std::string("255.255.255.0"));
    connectedAp.address.emplace_back("IP-GATEWAY", std::string("0.0.0.0"));
    connectedAp.address.emplace_back("OSI-PSEL", 1);
    connectedAp.address.emplace_back("OSI-SSEL", 1);
    connectedAp.address.emplace_back("OSI-TSEL", 1);

    tSMV smv;
    smv.desc = "";
    smv.ldInst = kLdInst;
    smv.cbName = kCbName;
    smv.address.emplace_back("MAC-Address", out.macAddress);
    smv.address.emplace_back("VLAN-ID", out.vlanId);
    smv.address.emplace_back("VLAN-PRIORITY", out.vlanPriority);
    smv.address.emplace_back("APPID", out.appId);
    connectedAp.smv.push_back(std::move(smv));
    subNetwork.connectedAPs.push_back(std::move(connectedAp));
    subNetworks.push_back(std::move(subNetwork));

    // The IED: one access point, one logical device "MU".
    tIED ied;
    ied.desc = "VOR61850";
    ied.name = kIedName;
    ied.type = "VOR61850";
    ied.manufacturer = "Ostrivan";
    ied.configVersion = "1.0";
    ied.services.confDataSet.max = 100;
    ied.services.confDataSet.maxAttributes = 400;
    ied.services.goose.max = 256;
    ied.services.smvsc.max = 80;

    tAccessPoint accessPoint;
    accessPoint.desc = "";
    accessPoint.name = "P1";
    accessPoint.server.authentication = tAuthentication{true, false, false, false, false};

    tLDevice lDevice;
    lDevice.desc = "";
    lDevice.inst = kLdInst;
    lDevice.ln0.desc = "";
    lDevice.ln0.lnType = "LN0";
    lDevice.ln0.lnClass = tLNClassEnum::LLN0;
    lDevice.ln0.inst = "";

    tDataSet dataSet;
    dataSet.desc = "";
    dataSet.name = kDataSetName;
    for (const SvChannel& channel : out.channels)
        dataSet.fcdas.push_back(channelToFcda(channel.mmsPath));
    lDevice.ln0.dataSets.push_back(std::move(dataSet));

    // confRev, smpRate and nofASDU keep the record defaults (0): the host does not give them.
    tSampledValueControl control;
    control.desc = "";
    control.name = kCbName;
    control.datSet = kDataSetName;
    control.smvID = "";
    control.smpMod = tSmpMod::SmpPerPeriod;
    lDevice.ln0.sampledValueControls.push_back(std::move(control));

    tLN phd;
    phd.lnType = "PHD";
    phd.lnClass = tLNClassEnum::LPHD;
    phd.inst = "1";
    lDevice.lns.push_back(phd);
    for (int n = 1; n <= 4; ++n) {
        tLN ctr;
        ctr.lnType = "CTR-P";
        ctr.lnClass = tLNClassEnum::TCTR;
        ctr.inst = std::to_string(n);
        lDevice.lns.push_back(ctr);
        tLN vtr;
        vtr.lnType = "VTR-P";
        vtr.lnClass = tLNClassEnum::TVTR;
        vtr.inst = std::to_string(n);
        lDevice.lns.push_back(vtr);
    }

    accessPoint.server.lDevices.push_back(std::move(lDevice));
    ied.accessPoints.push_back(std::move(accessPoint));
    ieds.push_back(std::move(ied));
}

// Template records

namespace {

tLNodeType lNodeType(const char* id, const char* lnClass,
                     std::initializer_list<std::pair<const char*, const char*>> dos) {
    tLNodeType type;
    type.id = id;
    type.lnClass = lnClass;
    for (const auto& entry : dos) {
        tDO item;
        item.name = entry.first;
        item.type = entry.second;
        type.dos.push_back(item);
    }
    return type;
}

// A DA or BDA record with the name, basic type (and its MMS type) and type id of its table row.
template <typename Record, typename Row> Record attributeOf(const Row& row) {
    Record record;
    record.name = row.name;
    record.bType = basicTypeFromString(row.bType);
    record.mmsType = relevantMmsType(record.bType);
    record.type = row.type != nullptr ? row.type : "";
    return record;
}

template <std::size_t N> tDOType doType(const char* id, tCDCEnum cdc, const DaRow (&rows)[N]) {
    tDOType type;
    type.id = id;
    type.cdc = cdc;
    for (const DaRow& row : rows) {
        tDA da = attributeOf<tDA>(row);
        da.dchg = row.dchg;
        da.fc = fcFromString(row.fc);
        type.das.push_back(da);
    }
    return type;
}

template <std::size_t N> tDAType daType(const char* id, const BdaRow (&rows)[N]) {
    tDAType type;
    type.id = id;
    for (const BdaRow& row : rows)
        type.bdas.push_back(attributeOf<tBDA>(row));
    return type;
}

template <std::size_t N> tEnumType enumType(const char* id, const EnumRow (&rows)[N]) {
    tEnumType type;
    type.id = id;
    for (const EnumRow& row : rows)
        type.enumVals.push_back(tEnumVal{row.ord, row.text != nullptr ? row.text : ""});
    return type;
}

} // namespace

void SvToCid::_setLNodeTypeData() {
    lNodeTypes.clear();
    lNodeTypes.push_back(lNodeType(
        "LN0", "LLN0", {{"Mod", "Mod"}, {"Beh", "Beh"}, {"Health", "Health"}, {"NamPlt", "NamPlt-LN0"}}));
    lNodeTypes.push_back(
        lNodeType("PHD", "LPHD", {{"PhyNam", "PhyNam"}, {"PhyHealth", "Health"}, {"Proxy", "Proxy"}}));
    lNodeTypes.push_back(lNodeType("CTR-P", "TCTR", {{"Beh", "Beh"}, {"AmpSv", "AmpSV"}}));
    lNodeTypes.push_back(lNodeType("CTR-N", "TCTR", {{"Beh", "Beh"}, {"AmpSv", "AmpSV"}}));
    lNodeTypes.push_back(lNodeType("VTR-P", "TVTR", {{"Beh", "Beh"}, {"VolSv", "VolSV"}}));
    lNodeTypes.push_back(lNodeType("VTR-N", "TVTR", {{"Beh", "Beh"}, {"VolSv", "VolSV"}}));
}

void SvToCid::_setDOTypeData() {
    doTypes.clear();
    doTypes.push_back(doType("NamPlt-LN0", tCDCEnum::LPL, kNamPltLn0Das));
    doTypes.push_back(doType("Mod", tCDCEnum::ENC, kModDas));
    doTypes.push_back(doType("Beh", tCDCEnum::ENS, kBehDas));
    doTypes.push_back(doType("Health", tCDCEnum::ENS, kHealthDas));
    doTypes.push_back(doType("PhyNam", tCDCEnum::DPL, kPhyNamDas));
    doTypes.push_back(doType("Proxy", tCDCEnum::SPS, kProxyDas));
    doTypes.push_back(doType("AmpSV", tCDCEnum::SAV, kAmpSvDas));
    doTypes.push_back(doType("VolSV", tCDCEnum::SAV, kVolSvDas));
    doTypes.push_back(doType("SPCSO_1", tCDCEnum::SPC, kSpcsoDas));
    doTypes.push_back(doType("DPCSO_1", tCDCEnum::DPC, kDpcsoDas));
}

void SvToCid::_setDATypeData() {
    daTypes.clear();
    daTypes.push_back(daType("AmpScaledValueConfig", kAmpScaledBdas));
    daTypes.push_back(daType("VolScaledValueConfig", kVolScaledBdas));
    daTypes.push_back(daType("AmpUnits", kAmpUnitsBdas));
    daTypes.push_back(daType("VolUnits", kVolUnitsBdas));
    daTypes.push_back(daType("AnalogueValue", kAnalogueValueBdas));
}

void SvToCid::_setEnumTypeData() {
    enumTypes.clear();
    enumTypes.push_back(enumType("Boolean", kBooleanValues));
    enumTypes.push_back(enumType("ctlModel", kCtlModelValues));
    enumTypes.push_back(enumType("Dbpos", kDbposValues));
    enumTypes.push_back(enumType("Beh", kSvBehValues));
    enumTypes.push_back(enumType("Health", kHealthValues));
    // The "Mod" data object type and the unit attributes refer to these two; they are defined
    // here as well so that the document holds no dangling type reference.
    enumTypes.push_back(enumType("Mod", kModValues));
    enumTypes.push_back(enumType("ITSIUnit", kItsiUnitValues));
}

} // namespace VorIec61850
