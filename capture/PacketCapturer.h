#pragma once
// Records the frames of an EthernetPacketHandler into a PCAP file (nanosecond time stamps,
// Ethernet link type), one file per capture run named after the interface and the start time.
// The file stays open during the run and gets each record with one write, so it is a complete
// PCAP file after every frame.
#include "capture/EthernetPacketHandler.h"
#include "capture/PcapFile.h"

#include <ctime>
#include <mutex>
#include <string>

namespace VorIec61850 {

class PacketCapturer : public EthernetPacketHandler {
public:
    PacketCapturer();
    ~PacketCapturer() override;

    // Connects the file writer to the captured frames and sets the directory of the capture
    // files. The directory must exist.
    void initPacketCapture(const std::string& directory);
    void setPcapPromiscuousMode(bool active) { setPromiscuousModeActive(active); }
    // The next runs write into `path` instead of a file named in the directory (empty: back to
    // the named files).
    void setOutputPath(const std::string& path);
    // Starts a capture run on the interface into a new file (see captureFileName) or the one
    // set with setOutputPath. false, with getLastError(), when a capture is running, the
    // interface cannot be opened, or the file cannot be created.
    bool startPacketCapturer(const char* interfaceId, std::string unused);
    // Ends the run: every frame received so far is written, then the file is closed.
    void stopPacketCapturer();

    // "<directory>/<interface>_dump_<dd.mm.yyyy HH_MM_SS>.pcap", the time in local time.
    static std::string captureFileName(const std::string& directory, const std::string& interfaceId,
                                       std::time_t startTime);

    std::string getFilePath() const;
    std::string getCaptureDirectory() const { return captureDirectory; }

    // Appends one record of `length` bytes (stored and original length alike), opening the
    // current file first when it is closed. A write that fails ends the capture with an error.
    void _writePacketToPcap(const uint8_t* frame, int32_t length, uint32_t seconds, uint32_t nanoseconds);

private:
    void _writeFrames(const CapturedFrame* frames, size_t count);

    std::string captureDirectory;
    std::string outputPath;
    std::string filePath;
    PcapFile file;
    bool connected = false;
    mutable std::mutex _fileMutex;
};

} // namespace VorIec61850
