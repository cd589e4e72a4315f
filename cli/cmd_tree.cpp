// iecx tree: drives the host's model nodes from the command line, as a host's user would: data
// source, protocol, device and element, then prints the parameters, the data tree and the
// object paths of the checked leaves, and the acquisition target they make.
#include "cli/Command.h"
#include "models/AcquisitionWorkflow.h"
#include "models/GeneralSettingsModel.h"
#include "models/ParamsModel.h"
#include "models/SourceFileModel.h"
#include "models/SourceModel.h"
#include "models/TreeModel.h"
#include "models/VorIec61850Model.h"
#include "scl/SclEnums.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <map>

namespace {

using namespace VorIec61850;
using namespace iecx::cli;
using json = nlohmann::ordered_json;

const std::map<std::string, TransferProtocol> kProtocols{{"report", TransferProtocol::MmsReports},
                                                         {"poll", TransferProtocol::MmsReports},
                                                         {"goose", TransferProtocol::Goose},
                                                         {"sv", TransferProtocol::SampledValues}};

bool isFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// "host" or "host:port".
void splitHost(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    port = colon == std::string::npos ? 102 : std::stoi(text.substr(colon + 1));
}

json choices(const VorTree::EnumUnit& unit) {
    json list = json::array();
    for (VorTree::Node* item : *unit.getLimiter())
        list.push_back(item->getId());
    return {{"chosen", unit.getValue()}, {"items", list}};
}

json treeToJson(const VorTree::Node& node) {
    json children = json::array();
    for (VorTree::Node* child : node) {
        auto* check = dynamic_cast<CheckNodeDescriptorModel*>(child);
        if (!check)
            continue;
        json entry{{"name", child->getName().toString()}};
        const Vor::Nullable<bool> state = check->getIsEvaluated();
        entry["checked"] = state ? json(*state) : json(nullptr);
        if (!check->getUnit().empty())
            entry["unit"] = check->getUnit();
        json below = treeToJson(*child);
        if (!below.empty())
            entry["children"] = below;
        children.push_back(entry);
    }
    return children;
}

void printTree(const json& nodes, int depth) {
    for (const json& node : nodes) {
        const char* mark = node["checked"].is_null() ? "[-]" : node["checked"].get<bool>() ? "[x]" : "[ ]";
        std::printf("  %*s%s %s%s\n", depth * 2, "", mark, node["name"].get<std::string>().c_str(),
                    node.contains("unit") && node["unit"] != "none"
                        ? (" (" + node["unit"].get<std::string>() + ")").c_str()
                        : "");
        if (node.contains("children"))
            printTree(node["children"], depth + 1);
    }
}

json targetToJson(const AcquisitionWorkflow::Target& target) {
    switch (target.mode) {
    case AcquisitionWorkflow::Mode::Goose: {
        const GooseIdentifer& id = target.goose.identifier;
        json out{{"protocol", "goose"}};
        if (id.goCbRef)
            out["goCbRef"] = *id.goCbRef;
        if (id.appId)
            out["appId"] = *id.appId;
        if (id.dstMac)
            out["dstMac"] = *id.dstMac;
        if (id.goId)
            out["goId"] = *id.goId;
        if (id.confRev)
            out["confRev"] = *id.confRev;
        return out;
    }
    case AcquisitionWorkflow::Mode::Reports:
        return {{"protocol", "report"}, {"report", target.report.report.toString()}};
    case AcquisitionWorkflow::Mode::Polling:
        return {{"protocol", "poll"}, {"host", target.polling.host}, {"period", target.polling.period}};
    case AcquisitionWorkflow::Mode::SampledValues: {
        json out{{"protocol", "sv"}};
        if (target.sv.svId)
            out["svId"] = *target.sv.svId;
        if (target.sv.appId)
            out["appId"] = *target.sv.appId;
        if (target.sv.dstMac)
            out["dstMac"] = *target.sv.dstMac;
        return out;
    }
    }
    return json::object();
}

int runTree(const std::vector<std::string>& args) {
    CLI::App app{"Drives the model nodes: data source, protocol, device, element; prints the parameters, the "
                 "data tree and the object paths of the checked leaves.",
                 "iecx tree"};
    std::string source;
    std::string protocolName = "goose";
    std::string deviceName;
    std::string elementName;
    std::vector<std::string> typeNames;
    bool asJson = false;
    app.add_option("source", source, "SCL file, or IED as HOST[:PORT]")->required();
    app.add_option("--protocol", protocolName, "goose, report, poll or sv")
        ->check(CLI::IsMember({"goose", "report", "poll", "sv"}))
        ->capture_default_str();
    app.add_option("--device", deviceName, "device to choose (default: the first)");
    app.add_option("--element", elementName, "control block to choose (default: the first)");
    app.add_option("--types", typeNames, "MMS types shown from an SCL file (default BOOLEAN,INTEGER; 'all')")
        ->delimiter(',');
    app.add_flag("--json", asJson, "one JSON document");
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }

