// The raw Ethernet layer over veth pairs: interface binding, EtherType filter, VLAN tag
// recovery, sizes, the receive time-out, and the receive ring.
#include "hal_ethernet.h"
#include "stack/src/ethernet/PacketSocket.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

using iecx::test::testFrame;
using iecx::test::Veth;

namespace {

// Receives frames until `count` arrived or the time is up.
std::vector<std::vector<uint8_t>> receive(EthernetSocket s, size_t count, int ms = 1000,
                                          int bufferSize = 2048) {
    std::vector<std::vector<uint8_t>> got;
    std::vector<uint8_t> buf(static_cast<size_t>(bufferSize));
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        int n = Ethernet_receivePacket(s, buf.data(), bufferSize);
        if (n > 0)
            got.emplace_back(buf.begin(), buf.begin() + n);
    }
    return got;
}

} // namespace

TEST(EthernetSocket, FilterTagRecoveryAndSizes) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    EthernetSocket tx = Ethernet_createSocket(veth.a().c_str(), nullptr);
    EthernetSocket rx = Ethernet_createSocket(veth.b().c_str(), nullptr);
    ASSERT_NE(tx, nullptr);
    ASSERT_NE(rx, nullptr);
    Ethernet_setProtocolFilter(rx, 0x88B8);
    Ethernet_setMode(rx, ETHERNET_SOCKET_MODE_MULTICAST);

    // Silence: the receive returns 0 after its short wait.
    uint8_t buf[2048];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Ethernet_receivePacket(rx, buf, sizeof buf), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));

    auto sv = testFrame(0x88BA, 100, 1);
    auto plain = testFrame(0x88B8, 100, 2);
    auto tagged = testFrame(0x88B8, 104, 3, 0x123, 5);
    auto taggedSv = testFrame(0x88BA, 104, 4, 7, 1);
    auto full = testFrame(0x88B8, 1518, 5, 10, 4); // largest standard tagged frame
    for (auto* f : {&sv, &plain, &tagged, &taggedSv, &full})
        Ethernet_sendPacket(tx, f->data(), static_cast<int>(f->size()));
    auto got = receive(rx, 3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], plain);
    EXPECT_EQ(got[1], tagged) << "VLAN tag put back in place";
    EXPECT_EQ(got[2], full) << "a frame of 1518 bytes is delivered whole";
    EXPECT_TRUE(receive(rx, 1, 100).empty()) << "SV frames filtered out";

    // A buffer smaller than the frame gets its beginning.
    Ethernet_sendPacket(tx, full.data(), static_cast<int>(full.size()));
    got = receive(rx, 1, 1000, 100);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(std::equal(got[0].begin(), got[0].end(), full.begin()));

    // Frames the host sends on the filtered socket's own interface are not delivered to it.
    Ethernet_sendPacket(rx, plain.data(), static_cast<int>(plain.size()));
    EXPECT_TRUE(receive(rx, 1, 100).empty());

    uint8_t mac[6], zero[6] = {0};
    Ethernet_getInterfaceMACAddress(veth.a().c_str(), mac);
    EXPECT_NE(memcmp(mac, zero, 6), 0);
    Ethernet_getInterfaceMACAddress("ixnosuchif0", mac);
    EXPECT_EQ(memcmp(mac, zero, 6), 0);

    Ethernet_destroySocket(tx);
    Ethernet_destroySocket(rx);
}

TEST(EthernetSocket, NeverDeliversFramesOfAnotherInterface) {
    Veth one, two;
    IECX_REQUIRE_VETH(one);
    IECX_REQUIRE_VETH(two);
    EthernetSocket tx = Ethernet_createSocket(two.a().c_str(), nullptr);
    ASSERT_NE(tx, nullptr);
    // Traffic runs on the second pair while sockets on the first are created and used.
    std::atomic<bool> sending{true};
    auto frame = testFrame(0x88B8, 64, 9);
    std::thread flood([&] {
        for (int i = 0; i < 200000 && sending; ++i)
            Ethernet_sendPacket(tx, frame.data(), static_cast<int>(frame.size()));
    });
    int foreign = 0;
    for (int round = 0; round < 20; ++round) {
        EthernetSocket rx = Ethernet_createSocket(one.b().c_str(), nullptr); // no filter at all
        ASSERT_NE(rx, nullptr);
        Ethernet_setMode(rx, ETHERNET_SOCKET_MODE_PROMISC);
        for (auto& f : receive(rx, 1000, 20))
            foreign += f.size() >= 12 && f[11] == 9;
        Ethernet_destroySocket(rx);
    }
    sending = false;
    flood.join();
    EXPECT_EQ(foreign, 0);
    Ethernet_destroySocket(tx);
}

// A receive queue and a small memory-mapped ring (wrapped around many times) read the same way:
// every frame arrives once and in order with its tag back in place, unless the kernel counted
// it as dropped, and the frames plus the drops are all that were sent.
TEST(EthernetSocket, QueueAndRingDeliverEveryFrameOnceInOrderOrCountItDropped) {
    for (bool ring : {false, true}) {
        SCOPED_TRACE(ring ? "ring" : "queue");
        Veth veth;
        IECX_REQUIRE_VETH(veth);
        EthernetSocket tx = Ethernet_createSocket(veth.a().c_str(), nullptr);
        ASSERT_NE(tx, nullptr);
        auto rx = stack::eth::PacketSocket::open(veth.b().c_str());
        ASSERT_NE(rx, nullptr);
        ASSERT_TRUE(rx->setProtocolFilter(0x88BA));
        rx->setMode(ETHERNET_SOCKET_MODE_ALL_MULTICAST);
        ASSERT_TRUE(!ring || rx->enableRing(1 << 20, 1)) << "4 blocks of 256 KiB";
        EXPECT_EQ(rx->hasRing(), ring);

        const uint32_t frames = 20000; // about 5 MiB: the ring goes round several times
        std::atomic<bool> done{false};
        std::thread sender([&] {
            auto f = testFrame(0x88BA, 200, 1, 0x123, 5);
            for (uint32_t i = 0; i < frames; ++i) {
                memcpy(&f[40], &i, 4);
                Ethernet_sendPacket(tx, f.data(), static_cast<int>(f.size()));
            }
            done = true;
        });
        uint32_t received = 0, outOfOrder = 0, badTag = 0;
        int64_t lastSeq = -1;
        auto onFrame = [&](const stack::eth::RxFrame& received_) {
            stack::eth::RxFrame f = received_;
            stack::eth::restoreTag(f);
            uint32_t seq;
            memcpy(&seq, f.data + 40, 4);
            outOfOrder += static_cast<int64_t>(seq) <= lastSeq;
            lastSeq = seq;
            badTag += f.length != 200 || f.data[12] != 0x81 || f.data[14] != 0xA1 || f.data[15] != 0x23;
            ++received;
        };
        auto idleSince = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - idleSince < std::chrono::milliseconds(done ? 200 : 2000)) {
            rx->wait(5);
            if (rx->receiveBatch(onFrame) > 0)
                idleSince = std::chrono::steady_clock::now();
        }
        sender.join();
        auto counters = rx->counters();
        EXPECT_EQ(outOfOrder, 0u);
        EXPECT_EQ(badTag, 0u);
        EXPECT_EQ(received + counters.dropped, frames);
        EXPECT_GT(received, frames / 2);
        Ethernet_destroySocket(tx);
    }
}
