#pragma once
#include "acquisition/GooseIn.h"
#include "acquisition/InterfaceReceivers.h"
#include "mms/MmsDatasetHelper.h"

#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "mms_value.h"

#include <sigc++/sigc++.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace VorIec61850 {

// Drives the stack's GOOSE receivers and subscribers for one expanded target (value and time
// paths alternating): filters the messages and points, per path, to its value inside the
// received data set (member, then components). The pointers refer to the data set the stack
// keeps for the subscriber and are valid only while gooseReceived is emitted.
class InnerGooseSubscriber : public InterfaceReceivers<InnerGooseSubscriber, GooseIn, GooseReceiver> {
public:
    InnerGooseSubscriber() = default;
    ~InnerGooseSubscriber();

    // Emitted on the receive thread, with the mutex held, for every message that passes the
    // filters; the argument is the stack's subscriber of that message.
    sigc::signal<void, GooseSubscriber> gooseReceived;

    // One pointer per expanded path into the message being delivered, null where the message
    // has no value for the path. Read from a handler of gooseReceived only (which runs with the
    // mutex held).
    const std::vector<MmsValue*>& getMmsValues() const { return _values; }
    // Member index of each expanded path in the data set, negative when not in it (set by start).
    std::vector<int32_t> getAssociatedIndexes() const;
    // Where each expanded path lies in the data set: member, then components; empty when not in it.
    const std::vector<MmsDatasetHelper::IndexPath>& getAssociatedIndexPaths() const { return _indexes; }

    // Processes one message of a receive thread.
    void gooseCallback(GooseSubscriber subscriber);

private:
    friend class InterfaceReceivers<InnerGooseSubscriber, GooseIn, GooseReceiver>;
    void _onTarget();
    void _onStart();
    void _onStopped() {}
    void _createAssociateIndexes();
    bool _createReceiver(const std::string& interfaceName);
    bool _createSubscribers();
    bool _enableReceivers();
    void _disableReceivers();
    void _destroyReceivers();
    bool _isPostFilteredGoose(GooseSubscriber subscriber) const;

    std::vector<MmsValue*> _values;
    std::vector<MmsDatasetHelper::IndexPath> _indexes;
    // Serialises message processing of all receive threads.
    std::mutex _mutex;
};

// The listener registered with the stack; parameter is the InnerGooseSubscriber.
void _gooseCallbackFunction(GooseSubscriber subscriber, void* parameter);

} // namespace VorIec61850
