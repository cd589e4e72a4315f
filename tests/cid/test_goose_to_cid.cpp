#include "CidTestUtil.h"
#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

using namespace VorIec61850;
using cidtest::fcdaXml;
using cidtest::readFile;
using cidtest::TempDir;
using cidtest::Written;

TEST(GooseToCid, WritesTheGoldenDocument) {
    TempDir dir;
    GooseToCid().saveToCid(cidtest::goldenGooseOut(), dir.file("Goose.cid"));
    cidtest::expectGolden(dir.file("Goose.cid"), "goose_golden.cid");
}

struct ParseCase {
    std::string line;
    std::vector<std::string> expected; // ldInst, prefix, lnClass, lnInst, doName, daName, fc, dataType
};

TEST(GooseToCid, ParsesFcdaLines) {
    const std::vector<ParseCase> cases = {
        {fcdaXml("LD0/GGIO1.SPCSO1.stVal", "ST", "BOOLEAN"),
         {"LD0", "", "GGIO", "1", "SPCSO1", "stVal", "ST", "BOOLEAN"}},
        {fcdaXml("PROT/XPTOC2.Op.general", "ST", "BOOLEAN"),
         {"PROT", "X", "PTOC", "2", "Op", "general", "ST", "BOOLEAN"}},
        // Two class names: the one listed first (GGIO before PTOC) decides, wherever it stands.
        {fcdaXml("LD0/PTOCGGIO3.Op.general", "ST", "BOOLEAN"),
         {"LD0", "PTOC", "GGIO", "3", "Op", "general", "ST", "BOOLEAN"}},
        // A structured attribute keeps its inner dots; dots right after the data object are skipped.
        {fcdaXml("LD0/MMXU1.PhV.phsA.cVal.mag.f", "MX", "FLOAT"),
         {"LD0", "", "MMXU", "1", "PhV", "phsA.cVal.mag.f", "MX", "FLOAT"}},
        {fcdaXml("LD0/GGIO1.Ind1..stVal", "ST", "BOOLEAN"),
         {"LD0", "", "GGIO", "1", "Ind1", "stVal", "ST", "BOOLEAN"}},
        // Attribute order does not matter.
        {"<FCDA dataType=\"Dbpos\" fc=\"ST\" path=\"LD0/XCBR1.Pos.stVal\"/>",
         {"LD0", "", "XCBR", "1", "Pos", "stVal", "ST", "Dbpos"}},
        {fcdaXml("LD0/GGIO.SPCSO1.stVal", "ST", "BOOLEAN"),
         {"LD0", "", "GGIO", "", "SPCSO1", "stVal", "ST", "BOOLEAN"}},
    };
    const GooseToCid writer;
    for (const auto& c : cases) {
        const auto r = writer.parseFcdaString(c.line);
        EXPECT_EQ((std::vector<std::string>{r.ldInst, r.prefix, r.lnClass, r.lnInst, r.doName, r.daName, r.fc,
                                            r.dataType}),
                  c.expected)
            << c.line;
    }
}

TEST(GooseToCid, RejectsMalformedFcdaLines) {
    const std::vector<std::string> lines = {
        "",
        fcdaXml("LD0/GGIO1.Ind1", "ST", "BOOLEAN"),                     // data object only
        "<FCDA path=\"LD0/GGIO1.SPCSO1.stVal\" fc=\"ST\"/>",            // no dataType
        "<FCDA path=\"LD0/GGIO1.SPCSO1.stVal\" dataType=\"BOOLEAN\"/>", // no fc
        "<FCDA fc=\"ST\" dataType=\"BOOLEAN\"/>",                       // no path
        fcdaXml("LD0/ABCD1.Op.general", "ST", "BOOLEAN"),               // no known class
        fcdaXml("LLN0.Mod.stVal", "ST", "Dbpos") + " no slash",         // no '/'
        "<FCDA path=\"LD0/GGIO1.SPCSO1.stVal",                          // unclosed
        "<FCDA fc=\"ST\" dataType=\"BOOLEAN\" path=\"LD0/GGIO1.Ind1.",  // nothing after the dots
        "<FCDA path=\"LD0/LPHD1.PhyNam.vendor\" fc=\"DC\" dataType=\"VISIBLE_STRING\"/>", // LPHD not listed
    };
    const GooseToCid writer;
    for (const auto& line : lines) {
        const auto r = writer.parseFcdaString(line);
        EXPECT_TRUE(r.ldInst.empty() && r.prefix.empty() && r.lnClass.empty() && r.lnInst.empty() &&
                    r.doName.empty() && r.daName.empty() && r.fc.empty() && r.dataType.empty())
            << line;
    }
    // An empty logical device parses but the writer leaves the member out.
    EXPECT_TRUE(writer.parseFcdaString(fcdaXml("/GGIO1.SPCSO1.stVal", "ST", "BOOLEAN")).ldInst.empty());
}

