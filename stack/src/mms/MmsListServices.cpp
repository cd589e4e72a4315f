// DefineNamedVariableList and DeleteNamedVariableList codecs.
#include "stack/src/mms/MmsListServices.h"

namespace stack {
namespace mms {

namespace {

size_t openConfirmed(Writer& w, uint8_t pduTag, uint32_t invokeId) {
    size_t m = w.open(pduTag);
    w.unsignedInteger(0x02, invokeId);
    return m;
}

constexpr int32_t kScopeSpecific = 0;

} // namespace

void encodeDefineNamedVariableListRequest(Writer& w, uint32_t invokeId, const ObjectName& listName,
                                          const std::vector<ObjectName>& members) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(ber::Context, ServiceDefineNamedVariableList);
    encodeObjectName(w, listName);
    VariableAccess access;
    access.variables = members;
    encodeVariableAccess(w, access); // listOfVariable [0]
    w.close(s);
    w.close(m);
}

bool decodeDefineNamedVariableListRequest(const Tlv& service, ObjectName& listName,
                                          std::vector<ObjectName>& members) {
    if (!service.is(ber::Context, true, ServiceDefineNamedVariableList))
        return false;
    Reader r(service);
    Tlv name, list;
    VariableAccess access;
    if (!r.next(name) || !decodeObjectName(name, listName) || !r.next(list) || !r.atEnd() ||
        !decodeVariableAccess(list, access) || access.isListName)
        return false;
    members = std::move(access.variables);
    return true;
}

void encodeDefineNamedVariableListResponse(Writer& w, uint32_t invokeId) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    w.primitive(static_cast<uint8_t>(0x80 | ServiceDefineNamedVariableList), nullptr, 0);
    w.close(m);
}

void encodeDeleteNamedVariableListRequest(Writer& w, uint32_t invokeId, const ObjectName& listName) {
    size_t m = openConfirmed(w, 0xA0, invokeId);
    size_t s = w.open(ber::Context, ServiceDeleteNamedVariableList);
    w.integer(0x80, kScopeSpecific);
    size_t l = w.open(0xA1);
    encodeObjectName(w, listName);
    w.close(l);
    w.close(s);
    w.close(m);
}

bool decodeDeleteNamedVariableListRequest(const Tlv& service, std::vector<ObjectName>& listNames) {
    if (!service.is(ber::Context, true, ServiceDeleteNamedVariableList))
        return false;
    Reader r(service);
    Tlv t;
    int32_t scope = kScopeSpecific;
    while (r.next(t)) {
        if (t.is(ber::Context, false, 0)) {
            if (!ber::decodeInt32(t, scope))
                return false;
        } else if (t.is(ber::Context, true, 1)) {
            Reader lr(t);
            Tlv n;
            while (lr.next(n)) {
                ObjectName name;
                if (!decodeObjectName(n, name))
                    return false;
                listNames.push_back(std::move(name));
            }
            if (!lr.atEnd())
                return false;
        }
    }
    return r.atEnd() && scope == kScopeSpecific;
}

void encodeDeleteNamedVariableListResponse(Writer& w, uint32_t invokeId, uint32_t matched, uint32_t deleted) {
    size_t m = openConfirmed(w, 0xA1, invokeId);
    size_t s = w.open(ber::Context, ServiceDeleteNamedVariableList);
    w.unsignedInteger(0x80, matched);
    w.unsignedInteger(0x81, deleted);
    w.close(s);
    w.close(m);
}

bool decodeDeleteNamedVariableListResponse(const Tlv& service, uint32_t& matched, uint32_t& deleted) {
    if (!service.is(ber::Context, true, ServiceDeleteNamedVariableList))
        return false;
    Reader r(service);
    Tlv a, b;
    return r.next(a) && a.is(ber::Context, false, 0) && ber::decodeUint32(a, matched) && r.next(b) &&
           b.is(ber::Context, false, 1) && ber::decodeUint32(b, deleted) && r.atEnd();
}

} // namespace mms
} // namespace stack
