#pragma once
// Builders for MmsVariableSpecification trees (C structures allocated with malloc, released
// with MmsVariableSpecification_destroy), used by the server's model and by the decoder.
#include "mms_common.h"

#include <string>
#include <vector>

namespace stack {
namespace mms {

// A leaf type. `size` means: bits for MMS_INTEGER, MMS_UNSIGNED and MMS_BIT_STRING (negative:
// variable size of at most -size bits), the maximum length for MMS_OCTET_STRING,
// MMS_VISIBLE_STRING and MMS_STRING (negative: variable length), the byte count for
// MMS_BINARY_TIME (4 or 6) and the format width (32 or 64) for MMS_FLOAT.
MmsVariableSpecification* makeTypeDesc(MmsType type, const char* name, int size = 0);
// A structure that takes ownership of its components.
MmsVariableSpecification* makeStructureDesc(const char* name,
                                            const std::vector<MmsVariableSpecification*>& components);
// An array of `count` elements of `elementType` (owned).
MmsVariableSpecification* makeArrayDesc(const char* name, int count, MmsVariableSpecification* elementType);
// A deep copy; the root gets `name` when given, else keeps its own.
MmsVariableSpecification* cloneTypeDesc(const MmsVariableSpecification* typeDesc, const char* name = nullptr);
// Sets (replaces) the component name.
void setTypeDescName(MmsVariableSpecification* typeDesc, const char* name);

} // namespace mms
} // namespace stack
