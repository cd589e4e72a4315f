#include "stack/src/goose/GooseFrame.h"

#include "stack/src/ber/Ber.h"
#include "stack/src/mms/MmsData.h"
#include "stack/src/value/mms_value_internal.h"

#include <cstring>

namespace stack {
namespace goose {

namespace {

bool readUint32(const ber::Tlv& t, uint32_t& out) {
    // Some publishers send counters as if they were signed; accept a leading zero octet and
    // reject negative numbers.
    uint64_t v;
    if (t.length == 0 || (t.value[0] & 0x80) || !ber::decodeUint64(t, v) || v > 0xFFFFFFFFu)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool fail(GooseParseError* error, GooseParseError code) {
    if (error)
        *error = code;
    return false;
}

} // namespace

bool parseGooseFrame(const uint8_t* frame, size_t size, const eth::VlanTag* removedTag, GooseMessage& out,
                     GooseParseError* error) {
    out = GooseMessage();
    if (error)
        *error = GOOSE_PARSE_ERROR_NO_ERROR;
    if (!eth::parseLinkFrame(frame, size, removedTag, eth::kEtherTypeGoose, out.link))
        return fail(error, GOOSE_PARSE_ERROR_LENGTH_MISMATCH);
    ber::Reader apdu(out.link.apdu, out.link.apduLength);
    ber::Tlv pdu;
    if (!apdu.next(pdu))
        return fail(error, GOOSE_PARSE_ERROR_TAGDECODE);
    if (!pdu.is(ber::Application, true, 1))
        return fail(error, GOOSE_PARSE_ERROR_UNKNOWN_TAG);
    bool haveRef = false, haveData = false;
    ber::Reader r(pdu);
    ber::Tlv t;
    while (!r.atEnd()) {
        if (!r.next(t))
            return fail(error, GOOSE_PARSE_ERROR_TAGDECODE);
        if (t.tagClass != ber::Context) {
            continue;
        }
        bool ok = true;
        switch (t.tagNumber) {
        case 0:
            out.gocbRef = {t.value, t.length};
            haveRef = !t.constructed;
            ok = haveRef;
            break;
        case 1:
            ok = readUint32(t, out.timeAllowedToLive);
            break;
        case 2:
            out.datSet = {t.value, t.length};
            break;
        case 3:
            out.goId = {t.value, t.length};
            out.hasGoId = true;
            break;
        case 4:
            ok = t.length == 8;
            if (ok)
                std::memcpy(out.t, t.value, 8);
            break;
        case 5:
            ok = readUint32(t, out.stNum);
            break;
        case 6:
            ok = readUint32(t, out.sqNum);
            break;
        case 7:
            ok = ber::decodeBoolean(t, out.simulation);
            break;
        case 8:
            ok = readUint32(t, out.confRev);
            break;
        case 9:
            ok = ber::decodeBoolean(t, out.ndsCom);
            break;
        case 10:
            ok = out.hasNumDatSetEntries = readUint32(t, out.numDatSetEntries);
            break;
        case 11:
            ok = t.constructed;
            out.allData = {t.value, t.length};
            haveData = ok;
            break;
        default:
            break; // security and later additions
        }
        if (!ok)
            return fail(error, GOOSE_PARSE_ERROR_TYPE_MISMATCH);
    }
    if (!haveRef || !haveData)
        return fail(error, GOOSE_PARSE_ERROR_UNDERFLOW);
    return true;
}

bool encodeGooseFrame(const GooseFrameParams& p, const MmsValue* const* values, size_t count,
                      std::vector<uint8_t>& out) {
    out.clear();
    // The simulation flag is also shown in Reserved1 (bit 15), as receivers check both.
    eth::LinkParams link = p.link;
    if (p.simulation)
        link.reserved1 |= 0x8000;
    size_t appIdOffset = eth::beginLinkFrame(link, eth::kEtherTypeGoose, out);
    ber::Writer w;
    std::vector<uint8_t>& b = w.bytes();
    b.swap(out);
    size_t pdu = w.open(0x61);
    w.primitive(0x80, p.gocbRef);
    w.unsignedInteger(0x81, p.timeAllowedToLive);
    w.primitive(0x82, p.datSet);
    if (!p.goId.empty())
        w.primitive(0x83, p.goId);
    w.primitive(0x84, p.t, 8);
    w.unsignedInteger(0x85, p.stNum);
    w.unsignedInteger(0x86, p.sqNum);
    w.boolean(0x87, p.simulation);
    w.unsignedInteger(0x88, p.confRev);
    w.boolean(0x89, p.ndsCom);
    w.unsignedInteger(0x8A, count);
    size_t all = w.open(0xAB);
    bool ok = true;
    for (size_t i = 0; i < count && ok; ++i)
        ok = mms::encodeData(w, values[i]);
    w.close(all);
    w.close(pdu);
    b.swap(out);
    return ok && eth::finishLinkFrame(appIdOffset, out);
}

bool encodeGooseFrame(const GooseFrameParams& params, LinkedList dataSet, std::vector<uint8_t>& out) {
    std::vector<const MmsValue*> values;
    for (LinkedList e = dataSet ? LinkedList_getNext(dataSet) : nullptr; e; e = LinkedList_getNext(e))
        values.push_back(static_cast<const MmsValue*>(LinkedList_getData(e)));
    return encodeGooseFrame(params, values.data(), values.size(), out);
}

void utcTimeFromMs(uint64_t ms, uint8_t out[8]) {
    uint32_t seconds = static_cast<uint32_t>(ms / 1000);
    // Rounded up to the next 1/2^24 s: reading it back (rounded to the millisecond) gives `ms`.
    uint32_t fraction = static_cast<uint32_t>((((ms % 1000) << 24) + 999) / 1000);
    out[0] = static_cast<uint8_t>(seconds >> 24);
    out[1] = static_cast<uint8_t>(seconds >> 16);
    out[2] = static_cast<uint8_t>(seconds >> 8);
    out[3] = static_cast<uint8_t>(seconds);
    out[4] = static_cast<uint8_t>(fraction >> 16);
    out[5] = static_cast<uint8_t>(fraction >> 8);
    out[6] = static_cast<uint8_t>(fraction);
    out[7] = 0x0A;
}

uint64_t utcTimeToMs(const uint8_t t[8]) {
    uint64_t seconds = static_cast<uint64_t>(t[0]) << 24 | static_cast<uint64_t>(t[1]) << 16 |
                       static_cast<uint64_t>(t[2]) << 8 | t[3];
    uint64_t fraction = static_cast<uint64_t>(t[4]) << 16 | static_cast<uint64_t>(t[5]) << 8 | t[6];
    return seconds * 1000 + iecx::value::fractionIn(fraction, 1000);
}

} // namespace goose
} // namespace stack
