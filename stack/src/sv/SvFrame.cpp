#include "stack/src/sv/SvFrame.h"

#include "stack/src/ber/Ber.h"

namespace stack {
namespace sv {

namespace {

bool parseAsdu(const ber::Tlv& seq, AsduSlot& slot) {
    slot.asdu = sSVSubscriber_ASDU{};
    slot.hasDatSet = false;
    bool haveSvId = false;
    ber::Reader r(seq);
    ber::Tlv t;
    while (!r.atEnd()) {
        if (!r.next(t))
            return false;
        if (t.tagClass != ber::Context || t.constructed)
            continue; // unknown additions are skipped
        uint8_t* value = const_cast<uint8_t*>(t.value);
        switch (t.tagNumber) {
        case 0:
            slot.svId.assign(reinterpret_cast<const char*>(t.value), t.length);
            haveSvId = true;
            break;
        case 1:
            slot.datSet.assign(reinterpret_cast<const char*>(t.value), t.length);
            slot.hasDatSet = true;
            break;
        case 2:
            if (t.length != 2)
                return false;
            slot.asdu.smpCnt = value;
            break;
        case 3:
            if (t.length != 4)
                return false;
            slot.asdu.confRev = value;
            break;
        case 4:
            if (t.length != 8)
                return false;
            slot.asdu.refrTm = value;
            break;
        case 5:
            if (t.length != 1)
                return false;
            slot.asdu.smpSynch = value;
            break;
        case 6:
            if (t.length != 2)
                return false;
            slot.asdu.smpRate = value;
            break;
        case 7:
            slot.asdu.dataBuffer = value;
            slot.asdu.dataBufferLength = static_cast<int>(t.length);
            break;
        case 8:
            if (t.length != 2)
                return false;
            slot.asdu.smpMod = value;
            break;
        default:
            break;
        }
    }
    return haveSvId && slot.asdu.smpCnt && slot.asdu.confRev && slot.asdu.dataBuffer;
}

} // namespace

bool parseSvFrame(const uint8_t* frame, size_t size, const eth::VlanTag* removedTag, eth::LinkFrame& link,
                  std::vector<AsduSlot>& slots) {
    if (!eth::parseLinkFrame(frame, size, removedTag, eth::kEtherTypeSv, link))
        return false;
    ber::Reader apdu(link.apdu, link.apduLength);
    ber::Tlv pdu;
    if (!apdu.next(pdu) || !pdu.is(ber::Application, true, 0))
        return false;
    ber::Reader r(pdu);
    ber::Tlv t;
    int64_t noAsdu = -1;
    size_t count = 0;
    bool haveSeq = false;
    while (!r.atEnd()) {
        if (!r.next(t))
            return false;
        if (t.is(ber::Context, false, 0)) {
            if (!ber::decodeInt64(t, noAsdu) || noAsdu < 1)
                return false;
        } else if (t.is(ber::Context, true, 2)) {
            haveSeq = true;
            ber::Reader seq(t);
            ber::Tlv a;
            while (!seq.atEnd()) {
                if (!seq.next(a) || !a.is(ber::Universal, true, 16) || count >= 4096)
                    return false;
                if (slots.size() <= count)
                    slots.resize(count + 1);
                if (!parseAsdu(a, slots[count]))
                    return false;
                ++count;
            }
        }
    }
    if (!haveSeq || noAsdu < 0 || static_cast<size_t>(noAsdu) != count)
        return false;
    slots.resize(count);
    // Texts are pointed to only now: growing `slots` above may have moved them.
    for (auto& s : slots) {
        s.asdu.svId = &s.svId[0];
        s.asdu.datSet = s.hasDatSet ? &s.datSet[0] : nullptr;
    }
    return true;
}

bool encodeSvFrame(const SvFrameParams& p, std::vector<uint8_t>& out) {
    out.clear();
    size_t appIdOffset = eth::beginLinkFrame(p.link, eth::kEtherTypeSv, out);
    ber::Writer w;
    std::vector<uint8_t>& b = w.bytes();
    b.swap(out);
    size_t pdu = w.open(0x60);
    w.integer(0x80, static_cast<int64_t>(p.asdus.size()));
    size_t seq = w.open(0xA2);
    for (const auto& a : p.asdus) {
        size_t asdu = w.open(0x30);
        w.primitive(0x80, a.svId);
        if (a.hasDatSet)
            w.primitive(0x81, a.datSet);
        uint8_t cnt[2] = {static_cast<uint8_t>(a.smpCnt >> 8), static_cast<uint8_t>(a.smpCnt)};
        w.primitive(0x82, cnt, 2);
        uint8_t rev[4] = {static_cast<uint8_t>(a.confRev >> 24), static_cast<uint8_t>(a.confRev >> 16),
                          static_cast<uint8_t>(a.confRev >> 8), static_cast<uint8_t>(a.confRev)};
        w.primitive(0x83, rev, 4);
        if (a.hasRefrTm)
            w.primitive(0x84, a.refrTm, 8);
        w.primitive(0x85, &a.smpSynch, 1);
        if (a.hasSmpRate) {
            uint8_t rate[2] = {static_cast<uint8_t>(a.smpRate >> 8), static_cast<uint8_t>(a.smpRate)};
            w.primitive(0x86, rate, 2);
        }
        w.primitive(0x87, a.data.data(), a.data.size());
        if (a.hasSmpMod) {
            uint8_t mod[2] = {static_cast<uint8_t>(a.smpMod >> 8), static_cast<uint8_t>(a.smpMod)};
            w.primitive(0x88, mod, 2);
        }
        w.close(asdu);
    }
    w.close(seq);
    w.close(pdu);
    b.swap(out);
    return eth::finishLinkFrame(appIdOffset, out);
}

} // namespace sv
} // namespace stack
