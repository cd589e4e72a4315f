// Loading of a simulated IED's model from an SCL file: the IED's logical devices and nodes
// expanded through the DataTypeTemplates, initial values, data sets and control blocks.
#include "sim/ControlBlockNodes.h"
#include "sim/Model.h"

#include "iec61850_common.h"
#include "mms_type_spec.h"

#include <libxml++/libxml++.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

namespace iecx::sim {

namespace {

using Element = xmlpp::Element;

std::vector<const Element*> kids(const Element* parent, const char* name) {
    std::vector<const Element*> out;
    if (!parent)
        return out;
    for (const xmlpp::Node* n : parent->get_children()) {
        auto* e = dynamic_cast<const Element*>(n);
        if (e && (!name || e->get_name() == name))
            out.push_back(e);
    }
    return out;
}

const Element* kid(const Element* parent, const char* name) {
    auto all = kids(parent, name);
    return all.empty() ? nullptr : all.front();
}

const Element* kidNamed(const Element* parent, const char* elementName, const std::string& nameAttr) {
    for (const Element* e : kids(parent, elementName))
        if (e->get_attribute_value("name") == nameAttr)
            return e;
    return nullptr;
}

std::string attr(const Element* e, const char* name) {
    return e ? std::string(e->get_attribute_value(name)) : "";
}

std::string textOf(const Element* e) {
    if (!e)
        return "";
    const xmlpp::TextNode* t = e->get_child_text();
    return t ? std::string(t->get_content()) : "";
}

bool boolAttr(const Element* e, const char* name, bool dflt) {
    std::string v = attr(e, name);
    if (v.empty())
        return dflt;
    return v == "true" || v == "1";
}

uint32_t uintAttr(const Element* e, const char* name, uint32_t dflt) {
    std::string v = attr(e, name);
    if (v.empty())
        return dflt;
    try {
        return static_cast<uint32_t>(std::stoul(v));
    } catch (const std::exception&) {
        return dflt;
    }
}

// MMS type and size of an SCL basic type; false for Struct and unknown names.
bool basicType(const std::string& bType, MmsType& type, int& size) {
    static const std::map<std::string, std::pair<MmsType, int>> table = {
        {"BOOLEAN", {MMS_BOOLEAN, 0}},
        {"INT8", {MMS_INTEGER, 8}},
        {"INT16", {MMS_INTEGER, 16}},
        {"INT24", {MMS_INTEGER, 32}},
        {"INT32", {MMS_INTEGER, 32}},
        {"INT64", {MMS_INTEGER, 64}},
        {"INT128", {MMS_INTEGER, 64}},
        {"INT8U", {MMS_UNSIGNED, 8}},
        {"INT16U", {MMS_UNSIGNED, 16}},
        {"INT24U", {MMS_UNSIGNED, 24}},
        {"INT32U", {MMS_UNSIGNED, 32}},
        {"FLOAT32", {MMS_FLOAT, 32}},
        {"FLOAT64", {MMS_FLOAT, 64}},
        {"Enum", {MMS_INTEGER, 8}},
        {"Dbpos", {MMS_BIT_STRING, 2}},
        {"Tcmd", {MMS_BIT_STRING, 2}},
        {"Check", {MMS_BIT_STRING, 2}},
        {"Quality", {MMS_BIT_STRING, 13}},
        {"Timestamp", {MMS_UTC_TIME, 0}},
        {"Unicode255", {MMS_STRING, 255}},
        // Some tools (our own CID writer among them) spell the time stamp type this way.
        {"TimeStamp", {MMS_UTC_TIME, 0}},
        {"Octet64", {MMS_OCTET_STRING, -64}},
        {"EntryTime", {MMS_BINARY_TIME, 6}},
        {"ObjRef", {MMS_VISIBLE_STRING, 129}},
        {"Currency", {MMS_VISIBLE_STRING, 3}},
        {"TrgOps", {MMS_BIT_STRING, 6}},
        {"OptFlds", {MMS_BIT_STRING, 10}},
        {"SvOptFlds", {MMS_BIT_STRING, 5}},
        {"EntryID", {MMS_OCTET_STRING, 8}},
    };
    auto it = table.find(bType);
    if (it != table.end()) {
        type = it->second.first;
        size = it->second.second;
        return true;
    }
    if (bType.rfind("VisString", 0) == 0) {
        type = MMS_VISIBLE_STRING;
        size = std::atoi(bType.c_str() + 9);
        if (size <= 0)
            size = 255;
        return true;
    }
    return false;
}

const std::vector<std::string>& allFcs() {
    static const std::vector<std::string> fcs = {"BL", "CF", "CO", "DC", "EX", "MX", "OR", "SE",
                                                 "SG", "SP", "SR", "ST", "SV", "US", "MS", "LG"};
    return fcs;
}

class Loader {
public:
    Loader(Model& model, const Element* root) : _model(model), _root(root) {}

