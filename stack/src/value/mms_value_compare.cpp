// Comparing and updating MmsValues.
#include "stack/src/value/mms_value_internal.h"

#include <cstring>

namespace {

bool sameFloat(const MmsValue* a, const MmsValue* b) {
    if (a->floatWidth != b->floatWidth)
        return false;
    if (a->floatWidth == 32) {
        const float x = static_cast<float>(a->floatValue), y = static_cast<float>(b->floatValue);
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    return std::memcmp(&a->floatValue, &b->floatValue, sizeof a->floatValue) == 0;
}

} // namespace

extern "C" {

// Floats compare by their encoding, so a NaN equals the same NaN and 0.0 differs from -0.0,
// as the encoded values on the wire would. UTC times compare all 8 bytes, quality included.
bool MmsValue_equals(const MmsValue* self, const MmsValue* otherValue) try {
    if (!self || !otherValue || self->type != otherValue->type)
        return false;
    switch (self->type) {
    case MMS_ARRAY:
    case MMS_STRUCTURE:
        if (self->components.size() != otherValue->components.size())
            return false;
        for (std::size_t i = 0; i < self->components.size(); ++i) {
            const MmsValue* a = self->components[i];
            const MmsValue* b = otherValue->components[i];
            if ((a || b) && !MmsValue_equals(a, b))
                return false;
        }
        return true;
    case MMS_BOOLEAN:
        return self->boolean == otherValue->boolean;
    case MMS_INTEGER:
    case MMS_UNSIGNED:
    case MMS_BCD:
        return self->integer == otherValue->integer;
    case MMS_FLOAT:
        return sameFloat(self, otherValue);
    case MMS_BIT_STRING:
        return self->bitSize == otherValue->bitSize && self->bytes == otherValue->bytes;
    case MMS_OCTET_STRING:
        return self->octetCount == otherValue->octetCount &&
               std::equal(self->bytes.begin(),
                          self->bytes.begin() + static_cast<std::ptrdiff_t>(self->octetCount),
                          otherValue->bytes.begin());
    case MMS_OBJ_ID:
        return self->bytes == otherValue->bytes;
    case MMS_VISIBLE_STRING:
    case MMS_STRING:
    case MMS_GENERALIZED_TIME:
        return self->text == otherValue->text;
    case MMS_UTC_TIME:
        return std::memcmp(self->time, otherValue->time, 8) == 0;
    case MMS_BINARY_TIME:
        return self->binaryTimeSize == otherValue->binaryTimeSize &&
               std::memcmp(self->time, otherValue->time, self->binaryTimeSize) == 0;
    case MMS_DATA_ACCESS_ERROR:
        return self->accessError == otherValue->accessError;
    }
    return false;
} catch (...) {
    return false;
}

bool MmsValue_equalTypes(const MmsValue* self, const MmsValue* otherValue) try {
    if (!self || !otherValue || self->type != otherValue->type)
        return false;
    if (self->type != MMS_ARRAY && self->type != MMS_STRUCTURE)
        return true;
    if (self->components.size() != otherValue->components.size())
        return false;
    for (std::size_t i = 0; i < self->components.size(); ++i) {
        const MmsValue* a = self->components[i];
        const MmsValue* b = otherValue->components[i];
        if ((a || b) && !MmsValue_equalTypes(a, b))
            return false;
    }
    return true;
} catch (...) {
    return false;
}

// Structures and arrays are updated element by element and must have the same size; an
// element that cannot be updated stops the update (earlier elements keep their new content).
// Numbers keep the width of self; octet strings and texts take the source content whole.
bool MmsValue_update(MmsValue* self, const MmsValue* source) try {
    if (!self || !source || self->type != source->type)
        return false;
    switch (self->type) {
    case MMS_ARRAY:
    case MMS_STRUCTURE:
        if (self->components.size() != source->components.size())
            return false;
        for (std::size_t i = 0; i < self->components.size(); ++i) {
            MmsValue* target = self->components[i];
            const MmsValue* from = source->components[i];
            if (!target && !from)
                continue;
            if (!target) {
                self->components[i] = MmsValue_clone(from);
                continue;
            }
            if (!MmsValue_update(target, from))
                return false;
        }
        return true;
    case MMS_FLOAT:
        MmsValue_setDouble(self, source->floatValue);
        return true;
    case MMS_OCTET_STRING:
        iecx::value::setOctets(self, iecx::value::octets(source), iecx::value::octetCount(source));
        return true;
    case MMS_BIT_STRING:
        self->bitSize = source->bitSize;
        self->bytes = source->bytes;
        return true;
    default: {
        const bool deletable = self->deletable;
        const int maxSize = self->maxSize;
        const uint8_t integerSize = self->integerSize;
        *self = *source;
        self->deletable = deletable;
        self->integerSize = integerSize;
        if (self->type == MMS_VISIBLE_STRING || self->type == MMS_STRING)
            self->maxSize = maxSize > 0 && static_cast<int>(self->text.size()) > maxSize
                                ? static_cast<int>(self->text.size())
                                : maxSize;
        return true;
    }
    }
} catch (...) {
    return false;
}

} // extern "C"
