#pragma once
#include "host/NonCopyable.h"
#include "models/CheckNodes.h"

#include <sigc++/sigc++.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace VorIec61850 {

// The check-box tree of data attributes. Branches are built from path token lists (one name
// per tree level); the checked leaves come back as object paths with their units.
class TreeModel : public sigc::trackable, Vor::NonCopyable {
public:
    // One checked leaf: the names from the top down, and the leaf's unit.
    struct PathUnit {
        std::vector<std::string> path;
        std::string unit;
    };

    TreeModel();
    ~TreeModel();

    // The root node, id "root"; kept for the model's whole life.
    CheckNodeDescriptorModel* getNode() const { return _node.get(); }

    // Adds the branch of names below parent (null: the root), reusing existing nodes found by
    // id (the name with '.' replaced by '_'). A new leaf is checked and given the unit; an
    // existing leaf is left as it is. A refused insertion throws std::logic_error.
    void addNode(const std::vector<std::string>& names, const std::string& unit,
                 VorTree::Node* parent = nullptr);
    // Removes and destroys every node below the root.
    void clearNodes();
    // The checked leaves as (object path, unit) pairs, depth first in child order.
    std::vector<std::pair<std::string, std::string>> getCheckedElements() const;

    // The id of a tree node named `name`.
    static std::string toNodeId(const std::string& name);
    // Joins path texts as first "/" second, then "." before every further text.
    static std::string joinPath(const std::vector<std::string>& path);

private:
    void _fillPaths(const CheckNodeDescriptorModel* node, const std::vector<std::string>& parentPath,
                    std::vector<PathUnit>& out) const;

    std::unique_ptr<CheckNodeDescriptorModel> _node;
};

} // namespace VorIec61850
