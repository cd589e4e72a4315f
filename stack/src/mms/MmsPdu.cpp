#include "stack/src/mms/MmsPdu.h"

#include "mms_type_spec.h"
#include "mms_value.h"
#include "stack/src/mms/MmsData.h"

namespace stack {
namespace mms {

using ber::Reader;
using ber::Tlv;
using ber::Writer;

namespace {

// Parameter CBB: str1, str2, vnam, valt, vlis (11 bits).
const uint8_t kParameterCbb[] = {0xF1, 0x00};
// Services supported: status, getNameList, identify, read, write, getVariableAccessAttributes,
// getNamedVariableListAttributes, informationReport (85 bits).
const uint8_t kServicesSupported[] = {0xEE, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};

void deleteAll(std::vector<MmsValue*>& values) {
    for (MmsValue* v : values)
        MmsValue_delete(v);
    values.clear();
}

size_t openConfirmed(Writer& w, uint8_t pduTag, uint32_t invokeId) {
    size_t m = w.open(pduTag);
    w.unsignedInteger(0x02, invokeId);
    return m;
}

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
            if (t.is(ber::Context, false, 0)) {
                if (!ber::decodeUint32(t, out.invokeId))
                    return false;
                out.hasInvokeId = true;
            } else if (t.is(ber::Context, true, 2)) {
                out.service = t;
            }
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
        while (r.next(t)) {
            if (t.is(ber::Context, false, 0)) {
                if (!ber::decodeUint32(t, out.invokeId))
                    return false;
                out.hasInvokeId = true;
            }
        }
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
    size_t m = w.open(0xA0);
    for (const ObjectName& n : a.variables) {
        size_t s = w.open(0x30);
        size_t v = w.open(0xA0);
        encodeObjectName(w, n);
        w.close(v);
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
        Tlv spec, name;
        if (!sr.next(spec) || !spec.is(ber::Context, true, 0))
            return false; // only access by name is supported
        Reader nr(spec);
        ObjectName on;
        if (!nr.next(name) || !decodeObjectName(name, on))
            return false;
        // An alternate access [5] may follow; it is not supported and ignored here.
        a.variables.push_back(std::move(on));
    }
    return r.atEnd();
}

void encodeGetNameListRequest(Writer& w, uint32_t invokeId, int objectClass, const std::string& domain,
                              const std::string* continueAfter) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(0xA1);
    size_t c = w.open(0xA0);
    w.integer(0x80, objectClass);
    w.close(c);
    size_t scope = w.open(0xA1);
    if (domain.empty())
        w.primitive(0x80, nullptr, 0);
    else
        w.primitive(0x81, domain);
    w.close(scope);
    if (continueAfter != nullptr)
        w.primitive(0x82, *continueAfter);
    w.close(s);
    w.close(m);
}

bool decodeGetNameListRequest(const Tlv& service, NameListRequest& req) {
    req = NameListRequest();
    if (!service.is(ber::Context, true, ServiceGetNameList))
        return false;
    Reader r(service);
    Tlv t;
    bool haveClass = false, haveScope = false;
    while (r.next(t)) {
        if (t.is(ber::Context, true, 0)) {
            Reader cr(t);
            Tlv c;
            int32_t cls = 0;
            if (!cr.next(c) || !c.is(ber::Context, false, 0) || !ber::decodeInt32(c, cls))
                return false;
            req.objectClass = cls;
            haveClass = true;
        } else if (t.is(ber::Context, true, 1)) {
            Reader sr(t);
            Tlv s;
            if (!sr.next(s) || s.constructed || s.tagClass != ber::Context)
                return false;
            if (s.tagNumber == 0) {
                req.scope = ObjectName::Scope::Vmd;
            } else if (s.tagNumber == 1) {
                req.scope = ObjectName::Scope::Domain;
                req.domain = ber::decodeString(s);
            } else if (s.tagNumber == 2) {
                req.scope = ObjectName::Scope::Association;
            } else {
                return false;
            }
            haveScope = true;
        } else if (t.is(ber::Context, false, 2)) {
            req.hasContinueAfter = true;
            req.continueAfter = ber::decodeString(t);
        }
    }
    return r.atEnd() && haveClass && haveScope;
}

void encodeGetNameListResponse(Writer& w, uint32_t invokeId, const std::vector<std::string>& names,
                               size_t first, size_t count, bool moreFollows) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xA1);
    size_t l = w.open(0xA0);
    for (size_t i = first; i < first + count && i < names.size(); ++i)
        w.primitive(0x1A, names[i]);
    w.close(l);
    w.boolean(0x81, moreFollows);
    w.close(s);
    w.close(m);
}

bool decodeGetNameListResponse(const Tlv& service, std::vector<std::string>& names, bool& moreFollows) {
    if (!service.is(ber::Context, true, ServiceGetNameList))
        return false;
    moreFollows = true; // DEFAULT TRUE
    Reader r(service);
    Tlv t;
    bool haveList = false;
    while (r.next(t)) {
        if (t.is(ber::Context, true, 0)) {
            Reader lr(t);
            Tlv n;
            while (lr.next(n)) {
                if (!n.is(ber::Universal, false, 26))
                    return false;
                names.push_back(ber::decodeString(n));
            }
            if (!lr.atEnd())
                return false;
            haveList = true;
        } else if (t.is(ber::Context, false, 1)) {
            if (!ber::decodeBoolean(t, moreFollows))
                return false;
        }
    }
    return r.atEnd() && haveList;
}

