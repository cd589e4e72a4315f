#pragma once
// The type descriptions of logical nodes that the directory services answer from: one
// GetVariableAccessAttributes per logical node and association, kept in the connection's cache,
// and the walks through them.
#include "stack/src/mms/client/IedConnectionInternal.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace stack {
namespace mms {

using TypeRef = std::shared_ptr<const MmsVariableSpecification>;

// The type of a variable asked from the server; nullptr with `e` set when it fails.
MmsVariableSpecification* askType(IedConnection self, const ObjectName& name, IedClientError& e);
// The type description of a logical node, from this association's cache or asked once. Null
// when the server does not describe the logical node as a whole (some answer only for data
// objects): that answer is kept too, and the callers browse by the variable names instead.
// A caller that walks the logical device sets `walking`: the types of the logical nodes that
// follow `ln` in the device's directory (as last listed in this association) are then asked
// ahead, a few at a time, so that the server answers them while the caller works through this
// one. A full browse sends no more requests than one per logical node.
TypeRef logicalNodeType(IedConnection self, std::string_view domain, std::string_view ln,
                        bool walking = false);
// The component `name` of a structure type; nullptr when absent.
const MmsVariableSpecification* component(const MmsVariableSpecification* typeDesc, std::string_view name);
// The type at `path` (data object and attribute names, an array index in them allowed: "har(2)")
// under one FC of a logical node type (the FC's structure for an empty path); nullptr when absent.
const MmsVariableSpecification* typeAt(const MmsVariableSpecification* lnType, std::string_view fc,
                                       const std::vector<std::string>& path);
// The same with the path as the text after the logical node: "DO.DA" ("" for the FC itself).
const MmsVariableSpecification* typeAt(const MmsVariableSpecification* lnType, std::string_view fc,
                                       std::string_view dottedPath);
// The type at a dotted path below a type (`t` itself for an empty path); nullptr when absent.
const MmsVariableSpecification* typeBelow(const MmsVariableSpecification* t, std::string_view dottedPath);

} // namespace mms
} // namespace stack
