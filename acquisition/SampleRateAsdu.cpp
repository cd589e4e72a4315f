#include "acquisition/SampleRateAsdu.h"

namespace VorIec61850 {

SampleRateAsdu::SampleRateAsdu(uint32_t mode_, uint32_t smpRate_, uint32_t asduPerPacket_,
                               uint32_t frequency_)
    : mode(mode_), smpRate(smpRate_), asduPerPacket(asduPerPacket_), frequency(frequency_) {}

uint32_t SampleRateAsdu::getSamplesPerSecond() const {
    if (mode == SmpPerSec)
        return smpRate;
    // Every other mode counts smpRate per nominal period (SecPerSmp included).
    return smpRate * frequency;
}

uint32_t SampleRateAsdu::getPacketsPerSecond() const {
    // A zero ASDU count is a caller error; answer 0 rather than divide by zero.
    return asduPerPacket == 0 ? 0 : getSamplesPerSecond() / asduPerPacket;
}

} // namespace VorIec61850
