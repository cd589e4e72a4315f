// Report control block objects and the GetRCBValues / SetRCBValues services.
#include "stack/src/mms/client/HandleFields.h"
#include "stack/src/mms/client/IedConnectionInternal.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstring>

using namespace stack::mms;
namespace ber = stack::ber;

struct sClientReportControlBlock {
    std::string objectReference;
    bool isBuffered = false;
    std::string rptId;
    bool rptEna = false;
    bool resv = false;
    std::string datSet;
    uint32_t confRev = 0;
    int optFlds = 0;
    uint32_t bufTm = 0;
    uint16_t sqNum = 0;
    int trgOps = 0;
    uint32_t intgPd = 0;
    bool gi = false;
    bool purgeBuf = false;
    MmsValue* entryId = nullptr;
    uint64_t entryTime = 0;
    bool hasResvTms = false;
    int16_t resvTms = 0;
    MmsValue* owner = nullptr;
};

namespace {

// Bit string bits 1..n as flags 1, 2, 4, ... (bit 0 is reserved in OptFlds and TrgOps).
int flagsFromBits(const MmsValue* v) {
    int flags = 0;
    for (int bit = 1; bit < v->bitSize && bit < 31; ++bit)
        if (MmsValue_getBitStringBit(v, bit))
            flags |= 1 << (bit - 1);
    return flags;
}

MmsValue* bitsFromFlags(int flags, int bitSize) {
    MmsValue* v = MmsValue_newBitString(bitSize);
    for (int bit = 1; bit < bitSize; ++bit)
        MmsValue_setBitStringBit(v, bit, (flags & (1 << (bit - 1))) != 0);
    return v;
}

bool isType(const MmsValue* v, MmsType t) {
    return v != nullptr && v->type == t;
}

// Fills the block from the structure read from the server; false when the layout is not an
// RCB's.
bool parseRcb(sClientReportControlBlock* rcb, const MmsValue* value) {
    if (!isType(value, MMS_STRUCTURE))
        return false;
    const std::vector<MmsValue*>& c = value->components;
    size_t i = 0;
    auto next = [&](MmsType t) -> const MmsValue* {
        if (i >= c.size() || !isType(c[i], t))
            return nullptr;
        return c[i++];
    };
    const MmsValue* v;
    if ((v = next(MMS_VISIBLE_STRING)) == nullptr)
        return false;
    rcb->rptId = v->text;
    if ((v = next(MMS_BOOLEAN)) == nullptr)
        return false;
    rcb->rptEna = v->boolean;
    if (!rcb->isBuffered) {
        if ((v = next(MMS_BOOLEAN)) == nullptr)
            return false;
        rcb->resv = v->boolean;
    }
    if ((v = next(MMS_VISIBLE_STRING)) == nullptr)
        return false;
    rcb->datSet = v->text;
    if ((v = next(MMS_UNSIGNED)) == nullptr)
        return false;
    rcb->confRev = MmsValue_toUint32(v);
    if ((v = next(MMS_BIT_STRING)) == nullptr)
        return false;
    rcb->optFlds = flagsFromBits(v);
    if ((v = next(MMS_UNSIGNED)) == nullptr)
        return false;
    rcb->bufTm = MmsValue_toUint32(v);
    if ((v = next(MMS_UNSIGNED)) == nullptr)
        return false;
    rcb->sqNum = static_cast<uint16_t>(MmsValue_toUint32(v));
    if ((v = next(MMS_BIT_STRING)) == nullptr)
        return false;
    rcb->trgOps = flagsFromBits(v);
    if ((v = next(MMS_UNSIGNED)) == nullptr)
        return false;
    rcb->intgPd = MmsValue_toUint32(v);
    if ((v = next(MMS_BOOLEAN)) == nullptr)
        return false;
    rcb->gi = v->boolean;
    if (rcb->isBuffered) {
        if ((v = next(MMS_BOOLEAN)) == nullptr)
            return false;
        rcb->purgeBuf = v->boolean;
        if ((v = next(MMS_OCTET_STRING)) == nullptr)
            return false;
        MmsValue_deleteIfNotNull(rcb->entryId);
        rcb->entryId = MmsValue_clone(v);
        if ((v = next(MMS_BINARY_TIME)) == nullptr)
            return false;
        rcb->entryTime = MmsValue_getBinaryTimeAsUtcMs(v);
        // Optional ResvTms (integer) and Owner (octet string), told apart by type.
        rcb->hasResvTms = false;
        if ((v = next(MMS_INTEGER)) != nullptr) {
            rcb->hasResvTms = true;
            rcb->resvTms = static_cast<int16_t>(MmsValue_toInt32(v));
        }
    }
    MmsValue_deleteIfNotNull(rcb->owner);
    rcb->owner = nullptr;
    if ((v = next(MMS_OCTET_STRING)) != nullptr)
        rcb->owner = MmsValue_clone(v);
    return true;
}

bool rcbName(const std::string& reference, std::string& domain, std::string& item) {
    std::string rest;
    if (!splitReference(reference.c_str(), domain, rest))
        return false;
    item = dotsToDollars(rest);
    // LN$RP$name or LN$BR$name
    size_t a = item.find('$');
    return a != std::string::npos && item.find('$', a + 1) != std::string::npos;
}

} // namespace

