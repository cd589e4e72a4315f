#include "stack/src/ethernet/PacketSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/filter.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <ctime>
#include <unistd.h>

namespace stack {
namespace eth {

namespace {

constexpr int kBatch = 32;

int interfaceMtu(int fd, const char* ifname) {
    ifreq req{};
    std::strncpy(req.ifr_name, ifname, IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFMTU, &req) < 0)
        return 1500;
    return req.ifr_mtu;
}

// The link-layer address a frame leaves by: the interface; the destination MAC is the frame's.
sockaddr_ll destination(int ifindex) {
    sockaddr_ll sll{};
    sll.sll_family = AF_PACKET;
    sll.sll_ifindex = ifindex;
    sll.sll_halen = 6;
    return sll;
}

// After a failed send: true when trying again makes sense, i.e. the call was interrupted, or the
// transmit queue was full and has had up to 10 ms to drain a little.
bool sendAgain(int fd) {
    if (errno == EINTR)
        return true;
    if (errno != ENOBUFS && errno != EAGAIN)
        return false;
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, 10) >= 0;
}

} // namespace

void restoreTag(RxFrame& frame) {
    if (!frame.vlan.present || frame.length < 12)
        return;
    auto* start = const_cast<uint8_t*>(frame.data) - RxRing::kHeadroom;
    std::memmove(start, frame.data, 12);
    start[12] = static_cast<uint8_t>(frame.vlan.tpid >> 8);
    start[13] = static_cast<uint8_t>(frame.vlan.tpid);
    start[14] = static_cast<uint8_t>(frame.vlan.tci >> 8);
    start[15] = static_cast<uint8_t>(frame.vlan.tci);
    frame.data = start;
    frame.length += 4;
    frame.wireLength += 4;
    frame.vlan.present = false;
}

struct PacketSocket::Batch {
    size_t slotSize = 2048;
    std::vector<uint8_t> storage;
    mmsghdr msgs[kBatch];
    iovec iov[kBatch];
    sockaddr_ll addr[kBatch];
    union Control {
        cmsghdr align;
        uint8_t bytes[CMSG_SPACE(sizeof(tpacket_auxdata)) + CMSG_SPACE(sizeof(timespec))];
    } control[kBatch];

    void prepare() {
        std::memset(msgs, 0, sizeof msgs);
        for (int i = 0; i < kBatch; ++i) {
            // Each slot starts with the headroom restoreTag uses.
            iov[i].iov_base =
                storage.data() + static_cast<size_t>(i) * (slotSize + RxRing::kHeadroom) + RxRing::kHeadroom;
            iov[i].iov_len = slotSize;
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &addr[i];
            msgs[i].msg_hdr.msg_namelen = sizeof addr[i];
            msgs[i].msg_hdr.msg_control = control[i].bytes;
            msgs[i].msg_hdr.msg_controllen = sizeof control[i].bytes;
        }
    }
};

// The tag and the arrival time stamp of a received frame from its auxiliary data.
static void readControl(msghdr& hdr, RxFrame& frame, bool wantTime) {
    VlanTag& tag = frame.vlan;
    tag = VlanTag();
    frame.timeNs = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&hdr); c; c = CMSG_NXTHDR(&hdr, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec ts;
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            frame.timeNs = static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
            continue;
        }
        if (c->cmsg_level != SOL_PACKET || c->cmsg_type != PACKET_AUXDATA ||
            c->cmsg_len < CMSG_LEN(sizeof(tpacket_auxdata)))
            continue;
        tpacket_auxdata aux;
        std::memcpy(&aux, CMSG_DATA(c), sizeof aux);
        if (aux.tp_status & TP_STATUS_VLAN_VALID) {
            tag.present = true;
            tag.tci = aux.tp_vlan_tci;
            tag.tpid = (aux.tp_status & TP_STATUS_VLAN_TPID_VALID) ? aux.tp_vlan_tpid : kEtherTypeVlan;
        } else if (aux.tp_vlan_tci != 0) {
            // Older kernels report a tag without the valid flag only when the TCI is not zero.
            tag.present = true;
            tag.tci = aux.tp_vlan_tci;
        }
    }
    if (wantTime && frame.timeNs == 0) {
        // No stamp (the option could not be set): the time of reading is the best left.
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        frame.timeNs = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
}

