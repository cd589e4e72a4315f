// Client-side names and codes: MMS and data access errors as client error codes, object
// references as MMS variable names and back, and name lists as LinkedLists.
#include "stack/src/mms/client/IedConnectionInternal.h"
#include "stack/src/mms/AlternateAccess.h"

#include <cstdlib>
#include <cstring>
#include <new>

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

bool splitReference(const char* reference, std::string_view& domain, std::string_view& rest) {
    if (reference == nullptr)
        return false;
    const char* slash = std::strchr(reference, '/');
    if (slash == nullptr || slash == reference || slash[1] == '\0')
        return false;
    domain = std::string_view(reference, static_cast<size_t>(slash - reference));
    rest = std::string_view(slash + 1);
    return domain.size() <= 64;
}

bool splitReference(const char* reference, std::string& domain, std::string& rest) {
    std::string_view d, r;
    if (!splitReference(reference, d, r))
        return false;
    domain.assign(d);
    rest.assign(r);
    return true;
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

char* copyString(std::string_view text) {
    char* s = static_cast<char*>(std::malloc(text.size() + 1));
    if (s == nullptr)
        throw std::bad_alloc(); // the entry point's guard turns it into its failure value
    std::memcpy(s, text.data(), text.size());
    s[text.size()] = '\0';
    return s;
}

LinkedList toLinkedList(const std::vector<std::string>& names) {
    LinkedList list = LinkedList_create();
    LinkedList last = list; // appended at the tail kept here: long name lists stay linear
    for (const std::string& n : names)
        last = LinkedList_insertAfter(last, copyString(n));
    return list;
}

LinkedList componentList(const MmsVariableSpecification* typeDesc) {
    LinkedList list = LinkedList_create();
    LinkedList last = list;
    if (typeDesc != nullptr && typeDesc->type == MMS_STRUCTURE)
        for (int i = 0; i < typeDesc->typeSpec.structure.elementCount; ++i) {
            const char* n = typeDesc->typeSpec.structure.elements[i]->name;
            last = LinkedList_insertAfter(last, copyString(n != nullptr ? n : ""));
        }
    return list;
}

} // namespace mms
} // namespace stack
