/*
 * MmsValue: the MMS data values handed between the stack and its users.
 *
 * Ownership: every MmsValue_new..., MmsValue_create... and MmsValue_clone result belongs to the
 * caller and is released with MmsValue_delete, which also releases all components of a
 * structure or array. Components returned by MmsValue_getElement stay owned by their parent.
 *
 * Functions called with a NULL value or a value of the wrong type do nothing and return a
 * neutral result (0, false, NULL) instead of failing.
 */
#ifndef MMS_VALUE_H_
#define MMS_VALUE_H_

#include "libiec61850_common_api.h"
#include "mms_common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sMmsValue MmsValue;

/* ---- arrays and structures ---- */

/* An array of size elements, each a default value of elementType. */
LIB61850_API MmsValue* MmsValue_createArray(const MmsVariableSpecification* elementType, int size);

/* Number of elements of an array or structure (0 for other types). */
LIB61850_API uint32_t MmsValue_getArraySize(const MmsValue* self);

/* Element index of an array or structure; NULL when out of range or not a complex value. */
LIB61850_API MmsValue* MmsValue_getElement(const MmsValue* array, int index);

/* An array / structure with size empty (NULL) element slots. */
LIB61850_API MmsValue* MmsValue_createEmptyArray(int size);
LIB61850_API MmsValue* MmsValue_createEmptyStructure(int size);

/* Puts elementValue (taken over) into slot index. The replaced element is not freed: the caller
 * remains responsible for it, as it was before. */
LIB61850_API void MmsValue_setElement(MmsValue* complexValue, int index, MmsValue* elementValue);

/* ---- basic types ---- */

LIB61850_API MmsDataAccessError MmsValue_getDataAccessError(const MmsValue* self);

LIB61850_API int64_t MmsValue_toInt64(const MmsValue* self);
LIB61850_API int32_t MmsValue_toInt32(const MmsValue* self);
LIB61850_API uint32_t MmsValue_toUint32(const MmsValue* self);
LIB61850_API double MmsValue_toDouble(const MmsValue* self);
LIB61850_API float MmsValue_toFloat(const MmsValue* self);

/* Seconds since the epoch of a UTC time. */
LIB61850_API uint32_t MmsValue_toUnixTimestamp(const MmsValue* self);

LIB61850_API void MmsValue_setFloat(MmsValue* self, float newFloatValue);
LIB61850_API void MmsValue_setDouble(MmsValue* self, double newFloatValue);
LIB61850_API void MmsValue_setInt8(MmsValue* self, int8_t integer);
LIB61850_API void MmsValue_setInt16(MmsValue* self, int16_t integer);
LIB61850_API void MmsValue_setInt32(MmsValue* self, int32_t integer);
LIB61850_API void MmsValue_setInt64(MmsValue* self, int64_t integer);
LIB61850_API void MmsValue_setUint8(MmsValue* self, uint8_t integer);
LIB61850_API void MmsValue_setUint16(MmsValue* self, uint16_t integer);
LIB61850_API void MmsValue_setUint32(MmsValue* self, uint32_t integer);

LIB61850_API void MmsValue_setBoolean(MmsValue* self, bool boolValue);
LIB61850_API bool MmsValue_getBoolean(const MmsValue* self);

/* Text of a visible string or MMS string (NULL for other types). */
LIB61850_API const char* MmsValue_toString(MmsValue* self);
LIB61850_API int MmsValue_getStringSize(const MmsValue* self);
LIB61850_API void MmsValue_setVisibleString(MmsValue* self, const char* string);
LIB61850_API void MmsValue_setMmsString(MmsValue* self, const char* string);

/* Bit strings. Bit 0 is the first bit on the wire (most significant bit of the first byte). */
LIB61850_API void MmsValue_setBitStringBit(MmsValue* self, int bitPos, bool value);
LIB61850_API bool MmsValue_getBitStringBit(const MmsValue* self, int bitPos);
LIB61850_API void MmsValue_deleteAllBitStringBits(MmsValue* self);
LIB61850_API int MmsValue_getBitStringSize(const MmsValue* self);
LIB61850_API int MmsValue_getBitStringByteSize(const MmsValue* self);
LIB61850_API int MmsValue_getNumberOfSetBits(const MmsValue* self);
LIB61850_API void MmsValue_setAllBitStringBits(MmsValue* self);
/* Bit 0 is the least significant bit of the integer. */
LIB61850_API uint32_t MmsValue_getBitStringAsInteger(const MmsValue* self);
LIB61850_API void MmsValue_setBitStringFromInteger(MmsValue* self, uint32_t intValue);
/* Bit 0 is the most significant bit of the integer. */
LIB61850_API uint32_t MmsValue_getBitStringAsIntegerBigEndian(const MmsValue* self);
LIB61850_API void MmsValue_setBitStringFromIntegerBigEndian(MmsValue* self, uint32_t intValue);

/* UTC time (IEC 61850 TimeStamp: 4 bytes seconds, 3 bytes fraction, 1 byte quality). */
LIB61850_API MmsValue* MmsValue_setUtcTime(MmsValue* self, uint32_t timeval);
LIB61850_API MmsValue* MmsValue_setUtcTimeMs(MmsValue* self, uint64_t timeval);
LIB61850_API void MmsValue_setUtcTimeByBuffer(MmsValue* self, const uint8_t* buffer);
/* The 8 raw bytes of a UTC time (NULL for other types). */
LIB61850_API uint8_t* MmsValue_getUtcTimeBuffer(MmsValue* self);
LIB61850_API uint64_t MmsValue_getUtcTimeInMs(const MmsValue* self);
LIB61850_API uint64_t MmsValue_getUtcTimeInMsWithUs(const MmsValue* self, uint32_t* usec);
LIB61850_API void MmsValue_setUtcTimeQuality(MmsValue* self, uint8_t timeQuality);
LIB61850_API uint8_t MmsValue_getUtcTimeQuality(const MmsValue* self);

