// Reads and writes of single objects, typed or as MmsValues.
#include "stack/src/mms/client/IedConnectionInternal.h"
#include "stack/src/mms/MmsData.h"

#include "stack/src/value/mms_value_internal.h"

using namespace stack::mms;
namespace ber = stack::ber;

namespace {

// The error of a typed read that got a value of another type: the server's access error, or
// an unexpected value.
IedClientError unexpectedValueError(const MmsValue* value) {
    return value->type == MMS_DATA_ACCESS_ERROR ? toIedError(value->accessError)
                                                : IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
}

} // namespace

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
    return unknownFailure(error);
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

} // extern "C"
