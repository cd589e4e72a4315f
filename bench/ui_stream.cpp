// CPU of the web host's value stream: a feeder stores 1 000 value changes per second the way a
// pool does, (a) with no page open, the baseline, and (b) with one page reading the event stream.
// Prints the process CPU of each phase, their ratio, and what the page received.
#include "ui/Session.h"
#include "ui/UiServer.h"

#include "mms_value.h"

#include <httplib.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

constexpr int kValues = 50;
constexpr int kRoundsPerSecond = 20; // 50 values x 20 = 1 000 changes per second

// Feeds for `seconds` and returns the CPU share of the whole process (1.0 = one core).
double feed(iecx::ui::LiveValues& values, double seconds) {
    std::vector<MmsValue*> owned;
    const double cpu0 = cpuSeconds();
    const auto start = Clock::now();
    auto next = start;
    for (int round = 0; Clock::now() - start < std::chrono::duration<double>(seconds); ++round) {
        VorIec61850::MmsValueElementList list;
        for (int i = 0; i < kValues; ++i) {
            owned.push_back(MmsValue_newFloat(static_cast<float>(round * 0.1 + i)));
            list.push_back(
                std::make_shared<VorIec61850::MmsValueElement>(owned.back(), 1700000000000ull + round));
        }
        values.store(list);
        next += std::chrono::microseconds(1000000 / kRoundsPerSecond);
        std::this_thread::sleep_until(next);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double share = (cpuSeconds() - cpu0) / wall;
    for (MmsValue* v : owned)
        MmsValue_delete(v);
    return share;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    iecx::ui::UiServer server(iecx::ui::UiOptions{});
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", server.error().c_str());
        return 1;
    }
    iecx::ui::LiveValues& values = server.session().liveValues();
    std::vector<std::string> paths;
    for (int i = 0; i < kValues; ++i)
        paths.push_back("LD0/MMXU1.A" + std::to_string(i) + ".mag.f");
    values.reset(paths);

    const double idle = feed(values, seconds);

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> bytes{0}, events{0};
    std::thread page([&] {
        httplib::Client client("127.0.0.1", server.port());
        client.Get(("/api/events?token=" + server.token()).c_str(), [&](const char* data, size_t length) {
            bytes += length;
            for (size_t i = 0; i + 6 < length; ++i)
                if (std::equal(data + i, data + i + 6, "event:"))
                    ++events;
            return !stop.load();
        });
    });
    const double streaming = feed(values, seconds);
    stop = true;
    server.stop();
    page.join();

    std::printf("value changes per second     %d\n", kValues * kRoundsPerSecond);
    std::printf("server CPU without a page    %.2f %% of a core\n", idle * 100);
    std::printf("server CPU with one page     %.2f %% of a core\n", streaming * 100);
    std::printf("ratio                        %.2f\n", idle > 0 ? streaming / idle : 0.0);
    std::printf("events to the page           %.1f per second, %.1f kB/s\n", events / seconds,
                bytes / seconds / 1000);
    return 0;
}
