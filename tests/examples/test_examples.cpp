// The example programs of docs/ run against the simulated IED as a host would run them: MMS
// clients against a simulated IED on a free loopback port; GOOSE, SV and capture in a network
// namespace of their own where `iecx simulate` publishes on its `lo`. Each case checks the
// program's exit status, the lines it prints, and that every value carries a time stamp of now.
#include "support/CliRun.h"
#include "support/SimIed.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

using iecx::test::CliRun;

const std::string kStation = IECX_EXAMPLES_DIR "/station.scd";

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// Every "@ N ms" the programs print is a time stamp the device sent, so within a minute of now,
// or 0 for a member whose data object's time the device does not send (a GOOSE data set without
// it); some value has one.
void expectDeviceTimes(const std::string& out) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const std::regex stamp("@ ([0-9]+) ms");
    int stamps = 0, withTime = 0;
    for (std::sregex_iterator it(out.begin(), out.end(), stamp), end; it != end; ++it, ++stamps) {
        const long long ms = std::stoll((*it)[1]);
        if (ms == 0)
            continue;
        ++withTime;
        EXPECT_LT(std::llabs(now - ms), 60000) << "time stamp " << ms << " in\n" << out;
    }
    EXPECT_TRUE(stamps == 0 || withTime > 0) << "no time stamp in\n" << out;
}

struct Case {
    const char* program;
    // The simulated IED the program talks to ("" for none), and whether it needs raw Ethernet.
    const char* ied;
    bool raw;
    // {station}, {host}, {port} and {dir} are replaced.
    std::string args;
    std::vector<std::string> lines;
    // A further check of the output, for programs that write files.
    std::function<void(const std::string& dir, const std::string& out)> check = nullptr;
};

// Runs a program in a namespace where `iecx simulate` serves and publishes the IED on lo.
// The program starts once the IED has said that it serves.
CliRun runInNamespace(const Case& c, const std::string& program, const std::string& args,
                      const std::string& dir) {
    iecx::test::Netns ns("iecxex");
    if (!ns.ok())
        return CliRun{};
    const std::string log = dir + "/simulate.log";
    const std::string script = std::string(IECX_CLI_PATH) + " simulate " + kStation + " --ied " + c.ied +
                               " --port 10102 --bind 127.0.0.1 --iface lo --change-ms 200 >" + log +
                               " & s=$!; for i in $(seq 100); do grep -q ^simulating " + log +
                               " && break; sleep 0.1; done; " + program + " " + args +
                               "; r=$?; kill -INT $s; wait $s; exit $r";
    return iecx::test::runCommand(ns.prefix() + " sh -c '" + script + "'");
}

} // namespace

