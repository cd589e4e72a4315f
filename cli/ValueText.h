#pragma once
// Values as the commands print them: structures in full (with member names when the type is
// known), arrays, floats to the last digit that tells them apart, UTC times to the nanosecond
// with their time quality, quality bit strings with their flags.
#include "cli/CliOptions.h"

#include "mms_type_spec.h"
#include "mms_value.h"

#include <cstdint>
#include <string>

namespace iecx::cli {

// UTC text of a Unix time in milliseconds, "2026-01-02T03:04:05.678Z"; "-" for 0.
std::string millisecondsText(uint64_t ms);
// UTC text of a Unix time in seconds and nanoseconds, all nine digits of the fraction.
std::string nanosecondsText(uint64_t seconds, uint32_t nanoseconds);
// The shortest text that reads back as the same float (or double when it is no float).
std::string floatText(double value, bool single);

// One line of text; `type` may be null (members are then written without names).
std::string valueText(const MmsValue* value, MmsVariableSpecification* type = nullptr);
// The same as JSON: numbers, booleans and texts as such, structures as objects when the member
// names are known (else arrays), times as {"utc": text, "ms": number, "quality": [...]},
// bit strings as {"bits": "0100...", "flags": [...]} for qualities.
Json valueJson(const MmsValue* value, MmsVariableSpecification* type = nullptr);

// The text with control bytes and backslashes escaped (\x1B, \\), safe to print on a terminal.
std::string printableText(const std::string& text);

// Names of the set flags of a quality bit string (validity first, then the detail flags).
std::string qualityText(const MmsValue* quality);

} // namespace iecx::cli
