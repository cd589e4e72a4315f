// Raw Ethernet frames into the GOOSE receive path: frame parser, subscriber matching, data set
// decoding into new values and in place, the subscriber accessors. The Data codec itself is
// fuzzed by mms_data.
#include "goose_receiver.h"
#include "goose_subscriber.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void touch(GooseSubscriber s, void*) {
    char text[512];
    MmsValue_printToBuffer(GooseSubscriber_getDataSetValues(s), text, sizeof text);
    (void)GooseSubscriber_getGoId(s);
    (void)GooseSubscriber_getTimestamp(s);
    (void)GooseSubscriber_isValid(s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static GooseReceiver receiver = [] {
        GooseReceiver r = GooseReceiver_create();
        GooseSubscriber observer = GooseSubscriber_create(nullptr, nullptr);
        GooseSubscriber_setObserver(observer);
        GooseSubscriber_setListener(observer, touch, nullptr);
        GooseReceiver_addSubscriber(r, observer);
        // A subscriber with values of its own shape, updated in place by matching frames.
        MmsValue* values = MmsValue_createEmptyArray(2);
        MmsValue_setElement(values, 0, MmsValue_newBoolean(false));
        MmsValue_setElement(values, 1, MmsValue_newBitString(13));
        GooseSubscriber fixed = GooseSubscriber_create(const_cast<char*>("IED1LD0/LLN0$GO$gcb1"), values);
        GooseSubscriber_setListener(fixed, touch, nullptr);
        GooseReceiver_addSubscriber(r, fixed);
        return r;
    }();
    // An exact-size copy so that any read past the end is caught.
    std::vector<uint8_t> frame(data, data + size);
    GooseReceiver_handleMessage(receiver, frame.data(), static_cast<int>(frame.size()));
    return 0;
}
