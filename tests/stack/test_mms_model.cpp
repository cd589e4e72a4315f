#include "test_mms_model.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace stack::mms;

namespace mmstest {

namespace {

MmsVariableSpecification* leaf(MmsType t, const char* name, int size = 0) {
    return makeTypeSpec(t, name, size);
}

MmsVariableSpecification* quality(const char* name) {
    return leaf(MMS_BIT_STRING, name, 13);
}

std::vector<std::string> splitDollar(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t p = s.find('$', start);
        out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            return out;
        start = p + 1;
    }
}

void addNames(const MmsVariableSpecification* spec, const std::string& prefix,
              std::vector<std::string>& out) {
    out.push_back(prefix);
    if (spec->type != MMS_STRUCTURE)
        return;
    for (int i = 0; i < spec->typeSpec.structure.elementCount; ++i) {
        const MmsVariableSpecification* c = spec->typeSpec.structure.elements[i];
        addNames(c, prefix + "$" + c->name, out);
    }
}

MmsValue* bits(int size, unsigned mask) {
    MmsValue* v = MmsValue_newBitString(size);
    for (int i = 0; i < size; ++i)
        MmsValue_setBitStringBit(v, i, (mask >> i) & 1u);
    return v;
}

} // namespace

TestModel::TestModel(std::string ldName) : ld(std::move(ldName)) {
    auto add = [this](const char* ln, const char* fc, const char* name, MmsVariableSpecification* spec) {
        Node n;
        n.ln = ln;
        n.fc = fc;
        n.name = name;
        setTypeSpecName(spec, name);
        n.spec = spec;
        n.value = MmsValue_newDefaultValue(spec);
        nodes.push_back(n);
        return &nodes.back();
    };
    nodes.reserve(16);
    Node* mod = add(
        "LLN0", "ST", "Mod",
        makeStructureSpec(nullptr, {leaf(MMS_INTEGER, "stVal", 8), quality("q"), leaf(MMS_UTC_TIME, "t")}));
    MmsValue_setInt32(MmsValue_getElement(mod->value, 0), 1);

    Node* urcb = add(
        "LLN0", "RP", "urcb01",
        makeStructureSpec(nullptr, {leaf(MMS_VISIBLE_STRING, "RptID", 129), leaf(MMS_BOOLEAN, "RptEna"),
                                    leaf(MMS_BOOLEAN, "Resv"), leaf(MMS_VISIBLE_STRING, "DatSet", 129),
                                    leaf(MMS_UNSIGNED, "ConfRev", 32), leaf(MMS_BIT_STRING, "OptFlds", 10),
                                    leaf(MMS_UNSIGNED, "BufTm", 32), leaf(MMS_UNSIGNED, "SqNum", 8),
                                    leaf(MMS_BIT_STRING, "TrgOps", 6), leaf(MMS_UNSIGNED, "IntgPd", 32),
                                    leaf(MMS_BOOLEAN, "GI"), leaf(MMS_OCTET_STRING, "Owner", 64)}));
    MmsValue_setVisibleString(MmsValue_getElement(urcb->value, 0), "Events1");
    MmsValue_setVisibleString(MmsValue_getElement(urcb->value, 3), (ld + "/LLN0$DS1").c_str());
    MmsValue_setUint32(MmsValue_getElement(urcb->value, 4), 7);
    MmsValue_setBitStringFromInteger(MmsValue_getElement(urcb->value, 5), 0);
    MmsValue_setBitStringBit(MmsValue_getElement(urcb->value, 5), 1, true);
    MmsValue_setBitStringBit(MmsValue_getElement(urcb->value, 5), 3, true);
    MmsValue_setBitStringBit(MmsValue_getElement(urcb->value, 8), 1, true);
    MmsValue_setBitStringBit(MmsValue_getElement(urcb->value, 8), 5, true);
    MmsValue_setUint32(MmsValue_getElement(urcb->value, 9), 1000);

    Node* brcb = add("LLN0", "BR", "brcb01",
                     makeStructureSpec(
                         nullptr, {leaf(MMS_VISIBLE_STRING, "RptID", 129), leaf(MMS_BOOLEAN, "RptEna"),
                                   leaf(MMS_VISIBLE_STRING, "DatSet", 129), leaf(MMS_UNSIGNED, "ConfRev", 32),
                                   leaf(MMS_BIT_STRING, "OptFlds", 10), leaf(MMS_UNSIGNED, "BufTm", 32),
                                   leaf(MMS_UNSIGNED, "SqNum", 16), leaf(MMS_BIT_STRING, "TrgOps", 6),
                                   leaf(MMS_UNSIGNED, "IntgPd", 32), leaf(MMS_BOOLEAN, "GI"),
                                   leaf(MMS_BOOLEAN, "PurgeBuf"), leaf(MMS_OCTET_STRING, "EntryID", 8),
                                   leaf(MMS_BINARY_TIME, "TimeOfEntry", 6), leaf(MMS_INTEGER, "ResvTms", 16),
                                   leaf(MMS_OCTET_STRING, "Owner", 64)}));
    MmsValue_setVisibleString(MmsValue_getElement(brcb->value, 0), "Buffered1");
    MmsValue_setVisibleString(MmsValue_getElement(brcb->value, 2), (ld + "/LLN0$DS1").c_str());
    MmsValue_setUint32(MmsValue_getElement(brcb->value, 3), 3);
    uint8_t entry[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    MmsValue_setOctetString(MmsValue_getElement(brcb->value, 11), entry, 8);

    Node* gcb =
        add("LLN0", "GO", "gcb01",
            makeStructureSpec(nullptr, {leaf(MMS_BOOLEAN, "GoEna"), leaf(MMS_VISIBLE_STRING, "GoID", 129),
                                        leaf(MMS_VISIBLE_STRING, "DatSet", 129),
                                        leaf(MMS_UNSIGNED, "ConfRev", 32), leaf(MMS_BOOLEAN, "NdsCom"),
                                        makeStructureSpec("DstAddress", {leaf(MMS_OCTET_STRING, "Addr", 6),
                                                                         leaf(MMS_UNSIGNED, "PRIORITY", 8),
                                                                         leaf(MMS_UNSIGNED, "VID", 16),
                                                                         leaf(MMS_UNSIGNED, "APPID", 16)}),
                                        leaf(MMS_UNSIGNED, "MinTime", 32), leaf(MMS_UNSIGNED, "MaxTime", 32),
                                        leaf(MMS_BOOLEAN, "FixedOffs")}));
    MmsValue_setBoolean(MmsValue_getElement(gcb->value, 0), true);
    MmsValue_setVisibleString(MmsValue_getElement(gcb->value, 1), "GooseId1");
    MmsValue_setVisibleString(MmsValue_getElement(gcb->value, 2), (ld + "/LLN0$DS1").c_str());
    MmsValue_setUint32(MmsValue_getElement(gcb->value, 3), 5);
    MmsValue* dst = MmsValue_getElement(gcb->value, 5);
    uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    MmsValue_setOctetString(MmsValue_getElement(dst, 0), mac, 6);
    MmsValue_setUint8(MmsValue_getElement(dst, 1), 4);
    MmsValue_setUint16(MmsValue_getElement(dst, 2), 100);
    MmsValue_setUint16(MmsValue_getElement(dst, 3), 0x1001);
    MmsValue_setUint32(MmsValue_getElement(gcb->value, 6), 4);
    MmsValue_setUint32(MmsValue_getElement(gcb->value, 7), 2000);

    Node* ind =
        add("GGIO1", "ST", "Ind1",
            makeStructureSpec(nullptr, {leaf(MMS_BOOLEAN, "stVal"), quality("q"), leaf(MMS_UTC_TIME, "t")}));
    MmsValue_setUtcTimeMs(MmsValue_getElement(ind->value, 2), 1700000000123ull);

    Node* types = add(
        "GGIO1", "ST", "Types",
        makeStructureSpec(
            nullptr, {leaf(MMS_INTEGER, "i8", 8), leaf(MMS_INTEGER, "i64", 64), leaf(MMS_UNSIGNED, "u32", 32),
                      leaf(MMS_FLOAT, "f32", 32), leaf(MMS_FLOAT, "f64", 64), leaf(MMS_BIT_STRING, "bs", 13),
                      leaf(MMS_OCTET_STRING, "os", 16), leaf(MMS_VISIBLE_STRING, "vs", 64),
                      leaf(MMS_STRING, "us", 64), leaf(MMS_UTC_TIME, "ut"), leaf(MMS_BINARY_TIME, "bt", 6),
                      leaf(MMS_BOOLEAN, "b"), makeArraySpec("arr", 3, leaf(MMS_INTEGER, nullptr, 16))}));
    MmsValue_setInt32(MmsValue_getElement(types->value, 0), -5);
    MmsValue_setInt64(MmsValue_getElement(types->value, 1), -1234567890123ll);
    MmsValue_setUint32(MmsValue_getElement(types->value, 2), 4000000000u);
    MmsValue_setFloat(MmsValue_getElement(types->value, 3), 1.5f);
    MmsValue_setDouble(MmsValue_getElement(types->value, 4), -2.25);
    MmsValue_setBitStringBit(MmsValue_getElement(types->value, 5), 12, true);
    uint8_t os[3] = {0xDE, 0xAD, 0x01};
    MmsValue_setOctetString(MmsValue_getElement(types->value, 6), os, 3);
    MmsValue_setVisibleString(MmsValue_getElement(types->value, 7), "visible");
    MmsValue_setMmsString(MmsValue_getElement(types->value, 8), "\xd0\xb0\xd0\xb1");
    MmsValue_setUtcTimeMs(MmsValue_getElement(types->value, 9), 1600000000500ull);
    MmsValue_setBinaryTime(MmsValue_getElement(types->value, 10), 1500000000250ull);
    MmsValue_setBoolean(MmsValue_getElement(types->value, 11), true);
    MmsValue_setInt16(MmsValue_getElement(MmsValue_getElement(types->value, 12), 2), 300);

    Node* an = add("GGIO1", "MX", "AnIn1",
                   makeStructureSpec(nullptr, {makeStructureSpec("mag", {leaf(MMS_FLOAT, "f", 32)}),
                                               quality("q"), leaf(MMS_UTC_TIME, "t")}));
    MmsValue_setFloat(MmsValue_getElement(MmsValue_getElement(an->value, 0), 0), 42.5f);
}

TestModel::~TestModel() {
    for (Node& n : nodes) {
        MmsValue_delete(n.value);
        MmsVariableSpecification_destroy(n.spec);
    }
}

void TestModel::connectionOpened(const MmsServerConnectionPtr& c) {
    ++opened;
    std::lock_guard<std::mutex> lock(mutex);
    openConnections.push_back(c);
}

void TestModel::connectionClosed(const MmsServerConnectionPtr& c) {
    ++closed;
    std::lock_guard<std::mutex> lock(mutex);
    reportReceivers.erase(std::remove(reportReceivers.begin(), reportReceivers.end(), c),
                          reportReceivers.end());
    openConnections.erase(std::remove(openConnections.begin(), openConnections.end(), c),
                          openConnections.end());
}

bool TestModel::getNameList(MmsServerConnection&, ObjectClass cls, const std::string& domain,
                            std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(mutex);
    if (cls == ObjectClass::Domain) {
        names.push_back(ld);
        return true;
    }
    if (domain != ld)
        return false;
    if (cls == ObjectClass::NamedVariableList) {
        names.push_back("LLN0$DS1");
        return true;
    }
    std::vector<std::string> lns;
    for (const Node& n : nodes)
        if (std::find(lns.begin(), lns.end(), n.ln) == lns.end())
            lns.push_back(n.ln);
    for (const std::string& ln : lns) {
        names.push_back(ln);
        std::vector<std::string> fcs;
        for (const Node& n : nodes)
            if (n.ln == ln && std::find(fcs.begin(), fcs.end(), n.fc) == fcs.end())
                fcs.push_back(n.fc);
        std::sort(fcs.begin(), fcs.end());
        for (const std::string& fc : fcs) {
            names.push_back(ln + "$" + fc);
            for (const Node& n : nodes)
                if (n.ln == ln && n.fc == fc)
                    addNames(n.spec, ln + "$" + fc + "$" + n.name, names);
        }
    }
    return true;
}

Node* TestModel::nodeFor(const std::string& item, std::string& rest) {
    std::vector<std::string> parts = splitDollar(item);
    if (parts.size() < 3)
        return nullptr;
    for (Node& n : nodes) {
        if (n.ln == parts[0] && n.fc == parts[1] && n.name == parts[2]) {
            rest.clear();
            for (size_t i = 3; i < parts.size(); ++i)
                rest += (rest.empty() ? "" : "$") + parts[i];
            return &n;
        }
    }
    return nullptr;
}

MmsValue* TestModel::find(const std::string& item) {
    std::string rest;
    Node* n = nodeFor(item, rest);
    if (n == nullptr)
        return nullptr;
    return rest.empty() ? n->value : MmsVariableSpecification_getChildValue(n->spec, n->value, rest.c_str());
}

MmsValue* TestModel::readVariable(MmsServerConnection&, const ObjectName& name) {
    ++reads;
    std::lock_guard<std::mutex> lock(mutex);
    if (name.scope != ObjectName::Scope::Domain || name.domain != ld)
        return nullptr;
    MmsValue* v = find(name.item);
    return v != nullptr ? MmsValue_clone(v) : nullptr;
}

MmsDataAccessError TestModel::writeVariable(MmsServerConnection& c, const ObjectName& name,
                                            const MmsValue* value) {
    std::lock_guard<std::mutex> lock(mutex);
    if (name.domain != ld)
        return DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT;
    MmsValue* v = find(name.item);
    if (v == nullptr)
        return DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT;
    if (name.item.find("$ConfRev") != std::string::npos)
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    if (!MmsValue_update(v, value))
        return DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    if (name.item == "LLN0$RP$urcb01$RptEna") {
        // Reports go to the connections that enabled the block.
        MmsServerConnectionPtr self;
        for (auto& o : openConnections)
            if (o.get() == &c)
                self = o;
        reportReceivers.erase(std::remove(reportReceivers.begin(), reportReceivers.end(), self),
                              reportReceivers.end());
        if (self && MmsValue_getBoolean(value))
            reportReceivers.push_back(self);
    }
    return DATA_ACCESS_ERROR_SUCCESS;
}

const MmsVariableSpecification* TestModel::getVariableAccessAttributes(MmsServerConnection&,
                                                                       const ObjectName& name) {
    std::lock_guard<std::mutex> lock(mutex);
    if (name.domain != ld)
        return nullptr;
    std::string rest;
    Node* n = nodeFor(name.item, rest);
    if (n == nullptr)
        return nullptr;
    return rest.empty() ? n->spec : MmsVariableSpecification_getNamedVariableRecursive(n->spec, rest.c_str());
}

bool TestModel::getNamedVariableListAttributes(MmsServerConnection&, const ObjectName& list,
                                               std::vector<ObjectName>& members, bool& deletable) {
    if (list.domain != ld || list.item != "LLN0$DS1")
        return false;
    members = {ObjectName(ld, "GGIO1$ST$Ind1$stVal"), ObjectName(ld, "GGIO1$MX$AnIn1")};
    deletable = false;
    return true;
}

int TestModel::sendUrcbReport(unsigned includedMask, int reasonBit) {
    std::vector<MmsServerConnectionPtr> targets;
    std::vector<MmsValue*> owned;
    {
        std::lock_guard<std::mutex> lock(mutex);
        targets = reportReceivers;
        owned.push_back(MmsValue_newVisibleString("Events1"));
        // OptFlds: seq-num, time-of-entry, reason-code, data-set, conf-rev.
        owned.push_back(bits(10, (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4) | (1u << 8)));
        MmsValue* sq = MmsValue_newUnsigned(8);
        MmsValue_setUint8(sq, static_cast<uint8_t>(sqNum++));
        owned.push_back(sq);
        MmsValue* toe = MmsValue_newBinaryTime(false);
        MmsValue_setBinaryTime(toe, 1700000000456ull);
        owned.push_back(toe);
        owned.push_back(MmsValue_newVisibleString((ld + "/LLN0$DS1").c_str()));
        owned.push_back(MmsValue_newUnsignedFromUint32(7));
        owned.push_back(bits(2, includedMask));
        const char* members[] = {"GGIO1$ST$Ind1$stVal", "GGIO1$MX$AnIn1"};
        for (int i = 0; i < 2; ++i)
            if (includedMask & (1u << i))
                owned.push_back(MmsValue_clone(find(members[i])));
        for (int i = 0; i < 2; ++i)
            if (includedMask & (1u << i))
                owned.push_back(bits(7, 1u << reasonBit));
    }
    std::vector<const MmsValue*> values(owned.begin(), owned.end());
    int sent = 0;
    for (auto& t : targets)
        if (t->sendInformationReport("RPT", values))
            ++sent;
    for (MmsValue* v : owned)
        MmsValue_delete(v);
    return sent;
}

} // namespace mmstest
