// GOOSE control block objects and the GetGoCBValues service.
#include "stack/src/mms/client/HandleFields.h"
#include "stack/src/mms/client/IedConnectionInternal.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstring>

using namespace stack::mms;

struct sClientGooseControlBlock {
    std::string objectReference;
    bool goEna = false;
    std::string goId;
    std::string datSet;
    uint32_t confRev = 0;
    bool ndsCom = false;
    PhyComAddress dst{};
    MmsValue* dstAddr = nullptr; // octet string view of dst.dstAddress
    uint32_t minTime = 0;
    uint32_t maxTime = 0;
    bool fixedOffs = false;
};

namespace {

bool isType(const MmsValue* v, MmsType t) {
    return v != nullptr && v->type == t;
}

void syncAddr(sClientGooseControlBlock* g) {
    if (g->dstAddr == nullptr)
        g->dstAddr = MmsValue_newOctetString(6, 6);
    MmsValue_setOctetString(g->dstAddr, g->dst.dstAddress, 6);
}

// GoEna, GoID, DatSet, ConfRev, NdsCom, DstAddress{Addr, PRIORITY, VID, APPID}, then (newer
// editions) MinTime, MaxTime, FixedOffs.
bool parseGoCb(sClientGooseControlBlock* g, const MmsValue* value) {
    if (!isType(value, MMS_STRUCTURE) || value->components.size() < 6)
        return false;
    const auto& c = value->components;
    if (!isType(c[0], MMS_BOOLEAN) || !isType(c[1], MMS_VISIBLE_STRING) ||
        !isType(c[2], MMS_VISIBLE_STRING) || !isType(c[3], MMS_UNSIGNED) || !isType(c[4], MMS_BOOLEAN) ||
        !isType(c[5], MMS_STRUCTURE))
        return false;
    g->goEna = c[0]->boolean;
    g->goId = c[1]->text;
    g->datSet = c[2]->text;
    g->confRev = MmsValue_toUint32(c[3]);
    g->ndsCom = c[4]->boolean;
    const auto& d = c[5]->components;
    if (d.size() < 4 || !isType(d[0], MMS_OCTET_STRING) || MmsValue_getOctetStringSize(d[0]) != 6 ||
        !isType(d[1], MMS_UNSIGNED) || !isType(d[2], MMS_UNSIGNED) || !isType(d[3], MMS_UNSIGNED))
        return false;
    std::memcpy(g->dst.dstAddress, MmsValue_getOctetStringBuffer(d[0]), 6);
    g->dst.vlanPriority = static_cast<uint8_t>(MmsValue_toUint32(d[1]));
    g->dst.vlanId = static_cast<uint16_t>(MmsValue_toUint32(d[2]));
    g->dst.appId = static_cast<uint16_t>(MmsValue_toUint32(d[3]));
    syncAddr(g);
    if (c.size() >= 8 && isType(c[6], MMS_UNSIGNED) && isType(c[7], MMS_UNSIGNED)) {
        g->minTime = MmsValue_toUint32(c[6]);
        g->maxTime = MmsValue_toUint32(c[7]);
    }
    if (c.size() >= 9 && isType(c[8], MMS_BOOLEAN))
        g->fixedOffs = c[8]->boolean;
    return true;
}

} // namespace

