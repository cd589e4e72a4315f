#pragma once
// RFC 1006 TPKT framing and ISO 8073 COTP class 0 TPDUs (CR, CC, DT, DR, ER).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace stack {
namespace iso {

constexpr uint8_t kTpktVersion = 3;
constexpr size_t kTpktHeaderSize = 4;
// Largest TPKT the stack accepts; the length field is 16 bits.
constexpr size_t kMaxTpktSize = 65535;

enum CotpCode : uint8_t { CotpCR = 0xE0, CotpCC = 0xD0, CotpDR = 0x80, CotpDT = 0xF0, CotpER = 0x70 };

// TPDU size codes of the tpdu-size parameter: 7 (128 octets) to 13 (8192 octets).
constexpr uint8_t kTpduSizeCodeMin = 7;
constexpr uint8_t kTpduSizeCodeMax = 13;
inline size_t tpduSizeFromCode(uint8_t code) {
    return size_t(1) << code;
}

struct CotpTpdu {
    uint8_t code = 0; // one of CotpCode (upper four bits for CR/CC)
    // CR, CC, DR
    uint16_t dstRef = 0;
    uint16_t srcRef = 0;
    uint8_t classOption = 0;
    uint8_t tpduSizeCode = 0; // 0 when absent
    std::vector<uint8_t> callingTsel;
    std::vector<uint8_t> calledTsel;
    uint8_t reason = 0; // DR
    // DT
    bool eot = true;
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
};

// Writes a TPKT header for a TPKT of `totalLength` octets (header included) at out[0..3].
void writeTpktHeader(uint8_t* out, size_t totalLength);
// Length of the TPKT starting at p (which has at least 4 octets), or 0 when the header is not
// a valid TPKT header (wrong version, or a length too small to hold a COTP header).
size_t tpktLength(const uint8_t* p);

// Decodes one COTP TPDU (the TPKT payload). Returns false for malformed TPDUs.
bool decodeCotp(const uint8_t* p, size_t n, CotpTpdu& out);

// Appends complete TPKTs.
void appendConnectRequest(std::vector<uint8_t>& out, uint16_t srcRef, uint8_t tpduSizeCode,
                          const std::vector<uint8_t>& callingTsel, const std::vector<uint8_t>& calledTsel);
void appendConnectConfirm(std::vector<uint8_t>& out, uint16_t dstRef, uint16_t srcRef, uint8_t tpduSizeCode,
                          const std::vector<uint8_t>& callingTsel, const std::vector<uint8_t>& calledTsel);
void appendDisconnectRequest(std::vector<uint8_t>& out, uint16_t dstRef, uint16_t srcRef, uint8_t reason);
// The DT header (TPKT header + 3 octets); the caller appends `payloadLength` octets after it.
void appendDataHeader(std::vector<uint8_t>& out, size_t payloadLength, bool eot);
constexpr size_t kDataHeaderSize = kTpktHeaderSize + 3;

} // namespace iso
} // namespace stack
