#include "models/ParamsModel.h"
#include "scl/DataExtractor.h"

#include <gtest/gtest.h>

#include <libxml++/libxml++.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace VorIec61850;

namespace {

std::vector<tConnectedAP> readAps(const std::string& path) {
    xmlpp::DomParser parser;
    parser.parse_file(path);
    DataExtractor extractor(&parser);
    return extractor.getConnectedApCollection();
}

const tConnectedAP& apNamed(const std::vector<tConnectedAP>& aps, const std::string& ied, bool withSmv) {
    for (const tConnectedAP& ap : aps) {
        if (ap.iedName == ied && !(withSmv ? ap.smv.empty() : ap.gse.empty())) {
            return ap;
        }
    }
    throw std::runtime_error("no access point " + ied);
}

std::vector<std::string> values(const ParamsModel& model) {
    std::vector<std::string> out;
    for (VorTree::Unit* unit : model.getUnits()) {
        out.push_back(unit->getText());
    }
    return out;
}

const std::vector<std::string> kEmpty(8, "");

} // namespace

TEST(ParamsModel, EightEmptyUnitsInDisplayOrderAndLocked) {
    ParamsModel model;
    std::vector<std::string> ids;
    for (VorTree::Unit* unit : model.getUnits())
        ids.push_back(unit->getId());
    EXPECT_EQ(ids, (std::vector<std::string>{"MAC-Address", "APPID", "VLAN-ID", "VLAN-PRIORITY",
                                             "DataSetReference", "CBreference", "GOOSE ID", "ConfRev"}));
    EXPECT_EQ(values(model), kEmpty);
    VorTree::StringUnit extra("x", "x", "");
    EXPECT_THROW(model.add(&extra), std::logic_error);
}

TEST(ParamsModel, ControlBlocksFromStationFile) {
    const auto aps = readAps(IECX_EXAMPLES_DIR "/station.scd");
    ParamsModel model;
    int changes = 0;
    model.getGooseIdUnit()->signalValueChanged.connect([&] { ++changes; });
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 1, 0);
    // APPID 0010 and VLAN-ID 00A are hexadecimal in the file.
    EXPECT_EQ(values(model),
              (std::vector<std::string>{"01-0C-CD-01-00-10", "16", "10", "4", "PROT1PROT/LLN0$dsTrip",
                                        "PROT1PROT/LLN0$GO$gcbTrip", "PROT1_TRIP", "1"}));
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 1, 1);
    EXPECT_EQ(values(model),
              (std::vector<std::string>{"01-0C-CD-01-00-11", "17", "10", "4", "PROT1CTRL/LLN0$dsPos",
                                        "PROT1CTRL/LLN0$GO$gcbPos", "PROT1_POS", "2"}));

    // Reports carry no publication parameters, an index without entry changes nothing, and
    // neither does the same block again.
    const auto before = values(model);
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 0, 0);
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 1, 2);
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 1, 1); // the same values: no change
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 2, 0);
    model.onSignalSetParams(apNamed(aps, "PROT1", false), 7, 0);
    EXPECT_EQ(values(model), before);

    // Sampled Values show no GOOSE ID.
    const tConnectedAP& mu = apNamed(aps, "MU1", true);
    model.onSignalSetParams(mu, 2, 0);
    EXPECT_EQ(values(model),
              (std::vector<std::string>{"01-0C-CD-04-00-01", "16384", "5", "4",
                                        "MU1MU/LLN0$" + mu.smv[0].svControl->datSet, "MU1MU/LLN0$MS$MSVCB01",
                                        " - ", std::to_string(mu.smv[0].svControl->confRev)}));
    model.onSignalClearParams();
    EXPECT_EQ(values(model), kEmpty);
    // Each change of a value reaches the host once: PROT1_TRIP, PROT1_POS, " - ", "".
    EXPECT_EQ(changes, 4);
}

TEST(ParamsModel, RecordsWithoutIedNameOrAddress) {
    // The device source delivers access points without IED name and ldInst-less blocks may
    // lack address parameters: the texts come out as the lookups give them.
    tConnectedAP ap;
    tGSE gse;
    gse.ldInst = "LD0";
    gse.gseControl->name = "gcb1";
    gse.gseControl->datSet = "ds1";
    gse.gseControl->appID = "id";
    gse.gseControl->confRev = -1; // written as unsigned 32-bit
    ap.gse.push_back(gse);
    tSMV smv;
    smv.svControl->multicast = false;
    smv.svControl->name = "usv";
    ap.smv.push_back(smv);

    ParamsModel model;
    model.onSignalSetParams(ap, 1, 0);
    EXPECT_EQ(values(model), (std::vector<std::string>{"", "0", "0", "0", "LD0/LLN0$ds1", "LD0/LLN0$GO$gcb1",
                                                       "id", "4294967295"}));
    model.onSignalSetParams(ap, 2, 0);
    EXPECT_EQ(values(model)[5], "/LLN0$US$usv");
}
