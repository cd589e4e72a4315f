#include "capture/PcapFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

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

// Writes all of iov (retrying short writes); false on an error.
bool writeAll(int fd, iovec* iov, int count) {
    while (count > 0) {
        ssize_t n = writev(fd, iov, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        size_t done = static_cast<size_t>(n);
        while (count > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
    return true;
}

} // namespace

bool PcapFile::_fail(const std::string& what) {
    _error = what + " '" + _path + "': " + std::strerror(errno);
    return false;
}

bool PcapFile::open(const std::string& path, uint32_t snapLength) {
    close();
    _path = path;
    _error.clear();
    _fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (_fd < 0)
        return _fail("cannot open");
    struct stat st {};
    if (fstat(_fd, &st) != 0) {
        _fail("cannot open");
        close();
        return false;
    }
    _size = st.st_size;
    if (_size > 0)
        return true; // a run started within the same second: records follow the existing ones
    uint8_t header[24];
    putLe32(header, 0xA1B23C4D); // nanosecond time stamps
    putLe16(header + 4, 2);
    putLe16(header + 6, 4);
    putLe32(header + 8, 0);
    putLe32(header + 12, 0);
    putLe32(header + 16, snapLength > kDefaultSnapLength ? snapLength : kDefaultSnapLength);
    putLe32(header + 20, 1); // Ethernet
    iovec iov{header, sizeof header};
    if (!writeAll(_fd, &iov, 1)) {
        _fail("cannot write");
        close();
        return false;
    }
    _size = sizeof header;
    return true;
}

bool PcapFile::append(const CapturedFrame* frames, size_t count) {
    if (_fd < 0) {
        errno = EBADF;
        return _fail("not open");
    }
    // At most 512 records (1 024 vectors) go to one writev.
    constexpr size_t kPerWrite = 512;
    for (size_t first = 0; first < count; first += kPerWrite) {
        size_t n = count - first < kPerWrite ? count - first : kPerWrite;
        _headers.resize(n * 16);
        _iov.resize(n * 2);
        off_t bytes = 0;
        for (size_t i = 0; i < n; ++i) {
            const CapturedFrame& frame = frames[first + i];
            uint8_t* record = _headers.data() + i * 16;
            putLe32(record, frame.seconds);
            putLe32(record + 4, frame.nanoseconds);
            putLe32(record + 8, frame.length);
            putLe32(record + 12, frame.originalLength);
            _iov[2 * i] = {record, 16};
            _iov[2 * i + 1] = {const_cast<uint8_t*>(frame.data), frame.length};
            bytes += 16 + static_cast<off_t>(frame.length);
        }
        if (!writeAll(_fd, _iov.data(), static_cast<int>(_iov.size()))) {
            int saved = errno;
            if (ftruncate(_fd, _size) != 0) {
                // The file keeps the torn record; nothing more can be done about it here.
            }
            errno = saved;
            return _fail("cannot write");
        }
        _size += bytes;
    }
    return true;
}

void PcapFile::close() {
    if (_fd >= 0)
        ::close(_fd);
    _fd = -1;
}

} // namespace VorIec61850
