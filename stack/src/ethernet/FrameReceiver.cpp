#include "stack/src/ethernet/FrameReceiver.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace stack {
namespace eth {

std::atomic<size_t> FrameReceiver::ringBytes{FrameReceiver::kDefaultRingBytes};

bool FrameReceiver::open(const std::string& ifname, uint16_t etherType, EthernetSocketMode mode,
                         const std::vector<Mac>& groups) {
    std::lock_guard<std::mutex> lock(_controlMutex);
    if (_handle.socket)
        return true;
    auto socket = PacketSocket::open(ifname.c_str());
    if (!socket)
        return false;
    if (etherType != 0 && !socket->setProtocolFilter(etherType))
        return false;
    // Without a ring (none wanted, or a kernel that refuses one) the socket's receive queue
    // serves instead.
    if (size_t bytes = ringBytes.load())
        socket->enableRing(bytes, kRetireMs);
    socket->setMode(mode);
    for (const auto& g : groups)
        socket->addMulticast(g.data());
    _handle.socket = std::move(socket);
    return true;
}

void FrameReceiver::close() {
    std::lock_guard<std::mutex> lock(_controlMutex);
    if (!_thread.joinable())
        _handle.socket.reset();
}

bool FrameReceiver::start(const std::string& ifname, uint16_t etherType, EthernetSocketMode mode,
                          const std::vector<Mac>& groups, const std::string& threadName, Handler handler) {
    if (isRunning())
        return true;
    stop(); // a thread that ended by itself after a socket error is joined here
    if (!open(ifname, etherType, mode, groups))
        return false;
    std::lock_guard<std::mutex> lock(_controlMutex);
    _wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (_wakeFd < 0) {
        _handle.socket.reset();
        return false;
    }
    _stopRequested = false;
    _running = true;
    _thread = std::thread(&FrameReceiver::_run, this, threadName, std::move(handler));
    return true;
}

void FrameReceiver::stop() {
    std::lock_guard<std::mutex> lock(_controlMutex);
    if (_thread.joinable()) {
        _stopRequested = true;
        uint64_t one = 1;
        ssize_t ignored = write(_wakeFd, &one, sizeof one);
        (void)ignored;
        // A stop from a listener only asks the loop to end after the current batch; the thread
        // is joined and the socket closed by the next stop from another thread.
        if (_thread.get_id() == std::this_thread::get_id())
            return;
        _thread.join();
    }
    if (_wakeFd >= 0) {
        ::close(_wakeFd);
        _wakeFd = -1;
    }
    _running = false;
    _handle.socket.reset();
}

void FrameReceiver::addMulticast(const Mac& mac) {
    std::lock_guard<std::mutex> lock(_controlMutex);
    if (_handle.socket)
        _handle.socket->addMulticast(mac.data());
}

void FrameReceiver::setMode(EthernetSocketMode mode) {
    std::lock_guard<std::mutex> lock(_controlMutex);
    if (_handle.socket)
        _handle.socket->setMode(mode);
}

bool FrameReceiver::poll(const Handler& handler) {
    if (!_handle.socket)
        return false;
    bool any = false;
    for (;;) {
        int n = _handle.socket->receiveBatch(handler);
        if (n <= 0)
            break;
        any = true;
    }
    return any;
}

void FrameReceiver::_run(std::string threadName, Handler handler) {
    pthread_setname_np(pthread_self(), threadName.substr(0, 15).c_str());
    PacketSocket* socket = _handle.socket.get();
    while (!_stopRequested.load(std::memory_order_acquire)) {
        int r = socket->wait(100, _wakeFd);
        if (r < 0)
            break; // interface gone or socket broken
        if (r == 0)
            continue;
        int n;
        do {
            n = socket->receiveBatch(handler);
        } while (n > 0 && !_stopRequested.load(std::memory_order_acquire));
        if (n < 0)
            break;
    }
    _running.store(false, std::memory_order_release);
}

} // namespace eth
} // namespace stack
