#pragma once
// Raw Ethernet capture of one interface: GOOSE and Sampled Values frames, or every frame in
// promiscuous mode, and optionally the IPv4 traffic between this host and one MMS peer.
//
// One capture thread reads every socket of the capture and hands the frames over in the order
// of their kernel arrival time stamps (nanoseconds, the clock other capture tools record), with
// their length on the wire, first to `frameCaptured` and then to `packetReceived`. GOOSE and SV
// share one socket whose filter admits both EtherTypes, so they arrive in one kernel queue.
#include "capture/ArrivalOrder.h"
#include "hal_ethernet.h"
#include "host/NonCopyable.h"

#include <sigc++/sigc++.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace VorIec61850 {

// What the kernel and the capture counted since the capture started.
struct CaptureCounters {
    uint64_t seen = 0;     // frames the kernel passed to the capture's sockets
    uint64_t captured = 0; // frames handed over
    uint64_t dropped = 0;  // frames the kernel dropped because a receive queue was full
};

class EthernetPacketHandler : Vor::NonCopyable {
public:
    static constexpr uint16_t kGooseEtherType = 0x88B8;
    static constexpr uint16_t kSvEtherType = 0x88BA;
    static constexpr uint16_t kIpv4EtherType = 0x0800;
    // How long a frame is held after its arrival time before it is handed over, so that an
    // earlier frame read later from another queue still goes first. The kernel hands frames
    // over in blocks that may wait a timer tick or two for more frames: the window covers that.
    static constexpr int64_t kOrderWindowNs = 12000000;

    EthernetPacketHandler();
    virtual ~EthernetPacketHandler();

    void setPromiscuousModeActive(bool active) { promiscuous = active; }
    bool isPromiscuousModeActive() const { return promiscuous; }
    // Bytes kept of each frame; 0 (the default) keeps whole frames up to the interface's MTU.
    void setSnapLength(uint32_t bytes) { snapLength = bytes; }
    // The bytes kept of each frame by the sockets open now (0 when none is).
    uint32_t getSnapLength() const { return openSnapLength; }

    // Opens the socket of the chosen mode on the interface (the text argument is unused).
    // false, with getLastError(), when it cannot be opened or a capture is running.
    bool createSockets(const char* interfaceId, std::string unused);
    // Starts capturing on the sockets created. Callers pass the object itself. false, with
    // getLastError(), when no socket is open or the capture is already running.
    bool startEthernetCapture(EthernetPacketHandler* handler);
    // Ends the capture: frames already received are handed over, the thread is joined and the
    // sockets closed.
    void stopEthernetCapture(EthernetPacketHandler* handler);

    // MMS capture: the IPv4 frames between this interface's address and the peer's, in both
    // directions, go into the same stream. The peer is given first, in network byte order.
    void setPeerIp(const uint8_t ip[4]);
    bool startMmsCapture(const char* interfaceId);
    void stopMmsCapture();

    // true while the capture thread runs; false after a stop or after failCapture.
    bool isCapturing() const { return threadRunning.load(); }
    CaptureCounters getCounters();
    std::string getLastError() const;
    // Ends the capture from inside a listener (a file that cannot be written, for example): no
    // more frames are handed over and the thread ends; the owner still calls stop.
    void failCapture(const std::string& message);

    const uint8_t* getLocalMac() const { return localMac; }
    const uint8_t* getLocalIp() const { return localIp; }

    // The captured frames in arrival order, on the capture thread: every batch that is due at
    // once, then each frame of it.
    sigc::signal<void, const CapturedFrame*, size_t> framesCaptured;
    sigc::signal<void, const CapturedFrame&> frameCaptured;
    // The same frames as bytes, stored length, seconds since the epoch, nanoseconds.
    sigc::signal<void, const uint8_t*, int32_t, uint32_t, uint32_t> packetReceived;

protected:
    void _setError(const std::string& message);

private:
    struct Source;
    static void _onFrame(void* source, const EthernetFrame* frame);
    void _captureLoop();
    // Frames taken from the socket (at most kBatchesPerPass batches), -1 on a socket error.
    int _drain(Source& source);
    void _startThread();
    void _stopThread();
    void _emit(const CapturedFrame* frames, size_t count);
    bool _isMmsPeerFrame(const EthernetFrame& frame) const;
    static void _addCounters(Source& source, CaptureCounters& total);
    void _closeSource(Source& source);

    // The main capture (GOOSE and SV, or everything) and the MMS capture.
    struct Source {
        EthernetPacketHandler* owner = nullptr;
        EthernetSocket socket = nullptr;
        bool mms = false;
        bool loopback = false; // on lo every frame is seen twice: sent and received
        bool active = false;
        std::atomic<uint64_t> received{0}; // frames taken from the socket
        std::atomic<uint64_t> accepted{0}; // of those, frames that belong to the capture
    };
    Source captureSource;
    Source mmsSource;

    std::thread captureThread;
    std::atomic<bool> capturing{false};
    std::atomic<bool> threadRunning{false};
    std::atomic<bool> failed{false};
    bool promiscuous = false;
    uint32_t snapLength = 0;
    uint32_t openSnapLength = 0;
    ArrivalOrder order{kOrderWindowNs};

    std::atomic<uint64_t> capturedFrames{0};
    CaptureCounters finalCounters; // of sockets already closed
    mutable std::mutex stateMutex; // sockets, counters and the error text against the caller

    std::string lastError;
    uint8_t localMac[6] = {0};
    uint8_t peerIp[4] = {0};
    uint8_t localIp[4] = {0};
};

} // namespace VorIec61850
