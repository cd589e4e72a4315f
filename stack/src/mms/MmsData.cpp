#include "stack/src/mms/MmsData.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstring>
#include <string>

namespace stack {
namespace mms {

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

// The MMS type a Data TLV carries, with the right form (constructed for structures and arrays
// only); false for anything else.
bool typeOf(const Tlv& t, MmsType& type) {
    if (t.tagClass != ber::Context)
        return false;
    switch (t.tagNumber) {
    case TagArray:
        type = MMS_ARRAY;
        break;
    case TagStructure:
        type = MMS_STRUCTURE;
        break;
    case TagBoolean:
        type = MMS_BOOLEAN;
        break;
    case TagBitString:
        type = MMS_BIT_STRING;
        break;
    case TagInteger:
        type = MMS_INTEGER;
        break;
    case TagUnsigned:
        type = MMS_UNSIGNED;
        break;
    case TagFloat:
        type = MMS_FLOAT;
        break;
    case TagOctetString:
        type = MMS_OCTET_STRING;
        break;
    case TagVisibleString:
        type = MMS_VISIBLE_STRING;
        break;
    case TagGeneralizedTime:
        type = MMS_GENERALIZED_TIME;
        break;
    case TagBinaryTime:
        type = MMS_BINARY_TIME;
        break;
    case TagBcd:
        type = MMS_BCD;
        break;
    case TagObjId:
        type = MMS_OBJ_ID;
        break;
    case TagMmsString:
        type = MMS_STRING;
        break;
    case TagUtcTime:
        type = MMS_UTC_TIME;
        break;
    default:
        return false;
    }
    return t.constructed == (type == MMS_ARRAY || type == MMS_STRUCTURE);
}

// Checks the contents of a simple (non-complex) TLV of `type`; stores them into `into` when it
// is given. Every check comes before the first write, so a refused TLV changes nothing.
bool readSimple(MmsType type, const Tlv& t, MmsValue* into) {
    const uint8_t* p = t.value;
    const size_t n = t.length;
    switch (type) {
    case MMS_BOOLEAN:
        if (n != 1)
            return false;
        if (into)
            into->boolean = p[0] != 0;
        return true;
    case MMS_BIT_STRING:
        if (n < 1 || p[0] > 7 || (n == 1 && p[0] != 0))
            return false;
        if (into) {
            into->bytes.assign(p + 1, p + n);
            into->bitSize = static_cast<int>((n - 1) * 8 - p[0]);
            if (n > 1)
                into->bytes.back() &= static_cast<uint8_t>(0xFF << p[0]);
        }
        return true;
    case MMS_INTEGER:
    case MMS_BCD: {
        int64_t x = 0;
        if (!ber::decodeInt64(p, n, x))
            return false;
        if (into) {
            into->integer = x;
            into->integerSize = static_cast<uint8_t>(n);
        }
        return true;
    }
    case MMS_UNSIGNED: {
        uint64_t x = 0;
        if (!ber::decodeUint64(p, n, x))
            return false;
        if (into) {
            into->integer = static_cast<int64_t>(x);
            into->integerSize = static_cast<uint8_t>(n > 8 ? 8 : n);
        }
        return true;
    }
    case MMS_FLOAT:
        if (n == 5 && p[0] == 8) {
            if (into) {
                uint32_t bits = uint32_t(p[1]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 8 | p[4];
                float f;
                std::memcpy(&f, &bits, 4);
                into->floatValue = f;
                into->floatWidth = 32;
            }
            return true;
        }
        if (n == 9 && p[0] == 11) {
            if (into) {
                uint64_t bits = 0;
                for (int i = 1; i < 9; ++i)
                    bits = bits << 8 | p[i];
                double d;
                std::memcpy(&d, &bits, 8);
                into->floatValue = d;
                into->floatWidth = 64;
            }
            return true;
        }
        return false;
    case MMS_OCTET_STRING:
        if (into)
            iecx::value::setOctets(into, p, n);
        return true;
    case MMS_OBJ_ID:
        if (into) {
            into->bytes.assign(p, p + n);
            if (static_cast<int>(n) > into->maxSize)
                into->maxSize = static_cast<int>(n);
        }
        return true;
    case MMS_VISIBLE_STRING:
    case MMS_STRING:
    case MMS_GENERALIZED_TIME:
        if (into)
            into->text.assign(reinterpret_cast<const char*>(p), n);
        return true;
    case MMS_UTC_TIME:
        if (n != 8)
            return false;
        if (into)
            std::memcpy(into->time, p, 8);
        return true;
    case MMS_BINARY_TIME:
        if (n != 4 && n != 6)
            return false;
        if (into) {
            std::memset(into->time, 0, sizeof into->time);
            std::memcpy(into->time, p, n);
            into->binaryTimeSize = static_cast<uint8_t>(n);
        }
        return true;
    default:
        return false;
    }
}

// Walks `t` against the shape of `v`; writes only when `apply` is set.
bool update(MmsValue* v, const Tlv& t, int depth, bool apply) {
    MmsType type;
    if (!v || depth > kMaxNesting || !typeOf(t, type) || type != v->type)
        return false;
    if (type != MMS_ARRAY && type != MMS_STRUCTURE)
        return readSimple(type, t, apply ? v : nullptr);
    Reader r(t);
    Tlv child;
    size_t i = 0;
    for (; !r.atEnd(); ++i) {
        if (i >= v->components.size() || !r.next(child) || !update(v->components[i], child, depth + 1, apply))
            return false;
    }
    return i == v->components.size();
}

bool updateList(MmsValue* list, const uint8_t* data, size_t size, bool apply) {
    Reader r(data, size);
    Tlv t;
    size_t i = 0;
    for (; !r.atEnd(); ++i) {
        if (i >= list->components.size() || !r.next(t) || !update(list->components[i], t, 1, apply))
            return false;
    }
    return i == list->components.size();
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

// Appends `v`; false at the first part that cannot be encoded (the caller rolls back).
bool append(Writer& w, const MmsValue* v) {
    if (!v)
        return false;
    switch (v->type) {
    case MMS_ARRAY:
    case MMS_STRUCTURE: {
        size_t m = w.open(cons(v->type == MMS_ARRAY ? TagArray : TagStructure));
        for (const MmsValue* c : v->components)
            if (!append(w, c))
                return false;
        w.close(m);
        return true;
    }
    case MMS_BOOLEAN:
        w.boolean(prim(TagBoolean), v->boolean);
        return true;
    case MMS_BIT_STRING:
        if (v->bitSize < 0 || v->bytes.size() < static_cast<size_t>(v->bitSize + 7) / 8)
            return false;
        w.bitString(prim(TagBitString), v->bytes.data(), static_cast<size_t>(v->bitSize));
        return true;
    case MMS_INTEGER:
        w.integer(prim(TagInteger), v->integer);
        return true;
    case MMS_UNSIGNED:
        w.unsignedInteger(prim(TagUnsigned), static_cast<uint64_t>(v->integer));
        return true;
    case MMS_BCD:
        w.integer(prim(TagBcd), v->integer);
        return true;
    case MMS_FLOAT:
        encodeFloat(w, v);
        return true;
    case MMS_OCTET_STRING:
        w.primitive(prim(TagOctetString), iecx::value::octets(v), iecx::value::octetCount(v));
        return true;
    case MMS_OBJ_ID:
        w.primitive(prim(TagObjId), v->bytes.data(), v->bytes.size());
        return true;
    case MMS_VISIBLE_STRING:
        w.primitive(prim(TagVisibleString), v->text);
        return true;
    case MMS_GENERALIZED_TIME:
        w.primitive(prim(TagGeneralizedTime), v->text);
        return true;
    case MMS_STRING:
        w.primitive(prim(TagMmsString), v->text);
        return true;
    case MMS_BINARY_TIME:
        w.primitive(prim(TagBinaryTime), v->time, v->binaryTimeSize == 4 ? 4 : 6);
        return true;
    case MMS_UTC_TIME:
        w.primitive(prim(TagUtcTime), v->time, 8);
        return true;
    case MMS_DATA_ACCESS_ERROR:
        return false;
    }
    return false;
}

} // namespace

bool encodable(const MmsValue* v) {
    if (!v || v->type == MMS_DATA_ACCESS_ERROR)
        return false;
    for (const MmsValue* c : v->components)
        if (!encodable(c))
            return false;
    return true;
}

bool encodeData(Writer& w, const MmsValue* v) {
    const size_t before = w.size();
    if (append(w, v))
        return true;
    w.bytes().resize(before);
    return false;
}

void encodeAccessResult(Writer& w, const MmsValue* v) {
    if (v && v->type == MMS_DATA_ACCESS_ERROR) {
        w.integer(0x80, v->accessError >= 0 ? v->accessError : DATA_ACCESS_ERROR_UNKNOWN);
        return;
    }
    if (!encodeData(w, v))
        w.integer(0x80, DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID);
}

MmsValue* decodeData(const Tlv& t, int depth) {
    MmsType type;
    if (depth > kMaxNesting || !typeOf(t, type))
        return nullptr;
    MmsValue* v = iecx::value::make(type);
    if (!v)
        return nullptr;
    if (type == MMS_ARRAY || type == MMS_STRUCTURE) {
        Reader r(t);
        Tlv c;
        while (!r.atEnd()) {
            MmsValue* child = r.next(c) ? decodeData(c, depth + 1) : nullptr;
            if (!child) {
                MmsValue_delete(v);
                return nullptr;
            }
            v->components.push_back(child);
        }
        return v;
    }
    if (!readSimple(type, t, v)) {
        MmsValue_delete(v);
        return nullptr;
    }
    return v;
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

bool updateData(MmsValue* v, const Tlv& t) {
    return update(v, t, 0, false) && update(v, t, 0, true);
}

MmsValue* decodeDataList(const uint8_t* data, size_t size) {
    MmsValue* list = iecx::value::make(MMS_ARRAY);
    if (!list)
        return nullptr;
    Reader r(data, size);
    Tlv t;
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
    return updateList(list, data, size, false) && updateList(list, data, size, true);
}

int countDataList(const uint8_t* data, size_t size) {
    Reader r(data, size);
    Tlv t;
    int n = 0;
    while (!r.atEnd()) {
        if (!r.next(t))
            return -1;
        ++n;
    }
    return n;
}

} // namespace mms
} // namespace stack
