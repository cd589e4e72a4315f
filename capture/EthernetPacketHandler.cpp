#include "capture/EthernetPacketHandler.h"

#include "host/NetworkHelper.h"
#include "host/ThreadHelper.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

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

bool isLoopback(const char* interfaceId) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq req{};
    std::strncpy(req.ifr_name, interfaceId, IFNAMSIZ - 1);
    bool loopback = ioctl(fd, SIOCGIFFLAGS, &req) == 0 && (req.ifr_flags & IFF_LOOPBACK) != 0;
    close(fd);
    return loopback;
}

int64_t realtimeNs() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A socket's receive queue is emptied in at most this many batches per pass, so that one busy
// socket cannot keep frames of another from being handed over.
constexpr int kBatchesPerPass = 64;
constexpr int kIdleWaitMs = 10;
// Longer than a ring block may wait before the kernel hands it over (its retire time rounded
// up to the timer tick, at most 10 ms at 100 Hz, plus scheduling).
constexpr std::chrono::milliseconds kFinalQuiet(30);

} // namespace

EthernetPacketHandler::EthernetPacketHandler() {
    captureSource.owner = this;
    mmsSource.owner = this;
    mmsSource.mms = true;
}

EthernetPacketHandler::~EthernetPacketHandler() {
    _stopThread();
    _closeSource(mmsSource);
    _closeSource(captureSource);
}

void EthernetPacketHandler::_setError(const std::string& message) {
    std::lock_guard<std::mutex> lock(stateMutex);
    lastError = message;
}

std::string EthernetPacketHandler::getLastError() const {
    std::lock_guard<std::mutex> lock(stateMutex);
    return lastError;
}

void EthernetPacketHandler::failCapture(const std::string& message) {
    _setError(message);
    failed = true;
}

void EthernetPacketHandler::_addCounters(Source& source, CaptureCounters& total) {
    if (source.socket == nullptr)
        return;
    uint64_t seen = 0, dropped = 0;
    Ethernet_getCounters(source.socket, &seen, &dropped);
    uint64_t received = source.received, accepted = source.accepted;
    if (source.mms) {
        // The MMS socket sees every frame of the interface; only the peer's count.
        total.seen += accepted + dropped;
    } else {
        // Frames queued before the protocol filter was in place are counted by the kernel but
        // are not the capture's.
        uint64_t rejected = received - accepted;
        total.seen += seen > rejected ? seen - rejected : 0;
    }
    total.dropped += dropped;
}

CaptureCounters EthernetPacketHandler::getCounters() {
    std::lock_guard<std::mutex> lock(stateMutex);
    CaptureCounters total = finalCounters;
    _addCounters(captureSource, total);
    _addCounters(mmsSource, total);
    total.captured = capturedFrames;
    return total;
}

void EthernetPacketHandler::_closeSource(Source& source) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (source.socket != nullptr) {
        _addCounters(source, finalCounters);
        Ethernet_destroySocket(source.socket);
        source.socket = nullptr;
    }
    source.active = false;
    source.received = 0;
    source.accepted = 0;
}

bool EthernetPacketHandler::createSockets(const char* interfaceId, std::string /*unused*/) {
    if (captureSource.active) {
        _setError("a capture is already running");
        return false;
    }
    _closeSource(captureSource);
    if (interfaceId == nullptr || *interfaceId == '\0') {
        _setError("no interface given");
        return false;
    }
    char error[160] = "";
    EthernetSocket socket =
        Ethernet_createCaptureSocket(interfaceId, static_cast<int>(snapLength), error, sizeof error);
    if (socket == nullptr) {
        _setError(std::string("cannot capture on '") + interfaceId + "': " + error);
        return false;
    }
    if (promiscuous) {
        Ethernet_setMode(socket, ETHERNET_SOCKET_MODE_PROMISC);
    } else {
        // GOOSE and SV through one filter into one queue: the kernel's arrival order is kept.
        Ethernet_setProtocolFilter2(socket, kGooseEtherType, kSvEtherType);
        Ethernet_setMode(socket, ETHERNET_SOCKET_MODE_ALL_MULTICAST);
    }
    readInterfaceAddresses(interfaceId, localMac, localIp);
    std::lock_guard<std::mutex> lock(stateMutex);
    captureSource.socket = socket;
    captureSource.loopback = isLoopback(interfaceId);
    openSnapLength = static_cast<uint32_t>(Ethernet_getFrameCapacity(socket));
    return true;
}

bool EthernetPacketHandler::startEthernetCapture(EthernetPacketHandler* handler) {
    if (handler != this) {
        _setError("a capture runs on the object that opened its sockets");
        return false;
    }
    if (captureSource.active) {
        _setError("a capture is already running");
        return false;
    }
    if (captureSource.socket == nullptr) {
        _setError("no capture socket is open");
        return false;
    }
    _stopThread();
    if (!mmsSource.active) {
        std::lock_guard<std::mutex> lock(stateMutex);
        finalCounters = CaptureCounters();
        capturedFrames = 0;
    }
    captureSource.active = true;
    _startThread();
    return true;
}

void EthernetPacketHandler::stopEthernetCapture(EthernetPacketHandler* /*handler*/) {
    _stopThread();
    _closeSource(captureSource);
    _startThread(); // the MMS capture goes on when it runs
}

void EthernetPacketHandler::setPeerIp(const uint8_t ip[4]) {
    std::memcpy(peerIp, ip, 4);
}

