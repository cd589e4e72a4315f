#include "stack/src/ber/Ber.h"

#include <cstring>

namespace stack {
namespace ber {

bool Reader::next(Tlv& out) {
    const uint8_t* p = _pos;
    if (p >= _end)
        return false;
    Tlv t;
    t.start = p;
    uint8_t first = *p++;
    t.tagClass = first & 0xC0;
    t.constructed = (first & 0x20) != 0;
    t.tagNumber = first & 0x1F;
    if (t.tagNumber == 0x1F) {
        // High tag number form: base-128 digits, at most five octets for 32 bits.
        uint32_t number = 0;
        int digits = 0;
        for (;;) {
            if (p >= _end || digits == 5)
                return false;
            uint8_t b = *p++;
            number = (number << 7) | (b & 0x7F);
            ++digits;
            if ((b & 0x80) == 0)
                break;
        }
        t.tagNumber = number;
    }
    if (p >= _end)
        return false;
    uint8_t lenByte = *p++;
    size_t length = 0;
    if (lenByte < 0x80) {
        length = lenByte;
    } else {
        size_t n = lenByte & 0x7F;
        // n == 0 is the indefinite form, which none of our protocols needs; more than four
        // octets of length cannot describe a buffer we would accept anyway.
        if (n == 0 || n > 4 || static_cast<size_t>(_end - p) < n)
            return false;
        for (size_t i = 0; i < n; ++i)
            length = (length << 8) | *p++;
    }
    if (length > static_cast<size_t>(_end - p))
        return false;
    t.value = p;
    t.length = length;
    t.headerLength = static_cast<size_t>(p - _pos);
    _pos = p + length;
    out = t;
    return true;
}

bool decodeSingle(const uint8_t* data, size_t size, Tlv& out) {
    Reader r(data, size);
    return r.next(out) && r.atEnd();
}

bool decodeBoolean(const Tlv& tlv, bool& out) {
    if (tlv.length != 1)
        return false;
    out = tlv.value[0] != 0;
    return true;
}

bool decodeInt64(const uint8_t* data, size_t length, int64_t& out) {
    if (length == 0 || length > 8)
        return false;
    uint64_t v = (data[0] & 0x80) ? ~uint64_t(0) : 0;
    for (size_t i = 0; i < length; ++i)
        v = (v << 8) | data[i];
    out = static_cast<int64_t>(v);
    return true;
}

bool decodeUint64(const uint8_t* data, size_t length, uint64_t& out) {
    if (length == 0 || length > 9 || (length == 9 && data[0] != 0))
        return false;
    uint64_t v = 0;
    for (size_t i = 0; i < length; ++i)
        v = (v << 8) | data[i];
    out = v;
    return true;
}

size_t integerLength(int64_t value) {
    size_t n = 1;
    while (n < 8) {
        int64_t min = -(int64_t(1) << (8 * n - 1));
        int64_t max = (int64_t(1) << (8 * n - 1)) - 1;
        if (value >= min && value <= max)
            break;
        ++n;
    }
    return n;
}

size_t unsignedLength(uint64_t value) {
    // Unsigned values are encoded as non-negative INTEGERs: a set top bit needs a leading zero.
    // n octets hold values below 2^(8n-1); from 2^63 on a ninth octet is needed.
    size_t n = 1;
    while (n < 8 && (value >> (8 * n - 1)) != 0)
        ++n;
    return (value >> 63) != 0 ? 9 : n;
}

size_t lengthFieldSize(size_t length) {
    if (length < 0x80)
        return 1;
    size_t n = 0;
    for (size_t v = length; v != 0; v >>= 8)
        ++n;
    return 1 + n;
}

void Writer::writeTag(uint8_t tagClass, bool constructed, uint32_t tagNumber) {
    uint8_t first = static_cast<uint8_t>(tagClass | (constructed ? 0x20 : 0));
    if (tagNumber < 31) {
        _buf.push_back(static_cast<uint8_t>(first | tagNumber));
        return;
    }
    _buf.push_back(static_cast<uint8_t>(first | 0x1F));
    uint8_t digits[5];
    int n = 0;
    do {
        digits[n++] = tagNumber & 0x7F;
        tagNumber >>= 7;
    } while (tagNumber != 0);
    while (n > 0) {
        --n;
        _buf.push_back(static_cast<uint8_t>(digits[n] | (n > 0 ? 0x80 : 0)));
    }
}

void Writer::writeLength(size_t length) {
    if (length < 0x80) {
        _buf.push_back(static_cast<uint8_t>(length));
        return;
    }
    size_t n = lengthFieldSize(length) - 1;
    _buf.push_back(static_cast<uint8_t>(0x80 | n));
    for (size_t i = n; i > 0; --i)
        _buf.push_back(static_cast<uint8_t>(length >> (8 * (i - 1))));
}

size_t Writer::open(uint8_t identifier) {
    _buf.push_back(identifier);
    _buf.push_back(0); // length placeholder, widened by close() when needed
    return _buf.size();
}

size_t Writer::open(uint8_t tagClass, uint32_t tagNumber) {
    writeTag(tagClass, true, tagNumber);
    _buf.push_back(0);
    return _buf.size();
}

void Writer::close(size_t mark) {
    size_t length = _buf.size() - mark;
    size_t field = lengthFieldSize(length);
    if (field > 1)
        _buf.insert(_buf.begin() + static_cast<std::ptrdiff_t>(mark), field - 1, 0);
    uint8_t* p = _buf.data() + mark - 1;
    if (field == 1) {
        *p = static_cast<uint8_t>(length);
    } else {
        *p++ = static_cast<uint8_t>(0x80 | (field - 1));
        for (size_t i = field - 1; i > 0; --i)
            *p++ = static_cast<uint8_t>(length >> (8 * (i - 1)));
    }
}

void Writer::primitive(uint8_t identifier, const uint8_t* data, size_t length) {
    _buf.push_back(identifier);
    writeLength(length);
    if (length > 0)
        _buf.insert(_buf.end(), data, data + length);
}

void Writer::boolean(uint8_t identifier, bool value) {
    uint8_t v = value ? 0xFF : 0x00;
    primitive(identifier, &v, 1);
}

void Writer::integer(uint8_t identifier, int64_t value) {
    size_t n = integerLength(value);
    _buf.push_back(identifier);
    writeLength(n);
    for (size_t i = n; i > 0; --i)
        _buf.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * (i - 1))));
}

void Writer::unsignedInteger(uint8_t identifier, uint64_t value) {
    size_t n = unsignedLength(value);
    _buf.push_back(identifier);
    writeLength(n);
    for (size_t i = n; i > 0; --i)
        _buf.push_back(i > 8 ? 0 : static_cast<uint8_t>(value >> (8 * (i - 1))));
}

void Writer::bitString(uint8_t identifier, const uint8_t* bits, size_t bitCount) {
    size_t bytes = (bitCount + 7) / 8;
    _buf.push_back(identifier);
    writeLength(bytes + 1);
    _buf.push_back(static_cast<uint8_t>(bytes * 8 - bitCount)); // unused bits in the last octet
    size_t start = _buf.size();
    if (bytes > 0) {
        _buf.insert(_buf.end(), bits, bits + bytes);
        // Unused trailing bits are sent as zero.
        size_t unused = bytes * 8 - bitCount;
        _buf[start + bytes - 1] &= static_cast<uint8_t>(0xFF << unused);
    }
}

} // namespace ber
} // namespace stack
