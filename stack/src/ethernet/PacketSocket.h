#pragma once
// Linux packet socket bound to one interface, the link layer under GOOSE, SV and capture.
//
// The socket is created with protocol 0 (it receives nothing) and then bound to the interface
// with ETH_P_ALL, so no frame from another interface is ever queued. It stays an ETH_P_ALL tap
// because only taps see the VLAN tag of received frames (the kernel clears it before handing
// frames to protocol-specific sockets); an EtherType filter is a classic BPF program instead.
// The tag comes with each frame as auxiliary data (PACKET_AUXDATA), and so does, on capture
// sockets, the kernel's arrival time stamp (SO_TIMESTAMPNS): the time the frame entered the
// network stack, the clock every capture tool on Linux records, not the later moment user space
// reads it. Subscriptions do without: asking for stamps makes the kernel stamp every frame of
// the host. Receivers and captures that read many frames switch to a memory-mapped ring
// (enableRing, see RxRing.h), where the kernel's own arrival stamp comes with every frame.
#include "hal_ethernet.h"
#include "stack/src/ethernet/RxRing.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace stack {
namespace eth {

constexpr uint16_t kEtherTypeVlan = 0x8100;
constexpr uint16_t kEtherTypeQinQ = 0x88A8;
constexpr uint16_t kEtherTypeGoose = 0x88B8;
constexpr uint16_t kEtherTypeSv = 0x88BA;

// The outer VLAN tag the kernel removed from a received frame.
struct VlanTag {
    bool present = false;
    uint16_t tpid = kEtherTypeVlan;
    uint16_t tci = 0; // priority (3 bits), DEI (1 bit), VLAN id (12 bits)
};

// One received frame as the kernel delivered it (outer tag removed, see `vlan`). The
// RxRing::kHeadroom bytes in front of `data` belong to the frame's slot (see restoreTag).
struct RxFrame {
    const uint8_t* data = nullptr;
    size_t length = 0;     // bytes in data
    size_t wireLength = 0; // length before any cut (greater than length when truncated)
    VlanTag vlan;
    int64_t timeNs = 0;    // kernel arrival time, nanoseconds since the epoch (enableTimestamps)
    bool outgoing = false; // sent by this host (seen only on sockets without a protocol filter)
};

// Frames the kernel passed through a socket's filter and those it dropped because the receive
// queue was full, since the socket was opened.
struct SocketCounters {
    uint64_t seen = 0;
    uint64_t dropped = 0;
};

// Puts the removed outer tag back in place (4 bytes after the source address) by moving the
// addresses into the headroom in front of the frame; lengths grow by 4. Nothing without a tag.
void restoreTag(RxFrame& frame);

class PacketSocket {
public:
    // Opens a socket on interface `ifname`; null (with `error` set) when that fails. Frames are
    // received whole up to `frameCapacity` bytes (0: the interface's MTU, within 2 to 16 KiB).
    static std::unique_ptr<PacketSocket> open(const char* ifname, std::string* error = nullptr,
                                              size_t frameCapacity = 0);
    ~PacketSocket();
    PacketSocket(const PacketSocket&) = delete;
    PacketSocket& operator=(const PacketSocket&) = delete;

    int fd() const { return _fd; }
    int ifindex() const { return _ifindex; }
    const uint8_t* mac() const { return _mac; }

    // Delivers only frames of this EtherType (or of either of two), tagged or not, and none the
    // host sends itself.
    bool setProtocolFilter(uint16_t etherType, uint16_t otherEtherType = 0);
    // Each received frame gets the kernel's arrival time stamp (the time of reading when the
    // kernel gives none). false when the kernel refuses.
    bool enableTimestamps();
    // Receives through a memory-mapped ring of about `bytes` bytes from now on, frames handed
    // over at most about `retireMs` after arrival. false (reception unchanged) when the kernel
    // refuses; `error` then says why.
    bool enableRing(size_t bytes, unsigned retireMs, std::string* error = nullptr);
    bool hasRing() const { return _ring != nullptr; }
    // The kernel's counters (seen, dropped); they keep growing while the socket is open.
    SocketCounters counters();
    // The largest frame a receive delivers whole.
    size_t frameCapacity() const;
    bool setMode(EthernetSocketMode mode);
    bool addMulticast(const uint8_t mac[6]);
    bool send(const uint8_t* frame, size_t length);
    // Sends up to `count` frames with one system call per batch (for floods in benchmarks and
    // the simulated IED); returns how many were sent.
    int sendBatch(const uint8_t* const* frames, const size_t* lengths, int count);

    // Waits up to timeoutMs for a frame on this socket or for `wakeFd` (an eventfd; -1 for
    // none) to become readable. 1 frame ready, 0 time-out or woken, -1 error.
    int wait(int timeoutMs, int wakeFd = -1);

    // Receives the frames that are ready (at most a batch, without waiting) and calls fn(frame)
    // for each in arrival order. The frame data stays valid until the next call. Returns the
    // number of frames, 0 when none was ready, -1 on error.
    // With a ring, a batch is one block of the ring.
    template <class Fn> int receiveBatch(Fn&& fn) {
        int n = _refill();
        for (int i = _next; i < _count; ++i)
            if (_accept(i))
                fn(_frames[i]);
        _next = _count;
        return n;
    }

    // One frame into `buffer` with its tag re-inserted: length, 0 when none within timeoutMs,
    // -1 on error.
    int receiveOne(uint8_t* buffer, size_t size, int timeoutMs);

private:
    PacketSocket() = default;
    // The frames of the last batch not handed over yet, [_next, _count); a new batch when there
    // are none. Their number, 0 when no frame is ready, -1 on error.
    int _refill();
    int _receiveBatch();
    bool _accept(int i) const;

    int _fd = -1;
    int _ifindex = 0;
    uint8_t _mac[6] = {0, 0, 0, 0, 0, 0};
    uint16_t _etherType = 0; // 0: no filter
    uint16_t _otherEtherType = 0;
    bool _timestamps = false;
    SocketCounters _counters; // the kernel resets its own on every read; summed here
    EthernetSocketMode _mode = ETHERNET_SOCKET_MODE_PROMISC;

    struct Batch;
    std::unique_ptr<Batch> _batch;
    std::unique_ptr<RxRing> _ring;
    std::vector<RxFrame> _frames;
    std::vector<uint8_t> _pktTypes;
    int _next = 0;
    int _count = 0;
};

// A new object of type T (a publisher, an Ethernet socket) that owns a packet socket on the
// interface in its `socket` member; null when the socket cannot be opened or memory is short.
template <class T> T* newWithSocket(const char* interfaceId) {
    auto socket = PacketSocket::open(interfaceId);
    if (!socket)
        return nullptr;
    T* self = new (std::nothrow) T();
    if (self)
        self->socket = std::move(socket);
    return self;
}

} // namespace eth
} // namespace stack

// The handle behind EthernetSocket.
struct sEthernetSocket {
    std::unique_ptr<stack::eth::PacketSocket> socket;
    uint8_t destAddress[6] = {0, 0, 0, 0, 0, 0};
    size_t captureCapacity = 0; // capture sockets: bytes kept of each frame
};
