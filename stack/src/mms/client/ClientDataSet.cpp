// Data sets from the client side: reading all values of a data set in one request, and data
// sets defined and deleted by the client (persistent in a logical node, or association
// specific with an "@name" reference).
#include "stack/src/mms/client/IedConnectionInternal.h"

#include "stack/src/mms/MmsListServices.h"
#include "stack/src/value/mms_value_internal.h"

#include <cstring>

using namespace stack::mms;
namespace ber = stack::ber;

struct sClientDataSet {
    std::string reference;
    MmsValue* values = nullptr; // an array of the members' values (or access errors)

    ~sClientDataSet() { MmsValue_deleteIfNotNull(values); }
};

namespace stack {
namespace mms {

bool toDataSetName(const char* reference, ObjectName& name) {
    if (reference == nullptr || reference[0] == '\0')
        return false;
    if (reference[0] == '@') {
        name = ObjectName();
        name.scope = ObjectName::Scope::Association;
        name.item = reference + 1;
        return !name.item.empty();
    }
    std::string domain, rest;
    if (!splitReference(reference, domain, rest))
        return false;
    name = ObjectName(domain, dotsToDollars(rest));
    return true;
}

bool toVariableName(const char* reference, ObjectName& name) {
    if (reference == nullptr)
        return false;
    std::string text = reference;
    size_t open = text.rfind('[');
    if (open == std::string::npos || text.back() != ']')
        return false;
    FunctionalConstraint fc = FunctionalConstraint_fromString(text.substr(open + 1).c_str());
    if (fc == IEC61850_FC_NONE || text.size() - open != 4)
        return false;
    std::string domain, rest;
    if (!splitReference(text.substr(0, open).c_str(), domain, rest))
        return false;
    name = ObjectName(domain, toMmsItem(rest, fc));
    return true;
}

} // namespace mms
} // namespace stack

namespace {} // namespace

extern "C" {

ClientDataSet IedConnection_readDataSetValues(IedConnection self, IedClientError* error,
                                              const char* dataSetReference, ClientDataSet dataSet) {
    ObjectName name;
    if (self == nullptr || !toDataSetName(dataSetReference, name)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return nullptr;
    }
    VariableAccess access;
    access.isListName = true;
    access.listName = name;
    Response r;
    IedClientError e =
        self->request([&](ber::Writer& w, uint32_t id) { encodeReadRequest(w, id, access); }, r);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return nullptr;
    }
    std::vector<MmsValue*> results;
    if (!decodeReadResponse(r.pdu.service, results)) {
        setError(error, IED_ERROR_MALFORMED_MESSAGE);
        return nullptr;
    }
    MmsValue* array = MmsValue_createEmptyArray(static_cast<int>(results.size()));
    for (size_t i = 0; i < results.size(); ++i)
        MmsValue_setElement(array, static_cast<int>(i), results[i]);
    if (dataSet == nullptr) {
        dataSet = new sClientDataSet();
        dataSet->reference = dataSetReference;
    }
    MmsValue_deleteIfNotNull(dataSet->values);
    dataSet->values = array;
    setError(error, IED_ERROR_OK);
    return dataSet;
}

void IedConnection_createDataSet(IedConnection self, IedClientError* error, const char* dataSetReference,
                                 LinkedList dataSetElements) try {
    ObjectName name;
    if (self == nullptr || !toDataSetName(dataSetReference, name)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return;
    }
    std::vector<ObjectName> members;
    for (LinkedList e = LinkedList_getNext(dataSetElements); e != nullptr; e = LinkedList_getNext(e)) {
        ObjectName member;
        if (!toVariableName(static_cast<const char*>(e->data), member)) {
            setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
            return;
        }
        members.push_back(std::move(member));
    }
    if (members.empty()) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    Response r;
    setError(error,
             self->request([&](ber::Writer& w,
                               uint32_t id) { encodeDefineNamedVariableListRequest(w, id, name, members); },
                           r));
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

bool IedConnection_deleteDataSet(IedConnection self, IedClientError* error,
                                 const char* dataSetReference) try {
    ObjectName name;
    if (self == nullptr || !toDataSetName(dataSetReference, name)) {
        setError(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
        return false;
    }
    Response r;
    IedClientError e = self->request(
        [&](ber::Writer& w, uint32_t id) { encodeDeleteNamedVariableListRequest(w, id, name); }, r);
    if (e != IED_ERROR_OK) {
        setError(error, e);
        return false;
    }
    uint32_t matched = 0, deleted = 0;
    if (!decodeDeleteNamedVariableListResponse(r.pdu.service, matched, deleted)) {
        setError(error, IED_ERROR_MALFORMED_MESSAGE);
        return false;
    }
    if (deleted == 0) {
        setError(error, matched == 0 ? IED_ERROR_OBJECT_DOES_NOT_EXIST : IED_ERROR_ACCESS_DENIED);
        return false;
    }
    setError(error, IED_ERROR_OK);
    return true;
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
    return false;
}

void ClientDataSet_destroy(ClientDataSet self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

MmsValue* ClientDataSet_getValues(ClientDataSet self) try {
    return self != nullptr ? self->values : nullptr;
} catch (...) {
    return nullptr;
}

char* ClientDataSet_getReference(ClientDataSet self) try {
    return self != nullptr ? const_cast<char*>(self->reference.c_str()) : nullptr;
} catch (...) {
    return nullptr;
}

int ClientDataSet_getDataSetSize(ClientDataSet self) {
    return self != nullptr && self->values != nullptr ? static_cast<int>(self->values->components.size()) : 0;
}

} // extern "C"