TEST(Examples, EachProgramRunsAgainstTheSimulatedIed) {
    const std::vector<Case> cases{
        {"root_model",
         "",
         false,
         "{station} PROT1 gcbPos",
         {"CBreference = PROT1CTRL/LLN0$GO$gcbPos", "APPID = 17", "ConfRev = 2",
          "checked PROT1CTRL/Q0XCBR1.Pos.stVal[ST]", "checked PROT1CTRL/GGIO1.Ind2.stVal[ST]"}},
        {"client_read",
         "PROT1",
         false,
         "{host} {port} PROT1CTRL/Q0XCBR1.Pos ST PROT1CTRL/LLN0.dsPos",
         {"logical device PROT1CTRL", "logical device PROT1PROT", "PROT1CTRL/Q0XCBR1.Pos[ST] = {",
          "PROT1CTRL/LLN0.dsPos member 4 = "}},
        {"report_pool",
         "PROT1",
         false,
         "{host}:{port} 1.5 PROT1CTRL/LLN0.RP.urcbPos01 PROT1CTRL/Q0XCBR1.Pos.stVal[ST] "
         "PROT1CTRL/GGIO1.Ind1[ST]",
         {"PROT1CTRL/Q0XCBR1.Pos.stVal[ST] = ", "PROT1CTRL/GGIO1.Ind1[ST] = {"}},
        {"polling_pool",
         "PROT1",
         false,
         "{host}:{port} 200 1.5 PROT1CTRL/Q0XCBR1.Pos.stVal[ST] PROT1PROT/MMXU1.TotW.mag.f[MX]",
         {"time of PROT1CTRL/Q0XCBR1.Pos.stVal[ST] from PROT1CTRL/Q0XCBR1.Pos.t[ST]",
          "time of PROT1PROT/MMXU1.TotW.mag.f[MX] from PROT1PROT/MMXU1.TotW.t[MX]",
          "PROT1PROT/MMXU1.TotW.mag.f[MX] = "}},
        {"write_cid",
         "",
         false,
         "{dir}",
         {"{dir}/Goose.cid", "{dir}/SV.cid"},
         [](const std::string& dir, const std::string&) {
             // Our own SCL reader finds the publications in what was written.
             const CliRun goose = iecx::test::runCli("scl " + dir + "/Goose.cid");
             EXPECT_TRUE(contains(goose.out, "gcbTestSet")) << goose.out << goose.err;
             const CliRun sv = iecx::test::runCli("scl " + dir + "/SV.cid");
             EXPECT_TRUE(contains(sv.out, "4100")) << sv.out << sv.err;
             // Each channel is a member of the written logical device's data set.
             EXPECT_TRUE(contains(sv.out, "2 FCDAs")) << sv.out;
         }},
        {"workflow_goose",
         "PROT1",
         true,
         "{station} PROT1 gcbPos lo 1.5",
         {"goCbRef PROT1CTRL/LLN0$GO$gcbPos, APPID 0x0011",
          "PROT1CTRL/GGIO1.Ind2.stVal[ST] = ", "PROT1CTRL/Q0CSWI1.Pos.stVal[ST] = "}},
        {"goose_pool",
         "PROT1",
         true,
         "{host} {port} lo 1.5",
         {"stNum ", "PROT1CTRL/Q0CSWI1.Pos[ST] = {", "PROT1CTRL/GGIO1.Ind1.stVal[ST] = "}},
        {"sv_pool",
         "MU1",
         true,
         "lo 0x4000 MU1MU01 1.5",
         {"svID MU1MU01: ", ", 0 smpCnt gaps", "channel 7 = "}},
        {"capture",
         "PROT1",
         true,
         "lo {dir} 1.5",
         {"frames captured", "file {dir}/lo_dump_"},
         [](const std::string&, const std::string& out) {
             // An independent reader counts as many GOOSE frames in the file as the program did.
             std::smatch m;
             ASSERT_TRUE(
                 std::regex_search(out, m, std::regex("\\(([0-9]+) GOOSE\\)[^\\n]*\\nfile ([^\\n]+)")));
             if (!iecx::test::Tshark::available())
                 return;
             const auto frames = iecx::test::Tshark::fields(m[2], {"frame.number"}, "goose");
             EXPECT_EQ(iecx::test::Tshark::lines(frames.out).size(), std::stoul(m[1])) << frames.err;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        if (c.raw && !iecx::test::haveNetworkRights()) {
            std::printf("%s skipped: raw Ethernet needs root\n", c.program);
            continue;
        }
        char pattern[] = "/tmp/iecx-example-XXXXXX";
        const std::string dir = ::mkdtemp(pattern) ? pattern : "/tmp";
        const std::string program = std::string(IECX_EXAMPLES_BIN_DIR "/") + c.program;
        std::unique_ptr<iecx::test::SimIed> sim;
        std::string host = "127.0.0.1", port = "10102";
        if (*c.ied != '\0' && !c.raw) {
            sim = std::make_unique<iecx::test::SimIed>(kStation, c.ied);
            ASSERT_TRUE(sim->ok()) << sim->error();
            sim->ied().changeValuesEvery(200);
            host = sim->host();
            port = std::to_string(sim->port());
        }
        auto fill = [&](const std::string& text) {
            return replaceAll(replaceAll(replaceAll(replaceAll(text, "{station}", kStation), "{host}", host),
                                         "{port}", port),
                              "{dir}", dir);
        };
        const CliRun r = c.raw ? runInNamespace(c, program, fill(c.args), dir)
                               : iecx::test::runCommand(program + " " + fill(c.args));
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(contains(r.out, fill(line))) << "no '" << fill(line) << "' in\n" << r.out << r.err;
        expectDeviceTimes(r.out);
        if (c.check)
            c.check(dir, r.out);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
}
