#pragma once
#include "host/tree/Node.h"

#include <sigc++/sigc++.h>

#include <string>
#include <vector>

namespace VorTree {

// The current value of a unit. signalValueChanged (no arguments) is emitted on every change of
// the value, whoever sets it; setting the value it already has changes nothing and emits nothing.
template <typename T> class Value {
public:
    Value() = default;
    explicit Value(const T& value) : _value(value) {}
    Value(const Value& other) : _value(other._value) {}
    Value& operator=(const Value& other) {
        setData(other._value);
        return *this;
    }
    virtual ~Value() = default;

    sigc::signal<void> signalValueChanged;

    const T& getValue() const { return _value; }
    virtual void setData(const T& value) {
        if (_value == value) {
            return;
        }
        _value = value;
        signalValueChanged.emit();
    }

private:
    T _value{};
};

// A typed setting shown by the host: a node (id, name, description) that carries a value.
class Unit : public Node {
public:
    using Node::Node;
    // The value as display text.
    virtual std::string getText() const = 0;
    // The unit's value-changed signal.
    virtual sigc::signal<void>& getSignalValueChanged() = 0;
};

// The unit-holding side of a container: its units are those of its children that are units.
class Unitable {
public:
    virtual ~Unitable() = default;
    std::vector<Unit*> getUnits() const;
    Unit* getUnitById(const std::string& id) const;

protected:
    virtual const Node& _getUnitsNode() const = 0;
};

// A node that holds units (and possibly child nodes) in one ordered child collection.
class UnitableContainer : public Node, public Unitable {
public:
    UnitableContainer() = default;
    explicit UnitableContainer(const std::string& id, const LocalString& name = LocalString(),
                               const LocalString& description = LocalString())
        : Node(id, name, description) {}
    UnitableContainer(const UnitableContainer& other) = default;
    UnitableContainer& operator=(const UnitableContainer& other) = default;
    ~UnitableContainer() override = default;

protected:
    const Node& _getUnitsNode() const override { return *this; }
};

// A text unit.
class StringUnit : public Unit, public Value<std::string> {
public:
    StringUnit(const std::string& id, const LocalString& name, const LocalString& description,
               const std::string& defaultText = std::string())
        : Unit(id, name, description), Value<std::string>(defaultText) {}

    std::string getText() const override { return getValue(); }
    sigc::signal<void>& getSignalValueChanged() override { return signalValueChanged; }
};

} // namespace VorTree
