// iecx scl: what an SCL file publishes, per sub-network and connected access point.
#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "cli/SclDiagnosis.h"
#include "scl/DataExtractor.h"

#include <libxml++/libxml++.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace iecx::cli;
using namespace VorIec61850;

const char* kDescription =
    "Reads an SCL file (SCD, CID or ICD) and prints, per sub-network and connected access point, each\n"
    "GOOSE (GSE) and Sampled Values (SMV) address block: MAC address, APPID (hexadecimal), VLAN id and\n"
    "priority, MinTime/MaxTime, the control block (type, appID or smvID, confRev, smpRate, nofASDU,\n"
    "smpMod, multicast), its data set and every FCDA as an object path LD/LN.DO.DA[FC] with its MMS\n"
    "type and unit. A data-object FCDA lists its data attributes.\n"
    "Example: iecx scl station.scd --json";

std::string hex4(unsigned value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", value);
    return buf;
}

std::string number(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

std::string fcSuffix(tFCEnum fc) {
    return fc == tFCEnum::NONE ? std::string() : "[" + toString(fc) + "]";
}

// Element path of an FCDA: LD/LN.DO[.DA], the logical node written as prefix, class and instance.
std::string fcdaElementPath(const tFCDA& f) {
    std::string path = f.ldInst + "/" + f.prefix + f.lnClass + f.lnInst + "." + f.doName;
    if (!f.daName.empty())
        path += "." + f.daName;
    return path;
}

// ---- text -------------------------------------------------------------------------------------

void printDataSet(const std::string& datSet, const tDataSet& ds, const std::string& indent) {
    if (ds.name.empty()) {
        if (datSet.empty())
            std::printf("%sDataSet: (none)\n", indent.c_str());
        else
            std::printf("%sDataSet %s: (not found)\n", indent.c_str(), datSet.c_str());
        return;
    }
    std::printf("%sDataSet %s, %zu FCDA%s\n", indent.c_str(), ds.name.c_str(), ds.fcdas.size(),
                ds.fcdas.size() == 1 ? "" : "s");
    for (const tFCDA& f : ds.fcdas) {
        const std::string path = fcdaElementPath(f) + fcSuffix(f.fc);
        const std::string unit = f.unit.empty() ? "" : "  unit " + f.unit;
        if (f.daName.empty()) {
            std::printf("%s  %s  data object%s\n", indent.c_str(), path.c_str(), unit.c_str());
            for (const tDA& da : f.das)
                std::printf("%s    %s  %s (%s)\n", indent.c_str(),
                            (fcdaElementPath(f) + "." + da.name + fcSuffix(da.fc)).c_str(),
                            toString(da.mmsType).c_str(), toString(da.bType).c_str());
        } else {
            std::printf("%s  %s  %s (%s)%s\n", indent.c_str(), path.c_str(), toString(f.mmsType).c_str(),
                        f.bType.empty() ? "?" : f.bType.c_str(), unit.c_str());
        }
    }
}

void printAddress(const tControlBlock& block, const std::string& indent) {
    const std::string mac = block.getMacAddress();
    std::printf("%sMAC %s  APPID %s  VLAN %u  priority %u\n", indent.c_str(), mac.empty() ? "-" : mac.c_str(),
                hex4(block.getAppId()).c_str(), static_cast<unsigned>(block.getVlanId()),
                static_cast<unsigned>(block.getVlanPriority()));
}

void printText(const std::vector<tSubNetwork>& subNetworks) {
    if (subNetworks.empty())
        std::printf("No sub-networks.\n");
    for (const tSubNetwork& sn : subNetworks) {
        std::printf("SubNetwork %s%s\n", sn.name.c_str(),
                    sn.type.empty() ? "" : (" (" + sn.type + ")").c_str());
        for (const tConnectedAP& ap : sn.connectedAPs) {
            std::printf("  ConnectedAP %s/%s\n", ap.iedName.c_str(), ap.apName.c_str());
            if (ap.gse.empty() && ap.smv.empty())
                std::printf("    no control blocks read (no single IED named %s)\n", ap.iedName.c_str());
            for (const tGSE& g : ap.gse) {
                const tGSEControl& c = *g.gseControl;
                std::printf("    GSE %s/%s\n", g.ldInst.c_str(), g.cbName.c_str());
                printAddress(g, "      ");
                std::printf("      MinTime %s ms  MaxTime %s ms\n", number(g.minTime.value).c_str(),
                            number(g.maxTime.value).c_str());
                if (c.name.empty()) {
                    std::printf("      GSEControl: (not found)\n");
                    continue;
                }
                std::printf("      GSEControl %s  type %s  appID %s  confRev %d\n", c.name.c_str(),
                            toString(c.type).c_str(), c.appID.c_str(), c.confRev);
                printDataSet(c.datSet, *c.dataSet, "      ");
            }
            for (const tSMV& s : ap.smv) {
                const tSampledValueControl& c = *s.svControl;
                std::printf("    SMV %s/%s\n", s.ldInst.c_str(), s.cbName.c_str());
                printAddress(s, "      ");
                if (c.name.empty()) {
                    std::printf("      SampledValueControl: (not found)\n");
                    continue;
                }
                std::printf(
                    "      SampledValueControl %s  smvID %s  confRev %d  smpRate %d  nofASDU %d  smpMod %s  "
                    "multicast %s\n",
                    c.name.c_str(), c.smvID.c_str(), c.confRev, c.smpRate, c.nofASDU,
                    toString(c.smpMod).c_str(), c.multicast ? "true" : "false");
                printDataSet(c.datSet, *c.dataSet, "      ");
            }
        }
    }
}

// ---- JSON -------------------------------------------------------------------------------------

Json jsonDataSet(const tDataSet& ds) {
    Json fcdas = Json::array();
    for (const tFCDA& f : ds.fcdas) {
        Json item = {{"path", fcdaElementPath(f) + fcSuffix(f.fc)},
                     {"ldInst", f.ldInst},
                     {"prefix", f.prefix},
                     {"lnClass", f.lnClass},
                     {"lnInst", f.lnInst},
                     {"doName", f.doName},
                     {"daName", f.daName},
                     {"fc", toString(f.fc)},
                     {"unit", f.unit}};
        if (f.daName.empty()) {
            Json attributes = Json::array();
            for (const tDA& da : f.das)
                attributes.push_back({{"path", fcdaElementPath(f) + "." + da.name + fcSuffix(da.fc)},
                                      {"name", da.name},
                                      {"fc", toString(da.fc)},
                                      {"mmsType", toString(da.mmsType)},
                                      {"bType", toString(da.bType)}});
            item["attributes"] = attributes;
        } else {
            item["mmsType"] = toString(f.mmsType);
            item["bType"] = f.bType;
        }
        fcdas.push_back(item);
    }
    return {{"name", ds.name}, {"desc", ds.desc}, {"fcdas", fcdas}};
}

Json jsonAddress(const tControlBlock& b) {
    return {{"ldInst", b.ldInst},
            {"cbName", b.cbName},
            {"desc", b.desc},
            {"mac", b.getMacAddress()},
            {"appId", hex4(b.getAppId())},
            {"vlanId", b.getVlanId()},
            {"vlanPriority", b.getVlanPriority()}};
}

Json json(const std::string& file, const std::vector<tSubNetwork>& subNetworks) {
    Json networks = Json::array();
    for (const tSubNetwork& sn : subNetworks) {
        Json aps = Json::array();
        for (const tConnectedAP& ap : sn.connectedAPs) {
            Json gses = Json::array();
            for (const tGSE& g : ap.gse) {
                const tGSEControl& c = *g.gseControl;
                Json item = jsonAddress(g);
                item["minTime"] = g.minTime.value;
                item["maxTime"] = g.maxTime.value;
                item["control"] = {{"name", c.name},     {"type", toString(c.type)},
                                   {"appID", c.appID},   {"confRev", c.confRev},
                                   {"datSet", c.datSet}, {"fixedOffs", c.fixedOffs}};
                item["dataSet"] = jsonDataSet(*c.dataSet);
                gses.push_back(item);
            }
            Json smvs = Json::array();
            for (const tSMV& s : ap.smv) {
                const tSampledValueControl& c = *s.svControl;
                Json item = jsonAddress(s);
                item["control"] = {{"name", c.name},           {"smvID", c.smvID},
                                   {"confRev", c.confRev},     {"smpRate", c.smpRate},
                                   {"nofASDU", c.nofASDU},     {"smpMod", toString(c.smpMod)},
                                   {"multicast", c.multicast}, {"datSet", c.datSet}};
                item["dataSet"] = jsonDataSet(*c.dataSet);
                smvs.push_back(item);
            }
            aps.push_back({{"iedName", ap.iedName},
                           {"apName", ap.apName},
                           {"desc", ap.desc},
                           {"gse", gses},
                           {"smv", smvs}});
        }
        networks.push_back({{"name", sn.name}, {"type", sn.type}, {"desc", sn.desc}, {"connectedAPs", aps}});
    }
    return {{"file", file}, {"subNetworks", networks}};
}

// libxml2 writes its parser errors to stderr as well; the exception carries them, and they are
// told once, with it.
void quietXmlErrors(void*, const char*, ...) {}

int run(const std::vector<std::string>& args) {
    auto app = newCommand("scl", kDescription);
    std::string file;
    bool asJson = false;
    app->add_option("FILE", file, "SCL file (SCD, CID or ICD)")->required();
    app->add_flag("--json", asJson, "print the same as one JSON object");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;

    std::vector<tSubNetwork> subNetworks;
    xmlSetGenericErrorFunc(nullptr, quietXmlErrors);
    xmlpp::DomParser parser;
    try {
        parser.set_substitute_entities(true);
        parser.parse_file(file);
        if (parser.get_document() == nullptr || parser.get_document()->get_root_node() == nullptr)
            throw std::runtime_error("no document");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Error parsing SCL file: %s\n", e.what());
        return kExitFailure;
    }
    try {
        subNetworks = DataExtractor(&parser).getSubNetworkCollection();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Error parsing SCL file: %s\n", e.what());
        const std::string at = locateConversionError(*parser.get_document(), e.what());
        if (!at.empty())
            std::fprintf(stderr, "  at %s\n", at.c_str());
        return kExitFailure;
    }
    if (asJson)
        printJson(json(file, subNetworks));
    else
        printText(subNetworks);
    return kExitOk;
}

CommandRegistration registration("scl", "print the GOOSE and SV publications of an SCL file", run);

} // namespace
