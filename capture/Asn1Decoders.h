#pragma once
// Decoders of single fields of captured frames, for display: BER identifier and length octets,
// BIT STRING contents, the PRP redundancy control trailer and the 8-byte IEC 61850 UtcTime.
// Each decodes at construction and keeps only the decoded numbers.
#include <cstdint>
#include <string>
#include <vector>

namespace VorIec61850 {
namespace ASN1 {

class BitString {
public:
    BitString() = default;
    BitString(int bitCount, const std::vector<unsigned char>& bytes) : _bitCount(bitCount), bytes(bytes) {}

    // Every bit of every byte, most significant first, padding bits included.
    std::vector<bool> getBytes() const;
    // The bytes as upper-case hexadecimal pairs without separator.
    std::string to_string() const;
    // The bit count given at construction (the operations work on whole bytes).
    int bitCount() const { return _bitCount; }

private:
    int _bitCount = 0;

public:
    std::vector<unsigned char> bytes;
};

class OctetsIdentifier {
public:
    // Decodes the identifier octets at `offset`; stops at the end of `data`.
    OctetsIdentifier(const std::vector<unsigned char>& data, unsigned long long offset);
    std::string to_string() const;

    uint8_t tagClass = 0; // 0 universal, 1 application, 2 context-specific, 3 private
    bool isComplex = false;
    int32_t size = 0; // identifier octets
    uint32_t tag = 0;
};

class OctetsLength {
public:
    // The caller guarantees that the length octets lie within the data.
    OctetsLength(const unsigned char* data, int offset);
    OctetsLength(const std::vector<unsigned char>& data, int offset);
    std::string to_string() const;

    uint32_t length = 0;
    uint32_t size = 0; // length octets
};

class PRP {
public:
    // Decodes the four trailer bytes at `offset` (the caller guarantees they exist).
    PRP(const std::vector<unsigned char>& data, int offset);
    uint16_t SequenceNumber() const { return sequenceNumber; }
    uint16_t LAN() const { return lan; }
    uint16_t LSDUsize() const { return lsduSize; }
    std::string to_string() const;

    uint16_t sequenceNumber = 0;
    uint16_t lan = 0;
    uint16_t lsduSize = 0;
};

class UtcTime {
public:
    UtcTime() = default;
    // Reads eight bytes at `offset` as one big-endian number; fewer than eight leave 0.
    UtcTime(const std::vector<unsigned char>& data, int offset);

    // Significant bits of the fraction, from the time-accuracy field (the low five bits of the
    // quality byte, as IEC 61850-8-1 places it). 0 and values above 24 (31 = unspecified)
    // count as 24: the whole fraction is used.
    uint8_t Accuracy() const;
    // The fraction of a second, reduced to its significant bits.
    int32_t Fractions() const;
    // Time since the Unix epoch in units of 100 ns.
    int64_t Ticks100Nanoseconds() const;

    uint64_t value = 0;

private:
    uint8_t storedAccuracy() const { return static_cast<uint8_t>(value & 0x1F); }
};

} // namespace ASN1
} // namespace VorIec61850