extern "C" {

ClientReportControlBlock ClientReportControlBlock_create(const char* rcbReference) try {
    auto* rcb = new sClientReportControlBlock();
    rcb->objectReference = rcbReference != nullptr ? rcbReference : "";
    std::string item = dotsToDollars(rcb->objectReference);
    rcb->isBuffered = item.find("$BR$") != std::string::npos;
    return rcb;
} catch (...) {
    return nullptr;
}

void ClientReportControlBlock_destroy(ClientReportControlBlock self) try {
    if (self == nullptr)
        return;
    MmsValue_deleteIfNotNull(self->entryId);
    MmsValue_deleteIfNotNull(self->owner);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

char* ClientReportControlBlock_getObjectReference(ClientReportControlBlock self) try {
    if (self == nullptr)
        return nullptr;
    return const_cast<char*>(self->objectReference.c_str());
} catch (...) {
    return nullptr;
}
bool ClientReportControlBlock_isBuffered(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::isBuffered);
}
const char* ClientReportControlBlock_getRptId(ClientReportControlBlock self) {
    return textOf(self, &sClientReportControlBlock::rptId);
}
void ClientReportControlBlock_setRptId(ClientReportControlBlock self, const char* rptId) {
    setText(self, &sClientReportControlBlock::rptId, rptId);
}
bool ClientReportControlBlock_getRptEna(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::rptEna);
}
void ClientReportControlBlock_setRptEna(ClientReportControlBlock self, bool rptEna) {
    setField(self, &sClientReportControlBlock::rptEna, rptEna);
}
bool ClientReportControlBlock_getResv(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::resv);
}
void ClientReportControlBlock_setResv(ClientReportControlBlock self, bool resv) {
    setField(self, &sClientReportControlBlock::resv, resv);
}
const char* ClientReportControlBlock_getDataSetReference(ClientReportControlBlock self) {
    return textOf(self, &sClientReportControlBlock::datSet);
}
void ClientReportControlBlock_setDataSetReference(ClientReportControlBlock self,
                                                  const char* dataSetReference) {
    setText(self, &sClientReportControlBlock::datSet, dataSetReference);
}
uint32_t ClientReportControlBlock_getConfRev(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::confRev);
}
int ClientReportControlBlock_getOptFlds(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::optFlds);
}
void ClientReportControlBlock_setOptFlds(ClientReportControlBlock self, int optFlds) {
    setField(self, &sClientReportControlBlock::optFlds, optFlds);
}
uint32_t ClientReportControlBlock_getBufTm(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::bufTm);
}
void ClientReportControlBlock_setBufTm(ClientReportControlBlock self, uint32_t bufTm) {
    setField(self, &sClientReportControlBlock::bufTm, bufTm);
}
uint16_t ClientReportControlBlock_getSqNum(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::sqNum);
}
int ClientReportControlBlock_getTrgOps(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::trgOps);
}
void ClientReportControlBlock_setTrgOps(ClientReportControlBlock self, int trgOps) {
    setField(self, &sClientReportControlBlock::trgOps, trgOps);
}
uint32_t ClientReportControlBlock_getIntgPd(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::intgPd);
}
void ClientReportControlBlock_setIntgPd(ClientReportControlBlock self, uint32_t intgPd) {
    setField(self, &sClientReportControlBlock::intgPd, intgPd);
}
bool ClientReportControlBlock_getGI(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::gi);
}
void ClientReportControlBlock_setGI(ClientReportControlBlock self, bool gi) {
    setField(self, &sClientReportControlBlock::gi, gi);
}
bool ClientReportControlBlock_getPurgeBuf(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::purgeBuf);
}
void ClientReportControlBlock_setPurgeBuf(ClientReportControlBlock self, bool purgeBuf) {
    setField(self, &sClientReportControlBlock::purgeBuf, purgeBuf);
}
bool ClientReportControlBlock_hasResvTms(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::hasResvTms);
}
int16_t ClientReportControlBlock_getResvTms(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::resvTms);
}
void ClientReportControlBlock_setResvTms(ClientReportControlBlock self, int16_t resvTms) {
    setField(self, &sClientReportControlBlock::resvTms, resvTms);
}
MmsValue* ClientReportControlBlock_getEntryId(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::entryId);
}
void ClientReportControlBlock_setEntryId(ClientReportControlBlock self, MmsValue* entryId) {
    if (self == nullptr)
        return;
    MmsValue_deleteIfNotNull(self->entryId);
    self->entryId = entryId != nullptr ? MmsValue_clone(entryId) : nullptr;
}
uint64_t ClientReportControlBlock_getEntryTime(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::entryTime);
}
MmsValue* ClientReportControlBlock_getOwner(ClientReportControlBlock self) {
    return fieldOf(self, &sClientReportControlBlock::owner);
}

