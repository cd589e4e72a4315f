#include "stack/src/goose/GooseInternal.h"

#include <algorithm>
#include <cstring>
#include <new>

using stack::eth::FrameReceiver;

void sGooseReceiver::handleFrame(const uint8_t* data, size_t size, const stack::eth::VlanTag* removedTag) {
    stack::goose::GooseMessage message;
    if (!stack::goose::parseGooseFrame(data, size, removedTag, message))
        return; // not a well-formed GOOSE frame: dropped
    std::lock_guard<std::recursive_mutex> lock(mutex);
    // Index loop: a listener may add or remove subscribers.
    for (size_t i = 0; i < subscribers.size(); ++i) {
        GooseSubscriber s = subscribers[i];
        if (!s->matches(message))
            continue;
        s->take(message); // a refused message is delivered as invalid

        if (s->listener)
            s->listener(s, s->listenerParameter);
    }
}

std::vector<FrameReceiver::Mac> sGooseReceiver::groups(EthernetSocketMode& mode) {
    std::vector<FrameReceiver::Mac> result;
    mode = ETHERNET_SOCKET_MODE_MULTICAST;
    std::lock_guard<std::recursive_mutex> lock(mutex);
    for (GooseSubscriber s : subscribers) {
        if (s->observer || !s->dstMacSet) {
            mode = ETHERNET_SOCKET_MODE_ALL_MULTICAST;
            continue;
        }
        FrameReceiver::Mac mac;
        std::memcpy(mac.data(), s->dstMacFilter, 6);
        result.push_back(mac);
    }
    return result;
}

extern "C" {

GooseReceiver GooseReceiver_create(void) try { return new (std::nothrow) sGooseReceiver(); } catch (...) {
    return nullptr;
}

GooseReceiver GooseReceiver_createEx(uint8_t* /*buffer*/) try { return GooseReceiver_create(); } catch (...) {
    return nullptr;
}

void GooseReceiver_setInterfaceId(GooseReceiver self, const char* interfaceId) try {
    if (self && interfaceId)
        self->interfaceId = interfaceId;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

const char* GooseReceiver_getInterfaceId(GooseReceiver self) try {
    return self ? self->interfaceId.c_str() : nullptr;
} catch (...) {
    return nullptr;
}

void GooseReceiver_addSubscriber(GooseReceiver self, GooseSubscriber subscriber) try {
    if (!self || !subscriber)
        return;
    if (!self->add(subscriber))
        return;
    if (subscriber->observer || !subscriber->dstMacSet) {
        self->frames.setMode(ETHERNET_SOCKET_MODE_ALL_MULTICAST); // when already open
    } else {
        FrameReceiver::Mac mac;
        std::memcpy(mac.data(), subscriber->dstMacFilter, 6);
        self->frames.addMulticast(mac);
    }
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseReceiver_removeSubscriber(GooseReceiver self, GooseSubscriber subscriber) try {
    if (self)
        self->remove(subscriber);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseReceiver_start(GooseReceiver self) try {
    if (!self)
        return;
    EthernetSocketMode mode;
    auto groups = self->groups(mode);
    self->frames.start(self->interfaceId, stack::eth::kEtherTypeGoose, mode, groups,
                       "GooseRx " + self->interfaceId, [self](const stack::eth::RxFrame& f) {
                           if (f.length == f.wireLength) // cut frames are incomplete: dropped
                               self->handleFrame(f.data, f.length, &f.vlan);
                       });
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void GooseReceiver_stop(GooseReceiver self) try {
    if (self)
        self->frames.stop();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool GooseReceiver_isRunning(GooseReceiver self) try {
    return self && self->frames.isRunning();
} catch (...) {
    return false;
}

void GooseReceiver_destroy(GooseReceiver self) try {
    if (!self)
        return;
    self->frames.stop();
    for (GooseSubscriber s : self->subscribers)
        GooseSubscriber_destroy(s);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

EthernetSocket GooseReceiver_startThreadless(GooseReceiver self) try {
    if (!self)
        return nullptr;
    EthernetSocketMode mode;
    auto groups = self->groups(mode);
    if (!self->frames.open(self->interfaceId, stack::eth::kEtherTypeGoose, mode, groups))
        return nullptr;
    // The handle belongs to the receiver; it stays valid until stopThreadless.
    return self->frames.handle();
} catch (...) {
    return nullptr;
}

void GooseReceiver_stopThreadless(GooseReceiver self) try {
    if (self)
        self->frames.close();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool GooseReceiver_tick(GooseReceiver self) try {
    if (!self)
        return false;
    return self->frames.poll([self](const stack::eth::RxFrame& f) {
        if (f.length == f.wireLength)
            self->handleFrame(f.data, f.length, &f.vlan);
    });
} catch (...) {
    return false;
}

void GooseReceiver_handleMessage(GooseReceiver self, uint8_t* buffer, int size) try {
    if (self && buffer && size > 0)
        self->handleFrame(buffer, static_cast<size_t>(size), nullptr);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"
