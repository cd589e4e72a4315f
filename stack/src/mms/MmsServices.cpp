// MMS confirmed service codecs (getNameList, read, write, getVariableAccessAttributes,
// getNamedVariableListAttributes, identify) and the information report.
#include "mms_type_spec.h"
#include "mms_value.h"
#include "stack/src/mms/MmsData.h"
#include "stack/src/mms/MmsTypeBuilder.h"
#include "stack/src/mms/MmsPdu.h"

namespace stack {
namespace mms {

namespace {

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

} // namespace

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
    Tlv typeDesc, data;
    if (!r.next(typeDesc) || !decodeVariableAccess(typeDesc, access) || !r.next(data) ||
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
                                               const MmsVariableSpecification* typeDesc) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(0xA6);
    w.boolean(0x80, false);
    size_t t = w.open(0xA2);
    encodeTypeDesc(w, typeDesc);
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
            return decodeTypeDesc(inner);
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
    encodeVariableList(w, 0xA1, members);
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
    VariableAccess a;
    a.isListName = true;
    a.listName.scope = ObjectName::Scope::Vmd;
    a.listName.item = listName;
    encodeInformationReport(w, a, values);
}

void encodeInformationReport(Writer& w, const VariableAccess& access,
                             const std::vector<const MmsValue*>& values) {
    size_t m = w.open(0xA3);
    size_t s = w.open(0xA0);
    encodeVariableAccess(w, access);
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
    Tlv typeDesc, results;
    if (!r.next(typeDesc) || !decodeVariableAccess(typeDesc, access) || !r.next(results) ||
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
