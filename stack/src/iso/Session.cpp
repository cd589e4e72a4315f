#include "stack/src/iso/Session.h"

namespace stack {
namespace iso {

namespace {

constexpr uint8_t kPgiConnectAcceptItem = 0x05;
constexpr uint8_t kPiProtocolOptions = 0x13;
constexpr uint8_t kPiVersionNumber = 0x16;
constexpr uint8_t kPiSessionUserRequirements = 0x14;
constexpr uint8_t kPiCallingSsel = 0x33;
constexpr uint8_t kPiCalledSsel = 0x34;
constexpr uint8_t kPiTransportDisconnect = 0x11;
constexpr uint8_t kPgiUserData = 0xC1;

void appendLength(std::vector<uint8_t>& out, size_t length) {
    if (length < 255) {
        out.push_back(static_cast<uint8_t>(length));
    } else {
        out.push_back(0xFF);
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(length));
    }
}

// Reads a session length field at p[pos]; false when truncated.
bool readLength(const uint8_t* p, size_t n, size_t& pos, size_t& length) {
    if (pos >= n)
        return false;
    uint8_t b = p[pos++];
    if (b != 0xFF) {
        length = b;
        return true;
    }
    if (pos + 2 > n)
        return false;
    length = (size_t(p[pos]) << 8) | p[pos + 1];
    pos += 2;
    return true;
}

// SPDU with the parameters in `params` and optional user data, lengths patched in.
void appendSpdu(std::vector<uint8_t>& out, uint8_t si, const std::vector<uint8_t>& params,
                const uint8_t* userData, size_t length, bool withUserData) {
    std::vector<uint8_t> body = params;
    if (withUserData) {
        body.push_back(kPgiUserData);
        appendLength(body, length);
        body.insert(body.end(), userData, userData + length);
    }
    out.push_back(si);
    appendLength(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
}

void appendSelector(std::vector<uint8_t>& p, uint8_t code, const std::vector<uint8_t>& selector) {
    if (selector.empty() || selector.size() > 16)
        return;
    p.push_back(code);
    p.push_back(static_cast<uint8_t>(selector.size()));
    p.insert(p.end(), selector.begin(), selector.end());
}

std::vector<uint8_t> connectParams(bool accept, const std::vector<uint8_t>& calling,
                                   const std::vector<uint8_t>& called) {
    std::vector<uint8_t> p = {kPgiConnectAcceptItem,
                              6,
                              kPiProtocolOptions,
                              1,
                              0,
                              kPiVersionNumber,
                              1,
                              2,
                              kPiSessionUserRequirements,
                              2,
                              0x00,
                              0x02};
    if (!accept)
        appendSelector(p, kPiCallingSsel, calling);
    appendSelector(p, kPiCalledSsel, called); // the responding selector in AC
    return p;
}

} // namespace

bool decodeSpdu(const uint8_t* p, size_t n, Spdu& out) {
    out = Spdu();
    if (n < 2)
        return false;
    size_t pos = 0;
    uint8_t si = p[pos++];
    size_t length = 0;
    if (!readLength(p, n, pos, length) || pos + length > n)
        return false;
    if (si == SpduDataTransfer) {
        // Give Tokens (category 0) with no parameters, then Data Transfer; user information
        // is whatever follows the DT header and its parameters.
        if (length != 0)
            return false;
        if (pos == n) {
            out.type = SpduDataTransfer;
            out.userData = p + pos;
            return true;
        }
        if (p[pos] != SpduDataTransfer)
            return false;
        ++pos;
        size_t dtLength = 0;
        if (!readLength(p, n, pos, dtLength) || pos + dtLength > n)
            return false;
        pos += dtLength; // enclosure item and other parameters are not used
        out.type = SpduDataTransfer;
        out.userData = p + pos;
        out.userDataLength = n - pos;
        return true;
    }
    out.type = si;
    size_t end = pos + length;
    while (pos < end) {
        uint8_t code = p[pos++];
        size_t plen = 0;
        if (!readLength(p, end, pos, plen) || pos + plen > end)
            return false;
        if (code == kPgiUserData || code == 0xC2 /* extended user data */) {
            out.userData = p + pos;
            out.userDataLength = plen;
        }
        pos += plen;
    }
    switch (si) {
    case SpduFinish:
    case SpduDisconnect:
    case SpduRefuse:
    case SpduConnect:
    case SpduAccept:
    case SpduAbort:
    case SpduAbortAccept:
        return true;
    default:
        return false;
    }
}

void appendConnectSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length) {
    appendConnectSpdu(out, userData, length, kDefaultSsel, kDefaultSsel);
}

void appendConnectSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length,
                       const std::vector<uint8_t>& callingSsel, const std::vector<uint8_t>& calledSsel) {
    appendSpdu(out, SpduConnect, connectParams(false, callingSsel, calledSsel), userData, length, true);
}

void appendAcceptSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length) {
    appendSpdu(out, SpduAccept, connectParams(true, kDefaultSsel, kDefaultSsel), userData, length, true);
}

void appendFinishSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length) {
    appendSpdu(out, SpduFinish, {kPiTransportDisconnect, 1, 0x01}, userData, length, true);
}

void appendDisconnectSpdu(std::vector<uint8_t>& out, const uint8_t* userData, size_t length) {
    appendSpdu(out, SpduDisconnect, {}, userData, length, true);
}

void appendRefuseSpdu(std::vector<uint8_t>& out) {
    // Transport disconnect: release the transport connection; reason: rejection by the called
    // SS-user (code 0x02 in the reason code parameter 0x32).
    appendSpdu(out, SpduRefuse, {kPiTransportDisconnect, 1, 0x01, 0x32, 1, 0x02}, nullptr, 0, false);
}

void appendAbortSpdu(std::vector<uint8_t>& out) {
    // Transport disconnect released, user abort.
    appendSpdu(out, SpduAbort, {kPiTransportDisconnect, 1, 0x03}, nullptr, 0, false);
}

} // namespace iso
} // namespace stack