    std::vector<tMmsTypeEnum> types;
    for (const std::string& name : typeNames) {
        if (name == "all") {
            for (int t = 0; t <= static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR); ++t)
                types.push_back(static_cast<tMmsTypeEnum>(t));
            continue;
        }
        const int index = sclTableIndex(tMmsTypeEnum_STRING, name);
        if (index < 0) {
            std::fprintf(stderr, "iecx tree: unknown MMS type '%s'\n", name.c_str());
            return kExitUsage;
        }
        types.push_back(static_cast<tMmsTypeEnum>(index));
    }

    VorIec61850Model root;
    AcquisitionWorkflow workflow(root);
    workflow.setPolling(protocolName == "poll");
    Vor::Result opened = true;
    if (isFile(source)) {
        if (!types.empty())
            root.getSettingsModel()->getFileModel()->setFilterTypes(types);
        workflow.chooseProtocol(kProtocols.at(protocolName));
        opened = workflow.openFile(source);
    } else {
        std::string host;
        int port = 102;
        try {
            splitHost(source, host, port);
        } catch (const std::exception&) {
            std::fprintf(stderr, "iecx tree: '%s' is neither a file nor HOST[:PORT]\n", source.c_str());
            return kExitUsage;
        }
        opened = workflow.connectDevice(host, port);
        if (opened)
            workflow.chooseProtocol(kProtocols.at(protocolName));
    }
    if (opened && !deviceName.empty())
        opened = workflow.chooseDevice(deviceName);
    if (opened && !elementName.empty())
        opened = workflow.chooseElement(elementName);
    if (!opened) {
        std::fprintf(stderr, "iecx tree: %s\n", opened.getMessage().c_str());
        return kExitFailure;
    }

    SourceModel& chosen = *workflow.getActiveSource();
    ParamsModel& params = *root.getParamsModel();
    json out;
    out["device"] = choices(*chosen.getDeviceUnit());
    out["element"] = choices(*chosen.getElementUnit());
    json parameters = json::object();
    for (VorTree::Node* unit : params)
        if (auto* text = dynamic_cast<VorTree::StringUnit*>(unit))
            parameters[unit->getId()] = text->getValue();
    out["parameters"] = parameters;
    out["tree"] = treeToJson(*root.getTreeModel()->getNode());
    json checked = json::array();
    for (const auto& leaf : root.getTreeModel()->getCheckedElements())
        checked.push_back({{"path", leaf.first}, {"unit", leaf.second}});
    out["checked"] = checked;
    AcquisitionWorkflow::Target target;
    const Vor::Result built = workflow.buildTarget(target);
    out["target"] = built ? targetToJson(target) : json{{"error", built.getMessage()}};

    if (asJson) {
        std::cout << out.dump(2) << std::endl;
        return kExitOk;
    }
    std::printf("device:  %s\nelement: %s\n\nparameters:\n",
                out["device"]["chosen"].get<std::string>().c_str(),
                out["element"]["chosen"].get<std::string>().c_str());
    for (const auto& [id, value] : parameters.items())
        std::printf("  %-18s %s\n", id.c_str(), value.get<std::string>().c_str());
    std::printf("\ntree:\n");
    printTree(out["tree"], 0);
    std::printf("\nchecked paths:\n");
    for (const json& leaf : checked)
        std::printf("  %s\n", leaf["path"].get<std::string>().c_str());
    std::printf("\ntarget: %s\n", out["target"].dump().c_str());
    return kExitOk;
}

CommandRegistration
    registration("tree", "drive the model nodes and print parameters, data tree and checked paths", runTree);

} // namespace
