#pragma once
#include "host/Nullable.h"

#include "mms_value.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace VorIec61850 {

// A received value with its time stamp (Unix time in milliseconds, 0 when unknown). The value
// is pointed to, not owned: it belongs to whoever created the element (for GOOSE and reports the
// protocol stack's data set of the subscription).
class MmsValueElement {
public:
    MmsValueElement() = default;
    MmsValueElement(MmsValue* value, uint64_t unixTimestamp) : value(value), unixTimestamp(unixTimestamp) {}

    MmsValue* getValue() const { return value; }
    uint64_t getUnixTimestamp() const { return unixTimestamp; }

    // defaultValue when there is no value, else the value read as a boolean.
    bool getBooleanValue(bool defaultValue) const;
    // Empty when there is no value, else the value read as a boolean.
    Vor::Nullable<bool> getNullableBooleanValue() const;

    MmsValue* value = nullptr;
    uint64_t unixTimestamp = 0;
};

// The value list of a pool: one entry per target path, empty until a value has arrived.
using MmsValueElementList = std::vector<std::shared_ptr<MmsValueElement>>;

} // namespace VorIec61850
