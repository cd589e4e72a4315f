#include "stack/src/goose/DataCodec.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstring>

namespace stack {
namespace goose {

namespace {

enum : uint8_t {
    kArray = 0xA1,
    kStructure = 0xA2,
    kBoolean = 0x83,
    kBitString = 0x84,
    kInteger = 0x85,
    kUnsigned = 0x86,
    kFloat = 0x87,
    kOctetString = 0x89,
    kVisibleString = 0x8A,
    kBinaryTime = 0x8C,
    kMmsString = 0x90,
    kUtcTime = 0x91,
};

// The MMS type a Data TLV carries; false for tags we do not support.
bool typeOf(const ber::Tlv& t, MmsType& type) {
    if (t.tagClass != ber::Context)
        return false;
    switch (t.identifier()) {
    case kArray:
        type = MMS_ARRAY;
        return true;
    case kStructure:
        type = MMS_STRUCTURE;
        return true;
    case kBoolean:
        type = MMS_BOOLEAN;
        return true;
    case kBitString:
        type = MMS_BIT_STRING;
        return true;
    case kInteger:
        type = MMS_INTEGER;
        return true;
    case kUnsigned:
        type = MMS_UNSIGNED;
        return true;
    case kFloat:
        type = MMS_FLOAT;
        return true;
    case kOctetString:
        type = MMS_OCTET_STRING;
        return true;
    case kVisibleString:
        type = MMS_VISIBLE_STRING;
        return true;
    case kBinaryTime:
        type = MMS_BINARY_TIME;
        return true;
    case kMmsString:
        type = MMS_STRING;
        return true;
    case kUtcTime:
        type = MMS_UTC_TIME;
        return true;
    default:
        return false;
    }
}

// Sets the content of a simple (non-complex) value whose type already equals the TLV's.
bool setSimple(MmsValue* v, const ber::Tlv& t) {
    const uint8_t* p = t.value;
    size_t n = t.length;
    switch (v->type) {
    case MMS_BOOLEAN:
        if (n != 1)
            return false;
        v->boolean = p[0] != 0;
        return true;
    case MMS_BIT_STRING: {
        if (n < 1 || p[0] > 7 || (n == 1 && p[0] != 0))
            return false;
        size_t bytes = n - 1;
        v->bytes.assign(p + 1, p + n);
        v->bitSize = static_cast<int>(bytes * 8 - p[0]);
        if (bytes > 0)
            v->bytes[bytes - 1] &= static_cast<uint8_t>(0xFF << p[0]);
        return true;
    }
    case MMS_INTEGER: {
        int64_t x;
        if (!ber::decodeInt64(p, n, x))
            return false;
        v->integer = x;
        v->integerSize = static_cast<uint8_t>(n);
        return true;
    }
    case MMS_UNSIGNED: {
        uint64_t x;
        if (!ber::decodeUint64(p, n, x))
            return false;
        v->integer = static_cast<int64_t>(x);
        v->integerSize = static_cast<uint8_t>(n > 8 ? 8 : n);
        return true;
    }
    case MMS_FLOAT:
        if (n == 5 && p[0] == 8) {
            uint32_t bits = static_cast<uint32_t>(p[1]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                            static_cast<uint32_t>(p[3]) << 8 | p[4];
            float f;
            std::memcpy(&f, &bits, 4);
            v->floatValue = f;
            v->floatWidth = 32;
            return true;
        }
        if (n == 9 && p[0] == 11) {
            uint64_t bits = 0;
            for (int i = 1; i < 9; ++i)
                bits = bits << 8 | p[i];
            double d;
            std::memcpy(&d, &bits, 8);
            v->floatValue = d;
            v->floatWidth = 64;
            return true;
        }
        return false;
    case MMS_OCTET_STRING:
        if (n > 0xFFFF)
            return false;
        v->bytes.assign(p, p + n);
        if (static_cast<int>(n) > v->maxSize)
            v->maxSize = static_cast<int>(n);
        return true;
    case MMS_VISIBLE_STRING:
    case MMS_STRING:
        v->text.assign(reinterpret_cast<const char*>(p), n);
        return true;
    case MMS_UTC_TIME:
        if (n != 8)
            return false;
        std::memcpy(v->time, p, 8);
        return true;
    case MMS_BINARY_TIME:
        if (n != 4 && n != 6)
            return false;
        std::memset(v->time, 0, sizeof v->time);
        std::memcpy(v->time, p, n);
        v->binaryTimeSize = static_cast<uint8_t>(n);
        return true;
    default:
        return false;
    }
}

} // namespace

MmsValue* decodeData(const ber::Tlv& t, int depth) {
    MmsType type;
    if (depth > kMaxDataDepth || !typeOf(t, type))
        return nullptr;
    if (type == MMS_ARRAY || type == MMS_STRUCTURE) {
        if (!t.constructed)
            return nullptr;
        MmsValue* v = iecx::value::make(type);
        if (!v)
            return nullptr;
        ber::Reader r(t);
        ber::Tlv child;
        while (!r.atEnd()) {
            MmsValue* c = r.next(child) ? decodeData(child, depth + 1) : nullptr;
            if (!c) {
                MmsValue_delete(v);
                return nullptr;
            }
            v->components.push_back(c);
        }
        return v;
    }
    if (t.constructed)
        return nullptr;
    MmsValue* v = iecx::value::make(type);
    if (v && !setSimple(v, t)) {
        MmsValue_delete(v);
        return nullptr;
    }
    return v;
}

bool updateData(MmsValue* v, const ber::Tlv& t, int depth) {
    MmsType type;
    if (!v || depth > kMaxDataDepth || !typeOf(t, type) || type != v->type)
        return false;
    if (type == MMS_ARRAY || type == MMS_STRUCTURE) {
        if (!t.constructed)
            return false;
        ber::Reader r(t);
        ber::Tlv child;
        size_t i = 0;
        while (!r.atEnd()) {
            if (i >= v->components.size() || !r.next(child) ||
                !updateData(v->components[i], child, depth + 1))
                return false;
            ++i;
        }
        return i == v->components.size();
    }
    return !t.constructed && setSimple(v, t);
}

MmsValue* decodeDataList(const uint8_t* data, size_t size) {
    MmsValue* list = iecx::value::make(MMS_ARRAY);
    if (!list)
        return nullptr;
    ber::Reader r(data, size);
    ber::Tlv t;
    while (!r.atEnd()) {
        MmsValue* c = r.next(t) ? decodeData(t, 1) : nullptr;
        if (!c) {
            MmsValue_delete(list);
            return nullptr;
        }
        list->components.push_back(c);
    }
    return list;
}

bool updateDataList(MmsValue* list, const uint8_t* data, size_t size) {
    if (!list || (list->type != MMS_ARRAY && list->type != MMS_STRUCTURE))
        return false;
    ber::Reader r(data, size);
    ber::Tlv t;
    size_t i = 0;
    while (!r.atEnd()) {
        if (i >= list->components.size() || !r.next(t) || !updateData(list->components[i], t, 1))
            return false;
        ++i;
    }
    return i == list->components.size();
}

int countDataList(const uint8_t* data, size_t size) {
    ber::Reader r(data, size);
    ber::Tlv t;
    int n = 0;
    while (!r.atEnd()) {
        if (!r.next(t))
            return -1;
        ++n;
    }
    return n;
}

bool encodeData(ber::Writer& w, const MmsValue* v) {
    if (!v)
        return false;
    auto& out = w.bytes();
    switch (v->type) {
    case MMS_ARRAY:
    case MMS_STRUCTURE: {
        size_t mark = w.open(v->type == MMS_ARRAY ? kArray : kStructure);
        for (const MmsValue* c : v->components)
            if (!encodeData(w, c))
                return false;
        w.close(mark);
        return true;
    }
    case MMS_BOOLEAN:
        w.boolean(kBoolean, v->boolean);
        return true;
    case MMS_BIT_STRING: {
        size_t bytes = static_cast<size_t>((v->bitSize + 7) / 8);
        out.push_back(kBitString);
        w.writeLength(bytes + 1);
        out.push_back(static_cast<uint8_t>(bytes * 8 - static_cast<size_t>(v->bitSize)));
        for (size_t i = 0; i < bytes; ++i)
            out.push_back(i < v->bytes.size() ? v->bytes[i] : 0);
        return true;
    }
    case MMS_INTEGER:
        w.integer(kInteger, v->integer);
        return true;
    case MMS_UNSIGNED:
        w.unsignedInteger(kUnsigned, static_cast<uint64_t>(v->integer));
        return true;
    case MMS_FLOAT:
        out.push_back(kFloat);
        if (v->floatWidth == 64) {
            out.push_back(9);
            out.push_back(11);
            uint64_t bits;
            double d = v->floatValue;
            std::memcpy(&bits, &d, 8);
            for (int i = 7; i >= 0; --i)
                out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        } else {
            out.push_back(5);
            out.push_back(8);
            uint32_t bits;
            float f = static_cast<float>(v->floatValue);
            std::memcpy(&bits, &f, 4);
            for (int i = 3; i >= 0; --i)
                out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        }
        return true;
    case MMS_OCTET_STRING:
        w.primitive(kOctetString, v->bytes.data(), v->bytes.size());
        return true;
    case MMS_VISIBLE_STRING:
        w.primitive(kVisibleString, v->text);
        return true;
    case MMS_STRING:
        w.primitive(kMmsString, v->text);
        return true;
    case MMS_UTC_TIME:
        w.primitive(kUtcTime, v->time, 8);
        return true;
    case MMS_BINARY_TIME:
        w.primitive(kBinaryTime, v->time, v->binaryTimeSize == 4 ? 4 : 6);
        return true;
    default:
        return false;
    }
}

} // namespace goose
} // namespace stack
