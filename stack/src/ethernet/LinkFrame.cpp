#include "stack/src/ethernet/LinkFrame.h"

#include <cstring>

namespace stack {
namespace eth {

namespace {
inline uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
} // namespace

bool parseLinkFrame(const uint8_t* frame, size_t size, const VlanTag* removedTag, uint16_t etherType,
                    LinkFrame& out) {
    if (!frame || size < 14)
        return false;
    out = LinkFrame();
    out.dst = frame;
    out.src = frame + 6;
    size_t pos = 12;
    uint16_t type = be16(frame + pos);
    uint16_t tci = 0;
    if (type == kEtherTypeVlan || type == kEtherTypeQinQ) {
        if (size < pos + 6)
            return false;
        out.vlanSet = true;
        tci = be16(frame + pos + 2);
        pos += 4;
        type = be16(frame + pos);
    } else if (removedTag && removedTag->present) {
        out.vlanSet = true;
        tci = removedTag->tci;
    }
    if (out.vlanSet) {
        out.vlanId = tci & 0x0FFF;
        out.vlanPriority = static_cast<uint8_t>(tci >> 13);
    }
    if (type != etherType)
        return false;
    pos += 2;
    if (size < pos + 8)
        return false;
    out.etherType = type;
    out.appId = be16(frame + pos);
    out.length = be16(frame + pos + 2);
    out.reserved1 = be16(frame + pos + 4);
    out.reserved2 = be16(frame + pos + 6);
    if (out.length < 8 || out.length > size - pos)
        return false;
    out.apdu = frame + pos + 8;
    out.apduLength = out.length - 8u;
    return true;
}

size_t beginLinkFrame(const LinkParams& p, uint16_t etherType, std::vector<uint8_t>& out) {
    out.insert(out.end(), p.dst, p.dst + 6);
    out.insert(out.end(), p.src, p.src + 6);
    if (p.vlan) {
        uint16_t tci = static_cast<uint16_t>((p.vlanPriority & 7) << 13 | (p.vlanId & 0x0FFF));
        out.push_back(kEtherTypeVlan >> 8);
        out.push_back(kEtherTypeVlan & 0xFF);
        out.push_back(static_cast<uint8_t>(tci >> 8));
        out.push_back(static_cast<uint8_t>(tci));
    }
    out.push_back(static_cast<uint8_t>(etherType >> 8));
    out.push_back(static_cast<uint8_t>(etherType));
    size_t appIdOffset = out.size();
    uint8_t header[8] = {static_cast<uint8_t>(p.appId >> 8),     static_cast<uint8_t>(p.appId),     0, 0,
                         static_cast<uint8_t>(p.reserved1 >> 8), static_cast<uint8_t>(p.reserved1), 0, 0};
    out.insert(out.end(), header, header + 8);
    return appIdOffset;
}

bool finishLinkFrame(size_t appIdOffset, std::vector<uint8_t>& out) {
    size_t length = out.size() - appIdOffset;
    if (length > 0xFFFF)
        return false;
    out[appIdOffset + 2] = static_cast<uint8_t>(length >> 8);
    out[appIdOffset + 3] = static_cast<uint8_t>(length);
    return true;
}

void setPublisherLink(LinkParams& link, const CommParameters* parameters, const uint8_t defaultDst[6],
                      uint16_t defaultAppId, bool vlan, const uint8_t src[6]) {
    std::memcpy(link.dst, parameters ? parameters->dstAddress : defaultDst, 6);
    std::memcpy(link.src, src, 6);
    link.appId = parameters ? parameters->appId : defaultAppId;
    link.vlan = vlan;
    link.vlanId = parameters ? static_cast<uint16_t>(parameters->vlanId & 0x0FFF) : 0;
    link.vlanPriority = parameters ? static_cast<uint8_t>(parameters->vlanPriority & 7) : 0;
}

bool wantsVlanTag(const CommParameters* parameters) {
    return parameters && (parameters->vlanId != 0 || parameters->vlanPriority != 0);
}

} // namespace eth
} // namespace stack
