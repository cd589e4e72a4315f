#include "host/NetAddr.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace Vor {
namespace Net {

namespace {

bool isSeparator(char c, bool hex) {
    return hex ? (c == ':' || c == '-') : c == '.';
}

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

NetAddr::NetAddr(size_t byteCount, char separator) : _bytes(byteCount, 0), _separator(separator) {}

NetAddr::NetAddr(const uint8_t* bytes, size_t byteCount, char separator)
    : _bytes(bytes, bytes + byteCount), _separator(separator) {}

NetAddr::NetAddr(const std::string& text, size_t byteCount, char separator) : _separator(separator) {
    // IPv4 is written in decimal, everything else (MAC) in hexadecimal.
    const bool hex = byteCount != 4;
    const int base = hex ? 16 : 10;
    const size_t maxDigits = hex ? 2 : 3;
    size_t i = 0;
    auto fail = [&]() { throw std::invalid_argument("NetAddr: cannot parse address '" + text + "'"); };
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    for (size_t b = 0; b < byteCount; ++b) {
        if (b > 0) {
            if (i >= text.size() || !isSeparator(text[i], hex))
                fail();
            ++i;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (i < text.size() && digits < maxDigits && digitValue(text[i], hex) >= 0) {
            value = value * base + static_cast<unsigned>(digitValue(text[i], hex));
            ++i;
            ++digits;
        }
        if (digits == 0 || value > 255)
            fail();
        _bytes.push_back(static_cast<uint8_t>(value));
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i != text.size())
        fail();
}

std::string NetAddr::to_string(char separator) const {
    std::string out;
    char buf[8];
    for (size_t i = 0; i < _bytes.size(); ++i) {
        if (i > 0)
            out += separator;
        std::snprintf(buf, sizeof buf, _bytes.size() == 4 ? "%u" : "%02X", static_cast<unsigned>(_bytes[i]));
        out += buf;
    }
    return out;
}

} // namespace Net
} // namespace Vor
