// iecx browse: the data model of a live IED, down to the data attributes with FC, type and
// (optionally) value, with data sets, report and GOOSE control blocks.
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/IedSession.h"
#include "cli/ValueText.h"
#include "mms/IecModelExplorer.h"
#include "scl/SclEnums.h"

#include "iec61850_client.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The stack's text, empty for null.
std::string orEmpty(const char* text) {
    return text ? text : "";
}

using namespace iecx::cli;
using namespace VorIec61850;

const char* kDescription =
    "Browses a live IED over MMS: logical devices, logical nodes, data objects and data attributes\n"
    "with FC and MMS type (and value with --values), data sets with their members, report control\n"
    "blocks (buffered or not, data set, enabled, reserved, owner) and GOOSE control blocks (data set,\n"
    "APPID, MAC, VLAN, GoID, confRev).\n"
    "Example: iecx browse 192.168.1.10 --ld LD0 --depth do";

enum class Depth { LogicalDevices, LogicalNodes, DataObjects, DataAttributes };

struct Options {
    ConnectOptions connect;
    std::string ld;
    Depth depth = Depth::DataAttributes;
    bool values = false;
    bool json = false;
};

std::string typeName(MmsVariableSpecification* type) {
    const auto kind = static_cast<int>(MmsVariableSpecification_getType(type));
    return kind >= 0 && kind <= static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR)
               ? toString(static_cast<tMmsTypeEnum>(kind))
               : std::to_string(kind);
}

// An LD given as its instance (LD0) matches the device's full name (IEDLD0).
bool ldMatches(const std::string& name, const std::string& wanted) {
    return wanted.empty() || name == wanted ||
           (name.size() > wanted.size() &&
            name.compare(name.size() - wanted.size(), wanted.size(), wanted) == 0);
}

// Collects the model into JSON, which the text printer then walks: one walk for both outputs.
class Browser {
public:
    Browser(const Options& options, IecModelExplorer& explorer, IedConnection session)
        : _o(options), _explorer(explorer), _session(session) {}

    Json logicalDevice(const std::string& ld) {
        Json device = {{"name", ld}};
        if (_o.depth == Depth::LogicalDevices)
            return device;
        Json nodes = Json::array();
        for (const std::string& ln : _explorer.getLogicalNodes(ld)) {
            _progress.update("browsing " + ld + "/" + ln);
            nodes.push_back(logicalNode(ld + "/" + ln, ln));
        }
        device["logicalNodes"] = nodes;
        return device;
    }

private:
    Json logicalNode(const std::string& lnRef, const std::string& ln) {
        Json node = {{"name", ln}, {"reference", lnRef}};
        if (_o.depth >= Depth::DataObjects) {
            Json objects = Json::array();
            for (const std::string& dobj : _explorer.getDataObjects(lnRef))
                objects.push_back(dataObject(lnRef + "." + dobj, dobj));
            node["dataObjects"] = objects;
        }
        node["dataSets"] = dataSets(lnRef);
        node["reportControlBlocks"] = reportControlBlocks(lnRef);
        node["gooseControlBlocks"] = gooseControlBlocks(lnRef);
        return node;
    }

