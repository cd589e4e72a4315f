#pragma once
#include "acquisition/InterfaceReceivers.h"
#include "acquisition/SvIn.h"

#include "sv_subscriber.h"

#include <sigc++/sigc++.h>

#include <mutex>
#include <string>
#include <vector>

namespace VorIec61850 {

namespace detail {
// One listened interface: the receiver (shared, see the source) and this stream's subscriber on it.
struct SvAttachment {
    SVReceiver receiver = nullptr;
    SVSubscriber subscriber = nullptr;
    std::string interfaceName;
};
} // namespace detail

// Receives one Sampled Values stream through the stack's SV receivers and hands each accepted
// ASDU to the host: asduReceived is emitted on the receive thread, with the mutex held, and the
// host reads the ASDU's raw data buffer from its handler (getDataBufferLength, readDataBuffer).
class InnerSvSubscriber : public InterfaceReceivers<InnerSvSubscriber, SvIn, detail::SvAttachment> {
public:
    InnerSvSubscriber() = default;
    ~InnerSvSubscriber();

    sigc::signal<void, SVSubscriber, SVSubscriber_ASDU> asduReceived;

    // Length in bytes of the current ASDU's data buffer, -1 without a current ASDU.
    int getDataBufferLength();
    // Copies the current ASDU's whole data buffer; false (nothing copied) without one.
    bool readDataBuffer(unsigned char* buffer);

    // Deliveries of the receive threads, with and without the svID / confRev checks.
    void svCallback(SVSubscriber subscriber, SVSubscriber_ASDU asdu);
    void svCallbackNoFiltred(SVSubscriber subscriber, SVSubscriber_ASDU asdu);

private:
    friend class InterfaceReceivers<InnerSvSubscriber, SvIn, detail::SvAttachment>;
    void _onTarget() {}
    void _onStart() {}
    void _onStopped();
    bool _createReceiver(const std::string& interfaceName);
    bool _createSubscribers();
    bool _enableReceivers();
    void _disableReceivers();
    void _destroyReceivers();
    bool _isPostFiltered(SVSubscriber_ASDU asdu) const;
    void _deliver(SVSubscriber subscriber, SVSubscriber_ASDU asdu);

    SVSubscriber_ASDU _currentAsdu = nullptr;
    // Serialises deliveries of all receive threads and access to the current buffer.
    std::recursive_mutex _mutex;
};

// The listeners registered with the stack; parameter is the InnerSvSubscriber.
void _svCallbackFunction(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu);
void _svCallbackNotFiltredFunction(SVSubscriber subscriber, void* parameter, SVSubscriber_ASDU asdu);

} // namespace VorIec61850
