#pragma once
// MMS Data and AccessResult (ISO 9506-2) to and from MmsValue: the one codec behind reads,
// writes, reports and GOOSE allData.
//   array [1], structure [2], boolean [3], bit-string [4], integer [5], unsigned [6],
//   floating-point [7], octet-string [9], visible-string [10], generalized-time [11],
//   binary-time [12], bcd [13], objId [15], mMSString [16], utc-time [17].
// Decoders never read past the given TLV and refuse anything they cannot represent exactly.
#include "mms_common.h"
#include "stack/src/mms/MmsBer.h"

typedef struct sMmsValue MmsValue;

namespace stack {
namespace mms {

// Structures and arrays nested deeper than this are refused when decoding received data (a
// hostile peer must not make us recurse without bound); real models stay far below it.
constexpr int kMaxNesting = 24;

// Whether `value` can travel as Data: not null, not a data access error, and no such thing
// inside its structures and arrays.
bool encodable(const MmsValue* value);
// Appends the BER of `value`; false, with nothing appended, when it is not encodable().
bool encodeData(ber::Writer& w, const MmsValue* value);
// AccessResult: the data, or failure [0] for a data access error value (and for a value that
// cannot be encoded: object-value-invalid).
void encodeAccessResult(ber::Writer& w, const MmsValue* value);

// A new value, or nullptr for malformed or unsupported data.
MmsValue* decodeData(const ber::Tlv& tlv, int depth = 0);
// As decodeData, and a failure [0] becomes a new MMS_DATA_ACCESS_ERROR value.
MmsValue* decodeAccessResult(const ber::Tlv& tlv);

// Updates `value` in place from one Data TLV of the same shape (type, and element count of
// structures and arrays; sizes of strings and bit strings may change). The whole TLV is checked
// before anything is written: on false (malformed, or another shape) `value` is unchanged.
bool updateData(MmsValue* value, const ber::Tlv& tlv);

// A list of Data (the contents of GOOSE allData, for one) as a new MMS_ARRAY; null when malformed.
MmsValue* decodeDataList(const uint8_t* data, size_t size);
// Updates an MMS_ARRAY or MMS_STRUCTURE element by element from a list of Data, all or nothing:
// false, with `list` unchanged, when the list is malformed or has another shape.
bool updateDataList(MmsValue* list, const uint8_t* data, size_t size);
// Number of elements of a Data list, -1 when its BER is malformed.
int countDataList(const uint8_t* data, size_t size);

} // namespace mms
} // namespace stack
