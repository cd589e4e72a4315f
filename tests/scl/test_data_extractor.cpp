#include "scl/DataExtractor.h"
#include "SclDump.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

using namespace VorIec61850;

namespace {

std::string dataFile(const std::string& name) {
    return std::string(IECX_TEST_DATA_DIR) + "/scl/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Parsed {
    xmlpp::DomParser parser;
    explicit Parsed(const std::string& path) { parser.parse_file(path); }
};

struct ParsedText {
    xmlpp::DomParser parser;
    explicit ParsedText(const std::string& text) { parser.parse_memory(text); }
};

// What each lookup makes of a parsed document: every field it fills, or "error <message>".
std::pair<std::string, std::string> bothLookups(xmlpp::DomParser& parser) {
    std::string results[2];
    const DataExtractor::Lookup lookups[2] = {DataExtractor::Lookup::Indexed, DataExtractor::Lookup::XPath};
    for (int i = 0; i < 2; ++i) {
        try {
            results[i] = dumpSubNetworks(DataExtractor(&parser, lookups[i]).getSubNetworkCollection());
        } catch (const std::exception& e) {
            results[i] = std::string("error ") + e.what();
        }
    }
    return {results[0], results[1]};
}

// The extractor's message for a file, or "" when it reads without error (both lookups alike).
std::string errorOf(const std::string& path) {
    Parsed p(path);
    const auto [indexed, xpath] = bothLookups(p.parser);
    EXPECT_EQ(indexed, xpath);
    return indexed.rfind("error ", 0) == 0 ? indexed.substr(6) : "";
}

class StationFile : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        parsed = std::make_unique<Parsed>(dataFile(GetParam()));
        extractor = std::make_unique<DataExtractor>(&parsed->parser);
        subNetworks = extractor->getSubNetworkCollection();
    }
    const tConnectedAP& relay1() const { return subNetworks.at(0).connectedAPs.at(0); }
    std::unique_ptr<Parsed> parsed;
    std::unique_ptr<DataExtractor> extractor;
    std::vector<tSubNetwork> subNetworks;
};

} // namespace

TEST_P(StationFile, SubNetworksAndAccessPoints) {
    ASSERT_EQ(subNetworks.size(), 2u);
    EXPECT_EQ(subNetworks[0].name, "StationBus");
    EXPECT_EQ(subNetworks[0].type, "8-MMS");
    EXPECT_EQ(subNetworks[0].desc, "station bus");
    EXPECT_EQ(subNetworks[1].type, ""); // absent attribute replaces the default
    // RELAY2 on the station bus has only an Address: not listed.
    ASSERT_EQ(subNetworks[0].connectedAPs.size(), 2u);
    EXPECT_EQ(relay1().iedName, "RELAY1");
    EXPECT_EQ(relay1().apName, "AP1");
    EXPECT_EQ(relay1().desc, "relay one");
    EXPECT_TRUE(relay1().address.empty());
    const tConnectedAP& ghost = subNetworks[0].connectedAPs[1];
    EXPECT_EQ(ghost.iedName, "GHOST");
    EXPECT_TRUE(ghost.gse.empty());
    EXPECT_TRUE(ghost.smv.empty());

    const auto all = extractor->getConnectedApCollection();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2].iedName, "RELAY2");
    EXPECT_EQ(all[2].apName, "AP2");
}

TEST_P(StationFile, GseAddressesAndControlBlocks) {
    ASSERT_EQ(relay1().gse.size(), 4u);
    const tGSE& g1 = relay1().gse[0];
    EXPECT_EQ(g1.ldInst, "LD0");
    EXPECT_EQ(g1.cbName, "GCB01");
    EXPECT_EQ(g1.desc, "trip");
    EXPECT_EQ(g1.getMacAddress(), "01-0C-CD-01-00-01");
    EXPECT_EQ(g1.getAppId(), 1);
    EXPECT_EQ(g1.getVlanId(), 5);
    EXPECT_EQ(g1.getVlanPriority(), 4);
    EXPECT_DOUBLE_EQ(g1.minTime.value, 4);
    EXPECT_DOUBLE_EQ(g1.maxTime.value, 1000);
    const tGSEControl& c1 = *g1.gseControl;
    EXPECT_EQ(c1.name, "GCB01");
    EXPECT_EQ(c1.appID, "RELAY1_GCB01");
    EXPECT_EQ(c1.confRev, 3);
    EXPECT_EQ(c1.type, tGSEControlTypeEnum::GOOSE);
    EXPECT_TRUE(c1.fixedOffs);
    EXPECT_EQ(c1.dataSet->name, "DS_GOOSE");
    EXPECT_EQ(c1.dataSet->desc, "trip data");

    const tGSE& g2 = relay1().gse[1];
    EXPECT_EQ(g2.getMacAddress(), "01-0C-CD-01-00-02"); // ':' form reads the same
    EXPECT_EQ(g2.getVlanPriority(), 0);
    EXPECT_DOUBLE_EQ(g2.minTime.value, 0);
    EXPECT_EQ(g2.gseControl->type, tGSEControlTypeEnum::GOOSE); // "goose"
    // First FCDA names a missing logical node: the data set ends up empty.
    EXPECT_EQ(g2.gseControl->dataSet->name, "DS_BROKEN");
    EXPECT_TRUE(g2.gseControl->dataSet->fcdas.empty());

    const tGSE& g3 = relay1().gse[2];
    EXPECT_EQ(g3.gseControl->type, tGSEControlTypeEnum::GSSE); // no type attribute
    EXPECT_EQ(g3.gseControl->datSet, "NoSuchSet");
    EXPECT_EQ(g3.gseControl->dataSet->name, "");
    EXPECT_TRUE(g3.gseControl->dataSet->fcdas.empty());

    const tGSE& g99 = relay1().gse[3]; // no such control block: defaults
    EXPECT_EQ(g99.gseControl->name, "");
    EXPECT_EQ(g99.gseControl->datSet, "");
    EXPECT_EQ(g99.getAppId(), 0x63);
}

