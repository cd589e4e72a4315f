#include "stack/src/iso/Cotp.h"

namespace stack {
namespace iso {

namespace {

// Parameter codes of CR/CC TPDUs.
constexpr uint8_t kParamTpduSize = 0xC0;
constexpr uint8_t kParamCallingTsel = 0xC1;
constexpr uint8_t kParamCalledTsel = 0xC2;

void appendConnect(std::vector<uint8_t>& out, uint8_t code, uint16_t dstRef, uint16_t srcRef,
                   uint8_t tpduSizeCode, const std::vector<uint8_t>& callingTsel,
                   const std::vector<uint8_t>& calledTsel) {
    size_t start = out.size();
    out.resize(start + kTpktHeaderSize);
    size_t liPos = out.size();
    out.push_back(0); // length indicator, set below
    out.push_back(code);
    out.push_back(static_cast<uint8_t>(dstRef >> 8));
    out.push_back(static_cast<uint8_t>(dstRef));
    out.push_back(static_cast<uint8_t>(srcRef >> 8));
    out.push_back(static_cast<uint8_t>(srcRef));
    out.push_back(0); // class 0, no options
    auto param = [&out](uint8_t c, const std::vector<uint8_t>& v) {
        out.push_back(c);
        out.push_back(static_cast<uint8_t>(v.size()));
        out.insert(out.end(), v.begin(), v.end());
    };
    if (!callingTsel.empty())
        param(kParamCallingTsel, callingTsel);
    if (!calledTsel.empty())
        param(kParamCalledTsel, calledTsel);
    if (tpduSizeCode != 0)
        param(kParamTpduSize, std::vector<uint8_t>{tpduSizeCode});
    out[liPos] = static_cast<uint8_t>(out.size() - liPos - 1);
    writeTpktHeader(out.data() + start, out.size() - start);
}

} // namespace

void writeTpktHeader(uint8_t* out, size_t totalLength) {
    out[0] = kTpktVersion;
    out[1] = 0;
    out[2] = static_cast<uint8_t>(totalLength >> 8);
    out[3] = static_cast<uint8_t>(totalLength);
}

size_t tpktLength(const uint8_t* p) {
    if (p[0] != kTpktVersion || p[1] != 0)
        return 0;
    size_t len = (size_t(p[2]) << 8) | p[3];
    if (len < kTpktHeaderSize + 2)
        return 0;
    return len;
}

bool decodeCotp(const uint8_t* p, size_t n, CotpTpdu& out) {
    if (n < 2)
        return false;
    size_t li = p[0];
    if (li == 0 || li == 255 || li + 1 > n)
        return false;
    out = CotpTpdu();
    uint8_t code = p[1];
    if ((code & 0xF0) == CotpDT) {
        if (li != 2)
            return false;
        out.code = CotpDT;
        out.eot = (p[2] & 0x80) != 0;
        out.data = p + 3;
        out.dataLength = n - 3;
        return true;
    }
    if ((code & 0xF0) == CotpCR || (code & 0xF0) == CotpCC) {
        if (li < 6)
            return false;
        out.code = code & 0xF0;
        out.dstRef = static_cast<uint16_t>((p[2] << 8) | p[3]);
        out.srcRef = static_cast<uint16_t>((p[4] << 8) | p[5]);
        out.classOption = p[6];
        size_t pos = 7;
        size_t end = li + 1;
        while (pos < end) {
            if (pos + 2 > end)
                return false;
            uint8_t c = p[pos];
            size_t len = p[pos + 1];
            pos += 2;
            if (pos + len > end)
                return false;
            if (c == kParamTpduSize) {
                if (len != 1)
                    return false;
                out.tpduSizeCode = p[pos];
            } else if (c == kParamCallingTsel) {
                out.callingTsel.assign(p + pos, p + pos + len);
            } else if (c == kParamCalledTsel) {
                out.calledTsel.assign(p + pos, p + pos + len);
            }
            // Other parameters (preferred maximum TPDU size, version, checksum, ...) are ignored.
            pos += len;
        }
        // Class 0 carries no user data in CR/CC.
        return true;
    }
    if (code == CotpDR) {
        if (li < 6)
            return false;
        out.code = CotpDR;
        out.dstRef = static_cast<uint16_t>((p[2] << 8) | p[3]);
        out.srcRef = static_cast<uint16_t>((p[4] << 8) | p[5]);
        out.reason = p[6];
        return true;
    }
    if (code == CotpER) {
        if (li < 4)
            return false;
        out.code = CotpER;
        out.dstRef = static_cast<uint16_t>((p[2] << 8) | p[3]);
        out.reason = p[4];
        return true;
    }
    return false;
}

void appendConnectRequest(std::vector<uint8_t>& out, uint16_t srcRef, uint8_t tpduSizeCode,
                          const std::vector<uint8_t>& callingTsel, const std::vector<uint8_t>& calledTsel) {
    appendConnect(out, CotpCR, 0, srcRef, tpduSizeCode, callingTsel, calledTsel);
}

void appendConnectConfirm(std::vector<uint8_t>& out, uint16_t dstRef, uint16_t srcRef, uint8_t tpduSizeCode,
                          const std::vector<uint8_t>& callingTsel, const std::vector<uint8_t>& calledTsel) {
    appendConnect(out, CotpCC, dstRef, srcRef, tpduSizeCode, callingTsel, calledTsel);
}

void appendDisconnectRequest(std::vector<uint8_t>& out, uint16_t dstRef, uint16_t srcRef, uint8_t reason) {
    size_t start = out.size();
    out.resize(start + kTpktHeaderSize);
    const uint8_t tpdu[] = {6,
                            CotpDR,
                            static_cast<uint8_t>(dstRef >> 8),
                            static_cast<uint8_t>(dstRef),
                            static_cast<uint8_t>(srcRef >> 8),
                            static_cast<uint8_t>(srcRef),
                            reason};
    out.insert(out.end(), tpdu, tpdu + sizeof(tpdu));
    writeTpktHeader(out.data() + start, out.size() - start);
}

void appendDataHeader(std::vector<uint8_t>& out, size_t payloadLength, bool eot) {
    size_t start = out.size();
    out.resize(start + kDataHeaderSize);
    writeTpktHeader(out.data() + start, kDataHeaderSize + payloadLength);
    out[start + 4] = 2;
    out[start + 5] = CotpDT;
    out[start + 6] = eot ? 0x80 : 0x00;
}

} // namespace iso
} // namespace stack