ClientReportControlBlock IedConnection_getRCBValues(IedConnection self, IedClientError* error,
                                                    const char* rcbReference,
                                                    ClientReportControlBlock updateRcb) try {
    std::string domain, item;
    if (self == nullptr || rcbReference == nullptr || !rcbName(rcbReference, domain, item)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    MmsValue* value = nullptr;
    IedClientError e = self->readVariable(domain, item, value);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return nullptr;
    }
    ClientReportControlBlock rcb =
        updateRcb != nullptr ? updateRcb : ClientReportControlBlock_create(rcbReference);
    if (updateRcb == nullptr)
        rcb->isBuffered = item.find("$BR$") != std::string::npos;
    bool ok = parseRcb(rcb, value);
    MmsValue_delete(value);
    if (!ok) {
        if (updateRcb == nullptr)
            ClientReportControlBlock_destroy(rcb);
        setError(error, IED_ERROR_UNEXPECTED_VALUE_RECEIVED);
        return nullptr;
    }
    setError(error, IED_ERROR_OK);
    return rcb;
} catch (...) {
    return unknownFailure(error);
}

void IedConnection_setRCBValues(IedConnection self, IedClientError* error, ClientReportControlBlock rcb,
                                uint32_t parametersMask, bool singleRequest) try {
    std::string domain, item;
    if (self == nullptr || rcb == nullptr || !rcbName(rcb->objectReference, domain, item)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return;
    }
    std::vector<std::pair<std::string, MmsValue*>> writes;
    auto add = [&](uint32_t bit, const char* name, MmsValue* v) {
        if (parametersMask & bit)
            writes.emplace_back(item + "$" + name, v);
        else
            MmsValue_delete(v);
    };
    add(RCB_ELEMENT_RPT_ID, "RptID", MmsValue_newVisibleString(rcb->rptId.c_str()));
    if (!rcb->isBuffered)
        add(RCB_ELEMENT_RESV, "Resv", MmsValue_newBoolean(rcb->resv));
    add(RCB_ELEMENT_DATSET, "DatSet", MmsValue_newVisibleString(rcb->datSet.c_str()));
    add(RCB_ELEMENT_OPT_FLDS, "OptFlds", bitsFromFlags(rcb->optFlds, 10));
    add(RCB_ELEMENT_BUF_TM, "BufTm", MmsValue_newUnsignedFromUint32(rcb->bufTm));
    add(RCB_ELEMENT_TRG_OPS, "TrgOps", bitsFromFlags(rcb->trgOps, 6));
    add(RCB_ELEMENT_INTG_PD, "IntgPd", MmsValue_newUnsignedFromUint32(rcb->intgPd));
    if (rcb->isBuffered) {
        add(RCB_ELEMENT_PURGE_BUF, "PurgeBuf", MmsValue_newBoolean(rcb->purgeBuf));
        if (rcb->entryId != nullptr)
            add(RCB_ELEMENT_ENTRY_ID, "EntryID", MmsValue_clone(rcb->entryId));
        add(RCB_ELEMENT_RESV_TMS, "ResvTms", MmsValue_newIntegerFromInt16(rcb->resvTms));
    }
    // Enabling comes after the settings it depends on, and GI after enabling.
    add(RCB_ELEMENT_RPT_ENA, "RptEna", MmsValue_newBoolean(rcb->rptEna));
    add(RCB_ELEMENT_GI, "GI", MmsValue_newBoolean(rcb->gi));

    IedClientError result = IED_ERROR_OK;
    if (writes.empty()) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    size_t step = singleRequest ? writes.size() : 1;
    for (size_t first = 0; first < writes.size() && result == IED_ERROR_OK; first += step) {
        VariableAccess access;
        std::vector<const MmsValue*> values;
        for (size_t i = first; i < first + step && i < writes.size(); ++i) {
            access.variables.emplace_back(domain, writes[i].first);
            values.push_back(writes[i].second);
        }
        Response r;
        result =
            self->request([&](ber::Writer& w, uint32_t id) { encodeWriteRequest(w, id, access, values); }, r);
        if (result != IED_ERROR_OK)
            break;
        std::vector<MmsDataAccessError> results;
        if (!decodeWriteResponse(r.pdu.service, results) || results.size() != values.size()) {
            result = IED_ERROR_MALFORMED_MESSAGE;
            break;
        }
        for (MmsDataAccessError e : results) {
            if (e != DATA_ACCESS_ERROR_SUCCESS) {
                result = toIedError(e);
                break;
            }
        }
    }
    for (auto& w : writes)
        MmsValue_delete(w.second);
    setError(error, result);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

} // extern "C"
