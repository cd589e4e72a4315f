#pragma once
// BER (ISO/IEC 8825-1) reading and writing shared by every protocol layer of the stack.
// The reader is a bounded cursor: it never reads past the end it was given and reports
// malformed input by return value. The writer appends to a growable buffer and patches
// lengths when a constructed element is closed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stack {
namespace ber {

enum TagClass : uint8_t { Universal = 0x00, Application = 0x40, Context = 0x80, Private = 0xC0 };

// One decoded TLV. `value` points into the reader's buffer.
struct Tlv {
    uint8_t tagClass = 0; // one of TagClass
    bool constructed = false;
    uint32_t tagNumber = 0;
    const uint8_t* value = nullptr;
    size_t length = 0;
    size_t headerLength = 0;        // identifier and length octets
    const uint8_t* start = nullptr; // first identifier octet

    // The single-octet identifier for tags below 31 (class | constructed | number), as they
    // appear on the wire, e.g. 0xA0 for [0] constructed, 0x80 for [0] primitive.
    uint8_t identifier() const {
        return static_cast<uint8_t>(tagClass | (constructed ? 0x20 : 0) | (tagNumber < 31 ? tagNumber : 31));
    }
    bool is(uint8_t cls, bool cons, uint32_t number) const {
        return tagClass == cls && constructed == cons && tagNumber == number;
    }
    size_t totalLength() const { return headerLength + length; }
};

class Reader {
public:
    Reader() = default;
    Reader(const uint8_t* data, size_t size) : _pos(data), _end(data + size) {}
    explicit Reader(const Tlv& constructed) : Reader(constructed.value, constructed.length) {}

    bool atEnd() const { return _pos >= _end; }
    size_t remaining() const { return static_cast<size_t>(_end - _pos); }
    const uint8_t* position() const { return _pos; }

    // Decodes the next TLV and moves past it. Returns false, without moving, when the input
    // is malformed: truncated identifier or length, indefinite length, a length beyond the end,
    // or a tag number that does not fit 32 bits.
    bool next(Tlv& out);
    // Looks at the next TLV without moving.
    bool peek(Tlv& out) const {
        Reader copy = *this;
        return copy.next(out);
    }

private:
    const uint8_t* _pos = nullptr;
    const uint8_t* _end = nullptr;
};

// Decodes a whole buffer as exactly one TLV (nothing may follow it).
bool decodeSingle(const uint8_t* data, size_t size, Tlv& out);

// Primitive contents. Each returns false for contents it cannot represent.
bool decodeBoolean(const Tlv& tlv, bool& out);
bool decodeInt64(const uint8_t* data, size_t length, int64_t& out);   // two's complement, 1..8 octets
bool decodeUint64(const uint8_t* data, size_t length, uint64_t& out); // unsigned, 1..9 octets (leading 0)
inline bool decodeInt64(const Tlv& t, int64_t& out) {
    return decodeInt64(t.value, t.length, out);
}
inline bool decodeUint64(const Tlv& t, uint64_t& out) {
    return decodeUint64(t.value, t.length, out);
}
inline bool decodeUint32(const Tlv& t, uint32_t& out) {
    uint64_t v = 0;
    if (!decodeUint64(t, v) || v > 0xFFFFFFFFu)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}
inline bool decodeInt32(const Tlv& t, int32_t& out) {
    int64_t v = 0;
    if (!decodeInt64(t, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}
inline std::string decodeString(const Tlv& t) {
    return std::string(reinterpret_cast<const char*>(t.value), t.length);
}

// Minimal number of octets of a two's complement / unsigned integer encoding.
size_t integerLength(int64_t value);
size_t unsignedLength(uint64_t value);
// Number of octets of a definite length field for `length`.
size_t lengthFieldSize(size_t length);

class Writer {
public:
    Writer() { _buf.reserve(256); }

    // Opens a constructed element; returns a mark for close().
    size_t open(uint8_t identifier);
    size_t open(uint8_t tagClass, uint32_t tagNumber);
    // Closes the element opened at `mark`, writing its definite length.
    void close(size_t mark);

    void writeTag(uint8_t tagClass, bool constructed, uint32_t tagNumber);
    void writeLength(size_t length);

    void primitive(uint8_t identifier, const uint8_t* data, size_t length);
    void primitive(uint8_t identifier, const std::string& text) {
        primitive(identifier, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    void boolean(uint8_t identifier, bool value);
    void integer(uint8_t identifier, int64_t value);
    void unsignedInteger(uint8_t identifier, uint64_t value); // adds a leading zero octet when needed
    // Bit string: `bitCount` bits taken from `bits` (first bit = most significant of byte 0).
    void bitString(uint8_t identifier, const uint8_t* bits, size_t bitCount);
    void raw(const uint8_t* data, size_t length) { _buf.insert(_buf.end(), data, data + length); }
    void raw(const std::vector<uint8_t>& data) { raw(data.data(), data.size()); }

    const std::vector<uint8_t>& bytes() const { return _buf; }
    std::vector<uint8_t>& bytes() { return _buf; }
    size_t size() const { return _buf.size(); }
    void clear() { _buf.clear(); }

private:
    std::vector<uint8_t> _buf;
};

} // namespace ber
} // namespace stack
