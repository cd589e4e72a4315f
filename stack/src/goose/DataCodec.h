#pragma once
// BER form of MMS Data values as GOOSE carries them in allData (and MMS in its PDUs):
//   array [1], structure [2], boolean [3], bit-string [4], integer [5], unsigned [6],
//   floating-point [7], octet-string [9], visible-string [10], binary-time [12],
//   mMSString [16], utc-time [17].
// Decoding never reads past the given TLV and refuses anything it cannot represent exactly.
#include "mms_value.h"
#include "stack/src/ber/Ber.h"

namespace stack {
namespace goose {

// Deepest nesting of structures and arrays accepted in received data.
constexpr int kMaxDataDepth = 32;

// A new value from one Data TLV; null when the TLV is malformed or of an unsupported kind.
MmsValue* decodeData(const ber::Tlv& tlv, int depth = 0);

// Updates `value` in place from one Data TLV of the same shape (type, and element count of
// structures and arrays; sizes of strings and bit strings may change). false on a malformed TLV
// or a different shape; `value` may then be partly updated.
bool updateData(MmsValue* value, const ber::Tlv& tlv, int depth = 0);

// The elements of allData (the contents of its TLV) as a new MMS_ARRAY; null when malformed.
MmsValue* decodeDataList(const uint8_t* data, size_t size);
// Updates an MMS_ARRAY made by decodeDataList (or given by a user) in place; false when the
// list does not have the same shape or is malformed.
bool updateDataList(MmsValue* list, const uint8_t* data, size_t size);
// Number of elements of a Data list, -1 when its BER is malformed.
int countDataList(const uint8_t* data, size_t size);

// Appends the BER of `value`. false for values GOOSE cannot carry (data access errors, NULL).
bool encodeData(ber::Writer& writer, const MmsValue* value);

} // namespace goose
} // namespace stack