void encodeReadRequest(Writer& w, uint32_t invokeId, const VariableAccess& access) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(0xA4);
    size_t v = w.open(0xA1);
    encodeVariableAccess(w, access);
    w.close(v);
    w.close(s);
    w.close(m);
}

bool decodeReadRequest(const Tlv& service, VariableAccess& access) {
    if (!service.is(ber::Context, true, ServiceRead))
        return false;
    Reader r(service);
    Tlv t;
    while (r.next(t)) {
        if (t.is(ber::Context, true, 1)) {
            Reader vr(t);
            Tlv inner;
            return vr.next(inner) && vr.atEnd() && decodeVariableAccess(inner, access);
        }
    }
    return false;
}

void encodeReadResponse(Writer& w, uint32_t invokeId, const std::vector<const MmsValue*>& results) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xA4);
    size_t l = w.open(0xA1);
    for (const MmsValue* v : results)
        encodeAccessResult(w, v);
    w.close(l);
    w.close(s);
    w.close(m);
}

bool decodeReadResponse(const Tlv& service, std::vector<MmsValue*>& results) {
    if (!service.is(ber::Context, true, ServiceRead))
        return false;
    Reader r(service);
    Tlv t;
    while (r.next(t)) {
        if (!t.is(ber::Context, true, 1))
            continue;
        Reader lr(t);
        Tlv e;
        while (!lr.atEnd()) {
            MmsValue* v = lr.next(e) ? decodeAccessResult(e) : nullptr;
            if (v == nullptr) {
                deleteAll(results);
                return false;
            }
            results.push_back(v);
        }
        return true;
    }
    return false;
}

void encodeWriteRequest(Writer& w, uint32_t invokeId, const VariableAccess& access,
                        const std::vector<const MmsValue*>& values) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(0xA5);
    encodeVariableAccess(w, access);
    size_t d = w.open(0xA0);
    for (const MmsValue* v : values)
        encodeData(w, v);
    w.close(d);
    w.close(s);
    w.close(m);
}

bool decodeWriteRequest(const Tlv& service, VariableAccess& access, std::vector<MmsValue*>& values) {
    if (!service.is(ber::Context, true, ServiceWrite))
        return false;
    Reader r(service);
    Tlv spec, data;
    if (!r.next(spec) || !decodeVariableAccess(spec, access) || !r.next(data) ||
        !data.is(ber::Context, true, 0))
        return false;
    Reader dr(data);
    Tlv e;
    while (!dr.atEnd()) {
        MmsValue* v = dr.next(e) ? decodeData(e) : nullptr;
        if (v == nullptr) {
            deleteAll(values);
            return false;
        }
        values.push_back(v);
    }
    return true;
}

void encodeWriteResponse(Writer& w, uint32_t invokeId, const std::vector<MmsDataAccessError>& results) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xA5);
    for (MmsDataAccessError e : results) {
        if (e == DATA_ACCESS_ERROR_SUCCESS)
            w.primitive(0x81, nullptr, 0);
        else
            w.integer(0x80, e >= 0 ? e : DATA_ACCESS_ERROR_UNKNOWN);
    }
    w.close(s);
    w.close(m);
}

bool decodeWriteResponse(const Tlv& service, std::vector<MmsDataAccessError>& results) {
    if (!service.is(ber::Context, true, ServiceWrite))
        return false;
    Reader r(service);
    Tlv t;
    while (r.next(t)) {
        if (t.is(ber::Context, false, 1)) {
            results.push_back(DATA_ACCESS_ERROR_SUCCESS);
        } else if (t.is(ber::Context, false, 0)) {
            int32_t code = 0;
            if (!ber::decodeInt32(t, code))
                return false;
            if (code < 0 || code > DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID)
                code = DATA_ACCESS_ERROR_UNKNOWN;
            results.push_back(static_cast<MmsDataAccessError>(code));
        } else {
            return false;
        }
    }
    return r.atEnd();
}

void encodeGetVariableAccessAttributesRequest(Writer& w, uint32_t invokeId, const ObjectName& name) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(0xA6);
    size_t n = w.open(0xA0);
    encodeObjectName(w, name);
    w.close(n);
    w.close(s);
    w.close(m);
}

bool decodeGetVariableAccessAttributesRequest(const Tlv& service, ObjectName& name) {
    if (!service.is(ber::Context, true, ServiceGetVariableAccessAttributes))
        return false;
    Reader r(service);
    Tlv n, inner;
    if (!r.next(n) || !r.atEnd() || !n.is(ber::Context, true, 0))
        return false;
    Reader nr(n);
    return nr.next(inner) && nr.atEnd() && decodeObjectName(inner, name);
}

