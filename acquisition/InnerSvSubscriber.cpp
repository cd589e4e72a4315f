#include "acquisition/InnerSvSubscriber.h"

#include <cstring>
#include <map>
#include <utility>

namespace VorIec61850 {

namespace {

// Receivers shared by all subscribers of the process on one interface (and one choice of the
// destination address check). A receiver reads every Sampled Values frame of its interface;
// one receiver per stream would read each frame once per stream, which sixteen streams of
// 4 800 frames per second cannot afford. So each interface has one receive thread, as many
// subscribers as there are streams, and the stack's receiver hands each frame to the matching
// ones. The receiver is started by its first user and stopped and destroyed by its last.
class SharedReceivers {
public:
    static SharedReceivers& instance() {
        static SharedReceivers receivers;
        return receivers;
    }

    // The running receiver for the interface, or null when it cannot be started.
    SVReceiver acquire(const std::string& interfaceName, bool checkDestAddr) {
        std::lock_guard<std::mutex> lock(_mutex);
        auto key = std::make_pair(interfaceName, checkDestAddr);
        auto it = _receivers.find(key);
        if (it != _receivers.end()) {
            ++it->second.users;
            return it->second.receiver;
        }
        SVReceiver receiver = SVReceiver_create();
        if (receiver == nullptr)
            return nullptr;
        SVReceiver_setInterfaceId(receiver, interfaceName.c_str());
        if (checkDestAddr)
            SVReceiver_enableDestAddrCheck(receiver);
        else
            SVReceiver_disableDestAddrCheck(receiver);
        SVReceiver_start(receiver);
        if (!SVReceiver_isRunning(receiver)) {
            SVReceiver_destroy(receiver);
            return nullptr;
        }
        _receivers[key] = Entry{receiver, 1};
        return receiver;
    }

    void release(SVReceiver receiver) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            for (auto it = _receivers.begin(); it != _receivers.end(); ++it) {
                if (it->second.receiver != receiver)
                    continue;
                if (--it->second.users > 0)
                    return;
                _receivers.erase(it);
                break;
            }
        }
        // Outside the lock: stopping waits for the receive thread, whose listeners may start or
        // stop other subscribers.
        SVReceiver_stop(receiver);
        SVReceiver_destroy(receiver);
    }

private:
    struct Entry {
        SVReceiver receiver;
        int users;
    };
    std::mutex _mutex;
    std::map<std::pair<std::string, bool>, Entry> _receivers;
};

} // namespace

void _svCallbackFunction(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu) {
    static_cast<InnerSvSubscriber*>(parameter)->svCallback(subscriber, asdu);
}

void _svCallbackNotFiltredFunction(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu) {
    static_cast<InnerSvSubscriber*>(parameter)->svCallbackNoFiltred(subscriber, asdu);
}

InnerSvSubscriber::~InnerSvSubscriber() {
    stop();
}

void InnerSvSubscriber::_onStopped() {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    _currentAsdu = nullptr;
}

bool InnerSvSubscriber::_createReceiver(const std::string& interfaceName) {
    detail::SvAttachment attachment;
    attachment.interfaceName = interfaceName;
    _receivers.push_back(attachment);
    return true;
}

bool InnerSvSubscriber::_createSubscribers() {
    uint8_t mac[6];
    const uint8_t* dstMac = nullptr;
    if (_target.dstMac) {
        if (!parseMac(*_target.dstMac, mac))
            return false;
        dstMac = mac;
    }
    // The APPID value goes to the stack whether or not it is set (0 when it never was).
    uint16_t appId = static_cast<uint16_t>(_target.appId.value_or(0) & 0xFFFF);
    bool filtered = _target.svId.has_value() || _target.confRev.has_value();
    for (detail::SvAttachment& attachment : _receivers) {
        attachment.subscriber = SVSubscriber_create(dstMac, appId);
        if (attachment.subscriber == nullptr)
            return false;
        SVSubscriber_setListener(attachment.subscriber,
                                 filtered ? _svCallbackFunction : _svCallbackNotFiltredFunction, this);
    }
    return true;
}

bool InnerSvSubscriber::_enableReceivers() {
    for (detail::SvAttachment& attachment : _receivers) {
        attachment.receiver =
            SharedReceivers::instance().acquire(attachment.interfaceName, _target.dstMac.has_value());
        if (attachment.receiver == nullptr)
            return false;
        // The receiver may be running already: the subscriber gets frames from now on.
        SVReceiver_addSubscriber(attachment.receiver, attachment.subscriber);
    }
    return true;
}

void InnerSvSubscriber::_disableReceivers() {
    // Removing takes the receiver's dispatch lock: once it returns, no listener call for this
    // subscriber is running or will run.
    for (detail::SvAttachment& attachment : _receivers)
        if (attachment.receiver != nullptr && attachment.subscriber != nullptr)
            SVReceiver_removeSubscriber(attachment.receiver, attachment.subscriber);
}

void InnerSvSubscriber::_destroyReceivers() {
    for (detail::SvAttachment& attachment : _receivers) {
        if (attachment.subscriber != nullptr)
            SVSubscriber_destroy(attachment.subscriber);
        if (attachment.receiver != nullptr)
            SharedReceivers::instance().release(attachment.receiver);
    }
    _receivers.clear();
}

bool InnerSvSubscriber::_isPostFiltered(SVSubscriber_ASDU asdu) const {
    if (_target.svId) {
        const char* svId = SVSubscriber_ASDU_getSvId(asdu);
        if (svId == nullptr || std::strcmp(svId, _target.svId->c_str()) != 0)
            return false;
    }
    if (_target.confRev && SVSubscriber_ASDU_getConfRev(asdu) != static_cast<uint32_t>(*_target.confRev))
        return false;
    return true;
}

void InnerSvSubscriber::_deliver(SVSubscriber subscriber, SVSubscriber_ASDU asdu) {
    _currentAsdu = asdu;
    if (!asduReceived.empty())
        asduReceived.emit(subscriber, asdu);
    // The stack's ASDU is valid only during its listener call: never keep it past the emission.
    _currentAsdu = nullptr;
}

void InnerSvSubscriber::svCallbackNoFiltred(SVSubscriber subscriber, SVSubscriber_ASDU asdu) {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    _deliver(subscriber, asdu);
}

void InnerSvSubscriber::svCallback(SVSubscriber subscriber, SVSubscriber_ASDU asdu) {
    // A filtered delivery exposes the ASDU's real data length: the buffer the host reads is
    // exactly the one an unfiltered delivery would give it.
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    if (!_isPostFiltered(asdu))
        return;
    _deliver(subscriber, asdu);
}

int InnerSvSubscriber::getDataBufferLength() {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    if (_currentAsdu == nullptr)
        return -1;
    return SVSubscriber_ASDU_getDataSize(_currentAsdu);
}

bool InnerSvSubscriber::readDataBuffer(unsigned char* buffer) {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    if (_currentAsdu == nullptr || buffer == nullptr)
        return false;
    int length = SVSubscriber_ASDU_getDataSize(_currentAsdu);
    if (length > 0 && _currentAsdu->dataBuffer != nullptr)
        std::memcpy(buffer, _currentAsdu->dataBuffer, static_cast<size_t>(length));
    return true;
}

} // namespace VorIec61850
