// Raw Ethernet frames into the Sampled Values receive path: frame parser, matching and every
// ASDU accessor over the whole data buffer.
#include "stack/src/sv/SvFrame.h"
#include "sv_subscriber.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void touch(SVSubscriber, void*, SVSubscriber_ASDU a) {
    volatile uint64_t sink = SVSubscriber_ASDU_getSmpCnt(a) + SVSubscriber_ASDU_getConfRev(a) +
                             SVSubscriber_ASDU_getSmpRate(a) + SVSubscriber_ASDU_getSmpMod(a) +
                             SVSubscriber_ASDU_getSmpSynch(a) + SVSubscriber_ASDU_getRefrTmAsNs(a);
    const char* id = SVSubscriber_ASDU_getSvId(a);
    while (id && *id)
        sink = sink + static_cast<uint8_t>(*id++);
    const char* ds = SVSubscriber_ASDU_getDatSet(a);
    while (ds && *ds)
        sink = sink + static_cast<uint8_t>(*ds++);
    int n = SVSubscriber_ASDU_getDataSize(a);
    for (int i = -8; i < n + 8; ++i)
        sink = sink + static_cast<uint64_t>(SVSubscriber_ASDU_getINT64(a, i)) +
               SVSubscriber_ASDU_getQuality(a, i) + static_cast<uint64_t>(SVSubscriber_ASDU_getINT8(a, i));
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SVReceiver receiver = [] {
        SVReceiver r = SVReceiver_create();
        for (uint16_t appId : {0x4000, 0x4001}) {
            SVSubscriber s = SVSubscriber_create(nullptr, appId);
            SVSubscriber_setListener(s, touch, nullptr);
            SVReceiver_addSubscriber(r, s);
        }
        return r;
    }();
    std::vector<uint8_t> frame(data, data + size);
    SVReceiver_handleMessage(receiver, frame.data(), static_cast<int>(frame.size()));
    // With the tag the kernel would have removed.
    stack::eth::VlanTag tag;
    tag.present = size > 0 && (data[0] & 1);
    tag.tci = 0x6005;
    stack::eth::LinkFrame link;
    std::vector<stack::sv::AsduSlot> slots;
    stack::sv::parseSvFrame(frame.data(), frame.size(), &tag, link, slots);
    return 0;
}
