// Reading and writing the content of basic MmsValues: numbers, booleans, texts, bit strings
// and octet strings.
#include "stack/src/value/mms_value_internal.h"

#include <algorithm>
#include <cstring>

namespace {

bool isIntegral(const MmsValue* v) {
    return v && (v->type == MMS_INTEGER || v->type == MMS_UNSIGNED);
}
bool isFloat(const MmsValue* v) {
    return v && v->type == MMS_FLOAT;
}
bool isText(const MmsValue* v) {
    return v && (v->type == MMS_VISIBLE_STRING || v->type == MMS_STRING);
}
bool isBitString(const MmsValue* v) {
    return v && v->type == MMS_BIT_STRING;
}
bool isOctetString(const MmsValue* v) {
    return v && v->type == MMS_OCTET_STRING;
}

void setSigned(MmsValue* v, int64_t number) {
    if (v && v->type == MMS_INTEGER)
        v->integer = number;
}

void setUnsigned(MmsValue* v, uint64_t number) {
    if (v && v->type == MMS_UNSIGNED)
        v->integer = static_cast<int64_t>(number);
}

void setText(MmsValue* v, MmsType type, const char* string) {
    if (!v || v->type != type)
        return;
    v->text = string ? string : "";
    if (v->maxSize > 0 && v->text.size() > static_cast<std::size_t>(v->maxSize))
        v->text.resize(static_cast<std::size_t>(v->maxSize));
}

bool validBit(const MmsValue* v, int bitPos) {
    return isBitString(v) && bitPos >= 0 && bitPos < v->bitSize;
}

} // namespace

