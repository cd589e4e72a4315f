#include "stack/src/mms/client/LogicalNodeTypes.h"

#include "mms_type_spec.h"
#include "stack/src/mms/AlternateAccess.h"

namespace stack {
namespace mms {

MmsVariableSpecification* askType(IedConnection self, const ObjectName& name, IedClientError& e) {
    Response r;
    e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeGetVariableAccessAttributesRequest(w, id, name); }, r);
    if (e != IED_ERROR_OK)
        return nullptr;
    MmsVariableSpecification* spec = decodeGetVariableAccessAttributesResponse(r.pdu.service);
    if (spec == nullptr)
        e = IED_ERROR_MALFORMED_MESSAGE;
    return spec;
}

TypeRef logicalNodeType(IedConnection self, const std::string& domain, const std::string& ln) {
    const std::string key = domain + "/" + ln;
    {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        auto it = self->typeCache.find(key);
        if (it != self->typeCache.end() && self->mms.isConnected())
            return it->second;
    }
    IedClientError e = IED_ERROR_OK;
    MmsVariableSpecification* spec = askType(self, ObjectName(domain, ln), e);
    if (spec != nullptr && spec->type != MMS_STRUCTURE) {
        MmsVariableSpecification_destroy(spec);
        spec = nullptr;
    }
    TypeRef type = spec ? TypeRef(spec, MmsVariableSpecification_destroy) : TypeRef();
    // A lost connection or a time-out says nothing about the server: not kept.
    if (spec != nullptr || (self->mms.isConnected() && e != IED_ERROR_TIMEOUT)) {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        self->typeCache[key] = type;
    }
    return type;
}

const MmsVariableSpecification* component(const MmsVariableSpecification* spec, const std::string& name) {
    if (spec == nullptr || spec->type != MMS_STRUCTURE)
        return nullptr;
    for (int i = 0; i < spec->typeSpec.structure.elementCount; ++i) {
        const MmsVariableSpecification* c = spec->typeSpec.structure.elements[i];
        if (c->name != nullptr && name == c->name)
            return c;
    }
    return nullptr;
}

std::vector<std::string> componentNames(const MmsVariableSpecification* spec) {
    std::vector<std::string> out;
    if (spec != nullptr && spec->type == MMS_STRUCTURE)
        for (int i = 0; i < spec->typeSpec.structure.elementCount; ++i) {
            const char* n = spec->typeSpec.structure.elements[i]->name;
            out.push_back(n != nullptr ? n : "");
        }
    return out;
}

const MmsVariableSpecification* typeAt(const MmsVariableSpecification* lnType, const std::string& fc,
                                       const std::vector<std::string>& path) {
    const MmsVariableSpecification* t = component(lnType, fc);
    for (size_t i = 0; t != nullptr && i < path.size(); ++i) {
        std::string base;
        AccessPath steps;
        if (!splitArrayPath(path[i], base, steps))
            return nullptr;
        t = component(t, base);
        if (!steps.empty())
            t = selectType(t, steps);
    }
    return t;
}

} // namespace mms
} // namespace stack