extern "C" {

ClientGooseControlBlock ClientGooseControlBlock_create(const char* dataAttributeReference) try {
    auto* g = new sClientGooseControlBlock();
    g->objectReference = dataAttributeReference != nullptr ? dataAttributeReference : "";
    return g;
} catch (...) {
    return nullptr;
}

void ClientGooseControlBlock_destroy(ClientGooseControlBlock self) try {
    if (self == nullptr)
        return;
    MmsValue_deleteIfNotNull(self->dstAddr);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool ClientGooseControlBlock_getGoEna(ClientGooseControlBlock self) {
    return fieldOf(self, &sClientGooseControlBlock::goEna);
}
void ClientGooseControlBlock_setGoEna(ClientGooseControlBlock self, bool goEna) {
    setField(self, &sClientGooseControlBlock::goEna, goEna);
}
const char* ClientGooseControlBlock_getGoID(ClientGooseControlBlock self) {
    return textOf(self, &sClientGooseControlBlock::goId);
}
void ClientGooseControlBlock_setGoID(ClientGooseControlBlock self, const char* goID) {
    setText(self, &sClientGooseControlBlock::goId, goID);
}
const char* ClientGooseControlBlock_getDatSet(ClientGooseControlBlock self) {
    return textOf(self, &sClientGooseControlBlock::datSet);
}
void ClientGooseControlBlock_setDatSet(ClientGooseControlBlock self, const char* datSet) {
    setText(self, &sClientGooseControlBlock::datSet, datSet);
}
uint32_t ClientGooseControlBlock_getConfRev(ClientGooseControlBlock self) {
    return fieldOf(self, &sClientGooseControlBlock::confRev);
}
bool ClientGooseControlBlock_getNdsComm(ClientGooseControlBlock self) {
    return fieldOf(self, &sClientGooseControlBlock::ndsCom);
}
uint32_t ClientGooseControlBlock_getMinTime(ClientGooseControlBlock self) {
    return fieldOf(self, &sClientGooseControlBlock::minTime);
}
uint32_t ClientGooseControlBlock_getMaxTime(ClientGooseControlBlock self) {
    return fieldOf(self, &sClientGooseControlBlock::maxTime);
}
bool ClientGooseControlBlock_getFixedOffs(ClientGooseControlBlock self) {
    return fieldOf(self, &sClientGooseControlBlock::fixedOffs);
}
PhyComAddress ClientGooseControlBlock_getDstAddress(ClientGooseControlBlock self) {
    if (self == nullptr)
        return PhyComAddress{};
    return self->dst;
}
void ClientGooseControlBlock_setDstAddress(ClientGooseControlBlock self, PhyComAddress value) try {
    if (self == nullptr)
        return;
    self->dst = value;
    syncAddr(self);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
MmsValue* ClientGooseControlBlock_getDstAddress_addr(ClientGooseControlBlock self) try {
    if (self == nullptr)
        return nullptr;
    syncAddr(self);
    return self->dstAddr;
} catch (...) {
    return nullptr;
}
uint8_t ClientGooseControlBlock_getDstAddress_priority(ClientGooseControlBlock self) {
    if (self == nullptr)
        return 0;
    return self->dst.vlanPriority;
}
uint16_t ClientGooseControlBlock_getDstAddress_vid(ClientGooseControlBlock self) {
    if (self == nullptr)
        return 0;
    return self->dst.vlanId;
}
uint16_t ClientGooseControlBlock_getDstAddress_appid(ClientGooseControlBlock self) {
    if (self == nullptr)
        return 0;
    return self->dst.appId;
}

ClientGooseControlBlock IedConnection_getGoCBValues(IedConnection self, IedClientError* error,
                                                    const char* goCBReference,
                                                    ClientGooseControlBlock updateGoCB) try {
    std::string domain, rest;
    if (self == nullptr || !splitReference(goCBReference, domain, rest)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    std::string item = dotsToDollars(rest);
    size_t first = item.find('$');
    if (first == std::string::npos || first + 1 >= item.size()) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    if (item.compare(first, 4, "$GO$") != 0)
        item.insert(first, "$GO");
    MmsValue* value = nullptr;
    IedClientError e = self->readVariable(domain, item, value);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return nullptr;
    }
    ClientGooseControlBlock g =
        updateGoCB != nullptr ? updateGoCB : ClientGooseControlBlock_create(goCBReference);
    bool ok = parseGoCb(g, value);
    MmsValue_delete(value);
    if (!ok) {
        if (updateGoCB == nullptr)
            ClientGooseControlBlock_destroy(g);
        setError(error, IED_ERROR_UNEXPECTED_VALUE_RECEIVED);
        return nullptr;
    }
    setError(error, IED_ERROR_OK);
    return g;
} catch (...) {
    return unknownFailure(error);
}

} // extern "C"
