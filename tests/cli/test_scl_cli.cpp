// Runs the built iecx tool on SCL files and checks its output and exit status.
#include "CliTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace clitest;
using SclRun = CliRun;

SclRun runIecx(const std::string& args) {
    return runCli(args);
}

std::string sclData(const std::string& name) {
    return std::string(IECX_TEST_DATA_DIR) + "/scl/" + name;
}

} // namespace

TEST(SclCli, PrintsBlocksDataSetsAndFcdas) {
    const SclRun r = runIecx("scl " + sclData("station_2003.scd"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    for (const char* piece : {
             "SubNetwork StationBus (8-MMS)",
             "ConnectedAP RELAY1/AP1",
             "GSE LD0/GCB01",
             "MAC 01-0C-CD-01-00-01  APPID 0x0001  VLAN 5  priority 4",
             "MinTime 4 ms  MaxTime 1000 ms",
             "GSEControl GCB01  type GOOSE  appID RELAY1_GCB01  confRev 3",
             "DataSet DS_GOOSE, 9 FCDAs",
             "LD0/LLN0.Mod.stVal[ST]  INTEGER",
             "LD0/Q0XCBR1.Pos[ST]  data object",
             "LD0/Q0XCBR1.Pos.stVal[ST]  BIT_STRING",
             "LD0/MMXU1.TotW.mag.f[MX]  FLOAT (FLOAT32)  unit W",
             "DataSet NoSuchSet: (not found)",
             "GSEControl: (not found)",
             "SMV MU01/MSVCB01",
             "MAC 01-0C-CD-04-00-01  APPID 0x4000  VLAN 7  priority 5",
             "SampledValueControl MSVCB01  smvID RELAY1MU01  confRev 1  smpRate 80  nofASDU 1  smpMod "
             "SmpPerPeriod  "
             "multicast true",
             "MU01/TCTR1.AmpSv.instMag.i[MX]  INTEGER (INT32)  unit A",
             "ConnectedAP GHOST/AP1",
             "SubNetwork ProcessBus",
             "smpMod SmpPerSec  multicast false",
         })
        EXPECT_TRUE(contains(r.out, piece)) << "missing: " << piece << "\n" << r.out;
    EXPECT_FALSE(contains(r.out, "RELAY2/AP1")); // address only, no GSE or SMV
}

// Files as vendors' tools write them: small documents of our own, each read by `iecx scl`.
TEST(SclCli, FilesFromTheField) {
    const std::string gse = R"(<GSE ldInst="LD0" cbName="gcb1"><Address>
          <P type="IP">not an address</P><P type="MAC-Address">01-0C-CD-01-00-07</P><P type="APPID">0007</P>
          </Address></GSE>)";
    const std::string ied = R"(<IED name="%s"><AccessPoint name="AP1"><Server><LDevice inst="LD0">
          <LN0 lnClass="LLN0" inst="" lnType="L0"><DataSet name="ds">
            <FCDA ldInst="LD0" lnClass="GGIO" lnInst="1" doName="Ind1" daName="stVal" fc="ST"/>
            <FCDA ldInst="LD0" lnClass="GGIO" lnInst="1" doName="Ind1" daName="t" fc="ST"/>
            <FCDA ldInst="LD0" lnClass="GGIO" lnInst="1" doName="Ind1" fc="ST"/></DataSet>
          <GSEControl name="gcb1" datSet="ds" confRev="1" appID="x" type="GOOSE"/></LN0>
          <LN lnClass="GGIO" inst="1" lnType="G"/></LDevice></Server></AccessPoint></IED>)";
    const std::string templates = R"(<DataTypeTemplates><LNodeType id="L0" lnClass="LLN0"/>
          <LNodeType id="G" lnClass="GGIO"><DO name="Ind1" type="SPS"/></LNodeType>
          <DOType id="SPS" cdc="SPS"><DA name="stVal" bType="BOOLEAN" fc="ST"/>
          <DA name="t" bType="TimeStamp" fc="ST"/></DOType></DataTypeTemplates>)";
    auto scl = [&](const std::vector<std::string>& iedNames) {
        std::string text = R"(<SCL xmlns="http://www.iec.ch/61850/2003/SCL"><Communication>
            <SubNetwork name="S"><ConnectedAP iedName="A" apName="AP1">)" +
                           gse + "</ConnectedAP></SubNetwork></Communication>";
        for (const std::string& name : iedNames) {
            char buffer[4096];
            std::snprintf(buffer, sizeof buffer, ied.c_str(), name.c_str());
            text += buffer;
        }
        return text + templates + "</SCL>";
    };
    struct Case {
        const char* what;
        std::string document;
        std::vector<std::string> out;
    };
    const std::vector<Case> cases = {
        {"an unneeded IP parameter that does not parse",
         scl({"A"}),
         {"ConnectedAP A/AP1", "MAC 01-0C-CD-01-00-07  APPID 0x0007",
          "LD0/GGIO1.Ind1.stVal[ST]  BOOLEAN (BOOLEAN)", "LD0/GGIO1.Ind1.t[ST]  BIT_STRING (TimeStamp)"}},
        {"a missing IED",
         scl({"B"}),
         {"ConnectedAP A/AP1\n    no control blocks read (no single IED named A)"}},
        {"an IED that appears twice", scl({"A", "A"}), {"ConnectedAP A/AP1\n    no control blocks read"}},
    };
    iecx::test::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = writeFile(dir, "field.scd", c.document);
        const SclRun r = runIecx("scl " + path);
        const SclRun j = runIecx("scl --json " + path);
        EXPECT_EQ(r.status, 0) << c.what << r.err;
        for (const std::string& piece : c.out)
            EXPECT_TRUE(contains(r.out, piece)) << c.what << ": " << piece << "\n" << r.out;
        ASSERT_EQ(j.status, 0) << c.what;
        const auto doc = nlohmann::json::parse(j.out);
        EXPECT_EQ(doc["subNetworks"][0]["connectedAPs"].size(), 1u) << c.what;
    }
}

