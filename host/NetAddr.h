#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vor {
namespace Net {

// A network address of a fixed number of bytes: 4 (IPv4, decimal, '.') or 6 (MAC, hexadecimal,
// ':' or '-'). Parsing throws std::invalid_argument when the text is not such an address.
class NetAddr {
public:
    NetAddr(size_t byteCount, char separator);
    NetAddr(const std::string& text, size_t byteCount, char separator);
    NetAddr(const uint8_t* bytes, size_t byteCount, char separator);

    const std::vector<uint8_t>& bytes() const { return _bytes; }
    const uint8_t* data() const { return _bytes.data(); }
    size_t size() const { return _bytes.size(); }

    // Four-byte addresses print as decimal numbers, others as upper-case hexadecimal pairs.
    std::string to_string(char separator) const;
    std::string to_string() const { return to_string(_separator); }

    bool operator==(const NetAddr& other) const { return _bytes == other._bytes; }

private:
    std::vector<uint8_t> _bytes;
    char _separator;
};

} // namespace Net
} // namespace Vor
