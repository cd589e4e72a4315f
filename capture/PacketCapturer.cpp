#include "capture/PacketCapturer.h"

#include <chrono>

namespace VorIec61850 {

PacketCapturer::PacketCapturer() = default;

PacketCapturer::~PacketCapturer() {
    stopPacketCapturer();
}

void PacketCapturer::initPacketCapture(const std::string& directory) {
    // Connected once: a second connection would write every frame twice.
    if (!connected)
        framesCaptured.connect(sigc::mem_fun(*this, &PacketCapturer::_writeFrames));
    connected = true;
    captureDirectory = directory;
}

void PacketCapturer::setOutputPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(_fileMutex);
    outputPath = path;
}

std::string PacketCapturer::captureFileName(const std::string& directory, const std::string& interfaceId,
                                            std::time_t startTime) {
    std::tm local{};
    localtime_r(&startTime, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%d.%m.%Y %H_%M_%S", &local);
    return directory + "/" + interfaceId + "_dump_" + stamp + ".pcap";
}

bool PacketCapturer::startPacketCapturer(const char* interfaceId, std::string unused) {
    if (isCapturing()) {
        _setError("a capture is already running");
        return false;
    }
    if (!createSockets(interfaceId, unused))
        return false;
    bool opened;
    {
        std::lock_guard<std::mutex> lock(_fileMutex);
        std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        filePath = outputPath.empty() ? captureFileName(captureDirectory, interfaceId, now) : outputPath;
        opened = file.open(filePath, getSnapLength());
        if (!opened)
            _setError(file.error());
    }
    if (!opened) {
        // Outside the file lock: a running MMS capture's thread may be waiting for it.
        stopEthernetCapture(this); // closes the sockets just opened
        return false;
    }
    if (!startEthernetCapture(this)) {
        std::lock_guard<std::mutex> lock(_fileMutex);
        file.close();
        return false;
    }
    return true;
}

void PacketCapturer::stopPacketCapturer() {
    stopEthernetCapture(this);
    std::lock_guard<std::mutex> lock(_fileMutex);
    file.close();
}

std::string PacketCapturer::getFilePath() const {
    std::lock_guard<std::mutex> lock(_fileMutex);
    return filePath;
}

void PacketCapturer::_writeFrames(const CapturedFrame* frames, size_t count) {
    std::lock_guard<std::mutex> lock(_fileMutex);
    if (!file.isOpen() && !file.open(filePath, getSnapLength())) {
        failCapture(file.error());
        return;
    }
    if (!file.append(frames, count))
        failCapture(file.error());
}

void PacketCapturer::_writePacketToPcap(const uint8_t* frame, int32_t length, uint32_t seconds,
                                        uint32_t nanoseconds) {
    if (frame == nullptr || length < 0)
        return;
    CapturedFrame record;
    record.data = frame;
    record.length = static_cast<uint32_t>(length);
    record.originalLength = record.length;
    record.seconds = seconds;
    record.nanoseconds = nanoseconds;
    _writeFrames(&record, 1);
}

} // namespace VorIec61850
