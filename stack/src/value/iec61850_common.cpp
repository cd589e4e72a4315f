// Functional constraints, quality flags and time stamps.
#include "iec61850_common.h"

#include "stack/src/value/mms_value_internal.h"

#include <cstring>
#include <new>

namespace {

struct FcText {
    FunctionalConstraint fc;
    const char* text;
};

constexpr FcText kFcTexts[] = {
    {IEC61850_FC_ST, "ST"}, {IEC61850_FC_MX, "MX"}, {IEC61850_FC_SP, "SP"}, {IEC61850_FC_SV, "SV"},
    {IEC61850_FC_CF, "CF"}, {IEC61850_FC_DC, "DC"}, {IEC61850_FC_SG, "SG"}, {IEC61850_FC_SE, "SE"},
    {IEC61850_FC_SR, "SR"}, {IEC61850_FC_OR, "OR"}, {IEC61850_FC_BL, "BL"}, {IEC61850_FC_EX, "EX"},
    {IEC61850_FC_CO, "CO"}, {IEC61850_FC_US, "US"}, {IEC61850_FC_MS, "MS"}, {IEC61850_FC_RP, "RP"},
    {IEC61850_FC_BR, "BR"}, {IEC61850_FC_LG, "LG"}, {IEC61850_FC_GO, "GO"},
};

constexpr int kQualityBits = 13;

} // namespace

