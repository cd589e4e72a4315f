#include "host/tree/Node.h"

#include "host/tree/TreeLanguage.h"

#include <vector>

namespace VorTree {

Node::Node(const std::string& id, const LocalString& name, const LocalString& description)
    : _id(id), _name(name), _description(description) {}

Node::Node(const Node& other)
    : Vor::NotifyUniquePtrCollection<Node>(), sigc::trackable(other), _id(other._id), _name(other._name),
      _description(other._description) {}

Node& Node::operator=(const Node& other) {
    if (this != &other) {
        _id = other._id;
        _name = other._name;
        _description = other._description;
    }
    return *this;
}

Node::~Node() {
    // A node destroyed by someone other than its parent leaves the parent's collection quietly
    // so that the parent does not destroy it a second time.
    if (_parent) {
        auto& siblings = _parent->_rawItems();
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (*it == this) {
                siblings.erase(it);
                break;
            }
        }
        _parent = nullptr;
    }
    // Children go without notifications: the derived parts of this node are already gone.
    std::vector<Node*> children;
    children.swap(_rawItems());
    for (Node* child : children) {
        child->_parent = nullptr;
        delete child;
    }
}

int Node::getIndex() const {
    return _parent ? _parent->getIndexOf(const_cast<Node*>(this)) : -1;
}

Node* Node::getById(const std::string& id) const {
    for (Node* child : *this) {
        if (child->_id == id) {
            return child;
        }
    }
    return nullptr;
}

Node* Node::getContentById(const std::string& id) const {
    return getById(id);
}

bool Node::canContains(const Node* /*node*/) const {
    return true;
}

void Node::_lockContainer() {
    _containerLocked = true;
    _lockCollection();
}

void Node::_onContentCollectionChanged(ChangedArgs& /*args*/) {}

std::string Node::_getAddingItemError(Node* const& item, std::size_t /*index*/) {
    if (!item) {
        return lng::Tree::get("error.NullItem");
    }
    if (item->_parent) {
        return lng::Tree::get("error.HasParent");
    }
    // A node cannot become a child of itself or of one of its descendants.
    for (const Node* n = this; n; n = n->_parent) {
        if (n == item) {
            return lng::Tree::get("error.HasParent");
        }
    }
    if (!canContains(item)) {
        return lng::Tree::get("error.WrongType");
    }
    return std::string();
}

void Node::_onAdded(Node* const& item, std::size_t /*index*/) {
    item->_parent = this;
}

void Node::_onRemoved(Node* const& item, std::size_t /*index*/) {
    item->_parent = nullptr;
}

void Node::_onCollectionChanged(ChangedArgs& args) {
    _onContentCollectionChanged(args);
}

} // namespace VorTree
