#pragma once
// Records the frames of an EthernetPacketHandler into a PCAP file (nanosecond time stamps,
// Ethernet link type), one file per capture run named after the interface and start time.
#include "capture/EthernetPacketHandler.h"

#include <mutex>
#include <string>

namespace VorIec61850 {

class PacketCapturer : public EthernetPacketHandler {
public:
    PacketCapturer();
    ~PacketCapturer() override;

    // Connects the file writer to packetReceived and sets the directory of the capture files.
    // The directory must exist. Each call adds one more connection.
    void initPacketCapture(const std::string& directory);
    void setPcapPromiscuousMode(bool active) { setPromiscuousModeActive(active); }
    // Starts a capture run on the interface into a new file
    // "<dir>/<interface>_dump_<dd.mm.yyyy HH_MM_SS>.pcap".
    void startPacketCapturer(const char* interfaceId, std::string unused);
    void stopPacketCapturer();

    std::string getFilePath() const;
    std::string getCaptureDirectory() const { return captureDirectory; }

    // Appends one record; creates the file with its global header first when it is missing.
    // A file that cannot be opened drops the frame.
    void _writePacketToPcap(const uint8_t* frame, int32_t length, uint32_t seconds, uint32_t nanoseconds);

private:
    std::string captureDirectory;
    std::string filePath;
    mutable std::mutex _fileMutex;
};

} // namespace VorIec61850
