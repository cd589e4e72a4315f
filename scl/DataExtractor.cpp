#include "scl/DataExtractor.h"

#include "host/StringHelper.h"
#include "scl/SclQueries.h"

#include <cstdio>
#include <string>

namespace VorIec61850 {

DataExtractor::DataExtractor(const xmlpp::DomParser* parser, Lookup lookup) : _parser(parser) {
    if (_parser != nullptr)
        _fillCollections(lookup);
}

DataExtractor::~DataExtractor() = default;

std::vector<tConnectedAP> DataExtractor::getConnectedApCollection() const {
    std::vector<tConnectedAP> all;
    for (const auto& subNetwork : subNetworks)
        all.insert(all.end(), subNetwork.connectedAPs.begin(), subNetwork.connectedAPs.end());
    return all;
}

void DataExtractor::_fillCollections(Lookup lookup) {
    const xmlpp::Document* document = _parser->get_document();
    if (document == nullptr)
        return;
    const xmlpp::Element* rootElement = document->get_root_node();
    if (rootElement == nullptr)
        return;
    // "x" is bound to whatever namespace the root element has, so every SCL edition resolves.
    const std::string uri = rootElement->get_namespace_uri();
    namespaces["x"] = uri;
    if (lookup == Lookup::XPath)
        _queries = std::make_unique<XPathSclQueries>(uri);
    else
        _queries = std::make_unique<IndexedSclQueries>(uri);
    SclQueries& q = *_queries;
    xmlNode* root = const_cast<xmlNode*>(rootElement->cobj());

    const XmlNodes subNetworkNodes = q.subNetworks(root);
    if (subNetworkNodes.empty()) {
        iedNode = nullptr;
        templatesNode = nullptr;
        return;
    }
    for (xmlNode* subNetworkNode : subNetworkNodes) {
        tSubNetwork subNetwork;
        const auto texts = _getAttributeValues(subNetworkNode, {"name", "type", "desc"});
        subNetwork.name = texts[0];
        subNetwork.type = texts[1];
        subNetwork.desc = texts[2];

        const XmlNodes accessPoints = q.publishingAccessPoints(subNetworkNode);
        const XmlNodes templates = q.path(root, {"DataTypeTemplates"});
        templatesNode = templates.empty() ? nullptr : templates.front();

        for (xmlNode* apNode : accessPoints) {
            tConnectedAP ap;
            const auto apTexts = _getAttributeValues(apNode, {"iedName", "apName", "desc"});
            ap.iedName = apTexts[0];
            ap.apName = apTexts[1];
            ap.desc = apTexts[2];
            const XmlNodes ieds = q.iedsNamed(root, ap.iedName);
            // Without exactly one IED of that name the access point is listed without blocks.
            if (ieds.size() == 1) {
                iedNode = ieds.front();
                _fillGseCollection(ap.gse, q.path(apNode, {"GSE"}));
                _fillSmvCollection(ap.smv, q.path(apNode, {"SMV"}));
            }
            subNetwork.connectedAPs.push_back(std::move(ap));
        }
        subNetworks.push_back(std::move(subNetwork));
    }
}

void DataExtractor::_fillGseCollection(std::vector<tGSE>& gse, const std::vector<xmlNode*>& elements) {
    SclQueries& q = *_queries;
    for (xmlNode* element : elements) {
        tGSE entry;
        _fillControlBlockData(entry, element);
        const XmlNodes minTime = q.path(element, {"MinTime"});
        if (!minTime.empty())
            entry.minTime.value = std::stod(_getContent(minTime.front()));
        const XmlNodes maxTime = q.path(element, {"MaxTime"});
        if (!maxTime.empty())
            entry.maxTime.value = std::stod(_getContent(maxTime.front()));
        xmlNode* control = q.controlBlock(iedNode, entry.ldInst, "GSEControl", entry.cbName);
        if (control != nullptr) {
            _fillGseControl(*entry.gseControl, control);
            _fillControlDataSet(*entry.gseControl, control);
        }
        gse.push_back(std::move(entry));
    }
}

void DataExtractor::_fillSmvCollection(std::vector<tSMV>& smv, const std::vector<xmlNode*>& elements) {
    SclQueries& q = *_queries;
    for (xmlNode* element : elements) {
        tSMV entry;
        _fillControlBlockData(entry, element);
        xmlNode* control = q.controlBlock(iedNode, entry.ldInst, "SampledValueControl", entry.cbName);
        if (control != nullptr) {
            _fillSvControl(*entry.svControl, control);
            _fillControlDataSet(*entry.svControl, control);
        }
        smv.push_back(std::move(entry));
    }
}

void DataExtractor::_fillControlDataSet(tControl& control, xmlNode* element) {
    if (control.datSet.empty())
        return;
    xmlNode* dataSet = _queries->dataSet(element->parent, control.datSet);
    if (dataSet != nullptr)
        _fillDataSet(*control.dataSet, dataSet);
}

void DataExtractor::_fillControlBlockData(tControlBlock& block, xmlNode* element) {
    const auto texts = _getAttributeValues(element, {"ldInst", "cbName", "desc"});
    block.ldInst = texts[0];
    block.cbName = texts[1];
    block.desc = texts[2];
    for (xmlNode* p : _queries->path(element, {"Address", "P"})) {
        const std::string type = _getAttributeValue(p, "type");
        const std::string text = _getContent(p);
        // Only the values read from an address (MAC address, APPID, VLAN) may fail the file; any
        // other parameter (an IP address inside a GSE address, say) that does not parse is kept
        // with its type and no value.
        if (type == "MAC-Address" || type == "APPID" || type == "VLAN-ID" || type == "VLAN-PRIORITY") {
            block.address.emplace_back(type, text);
            continue;
        }
        try {
            block.address.emplace_back(type, text);
        } catch (const std::exception&) {
            block.address.emplace_back(type, static_cast<uint16_t>(0));
        }
    }
}

void DataExtractor::_fillGseControl(tGSEControl& control, xmlNode* element) {
    const auto texts =
        _getAttributeValues(element, {"type", "appID", "fixedOffs", "confRev", "name", "datSet", "desc"});
    control.type = _gseControlTypeFromString(texts[0]);
    control.appID = texts[1];
    control.fixedOffs = _boolFromString(texts[2]);
    control.confRev = std::stoi(texts[3]);
    control.name = texts[4];
    control.datSet = texts[5];
    control.desc = texts[6];
}

void DataExtractor::_fillSvControl(tSampledValueControl& control, xmlNode* element) {
    const auto texts = _getAttributeValues(
        element, {"name", "datSet", "confRev", "smvID", "multicast", "smpRate", "nofASDU", "smpMod", "desc"});
    control.name = texts[0];
    control.datSet = texts[1];
    if (!texts[2].empty())
        control.confRev = std::stoi(texts[2]);
    control.smvID = texts[3];
    control.multicast = _boolFromString(texts[4]);
    control.smpRate = std::stoi(texts[5]);
    control.nofASDU = std::stoi(texts[6]);
    control.smpMod = _tSmpModFromString(texts[7]);
    control.desc = texts[8];
}

void DataExtractor::_fillDataSet(tDataSet& dataSet, xmlNode* element) {
    dataSet.name = _getAttributeValue(element, "name");
    dataSet.desc = _getAttributeValue(element, "desc");
    dataSet.fcdas = _getFcdaCollection(_queries->path(element, {"FCDA"}));
}

void DataExtractor::_getFcdaAttributes(tFCDA& fcda, xmlNode* element) {
    const auto texts =
        _getAttributeValues(element, {"ldInst", "prefix", "lnClass", "lnInst", "doName", "daName", "fc"});
    fcda.ldInst = texts[0];
    fcda.prefix = texts[1];
    fcda.lnClass = texts[2];
    fcda.lnInst = texts[3];
    fcda.doName = texts[4];
    fcda.daName = texts[5];
    fcda.fc = fcFromString(texts[6]);
}

// Resolution of an FCDA needs its logical device and logical node; when either is missing the
// FCDAs resolved so far are the data set and the rest is dropped. A missing LNodeType, DO or
// DOType (an inconsistent document) keeps the FCDA with its attributes only: no attribute
// records, the default MMS type and no unit.
std::vector<tFCDA> DataExtractor::_getFcdaCollection(const std::vector<xmlNode*>& elements) {
    SclQueries& q = *_queries;
    std::vector<tFCDA> result;
    for (xmlNode* element : elements) {
        tFCDA fcda;
        _getFcdaAttributes(fcda, element);
        xmlNode* ld = q.lDevice(iedNode, fcda.ldInst);
        if (ld == nullptr)
            break;
        xmlNode* ln = q.logicalNode(ld, fcda.prefix, fcda.lnClass, fcda.lnInst);
        if (ln == nullptr)
            break;
        xmlNode* lnType = q.lNodeType(templatesNode, _getAttributeValue(ln, "lnType"), fcda.lnClass);
        xmlNode* dataObject = lnType ? q.firstChildWith(lnType, "DO", "name", fcda.doName) : nullptr;
        xmlNode* doType = dataObject ? q.firstChildWith(templatesNode, "DOType", "id",
                                                        _getAttributeValue(dataObject, "type"))
                                     : nullptr;
        const std::string fcText = toString(fcda.fc); // NONE gives ""
        if (doType != nullptr) {
            if (fcda.daName.empty()) {
                fcda.das = _fillDaCollection(q.childrenWith(doType, "DA", "fc", fcText));
                for (tDA& da : fcda.das) {
                    if (da.type.empty())
                        continue;
                    xmlNode* typed = q.firstChildWith(doType, "DA", "type", da.type);
                    if (typed == nullptr)
                        continue;
                    std::string name = _getAttributeValue(typed, "name");
                    tBasicTypeEnum bType = basicTypeFromString(_getAttributeValue(typed, "bType"));
                    _fillDaNameBType(name, bType, typed);
                    da.name = name;
                    da.bType = bType;
                    da.mmsType = _getRelevantMmsType(bType);
                }
            } else {
                _resolveAttributeType(fcda, doType);
            }
            _resolveUnit(fcda, doType, fcText);
        }
        if (lnType != nullptr)
            _resolveComponents(fcda, lnType);
        result.push_back(std::move(fcda));
    }
    return result;
}

void DataExtractor::_resolveAttributeType(tFCDA& fcda, xmlNode* doType) {
    SclQueries& q = *_queries;
    const std::vector<std::string> parts = Vor::StringHelper::split(fcda.daName, '.');
    xmlNode* current = q.firstChildWith(doType, "DA", "name", parts.front());
    std::string bType = _getAttributeValue(current, "bType");
    // Follow the structure member by member; the innermost member with a bType decides.
    for (std::size_t i = 1; current != nullptr && i < parts.size(); ++i) {
        const std::string type = _getAttributeValue(current, "type");
        if (type.empty())
            break;
        xmlNode* typeNode = q.firstChildWith(templatesNode, "*", "id", type);
        current = typeNode ? q.firstChildWith(typeNode, "*", "name", parts[i]) : nullptr;
        const std::string memberType = _getAttributeValue(current, "bType");
        if (!memberType.empty())
            bType = memberType;
    }
    fcda.bType = bType;
    fcda.mmsType = _getRelevantMmsType(basicTypeFromString(bType));
}

void DataExtractor::_resolveUnit(tFCDA& fcda, xmlNode* doType, const std::string& fcText) {
    SclQueries& q = *_queries;
    // The unit is the Val of an SIUnit that opens the type of one of the data object's
    // attributes of other constraints (for example units[CF]); the last one found wins.
    for (xmlNode* da : q.dasWithOtherFc(doType, fcText)) {
        const std::string type = _getAttributeValue(da, "type");
        if (type.empty())
            continue;
        xmlNode* daType = q.firstChildWith(templatesNode, "DAType", "id", type);
        xmlNode* first = q.firstChildElement(daType);
        if (first == nullptr || _getAttributeValue(first, "name") != "SIUnit")
            continue;
        xmlNode* val = q.firstChildElement(first);
        if (val != nullptr)
            fcda.unit = _getContent(val);
    }
}

std::vector<tDA> DataExtractor::_fillDaCollection(const std::vector<xmlNode*>& elements) {
    std::vector<tDA> das;
    das.reserve(elements.size());
    for (xmlNode* element : elements) {
        const auto texts = _getAttributeValues(element, {"dchg", "qchg", "dupd", "fc", "name", "sAddr",
                                                         "bType", "valKind", "type", "count", "desc"});
        tDA da;
        da.dchg = _boolFromString(texts[0]);
        da.qchg = _boolFromString(texts[1]);
        da.dupd = _boolFromString(texts[2]);
        da.fc = fcFromString(texts[3]);
        da.name = texts[4];
        da.sAddr = texts[5];
        da.bType = basicTypeFromString(texts[6]);
        da.mmsType = _getRelevantMmsType(da.bType);
        da.valKind = _valKindFromString(texts[7]);
        da.type = texts[8];
        da.count = texts[9];
        da.desc = texts[10];
        das.push_back(std::move(da));
    }
    return das;
}

// Names a structured attribute by its own name and its type's first member, and takes that
// member's basic type: one level deep. An attribute whose type is an enumeration (or whose
// type is missing) keeps its own name and basic type.
void DataExtractor::_fillDaNameBType(std::string& name, tBasicTypeEnum& bType, xmlNode* element) {
    SclQueries& q = *_queries;
    xmlNode* typeNode = element;
    const std::string type = _getAttributeValue(element, "type");
    if (!type.empty()) {
        typeNode = q.firstChildWith(templatesNode, "*", "id", type);
        if (typeNode == nullptr || q.isElement(typeNode, "EnumType"))
            return;
        xmlNode* member = q.firstChildElement(typeNode);
        if (member == nullptr)
            return;
        name += "." + _getAttributeValue(member, "name");
    }
    xmlNode* member = q.firstChildElement(typeNode);
    if (member == nullptr)
        return;
    const int index = sclTableIndex(tBasicTypeEnum_STRING, _getAttributeValue(member, "bType"));
    if (index >= 0)
        bType = static_cast<tBasicTypeEnum>(index);
}

std::string DataExtractor::_getAttributeValue(const xmlNode* node, const char* name) {
    return SclQueries::attribute(node, name);
}

std::vector<std::string> DataExtractor::_getAttributeValues(const xmlNode* node,
                                                            const std::vector<const char*>& names) {
    std::vector<std::string> values;
    values.reserve(names.size());
    for (const char* name : names)
        values.push_back(_getAttributeValue(node, name));
    return values;
}

std::string DataExtractor::_getContent(const xmlNode* node) {
    if (node == nullptr)
        return std::string();
    for (const xmlNode* c = node->children; c != nullptr; c = c->next)
        if (c->type == XML_TEXT_NODE)
            return c->content ? reinterpret_cast<const char*>(c->content) : "";
    return std::string();
}

void DataExtractor::_printAttributes(const xmlNode* node) {
    if (node == nullptr)
        return;
    std::printf("%s ", reinterpret_cast<const char*>(node->name));
    bool first = true;
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        if (!first)
            std::printf(", ");
        first = false;
        const std::string value = SclQueries::attribute(node, reinterpret_cast<const char*>(a->name));
        std::printf("%s=\"%s\"", reinterpret_cast<const char*>(a->name), value.c_str());
    }
    std::printf("\n");
}

tGSEControlTypeEnum DataExtractor::_gseControlTypeFromString(const std::string& text) {
    return gseControlTypeFromString(text);
}
bool DataExtractor::_boolFromString(const std::string& text) {
    return sclBoolFromString(text);
}
tValKindEnum DataExtractor::_valKindFromString(const std::string& text) {
    return valKindFromString(text);
}
tSmpMod DataExtractor::_tSmpModFromString(const std::string& text) {
    return smpModFromString(text);
}
tMmsTypeEnum DataExtractor::_getRelevantMmsType(tBasicTypeEnum bType) {
    return relevantMmsType(bType);
}

} // namespace VorIec61850
