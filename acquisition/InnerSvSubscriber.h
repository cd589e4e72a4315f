#pragma once
#include "acquisition/SvIn.h"

#include "sv_subscriber.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace VorIec61850 {

// Receives one Sampled Values stream through the stack's SV receivers and hands each accepted
// ASDU to the host: asduReceived is emitted on the receive thread, with the mutex held, and the
// host reads the ASDU's raw data buffer from its handler (getDataBufferLength, readDataBuffer).
class InnerSvSubscriber {
public:
    InnerSvSubscriber() = default;
    ~InnerSvSubscriber();
    InnerSvSubscriber(const InnerSvSubscriber&) = delete;
    InnerSvSubscriber& operator=(const InnerSvSubscriber&) = delete;

    sigc::signal<void, SVSubscriber, SVSubscriber_ASDU> asduReceived;

    // Refused (false) while running; the target is copied.
    bool setTarget(const SvIn& target);
    const SvIn& getTarget() const { return _target; }

    bool start();
    bool stop();
    bool isRunning() const { return _running; }

    // Length in bytes of the current ASDU's data buffer, -1 without a current ASDU.
    int getDataBufferLength();
    // Copies the current ASDU's whole data buffer; false (nothing copied) without one.
    bool readDataBuffer(unsigned char* buffer);

    // Receivers while running (one per listened interface).
    size_t getReceiverCount() const { return _receivers.size(); }

    // Deliveries of the receive threads, with and without the svID / confRev checks.
    void svCallback(SVSubscriber subscriber, SVSubscriber_ASDU asdu);
    void svCallbackNoFiltred(SVSubscriber subscriber, SVSubscriber_ASDU asdu);

private:
    // One listened interface: the receiver (shared, see the source) and this stream's
    // subscriber on it.
    struct Attachment {
        SVReceiver receiver = nullptr;
        SVSubscriber subscriber = nullptr;
        std::string interfaceName;
    };

    bool _createReceivers();
    bool _createReceiver(const std::string& interfaceName);
    bool _createSubscribers();
    bool _startReceivers();
    bool _enableReceivers();
    void _disableReceivers();
    void _stopReceivers();
    void _destroyReceivers();
    bool _isPostFiltered(SVSubscriber_ASDU asdu) const;
    void _deliver(SVSubscriber subscriber, SVSubscriber_ASDU asdu);

    SvIn _target;
    std::vector<Attachment> _receivers;
    SVSubscriber_ASDU _currentAsdu = nullptr;
    std::atomic<bool> _running{false};
    // Serialises deliveries of all receive threads and access to the current buffer.
    std::recursive_mutex _mutex;
    std::mutex _controlMutex;
};

// The listeners registered with the stack; parameter is the InnerSvSubscriber.
void _svCallbackFunction(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu);
void _svCallbackNotFiltredFunction(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu);

} // namespace VorIec61850
