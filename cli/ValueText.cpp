#include "cli/ValueText.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <ctime>
#include <vector>

namespace iecx::cli {

namespace {

// Flags of a quality after the two validity bits, bit 2 onwards.
const char* const kQualityFlags[] = {"overflow",    "outOfRange", "badReference",   "oscillatory",
                                     "failure",     "oldData",    "inconsistent",   "inaccurate",
                                     "substituted", "test",       "operatorBlocked"};
// Validity by its two bits read as "bit 0, bit 1": 00 good, 01 invalid, 10 reserved, 11 questionable.
const char* const kValidity[] = {"good", "invalid", "reserved", "questionable"};

// Bits of the UTC time quality octet.
constexpr uint8_t kLeapSecondsKnown = 0x80;
constexpr uint8_t kClockFailure = 0x40;
constexpr uint8_t kClockNotSynchronized = 0x20;

bool isQuality(const MmsValue* value, MmsVariableSpecification* type) {
    if (MmsValue_getType(value) != MMS_BIT_STRING)
        return false;
    if (type != nullptr && MmsVariableSpecification_getName(type) != nullptr)
        return std::string(MmsVariableSpecification_getName(type)) == "q";
    return MmsValue_getBitStringSize(value) == 13;
}

std::vector<std::string> qualityFlags(const MmsValue* q) {
    const int size = MmsValue_getBitStringSize(q);
    const int validity =
        (MmsValue_getBitStringBit(q, 0) ? 2 : 0) | (size > 1 && MmsValue_getBitStringBit(q, 1) ? 1 : 0);
    std::vector<std::string> flags{kValidity[validity]};
    for (int bit = 2; bit < size && bit - 2 < static_cast<int>(std::size(kQualityFlags)); ++bit)
        if (MmsValue_getBitStringBit(q, bit))
            flags.push_back(kQualityFlags[bit - 2]);
    return flags;
}

std::vector<std::string> timeQualityFlags(uint8_t quality) {
    std::vector<std::string> flags;
    if (quality & kLeapSecondsKnown)
        flags.push_back("leapSecondsKnown");
    if (quality & kClockFailure)
        flags.push_back("clockFailure");
    if (quality & kClockNotSynchronized)
        flags.push_back("clockNotSynchronized");
    flags.push_back("accuracy " + std::to_string(quality & 0x1F));
    return flags;
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : separator) + p;
    return out;
}

std::string utcText(const MmsValue* value, uint8_t* quality) {
    uint8_t* buffer = MmsValue_getUtcTimeBuffer(const_cast<MmsValue*>(value));
    const uint32_t seconds =
        (uint32_t(buffer[0]) << 24) | (uint32_t(buffer[1]) << 16) | (uint32_t(buffer[2]) << 8) | buffer[3];
    const uint32_t fraction = (uint32_t(buffer[4]) << 16) | (uint32_t(buffer[5]) << 8) | buffer[6];
    *quality = buffer[7];
    // The fraction counts 2^-24 seconds; round to the nearest nanosecond.
    const uint32_t ns = static_cast<uint32_t>((uint64_t(fraction) * 1000000000ull + (1u << 23)) >> 24);
    return nanosecondsText(seconds, ns);
}

std::string bitsText(const MmsValue* value) {
    std::string bits;
    for (int i = 0; i < MmsValue_getBitStringSize(value); ++i)
        bits += MmsValue_getBitStringBit(value, i) ? '1' : '0';
    return bits;
}

std::string octetsText(const MmsValue* value) {
    MmsValue* v = const_cast<MmsValue*>(value);
    std::string out;
    const uint8_t* bytes = MmsValue_getOctetStringBuffer(v);
    for (int i = 0; i < MmsValue_getOctetStringSize(v); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
        out += hex;
    }
    return out;
}

const char* dataAccessErrorText(MmsDataAccessError error) {
    switch (error) {
    case DATA_ACCESS_ERROR_OBJECT_INVALIDATED:
        return "object-invalidated";
    case DATA_ACCESS_ERROR_HARDWARE_FAULT:
        return "hardware-fault";
    case DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE:
        return "temporarily-unavailable";
    case DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED:
        return "object-access-denied";
    case DATA_ACCESS_ERROR_OBJECT_UNDEFINED:
        return "object-undefined";
    case DATA_ACCESS_ERROR_INVALID_ADDRESS:
        return "invalid-address";
    case DATA_ACCESS_ERROR_TYPE_UNSUPPORTED:
        return "type-unsupported";
    case DATA_ACCESS_ERROR_TYPE_INCONSISTENT:
        return "type-inconsistent";
    case DATA_ACCESS_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT:
        return "object-attribute-inconsistent";
    case DATA_ACCESS_ERROR_OBJECT_ACCESS_UNSUPPORTED:
        return "object-access-unsupported";
    case DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT:
        return "object-non-existent";
    case DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID:
        return "object-value-invalid";
    default:
        return "unknown";
    }
}

// The type of the index-th member of a structure or the element type of an array; null when
// unknown.
MmsVariableSpecification* childType(MmsVariableSpecification* type, MmsType kind, int index) {
    if (type == nullptr)
        return nullptr;
    if (kind == MMS_ARRAY)
        return MmsVariableSpecification_getArrayElementSpecification(type);
    if (index >= MmsVariableSpecification_getSize(type))
        return nullptr;
    return MmsVariableSpecification_getChildSpecificationByIndex(type, index);
}

bool isFloat32(const MmsValue* value) {
    const double d = MmsValue_toDouble(value);
    return static_cast<double>(static_cast<float>(d)) == d;
}

} // namespace

