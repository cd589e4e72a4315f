// Written CID files read back with the SCL reader give what went in.
#include "CidTestUtil.h"
#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"
#include "scl/DataExtractor.h"

#include <libxml++/libxml++.h>

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

} // namespace

// The simulated IED loading a written Goose.cid and publishing its GOOSE is covered in
// test_cid_sim_publish.cpp.
TEST(CidRoundTrip, GooseDocumentReadsBack) {
    TempDir dir;
    GooseOut out = cidtest::goldenGooseOut();
    out.fcdaList += "\n" + fcdaXml("LD0/GGIO1.Ind1", "ST", "BOOLEAN") + // a data object only: left out
                    "\n" + fcdaXml("LD0/GGIO1.SPCSO1.q", "ST", "BIT_STRING");
    const std::string path = dir.file("Goose.cid");
    GooseToCid().saveToCid(out, path);

    xmlpp::DomParser parser;
    const auto aps = readBack(path, parser);
    ASSERT_EQ(aps.size(), 1u);
    EXPECT_EQ(aps[0].iedName, "TESTIED");
    EXPECT_EQ(aps[0].apName, "P1");
    ASSERT_EQ(aps[0].gse.size(), 1u);
    const tGSE& gse = aps[0].gse[0];
    EXPECT_EQ(gse.ldInst, "LD0");
    EXPECT_EQ(gse.cbName, "gcb01");
    EXPECT_EQ(gse.getMacAddress(), "01-0C-CD-01-00-01");
    EXPECT_EQ(gse.getAppId(), 0x3FFF);
    EXPECT_EQ(gse.getVlanId(), 5);
    EXPECT_EQ(gse.getVlanPriority(), 4);
    EXPECT_DOUBLE_EQ(gse.minTime.value, 10);
    EXPECT_DOUBLE_EQ(gse.maxTime.value, 1000);

    const tGSEControl& control = *gse.gseControl;
    EXPECT_EQ(control.name, "gcb01");
    EXPECT_EQ(control.datSet, "GooseDS");
    EXPECT_EQ(control.confRev, 1);
    EXPECT_EQ(control.appID, "16383"); // the APPID in decimal
    const tDataSet& dataSet = *control.dataSet;
    EXPECT_EQ(dataSet.name, "GooseDS");
    ASSERT_EQ(dataSet.fcdas.size(), 5u);
    const std::vector<std::string> expected = {
        "|GGIO|1|SPCSO1|stVal|ST|BOOLEAN", "X|PTOC|2|Op|general|ST|BOOLEAN",
        "|GGIO|2|DPCSO1|stVal|ST|BIT_STRING", "|GGIO|1|AnIn1|mag.f|MX|FLOAT",
        "|GGIO|1|SPCSO1|q|ST|BIT_STRING"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const tFCDA& f = dataSet.fcdas[i];
        EXPECT_EQ(f.ldInst, "LD0");
        EXPECT_EQ(f.prefix + "|" + f.lnClass + "|" + f.lnInst + "|" + f.doName + "|" + f.daName + "|" +
                      toString(f.fc) + "|" + toString(f.mmsType),
                  expected[i]);
    }
}

TEST(CidRoundTrip, SvDocumentReadsBack) {
    TempDir dir;
    const SvOut out = cidtest::goldenSvOut();
    const std::string path = dir.file("SV.cid");
    SvToCid().saveToCid(out, path);

    xmlpp::DomParser parser;
    const auto aps = readBack(path, parser);
    ASSERT_EQ(aps.size(), 1u);
    EXPECT_EQ(aps[0].iedName, "KAVEN61850");
    ASSERT_EQ(aps[0].smv.size(), 1u);
    const tSMV& smv = aps[0].smv[0];
    EXPECT_EQ(smv.ldInst, "MU");
    EXPECT_EQ(smv.cbName, "MSVCB01");
    EXPECT_EQ(smv.getMacAddress(), "01-0C-CD-04-00-01");
    EXPECT_EQ(smv.getAppId(), 0x4000);
    EXPECT_EQ(smv.getVlanId(), 5);
    EXPECT_EQ(smv.getVlanPriority(), 4);

    const tSampledValueControl& control = *smv.svControl;
    EXPECT_EQ(control.name, "MSVCB01");
    EXPECT_EQ(control.datSet, "PhsMeas01");
    EXPECT_EQ(control.smpMod, tSmpMod::SmpPerPeriod);
    EXPECT_EQ(control.smpRate, 0);
    EXPECT_EQ(control.nofASDU, 0);
    ASSERT_EQ(control.dataSet->fcdas.size(), 4u);
    const tFCDA& current = control.dataSet->fcdas[0];
    EXPECT_EQ(current.lnClass, "TCTR");
    EXPECT_EQ(current.doName, "AmpSv");
    EXPECT_EQ(current.daName, "instMag.i");
    EXPECT_EQ(current.fc, tFCEnum::MX);
    EXPECT_EQ(current.mmsType, tMmsTypeEnum::INTEGER);
    EXPECT_EQ(control.dataSet->fcdas[1].mmsType, tMmsTypeEnum::BIT_STRING);
    EXPECT_EQ(control.dataSet->fcdas[3].lnInst, "4");
    EXPECT_EQ(control.dataSet->fcdas[2].mmsType, tMmsTypeEnum::INTEGER);
}
