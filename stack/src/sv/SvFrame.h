#pragma once
// Sampled Values frames (IEC 61850-9-2): parsing without copying the samples, and encoding for
// publishers, tests, fuzzing and benchmarks.
//
// SavPdu ::= [APPLICATION 0] SEQUENCE { noASDU [0] INTEGER, security [1] ANY OPTIONAL,
//   asdu [2] SEQUENCE OF ASDU }
// ASDU ::= SEQUENCE { svID [0] VisibleString, datSet [1] VisibleString OPTIONAL,
//   smpCnt [2] 2 octets, confRev [3] 4 octets, refrTm [4] UtcTime OPTIONAL,
//   smpSynch [5] 1 octet, smpRate [6] 2 octets OPTIONAL, sample [7] OCTET STRING,
//   smpMod [8] 2 octets OPTIONAL }
#include "stack/src/ethernet/LinkFrame.h"
#include "sv_subscriber.h"

#include <string>
#include <vector>

namespace stack {
namespace sv {

// One parsed ASDU: the public view plus the storage of its zero-terminated texts.
struct AsduSlot {
    sSVSubscriber_ASDU asdu{};
    std::string svId;
    std::string datSet;
    bool hasDatSet = false;
};

// Parses a whole frame into `slots` (resized to the ASDU count; their pointers refer into the
// frame). false for anything malformed: wrong type, Length beyond the frame, bad BER, an ASDU
// without svID, smpCnt, confRev or samples, fields of the wrong size, or an ASDU count that
// differs from noASDU. Nothing of a rejected frame may be used.
bool parseSvFrame(const uint8_t* frame, size_t size, const eth::VlanTag* removedTag, eth::LinkFrame& link,
                  std::vector<AsduSlot>& slots);

struct SvAsduParams {
    std::string svId;
    bool hasDatSet = false;
    std::string datSet;
    uint16_t smpCnt = 0;
    uint32_t confRev = 0;
    bool hasRefrTm = false;
    uint8_t refrTm[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t smpSynch = 0;
    bool hasSmpRate = false;
    uint16_t smpRate = 0;
    bool hasSmpMod = false;
    uint16_t smpMod = 0;
    std::vector<uint8_t> data; // the encoded data set values
};

struct SvFrameParams {
    eth::LinkParams link;
    std::vector<SvAsduParams> asdus;
};

// Encodes a complete frame (no Ethernet padding) into `out` (replaced); false when too long.
bool encodeSvFrame(const SvFrameParams& params, std::vector<uint8_t>& out);

} // namespace sv
} // namespace stack
