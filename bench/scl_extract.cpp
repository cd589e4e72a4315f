// Extraction cost of DataExtractor on large synthetic substation files, as a ratio to the time
// libxml++ takes to parse the same file, at several IED counts (the cost must grow linearly).
//
// usage: bench_scl_extract [--ieds 100,300] [--xpath-ieds 0] [--keep DIR]
//   --xpath-ieds N  also time the literal XPath lookups on a file of N IEDs (slow; 0 = skip)
//   --keep DIR      write the generated files into DIR and keep them
#include "scl/DataExtractor.h"

#include <libxml++/libxml++.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace VorIec61850;

namespace {

constexpr int kVariants = 200; // type variants in the shared templates (about 3400 types)
constexpr int kGoosePerIed = 4;
constexpr int kSvPerIed = 2;
constexpr int kFcdasPerDataSet = 50;

std::string fcda(const char* ld, const char* prefix, const std::string& lnClass, int inst,
                 const std::string& doName, const std::string& daName, const char* fc) {
    std::string s = std::string("<FCDA ldInst=\"") + ld + "\"";
    if (prefix[0])
        s += std::string(" prefix=\"") + prefix + "\"";
    s += " lnClass=\"" + lnClass + "\" lnInst=\"" + std::to_string(inst) + "\" doName=\"" + doName + "\"";
    if (!daName.empty())
        s += " daName=\"" + daName + "\"";
    return s + " fc=\"" + fc + "\"/>\n";
}

std::string hex(unsigned v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", width, v);
    return buf;
}

std::string mac(unsigned a, unsigned b) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "01-0C-CD-%02X-%02X-%02X", a, (b >> 8) & 0xFF, b & 0xFF);
    return buf;
}

void writeCommunication(std::ofstream& out, int ieds) {
    out << "  <Communication>\n    <SubNetwork name=\"StationBus\" type=\"8-MMS\">\n";
    for (int i = 0; i < ieds; ++i) {
        const std::string name = "IED" + std::to_string(i);
        out << "      <ConnectedAP iedName=\"" << name
            << "\" apName=\"S1\">\n        <Address><P type=\"IP\">10." << (i / 250) << "." << (i % 250)
            << ".1</P><P type=\"IP-SUBNET\">255.0.0.0</P></Address>\n";
        for (int g = 1; g <= kGoosePerIed; ++g)
            out << "        <GSE ldInst=\"LD0\" cbName=\"gcb" << g << "\"><Address><P type=\"MAC-Address\">"
                << mac(1, i * 8 + g) << "</P><P type=\"APPID\">" << hex((i * 8 + g) & 0x3FFF, 4)
                << "</P><P type=\"VLAN-ID\">00A</P><P type=\"VLAN-PRIORITY\">4</P></Address>"
                << "<MinTime>4</MinTime><MaxTime>1000</MaxTime></GSE>\n";
        for (int s = 1; s <= kSvPerIed; ++s)
            out << "        <SMV ldInst=\"LD0\" cbName=\"msv" << s << "\"><Address><P type=\"MAC-Address\">"
                << mac(4, i * 8 + s) << "</P><P type=\"APPID\">" << hex(0x4000 + ((i * 8 + s) & 0x3FFF), 4)
                << "</P><P type=\"VLAN-ID\">005</P><P type=\"VLAN-PRIORITY\">4</P></Address></SMV>\n";
        out << "      </ConnectedAP>\n";
    }
    out << "    </SubNetwork>\n  </Communication>\n";
}

