#include "models/TreeModel.h"

#include <algorithm>

namespace VorIec61850 {

TreeModel::TreeModel()
    : _node(std::make_unique<CheckNodeDescriptorModel>("root", VorTree::LocalString("root"),
                                                       VorTree::LocalString::Empty())) {}

TreeModel::~TreeModel() = default;

std::string TreeModel::toNodeId(const std::string& name) {
    std::string id = name;
    std::replace(id.begin(), id.end(), '.', '_');
    return id;
}

std::string TreeModel::joinPath(const std::vector<std::string>& path) {
    std::string text;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i == 1) {
            text += '/';
        } else if (i > 1) {
            text += '.';
        }
        text += path[i];
    }
    return text;
}

void TreeModel::addNode(const std::vector<std::string>& names, const std::string& unit,
                        VorTree::Node* parent) {
    if (!parent) {
        parent = _node.get();
    }
    // Walks down level by level; each level reuses the child with the name's id or creates it.
    for (std::size_t level = 0; level < names.size(); ++level) {
        const std::string& name = names[level];
        const std::string id = toNodeId(name);
        VorTree::Node* child = parent->getById(id);
        if (!child) {
            const bool last = level + 1 == names.size();
            std::unique_ptr<CheckNodeDescriptorModel> created;
            if (last) {
                created = std::make_unique<CheckLastNode>(id, VorTree::LocalString(name),
                                                          VorTree::LocalString::Empty());
            } else {
                created = std::make_unique<CheckNodeDescriptorModel>(id, VorTree::LocalString(name),
                                                                     VorTree::LocalString::Empty());
            }
            parent->add(created.get()); // throws std::logic_error when refused; `created` cleans up
            CheckNodeDescriptorModel* node = created.release();
            if (last) {
                node->signalCreated.emit();
                node->setIsEvaluated(true);
                node->setUnit(unit);
            }
            child = node;
        }
        parent = child;
    }
}

void TreeModel::clearNodes() {
    _node->clear();
}

void TreeModel::_fillPaths(const CheckNodeDescriptorModel* node, const std::vector<std::string>& parentPath,
                           std::vector<PathUnit>& out) const {
    std::vector<std::string> path = parentPath;
    if (node->getId() != "root") {
        path.push_back(node->getName().toString());
    }
    for (VorTree::Node* child : *node) {
        auto* check = dynamic_cast<const CheckNodeDescriptorModel*>(child);
        if (!check) {
            continue;
        }
        Vor::Nullable<bool> state = check->getIsEvaluated();
        if (state.has_value() && !*state) {
            continue;
        }
        _fillPaths(check, path, out);
    }
    Vor::Nullable<bool> state = node->getIsEvaluated();
    if (state.has_value() && *state && node->empty()) {
        out.push_back(PathUnit{path, node->getUnit()});
    }
}

std::vector<std::pair<std::string, std::string>> TreeModel::getCheckedElements() const {
    std::vector<PathUnit> paths;
    _fillPaths(_node.get(), {}, paths);
    std::vector<std::pair<std::string, std::string>> result;
    result.reserve(paths.size());
    for (const PathUnit& p : paths) {
        result.emplace_back(joinPath(p.path), p.unit);
    }
    return result;
}

} // namespace VorIec61850
