// IedConnection: connection handling, the MMS connection's C functions, error mapping, reads
// and writes of single objects.
#include "stack/src/mms/client/IedConnectionInternal.h"
#include "stack/src/mms/AlternateAccess.h"
#include "stack/src/mms/MmsData.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstdlib>
#include <cstring>

namespace stack {
namespace mms {

IedClientError toIedError(MmsError error) {
    switch (error) {
    case MMS_ERROR_NONE:
        return IED_ERROR_OK;
    case MMS_ERROR_CONNECTION_REJECTED:
        return IED_ERROR_CONNECTION_REJECTED;
    case MMS_ERROR_CONNECTION_LOST:
        return IED_ERROR_CONNECTION_LOST;
    case MMS_ERROR_SERVICE_TIMEOUT:
        return IED_ERROR_TIMEOUT;
    case MMS_ERROR_PARSING_RESPONSE:
        return IED_ERROR_MALFORMED_MESSAGE;
    case MMS_ERROR_INVALID_ARGUMENTS:
    case MMS_ERROR_RESOURCE_OTHER:
        return IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
    case MMS_ERROR_OUTSTANDING_CALL_LIMIT:
        return IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED;
    case MMS_ERROR_HARDWARE_FAULT:
        return IED_ERROR_HARDWARE_FAULT;
    case MMS_ERROR_DEFINITION_OBJECT_UNDEFINED:
        return IED_ERROR_OBJECT_UNDEFINED;
    case MMS_ERROR_DEFINITION_INVALID_ADDRESS:
        return IED_ERROR_INVALID_ADDRESS;
    case MMS_ERROR_DEFINITION_TYPE_UNSUPPORTED:
        return IED_ERROR_TYPE_UNSUPPORTED;
    case MMS_ERROR_DEFINITION_TYPE_INCONSISTENT:
        return IED_ERROR_TYPE_INCONSISTENT;
    case MMS_ERROR_DEFINITION_OBJECT_EXISTS:
        return IED_ERROR_OBJECT_EXISTS;
    case MMS_ERROR_DEFINITION_OBJECT_ATTRIBUTE_INCONSISTENT:
        return IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT;
    case MMS_ERROR_RESOURCE_CAPABILITY_UNAVAILABLE:
        return IED_ERROR_TEMPORARILY_UNAVAILABLE;
    case MMS_ERROR_ACCESS_OBJECT_NON_EXISTENT:
        return IED_ERROR_OBJECT_DOES_NOT_EXIST;
    case MMS_ERROR_ACCESS_OBJECT_ACCESS_UNSUPPORTED:
        return IED_ERROR_OBJECT_ACCESS_UNSUPPORTED;
    case MMS_ERROR_ACCESS_OBJECT_ACCESS_DENIED:
        return IED_ERROR_ACCESS_DENIED;
    case MMS_ERROR_ACCESS_OBJECT_INVALIDATED:
        return IED_ERROR_OBJECT_INVALIDATED;
    case MMS_ERROR_ACCESS_OBJECT_VALUE_INVALID:
        return IED_ERROR_OBJECT_VALUE_INVALID;
    case MMS_ERROR_ACCESS_TEMPORARILY_UNAVAILABLE:
        return IED_ERROR_TEMPORARILY_UNAVAILABLE;
    case MMS_ERROR_REJECT_UNRECOGNIZED_SERVICE:
    case MMS_ERROR_REJECT_UNKNOWN_PDU_TYPE:
        return IED_ERROR_SERVICE_NOT_SUPPORTED;
    case MMS_ERROR_REJECT_OTHER:
    case MMS_ERROR_REJECT_INVALID_PDU:
    case MMS_ERROR_REJECT_UNRECOGNIZED_MODIFIER:
    case MMS_ERROR_REJECT_REQUEST_INVALID_ARGUMENT:
        return IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
    default:
        return IED_ERROR_UNKNOWN;
    }
}

IedClientError toIedError(MmsDataAccessError error) {
    switch (error) {
    case DATA_ACCESS_ERROR_SUCCESS:
        return IED_ERROR_OK;
    case DATA_ACCESS_ERROR_OBJECT_INVALIDATED:
        return IED_ERROR_OBJECT_INVALIDATED;
    case DATA_ACCESS_ERROR_HARDWARE_FAULT:
        return IED_ERROR_HARDWARE_FAULT;
    case DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE:
        return IED_ERROR_TEMPORARILY_UNAVAILABLE;
    case DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED:
        return IED_ERROR_ACCESS_DENIED;
    case DATA_ACCESS_ERROR_OBJECT_UNDEFINED:
        return IED_ERROR_OBJECT_UNDEFINED;
    case DATA_ACCESS_ERROR_INVALID_ADDRESS:
        return IED_ERROR_INVALID_ADDRESS;
    case DATA_ACCESS_ERROR_TYPE_UNSUPPORTED:
        return IED_ERROR_TYPE_UNSUPPORTED;
    case DATA_ACCESS_ERROR_TYPE_INCONSISTENT:
        return IED_ERROR_TYPE_INCONSISTENT;
    case DATA_ACCESS_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT:
        return IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT;
    case DATA_ACCESS_ERROR_OBJECT_ACCESS_UNSUPPORTED:
        return IED_ERROR_OBJECT_ACCESS_UNSUPPORTED;
    case DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT:
        return IED_ERROR_OBJECT_DOES_NOT_EXIST;
    case DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID:
        return IED_ERROR_OBJECT_VALUE_INVALID;
    case DATA_ACCESS_ERROR_NO_RESPONSE:
        return IED_ERROR_TIMEOUT;
    default:
        return IED_ERROR_UNKNOWN;
    }
}

bool splitReference(const char* reference, std::string& domain, std::string& rest) {
    if (reference == nullptr)
        return false;
    const char* slash = std::strchr(reference, '/');
    if (slash == nullptr || slash == reference || slash[1] == '\0')
        return false;
    domain.assign(reference, slash);
    rest.assign(slash + 1);
    return domain.size() <= 64;
}

std::string dotsToDollars(std::string text) {
    for (char& c : text)
        if (c == '.')
            c = '$';
    return text;
}

std::string toMmsItem(const std::string& rest, FunctionalConstraint fc) {
    const char* fcText = FunctionalConstraint_toString(fc);
    std::string fcs = fcText != nullptr ? fcText : "";
    size_t dot = rest.find('.');
    std::string ln = rest.substr(0, dot);
    std::string item = ln + "$" + fcs;
    if (dot != std::string::npos)
        item += "$" + dotsToDollars(rest.substr(dot + 1));
    return item;
}

std::string toObjectReference(const std::string& domain, const std::string& item) {
    size_t first = item.find('$');
    if (first == std::string::npos)
        return domain + "/" + item;
    size_t second = item.find('$', first + 1);
    std::string ln = item.substr(0, first);
    std::string fc =
        item.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    std::string ref = domain + "/" + ln;
    if (second != std::string::npos) {
        std::string tail = item.substr(second + 1);
        for (char& c : tail)
            if (c == '$')
                c = '.';
        ref += "." + tail;
    }
    return ref + "[" + fc + "]";
}

std::string toObjectReference(const ObjectName& name) {
    std::string ref = toObjectReference(name.domain, name.item);
    if (!name.alternateAccess.empty())
        ref.insert(ref.rfind('['), formatAccessPath(name.alternateAccess, '.'));
    return ref;
}

bool toVariableName(const std::string& domain, const std::string& item, ObjectName& name) {
    name = ObjectName();
    name.domain = domain;
    return splitArrayPath(item, name.item, name.alternateAccess);
}

char* copyString(const std::string& text) {
    char* s = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(s, text.c_str(), text.size() + 1);
    return s;
}

LinkedList toLinkedList(const std::vector<std::string>& names) {
    LinkedList list = LinkedList_create();
    LinkedList last = list; // appended at the tail kept here: long name lists stay linear
    for (const std::string& n : names)
        last = LinkedList_insertAfter(last, copyString(n));
    return list;
}

LinkedList componentList(const MmsVariableSpecification* spec) {
    LinkedList list = LinkedList_create();
    LinkedList last = list;
    if (spec != nullptr && spec->type == MMS_STRUCTURE)
        for (int i = 0; i < spec->typeSpec.structure.elementCount; ++i) {
            const char* n = spec->typeSpec.structure.elements[i]->name;
            last = LinkedList_insertAfter(last, copyString(n != nullptr ? n : ""));
        }
    return list;
}

} // namespace mms
} // namespace stack

