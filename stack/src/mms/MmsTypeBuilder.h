#pragma once
// MMS TypeSpecification encoding and decoding (ISO 9506-2), to and from
// MmsVariableSpecification.
#include "mms_common.h"
#include "stack/src/mms/MmsBer.h"
#include "stack/src/mms/MmsData.h"

namespace stack {
namespace mms {

void encodeTypeSpec(ber::Writer& w, const MmsVariableSpecification* spec);
// A new specification (name unset), or nullptr when malformed or nested deeper than kMaxNesting.
MmsVariableSpecification* decodeTypeSpec(const ber::Tlv& tlv, int depth = 0);

} // namespace mms
} // namespace stack
