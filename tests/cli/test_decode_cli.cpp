// iecx decode on a GOOSE frame of our own, given as hex and as a frame of a PCAP file; the exit
// status and message of every command for wrong usage, help and impossible work.
#include "CliTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace clitest;

// VLAN-tagged GOOSE: a goCbRef "test", a 13-bit bit string and a UtcTime of half a second past
// 2020-07-04T04:05:20Z with time quality 0x0A.
const std::vector<unsigned char> kFrame = {
    0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x81, 0x00, 0xA0, 0x05, 0x88,
    0xB8, 0x00, 0x01, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x61, 0x15, 0x80, 0x04, 't',  'e',  's',  't',
    0x84, 0x03, 0x03, 0x80, 0x00, 0x91, 0x08, 0x5F, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x0A};

std::string hexOf(const std::vector<unsigned char>& bytes) {
    std::string text;
    for (unsigned char b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

TEST(DecodeCli, FieldsWithTheirOffsetsFromHexAndPcap) {
    const auto hex = runCli("decode " + hexOf(kFrame));
    ASSERT_EQ(hex.status, 0) << hex.err;
    for (const char* line :
         {"    0  destination    01:0C:CD:01:00:01\n", "   12  VLAN           priority 5, id 5\n",
          "   16  EtherType      0x88B8 (GOOSE)\n", "   18  APPID          0x0001\n",
          "   20  Length         31\n",
          "   26  field          Tag-1, Size-1, Class-1, IsComplex-true; Length-21, Size-1\n",
          "   30      contents   \"test\"\n", "   36      contents   BitString 1000000000000 (8000)\n",
          "   41      contents   UtcTime 2020-07-04T04:05:20.500000000Z, quality 0x0A\n"})
        EXPECT_TRUE(contains(hex.out, line)) << line << hex.out;

    // The same frame as the second frame of a microsecond PCAP file.
    std::string file = {'\xD4', '\xC3', '\xB2', '\xA1', 2,      0,      4, 0, 0, 0, 0, 0,
                        0,      0,      0,      0,      '\xFF', '\xFF', 0, 0, 1, 0, 0, 0};
    for (int i = 0; i < 2; ++i) {
        const char size = static_cast<char>(i == 0 ? 14 : kFrame.size());
        file += std::string{0, 0, 0, 0, 0, 0, 0, 0, size, 0, 0, 0, size, 0, 0, 0};
        file.append(kFrame.begin(), kFrame.begin() + static_cast<unsigned char>(size));
    }
    iecx::test::TempDir dir;
    const std::string path = writeFile(dir, "frames.pcap", file);
    const auto pcap = runCli("decode --pcap " + path + " --frame 2 --json");
    ASSERT_EQ(pcap.status, 0) << pcap.err;
    const auto doc = nlohmann::json::parse(pcap.out);
    EXPECT_EQ(doc["length"], kFrame.size());
    EXPECT_EQ(doc["fields"].back()["offset"], 41);
    EXPECT_EQ(doc["fields"].back()["text"], "UtcTime 2020-07-04T04:05:20.500000000Z, quality 0x0A");

    const auto beyond = runCli("decode --pcap " + path + " --frame 3");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_TRUE(contains(beyond.err, "has 2 frames, no frame 3")) << beyond.err;
}

TEST(DecodeCli, CutFramesAndBadInput) {
    // Every prefix of the frame decodes without a crash.
    for (size_t n = 1; n < kFrame.size(); ++n) {
        const auto r =
            runCli("decode " + hexOf(std::vector<unsigned char>(kFrame.begin(), kFrame.begin() + n)));
        EXPECT_EQ(r.status, 0) << n << r.err;
    }
}

// Wrong usage ends with status 2 and a message on stderr. Numbers are decimal unless written with
// 0x (a leading zero is no octal prefix); a count is a whole number.
TEST(CliUsage, WrongUsageEndsWithStatusTwo) {
    const std::string station = IECX_EXAMPLES_DIR "/station.scd";
    for (const std::string& args :
         std::vector<std::string>{"read",
                                  "read 127.0.0.1 LD0/GGIO1.Ind1",
                                  "read 127.0.0.1 'CLILD0/GGIO1.Ind1[XX]'",
                                  "read 127.0.0.1:99999 'CLILD0/GGIO1.Ind1[ST]'",
                                  "read 127.0.0.1 'CLILD0/GGIO1.Ind1[ST]' --count 2",
                                  "poll 127.0.0.1 'CLILD0/GGIO1.Ind1[ST]'",
                                  "poll 127.0.0.1 'CLILD0/GGIO1.Ind1[ST]' --period 100 --count 1.5",
                                  "report 127.0.0.1 LD0/LLN0.RP.x --count 0",
                                  "report 127.0.0.1 LD0/LLN0.RP.x --integrity -5",
                                  "browse 127.0.0.1 --depth leaves",
                                  "browse 127.0.0.1 --connect-timeout 0x",
                                  "browse",
                                  "scl",
                                  "scl --bogus " + station,
                                  "decode 0x0G",
                                  "decode",
                                  "decode --frame 2",
                                  "demo --seconds abc",
                                  "demo --bogus",
                                  "tree",
                                  "tree " + station + " --protocol mms",
                                  "goose",
                                  "goose lo --appid 70000",
                                  "goose lo --count 1.5",
                                  "sv lo",
                                  "sv lo --appid 1 --interval 0"}) {
        const auto r = runCli(args);
        EXPECT_EQ(r.status, 2) << args << r.out << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
    }
}

// Help ends with status 0 and the usage on stdout; work that cannot be done ends with status 1
// and says why on stderr.
TEST(CliUsage, HelpAndImpossibleWork) {
    const std::string station = IECX_EXAMPLES_DIR "/station.scd";
    const struct {
        std::string args;
        int status;
        std::vector<std::string> out;
        std::string err;
    } cases[] = {
        {"decode --pcap /nonexistent.pcap", 1, {}, ""},
        {"tree " + station + " --protocol goose --device NOPE", 1, {}, "available: PROT1, MU1"},
        {"tree 127.0.0.1:1 --protocol report", 1, {}, "Cannot read the IED"},
        {"browse --help", 0, {"--connect-timeout", "Example: iecx "}, ""},
        {"read --help", 0, {"--connect-timeout", "Example: iecx "}, ""},
        {"report --help", 0, {"--connect-timeout", "Example: iecx "}, ""},
        {"poll --help", 0, {"--connect-timeout", "Example: iecx "}, ""},
        {"scl --help", 0, {"iecx scl [OPTIONS] FILE"}, ""},
        {"demo --help", 0, {}, ""},
        {"--help", 0, {"scl"}, ""},
        {"--version", 0, {"iecx "}, ""},
        {"goose --help", 0, {"iecx goose [OPTIONS] IFACE"}, ""},
        {"goose ixnosuchif0 --appid 08 --seconds 1", 1, {}, ""}, // the interface, not the number
        {"goose ixnosuchif0 --appid 010 --seconds 1", 1, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const auto r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        for (const std::string& piece : c.out)
            EXPECT_TRUE(contains(r.out, piece)) << piece << "\n" << r.out;
        EXPECT_TRUE(contains(r.err, c.err)) << r.err;
        EXPECT_EQ(r.err.empty(), c.status == 0) << r.err;
    }
}

} // namespace
