#include "mms/MmsValueElement.h"

namespace VorIec61850 {

bool MmsValueElement::getBooleanValue(bool defaultValue) const {
    return value ? MmsValue_getBoolean(value) : defaultValue;
}

Vor::Nullable<bool> MmsValueElement::getNullableBooleanValue() const {
    if (!value)
        return {};
    return MmsValue_getBoolean(value);
}

} // namespace VorIec61850
