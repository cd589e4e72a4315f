#pragma once
#include "mms/HostChannel.h"

#include <string>

namespace VorIec61850 {

// An object path (LD/LN.DO.DA[FC]) bound to the host channel that its value feeds. The channel
// is not owned and never used here; pools copy it along with the path.
class MmsPath {
public:
    MmsPath() = default;
    MmsPath(const std::string& path, VorRelay::IChannel* channel) : path(path), channel(channel) {}

    bool operator==(const MmsPath& other) const { return path == other.path && channel == other.channel; }
    bool operator!=(const MmsPath& other) const { return !(*this == other); }

    std::string path;
    VorRelay::IChannel* channel = nullptr;
};

} // namespace VorIec61850
