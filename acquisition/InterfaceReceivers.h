#pragma once
#include "host/NetAddr.h"
#include "host/NetworkHelper.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace VorIec61850 {

// The receiver-per-interface bookkeeping the GOOSE and SV subscribers share: the target (copied,
// refused while running), one Receiver entry per listened interface (the target's interface, or
// every interface of the host when it names none) and the start and stop sequences, serialised
// by one control lock when the host calls them from several threads.
//
// Derived provides, called with the control lock held:
//   void _onTarget();                  after a new target is taken
//   void _onStart();                   before the receivers are set up
//   bool _createReceiver(interface);   appends the entry of one interface to _receivers
//   bool _createSubscribers();         the stack's subscribers of every entry
//   bool _enableReceivers();           starts delivering; false when a receiver cannot run
//   void _disableReceivers();          no delivery runs or will run once it returns
//   void _destroyReceivers();          frees every entry and empties _receivers
//   void _onStopped();                 after the receivers are gone
// and calls stop() in its destructor.
template <class Derived, class Target, class Receiver> class InterfaceReceivers {
public:
    InterfaceReceivers(const InterfaceReceivers&) = delete;
    InterfaceReceivers& operator=(const InterfaceReceivers&) = delete;

    // Refused (false) while running; the target is copied.
    bool setTarget(const Target& target) {
        std::lock_guard<std::mutex> control(_controlMutex);
        if (_running)
            return false;
        _target = target;
        _self()._onTarget();
        return true;
    }
    const Target& getTarget() const { return _target; }

    // False when already running or when a receiver could not be set up or started.
    bool start() {
        std::lock_guard<std::mutex> control(_controlMutex);
        if (_running)
            return false;
        _running = true;
        _self()._onStart();
        if (!_startReceivers()) {
            _stopReceivers();
            _running = false;
            return false;
        }
        return true;
    }

    // False when not running. No delivery runs after it returns.
    bool stop() {
        std::lock_guard<std::mutex> control(_controlMutex);
        if (!_running)
            return false;
        // Not under the delivery lock: a receive thread may be waiting for it, and stopping a
        // receiver waits for its thread.
        _stopReceivers();
        _running = false;
        return true;
    }
    bool isRunning() const { return _running; }

    // Receivers while running (one per listened interface).
    size_t getReceiverCount() const { return _receivers.size(); }

protected:
    InterfaceReceivers() = default;
    ~InterfaceReceivers() = default;

    // The six bytes of a MAC address text "01:0C:CD:01:00:01"; false when it is not one.
    static bool parseMac(const std::string& text, uint8_t (&bytes)[6]) {
        try {
            Vor::Net::NetAddr address(text, 6, ':');
            std::memcpy(bytes, address.data(), 6);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    Target _target;
    std::vector<Receiver> _receivers;

private:
    Derived& _self() { return static_cast<Derived&>(*this); }

    bool _startReceivers() {
        if (!_target.interfaceName.empty()) {
            if (!_self()._createReceiver(_target.interfaceName))
                return false;
        } else {
            for (const Vor::NetworkInterface& networkInterface : Vor::NetworkHelper::getNetworkInterfaces())
                if (!_self()._createReceiver(networkInterface.id))
                    return false;
        }
        return _self()._createSubscribers() && _self()._enableReceivers();
    }

    void _stopReceivers() {
        _self()._disableReceivers();
        _self()._destroyReceivers();
        _self()._onStopped();
    }

    std::atomic<bool> _running{false};
    std::mutex _controlMutex;
};

} // namespace VorIec61850
