// The MMS polling pool: reads the wanted paths and the time stamps of their data objects every
// period on a thread of its own; entries that changed are replaced and valuesUpdated emitted.
//     polling_pool HOST:PORT PERIOD_MS SECONDS PATH[FC]...
#include "example.h"

#include "acquisition/MmsPollingPool.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc >= 5, "polling_pool HOST:PORT PERIOD_MS SECONDS PATH[FC]...");
    MmsPollingTarget target(argv[1], std::strtoull(argv[2], nullptr, 10));
    for (int i = 4; i < argc; ++i)
        target.paths.emplace_back(argv[i], nullptr); // every path needs its FC

    MmsPollingPool pool;
    require(pool.setTarget(target), "target");
    std::atomic<int> updates{0};
    pool.valuesUpdated.connect([&updates] { ++updates; }); // the polling thread
    startMmsPool(pool); // connects; on failure getLastError() and getLastClientError() say why
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[3])));
    pool.stop(); // joins the polling thread

    std::printf("%d updates\n", updates.load());
    const MmsValueElementList values = pool.getValues();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& time = pool.getTimePaths()[i].path; // where the time stamp came from
        std::printf("time of %s from %s\n", target.paths[i].path.c_str(),
                    time.empty() ? "(none)" : time.c_str());
        printValue(target.paths[i].path, values[i].get());
    }
    return updates.load() > 0 ? 0 : 1;
}
