#pragma once
// A fuzz input taken as a TCP byte stream of an MMS association: TPKTs one after the other, whose
// COTP data TPDUs are joined into TSDUs as a connection joins them, each holding a session PDU.
#include "stack/src/iso/Cotp.h"
#include "stack/src/iso/IsoConnection.h"
#include "stack/src/iso/Presentation.h"
#include "stack/src/iso/Session.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Each complete TSDU goes to `onTsdu`; the walk stops at the first TPKT that does not fit or at a
// TSDU past the connection's limit.
template <class OnTsdu> void forEachTsdu(const uint8_t* data, size_t size, OnTsdu onTsdu) {
    using namespace stack;
    std::vector<uint8_t> tsdu;
    size_t pos = 0;
    while (pos + iso::kTpktHeaderSize <= size) {
        size_t len = iso::tpktLength(data + pos);
        if (len == 0 || pos + len > size)
            break;
        iso::CotpTpdu tpdu;
        if (iso::decodeCotp(data + pos + 4, len - 4, tpdu) && tpdu.code == iso::CotpDT) {
            if (tsdu.size() + tpdu.dataLength > iso::kMaxTsduSize)
                break;
            tsdu.insert(tsdu.end(), tpdu.data, tpdu.data + tpdu.dataLength);
            if (tpdu.eot) {
                onTsdu(tsdu.data(), tsdu.size());
                tsdu.clear();
            }
        }
        pos += len;
    }
}

// Each session PDU of the input: those of the TSDUs the stream carries, then the whole input read
// as one TSDU, so that unframed inputs still reach the upper decoders.
template <class OnSpdu> void forEachSpdu(const uint8_t* data, size_t size, OnSpdu onSpdu) {
    auto decode = [&onSpdu](const uint8_t* p, size_t n) {
        stack::iso::Spdu spdu;
        if (stack::iso::decodeSpdu(p, n, spdu))
            onSpdu(spdu);
    };
    forEachTsdu(data, size, decode);
    decode(data, size);
}

// The presentation user data an SPDU carries (MMS or ACSE bytes); false when it does not decode.
inline bool userDataOf(const stack::iso::Spdu& spdu, stack::iso::Bytes& data) {
    int context;
    return stack::iso::decodeUserData(spdu.userData, spdu.userDataLength, context, data);
}
