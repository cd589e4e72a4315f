#include "models/CheckNodes.h"

namespace VorIec61850 {

CheckNodeDescriptorModel::CheckNodeDescriptorModel(const std::string& id,
                                                   const VorTree::LocalString& description,
                                                   const VorTree::LocalString& secondDescription)
    : VorTree::Node(id, description, secondDescription) {}

// The children go with the node, without notifications.
CheckNodeDescriptorModel::~CheckNodeDescriptorModel() = default;

void CheckNodeDescriptorModel::setIsEvaluated(bool value) {
    _setIsEvaluatedObject(value);
    _updateState(Vor::Nullable<bool>());
}

void CheckNodeDescriptorModel::_updateSelfState() {
    Vor::Nullable<bool> state = _checkIsEvaluatedObject();
    // optional equality compares presence and, when both are present, the values.
    if (state != _cachedState) {
        _cachedState = state;
        _raiseSignalIsEvaluatedChanged();
    }
}

void CheckNodeDescriptorModel::_updateState(Vor::Nullable<bool> direction) {
    CheckNodeDescriptorModel* node = this;
    while (node) {
        node->_updateSelfState();
        if (!direction.has_value() || *direction) {
            for (VorTree::Node* child : *node) {
                if (auto* check = dynamic_cast<CheckNodeDescriptorModel*>(child)) {
                    check->_updateState(true);
                }
            }
        }
        if (direction.has_value() && *direction) {
            return;
        }
        // Upward only from here on.
        node = dynamic_cast<CheckNodeDescriptorModel*>(node->getParent());
        direction = false;
    }
}

void CheckNodeDescriptorModel::_setIsEvaluatedObject(bool value) {
    for (VorTree::Node* child : *this) {
        if (auto* check = dynamic_cast<CheckNodeDescriptorModel*>(child)) {
            check->_setIsEvaluatedObject(value);
        }
    }
}

void CheckNodeDescriptorModel::_invalidateState() {
    for (VorTree::Node* node = this; node; node = node->getParent()) {
        auto* check = dynamic_cast<CheckNodeDescriptorModel*>(node);
        if (!check) {
            break;
        }
        check->_aggregateValid = false;
    }
}

Vor::Nullable<bool> CheckNodeDescriptorModel::_checkIsEvaluatedObject() const {
    if (!_aggregateValid) {
        _aggregate = _computeAggregate();
        _aggregateValid = true;
    }
    return _aggregate;
}

Vor::Nullable<bool> CheckNodeDescriptorModel::_computeAggregate() const {
    Vor::Nullable<bool> result;
    bool any = false;
    for (VorTree::Node* child : *this) {
        auto* check = dynamic_cast<const CheckNodeDescriptorModel*>(child);
        if (!check) {
            continue;
        }
        Vor::Nullable<bool> state = check->_checkIsEvaluatedObject();
        if (!state.has_value()) {
            return Vor::Nullable<bool>();
        }
        if (any && *state != *result) {
            return Vor::Nullable<bool>();
        }
        result = state;
        any = true;
    }
    return result;
}

void CheckNodeDescriptorModel::_onContentCollectionChanged(ChangedArgs& args) {
    auto* item = dynamic_cast<CheckNodeDescriptorModel*>(args.item);
    if (!item) {
        return;
    }
    _invalidateState();
    if (args.action == Vor::Add) {
        item->_updateState(Vor::Nullable<bool>());
    } else if (args.action == Vor::Remove) {
        item->_updateState(true);
        _updateState(false);
    }
}

CheckLastNode::CheckLastNode(const std::string& id, const VorTree::LocalString& description,
                             const VorTree::LocalString& secondDescription)
    : CheckNodeDescriptorModel(id, description, secondDescription) {}

void CheckLastNode::_setIsEvaluatedObject(bool value) {
    isEvaluatedObject = value;
    // Also when the mark looks unchanged: the field may have been written directly.
    _invalidateState();
}

} // namespace VorIec61850