TEST(GooseToCid, DerivesNamesFromReferences) {
    TempDir dir;
    struct Case {
        std::string ldRef, goCbRef, ied, ld, cb;
    };
    const std::vector<Case> cases = {
        {"LD0/LLN0", "TESTIEDLD0/LLN0$GO$gcb01", "TESTIED", "LD0", "gcb01"},
        {"LD0", "TESTIEDLD0/LLN0$GO$gcb01", "", "", "gcb01"},         // no '/' in the LD reference
        {"LD0/LLN0", "TESTIEDLD1/LLN0$GO$gcb01", "", "LD0", "gcb01"}, // head without the LD
        {"LD0/LLN0", "TESTIEDLD0", "", "LD0", "TESTIEDLD0"},          // no '/', no '$'
        {"CTRL/LLN0", "BAYCTRL/LLN0$GO$Trip", "BAY", "CTRL", "Trip"},
        {"LD0/LLN0", "LD0/LLN0$GO$x", "", "LD0", "x"}, // IED name empty
    };
    for (const auto& c : cases) {
        GooseOut out = cidtest::goldenGooseOut();
        out.ldReference = c.ldRef;
        out.goCbRef = c.goCbRef;
        GooseToCid writer;
        writer.saveToCid(out, dir.file("names.cid"));
        EXPECT_EQ(writer.getIedName(), c.ied) << c.goCbRef;
        EXPECT_EQ(writer.getLdInst(), c.ld) << c.ldRef;
        EXPECT_EQ(writer.getGseControlName(), c.cb) << c.goCbRef;
        Written doc(dir.file("names.cid"));
        EXPECT_EQ(doc.attribute("/x:SCL/x:IED", "name"), c.ied);
        EXPECT_EQ(doc.attribute("//x:ConnectedAP", "iedName"), c.ied);
        EXPECT_EQ(doc.attribute("//x:LDevice", "inst"), c.ld);
        EXPECT_EQ(doc.attribute("//x:GSE", "cbName"), c.cb);
        EXPECT_EQ(doc.attribute("//x:GSEControl", "name"), c.cb);
    }
}

TEST(GooseToCid, FormatsNumbers) {
    TempDir dir;
    struct Case {
        uint64_t appId, vlanId, vlanPriority, minTime, confRev;
        std::string mac, appIdHex, vlanHex, priority, appIdDecimal;
    };
    // The MAC address is written as given.
    const std::vector<Case> cases = {
        {0x3FFF, 5, 4, 10, 1, "01-0C-CD-01-00-01", "3FFF", "005", "4", "16383"},
        {0xA, 0xABC, 7, 0, 0, "01:0c:cd:01:00:ff", "000A", "ABC", "7", "10"},
        {0x12345, 0x1234, 12, 4294967296ULL, 4294967295ULL, "01-0C-CD-01-00-01", "12345", "1234", "12",
         "74565"},
        {0, 0, 0, 2, 3, "01-0C-CD-01-00-01", "0000", "000", "0", "0"},
    };
    for (const auto& c : cases) {
        GooseOut out = cidtest::goldenGooseOut();
        out.appId = c.appId;
        out.vlanId = c.vlanId;
        out.vlanPriority = c.vlanPriority;
        out.minTime = c.minTime;
        out.confRev = c.confRev;
        out.macAddress = c.mac;
        GooseToCid().saveToCid(out, dir.file("n.cid"));
        Written doc(dir.file("n.cid"));
        EXPECT_EQ(doc.text("//x:GSE/x:Address/x:P[@type='APPID']"), c.appIdHex);
        EXPECT_EQ(doc.text("//x:GSE/x:Address/x:P[@type='VLAN-ID']"), c.vlanHex);
        EXPECT_EQ(doc.text("//x:GSE/x:Address/x:P[@type='VLAN-PRIORITY']"), c.priority);
        EXPECT_EQ(doc.text("//x:GSE/x:Address/x:P[@type='MAC-Address']"), c.mac);
        EXPECT_EQ(doc.text("//x:GSE/x:MinTime"), std::to_string(c.minTime));
        EXPECT_EQ(doc.attribute("//x:GSEControl", "appID"), c.appIdDecimal);
        EXPECT_EQ(doc.attribute("//x:GSEControl", "confRev"), std::to_string(c.confRev));
    }
}

