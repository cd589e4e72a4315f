#pragma once
// The link-layer part shared by GOOSE and Sampled Values frames:
//   destination(6) source(6) [TPID(2) TCI(2)] EtherType(2) APPID(2) Length(2) Reserved1(2)
//   Reserved2(2) APDU
// Length counts from APPID to the end of the APDU; bytes after it (Ethernet padding) are ignored.
#include "iec61850_common.h"
#include "stack/src/ethernet/PacketSocket.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stack {
namespace eth {

struct LinkFrame {
    const uint8_t* dst = nullptr;
    const uint8_t* src = nullptr;
    bool vlanSet = false;
    uint16_t vlanId = 0;
    uint8_t vlanPriority = 0;
    uint16_t etherType = 0;
    uint16_t appId = 0;
    uint16_t length = 0;
    uint16_t reserved1 = 0;
    uint16_t reserved2 = 0;
    const uint8_t* apdu = nullptr;
    size_t apduLength = 0;
};

// Parses the header of a frame of `etherType`. The tag is taken from the frame data or, when
// the kernel removed it, from `removedTag` (may be null). false when the frame is too short, of
// another type, or its Length field does not fit the frame (a Length that reaches exactly the
// end of the frame is valid).
bool parseLinkFrame(const uint8_t* frame, size_t size, const VlanTag* removedTag, uint16_t etherType,
                    LinkFrame& out);

struct LinkParams {
    uint8_t dst[6] = {0, 0, 0, 0, 0, 0};
    uint8_t src[6] = {0, 0, 0, 0, 0, 0};
    bool vlan = false;
    uint8_t vlanPriority = 0;
    uint16_t vlanId = 0;
    uint16_t appId = 0;
    uint16_t reserved1 = 0;
};

// The link fields of a publisher on an interface with MAC `src`: the caller's destination, APPID,
// VLAN ID and priority (cut to their bits), or the defaults when there are no parameters.
void setPublisherLink(LinkParams& link, const CommParameters* parameters, const uint8_t defaultDst[6],
                      uint16_t defaultAppId, bool vlan, const uint8_t src[6]);
// Whether a publisher created without an explicit choice tags its frames: when its parameters
// name a VLAN ID or priority.
bool wantsVlanTag(const CommParameters* parameters);

// Appends the header (with a zero Length) to `out` and returns the offset of APPID; call
// finishLinkFrame once the APDU has been appended.
size_t beginLinkFrame(const LinkParams& params, uint16_t etherType, std::vector<uint8_t>& out);
// Writes Length; false when the APDU is longer than a Length field can describe.
bool finishLinkFrame(size_t appIdOffset, std::vector<uint8_t>& out);

} // namespace eth
} // namespace stack
