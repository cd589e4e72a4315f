// Both MMS pools against a simulated IED that goes away and comes back on the same port: the loss
// is signalled within a second, the pool stops spinning, tells why, and starts again once the IED
// is back. Also: a device that accepts the connection and never answers, and start/stop/retarget
// from several threads with a reader of the value list on another (run under TSan by
// scripts/sanitize.sh).
#include "acquisition/MmsPollingPool.h"
#include "acquisition/MmsReportPool.h"
#include "support/SimIed.h"
#include "test_mms_support.h"

#include <gtest/gtest.h>

#include <sys/times.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace mmspooltest;

const std::string kInd1 = "SIMIEDLD0/GGIO1.Ind1.stVal[ST]";
const std::string kAnIn = "SIMIEDLD0/GGIO1.AnIn1[MX]";
const std::string kReport = "SIMIEDLD0/LLN0.BR.brcbMeas";

// Waits for a pool's connectionLost and records when it came.
struct LossWatch {
    std::mutex mutex;
    std::condition_variable cv;
    bool lost = false;
    Clock::time_point at;

    void connect(sigc::signal<void>& signal) {
        signal.connect([this] {
            std::lock_guard<std::mutex> lock(mutex);
            lost = true;
            at = Clock::now();
            cv.notify_all();
        });
    }
    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, timeout, [this] { return lost; });
    }
};

// CPU time (user and system) of this process in milliseconds.
long cpuMs() {
    struct tms t {};
    times(&t);
    return (t.tms_utime + t.tms_stime) * 1000 / sysconf(_SC_CLK_TCK);
}

template <class Pool> bool waitForValue(Pool& pool, std::size_t i, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const MmsValueElementList values = pool.getValues();
        if (i < values.size() && values[i])
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The whole story for one pool: values arrive, the IED dies, the loss is reported within a second
// and the pool goes quiet; a start while the IED is down fails with the reason; once the IED is
// back on its port a new start delivers again.
template <class Pool> void lossAndRecovery(Pool& pool, iecx::test::SimIed& sim, const char* name) {
    SCOPED_TRACE(name);
    LossWatch watch;
    watch.connect(pool.connectionLost);
    ASSERT_TRUE(pool.start());
    ASSERT_TRUE(waitForValue(pool, 0, std::chrono::seconds(5)));
    const auto killedAt = Clock::now();
    sim.kill();
    ASSERT_TRUE(watch.wait(std::chrono::seconds(1))) << "loss not reported within a second";
    const auto detection = std::chrono::duration_cast<std::chrono::milliseconds>(watch.at - killedAt);
    std::printf("[ measure  ] %s: connection loss detected after %lld ms\n", name,
                static_cast<long long>(detection.count()));
    EXPECT_FALSE(pool.isRunning());
    EXPECT_TRUE(pool.isConnectionLost());
    EXPECT_EQ(pool.getLastError(), "Connection to the IED " + hostOf(sim) + " lost");
    ASSERT_TRUE(pool.getValues()[0]) << "the last values stay";

    // No busy loop while the IED is gone.
    const long cpuBefore = cpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LT(cpuMs() - cpuBefore, 100);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(pool.start());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ied connection service error!\n");
    EXPECT_FALSE(pool.isRunning());
    EXPECT_NE(pool.getLastClientError(), IED_ERROR_OK);
    EXPECT_EQ(pool.getLastError(), "Unable to connect to the IED " + hostOf(sim) + " (client error " +
                                       std::to_string(static_cast<int>(pool.getLastClientError())) + ")");

    ASSERT_TRUE(sim.ied().start(sim.host(), sim.port())) << sim.ied().lastError();
    sim.ied().changeValuesEvery(50);
    ASSERT_TRUE(pool.start()) << pool.getLastError();
    EXPECT_TRUE(pool.isRunning());
    EXPECT_FALSE(pool.isConnectionLost());
    EXPECT_EQ(pool.getLastError(), "");
    EXPECT_TRUE(waitForValue(pool, 0, std::chrono::seconds(5)));
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.isConnectionLost()) << "a stop is no loss";
}

class MmsConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.error(); }
    iecx::test::SimIed sim{iecx::test::simData("simple.cid"), "SIMIED"};
};

TEST_F(MmsConnectionTest, PollingPoolReportsLossAndRecovers) {
    MmsPollingPool pool;
    MmsPollingTarget target(hostOf(sim), 0); // continuous polling: the case that used to spin
    target.paths.emplace_back(kInd1, nullptr);
    ASSERT_TRUE(pool.setTarget(target));
    lossAndRecovery(pool, sim, "polling");
}

TEST_F(MmsConnectionTest, ReportPoolReportsLossAndRecovers) {
    MmsReportPool pool;
    MmsReportTarget target(hostOf(sim), kReport);
    target.paths.emplace_back(kAnIn, nullptr);
    ASSERT_TRUE(pool.setTarget(target)) << pool.getLastError();
    sim.ied().changeValuesEvery(50);
    lossAndRecovery(pool, sim, "reports");
}

// A device that accepts TCP connections and never answers: every connect gives up after the
// connect time-out instead of blocking for long.
TEST(MmsConnectTimeout, SilentDeviceFailsWithinTheTimeOut) {
    iecx::test::SilentDevice silent;
    ASSERT_NE(silent.port(), 0);
    const std::string host = silent.address();

    MmsPollingPool polling;
    MmsPollingTarget pollingTarget(host, 10);
    pollingTarget.paths.emplace_back(kInd1, nullptr);
    ASSERT_TRUE(polling.setTarget(pollingTarget));
    polling.setConnectTimeout(300);
    MmsReportPool reports;
    reports.setConnectTimeout(300);

    testing::internal::CaptureStdout();
    auto begin = Clock::now();
    EXPECT_FALSE(polling.start());
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(1500));
    EXPECT_FALSE(polling.isRunning());
    MmsReportTarget reportTarget(host, kReport);
    reportTarget.paths.emplace_back(kAnIn, nullptr);
    begin = Clock::now();
    EXPECT_FALSE(reports.setTarget(reportTarget).isValid());
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(1500));
    testing::internal::GetCapturedStdout();
}

// Both pools started, stopped and retargeted from several threads while values change.
TEST_F(MmsConnectionTest, StartStopAndSetTargetFromSeveralThreads) {
    MmsPollingPool polling;
    auto pollingTarget = [&](int i) {
        MmsPollingTarget target(hostOf(sim), static_cast<uint64_t>(i % 3));
        target.paths = {MmsPath(kAnIn, nullptr), MmsPath(kInd1, nullptr)};
        return target;
    };
    ASSERT_TRUE(polling.setTarget(pollingTarget(0)));
    startStopStorm(polling, sim, [&](int i) { polling.setTarget(pollingTarget(i)); });

    MmsReportPool reports;
    MmsReportTarget reportTarget(hostOf(sim), kReport);
    reportTarget.paths = {MmsPath(kAnIn, nullptr), MmsPath("SIMIEDLD0/GGIO1.AnIn1.mag.f[MX]", nullptr)};
    ASSERT_TRUE(reports.setTarget(reportTarget)) << reports.getLastError();
    startStopStorm(reports, sim, [&](int) { reports.setTarget(reportTarget); });
}

} // namespace
