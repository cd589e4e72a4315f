#pragma once
// A fuzz input taken as a TCP byte stream: TPKTs one after the other, whose COTP data TPDUs are
// joined into TSDUs as a connection joins them. Each complete TSDU goes to `onTsdu`; the walk
// stops at the first TPKT that does not fit or at a TSDU past the connection's limit.
#include "stack/src/iso/Cotp.h"
#include "stack/src/iso/IsoConnection.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