bool EthernetPacketHandler::startMmsCapture(const char* interfaceId) {
    if (mmsSource.active) {
        _setError("an MMS capture is already running");
        return false;
    }
    char error[160] = "";
    EthernetSocket socket =
        interfaceId ? Ethernet_createCaptureSocket(interfaceId, 0, error, sizeof error) : nullptr;
    if (socket == nullptr) {
        _setError(std::string("cannot capture on '") + (interfaceId ? interfaceId : "") + "': " + error);
        return false;
    }
    readInterfaceAddresses(interfaceId, localMac, localIp);
    _stopThread();
    _closeSource(mmsSource);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        mmsSource.socket = socket;
        mmsSource.loopback = isLoopback(interfaceId);
        mmsSource.active = true;
    }
    _startThread();
    return true;
}

void EthernetPacketHandler::stopMmsCapture() {
    if (!mmsSource.active)
        return;
    _stopThread();
    _closeSource(mmsSource);
    _startThread();
}

void EthernetPacketHandler::_startThread() {
    if (captureThread.joinable() || (!captureSource.active && !mmsSource.active))
        return;
    failed = false;
    capturing = true;
    threadRunning = true;
    captureThread = std::thread([this] { _captureLoop(); });
}

void EthernetPacketHandler::_stopThread() {
    capturing = false;
    if (captureThread.joinable())
        captureThread.join();
}

bool EthernetPacketHandler::_isMmsPeerFrame(const EthernetFrame& frame) const {
    size_t ip = 14;
    if (frame.length < 14)
        return false;
    uint16_t type = static_cast<uint16_t>(frame.data[12] << 8 | frame.data[13]);
    if (type == 0x8100 && frame.length >= 18) {
        type = static_cast<uint16_t>(frame.data[16] << 8 | frame.data[17]);
        ip = 18;
    }
    if (type != kIpv4EtherType || frame.length < ip + 20)
        return false;
    const uint8_t* src = frame.data + ip + 12;
    const uint8_t* dst = frame.data + ip + 16;
    return (std::memcmp(src, localIp, 4) == 0 && std::memcmp(dst, peerIp, 4) == 0) ||
           (std::memcmp(src, peerIp, 4) == 0 && std::memcmp(dst, localIp, 4) == 0);
}

void EthernetPacketHandler::_onFrame(void* parameter, const EthernetFrame* frame) {
    auto* source = static_cast<Source*>(parameter);
    EthernetPacketHandler* self = source->owner;
    if (source->loopback && frame->outgoing)
        return; // on lo the received copy of the same frame follows
    if (source->mms && !self->_isMmsPeerFrame(*frame))
        return;
    source->accepted.fetch_add(1, std::memory_order_relaxed);
    self->order.add(frame->data, frame->length, frame->originalLength, frame->timeNs);
}

int EthernetPacketHandler::_drain(Source& source) {
    int total = 0;
    for (int i = 0; i < kBatchesPerPass; ++i) {
        int n = Ethernet_receiveBatch(source.socket, &EthernetPacketHandler::_onFrame, &source);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        source.received.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
        total += n;
    }
    return total;
}

void EthernetPacketHandler::_emit(const CapturedFrame* frames, size_t count) {
    if (failed)
        return;
    framesCaptured.emit(frames, count);
    for (size_t i = 0; i < count && !failed; ++i) {
        const CapturedFrame& frame = frames[i];
        if (!frameCaptured.empty())
            frameCaptured.emit(frame);
        if (!packetReceived.empty())
            packetReceived.emit(frame.data, static_cast<int32_t>(frame.length), frame.seconds,
                                frame.nanoseconds);
    }
    if (!failed)
        capturedFrames.fetch_add(count, std::memory_order_relaxed);
}

void EthernetPacketHandler::_captureLoop() {
    Vor::ThreadHelper::setCurrentThreadName("capture");
    Source* sources[2];
    int count = 0;
    EthernetHandleSet set = EthernetHandleSet_new();
    for (Source* s : {&captureSource, &mmsSource}) {
        if (s->active && s->socket != nullptr) {
            sources[count++] = s;
            EthernetHandleSet_addSocket(set, s->socket);
        }
    }
    auto emit = [this](const CapturedFrame* frames, size_t n) { _emit(frames, n); };
    while (capturing && !failed) {
        int64_t due = order.nextDueNs(realtimeNs());
        int waitMs = due < 0 ? kIdleWaitMs : static_cast<int>((due + 999999) / 1000000);
        if (waitMs > kIdleWaitMs)
            waitMs = kIdleWaitMs;
        if (EthernetHandleSet_waitReady(set, static_cast<unsigned>(waitMs)) < 0) {
            failCapture("waiting for frames failed");
            break;
        }
        for (int i = 0; i < count; ++i) {
            if (_drain(*sources[i]) < 0) {
                failCapture("the capture socket failed (interface removed?)");
                break;
            }
        }
        order.release(realtimeNs(), false, emit);
    }
    if (!failed) {
        // The frames that arrived before the stop belong to the capture, also when the thread
        // lags behind (for at most a few seconds, should the traffic not end). The ring hands
        // over its last block of frames only when that block retires: drain until a quiet spell
        // longer than that has passed.
        const auto now = std::chrono::steady_clock::now();
        const auto end = now + std::chrono::seconds(5);
        auto quietUntil = now + kFinalQuiet;
        while (!failed && std::chrono::steady_clock::now() < end) {
            int more = 0;
            for (int i = 0; i < count; ++i)
                more += std::max(_drain(*sources[i]), 0);
            order.release(0, true, emit);
            const auto at = std::chrono::steady_clock::now();
            if (more > 0)
                quietUntil = at + kFinalQuiet;
            else if (at >= quietUntil)
                break;
            else
                EthernetHandleSet_waitReady(set, 1);
        }
    } else {
        order.release(0, true, [](const CapturedFrame*, size_t) {});
    }
    EthernetHandleSet_destroy(set);
    threadRunning = false;
}

} // namespace VorIec61850
