// C interface of the raw Ethernet layer over PacketSocket.
#include "hal_ethernet.h"

#include "stack/src/ethernet/FrameReceiver.h"
#include "stack/src/ethernet/PacketSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Capture sockets: ring size, and how long a block of frames may wait for more before it is
// handed over (the capture holds frames a little longer anyway to put them in order).
constexpr size_t kCaptureRingBytes = 64 * 1024 * 1024;
constexpr unsigned kCaptureRetireMs = 2;

} // namespace

struct sEthernetHandleSet {
    std::vector<pollfd> fds;
};

extern "C" {

EthernetHandleSet EthernetHandleSet_new(void) try {
    return new (std::nothrow) sEthernetHandleSet();
} catch (...) {
    return nullptr;
}

void EthernetHandleSet_addSocket(EthernetHandleSet self, const EthernetSocket sock) try {
    if (self && sock && sock->socket)
        self->fds.push_back(pollfd{sock->socket->fd(), POLLIN, 0});
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void EthernetHandleSet_removeSocket(EthernetHandleSet self, const EthernetSocket sock) try {
    if (!self || !sock || !sock->socket)
        return;
    int fd = sock->socket->fd();
    self->fds.erase(
        std::remove_if(self->fds.begin(), self->fds.end(), [fd](const pollfd& p) { return p.fd == fd; }),
        self->fds.end());
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int EthernetHandleSet_waitReady(EthernetHandleSet self, unsigned int timeoutMs) try {
    if (!self)
        return -1;
    if (self->fds.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return 0;
    }
    int r = poll(self->fds.data(), self->fds.size(), static_cast<int>(timeoutMs));
    if (r < 0 && errno == EINTR)
        return 0;
    return r;
} catch (...) {
    return -1;
}

void EthernetHandleSet_destroy(EthernetHandleSet self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Ethernet_getInterfaceMACAddress(const char* interfaceId, uint8_t* addr) try {
    if (!addr)
        return;
    std::memset(addr, 0, 6);
    if (!interfaceId || std::strlen(interfaceId) >= IFNAMSIZ)
        return;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    ifreq req{};
    std::strncpy(req.ifr_name, interfaceId, IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFHWADDR, &req) == 0)
        std::memcpy(addr, req.ifr_hwaddr.sa_data, 6);
    close(fd);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

EthernetSocket Ethernet_createSocket(const char* interfaceId, uint8_t* destAddress) try {
    auto* self = stack::eth::newWithSocket<sEthernetSocket>(interfaceId);
    if (self && destAddress)
        std::memcpy(self->destAddress, destAddress, 6);
    return self;
} catch (...) {
    return nullptr;
}

void Ethernet_destroySocket(EthernetSocket ethSocket) try { delete ethSocket; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Ethernet_sendPacket(EthernetSocket ethSocket, uint8_t* buffer, int packetSize) try {
    if (ethSocket && buffer && packetSize > 0)
        ethSocket->socket->send(buffer, static_cast<size_t>(packetSize));
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Ethernet_setMode(EthernetSocket ethSocket, EthernetSocketMode mode) try {
    if (ethSocket)
        ethSocket->socket->setMode(mode);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Ethernet_addMulticastAddress(EthernetSocket ethSocket, uint8_t* multicastAddress) try {
    if (ethSocket && multicastAddress)
        ethSocket->socket->addMulticast(multicastAddress);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Ethernet_setProtocolFilter(EthernetSocket ethSocket, uint16_t etherType) try {
    if (ethSocket)
        ethSocket->socket->setProtocolFilter(etherType);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int Ethernet_receivePacket(EthernetSocket ethSocket, uint8_t* buffer, int bufferSize) try {
    if (!ethSocket) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ETHERNET_RECEIVE_WAIT_MS));
        return 0;
    }
    if (!buffer || bufferSize <= 0)
        return -1;
    return ethSocket->socket->receiveOne(buffer, static_cast<size_t>(bufferSize), ETHERNET_RECEIVE_WAIT_MS);
} catch (...) {
    return -1;
}

EthernetSocket Ethernet_createCaptureSocket(const char* interfaceId, int frameCapacity, char* errorText,
                                            int errorSize) try {
    size_t capacity = frameCapacity > 0 ? static_cast<size_t>(frameCapacity) : 0;
    if (capacity == 0 && interfaceId != nullptr) {
        // The interface's MTU plus Ethernet header and one VLAN tag: every frame whole.
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq req{};
        std::strncpy(req.ifr_name, interfaceId, IFNAMSIZ - 1);
        if (fd >= 0 && ioctl(fd, SIOCGIFMTU, &req) == 0)
            capacity = static_cast<size_t>(req.ifr_mtu) + 18;
        if (fd >= 0)
            close(fd);
        if (capacity < 1518)
            capacity = 1518;
    }
    std::string error;
    auto socket = stack::eth::PacketSocket::open(interfaceId, &error, capacity);
    if (socket && !socket->enableTimestamps()) {
        error = std::string("SO_TIMESTAMPNS: ") + std::strerror(errno);
        socket.reset();
    }
    // A capture must ride out the moments its thread is not scheduled on a busy machine: a
    // ring of 64 MiB holds about a second of a loaded station bus. Should the kernel refuse a
    // ring, a receive queue as large does the same job at more cost per frame.
    if (socket && !socket->enableRing(kCaptureRingBytes, kCaptureRetireMs)) {
        int rcvbuf = static_cast<int>(kCaptureRingBytes);
        setsockopt(socket->fd(), SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf);
    }
    if (!socket) {
        if (errorText && errorSize > 0)
            std::snprintf(errorText, static_cast<size_t>(errorSize), "%s", error.c_str());
        return nullptr;
    }
    auto* self = new (std::nothrow) sEthernetSocket();
    if (!self)
        return nullptr;
    self->socket = std::move(socket);
    self->captureCapacity = capacity;
    return self;
} catch (...) {
    return nullptr;
}

int Ethernet_getFrameCapacity(EthernetSocket ethSocket) {
    if (!ethSocket)
        return 0;
    size_t capacity =
        ethSocket->captureCapacity ? ethSocket->captureCapacity : ethSocket->socket->frameCapacity();
    return static_cast<int>(capacity);
}

bool Ethernet_setProtocolFilter2(EthernetSocket ethSocket, uint16_t etherType, uint16_t otherEtherType) try {
    return ethSocket && ethSocket->socket->setProtocolFilter(etherType, otherEtherType);
} catch (...) {
    return false;
}

int Ethernet_receiveBatch(EthernetSocket ethSocket, EthernetFrameHandler handler, void* parameter) try {
    if (!ethSocket || !handler)
        return -1;
    const size_t capacity = static_cast<size_t>(Ethernet_getFrameCapacity(ethSocket));
    return ethSocket->socket->receiveBatch([&](const stack::eth::RxFrame& received) {
        stack::eth::RxFrame f = received;
        stack::eth::restoreTag(f);
        EthernetFrame frame;
        frame.data = f.data;
        frame.length = static_cast<uint32_t>(f.length < capacity ? f.length : capacity);
        frame.originalLength = static_cast<uint32_t>(f.wireLength);
        frame.timeNs = f.timeNs;
        frame.outgoing = f.outgoing;
        handler(parameter, &frame);
    });
} catch (...) {
    return -1;
}

void Ethernet_getCounters(EthernetSocket ethSocket, uint64_t* seen, uint64_t* dropped) try {
    stack::eth::SocketCounters counters;
    if (ethSocket)
        counters = ethSocket->socket->counters();
    if (seen)
        *seen = counters.seen;
    if (dropped)
        *dropped = counters.dropped;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Ethernet_setReceiverRingSize(size_t bytes) {
    stack::eth::FrameReceiver::ringBytes = bytes;
}

size_t Ethernet_getReceiverRingSize(void) {
    return stack::eth::FrameReceiver::ringBytes;
}

bool Ethernet_isSupported(void) try { return true; } catch (...) {
    return false;
}

} // extern "C"
