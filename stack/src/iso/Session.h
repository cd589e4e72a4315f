#pragma once
// ISO 8327 session layer SPDUs used by MMS: CN, AC, RF, DT (with GT), FN, DN, AB, AA.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace stack {
namespace iso {

enum SpduType : uint8_t {
    SpduDataTransfer = 0x01, // also Give Tokens, which precedes DT in the same TSDU
    SpduFinish = 0x09,
    SpduDisconnect = 0x0A,
    SpduRefuse = 0x0C,
    SpduConnect = 0x0D,
    SpduAccept = 0x0E,
    SpduAbort = 0x19,
    SpduAbortAccept = 0x1A,
};

struct Spdu {
    uint8_t type = 0;
    const uint8_t* userData = nullptr; // session user data (presentation PPDU), may be empty
    size_t userDataLength = 0;
};

// Decodes one session TSDU. A DT is expected as Give Tokens (empty) followed by Data Transfer;
// a bare Data Transfer SPDU is accepted as well. Returns false for malformed input.
bool decodeSpdu(const uint8_t* p, size_t n, Spdu& out);

// Append a complete SPDU carrying `userData` (the presentation PPDU).
// Session selector both sides use unless configured otherwise.
inline const std::vector<uint8_t> kDefaultSsel = {0x00, 0x01};

void appendConnectSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length);
void appendConnectSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length,
                       const std::vector<uint8_t>& callingSsel, const std::vector<uint8_t>& calledSsel);
void appendAcceptSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length);
void appendFinishSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length);
void appendDisconnectSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length);
void appendRefuseSpdu(std::vector<uint8_t>& out);
void appendAbortSpdu(std::vector<uint8_t>& out);
// Give Tokens + Data Transfer headers; the presentation PPDU follows directly.
constexpr uint8_t kDataSpduHeader[4] = {0x01, 0x00, 0x01, 0x00};

} // namespace iso
} // namespace stack
