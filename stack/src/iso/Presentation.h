#pragma once
// ISO 8823 presentation PPDUs (CP, CPA, fully encoded user data) and ISO 8650 ACSE APDUs
// (AARQ, AARE, RLRQ, RLRE) as used by MMS: two presentation contexts, ACSE (2.2.1.0.1) and
// MMS (1.0.9506.2.1), both with the BER transfer syntax (2.1.1).
#include "stack/src/iso/AssociationParams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stack {
namespace iso {

// Context identifiers the initiator proposes.
constexpr uint8_t kAcseContextId = 1;
constexpr uint8_t kMmsContextId = 3;

struct Bytes {
    const uint8_t* data = nullptr;
    size_t length = 0;
};

// ---- presentation ----

// CP-type with the two contexts and user data = AARQ (in the ACSE context).
void appendCpType(std::vector<uint8_t>& out, const uint8_t* acseApdu, size_t length);
void appendCpType(std::vector<uint8_t>& out, const uint8_t* acseApdu, size_t length,
                  const std::vector<uint8_t>& callingSelector, const std::vector<uint8_t>& calledSelector);

struct CpInfo {
    int acseContextId = -1;
    int mmsContextId = -1;
    // Context identifiers in proposal order, with whether each is accepted.
    std::vector<std::pair<int, bool>> contexts;
    Bytes userData; // the ACSE APDU
};
bool decodeCpType(const uint8_t* p, size_t n, CpInfo& out);

// CPA-PPDU accepting/rejecting the proposed contexts and carrying the AARE.
void appendCpaPpdu(std::vector<uint8_t>& out, const CpInfo& cp, const uint8_t* acseApdu, size_t length);
// Returns false when malformed; userData is the AARE.
bool decodeCpaPpdu(const uint8_t* p, size_t n, Bytes& userData);

// Fully encoded user data with one PDV list of context `contextId`.
void appendUserData(std::vector<uint8_t>& out, int contextId, const uint8_t* data, size_t length);
// The header of appendUserData for `length` octets of data, so that the data can be appended
// without copying it twice.
void appendUserDataHeader(std::vector<uint8_t>& out, int contextId, size_t length);
bool decodeUserData(const uint8_t* p, size_t n, int& contextId, Bytes& data);

// ---- ACSE ----

void appendAarq(std::vector<uint8_t>& out, int mmsContextId, const uint8_t* mmsPdu, size_t length);
// With the AP titles, AE qualifiers and password of `params`.
void appendAarq(std::vector<uint8_t>& out, int mmsContextId, const uint8_t* mmsPdu, size_t length,
                const AssociationParams& params);
// userData is the MMS initiate request.
bool decodeAarq(const uint8_t* p, size_t n, Bytes& userData);
bool decodeAarq(const uint8_t* p, size_t n, Bytes& userData, Authentication& authentication);
// A rejection carries `diagnostic` (acse-service-user; negative: no reason given).
void appendAare(std::vector<uint8_t>& out, bool accepted, int mmsContextId, const uint8_t* mmsPdu,
                size_t length, int diagnostic = -1);
bool decodeAare(const uint8_t* p, size_t n, bool& accepted, Bytes& userData);
void appendRlrq(std::vector<uint8_t>& out);
void appendRlre(std::vector<uint8_t>& out);

enum class AcseApdu { Aarq, Aare, Rlrq, Rlre, Abrt, Unknown };
AcseApdu acseApduType(const uint8_t* p, size_t n);

} // namespace iso
} // namespace stack
