#pragma once
// The objects behind the GooseSubscriber and GooseReceiver handles.
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "stack/src/ethernet/FrameReceiver.h"
#include "stack/src/goose/GooseFrame.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

struct sGooseSubscriber : stack::goose::GooseState {
    // Matching criteria.
    std::string goCbRef;
    bool observer = false;
    int32_t appIdFilter = -1;
    bool dstMacSet = false;
    uint8_t dstMacFilter[6] = {0, 0, 0, 0, 0, 0};

    GooseListener listener = nullptr;
    void* listenerParameter = nullptr;

    // The data set values: the caller's (updated in place) or our own.
    MmsValue* dataSetValues = nullptr;
    bool ownsValues = true;

    // State of the last message.
    std::atomic<bool> stateValid{false};
    std::atomic<int> parseError{GOOSE_PARSE_ERROR_NO_ERROR};
    std::atomic<uint64_t> invalidityTimeMs{0};
    std::string goId;
    std::string lastGoCbRef;
    std::vector<uint8_t> lastAllData; // the data bytes of the last good message
    int lastCount = 0;                // and its number of members
    std::string dataSet;
    int32_t appId = -1;
    uint8_t srcMac[6] = {0, 0, 0, 0, 0, 0};
    uint8_t dstMac[6] = {0, 0, 0, 0, 0, 0};
    bool vlanSet = false;
    uint16_t vlanId = 0;
    uint8_t vlanPrio = 0;

    bool matches(const stack::goose::GooseMessage& m) const;
    // Takes over the fields and values of a matched message. false when the message is refused
    // (malformed data, numDatSetEntries not the number of members, another shape under the
    // same confRev, or a shape that does not fit the caller's values): the subscriber is then
    // invalid with the parse error set and keeps everything of the last good message.
    bool take(const stack::goose::GooseMessage& m);
    bool invalidate(GooseParseError error);
};

struct sGooseReceiver : stack::eth::SubscriberList<GooseSubscriber> {
    std::string interfaceId = "eth0";
    stack::eth::FrameReceiver frames;

    void handleFrame(const uint8_t* data, size_t size, const stack::eth::VlanTag* removedTag);
    std::vector<stack::eth::FrameReceiver::Mac> groups(EthernetSocketMode& mode);
};
