#include "stack/src/mms/MmsTypeBuilder.h"

#include "mms_type_spec.h"
#include "stack/src/mms/VariableTypes.h"

#include <string>
#include <vector>

namespace stack {
namespace mms {

void encodeTypeDesc(Writer& w, const MmsVariableSpecification* s) {
    switch (s->type) {
    case MMS_ARRAY: {
        size_t m = w.open(0xA1);
        w.unsignedInteger(0x81, static_cast<uint64_t>(
                                    s->typeSpec.array.elementCount < 0 ? 0 : s->typeSpec.array.elementCount));
        size_t e = w.open(0xA2);
        encodeTypeDesc(w, s->typeSpec.array.elementTypeSpec);
        w.close(e);
        w.close(m);
        break;
    }
    case MMS_STRUCTURE: {
        size_t m = w.open(0xA2);
        size_t comps = w.open(0xA1);
        for (int i = 0; i < s->typeSpec.structure.elementCount; ++i) {
            const MmsVariableSpecification* c = s->typeSpec.structure.elements[i];
            size_t item = w.open(0x30);
            if (c->name != nullptr)
                w.primitive(0x80, std::string(c->name));
            size_t ct = w.open(0xA1);
            encodeTypeDesc(w, c);
            w.close(ct);
            w.close(item);
        }
        w.close(comps);
        w.close(m);
        break;
    }
    case MMS_BOOLEAN:
        w.primitive(0x83, nullptr, 0);
        break;
    case MMS_BIT_STRING:
        w.integer(0x84, s->typeSpec.bitString);
        break;
    case MMS_INTEGER:
        w.unsignedInteger(0x85, static_cast<uint64_t>(s->typeSpec.integer & 0xFF));
        break;
    case MMS_UNSIGNED:
        w.unsignedInteger(0x86, static_cast<uint64_t>(s->typeSpec.unsignedInteger & 0xFF));
        break;
    case MMS_FLOAT: {
        size_t m = w.open(0xA7);
        w.unsignedInteger(0x02, s->typeSpec.floatingpoint.formatWidth);
        w.unsignedInteger(0x02, s->typeSpec.floatingpoint.exponentWidth);
        w.close(m);
        break;
    }
    case MMS_OCTET_STRING:
        w.integer(0x89, s->typeSpec.octetString);
        break;
    case MMS_VISIBLE_STRING:
        w.integer(0x8A, s->typeSpec.visibleString);
        break;
    case MMS_GENERALIZED_TIME:
        w.primitive(0x8B, nullptr, 0);
        break;
    case MMS_BINARY_TIME:
        w.boolean(0x8C, s->typeSpec.binaryTime == 6);
        break;
    case MMS_BCD:
        w.unsignedInteger(0x8D, 8);
        break;
    case MMS_OBJ_ID:
        w.primitive(0x8F, nullptr, 0);
        break;
    case MMS_STRING:
        w.integer(0x90, s->typeSpec.mmsString);
        break;
    case MMS_UTC_TIME:
        w.primitive(0x91, nullptr, 0);
        break;
    case MMS_DATA_ACCESS_ERROR:
        w.primitive(0x83, nullptr, 0);
        break;
    }
}

MmsVariableSpecification* decodeTypeDesc(const Tlv& t, int depth) {
    if (t.tagClass != ber::Context || depth > kMaxNesting)
        return nullptr;
    int32_t n = 0;
    switch (t.tagNumber) {
    case 1: { // array
        if (!t.constructed)
            return nullptr;
        Reader r(t);
        Tlv e;
        uint32_t count = 0;
        MmsVariableSpecification* element = nullptr;
        while (r.next(e)) {
            if (e.is(ber::Context, false, 1)) {
                if (!ber::decodeUint32(e, count) || count > 0x7FFFFFFF)
                    break;
            } else if (e.is(ber::Context, true, 2)) {
                Reader er(e);
                Tlv inner;
                if (element == nullptr && er.next(inner))
                    element = decodeTypeDesc(inner, depth + 1);
            }
        }
        if (element == nullptr || !r.atEnd()) {
            MmsVariableSpecification_destroy(element);
            return nullptr;
        }
        return makeArrayDesc(nullptr, static_cast<int>(count), element);
    }
    case 2: { // structure
        if (!t.constructed)
            return nullptr;
        Reader r(t);
        Tlv e;
        std::vector<MmsVariableSpecification*> comps;
        bool ok = true;
        while (ok && r.next(e)) {
            if (!e.is(ber::Context, true, 1))
                continue; // packed
            Reader cr(e);
            Tlv item;
            while (ok && cr.next(item)) {
                Reader ir(item);
                Tlv f;
                std::string name;
                MmsVariableSpecification* type = nullptr;
                while (ir.next(f)) {
                    if (f.is(ber::Context, false, 0)) {
                        name = ber::decodeString(f);
                    } else if (f.is(ber::Context, true, 1) && type == nullptr) {
                        Reader tr(f);
                        Tlv inner;
                        if (tr.next(inner))
                            type = decodeTypeDesc(inner, depth + 1);
                    }
                }
                if (type == nullptr || !ir.atEnd()) {
                    MmsVariableSpecification_destroy(type);
                    ok = false;
                    break;
                }
                setTypeDescName(type, name.empty() ? nullptr : name.c_str());
                comps.push_back(type);
            }
            if (!cr.atEnd())
                ok = false;
        }
        if (!ok || !r.atEnd()) {
            for (auto* c : comps)
                MmsVariableSpecification_destroy(c);
            return nullptr;
        }
        return makeStructureDesc(nullptr, comps);
    }
    case 3:
        return makeTypeDesc(MMS_BOOLEAN, nullptr);
    case 4:
        return ber::decodeInt32(t, n) ? makeTypeDesc(MMS_BIT_STRING, nullptr, n) : nullptr;
    case 5:
        return ber::decodeInt32(t, n) ? makeTypeDesc(MMS_INTEGER, nullptr, n) : nullptr;
    case 6:
        return ber::decodeInt32(t, n) ? makeTypeDesc(MMS_UNSIGNED, nullptr, n) : nullptr;
    case 7: {
        if (!t.constructed)
            return nullptr;
        Reader r(t);
        Tlv a, b;
        int32_t format = 0, exponent = 0;
        if (!r.next(a) || !r.next(b) || !ber::decodeInt32(a, format) || !ber::decodeInt32(b, exponent))
            return nullptr;
        MmsVariableSpecification* s = makeTypeDesc(MMS_FLOAT, nullptr, format == 64 ? 64 : 32);
        s->typeSpec.floatingpoint.formatWidth = static_cast<uint8_t>(format);
        s->typeSpec.floatingpoint.exponentWidth = static_cast<uint8_t>(exponent);
        return s;
    }
    case 9:
        return ber::decodeInt32(t, n) ? makeTypeDesc(MMS_OCTET_STRING, nullptr, n) : nullptr;
    case 10:
        return ber::decodeInt32(t, n) ? makeTypeDesc(MMS_VISIBLE_STRING, nullptr, n) : nullptr;
    case 11:
        return makeTypeDesc(MMS_GENERALIZED_TIME, nullptr);
    case 12: {
        bool withDate = false;
        if (t.length > 0 && !ber::decodeBoolean(t, withDate))
            return nullptr;
        return makeTypeDesc(MMS_BINARY_TIME, nullptr, withDate ? 6 : 4);
    }
    case 13:
        return makeTypeDesc(MMS_BCD, nullptr);
    case 15:
        return makeTypeDesc(MMS_OBJ_ID, nullptr);
    case 16:
        return ber::decodeInt32(t, n) ? makeTypeDesc(MMS_STRING, nullptr, n) : nullptr;
    case 17:
        return makeTypeDesc(MMS_UTC_TIME, nullptr);
    default:
        return nullptr;
    }
}

} // namespace mms
} // namespace stack
