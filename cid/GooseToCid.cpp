#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"

#include "cid/CidOutput.h"
#include "host/StringHelper.h"
#include "host/XmlHelper.h"

#include <libxml++/libxml++.h>

namespace VorIec61850 {

using Vor::XmlHelper;

namespace {

// Logical node classes used to split a logical node name into prefix, class and instance. The
// first class of this list found anywhere in the name decides, so the order matters.
const char* const kLnClasses[] = {
    "ANCR", "ARCO", "ATCC", "AVCO", "CILO", "CSWI", "CALH", "CCGR", "CPOW", "GAPC", "GGIO", "GSAL", "IHMI",
    "IARC", "ITCI", "ITMI", "MMXU", "MDIF", "MHAI", "MHAN", "MMTR", "MMXN", "MSQI", "MSTA", "PDIF", "PDIS",
    "PDIR", "PDOP", "PDUP", "PFRC", "PHAR", "PHIZ", "PIOC", "PMRI", "PMSS", "POPF", "PPAM", "PSCH", "PSDE",
    "PTEF", "PTOC", "PTOF", "PTOV", "PTRC", "PTTR", "PTUC", "PTUV", "PUPF", "PTUF", "PVOC", "PVPH", "PZSU",
    "RSYN", "RDRE", "RADR", "RBDR", "RDRS", "RBRF", "RDIR", "RFLO", "RPSB", "RREC", "SARC", "SIMG", "SIML",
    "SPDC", "TCTR", "TVTR", "XCBR", "XSWI", "YPTR", "YEFN", "YLTC", "YPSH", "ZAXN", "ZBAT", "ZBSH", "ZCAB",
    "ZCAP", "ZCON", "ZGEN", "ZGIL", "ZLIN", "ZMOT", "ZREA", "ZRRC", "ZSAR", "ZTCF", "ZTCR",
};

// The value of attribute `name` (marker name="), or false when absent or unclosed.
bool attributeValue(const std::string& line, const char* name, std::string& value) {
    const std::string marker = std::string(name) + "=\"";
    auto start = line.find(marker);
    if (start == std::string::npos)
        return false;
    start += marker.size();
    auto end = line.find('"', start);
    if (end == std::string::npos)
        return false;
    value = line.substr(start, end - start);
    return true;
}

} // namespace

GooseToCid::GooseToCid() {
    _initLnClassCollection();
}

void GooseToCid::_initLnClassCollection() {
    lnClasses.assign(std::begin(kLnClasses), std::end(kLnClasses));
}

std::string GooseToCid::targetPath(const std::string& path) {
    return CidOutput::targetPath(path, kDefaultFileName);
}

void GooseToCid::saveToCid(const GooseOut& out, const std::string& path) {
    const std::string target = targetPath(path);
    xmlpp::Document document("1.0");
    xmlpp::Element* scl = document.create_root_node("SCL");
    _setSclNode(scl, out);
    if (_schemaValid)
        CidOutput::makeSchemaValid(document, SvToCid::kDefaultIpAddress);
    CidOutput::writeDocument(document, target);
}

void GooseToCid::_setSclNode(xmlpp::Element* scl, const GooseOut& out) {
    CidOutput::setSclRoot(scl, "2007", "B");

    _findIedLd(out.ldReference, out.goCbRef);
    _findGseControlName(out.goCbRef);

    _setHeaderNode(scl);
    _setCommunicationNode(scl, out);
    _setIed(scl, out);

    xmlpp::Element* templates = scl->add_child("DataTypeTemplates");
    LNodeType::setLNodeType(templates, lNodeTypeAttributes, lNodeTypeItems);
    DoType::setDoType(templates);
    DaType::setDaType(templates);
    EnumType::setEnumType(templates);
}

void GooseToCid::_setHeaderNode(xmlpp::Element* scl) {
    CidOutput::addElement(scl, "Header", {"id", ""}, {"version", "1.0"}, {"revision", "12"});
}

void GooseToCid::_setCommunicationNode(xmlpp::Element* scl, const GooseOut& out) {
    xmlpp::Element* communication = CidOutput::addElement(scl, "Communication", {"desc", ""});
    _setSubNetWork(communication, out);
}

void GooseToCid::_setSubNetWork(xmlpp::Element* communication, const GooseOut& out) {
    xmlpp::Element* subNetwork =
        CidOutput::addElement(communication, "SubNetwork", {"name", "Subnet1"}, {"type", "8-MMS"});
    _setConnectedAP(subNetwork, out);
}

void GooseToCid::_setConnectedAP(xmlpp::Element* subNetwork, const GooseOut& out) {
    xmlpp::Element* connectedAp = CidOutput::addElement(subNetwork, "ConnectedAP", {"iedName", iedName},
                                                        {"desc", ""}, {"apName", "P1"});
    connectedAp->add_child("Address");
    _setGse(connectedAp, out);
}

void GooseToCid::_setGse(xmlpp::Element* connectedAp, const GooseOut& out) {
    xmlpp::Element* gse = CidOutput::addElement(connectedAp, "GSE", {"ldInst", ldInst},
                                                {"cbName", gseControlName}, {"desc", ""});

    xmlpp::Element* address = gse->add_child("Address");
    auto addP = [address](const char* type, const std::string& text) {
        xmlpp::Element* p = CidOutput::addElement(address, "P", {"type", type});
        p->add_child_text(text);
    };
    addP("MAC-Address", out.macAddress);
    addP("VLAN-ID", CidOutput::hexUpper(out.vlanId, 3));
    addP("VLAN-PRIORITY", std::to_string(out.vlanPriority));
    addP("APPID", CidOutput::hexUpper(out.appId, 4));

    xmlpp::Element* minTime = CidOutput::addElement(gse, "MinTime", {"unit", "s"}, {"multiplier", "m"});
    minTime->add_child_text(std::to_string(out.minTime));
    xmlpp::Element* maxTime = CidOutput::addElement(gse, "MaxTime", {"unit", "s"}, {"multiplier", "m"});
    maxTime->add_child_text(std::to_string(out.maxTime));
}

void GooseToCid::_setIed(xmlpp::Element* scl, const GooseOut& out) {
    xmlpp::Element* ied = CidOutput::addElement(scl, "IED", {"name", iedName}, {"desc", ""});
    xmlpp::Element* services = ied->add_child("Services");
    _setConfDataSet(services);
    _setGoose(services);
    _setSmvsc(services);
    _setAccessPoint(ied, out);
}

void GooseToCid::_setConfDataSet(xmlpp::Element* services) {
    CidOutput::addElement(services, "ConfDataSet", {"max", "100"}, {"maxAttributes", "400"});
}

void GooseToCid::_setGoose(xmlpp::Element* services) {
    XmlHelper::set_attribute(services->add_child("GOOSE"), "max", "256");
}

void GooseToCid::_setSmvsc(xmlpp::Element* services) {
    XmlHelper::set_attribute(services->add_child("SMVsc"), "max", "80");
}

void GooseToCid::_setAccessPoint(xmlpp::Element* ied, const GooseOut& out) {
    xmlpp::Element* accessPoint = CidOutput::addElement(ied, "AccessPoint", {"desc", ""}, {"name", "P1"});
    xmlpp::Element* server = CidOutput::addElement(accessPoint, "Server", {"desc", ""});
    server->add_child("Authentication");
    _setlDevice(server, out);
}

void GooseToCid::_setlDevice(xmlpp::Element* server, const GooseOut& out) {
    xmlpp::Element* lDevice = CidOutput::addElement(server, "LDevice", {"desc", ""}, {"inst", ldInst});
    _setLnZero(lDevice, out);
    _setLnItems(lDevice);
}

void GooseToCid::_setLnZero(xmlpp::Element* lDevice, const GooseOut& out) {
    xmlpp::Element* lnZero = CidOutput::addElement(lDevice, "LN0", {"desc", ""}, {"lnType", "LN0"},
                                                   {"lnClass", "LLN0"}, {"inst", ""});
    _setDataSet(lnZero, out);
    _setGseControl(lnZero, out);
}

void GooseToCid::_setDataSet(xmlpp::Element* lnZero, const GooseOut& out) {
    xmlpp::Element* dataSet =
        CidOutput::addElement(lnZero, "DataSet", {"name", out.dataSetName}, {"desc", ""});
    _setFcda(dataSet, out);
}

void GooseToCid::_setFcda(xmlpp::Element* dataSet, const GooseOut& out) {
    for (const std::string& line : Vor::StringHelper::split(out.fcdaList, '\n')) {
        const FcdaAttributes fcda = _parseFcdaString(line);
        if (fcda.ldInst.empty())
            continue; // a line that does not parse is left out silently
        CidOutput::addFcda(dataSet, fcda, fcda.fc);
        _addLnCollectionItem(fcda);
    }
}

void GooseToCid::_setGseControl(xmlpp::Element* lnZero, const GooseOut& out) {
    CidOutput::addElement(lnZero, "GSEControl", {"desc", ""}, {"name", gseControlName},
                          {"datSet", out.dataSetName}, {"confRev", out.confRev}, {"appID", out.appId});
}

void GooseToCid::_setLnItems(xmlpp::Element* lDevice) {
    for (const Ln& ln : lnItems)
        CidOutput::addLn(lDevice, ln, ln.lnClass);
}

void GooseToCid::_findIedLd(const std::string& ldReference, const std::string& goCbRef) {
    auto slash = ldReference.find('/');
    if (slash == std::string::npos)
        return;
    ldInst = ldReference.substr(0, slash);
    slash = goCbRef.find('/');
    if (slash == std::string::npos)
        return;
    const std::string head = goCbRef.substr(0, slash);
    // The MMS domain name is the IED name followed directly by the LD instance.
    const auto at = head.find(ldInst);
    if (at != std::string::npos)
        iedName = head.substr(0, at);
}

void GooseToCid::_findGseControlName(const std::string& goCbRef) {
    const auto pieces = Vor::StringHelper::split(goCbRef, '$');
    // A split always yields at least one piece; should it yield none, the name stays as it was.
    if (!pieces.empty())
        gseControlName = pieces.back();
}

GooseToCid::FcdaAttributes GooseToCid::_parseFcdaString(const std::string& line) const {
    const FcdaAttributes failed;
    FcdaAttributes result;

    const std::string pathMarker = "path=\"";
    auto pathStart = line.find(pathMarker);
    if (pathStart == std::string::npos)
        return failed;
    pathStart += pathMarker.size();

    const auto slash = line.find('/', pathStart);
    if (slash == std::string::npos || slash + 1 >= line.size())
        return failed;
    result.ldInst = line.substr(pathStart, slash - pathStart);

    const auto dot1 = line.find('.', slash + 1);
    if (dot1 == std::string::npos || dot1 + 1 >= line.size())
        return failed;
    const std::string lnName = line.substr(slash + 1, dot1 - slash - 1);

    // A path naming only a data object (no attribute after it) is not taken.
    const auto dot2 = line.find('.', dot1 + 1);
    if (dot2 == std::string::npos)
        return failed;
    result.doName = line.substr(dot1 + 1, dot2 - dot1 - 1);

    // The attribute name may itself hold dots (a structured attribute path).
    const auto daStart = line.find_first_not_of('.', dot2);
    if (daStart == std::string::npos)
        return failed;
    const auto daEnd = line.find('"', daStart);
    if (daEnd == std::string::npos)
        return failed;
    result.daName = line.substr(daStart, daEnd - daStart);

    if (!attributeValue(line, "fc", result.fc) || !attributeValue(line, "dataType", result.dataType))
        return failed;

    for (const std::string& lnClass : lnClasses) {
        const auto at = lnName.find(lnClass);
        if (at == std::string::npos)
            continue;
        result.prefix = lnName.substr(0, at);
        result.lnClass = lnName.substr(at, lnClass.size());
        result.lnInst = lnName.substr(at + lnClass.size());
        return result;
    }
    return failed;
}

void GooseToCid::_addLnCollectionItem(const FcdaAttributes& fcda) {
    const std::string lnType = fcda.prefix + fcda.lnClass;
    lnItems.insert(Ln{"", lnType, fcda.prefix, fcda.lnClass, fcda.lnInst});
    lNodeTypeAttributes.insert(LNodeTypeAttributes{lnType, fcda.lnClass});
    if (fcda.dataType == "BOOLEAN")
        lNodeTypeItems.insert(LNodeTypeItem{"", fcda.doName, "SPCSO_1"});
    else if (fcda.dataType == "Dbpos")
        lNodeTypeItems.insert(LNodeTypeItem{"", fcda.doName, "DPCSO_1"});
}

} // namespace VorIec61850
