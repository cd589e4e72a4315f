// Client programs written in the libiec61850 style (tests/stack/programs, plain C against the
// public headers) run against the simulated IED; each case checks the program's exit status and
// the lines it prints.
#include "support/CliRun.h"
#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using iecx::test::runCommand;
using iecx::test::simData;
using iecx::test::SimIed;

struct ProgramCase {
    const char* program;
    std::string args; // after HOST PORT
    int status;
    const char* lines; // "|"-separated; each must appear as a whole line of the output
};

std::string program(const char* name) {
    return std::string(IECX_STACK_PROGRAMS_DIR) + "/" + name;
}

bool hasLine(const std::string& out, const std::string& line) {
    return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
}

void run(const SimIed& sim, const ProgramCase& c) {
    auto r =
        runCommand(program(c.program) + " " + sim.host() + " " + std::to_string(sim.port()) + " " + c.args);
    EXPECT_EQ(r.status, c.status) << c.program << " " << c.args << "\n" << r.out << r.err;
    std::stringstream lines(c.lines);
    for (std::string line; std::getline(lines, line, '|');)
        EXPECT_TRUE(hasLine(r.out, line)) << c.program << " " << c.args << ": no line '" << line << "' in\n"
                                          << r.out;
}

class ClientPrograms : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim = new SimIed(simData("controls.cid"), "CTLIED"); }
    static void TearDownTestSuite() {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sim->ok()) << sim->error(); }
    static SimIed* sim;
};

SimIed* ClientPrograms::sim = nullptr;

TEST_F(ClientPrograms, DataSets) {
    const ProgramCase cases[] = {
        {"read_dataset", "CTLIEDLD0/LLN0.Positions", 0,
         "size 4|CTLIEDLD0/Q0CSWI1.Pos.stVal[ST] = 01|CTLIEDLD0/GGIO1.SPCSO1.stVal[ST] = "
         "false|CTLIEDLD0/MMXU1.TotW.mag.f[MX] = 12.500000|missing data set: 22"},
        {"create_dataset", "CTLIEDLD0", 0,
         "create CTLIEDLD0/LLN0.Mine: 0|create @Temporary: 0|create again: 23|read: 0 size 2|directory: 0 "
         "members 2 deletable 1|create with unknown member: 1|delete CTLIEDLD0/LLN0.Mine: 1 0|delete "
         "@Temporary: 1 0|delete again: 0|delete configured: 0"},
    };
    for (const auto& c : cases)
        run(*sim, c);
}

TEST_F(ClientPrograms, MmsBrowse) {
    run(*sim, {"mms_browse", "", 0,
               "list LLN0$Positions members 4 values 4 deletable 0|  CTLIEDLD0/Q0CSWI1$ST$Pos$stVal|  "
               "CTLIEDLD0/MMXU1$MX$TotW$mag$f|missing: error 0 type 15 access 10"});
    auto r = runCommand(program("mms_browse") + " " + sim->host() + " " + std::to_string(sim->port()));
    EXPECT_NE(r.out.find("domain CTLIEDLD0 variables "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" lists 1 journals 0 (error 0)"), std::string::npos) << r.out;
}

TEST_F(ClientPrograms, ControlsOfEveryModel) {
    const ProgramCase cases[] = {
        {"control", "CTLIEDLD0/Q0CSWI1.Pos 1", 0,
         "model 2 ctlVal type 2|operate unselected refused error 21 addCause 18|select ok|cancel ok|operate "
         "ok|operate again refused error 21 addCause 18|operate after wait ok|stVal 10"},
        {"control", "CTLIEDLD0/Q0CSWI4.Pos 1", 0,
         "model 2 ctlVal type 2|operate ok|operate after wait refused error 21 addCause 18|stVal 10"},
        {"control", "CTLIEDLD0/Q0CSWI2.Pos 1", 0,
         "model 4 ctlVal type 2|select ok|operate ok|termination addCause 0|terminations 1|stVal 10"},
        {"control", "CTLIEDLD0/Q0CSWI3.Pos 1", 0, "model 3 ctlVal type 2|operate ok|terminations 1|stVal 10"},
        {"control", "CTLIEDLD0/Q0CSWI3.Pos 0", 0, "operate ok|stVal 01"},
        {"control", "CTLIEDLD0/GGIO1.SPCSO1 1", 0, "model 1 ctlVal type 2|operate ok|stVal true"},
        {"control", "CTLIEDLD0/GGIO1.SPCSO2 1", 0,
         "model 0 ctlVal type 2|operate refused error 21 addCause 1|stVal false"},
        {"control", "CTLIEDLD0/MMXU1.TotW 1", 1, "no control object"},
    };
    for (const auto& c : cases)
        run(*sim, c);
}

TEST(ClientProgramsPassword, RightWrongAndMissingPassword) {
    SimIed guarded(simData("controls.cid"), "CTLIED", "", "127.0.0.1", "secret");
    ASSERT_TRUE(guarded.ok()) << guarded.error();
    const ProgramCase cases[] = {
        {"password", "secret", 0, "connected|devices 1"},
        {"password", "Secret", 3, "error 5 state 0"},
        {"password", "-", 3, "error 5 state 0"},
    };
    for (const auto& c : cases)
        run(guarded, c);
    // An IED without a password lets a client that sends one in.
    SimIed open(simData("controls.cid"), "CTLIED");
    ASSERT_TRUE(open.ok()) << open.error();
    run(open, {"password", "anything", 0, "connected"});
}

} // namespace
