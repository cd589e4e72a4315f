#include "sv_subscriber.h"

#include "stack/src/ethernet/FrameReceiver.h"
#include "stack/src/goose/GooseFrame.h"
#include "stack/src/sv/SvFrame.h"
#include "stack/src/value/mms_value_internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

struct sSVSubscriber {
    uint8_t ethAddr[6] = {0, 0, 0, 0, 0, 0};
    uint16_t appId = 0;
    SVUpdateListener listener = nullptr;
    void* listenerParameter = nullptr;
};

struct sSVReceiver : stack::eth::SubscriberList<SVSubscriber> {
    std::string interfaceId = "eth0";
    bool checkDestAddr = false;
    stack::eth::FrameReceiver frames;
    std::vector<stack::sv::AsduSlot> slots; // used by the dispatching thread only

    void handleFrame(const uint8_t* data, size_t size, const stack::eth::VlanTag* removedTag) {
        stack::eth::LinkFrame link;
        std::lock_guard<std::recursive_mutex> lock(mutex);
        if (!stack::sv::parseSvFrame(data, size, removedTag, link, slots))
            return; // malformed: no ASDU of it is delivered
        for (size_t i = 0; i < subscribers.size(); ++i) {
            SVSubscriber s = subscribers[i];
            if (s->appId != link.appId || (checkDestAddr && std::memcmp(s->ethAddr, link.dst, 6) != 0))
                continue;
            for (size_t a = 0; a < slots.size() && s->listener; ++a)
                s->listener(s, s->listenerParameter, &slots[a].asdu);
        }
    }

    stack::eth::FrameReceiver::Handler handler() {
        return [this](const stack::eth::RxFrame& f) {
            if (f.length == f.wireLength) // cut frames are incomplete: dropped
                handleFrame(f.data, f.length, &f.vlan);
        };
    }
};

namespace {

bool inside(SVSubscriber_ASDU a, int index, int size) {
    return a && a->dataBuffer && index >= 0 && size <= a->dataBufferLength &&
           index <= a->dataBufferLength - size;
}

uint64_t readBe(const uint8_t* p, int size) {
    uint64_t v = 0;
    for (int i = 0; i < size; ++i)
        v = v << 8 | p[i];
    return v;
}

uint64_t field(SVSubscriber_ASDU a, int index, int size) {
    return inside(a, index, size) ? readBe(a->dataBuffer + index, size) : 0;
}

} // namespace

