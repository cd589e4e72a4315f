#include "sim/ControlBlockNodes.h"

#include "iec61850_common.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace iecx::sim {

namespace {

ModelNode* addLeaf(ModelNode& parent, const char* name, MmsType type, int size) {
    auto node = std::make_unique<ModelNode>(ModelNode::Kind::Attribute, name);
    node->fc = parent.fc;
    node->typeDesc = stack::mms::makeTypeDesc(type, nullptr, size);
    node->value = MmsValue_newDefaultValue(node->typeDesc);
    return parent.addChild(std::move(node));
}

// Bits of a 16-bit option mask (bit k of the mask) into bit k+1 of an MMS bit string: bit 0 of
// OptFlds and TrgOps is reserved.
void setOptionBits(MmsValue* bits, uint32_t mask) {
    int size = MmsValue_getBitStringSize(bits);
    for (int k = 0; k + 1 < size; ++k)
        MmsValue_setBitStringBit(bits, k + 1, (mask >> k) & 1);
}

} // namespace

std::unique_ptr<ModelNode> buildReportControlNode(const ReportControlDef& def, const Domain& domain,
                                                  uint64_t nowMs) {
    (void)domain;
    const char* fc = def.buffered ? "BR" : "RP";
    auto rcb = std::make_unique<ModelNode>(ModelNode::Kind::DataObject, def.name);
    rcb->fc = fc;
    MmsValue_setVisibleString(addLeaf(*rcb, "RptID", MMS_VISIBLE_STRING, 129)->value, def.rptId.c_str());
    addLeaf(*rcb, "RptEna", MMS_BOOLEAN, 0);
    if (!def.buffered)
        addLeaf(*rcb, "Resv", MMS_BOOLEAN, 0);
    MmsValue_setVisibleString(addLeaf(*rcb, "DatSet", MMS_VISIBLE_STRING, 129)->value,
                              def.dataSet ? def.dataSet->mmsReference().c_str() : "");
    MmsValue_setUint32(addLeaf(*rcb, "ConfRev", MMS_UNSIGNED, 32)->value, def.confRev);
    setOptionBits(addLeaf(*rcb, "OptFlds", MMS_BIT_STRING, 10)->value, def.optFlds);
    MmsValue_setUint32(addLeaf(*rcb, "BufTm", MMS_UNSIGNED, 32)->value, def.bufTime);
    addLeaf(*rcb, "SqNum", MMS_UNSIGNED, def.buffered ? 16 : 8);
    setOptionBits(addLeaf(*rcb, "TrgOps", MMS_BIT_STRING, 6)->value, def.trgOps);
    MmsValue_setUint32(addLeaf(*rcb, "IntgPd", MMS_UNSIGNED, 32)->value, def.intgPd);
    addLeaf(*rcb, "GI", MMS_BOOLEAN, 0);
    if (def.buffered) {
        addLeaf(*rcb, "PurgeBuf", MMS_BOOLEAN, 0);
        addLeaf(*rcb, "EntryID", MMS_OCTET_STRING, 8);
        MmsValue_setBinaryTime(addLeaf(*rcb, "TimeofEntry", MMS_BINARY_TIME, 6)->value, nowMs);
        addLeaf(*rcb, "ResvTms", MMS_INTEGER, 16);
    }
    return rcb;
}

std::unique_ptr<ModelNode> buildGooseControlNode(const GooseControlDef& def, const Domain& domain) {
    (void)domain;
    auto gcb = std::make_unique<ModelNode>(ModelNode::Kind::DataObject, def.name);
    gcb->fc = "GO";
    MmsValue_setBoolean(addLeaf(*gcb, "GoEna", MMS_BOOLEAN, 0)->value, true);
    MmsValue_setVisibleString(addLeaf(*gcb, "GoID", MMS_VISIBLE_STRING, 129)->value, def.goId.c_str());
    MmsValue_setVisibleString(addLeaf(*gcb, "DatSet", MMS_VISIBLE_STRING, 129)->value,
                              def.dataSet ? def.dataSet->mmsReference().c_str() : "");
    MmsValue_setUint32(addLeaf(*gcb, "ConfRev", MMS_UNSIGNED, 32)->value, def.confRev);
    addLeaf(*gcb, "NdsCom", MMS_BOOLEAN, 0);
    auto dst = std::make_unique<ModelNode>(ModelNode::Kind::Attribute, "DstAddress");
    dst->fc = "GO";
    ModelNode* d = gcb->addChild(std::move(dst));
    MmsValue_setOctetString(addLeaf(*d, "Addr", MMS_OCTET_STRING, 6)->value, def.dstAddress, 6);
    MmsValue_setUint32(addLeaf(*d, "PRIORITY", MMS_UNSIGNED, 8)->value, def.vlanPriority);
    MmsValue_setUint32(addLeaf(*d, "VID", MMS_UNSIGNED, 16)->value, def.vlanId);
    MmsValue_setUint32(addLeaf(*d, "APPID", MMS_UNSIGNED, 16)->value, def.appId);
    MmsValue_setUint32(addLeaf(*gcb, "MinTime", MMS_UNSIGNED, 32)->value, def.minTime);
    MmsValue_setUint32(addLeaf(*gcb, "MaxTime", MMS_UNSIGNED, 32)->value, def.maxTime);
    MmsValue_setBoolean(addLeaf(*gcb, "FixedOffs", MMS_BOOLEAN, 0)->value, def.fixedOffs);
    return gcb;
}

MmsVariableSpecification* phyComAddrDesc() {
    using stack::mms::makeTypeDesc;
    return stack::mms::makeStructureDesc(
        nullptr, {makeTypeDesc(MMS_OCTET_STRING, "Addr", 6), makeTypeDesc(MMS_UNSIGNED, "PRIORITY", 8),
                  makeTypeDesc(MMS_UNSIGNED, "VID", 16), makeTypeDesc(MMS_UNSIGNED, "APPID", 16)});
}

namespace {

// GSE and SMV addresses have the same parameters.
template <class Def> void applyAddress(Def& def, const std::string& type, const std::string& text) {
    try {
        if (type == "MAC-Address") {
            unsigned b[6];
            if (sscanf(text.c_str(), "%x%*[-:]%x%*[-:]%x%*[-:]%x%*[-:]%x%*[-:]%x", &b[0], &b[1], &b[2], &b[3],
                       &b[4], &b[5]) == 6)
                for (int i = 0; i < 6; ++i)
                    def.dstAddress[i] = static_cast<uint8_t>(b[i]);
        } else if (type == "APPID") {
            def.appId = static_cast<uint16_t>(std::stoul(text, nullptr, 16));
        } else if (type == "VLAN-ID") {
            def.vlanId = static_cast<uint16_t>(std::stoul(text, nullptr, 16) & 0xfff);
        } else if (type == "VLAN-PRIORITY") {
            def.vlanPriority = static_cast<uint8_t>(std::stoul(text) & 7);
        }
    } catch (const std::exception&) {
        // A malformed parameter keeps the default.
    }
}

} // namespace

void applyAddressParameter(GooseControlDef& def, const std::string& type, const std::string& text) {
    applyAddress(def, type, text);
}

void applyAddressParameter(SvControlDef& def, const std::string& type, const std::string& text) {
    applyAddress(def, type, text);
}

} // namespace iecx::sim
