#pragma once
// The test set's own GOOSE and Sampled Values publications, as the host fills them for the CID
// writers.
#include <cstdint>
#include <string>
#include <vector>

#include "mms/HostChannel.h"
#include "mms/MmsPath.h"

namespace VorIec61850 {

// The test set's GOOSE publication. Only read by GooseToCid.
struct GooseOut {
    std::string macAddress; // written verbatim, e.g. 01-0C-CD-01-00-01
    uint64_t appId = 0;
    uint64_t vlanId = 0;
    uint64_t vlanPriority = 0;
    std::string dataSetName;
    std::string ldReference; // "<ldInst>/..." : the part before the first '/' is the LD instance
    std::string goCbRef;     // "<iedName><ldInst>/LLN0$GO$<cbName>"
    uint64_t confRev = 0;
    uint64_t minTime = 0; // milliseconds
    uint64_t maxTime = 0; // milliseconds
    // One FCDA per line (separated by '\n'), each in the FCDA XML text form:
    // <FCDA path="LD0/GGIO1.SPCSO1.stVal" fc="ST" dataType="BOOLEAN"/>
    std::string fcdaList;
};

// One published Sampled Values channel.
class SvChannel {
public:
    SvChannel(const std::string& mmsPath, VorRelay::IChannel* channel, double first, double second)
        : mmsPath(mmsPath), channel(channel), first(first), second(second) {}

    std::string mmsPath;         // e.g. KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]
    VorRelay::IChannel* channel; // the host's channel; carried, never used
    double first;                // host values carried unchanged
    double second;
};

// The test set's Sampled Values publication. Read by SvToCid.
class SvOut {
public:
    std::string macAddress;
    uint16_t appId = 0;
    uint16_t vlanId = 0;
    uint16_t vlanPriority = 0;
    std::vector<SvChannel> channels;

    // One MmsPath per channel, in channel order, each carrying its channel pointer.
    std::vector<MmsPath> getChannelsMmsPathes() const;
};

} // namespace VorIec61850
