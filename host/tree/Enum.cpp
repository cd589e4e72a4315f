#include "host/tree/Enum.h"

namespace VorTree {

EnumItem* EnumLimiter::addItem(const std::string& key, const LocalString& label, int value) {
    auto* item = new EnumItem(key, label, value);
    try {
        add(item);
    } catch (...) {
        delete item;
        throw;
    }
    return item;
}

EnumUnit::EnumUnit(const std::string& id, const LocalString& name, const LocalString& description,
                   std::shared_ptr<EnumLimiter> limiter, const std::string& defaultKey)
    : Unit(id, name, description), Value<std::string>(defaultKey), _limiter(std::move(limiter)) {}

EnumItem* EnumUnit::getSelectedItem() const {
    return _limiter ? dynamic_cast<EnumItem*>(_limiter->getContentById(getValue())) : nullptr;
}

std::string EnumUnit::getText() const {
    EnumItem* item = getSelectedItem();
    return item ? item->getLabel().toString() : std::string();
}

} // namespace VorTree
