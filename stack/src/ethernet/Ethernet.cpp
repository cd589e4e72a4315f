// C interface of the raw Ethernet layer over PacketSocket.
#include "hal_ethernet.h"

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

struct sEthernetHandleSet {
    std::vector<pollfd> fds;
};

extern "C" {

EthernetHandleSet EthernetHandleSet_new(void) {
    return new (std::nothrow) sEthernetHandleSet();
}

void EthernetHandleSet_addSocket(EthernetHandleSet self, const EthernetSocket sock) {
    if (self && sock && sock->socket)
        self->fds.push_back(pollfd{sock->socket->fd(), POLLIN, 0});
}

void EthernetHandleSet_removeSocket(EthernetHandleSet self, const EthernetSocket sock) {
    if (!self || !sock || !sock->socket)
        return;
    int fd = sock->socket->fd();
    self->fds.erase(
        std::remove_if(self->fds.begin(), self->fds.end(), [fd](const pollfd& p) { return p.fd == fd; }),
        self->fds.end());
}

int EthernetHandleSet_waitReady(EthernetHandleSet self, unsigned int timeoutMs) {
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
}

void EthernetHandleSet_destroy(EthernetHandleSet self) {
    delete self;
}

void Ethernet_getInterfaceMACAddress(const char* interfaceId, uint8_t* addr) {
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
}

EthernetSocket Ethernet_createSocket(const char* interfaceId, uint8_t* destAddress) {
    auto socket = stack::eth::PacketSocket::open(interfaceId);
    if (!socket)
        return nullptr;
    auto* self = new (std::nothrow) sEthernetSocket();
    if (!self)
        return nullptr;
    self->socket = std::move(socket);
    if (destAddress)
        std::memcpy(self->destAddress, destAddress, 6);
    return self;
}

void Ethernet_destroySocket(EthernetSocket ethSocket) {
    delete ethSocket;
}

void Ethernet_sendPacket(EthernetSocket ethSocket, uint8_t* buffer, int packetSize) {
    if (ethSocket && buffer && packetSize > 0)
        ethSocket->socket->send(buffer, static_cast<size_t>(packetSize));
}

void Ethernet_setMode(EthernetSocket ethSocket, EthernetSocketMode mode) {
    if (ethSocket)
        ethSocket->socket->setMode(mode);
}

void Ethernet_addMulticastAddress(EthernetSocket ethSocket, uint8_t* multicastAddress) {
    if (ethSocket && multicastAddress)
        ethSocket->socket->addMulticast(multicastAddress);
}

void Ethernet_setProtocolFilter(EthernetSocket ethSocket, uint16_t etherType) {
    if (ethSocket)
        ethSocket->socket->setProtocolFilter(etherType);
}

int Ethernet_receivePacket(EthernetSocket ethSocket, uint8_t* buffer, int bufferSize) {
    if (!ethSocket) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ETHERNET_RECEIVE_WAIT_MS));
        return 0;
    }
    if (!buffer || bufferSize <= 0)
        return -1;
    return ethSocket->socket->receiveOne(buffer, static_cast<size_t>(bufferSize), ETHERNET_RECEIVE_WAIT_MS);
}

EthernetSocket Ethernet_createCaptureSocket(const char* interfaceId, int frameCapacity, char* errorText,
                                            int errorSize) {
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
    // Four bytes more than kept, so that a removed tag can be put back in place.
    auto socket = stack::eth::PacketSocket::open(interfaceId, &error, capacity + 4);
    if (socket && !socket->enableTimestamps()) {
        error = std::string("SO_TIMESTAMPNS: ") + std::strerror(errno);
        socket.reset();
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
    // A capture must ride out the moments its thread is not scheduled on a busy machine: a
    // queue of 64 MiB holds about a second of a loaded station bus. Memory is used only as
    // frames wait in it.
    int rcvbuf = 64 * 1024 * 1024;
    setsockopt(self->socket->fd(), SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf);
    return self;
}

int Ethernet_getFrameCapacity(EthernetSocket ethSocket) {
    if (!ethSocket)
        return 0;
    size_t capacity =
        ethSocket->captureCapacity ? ethSocket->captureCapacity : ethSocket->socket->frameCapacity();
    return static_cast<int>(capacity);
}

bool Ethernet_setProtocolFilter2(EthernetSocket ethSocket, uint16_t etherType, uint16_t otherEtherType) {
    return ethSocket && ethSocket->socket->setProtocolFilter(etherType, otherEtherType);
}

int Ethernet_receiveBatch(EthernetSocket ethSocket, EthernetFrameHandler handler, void* parameter) {
    if (!ethSocket || !handler)
        return -1;
    const size_t capacity = static_cast<size_t>(Ethernet_getFrameCapacity(ethSocket));
    const size_t slotSize = ethSocket->socket->frameCapacity();
    return ethSocket->socket->receiveBatch([&](const stack::eth::RxFrame& f) {
        // The batch slots are the socket's own storage, with room for the tag: put it back in
        // place, then keep at most `capacity` bytes.
        auto* slot = const_cast<uint8_t*>(f.data);
        size_t stored = stack::eth::copyWithTag(f, slot, std::min(f.length + 4, slotSize));
        EthernetFrame frame;
        frame.data = slot;
        frame.length = static_cast<uint32_t>(stored < capacity ? stored : capacity);
        frame.originalLength = static_cast<uint32_t>(f.wireLength + (f.vlan.present ? 4 : 0));
        frame.timeNs = f.timeNs;
        frame.outgoing = f.outgoing;
        handler(parameter, &frame);
    });
}

void Ethernet_getCounters(EthernetSocket ethSocket, uint64_t* seen, uint64_t* dropped) {
    stack::eth::SocketCounters counters;
    if (ethSocket)
        counters = ethSocket->socket->counters();
    if (seen)
        *seen = counters.seen;
    if (dropped)
        *dropped = counters.dropped;
}

bool Ethernet_isSupported(void) {
    return true;
}

} // extern "C"
