// The GOOSE pool on its own: the target names the control block and carries the data set's
// structure (read here from the IED over MMS), the pool delivers each wanted member with the
// time stamp of its data object, and the state and sequence numbers of the message.
//     goose_pool HOST PORT INTERFACE SECONDS
#include "example.h"

#include "acquisition/GooseSubscriberPool.h"
#include "mms/MmsDatasetHelper.h"

#include "iec61850_client.h"

#include <chrono>
#include <thread>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc == 5, "goose_pool HOST PORT INTERFACE SECONDS");
    // The data set's members and types, as the GOOSE messages carry them.
    IedClientError error = IED_ERROR_OK;
    IedConnection connection = IedConnection_create();
    IedConnection_connect(connection, &error, argv[1], std::atoi(argv[2]));
    std::unique_ptr<FCDAElement> dataSet;
    if (error == IED_ERROR_OK)
        dataSet = MmsDatasetHelper::createDatasetStructure(connection, "PROT1CTRL/LLN0.dsPos", &error);
    IedConnection_close(connection);
    IedConnection_destroy(connection);
    if (!dataSet) {
        std::fprintf(stderr, "cannot read the data set (client error %d)\n", static_cast<int>(error));
        return 1;
    }

    GooseIn target;
    target.interfaceName = argv[3];
    target.identifier.goCbRef = std::string("PROT1CTRL/LLN0$GO$gcbPos"); // absent criteria are not checked
    target.identifier.appId = 0x0011;
    target.dataSetXml = dataSet->serializeToString();
    for (const char* path :
         {"PROT1CTRL/Q0XCBR1.Pos.stVal[ST]", "PROT1CTRL/Q0CSWI1.Pos[ST]", "PROT1CTRL/GGIO1.Ind1.stVal[ST]"})
        target.paths.emplace_back(path, nullptr);

    GooseSubscriberPool pool;
    require(pool.setTarget(target), "target");
    // Runs on the receive thread for each accepted message; numbers are set before it.
    uint32_t lastStNum = 0;
    pool.valuesUpdated.connect([&pool, &lastStNum] {
        if (pool.getStNum() == lastStNum)
            return; // a repetition of the same state
        lastStNum = pool.getStNum();
        std::printf("stNum %u sqNum %u\n", lastStNum, pool.getSqNum());
    });
    if (!pool.start()) {
        std::fprintf(stderr, "start: %s\n", pool.getLastError().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[4])));
    pool.stop();
    const MmsValueElementList values = pool.getValues();
    for (std::size_t i = 0; i < values.size(); ++i)
        printValue(target.paths[i].path, values[i].get());
    return pool.getStNum() > 0 ? 0 : 1;
}
