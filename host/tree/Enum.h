#pragma once
#include "host/tree/NodeTypedCollection.h"
#include "host/tree/Unit.h"

#include <memory>
#include <string>

namespace VorTree {

// One choice of a choice unit: its key is its id, its label the display text, plus an int value.
class EnumItem : public Node {
public:
    EnumItem(const std::string& key, const LocalString& label, int value)
        : Node(key, label, LocalString()), _value(value) {}

    const std::string& getKey() const { return getId(); }
    const LocalString& getLabel() const { return getName(); }
    int getIntValue() const { return _value; }

private:
    int _value;
};

// The allowed items of one or more choice units (held through std::shared_ptr). Its children
// are EnumItems; clearing it destroys them.
class EnumLimiter : public NodeBasedTypedCollection<EnumItem, Node> {
public:
    EnumLimiter() = default;

    // Appends a new item and returns it.
    EnumItem* addItem(const std::string& key, const LocalString& label, int value);
    // The item with this key, or null.
    EnumItem* getItem(const std::string& key) const { return getItemById(key); }
};

// A choice unit: its value is the key of the selected item of its limiter (empty: nothing
// selected). The value is not checked against the limiter: a key that is not there selects
// nothing.
class EnumUnit : public Unit, public Value<std::string> {
public:
    EnumUnit(const std::string& id, const LocalString& name, const LocalString& description,
             std::shared_ptr<EnumLimiter> limiter, const std::string& defaultKey = std::string());

    const std::shared_ptr<EnumLimiter>& getLimiter() const { return _limiter; }
    // The selected item, or null.
    EnumItem* getSelectedItem() const;

    std::string getText() const override;
    sigc::signal<void>& getSignalValueChanged() override { return signalValueChanged; }

private:
    std::shared_ptr<EnumLimiter> _limiter;
};

// A choice unit typed by an int-valued enumeration T.
template <typename T> class EnumClassUnit : public EnumUnit {
public:
    using EnumUnit::EnumUnit;

    // The int value of the selected item as T; 0 when the value names no item of the limiter.
    T getEnumValue() const {
        if (getLimiter()) {
            if (auto* item = dynamic_cast<EnumItem*>(getLimiter()->getContentById(getValue()))) {
                return static_cast<T>(item->getIntValue());
            }
        }
        return static_cast<T>(0);
    }

    // Selects the first item whose int value is v; the empty value when no item carries it.
    void setEnumData(T v) {
        if (getLimiter()) {
            for (Node* node : *getLimiter()) {
                auto* item = dynamic_cast<EnumItem*>(node);
                if (item && item->getIntValue() == static_cast<int>(v)) {
                    setData(item->getId());
                    return;
                }
            }
        }
        setData(std::string());
    }
};

} // namespace VorTree
