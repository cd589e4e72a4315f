// Model discovery. Server and logical device directories ask the server: a logical device's
// names when its directory is called, or a little before, by a walk through the device before
// it (each such answer is handed out once). Below a logical node, data objects, attributes, control blocks
// and variable types come from the logical node's type description, asked once per association with one
// GetVariableAccessAttributes (a structure of FCs, each a structure of data objects or control blocks, and so
// on down). A server that cannot describe a whole logical node is browsed by the MMS variable names of the
// logical device instead ("LN", "LN$FC", "LN$FC$DO", ...), also fetched once per association. Both caches are
// dropped at every connect and close, so nothing survives a reconnect or a change of server. Data set lists
// and members are asked from the server on every call.
#include "stack/src/mms/client/IedConnectionInternal.h"
#include "stack/src/mms/client/LogicalNodeTypes.h"
#include "stack/src/mms/client/WalkAhead.h"

#include "stack/src/mms/VariableTypes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

using namespace stack::mms;
namespace ber = stack::ber;

namespace {

// The parts of a name between `separator`s ("a$b$c", '$' -> a, b, c); empty parts are kept.
std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(separator, start);
        parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            break;
        start = p + 1;
    }
    return parts;
}

void addUnique(std::vector<std::string>& out, std::set<std::string>& seen, const std::string& name) {
    if (seen.insert(name).second)
        out.push_back(name);
}

bool isDataFc(std::string_view fc) {
    static const char* const kFcs[] = {"ST", "MX", "SP", "SV", "CF", "DC", "SG",
                                       "SE", "SR", "OR", "BL", "EX", "CO"};
    for (const char* f : kFcs)
        if (fc == f)
            return true;
    return false;
}

// The variable names of a logical device: from the server when `refresh` or not yet fetched in
// this association.
using NameList = std::shared_ptr<const std::vector<std::string>>;

// The variable names of a domain: from this association's cache, or asked from the server (and
// cached) when absent or when `refresh` is set. The list is shared, not copied: a browse asks for
// it once per data object.
IedClientError domainVariables(IedConnection self, const std::string& domain, NameList& names,
                               bool refresh = false) {
    if (!refresh) {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        auto it = self->variableCache.find(domain);
        if (it != self->variableCache.end() && self->mms.isConnected()) {
            names = it->second;
            return IED_ERROR_OK;
        }
    }
    auto fresh = std::make_shared<std::vector<std::string>>();
    IedClientError e = self->getNameList(ObjectClass::NamedVariable, domain, *fresh);
    names = fresh;
    if (e == IED_ERROR_OK) {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        self->variableCache[domain] = names;
    }
    return e;
}

// A connection and a logical device name to ask about; OBJECT_REFERENCE_INVALID otherwise.
bool validLogicalDevice(IedConnection self, const char* ldName, IedClientError* error) {
    if (self != nullptr && ldName != nullptr && ldName[0] != '\0')
        return true;
    setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
    return false;
}

// Children of a data object / attribute path (after the LN) under one FC or all (fc empty).
// `exists` tells whether the path itself was found under that FC (any FC when empty).
struct Child {
    std::string name;
    std::string fc;
};

std::vector<Child> childrenOf(const std::vector<std::string>& names, const std::string& ln,
                              const std::vector<std::string>& path, const std::string& fc, bool& exists) {
    std::vector<Child> out;
    exists = false;
    for (const std::string& n : names) {
        // Names of other logical nodes are skipped without splitting: a browse asks this for
        // every data object, over the whole cached name list of the device.
        if (n.size() <= ln.size() || n[ln.size()] != '$' || n.compare(0, ln.size(), ln) != 0)
            continue;
        std::vector<std::string> parts = split(n, '$');
        if (parts.size() < 2 + path.size() || parts[0] != ln)
            continue;
        if (!fc.empty() && parts[1] != fc)
            continue;
        bool match = true;
        for (size_t i = 0; i < path.size(); ++i) {
            if (parts[2 + i] != path[i]) {
                match = false;
                break;
            }
        }
        if (!match)
            continue;
        if (parts.size() == 2 + path.size())
            exists = true;
        else if (parts.size() == 3 + path.size())
            out.push_back({parts.back(), parts[1]});
    }
    return out;
}