void writeIed(std::ofstream& out, int i) {
    const std::string v = std::to_string(i % kVariants);
    out << "  <IED name=\"IED" << i << "\" type=\"Synthetic\" manufacturer=\"Bench\" configVersion=\"1\">\n"
        << "    <AccessPoint name=\"S1\"><Server><Authentication none=\"true\"/>\n"
        << "      <LDevice inst=\"LD0\">\n        <LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"LLN0_" << v
        << "\">\n";
    for (int d = 1; d <= kGoosePerIed + kSvPerIed; ++d) {
        out << "          <DataSet name=\"ds" << d << "\">\n";
        const bool sv = d > kGoosePerIed;
        for (int k = 0; k < kFcdasPerDataSet; ++k) {
            out << "            ";
            if (sv) {
                const int n = 1 + (k / 2) % 4;
                const bool current = (k / 8) % 2 == 0;
                out << fcda("LD0", "", current ? "TCTR" : "TVTR", n, current ? "AmpSv" : "VolSv",
                            k % 2 ? "q" : "instMag.i", "MX");
                continue;
            }
            switch ((k + d) % 6) {
            case 0:
            case 1:
                out << fcda("LD0", "", "GGIO", 1 + k % 10, "Ind" + std::to_string(1 + (k / 10) % 8), "stVal",
                            "ST");
                break;
            case 2:
                out << fcda("LD0", "Q0", "XCBR", 1 + k % 3, "Pos", "stVal", "ST");
                break;
            case 3:
                out << fcda("LD0", "Q0", "CSWI", 1 + k % 3, "Pos", "", "ST");
                break;
            case 4:
                out << fcda("LD0", "", "MMXU", 1 + k % 4, "TotW", "mag.f", "MX");
                break;
            default:
                out << fcda("LD0", "", "MMXU", 1 + k % 4, "Hz", "", "MX");
                break;
            }
        }
        out << "          </DataSet>\n";
    }
    for (int g = 1; g <= kGoosePerIed; ++g)
        out << "          <GSEControl name=\"gcb" << g << "\" type=\"GOOSE\" appID=\"IED" << i << "_G" << g
            << "\" datSet=\"ds" << g << "\" confRev=\"1\"/>\n";
    for (int s = 1; s <= kSvPerIed; ++s)
        out << "          <SampledValueControl name=\"msv" << s << "\" smvID=\"IED" << i << "_SV" << s
            << "\" datSet=\"ds" << (kGoosePerIed + s) << "\" confRev=\"1\" smpRate=\"80\" nofASDU=\"1\""
            << " smpMod=\"SmpPerPeriod\" multicast=\"true\"><SmvOpts sampleSynchronized=\"true\"/>"
            << "</SampledValueControl>\n";
    out << "        </LN0>\n        <LN lnClass=\"LPHD\" inst=\"1\" lnType=\"LPHD_" << v << "\"/>\n";
    for (int n = 1; n <= 10; ++n)
        out << "        <LN lnClass=\"GGIO\" inst=\"" << n << "\" lnType=\"GGIO_" << v << "\"/>\n";
    for (int n = 1; n <= 3; ++n)
        out << "        <LN prefix=\"Q0\" lnClass=\"XCBR\" inst=\"" << n << "\" lnType=\"XCBR_" << v
            << "\"/>\n        <LN prefix=\"Q0\" lnClass=\"CSWI\" inst=\"" << n << "\" lnType=\"CSWI_" << v
            << "\"/>\n";
    for (int n = 1; n <= 4; ++n)
        out << "        <LN lnClass=\"MMXU\" inst=\"" << n << "\" lnType=\"MMXU_" << v << "\"/>\n"
            << "        <LN lnClass=\"TCTR\" inst=\"" << n << "\" lnType=\"TCTR_" << v << "\"/>\n"
            << "        <LN lnClass=\"TVTR\" inst=\"" << n << "\" lnType=\"TVTR_" << v << "\"/>\n";
    out << "      </LDevice>\n    </Server></AccessPoint>\n  </IED>\n";
}

