#include "stack/src/goose/GooseInternal.h"

#include "stack/src/goose/DataCodec.h"

#include <chrono>
#include <cstring>
#include <new>

namespace stack {
namespace goose {
uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}
} // namespace goose
} // namespace stack

using stack::goose::GooseMessage;

bool sGooseSubscriber::matches(const GooseMessage& m) const {
    if (observer)
        return true;
    if (!m.gocbRef.equals(goCbRef.data(), goCbRef.size()))
        return false;
    if (appIdFilter >= 0 && appIdFilter != m.link.appId)
        return false;
    return !dstMacSet || std::memcmp(dstMacFilter, m.link.dst, 6) == 0;
}

bool sGooseSubscriber::take(const GooseMessage& m) {
    // Values first: a message whose data set cannot be stored changes nothing else.
    if (!dataSetValues || !stack::goose::updateDataList(dataSetValues, m.allData.data, m.allData.size)) {
        if (!ownsValues) {
            parseError = GOOSE_PARSE_ERROR_TYPE_MISMATCH;
            stateValid = false;
            return false;
        }
        MmsValue* fresh = stack::goose::decodeDataList(m.allData.data, m.allData.size);
        if (!fresh) {
            parseError = GOOSE_PARSE_ERROR_TAGDECODE;
            stateValid = false;
            return false;
        }
        MmsValue_delete(dataSetValues);
        dataSetValues = fresh;
    }
    lastGoCbRef.assign(reinterpret_cast<const char*>(m.gocbRef.data), m.gocbRef.size);
    dataSet.assign(reinterpret_cast<const char*>(m.datSet.data), m.datSet.size);
    if (m.hasGoId)
        goId.assign(reinterpret_cast<const char*>(m.goId.data), m.goId.size);
    else
        goId.clear();
    appId = m.link.appId;
    std::memcpy(srcMac, m.link.src, 6);
    std::memcpy(dstMac, m.link.dst, 6);
    vlanSet = m.link.vlanSet;
    vlanId = m.link.vlanId;
    vlanPrio = m.link.vlanPriority;
    timeAllowedToLive = m.timeAllowedToLive;
    std::memcpy(t, m.t, 8);
    stNum = m.stNum;
    sqNum = m.sqNum;
    simulation = m.simulation;
    confRev = m.confRev;
    ndsCom = m.ndsCom;
    parseError = GOOSE_PARSE_ERROR_NO_ERROR;
    invalidityTimeMs = stack::goose::nowMs() + timeAllowedToLive;
    stateValid = true;
    return true;
}

extern "C" {

GooseSubscriber GooseSubscriber_create(char* goCbRef, MmsValue* dataSetValues) {
    auto* self = new (std::nothrow) sGooseSubscriber();
    if (!self)
        return nullptr;
    if (goCbRef)
        self->goCbRef = goCbRef;
    if (dataSetValues) {
        self->dataSetValues = dataSetValues;
        self->ownsValues = false;
    }
    return self;
}

void GooseSubscriber_setObserver(GooseSubscriber self) {
    if (self)
        self->observer = true;
}

void GooseSubscriber_setDstMac(GooseSubscriber self, uint8_t dstMac[6]) {
    if (!self || !dstMac)
        return;
    std::memcpy(self->dstMacFilter, dstMac, 6);
    self->dstMacSet = true;
}

void GooseSubscriber_setAppId(GooseSubscriber self, uint16_t appId) {
    if (self)
        self->appIdFilter = appId;
}

bool GooseSubscriber_isValid(GooseSubscriber self) {
    if (!self || !self->stateValid)
        return false;
    return stack::goose::nowMs() <= self->invalidityTimeMs.load();
}

GooseParseError GooseSubscriber_getParseError(GooseSubscriber self) {
    return self ? static_cast<GooseParseError>(self->parseError.load()) : GOOSE_PARSE_ERROR_NO_ERROR;
}

void GooseSubscriber_destroy(GooseSubscriber self) {
    if (!self)
        return;
    if (self->ownsValues)
        MmsValue_delete(self->dataSetValues);
    delete self;
}

void GooseSubscriber_setListener(GooseSubscriber self, GooseListener listener, void* parameter) {
    if (!self)
        return;
    self->listener = listener;
    self->listenerParameter = parameter;
}

int32_t GooseSubscriber_getAppId(GooseSubscriber self) {
    return self ? self->appId : -1;
}

void GooseSubscriber_getSrcMac(GooseSubscriber self, uint8_t* buffer) {
    if (self && buffer)
        std::memcpy(buffer, self->srcMac, 6);
}

void GooseSubscriber_getDstMac(GooseSubscriber self, uint8_t* buffer) {
    if (self && buffer)
        std::memcpy(buffer, self->dstMac, 6);
}

uint32_t GooseSubscriber_getStNum(GooseSubscriber self) {
    return self ? self->stNum : 0;
}
uint32_t GooseSubscriber_getSqNum(GooseSubscriber self) {
    return self ? self->sqNum : 0;
}
bool GooseSubscriber_isTest(GooseSubscriber self) {
    return self && self->simulation;
}
uint32_t GooseSubscriber_getConfRev(GooseSubscriber self) {
    return self ? self->confRev : 0;
}
bool GooseSubscriber_needsCommission(GooseSubscriber self) {
    return self && self->ndsCom;
}
uint32_t GooseSubscriber_getTimeAllowedToLive(GooseSubscriber self) {
    return self ? self->timeAllowedToLive : 0;
}
uint64_t GooseSubscriber_getTimestamp(GooseSubscriber self) {
    return self ? stack::goose::utcTimeToMs(self->t) : 0;
}
char* GooseSubscriber_getGoId(GooseSubscriber self) {
    return self ? &self->goId[0] : nullptr;
}
char* GooseSubscriber_getGoCbRef(GooseSubscriber self) {
    return self ? &self->lastGoCbRef[0] : nullptr;
}
char* GooseSubscriber_getDataSet(GooseSubscriber self) {
    return self ? &self->dataSet[0] : nullptr;
}
MmsValue* GooseSubscriber_getDataSetValues(GooseSubscriber self) {
    return self ? self->dataSetValues : nullptr;
}
bool GooseSubscriber_isVlanSet(GooseSubscriber self) {
    return self && self->vlanSet;
}
uint16_t GooseSubscriber_getVlanId(GooseSubscriber self) {
    return self ? self->vlanId : 0;
}
uint8_t GooseSubscriber_getVlanPrio(GooseSubscriber self) {
    return self ? self->vlanPrio : 0;
}

} // extern "C"