// "name" or "name[FC]" as a new C string.
char* childName(const char* name, const char* fc, bool withFc) {
    const size_t n = std::strlen(name), f = withFc ? std::strlen(fc) : 0;
    char* s = static_cast<char*>(std::malloc(n + (withFc ? f + 3 : 1)));
    std::memcpy(s, name, n);
    if (withFc) {
        s[n] = '[';
        std::memcpy(s + n + 1, fc, f);
        s[n + 1 + f] = ']';
        s[n + 2 + f] = '\0';
    } else {
        s[n] = '\0';
    }
    return s;
}

// The children of a path found in a logical node's type, as the list the caller gets: each
// FC group (or only `fc`) that has the path adds its components, "name[FC]" when withFc, else
// each name once. A browse calls this for every data object and attribute, so the list is
// built straight from the cached type, with no copies in between. Null when no group has the
// path.
LinkedList childrenFromType(const MmsVariableSpecification* lnType, std::string_view dottedPath,
                            const std::string& fc, bool withFc) {
    LinkedList list = nullptr, last = nullptr;
    std::vector<const char*> seen; // names listed so far without FC: a handful per object
    const auto& groups = lnType->typeSpec.structure;
    for (int g = 0; g < groups.elementCount; ++g) {
        const char* group = groups.elements[g]->name != nullptr ? groups.elements[g]->name : "";
        if (!fc.empty() && fc != group)
            continue;
        const MmsVariableSpecification* t = typeBelow(groups.elements[g], dottedPath);
        if (t == nullptr)
            continue;
        if (list == nullptr)
            last = list = LinkedList_create();
        if (t->type != MMS_STRUCTURE)
            continue;
        for (int i = 0; i < t->typeSpec.structure.elementCount; ++i) {
            const char* name = t->typeSpec.structure.elements[i]->name;
            name = name != nullptr ? name : "";
            if (!withFc) {
                if (std::any_of(seen.begin(), seen.end(),
                                [&](const char* n) { return std::strcmp(n, name) == 0; }))
                    continue;
                seen.push_back(name);
            }
            last = LinkedList_insertAfter(last, childName(name, group, withFc));
        }
    }
    return list;
}

// Common part of the data directory services.
LinkedList dataDirectory(IedConnection self, IedClientError* error, const char* dataReference,
                         const std::string& fc, bool withFc) {
    std::string_view domain, rest;
    // "LN.DO[.DA...]": at least two names, none empty.
    if (self == nullptr || !splitReference(dataReference, domain, rest) || rest.find('.') == rest.npos ||
        rest.front() == '.' || rest.back() == '.' || rest.find("..") != rest.npos) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    const std::string_view ln = rest.substr(0, rest.find('.'));
    LinkedList list = nullptr;
    if (TypeRef lnType = logicalNodeType(self, domain, ln)) {
        list = childrenFromType(lnType.get(), rest.substr(ln.size() + 1), fc, withFc);
    } else {
        NameList names;
        IedClientError e = domainVariables(self, std::string(domain), names);
        if (e != IED_ERROR_OK) {
            setError(error, e);
            return nullptr;
        }
        std::vector<std::string> parts = split(std::string(rest), '.');
        bool exists = false;
        std::vector<Child> children = childrenOf(
            *names, parts[0], std::vector<std::string>(parts.begin() + 1, parts.end()), fc, exists);
        if (exists) {
            std::vector<std::string> out;
            std::set<std::string> seen;
            for (const Child& c : children) {
                if (withFc)
                    out.push_back(c.name + "[" + c.fc + "]");
                else
                    addUnique(out, seen, c.name);
            }
            list = toLinkedList(out);
        }
    }
    setError(error, list != nullptr ? IED_ERROR_OK : IED_ERROR_OBJECT_DOES_NOT_EXIST);
    return list;
}

} // namespace

