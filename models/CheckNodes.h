#pragma once
#include "host/Nullable.h"
#include "host/tree/Node.h"

#include <sigc++/sigc++.h>

#include <string>

namespace VorIec61850 {

// A node of the check-box data tree. Its check state is derived from its check-node children:
// true when all are checked, false when none is, empty (mixed) otherwise or without any.
// The last computed state is cached; every change of it emits signalIsEvaluatedChanged.
class CheckNodeDescriptorModel : public VorTree::Node {
public:
    CheckNodeDescriptorModel(const std::string& id, const VorTree::LocalString& description,
                             const VorTree::LocalString& secondDescription);
    ~CheckNodeDescriptorModel() override;

    // Emitted with the node whenever its cached check state changes.
    sigc::signal<void, CheckNodeDescriptorModel*> signalIsEvaluatedChanged;
    // Emitted by TreeModel::addNode on a new leaf right after it has joined its parent.
    sigc::signal<void> signalCreated;

    Vor::Nullable<bool> getIsEvaluated() const { return _checkIsEvaluatedObject(); }
    bool getIsEvaluatedEnabled() const { return true; }
    // Checks or unchecks the whole subtree, then refreshes the states below and above.
    void setIsEvaluated(bool value);

    const std::string& getUnit() const { return _unit; }
    void setUnit(const std::string& unit) { _unit = unit; }

    Vor::Nullable<bool> getCachedState() const { return _cachedState; }

    void _raiseSignalIsEvaluatedChanged() { signalIsEvaluatedChanged.emit(this); }
    // Recomputes this node's state and notifies a change; no propagation.
    void _updateSelfState();
    // Recomputes the state here, then: direction true refreshes the subtree below only, false
    // the ancestors only, empty both (the subtree below, then the ancestors).
    void _updateState(Vor::Nullable<bool> direction);

protected:
    virtual void _setIsEvaluatedObject(bool value);
    virtual Vor::Nullable<bool> _checkIsEvaluatedObject() const;

    void _onContentCollectionChanged(ChangedArgs& args) override;

    // Forgets the remembered aggregate of this node and of its ancestors. A node class whose
    // own state can change calls it on every change (CheckLastNode does for its mark).
    void _invalidateState();

private:
    Vor::Nullable<bool> _computeAggregate() const;

    Vor::Nullable<bool> _cachedState = false;
    std::string _unit;
    // The aggregate is a pure function of the leaves' marks below; it is remembered until a
    // mark or a child collection below changes, so that refreshing the ancestors after one
    // change does not walk the whole tree again.
    mutable Vor::Nullable<bool> _aggregate;
    mutable bool _aggregateValid = false;
};

// A leaf of the data tree: it holds the real check mark (unchecked after construction).
class CheckLastNode : public CheckNodeDescriptorModel {
public:
    CheckLastNode(const std::string& id, const VorTree::LocalString& description,
                  const VorTree::LocalString& secondDescription);

    // The check mark. Set it through setIsEvaluated (or _setIsEvaluatedObject) so that the
    // states above see the change.
    bool isEvaluatedObject = false;

protected:
    void _setIsEvaluatedObject(bool value) override;
    Vor::Nullable<bool> _checkIsEvaluatedObject() const override { return isEvaluatedObject; }
};

} // namespace VorIec61850
