// Feeds arbitrary bytes to the frame-field decoders the way a display walks a frame: identifier,
// then length (only when its octets are present), then the trailer and time fields.
#include "capture/Asn1Decoders.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace VorIec61850::ASN1;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    size_t offset = 0;
    while (offset < bytes.size()) {
        OctetsIdentifier id(bytes, offset);
        (void)id.to_string();
        offset += static_cast<size_t>(id.size);
        if (offset >= bytes.size())
            break;
        size_t lengthOctets = (bytes[offset] & 0x80) ? 1 + (bytes[offset] & 0x7F) : 1;
        if (offset + lengthOctets > bytes.size())
            break;
        OctetsLength len(bytes, static_cast<int>(offset));
        (void)len.to_string();
        offset += len.size;
    }
    if (bytes.size() >= 4) {
        PRP prp(bytes, static_cast<int>(bytes.size() - 4));
        (void)prp.to_string();
    }
    for (int i = 0; i < 4 && i < static_cast<int>(bytes.size()); ++i) {
        UtcTime t(bytes, i);
        (void)t.Ticks100Nanoseconds();
    }
    BitString b(static_cast<int>(bytes.size() * 8), bytes);
    (void)b.getBytes();
    (void)b.to_string();
    return 0;
}
