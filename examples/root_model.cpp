// The root model by hand: create VorIec61850Model, connect its sources' signals to the data tree
// and the parameters, then make the choices through the units, as a host's settings view does.
//     root_model STATION.scd IED GSECONTROL
#include "example.h"

#include "models/GeneralSettingsModel.h"
#include "models/ParamsModel.h"
#include "models/SourceDeviceModel.h"
#include "models/SourceFileModel.h"
#include "models/TreeModel.h"
#include "models/VorIec61850Model.h"

#include <cstdio>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc == 4, "root_model STATION.scd IED GSECONTROL");
    VorIec61850Model root;
    GeneralSettingsModel& settings = *root.getSettingsModel();
    TreeModel& tree = *root.getTreeModel();
    ParamsModel& params = *root.getParamsModel();
    // Both sources talk to the same tree and parameters; only the selected one is active.
    for (SourceModel* source : {static_cast<SourceModel*>(settings.getFileModel()),
                                static_cast<SourceModel*>(settings.getDeviceModel())}) {
        source->signalAddNode.connect(
            [&tree](std::vector<std::string> path, std::string unit) { tree.addNode(path, unit); });
        source->signalClearTree.connect(sigc::mem_fun(tree, &TreeModel::clearNodes));
        source->signalSetParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalSetParams));
        source->signalClearParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalClearParams));
    }
    settings.signalDataSourceChanged.connect([](int source) { std::printf("data source %d\n", source); });

    settings.getDataSourceUnit()->setEnumData(DataSource::SclFile); // the default: no signal
    SourceFileModel& file = *settings.getFileModel();
    // The tree shows members of these MMS types (BOOLEAN and INTEGER unless set).
    file.setFilterTypes({tMmsTypeEnum::BOOLEAN, tMmsTypeEnum::BIT_STRING, tMmsTypeEnum::INTEGER});
    file.onAddFile(argv[1]);
    file.setTransferProtocol(TransferProtocol::Goose);
    // Device and element items are keyed by name; selecting one rebuilds the tree and parameters.
    auto select = [](VorTree::EnumUnit& unit, const char* key) {
        if (unit.getLimiter()->getItem(key) == nullptr) {
            std::fprintf(stderr, "no %s '%s'\n", unit.getId().c_str(), key);
            return false;
        }
        unit.setData(key);
        return true;
    };
    if (!select(*file.getDeviceUnit(), argv[2]) || !select(*file.getElementUnit(), argv[3]))
        return 1;

    for (VorTree::StringUnit* unit :
         {params.getControlBlockReferenceUnit(), params.getMacAddressUnit(), params.getAppIdUnit(),
          params.getGooseIdUnit(), params.getConfRevUnit()})
        std::printf("%s = %s\n", unit->getId().c_str(), unit->getText().c_str());
    tree.getNode()->setIsEvaluated(true);                      // check every leaf; a host lets the user click
    for (const auto& [path, unit] : tree.getCheckedElements()) // object paths with FC, and units
        std::printf("checked %s%s\n", path.c_str(), unit.empty() ? "" : (" (" + unit + ")").c_str());
    return 0;
}
