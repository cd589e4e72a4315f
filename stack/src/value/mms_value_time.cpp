// UTC time and binary time values.
#include "stack/src/value/mms_value_internal.h"

#include <cstring>

namespace {

constexpr uint64_t kMsPerDay = 86400000ull;
// Days from 1970-01-01 to 1984-01-01, the epoch of MMS TimeOfDay dates.
constexpr uint64_t kDaysUntil1984 = 5113;

bool isUtc(const MmsValue* v) {
    return v && v->type == MMS_UTC_TIME;
}
bool isBinaryTime(const MmsValue* v) {
    return v && v->type == MMS_BINARY_TIME;
}

uint32_t utcSeconds(const MmsValue* v) {
    return (uint32_t(v->time[0]) << 24) | (uint32_t(v->time[1]) << 16) | (uint32_t(v->time[2]) << 8) |
           uint32_t(v->time[3]);
}

uint32_t utcFraction(const MmsValue* v) {
    return (uint32_t(v->time[4]) << 16) | (uint32_t(v->time[5]) << 8) | uint32_t(v->time[6]);
}

void putSeconds(MmsValue* v, uint32_t seconds) {
    v->time[0] = uint8_t(seconds >> 24);
    v->time[1] = uint8_t(seconds >> 16);
    v->time[2] = uint8_t(seconds >> 8);
    v->time[3] = uint8_t(seconds);
}

void putFraction(MmsValue* v, uint32_t fraction) {
    v->time[4] = uint8_t(fraction >> 16);
    v->time[5] = uint8_t(fraction >> 8);
    v->time[6] = uint8_t(fraction);
}

} // namespace

extern "C" {

uint32_t MmsValue_toUnixTimestamp(const MmsValue* self) {
    return isUtc(self) ? utcSeconds(self) : 0;
}

// Whole seconds; the fraction is cleared, the quality byte kept.
MmsValue* MmsValue_setUtcTime(MmsValue* self, uint32_t timeval) try {
    if (isUtc(self)) {
        putSeconds(self, timeval);
        putFraction(self, 0);
    }
    return self;
} catch (...) {
    return nullptr;
}

// The fraction is rounded up to the next 1/2^24 s; reading back in milliseconds (rounded to the
// nearest) gives exactly the millisecond that was written. The quality byte is kept.
MmsValue* MmsValue_setUtcTimeMs(MmsValue* self, uint64_t timeval) try {
    if (!isUtc(self))
        return self;
    const uint64_t ms = timeval % 1000;
    putSeconds(self, static_cast<uint32_t>(timeval / 1000));
    putFraction(self, static_cast<uint32_t>((ms * 0x1000000ull + 999) / 1000));
    return self;
} catch (...) {
    return nullptr;
}

void MmsValue_setUtcTimeByBuffer(MmsValue* self, const uint8_t* buffer) try {
    if (isUtc(self) && buffer)
        std::memcpy(self->time, buffer, 8);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint8_t* MmsValue_getUtcTimeBuffer(MmsValue* self) try {
    return isUtc(self) ? self->time : nullptr;
} catch (...) {
    return nullptr;
}

uint64_t MmsValue_getUtcTimeInMs(const MmsValue* self) {
    if (!isUtc(self))
        return 0;
    return uint64_t(utcSeconds(self)) * 1000 + iecx::value::fractionIn(utcFraction(self), 1000);
}

// usec receives the microseconds beyond the returned millisecond (0..999).
uint64_t MmsValue_getUtcTimeInMsWithUs(const MmsValue* self, uint32_t* usec) {
    if (!isUtc(self)) {
        if (usec)
            *usec = 0;
        return 0;
    }
    const uint64_t micros = iecx::value::fractionIn(utcFraction(self), 1000000);
    if (usec)
        *usec = static_cast<uint32_t>(micros % 1000);
    return uint64_t(utcSeconds(self)) * 1000 + micros / 1000;
}

void MmsValue_setUtcTimeQuality(MmsValue* self, uint8_t timeQuality) try {
    if (isUtc(self))
        self->time[7] = timeQuality;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint8_t MmsValue_getUtcTimeQuality(const MmsValue* self) {
    return isUtc(self) ? self->time[7] : 0;
}

// A 4-byte TimeOfDay keeps only the time of day; dates before 1984 are stored as day 0.
void MmsValue_setBinaryTime(MmsValue* self, uint64_t timestamp) try {
    if (!isBinaryTime(self))
        return;
    const uint32_t msOfDay = static_cast<uint32_t>(timestamp % kMsPerDay);
    const uint64_t days = timestamp / kMsPerDay;
    const uint16_t days1984 = days > kDaysUntil1984 ? static_cast<uint16_t>(days - kDaysUntil1984) : 0;
    self->time[0] = uint8_t(msOfDay >> 24);
    self->time[1] = uint8_t(msOfDay >> 16);
    self->time[2] = uint8_t(msOfDay >> 8);
    self->time[3] = uint8_t(msOfDay);
    self->time[4] = uint8_t(days1984 >> 8);
    self->time[5] = uint8_t(days1984);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

// A 4-byte TimeOfDay gives the milliseconds of the day alone.
uint64_t MmsValue_getBinaryTimeAsUtcMs(const MmsValue* self) {
    if (!isBinaryTime(self))
        return 0;
    const uint64_t msOfDay = (uint64_t(self->time[0]) << 24) | (uint64_t(self->time[1]) << 16) |
                             (uint64_t(self->time[2]) << 8) | uint64_t(self->time[3]);
    if (self->binaryTimeSize != 6)
        return msOfDay;
    const uint64_t days1984 = (uint64_t(self->time[4]) << 8) | uint64_t(self->time[5]);
    return (days1984 + kDaysUntil1984) * kMsPerDay + msOfDay;
}

} // extern "C"
