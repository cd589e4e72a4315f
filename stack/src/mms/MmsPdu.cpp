#include "stack/src/mms/MmsPdu.h"

#include "mms_type_spec.h"
#include "mms_value.h"
#include "stack/src/mms/AlternateAccess.h"
#include "stack/src/mms/MmsData.h"

namespace stack {
namespace mms {

namespace {

// Parameter CBB: str1, str2, vnam, valt, vlis (11 bits).
const uint8_t kParameterCbb[] = {0xF1, 0x00};
// Services supported: status, getNameList, identify, read, write, getVariableAccessAttributes,
// getNamedVariableListAttributes, informationReport (85 bits).
const uint8_t kServicesSupported[] = {0xEE, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};

void encodeInitiate(Writer& w, uint8_t tag, const InitiateParams& p) {
    size_t m = w.open(tag);
    w.integer(0x80, p.maxPduSize);
    w.integer(0x81, p.maxServOutstandingCalling);
    w.integer(0x82, p.maxServOutstandingCalled);
    w.integer(0x83, p.dataStructureNestingLevel);
    size_t d = w.open(0xA4);
    w.integer(0x80, 1);
    w.bitString(0x81, kParameterCbb, 11);
    w.bitString(0x82, kServicesSupported, 85);
    w.close(d);
    w.close(m);
}

// The [0] original invoke ID of an error or reject PDU into `out`; false when it does not decode.
bool takeInvokeId(const Tlv& t, Pdu& out) {
    if (!ber::decodeUint32(t, out.invokeId))
        return false;
    out.hasInvokeId = true;
    return true;
}

} // namespace

bool parsePdu(const uint8_t* data, size_t length, Pdu& out) {
    out = Pdu();
    Tlv top;
    if (!ber::decodeSingle(data, length, top) || top.tagClass != ber::Context)
        return false;
    switch (top.tagNumber) {
    case 0:
    case 1: {
        if (!top.constructed)
            return false;
        out.kind = top.tagNumber == 0 ? PduKind::ConfirmedRequest : PduKind::ConfirmedResponse;
        Reader r(top);
        Tlv id;
        if (!r.next(id) || !id.is(ber::Universal, false, 2) || !ber::decodeUint32(id, out.invokeId))
            return false;
        out.hasInvokeId = true;
        Tlv s;
        if (!r.next(s))
            return false;
        if (s.is(ber::Universal, true, 16) && !r.next(s)) // list of modifiers
            return false;
        if (s.tagClass != ber::Context || !r.atEnd())
            return false;
        out.service = s;
        return true;
    }
    case 2: {
        if (!top.constructed)
            return false;
        out.kind = PduKind::ConfirmedError;
        Reader r(top);
        Tlv t;
        while (r.next(t)) {
            if (t.is(ber::Context, false, 0) && !takeInvokeId(t, out))
                return false;
            if (t.is(ber::Context, true, 2))
                out.service = t;
        }
        return r.atEnd() && out.hasInvokeId && out.service.value != nullptr;
    }
    case 3: {
        if (!top.constructed)
            return false;
        out.kind = PduKind::Unconfirmed;
        Reader r(top);
        if (!r.next(out.service) || out.service.tagClass != ber::Context)
            return false;
        return true;
    }
    case 4: {
        if (!top.constructed)
            return false;
        out.kind = PduKind::Reject;
        out.service = top;
        Reader r(top);
        Tlv t;
        while (r.next(t))
            if (t.is(ber::Context, false, 0) && !takeInvokeId(t, out))
                return false;
        return r.atEnd();
    }
    case 8:
    case 9:
    case 10:
        if (!top.constructed)
            return false;
        out.kind = top.tagNumber == 8   ? PduKind::InitiateRequest
                   : top.tagNumber == 9 ? PduKind::InitiateResponse
                                        : PduKind::InitiateError;
        out.service = top;
        return true;
    case 11:
        out.kind = PduKind::ConcludeRequest;
        return !top.constructed;
    case 12:
        out.kind = PduKind::ConcludeResponse;
        return !top.constructed;
    case 13:
        out.kind = PduKind::ConcludeError;
        out.service = top;
        return true;
    default:
        return false;
    }
}

void encodeInitiateRequest(Writer& w, const InitiateParams& p) {
    encodeInitiate(w, 0xA8, p);
}
void encodeInitiateResponse(Writer& w, const InitiateParams& p) {
    encodeInitiate(w, 0xA9, p);
}

void encodeInitiateError(Writer& w) {
    // ServiceError: initiate class [8], other (0).
    size_t m = w.open(0xAA);
    size_t c = w.open(0xA0);
    w.integer(0x88, 0);
    w.close(c);
    w.close(m);
}

bool decodeInitiate(const Pdu& pdu, InitiateParams& p) {
    if (pdu.kind != PduKind::InitiateRequest && pdu.kind != PduKind::InitiateResponse)
        return false;
    Reader r(pdu.service);
    Tlv t;
    bool haveDetail = false;
    while (r.next(t)) {
        int32_t v = 0;
        if (t.tagClass != ber::Context)
            continue;
        if (!t.constructed && !ber::decodeInt32(t, v))
            return false;
        switch (t.tagNumber) {
        case 0:
            p.maxPduSize = v;
            break;
        case 1:
            p.maxServOutstandingCalling = static_cast<int16_t>(v);
            break;
        case 2:
            p.maxServOutstandingCalled = static_cast<int16_t>(v);
            break;
        case 3:
            p.dataStructureNestingLevel = static_cast<int8_t>(v);
            break;
        case 4:
            haveDetail = t.constructed;
            break;
        default:
            break;
        }
    }
    return r.atEnd() && haveDetail;
}

void encodeConcludeRequest(Writer& w) {
    w.primitive(0x8B, nullptr, 0);
}
void encodeConcludeResponse(Writer& w) {
    w.primitive(0x8C, nullptr, 0);
}

void encodeConfirmedError(Writer& w, uint32_t invokeId, uint32_t errorClass, int32_t code) {
    size_t m = w.open(0xA2);
    w.unsignedInteger(0x80, invokeId);
    size_t se = w.open(0xA2);
    size_t ec = w.open(0xA0);
    w.integer(static_cast<uint8_t>(0x80 | errorClass), code);
    w.close(ec);
    w.close(se);
    w.close(m);
}

MmsError decodeConfirmedError(const Pdu& pdu) {
    Reader r(pdu.service);
    Tlv ec;
    if (!r.next(ec) || !ec.is(ber::Context, true, 0))
        return MMS_ERROR_PARSING_RESPONSE;
    Reader er(ec);
    Tlv c;
    int32_t code = 0;
    if (!er.next(c) || c.tagClass != ber::Context || !ber::decodeInt32(c, code))
        return MMS_ERROR_PARSING_RESPONSE;
    switch (c.tagNumber) {
    case 0:
        return MMS_ERROR_VMDSTATE_OTHER;
    case 1:
        return MMS_ERROR_APPLICATION_REFERENCE_OTHER;
    case 2:
        switch (code) {
        case 1:
            return MMS_ERROR_DEFINITION_OBJECT_UNDEFINED;
        case 2:
            return MMS_ERROR_DEFINITION_INVALID_ADDRESS;
        case 3:
            return MMS_ERROR_DEFINITION_TYPE_UNSUPPORTED;
        case 4:
            return MMS_ERROR_DEFINITION_TYPE_INCONSISTENT;
        case 5:
            return MMS_ERROR_DEFINITION_OBJECT_EXISTS;
        case 6:
            return MMS_ERROR_DEFINITION_OBJECT_ATTRIBUTE_INCONSISTENT;
        default:
            return MMS_ERROR_DEFINITION_OTHER;
        }
    case 3:
        return code == 1 ? MMS_ERROR_RESOURCE_CAPABILITY_UNAVAILABLE : MMS_ERROR_RESOURCE_OTHER;
    case 4:
        return code == 5 ? MMS_ERROR_SERVICE_OBJECT_CONSTRAINT_CONFLICT : MMS_ERROR_SERVICE_OTHER;
    case 5:
        return MMS_ERROR_SERVICE_PREEMPT_OTHER;
    case 6:
        return MMS_ERROR_TIME_RESOLUTION_OTHER;
    case 7:
        switch (code) {
        case 1:
            return MMS_ERROR_ACCESS_OBJECT_ACCESS_UNSUPPORTED;
        case 2:
            return MMS_ERROR_ACCESS_OBJECT_NON_EXISTENT;
        case 3:
            return MMS_ERROR_ACCESS_OBJECT_ACCESS_DENIED;
        case 4:
            return MMS_ERROR_ACCESS_OBJECT_INVALIDATED;
        default:
            return MMS_ERROR_ACCESS_OTHER;
        }
    case 11:
        return (code >= 0 && code <= 9) ? static_cast<MmsError>(MMS_ERROR_FILE_OTHER + code)
                                        : MMS_ERROR_FILE_OTHER;
    default:
        return MMS_ERROR_OTHER;
    }
}

void encodeReject(Writer& w, bool hasInvokeId, uint32_t invokeId, uint32_t problemType, int32_t code) {
    size_t m = w.open(0xA4);
    if (hasInvokeId)
        w.unsignedInteger(0x80, invokeId);
    w.integer(static_cast<uint8_t>(0x80 | problemType), code);
    w.close(m);
}

MmsError decodeReject(const Pdu& pdu) {
    Reader r(pdu.service);
    Tlv t;
    while (r.next(t)) {
        if (t.tagClass != ber::Context || t.tagNumber == 0)
            continue;
        int32_t code = 0;
        if (!ber::decodeInt32(t, code))
            return MMS_ERROR_REJECT_OTHER;
        if (t.tagNumber == 5)
            return code == 0 ? MMS_ERROR_REJECT_UNKNOWN_PDU_TYPE : MMS_ERROR_REJECT_INVALID_PDU;
        if (t.tagNumber == 1) {
            switch (code) {
            case 1:
                return MMS_ERROR_REJECT_UNRECOGNIZED_SERVICE;
            case 2:
                return MMS_ERROR_REJECT_UNRECOGNIZED_MODIFIER;
            case 4:
                return MMS_ERROR_REJECT_REQUEST_INVALID_ARGUMENT;
            default:
                return MMS_ERROR_REJECT_OTHER;
            }
        }
        return MMS_ERROR_REJECT_OTHER;
    }
    return MMS_ERROR_REJECT_OTHER;
}

void encodeObjectName(Writer& w, const ObjectName& name) {
    switch (name.scope) {
    case ObjectName::Scope::Vmd:
        w.primitive(0x80, name.item);
        break;
    case ObjectName::Scope::Domain: {
        size_t m = w.open(0xA1);
        w.primitive(0x1A, name.domain);
        w.primitive(0x1A, name.item);
        w.close(m);
        break;
    }
    case ObjectName::Scope::Association:
        w.primitive(0x82, name.item);
        break;
    }
}

bool decodeObjectName(const Tlv& t, ObjectName& name) {
    name = ObjectName();
    if (t.is(ber::Context, false, 0)) {
        name.scope = ObjectName::Scope::Vmd;
        name.item = ber::decodeString(t);
        return true;
    }
    if (t.is(ber::Context, false, 2)) {
        name.scope = ObjectName::Scope::Association;
        name.item = ber::decodeString(t);
        return true;
    }
    if (!t.is(ber::Context, true, 1))
        return false;
    Reader r(t);
    Tlv d, i;
    if (!r.next(d) || !r.next(i) || !r.atEnd() || !d.is(ber::Universal, false, 26) ||
        !i.is(ber::Universal, false, 26))
        return false;
    name.scope = ObjectName::Scope::Domain;
    name.domain = ber::decodeString(d);
    name.item = ber::decodeString(i);
    return true;
}

void encodeVariableAccess(Writer& w, const VariableAccess& a) {
    if (a.isListName) {
        size_t m = w.open(0xA1);
        encodeObjectName(w, a.listName);
        w.close(m);
        return;
    }
    encodeVariableList(w, 0xA0, a.variables);
}

void encodeVariableList(Writer& w, uint8_t identifier, const std::vector<ObjectName>& variables) {
    size_t m = w.open(identifier);
    for (const ObjectName& n : variables) {
        size_t s = w.open(0x30);
        size_t v = w.open(0xA0);
        encodeObjectName(w, n);
        w.close(v);
        encodeAlternateAccess(w, n.alternateAccess);
        w.close(s);
    }
    w.close(m);
}

bool decodeVariableAccess(const Tlv& t, VariableAccess& a) {
    a = VariableAccess();
    if (t.is(ber::Context, true, 1)) {
        Reader r(t);
        Tlv n;
        a.isListName = true;
        return r.next(n) && r.atEnd() && decodeObjectName(n, a.listName);
    }
    if (!t.is(ber::Context, true, 0))
        return false;
    Reader r(t);
    Tlv seq;
    while (r.next(seq)) {
        if (!seq.is(ber::Universal, true, 16))
            return false;
        Reader sr(seq);
        Tlv typeDesc, name;
        if (!sr.next(typeDesc) || !typeDesc.is(ber::Context, true, 0))
            return false; // only access by name is supported
        Reader nr(typeDesc);
        ObjectName on;
        if (!nr.next(name) || !decodeObjectName(name, on))
            return false;
        Tlv alternate;
        if (sr.next(alternate) && (!alternate.is(ber::Context, true, 5) ||
                                   !decodeAlternateAccess(alternate, on.alternateAccess) || !sr.atEnd()))
            return false;
        a.variables.push_back(std::move(on));
    }
    return r.atEnd();
}

} // namespace mms
} // namespace stack
