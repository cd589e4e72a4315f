#include "capture/Asn1Decoders.h"

#include <cmath>
#include <cstdio>

namespace VorIec61850 {
namespace ASN1 {

std::vector<bool> BitString::getBytes() const {
    std::vector<bool> bits;
    bits.reserve(bytes.size() * 8);
    for (unsigned char b : bytes)
        for (int i = 7; i >= 0; --i)
            bits.push_back(((b >> i) & 1) != 0);
    return bits;
}

std::string BitString::to_string() const {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    return text;
}

OctetsIdentifier::OctetsIdentifier(const std::vector<unsigned char>& data, unsigned long long offset) {
    if (offset >= data.size())
        return;
    unsigned char b = data[offset];
    tagClass = static_cast<uint8_t>(b >> 6);
    isComplex = (b & 0x20) != 0;
    size = 1;
    if ((b & 0x1F) < 31) {
        tag = b & 0x1F;
        return;
    }
    tag = 0;
    for (unsigned long long i = offset + 1; i < data.size(); ++i) {
        tag = (tag << 7) | (data[i] & 0x7F);
        size = static_cast<int32_t>(i - offset + 1);
        if ((data[i] & 0x80) == 0)
            break;
    }
}

std::string OctetsIdentifier::to_string() const {
    return "Tag-" + std::to_string(static_cast<int32_t>(tag)) + ", Size-" + std::to_string(size) +
           ", Class-" + std::to_string(tagClass) + ", IsComplex-" + (isComplex ? "true" : "false");
}

OctetsLength::OctetsLength(const unsigned char* data, int offset) {
    unsigned char b = data[offset];
    if ((b & 0x80) == 0) {
        length = b;
        size = 1;
        return;
    }
    unsigned n = b & 0x7F;
    size = n + 1;
    if (n == 0) { // indefinite form: no length to report
        size = 1;
        return;
    }
    for (unsigned i = 1; i <= n; ++i)
        length = (length << 8) + data[offset + static_cast<int>(i)];
}

OctetsLength::OctetsLength(const std::vector<unsigned char>& data, int offset)
    : OctetsLength(data.data(), offset) {}

std::string OctetsLength::to_string() const {
    return "Length-" + std::to_string(static_cast<int32_t>(length)) + ", Size-" +
           std::to_string(static_cast<int32_t>(size));
}

PRP::PRP(const std::vector<unsigned char>& data, int offset) {
    const unsigned char* b = data.data() + offset;
    sequenceNumber = static_cast<uint16_t>(b[0] * 256 + b[1]);
    lan = static_cast<uint16_t>(b[2] >> 4);
    lsduSize = static_cast<uint16_t>((b[2] & 0x0F) * 256 + b[3]);
}

std::string PRP::to_string() const {
    const char* name = lan == 10 ? "LAN A" : lan == 11 ? "LAN B" : "null";
    return std::string(name) + " (" + std::to_string(lan) + ")";
}

UtcTime::UtcTime(const std::vector<unsigned char>& data, int offset) {
    if (offset < 0 || data.size() < 8 || static_cast<size_t>(offset) > data.size() - 8)
        return;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | data[static_cast<size_t>(offset + i)];
}

uint8_t UtcTime::Accuracy() const {
    uint8_t a = storedAccuracy();
    return (a == 0 || a > 24) ? 24 : a;
}

int32_t UtcTime::Fractions() const {
    uint32_t fraction = static_cast<uint32_t>((value >> 8) & 0xFFFFFF);
    return static_cast<int32_t>(fraction >> (24 - Accuracy()));
}

int64_t UtcTime::Ticks100Nanoseconds() const {
    int64_t seconds = static_cast<int64_t>(value >> 32);
    double part = static_cast<double>(Fractions()) / std::ldexp(1.0, Accuracy()) * 10000000.0;
    return seconds * 10000000 + static_cast<int64_t>(std::llround(part));
}

} // namespace ASN1
} // namespace VorIec61850
