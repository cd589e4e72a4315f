#pragma once
// The receive thread shared by the GOOSE and SV receivers: one packet socket on one interface,
// filtered by EtherType, read through a memory-mapped ring a block of frames at a time; the
// thread sleeps in poll and is woken at once by stop() through an eventfd.
#include "stack/src/ethernet/PacketSocket.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace stack {
namespace eth {

class FrameReceiver {
public:
    using Handler = std::function<void(const RxFrame&)>;
    using Mac = std::array<uint8_t, 6>;
    // The ring (Ethernet_setReceiverRingSize, 16 MiB by default) holds about a fifth of a second
    // of 64 SV streams or of a GOOSE flood of 500 000 messages per second; a block waits at most
    // a millisecond (one timer tick) for more frames.
    static constexpr size_t kDefaultRingBytes = 16 * 1024 * 1024;
    static constexpr unsigned kRetireMs = 1;
    static std::atomic<size_t> ringBytes;

    FrameReceiver() = default;
    ~FrameReceiver() { stop(); }
    FrameReceiver(const FrameReceiver&) = delete;
    FrameReceiver& operator=(const FrameReceiver&) = delete;

    // Opens the socket (EtherType filter, mode, multicast groups). false when it cannot be
    // opened. Used directly for the threadless mode.
    bool open(const std::string& ifname, uint16_t etherType, EthernetSocketMode mode,
              const std::vector<Mac>& groups);
    void close();
    // open() and a receive thread named `threadName` calling `handler` for each frame.
    bool start(const std::string& ifname, uint16_t etherType, EthernetSocketMode mode,
               const std::vector<Mac>& groups, const std::string& threadName, Handler handler);
    // Ends the thread (waits for it) and closes the socket. Safe to call when not running.
    void stop();
    bool isRunning() const { return _running.load(std::memory_order_acquire); }
    // Joins one more multicast group while open.
    void addMulticast(const Mac& mac);
    // Changes the socket mode while open.
    void setMode(EthernetSocketMode mode);

    // One non-blocking pass (threadless mode): handles the frames that are ready; true when
    // there was at least one.
    bool poll(const Handler& handler);

    PacketSocket* socket() { return _handle.socket.get(); }
    // The open socket as an EthernetSocket handle (threadless mode); null when closed. The
    // receiver keeps ownership.
    EthernetSocket handle() { return _handle.socket ? &_handle : nullptr; }

private:
    void _run(std::string threadName, Handler handler);

    sEthernetSocket _handle; // owns the socket
    std::thread _thread;
    std::atomic<bool> _running{false};
    std::atomic<bool> _stopRequested{false};
    int _wakeFd = -1;
    std::mutex _controlMutex; // start/stop/addMulticast against each other
};

// The subscribers of a GOOSE or SV receiver, each listed once. The mutex guards the list and is
// held while a frame is dispatched to it.
template <class Subscriber> struct SubscriberList {
    std::recursive_mutex mutex;
    std::vector<Subscriber> subscribers;

    // false when the subscriber is listed already.
    bool add(Subscriber subscriber) {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        if (std::find(subscribers.begin(), subscribers.end(), subscriber) != subscribers.end())
            return false;
        subscribers.push_back(subscriber);
        return true;
    }
    void remove(Subscriber subscriber) {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        subscribers.erase(std::remove(subscribers.begin(), subscribers.end(), subscriber), subscribers.end());
    }
};

} // namespace eth
} // namespace stack