extern "C" {

SVReceiver SVReceiver_create(void) try { return new (std::nothrow) sSVReceiver(); } catch (...) {
    return nullptr;
}

void SVReceiver_disableDestAddrCheck(SVReceiver self) try {
    if (self)
        self->checkDestAddr = false;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVReceiver_enableDestAddrCheck(SVReceiver self) try {
    if (self)
        self->checkDestAddr = true;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVReceiver_setInterfaceId(SVReceiver self, const char* interfaceId) try {
    if (self && interfaceId)
        self->interfaceId = interfaceId;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVReceiver_addSubscriber(SVReceiver self, SVSubscriber subscriber) try {
    if (self && subscriber)
        self->add(subscriber);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVReceiver_removeSubscriber(SVReceiver self, SVSubscriber subscriber) try {
    if (self)
        self->remove(subscriber);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

// Streams go to group addresses the interface may not listen to: take every multicast frame.
void SVReceiver_start(SVReceiver self) try {
    if (self)
        self->frames.start(self->interfaceId, stack::eth::kEtherTypeSv, ETHERNET_SOCKET_MODE_ALL_MULTICAST,
                           {}, "SvRx " + self->interfaceId, self->handler());
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVReceiver_stop(SVReceiver self) try {
    if (self)
        self->frames.stop();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool SVReceiver_isRunning(SVReceiver self) try { return self && self->frames.isRunning(); } catch (...) {
    return false;
}

void SVReceiver_destroy(SVReceiver self) try {
    if (!self)
        return;
    self->frames.stop();
    for (SVSubscriber s : self->subscribers)
        SVSubscriber_destroy(s);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

EthernetSocket SVReceiver_startThreadless(SVReceiver self) try {
    if (!self || !self->frames.open(self->interfaceId, stack::eth::kEtherTypeSv,
                                    ETHERNET_SOCKET_MODE_ALL_MULTICAST, {}))
        return nullptr;
    return self->frames.handle();
} catch (...) {
    return nullptr;
}

void SVReceiver_stopThreadless(SVReceiver self) try {
    if (self)
        self->frames.close();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool SVReceiver_tick(SVReceiver self) try { return self && self->frames.poll(self->handler()); } catch (...) {
    return false;
}

void SVReceiver_handleMessage(SVReceiver self, uint8_t* buffer, int size) try {
    if (self && buffer && size > 0)
        self->handleFrame(buffer, static_cast<size_t>(size), nullptr);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

SVSubscriber SVSubscriber_create(const uint8_t* ethAddr, uint16_t appID) try {
    auto* self = new (std::nothrow) sSVSubscriber();
    if (!self)
        return nullptr;
    if (ethAddr)
        std::memcpy(self->ethAddr, ethAddr, 6);
    self->appId = appID;
    return self;
} catch (...) {
    return nullptr;
}

void SVSubscriber_setListener(SVSubscriber self, SVUpdateListener listener, void* parameter) try {
    if (!self)
        return;
    self->listener = listener;
    self->listenerParameter = parameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVSubscriber_destroy(SVSubscriber self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint16_t SVSubscriber_ASDU_getSmpCnt(SVSubscriber_ASDU self) {
    return self && self->smpCnt ? static_cast<uint16_t>(readBe(self->smpCnt, 2)) : 0;
}
const char* SVSubscriber_ASDU_getSvId(SVSubscriber_ASDU self) try {
    return self ? self->svId : nullptr;
} catch (...) {
    return nullptr;
}
const char* SVSubscriber_ASDU_getDatSet(SVSubscriber_ASDU self) try {
    return self ? self->datSet : nullptr;
} catch (...) {
    return nullptr;
}
uint32_t SVSubscriber_ASDU_getConfRev(SVSubscriber_ASDU self) {
    return self && self->confRev ? static_cast<uint32_t>(readBe(self->confRev, 4)) : 0;
}
uint8_t SVSubscriber_ASDU_getSmpMod(SVSubscriber_ASDU self) {
    return self && self->smpMod ? static_cast<uint8_t>(readBe(self->smpMod, 2)) : 0;
}
uint16_t SVSubscriber_ASDU_getSmpRate(SVSubscriber_ASDU self) {
    return self && self->smpRate ? static_cast<uint16_t>(readBe(self->smpRate, 2)) : 0;
}
bool SVSubscriber_ASDU_hasDatSet(SVSubscriber_ASDU self) try { return self && self->datSet; } catch (...) {
    return false;
}
bool SVSubscriber_ASDU_hasRefrTm(SVSubscriber_ASDU self) try { return self && self->refrTm; } catch (...) {
    return false;
}
bool SVSubscriber_ASDU_hasSmpMod(SVSubscriber_ASDU self) try { return self && self->smpMod; } catch (...) {
    return false;
}
bool SVSubscriber_ASDU_hasSmpRate(SVSubscriber_ASDU self) try { return self && self->smpRate; } catch (...) {
    return false;
}

uint64_t SVSubscriber_ASDU_getRefrTmAsMs(SVSubscriber_ASDU self) {
    return self && self->refrTm ? stack::goose::utcTimeToMs(self->refrTm) : 0;
}

uint64_t SVSubscriber_ASDU_getRefrTmAsNs(SVSubscriber_ASDU self) {
    if (!self || !self->refrTm)
        return 0;
    uint64_t seconds = readBe(self->refrTm, 4);
    uint64_t fraction = readBe(self->refrTm + 4, 3);
    return seconds * 1000000000ull + iecx::value::fractionIn(fraction, 1000000000ull);
}

uint8_t SVSubscriber_ASDU_getSmpSynch(SVSubscriber_ASDU self) {
    return self && self->smpSynch ? self->smpSynch[0] : 0;
}

int8_t SVSubscriber_ASDU_getINT8(SVSubscriber_ASDU self, int index) {
    return static_cast<int8_t>(field(self, index, 1));
}
int16_t SVSubscriber_ASDU_getINT16(SVSubscriber_ASDU self, int index) {
    return static_cast<int16_t>(field(self, index, 2));
}
int32_t SVSubscriber_ASDU_getINT32(SVSubscriber_ASDU self, int index) {
    return static_cast<int32_t>(field(self, index, 4));
}
int64_t SVSubscriber_ASDU_getINT64(SVSubscriber_ASDU self, int index) {
    return static_cast<int64_t>(field(self, index, 8));
}
uint8_t SVSubscriber_ASDU_getINT8U(SVSubscriber_ASDU self, int index) {
    return static_cast<uint8_t>(field(self, index, 1));
}
uint16_t SVSubscriber_ASDU_getINT16U(SVSubscriber_ASDU self, int index) {
    return static_cast<uint16_t>(field(self, index, 2));
}
uint32_t SVSubscriber_ASDU_getINT32U(SVSubscriber_ASDU self, int index) {
    return static_cast<uint32_t>(field(self, index, 4));
}
uint64_t SVSubscriber_ASDU_getINT64U(SVSubscriber_ASDU self, int index) {
    return field(self, index, 8);
}

float SVSubscriber_ASDU_getFLOAT32(SVSubscriber_ASDU self, int index) {
    uint32_t bits = static_cast<uint32_t>(field(self, index, 4));
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

double SVSubscriber_ASDU_getFLOAT64(SVSubscriber_ASDU self, int index) {
    uint64_t bits = field(self, index, 8);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

Timestamp SVSubscriber_ASDU_getTimestamp(SVSubscriber_ASDU self, int index) {
    Timestamp t;
    std::memset(&t, 0, sizeof t);
    if (inside(self, index, 8))
        std::memcpy(t.val, self->dataBuffer + index, 8);
    return t;
}

Quality SVSubscriber_ASDU_getQuality(SVSubscriber_ASDU self, int index) {
    // The low 16 bits: the 13 quality flags and the bits above them that some publishers set
    // (derived, and vendor bits), none dropped.
    return static_cast<Quality>(field(self, index, 4));
}

int SVSubscriber_ASDU_getDataSize(SVSubscriber_ASDU self) {
    return self ? self->dataBufferLength : 0;
}

} // extern "C"
