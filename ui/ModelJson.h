#pragma once
#include "host/tree/Node.h"
#include "models/CheckNodes.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace iecx::ui {

// The page's view of host tree nodes. A node becomes {id, name, kind, children}; a text unit
// adds its value (kind "string"), a choice unit its value and its items (kind "enum").
nlohmann::json nodeToJson(const VorTree::Node& node);

// The check tree below a node: {id, name, state (true, false or null for mixed), unit, children}.
nlohmann::json checkTreeToJson(const VorIec61850::CheckNodeDescriptorModel& node);

// The node reached from `top` by a list of child ids, or null.
VorTree::Node* findByIds(VorTree::Node* top, const std::vector<std::string>& ids);

// The node reached from `top` by a list of child positions, or null. Settings are addressed this
// way: the two source nodes carry the same (empty) id.
VorTree::Node* findByIndexes(VorTree::Node* top, const std::vector<std::size_t>& indexes);

// Sets a unit's value through the unit itself, so that the model's own slots run: a choice
// unit takes an item key, a text unit any text. false when the node is no unit or the key is
// no item of the choice.
bool setUnitValue(VorTree::Node* node, const std::string& value);

} // namespace iecx::ui
