// The stand-alone MMS client of the C interface: connect with association parameters, name
// lists, reads and writes of named variables, named variable lists and their members.
#include "stack/src/mms/client/IedConnectionInternal.h"

#include "mms_type_spec.h"
#include "stack/src/mms/MmsListServices.h"
#include "stack/src/value/mms_value_internal.h"

#include <cstdlib>
#include <cstring>
#include <new>

using namespace stack::mms;
namespace ber = stack::ber;

namespace {

void setError(MmsError* error, MmsError value) {
    if (error != nullptr)
        *error = value;
}

bool validName(const char* name) {
    return name != nullptr && name[0] != '\0' && std::strlen(name) <= 129;
}

LinkedList names(MmsConnection self, MmsError* mmsError, int objectClass, const char* domainId) {
    if (self == nullptr || (domainId != nullptr && !validName(domainId))) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    std::vector<std::string> list;
    MmsError e = self->getNameList(objectClass, domainId != nullptr ? domainId : "", list);
    setError(mmsError, e);
    return e == MMS_ERROR_NONE ? toLinkedList(list) : nullptr;
}

// One value of a read; a data access error stays a value, as the caller asked for that object.
MmsValue* readOne(MmsConnection self, MmsError* mmsError, const MmsClient::Encoder& encode) {
    Response r;
    MmsError e = self->request(encode, r);
    if (e != MMS_ERROR_NONE) {
        setError(mmsError, e);
        return nullptr;
    }
    std::vector<MmsValue*> results;
    if (!decodeReadResponse(r.pdu.service, results) || results.size() != 1) {
        for (MmsValue* v : results)
            MmsValue_delete(v);
        setError(mmsError, MMS_ERROR_PARSING_RESPONSE);
        return nullptr;
    }
    setError(mmsError, MMS_ERROR_NONE);
    return results[0];
}

char* copyOrNull(const char* text) {
    return text != nullptr ? copyString(text) : nullptr;
}

} // namespace

