#include "stack/src/iso/Presentation.h"

#include "stack/src/ber/Ber.h"

#include <cstring>
#include <string>

namespace stack {
namespace iso {

using ber::Reader;
using ber::Tlv;
using ber::Writer;

namespace {

const uint8_t kAcseSyntax[] = {0x52, 0x01, 0x00, 0x01};       // 2.2.1.0.1
const uint8_t kMmsSyntax[] = {0x28, 0xCA, 0x22, 0x02, 0x01};  // 1.0.9506.2.1
const uint8_t kBerSyntax[] = {0x51, 0x01};                    // 2.1.1
const uint8_t kMmsContext[] = {0x28, 0xCA, 0x22, 0x02, 0x03}; // 1.0.9506.2.3
const uint8_t kSelector[] = {0x00, 0x00, 0x00, 0x01};
const uint8_t kPasswordMechanism[] = {0x52, 0x03, 0x01}; // 2.2.3.1

bool oidEquals(const Tlv& t, const uint8_t* oid, size_t n) {
    return t.length == n && std::memcmp(t.value, oid, n) == 0;
}

void appendWriter(std::vector<uint8_t>& out, const Writer& w) {
    out.insert(out.end(), w.bytes().begin(), w.bytes().end());
}

void writeContext(Writer& w, int id, const uint8_t* syntax, size_t n) {
    size_t c = w.open(0x30);
    w.integer(0x02, id);
    w.primitive(0x06, syntax, n);
    size_t ts = w.open(0x30);
    w.primitive(0x06, kBerSyntax, sizeof(kBerSyntax));
    w.close(ts);
    w.close(c);
}

void writeUserData(Writer& w, int contextId, const uint8_t* data, size_t length) {
    size_t ud = w.open(0x61);
    size_t pdv = w.open(0x30);
    w.integer(0x02, contextId);
    w.primitive(0xA0, data, length);
    w.close(pdv);
    w.close(ud);
}

// Finds the PDV list inside fully encoded user data (the TLV tagged [APPLICATION 1]).
bool parseUserData(const Tlv& ud, int& contextId, Bytes& data) {
    if (!ud.is(ber::Application, true, 1))
        return false;
    Reader r(ud);
    Tlv pdv;
    if (!r.next(pdv) || !pdv.is(ber::Universal, true, 16))
        return false;
    Reader pr(pdv);
    Tlv t;
    bool haveId = false;
    while (pr.next(t)) {
        if (t.is(ber::Universal, false, 6))
            continue; // transfer syntax name
        if (t.is(ber::Universal, false, 2)) {
            int32_t id = 0;
            if (!ber::decodeInt32(t, id))
                return false;
            contextId = id;
            haveId = true;
        } else if (t.is(ber::Context, true, 0)) {
            data.data = t.value;
            data.length = t.length;
            return haveId;
        } else {
            return false; // octet-aligned and arbitrary encodings are not used by MMS
        }
    }
    return false;
}

// The EXTERNAL inside ACSE user-information: returns its single-ASN1-type contents.
bool parseUserInformation(const Tlv& ui, Bytes& data) {
    Reader r(ui);
    Tlv ext;
    if (!r.next(ext) || !ext.is(ber::Universal, true, 8))
        return false;
    Reader er(ext);
    Tlv t;
    while (er.next(t)) {
        if (t.is(ber::Context, true, 0)) {
            data.data = t.value;
            data.length = t.length;
            return true;
        }
    }
    return false;
}

void writeUserInformation(Writer& w, int contextId, const uint8_t* data, size_t length) {
    size_t ui = w.open(ber::Context, 30);
    size_t ext = w.open(0x28);
    w.integer(0x02, contextId);
    w.primitive(0xA0, data, length);
    w.close(ext);
    w.close(ui);
}

} // namespace

void appendCpType(std::vector<uint8_t>& out, const uint8_t* acseApdu, size_t length) {
    const std::vector<uint8_t> selector(kSelector, kSelector + sizeof(kSelector));
    appendCpType(out, acseApdu, length, selector, selector);
}

void appendCpType(std::vector<uint8_t>& out, const uint8_t* acseApdu, size_t length,
                  const std::vector<uint8_t>& callingSelector, const std::vector<uint8_t>& calledSelector) {
    Writer w;
    size_t cp = w.open(0x31);
    size_t mode = w.open(0xA0);
    w.integer(0x80, 1); // normal mode
    w.close(mode);
    size_t normal = w.open(0xA2);
    if (!callingSelector.empty())
        w.primitive(0x81, callingSelector.data(), callingSelector.size());
    if (!calledSelector.empty())
        w.primitive(0x82, calledSelector.data(), calledSelector.size());
    size_t list = w.open(0xA4);
    writeContext(w, kAcseContextId, kAcseSyntax, sizeof(kAcseSyntax));
    writeContext(w, kMmsContextId, kMmsSyntax, sizeof(kMmsSyntax));
    w.close(list);
    writeUserData(w, kAcseContextId, acseApdu, length);
    w.close(normal);
    w.close(cp);
    appendWriter(out, w);
}

bool decodeCpType(const uint8_t* p, size_t n, CpInfo& out) {
    out = CpInfo();
    Tlv cp;
    if (!ber::decodeSingle(p, n, cp) || !cp.is(ber::Universal, true, 17))
        return false;
    Reader r(cp);
    Tlv t;
    bool normal = false;
    bool haveUserData = false;
    while (r.next(t)) {
        if (t.is(ber::Context, true, 0)) {
            Reader mr(t);
            Tlv m;
            int32_t mode = 0;
            if (!mr.next(m) || !ber::decodeInt32(m, mode) || mode != 1)
                return false;
        } else if (t.is(ber::Context, true, 2)) {
            normal = true;
            Reader nr(t);
            Tlv e;
            while (nr.next(e)) {
                if (e.is(ber::Context, true, 4)) {
                    Reader lr(e);
                    Tlv item;
                    while (lr.next(item)) {
                        if (!item.is(ber::Universal, true, 16))
                            return false;
                        Reader ir(item);
                        Tlv idTlv, syntax;
                        int32_t id = 0;
                        if (!ir.next(idTlv) || !ber::decodeInt32(idTlv, id) || id < 1 || id > 127 ||
                            !ir.next(syntax) || !syntax.is(ber::Universal, false, 6))
                            return false;
                        bool known = true;
                        if (oidEquals(syntax, kAcseSyntax, sizeof(kAcseSyntax)))
                            out.acseContextId = id;
                        else if (oidEquals(syntax, kMmsSyntax, sizeof(kMmsSyntax)))
                            out.mmsContextId = id;
                        else
                            known = false;
                        if (out.contexts.size() >= 16)
                            return false;
                        out.contexts.emplace_back(id, known);
                    }
                } else if (e.is(ber::Application, true, 1)) {
                    int ctx = -1;
                    if (!parseUserData(e, ctx, out.userData))
                        return false;
                    haveUserData = true;
                }
                // selectors, requirements and other optional elements are not needed
            }
            if (!nr.atEnd())
                return false;
        }
    }
    if (!r.atEnd())
        return false;
    return normal && haveUserData && out.acseContextId >= 0 && out.mmsContextId >= 0;
}

void appendCpaPpdu(std::vector<uint8_t>& out, const CpInfo& cp, const uint8_t* acseApdu, size_t length) {
    Writer w;
    size_t cpa = w.open(0x31);
    size_t mode = w.open(0xA0);
    w.integer(0x80, 1);
    w.close(mode);
    size_t normal = w.open(0xA2);
    w.primitive(0x83, kSelector, sizeof(kSelector));
    size_t list = w.open(0xA5);
    for (const auto& c : cp.contexts) {
        size_t item = w.open(0x30);
        w.integer(0x80, c.second ? 0 : 2); // acceptance or provider rejection
        if (c.second)
            w.primitive(0x81, kBerSyntax, sizeof(kBerSyntax));
        else
            w.integer(0x82, 2); // abstract syntax not supported
        w.close(item);
    }
    w.close(list);
    writeUserData(w, cp.acseContextId, acseApdu, length);
    w.close(normal);
    w.close(cpa);
    appendWriter(out, w);
}

bool decodeCpaPpdu(const uint8_t* p, size_t n, Bytes& userData) {
    Tlv cpa;
    if (!ber::decodeSingle(p, n, cpa) || !cpa.is(ber::Universal, true, 17))
        return false;
    Reader r(cpa);
    Tlv t;
    while (r.next(t)) {
        if (!t.is(ber::Context, true, 2))
            continue;
        Reader nr(t);
        Tlv e;
        while (nr.next(e)) {
            if (e.is(ber::Context, true, 5)) {
                Reader lr(e);
                Tlv item;
                while (lr.next(item)) {
                    Reader ir(item);
                    Tlv res;
                    int32_t result = 0;
                    if (!ir.next(res) || !ber::decodeInt32(res, result))
                        return false;
                    if (result != 0)
                        return false; // a context we need was rejected
                }
            } else if (e.is(ber::Application, true, 1)) {
                int ctx = -1;
                return parseUserData(e, ctx, userData);
            }
        }
    }
    return false;
}

void appendUserDataHeader(std::vector<uint8_t>& out, int contextId, size_t length) {
    // 61 L1 30 L2 02 01 id A0 L3 <data>
    size_t l3 = length;
    size_t l2 = 3 + 1 + ber::lengthFieldSize(l3) + l3;
    size_t l1 = 1 + ber::lengthFieldSize(l2) + l2;
    Writer w;
    w.bytes().push_back(0x61);
    w.writeLength(l1);
    w.bytes().push_back(0x30);
    w.writeLength(l2);
    w.bytes().push_back(0x02);
    w.bytes().push_back(0x01);
    w.bytes().push_back(static_cast<uint8_t>(contextId));
    w.bytes().push_back(0xA0);
    w.writeLength(l3);
    appendWriter(out, w);
}

void appendUserData(std::vector<uint8_t>& out, int contextId, const uint8_t* data, size_t length) {
    appendUserDataHeader(out, contextId, length);
    out.insert(out.end(), data, data + length);
}

bool decodeUserData(const uint8_t* p, size_t n, int& contextId, Bytes& data) {
    Tlv ud;
    if (!ber::decodeSingle(p, n, ud))
        return false;
    return parseUserData(ud, contextId, data);
}

void appendAarq(std::vector<uint8_t>& out, int mmsContextId, const uint8_t* mmsPdu, size_t length) {
    AssociationParams none;
    none.local.apTitle.clear();
    none.remote.apTitle.clear();
    appendAarq(out, mmsContextId, mmsPdu, length, none);
}

namespace {

// AP title (form 2, an object identifier) and AE qualifier under the tags `titleTag` and
// titleTag + 1.
void writeApTitle(Writer& w, uint32_t titleTag, const EndPoint& end) {
    if (end.apTitle.empty())
        return;
    size_t title = w.open(ber::Context, titleTag);
    w.primitive(0x06, end.apTitle.data(), end.apTitle.size());
    w.close(title);
    size_t qualifier = w.open(ber::Context, titleTag + 1);
    w.integer(0x02, end.aeQualifier);
    w.close(qualifier);
}

} // namespace

void appendAarq(std::vector<uint8_t>& out, int mmsContextId, const uint8_t* mmsPdu, size_t length,
                const AssociationParams& params) {
    Writer w;
    size_t aarq = w.open(0x60);
    size_t ctx = w.open(0xA1);
    w.primitive(0x06, kMmsContext, sizeof(kMmsContext));
    w.close(ctx);
    writeApTitle(w, 2, params.remote); // called AP title and AE qualifier
    writeApTitle(w, 6, params.local);  // calling AP title and AE qualifier
    if (params.hasPassword) {
        const uint8_t authentication = 0x80; // sender-acse-requirements: authentication
        w.bitString(0x8A, &authentication, 1);
        w.primitive(0x8B, kPasswordMechanism, sizeof(kPasswordMechanism));
        size_t value = w.open(0xAC);
        w.primitive(0x80, params.password); // charstring
        w.close(value);
    }
    writeUserInformation(w, mmsContextId, mmsPdu, length);
    w.close(aarq);
    appendWriter(out, w);
}

bool decodeAarq(const uint8_t* p, size_t n, Bytes& userData) {
    Authentication ignored;
    return decodeAarq(p, n, userData, ignored);
}

bool decodeAarq(const uint8_t* p, size_t n, Bytes& userData, Authentication& authentication) {
    authentication = Authentication();
    Tlv aarq;
    if (!ber::decodeSingle(p, n, aarq) || !aarq.is(ber::Application, true, 0))
        return false;
    Reader r(aarq);
    Tlv t;
    bool haveUserData = false;
    while (r.next(t)) {
        if (t.is(ber::Context, false, 10)) {
            // BIT STRING: unused-bits octet, then bit 0 (authentication) first.
            authentication.present = t.length >= 2 && (t.value[1] & 0x80) != 0;
        } else if (t.is(ber::Context, false, 11)) {
            authentication.password = oidEquals(t, kPasswordMechanism, sizeof(kPasswordMechanism));
        } else if (t.is(ber::Context, true, 12)) {
            Reader vr(t);
            Tlv v;
            if (vr.next(v) && v.is(ber::Context, false, 0))
                authentication.value = ber::decodeString(v);
        } else if (t.is(ber::Context, true, 30)) {
            if (!parseUserInformation(t, userData))
                return false;
            haveUserData = true;
        }
    }
    return haveUserData;
}

void appendAare(std::vector<uint8_t>& out, bool accepted, int mmsContextId, const uint8_t* mmsPdu,
                size_t length, int diagnostic) {
    Writer w;
    size_t aare = w.open(0x61);
    size_t ctx = w.open(0xA1);
    w.primitive(0x06, kMmsContext, sizeof(kMmsContext));
    w.close(ctx);
    size_t result = w.open(0xA2);
    w.integer(0x02, accepted ? 0 : 1); // accepted / rejected-permanent
    w.close(result);
    size_t diag = w.open(0xA3);
    size_t user = w.open(0xA1);
    w.integer(0x02, accepted ? 0 : (diagnostic >= 0 ? diagnostic : 1)); // null / the reason
    w.close(user);
    w.close(diag);
    if (length > 0)
        writeUserInformation(w, mmsContextId, mmsPdu, length);
    w.close(aare);
    appendWriter(out, w);
}

bool decodeAare(const uint8_t* p, size_t n, bool& accepted, Bytes& userData) {
    Tlv aare;
    if (!ber::decodeSingle(p, n, aare) || !aare.is(ber::Application, true, 1))
        return false;
    Reader r(aare);
    Tlv t;
    bool haveResult = false;
    userData = Bytes();
    while (r.next(t)) {
        if (t.is(ber::Context, true, 2)) {
            Reader rr(t);
            Tlv v;
            int32_t result = 0;
            if (!rr.next(v) || !ber::decodeInt32(v, result))
                return false;
            accepted = result == 0;
            haveResult = true;
        } else if (t.is(ber::Context, true, 30)) {
            if (!parseUserInformation(t, userData))
                return false;
        }
    }
    return haveResult;
}

void appendRlrq(std::vector<uint8_t>& out) {
    const uint8_t rlrq[] = {0x62, 0x03, 0x80, 0x01, 0x00}; // reason normal
    out.insert(out.end(), rlrq, rlrq + sizeof(rlrq));
}

void appendRlre(std::vector<uint8_t>& out) {
    const uint8_t rlre[] = {0x63, 0x03, 0x80, 0x01, 0x00};
    out.insert(out.end(), rlre, rlre + sizeof(rlre));
}

bool encodeObjectIdentifier(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    std::vector<uint32_t> arcs;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t dot = text.find('.', pos);
        std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (part.empty() || part.size() > 9 || part.find_first_not_of("0123456789") != std::string::npos)
            return false;
        arcs.push_back(static_cast<uint32_t>(std::stoul(part)));
        if (dot == std::string::npos)
            break;
        pos = dot + 1;
    }
    if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39))
        return false;
    auto appendArc = [&out](uint32_t arc) {
        uint8_t groups[5];
        int n = 0;
        do {
            groups[n++] = static_cast<uint8_t>(arc & 0x7F);
            arc >>= 7;
        } while (arc != 0);
        while (n > 0) {
            --n;
            out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0x00)));
        }
    };
    appendArc(arcs[0] * 40 + arcs[1]);
    for (size_t i = 2; i < arcs.size(); ++i)
        appendArc(arcs[i]);
    return true;
}

AcseApdu acseApduType(const uint8_t* p, size_t n) {
    if (n < 2)
        return AcseApdu::Unknown;
    switch (p[0]) {
    case 0x60:
        return AcseApdu::Aarq;
    case 0x61:
        return AcseApdu::Aare;
    case 0x62:
        return AcseApdu::Rlrq;
    case 0x63:
        return AcseApdu::Rlre;
    case 0x64:
        return AcseApdu::Abrt;
    default:
        return AcseApdu::Unknown;
    }
}

} // namespace iso
} // namespace stack
