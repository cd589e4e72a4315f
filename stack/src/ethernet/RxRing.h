#pragma once
// A memory-mapped receive ring (TPACKET_V3) on a packet socket.
//
// The kernel writes each frame, with its arrival time stamp, its VLAN tag and its packet type,
// straight into memory this process shares with it; user space walks the frames in place. No
// system call and no copy per frame: a reader wakes once per block of frames. A block is handed
// over when it is full or `retireMs` after its first frame arrived, so a frame may reach its
// reader up to that long (rounded up to the kernel's timer tick) after its arrival; its time
// stamp is the arrival time all the same.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct tpacket_block_desc;

namespace stack {
namespace eth {

struct RxFrame;

class RxRing {
public:
    // Bytes kept free in front of every frame, so that a removed VLAN tag can be put back in
    // place (see restoreTag).
    static constexpr size_t kHeadroom = 4;

    // Turns the socket `fd` (no ring yet) into a ring reader of about `bytes` bytes whose frames
    // are kept whole up to `frameCapacity` bytes. null (with `error` set) when the kernel refuses.
    static std::unique_ptr<RxRing> attach(int fd, size_t bytes, size_t frameCapacity, unsigned retireMs,
                                          std::string* error);
    ~RxRing();
    RxRing(const RxRing&) = delete;
    RxRing& operator=(const RxRing&) = delete;

    // Gives the block handed over last back to the kernel, then describes the frames of the next
    // ready block in `frames` and their packet types in `types` (grown as needed). Returns their
    // number, 0 when no block is ready. The frames stay valid until the next call.
    int next(std::vector<RxFrame>& frames, std::vector<uint8_t>& types);

private:
    RxRing() = default;
    void _release();

    uint8_t* _map = nullptr;
    size_t _mapSize = 0;
    size_t _blockSize = 0;
    unsigned _blockCount = 0;
    unsigned _next = 0;
    tpacket_block_desc* _held = nullptr;
};

} // namespace eth
} // namespace stack
