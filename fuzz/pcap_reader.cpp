// The PCAP reader of `iecx decode --pcap` on arbitrary files: every record read, then every
// record passed over, as a search for frame N does. The bytes go to an in-memory file that the
// reader opens by its path.
#include "capture/PcapReader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("pcap", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    VorIec61850::PcapReader reader;
    if (reader.open(path))
        for (VorIec61850::PcapRecord record; reader.next(record);)
            if (record.bytes.size() > VorIec61850::PcapReader::kMaxRecordLength)
                __builtin_trap();
    VorIec61850::PcapReader skipping;
    if (skipping.open(path))
        while (skipping.skip())
            ;
    return 0;
}