void writeTemplates(std::ofstream& out) {
    out << "  <DataTypeTemplates>\n";
    const char* status = "<DA name=\"q\" bType=\"Quality\" fc=\"ST\" qchg=\"true\"/>"
                         "<DA name=\"t\" bType=\"Timestamp\" fc=\"ST\"/>";
    for (int k = 0; k < kVariants; ++k) {
        const std::string v = std::to_string(k);
        out << "    <LNodeType id=\"LLN0_" << v << "\" lnClass=\"LLN0\"><DO name=\"Mod\" type=\"ENC_" << v
            << "\"/><DO name=\"Beh\" type=\"ENS_" << v << "\"/><DO name=\"NamPlt\" type=\"LPL_" << v
            << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"LPHD_" << v << "\" lnClass=\"LPHD\"><DO name=\"PhyHealth\" type=\"ENS_"
            << v << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"GGIO_" << v << "\" lnClass=\"GGIO\"><DO name=\"Mod\" type=\"ENC_" << v
            << "\"/>";
        for (int n = 1; n <= 8; ++n)
            out << "<DO name=\"Ind" << n << "\" type=\"SPS_" << v << "\"/>";
        out << "<DO name=\"Cnt1\" type=\"INS_" << v << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"XCBR_" << v << "\" lnClass=\"XCBR\"><DO name=\"Beh\" type=\"ENS_" << v
            << "\"/><DO name=\"Pos\" type=\"DPC_" << v << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"CSWI_" << v << "\" lnClass=\"CSWI\"><DO name=\"Beh\" type=\"ENS_" << v
            << "\"/><DO name=\"Pos\" type=\"DPC_" << v << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"MMXU_" << v << "\" lnClass=\"MMXU\"><DO name=\"Beh\" type=\"ENS_" << v
            << "\"/><DO name=\"TotW\" type=\"MV_" << v << "\"/><DO name=\"Hz\" type=\"MV_" << v
            << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"TCTR_" << v << "\" lnClass=\"TCTR\"><DO name=\"AmpSv\" type=\"SAV_" << v
            << "\"/></LNodeType>\n";
        out << "    <LNodeType id=\"TVTR_" << v << "\" lnClass=\"TVTR\"><DO name=\"VolSv\" type=\"SAV_" << v
            << "\"/></LNodeType>\n";
        out << "    <DOType id=\"ENC_" << v
            << "\" cdc=\"ENC\"><DA name=\"stVal\" bType=\"Enum\" type=\"Beh\" "
            << "fc=\"ST\" dchg=\"true\"/>" << status
            << "<DA name=\"ctlModel\" bType=\"Enum\" type=\"CtlModels\" fc=\"CF\"/></DOType>\n";
        out << "    <DOType id=\"ENS_" << v
            << "\" cdc=\"ENS\"><DA name=\"stVal\" bType=\"Enum\" type=\"Beh\" "
            << "fc=\"ST\" dchg=\"true\"/>" << status << "</DOType>\n";
        out << "    <DOType id=\"LPL_" << v << "\" cdc=\"LPL\"><DA name=\"vendor\" bType=\"VisString255\" "
            << "fc=\"DC\"/><DA name=\"swRev\" bType=\"VisString255\" fc=\"DC\"/></DOType>\n";
        out << "    <DOType id=\"SPS_" << v
            << "\" cdc=\"SPS\"><DA name=\"stVal\" bType=\"BOOLEAN\" fc=\"ST\" "
            << "dchg=\"true\"/>" << status << "</DOType>\n";
        out << "    <DOType id=\"INS_" << v << "\" cdc=\"INS\"><DA name=\"stVal\" bType=\"INT32\" fc=\"ST\" "
            << "dchg=\"true\"/>" << status << "</DOType>\n";
        out << "    <DOType id=\"DPC_" << v << "\" cdc=\"DPC\"><DA name=\"stVal\" bType=\"Dbpos\" fc=\"ST\" "
            << "dchg=\"true\"/>" << status
            << "<DA name=\"ctlModel\" bType=\"Enum\" type=\"CtlModels\" fc=\"CF\"/></DOType>\n";
        out << "    <DOType id=\"MV_" << v << "\" cdc=\"MV\"><DA name=\"mag\" bType=\"Struct\" "
            << "type=\"AnalogueValue\" fc=\"MX\" dchg=\"true\"/><DA name=\"q\" bType=\"Quality\" fc=\"MX\" "
            << "qchg=\"true\"/><DA name=\"t\" bType=\"Timestamp\" fc=\"MX\"/><DA name=\"units\" "
               "bType=\"Struct\" "
            << "type=\"Unit_" << v << "\" fc=\"CF\"/></DOType>\n";
        out << "    <DOType id=\"SAV_" << v << "\" cdc=\"SAV\"><DA name=\"instMag\" bType=\"Struct\" "
            << "type=\"AnalogueValueInt\" fc=\"MX\"/><DA name=\"q\" bType=\"Quality\" fc=\"MX\"/>"
            << "<DA name=\"units\" bType=\"Struct\" type=\"Unit_" << v << "\" fc=\"CF\"/></DOType>\n";
        out << "    <DAType id=\"Unit_" << v << "\"><BDA name=\"SIUnit\" bType=\"Enum\" type=\"SIUnit\"><Val>"
            << (k % 2 ? "W" : "A") << "</Val></BDA><BDA name=\"multiplier\" bType=\"Enum\" "
            << "type=\"multiplier\"/></DAType>\n";
    }
    out << "    <DAType id=\"AnalogueValue\"><BDA name=\"f\" bType=\"FLOAT32\"/></DAType>\n"
        << "    <DAType id=\"AnalogueValueInt\"><BDA name=\"i\" bType=\"INT32\"/></DAType>\n"
        << "    <EnumType id=\"Beh\"><EnumVal ord=\"1\">on</EnumVal><EnumVal "
           "ord=\"5\">off</EnumVal></EnumType>\n"
        << "    <EnumType id=\"CtlModels\"><EnumVal ord=\"0\">status-only</EnumVal></EnumType>\n"
        << "    <EnumType id=\"SIUnit\"><EnumVal ord=\"5\">A</EnumVal><EnumVal "
           "ord=\"38\">W</EnumVal></EnumType>\n"
        << "    <EnumType id=\"multiplier\"><EnumVal ord=\"0\"/></EnumType>\n"
        << "  </DataTypeTemplates>\n";
}

