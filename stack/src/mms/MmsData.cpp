#include "stack/src/mms/MmsData.h"

#include "mms_type_spec.h"
#include "stack/src/mms/VariableTypes.h"
#include "stack/src/value/mms_value_internal.h"

#include <cstring>

namespace stack {
namespace mms {

using ber::Reader;
using ber::Tlv;
using ber::Writer;

namespace {

// Context tags of the Data CHOICE.
enum DataTag : uint8_t {
    TagArray = 1,
    TagStructure = 2,
    TagBoolean = 3,
    TagBitString = 4,
    TagInteger = 5,
    TagUnsigned = 6,
    TagFloat = 7,
    TagOctetString = 9,
    TagVisibleString = 10,
    TagGeneralizedTime = 11,
    TagBinaryTime = 12,
    TagBcd = 13,
    TagObjId = 15,
    TagMmsString = 16,
    TagUtcTime = 17,
};

uint8_t prim(uint8_t tag) {
    return static_cast<uint8_t>(0x80 | tag);
}
uint8_t cons(uint8_t tag) {
    return static_cast<uint8_t>(0xA0 | tag);
}

void encodeFloat(Writer& w, const MmsValue* v) {
    uint8_t buf[9];
    size_t n;
    if (v->floatWidth == 64) {
        buf[0] = 11;
        double d = v->floatValue;
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        for (int i = 0; i < 8; ++i)
            buf[1 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        n = 9;
    } else {
        buf[0] = 8;
        float f = static_cast<float>(v->floatValue);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        for (int i = 0; i < 4; ++i)
            buf[1 + i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
        n = 5;
    }
    w.primitive(prim(TagFloat), buf, n);
}

} // namespace

void encodeData(Writer& w, const MmsValue* v) {
    switch (v->type) {
    case MMS_ARRAY:
    case MMS_STRUCTURE: {
        size_t m = w.open(cons(v->type == MMS_ARRAY ? TagArray : TagStructure));
        for (const MmsValue* c : v->components) {
            if (c == nullptr || c->type == MMS_DATA_ACCESS_ERROR)
                w.primitive(prim(TagBoolean), std::string(1, '\0')); // placeholder keeps positions
            else
                encodeData(w, c);
        }
        w.close(m);
        break;
    }
    case MMS_BOOLEAN:
        w.boolean(prim(TagBoolean), v->boolean);
        break;
    case MMS_BIT_STRING:
        w.bitString(prim(TagBitString), v->bytes.data(), static_cast<size_t>(v->bitSize));
        break;
    case MMS_INTEGER:
        w.integer(prim(TagInteger), v->integer);
        break;
    case MMS_UNSIGNED:
        w.unsignedInteger(prim(TagUnsigned), static_cast<uint64_t>(v->integer));
        break;
    case MMS_BCD:
        w.integer(prim(TagBcd), v->integer);
        break;
    case MMS_FLOAT:
        encodeFloat(w, v);
        break;
    case MMS_OCTET_STRING:
        w.primitive(prim(TagOctetString), v->bytes.data(), v->bytes.size());
        break;
    case MMS_OBJ_ID:
        w.primitive(prim(TagObjId), v->bytes.data(), v->bytes.size());
        break;
    case MMS_VISIBLE_STRING:
        w.primitive(prim(TagVisibleString), v->text);
        break;
    case MMS_GENERALIZED_TIME:
        w.primitive(prim(TagGeneralizedTime), v->text);
        break;
    case MMS_STRING:
        w.primitive(prim(TagMmsString), v->text);
        break;
    case MMS_BINARY_TIME:
        w.primitive(prim(TagBinaryTime), v->time, v->binaryTimeSize == 4 ? 4 : 6);
        break;
    case MMS_UTC_TIME:
        w.primitive(prim(TagUtcTime), v->time, 8);
        break;
    case MMS_DATA_ACCESS_ERROR:
        break;
    }
}

void encodeAccessResult(Writer& w, const MmsValue* v) {
    if (v->type == MMS_DATA_ACCESS_ERROR) {
        int code = v->accessError >= 0 ? v->accessError : DATA_ACCESS_ERROR_UNKNOWN;
        w.integer(0x80, code);
        return;
    }
    encodeData(w, v);
}

MmsValue* decodeData(const Tlv& t, int depth) {
    if (t.tagClass != ber::Context || depth > kMaxNesting)
        return nullptr;
    MmsValue* v = nullptr;
    switch (t.tagNumber) {
    case TagArray:
    case TagStructure: {
        if (!t.constructed)
            return nullptr;
        v = iecx::value::make(t.tagNumber == TagArray ? MMS_ARRAY : MMS_STRUCTURE);
        Reader r(t);
        Tlv c;
        while (!r.atEnd()) {
            MmsValue* child = r.next(c) ? decodeData(c, depth + 1) : nullptr;
            if (child == nullptr) {
                MmsValue_delete(v);
                return nullptr;
            }
            v->components.push_back(child);
        }
        return v;
    }
    default:
        break;
    }
    if (t.constructed)
        return nullptr;
    switch (t.tagNumber) {
    case TagBoolean:
        if (t.length != 1)
            return nullptr;
        v = iecx::value::make(MMS_BOOLEAN);
        v->boolean = t.value[0] != 0;
        return v;
    case TagBitString: {
        if (t.length < 1 || t.value[0] > 7 || (t.length == 1 && t.value[0] != 0))
            return nullptr;
        v = iecx::value::make(MMS_BIT_STRING);
        v->bytes.assign(t.value + 1, t.value + t.length);
        v->bitSize = static_cast<int>((t.length - 1) * 8 - t.value[0]);
        if (!v->bytes.empty())
            v->bytes.back() &= static_cast<uint8_t>(0xFF << t.value[0]);
        return v;
    }
    case TagInteger:
    case TagBcd: {
        int64_t i = 0;
        if (!ber::decodeInt64(t, i))
            return nullptr;
        v = iecx::value::make(t.tagNumber == TagInteger ? MMS_INTEGER : MMS_BCD);
        v->integer = i;
        v->integerSize = static_cast<uint8_t>(t.length);
        return v;
    }
    case TagUnsigned: {
        uint64_t u = 0;
        if (!ber::decodeUint64(t, u))
            return nullptr;
        v = iecx::value::make(MMS_UNSIGNED);
        v->integer = static_cast<int64_t>(u);
        v->integerSize = static_cast<uint8_t>(t.length > 8 ? 8 : t.length);
        return v;
    }
    case TagFloat: {
        if (t.length == 5) {
            uint32_t bits = 0;
            for (int i = 0; i < 4; ++i)
                bits = (bits << 8) | t.value[1 + i];
            float f;
            std::memcpy(&f, &bits, 4);
            v = iecx::value::make(MMS_FLOAT);
            v->floatValue = f;
            v->floatWidth = 32;
            return v;
        }
        if (t.length == 9) {
            uint64_t bits = 0;
            for (int i = 0; i < 8; ++i)
                bits = (bits << 8) | t.value[1 + i];
            double d;
            std::memcpy(&d, &bits, 8);
            v = iecx::value::make(MMS_FLOAT);
            v->floatValue = d;
            v->floatWidth = 64;
            return v;
        }
        return nullptr;
    }
    case TagOctetString:
    case TagObjId:
        v = iecx::value::make(t.tagNumber == TagOctetString ? MMS_OCTET_STRING : MMS_OBJ_ID);
        v->bytes.assign(t.value, t.value + t.length);
        v->maxSize = static_cast<int>(t.length);
        return v;
    case TagVisibleString:
    case TagMmsString:
    case TagGeneralizedTime:
        v = iecx::value::make(t.tagNumber == TagVisibleString ? MMS_VISIBLE_STRING
                              : t.tagNumber == TagMmsString   ? MMS_STRING
                                                              : MMS_GENERALIZED_TIME);
        v->text = ber::decodeString(t);
        return v;
    case TagBinaryTime:
        if (t.length != 4 && t.length != 6)
            return nullptr;
        v = iecx::value::make(MMS_BINARY_TIME);
        std::memcpy(v->time, t.value, t.length);
        v->binaryTimeSize = static_cast<uint8_t>(t.length);
        return v;
    case TagUtcTime:
        if (t.length != 8)
            return nullptr;
        v = iecx::value::make(MMS_UTC_TIME);
        std::memcpy(v->time, t.value, 8);
        return v;
    default:
        return nullptr;
    }
}

MmsValue* decodeAccessResult(const Tlv& t) {
    if (t.is(ber::Context, false, 0)) {
        int32_t code = 0;
        if (!ber::decodeInt32(t, code))
            return nullptr;
        if (code < 0 || code > DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID)
            code = DATA_ACCESS_ERROR_UNKNOWN;
        return MmsValue_newDataAccessError(static_cast<MmsDataAccessError>(code));
    }
    return decodeData(t);
}

// ---- type specifications ----

void encodeTypeSpec(Writer& w, const MmsVariableSpecification* s) {
    switch (s->type) {
    case MMS_ARRAY: {
        size_t m = w.open(0xA1);
        w.unsignedInteger(0x81, static_cast<uint64_t>(
                                    s->typeSpec.array.elementCount < 0 ? 0 : s->typeSpec.array.elementCount));
        size_t e = w.open(0xA2);
        encodeTypeSpec(w, s->typeSpec.array.elementTypeSpec);
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
            encodeTypeSpec(w, c);
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

MmsVariableSpecification* decodeTypeSpec(const Tlv& t, int depth) {
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
                    element = decodeTypeSpec(inner, depth + 1);
            }
        }
        if (element == nullptr || !r.atEnd()) {
            MmsVariableSpecification_destroy(element);
            return nullptr;
        }
        return makeArraySpec(nullptr, static_cast<int>(count), element);
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
                            type = decodeTypeSpec(inner, depth + 1);
                    }
                }
                if (type == nullptr || !ir.atEnd()) {
                    MmsVariableSpecification_destroy(type);
                    ok = false;
                    break;
                }
                setTypeSpecName(type, name.empty() ? nullptr : name.c_str());
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
        return makeStructureSpec(nullptr, comps);
    }
    case 3:
        return makeTypeSpec(MMS_BOOLEAN, nullptr);
    case 4:
        return ber::decodeInt32(t, n) ? makeTypeSpec(MMS_BIT_STRING, nullptr, n) : nullptr;
    case 5:
        return ber::decodeInt32(t, n) ? makeTypeSpec(MMS_INTEGER, nullptr, n) : nullptr;
    case 6:
        return ber::decodeInt32(t, n) ? makeTypeSpec(MMS_UNSIGNED, nullptr, n) : nullptr;
    case 7: {
        if (!t.constructed)
            return nullptr;
        Reader r(t);
        Tlv a, b;
        int32_t format = 0, exponent = 0;
        if (!r.next(a) || !r.next(b) || !ber::decodeInt32(a, format) || !ber::decodeInt32(b, exponent))
            return nullptr;
        MmsVariableSpecification* s = makeTypeSpec(MMS_FLOAT, nullptr, format == 64 ? 64 : 32);
        s->typeSpec.floatingpoint.formatWidth = static_cast<uint8_t>(format);
        s->typeSpec.floatingpoint.exponentWidth = static_cast<uint8_t>(exponent);
        return s;
    }
    case 9:
        return ber::decodeInt32(t, n) ? makeTypeSpec(MMS_OCTET_STRING, nullptr, n) : nullptr;
    case 10:
        return ber::decodeInt32(t, n) ? makeTypeSpec(MMS_VISIBLE_STRING, nullptr, n) : nullptr;
    case 11:
        return makeTypeSpec(MMS_GENERALIZED_TIME, nullptr);
    case 12: {
        bool withDate = false;
        if (t.length > 0 && !ber::decodeBoolean(t, withDate))
            return nullptr;
        return makeTypeSpec(MMS_BINARY_TIME, nullptr, withDate ? 6 : 4);
    }
    case 13:
        return makeTypeSpec(MMS_BCD, nullptr);
    case 15:
        return makeTypeSpec(MMS_OBJ_ID, nullptr);
    case 16:
        return ber::decodeInt32(t, n) ? makeTypeSpec(MMS_STRING, nullptr, n) : nullptr;
    case 17:
        return makeTypeSpec(MMS_UTC_TIME, nullptr);
    default:
        return nullptr;
    }
}

} // namespace mms
} // namespace stack
