// Layout of MmsValue inside the stack. Only stack code includes this header; users see the
// opaque type of mms_value.h. Encoders and decoders may read and write the fields directly,
// keeping the invariants noted per field.
#pragma once
#include "mms_value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct sMmsValue {
    MmsType type = MMS_BOOLEAN;
    // false for values that a stack object owns and users must not delete.
    bool deletable = true;

    // MMS_BOOLEAN
    bool boolean = false;

    // MMS_INTEGER (signed) and MMS_UNSIGNED: the number and its declared size in bytes
    // (1..8). Unsigned values are held in `integer` as a non-negative number (up to 2^63-1),
    // except that values from 2^63 on are stored bit for bit (read them with uint64_t casts).
    int64_t integer = 0;
    uint8_t integerSize = 4;

    // MMS_FLOAT: the value and its format width, 32 (single) or 64 (double). A single
    // precision value is always held rounded to float.
    double floatValue = 0.0;
    uint8_t floatWidth = 32;

    // MMS_BIT_STRING: bitSize bits in (bitSize + 7) / 8 bytes; bit 0 is the most significant
    // bit of bytes[0]. Padding bits of the last byte are kept zero.
    // MMS_OCTET_STRING: `bytes` is the storage of the maximum size (never smaller than the
    // content), so that the buffer handed to users can take up to maxSize octets; the content
    // is its first `octetCount` octets. Use octets() and setOctets() below.
    std::vector<uint8_t> bytes;
    std::size_t octetCount = 0;
    int bitSize = 0;
    int maxSize = 0; // MMS_OCTET_STRING: maximum size; strings: maximum length, 0 unbounded

    // MMS_VISIBLE_STRING and MMS_STRING
    std::string text;

    // MMS_UTC_TIME: 4 bytes seconds (big endian), 3 bytes fraction of a second, 1 byte quality.
    // MMS_BINARY_TIME: 4 bytes milliseconds of the day, 2 bytes days since 1984-01-01 (big
    // endian); binaryTimeSize is 4 (time of day only) or 6.
    uint8_t time[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t binaryTimeSize = 6;

    // MMS_DATA_ACCESS_ERROR
    MmsDataAccessError accessError = DATA_ACCESS_ERROR_SUCCESS;

    // MMS_STRUCTURE and MMS_ARRAY: owned components (slots may be null).
    std::vector<MmsValue*> components;
};

namespace iecx::value {

// A new value of the given type with default content.
MmsValue* make(MmsType type);

// The 24-bit fraction of a second of a UTC time in units of 1/unitsPerSecond, rounded to the
// nearest unit. Truncating would read one unit low the times of publishers that write the
// fraction truncated themselves (1 ms = 16777.216 / 2^24 s).
inline uint64_t fractionIn(uint64_t fraction24, uint64_t unitsPerSecond) {
    return (fraction24 * unitsPerSecond + (uint64_t(1) << 23)) >> 24;
}

// The content of an octet string value.
inline const uint8_t* octets(const MmsValue* v) {
    return v->bytes.data();
}
inline std::size_t octetCount(const MmsValue* v) {
    return v->octetCount;
}
// Replaces the content of an octet string value (`data` may point into its own storage); the
// storage grows, and the maximum size with it, when the content is longer.
inline void setOctets(MmsValue* v, const uint8_t* data, std::size_t size) {
    if (static_cast<std::size_t>(v->maxSize) < size)
        v->maxSize = static_cast<int>(size);
    const std::size_t storage = static_cast<std::size_t>(v->maxSize);
    if (v->bytes.size() < storage) {
        std::vector<uint8_t> grown(storage, 0);
        if (size > 0)
            std::memcpy(grown.data(), data, size);
        v->bytes.swap(grown);
    } else if (size > 0 && data != v->bytes.data()) {
        std::memmove(v->bytes.data(), data, size);
    }
    std::fill(v->bytes.begin() + static_cast<std::ptrdiff_t>(size), v->bytes.end(), uint8_t(0));
    v->octetCount = size;
}

} // namespace iecx::value
