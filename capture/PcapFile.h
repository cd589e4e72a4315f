#pragma once
// A PCAP file (nanosecond time stamps, Ethernet link type) kept open for appending. Each record
// goes to the file in one write, so the file on disk ends with a whole record after every call
// and other programs can read it while the capture runs.
#include "capture/ArrivalOrder.h"
#include "host/NonCopyable.h"

#include <sys/uio.h>

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace VorIec61850 {

class PcapFile : Vor::NonCopyable {
public:
    static constexpr uint32_t kDefaultSnapLength = 65535;

    PcapFile() = default;
    ~PcapFile() { close(); }

    // Opens `path` for appending; a missing or empty file gets the 24-byte global header first
    // (snapshot length 65535, or `snapLength` when larger). false, with error(), when the file
    // cannot be created, opened or written.
    bool open(const std::string& path, uint32_t snapLength);
    // Appends one record (16-byte header and the frame) with one write. false, with error(),
    // when the write fails; a partly written record is cut off again so that the file stays
    // readable.
    bool append(const CapturedFrame& frame) { return append(&frame, 1); }
    // Appends `count` records with one write (a few for very many): the file never ends inside
    // a record.
    bool append(const CapturedFrame* frames, size_t count);
    void close();
    bool isOpen() const { return _fd >= 0; }
    const std::string& error() const { return _error; }

private:
    bool _fail(const std::string& what);

    int _fd = -1;
    off_t _size = 0; // bytes in the file after the last whole record
    std::vector<uint8_t> _headers;
    std::vector<struct iovec> _iov;
    std::string _path;
    std::string _error;
};

} // namespace VorIec61850
