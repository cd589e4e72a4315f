#pragma once
#include <cstdint>

namespace VorIec61850 {

// How the sample rate of a Sampled Values stream is expressed; the numbers match the SCL smpMod
// texts "SmpPerPeriod", "SmpPerSec" and "SecPerSmp".
enum emSmpRateMode : uint32_t {
    SmpPerPeriod = 0, // samples per nominal period of the power system
    SmpPerSec = 1,    // samples per second
    SecPerSmp = 2,    // seconds per sample
};

// The sample-rate settings of one stream, turned into samples and frames per second.
class SampleRateAsdu {
public:
    // asduPerPacket must not be 0.
    SampleRateAsdu(uint32_t mode, uint32_t smpRate, uint32_t asduPerPacket, uint32_t frequency);

    uint32_t getMode() const { return mode; }
    uint32_t getSmpRate() const { return smpRate; }
    uint32_t getAsduPerPacket() const { return asduPerPacket; }
    uint32_t getFrequency() const { return frequency; }

    // smpRate for SmpPerSec; smpRate times the nominal frequency for the other modes.
    uint32_t getSamplesPerSecond() const;
    // Samples per second divided (integer division) by the ASDUs carried in one frame.
    uint32_t getPacketsPerSecond() const;

private:
    uint32_t mode;
    uint32_t smpRate;
    uint32_t asduPerPacket;
    uint32_t frequency;
};

} // namespace VorIec61850