std::string millisecondsText(uint64_t ms) {
    if (ms == 0)
        return "-";
    return nanosecondsText(ms / 1000, static_cast<uint32_t>(ms % 1000) * 1000000u).substr(0, 23) + "Z";
}

std::string nanosecondsText(uint64_t seconds, uint32_t nanoseconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm utc{};
    gmtime_r(&t, &utc);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%09uZ", nanoseconds);
    return text;
}

std::string floatText(double value, bool single) {
    char buffer[64];
    const auto result = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                               : std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string qualityText(const MmsValue* quality) {
    return join(qualityFlags(quality), "|");
}

std::string valueText(const MmsValue* value, MmsVariableSpecification* type) {
    if (value == nullptr)
        return "(none)";
    const MmsType kind = MmsValue_getType(value);
    switch (kind) {
    case MMS_STRUCTURE:
    case MMS_ARRAY: {
        std::string out = kind == MMS_STRUCTURE ? "{" : "[";
        const int size = static_cast<int>(MmsValue_getArraySize(value));
        for (int i = 0; i < size; ++i) {
            MmsVariableSpecification* member = childType(type, kind, i);
            out += i ? ", " : "";
            if (kind == MMS_STRUCTURE && member != nullptr &&
                MmsVariableSpecification_getName(member) != nullptr)
                out += std::string(MmsVariableSpecification_getName(member)) + "=";
            out += valueText(MmsValue_getElement(value, i), member);
        }
        return out + (kind == MMS_STRUCTURE ? "}" : "]");
    }
    case MMS_BOOLEAN:
        return MmsValue_getBoolean(value) ? "true" : "false";
    case MMS_INTEGER:
        return std::to_string(MmsValue_toInt64(value));
    case MMS_UNSIGNED:
        return std::to_string(MmsValue_toUint32(value));
    case MMS_FLOAT:
        return floatText(MmsValue_toDouble(value), isFloat32(value));
    case MMS_BIT_STRING:
        if (isQuality(value, type))
            return qualityText(value);
        return bitsText(value);
    case MMS_OCTET_STRING:
        return "0x" + octetsText(value);
    case MMS_VISIBLE_STRING:
    case MMS_STRING: {
        const char* text = MmsValue_toString(const_cast<MmsValue*>(value));
        return "\"" + printableText(text ? text : "") + "\"";
    }
    case MMS_UTC_TIME: {
        uint8_t quality = 0;
        std::string out = utcText(value, &quality);
        if (quality != 0)
            out += " (" + join(timeQualityFlags(quality), ", ") + ")";
        return out;
    }
    case MMS_BINARY_TIME:
        return millisecondsText(MmsValue_getBinaryTimeAsUtcMs(value));
    case MMS_DATA_ACCESS_ERROR:
        return std::string("data access error: ") + dataAccessErrorText(MmsValue_getDataAccessError(value));
    default: {
        char buffer[256];
        MmsValue_printToBuffer(value, buffer, sizeof buffer);
        return buffer;
    }
    }
}

Json valueJson(const MmsValue* value, MmsVariableSpecification* type) {
    if (value == nullptr)
        return nullptr;
    const MmsType kind = MmsValue_getType(value);
    switch (kind) {
    case MMS_STRUCTURE:
    case MMS_ARRAY: {
        const int size = static_cast<int>(MmsValue_getArraySize(value));
        bool named = kind == MMS_STRUCTURE && type != nullptr;
        for (int i = 0; named && i < size; ++i) {
            MmsVariableSpecification* member = childType(type, kind, i);
            named = member != nullptr && MmsVariableSpecification_getName(member) != nullptr;
        }
        Json out = named ? Json::object() : Json::array();
        for (int i = 0; i < size; ++i) {
            MmsVariableSpecification* member = childType(type, kind, i);
            Json element = valueJson(MmsValue_getElement(value, i), member);
            if (named)
                out[MmsVariableSpecification_getName(member)] = element;
            else
                out.push_back(element);
        }
        return out;
    }
    case MMS_BOOLEAN:
        return MmsValue_getBoolean(value);
    case MMS_INTEGER:
        return MmsValue_toInt64(value);
    case MMS_UNSIGNED:
        return MmsValue_toUint32(value);
    case MMS_FLOAT:
        // A float goes out as the double with the float's shortest digits, not its binary noise.
        return isFloat32(value) ? Json(std::stod(floatText(MmsValue_toDouble(value), true)))
                                : Json(MmsValue_toDouble(value));
    case MMS_BIT_STRING: {
        Json out = {{"bits", bitsText(value)}};
        if (isQuality(value, type))
            out["quality"] = qualityFlags(value);
        return out;
    }
    case MMS_OCTET_STRING:
        return octetsText(value);
    case MMS_VISIBLE_STRING:
    case MMS_STRING: {
        const char* text = MmsValue_toString(const_cast<MmsValue*>(value));
        return text ? text : "";
    }
    case MMS_UTC_TIME: {
        uint8_t quality = 0;
        const std::string text = utcText(value, &quality);
        return {{"utc", text},
                {"ms", MmsValue_getUtcTimeInMs(value)},
                {"timeQuality", timeQualityFlags(quality)}};
    }
    case MMS_BINARY_TIME:
        return {{"utc", millisecondsText(MmsValue_getBinaryTimeAsUtcMs(value))},
                {"ms", MmsValue_getBinaryTimeAsUtcMs(value)}};
    case MMS_DATA_ACCESS_ERROR:
        return {{"error", dataAccessErrorText(MmsValue_getDataAccessError(value))}};
    default:
        return valueText(value, type);
    }
}

std::string printableText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace iecx::cli