extern "C" {

MmsConnection MmsConnection_create(void) try { return new (std::nothrow) sMmsConnection(); } catch (...) {
    return nullptr;
}

void MmsConnection_destroy(MmsConnection self) try {
    if (self == nullptr)
        return;
    self->close(true);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool MmsConnection_connect(MmsConnection self, MmsError* mmsError, const char* serverName,
                           int serverPort) try {
    if (self == nullptr || serverName == nullptr || serverName[0] == '\0' || serverPort > 65535) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return false;
    }
    self->isoParameters.applyAuthentication();
    MmsError e = self->connect(serverName, static_cast<uint16_t>(serverPort > 0 ? serverPort : 102));
    setError(mmsError, e);
    return e == MMS_ERROR_NONE;
} catch (...) {
    return false;
}

void MmsConnection_conclude(MmsConnection self, MmsError* mmsError) try {
    if (self == nullptr || !self->isConnected()) {
        setError(mmsError, MMS_ERROR_CONNECTION_LOST);
        return;
    }
    self->close(true);
    setError(mmsError, MMS_ERROR_NONE);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsConnection_abort(MmsConnection self, MmsError* mmsError) try {
    if (self == nullptr || !self->isConnected()) {
        setError(mmsError, MMS_ERROR_CONNECTION_LOST);
        return;
    }
    self->close(false);
    setError(mmsError, MMS_ERROR_NONE);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsConnection_close(MmsConnection self) try {
    if (self != nullptr)
        self->close(true);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

IsoConnectionParameters MmsConnection_getIsoConnectionParameters(MmsConnection self) {
    return self != nullptr ? &self->isoParameters : nullptr;
}

LinkedList MmsConnection_getDomainNames(MmsConnection self, MmsError* mmsError) try {
    return names(self, mmsError, static_cast<int>(ObjectClass::Domain), nullptr);
} catch (...) {
    return nullptr;
}

LinkedList MmsConnection_getDomainVariableNames(MmsConnection self, MmsError* mmsError,
                                                const char* domainId) try {
    if (domainId == nullptr) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    return names(self, mmsError, static_cast<int>(ObjectClass::NamedVariable), domainId);
} catch (...) {
    return nullptr;
}

LinkedList MmsConnection_getDomainVariableListNames(MmsConnection self, MmsError* mmsError,
                                                    const char* domainId) try {
    if (domainId == nullptr) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    return names(self, mmsError, static_cast<int>(ObjectClass::NamedVariableList), domainId);
} catch (...) {
    return nullptr;
}

LinkedList MmsConnection_getDomainJournals(MmsConnection self, MmsError* mmsError, const char* domainId) try {
    if (domainId == nullptr) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    return names(self, mmsError, static_cast<int>(ObjectClass::Journal), domainId);
} catch (...) {
    return nullptr;
}

MmsValue* MmsConnection_readVariable(MmsConnection self, MmsError* mmsError, const char* domainId,
                                     const char* itemId) try {
    if (self == nullptr || !validName(domainId) || !validName(itemId)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    VariableAccess access;
    access.variables.emplace_back(domainId, itemId);
    return readOne(self, mmsError, [&](ber::Writer& w, uint32_t id) { encodeReadRequest(w, id, access); });
} catch (...) {
    return nullptr;
}

MmsValue* MmsConnection_readVariableComponent(MmsConnection self, MmsError* mmsError, const char* domainId,
                                              const char* itemId, const char* componentId) try {
    if (componentId == nullptr || componentId[0] == '\0')
        return MmsConnection_readVariable(self, mmsError, domainId, itemId);
    if (self == nullptr || !validName(domainId) || !validName(itemId)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    // Read of one variable with an alternate access selecting the component by its "$" path,
    // as IEC 61850 clients send it.
    ObjectName name(domainId, itemId);
    std::string component = componentId;
    return readOne(self, mmsError, [&](ber::Writer& w, uint32_t id) {
        size_t m = w.open(0xA0);
        w.unsignedInteger(0x02, id);
        size_t s = w.open(0xA4);
        size_t v = w.open(0xA1);
        size_t list = w.open(0xA0);
        size_t seq = w.open(0x30);
        size_t typeDesc = w.open(0xA0);
        encodeObjectName(w, name);
        w.close(typeDesc);
        size_t alt = w.open(0xA5);
        w.primitive(0x81, component); // selectAccess: component
        w.close(alt);
        w.close(seq);
        w.close(list);
        w.close(v);
        w.close(s);
        w.close(m);
    });
} catch (...) {
    return nullptr;
}

MmsValue* MmsConnection_readNamedVariableListValues(MmsConnection self, MmsError* mmsError,
                                                    const char* domainId, const char* listName,
                                                    bool /*descWithResult*/) try {
    if (self == nullptr || !validName(domainId) || !validName(listName)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    VariableAccess access;
    access.isListName = true;
    access.listName = ObjectName(domainId, listName);
    Response r;
    MmsError e = self->request([&](ber::Writer& w, uint32_t id) { encodeReadRequest(w, id, access); }, r);
    std::vector<MmsValue*> results;
    if (e == MMS_ERROR_NONE && !decodeReadResponse(r.pdu.service, results))
        e = MMS_ERROR_PARSING_RESPONSE;
    setError(mmsError, e);
    if (e != MMS_ERROR_NONE)
        return nullptr;
    MmsValue* array = MmsValue_createEmptyArray(static_cast<int>(results.size()));
    for (size_t i = 0; i < results.size(); ++i)
        MmsValue_setElement(array, static_cast<int>(i), results[i]);
    return array;
} catch (...) {
    return nullptr;
}

MmsDataAccessError MmsConnection_writeVariable(MmsConnection self, MmsError* mmsError, const char* domainId,
                                               const char* itemId, MmsValue* value) {
    if (self == nullptr || value == nullptr || !validName(domainId) || !validName(itemId)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return DATA_ACCESS_ERROR_UNKNOWN;
    }
    VariableAccess access;
    access.variables.emplace_back(domainId, itemId);
    std::vector<const MmsValue*> values{value};
    Response r;
    MmsError e =
        self->request([&](ber::Writer& w, uint32_t id) { encodeWriteRequest(w, id, access, values); }, r);
    std::vector<MmsDataAccessError> results;
    if (e == MMS_ERROR_NONE && (!decodeWriteResponse(r.pdu.service, results) || results.size() != 1))
        e = MMS_ERROR_PARSING_RESPONSE;
    setError(mmsError, e);
    return e == MMS_ERROR_NONE ? results[0] : DATA_ACCESS_ERROR_UNKNOWN;
}

MmsVariableSpecification* MmsConnection_getVariableAccessAttributes(MmsConnection self, MmsError* mmsError,
                                                                    const char* domainId,
                                                                    const char* itemId) try {
    if (self == nullptr || !validName(domainId) || !validName(itemId)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    ObjectName name(domainId, itemId);
    Response r;
    MmsError e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeGetVariableAccessAttributesRequest(w, id, name); }, r);
    MmsVariableSpecification* typeDesc = nullptr;
    if (e == MMS_ERROR_NONE &&
        (typeDesc = decodeGetVariableAccessAttributesResponse(r.pdu.service)) == nullptr)
        e = MMS_ERROR_PARSING_RESPONSE;
    setError(mmsError, e);
    return typeDesc;
} catch (...) {
    return nullptr;
}

MmsVariableAccessSpecification* MmsVariableAccessSpecification_create(char* domainId, char* itemId) try {
    return MmsVariableAccessSpecification_createAlternateAccess(domainId, itemId, -1, nullptr);
} catch (...) {
    return nullptr;
}

MmsVariableAccessSpecification*
MmsVariableAccessSpecification_createAlternateAccess(char* domainId, char* itemId, int32_t index,
                                                     char* componentName) try {
    auto* self =
        static_cast<MmsVariableAccessSpecification*>(std::calloc(1, sizeof(MmsVariableAccessSpecification)));
    if (self == nullptr)
        return nullptr;
    self->domainId = copyOrNull(domainId);
    self->itemId = copyOrNull(itemId);
    self->arrayIndex = index;
    self->componentName = copyOrNull(componentName);
    return self;
} catch (...) {
    return nullptr;
}

void MmsVariableAccessSpecification_destroy(MmsVariableAccessSpecification* self) try {
    if (self == nullptr)
        return;
    std::free(self->domainId);
    std::free(self->itemId);
    std::free(self->componentName);
    std::free(self);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

LinkedList MmsConnection_readNamedVariableListDirectory(MmsConnection self, MmsError* mmsError,
                                                        const char* domainId, const char* listName,
                                                        bool* deletable) try {
    if (self == nullptr || !validName(domainId) || !validName(listName)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return nullptr;
    }
    ObjectName name(domainId, listName);
    Response r;
    MmsError e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeGetNamedVariableListAttributesRequest(w, id, name); }, r);
    std::vector<ObjectName> members;
    bool isDeletable = false;
    if (e == MMS_ERROR_NONE &&
        !decodeGetNamedVariableListAttributesResponse(r.pdu.service, members, isDeletable))
        e = MMS_ERROR_PARSING_RESPONSE;
    setError(mmsError, e);
    if (e != MMS_ERROR_NONE)
        return nullptr;
    if (deletable != nullptr)
        *deletable = isDeletable;
    LinkedList list = LinkedList_create();
    for (const ObjectName& m : members) {
        auto* member = static_cast<MmsVariableAccessSpecification*>(
            std::calloc(1, sizeof(MmsVariableAccessSpecification)));
        member->domainId = m.scope == ObjectName::Scope::Domain ? copyString(m.domain) : nullptr;
        member->itemId = copyString(m.item);
        member->arrayIndex = -1;
        LinkedList_add(list, member);
    }
    return list;
} catch (...) {
    return nullptr;
}

void MmsConnection_defineNamedVariableList(MmsConnection self, MmsError* mmsError, const char* domainId,
                                           const char* listName, LinkedList variables) try {
    if (self == nullptr || !validName(domainId) || !validName(listName)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return;
    }
    std::vector<ObjectName> members;
    for (LinkedList e = LinkedList_getNext(variables); e != nullptr; e = LinkedList_getNext(e)) {
        auto* member = static_cast<const MmsVariableAccessSpecification*>(e->data);
        if (member == nullptr || !validName(member->domainId) || !validName(member->itemId)) {
            setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
            return;
        }
        members.emplace_back(member->domainId, member->itemId);
    }
    ObjectName name(domainId, listName);
    Response r;
    setError(mmsError,
             self->request([&](ber::Writer& w,
                               uint32_t id) { encodeDefineNamedVariableListRequest(w, id, name, members); },
                           r));
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool MmsConnection_deleteNamedVariableList(MmsConnection self, MmsError* mmsError, const char* domainId,
                                           const char* listName) try {
    if (self == nullptr || !validName(domainId) || !validName(listName)) {
        setError(mmsError, MMS_ERROR_INVALID_ARGUMENTS);
        return false;
    }
    ObjectName name(domainId, listName);
    Response r;
    MmsError e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeDeleteNamedVariableListRequest(w, id, name); }, r);
    uint32_t matched = 0, deleted = 0;
    if (e == MMS_ERROR_NONE && !decodeDeleteNamedVariableListResponse(r.pdu.service, matched, deleted))
        e = MMS_ERROR_PARSING_RESPONSE;
    setError(mmsError, e);
    return e == MMS_ERROR_NONE && deleted > 0;
} catch (...) {
    return false;
}

void MmsConnection_setRawMessageHandler(MmsConnection self, MmsRawMessageHandler handler,
                                        void* parameter) try {
    if (self != nullptr)
        self->setRawMessageHandler(handler, parameter);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsConnection_setRequestTimeout(MmsConnection self, uint32_t timeoutInMs) try {
    if (self == nullptr)
        return;
    self->requestTimeoutMs = timeoutInMs;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsConnection_setConnectTimeout(MmsConnection self, uint32_t timeoutInMs) try {
    if (self == nullptr)
        return;
    self->connectTimeoutMs = timeoutInMs;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int MmsConnection_getLocalDetail(MmsConnection self) {
    if (self == nullptr)
        return 0;
    return self->isConnected() ? static_cast<int>(self->maxPduSize()) : 0;
}

MmsServerIdentity* MmsConnection_identify(MmsConnection self, MmsError* mmsError) try {
    if (self == nullptr) {
        if (mmsError != nullptr)
            *mmsError = MMS_ERROR_OTHER;
        return nullptr;
    }
    Response r;
    MmsError err = self->request([](ber::Writer& w, uint32_t id) { encodeIdentifyRequest(w, id); }, r);
    ServerIdentity id;
    if (err == MMS_ERROR_NONE && !decodeIdentifyResponse(r.pdu.service, id))
        err = MMS_ERROR_PARSING_RESPONSE;
    if (mmsError != nullptr)
        *mmsError = err;
    if (err != MMS_ERROR_NONE)
        return nullptr;
    auto* identity = static_cast<MmsServerIdentity*>(std::calloc(1, sizeof(MmsServerIdentity)));
    identity->vendorName = copyString(id.vendor);
    identity->modelName = copyString(id.model);
    identity->revision = copyString(id.revision);
    return identity;
} catch (...) {
    return nullptr;
}

void MmsServerIdentity_destroy(MmsServerIdentity* self) try {
    if (self == nullptr)
        return;
    std::free(self->vendorName);
    std::free(self->modelName);
    std::free(self->revision);
    std::free(self);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"
