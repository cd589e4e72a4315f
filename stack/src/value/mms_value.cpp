// MmsValue construction, lifetime and element access.
#include "stack/src/value/mms_value_internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace iecx::value {

MmsValue* make(MmsType type) {
    auto* value = new (std::nothrow) sMmsValue();
    if (value)
        value->type = type;
    return value;
}

} // namespace iecx::value

using iecx::value::make;

namespace {

bool isComplex(const MmsValue* v) {
    return v && (v->type == MMS_STRUCTURE || v->type == MMS_ARRAY);
}

MmsValue* newComplex(MmsType type, int size) {
    MmsValue* v = make(type);
    if (v)
        v->components.assign(static_cast<std::size_t>(std::max(size, 0)), nullptr);
    return v;
}

MmsValue* newIntegral(MmsType type, int64_t number, int size) {
    MmsValue* v = make(type);
    if (v) {
        v->integer = number;
        v->integerSize = static_cast<uint8_t>(std::clamp(size, 1, 8));
    }
    return v;
}

MmsValue* newText(MmsType type, const char* data, std::size_t length) {
    MmsValue* v = make(type);
    if (v && data)
        v->text.assign(data, length);
    return v;
}

} // namespace

extern "C" {

// ---- arrays and structures ----

MmsValue* MmsValue_createEmptyArray(int size) try { return newComplex(MMS_ARRAY, size); } catch (...) {
    return nullptr;
}

MmsValue* MmsValue_createEmptyStructure(int size) try {
    return newComplex(MMS_STRUCTURE, size);
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_createArray(const MmsVariableSpecification* elementType, int size) try {
    MmsValue* array = newComplex(MMS_ARRAY, size);
    if (!array || !elementType)
        return array;
    for (auto& component : array->components)
        component = MmsValue_newDefaultValue(elementType);
    return array;
} catch (...) {
    return nullptr;
}

uint32_t MmsValue_getArraySize(const MmsValue* self) {
    return isComplex(self) ? static_cast<uint32_t>(self->components.size()) : 0;
}

MmsValue* MmsValue_getElement(const MmsValue* array, int index) try {
    if (!isComplex(array) || index < 0 || static_cast<std::size_t>(index) >= array->components.size())
        return nullptr;
    return array->components[static_cast<std::size_t>(index)];
} catch (...) {
    return nullptr;
}

void MmsValue_setElement(MmsValue* complexValue, int index, MmsValue* elementValue) try {
    if (!isComplex(complexValue) || index < 0 ||
        static_cast<std::size_t>(index) >= complexValue->components.size())
        return;
    complexValue->components[static_cast<std::size_t>(index)] = elementValue;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

MmsValue* MmsValue_newStructure(const MmsVariableSpecification* typeSpec) try {
    if (!typeSpec || typeSpec->type != MMS_STRUCTURE)
        return nullptr;
    const int count = std::max(typeSpec->typeSpec.structure.elementCount, 0);
    MmsValue* structure = newComplex(MMS_STRUCTURE, count);
    if (!structure)
        return nullptr;
    for (int i = 0; i < count; ++i) {
        const MmsVariableSpecification* element =
            typeSpec->typeSpec.structure.elements ? typeSpec->typeSpec.structure.elements[i] : nullptr;
        structure->components[static_cast<std::size_t>(i)] = MmsValue_newDefaultValue(element);
    }
    return structure;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newDefaultValue(const MmsVariableSpecification* typeSpec) try {
    if (!typeSpec)
        return nullptr;
    const auto& typeDesc = typeSpec->typeSpec;
    switch (typeSpec->type) {
    case MMS_ARRAY:
        return MmsValue_createArray(typeDesc.array.elementTypeSpec, typeDesc.array.elementCount);
    case MMS_STRUCTURE:
        return MmsValue_newStructure(typeSpec);
    case MMS_INTEGER:
        return MmsValue_newInteger(typeDesc.integer > 0 ? (typeDesc.integer + 7) / 8 : 4);
    case MMS_UNSIGNED:
        return MmsValue_newUnsigned(typeDesc.unsignedInteger > 0 ? (typeDesc.unsignedInteger + 7) / 8 : 4);
    case MMS_FLOAT:
        return typeDesc.floatingpoint.formatWidth == 64 ? MmsValue_newDouble(0.0) : MmsValue_newFloat(0.0f);
    case MMS_BIT_STRING:
        return MmsValue_newBitString(typeDesc.bitString < 0 ? -typeDesc.bitString : typeDesc.bitString);
    case MMS_OCTET_STRING:
        return typeDesc.octetString < 0 ? MmsValue_newOctetString(0, -typeDesc.octetString)
                                        : MmsValue_newOctetString(typeDesc.octetString, typeDesc.octetString);
    case MMS_VISIBLE_STRING: {
        MmsValue* v = make(MMS_VISIBLE_STRING);
        if (v)
            v->maxSize = std::abs(typeDesc.visibleString);
        return v;
    }
    case MMS_STRING: {
        MmsValue* v = make(MMS_STRING);
        if (v)
            v->maxSize = std::abs(typeDesc.mmsString);
        return v;
    }
    case MMS_BINARY_TIME:
        return MmsValue_newBinaryTime(typeDesc.binaryTime == 4);
    case MMS_UTC_TIME:
        return MmsValue_newUtcTime(0);
    default:
        return make(typeSpec->type);
    }
} catch (...) {
    return nullptr;
}

// ---- constructors of basic values ----

MmsValue* MmsValue_newDataAccessError(MmsDataAccessError accessError) try {
    MmsValue* v = make(MMS_DATA_ACCESS_ERROR);
    if (v)
        v->accessError = accessError;
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newInteger(int size) try { return newIntegral(MMS_INTEGER, 0, size); } catch (...) {
    return nullptr;
}
MmsValue* MmsValue_newUnsigned(int size) try { return newIntegral(MMS_UNSIGNED, 0, size); } catch (...) {
    return nullptr;
}
MmsValue* MmsValue_newIntegerFromInt8(int8_t integer) try {
    return newIntegral(MMS_INTEGER, integer, 1);
} catch (...) {
    return nullptr;
}
MmsValue* MmsValue_newIntegerFromInt16(int16_t integer) try {
    return newIntegral(MMS_INTEGER, integer, 2);
} catch (...) {
    return nullptr;
}
MmsValue* MmsValue_newIntegerFromInt32(int32_t integer) try {
    return newIntegral(MMS_INTEGER, integer, 4);
} catch (...) {
    return nullptr;
}
MmsValue* MmsValue_newIntegerFromInt64(int64_t integer) try {
    return newIntegral(MMS_INTEGER, integer, 8);
} catch (...) {
    return nullptr;
}
MmsValue* MmsValue_newUnsignedFromUint32(uint32_t integer) try {
    return newIntegral(MMS_UNSIGNED, integer, 4);
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newBoolean(bool boolean) try {
    MmsValue* v = make(MMS_BOOLEAN);
    if (v)
        v->boolean = boolean;
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newBitString(int bitSize) try {
    MmsValue* v = make(MMS_BIT_STRING);
    if (v) {
        v->bitSize = std::max(bitSize, 0);
        v->bytes.assign(static_cast<std::size_t>((v->bitSize + 7) / 8), 0);
    }
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newOctetString(int size, int maxSize) try {
    MmsValue* v = make(MMS_OCTET_STRING);
    if (v) {
        size = std::clamp(size, 0, 0xFFFF);
        v->maxSize = std::clamp(maxSize, size, 0xFFFF);
        v->bytes.assign(static_cast<std::size_t>(v->maxSize), 0);
        v->octetCount = static_cast<std::size_t>(size);
    }
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newFloat(float variable) try {
    MmsValue* v = make(MMS_FLOAT);
    if (v) {
        v->floatWidth = 32;
        v->floatValue = variable;
    }
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newDouble(double variable) try {
    MmsValue* v = make(MMS_FLOAT);
    if (v) {
        v->floatWidth = 64;
        v->floatValue = variable;
    }
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newVisibleString(const char* string) try {
    return newText(MMS_VISIBLE_STRING, string, string ? std::strlen(string) : 0);
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newVisibleStringWithSize(int size) try {
    MmsValue* v = make(MMS_VISIBLE_STRING);
    if (v)
        v->maxSize = std::max(size, 0);
    return v;
} catch (...) {
    return nullptr;
}

// The text ends at the first zero byte, as a C text would.
MmsValue* MmsValue_newVisibleStringFromByteArray(const uint8_t* byteArray, int size) try {
    const char* data = reinterpret_cast<const char*>(byteArray);
    const std::size_t length = data && size > 0 ? strnlen(data, static_cast<std::size_t>(size)) : 0;
    return newText(MMS_VISIBLE_STRING, data, length);
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newMmsString(const char* string) try {
    return newText(MMS_STRING, string, string ? std::strlen(string) : 0);
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newMmsStringFromByteArray(const uint8_t* byteArray, int size) try {
    const char* data = reinterpret_cast<const char*>(byteArray);
    const std::size_t length = data && size > 0 ? strnlen(data, static_cast<std::size_t>(size)) : 0;
    return newText(MMS_STRING, data, length);
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newBinaryTime(bool timeOfDay) try {
    MmsValue* v = make(MMS_BINARY_TIME);
    if (v)
        v->binaryTimeSize = timeOfDay ? 4 : 6;
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newUtcTime(uint32_t timeval) try {
    MmsValue* v = make(MMS_UTC_TIME);
    if (v)
        MmsValue_setUtcTime(v, timeval);
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_newUtcTimeByMsTime(uint64_t timeval) try {
    MmsValue* v = make(MMS_UTC_TIME);
    if (v)
        MmsValue_setUtcTimeMs(v, timeval);
    return v;
} catch (...) {
    return nullptr;
}

MmsValue* MmsValue_clone(const MmsValue* self) try {
    if (!self)
        return nullptr;
    auto* copy = new (std::nothrow) sMmsValue(*self);
    if (!copy)
        return nullptr;
    copy->deletable = true;
    for (auto& component : copy->components)
        component = MmsValue_clone(component);
    return copy;
} catch (...) {
    return nullptr;
}

// ---- lifetime ----

void MmsValue_setDeletable(MmsValue* self) try {
    if (self)
        self->deletable = true;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsValue_setDeletableRecursive(MmsValue* self) try {
    if (!self)
        return;
    self->deletable = true;
    for (MmsValue* component : self->components)
        MmsValue_setDeletableRecursive(component);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool MmsValue_isDeletable(const MmsValue* self) try { return self && self->deletable; } catch (...) {
    return false;
}

MmsType MmsValue_getType(const MmsValue* self) {
    return self ? self->type : MMS_DATA_ACCESS_ERROR;
}

void MmsValue_delete(MmsValue* self) try {
    if (!self)
        return;
    for (MmsValue* component : self->components)
        MmsValue_delete(component);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsValue_deleteConditional(MmsValue* value) try {
    if (value && value->deletable)
        MmsValue_delete(value);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsValue_deleteIfNotNull(MmsValue* value) try { MmsValue_delete(value); } catch (...) {
    // an exception ends the call here instead of crossing into C
}

MmsDataAccessError MmsValue_getDataAccessError(const MmsValue* self) {
    return self && self->type == MMS_DATA_ACCESS_ERROR ? self->accessError : DATA_ACCESS_ERROR_SUCCESS;
}

} // extern "C"
