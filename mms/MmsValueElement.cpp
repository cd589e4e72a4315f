#include "mms/MmsValueElement.h"

namespace VorIec61850 {

std::shared_ptr<MmsValueElement> MmsValueElement::createOwned(MmsValue* value, uint64_t unixTimestamp) {
    return std::shared_ptr<MmsValueElement>(new MmsValueElement(value, unixTimestamp),
                                            [](MmsValueElement* element) {
                                                MmsValue_delete(element->value);
                                                delete element;
                                            });
}

bool MmsValueElement::getBooleanValue(bool defaultValue) const {
    return value ? MmsValue_getBoolean(value) : defaultValue;
}

Vor::Nullable<bool> MmsValueElement::getNullableBooleanValue() const {
    if (!value)
        return {};
    return MmsValue_getBoolean(value);
}

} // namespace VorIec61850
