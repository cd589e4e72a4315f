#include "stack/src/mms/client/LogicalNodeTypes.h"

#include "mms_type_spec.h"
#include "stack/src/mms/AlternateAccess.h"

#include <algorithm>
#include <cstring>

namespace stack {
namespace mms {

MmsVariableSpecification* askType(IedConnection self, const ObjectName& name, IedClientError& e) {
    Response r;
    e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeGetVariableAccessAttributesRequest(w, id, name); }, r);
    if (e != IED_ERROR_OK)
        return nullptr;
    MmsVariableSpecification* typeDesc = decodeGetVariableAccessAttributesResponse(r.pdu.service);
    if (typeDesc == nullptr)
        e = IED_ERROR_MALFORMED_MESSAGE;
    return typeDesc;
}

namespace {

// Logical nodes asked together at most, when a walk of a device misses a type.
constexpr size_t kTypeBatch = 64;

bool cachedType(IedConnection self, const std::string& key, TypeRef& type) {
    std::lock_guard<std::mutex> lock(self->cacheMutex);
    auto it = self->typeCache.find(key);
    if (it == self->typeCache.end() || !self->mms.isConnected())
        return false;
    type = it->second;
    return true;
}

// Keeps the answer to the type request of one logical node: a structure, or null for a server
// that does not describe the node as a whole. A lost connection or a time-out says nothing
// about the server and is not kept.
TypeRef keepType(IedConnection self, const std::string& key, MmsVariableSpecification* typeDesc,
                 IedClientError e) {
    if (typeDesc != nullptr && typeDesc->type != MMS_STRUCTURE) {
        MmsVariableSpecification_destroy(typeDesc);
        typeDesc = nullptr;
    }
    TypeRef type = typeDesc ? TypeRef(typeDesc, MmsVariableSpecification_destroy) : TypeRef();
    if (typeDesc != nullptr || (self->mms.isConnected() && e != IED_ERROR_TIMEOUT)) {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        self->typeCache[key] = type;
    }
    return type;
}

} // namespace

TypeRef logicalNodeType(IedConnection self, const std::string& domain, const std::string& ln) {
    const std::string key = domain + "/" + ln;
    TypeRef type;
    if (cachedType(self, key, type))
        return type;
    IedClientError e = IED_ERROR_OK;
    MmsVariableSpecification* typeDesc = askType(self, ObjectName(domain, ln), e);
    return keepType(self, key, typeDesc, e);
}

TypeRef logicalNodeTypeWalking(IedConnection self, const std::string& domain, const std::string& ln) {
    const std::string key = domain + "/" + ln;
    TypeRef type;
    if (cachedType(self, key, type))
        return type;
    // This node and the ones after it in the device's directory whose types are not known yet.
    std::vector<std::string> batch{ln};
    {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        auto names = self->variableCache.find(domain);
        if (names != self->variableCache.end()) {
            const std::vector<std::string>& list = *names->second;
            auto at = std::find(list.begin(), list.end(), ln);
            for (auto it = at == list.end() ? at : at + 1; it != list.end() && batch.size() < kTypeBatch;
                 ++it)
                if (it->find('$') == std::string::npos && self->typeCache.count(domain + "/" + *it) == 0)
                    batch.push_back(*it);
        }
    }
    if (batch.size() == 1 || !self->mms.isConnected())
        return logicalNodeType(self, domain, ln);
    std::vector<MmsClient::Encoder> encoders;
    for (const std::string& name : batch)
        encoders.push_back([name, &domain](ber::Writer& w, uint32_t id) {
            encodeGetVariableAccessAttributesRequest(w, id, ObjectName(domain, name));
        });
    std::vector<Response> responses;
    std::vector<MmsError> errors;
    self->mms.requestAll(encoders, responses, errors);
    for (size_t i = 0; i < batch.size(); ++i) {
        IedClientError e = self->finish(errors[i]);
        MmsVariableSpecification* typeDesc = nullptr;
        if (e == IED_ERROR_OK &&
            (typeDesc = decodeGetVariableAccessAttributesResponse(responses[i].pdu.service)) == nullptr)
            e = IED_ERROR_MALFORMED_MESSAGE;
        TypeRef kept = keepType(self, domain + "/" + batch[i], typeDesc, e);
        if (i == 0)
            type = kept;
    }
    return type;
}

const MmsVariableSpecification* component(const MmsVariableSpecification* typeDesc, std::string_view name) {
    if (typeDesc == nullptr || typeDesc->type != MMS_STRUCTURE)
        return nullptr;
    for (int i = 0; i < typeDesc->typeSpec.structure.elementCount; ++i) {
        const MmsVariableSpecification* c = typeDesc->typeSpec.structure.elements[i];
        if (c->name != nullptr && std::strncmp(c->name, name.data(), name.size()) == 0 &&
            c->name[name.size()] == '\0')
            return c;
    }
    return nullptr;
}

std::vector<std::string> componentNames(const MmsVariableSpecification* typeDesc) {
    std::vector<std::string> out;
    if (typeDesc != nullptr && typeDesc->type == MMS_STRUCTURE)
        for (int i = 0; i < typeDesc->typeSpec.structure.elementCount; ++i) {
            const char* n = typeDesc->typeSpec.structure.elements[i]->name;
            out.push_back(n != nullptr ? n : "");
        }
    return out;
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
