// Readable text of MmsValues.
//
// Forms: structures and arrays as "{a,b,...}" (an empty slot as "NULL"), booleans "true" /
// "false", integers in decimal, floats with "%f", bit strings one '0'/'1' per bit in wire order,
// octet strings as lower-case hex digits without separators, texts as they are, UTC and
// binary times as "YYYYMMDDhhmmss.fffZ" (binary time of day alone as "hh:mm:ss.fff"), access
// errors as "error <code>", other types as "unknown type".
#include "stack/src/value/mms_value_internal.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string& out, const char* format, ...) {
    char buffer[64];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        out.append(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

void appendTime(std::string& out, uint64_t msSinceEpoch) {
    const std::time_t seconds = static_cast<std::time_t>(msSinceEpoch / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    appendf(out, "%04d%02d%02d%02d%02d%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(msSinceEpoch % 1000));
}

void print(std::string& out, const MmsValue* v) {
    if (!v) {
        out += "NULL";
        return;
    }
    switch (v->type) {
    case MMS_ARRAY:
    case MMS_STRUCTURE:
        out += '{';
        for (std::size_t i = 0; i < v->components.size(); ++i) {
            if (i > 0)
                out += ',';
            print(out, v->components[i]);
        }
        out += '}';
        break;
    case MMS_BOOLEAN:
        out += v->boolean ? "true" : "false";
        break;
    case MMS_INTEGER:
    case MMS_BCD:
        appendf(out, "%" PRId64, v->integer);
        break;
    case MMS_UNSIGNED:
        appendf(out, "%" PRIu64, static_cast<uint64_t>(v->integer));
        break;
    case MMS_FLOAT:
        if (v->floatWidth == 32)
            appendf(out, "%f", static_cast<double>(static_cast<float>(v->floatValue)));
        else
            appendf(out, "%f", v->floatValue);
        break;
    case MMS_BIT_STRING:
        for (int i = 0; i < v->bitSize; ++i)
            out += MmsValue_getBitStringBit(v, i) ? '1' : '0';
        break;
    case MMS_OCTET_STRING:
        for (std::size_t i = 0; i < v->octetCount; ++i)
            appendf(out, "%02x", v->bytes[i]);
        break;
    case MMS_VISIBLE_STRING:
    case MMS_STRING:
        out += v->text;
        break;
    case MMS_UTC_TIME:
        appendTime(out, MmsValue_getUtcTimeInMs(v));
        break;
    case MMS_BINARY_TIME:
        if (v->binaryTimeSize == 6) {
            appendTime(out, MmsValue_getBinaryTimeAsUtcMs(v));
        } else {
            const uint64_t ms = MmsValue_getBinaryTimeAsUtcMs(v);
            appendf(out, "%02u:%02u:%02u.%03u", unsigned(ms / 3600000), unsigned(ms / 60000 % 60),
                    unsigned(ms / 1000 % 60), unsigned(ms % 1000));
        }
        break;
    case MMS_DATA_ACCESS_ERROR:
        appendf(out, "error %d", static_cast<int>(v->accessError));
        break;
    default:
        out += "unknown type";
        break;
    }
}

} // namespace

extern "C" {

const char* MmsValue_getTypeString(MmsValue* self) try {
    if (!self)
        return "unknown(error)";
    switch (self->type) {
    case MMS_ARRAY:
        return "array";
    case MMS_STRUCTURE:
        return "structure";
    case MMS_BOOLEAN:
        return "boolean";
    case MMS_BIT_STRING:
        return "bit-string";
    case MMS_INTEGER:
        return "integer";
    case MMS_UNSIGNED:
        return "unsigned";
    case MMS_FLOAT:
        return "float";
    case MMS_OCTET_STRING:
        return "octet-string";
    case MMS_VISIBLE_STRING:
        return "visible-string";
    case MMS_GENERALIZED_TIME:
        return "generalized-time";
    case MMS_BINARY_TIME:
        return "binary-time";
    case MMS_BCD:
        return "bcd";
    case MMS_OBJ_ID:
        return "oid";
    case MMS_STRING:
        return "mms-string";
    case MMS_UTC_TIME:
        return "utc-time";
    case MMS_DATA_ACCESS_ERROR:
        return "access-error";
    }
    return "unknown(error)";
} catch (...) {
    return nullptr;
}

const char* MmsValue_printToBuffer(const MmsValue* self, char* buffer, int bufferSize) try {
    if (!buffer || bufferSize <= 0)
        return buffer;
    std::string text;
    print(text, self);
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(bufferSize - 1));
    text.copy(buffer, length);
    buffer[length] = '\0';
    return buffer;
} catch (...) {
    return nullptr;
}

} // extern "C"
