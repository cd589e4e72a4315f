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

// Everything the SCL reader makes of a written document: per access point its names, its control
// blocks with their addresses and settings, and their members.
std::string readBack(const std::string& path) {
    xmlpp::DomParser parser;
    parser.parse_file(path);
    std::string text;
    for (const tConnectedAP& ap : DataExtractor(&parser).getConnectedApCollection()) {
        text += ap.iedName + " " + ap.apName + "\n";
        for (const tGSE& gse : ap.gse) {
            const tGSEControl& c = *gse.gseControl;
            text += "GSE " + addressText(gse) + " min " + std::to_string(int(gse.minTime.value)) + " max " +
                    std::to_string(int(gse.maxTime.value)) + "\n" + c.name + " " + c.datSet + " " +
                    c.dataSet->name + " confRev " + std::to_string(c.confRev) + " appID " + c.appID + "\n" +
                    membersText(*c.dataSet);
        }
        for (const tSMV& smv : ap.smv) {
            const tSampledValueControl& c = *smv.svControl;
            text += "SMV " + addressText(smv) + "\n" + c.name + " " + c.datSet + " " + toString(c.smpMod) +
                    " smpRate " + std::to_string(c.smpRate) + " nofASDU " + std::to_string(c.nofASDU) + "\n" +
                    membersText(*c.dataSet);
        }
    }
    return text;
}

} // namespace

TEST(CidRoundTrip, WrittenDocumentsReadBack) {
    TempDir dir;
    GooseOut goose = cidtest::goldenGooseOut();
    goose.fcdaList = cidtest::declaredMembers() + "\n" +
                     fcdaXml("LD0/GGIO1.Ind1", "ST", "BOOLEAN"); // a data object only: left out
    GooseToCid().saveToCid(goose, dir.file("Goose.cid"));
    SvToCid().saveToCid(cidtest::goldenSvOut(), dir.file("SV.cid"));
    // The APPID of a GSEControl is written in decimal; the fourth SV channel's FC is outside the
    // table and written empty.
    EXPECT_EQ(readBack(dir.file("Goose.cid")), "TESTIED P1\n"
                                               "GSE LD0/gcb01 01-0C-CD-01-00-01 16383 5 4 min 10 max 1000\n"
                                               "gcb01 GooseDS GooseDS confRev 1 appID 16383\n"
                                               "LD0||GGIO|1|SPCSO1|stVal|ST|BOOLEAN\n"
                                               "LD0|X|PTOC|2|Op|stVal|ST|BOOLEAN\n"
                                               "LD0||XCBR|1|Pos|stVal|ST|BIT_STRING\n"
                                               "LD0||GGIO|1|SPCSO1|q|ST|BIT_STRING\n");
    EXPECT_EQ(readBack(dir.file("SV.cid")), "KAVEN61850 P1\n"
                                            "SMV MU/MSVCB01 01-0C-CD-04-00-01 16384 5 4\n"
                                            "MSVCB01 PhsMeas01 SmpPerPeriod smpRate 0 nofASDU 0\n"
                                            "MU||TCTR|1|AmpSv|instMag.i|MX|INTEGER\n"
                                            "MU||TCTR|2|AmpSv|q|MX|BIT_STRING\n"
                                            "MU||TVTR|1|VolSv|instMag.i|MX|INTEGER\n"
                                            "MU||TVTR|4|VolSv|instMag.i||INTEGER\n");
}
