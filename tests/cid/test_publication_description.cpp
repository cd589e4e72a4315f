#include "cid/PublicationDescription.h"

#include <gtest/gtest.h>

using namespace VorIec61850;
namespace Desc = VorIec61850::PublicationDescription;

TEST(PublicationDescription, Numbers) {
    uint64_t v = 99;
    EXPECT_TRUE(Desc::parseNumber("0x3FFF", 0xFFFF, v));
    EXPECT_EQ(v, 0x3FFFu);
    EXPECT_TRUE(Desc::parseNumber("0X0a", 0xFFFF, v));
    EXPECT_EQ(v, 10u);
    EXPECT_TRUE(Desc::parseNumber("0", 7, v));
    EXPECT_EQ(v, 0u);
    for (const char* bad :
         {"", "0x", "-1", "+1", " 1", "1 ", "12a", "0x10000", "65536", "99999999999999999999999"})
        EXPECT_FALSE(Desc::parseNumber(bad, 0xFFFF, v)) << bad;
    EXPECT_FALSE(Desc::parseNumber("8", 7, v));
}

TEST(PublicationDescription, MacAddresses) {
    EXPECT_TRUE(Desc::isMacAddress("01-0C-CD-01-00-01"));
    EXPECT_TRUE(Desc::isMacAddress("01:0c:cd:01:00:01"));
    for (const char* bad : {"", "010CCD010001", "01-0C-CD-01-00", "01-0C:CD-01-00-01", "01-0C-CD-01-00-0G"})
        EXPECT_FALSE(Desc::isMacAddress(bad)) << bad;
}

TEST(PublicationDescription, FcdaLines) {
    std::string line;
    EXPECT_EQ(Desc::fcdaLine("LD0/GGIO1.SPCSO1.stVal[ST] BOOLEAN", line), "");
    EXPECT_EQ(line, "<FCDA path=\"LD0/GGIO1.SPCSO1.stVal\" fc=\"ST\" dataType=\"BOOLEAN\"/>");
    const std::string xml = "<FCDA path=\"LD0/XCBR1.Pos.stVal\" fc=\"ST\" dataType=\"Dbpos\"/>";
    EXPECT_EQ(Desc::fcdaLine(xml, line), "");
    EXPECT_EQ(line, xml);
    for (const char* bad : {"LD0/GGIO1.SPCSO1.stVal BOOLEAN", "LD0/GGIO1.SPCSO1.stVal[ST]",
                            "LD0/GGIO1.SPCSO1.stVal[ST] BOOLEAN extra", "LD0/GGIO1.SPCSO1[ST] BOOLEAN",
                            "LD0/ABCD1.SPCSO1.stVal[ST] BOOLEAN", "LD0/GGIO1.SPCSO1.stVal[XX] BOOLEAN",
                            "LD0/GGIO1.SPC\"SO1.stVal[ST] BOOLEAN", "<FCDA path=\"LD0/GGIO1.Ind\"/>"}) {
        line = "unchanged";
        EXPECT_NE(Desc::fcdaLine(bad, line), "") << bad;
        EXPECT_EQ(line, "unchanged");
    }
}

TEST(PublicationDescription, ChannelPaths) {
    std::string path;
    EXPECT_EQ(Desc::channelPath("MU/TCTR1.AmpSv.instMag.i[MX]", path), "");
    EXPECT_EQ(path, "KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]");
    EXPECT_EQ(Desc::channelPath("KAVEN61850MU/TVTR2.VolSv.q[MX]", path), "");
    EXPECT_EQ(path, "KAVEN61850MU/TVTR2.VolSv.q[MX]");
    for (const char* bad : {"MU/TCTR1.AmpSv[MX]", "MU/TCTR1.AmpSv.instMag.i", "MU/TCTR1.AmpSv.instMag.i[XX]",
                            "/TCTR1.AmpSv.instMag.i[MX]", "MU.TCTR1/AmpSv.instMag.i[MX]",
                            "MU/TCTR.AmpSv.i[MX]", "KAVEN61850/TCTR1.AmpSv.i[MX]"})
        EXPECT_NE(Desc::channelPath(bad, path), "") << bad;
}

TEST(PublicationDescription, DescriptionFileForGoose) {
    GooseOut out;
    const std::string text = "# test set GOOSE\n"
                             "  vlan-id=0x10  \n"
                             "vlan-priority = 5\r\n"
                             "\n"
                             "dataset = DS1\n"
                             "ld-ref = LD0/LLN0\n"
                             "gocb-ref = IED1LD0/LLN0$GO$cb1\n"
                             "fcda = LD0/GGIO1.SPCSO1.stVal[ST] BOOLEAN\n"
                             "fcda = LD0/GGIO1.SPCSO1.q[ST] BIT_STRING\n";
    auto apply = [&](const std::string& k, const std::string& v) {
        return Desc::applyGooseSetting(out, k, v);
    };
    // Every key's effect is checked by the golden document written from goose.desc; here the
    // layout: comments, blank lines, spaces around and inside, CR LF line ends.
    ASSERT_EQ(Desc::parseDescription(text, apply), "");
    EXPECT_EQ(out.vlanId, 0x10u);
    EXPECT_EQ(out.vlanPriority, 5u);
    EXPECT_EQ(out.fcdaList, "<FCDA path=\"LD0/GGIO1.SPCSO1.stVal\" fc=\"ST\" dataType=\"BOOLEAN\"/>\n"
                            "<FCDA path=\"LD0/GGIO1.SPCSO1.q\" fc=\"ST\" dataType=\"BIT_STRING\"/>");
    EXPECT_EQ(Desc::checkGooseOut(out), "");

    EXPECT_EQ(Desc::parseDescription("mac = 01-0C-CD-01-00-02\nvlan-id = 4096\n", apply),
              "line 2: vlan-id wants a number from 0 to 4095 (decimal, or hexadecimal with 0x), not '4096'");
    EXPECT_EQ(Desc::parseDescription("\nnonsense\n", apply), "line 2: expected 'key = value'");
    EXPECT_EQ(Desc::parseDescription("colour = red\n", apply), "line 1: unknown setting 'colour'");

    GooseOut missing = out;
    missing.goCbRef.clear();
    EXPECT_NE(Desc::checkGooseOut(missing), "");
    missing = out;
    missing.goCbRef = "IED1LD1/LLN0$GO$cb1"; // does not hold LD0
    EXPECT_NE(Desc::checkGooseOut(missing), "");
}
