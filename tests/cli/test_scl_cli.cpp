// Runs the built iecx tool on SCL files and checks its output and exit status.
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using SclRun = iecx::test::CliRun;

SclRun runIecx(const std::string& args) {
    return iecx::test::runCli(args);
}

std::string sclData(const std::string& name) {
    return std::string(IECX_TEST_DATA_DIR) + "/scl/" + name;
}

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
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
             "LD0/MMXU1.TotW.mag.f[MX]  FLOAT  unit W",
             "DataSet NoSuchSet: (not found)",
             "GSEControl: (not found)",
             "SMV MU01/MSVCB01",
             "MAC 01-0C-CD-04-00-01  APPID 0x4000  VLAN 7  priority 5",
             "SampledValueControl MSVCB01  smvID RELAY1MU01  confRev 1  smpRate 80  nofASDU 1  smpMod "
             "SmpPerPeriod  "
             "multicast true",
             "MU01/TCTR1.AmpSv.instMag.i[MX]  INTEGER  unit A",
             "ConnectedAP GHOST/AP1",
             "SubNetwork ProcessBus",
             "smpMod SmpPerSec  multicast false",
         })
        EXPECT_TRUE(contains(r.out, piece)) << "missing: " << piece << "\n" << r.out;
    EXPECT_FALSE(contains(r.out, "RELAY2/AP1")); // address only, no GSE or SMV
}

TEST(SclCli, Json) {
    const SclRun r = runIecx("scl " + sclData("station_2007.scd") + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.front(), '{');
    for (const char* piece : {
             "\"name\":\"StationBus\"",
             "\"iedName\":\"RELAY1\"",
             "\"mac\":\"01-0C-CD-01-00-01\",\"appId\":\"0x0001\",\"vlanId\":5,\"vlanPriority\":4",
             "\"minTime\":4,\"maxTime\":1000",
             "\"type\":\"GOOSE\",\"appID\":\"RELAY1_GCB01\",\"confRev\":3",
             "\"path\":\"LD0/MMXU1.TotW.mag.f[MX]\"",
             "\"unit\":\"W\",\"mmsType\":\"FLOAT\"",
             "\"attributes\":[{\"path\":\"LD0/Q0XCBR1.Pos.stVal[ST]\"",
             "\"smvID\":\"RELAY1MU01\",\"confRev\":1,\"smpRate\":80,\"nofASDU\":1,\"smpMod\":"
             "\"SmpPerPeriod\","
             "\"multicast\":true",
         })
        EXPECT_TRUE(contains(r.out, piece)) << "missing: " << piece << "\n" << r.out;
    // Balanced braces and brackets outside strings.
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < r.out.size(); ++i) {
        const char c = r.out[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
            ASSERT_GE(depth, 0);
        }
    }
    EXPECT_EQ(depth, 0);
}

TEST(SclCli, ErrorsAndUsage) {
    for (const char* file : {"bad_stoi_confrev.scd", "bad_stod_mintime.scd", "bad_stoul_appid.scd"}) {
        const SclRun r = runIecx("scl " + sclData(file));
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_TRUE(contains(r.err, "Error parsing SCL file: sto")) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    const SclRun missing = runIecx("scl /nonexistent/file.scd");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "Error parsing SCL file: ")) << missing.err;

    char path[] = "/tmp/iecx_scl_cli_bad_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string garbage = "<SCL><Communication><SubNetwork";
    ASSERT_EQ(write(fd, garbage.data(), garbage.size()), static_cast<ssize_t>(garbage.size()));
    close(fd);
    const SclRun broken = runIecx(std::string("scl ") + path);
    unlink(path);
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(contains(broken.err, "Error parsing SCL file: ")) << broken.err;

    const SclRun help = runIecx("scl --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "usage: iecx scl FILE [--json]"));
    EXPECT_EQ(runIecx("scl").status, 2);
    EXPECT_EQ(runIecx("scl --bogus " + sclData("station_2003.scd")).status, 2);
    const SclRun top = runIecx("--help");
    EXPECT_EQ(top.status, 0);
    EXPECT_TRUE(contains(top.out, "scl"));
}
