// Written CID files read back with the SCL reader give what went in. The simulated IED loading a
// written Goose.cid and publishing its GOOSE is in test_cid_sim_publish.cpp.
#include "CidTestUtil.h"
#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"
#include "scl/DataExtractor.h"

#include <gtest/gtest.h>

using namespace VorIec61850;
using cidtest::fcdaXml;
using cidtest::TempDir;

namespace {

std::vector<tConnectedAP> readBack(const std::string& path, xmlpp::DomParser& parser) {
    parser.parse_file(path);
    DataExtractor extractor(&parser);
    return extractor.getConnectedApCollection();
}

// A GSE or SMV element as "ld/cb mac appid vlan-id vlan-priority".
template <class Address> std::string addressText(const Address& a) {
    return a.ldInst + "/" + a.cbName + " " + a.getMacAddress() + " " + std::to_string(a.getAppId()) + " " +
           std::to_string(a.getVlanId()) + " " + std::to_string(a.getVlanPriority());
}

// The members of a data set, one "ld|prefix|class|inst|do|da|fc|type" line each.
std::string membersText(const tDataSet& dataSet) {
    std::string text;
    for (const tFCDA& f : dataSet.fcdas)
        text += f.ldInst + "|" + f.prefix + "|" + f.lnClass + "|" + f.lnInst + "|" + f.doName + "|" +
                f.daName + "|" + toString(f.fc) + "|" + toString(f.mmsType) + "\n";
    return text;
}

} // namespace

TEST(CidRoundTrip, GooseDocumentReadsBack) {
    TempDir dir;
    GooseOut out = cidtest::goldenGooseOut();
    out.fcdaList = cidtest::declaredMembers() + "\n" +
                   fcdaXml("LD0/GGIO1.Ind1", "ST", "BOOLEAN"); // a data object only: left out
    GooseToCid().saveToCid(out, dir.file("Goose.cid"));

    xmlpp::DomParser parser;
    const auto aps = readBack(dir.file("Goose.cid"), parser);
    ASSERT_EQ(aps.size(), 1u);
    EXPECT_EQ(aps[0].iedName + " " + aps[0].apName, "TESTIED P1");
    ASSERT_EQ(aps[0].gse.size(), 1u);
    const tGSE& gse = aps[0].gse[0];
    EXPECT_EQ(addressText(gse), "LD0/gcb01 01-0C-CD-01-00-01 16383 5 4");
    EXPECT_DOUBLE_EQ(gse.minTime.value, 10);
    EXPECT_DOUBLE_EQ(gse.maxTime.value, 1000);
    const tGSEControl& control = *gse.gseControl;
    EXPECT_EQ(control.name + " " + control.datSet + " " + control.dataSet->name, "gcb01 GooseDS GooseDS");
    EXPECT_EQ(control.confRev, 1);
    EXPECT_EQ(control.appID, "16383"); // the APPID in decimal
    EXPECT_EQ(membersText(*control.dataSet), "LD0||GGIO|1|SPCSO1|stVal|ST|BOOLEAN\n"
                                             "LD0|X|PTOC|2|Op|stVal|ST|BOOLEAN\n"
                                             "LD0||XCBR|1|Pos|stVal|ST|BIT_STRING\n"
                                             "LD0||GGIO|1|SPCSO1|q|ST|BIT_STRING\n");
}

TEST(CidRoundTrip, SvDocumentReadsBack) {
    TempDir dir;
    SvToCid().saveToCid(cidtest::goldenSvOut(), dir.file("SV.cid"));

    xmlpp::DomParser parser;
    const auto aps = readBack(dir.file("SV.cid"), parser);
    ASSERT_EQ(aps.size(), 1u);
    EXPECT_EQ(aps[0].iedName, "KAVEN61850");
    ASSERT_EQ(aps[0].smv.size(), 1u);
    const tSMV& smv = aps[0].smv[0];
    EXPECT_EQ(addressText(smv), "MU/MSVCB01 01-0C-CD-04-00-01 16384 5 4");
    const tSampledValueControl& control = *smv.svControl;
    EXPECT_EQ(control.name + " " + control.datSet, "MSVCB01 PhsMeas01");
    EXPECT_EQ(control.smpMod, tSmpMod::SmpPerPeriod);
    EXPECT_EQ(control.smpRate, 0);
    EXPECT_EQ(control.nofASDU, 0);
    // The fourth channel's FC is outside the table: written empty.
    EXPECT_EQ(membersText(*control.dataSet), "MU||TCTR|1|AmpSv|instMag.i|MX|INTEGER\n"
                                             "MU||TCTR|2|AmpSv|q|MX|BIT_STRING\n"
                                             "MU||TVTR|1|VolSv|instMag.i|MX|INTEGER\n"
                                             "MU||TVTR|4|VolSv|instMag.i||INTEGER\n");
}
