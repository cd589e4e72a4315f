// The MMS report pool: enables one report control block, delivers the wanted members of each
// report with the time stamps of their data objects, and says when the connection is lost.
//     report_pool HOST:PORT SECONDS RCBREF PATH[FC]...
#include "example.h"

#include "acquisition/MmsReportPool.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc >= 5, "report_pool HOST:PORT SECONDS RCBREF PATH[FC]...");
    MmsReportTarget target(argv[1], argv[3]); // e.g. "PROT1CTRL/LLN0.RP.urcbPos01"
    for (int i = 4; i < argc; ++i)
        target.paths.emplace_back(argv[i], nullptr); // a data set member or an attribute inside one

    MmsReportPool pool;
    pool.setConnectTimeout(2000);
    // Reads the control block's data set from the IED to place every path.
    require(pool.setTarget(target), "target");
    std::atomic<int> reports{0};
    pool.valuesUpdated.connect([&reports] { ++reports; }); // the connection's receive thread
    startMmsPool(pool); // connects; on failure getLastError() and getLastClientError() say why
    pool.requestGeneralInterrogation(); // one report with every member, changed or not
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[2])));
    pool.stop(); // disables the block and closes the connection

    std::printf("%d reports\n", reports.load());
    const MmsValueElementList values = pool.getValues();
    for (std::size_t i = 0; i < values.size(); ++i)
        printValue(target.paths[i].path, values[i].get());
    return reports.load() > 0 ? 0 : 1;
}