    Json dataObject(const std::string& doRef, const std::string& name) {
        Json object = {{"name", name}};
        if (_o.depth < Depth::DataAttributes)
            return object;
        // One type (and one read) per FC of the data object: its members are the attributes.
        std::map<FunctionalConstraint,
                 std::unique_ptr<MmsVariableSpecification, void (*)(MmsVariableSpecification*)>>
            types;
        std::map<FunctionalConstraint, std::unique_ptr<MmsValue, void (*)(MmsValue*)>> values;
        Json attributes = Json::array();
        for (const std::string& entry : _explorer.getDataAttributes(doRef)) {
            const auto open = entry.find('[');
            if (open == std::string::npos)
                continue;
            const std::string daName = entry.substr(0, open);
            const std::string fcText = entry.substr(open + 1, entry.size() - open - 2);
            const FunctionalConstraint fc = FunctionalConstraint_fromString(fcText.c_str());
            if (types.count(fc) == 0) {
                IedClientError error = IED_ERROR_OK;
                types.emplace(fc,
                              std::unique_ptr<MmsVariableSpecification, void (*)(MmsVariableSpecification*)>(
                                  IedConnection_getVariableSpecification(_session, &error, doRef.c_str(), fc),
                                  MmsVariableSpecification_destroy));
                MmsValue* value =
                    _o.values ? IedConnection_readObject(_session, &error, doRef.c_str(), fc) : nullptr;
                values.emplace(
                    fc, std::unique_ptr<MmsValue, void (*)(MmsValue*)>(value, MmsValue_deleteIfNotNull));
            }
            MmsVariableSpecification* doType = types.at(fc).get();
            MmsValue* doValue = values.at(fc).get();
            MmsVariableSpecification* type =
                doType ? MmsVariableSpecification_getChildSpecificationByName(doType, daName.c_str(), nullptr)
                       : nullptr;
            MmsValue* value = doValue && doType
                                  ? MmsVariableSpecification_getChildValue(doType, doValue, daName.c_str())
                                  : nullptr;
            Json attribute = attributeJson(daName, type, value);
            attribute["fc"] = fcText;
            attributes.push_back(attribute);
        }
        object["attributes"] = attributes;
        return object;
    }

    Json attributeJson(const std::string& name, MmsVariableSpecification* type, MmsValue* value) {
        Json attribute = {{"name", name}};
        if (type == nullptr)
            return attribute;
        attribute["type"] = typeName(type);
        if (MmsVariableSpecification_getType(type) == MMS_STRUCTURE) {
            Json children = Json::array();
            const int size = MmsVariableSpecification_getSize(type);
            for (int i = 0; i < size; ++i) {
                MmsVariableSpecification* child =
                    MmsVariableSpecification_getChildSpecificationByIndex(type, i);
                MmsValue* childValue = value && MmsValue_getType(value) == MMS_STRUCTURE
                                           ? MmsValue_getElement(value, i)
                                           : nullptr;
                children.push_back(attributeJson(MmsVariableSpecification_getName(child), child, childValue));
            }
            attribute["children"] = children;
        } else if (_o.values && value != nullptr) {
            attribute["value"] = _o.json ? valueJson(value, type) : Json(valueText(value, type));
        }
        return attribute;
    }

    Json dataSets(const std::string& lnRef) {
        Json sets = Json::array();
        IedClientError error = IED_ERROR_OK;
        LinkedList names =
            IedConnection_getLogicalNodeDirectory(_session, &error, lnRef.c_str(), ACSI_CLASS_DATA_SET);
        for (LinkedList e = names ? LinkedList_getNext(names) : nullptr; e; e = LinkedList_getNext(e)) {
            const std::string reference = lnRef + "." + static_cast<const char*>(e->data);
            sets.push_back({{"reference", reference}, {"members", _explorer.getDataSetVariables(reference)}});
        }
        if (names)
            LinkedList_destroy(names);
        return sets;
    }

    Json reportControlBlocks(const std::string& lnRef) {
        Json blocks = Json::array();
        for (const ReportControlBlock& block : _explorer.getReportControlBlocks(lnRef)) {
            const std::string reference = block.getRcbReference();
            Json item = {{"reference", reference}, {"buffered", block.buffered}};
            IedClientError error = IED_ERROR_OK;
            ClientReportControlBlock rcb =
                IedConnection_getRCBValues(_session, &error, reference.c_str(), nullptr);
            if (rcb == nullptr) {
                item["error"] = clientErrorText(error);
                blocks.push_back(item);
                continue;
            }
            item["rptID"] = orEmpty(ClientReportControlBlock_getRptId(rcb));
            item["dataSet"] = orEmpty(ClientReportControlBlock_getDataSetReference(rcb));
            item["enabled"] = ClientReportControlBlock_getRptEna(rcb);
            item["confRev"] = ClientReportControlBlock_getConfRev(rcb);
            item["intgPd"] = ClientReportControlBlock_getIntgPd(rcb);
            item["trgOps"] = ClientReportControlBlock_getTrgOps(rcb);
            if (!block.buffered)
                item["reserved"] = ClientReportControlBlock_getResv(rcb);
            else if (ClientReportControlBlock_hasResvTms(rcb))
                item["resvTms"] = ClientReportControlBlock_getResvTms(rcb);
            item["owner"] = rcbOwnerText(rcb);
            ClientReportControlBlock_destroy(rcb);
            blocks.push_back(item);
        }
        return blocks;
    }