using namespace stack::mms;
namespace ber = stack::ber;

namespace {

void setError(IedClientError* error, IedClientError value) {
    if (error != nullptr)
        *error = value;
}

// The error of a typed read that got a value of another type: the server's access error, or
// an unexpected value.
IedClientError unexpectedValueError(const MmsValue* value) {
    return value->type == MMS_DATA_ACCESS_ERROR ? toIedError(value->accessError)
                                                : IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
}

} // namespace

void sIedConnection::setState(IedConnectionState newState) {
    int old = state.exchange(newState);
    if (old == newState)
        return;
    IedConnection_StateChangedHandler handler;
    void* parameter;
    {
        std::lock_guard<std::mutex> lock(stateHandlerMutex);
        handler = stateHandler;
        parameter = stateParameter;
    }
    if (handler != nullptr)
        handler(parameter, this, newState);
}

IedClientError sIedConnection::finish(MmsError err) {
    if (err == MMS_ERROR_CONNECTION_LOST || err == MMS_ERROR_PARSING_RESPONSE) {
        if (!mms.isConnected()) {
            lost.store(true);
            setState(IED_STATE_CLOSED);
        }
    }
    return toIedError(err);
}

IedClientError sIedConnection::request(const MmsClient::Encoder& encode, Response& response) {
    if (!mms.isConnected())
        return state.load() == IED_STATE_CONNECTED ? IED_ERROR_CONNECTION_LOST : notConnectedError();
    return finish(mms.request(encode, response));
}