std::unique_ptr<PacketSocket> PacketSocket::open(const char* ifname, std::string* error,
                                                 size_t frameCapacity) {
    auto fail = [&](const char* what) -> std::unique_ptr<PacketSocket> {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        return nullptr;
    };
    if (!ifname || !*ifname || std::strlen(ifname) >= IFNAMSIZ) {
        errno = ENODEV;
        return fail("interface name");
    }
    std::unique_ptr<PacketSocket> self(new PacketSocket());
    // Protocol 0: the socket receives nothing until it is bound to its interface below.
    self->_fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    if (self->_fd < 0)
        return fail("socket");
    self->_ifindex = static_cast<int>(if_nametoindex(ifname));
    if (self->_ifindex == 0)
        return fail("if_nametoindex");
    int one = 1;
    if (setsockopt(self->_fd, SOL_PACKET, PACKET_AUXDATA, &one, sizeof one) < 0)
        return fail("PACKET_AUXDATA");
    // A large queue rides out bursts (GOOSE storms, many SV streams). Privileged processes may
    // exceed the system's rmem_max; others get what it allows.
    int rcvbuf = 8 * 1024 * 1024;
    if (setsockopt(self->_fd, SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf) < 0)
        setsockopt(self->_fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_ll sll{};
    sll.sll_family = AF_PACKET;
    sll.sll_protocol = htons(ETH_P_ALL);
    sll.sll_ifindex = self->_ifindex;
    if (bind(self->_fd, reinterpret_cast<sockaddr*>(&sll), sizeof sll) < 0)
        return fail("bind");
    ifreq req{};
    std::strncpy(req.ifr_name, ifname, IFNAMSIZ - 1);
    if (ioctl(self->_fd, SIOCGIFHWADDR, &req) == 0)
        std::memcpy(self->_mac, req.ifr_hwaddr.sa_data, 6);

    self->_batch.reset(new Batch());
    if (frameCapacity == 0) {
        size_t slot = static_cast<size_t>(interfaceMtu(self->_fd, ifname)) + 32;
        self->_batch->slotSize = slot < 2048 ? 2048 : (slot > 16384 ? 16384 : slot);
    } else {
        self->_batch->slotSize = frameCapacity;
    }
    self->_batch->storage.resize((self->_batch->slotSize + RxRing::kHeadroom) * kBatch);
    self->_frames.resize(kBatch);
    self->_pktTypes.resize(kBatch);
    return self;
}

PacketSocket::~PacketSocket() {
    _ring.reset(); // unmapped before the socket closes, or the kernel finds the ring still in use
    if (_fd >= 0)
        close(_fd);
}

bool PacketSocket::setProtocolFilter(uint16_t etherType, uint16_t otherEtherType) {
    // Accept frames of either type with no tag left in the data or with one inner tag (Q-in-Q),
    // never the frames this host sends. With one type, both comparisons test it.
    const uint16_t other = otherEtherType != 0 ? otherEtherType : etherType;
    sock_filter code[] = {
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE)},
        {BPF_JMP | BPF_JEQ | BPF_K, 10, 0, PACKET_OUTGOING}, // -> drop
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, 12},
        {BPF_JMP | BPF_JEQ | BPF_K, 7, 0, etherType},      // -> accept
        {BPF_JMP | BPF_JEQ | BPF_K, 6, 0, other},          // -> accept
        {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, kEtherTypeVlan}, // -> inner
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 5, kEtherTypeQinQ}, // -> inner / drop
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, 16},              // inner
        {BPF_JMP | BPF_JEQ | BPF_K, 2, 0, etherType},      // -> accept
        {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, other},          // -> accept
        {BPF_RET | BPF_K, 0, 0, 0},                        // drop
        {BPF_RET | BPF_K, 0, 0, 0x40000},                  // accept
        {BPF_RET | BPF_K, 0, 0, 0},                        // drop
    };
    sock_fprog prog{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    if (setsockopt(_fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog) < 0)
        return false;
    _etherType = etherType;
    _otherEtherType = other;
    return true;
}

bool PacketSocket::enableTimestamps() {
    int one = 1;
    _timestamps = setsockopt(_fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one) == 0;
    return _timestamps;
}

bool PacketSocket::enableRing(size_t bytes, unsigned retireMs, std::string* error) {
    if (_ring)
        return true;
    _ring = RxRing::attach(_fd, bytes, _batch->slotSize, retireMs, error);
    return _ring != nullptr;
}

SocketCounters PacketSocket::counters() {
    tpacket_stats stats{};
    socklen_t length = sizeof stats;
    if (getsockopt(_fd, SOL_PACKET, PACKET_STATISTICS, &stats, &length) == 0) {
        // tp_packets already includes the dropped frames.
        _counters.seen += stats.tp_packets;
        _counters.dropped += stats.tp_drops;
    }
    return _counters;
}

size_t PacketSocket::frameCapacity() const {
    return _batch->slotSize;
}

bool PacketSocket::setMode(EthernetSocketMode mode) {
    _mode = mode;
    packet_mreq mreq{};
    mreq.mr_ifindex = _ifindex;
    if (mode == ETHERNET_SOCKET_MODE_PROMISC)
        mreq.mr_type = PACKET_MR_PROMISC;
    else if (mode == ETHERNET_SOCKET_MODE_ALL_MULTICAST)
        mreq.mr_type = PACKET_MR_ALLMULTI;
    else
        return true; // the interface's own address filter; groups come with addMulticast
    return setsockopt(_fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &mreq, sizeof mreq) == 0;
}

bool PacketSocket::addMulticast(const uint8_t mac[6]) {
    packet_mreq mreq{};
    mreq.mr_ifindex = _ifindex;
    mreq.mr_type = PACKET_MR_MULTICAST;
    mreq.mr_alen = 6;
    std::memcpy(mreq.mr_address, mac, 6);
    return setsockopt(_fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &mreq, sizeof mreq) == 0;
}