TEST_P(StationFile, FcdaResolution) {
    const auto& fcdas = relay1().gse[0].gseControl->dataSet->fcdas;
    ASSERT_EQ(fcdas.size(), 9u);
    // LN0 member with empty lnInst; Enum stVal.
    EXPECT_EQ(fcdas[0].lnClass, "LLN0");
    EXPECT_EQ(fcdas[0].mmsType, tMmsTypeEnum::INTEGER);
    EXPECT_EQ(fcdas[0].fc, tFCEnum::ST);
    // Prefixed LN, data-object level: one record per ST attribute.
    EXPECT_EQ(fcdas[1].prefix, "Q0");
    ASSERT_EQ(fcdas[1].das.size(), 3u);
    EXPECT_EQ(fcdas[1].das[0].name, "stVal");
    EXPECT_EQ(fcdas[1].das[0].mmsType, tMmsTypeEnum::BIT_STRING); // Dbpos
    EXPECT_TRUE(fcdas[1].das[0].dchg);
    EXPECT_EQ(fcdas[1].das[1].name, "q");
    EXPECT_TRUE(fcdas[1].das[1].qchg);
    EXPECT_EQ(fcdas[1].das[2].name, "t");
    EXPECT_EQ(fcdas[1].das[2].fc, tFCEnum::ST);
    EXPECT_EQ(fcdas[1].unit, "");
    // Unprefixed LN.
    EXPECT_EQ(fcdas[2].lnClass, "CSWI");
    EXPECT_EQ(fcdas[2].mmsType, tMmsTypeEnum::BIT_STRING);
    // Attribute paths through a structure; SI unit of the data object.
    EXPECT_EQ(fcdas[3].daName, "mag.f");
    EXPECT_EQ(fcdas[3].mmsType, tMmsTypeEnum::FLOAT);
    EXPECT_EQ(fcdas[3].unit, "W");
    EXPECT_EQ(fcdas[4].mmsType, tMmsTypeEnum::BIT_STRING); // q
    EXPECT_EQ(fcdas[5].mmsType, tMmsTypeEnum::BIT_STRING); // t
    // Data-object level with a structured attribute: named by its first member.
    ASSERT_EQ(fcdas[6].das.size(), 3u);
    EXPECT_EQ(fcdas[6].das[0].name, "mag.f");
    EXPECT_EQ(fcdas[6].das[0].mmsType, tMmsTypeEnum::FLOAT);
    EXPECT_EQ(fcdas[6].das[0].type, "AnalogueValue");
    EXPECT_EQ(fcdas[6].das[1].name, "q");
    EXPECT_EQ(fcdas[6].das[2].count, ""); // absent count attribute
    EXPECT_EQ(fcdas[6].unit, "W");
    EXPECT_EQ(fcdas[7].mmsType, tMmsTypeEnum::BOOLEAN);
    EXPECT_EQ(fcdas[8].mmsType, tMmsTypeEnum::INTEGER);
}