extern "C" {

char* FunctionalConstraint_toString(FunctionalConstraint fc) try {
    for (const auto& entry : kFcTexts)
        if (entry.fc == fc)
            return const_cast<char*>(entry.text);
    return nullptr;
} catch (...) {
    return nullptr;
}

// Only the first two characters count, so "ST$stVal" also gives IEC61850_FC_ST.
FunctionalConstraint FunctionalConstraint_fromString(const char* fcString) {
    if (!fcString || !fcString[0] || !fcString[1])
        return IEC61850_FC_NONE;
    for (const auto& entry : kFcTexts)
        if (fcString[0] == entry.text[0] && fcString[1] == entry.text[1])
            return entry.fc;
    return IEC61850_FC_NONE;
}

// ---- quality ----

Validity Quality_getValidity(Quality* self) {
    return self ? static_cast<Validity>(*self & 0x3u) : 0;
}

void Quality_setValidity(Quality* self, Validity validity) try {
    if (self)
        *self = static_cast<Quality>((*self & ~0x3u) | (validity & 0x3u));
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Quality_setFlag(Quality* self, int flag) try {
    if (self)
        *self = static_cast<Quality>(*self | flag);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Quality_unsetFlag(Quality* self, int flag) try {
    if (self)
        *self = static_cast<Quality>(*self & ~flag);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool Quality_isFlagSet(Quality* self, int flag) try { return self && (*self & flag) != 0; } catch (...) {
    return false;
}

Quality Quality_fromMmsValue(const MmsValue* mmsValue) {
    Quality quality = 0;
    const int bits = MmsValue_getBitStringSize(mmsValue);
    for (int i = 0; i < bits && i < kQualityBits; ++i)
        if (MmsValue_getBitStringBit(mmsValue, i))
            quality = static_cast<Quality>(quality | (1u << i));
    return quality;
}

MmsValue* Quality_toMmsValue(Quality* self, MmsValue* mmsValue) try {
    if (!mmsValue)
        mmsValue = MmsValue_newBitString(kQualityBits);
    if (!mmsValue || MmsValue_getType(mmsValue) != MMS_BIT_STRING)
        return mmsValue;
    const Quality quality = self ? *self : 0;
    for (int i = 0; i < kQualityBits; ++i)
        MmsValue_setBitStringBit(mmsValue, i, (quality >> i) & 1u);
    return mmsValue;
} catch (...) {
    return nullptr;
}

// ---- time stamps ----

Timestamp* Timestamp_create(void) try { return new (std::nothrow) Timestamp{}; } catch (...) {
    return nullptr;
}

Timestamp* Timestamp_createFromByteArray(const uint8_t* byteArray) try {
    Timestamp* self = Timestamp_create();
    if (self && byteArray)
        std::memcpy(self->val, byteArray, 8);
    return self;
} catch (...) {
    return nullptr;
}

void Timestamp_destroy(Timestamp* self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Timestamp_clearFlags(Timestamp* self) try {
    if (self)
        self->val[7] = 0;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint32_t Timestamp_getTimeInSeconds(Timestamp* self) {
    if (!self)
        return 0;
    return (uint32_t(self->val[0]) << 24) | (uint32_t(self->val[1]) << 16) | (uint32_t(self->val[2]) << 8) |
           uint32_t(self->val[3]);
}

uint64_t Timestamp_getTimeInMs(Timestamp* self) {
    if (!self)
        return 0;
    const uint64_t fraction = (uint64_t(self->val[4]) << 16) | (uint64_t(self->val[5]) << 8) | self->val[6];
    return uint64_t(Timestamp_getTimeInSeconds(self)) * 1000 + iecx::value::fractionIn(fraction, 1000);
}

static bool qualityBit(const Timestamp* self, uint8_t mask) {
    return self && (self->val[7] & mask) != 0;
}

static void setQualityBit(Timestamp* self, uint8_t mask, bool value) {
    if (self)
        self->val[7] = value ? uint8_t(self->val[7] | mask) : uint8_t(self->val[7] & ~mask);
}

bool Timestamp_isLeapSecondKnown(Timestamp* self) try { return qualityBit(self, 0x80); } catch (...) {
    return false;
}
void Timestamp_setLeapSecondKnown(Timestamp* self, bool value) try {
    setQualityBit(self, 0x80, value);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
bool Timestamp_hasClockFailure(Timestamp* self) try { return qualityBit(self, 0x40); } catch (...) {
    return false;
}
void Timestamp_setClockFailure(Timestamp* self, bool value) try {
    setQualityBit(self, 0x40, value);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
bool Timestamp_isClockNotSynchronized(Timestamp* self) try { return qualityBit(self, 0x20); } catch (...) {
    return false;
}
void Timestamp_setClockNotSynchronized(Timestamp* self, bool value) try {
    setQualityBit(self, 0x20, value);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int Timestamp_getSubsecondPrecision(Timestamp* self) {
    return self ? (self->val[7] & 0x1f) : 0;
}

void Timestamp_setSubsecondPrecision(Timestamp* self, int subsecondPrecision) try {
    if (self)
        self->val[7] = uint8_t((self->val[7] & 0xe0) | (subsecondPrecision & 0x1f));
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Timestamp_setTimeInSeconds(Timestamp* self, uint32_t secondsSinceEpoch) try {
    if (!self)
        return;
    self->val[0] = uint8_t(secondsSinceEpoch >> 24);
    self->val[1] = uint8_t(secondsSinceEpoch >> 16);
    self->val[2] = uint8_t(secondsSinceEpoch >> 8);
    self->val[3] = uint8_t(secondsSinceEpoch);
    self->val[4] = self->val[5] = self->val[6] = 0;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

// The fraction is rounded up so that Timestamp_getTimeInMs gives back the same millisecond.
void Timestamp_setTimeInMilliseconds(Timestamp* self, uint64_t millisSinceEpoch) try {
    if (!self)
        return;
    Timestamp_setTimeInSeconds(self, static_cast<uint32_t>(millisSinceEpoch / 1000));
    const uint32_t fraction = static_cast<uint32_t>(((millisSinceEpoch % 1000) * 0x1000000ull + 999) / 1000);
    self->val[4] = uint8_t(fraction >> 16);
    self->val[5] = uint8_t(fraction >> 8);
    self->val[6] = uint8_t(fraction);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Timestamp_setByMmsUtcTime(Timestamp* self, const MmsValue* mmsValue) try {
    if (!self || MmsValue_getType(mmsValue) != MMS_UTC_TIME)
        return;
    std::memcpy(self->val, MmsValue_getUtcTimeBuffer(const_cast<MmsValue*>(mmsValue)), 8);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

MmsValue* Timestamp_toMmsValue(Timestamp* self, MmsValue* mmsValue) try {
    if (!mmsValue)
        mmsValue = MmsValue_newUtcTime(0);
    if (self && MmsValue_getType(mmsValue) == MMS_UTC_TIME)
        MmsValue_setUtcTimeByBuffer(mmsValue, self->val);
    return mmsValue;
} catch (...) {
    return nullptr;
}

const char* LibIEC61850_getVersionString(void) try { return "iecx-stack 0.1"; } catch (...) {
    return nullptr;
}

} // extern "C"
