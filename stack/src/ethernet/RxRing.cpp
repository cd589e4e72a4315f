#include "stack/src/ethernet/RxRing.h"

#include "stack/src/ethernet/PacketSocket.h"

#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <sys/mman.h>
#include <sys/socket.h>

namespace stack {
namespace eth {

namespace {

constexpr size_t kBlockSize = 256 * 1024;

size_t alignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

void readFrame(const tpacket3_hdr* h, RxFrame& frame, uint8_t& type) {
    const uint8_t* base = reinterpret_cast<const uint8_t*>(h);
    frame.data = base + h->tp_mac;
    frame.length = h->tp_snaplen;
    frame.wireLength = h->tp_len;
    frame.timeNs = static_cast<int64_t>(h->tp_sec) * 1000000000 + h->tp_nsec;
    frame.vlan = VlanTag();
    if (h->tp_status & TP_STATUS_VLAN_VALID) {
        frame.vlan.present = true;
        frame.vlan.tci = h->hv1.tp_vlan_tci;
        if (h->tp_status & TP_STATUS_VLAN_TPID_VALID)
            frame.vlan.tpid = h->hv1.tp_vlan_tpid;
    } else if (h->hv1.tp_vlan_tci != 0) {
        frame.vlan.present = true; // older kernels: a tag without the valid flag
        frame.vlan.tci = h->hv1.tp_vlan_tci;
    }
    // The link-layer address follows the header.
    const auto* address = reinterpret_cast<const sockaddr_ll*>(base + TPACKET_ALIGN(sizeof(tpacket3_hdr)));
    type = address->sll_pkttype;
    frame.outgoing = type == PACKET_OUTGOING;
}

} // namespace

std::unique_ptr<RxRing> RxRing::attach(int fd, size_t bytes, size_t frameCapacity, unsigned retireMs,
                                       std::string* error) {
    auto fail = [&](const char* what) -> std::unique_ptr<RxRing> {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        return nullptr;
    };
    int version = TPACKET_V3;
    if (setsockopt(fd, SOL_PACKET, PACKET_VERSION, &version, sizeof version) < 0)
        return fail("PACKET_VERSION");
    unsigned reserve = kHeadroom;
    if (setsockopt(fd, SOL_PACKET, PACKET_RESERVE, &reserve, sizeof reserve) < 0)
        return fail("PACKET_RESERVE");
    // The largest slot one frame takes: header, link-layer address, headroom, the frame.
    const size_t frameSize =
        alignUp(TPACKET_ALIGN(sizeof(tpacket3_hdr)) + sizeof(sockaddr_ll) + 16 + kHeadroom + frameCapacity,
                TPACKET_ALIGNMENT);
    const size_t blockSize = alignUp(frameSize, kBlockSize);
    tpacket_req3 req{};
    req.tp_block_size = static_cast<unsigned>(blockSize);
    req.tp_block_nr = static_cast<unsigned>(bytes / blockSize < 4 ? 4 : bytes / blockSize);
    req.tp_frame_size = static_cast<unsigned>(frameSize);
    req.tp_frame_nr = static_cast<unsigned>(blockSize / frameSize) * req.tp_block_nr;
    req.tp_retire_blk_tov = retireMs;
    if (setsockopt(fd, SOL_PACKET, PACKET_RX_RING, &req, sizeof req) < 0)
        return fail("PACKET_RX_RING");
    std::unique_ptr<RxRing> ring(new RxRing());
    ring->_blockSize = blockSize;
    ring->_blockCount = req.tp_block_nr;
    ring->_mapSize = blockSize * req.tp_block_nr;
    void* map = mmap(nullptr, ring->_mapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return fail("mmap");
    ring->_map = static_cast<uint8_t*>(map);
    return ring;
}

RxRing::~RxRing() {
    if (_map != nullptr)
        munmap(_map, _mapSize);
}

void RxRing::_release() {
    if (_held != nullptr)
        __atomic_store_n(&_held->hdr.bh1.block_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    _held = nullptr;
}

int RxRing::next(std::vector<RxFrame>& frames, std::vector<uint8_t>& types) {
    _release();
    for (;;) {
        auto* block = reinterpret_cast<tpacket_block_desc*>(_map + size_t(_next) * _blockSize);
        if ((__atomic_load_n(&block->hdr.bh1.block_status, __ATOMIC_ACQUIRE) & TP_STATUS_USER) == 0)
            return 0;
        _next = (_next + 1) % _blockCount;
        const uint32_t count = block->hdr.bh1.num_pkts;
        if (count == 0) {
            __atomic_store_n(&block->hdr.bh1.block_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
            continue;
        }
        if (frames.size() < count) {
            frames.resize(count);
            types.resize(count);
        }
        const uint8_t* at = reinterpret_cast<const uint8_t*>(block) + block->hdr.bh1.offset_to_first_pkt;
        for (uint32_t i = 0; i < count; ++i) {
            const auto* h = reinterpret_cast<const tpacket3_hdr*>(at);
            readFrame(h, frames[i], types[i]);
            at += h->tp_next_offset;
        }
        _held = block;
        return static_cast<int>(count);
    }
}

} // namespace eth
} // namespace stack
