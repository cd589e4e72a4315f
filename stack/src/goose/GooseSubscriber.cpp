#include "stack/src/goose/GooseInternal.h"

#include "stack/src/mms/MmsData.h"

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

bool sGooseSubscriber::invalidate(GooseParseError error) {
    parseError = error;
    stateValid = false;
    return false;
}

bool sGooseSubscriber::take(const GooseMessage& m) {
    // The whole data set is checked before anything changes: a refused message leaves the values
    // and fields of the last good one.
    // Most messages on a station bus are retransmissions: the same data bytes as the last good
    // message of the same stream and confRev decode to the values already held, so they are not
    // decoded again (a caller's own value structure is always updated, it may have changed it).
    const bool repeated =
        ownsValues && dataSetValues && m.confRev == confRev && m.allData.size == lastAllData.size() &&
        (lastAllData.empty() || std::memcmp(m.allData.data, lastAllData.data(), lastAllData.size()) == 0) &&
        m.gocbRef.equals(lastGoCbRef.data(), lastGoCbRef.size());
    const int count = repeated ? lastCount : stack::mms::countDataList(m.allData.data, m.allData.size);
    if (count < 0)
        return invalidate(GOOSE_PARSE_ERROR_TAGDECODE);
    if (m.hasNumDatSetEntries && m.numDatSetEntries != static_cast<uint32_t>(count))
        return invalidate(GOOSE_PARSE_ERROR_LENGTH_MISMATCH);
    if (repeated) {
        // the values stand
    } else if (!dataSetValues || !stack::mms::updateDataList(dataSetValues, m.allData.data, m.allData.size)) {
        // A publisher changes the shape of its data set only with a new confRev; the same stream
        // under the same confRev with another shape is a broken message.
        const bool sameStream =
            dataSetValues && m.confRev == confRev && m.gocbRef.equals(lastGoCbRef.data(), lastGoCbRef.size());
        MmsValue* fresh = stack::mms::decodeDataList(m.allData.data, m.allData.size);
        if (!fresh)
            return invalidate(GOOSE_PARSE_ERROR_TAGDECODE);
        if (!ownsValues || sameStream) {
            MmsValue_delete(fresh);
            return invalidate(GOOSE_PARSE_ERROR_TYPE_MISMATCH);
        }
        MmsValue_delete(dataSetValues);
        dataSetValues = fresh;
    }
    if (!repeated) {
        lastAllData.assign(m.allData.data, m.allData.data + m.allData.size);
        lastCount = count;
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
    static_cast<stack::goose::GooseState&>(*this) = m;
    parseError = GOOSE_PARSE_ERROR_NO_ERROR;
    invalidityTimeMs = stack::goose::nowMs() + timeAllowedToLive;
    stateValid = true;
    return true;
}

extern "C" {

GooseSubscriber GooseSubscriber_create(char* goCbRef, MmsValue* dataSetValues) try {
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
} catch (...) {
    return nullptr;
}

void GooseSubscriber_setObserver(GooseSubscriber self) try {
    if (self)
        self->observer = true;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseSubscriber_setDstMac(GooseSubscriber self, uint8_t dstMac[6]) try {
    if (!self || !dstMac)
        return;
    std::memcpy(self->dstMacFilter, dstMac, 6);
    self->dstMacSet = true;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseSubscriber_setAppId(GooseSubscriber self, uint16_t appId) try {
    if (self)
        self->appIdFilter = appId;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool GooseSubscriber_isValid(GooseSubscriber self) try {
    if (!self || !self->stateValid)
        return false;
    return stack::goose::nowMs() <= self->invalidityTimeMs.load();
} catch (...) {
    return false;
}

GooseParseError GooseSubscriber_getParseError(GooseSubscriber self) {
    return self ? static_cast<GooseParseError>(self->parseError.load()) : GOOSE_PARSE_ERROR_NO_ERROR;
}

void GooseSubscriber_destroy(GooseSubscriber self) try {
    if (!self)
        return;
    if (self->ownsValues)
        MmsValue_delete(self->dataSetValues);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseSubscriber_setListener(GooseSubscriber self, GooseListener listener, void* parameter) try {
    if (!self)
        return;
    self->listener = listener;
    self->listenerParameter = parameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int32_t GooseSubscriber_getAppId(GooseSubscriber self) {
    return self ? self->appId : -1;
}

void GooseSubscriber_getSrcMac(GooseSubscriber self, uint8_t* buffer) try {
    if (self && buffer)
        std::memcpy(buffer, self->srcMac, 6);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseSubscriber_getDstMac(GooseSubscriber self, uint8_t* buffer) try {
    if (self && buffer)
        std::memcpy(buffer, self->dstMac, 6);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint32_t GooseSubscriber_getStNum(GooseSubscriber self) {
    return self ? self->stNum : 0;
}
uint32_t GooseSubscriber_getSqNum(GooseSubscriber self) {
    return self ? self->sqNum : 0;
}
bool GooseSubscriber_isTest(GooseSubscriber self) try { return self && self->simulation; } catch (...) {
    return false;
}
uint32_t GooseSubscriber_getConfRev(GooseSubscriber self) {
    return self ? self->confRev : 0;
}
bool GooseSubscriber_needsCommission(GooseSubscriber self) try { return self && self->ndsCom; } catch (...) {
    return false;
}
uint32_t GooseSubscriber_getTimeAllowedToLive(GooseSubscriber self) {
    return self ? self->timeAllowedToLive : 0;
}
uint64_t GooseSubscriber_getTimestamp(GooseSubscriber self) {
    return self ? stack::goose::utcTimeToMs(self->t) : 0;
}
char* GooseSubscriber_getGoId(GooseSubscriber self) try {
    return self ? &self->goId[0] : nullptr;
} catch (...) {
    return nullptr;
}
char* GooseSubscriber_getGoCbRef(GooseSubscriber self) try {
    return self ? &self->lastGoCbRef[0] : nullptr;
} catch (...) {
    return nullptr;
}
char* GooseSubscriber_getDataSet(GooseSubscriber self) try {
    return self ? &self->dataSet[0] : nullptr;
} catch (...) {
    return nullptr;
}
MmsValue* GooseSubscriber_getDataSetValues(GooseSubscriber self) try {
    return self ? self->dataSetValues : nullptr;
} catch (...) {
    return nullptr;
}
bool GooseSubscriber_isVlanSet(GooseSubscriber self) try { return self && self->vlanSet; } catch (...) {
    return false;
}
uint16_t GooseSubscriber_getVlanId(GooseSubscriber self) {
    return self ? self->vlanId : 0;
}
uint8_t GooseSubscriber_getVlanPrio(GooseSubscriber self) {
    return self ? self->vlanPrio : 0;
}

} // extern "C"