TEST_P(StationFile, SampledValues) {
    ASSERT_EQ(relay1().smv.size(), 1u);
    const tSMV& smv = relay1().smv[0];
    EXPECT_EQ(smv.getAppId(), 0x4000);
    EXPECT_EQ(smv.getVlanId(), 7);
    EXPECT_EQ(smv.getVlanPriority(), 5);
    const tSampledValueControl& c = *smv.svControl;
    EXPECT_EQ(c.smvID, "RELAY1MU01");
    EXPECT_EQ(c.confRev, 1);
    EXPECT_EQ(c.smpRate, 80);
    EXPECT_EQ(c.nofASDU, 1);
    EXPECT_TRUE(c.multicast);
    EXPECT_EQ(c.smpMod, tSmpMod::SmpPerPeriod);
    const auto& fcdas = c.dataSet->fcdas;
    ASSERT_EQ(fcdas.size(), 4u);
    EXPECT_EQ(fcdas[0].mmsType, tMmsTypeEnum::INTEGER);
    EXPECT_EQ(fcdas[0].unit, "A");
    // An FCDA prefix matches a logical node without a prefix attribute.
    EXPECT_EQ(fcdas[2].prefix, "U");
    EXPECT_EQ(fcdas[2].unit, "V");
    ASSERT_EQ(fcdas[3].das.size(), 2u);
    EXPECT_EQ(fcdas[3].das[0].name, "instMag.i");
    EXPECT_EQ(fcdas[3].das[0].mmsType, tMmsTypeEnum::INTEGER);

    const tConnectedAP& relay2 = subNetworks[1].connectedAPs.at(0);
    const tSampledValueControl& c2 = *relay2.smv.at(0).svControl;
    EXPECT_EQ(c2.confRev, 0);   // absent
    EXPECT_FALSE(c2.multicast); // absent gives false
    EXPECT_EQ(c2.smpRate, 4000);
    EXPECT_EQ(c2.nofASDU, 2);
    EXPECT_EQ(c2.smpMod, tSmpMod::SmpPerSec);
    EXPECT_EQ(c2.dataSet->fcdas.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Editions, StationFile, ::testing::Values("station_2003.scd", "station_2007.scd"));

TEST(DataExtractor, EditionsResolveAlike) {
    Parsed a(dataFile("station_2003.scd")), b(dataFile("station_2007.scd"));
    EXPECT_EQ(dumpSubNetworks(DataExtractor(&a.parser).getSubNetworkCollection()),
              dumpSubNetworks(DataExtractor(&b.parser).getSubNetworkCollection()));
}

TEST(DataExtractor, ConversionErrors) {
    EXPECT_EQ(errorOf(dataFile("station_2003.scd")), "");
    EXPECT_EQ(errorOf(dataFile("bad_stoi_confrev.scd")), "stoi");
    EXPECT_EQ(errorOf(dataFile("bad_stoi_smprate.scd")), "stoi");
    EXPECT_EQ(errorOf(dataFile("bad_stod_mintime.scd")), "stod");
    EXPECT_EQ(errorOf(dataFile("bad_stoul_appid.scd")), "stoul");
}

TEST(DataExtractor, EmptyInputs) {
    DataExtractor none(nullptr);
    EXPECT_TRUE(none.getSubNetworkCollection().empty());
    xmlpp::DomParser unparsed;
    DataExtractor noDocument(&unparsed);
    EXPECT_TRUE(noDocument.getConnectedApCollection().empty());
    ParsedText noCommunication("<SCL xmlns='http://www.iec.ch/61850/2003/SCL'><Header id='x'/></SCL>");
    EXPECT_TRUE(DataExtractor(&noCommunication.parser).getSubNetworkCollection().empty());
    // Without a namespace nothing matches a prefixed step.
    ParsedText noNamespace("<SCL><Communication><SubNetwork name='a'/></Communication></SCL>");
    EXPECT_TRUE(DataExtractor(&noNamespace.parser).getSubNetworkCollection().empty());
    EXPECT_TRUE(
        DataExtractor(&noNamespace.parser, DataExtractor::Lookup::XPath).getSubNetworkCollection().empty());
}

TEST(DataExtractor, DuplicateIedNamesGiveNoBlocks) {
    std::string text = readFile(dataFile("station_2003.scd"));
    const std::string extra = "<IED name=\"RELAY1\"/>";
    text.insert(text.find("  <DataTypeTemplates>"), extra);
    ParsedText p(text);
    const auto aps = DataExtractor(&p.parser).getConnectedApCollection();
    ASSERT_FALSE(aps.empty());
    EXPECT_EQ(aps[0].iedName, "RELAY1");
    EXPECT_TRUE(aps[0].gse.empty());
    EXPECT_TRUE(aps[0].smv.empty());
}

TEST(DataExtractor, ApostropheInANameFailsLikeTheQuery) {
    std::string text = readFile(dataFile("station_2003.scd"));
    const std::string from = "iedName=\"RELAY1\"";
    text.replace(text.find(from), from.size(), "iedName=\"RELAY'1\"");
    ParsedText p(text);
    const auto [indexed, xpath] = bothLookups(p.parser);
    EXPECT_EQ(indexed.rfind("error ", 0), 0u) << indexed;
    EXPECT_EQ(indexed, xpath);
}

// The indexed lookups give exactly what the literal queries give, on every SCL file we have.
TEST(DataExtractor, IndexedLookupsMatchQueries) {
    std::vector<std::string> files;
    for (const std::string& dir :
         {std::string(IECX_TEST_DATA_DIR) + "/scl", std::string(IECX_EXAMPLES_DIR)}) {
        DIR* d = opendir(dir.c_str());
        if (d == nullptr)
            continue;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            for (const char* ext : {".scd", ".cid", ".icd"})
                if (name.size() > 4 && name.compare(name.size() - 4, 4, ext) == 0)
                    files.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    ASSERT_GE(files.size(), 6u);
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        Parsed p(file);
        const auto [indexed, xpath] = bothLookups(p.parser);
        EXPECT_EQ(indexed, xpath);
    }
}