extern "C" {

// ---- numbers ----

int64_t MmsValue_toInt64(const MmsValue* self) {
    return isIntegral(self) ? self->integer : 0;
}
int32_t MmsValue_toInt32(const MmsValue* self) {
    return isIntegral(self) ? static_cast<int32_t>(self->integer) : 0;
}
uint32_t MmsValue_toUint32(const MmsValue* self) {
    return isIntegral(self) ? static_cast<uint32_t>(self->integer) : 0;
}

double MmsValue_toDouble(const MmsValue* self) {
    return isFloat(self) ? self->floatValue : 0.0;
}
float MmsValue_toFloat(const MmsValue* self) {
    return isFloat(self) ? static_cast<float>(self->floatValue) : 0.0f;
}

void MmsValue_setFloat(MmsValue* self, float newFloatValue) try {
    if (isFloat(self))
        self->floatValue = newFloatValue;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

// A single precision value keeps its width: the number is rounded to float.
void MmsValue_setDouble(MmsValue* self, double newFloatValue) try {
    if (!isFloat(self))
        return;
    self->floatValue =
        self->floatWidth == 32 ? static_cast<double>(static_cast<float>(newFloatValue)) : newFloatValue;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsValue_setInt8(MmsValue* self, int8_t integer) try { setSigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsValue_setInt16(MmsValue* self, int16_t integer) try { setSigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsValue_setInt32(MmsValue* self, int32_t integer) try { setSigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsValue_setInt64(MmsValue* self, int64_t integer) try { setSigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsValue_setUint8(MmsValue* self, uint8_t integer) try { setUnsigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsValue_setUint16(MmsValue* self, uint16_t integer) try { setUnsigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}
void MmsValue_setUint32(MmsValue* self, uint32_t integer) try { setUnsigned(self, integer); } catch (...) {
    // an exception ends the call here instead of crossing into C
}

// ---- booleans ----

void MmsValue_setBoolean(MmsValue* self, bool boolValue) try {
    if (self && self->type == MMS_BOOLEAN)
        self->boolean = boolValue;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool MmsValue_getBoolean(const MmsValue* self) try {
    return self && self->type == MMS_BOOLEAN && self->boolean;
} catch (...) {
    return false;
}

// ---- texts ----

const char* MmsValue_toString(MmsValue* self) try {
    return isText(self) ? self->text.c_str() : nullptr;
} catch (...) {
    return nullptr;
}

int MmsValue_getStringSize(const MmsValue* self) {
    return isText(self) ? static_cast<int>(self->text.size()) : 0;
}

void MmsValue_setVisibleString(MmsValue* self, const char* string) try {
    setText(self, MMS_VISIBLE_STRING, string);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsValue_setMmsString(MmsValue* self, const char* string) try {
    setText(self, MMS_STRING, string);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

// ---- bit strings ----

void MmsValue_setBitStringBit(MmsValue* self, int bitPos, bool value) try {
    if (!validBit(self, bitPos))
        return;
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (bitPos % 8));
    uint8_t& byte = self->bytes[static_cast<std::size_t>(bitPos / 8)];
    byte = value ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool MmsValue_getBitStringBit(const MmsValue* self, int bitPos) try {
    if (!validBit(self, bitPos))
        return false;
    return (self->bytes[static_cast<std::size_t>(bitPos / 8)] & (0x80u >> (bitPos % 8))) != 0;
} catch (...) {
    return false;
}

void MmsValue_deleteAllBitStringBits(MmsValue* self) try {
    if (isBitString(self))
        std::fill(self->bytes.begin(), self->bytes.end(), 0);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void MmsValue_setAllBitStringBits(MmsValue* self) try {
    if (!isBitString(self))
        return;
    for (int i = 0; i < self->bitSize; ++i)
        MmsValue_setBitStringBit(self, i, true);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int MmsValue_getBitStringSize(const MmsValue* self) {
    return isBitString(self) ? self->bitSize : 0;
}

int MmsValue_getBitStringByteSize(const MmsValue* self) {
    return isBitString(self) ? (self->bitSize + 7) / 8 : 0;
}

int MmsValue_getNumberOfSetBits(const MmsValue* self) {
    int count = 0;
    for (int i = 0; i < MmsValue_getBitStringSize(self); ++i)
        count += MmsValue_getBitStringBit(self, i) ? 1 : 0;
    return count;
}

uint32_t MmsValue_getBitStringAsInteger(const MmsValue* self) {
    uint32_t result = 0;
    const int bits = std::min(MmsValue_getBitStringSize(self), 32);
    for (int i = 0; i < bits; ++i)
        if (MmsValue_getBitStringBit(self, i))
            result |= 1u << i;
    return result;
}

void MmsValue_setBitStringFromInteger(MmsValue* self, uint32_t intValue) try {
    const int bits = MmsValue_getBitStringSize(self);
    for (int i = 0; i < bits; ++i)
        MmsValue_setBitStringBit(self, i, i < 32 && ((intValue >> i) & 1u) != 0);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint32_t MmsValue_getBitStringAsIntegerBigEndian(const MmsValue* self) {
    uint32_t result = 0;
    const int bits = std::min(MmsValue_getBitStringSize(self), 32);
    for (int i = 0; i < bits; ++i)
        result = (result << 1) | (MmsValue_getBitStringBit(self, i) ? 1u : 0u);
    return result;
}

void MmsValue_setBitStringFromIntegerBigEndian(MmsValue* self, uint32_t intValue) try {
    const int bits = MmsValue_getBitStringSize(self);
    for (int i = 0; i < bits; ++i) {
        const int shift = bits - 1 - i;
        MmsValue_setBitStringBit(self, i, shift < 32 && ((intValue >> shift) & 1u) != 0);
    }
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

// ---- octet strings ----

// Content longer than the value's maximum size is refused and the value stays unchanged.
void MmsValue_setOctetString(MmsValue* self, const uint8_t* buf, int size) try {
    if (!isOctetString(self) || size < 0 || size > self->maxSize || (!buf && size > 0))
        return;
    iecx::value::setOctets(self, buf, static_cast<std::size_t>(size));
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint16_t MmsValue_getOctetStringSize(const MmsValue* self) {
    return isOctetString(self) ? static_cast<uint16_t>(self->octetCount) : 0;
}

uint16_t MmsValue_getOctetStringMaxSize(const MmsValue* self) {
    return isOctetString(self) ? static_cast<uint16_t>(self->maxSize) : 0;
}

// The storage of the maximum size: a caller may write up to getOctetStringMaxSize octets and
// then set the length with MmsValue_setOctetString(self, buffer, length). Never NULL for an
// octet string, even one of maximum size 0.
uint8_t* MmsValue_getOctetStringBuffer(MmsValue* self) try {
    if (!isOctetString(self))
        return nullptr;
    if (self->bytes.empty())
        self->bytes.resize(1, 0);
    return self->bytes.data();
} catch (...) {
    return nullptr;
}

uint8_t MmsValue_getOctetStringOctet(MmsValue* self, int octetPos) {
    if (!isOctetString(self) || octetPos < 0 || static_cast<std::size_t>(octetPos) >= self->octetCount)
        return 0;
    return self->bytes[static_cast<std::size_t>(octetPos)];
}

} // extern "C"
