// The acquisition workflow, the way a host's "start" button runs it: open an SCL file, choose
// GOOSE, a device and a control block, check the leaves, start, read the values, stop.
//     workflow_goose STATION.scd IED GSECONTROL INTERFACE SECONDS
#include "example.h"

#include "models/AcquisitionWorkflow.h"
#include "models/GeneralSettingsModel.h"
#include "models/SourceFileModel.h"
#include "models/VorIec61850Model.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc == 6, "workflow_goose STATION.scd IED GSECONTROL INTERFACE SECONDS");
    VorIec61850Model root;
    AcquisitionWorkflow workflow(root); // connects the sources to the tree and the parameters
    workflow.setInterface(argv[4]);
    // The file source shows BOOLEAN and INTEGER members unless told otherwise.
    root.getSettingsModel()->getFileModel()->setFilterTypes(
        {tMmsTypeEnum::BOOLEAN, tMmsTypeEnum::BIT_STRING, tMmsTypeEnum::INTEGER, tMmsTypeEnum::UTC_TIME});
    require(workflow.openFile(argv[1]), "open");
    workflow.chooseProtocol(TransferProtocol::Goose);
    require(workflow.chooseDevice(argv[2]), "device");
    require(workflow.chooseElement(argv[3]), "element");
    workflow.checkAll(true);

    // Emitted on the pool's receive thread: count here, read the values on our own thread.
    std::atomic<int> updates{0};
    workflow.valuesUpdated.connect([&updates] { ++updates; });
    require(workflow.start(), "start");
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[5])));
    workflow.stop();

    const AcquisitionWorkflow::Target& target = workflow.getTarget();
    std::printf("goCbRef %s, APPID 0x%04llx, %d updates\n", target.goose.identifier.goCbRef->c_str(),
                static_cast<unsigned long long>(*target.goose.identifier.appId), updates.load());
    const MmsValueElementList values = workflow.getValues(); // one entry per checked leaf
    for (std::size_t i = 0; i < values.size(); ++i)
        printValue(target.leaves[i].first, values[i].get());
    return updates.load() > 0 ? 0 : 1;
}
