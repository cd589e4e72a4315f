#pragma once
// Addressing and authentication of an association: the selectors of the transport, session
// and presentation layers, ACSE AP titles and AE qualifiers, the ACSE password and the local
// TCP end point of the initiator.
#include <cstdint>
#include <string>
#include <vector>

namespace stack {
namespace iso {

struct EndPoint {
    std::vector<uint8_t> pSelector{0x00, 0x00, 0x00, 0x01};
    std::vector<uint8_t> sSelector{0x00, 0x01};
    std::vector<uint8_t> tSelector{0x00, 0x01};
    std::vector<uint8_t> apTitle; // BER contents of the AP title's object identifier; empty: none
    int32_t aeQualifier = 0;      // sent together with the AP title
};

struct AssociationParams {
    EndPoint local;
    EndPoint remote;
    bool hasPassword = false;
    std::string password;
    std::string localAddress; // bind the TCP socket here before connecting; empty: any
    uint16_t localPort = 0;
};

// The authentication an initiator presented in its AARQ.
struct Authentication {
    bool present = false;  // sender-acse-requirements asked for authentication
    bool password = false; // mechanism 2.2.3.1 (password)
    std::string value;     // the password (charstring authentication value)
};

// ACSE diagnostics (acse-service-user) of a rejected association.
constexpr int kAcseDiagnosticAuthenticationFailure = 13;
constexpr int kAcseDiagnosticAuthenticationRequired = 14;

// Encodes a dotted object identifier ("1.1.1.999.1") as BER contents; false for bad text.
bool encodeObjectIdentifier(const std::string& text, std::vector<uint8_t>& out);

} // namespace iso
} // namespace stack
