#pragma once
// Reads a PCAP file record by record: microsecond or nanosecond time stamps, either byte order.
// Records are read as they are asked for, so that a frame near the start of a large capture is
// found without reading the rest.
#include "host/NonCopyable.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace VorIec61850 {

struct PcapRecord {
    int64_t timeNs = 0; // since the epoch
    uint32_t originalLength = 0;
    std::vector<uint8_t> bytes;
};

class PcapReader : Vor::NonCopyable {
public:
    // Records longer than this are taken for a damaged file.
    static constexpr uint32_t kMaxRecordLength = 262144;

    // Opens `path` and reads its global header. false, with error(), when the file cannot be
    // opened, is too short or is no PCAP file.
    bool open(const std::string& path);
    // The next record. false at the end of the file, or with error() when the record is longer
    // than kMaxRecordLength or cut short.
    bool next(PcapRecord& record) { return _next(&record); }
    // Passes over the next record without reading its bytes; false as for next().
    bool skip() { return _next(nullptr); }

    // Records read or passed over so far.
    uint64_t count() const { return _count; }
    // After next() or skip() gave false: the file ends right after a whole record, with no
    // damaged or partial record behind it.
    bool endsWhole() const { return _whole && _error.empty(); }
    bool nanosecond() const { return _nanosecond; }
    uint32_t snapLength() const { return _snapLength; }
    const std::string& error() const { return _error; }

private:
    bool _next(PcapRecord* record);
    uint32_t _read32(const unsigned char* p) const;

    std::ifstream _in;
    std::string _path;
    std::string _error;
    bool _swapped = false;
    bool _nanosecond = false;
    bool _whole = false;
    uint32_t _snapLength = 0;
    uint64_t _count = 0;
    uint64_t _offset = 0; // where the next record starts
    uint64_t _size = 0;
};

} // namespace VorIec61850
