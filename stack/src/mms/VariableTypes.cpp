#include "stack/src/mms/VariableTypes.h"

#include "mms_type_spec.h"
#include "stack/src/value/mms_value_internal.h"

#include <cstdlib>
#include <cstring>

namespace stack {
namespace mms {

namespace {

char* dupName(const char* name) {
    if (name == nullptr)
        return nullptr;
    size_t n = std::strlen(name);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    std::memcpy(copy, name, n + 1);
    return copy;
}

MmsVariableSpecification* allocDesc(MmsType type, const char* name) {
    auto* typeDesc = static_cast<MmsVariableSpecification*>(std::calloc(1, sizeof(MmsVariableSpecification)));
    typeDesc->type = type;
    typeDesc->name = dupName(name);
    return typeDesc;
}

} // namespace

MmsVariableSpecification* makeTypeDesc(MmsType type, const char* name, int size) {
    MmsVariableSpecification* typeDesc = allocDesc(type, name);
    switch (type) {
    case MMS_INTEGER:
        typeDesc->typeSpec.integer = size;
        break;
    case MMS_UNSIGNED:
        typeDesc->typeSpec.unsignedInteger = size;
        break;
    case MMS_BIT_STRING:
        typeDesc->typeSpec.bitString = size;
        break;
    case MMS_OCTET_STRING:
        typeDesc->typeSpec.octetString = size;
        break;
    case MMS_VISIBLE_STRING:
        typeDesc->typeSpec.visibleString = size;
        break;
    case MMS_STRING:
        typeDesc->typeSpec.mmsString = size;
        break;
    case MMS_BINARY_TIME:
        typeDesc->typeSpec.binaryTime = size == 4 ? 4 : 6;
        break;
    case MMS_FLOAT:
        typeDesc->typeSpec.floatingpoint.formatWidth = size == 64 ? 64 : 32;
        typeDesc->typeSpec.floatingpoint.exponentWidth = size == 64 ? 11 : 8;
        break;
    default:
        break;
    }
    return typeDesc;
}

MmsVariableSpecification* makeStructureDesc(const char* name,
                                            const std::vector<MmsVariableSpecification*>& components) {
    MmsVariableSpecification* typeDesc = allocDesc(MMS_STRUCTURE, name);
    typeDesc->typeSpec.structure.elementCount = static_cast<int>(components.size());
    if (!components.empty()) {
        typeDesc->typeSpec.structure.elements = static_cast<MmsVariableSpecification**>(
            std::calloc(components.size(), sizeof(MmsVariableSpecification*)));
        for (size_t i = 0; i < components.size(); ++i)
            typeDesc->typeSpec.structure.elements[i] = components[i];
    }
    return typeDesc;
}

MmsVariableSpecification* makeArrayDesc(const char* name, int count, MmsVariableSpecification* elementType) {
    MmsVariableSpecification* typeDesc = allocDesc(MMS_ARRAY, name);
    typeDesc->typeSpec.array.elementCount = count;
    typeDesc->typeSpec.array.elementTypeSpec = elementType;
    return typeDesc;
}

MmsVariableSpecification* cloneTypeDesc(const MmsVariableSpecification* typeDesc, const char* name) {
    if (typeDesc == nullptr)
        return nullptr;
    MmsVariableSpecification* copy = allocDesc(typeDesc->type, name != nullptr ? name : typeDesc->name);
    copy->typeSpec = typeDesc->typeSpec;
    if (typeDesc->type == MMS_STRUCTURE) {
        int n = typeDesc->typeSpec.structure.elementCount;
        copy->typeSpec.structure.elements = nullptr;
        if (n > 0) {
            copy->typeSpec.structure.elements =
                static_cast<MmsVariableSpecification**>(std::calloc(n, sizeof(MmsVariableSpecification*)));
            for (int i = 0; i < n; ++i)
                copy->typeSpec.structure.elements[i] =
                    cloneTypeDesc(typeDesc->typeSpec.structure.elements[i]);
        }
    } else if (typeDesc->type == MMS_ARRAY) {
        copy->typeSpec.array.elementTypeSpec = cloneTypeDesc(typeDesc->typeSpec.array.elementTypeSpec);
    }
    return copy;
}

void setTypeDescName(MmsVariableSpecification* typeDesc, const char* name) {
    std::free(typeDesc->name);
    typeDesc->name = dupName(name);
}

} // namespace mms
} // namespace stack

using stack::mms::makeTypeDesc;