TEST(SclCli, Json) {
    const SclRun r = runIecx("scl " + sclData("station_2007.scd") + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    const auto& network = doc["subNetworks"][0];
    EXPECT_EQ(network["name"], "StationBus");
    const auto& ap = network["connectedAPs"][0];
    EXPECT_EQ(ap["iedName"], "RELAY1");
    const auto& gse = ap["gse"][0];
    EXPECT_EQ(gse["mac"], "01-0C-CD-01-00-01");
    EXPECT_EQ(gse["appId"], "0x0001");
    EXPECT_EQ(gse["vlanId"], 5);
    EXPECT_EQ(gse["vlanPriority"], 4);
    EXPECT_EQ(gse["minTime"], 4);
    EXPECT_EQ(gse["maxTime"], 1000);
    EXPECT_EQ(gse["control"]["type"], "GOOSE");
    EXPECT_EQ(gse["control"]["appID"], "RELAY1_GCB01");
    EXPECT_EQ(gse["control"]["confRev"], 3);
    bool sawMeasurement = false, sawDataObject = false;
    for (const auto& fcda : gse["dataSet"]["fcdas"]) {
        if (fcda["path"] == "LD0/MMXU1.TotW.mag.f[MX]") {
            sawMeasurement = true;
            EXPECT_EQ(fcda["unit"], "W");
            EXPECT_EQ(fcda["mmsType"], "FLOAT");
            EXPECT_EQ(fcda["bType"], "FLOAT32");
        }
        if (fcda.contains("attributes") && fcda["attributes"][0]["path"] == "LD0/Q0XCBR1.Pos.stVal[ST]") {
            sawDataObject = true;
            EXPECT_EQ(fcda["attributes"][0]["bType"], "Dbpos");
        }
    }
    EXPECT_TRUE(sawMeasurement && sawDataObject) << r.out;
    const auto& smv = ap["smv"][0]["control"];
    EXPECT_EQ(smv["smvID"], "RELAY1MU01");
    EXPECT_EQ(smv["smpRate"], 80);
    EXPECT_EQ(smv["smpMod"], "SmpPerPeriod");
    EXPECT_EQ(smv["multicast"], true);
}

TEST(SclCli, Errors) {
    // The library's conversion name, then where the text that failed it stands.
    const std::vector<std::pair<const char*, std::vector<std::string>>> bad = {
        {"bad_stoi_confrev.scd",
         {"Error parsing SCL file: stoi\n",
          "  at GSEControl GCB01 in IED RELAY1 / AccessPoint AP1 / Server / LDevice "
          "inst=LD0 / LN0 lnClass=LLN0: confRev=\"three\"\n"}},
        {"bad_stod_mintime.scd",
         {"Error parsing SCL file: stod\n", "  at MinTime in ", "GSE ldInst=LD0 cbName=", ": \"fast\"\n"}},
        {"bad_stoul_appid.scd",
         {"Error parsing SCL file: stoul\n", "  at P in ",
          "GSE ldInst=LD0 cbName=GCB02 / Address type=APPID: \"ZZ\"\n"}},
    };
    for (const auto& [file, pieces] : bad) {
        const SclRun r = runIecx("scl " + sclData(file));
        EXPECT_EQ(r.status, 1) << file;
        for (const std::string& piece : pieces)
            EXPECT_TRUE(contains(r.err, piece)) << piece << "\n" << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    const SclRun missing = runIecx("scl /nonexistent/file.scd");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "Error parsing SCL file: ")) << missing.err;

    iecx::test::TempDir dir;
    const SclRun broken = runIecx("scl " + writeFile(dir, "bad.scd", "<SCL><Communication><SubNetwork"));
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(contains(broken.err, "Error parsing SCL file: ")) << broken.err;
    // The parser's own message is told once, not once by libxml2 and again by the exception.
    const std::string message = "Premature end of data in tag Communication";
    ASSERT_NE(broken.err.find(message), std::string::npos) << broken.err;
    EXPECT_EQ(broken.err.find(message), broken.err.rfind(message)) << broken.err;
}