    Json gooseControlBlocks(const std::string& lnRef) {
        Json blocks = Json::array();
        for (const GooseControlBlock& block : _explorer.getGooseControlBlocks(lnRef)) {
            const std::string reference = block.lnReference + "." + block.name;
            Json item = {{"reference", reference}};
            ClientGooseControlBlock gocb = _explorer.getGooseCBValues(reference);
            if (gocb == nullptr) {
                item["error"] = clientErrorText(_explorer.getError());
                blocks.push_back(item);
                continue;
            }
            const PhyComAddress address = ClientGooseControlBlock_getDstAddress(gocb);
            char mac[32];
            std::snprintf(mac, sizeof mac, "%02X-%02X-%02X-%02X-%02X-%02X", address.dstAddress[0],
                          address.dstAddress[1], address.dstAddress[2], address.dstAddress[3],
                          address.dstAddress[4], address.dstAddress[5]);
            item["goID"] = orEmpty(ClientGooseControlBlock_getGoID(gocb));
            item["dataSet"] = orEmpty(ClientGooseControlBlock_getDatSet(gocb));
            item["enabled"] = ClientGooseControlBlock_getGoEna(gocb);
            item["confRev"] = ClientGooseControlBlock_getConfRev(gocb);
            item["appID"] = address.appId;
            item["mac"] = mac;
            item["vlanId"] = address.vlanId;
            item["vlanPriority"] = address.vlanPriority;
            ClientGooseControlBlock_destroy(gocb);
            blocks.push_back(item);
        }
        return blocks;
    }

    const Options& _o;
    IecModelExplorer& _explorer;
    IedConnection _session;
    Progress _progress;
};

// ---- text ---------------------------------------------------------------------------------------

void printAttribute(const Json& a, const std::string& indent, const std::string& fc) {
    std::string line = indent + a.value("name", "");
    if (!fc.empty())
        line += " [" + fc + "]";
    if (a.contains("type"))
        line += "  " + a["type"].get<std::string>();
    if (a.contains("value"))
        line += " = " + a["value"].get<std::string>();
    std::printf("%s\n", line.c_str());
    if (a.contains("children"))
        for (const Json& child : a["children"])
            printAttribute(child, indent + "  ", "");
}