void generate(const std::string& path, int ieds) {
    std::ofstream out(path);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\" version=\"2007\" revision=\"B\">\n"
        << "  <Header id=\"Synthetic\" nameStructure=\"IEDName\"/>\n";
    writeCommunication(out, ieds);
    for (int i = 0; i < ieds; ++i)
        writeIed(out, i);
    writeTemplates(out);
    out << "</SCL>\n";
}

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    int ieds = 0;
    double megabytes = 0;
    double parseMs = 0;
    double extractMs = 0;
    double xpathMs = -1;
    size_t fcdas = 0;
};

size_t countFcdas(const DataExtractor& e) {
    size_t n = 0;
    for (const auto& ap : e.getConnectedApCollection()) {
        for (const auto& g : ap.gse)
            n += g.gseControl->dataSet->fcdas.size();
        for (const auto& s : ap.smv)
            n += s.svControl->dataSet->fcdas.size();
    }
    return n;
}

// Best of three runs of each step; extraction runs on a document parsed beforehand.
Figures measure(const std::string& path, int ieds, bool withXPath) {
    Figures f;
    f.ieds = ieds;
    std::ifstream in(path, std::ios::ate | std::ios::binary);
    f.megabytes = static_cast<double>(in.tellg()) / (1024.0 * 1024.0);
    double bestParse = 1e300, bestExtract = 1e300;
    for (int run = 0; run < 3; ++run) {
        xmlpp::DomParser parser;
        auto t0 = Clock::now();
        parser.parse_file(path);
        bestParse = std::min(bestParse, msSince(t0));
        t0 = Clock::now();
        DataExtractor extractor(&parser);
        bestExtract = std::min(bestExtract, msSince(t0));
        f.fcdas = countFcdas(extractor);
    }
    f.parseMs = bestParse;
    f.extractMs = bestExtract;
    if (withXPath) {
        xmlpp::DomParser parser;
        parser.parse_file(path);
        const auto t0 = Clock::now();
        DataExtractor extractor(&parser, DataExtractor::Lookup::XPath);
        f.xpathMs = msSince(t0);
    }
    return f;
}

std::vector<int> parseList(const std::string& text) {
    std::vector<int> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        out.push_back(std::atoi(text.substr(start, comma - start).c_str()));
        start = comma + 1;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> counts{100, 300};
    int xpathIeds = 0;
    std::string keepDir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--ieds" && i + 1 < argc)
            counts = parseList(argv[++i]);
        else if (a == "--xpath-ieds" && i + 1 < argc)
            xpathIeds = std::atoi(argv[++i]);
        else if (a == "--keep" && i + 1 < argc)
            keepDir = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--ieds 100,300] [--xpath-ieds N] [--keep DIR]\n", argv[0]);
            return 2;
        }
    }
    if (xpathIeds > 0 && std::find(counts.begin(), counts.end(), xpathIeds) == counts.end())
        counts.insert(counts.begin(), xpathIeds);

    std::vector<Figures> all;
    for (int ieds : counts) {
        std::string path;
        if (keepDir.empty()) {
            char tmpl[] = "/tmp/iecx_bench_scl_XXXXXX";
            const int fd = mkstemp(tmpl);
            if (fd < 0) {
                std::perror("mkstemp");
                return 1;
            }
            close(fd);
            path = tmpl;
        } else {
            path = keepDir + "/synthetic_" + std::to_string(ieds) + ".scd";
        }
        generate(path, ieds);
        all.push_back(measure(path, ieds, ieds == xpathIeds));
        if (keepDir.empty())
            unlink(path.c_str());
    }

    std::printf("%6s %8s %8s %10s %12s %8s %14s %12s\n", "IEDs", "MB", "FCDAs", "parse ms", "extract ms",
                "ratio", "extract us/IED", "xpath ms");
    for (const Figures& f : all) {
        std::printf("%6d %8.1f %8zu %10.1f %12.1f %8.2f %14.1f", f.ieds, f.megabytes, f.fcdas, f.parseMs,
                    f.extractMs, f.extractMs / f.parseMs, 1000.0 * f.extractMs / f.ieds);
        if (f.xpathMs >= 0)
            std::printf(" %12.1f\n", f.xpathMs);
        else
            std::printf(" %12s\n", "-");
    }
    if (all.size() >= 2) {
        const Figures& a = all[all.size() - 2];
        const Figures& b = all.back();
        std::printf("growth %d -> %d IEDs: extraction x%.2f for x%.2f IEDs (per-IED cost ratio %.2f)\n",
                    a.ieds, b.ieds, b.extractMs / a.extractMs, static_cast<double>(b.ieds) / a.ieds,
                    (b.extractMs / b.ieds) / (a.extractMs / a.ieds));
    }
    bool ok = true;
    for (const Figures& f : all)
        ok = ok && f.extractMs <= 3.0 * f.parseMs;
    std::printf("target extraction <= 3x parse: %s\n", ok ? "met" : "NOT met");
    return 0;
}
