// iecx scl: what an SCL file publishes, per sub-network and connected access point.
#include "cli/Command.h"
#include "scl/DataExtractor.h"

#include <libxml++/libxml++.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace iecx::cli;
using namespace VorIec61850;

const char* kHelp = "usage: iecx scl FILE [--json]\n"
                    "\n"
                    "Reads an SCL file (SCD, CID or ICD) and prints, per sub-network and connected access\n"
                    "point, each GOOSE (GSE) and Sampled Values (SMV) address block: MAC address, APPID\n"
                    "(hexadecimal), VLAN id and priority, MinTime/MaxTime, the control block (type, appID\n"
                    "or smvID, confRev, smpRate, nofASDU, smpMod, multicast), its data set and every FCDA\n"
                    "as an object path LD/LN.DO.DA[FC] with its MMS type and unit. A data-object FCDA\n"
                    "lists its data attributes.\n"
                    "\n"
                    "  --json     print the same as one JSON object\n"
                    "  -h, --help this text\n"
                    "\n"
                    "Exit status: 0 read, 1 the file could not be read or parsed, 2 wrong usage.\n";

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
                std::printf("%s    %s  %s\n", indent.c_str(),
                            (fcdaElementPath(f) + "." + da.name + fcSuffix(da.fc)).c_str(),
                            toString(da.mmsType).c_str());
        } else {
            std::printf("%s  %s  %s%s\n", indent.c_str(), path.c_str(), toString(f.mmsType).c_str(),
                        unit.c_str());
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

std::string quote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string jsonDataSet(const tDataSet& ds) {
    std::string out = "{\"name\":" + quote(ds.name) + ",\"desc\":" + quote(ds.desc) + ",\"fcdas\":[";
    for (std::size_t i = 0; i < ds.fcdas.size(); ++i) {
        const tFCDA& f = ds.fcdas[i];
        out += i ? "," : "";
        out += "{\"path\":" + quote(fcdaElementPath(f) + fcSuffix(f.fc)) + ",\"ldInst\":" + quote(f.ldInst) +
               ",\"prefix\":" + quote(f.prefix) + ",\"lnClass\":" + quote(f.lnClass) +
               ",\"lnInst\":" + quote(f.lnInst) + ",\"doName\":" + quote(f.doName) +
               ",\"daName\":" + quote(f.daName) + ",\"fc\":" + quote(toString(f.fc)) +
               ",\"unit\":" + quote(f.unit);
        if (f.daName.empty()) {
            out += ",\"attributes\":[";
            for (std::size_t j = 0; j < f.das.size(); ++j) {
                const tDA& da = f.das[j];
                out += j ? "," : "";
                out += "{\"path\":" + quote(fcdaElementPath(f) + "." + da.name + fcSuffix(da.fc)) +
                       ",\"name\":" + quote(da.name) + ",\"fc\":" + quote(toString(da.fc)) +
                       ",\"mmsType\":" + quote(toString(da.mmsType)) + "}";
            }
            out += "]";
        } else {
            out += ",\"mmsType\":" + quote(toString(f.mmsType));
        }
        out += "}";
    }
    return out + "]}";
}

std::string jsonAddress(const tControlBlock& b) {
    return "\"ldInst\":" + quote(b.ldInst) + ",\"cbName\":" + quote(b.cbName) + ",\"desc\":" + quote(b.desc) +
           ",\"mac\":" + quote(b.getMacAddress()) + ",\"appId\":" + quote(hex4(b.getAppId())) +
           ",\"vlanId\":" + std::to_string(b.getVlanId()) +
           ",\"vlanPriority\":" + std::to_string(b.getVlanPriority());
}

std::string json(const std::string& file, const std::vector<tSubNetwork>& subNetworks) {
    std::string out = "{\"file\":" + quote(file) + ",\"subNetworks\":[";
    for (std::size_t i = 0; i < subNetworks.size(); ++i) {
        const tSubNetwork& sn = subNetworks[i];
        out += i ? "," : "";
        out += "{\"name\":" + quote(sn.name) + ",\"type\":" + quote(sn.type) + ",\"desc\":" + quote(sn.desc) +
               ",\"connectedAPs\":[";
        for (std::size_t j = 0; j < sn.connectedAPs.size(); ++j) {
            const tConnectedAP& ap = sn.connectedAPs[j];
            out += j ? "," : "";
            out += "{\"iedName\":" + quote(ap.iedName) + ",\"apName\":" + quote(ap.apName) +
                   ",\"desc\":" + quote(ap.desc) + ",\"gse\":[";
            for (std::size_t k = 0; k < ap.gse.size(); ++k) {
                const tGSE& g = ap.gse[k];
                const tGSEControl& c = *g.gseControl;
                out += k ? "," : "";
                out += "{" + jsonAddress(g) + ",\"minTime\":" + number(g.minTime.value) +
                       ",\"maxTime\":" + number(g.maxTime.value) + ",\"control\":{\"name\":" + quote(c.name) +
                       ",\"type\":" + quote(toString(c.type)) + ",\"appID\":" + quote(c.appID) +
                       ",\"confRev\":" + std::to_string(c.confRev) + ",\"datSet\":" + quote(c.datSet) +
                       ",\"fixedOffs\":" + (c.fixedOffs ? "true" : "false") +
                       "},\"dataSet\":" + jsonDataSet(*c.dataSet) + "}";
            }
            out += "],\"smv\":[";
            for (std::size_t k = 0; k < ap.smv.size(); ++k) {
                const tSMV& s = ap.smv[k];
                const tSampledValueControl& c = *s.svControl;
                out += k ? "," : "";
                out += "{" + jsonAddress(s) + ",\"control\":{\"name\":" + quote(c.name) +
                       ",\"smvID\":" + quote(c.smvID) + ",\"confRev\":" + std::to_string(c.confRev) +
                       ",\"smpRate\":" + std::to_string(c.smpRate) +
                       ",\"nofASDU\":" + std::to_string(c.nofASDU) +
                       ",\"smpMod\":" + quote(toString(c.smpMod)) +
                       ",\"multicast\":" + (c.multicast ? "true" : "false") +
                       ",\"datSet\":" + quote(c.datSet) + "},\"dataSet\":" + jsonDataSet(*c.dataSet) + "}";
            }
            out += "]}";
        }
        out += "]}";
    }
    return out + "]}\n";
}

int run(const std::vector<std::string>& args) {
    std::string file;
    bool asJson = false;
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (a == "--json") {
            asJson = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "iecx scl: unknown option '%s'\n\n%s", a.c_str(), kHelp);
            return kExitUsage;
        } else if (file.empty()) {
            file = a;
        } else {
            std::fprintf(stderr, "iecx scl: more than one file given\n\n%s", kHelp);
            return kExitUsage;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "iecx scl: no file given\n\n%s", kHelp);
        return kExitUsage;
    }

    std::vector<tSubNetwork> subNetworks;
    try {
        xmlpp::DomParser parser;
        parser.set_substitute_entities(true);
        parser.parse_file(file);
        if (parser.get_document() == nullptr || parser.get_document()->get_root_node() == nullptr)
            throw std::runtime_error("no document");
        subNetworks = DataExtractor(&parser).getSubNetworkCollection();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Error parsing SCL file: %s\n", e.what());
        return kExitFailure;
    }
    if (asJson)
        std::fputs(json(file, subNetworks).c_str(), stdout);
    else
        printText(subNetworks);
    return kExitOk;
}

CommandRegistration registration("scl", "print the GOOSE and SV publications of an SCL file", run);

} // namespace
