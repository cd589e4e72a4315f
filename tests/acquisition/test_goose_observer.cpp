// GooseObserver: prints every GOOSE message of an interface and finishes its stop on the main
// loop.
#include "mms/GooseObserver.h"
#include "test_goose_support.h"

#include <glibmm/main.h>

#include <thread>

namespace {

using namespace goosetest;

// Runs the default main context until the condition holds or the time is up.
template <typename Condition> bool iterateMainLoopUntil(Condition condition, int milliseconds = 2000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition() && std::chrono::steady_clock::now() < end) {
        while (Glib::MainContext::get_default()->iteration(false)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

TEST_F(GoosePoolTest, ObserverPrintsEachMessageWithItsHeaderAndData) {
    GooseObserver observer;
    // A pool on the same interface tells when the frames have arrived.
    GooseSubscriberPool pool;
    Recorder seen(pool, true);
    ASSERT_TRUE(pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]"})));
    ASSERT_TRUE(pool.start());
    Publisher publisher(veth.a(), Publication{});

    ::testing::internal::CaptureStdout();
    observer.startObserver(veth.b());
    EXPECT_TRUE(observer.isRunning());
    observer.startObserver(veth.b()); // already observing: nothing happens
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    publishUntil(publisher, seen, 3);
    observer.stopObserver();
    observer.stopObserver(); // not running any more: prints nothing
    std::string out = ::testing::internal::GetCapturedStdout();
    pool.stop();
    EXPECT_FALSE(observer.isRunning());

    EXPECT_EQ(out.find("\nSTART OBSERVER on interface: " + veth.b() + "\n"), 0u) << out;
    EXPECT_NE(out.find("GOOSE event:\n    vlanTag: found\n    vlanID: 0\n    vlanPrio: 4\n    appId: 4097\n"),
              std::string::npos)
        << out;
    EXPECT_NE(
        out.find("    dstMac: 01:0C:CD:01:00:01\n    goId: IED1_gcb1\n    goCbRef: IED1LD0/LLN0$GO$gcb1\n"
                 "    dataSet: IED1LD0/LLN0$ds1\nAll data: {"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("    srcMac: "), std::string::npos);
    size_t stop = out.find("\nSTOP OBSERVER\n");
    ASSERT_NE(stop, std::string::npos) << out;
    EXPECT_EQ(stop + std::strlen("\nSTOP OBSERVER\n"), out.size()) << "printed once, last";
    // The dispatcher's call of stopObserver on the main loop finds it stopped already.
    iterateMainLoopUntil([] { return false; }, 50);
}

// A receiver that cannot start ends the observer on the main loop; it can start again, and
// destroying a running observer stops it.
TEST(GooseObserver, ReceiverThatCannotStartEndsTheObserverOnTheMainLoop) {
    GooseObserver observer;
    ::testing::internal::CaptureStdout();
    observer.startObserver("ixnosuchif0");
    bool stopped = iterateMainLoopUntil([&] { return !observer.isRunning(); });
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(out, "\nSTART OBSERVER on interface: ixnosuchif0\n\nSTOP OBSERVER\n");
    ::testing::internal::CaptureStdout();
    observer.startObserver("ixnosuchif1");
    EXPECT_TRUE(iterateMainLoopUntil([&] { return !observer.isRunning(); }));
    ::testing::internal::GetCapturedStdout();

    ::testing::internal::CaptureStdout();
    {
        GooseObserver running;
        running.startObserver("lo");
    }
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\nSTOP OBSERVER\n"), std::string::npos) << out;
}

} // namespace
