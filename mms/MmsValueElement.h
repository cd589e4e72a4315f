#pragma once
#include "host/Nullable.h"

#include "mms_value.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace VorIec61850 {

// A received value with its time stamp (Unix time in milliseconds, 0 when unknown). The element
// itself does not release the value; the pools create their elements with createOwned, whose
// shared pointer releases the value with the element, so an element stays valid however long
// the host keeps it.
class MmsValueElement {
public:
    // An element that takes value over: the value is deleted with the last shared pointer.
    static std::shared_ptr<MmsValueElement> createOwned(MmsValue* value, uint64_t unixTimestamp);

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
