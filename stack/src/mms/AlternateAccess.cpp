#include "stack/src/mms/AlternateAccess.h"

#include "mms_type_spec.h"
#include "stack/src/value/mms_value_internal.h"

#include <cctype>
#include <cstring>

namespace stack {
namespace mms {

namespace {

// Appends the steps of a '$'-joined component identifier.
void addComponents(const std::string& text, AccessPath& path) {
    size_t start = 0;
    for (;;) {
        size_t p = text.find('$', start);
        path.push_back(AccessStep::named(text.substr(start, p == std::string::npos ? p : p - start)));
        if (p == std::string::npos)
            return;
        start = p + 1;
    }
}

// One AlternateAccess level, `path` from `from` on: an index or a run of components, with the
// rest nested in a selectAlternateAccess.
void encodeLevel(Writer& w, const AccessPath& path, size_t from) {
    size_t next = from + 1;
    std::string components;
    if (path[from].kind == AccessStep::Kind::Component) {
        components = path[from].component;
        for (; next < path.size() && path[next].kind == AccessStep::Kind::Component; ++next)
            components += "$" + path[next].component;
    }
    const bool isIndex = path[from].kind == AccessStep::Kind::Index;
    if (next == path.size()) { // selectAccess: component [1] or index [2]
        if (isIndex)
            w.unsignedInteger(0x82, path[from].index);
        else
            w.primitive(0x81, components);
        return;
    }
    size_t select = w.open(0xA0); // selectAlternateAccess: component [0] or index [1], then the rest
    if (isIndex)
        w.unsignedInteger(0x81, path[from].index);
    else
        w.primitive(0x80, components);
    size_t nested = w.open(0x30);
    encodeLevel(w, path, next);
    w.close(nested);
    w.close(select);
}

bool decodeLevel(const uint8_t* data, size_t size, AccessPath& path, int depth) {
    Reader r(data, size);
    Tlv t;
    if (!r.next(t))
        return false;
    if (!r.atEnd() || depth > 16) { // several selections at one level, or absurd nesting
        path.push_back({AccessStep::Kind::Unsupported, 0, std::string()});
        return true;
    }
    uint32_t index = 0;
    if (t.is(ber::Context, false, 1)) { // selectAccess component
        addComponents(ber::decodeString(t), path);
        return true;
    }
    if (t.is(ber::Context, false, 2)) { // selectAccess index
        if (!ber::decodeUint32(t, index))
            return false;
        path.push_back(AccessStep::element(index));
        return true;
    }
    if (!t.is(ber::Context, true, 0)) { // index range, all elements, named
        path.push_back({AccessStep::Kind::Unsupported, 0, std::string()});
        return true;
    }
    Reader sr(t);
    Tlv selection, rest;
    if (!sr.next(selection) || !sr.next(rest) || !sr.atEnd() || !rest.is(ber::Universal, true, 16))
        return false;
    if (selection.is(ber::Context, false, 0)) {
        addComponents(ber::decodeString(selection), path);
    } else if (selection.is(ber::Context, false, 1)) {
        if (!ber::decodeUint32(selection, index))
            return false;
        path.push_back(AccessStep::element(index));
    } else {
        path.push_back({AccessStep::Kind::Unsupported, 0, std::string()});
        return true;
    }
    return decodeLevel(rest.value, rest.length, path, depth + 1);
}

} // namespace

void encodeAlternateAccess(Writer& w, const AccessPath& path) {
    if (path.empty())
        return;
    size_t m = w.open(0xA5);
    encodeLevel(w, path, 0);
    w.close(m);
}

bool decodeAlternateAccess(const Tlv& t, AccessPath& path) {
    path.clear();
    return t.constructed && decodeLevel(t.value, t.length, path, 0);
}

bool splitArrayPath(const std::string& text, std::string& base, AccessPath& path) {
    size_t open = text.find('(');
    if (open == std::string::npos) {
        base = text;
        return true;
    }
    size_t close = text.find(')', open);
    if (close == std::string::npos || close == open + 1 || close - open > 11)
        return false;
    uint64_t index = 0;
    for (size_t i = open + 1; i < close; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        index = index * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (index > 0xFFFFFFFFu)
        return false;
    base = text.substr(0, open);
    path.push_back(AccessStep::element(static_cast<uint32_t>(index)));
    size_t p = close + 1;
    if (p == text.size())
        return true;
    if (text[p] != '.' && text[p] != '$')
        return false;
    while (p < text.size()) {
        size_t end = text.find_first_of(".$(", p + 1);
        std::string name = text.substr(p + 1, end == std::string::npos ? end : end - p - 1);
        if (name.empty() || (end != std::string::npos && text[end] == '('))
            return false; // one array index per reference
        path.push_back(AccessStep::named(name));
        p = end == std::string::npos ? text.size() : end;
    }
    return true;
}

std::string formatAccessPath(const AccessPath& path, char sep) {
    std::string out;
    for (const AccessStep& s : path) {
        if (s.kind == AccessStep::Kind::Index)
            out += "(" + std::to_string(s.index) + ")";
        else
            out += sep + s.component;
    }
    return out;
}

MmsValue* selectPart(MmsValue* whole, const MmsVariableSpecification* typeDesc, const AccessPath& path,
                     MmsDataAccessError& error) {
    MmsValue* v = whole;
    for (const AccessStep& s : path) {
        error = DATA_ACCESS_ERROR_INVALID_ADDRESS;
        if (s.kind == AccessStep::Kind::Unsupported) {
            error = DATA_ACCESS_ERROR_OBJECT_ACCESS_UNSUPPORTED;
            return nullptr;
        }
        if (!v || !typeDesc)
            return nullptr;
        if (s.kind == AccessStep::Kind::Index) {
            if (v->type != MMS_ARRAY || typeDesc->type != MMS_ARRAY || s.index >= v->components.size())
                return nullptr;
            v = v->components[s.index];
            typeDesc = typeDesc->typeSpec.array.elementTypeSpec;
            continue;
        }
        if (v->type != MMS_STRUCTURE || typeDesc->type != MMS_STRUCTURE)
            return nullptr;
        const int n = typeDesc->typeSpec.structure.elementCount;
        int found = -1;
        for (int i = 0; i < n && found < 0; ++i) {
            const char* name = typeDesc->typeSpec.structure.elements[i]->name;
            if (name && s.component == name)
                found = i;
        }
        if (found < 0 || static_cast<size_t>(found) >= v->components.size())
            return nullptr;
        v = v->components[static_cast<size_t>(found)];
        typeDesc = typeDesc->typeSpec.structure.elements[found];
    }
    if (!v)
        error = DATA_ACCESS_ERROR_INVALID_ADDRESS;
    return v;
}

const MmsVariableSpecification* selectType(const MmsVariableSpecification* typeDesc, const AccessPath& path) {
    for (const AccessStep& s : path) {
        if (!typeDesc || s.kind == AccessStep::Kind::Unsupported)
            return nullptr;
        if (s.kind == AccessStep::Kind::Index) {
            if (typeDesc->type != MMS_ARRAY ||
                static_cast<int64_t>(s.index) >= typeDesc->typeSpec.array.elementCount)
                return nullptr;
            typeDesc = typeDesc->typeSpec.array.elementTypeSpec;
            continue;
        }
        if (typeDesc->type != MMS_STRUCTURE)
            return nullptr;
        const MmsVariableSpecification* next = nullptr;
        for (int i = 0; i < typeDesc->typeSpec.structure.elementCount && !next; ++i) {
            const char* name = typeDesc->typeSpec.structure.elements[i]->name;
            if (name && s.component == name)
                next = typeDesc->typeSpec.structure.elements[i];
        }
        typeDesc = next;
    }
    return typeDesc;
}

} // namespace mms
} // namespace stack
