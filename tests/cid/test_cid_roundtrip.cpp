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
    GooseOut out;
    out.macAddress = "01-0C-CD-01-00-7F";
    out.appId = 0x3FFF;
    out.vlanId = 0x05;
    out.vlanPriority = 6;
    out.dataSetName = "TripDS";
    out.ldReference = "PROT/LLN0";
    out.goCbRef = "RELAY7PROT/LLN0$GO$gcbTrip";
    out.confRev = 42;
    out.minTime = 4;
    out.maxTime = 2000;
    out.fcdaList = fcdaXml("PROT/GGIO1.SPCSO1.stVal", "ST", "BOOLEAN") + "\n" +
                   fcdaXml("PROT/XPTOC2.Op.stVal", "ST", "BOOLEAN") + "\n" +
                   fcdaXml("PROT/XCBR1.Pos.stVal", "ST", "Dbpos") + "\n" +
                   fcdaXml("PROT/GGIO1.SPCSO1.q", "ST", "BIT_STRING");
    const std::string path = dir.file("Goose.cid");
    GooseToCid().saveToCid(out, path);

    xmlpp::DomParser parser;
    const auto aps = readBack(path, parser);
    ASSERT_EQ(aps.size(), 1u);
    EXPECT_EQ(aps[0].iedName, "RELAY7");
    EXPECT_EQ(aps[0].apName, "P1");
    ASSERT_EQ(aps[0].gse.size(), 1u);
    const tGSE& gse = aps[0].gse[0];
    EXPECT_EQ(gse.ldInst, "PROT");
    EXPECT_EQ(gse.cbName, "gcbTrip");
    EXPECT_EQ(gse.getMacAddress(), "01-0C-CD-01-00-7F");
    EXPECT_EQ(gse.getAppId(), 0x3FFF);
    EXPECT_EQ(gse.getVlanId(), 0x05);
    EXPECT_EQ(gse.getVlanPriority(), 6);
    EXPECT_DOUBLE_EQ(gse.minTime.value, 4);
    EXPECT_DOUBLE_EQ(gse.maxTime.value, 2000);

    const tGSEControl& control = *gse.gseControl;
    EXPECT_EQ(control.name, "gcbTrip");
    EXPECT_EQ(control.datSet, "TripDS");
    EXPECT_EQ(control.confRev, 42);
    EXPECT_EQ(control.appID, "16383"); // the APPID in decimal
    const tDataSet& dataSet = *control.dataSet;
    EXPECT_EQ(dataSet.name, "TripDS");
    ASSERT_EQ(dataSet.fcdas.size(), 4u);
    const std::vector<
        std::tuple<std::string, std::string, std::string, std::string, std::string, tMmsTypeEnum>>
        expected = {
            {"", "GGIO", "1", "SPCSO1", "stVal", tMmsTypeEnum::BOOLEAN},
            {"X", "PTOC", "2", "Op", "stVal", tMmsTypeEnum::BOOLEAN},
            {"", "XCBR", "1", "Pos", "stVal", tMmsTypeEnum::BIT_STRING},
            {"", "GGIO", "1", "SPCSO1", "q", tMmsTypeEnum::BIT_STRING},
        };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const tFCDA& f = dataSet.fcdas[i];
        EXPECT_EQ(f.ldInst, "PROT");
        EXPECT_EQ(std::make_tuple(f.prefix, f.lnClass, f.lnInst, f.doName, f.daName, f.mmsType), expected[i])
            << i;
        EXPECT_EQ(f.fc, tFCEnum::ST);
    }
}

TEST(CidRoundTrip, SvDocumentReadsBack) {
    TempDir dir;
    SvOut out;
    out.macAddress = "01-0C-CD-04-00-2A";
    out.appId = 0x4001;
    out.vlanId = 0x123;
    out.vlanPriority = 5;
    out.channels.emplace_back("KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]", nullptr, 0, 0);
    out.channels.emplace_back("KAVEN61850MU/TCTR1.AmpSv.q[MX]", nullptr, 0, 0);
    out.channels.emplace_back("KAVEN61850MU/TVTR3.VolSv.instMag.i[MX]", nullptr, 0, 0);
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
    EXPECT_EQ(smv.getMacAddress(), "01-0C-CD-04-00-2A");
    EXPECT_EQ(smv.getAppId(), 0x4001);
    EXPECT_EQ(smv.getVlanId(), 0x123);
    EXPECT_EQ(smv.getVlanPriority(), 5);

    const tSampledValueControl& control = *smv.svControl;
    EXPECT_EQ(control.name, "MSVCB01");
    EXPECT_EQ(control.datSet, "PhsMeas01");
    EXPECT_EQ(control.smpMod, tSmpMod::SmpPerPeriod);
    EXPECT_EQ(control.smpRate, 0);
    EXPECT_EQ(control.nofASDU, 0);
    ASSERT_EQ(control.dataSet->fcdas.size(), 3u);
    const tFCDA& current = control.dataSet->fcdas[0];
    EXPECT_EQ(current.lnClass, "TCTR");
    EXPECT_EQ(current.doName, "AmpSv");
    EXPECT_EQ(current.daName, "instMag.i");
    EXPECT_EQ(current.fc, tFCEnum::MX);
    EXPECT_EQ(current.mmsType, tMmsTypeEnum::INTEGER);
    EXPECT_EQ(control.dataSet->fcdas[1].mmsType, tMmsTypeEnum::BIT_STRING);
    EXPECT_EQ(control.dataSet->fcdas[2].lnInst, "3");
    EXPECT_EQ(control.dataSet->fcdas[2].mmsType, tMmsTypeEnum::INTEGER);
}
