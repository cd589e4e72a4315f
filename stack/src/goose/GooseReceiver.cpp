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
        if (!s->matches(message) || !s->take(message))
            continue;
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

GooseReceiver GooseReceiver_create(void) {
    return new (std::nothrow) sGooseReceiver();
}

GooseReceiver GooseReceiver_createEx(uint8_t* /*buffer*/) {
    return GooseReceiver_create();
}

void GooseReceiver_setInterfaceId(GooseReceiver self, const char* interfaceId) {
    if (self && interfaceId)
        self->interfaceId = interfaceId;
}

const char* GooseReceiver_getInterfaceId(GooseReceiver self) {
    return self ? self->interfaceId.c_str() : nullptr;
}

void GooseReceiver_addSubscriber(GooseReceiver self, GooseSubscriber subscriber) {
    if (!self || !subscriber)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(self->mutex);
        if (std::find(self->subscribers.begin(), self->subscribers.end(), subscriber) !=
            self->subscribers.end())
            return;
        self->subscribers.push_back(subscriber);
    }
    if (subscriber->observer || !subscriber->dstMacSet) {
        self->frames.setMode(ETHERNET_SOCKET_MODE_ALL_MULTICAST); // when already open
    } else {
        FrameReceiver::Mac mac;
        std::memcpy(mac.data(), subscriber->dstMacFilter, 6);
        self->frames.addMulticast(mac);
    }
}

void GooseReceiver_removeSubscriber(GooseReceiver self, GooseSubscriber subscriber) {
    if (!self)
        return;
    std::lock_guard<std::recursive_mutex> lock(self->mutex);
    auto& v = self->subscribers;
    v.erase(std::remove(v.begin(), v.end(), subscriber), v.end());
}

void GooseReceiver_start(GooseReceiver self) {
    if (!self)
        return;
    EthernetSocketMode mode;
    auto groups = self->groups(mode);
    self->frames.start(self->interfaceId, stack::eth::kEtherTypeGoose, mode, groups,
                       "GooseRx " + self->interfaceId, [self](const stack::eth::RxFrame& f) {
                           if (f.length == f.wireLength) // cut frames are incomplete: dropped
                               self->handleFrame(f.data, f.length, &f.vlan);
                       });
}

void GooseReceiver_stop(GooseReceiver self) {
    if (self)
        self->frames.stop();
}

bool GooseReceiver_isRunning(GooseReceiver self) {
    return self && self->frames.isRunning();
}

void GooseReceiver_destroy(GooseReceiver self) {
    if (!self)
        return;
    self->frames.stop();
    for (GooseSubscriber s : self->subscribers)
        GooseSubscriber_destroy(s);
    delete self;
}

EthernetSocket GooseReceiver_startThreadless(GooseReceiver self) {
    if (!self)
        return nullptr;
    EthernetSocketMode mode;
    auto groups = self->groups(mode);
    if (!self->frames.open(self->interfaceId, stack::eth::kEtherTypeGoose, mode, groups))
        return nullptr;
    // The handle belongs to the receiver; it stays valid until stopThreadless.
    return self->frames.handle();
}

void GooseReceiver_stopThreadless(GooseReceiver self) {
    if (self)
        self->frames.close();
}

bool GooseReceiver_tick(GooseReceiver self) {
    if (!self)
        return false;
    return self->frames.poll([self](const stack::eth::RxFrame& f) {
        if (f.length == f.wireLength)
            self->handleFrame(f.data, f.length, &f.vlan);
    });
}

void GooseReceiver_handleMessage(GooseReceiver self, uint8_t* buffer, int size) {
    if (self && buffer && size > 0)
        self->handleFrame(buffer, static_cast<size_t>(size), nullptr);
}

} // extern "C"
