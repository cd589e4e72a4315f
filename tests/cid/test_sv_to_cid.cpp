#include "CidTestUtil.h"
#include "cid/SvToCid.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace VorIec61850;
using cidtest::readFile;
using cidtest::TempDir;
using cidtest::Written;

namespace {

std::string fcdaText(const tFCDA& f) {
    return f.ldInst + "|" + f.prefix + "|" + f.lnClass + "|" + f.lnInst + "|" + f.doName + "|" + f.daName +
           "|" + toString(f.fc);
}

} // namespace

TEST(SvToCid, WritesTheGoldenDocument) {
    TempDir dir;
    SvToCid().saveToCid(cidtest::goldenSvOut(), dir.file("SV.cid"));
    cidtest::expectGolden(dir.file("SV.cid"), "sv_golden.cid");
}

TEST(SvToCid, ChannelPathsBecomeFcdas) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]", "MU||TCTR|1|AmpSv|instMag.i|MX"},
        {"KAVEN61850MU/MMXU1.PhV.phsA.cVal.mag.f[MX]", "MU||MMXU|1|PhV|phsA.cVal.mag.f|MX"},
        // An FC that is not in the table, or none, is written empty.
        {"KAVEN61850MU/TCTR1.AmpSv.instMag.i[XX]", "MU||TCTR|1|AmpSv|instMag.i|"},
        {"KAVEN61850MU/TCTR1.AmpSv.instMag.i[]", "MU||TCTR|1|AmpSv|instMag.i|"},
        {"KAVEN61850MU/TCTR1.AmpSv.instMag.i", "MU||TCTR|1|AmpSv|instMag.i|"},
        // The IED name is dropped by its length, whatever the text; a short LD part stays whole.
        {"OTHERIED01LD0/TCTR12.AmpSv.instMag.i[MX]", "LD0||TCTR|12|AmpSv|instMag.i|MX"},
        {"MU/TCTR1.AmpSv[MX]", "MU||TCTR|1|AmpSv||MX"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fcdaText(SvToCid::channelToFcda(c.first)), c.second) << c.first;
    EXPECT_NO_THROW(SvToCid::channelToFcda(""));
    EXPECT_NO_THROW(SvToCid::channelToFcda("abc"));
}

// The golden document covers what one fill writes; a second fill replaces the templates.
TEST(SvToCid, RefillsTemplatesInsteadOfAppending) {
    SvToCid writer;
    writer.fillSclData(cidtest::goldenSvOut());
    const auto doTypes = writer.getDoTypes().size();
    writer.fillSclData(cidtest::goldenSvOut());
    EXPECT_EQ(writer.getDoTypes().size(), doTypes);
    EXPECT_EQ(writer.getLNodeTypes().size(), 6u);
    EXPECT_EQ(writer.getSubNetworks().size(), 2u);
}

TEST(SvToCid, NoChannelsStillDeclaresAllNodes) {
    TempDir dir;
    SvOut out = cidtest::goldenSvOut();
    out.channels.clear();
    SvToCid().saveToCid(out, dir.file("empty.cid"));
    const Written doc(dir.file("empty.cid"));
    ASSERT_EQ(doc.find("//x:LN0/x:DataSet").size(), 1u);
    EXPECT_EQ(doc.find("//x:LN0/x:DataSet/x:FCDA").size(), 0u);
    EXPECT_EQ(doc.find("//x:LDevice/x:LN").size(), 9u);
}

// The address parameters in fixed order and format; a MAC text without separators reads as a
// hexadecimal number (no MAC bytes), one that is no number at all is refused.
TEST(SvToCid, AddressParametersInFixedOrderAndFormat) {
    TempDir dir;
    SvOut out = cidtest::goldenSvOut();
    out.appId = 0xA;
    out.vlanId = 0xABC;
    out.vlanPriority = 7;
    out.macAddress = "01:0c:cd:04:00:ff"; // colon form reads as a MAC as well
    SvToCid().saveToCid(out, dir.file("a.cid"));
    const Written doc(dir.file("a.cid"));
    const auto smvP = doc.find("//x:SMV/x:Address/x:P");
    ASSERT_EQ(smvP.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"MAC-Address", "01-0C-CD-04-00-FF"}, {"VLAN-ID", "ABC"}, {"VLAN-PRIORITY", "7"}, {"APPID", "000A"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(dynamic_cast<xmlpp::Element*>(smvP[i])->get_attribute_value("type"), expected[i].first);
        EXPECT_EQ(Written::textOf(smvP[i]), expected[i].second);
    }
    const auto apP = doc.find("//x:ConnectedAP/x:Address/x:P");
    ASSERT_EQ(apP.size(), 6u);
    EXPECT_EQ(Written::textOf(apP[1]), "255.255.255.0");
    EXPECT_EQ(Written::textOf(apP[2]), "0.0.0.0");
    EXPECT_EQ(Written::textOf(apP[5]), "1");

    out.macAddress = "010CCD040001";
    SvToCid().saveToCid(out, dir.file("n.cid"));
    EXPECT_EQ(Written(dir.file("n.cid")).text("//x:SMV/x:Address/x:P[@type='MAC-Address']"),
              "00-00-00-00-00-00");

    out.macAddress = "not a mac";
    try {
        SvToCid().saveToCid(out, dir.file("bad.cid"));
        FAIL() << "expected the stoul error";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "stoul");
    }
    EXPECT_FALSE(cidtest::fileExists(dir.file("bad.cid")));
}