/* Binary time (TimeOfDay: 4 bytes milliseconds of day, optionally 2 bytes days since 1984-01-01). */
LIB61850_API void MmsValue_setBinaryTime(MmsValue* self, uint64_t timestamp);
LIB61850_API uint64_t MmsValue_getBinaryTimeAsUtcMs(const MmsValue* self);

/* Octet strings. setOctetString refuses content longer than the maximum size. */
LIB61850_API void MmsValue_setOctetString(MmsValue* self, const uint8_t* buf, int size);
LIB61850_API uint16_t MmsValue_getOctetStringSize(const MmsValue* self);
LIB61850_API uint16_t MmsValue_getOctetStringMaxSize(const MmsValue* self);
LIB61850_API uint8_t* MmsValue_getOctetStringBuffer(MmsValue* self);
LIB61850_API uint8_t MmsValue_getOctetStringOctet(MmsValue* self, int octetPos);

/* Copies the content of source into self when both have the same type (structures and arrays
 * element by element, same size required); false when nothing could be copied. */
LIB61850_API bool MmsValue_update(MmsValue* self, const MmsValue* source);

/* Same type and content (recursively for structures and arrays). Two NULLs are not equal. */
LIB61850_API bool MmsValue_equals(const MmsValue* self, const MmsValue* otherValue);

/* Same type (recursively for structures and arrays, including their sizes). */
LIB61850_API bool MmsValue_equalTypes(const MmsValue* self, const MmsValue* otherValue);

/* ---- constructors ---- */

LIB61850_API MmsValue* MmsValue_newDataAccessError(MmsDataAccessError accessError);
/* Integer / unsigned of size bytes, value 0. */
LIB61850_API MmsValue* MmsValue_newInteger(int size);
LIB61850_API MmsValue* MmsValue_newUnsigned(int size);
LIB61850_API MmsValue* MmsValue_newBoolean(bool boolean);
LIB61850_API MmsValue* MmsValue_newBitString(int bitSize);
LIB61850_API MmsValue* MmsValue_newOctetString(int size, int maxSize);
/* A structure shaped like typeSpec, its components default values. */
LIB61850_API MmsValue* MmsValue_newStructure(const MmsVariableSpecification* typeSpec);
/* A default value (0, false, empty) of any type described by typeSpec. */
LIB61850_API MmsValue* MmsValue_newDefaultValue(const MmsVariableSpecification* typeSpec);
LIB61850_API MmsValue* MmsValue_newIntegerFromInt8(int8_t integer);
LIB61850_API MmsValue* MmsValue_newIntegerFromInt16(int16_t integer);
LIB61850_API MmsValue* MmsValue_newIntegerFromInt32(int32_t integer);
LIB61850_API MmsValue* MmsValue_newIntegerFromInt64(int64_t integer);
LIB61850_API MmsValue* MmsValue_newUnsignedFromUint32(uint32_t integer);
LIB61850_API MmsValue* MmsValue_newFloat(float variable);
LIB61850_API MmsValue* MmsValue_newDouble(double variable);
/* A deep copy. */
LIB61850_API MmsValue* MmsValue_clone(const MmsValue* self);
LIB61850_API MmsValue* MmsValue_newVisibleString(const char* string);
LIB61850_API MmsValue* MmsValue_newVisibleStringWithSize(int size);
LIB61850_API MmsValue* MmsValue_newVisibleStringFromByteArray(const uint8_t* byteArray, int size);
LIB61850_API MmsValue* MmsValue_newMmsString(const char* string);
LIB61850_API MmsValue* MmsValue_newMmsStringFromByteArray(const uint8_t* byteArray, int size);
LIB61850_API MmsValue* MmsValue_newBinaryTime(bool timeOfDay);
LIB61850_API MmsValue* MmsValue_newUtcTime(uint32_t timeval);
LIB61850_API MmsValue* MmsValue_newUtcTimeByMsTime(uint64_t timeval);

/* ---- lifetime ---- */

LIB61850_API void MmsValue_setDeletable(MmsValue* self);
LIB61850_API void MmsValue_setDeletableRecursive(MmsValue* self);
/* false for values owned by a structure of the stack that must not be deleted by users. */
LIB61850_API bool MmsValue_isDeletable(const MmsValue* self);

/* The type of the value; NULL gives MMS_DATA_ACCESS_ERROR. */
LIB61850_API MmsType MmsValue_getType(const MmsValue* self);

/* Releases the value and all its components. NULL is accepted. */
LIB61850_API void MmsValue_delete(MmsValue* self);
LIB61850_API void MmsValue_deleteConditional(MmsValue* value);
LIB61850_API void MmsValue_deleteIfNotNull(MmsValue* value);

/* Name of the value's type, e.g. "boolean", "structure" ("unknown(error)" for NULL). */
LIB61850_API const char* MmsValue_getTypeString(MmsValue* self);

/* Writes a readable form of the value into buffer (always zero-terminated, truncated to
 * bufferSize - 1 characters) and returns buffer. */
LIB61850_API const char* MmsValue_printToBuffer(const MmsValue* self, char* buffer, int bufferSize);

#ifdef __cplusplus
}
#endif

#endif /* MMS_VALUE_H_ */
