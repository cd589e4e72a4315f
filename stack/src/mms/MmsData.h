#pragma once
// MMS Data, AccessResult and TypeSpecification encoding and decoding (ISO 9506-2), to and from
// MmsValue and MmsVariableSpecification.
#include "mms_common.h"
#include "stack/src/ber/Ber.h"

typedef struct sMmsValue MmsValue;

namespace stack {
namespace mms {

// Nesting deeper than this is refused when decoding (protects the stack from hostile input).
constexpr int kMaxNesting = 24;

// Data. A value of type MMS_DATA_ACCESS_ERROR must not be passed (use encodeAccessResult).
void encodeData(ber::Writer& w, const MmsValue* value);
// AccessResult: failure [0] for MMS_DATA_ACCESS_ERROR values, else the data.
void encodeAccessResult(ber::Writer& w, const MmsValue* value);
// A new value, or nullptr for malformed or unsupported data.
MmsValue* decodeData(const ber::Tlv& tlv, int depth = 0);
// As decodeData, and a failure becomes a new MMS_DATA_ACCESS_ERROR value.
MmsValue* decodeAccessResult(const ber::Tlv& tlv);

void encodeTypeSpec(ber::Writer& w, const MmsVariableSpecification* spec);
// A new specification (name unset), or nullptr when malformed.
MmsVariableSpecification* decodeTypeSpec(const ber::Tlv& tlv, int depth = 0);

} // namespace mms
} // namespace stack
