// iecx decode on a GOOSE frame of our own, given as hex and as a frame of a PCAP file; the exit
// status and message of every command for wrong usage, help and impossible work.
#include "support/CliRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using iecx::test::runCli;

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

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
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
    const std::string path = "/tmp/iecx_decode_test.pcap";
    {
        std::ofstream out(path, std::ios::binary);
        const unsigned char header[24] = {0xD4, 0xC3, 0xB2, 0xA1, 2,    0,    4, 0, 0, 0, 0, 0,
                                          0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 1, 0, 0, 0};
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        for (int i = 0; i < 2; ++i) {
            const unsigned char size = static_cast<unsigned char>(i == 0 ? 14 : kFrame.size());
            const unsigned char record[16] = {0, 0, 0, 0, 0, 0, 0, 0, size, 0, 0, 0, size, 0, 0, 0};
            out.write(reinterpret_cast<const char*>(record), sizeof record);
            out.write(reinterpret_cast<const char*>(kFrame.data()), size);
        }
    }
    const auto pcap = runCli("decode --pcap " + path + " --frame 2 --json");
    ASSERT_EQ(pcap.status, 0) << pcap.err;
    const auto doc = nlohmann::json::parse(pcap.out);
    EXPECT_EQ(doc["length"], kFrame.size());
    EXPECT_EQ(doc["fields"].back()["offset"], 41);
    EXPECT_EQ(doc["fields"].back()["text"], "UtcTime 2020-07-04T04:05:20.500000000Z, quality 0x0A");

    const auto beyond = runCli("decode --pcap " + path + " --frame 3");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_TRUE(contains(beyond.err, "has 2 frames, no frame 3")) << beyond.err;
    std::remove(path.c_str());
}

TEST(DecodeCli, CutFramesAndBadInput) {
    // Every prefix of the frame decodes without a crash.
    for (size_t n = 1; n < kFrame.size(); ++n) {
        const auto r =
            runCli("decode " + hexOf(std::vector<unsigned char>(kFrame.begin(), kFrame.begin() + n)));
        EXPECT_EQ(r.status, 0) << n << r.err;
    }
}

// Every command line here ends with its exit status (2 wrong usage, 0 help, 1 work that cannot be
// done) and says why: the usage on stdout for --help, a message on stderr otherwise.
TEST(CliUsage, StatusAndMessagePerCommandLine) {
    const std::string station = IECX_EXAMPLES_DIR "/station.scd";
    struct Case {
        std::string args;
        int status;
        std::vector<std::string> out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"read", 2, {}, ""},
        {"read 127.0.0.1 LD0/GGIO1.Ind1", 2, {}, ""},          // no FC
        {"read 127.0.0.1 'CLILD0/GGIO1.Ind1[XX]'", 2, {}, ""}, // unknown FC
        {"read 127.0.0.1:99999 'CLILD0/GGIO1.Ind1[ST]'", 2, {}, ""},
        {"read 127.0.0.1 'CLILD0/GGIO1.Ind1[ST]' --count 2", 2, {}, ""}, // --count without --watch
        {"poll 127.0.0.1 'CLILD0/GGIO1.Ind1[ST]'", 2, {}, ""},           // no --period
        {"poll 127.0.0.1 'CLILD0/GGIO1.Ind1[ST]' --period 100 --count 1.5", 2, {}, ""},
        {"report 127.0.0.1 LD0/LLN0.RP.x --count 0", 2, {}, ""},
        {"report 127.0.0.1 LD0/LLN0.RP.x --integrity -5", 2, {}, ""},
        {"browse 127.0.0.1 --depth leaves", 2, {}, ""},
        {"browse 127.0.0.1 --connect-timeout 0x", 2, {}, ""},
        {"browse", 2, {}, ""},
        {"scl", 2, {}, ""},
        {"scl --bogus " + station, 2, {}, ""},
        {"decode 0x0G", 2, {}, ""},
        {"decode", 2, {}, ""},
        {"decode --frame 2", 2, {}, ""},
        {"decode --pcap /nonexistent.pcap", 1, {}, ""},
        {"demo --seconds abc", 2, {}, ""},
        {"demo --bogus", 2, {}, ""},
        {"tree", 2, {}, ""},
        {"tree " + station + " --protocol mms", 2, {}, ""},
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
        // Numbers are decimal unless written with 0x (a leading zero is no octal prefix); a count
        // is a whole number.
        {"goose", 2, {}, ""},
        {"goose lo --appid 70000", 2, {}, ""},
        {"goose --help", 0, {"iecx goose [OPTIONS] IFACE"}, ""},
        {"goose ixnosuchif0 --appid 08 --seconds 1", 1, {}, ""}, // the interface, not the number
        {"goose ixnosuchif0 --appid 010 --seconds 1", 1, {}, ""},
        {"goose lo --count 1.5", 2, {}, ""},
        {"goose ixnosuchif0 --seconds 1", 1, {}, ""},
        {"sv lo", 2, {}, ""},
        {"sv lo --appid 1 --interval 0", 2, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const auto r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        for (const std::string& piece : c.out)
            EXPECT_TRUE(contains(r.out, piece)) << piece << "\n" << r.out;
        EXPECT_TRUE(contains(r.err, c.err)) << r.err;
        if (c.status != 0) {
            EXPECT_FALSE(r.err.empty());
        }
    }
}

} // namespace