void encodeGetVariableAccessAttributesResponse(Writer& w, uint32_t invokeId,
                                               const MmsVariableSpecification* spec) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xA6);
    w.boolean(0x80, false);
    size_t t = w.open(0xA2);
    encodeTypeSpec(w, spec);
    w.close(t);
    w.close(s);
    w.close(m);
}

MmsVariableSpecification* decodeGetVariableAccessAttributesResponse(const Tlv& service) {
    if (!service.is(ber::Context, true, ServiceGetVariableAccessAttributes))
        return nullptr;
    Reader r(service);
    Tlv t;
    while (r.next(t)) {
        if (t.is(ber::Context, true, 2)) {
            Reader tr(t);
            Tlv inner;
            if (!tr.next(inner) || !tr.atEnd())
                return nullptr;
            return decodeTypeSpec(inner);
        }
    }
    return nullptr;
}

void encodeGetNamedVariableListAttributesRequest(Writer& w, uint32_t invokeId, const ObjectName& name) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(0xAC);
    encodeObjectName(w, name);
    w.close(s);
    w.close(m);
}

bool decodeGetNamedVariableListAttributesRequest(const Tlv& service, ObjectName& name) {
    if (!service.is(ber::Context, true, ServiceGetNamedVariableListAttributes))
        return false;
    Reader r(service);
    Tlv n;
    return r.next(n) && r.atEnd() && decodeObjectName(n, name);
}

void encodeGetNamedVariableListAttributesResponse(Writer& w, uint32_t invokeId,
                                                  const std::vector<ObjectName>& members, bool deletable) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xAC);
    w.boolean(0x80, deletable);
    VariableAccess a;
    a.variables = members;
    size_t l = w.open(0xA1);
    for (const ObjectName& n : members) {
        size_t e = w.open(0x30);
        size_t v = w.open(0xA0);
        encodeObjectName(w, n);
        w.close(v);
        w.close(e);
    }
    w.close(l);
    w.close(s);
    w.close(m);
}

bool decodeGetNamedVariableListAttributesResponse(const Tlv& service, std::vector<ObjectName>& members,
                                                  bool& deletable) {
    if (!service.is(ber::Context, true, ServiceGetNamedVariableListAttributes))
        return false;
    Reader r(service);
    Tlv t;
    bool haveList = false;
    deletable = false;
    while (r.next(t)) {
        if (t.is(ber::Context, false, 0)) {
            if (!ber::decodeBoolean(t, deletable))
                return false;
        } else if (t.is(ber::Context, true, 1)) {
            // Same layout as listOfVariable: reuse its decoder by viewing it as tag [0].
            Tlv view = t;
            view.tagNumber = 0;
            VariableAccess a;
            if (!decodeVariableAccess(view, a))
                return false;
            members = std::move(a.variables);
            haveList = true;
        }
    }
    return r.atEnd() && haveList;
}

void encodeIdentifyRequest(Writer& w, uint32_t invokeId) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    w.primitive(0x82, nullptr, 0);
    w.close(m);
}

void encodeIdentifyResponse(Writer& w, uint32_t invokeId, const ServerIdentity& id) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xA2);
    w.primitive(0x80, id.vendor);
    w.primitive(0x81, id.model);
    w.primitive(0x82, id.revision);
    w.close(s);
    w.close(m);
}

bool decodeIdentifyResponse(const Tlv& service, ServerIdentity& id) {
    if (!service.is(ber::Context, true, ServiceIdentify))
        return false;
    Reader r(service);
    Tlv t;
    while (r.next(t)) {
        if (t.is(ber::Context, false, 0))
            id.vendor = ber::decodeString(t);
        else if (t.is(ber::Context, false, 1))
            id.model = ber::decodeString(t);
        else if (t.is(ber::Context, false, 2))
            id.revision = ber::decodeString(t);
    }
    return r.atEnd();
}

void encodeInformationReport(Writer& w, const std::string& listName,
                             const std::vector<const MmsValue*>& values) {
    size_t m = w.open(0xA3);
    size_t s = w.open(0xA0);
    VariableAccess a;
    a.isListName = true;
    a.listName.scope = ObjectName::Scope::Vmd;
    a.listName.item = listName;
    encodeVariableAccess(w, a);
    size_t l = w.open(0xA0);
    for (const MmsValue* v : values)
        encodeAccessResult(w, v);
    w.close(l);
    w.close(s);
    w.close(m);
}

bool decodeInformationReport(const Tlv& service, VariableAccess& access, std::vector<MmsValue*>& values) {
    if (!service.is(ber::Context, true, 0))
        return false;
    Reader r(service);
    Tlv spec, results;
    if (!r.next(spec) || !decodeVariableAccess(spec, access) || !r.next(results) ||
        !results.is(ber::Context, true, 0))
        return false;
    Reader lr(results);
    Tlv e;
    while (!lr.atEnd()) {
        MmsValue* v = lr.next(e) ? decodeAccessResult(e) : nullptr;
        if (v == nullptr) {
            deleteAll(values);
            return false;
        }
        values.push_back(v);
    }
    return true;
}

} // namespace mms
} // namespace stack
