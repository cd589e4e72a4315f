#include "cid/Publications.h"

namespace VorIec61850 {

std::vector<MmsPath> SvOut::getChannelsMmsPathes() const {
    std::vector<MmsPath> paths;
    paths.reserve(channels.size());
    for (const SvChannel& channel : channels)
        paths.emplace_back(channel.mmsPath, channel.channel);
    return paths;
}

} // namespace VorIec61850
