#include "capture/EthernetPacketHandler.h"

#include "host/NetworkHelper.h"
#include "host/ThreadHelper.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace VorIec61850 {

namespace {

// The interface's MAC text ("%x:%x:...") and first IPv4 text ("%d.%d.%d.%d") into bytes;
// a text that does not parse leaves the bytes zero.
void readInterfaceAddresses(const char* interfaceId, uint8_t mac[6], uint8_t ip[4]) {
    std::string macText, ipText;
    for (const auto& itf : Vor::NetworkHelper::getNetworkInterfaces()) {
        if (itf.id == interfaceId) {
            macText = itf.macAddress;
            if (!itf.addresses.empty() && !itf.addresses.front().empty())
                ipText = itf.addresses.front().front();
            break;
        }
    }
    unsigned m[6];
    if (std::sscanf(macText.c_str(), "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]) == 6)
        for (int i = 0; i < 6; ++i)
            mac[i] = static_cast<uint8_t>(m[i]);
    int a[4];
    if (std::sscanf(ipText.c_str(), "%d.%d.%d.%d", &a[0], &a[1], &a[2], &a[3]) == 4)
        for (int i = 0; i < 4; ++i)
            ip[i] = static_cast<uint8_t>(a[i]);
}

} // namespace

EthernetPacketHandler::EthernetPacketHandler()
    : gooseBuffer(kGooseBufferSize), svBuffer(kSvBufferSize), mmsBuffer(kMmsBufferSize),
      promiscuousBuffer(kPromiscuousBufferSize) {}

EthernetPacketHandler::~EthernetPacketHandler() {
    stopMmsCapture();
    stopEthernetCapture(this);
    // Sockets opened but never started are closed here as well.
    _closeSocket(gooseSocket);
    _closeSocket(svSocket);
    _closeSocket(promiscuousSocket);
}

void EthernetPacketHandler::_closeSocket(EthernetSocket& socket) {
    if (socket != nullptr) {
        Ethernet_destroySocket(socket);
        socket = nullptr;
    }
}

void EthernetPacketHandler::createSockets(const char* interfaceId, std::string /*unused*/) {
    if (promiscuous) {
        promiscuousSocket = Ethernet_createSocket(interfaceId, nullptr);
        if (promiscuousSocket != nullptr)
            Ethernet_setMode(promiscuousSocket, ETHERNET_SOCKET_MODE_PROMISC);
        return;
    }
    gooseSocket = Ethernet_createSocket(interfaceId, nullptr);
    if (gooseSocket != nullptr) {
        Ethernet_setProtocolFilter(gooseSocket, kGooseEtherType);
        Ethernet_setMode(gooseSocket, ETHERNET_SOCKET_MODE_MULTICAST);
    }
    uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    svSocket = Ethernet_createSocket(interfaceId, broadcast);
    if (svSocket != nullptr) {
        Ethernet_setProtocolFilter(svSocket, kSvEtherType);
        Ethernet_setMode(svSocket, ETHERNET_SOCKET_MODE_ALL_MULTICAST);
    }
    readInterfaceAddresses(interfaceId, localMac, localIp);
}

void EthernetPacketHandler::startEthernetCapture(EthernetPacketHandler* handler) {
    handler->capturing = true;
    if (promiscuous) {
        promiscuousThread = std::thread([handler] { _promiscuousCaptureLoop(handler); });
    } else {
        gooseThread = std::thread([handler] { _gooseCaptureLoop(handler); });
        svThread = std::thread([handler] { _svCaptureLoop(handler); });
    }
}

void EthernetPacketHandler::stopEthernetCapture(EthernetPacketHandler* handler) {
    handler->capturing = false;
    if (promiscuous) {
        if (promiscuousThread.joinable())
            promiscuousThread.join();
        _closeSocket(promiscuousSocket);
    } else {
        if (gooseThread.joinable())
            gooseThread.join();
        if (svThread.joinable())
            svThread.join();
        _closeSocket(gooseSocket);
        _closeSocket(svSocket);
    }
}

void EthernetPacketHandler::setPeerIp(const uint8_t ip[4]) {
    std::memcpy(peerIp, ip, 4);
}

bool EthernetPacketHandler::startMmsCapture(const char* interfaceId) {
    stopMmsCapture();
    mmsSocket = Ethernet_createSocket(interfaceId, nullptr);
    if (mmsSocket == nullptr)
        return false;
    Ethernet_setProtocolFilter(mmsSocket, 0x0800);
    readInterfaceAddresses(interfaceId, localMac, localIp);
    mmsCapturing = true;
    mmsThread = std::thread([this] { _mmsCaptureLoop(this); });
    return true;
}

void EthernetPacketHandler::stopMmsCapture() {
    mmsCapturing = false;
    if (mmsThread.joinable())
        mmsThread.join();
    _closeSocket(mmsSocket);
}

void EthernetPacketHandler::_receiveAndEmit(EthernetSocket socket, uint8_t* buffer, int bufferSize,
                                            bool mmsFilter) {
    if (socket == nullptr) {
        // No socket: nothing can arrive; wait a little so the loop does not spin.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return;
    }
    int length = Ethernet_receivePacket(socket, buffer, bufferSize);
    if (length <= 0)
        return;
    if (mmsFilter && !_isMmsPeerFrame(buffer, length))
        return;
    auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    uint32_t seconds = static_cast<uint32_t>(now / 1000000000);
    uint32_t nanoseconds = static_cast<uint32_t>(now % 1000000000);
    // The GOOSE and SV loops emit from two threads; sigc++ signals are not safe for concurrent
    // emission, so emissions are serialised here.
    std::lock_guard<std::mutex> lock(_emitMutex);
    if (!packetReceived.empty())
        packetReceived.emit(buffer, length, seconds, nanoseconds);
}

bool EthernetPacketHandler::_isMmsPeerFrame(const uint8_t* frame, int length) const {
    if (length < 34)
        return false;
    const uint8_t* src = frame + 26;
    const uint8_t* dst = frame + 30;
    return (std::memcmp(src, localIp, 4) == 0 && std::memcmp(dst, peerIp, 4) == 0) ||
           (std::memcmp(src, peerIp, 4) == 0 && std::memcmp(dst, localIp, 4) == 0);
}

void EthernetPacketHandler::_gooseCaptureTick(uint8_t* buffer) {
    _receiveAndEmit(gooseSocket, buffer, kGooseBufferSize, false);
}
void EthernetPacketHandler::_svCaptureTick(uint8_t* buffer) {
    _receiveAndEmit(svSocket, buffer, kSvBufferSize, false);
}
void EthernetPacketHandler::_promiscuousCaptureTick(uint8_t* buffer) {
    _receiveAndEmit(promiscuousSocket, buffer, kPromiscuousBufferSize, false);
}
void EthernetPacketHandler::_mmsCaptureTick(uint8_t* buffer) {
    _receiveAndEmit(mmsSocket, buffer, kMmsBufferSize, true);
}

int EthernetPacketHandler::_gooseCaptureLoop(void* handler) {
    auto* self = static_cast<EthernetPacketHandler*>(handler);
    Vor::ThreadHelper::setCurrentThreadName("capture_goose");
    while (self->capturing)
        self->_gooseCaptureTick(self->gooseBuffer.data());
    return 0;
}

int EthernetPacketHandler::_svCaptureLoop(void* handler) {
    auto* self = static_cast<EthernetPacketHandler*>(handler);
    Vor::ThreadHelper::setCurrentThreadName("capture_sv");
    while (self->capturing)
        self->_svCaptureTick(self->svBuffer.data());
    return 0;
}

int EthernetPacketHandler::_promiscuousCaptureLoop(void* handler) {
    auto* self = static_cast<EthernetPacketHandler*>(handler);
    Vor::ThreadHelper::setCurrentThreadName("capture_all");
    while (self->capturing)
        self->_promiscuousCaptureTick(self->promiscuousBuffer.data());
    return 0;
}

int EthernetPacketHandler::_mmsCaptureLoop(void* handler) {
    auto* self = static_cast<EthernetPacketHandler*>(handler);
    Vor::ThreadHelper::setCurrentThreadName("capture_mms");
    while (self->mmsCapturing)
        self->_mmsCaptureTick(self->mmsBuffer.data());
    return 0;
}

} // namespace VorIec61850