IedClientError sIedConnection::getNameList(ObjectClass cls, const std::string& domain,
                                           std::vector<std::string>& names) {
    names.clear();
    if (!mms.isConnected())
        return notConnectedError();
    return finish(mms.getNameList(static_cast<int>(cls), domain, names));
}

IedClientError sIedConnection::readVariable(const std::string& domain, const std::string& item,
                                            MmsValue*& value, bool accessErrorAsValue) {
    value = nullptr;
    VariableAccess access;
    access.variables.emplace_back();
    if (!toVariableName(domain, item, access.variables.back()))
        return IED_ERROR_OBJECT_REFERENCE_INVALID;
    Response r;
    IedClientError e = request([&](ber::Writer& w, uint32_t id) { encodeReadRequest(w, id, access); }, r);
    if (e != IED_ERROR_OK)
        return e;
    std::vector<MmsValue*> results;
    if (!decodeReadResponse(r.pdu.service, results) || results.size() != 1) {
        for (MmsValue* v : results)
            MmsValue_delete(v);
        return IED_ERROR_MALFORMED_MESSAGE;
    }
    if (results[0]->type == MMS_DATA_ACCESS_ERROR && !accessErrorAsValue) {
        IedClientError ae = toIedError(results[0]->accessError);
        MmsValue_delete(results[0]);
        return ae;
    }
    value = results[0];
    return IED_ERROR_OK;
}