void printText(const Json& devices) {
    for (const Json& ld : devices) {
        std::printf("%s\n", ld["name"].get<std::string>().c_str());
        if (!ld.contains("logicalNodes"))
            continue;
        for (const Json& ln : ld["logicalNodes"]) {
            std::printf("  %s\n", ln["name"].get<std::string>().c_str());
            if (ln.contains("dataObjects"))
                for (const Json& d : ln["dataObjects"]) {
                    std::printf("    %s\n", d["name"].get<std::string>().c_str());
                    if (d.contains("attributes"))
                        for (const Json& a : d["attributes"])
                            printAttribute(a, "      ", a["fc"].get<std::string>());
                }
            for (const Json& ds : ln["dataSets"]) {
                std::printf("    DataSet %s, %zu members\n", ds["reference"].get<std::string>().c_str(),
                            ds["members"].size());
                for (const Json& m : ds["members"])
                    std::printf("      %s\n", m.get<std::string>().c_str());
            }
            for (const Json& r : ln["reportControlBlocks"]) {
                std::string line = "    RCB " + r["reference"].get<std::string>() +
                                   (r["buffered"].get<bool>() ? "  buffered" : "  unbuffered");
                if (r.contains("error")) {
                    line += "  (" + r["error"].get<std::string>() + ")";
                } else {
                    line += "  dataSet " + r["dataSet"].get<std::string>() + "  rptID " +
                            r["rptID"].get<std::string>() + "  enabled " +
                            (r["enabled"].get<bool>() ? "yes" : "no");
                    if (r.contains("reserved"))
                        line += std::string("  reserved ") + (r["reserved"].get<bool>() ? "yes" : "no");
                    line += "  owner " +
                            (r["owner"].get<std::string>().empty() ? "-" : r["owner"].get<std::string>());
                    line += "  confRev " + std::to_string(r["confRev"].get<uint32_t>());
                }
                std::printf("%s\n", line.c_str());
            }
            for (const Json& g : ln["gooseControlBlocks"]) {
                std::string line = "    GoCB " + g["reference"].get<std::string>();
                if (g.contains("error")) {
                    line += "  (" + g["error"].get<std::string>() + ")";
                } else {
                    char appId[16];
                    std::snprintf(appId, sizeof appId, "0x%04X", g["appID"].get<unsigned>());
                    line += "  dataSet " + g["dataSet"].get<std::string>() + "  APPID " + appId + "  MAC " +
                            g["mac"].get<std::string>() + "  VLAN " +
                            std::to_string(g["vlanId"].get<unsigned>()) + "  priority " +
                            std::to_string(g["vlanPriority"].get<unsigned>()) + "  goID " +
                            g["goID"].get<std::string>() + "  confRev " +
                            std::to_string(g["confRev"].get<uint32_t>());
                }
                std::printf("%s\n", line.c_str());
            }
        }
    }
}

int run(const std::vector<std::string>& args) {
    auto app = newCommand("browse", kDescription);
    Options o;
    o.connect.add(*app);
    app->add_option("--ld", o.ld, "only this logical device (its name or instance)");
    const std::map<std::string, Depth> depths = {{"ld", Depth::LogicalDevices},
                                                 {"ln", Depth::LogicalNodes},
                                                 {"do", Depth::DataObjects},
                                                 {"da", Depth::DataAttributes}};
    app->add_option("--depth", o.depth, "how deep: ld, ln, do or da (default da)")
        ->transform(CLI::CheckedTransformer(depths, CLI::ignore_case));
    app->add_flag("--values", o.values, "read and print every attribute's value");
    app->add_flag("--json", o.json, "print one JSON document");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (!o.connect.check("browse"))
        return kExitUsage;

    IedSession session;
    std::string error;
    if (!session.connect(o.connect, error))
        return fail("browse", error);
    IecModelExplorer explorer;
    {
        // The explorer's own diagnostic lines do not belong into the command's output.
        QuietStdout quiet;
        if (explorer.connect(o.connect.endpoint.host, o.connect.endpoint.port) != IED_ERROR_OK)
            return fail("browse", "cannot connect to " + o.connect.endpoint.text() + ": " +
                                      clientErrorText(explorer.getError()));
    }
    Browser browser(o, explorer, session.get());
    Json devices = Json::array();
    const std::vector<std::string> lds = explorer.getLogicalDevices();
    if (explorer.getError() != IED_ERROR_OK) {
        explorer.disconnect();
        return fail("browse", "cannot list the logical devices: " + clientErrorText(explorer.getError()));
    }
    bool found = false;
    for (const std::string& ld : lds) {
        if (stopRequested())
            break;
        if (!ldMatches(ld, o.ld))
            continue;
        found = true;
        devices.push_back(browser.logicalDevice(ld));
    }
    const bool lost = !session.connected();
    explorer.disconnect();
    if (stopRequested())
        return fail("browse", "interrupted");
    if (!o.ld.empty() && !found)
        return fail("browse", "no logical device '" + o.ld + "' on " + o.connect.endpoint.text());
    if (lost)
        return fail("browse", "connection to " + o.connect.endpoint.text() + " lost");
    if (o.json)
        printJson({{"host", o.connect.endpoint.text()}, {"logicalDevices", devices}});
    else
        printText(devices);
    return kExitOk;
}

CommandRegistration registration("browse",
                                 "browse a live IED: model, data sets, report and GOOSE control blocks", run);

} // namespace