    void load(const std::string& iedName);

private:
    Model& _model;
    const Element* _root;
    std::map<std::string, const Element*> _lnTypes, _doTypes, _daTypes;
    std::map<std::string, std::map<std::string, int>> _enums;
    uint64_t _loadTimeMs = 0;

    void indexTemplates();
    void loadLogicalDevice(const Element* ld);
    std::unique_ptr<ModelNode> buildLogicalNode(const Element* lnEl, Domain& domain);
    std::unique_ptr<ModelNode> buildDataObject(const std::string& name, const std::string& doTypeId,
                                               const std::string& fc, const Element* doi, int depth);
    std::unique_ptr<ModelNode> buildAttribute(const Element* daEl, const std::string& fc, uint8_t triggers,
                                              const Element* inst, int depth);
    MmsVariableSpecification* typeSpec(const std::string& name, const std::string& bType,
                                       const std::string& type, int depth);
    void applyText(ModelNode& leaf, const std::string& type, const std::string& text);
    void loadDataSets(const Element* lnEl, Domain& domain, const std::string& lnName);
    void loadControls(const Element* lnEl, Domain& domain, ModelNode& ln);
    void loadSampledValueControls(const Element* lnEl, Domain& domain, const std::string& lnName);
    // The GSE or SMV elements (kind) of this IED's connected access points for one control block.
    std::vector<const Element*> addressElements(const char* kind, const std::string& ldInst,
                                                const std::string& cbName) const;
};

void Loader::indexTemplates() {
    const Element* dtt = kid(_root, "DataTypeTemplates");
    for (const Element* e : kids(dtt, "LNodeType"))
        _lnTypes[attr(e, "id")] = e;
    for (const Element* e : kids(dtt, "DOType"))
        _doTypes[attr(e, "id")] = e;
    for (const Element* e : kids(dtt, "DAType"))
        _daTypes[attr(e, "id")] = e;
    for (const Element* e : kids(dtt, "EnumType")) {
        auto& values = _enums[attr(e, "id")];
        for (const Element* v : kids(e, "EnumVal"))
            values[textOf(v)] = std::atoi(attr(v, "ord").c_str());
    }
}

void Loader::load(const std::string& iedName) {
    _loadTimeMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());
    indexTemplates();
    const Element* ied = nullptr;
    for (const Element* e : kids(_root, "IED")) {
        if (iedName.empty() || attr(e, "name") == iedName) {
            ied = e;
            break;
        }
    }
    if (!ied)
        throw std::runtime_error(iedName.empty() ? "the file describes no IED"
                                                 : "no IED named '" + iedName + "' in the file");
    _model._iedName = attr(ied, "name");
    for (const Element* ap : kids(ied, "AccessPoint"))
        for (const Element* server : kids(ap, "Server"))
            for (const Element* ld : kids(server, "LDevice"))
                loadLogicalDevice(ld);
    if (_model._domains.empty())
        throw std::runtime_error("IED '" + _model._iedName + "' has no logical device");
}

void Loader::loadLogicalDevice(const Element* ldEl) {
    auto domain = std::make_unique<Domain>();
    domain->inst = attr(ldEl, "inst");
    std::string ldName = attr(ldEl, "ldName");
    domain->name = ldName.empty() ? _model._iedName + domain->inst : ldName;
    std::vector<const Element*> lnEls = kids(ldEl, "LN0");
    for (const Element* e : kids(ldEl, "LN"))
        lnEls.push_back(e);
    for (const Element* lnEl : lnEls)
        domain->logicalNodes.push_back(buildLogicalNode(lnEl, *domain));
    // Data sets first: control blocks refer to them.
    for (size_t i = 0; i < lnEls.size(); ++i)
        loadDataSets(lnEls[i], *domain, domain->logicalNodes[i]->name);
    for (size_t i = 0; i < lnEls.size(); ++i)
        loadControls(lnEls[i], *domain, *domain->logicalNodes[i]);
    for (auto& ln : domain->logicalNodes) {
        std::sort(ln->children.begin(), ln->children.end(),
                  [](const std::unique_ptr<ModelNode>& a, const std::unique_ptr<ModelNode>& b) {
                      return a->name < b->name;
                  });
        ln->finishDesc();
    }
    _model._domains.push_back(std::move(domain));
}

std::unique_ptr<ModelNode> Loader::buildLogicalNode(const Element* lnEl, Domain& domain) {
    std::string lnName = attr(lnEl, "prefix") + attr(lnEl, "lnClass") + attr(lnEl, "inst");
    auto ln = std::make_unique<ModelNode>(ModelNode::Kind::LogicalNode, lnName);
    ln->domain = &domain;
    std::string lnType = attr(lnEl, "lnType");
    auto it = _lnTypes.find(lnType);
    if (it == _lnTypes.end())
        throw std::runtime_error("logical node " + domain.name + "/" + lnName + ": LNodeType '" + lnType +
                                 "' is not defined");
    std::vector<const Element*> dos = kids(it->second, "DO");
    for (const std::string& fc : allFcs()) {
        auto group = std::make_unique<ModelNode>(ModelNode::Kind::FcGroup, fc);
        group->fc = fc;
        for (const Element* doEl : dos) {
            std::string doName = attr(doEl, "name");
            auto dobj = buildDataObject(doName, attr(doEl, "type"), fc, kidNamed(lnEl, "DOI", doName), 0);
            if (dobj)
                group->addChild(std::move(dobj));
        }
        if (!group->children.empty())
            ln->addChild(std::move(group));
    }
    return ln;
}

std::unique_ptr<ModelNode> Loader::buildDataObject(const std::string& name, const std::string& doTypeId,
                                                   const std::string& fc, const Element* doi, int depth) {
    auto it = _doTypes.find(doTypeId);
    if (it == _doTypes.end())
        throw std::runtime_error("DOType '" + doTypeId + "' of data object " + name + " is not defined");
    if (depth > 16)
        throw std::runtime_error("DOType '" + doTypeId + "' nests too deeply");
    auto node = std::make_unique<ModelNode>(ModelNode::Kind::DataObject, name);
    node->fc = fc;
    for (const Element* e : kids(it->second, nullptr)) {
        std::string tag = e->get_name();
        std::string childName = attr(e, "name");
        if (tag == "SDO") {
            auto sdo =
                buildDataObject(childName, attr(e, "type"), fc, kidNamed(doi, "SDI", childName), depth + 1);
            if (sdo)
                node->addChild(std::move(sdo));
        } else if (tag == "DA" && attr(e, "fc") == fc) {
            uint8_t triggers = (boolAttr(e, "dchg", false) ? kTrgDchg : 0) |
                               (boolAttr(e, "qchg", false) ? kTrgQchg : 0) |
                               (boolAttr(e, "dupd", false) ? kTrgDupd : 0);
            const Element* inst = kidNamed(doi, attr(e, "bType") == "Struct" ? "SDI" : "DAI", childName);
            node->addChild(buildAttribute(e, fc, triggers, inst, depth + 1));
        }
    }
    if (node->children.empty())
        return nullptr;
    return node;
}

MmsVariableSpecification* Loader::typeSpec(const std::string& name, const std::string& bType,
                                           const std::string& type, int depth) {
    if (depth > 16)
        throw std::runtime_error("DAType '" + type + "' nests too deeply");
    MmsVariableSpecification* typeDesc = nullptr;
    MmsType mmsType;
    int size;
    if (bType == "Struct") {
        auto it = _daTypes.find(type);
        if (it == _daTypes.end())
            throw std::runtime_error("DAType '" + type + "' is not defined");
        auto bdas = kids(it->second, "BDA");
        std::vector<MmsVariableSpecification*> components;
        try {
            for (const Element* bda : bdas)
                components.push_back(
                    typeSpec(attr(bda, "name"), attr(bda, "bType"), attr(bda, "type"), depth + 1));
        } catch (...) {
            for (MmsVariableSpecification* c : components)
                MmsVariableSpecification_destroy(c);
            throw;
        }
        typeDesc = stack::mms::makeStructureDesc(nullptr, components);
    } else if (bType == "PhyComAddr") {
        typeDesc = phyComAddrDesc();
    } else if (basicType(bType, mmsType, size)) {
        typeDesc = stack::mms::makeTypeDesc(mmsType, nullptr, size);
    } else {
        throw std::runtime_error("attribute " + name + " has the unknown basic type '" + bType + "'");
    }
    if (!name.empty())
        stack::mms::setTypeDescName(typeDesc, name.c_str());
    return typeDesc;
}

std::unique_ptr<ModelNode> Loader::buildAttribute(const Element* daEl, const std::string& fc,
                                                  uint8_t triggers, const Element* inst, int depth) {
    std::string name = attr(daEl, "name");
    std::string bType = attr(daEl, "bType");
    std::string type = attr(daEl, "type");
    auto node = std::make_unique<ModelNode>(ModelNode::Kind::Attribute, name);
    node->fc = fc;
    node->triggers = triggers;
    node->bType = bType;
    int count = std::atoi(attr(daEl, "count").c_str());
    if (count > 0) {
        // Arrays are served as one value; element values are not read from the file.
        auto* typeDesc = static_cast<MmsVariableSpecification*>(calloc(1, sizeof(MmsVariableSpecification)));
        typeDesc->type = MMS_ARRAY;
        typeDesc->name = strdup(name.c_str());
        typeDesc->typeSpec.array.elementCount = count;
        typeDesc->typeSpec.array.elementTypeSpec = typeSpec("", bType, type, depth + 1);
        node->typeDesc = typeDesc;
        node->value = MmsValue_newDefaultValue(typeDesc);
        return node;
    }
    if (bType == "Struct") {
        auto it = _daTypes.find(type);
        if (it == _daTypes.end())
            throw std::runtime_error("DAType '" + type + "' of attribute " + name + " is not defined");
        if (depth > 32)
            throw std::runtime_error("DAType '" + type + "' nests too deeply");
        for (const Element* bda : kids(it->second, "BDA")) {
            std::string bdaName = attr(bda, "name");
            const Element* sub = kidNamed(inst, attr(bda, "bType") == "Struct" ? "SDI" : "DAI", bdaName);
            node->addChild(buildAttribute(bda, fc, triggers, sub, depth + 1));
        }
        return node;
    }
    node->typeDesc = typeSpec(name, bType, type, depth + 1);
    node->value = MmsValue_newDefaultValue(node->typeDesc);
    if (bType == "Timestamp")
        MmsValue_setUtcTimeMs(node->value, _loadTimeMs);
    // Instance value wins over the template's default.
    const Element* val = kid(inst, "Val");
    if (!val)
        val = kid(daEl, "Val");
    if (val)
        applyText(*node, type, textOf(val));
    return node;
}

void Loader::applyText(ModelNode& leaf, const std::string& type, const std::string& text) {
    MmsValue* v = leaf.value;
    try {
        switch (MmsValue_getType(v)) {
        case MMS_BOOLEAN:
            MmsValue_setBoolean(v, text == "true" || text == "1");
            break;
        case MMS_INTEGER:
            if (leaf.bType == "Enum") {
                auto e = _enums.find(type);
                if (e != _enums.end() && e->second.count(text))
                    MmsValue_setInt64(v, e->second.at(text));
                else
                    MmsValue_setInt64(v, std::stoll(text));
            } else {
                MmsValue_setInt64(v, std::stoll(text));
            }
            break;
        case MMS_UNSIGNED:
            MmsValue_setUint32(v, static_cast<uint32_t>(std::stoul(text)));
            break;
        case MMS_FLOAT:
            if (leaf.typeDesc->typeSpec.floatingpoint.formatWidth == 64)
                MmsValue_setDouble(v, std::stod(text));
            else
                MmsValue_setFloat(v, std::stof(text));
            break;
        case MMS_VISIBLE_STRING:
            MmsValue_setVisibleString(v, text.c_str());
            break;
        case MMS_STRING:
            MmsValue_setMmsString(v, text.c_str());
            break;
        case MMS_OCTET_STRING:
            MmsValue_setOctetString(v, reinterpret_cast<const uint8_t*>(text.data()),
                                    static_cast<int>(text.size()));
            break;
        case MMS_BIT_STRING:
            if (leaf.bType == "Dbpos" || leaf.bType == "Tcmd") {
                int code = text == "off" || text == "lower"            ? 1
                           : text == "on" || text == "higher"          ? 2
                           : text == "bad-state" || text == "reserved" ? 3
                                                                       : 0;
                MmsValue_setBitStringBit(v, 0, (code & 2) != 0);
                MmsValue_setBitStringBit(v, 1, (code & 1) != 0);
            }
            break;
        default:
            break;
        }
    } catch (const std::exception&) {
        // A value text that does not fit its type leaves the default value in place.
    }
}

void Loader::loadDataSets(const Element* lnEl, Domain& domain, const std::string& lnName) {
    for (const Element* dsEl : kids(lnEl, "DataSet")) {
        auto ds = std::make_unique<DataSet>();
        ds->domain = &domain;
        ds->name = attr(dsEl, "name");
        ds->itemId = lnName + "$" + ds->name;
        for (const Element* f : kids(dsEl, "FCDA")) {
            DataSetMember m;
            std::string ldInst = attr(f, "ldInst");
            m.domain = ldInst.empty() ? domain.name : _model._iedName + ldInst;
            m.fc = attr(f, "fc");
            std::string item = attr(f, "prefix") + attr(f, "lnClass") + attr(f, "lnInst") + "$" + m.fc;
            std::string path = attr(f, "doName");
            std::string da = attr(f, "daName");
            if (!da.empty())
                path += "." + da;
            for (char& c : path)
                if (c == '.')
                    c = '$';
            m.item = item + "$" + path;
            m.index = attr(f, "ix");
            ds->members.push_back(std::move(m));
        }
        domain.dataSets.push_back(std::move(ds));
    }
}

void Loader::loadControls(const Element* lnEl, Domain& domain, ModelNode& ln) {
    auto group = [&ln](const std::string& fc) {
        if (ModelNode* g = ln.child(fc))
            return g;
        auto g = std::make_unique<ModelNode>(ModelNode::Kind::FcGroup, fc);
        g->fc = fc;
        return ln.addChild(std::move(g));
    };
    for (const Element* rc : kids(lnEl, "ReportControl")) {
        ReportControlDef def;
        def.buffered = boolAttr(rc, "buffered", false);
        def.rptId = attr(rc, "rptID");
        def.confRev = uintAttr(rc, "confRev", 0);
        def.bufTime = uintAttr(rc, "bufTime", 0);
        def.intgPd = uintAttr(rc, "intgPd", 0);
        std::string dsName = attr(rc, "datSet");
        def.dataSet = dsName.empty() ? nullptr : domain.dataSet(ln.name + "$" + dsName);
        if (const Element* t = kid(rc, "TrgOps")) {
            def.trgOps = (boolAttr(t, "dchg", false) ? TRG_OPT_DATA_CHANGED : 0) |
                         (boolAttr(t, "qchg", false) ? TRG_OPT_QUALITY_CHANGED : 0) |
                         (boolAttr(t, "dupd", false) ? TRG_OPT_DATA_UPDATE : 0) |
                         (boolAttr(t, "period", false) ? TRG_OPT_INTEGRITY : 0) |
                         (boolAttr(t, "gi", true) ? TRG_OPT_GI : 0);
        } else {
            def.trgOps = TRG_OPT_GI;
        }
        if (const Element* o = kid(rc, "OptFields")) {
            def.optFlds = (boolAttr(o, "seqNum", false) ? RPT_OPT_SEQ_NUM : 0) |
                          (boolAttr(o, "timeStamp", false) ? RPT_OPT_TIME_STAMP : 0) |
                          (boolAttr(o, "reasonCode", false) ? RPT_OPT_REASON_FOR_INCLUSION : 0) |
                          (boolAttr(o, "dataSet", false) ? RPT_OPT_DATA_SET : 0) |
                          (boolAttr(o, "dataRef", false) ? RPT_OPT_DATA_REFERENCE : 0) |
                          (boolAttr(o, "bufOvfl", false) ? RPT_OPT_BUFFER_OVERFLOW : 0) |
                          (boolAttr(o, "entryID", false) ? RPT_OPT_ENTRY_ID : 0) |
                          (boolAttr(o, "configRef", false) ? RPT_OPT_CONF_REV : 0);
        }
        uint32_t max = uintAttr(kid(rc, "RptEnabled"), "max", 1);
        if (max == 0)
            max = 1;
        if (max > 99)
            max = 99;
        bool indexed = boolAttr(rc, "indexed", true) && max > 1;
        std::string base = attr(rc, "name");
        ModelNode* g = group(def.buffered ? "BR" : "RP");
        for (uint32_t i = 1; i <= max; ++i) {
            ReportControlDef inst = def;
            inst.name = base;
            if (indexed) {
                char suffix[4];
                snprintf(suffix, sizeof suffix, "%02u", i);
                inst.name += suffix;
            }
            // Without a configured RptID reports carry the control block's reference.
            if (inst.rptId.empty())
                inst.rptId = domain.name + "/" + ln.name + (def.buffered ? "$BR$" : "$RP$") + inst.name;
            inst.node = g->addChild(buildReportControlNode(inst, domain, _loadTimeMs));
            domain.reports.push_back(inst);
        }
    }
    for (const Element* gc : kids(lnEl, "GSEControl")) {
        GooseControlDef def;
        def.name = attr(gc, "name");
        def.goId = attr(gc, "appID");
        def.confRev = uintAttr(gc, "confRev", 0);
        def.fixedOffs = boolAttr(gc, "fixedOffs", false);
        std::string dsName = attr(gc, "datSet");
        def.dataSet = dsName.empty() ? nullptr : domain.dataSet(ln.name + "$" + dsName);
        for (const Element* gse : addressElements("GSE", domain.inst, def.name)) {
            for (const Element* p : kids(kid(gse, "Address"), "P"))
                applyAddressParameter(def, attr(p, "type"), textOf(p));
            if (const Element* t = kid(gse, "MinTime"))
                def.minTime = static_cast<uint32_t>(std::atol(textOf(t).c_str()));
            if (const Element* t = kid(gse, "MaxTime"))
                def.maxTime = static_cast<uint32_t>(std::atol(textOf(t).c_str()));
        }
        if (def.minTime == 0)
            def.minTime = 10;
        if (def.maxTime < def.minTime)
            def.maxTime = std::max<uint32_t>(def.minTime, 1000);
        def.node = group("GO")->addChild(buildGooseControlNode(def, domain));
        domain.gooses.push_back(def);
    }
    loadSampledValueControls(lnEl, domain, ln.name);
}

void Loader::loadSampledValueControls(const Element* lnEl, Domain& domain, const std::string& lnName) {
    for (const Element* sc : kids(lnEl, "SampledValueControl")) {
        SvControlDef def;
        def.name = attr(sc, "name");
        def.multicast = boolAttr(sc, "multicast", true);
        def.reference = domain.name + "/" + lnName + (def.multicast ? "$MS$" : "$US$") + def.name;
        def.smvId = attr(sc, "smvID");
        if (def.smvId.empty())
            def.smvId = def.reference;
        def.confRev = uintAttr(sc, "confRev", 0);
        def.smpRate = static_cast<uint16_t>(std::min<uint32_t>(uintAttr(sc, "smpRate", 80), 65535));
        def.nofAsdu = static_cast<uint16_t>(std::min<uint32_t>(uintAttr(sc, "nofASDU", 1), 64));
        std::string mod = attr(sc, "smpMod");
        def.smpMod = mod == "SmpPerSec" ? 1 : mod == "SecPerSmp" ? 2 : 0;
        std::string dsName = attr(sc, "datSet");
        def.dataSet = dsName.empty() ? nullptr : domain.dataSet(lnName + "$" + dsName);
        if (const Element* o = kid(sc, "SmvOpts")) {
            def.refreshTime = boolAttr(o, "refreshTime", false);
            def.sampleSynchronized = boolAttr(o, "sampleSynchronized", true);
            def.sampleRate = boolAttr(o, "sampleRate", false);
            def.dataSetOpt = boolAttr(o, "dataSet", false);
        }
        for (const Element* smv : addressElements("SMV", domain.inst, def.name))
            for (const Element* p : kids(kid(smv, "Address"), "P"))
                applyAddressParameter(def, attr(p, "type"), textOf(p));
        domain.svs.push_back(def);
    }
}

std::vector<const Element*> Loader::addressElements(const char* kind, const std::string& ldInst,
                                                    const std::string& cbName) const {
    std::vector<const Element*> out;
    for (const Element* sn : kids(kid(_root, "Communication"), "SubNetwork"))
        for (const Element* cap : kids(sn, "ConnectedAP")) {
            if (attr(cap, "iedName") != _model._iedName)
                continue;
            for (const Element* e : kids(cap, kind))
                if (attr(e, "ldInst") == ldInst && attr(e, "cbName") == cbName)
                    out.push_back(e);
        }
    return out;
}

} // namespace

std::unique_ptr<Model> Model::load(const std::string& file, const std::string& iedName) {
    auto model = std::make_unique<Model>();
    xmlpp::DomParser parser;
    try {
        parser.parse_file(file);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read SCL file '" + file + "': " + e.what());
    }
    const xmlpp::Document* doc = parser.get_document();
    const Element* root = doc ? doc->get_root_node() : nullptr;
    if (!root || root->get_name() != "SCL")
        throw std::runtime_error("'" + file + "' is not an SCL file");
    Loader(*model, root).load(iedName);
    // Data set members resolve only once every logical device is built.
    for (auto& d : model->_domains)
        for (auto& ds : d->dataSets)
            for (auto& m : ds->members)
                if ((m.node = model->findMember(m.domain, m.item, m.index, m.steps)) && !m.steps.empty())
                    m.item = m.node->itemId(); // the array; the steps select the element
    return model;
}

} // namespace iecx::sim