extern "C" {

IedConnection IedConnection_create(void) try {
    IedConnection self = new sIedConnection();
    self->mms.setReportHandler(
        [self](VariableAccess& access, std::vector<MmsValue*>& values) { self->onReport(access, values); });
    self->mms.setLostHandler([self]() {
        self->lost.store(true);
        self->setState(IED_STATE_CLOSED);
        IedConnectionClosedHandler handler;
        void* parameter;
        {
            std::lock_guard<std::mutex> lock(self->closedMutex);
            handler = self->closedHandler;
            parameter = self->closedParameter;
        }
        if (handler != nullptr)
            handler(parameter, self);
    });
    return self;
} catch (...) {
    return nullptr;
}

void IedConnection_destroy(IedConnection self) try {
    if (self == nullptr)
        return;
    IedConnection_close(self);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_setConnectTimeout(IedConnection self, uint32_t timeoutInMs) try {
    if (self == nullptr)
        return;
    self->mms.connectTimeoutMs = timeoutInMs;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
void IedConnection_setRequestTimeout(IedConnection self, uint32_t timeoutInMs) try {
    if (self == nullptr)
        return;
    self->mms.requestTimeoutMs = timeoutInMs;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
uint32_t IedConnection_getRequestTimeout(IedConnection self) {
    if (self == nullptr)
        return 0;
    return self->mms.requestTimeoutMs.load();
}

void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname, int tcpPort) try {
    if (self == nullptr || hostname == nullptr || hostname[0] == '\0') {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    if (self->mms.isConnected()) {
        setError(error, IED_ERROR_ALREADY_CONNECTED);
        return;
    }
    std::string host = hostname;
    int port = tcpPort > 0 ? tcpPort : 102;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(':') == colon) {
        // "host:port" overrides the port argument.
        char* end = nullptr;
        long p = std::strtol(host.c_str() + colon + 1, &end, 10);
        if (end == nullptr || *end != '\0' || p <= 0 || p > 65535 || colon == 0) {
            setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
            return;
        }
        port = static_cast<int>(p);
        host = host.substr(0, colon);
    }
    if (port > 65535) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    self->clearCache();
    self->lost.store(false);
    self->setState(IED_STATE_CONNECTING);
    self->mms.isoParameters.applyAuthentication();
    MmsError err = self->mms.connect(host, static_cast<uint16_t>(port));
    if (err != MMS_ERROR_NONE) {
        self->setState(IED_STATE_CLOSED);
        setError(error, toIedError(err));
        return;
    }
    self->setState(IED_STATE_CONNECTED);
    setError(error, IED_ERROR_OK);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

void IedConnection_release(IedConnection self, IedClientError* error) try {
    if (self == nullptr) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    if (self->state.load() != IED_STATE_CONNECTED || !self->mms.isConnected()) {
        setError(error, self->notConnectedError());
        return;
    }
    self->setState(IED_STATE_CLOSING);
    self->mms.close(true);
    self->setState(IED_STATE_CLOSED);
    setError(error, IED_ERROR_OK);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

void IedConnection_abort(IedConnection self, IedClientError* error) try {
    if (self == nullptr) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    if (self->state.load() != IED_STATE_CONNECTED || !self->mms.isConnected()) {
        setError(error, self->notConnectedError());
        return;
    }
    self->setState(IED_STATE_CLOSING);
    self->mms.close(false);
    self->setState(IED_STATE_CLOSED);
    setError(error, IED_ERROR_OK);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

void IedConnection_close(IedConnection self) try {
    if (self == nullptr)
        return;
    if (self->mms.isConnected())
        self->setState(IED_STATE_CLOSING);
    self->mms.close(true);
    self->lost.store(false);
    self->setState(IED_STATE_CLOSED);
    self->clearCache();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

IedConnectionState IedConnection_getState(IedConnection self) {
    if (self->state.load() == IED_STATE_CONNECTED && !self->mms.isConnected())
        self->setState(IED_STATE_CLOSED);
    return static_cast<IedConnectionState>(self->state.load());
}

MmsConnection IedConnection_getMmsConnection(IedConnection self) try {
    if (self == nullptr)
        return nullptr;
    return &self->mms;
} catch (...) {
    return nullptr;
}

void IedConnection_installStateChangedHandler(IedConnection self, IedConnection_StateChangedHandler handler,
                                              void* parameter) try {
    if (self == nullptr)
        return;
    std::lock_guard<std::mutex> lock(self->stateHandlerMutex);
    self->stateHandler = handler;
    self->stateParameter = parameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_setLocalAddress(IedConnection self, const char* localIpAddress, int localPort) try {
    if (self == nullptr)
        return;
    self->mms.params.localAddress = localIpAddress != nullptr ? localIpAddress : "";
    self->mms.params.localPort = localPort > 0 && localPort <= 65535 ? static_cast<uint16_t>(localPort) : 0;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_installConnectionClosedHandler(IedConnection self, IedConnectionClosedHandler handler,
                                                  void* parameter) try {
    if (self == nullptr)
        return;
    std::lock_guard<std::mutex> lock(self->closedMutex);
    self->closedHandler = handler;
    self->closedParameter = parameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

MmsValue* IedConnection_readObject(IedConnection self, IedClientError* error,
                                   const char* dataAttributeReference, FunctionalConstraint fc) try {
    std::string domain, rest;
    if (self == nullptr || !splitReference(dataAttributeReference, domain, rest) ||
        FunctionalConstraint_toString(fc) == nullptr) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    MmsValue* value = nullptr;
    setError(error, self->readVariable(domain, toMmsItem(rest, fc), value, true));
    return value;
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
    return nullptr;
}

void IedConnection_writeObject(IedConnection self, IedClientError* error, const char* dataAttributeReference,
                               FunctionalConstraint fc, MmsValue* value) try {
    std::string domain, rest;
    if (self == nullptr || value == nullptr || !splitReference(dataAttributeReference, domain, rest) ||
        FunctionalConstraint_toString(fc) == nullptr) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return;
    }
    if (!stack::mms::encodable(value)) { // a null component or a data access error inside
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    VariableAccess access;
    access.variables.emplace_back();
    if (!toVariableName(domain, toMmsItem(rest, fc), access.variables.back())) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return;
    }
    std::vector<const MmsValue*> values{value};
    Response r;
    IedClientError e =
        self->request([&](ber::Writer& w, uint32_t id) { encodeWriteRequest(w, id, access, values); }, r);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return;
    }
    std::vector<MmsDataAccessError> results;
    if (!decodeWriteResponse(r.pdu.service, results) || results.size() != 1) {
        setError(error, IED_ERROR_MALFORMED_MESSAGE);
        return;
    }
    setError(error, toIedError(results[0]));
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

bool IedConnection_readBooleanValue(IedConnection self, IedClientError* error, const char* objectReference,
                                    FunctionalConstraint fc) try {
    MmsValue* v = IedConnection_readObject(self, error, objectReference, fc);
    bool result = false;
    if (v != nullptr) {
        if (v->type == MMS_BOOLEAN)
            result = v->boolean;
        else
            setError(error, unexpectedValueError(v));
        MmsValue_delete(v);
    }
    return result;
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
    return false;
}

float IedConnection_readFloatValue(IedConnection self, IedClientError* error, const char* objectReference,
                                   FunctionalConstraint fc) {
    MmsValue* v = IedConnection_readObject(self, error, objectReference, fc);
    float result = 0.0f;
    if (v != nullptr) {
        if (v->type == MMS_FLOAT)
            result = static_cast<float>(v->floatValue);
        else
            setError(error, unexpectedValueError(v));
        MmsValue_delete(v);
    }
    return result;
}

int32_t IedConnection_readInt32Value(IedConnection self, IedClientError* error, const char* objectReference,
                                     FunctionalConstraint fc) {
    MmsValue* v = IedConnection_readObject(self, error, objectReference, fc);
    int32_t result = 0;
    if (v != nullptr) {
        if (v->type == MMS_INTEGER || v->type == MMS_UNSIGNED)
            result = MmsValue_toInt32(v);
        else
            setError(error, unexpectedValueError(v));
        MmsValue_delete(v);
    }
    return result;
}

uint32_t IedConnection_readUnsigned32Value(IedConnection self, IedClientError* error,
                                           const char* objectReference, FunctionalConstraint fc) {
    MmsValue* v = IedConnection_readObject(self, error, objectReference, fc);
    uint32_t result = 0;
    if (v != nullptr) {
        if (v->type == MMS_INTEGER || v->type == MMS_UNSIGNED)
            result = MmsValue_toUint32(v);
        else
            setError(error, unexpectedValueError(v));
        MmsValue_delete(v);
    }
    return result;
}

void IedConnection_writeBooleanValue(IedConnection self, IedClientError* error, const char* objectReference,
                                     FunctionalConstraint fc, bool value) try {
    MmsValue* v = MmsValue_newBoolean(value);
    IedConnection_writeObject(self, error, objectReference, fc, v);
    MmsValue_delete(v);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

// ---- MMS connection ----

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
