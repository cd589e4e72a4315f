#include "ui/ModelJson.h"

#include "host/tree/Enum.h"
#include "host/tree/Unit.h"

namespace iecx::ui {

nlohmann::json nodeToJson(const VorTree::Node& node) {
    nlohmann::json out{{"id", node.getId()}, {"name", node.getName().toString()}, {"kind", "node"}};
    if (const auto* choice = dynamic_cast<const VorTree::EnumUnit*>(&node)) {
        out["kind"] = "enum";
        out["value"] = choice->getValue();
        nlohmann::json items = nlohmann::json::array();
        if (choice->getLimiter())
            for (const VorTree::Node* child : *choice->getLimiter())
                if (const auto* item = dynamic_cast<const VorTree::EnumItem*>(child))
                    items.push_back({{"key", item->getKey()},
                                     {"label", item->getLabel().toString()},
                                     {"value", item->getIntValue()}});
        out["items"] = std::move(items);
    } else if (const auto* text = dynamic_cast<const VorTree::StringUnit*>(&node)) {
        out["kind"] = "string";
        out["value"] = text->getValue();
    }
    nlohmann::json children = nlohmann::json::array();
    for (const VorTree::Node* child : node.getChildren())
        children.push_back(nodeToJson(*child));
    out["children"] = std::move(children);
    return out;
}

nlohmann::json checkTreeToJson(const VorIec61850::CheckNodeDescriptorModel& node) {
    const Vor::Nullable<bool> state = node.getIsEvaluated();
    nlohmann::json out{{"id", node.getId()},
                       {"name", node.getName().toString()},
                       {"state", state.has_value() ? nlohmann::json(*state) : nlohmann::json()}};
    if (!node.getUnit().empty())
        out["unit"] = node.getUnit();
    nlohmann::json children = nlohmann::json::array();
    for (const VorTree::Node* child : node.getChildren())
        if (const auto* check = dynamic_cast<const VorIec61850::CheckNodeDescriptorModel*>(child))
            children.push_back(checkTreeToJson(*check));
    out["children"] = std::move(children);
    return out;
}

VorTree::Node* findByIds(VorTree::Node* top, const std::vector<std::string>& ids) {
    VorTree::Node* node = top;
    for (const std::string& id : ids) {
        if (node == nullptr)
            return nullptr;
        node = node->getById(id);
    }
    return node;
}

VorTree::Node* findByIndexes(VorTree::Node* top, const std::vector<std::size_t>& indexes) {
    VorTree::Node* node = top;
    for (std::size_t index : indexes) {
        if (node == nullptr || index >= node->getChildren().size())
            return nullptr;
        node = node->getChildren().at(index);
    }
    return node;
}

bool setUnitValue(VorTree::Node* node, const std::string& value) {
    if (auto* choice = dynamic_cast<VorTree::EnumUnit*>(node)) {
        if (!choice->getLimiter() || choice->getLimiter()->getItem(value) == nullptr)
            return false;
        choice->setData(value);
        return true;
    }
    if (auto* text = dynamic_cast<VorTree::StringUnit*>(node)) {
        text->setData(value);
        return true;
    }
    return false;
}

} // namespace iecx::ui
