#pragma once
#include "host/tree/LocalString.h"
#include "host/tree/NotifyCollection.h"

#include <sigc++/sigc++.h>

#include <string>

namespace VorTree {

// A named node of the property tree: an id, a display name and a description, a parent, and an
// ordered child collection that owns its children (a removed child is destroyed unless
// keepItems is set). A child can belong to one parent only.
//
// The child collection starts unlocked; models lock it with _lockContainer() once they have
// built their content. Copying a node copies its id and texts only: the copy has no parent
// and no children.
class Node : public Vor::NotifyUniquePtrCollection<Node>, public sigc::trackable {
public:
    using ChangedArgs = Vor::NotifyCollectionChangedSignalArgs<Node*>;

    Node() = default;
    explicit Node(const std::string& id, const LocalString& name = LocalString(),
                  const LocalString& description = LocalString());
    Node(const Node& other);
    Node& operator=(const Node& other);
    ~Node() override;

    const std::string& getId() const { return _id; }
    void setId(const std::string& id) { _id = id; }
    const LocalString& getName() const { return _name; }
    void setName(const LocalString& name) { _name = name; }
    const LocalString& getDescription() const { return _description; }
    void setDescription(const LocalString& description) { _description = description; }

    Node* getParent() const { return _parent; }
    // Position among the parent's children, -1 without a parent.
    int getIndex() const;

    // The child collection (the node itself).
    Vor::NotifyCollection<Node*>& getChildren() { return *this; }
    const Vor::NotifyCollection<Node*>& getChildren() const { return *this; }

    // First direct child (node or unit) with the id, or null.
    Node* getById(const std::string& id) const;
    // First direct child with the id, or null: the content of this node (units, items, nodes).
    Node* getContentById(const std::string& id) const;

    // Whether a node of this kind may become a child; the base accepts every node.
    virtual bool canContains(const Node* node) const;

    // Forbids further changes of the children once the node's content is complete.
    void _lockContainer();
    bool getIsContainerLocked() const { return _containerLocked; }

protected:
    // Receives every change of the child collection, after the collection's own hooks and
    // before the change is emitted through signalCollectionChanged.
    virtual void _onContentCollectionChanged(ChangedArgs& args);

    std::string _getAddingItemError(Node* const& item, std::size_t index) override;
    void _onAdded(Node* const& item, std::size_t index) override;
    void _onRemoved(Node* const& item, std::size_t index) override;
    void _onCollectionChanged(ChangedArgs& args) override;

private:
    std::string _id;
    LocalString _name;
    LocalString _description;
    Node* _parent = nullptr;
    bool _containerLocked = false;
};

} // namespace VorTree