extern "C" {

LinkedList IedConnection_getServerDirectory(IedConnection self, IedClientError* error,
                                            bool getFileNames) try {
    if (self == nullptr) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return nullptr;
    }
    if (getFileNames) {
        setError(error, IED_ERROR_SERVICE_NOT_SUPPORTED);
        return nullptr;
    }
    std::vector<std::string> names;
    IedClientError e = self->getNameList(ObjectClass::Domain, std::string(), names);
    setError(error, e);
    if (e != IED_ERROR_OK)
        return nullptr;
    rememberDevices(self, names);
    return toLinkedList(names);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getLogicalDeviceList(IedConnection self, IedClientError* error) try {
    return IedConnection_getServerDirectory(self, error, false);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getLogicalDeviceDirectory(IedConnection self, IedClientError* error,
                                                   const char* logicalDeviceName) try {
    if (self == nullptr || logicalDeviceName == nullptr || logicalDeviceName[0] == '\0' ||
        std::string(logicalDeviceName).find('/') != std::string::npos) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    NameList names;
    IedClientError e = takeNamesAsked(self, logicalDeviceName, names)
                           ? IED_ERROR_OK
                           : domainVariables(self, logicalDeviceName, names, true);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return nullptr;
    }
    std::vector<std::string> lns;
    for (const std::string& n : *names)
        if (n.find('$') == std::string::npos)
            lns.push_back(n);
    askTypesAhead(self, logicalDeviceName);
    setError(error, IED_ERROR_OK);
    return toLinkedList(lns);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getLogicalNodeDirectory(IedConnection self, IedClientError* error,
                                                 const char* logicalNodeReference, ACSIClass acsiClass) try {
    std::string domain, ln;
    if (self == nullptr || !splitReference(logicalNodeReference, domain, ln) ||
        ln.find('.') != std::string::npos || ln.find('$') != std::string::npos) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    std::vector<std::string> out;
    if (acsiClass == ACSI_CLASS_DATA_SET) {
        std::vector<std::string> lists;
        IedClientError e = self->getNameList(ObjectClass::NamedVariableList, domain, lists);
        if (e != IED_ERROR_OK) {
            setError(error, e);
            return nullptr;
        }
        std::string prefix = ln + "$";
        for (const std::string& n : lists)
            if (n.compare(0, prefix.size(), prefix) == 0)
                out.push_back(n.substr(prefix.size()));
        setError(error, IED_ERROR_OK);
        return toLinkedList(out);
    }
    if (acsiClass == ACSI_CLASS_LOG) {
        setError(error, IED_ERROR_OK); // journals are not offered by the servers we talk to
        return toLinkedList(out);
    }
    const char* cbFc = nullptr;
    switch (acsiClass) {
    case ACSI_CLASS_BRCB:
        cbFc = "BR";
        break;
    case ACSI_CLASS_URCB:
        cbFc = "RP";
        break;
    case ACSI_CLASS_LCB:
        cbFc = "LG";
        break;
    case ACSI_CLASS_GoCB:
        cbFc = "GO";
        break;
    case ACSI_CLASS_GsCB:
        cbFc = "GS";
        break;
    case ACSI_CLASS_MSVCB:
        cbFc = "MS";
        break;
    case ACSI_CLASS_USVCB:
        cbFc = "US";
        break;
    case ACSI_CLASS_SGCB:
        cbFc = "SP";
        break;
    default:
        break;
    }
    // The (FC, name) pairs directly below the logical node: from its type, or from the names
    // (which `names` keeps alive).
    std::vector<std::pair<std::string_view, std::string_view>> members;
    NameList names;
    TypeRef lnType = logicalNodeType(self, domain, ln, true);
    if (lnType) {
        const auto& groups = lnType->typeSpec.structure;
        for (int g = 0; g < groups.elementCount; ++g) {
            const MmsVariableSpecification* group = groups.elements[g];
            if (group->type != MMS_STRUCTURE)
                continue;
            for (int i = 0; i < group->typeSpec.structure.elementCount; ++i) {
                const char* name = group->typeSpec.structure.elements[i]->name;
                members.emplace_back(group->name != nullptr ? group->name : "", name != nullptr ? name : "");
            }
        }
    } else {
        IedClientError e = domainVariables(self, domain, names);
        if (e != IED_ERROR_OK) {
            setError(error, e);
            return nullptr;
        }
        if (std::find(names->begin(), names->end(), ln) == names->end()) {
            setError(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
            return nullptr;
        }
        for (std::string_view n : *names) {
            // "LN$FC$name": names of other logical nodes are skipped first.
            if (n.size() <= ln.size() || n[ln.size()] != '$' || n.compare(0, ln.size(), ln) != 0)
                continue;
            const size_t fcEnd = n.find('$', ln.size() + 1);
            if (fcEnd != std::string_view::npos && n.find('$', fcEnd + 1) == std::string_view::npos)
                members.emplace_back(n.substr(ln.size() + 1, fcEnd - ln.size() - 1), n.substr(fcEnd + 1));
        }
    }
    // The names the class asks for, each once (a data object is in several FCs).
    std::vector<std::string_view> picked;
    for (const auto& [group, name] : members) {
        const bool wanted = acsiClass == ACSI_CLASS_DATA_OBJECT ? isDataFc(group)
                            : acsiClass == ACSI_CLASS_SGCB      ? group == "SP" && name == "SGCB"
                                                                : cbFc != nullptr && group == cbFc;
        if (wanted && std::find(picked.begin(), picked.end(), name) == picked.end())
            picked.push_back(name);
    }
    LinkedList list = LinkedList_create(), last = list;
    for (std::string_view name : picked)
        last = LinkedList_insertAfter(last, copyString(name));
    setError(error, IED_ERROR_OK);
    return list;
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getLogicalNodeVariables(IedConnection self, IedClientError* error,
                                                 const char* logicalNodeReference) try {
    std::string domain, ln;
    if (self == nullptr || !splitReference(logicalNodeReference, domain, ln)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    NameList names;
    IedClientError e = domainVariables(self, domain, names);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return nullptr;
    }
    std::vector<std::string> out;
    std::string prefix = ln + "$";
    for (const std::string& n : *names)
        if (n.compare(0, prefix.size(), prefix) == 0)
            out.push_back(n.substr(prefix.size()));
    setError(error, IED_ERROR_OK);
    return toLinkedList(out);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getLogicalDeviceVariables(IedConnection self, IedClientError* error,
                                                   const char* ldName) try {
    if (!validLogicalDevice(self, ldName, error))
        return nullptr;
    NameList names;
    IedClientError e = domainVariables(self, ldName, names);
    setError(error, e);
    return e == IED_ERROR_OK ? toLinkedList(*names) : nullptr;
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getLogicalDeviceDataSets(IedConnection self, IedClientError* error,
                                                  const char* ldName) try {
    if (!validLogicalDevice(self, ldName, error))
        return nullptr;
    std::vector<std::string> names;
    IedClientError e = self->getNameList(ObjectClass::NamedVariableList, ldName, names);
    setError(error, e);
    return e == IED_ERROR_OK ? toLinkedList(names) : nullptr;
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getDataDirectory(IedConnection self, IedClientError* error,
                                          const char* dataReference) try {
    return dataDirectory(self, error, dataReference, std::string(), false);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getDataDirectoryFC(IedConnection self, IedClientError* error,
                                            const char* dataReference) try {
    return dataDirectory(self, error, dataReference, std::string(), true);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getDataDirectoryByFC(IedConnection self, IedClientError* error,
                                              const char* dataReference, FunctionalConstraint fc) try {
    // The children under one FC are the components of the variable's type: read in place from
    // the logical node's type, or asked from a server that does not describe whole nodes.
    std::string_view domain, rest;
    const char* fcText = FunctionalConstraint_toString(fc);
    if (self == nullptr || !splitReference(dataReference, domain, rest) || fcText == nullptr) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    const size_t dot = rest.find('.');
    TypeRef lnType = logicalNodeType(self, domain, rest.substr(0, dot));
    if (!lnType) {
        MmsVariableSpecification* typeDesc =
            IedConnection_getVariableSpecification(self, error, dataReference, fc);
        if (typeDesc == nullptr)
            return nullptr;
        LinkedList out = componentList(typeDesc);
        MmsVariableSpecification_destroy(typeDesc);
        setError(error, IED_ERROR_OK);
        return out;
    }
    const MmsVariableSpecification* t = typeAt(
        lnType.get(), fcText, dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1));
    if (t == nullptr || (dot != std::string_view::npos && dot + 1 == rest.size())) {
        setError(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
        return nullptr;
    }
    setError(error, IED_ERROR_OK);
    return componentList(t);
} catch (...) {
    return unknownFailure(error);
}

LinkedList IedConnection_getDataSetDirectory(IedConnection self, IedClientError* error,
                                             const char* dataSetReference, bool* isDeletable) try {
    ObjectName name;
    if (self == nullptr || !toDataSetName(dataSetReference, name)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    Response r;
    IedClientError e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeGetNamedVariableListAttributesRequest(w, id, name); }, r);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return nullptr;
    }
    std::vector<ObjectName> members;
    bool deletable = false;
    if (!decodeGetNamedVariableListAttributesResponse(r.pdu.service, members, deletable)) {
        setError(error, IED_ERROR_MALFORMED_MESSAGE);
        return nullptr;
    }
    if (isDeletable != nullptr)
        *isDeletable = deletable;
    std::vector<std::string> out;
    for (const ObjectName& m : members) {
        if (m.scope == ObjectName::Scope::Domain)
            out.push_back(toObjectReference(m));
        else
            out.push_back((m.scope == ObjectName::Scope::Association ? "@" : "") + m.item);
    }
    setError(error, IED_ERROR_OK);
    return toLinkedList(out);
} catch (...) {
    return unknownFailure(error);
}

MmsVariableSpecification* IedConnection_getVariableSpecification(IedConnection self, IedClientError* error,
                                                                 const char* dataAttributeReference,
                                                                 FunctionalConstraint fc) try {
    std::string domain, rest;
    if (self == nullptr || !splitReference(dataAttributeReference, domain, rest) ||
        FunctionalConstraint_toString(fc) == nullptr) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    std::vector<std::string> parts = split(rest, '.');
    const std::string fcText = FunctionalConstraint_toString(fc);
    std::string last = parts.back();
    MmsVariableSpecification* typeDesc = nullptr;
    TypeRef lnType = logicalNodeType(self, domain, parts[0]);
    if (lnType) {
        const MmsVariableSpecification* t =
            typeAt(lnType.get(), fcText, std::vector<std::string>(parts.begin() + 1, parts.end()));
        if (t == nullptr) {
            setError(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
            return nullptr;
        }
        typeDesc = cloneTypeDesc(t);
    } else {
        IedClientError e = IED_ERROR_OK;
        ObjectName name;
        if (!toVariableName(domain, toMmsItem(rest, fc), name) || !name.alternateAccess.empty()) {
            setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
            return nullptr;
        }
        typeDesc = askType(self, name, e);
        if (typeDesc == nullptr) {
            setError(error, e);
            return nullptr;
        }
    }
    setTypeDescName(typeDesc, last.c_str());
    setError(error, IED_ERROR_OK);
    return typeDesc;
} catch (...) {
    return unknownFailure(error);
}

} // extern "C"
