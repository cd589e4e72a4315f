// GOOSE values end to end: the simulated IED of the station file publishes gcbPos (dsPos: two
// attributes of XCBR1.Pos, the whole data object CSWI1.Pos, two GGIO indications) on a veth pair;
// the pool, given the data set structure built from the file and every leaf path of it, delivers
// for each path exactly the value the IED serves for it over MMS, with the t of its data object.
#include "acquisition/GooseSubscriberPool.h"
#include "mms/MmsDatasetHelper.h"
#include "scl/DataExtractor.h"
#include "support/SimIed.h"
#include "support/Veth.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using namespace VorIec61850;
using Clock = std::chrono::steady_clock;

const std::string kStation = std::string(IECX_EXAMPLES_DIR) + "/station.scd";

// Every leaf of the structure as a path with FC (what a user checks in the tree).
void leafPaths(const FCDAElement& element, std::vector<std::string>& out) {
    if (element.getChildren().empty()) {
        out.push_back(element.getFullPathWithFC());
        return;
    }
    for (const auto& child : element.getChildren())
        leafPaths(*child, out);
}

MmsValue* readOver(IedConnection connection, const std::string& path) {
    IedClientError error = IED_ERROR_OK;
    const std::string fc = path.substr(path.rfind('[') + 1, 2);
    return IedConnection_readObject(connection, &error, path.substr(0, path.rfind('[')).c_str(),
                                    FunctionalConstraint_fromString(fc.c_str()));
}

TEST(GooseValuesEndToEnd, EveryCheckedPathGetsTheServedValueAndItsTime) {
    iecx::test::Veth veth;
    IECX_REQUIRE_VETH(veth);

    xmlpp::DomParser parser;
    parser.parse_file(kStation);
    DataExtractor extractor(&parser);
    const tGSE* gcbPos = nullptr;
    tConnectedAP prot1;
    for (const tConnectedAP& ap : extractor.getConnectedApCollection())
        if (ap.iedName == "PROT1")
            prot1 = ap;
    for (const tGSE& gse : prot1.gse)
        if (gse.gseControl->name == "gcbPos")
            gcbPos = &gse;
    ASSERT_NE(gcbPos, nullptr);
    auto dataSet = MmsDatasetHelper::createDatasetStructure(gcbPos->gseControl->dataSet.get());
    ASSERT_EQ(dataSet->getChildren().size(), 5u) << "five members on the wire";

    GooseIn target;
    target.interfaceName = veth.b();
    target.dataSetXml = dataSet->serializeToString();
    target.identifier.goCbRef = std::string("PROT1CTRL/LLN0$GO$gcbPos");
    target.identifier.dstMac = gcbPos->getMacAddress();
    target.identifier.appId = static_cast<int64_t>(gcbPos->getAppId());
    target.identifier.confRev = static_cast<uint64_t>(gcbPos->gseControl->confRev);
    std::vector<std::string> paths;
    leafPaths(*dataSet, paths);
    paths.push_back("CTRL/Q0CSWI1.Pos[ST]");            // the whole data object
    paths.push_back("PROT1CTRL/Q0CSWI1.Pos.stVal[ST]"); // IED name glued to the LD
    for (const std::string& p : paths)
        target.paths.emplace_back(p, nullptr);

    GooseSubscriberPool pool;
    ASSERT_TRUE(pool.setTarget(target)) << pool.getLastError();
    ASSERT_TRUE(pool.start()) << pool.getLastError();

    iecx::test::SimIed sim(kStation, "PROT1", veth.a());
    ASSERT_TRUE(sim.ok()) << sim.error();
    // New states with distinct time stamps, published at once.
    const uint64_t cswiTime = 1764940000111ULL;
    MmsValue* time = MmsValue_newUtcTimeByMsTime(cswiTime);
    ASSERT_TRUE(sim.ied().setValue("CTRL/Q0CSWI1.Pos.t", time));
    MmsValue_delete(time);
    MmsValue* on = MmsValue_newBoolean(true);
    ASSERT_TRUE(sim.ied().setValue("CTRL/GGIO1.Ind2.stVal", on));
    MmsValue_delete(on);

    IedConnection connection = IedConnection_create();
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection, &error, sim.host().c_str(), sim.port());
    ASSERT_EQ(error, IED_ERROR_OK);

    // Wait until a message carries the new Ind2 state, then compare every entry with the IED.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    MmsValueElementList values;
    const std::size_t ind2 =
        std::find(paths.begin(), paths.end(), "CTRL/GGIO1.Ind2.stVal[ST]") - paths.begin();
    ASSERT_LT(ind2, paths.size());
    const std::size_t cswi = paths.size() - 2; // CTRL/Q0CSWI1.Pos[ST]
    while (Clock::now() < deadline) {
        values = pool.getValues();
        // The message after both changes (the first frames may still carry the loaded state).
        if (values[ind2] && MmsValue_getBoolean(values[ind2]->getValue()) && values[cswi] &&
            values[cswi]->getUnixTimestamp() == cswiTime)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pool.stop();
    ASSERT_EQ(values.size(), paths.size());
    int checked = 0, timed = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        ASSERT_TRUE(values[i]) << "no value";
        const std::string served = paths[i].rfind("PROT1", 0) == 0 ? paths[i] : "PROT1" + paths[i];
        MmsValue* expected = readOver(connection, served);
        ASSERT_NE(expected, nullptr);
        EXPECT_TRUE(MmsValue_equals(values[i]->getValue(), expected));
        MmsValue_delete(expected);
        // The time stamp: the t of CSWI1.Pos, which the data object member carries; the other
        // members come without one.
        const bool cswi = paths[i].find("Q0CSWI1.Pos") != std::string::npos;
        EXPECT_EQ(values[i]->getUnixTimestamp(), cswi ? cswiTime : 0u);
        timed += cswi;
        ++checked;
    }
    EXPECT_GE(checked, 9);
    EXPECT_GE(timed, 4);
    IedConnection_destroy(connection);
}

} // namespace
