// iecx demo runs the whole chain on the example station and ends by itself.
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace {
bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}
} // namespace

TEST(DemoCli, RunsTheChainOnTheExampleStation) {
    const auto r = iecx::test::runCli("demo --seconds 1");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "PROT1 serves MMS on 127.0.0.1:")) << r.out;
    EXPECT_TRUE(contains(r.out, "PROT1PROT/PTRC1.Tr.general           = false")) << r.out;
    EXPECT_TRUE(contains(r.out, "/Goose.cid")) << r.out;
    EXPECT_TRUE(contains(r.out, "/SV.cid")) << r.out;
    if (geteuid() == 0) {
        EXPECT_TRUE(contains(r.out, "message: PTRC1.Tr.general[ST]=")) << r.out;
        EXPECT_FALSE(contains(r.out, " 0 GOOSE messages received")) << r.out;
    }
    // The files are left for the user to look at; remove them here.
    auto at = r.out.find("Files are in ");
    ASSERT_NE(at, std::string::npos);
    std::string dir = r.out.substr(at + 13);
    dir = dir.substr(0, dir.find('\n'));
    ASSERT_EQ(dir.rfind("/tmp/iecx-demo-", 0), 0u);
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(DemoCli, BadOptionsAndFiles) {
    EXPECT_EQ(iecx::test::runCli("demo --seconds abc").status, 2);
    EXPECT_EQ(iecx::test::runCli("demo --bogus").status, 2);
    const auto missing = iecx::test::runCli("demo --scl /nonexistent.scd");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "Error parsing SCL file: ")) << missing.err;
    EXPECT_EQ(iecx::test::runCli("demo --help").status, 0);
}
