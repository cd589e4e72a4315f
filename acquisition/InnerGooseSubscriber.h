#pragma once
#include "acquisition/GooseIn.h"
#include "mms/MmsDatasetHelper.h"

#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "mms_value.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace VorIec61850 {

// Drives the stack's GOOSE receivers and subscribers for one expanded target (value and time
// paths alternating): filters the messages and points, per path, to its value inside the
// received data set (member, then components). The pointers refer to the data set the stack
// keeps for the subscriber and are valid only while gooseReceived is emitted.
class InnerGooseSubscriber {
public:
    InnerGooseSubscriber() = default;
    ~InnerGooseSubscriber();
    InnerGooseSubscriber(const InnerGooseSubscriber&) = delete;
    InnerGooseSubscriber& operator=(const InnerGooseSubscriber&) = delete;

    // Emitted on the receive thread, with the mutex held, for every message that passes the
    // filters; the argument is the stack's subscriber of that message.
    sigc::signal<void, GooseSubscriber> gooseReceived;

    // Refused (false) while running.
    bool setTarget(const GooseIn& target);
    const GooseIn& getTarget() const { return _target; }

    // False when already running or when a receiver could not be set up or started.
    bool start();
    // False when not running. No callback runs after it returns.
    bool stop();
    bool isRunning() const { return _running; }

    // One pointer per expanded path into the message being delivered, null where the message
    // has no value for the path. Read from a handler of gooseReceived only (which runs with the
    // mutex held).
    const std::vector<MmsValue*>& getMmsValues() const { return _values; }
    // Member index of each expanded path in the data set, negative when not in it (set by start).
    std::vector<int32_t> getAssociatedIndexes() const;
    // Where each expanded path lies in the data set: member, then components; empty when not in it.
    const std::vector<MmsDatasetHelper::IndexPath>& getAssociatedIndexPaths() const { return _indexes; }

    // Number of receivers while running (one per listened interface).
    size_t getReceiverCount() const { return _receivers.size(); }

    // Processes one message of a receive thread.
    void gooseCallback(GooseSubscriber subscriber);

private:
    void _createAssociateIndexes();
    bool _createReceivers();
    bool _createReceiver(const std::string& interfaceName);
    bool _createSubscribers();
    bool _startReceivers();
    bool _enableReceivers();
    void _disableReceivers();
    void _stopReceivers();
    void _destroyReceivers();
    bool _isPostFilteredGoose(GooseSubscriber subscriber) const;

    GooseIn _target;
    std::vector<MmsValue*> _values;
    std::vector<MmsDatasetHelper::IndexPath> _indexes;
    std::vector<GooseReceiver> _receivers;
    std::atomic<bool> _running{false};
    // Serialises message processing of all receive threads.
    std::mutex _mutex;
    // Serialises setTarget, start and stop when the host calls them from several threads.
    std::mutex _controlMutex;
};

// The listener registered with the stack; parameter is the InnerGooseSubscriber.
void _gooseCallbackFunction(GooseSubscriber subscriber, void* parameter);

} // namespace VorIec61850
