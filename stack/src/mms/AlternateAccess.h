#pragma once
// Alternate access (ISO 9506-2 AlternateAccess): reading and writing a part of a variable, an
// array element ("phsAHar(10)") and the components below it ("cVal$mag$f"). Its wire form, its
// text form in item ids and object references, and the selection of the part in a value.
#include "mms_common.h"
#include "stack/src/mms/MmsBer.h"
#include "stack/src/mms/MmsTypes.h"

#include <string>
#include <vector>

typedef struct sMmsValue MmsValue;

namespace stack {
namespace mms {

using AccessPath = std::vector<AccessStep>;

// Writes alternateAccess [5] as common clients do: an index selects with the rest nested below
// it, and the components after it travel as one identifier joined by '$'.
void encodeAlternateAccess(ber::Writer& w, const AccessPath& path);
// Reads the contents of alternateAccess [5]. Nested selections and '$'-joined components are
// flattened into single steps; forms we do not serve (index ranges, all elements, named
// selections, several selections at one level) become an Unsupported step. false when malformed.
bool decodeAlternateAccess(const ber::Tlv& tlv, AccessPath& path);

// Splits an item id or a reference path at its first array index: "HA$har(2)$mag$f" (or with
// '.') gives "HA$har" (or "HA.har") and the steps 2, "mag", "f". Without "(n)" the text is the
// base and no step is added; false for a malformed index.
bool splitArrayPath(const std::string& text, std::string& base, AccessPath& path);
// "(2).mag.f" for the steps 2, "mag", "f" (sep '.'), as they follow a reference's path.
std::string formatAccessPath(const AccessPath& path, char sep);

// The part of `whole` (of type `typeDesc`) that `path` selects, or nullptr with `error` set
// (object-access-unsupported for unsupported steps, invalid-address for an index out of range
// or a component the type lacks). The part points into `whole`.
MmsValue* selectPart(MmsValue* whole, const MmsVariableSpecification* typeDesc, const AccessPath& path,
                     MmsDataAccessError& error);
// The type of that part; nullptr when `path` does not fit `typeDesc`.
const MmsVariableSpecification* selectType(const MmsVariableSpecification* typeDesc, const AccessPath& path);

} // namespace mms
} // namespace stack
