#pragma once
// Encoding and decoding of MMS type descriptions (the TypeSpecification production of
// ISO 9506-2), to and from MmsVariableSpecification.
#include "mms_common.h"
#include "stack/src/mms/MmsBer.h"
#include "stack/src/mms/MmsData.h"

namespace stack {
namespace mms {

void encodeTypeDesc(ber::Writer& w, const MmsVariableSpecification* typeDesc);
// A new type description (name unset), or nullptr when malformed or nested deeper than kMaxNesting.
MmsVariableSpecification* decodeTypeDesc(const ber::Tlv& tlv, int depth = 0);

} // namespace mms
} // namespace stack
