#include "stack/src/mms/client/LogicalNodeTypes.h"
#include "stack/src/mms/client/WalkAhead.h"

#include "mms_type_spec.h"
#include "stack/src/mms/AlternateAccess.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace stack {
namespace mms {

namespace {

using Clock = std::chrono::steady_clock;

// The type in the answer to a GetVariableAccessAttributes request whose error is `e`; nullptr
// with `e` set when there is none.
MmsVariableSpecification* answeredType(const Response& r, IedClientError& e) {
    MmsVariableSpecification* typeDesc =
        e == IED_ERROR_OK ? decodeGetVariableAccessAttributesResponse(r.pdu.service) : nullptr;
    if (e == IED_ERROR_OK && typeDesc == nullptr)
        e = IED_ERROR_MALFORMED_MESSAGE;
    return typeDesc;
}

// The cached type of `domain`/`ln`. A walk asks for the same logical node once per data object
// and attribute, so the last one found is looked at first, without building its key.
bool cachedType(IedConnection self, std::string_view domain, std::string_view ln, TypeRef& type) {
    std::lock_guard<std::mutex> lock(self->cacheMutex);
    if (!self->mms.isConnected())
        return false;
    auto& last = self->lastType;
    if (last.first.size() == domain.size() + 1 + ln.size() &&
        last.first.compare(0, domain.size(), domain) == 0 && last.first[domain.size()] == '/' &&
        last.first.compare(domain.size() + 1, ln.size(), ln) == 0) {
        type = last.second;
        return true;
    }
    std::string key;
    key.reserve(domain.size() + 1 + ln.size());
    key.append(domain).append(1, '/').append(ln);
    auto it = self->typeCache.find(key);
    if (it == self->typeCache.end())
        return false;
    last = *it;
    type = it->second;
    return true;
}

// Keeps the answer to the type request of one logical node: a structure, or null for a server
// that does not describe the node as a whole. A lost connection, a time-out or a request that
// could not be sent says nothing about the server and is not kept.
TypeRef keepType(IedConnection self, const std::string& key, MmsVariableSpecification* typeDesc,
                 IedClientError e) {
    if (typeDesc != nullptr && typeDesc->type != MMS_STRUCTURE) {
        MmsVariableSpecification_destroy(typeDesc);
        typeDesc = nullptr;
    }
    TypeRef type = typeDesc ? TypeRef(typeDesc, MmsVariableSpecification_destroy) : TypeRef();
    if (typeDesc != nullptr || (self->mms.isConnected() && e != IED_ERROR_TIMEOUT &&
                                e != IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED)) {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        self->typeCache[key] = type;
    }
    return type;
}

} // namespace

MmsVariableSpecification* askType(IedConnection self, const ObjectName& name, IedClientError& e) {
    Response r;
    e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeGetVariableAccessAttributesRequest(w, id, name); }, r);
    return answeredType(r, e);
}

TypeRef logicalNodeType(IedConnection self, std::string_view domainName, std::string_view lnName,
                        bool walking) {
    TypeRef type;
    if (cachedType(self, domainName, lnName, type))
        return type;
    const std::string domain(domainName), ln(lnName), key = domain + "/" + ln;
    if (!self->mms.isConnected())
        return keepType(self, key, nullptr, self->disconnectedError());
    // This node's own request goes first, so that the server answers it before those asked ahead.
    uint32_t id = 0;
    MmsError sent =
        takeTypeRequest(self, key, id) ? MMS_ERROR_NONE : self->mms.start(typeRequest(domain, ln), id);
    if (walking && sent == MMS_ERROR_NONE)
        askAheadOf(self, domain, ln);
    Response r;
    IedClientError e = self->finish(sent == MMS_ERROR_NONE ? self->mms.finish(id, r) : sent);
    MmsVariableSpecification* typeDesc = answeredType(r, e);
    return keepType(self, key, typeDesc, e);
}

const MmsVariableSpecification* component(const MmsVariableSpecification* typeDesc, std::string_view name) {
    if (typeDesc == nullptr || typeDesc->type != MMS_STRUCTURE)
        return nullptr;
    for (int i = 0; i < typeDesc->typeSpec.structure.elementCount; ++i) {
        const MmsVariableSpecification* c = typeDesc->typeSpec.structure.elements[i];
        // The first character sorts out most components before the whole name is compared.
        if (c->name != nullptr && c->name[0] == (name.empty() ? '\0' : name[0]) &&
            std::strncmp(c->name, name.data(), name.size()) == 0 && c->name[name.size()] == '\0')
            return c;
    }
    return nullptr;
}

namespace {

// One step of a path: a component name, with an array index ("har(2)") selecting an element.
const MmsVariableSpecification* step(const MmsVariableSpecification* t, std::string_view name) {
    if (name.find('(') == std::string_view::npos)
        return component(t, name);
    std::string base;
    AccessPath steps;
    if (!splitArrayPath(std::string(name), base, steps))
        return nullptr;
    t = component(t, base);
    return steps.empty() ? t : selectType(t, steps);
}

} // namespace

const MmsVariableSpecification* typeAt(const MmsVariableSpecification* lnType, std::string_view fc,
                                       const std::vector<std::string>& path) {
    const MmsVariableSpecification* t = component(lnType, fc);
    for (size_t i = 0; t != nullptr && i < path.size(); ++i)
        t = step(t, path[i]);
    return t;
}

const MmsVariableSpecification* typeAt(const MmsVariableSpecification* lnType, std::string_view fc,
                                       std::string_view dottedPath) {
    return typeBelow(component(lnType, fc), dottedPath);
}

const MmsVariableSpecification* typeBelow(const MmsVariableSpecification* t, std::string_view dottedPath) {
    while (t != nullptr && !dottedPath.empty()) {
        size_t dot = dottedPath.find('.');
        std::string_view name = dottedPath.substr(0, dot);
        if (name.empty())
            return nullptr;
        t = step(t, name);
        dottedPath = dot == std::string_view::npos ? std::string_view() : dottedPath.substr(dot + 1);
        if (dot != std::string_view::npos && dottedPath.empty())
            return nullptr; // "DO." ends with an empty name
    }
    return t;
}

} // namespace mms
} // namespace stack
