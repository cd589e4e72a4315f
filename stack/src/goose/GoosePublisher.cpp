#include "goose_publisher.h"

#include "stack/src/ethernet/PacketSocket.h"
#include "stack/src/goose/GooseFrame.h"

#include <cstring>
#include <new>

struct sGoosePublisher {
    std::unique_ptr<stack::eth::PacketSocket> socket;
    stack::goose::GooseFrameParams params;
    std::vector<uint8_t> frame;
};

extern "C" {

GoosePublisher GoosePublisher_createEx(CommParameters* parameters, const char* interfaceID,
                                       bool useVlanTag) try {
    auto* self = stack::eth::newWithSocket<sGoosePublisher>(interfaceID);
    if (!self)
        return nullptr;
    static const uint8_t defaultDst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    stack::eth::setPublisherLink(self->params.link, parameters, defaultDst, 0x1000, useVlanTag,
                                 self->socket->mac());
    GoosePublisher_reset(self);
    return self;
} catch (...) {
    return nullptr;
}

GoosePublisher GoosePublisher_create(CommParameters* parameters, const char* interfaceID) try {
    return GoosePublisher_createEx(parameters, interfaceID, stack::eth::wantsVlanTag(parameters));
} catch (...) {
    return nullptr;
}

void GoosePublisher_destroy(GoosePublisher self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

int GoosePublisher_publishAndDump(GoosePublisher self, LinkedList dataSet, char* msgBuf, int32_t* msgLen,
                                  int32_t bufSize) try {
    if (!self || !stack::goose::encodeGooseFrame(self->params, dataSet, self->frame))
        return -1;
    if (!self->socket->send(self->frame.data(), self->frame.size()))
        return -1;
    if (msgBuf && msgLen && bufSize >= 0 && self->frame.size() <= static_cast<size_t>(bufSize)) {
        std::memcpy(msgBuf, self->frame.data(), self->frame.size());
        *msgLen = static_cast<int32_t>(self->frame.size());
    }
    if (++self->params.sqNum == 0)
        self->params.sqNum = 1;
    return 0;
} catch (...) {
    return -1;
}

int GoosePublisher_publish(GoosePublisher self, LinkedList dataSet) try {
    return GoosePublisher_publishAndDump(self, dataSet, nullptr, nullptr, 0);
} catch (...) {
    return -1;
}

void GoosePublisher_setGoID(GoosePublisher self, char* goID) try {
    if (self)
        self->params.goId = goID ? goID : "";
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setGoCbRef(GoosePublisher self, char* goCbRef) try {
    if (self)
        self->params.gocbRef = goCbRef ? goCbRef : "";
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setTimeAllowedToLive(GoosePublisher self, uint32_t timeAllowedToLive) try {
    if (self)
        self->params.timeAllowedToLive = timeAllowedToLive;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setDataSetRef(GoosePublisher self, char* dataSetRef) try {
    if (self)
        self->params.datSet = dataSetRef ? dataSetRef : "";
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setConfRev(GoosePublisher self, uint32_t confRev) try {
    if (self)
        self->params.confRev = confRev;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setSimulation(GoosePublisher self, bool simulation) try {
    if (self)
        self->params.simulation = simulation;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setTest(GoosePublisher self, bool test) try {
    GoosePublisher_setSimulation(self, test);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setNeedsCommission(GoosePublisher self, bool ndsCom) try {
    if (self)
        self->params.ndsCom = ndsCom;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setStNum(GoosePublisher self, uint32_t stNum) try {
    if (self)
        self->params.stNum = stNum;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setSqNum(GoosePublisher self, uint32_t sqNum) try {
    if (self)
        self->params.sqNum = sqNum;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GoosePublisher_setTimestamp(GoosePublisher self, uint64_t timestampMs) try {
    if (self)
        stack::goose::utcTimeFromMs(timestampMs, self->params.t);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint64_t GoosePublisher_increaseStNum(GoosePublisher self) {
    if (!self)
        return 0;
    uint64_t now = stack::goose::nowMs();
    stack::goose::utcTimeFromMs(now, self->params.t);
    ++self->params.stNum;
    self->params.sqNum = 0;
    return now;
}

void GoosePublisher_reset(GoosePublisher self) try {
    if (!self)
        return;
    stack::goose::utcTimeFromMs(stack::goose::nowMs(), self->params.t);
    self->params.stNum = 1;
    self->params.sqNum = 0;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"
