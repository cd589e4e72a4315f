#include "host/tree/Unit.h"

namespace VorTree {

std::vector<Unit*> Unitable::getUnits() const {
    std::vector<Unit*> units;
    for (Node* child : _getUnitsNode()) {
        if (auto* unit = dynamic_cast<Unit*>(child)) {
            units.push_back(unit);
        }
    }
    return units;
}

Unit* Unitable::getUnitById(const std::string& id) const {
    return dynamic_cast<Unit*>(_getUnitsNode().getById(id));
}

} // namespace VorTree