TEST(GooseToCid, CollectsLogicalNodesAndItemsInSetOrder) {
    TempDir dir;
    GooseOut out = cidtest::goldenGooseOut();
    out.fcdaList = fcdaXml("LD0/aGGIO1.SPCSO1.stVal", "ST", "BOOLEAN") + "\n" +
                   fcdaXml("LD0/XPTOC2.Op.general", "ST", "BOOLEAN") + "\n" +
                   fcdaXml("LD0/GGIO1.Pos.stVal", "ST", "Dbpos") + "\n" +
                   fcdaXml("LD0/GGIO1.SPCSO1.stVal", "ST", "BOOLEAN") + "\n" + // same LN, same item
                   fcdaXml("LD0/GGIO1.SPCSO1.q", "ST", "BIT_STRING");          // no item
    GooseToCid writer;
    writer.saveToCid(out, dir.file("sets.cid"));

    std::vector<std::string> lnTypes;
    for (const auto& ln : writer.getLnItems())
        lnTypes.push_back(ln.lnType + "|" + ln.prefix + "|" + ln.lnClass + "|" + ln.inst);
    // Byte order: upper case sorts before lower case.
    EXPECT_EQ(lnTypes, (std::vector<std::string>{"GGIO||GGIO|1", "XPTOC|X|PTOC|2", "aGGIO|a|GGIO|1"}));
    std::vector<std::string> types;
    for (const auto& t : writer.getLNodeTypeAttributes())
        types.push_back(t.id + "|" + t.lnClass);
    EXPECT_EQ(types, (std::vector<std::string>{"GGIO|GGIO", "XPTOC|PTOC", "aGGIO|GGIO"}));
    std::vector<std::string> items;
    for (const auto& item : writer.getLNodeTypeItems())
        items.push_back(item.name + "|" + item.type);
    EXPECT_EQ(items, (std::vector<std::string>{"Op|SPCSO_1", "Pos|DPCSO_1", "SPCSO1|SPCSO_1"}));

    Written doc(dir.file("sets.cid"));
    EXPECT_EQ(doc.find("//x:DataSet/x:FCDA").size(), 5u);
    auto lns = doc.find("//x:LDevice/x:LN");
    ASSERT_EQ(lns.size(), 3u);
    EXPECT_EQ(dynamic_cast<xmlpp::Element*>(lns[2])->get_attribute_value("lnType"), "aGGIO");
    // Every item is written into every dynamic type.
    for (const char* type : {"GGIO", "XPTOC", "aGGIO"}) {
        const std::string base = std::string("//x:LNodeType[@id='") + type + "']/x:DO";
        EXPECT_EQ(doc.find(base + "[@name='Op']").size(), 1u) << type;
        EXPECT_EQ(doc.find(base + "[@name='Pos']").size(), 1u) << type;
        // The item SPCSO1 and the numbered SPCSO1 are both written.
        EXPECT_EQ(doc.find(base + "[@name='SPCSO1']").size(), 2u) << type;
    }

    // The sets are kept: a second save with another list still declares the first one's nodes.
    out.fcdaList = fcdaXml("LD0/MMXU1.TotW.mag.f", "MX", "FLOAT");
    writer.saveToCid(out, dir.file("second.cid"));
    Written second(dir.file("second.cid"));
    EXPECT_EQ(second.find("//x:DataSet/x:FCDA").size(), 1u);
    EXPECT_EQ(second.find("//x:LDevice/x:LN").size(), 4u);
}

// Both writers put an unnamed document into the host's cache directory.
TEST(CidWriters, WriteDefaultAndGivenLocations) {
    TempDir dir;
    {
        iecx::test::ScopedEnv cache("XDG_CACHE_HOME", dir.path().c_str()); // the host's cache directory
        EXPECT_EQ(GooseToCid::targetPath(""), dir.path() + "/vor/Goose.cid");
        EXPECT_EQ(SvToCid::targetPath(""), dir.path() + "/vor/SV.cid");
        GooseToCid().saveToCid(cidtest::goldenGooseOut(), "");
        SvToCid().saveToCid(cidtest::goldenSvOut(), "");
        EXPECT_TRUE(cidtest::fileExists(dir.path() + "/vor/Goose.cid"));
        EXPECT_TRUE(cidtest::fileExists(dir.path() + "/vor/SV.cid"));
    }
    const std::string nested = dir.file("a/b/c/mine.cid");
    EXPECT_EQ(GooseToCid::targetPath(nested), nested);
    GooseToCid().saveToCid(cidtest::goldenGooseOut(), nested);
    EXPECT_EQ(readFile(nested), readFile(dir.path() + "/vor/Goose.cid"));
}

TEST(GooseToCid, UnwritableTargetRaises) {
    TempDir dir;
    // The target is an existing directory: the stream cannot be opened and the XML library's
    // write fails.
    EXPECT_ANY_THROW(GooseToCid().saveToCid(cidtest::goldenGooseOut(), dir.path()));
}