extern "C" {

void MmsVariableSpecification_destroy(MmsVariableSpecification* self) try {
    if (self == nullptr)
        return;
    if (self->type == MMS_STRUCTURE) {
        for (int i = 0; i < self->typeSpec.structure.elementCount; ++i)
            MmsVariableSpecification_destroy(self->typeSpec.structure.elements[i]);
        std::free(self->typeSpec.structure.elements);
    } else if (self->type == MMS_ARRAY) {
        MmsVariableSpecification_destroy(self->typeSpec.array.elementTypeSpec);
    }
    std::free(self->name);
    std::free(self);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

static size_t firstComponentLength(const char* id) {
    size_t n = 0;
    while (id[n] != '\0' && id[n] != '$' && id[n] != '.')
        ++n;
    return n;
}

MmsValue* MmsVariableSpecification_getChildValue(MmsVariableSpecification* self, MmsValue* value,
                                                 const char* childId) try {
    if (self == nullptr || value == nullptr || childId == nullptr)
        return nullptr;
    if (self->type != MMS_STRUCTURE || value->type != MMS_STRUCTURE)
        return nullptr;
    int count = self->typeSpec.structure.elementCount;
    if (static_cast<size_t>(count) != value->components.size())
        return nullptr;
    size_t len = firstComponentLength(childId);
    for (int i = 0; i < count; ++i) {
        MmsVariableSpecification* child = self->typeSpec.structure.elements[i];
        if (child->name == nullptr || std::strlen(child->name) != len ||
            std::strncmp(child->name, childId, len) != 0)
            continue;
        MmsValue* childValue = value->components[i];
        if (childId[len] == '\0')
            return childValue;
        return MmsVariableSpecification_getChildValue(child, childValue, childId + len + 1);
    }
    return nullptr;
} catch (...) {
    return nullptr;
}

MmsVariableSpecification* MmsVariableSpecification_getNamedVariableRecursive(MmsVariableSpecification* self,
                                                                             const char* nameId) try {
    if (self == nullptr || nameId == nullptr || self->type != MMS_STRUCTURE)
        return nullptr;
    size_t len = firstComponentLength(nameId);
    for (int i = 0; i < self->typeSpec.structure.elementCount; ++i) {
        MmsVariableSpecification* child = self->typeSpec.structure.elements[i];
        if (child->name == nullptr || std::strlen(child->name) != len ||
            std::strncmp(child->name, nameId, len) != 0)
            continue;
        if (nameId[len] == '\0')
            return child;
        return MmsVariableSpecification_getNamedVariableRecursive(child, nameId + len + 1);
    }
    return nullptr;
} catch (...) {
    return nullptr;
}

MmsType MmsVariableSpecification_getType(MmsVariableSpecification* self) {
    if (self == nullptr)
        return MMS_DATA_ACCESS_ERROR;
    return self->type;
}

bool MmsVariableSpecification_isValueOfType(MmsVariableSpecification* self, const MmsValue* value) try {
    if (self == nullptr || value == nullptr || self->type != value->type)
        return false;
    if (self->type == MMS_STRUCTURE) {
        if (static_cast<size_t>(self->typeSpec.structure.elementCount) != value->components.size())
            return false;
        for (int i = 0; i < self->typeSpec.structure.elementCount; ++i)
            if (!MmsVariableSpecification_isValueOfType(self->typeSpec.structure.elements[i],
                                                        value->components[i]))
                return false;
    } else if (self->type == MMS_ARRAY) {
        for (const MmsValue* element : value->components)
            if (!MmsVariableSpecification_isValueOfType(self->typeSpec.array.elementTypeSpec, element))
                return false;
    }
    return true;
} catch (...) {
    return false;
}

const char* MmsVariableSpecification_getName(MmsVariableSpecification* self) try {
    if (self == nullptr)
        return nullptr;
    return self->name;
} catch (...) {
    return nullptr;
}

LinkedList MmsVariableSpecification_getStructureElements(MmsVariableSpecification* self) try {
    if (self == nullptr || self->type != MMS_STRUCTURE)
        return nullptr;
    LinkedList list = LinkedList_create();
    for (int i = 0; i < self->typeSpec.structure.elementCount; ++i) {
        const char* name = self->typeSpec.structure.elements[i]->name;
        size_t n = name ? std::strlen(name) : 0;
        char* copy = static_cast<char*>(std::malloc(n + 1));
        if (n)
            std::memcpy(copy, name, n);
        copy[n] = '\0';
        LinkedList_add(list, copy);
    }
    return list;
} catch (...) {
    return nullptr;
}

int MmsVariableSpecification_getSize(MmsVariableSpecification* self) {
    if (self == nullptr)
        return -1;
    switch (self->type) {
    case MMS_STRUCTURE:
        return self->typeSpec.structure.elementCount;
    case MMS_ARRAY:
        return self->typeSpec.array.elementCount;
    case MMS_BIT_STRING:
        return self->typeSpec.bitString;
    case MMS_INTEGER:
        return self->typeSpec.integer;
    case MMS_UNSIGNED:
        return self->typeSpec.unsignedInteger;
    case MMS_OCTET_STRING:
        return self->typeSpec.octetString;
    case MMS_VISIBLE_STRING:
        return self->typeSpec.visibleString;
    case MMS_STRING:
        return self->typeSpec.mmsString;
    case MMS_FLOAT:
        return self->typeSpec.floatingpoint.formatWidth;
    case MMS_BINARY_TIME:
        return self->typeSpec.binaryTime;
    default:
        return -1;
    }
}

MmsVariableSpecification*
MmsVariableSpecification_getChildSpecificationByIndex(MmsVariableSpecification* self, int index) try {
    if (self == nullptr || self->type != MMS_STRUCTURE || index < 0 ||
        index >= self->typeSpec.structure.elementCount)
        return nullptr;
    return self->typeSpec.structure.elements[index];
} catch (...) {
    return nullptr;
}

MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByName(MmsVariableSpecification* self,
                                                                               const char* name,
                                                                               int* index) try {
    if (self == nullptr || name == nullptr || self->type != MMS_STRUCTURE)
        return nullptr;
    for (int i = 0; i < self->typeSpec.structure.elementCount; ++i) {
        MmsVariableSpecification* child = self->typeSpec.structure.elements[i];
        if (child->name != nullptr && std::strcmp(child->name, name) == 0) {
            if (index != nullptr)
                *index = i;
            return child;
        }
    }
    return nullptr;
} catch (...) {
    return nullptr;
}

MmsVariableSpecification*
MmsVariableSpecification_getArrayElementSpecification(MmsVariableSpecification* self) try {
    if (self == nullptr || self->type != MMS_ARRAY)
        return nullptr;
    return self->typeSpec.array.elementTypeSpec;
} catch (...) {
    return nullptr;
}

int MmsVariableSpecification_getExponentWidth(MmsVariableSpecification* self) {
    if (self == nullptr || self->type != MMS_FLOAT)
        return -1;
    return self->typeSpec.floatingpoint.exponentWidth;
}

} // extern "C"
