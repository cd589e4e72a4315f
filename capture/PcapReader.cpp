#include "capture/PcapReader.h"

namespace VorIec61850 {

namespace {

constexpr uint32_t kMagicMicro = 0xA1B2C3D4u;
constexpr uint32_t kMagicNano = 0xA1B23C4Du;
constexpr uint32_t kMagicMicroSwapped = 0xD4C3B2A1u;
constexpr uint32_t kMagicNanoSwapped = 0x4D3CB2A1u;

} // namespace

uint32_t PcapReader::_read32(const unsigned char* p) const {
    return _swapped ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                    : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

bool PcapReader::open(const std::string& path) {
    _path = path;
    _error.clear();
    _count = 0;
    _whole = false;
    _in.open(path, std::ios::binary);
    if (!_in) {
        _error = "cannot open '" + path + "'";
        return false;
    }
    unsigned char header[24];
    if (!_in.read(reinterpret_cast<char*>(header), sizeof header)) {
        _error = "'" + path + "' is too short for a PCAP file";
        return false;
    }
    _swapped = false;
    const uint32_t magic = _read32(header);
    if (magic == kMagicMicroSwapped || magic == kMagicNanoSwapped)
        _swapped = true;
    else if (magic != kMagicMicro && magic != kMagicNano) {
        _error = "'" + path + "' is no PCAP file";
        return false;
    }
    _nanosecond = magic == kMagicNano || magic == kMagicNanoSwapped;
    _snapLength = _read32(header + 16);
    _offset = sizeof header;
    _in.seekg(0, std::ios::end);
    _size = static_cast<uint64_t>(_in.tellg());
    _in.seekg(static_cast<std::streamoff>(_offset));
    return true;
}

bool PcapReader::_next(PcapRecord* record) {
    if (!_error.empty() || !_in.is_open())
        return false;
    unsigned char header[16];
    if (!_in.read(reinterpret_cast<char*>(header), sizeof header)) {
        _whole = _offset == _size; // not behind a partial record or a skipped one cut short
        return false;
    }
    const uint64_t number = _count + 1;
    const uint32_t length = _read32(header + 8);
    if (length > kMaxRecordLength) {
        _error = "frame " + std::to_string(number) + " of '" + _path + "' has an impossible length";
        return false;
    }
    if (record == nullptr) {
        _in.seekg(length, std::ios::cur);
    } else {
        record->timeNs =
            int64_t(_read32(header)) * 1000000000 + int64_t(_read32(header + 4)) * (_nanosecond ? 1 : 1000);
        record->originalLength = _read32(header + 12);
        record->bytes.resize(length);
        if (!_in.read(reinterpret_cast<char*>(record->bytes.data()), length)) {
            _error = "frame " + std::to_string(number) + " of '" + _path + "' is cut short";
            return false;
        }
    }
    _offset += sizeof header + length;
    _count = number;
    return true;
}

} // namespace VorIec61850
