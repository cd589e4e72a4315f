// GooseSubscriberPool with several interfaces and under start/stop from several threads while
// messages keep arriving.
#include "test_goose_support.h"

#include "host/NetworkHelper.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

namespace {

using namespace goosetest;

// Moves the calling thread into a new, empty network namespace and back again at the end, so
// that "every interface" means exactly the interfaces a test creates (threads and `ip` started
// meanwhile inherit it).
class PrivateNetns {
public:
    PrivateNetns() {
        _original = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        _ok = _original >= 0 && unshare(CLONE_NEWNET) == 0;
    }
    ~PrivateNetns() {
        if (_ok)
            setns(_original, CLONE_NEWNET);
        if (_original >= 0)
            close(_original);
    }
    bool ok() const { return _ok; }

private:
    int _original = -1;
    bool _ok = false;
};

// Publishes on its own thread until stopped (at most `limit` frames).
class Flood {
public:
    Flood(const std::string& iface, int limit = 200000) : _publisher(iface, Publication{}) {
        _thread = std::thread([this, limit] {
            for (int i = 0; i < limit && !_stop; ++i) {
                _publisher.publish(i % 2 == 0, i);
                if (i % 64 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    ~Flood() {
        _stop = true;
        _thread.join();
    }

private:
    Publisher _publisher;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

TEST(GoosePoolInterfaces, EmptyInterfaceNameListensOnEveryInterface) {
    if (!iecx::test::haveNetworkRights())
        GTEST_SKIP() << "needs root for network namespaces and raw sockets";
    PrivateNetns netns;
    ASSERT_TRUE(netns.ok()) << "cannot create a network namespace";
    iecx::test::Veth first;
    iecx::test::Veth second;
    ASSERT_TRUE(first.ok()) << first.skipReason();
    ASSERT_TRUE(second.ok()) << second.skipReason();
    size_t interfaces = Vor::NetworkHelper::getNetworkInterfaces().size();
    ASSERT_EQ(interfaces, 5u); // lo and both ends of both pairs

    GooseSubscriberPool pool;
    Recorder seen(pool, true);
    std::atomic<bool> handlerRunning{false};
    std::atomic<bool> overlap{false};
    pool.valuesUpdated.connect([&] {
        // Handlers of several receivers never overlap: the inner subscriber's mutex is held.
        if (handlerRunning.exchange(true))
            overlap = true;
        handlerRunning = false;
    });
    GooseIn target = makeTarget("", {"LD0/GGIO2.Ind2.stVal[ST]"});
    target.identifier.goCbRef = Publication{}.goCbRef;
    ASSERT_TRUE(pool.setTarget(target));
    ASSERT_TRUE(pool.start());
    EXPECT_EQ(pool.getReceiverCount(), interfaces);

    Publisher onFirst(first.a(), Publication{});
    Publisher onSecond(second.b(), Publication{});
    std::set<std::string> values;
    for (int i = 0; i < 100 && values.size() < 2; ++i) {
        size_t before = seen.count();
        onFirst.publish(true, 11);
        onSecond.publish(true, 22);
        seen.waitForCount(before + 2, 200);
        for (const Delivery& d : seen.deliveries())
            values.insert(d.text[0]);
    }
    EXPECT_TRUE(pool.stop());
    EXPECT_EQ(pool.getReceiverCount(), 0u);
    EXPECT_EQ(values, (std::set<std::string>{"11", "22"}));
    EXPECT_FALSE(overlap);
}

TEST(GoosePoolInterfaces, OneReceiverPerNamedInterfaceSeesOnlyItsOwnTraffic) {
    iecx::test::Veth first;
    iecx::test::Veth second;
    if (!first.ok() || !second.ok())
        GTEST_SKIP() << first.skipReason() << second.skipReason();
    GooseSubscriberPool pool;
    Recorder seen(pool, true);
    ASSERT_TRUE(pool.setTarget(makeTarget(first.b(), {"LD0/GGIO2.Ind2.stVal[ST]"})));
    ASSERT_TRUE(pool.start());
    EXPECT_EQ(pool.getReceiverCount(), 1u);
    Publisher onFirst(first.a(), Publication{});
    Publisher onSecond(second.a(), Publication{});
    for (int i = 0; i < 50 && seen.count() < 3; ++i) {
        onSecond.publish(true, 22);
        onFirst.publish(true, 11);
        seen.waitForCount(seen.count() + 1, 200);
    }
    pool.stop();
    ASSERT_GE(seen.count(), 3u);
    for (const Delivery& d : seen.deliveries())
        EXPECT_EQ(d.text[0], "11");
}

TEST_F(GoosePoolTest, ReceiverOnADownInterfaceKeepsRunningAndReceivesOnceItIsUp) {
    ASSERT_TRUE(iecx::test::Veth::ip({"link", "set", veth.b(), "down"}));
    GooseSubscriberPool pool;
    Recorder seen(pool, true);
    ASSERT_TRUE(pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]"})));
    ASSERT_TRUE(pool.start());
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_TRUE(iecx::test::Veth::ip({"link", "set", veth.b(), "up"}));
    Publisher publisher(veth.a(), Publication{});
    publishUntil(publisher, seen, 2, 100);
    pool.stop();
    EXPECT_GE(seen.count(), 2u);
}

// While messages keep coming: no update after stop() returns, start and stop from two threads
// keep one consistent state, and destroying a running pool stops it.
TEST_F(GoosePoolTest, StartStopAndDestroyWhileMessagesKeepComing) {
    const GooseIn target = makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO2.Ind2.stVal[ST]"});
    Flood flood(veth.a());
    GooseSubscriberPool pool;
    Recorder seen(pool, true);
    ASSERT_TRUE(pool.setTarget(target));
    for (int round = 0; round < 15; ++round) {
        ASSERT_TRUE(pool.start());
        seen.waitForCount(seen.count() + 1, 300);
        ASSERT_TRUE(pool.stop());
        size_t afterStop = seen.count();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(seen.count(), afterStop) << "an update arrived after stop() returned";
    }
    EXPECT_GT(seen.count(), 0u);

    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    auto worker = [&] {
        for (int i = 0; i < 20; ++i) {
            if (pool.start())
                ++starts;
            if (pool.stop())
                ++stops;
        }
    };
    std::thread a(worker);
    std::thread b(worker);
    a.join();
    b.join();
    if (pool.stop())
        ++stops;
    EXPECT_FALSE(pool.isRunning());
    EXPECT_EQ(starts.load(), stops.load()); // every successful start was matched by one stop
    EXPECT_GE(starts.load(), 20);

    for (int round = 0; round < 5; ++round) {
        auto running = std::make_unique<GooseSubscriberPool>();
        Recorder runningSeen(*running, true);
        ASSERT_TRUE(running->setTarget(target));
        ASSERT_TRUE(running->start());
        runningSeen.waitForCount(1, 300);
        running.reset(); // receivers stopped and joined before the pool goes
        size_t after = runningSeen.count();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(runningSeen.count(), after);
    }
}

} // namespace
