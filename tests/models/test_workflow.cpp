// The host's whole path, end to end against the simulated IED: choice -> tree -> checked leaves
// -> target -> pool -> values, compared with what the simulated IED publishes or serves.
#include "models/AcquisitionWorkflow.h"
#include "models/GeneralSettingsModel.h"
#include "models/ModelRecorder.h"
#include "models/SourceFileModel.h"
#include "models/TreeModel.h"
#include "models/VorIec61850Model.h"

#include "support/IedClient.h"
#include "support/Veth.h"

#include "mms_value.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

using namespace VorIec61850;
using namespace iecx::test;

namespace {

using Clock = std::chrono::steady_clock;

using Owned = iecx::test::Value;

std::vector<tMmsTypeEnum> allTypes() {
    std::vector<tMmsTypeEnum> types;
    for (int t = 0; t <= static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR); ++t)
        types.push_back(static_cast<tMmsTypeEnum>(t));
    return types;
}

// "PROT1CTRL/GGIO1.Ind1.stVal[ST]" -> "PROT1CTRL/GGIO1.Ind1.t"; the time of the same data object.
std::string timePathOf(const std::string& leaf) {
    const std::size_t slash = leaf.find('/');
    const std::size_t first = leaf.find('.', slash);
    const std::size_t second = leaf.find_first_of(".[", first + 1);
    return leaf.substr(0, second) + ".t";
}

std::string withoutFc(const std::string& path) {
    return path.substr(0, path.find('['));
}

class WorkflowTest : public ::testing::Test {
protected:
    // Waits until every value equals what the simulated IED holds for its path and carries the
    // time of its data object; reports the first mismatch when the time is up.
    void expectValuesOfTheIed(SimIed& sim, int seconds = 5) {
        std::string mismatch;
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        do {
            mismatch = firstMismatch(sim);
            if (mismatch.empty())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (Clock::now() < deadline);
        ADD_FAILURE() << mismatch;
    }

    std::string firstMismatch(SimIed& sim) {
        const MmsValueElementList values = workflow.getValues();
        const auto& leaves = workflow.getTarget().leaves;
        // A polled value gets its data object's time from the IED; GOOSE and reports carry a
        // time only when the data set does (then it is one of the leaves).
        std::set<std::string> carried;
        for (const auto& leaf : leaves)
            carried.insert(withoutFc(leaf.first));
        const bool polled = workflow.getTarget().mode == AcquisitionWorkflow::Mode::Polling;
        if (values.size() != leaves.size())
            return "value list of " + std::to_string(values.size()) + " for " +
                   std::to_string(leaves.size()) + " leaves";
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            const std::string path = leaves[i].first;
            Owned expected(sim.ied().getValue(path));
            if (!expected)
                return "the IED has no " + path;
            if (!values[i] || !values[i]->getValue())
                return "no value for " + path;
            if (!MmsValue_equals(values[i]->getValue(), expected.get())) {
                char got[128], want[128];
                MmsValue_printToBuffer(values[i]->getValue(), got, sizeof got);
                MmsValue_printToBuffer(expected.get(), want, sizeof want);
                return path + " is " + got + ", the IED has " + want;
            }
            const std::string timePath = timePathOf(withoutFc(path));
            Owned time(polled || carried.count(timePath) ? sim.ied().getValue(timePath) : nullptr);
            const uint64_t expectedTime = time ? MmsValue_getUtcTimeInMs(time.get()) : 0;
            if (values[i]->getUnixTimestamp() != expectedTime)
                return path + " has time " + std::to_string(values[i]->getUnixTimestamp()) + ", the IED " +
                       std::to_string(expectedTime);
        }
        return std::string();
    }

    VorIec61850Model root;
    AcquisitionWorkflow workflow{root};
};

} // namespace

TEST_F(WorkflowTest, GooseFromTheFileSourceGivesEveryCheckedLeafItsValueAndTime) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    SimIed sim(kStation, "PROT1", veth.a());
    ASSERT_TRUE(sim.ok()) << sim.error();

    root.getSettingsModel()->getFileModel()->setFilterTypes(allTypes());
    workflow.chooseProtocol(TransferProtocol::Goose);
    ASSERT_TRUE(workflow.openFile(kStation));
    ASSERT_TRUE(workflow.chooseDevice("PROT1"));
    ASSERT_TRUE(workflow.chooseElement("gcbPos"));
    workflow.checkAll(true);
    workflow.setInterface(veth.b());

    AcquisitionWorkflow::Target target;
    ASSERT_TRUE(workflow.buildTarget(target));
    EXPECT_EQ(*target.goose.identifier.goCbRef, "PROT1CTRL/LLN0$GO$gcbPos");
    EXPECT_EQ(*target.goose.identifier.confRev, 2u);
    EXPECT_TRUE(target.goose.identifier.dstMac.has_value());

    const Vor::Result started = workflow.start();
    ASSERT_TRUE(started) << started.getMessage();
    // A data-object member (Q0CSWI1.Pos) sits between attribute members: nothing after it may
    // shift.
    for (const char* reference : {"CTRL/GGIO1.Ind2.stVal", "CTRL/GGIO1.Ind1.stVal"}) {
        Owned on(MmsValue_newBoolean(true));
        ASSERT_TRUE(sim.ied().setValue(reference, on.get()));
    }
    expectValuesOfTheIed(sim);
    workflow.stop();
    EXPECT_FALSE(workflow.isRunning());
    // Values stay readable after the pool has stopped.
    for (const auto& element : workflow.getValues())
        ASSERT_TRUE(element && element->getValue());

    // The same control block chosen on the IED itself: the data set's shape comes from the
    // device's type descriptions.
    ASSERT_TRUE(workflow.connectDevice(sim.host(), sim.port()));
    workflow.chooseProtocol(TransferProtocol::Goose);
    ASSERT_TRUE(workflow.chooseElement("gcbPos"));
    workflow.checkAll(true);
    const Vor::Result again = workflow.start();
    ASSERT_TRUE(again) << again.getMessage();
    Owned off(MmsValue_newBoolean(false));
    ASSERT_TRUE(sim.ied().setValue("CTRL/GGIO1.Ind1.stVal", off.get()));
    expectValuesOfTheIed(sim);
}

TEST_F(WorkflowTest, ReportsAndPollingFromTheDeviceSource) {
    SimIed sim(kStation, "PROT1");
    ASSERT_TRUE(sim.ok()) << sim.error();
    ASSERT_TRUE(workflow.connectDevice(sim.host(), sim.port()));
    workflow.chooseProtocol(TransferProtocol::MmsReports);

    struct Case {
        const char* element;
        bool polling;
    };
    // urcbPos: data-object members beside attributes; urcbPower: a data set outside LLN0 with a
    // measured value whose time is its data object's t.
    for (const Case& c : {Case{"urcbPos01", false}, Case{"urcbPower01", false}, Case{"urcbPos01", true}}) {
        SCOPED_TRACE(std::string(c.element) + (c.polling ? " polled" : " reported"));
        ASSERT_TRUE(workflow.chooseElement(c.element));
        workflow.checkAll(true);
        workflow.setPolling(c.polling, 100);
        const Vor::Result started = workflow.start();
        ASSERT_TRUE(started) << started.getMessage();
        ASSERT_FALSE(workflow.getTarget().leaves.empty());
        // The IED changes its values for a while; once it settles, the values must be its own.
        sim.ied().changeValuesEvery(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        sim.ied().changeValuesEvery(0);
        expectValuesOfTheIed(sim);
        workflow.stop();
    }
}
