#include "capture/PacketCapturer.h"

#include <giomm.h>

#include <chrono>
#include <ctime>

namespace VorIec61850 {

namespace {

void putLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void putLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// PCAP global header: nanosecond magic, version 2.4, zone 0, accuracy 0, snaplen 65535, Ethernet.
void makeGlobalHeader(uint8_t header[24]) {
    putLe32(header, 0xA1B23C4D);
    putLe16(header + 4, 2);
    putLe16(header + 6, 4);
    putLe32(header + 8, 0);
    putLe32(header + 12, 0);
    putLe32(header + 16, 65535);
    putLe32(header + 20, 1);
}

} // namespace

PacketCapturer::PacketCapturer() {
    Gio::init();
}

PacketCapturer::~PacketCapturer() {
    stopPacketCapturer();
}

void PacketCapturer::initPacketCapture(const std::string& directory) {
    packetReceived.connect(sigc::mem_fun(*this, &PacketCapturer::_writePacketToPcap));
    captureDirectory = directory;
}

void PacketCapturer::startPacketCapturer(const char* interfaceId, std::string unused) {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%d.%m.%Y %H_%M_%S", &local);
    {
        std::lock_guard<std::mutex> lock(_fileMutex);
        filePath = captureDirectory + "/" + interfaceId + "_dump_" + stamp + ".pcap";
    }
    createSockets(interfaceId, unused);
    startEthernetCapture(this);
}

void PacketCapturer::stopPacketCapturer() {
    stopEthernetCapture(this);
}

std::string PacketCapturer::getFilePath() const {
    std::lock_guard<std::mutex> lock(_fileMutex);
    return filePath;
}

void PacketCapturer::_writePacketToPcap(const uint8_t* frame, int32_t length, uint32_t seconds,
                                        uint32_t nanoseconds) {
    if (length < 0)
        return;
    std::lock_guard<std::mutex> lock(_fileMutex);
    try {
        auto file = Gio::File::create_for_path(filePath);
        Glib::RefPtr<Gio::FileOutputStream> stream;
        if (file->query_exists()) {
            stream = file->append_to();
        } else {
            stream = file->create_file();
            uint8_t header[24];
            makeGlobalHeader(header);
            stream->write(header, sizeof header);
        }
        uint8_t record[16];
        putLe32(record, seconds);
        putLe32(record + 4, nanoseconds);
        putLe32(record + 8, static_cast<uint32_t>(length));
        putLe32(record + 12, static_cast<uint32_t>(length));
        stream->write(record, sizeof record);
        stream->write(frame, static_cast<gsize>(length));
        stream->flush();
        stream->close();
    } catch (const Glib::Error&) {
        // The file cannot be created or opened: this frame is dropped, the capture goes on.
    }
}

} // namespace VorIec61850
