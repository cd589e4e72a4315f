#pragma once
// The type descriptions of logical nodes that the directory services answer from: one
// GetVariableAccessAttributes per logical node and association, kept in the connection's cache,
// and the walks through them.
#include "stack/src/mms/client/IedConnectionInternal.h"

#include <memory>
#include <string>
#include <vector>

namespace stack {
namespace mms {

using TypeRef = std::shared_ptr<const MmsVariableSpecification>;

// The type of a variable asked from the server; nullptr with `e` set when it fails.
MmsVariableSpecification* askType(IedConnection self, const ObjectName& name, IedClientError& e);
// The type description of a logical node, from this association's cache or asked once. Null
// when the server does not describe the logical node as a whole (some answer only for data
// objects): that answer is kept too, and the callers browse by the variable names instead.
TypeRef logicalNodeType(IedConnection self, const std::string& domain, const std::string& ln);
// The component `name` of a structure type; nullptr when absent.
const MmsVariableSpecification* component(const MmsVariableSpecification* spec, const std::string& name);
// The component names of a structure type (none for other types).
std::vector<std::string> componentNames(const MmsVariableSpecification* spec);
// The type at `path` (data object and attribute names, an array index in them allowed: "har(2)")
// under one FC of a logical node type; nullptr when absent.
const MmsVariableSpecification* typeAt(const MmsVariableSpecification* lnType, const std::string& fc,
                                       const std::vector<std::string>& path);

} // namespace mms
} // namespace stack