bool PacketSocket::send(const uint8_t* frame, size_t length) {
    if (length < 14)
        return false;
    sockaddr_ll sll = destination(_ifindex);
    std::memcpy(sll.sll_addr, frame, 6);
    for (;;) {
        ssize_t n = sendto(_fd, frame, length, 0, reinterpret_cast<sockaddr*>(&sll), sizeof sll);
        if (n >= 0)
            return static_cast<size_t>(n) == length;
        if (!sendAgain(_fd))
            return false;
    }
}

int PacketSocket::sendBatch(const uint8_t* const* frames, const size_t* lengths, int count) {
    sockaddr_ll sll = destination(_ifindex);
    int sent = 0;
    while (sent < count) {
        mmsghdr msgs[kBatch];
        iovec iov[kBatch];
        int n = std::min(kBatch, count - sent);
        for (int i = 0; i < n; ++i) {
            iov[i].iov_base = const_cast<uint8_t*>(frames[sent + i]);
            iov[i].iov_len = lengths[sent + i];
            msgs[i] = mmsghdr{};
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &sll;
            msgs[i].msg_hdr.msg_namelen = sizeof sll;
        }
        int r = sendmmsg(_fd, msgs, static_cast<unsigned>(n), 0);
        if (r < 0) {
            if (sendAgain(_fd))
                continue;
            break;
        }
        sent += r;
    }
    return sent;
}

int PacketSocket::wait(int timeoutMs, int wakeFd) {
    pollfd p[2] = {{_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int r = poll(p, wakeFd >= 0 ? 2 : 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (p[0].revents & POLLNVAL)
        return -1;
    if (p[0].revents & POLLERR) {
        // A down interface reports ENETDOWN once; the socket stays bound and receives again
        // when the interface comes up, so that is no reason to end a receive loop.
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(_fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != ENETDOWN)
            return -1;
    }
    return (p[0].revents & POLLIN) ? 1 : 0;
}

int PacketSocket::_refill() {
    if (_next < _count)
        return _count - _next;
    _next = 0;
    _count = 0;
    int n;
    if (_ring) {
        n = _ring->next(_frames, _pktTypes);
        for (int i = 0; i < n; ++i)
            if (_frames[static_cast<size_t>(i)].length > _batch->slotSize)
                _frames[static_cast<size_t>(i)].length = _batch->slotSize;
    } else {
        n = _receiveBatch();
    }
    if (n > 0)
        _count = n;
    return n;
}

int PacketSocket::_receiveBatch() {
    Batch& b = *_batch;
    b.prepare();
    int n;
    do {
        n = recvmmsg(_fd, b.msgs, kBatch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENETDOWN) ? 0 : -1;
    for (int i = 0; i < n; ++i) {
        RxFrame& f = _frames[i];
        f.data = static_cast<const uint8_t*>(b.iov[i].iov_base);
        f.wireLength = b.msgs[i].msg_len;
        f.length = f.wireLength < b.slotSize ? f.wireLength : b.slotSize;
        readControl(b.msgs[i].msg_hdr, f, _timestamps);
        _pktTypes[i] = b.addr[i].sll_pkttype;
        f.outgoing = _pktTypes[i] == PACKET_OUTGOING;
    }
    return n;
}

bool PacketSocket::_accept(int i) const {
    const RxFrame& f = _frames[i];
    uint8_t type = _pktTypes[i];
    if (_mode == ETHERNET_SOCKET_MODE_HOST_ONLY && type == PACKET_OTHERHOST)
        return false;
    if (_etherType != 0) {
        // Frames queued before the filter was attached are checked here.
        if (type == PACKET_OUTGOING || f.length < 14)
            return false;
        uint16_t t = static_cast<uint16_t>(f.data[12] << 8 | f.data[13]);
        if ((t == kEtherTypeVlan || t == kEtherTypeQinQ) && f.length >= 18)
            t = static_cast<uint16_t>(f.data[16] << 8 | f.data[17]);
        if (t != _etherType && t != _otherEtherType)
            return false;
    }
    return true;
}

int PacketSocket::receiveOne(uint8_t* buffer, size_t size, int timeoutMs) {
    if (!buffer || size == 0)
        return -1;
    bool waited = false;
    for (;;) {
        int n = _refill();
        if (n < 0)
            return -1;
        if (n == 0) {
            if (waited)
                return 0;
            int r = wait(timeoutMs);
            if (r <= 0)
                return r;
            waited = true;
            continue;
        }
        const int i = _next++;
        if (!_accept(i))
            continue; // not for us: look for the next one without waiting again
        RxFrame f = _frames[static_cast<size_t>(i)];
        restoreTag(f);
        size_t length = f.length < size ? f.length : size;
        std::memcpy(buffer, f.data, length);
        return static_cast<int>(length);
    }
}

} // namespace eth
} // namespace stack
