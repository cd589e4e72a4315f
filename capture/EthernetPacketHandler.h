#pragma once
// Raw Ethernet capture of one interface: GOOSE and Sampled Values frames on two filtered
// sockets (two threads), or every frame on one promiscuous socket (one thread). Each frame is
// passed to `packetReceived` with the system time taken right after it was received.
#include "hal_ethernet.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VorIec61850 {

class EthernetPacketHandler {
public:
    static constexpr uint16_t kGooseEtherType = 0x88B8;
    static constexpr uint16_t kSvEtherType = 0x88BA;
    static constexpr int kGooseBufferSize = 1518;
    static constexpr int kSvBufferSize = 1518;
    static constexpr int kMmsBufferSize = 65535;
    static constexpr int kPromiscuousBufferSize = 65535;

    EthernetPacketHandler();
    virtual ~EthernetPacketHandler();
    EthernetPacketHandler(const EthernetPacketHandler&) = delete;
    EthernetPacketHandler& operator=(const EthernetPacketHandler&) = delete;

    void setPromiscuousModeActive(bool active) { promiscuous = active; }
    bool isPromiscuousModeActive() const { return promiscuous; }

    // Opens the sockets of the chosen mode on the interface (the text argument is unused).
    void createSockets(const char* interfaceId, std::string unused);
    // Starts the capture threads of this object's mode; the loops run on `handler`.
    void startEthernetCapture(EthernetPacketHandler* handler);
    // Stops the loops of `handler`, joins this object's threads and closes its sockets.
    void stopEthernetCapture(EthernetPacketHandler* handler);

    // MMS capture is offered as an option of this class: the peer is given here, the socket
    // and thread are started by startMmsCapture. Frames between localIp and peerIp pass.
    void setPeerIp(const uint8_t ip[4]);
    bool startMmsCapture(const char* interfaceId);
    void stopMmsCapture();

    const uint8_t* getLocalMac() const { return localMac; }
    const uint8_t* getLocalIp() const { return localIp; }

    // Frame bytes, frame length, seconds since the epoch, nanoseconds within the second.
    sigc::signal<void, const uint8_t*, int32_t, uint32_t, uint32_t> packetReceived;

protected:
    static int _gooseCaptureLoop(void* handler);
    static int _svCaptureLoop(void* handler);
    static int _promiscuousCaptureLoop(void* handler);
    static int _mmsCaptureLoop(void* handler);

    void _gooseCaptureTick(uint8_t* buffer);
    void _svCaptureTick(uint8_t* buffer);
    void _promiscuousCaptureTick(uint8_t* buffer);
    void _mmsCaptureTick(uint8_t* buffer);

private:
    // One receive on `socket`; emits the frame when one arrived.
    void _receiveAndEmit(EthernetSocket socket, uint8_t* buffer, int bufferSize, bool mmsFilter);
    bool _isMmsPeerFrame(const uint8_t* frame, int length) const;
    static void _closeSocket(EthernetSocket& socket);

    EthernetSocket gooseSocket = nullptr;
    EthernetSocket svSocket = nullptr;
    EthernetSocket mmsSocket = nullptr;
    EthernetSocket promiscuousSocket = nullptr;

    std::thread gooseThread;
    std::thread svThread;
    std::thread mmsThread;
    std::thread promiscuousThread;

    std::mutex _emitMutex;
    std::atomic<bool> capturing{false};
    std::atomic<bool> mmsCapturing{false};
    bool promiscuous = false;

    std::vector<uint8_t> gooseBuffer;
    std::vector<uint8_t> svBuffer;
    std::vector<uint8_t> mmsBuffer;
    std::vector<uint8_t> promiscuousBuffer;

    uint8_t localMac[6] = {0};
    uint8_t peerIp[4] = {0};
    uint8_t localIp[4] = {0};
};

} // namespace VorIec61850
