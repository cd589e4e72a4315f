// Loading of the simulated IED's model from SCL: names, FCs, types and initial values.
#include "sim/Model.h"

#include "mms_type_spec.h"
#include "support/IedClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

using namespace iecx::sim;
using iecx::test::Value;

namespace {

const std::string kSimple = std::string(IECX_TEST_DATA_DIR) + "/sim/simple.cid";

class ModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { model = Model::load(kSimple, "SIMIED").release(); }
    static void TearDownTestSuite() {
        delete model;
        model = nullptr;
    }
    static Model* model;

    static MmsValue* read(const std::string& domain, const std::string& item) {
        ModelNode* node = model->find(domain, item);
        return node ? model->read(node) : nullptr;
    }
};
Model* ModelTest::model = nullptr;

bool contains(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

} // namespace

// Without a name the first IED is served; a name that is not there is an error.
TEST_F(ModelTest, IedChoiceAndBadInputGiveReadableErrors) {
    EXPECT_EQ(Model::load(kSimple)->iedName(), "OTHERIED");
    EXPECT_THROW(Model::load(kSimple, "NOPE"), std::runtime_error);
    EXPECT_THROW(Model::load("/nonexistent/file.cid"), std::runtime_error);
    const std::string path = ::testing::TempDir() + "/sim_bad.cid";
    const struct {
        const char* content;
        const char* message;
    } cases[] = {
        {"<SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\"><IED name=\"A\"><AccessPoint name=\"P\"><Server>"
         "<LDevice inst=\"L\"><LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"missing\"/></LDevice></Server>"
         "</AccessPoint></IED></SCL>",
         "missing"},
        {"<notscl/>", ""},
        {"<SCL><IED name=\"A\"", ""},
    };
    for (const auto& c : cases) {
        std::ofstream(path) << c.content;
        try {
            Model::load(path);
            ADD_FAILURE() << "expected an error for " << c.content;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST_F(ModelTest, NamesFollowTheFcGroupedMapping) {
    Domain* ld0 = model->domain("SIMIEDLD0");
    ASSERT_NE(ld0, nullptr);
    auto names = ld0->variableNames();
    // Logical nodes in document order, LLN0 first; FC groups alphabetical; attributes in template order.
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "LLN0");
    EXPECT_EQ(names[1], "LLN0$BR");
    auto pos = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_LT(pos("LLN0$CF"), pos("LLN0$DC"));
    EXPECT_LT(pos("LLN0$DC"), pos("LLN0$ST"));
    EXPECT_LT(pos("LLN0$ST$Mod$stVal"), pos("LLN0$ST$Mod$q"));
    EXPECT_LT(pos("LLN0$ST$Mod$q"), pos("LLN0$ST$Mod$t"));
    EXPECT_LT(pos("LLN0$ST$Mod$t"), pos("LPHD1"));
    EXPECT_LT(pos("LPHD1"), pos("GGIO1"));
    for (const char* n : {"LLN0$CF$Mod$ctlModel", "LLN0$EX$NamPlt$ldNs", "GGIO1$MX$AnIn1$mag$f",
                          "GGIO1$CF$AnIn1$units$SIUnit", "MMXU1$MX$PhV$phsA$cVal$ang$f", "MMXU1$DC$PhV$d",
                          "GGIO1$MX$Harm$har", "LLN0$RP$urcbStatus01$RptEna", "LLN0$RP$urcbStatus02$GI",
                          "LLN0$BR$brcbMeas$EntryID", "LLN0$GO$gcbStatus$DstAddress$APPID"})
        EXPECT_TRUE(contains(names, n)) << n;
    // Arrays are served whole; their elements are not named.
    EXPECT_FALSE(contains(names, "GGIO1$MX$Harm$har$mag"));
    // A DO appears only under the FCs it has attributes of.
    EXPECT_FALSE(contains(names, "GGIO1$MX$Ind1"));
    EXPECT_FALSE(contains(names, "LLN0$RP$urcbStatus"));
    EXPECT_EQ(ld0->dataSetNames(), (std::vector<std::string>{"LLN0$Status", "LLN0$Measurements"}));
}

// Types and their sizes are checked through the client in test_client.cpp.

// Initial values come from the instances, then the templates' defaults, as MmsValue_printToBuffer
// writes them. Those read through a client, and the control blocks' configuration, are checked in
// test_client.cpp, test_reports.cpp and test_goose.cpp.
TEST_F(ModelTest, InitialValues) {
    const struct {
        const char* domain;
        const char* item;
        const char* printed;
    } cases[] = {
        {"SIMIEDLD0", "GGIO1$ST$Ind2$stVal", "false"},
        {"SIMIEDLD0", "GGIO1$CF$AnIn1$units$SIUnit", "29"},    // enumeration text to its ord
        {"SIMIEDLD0", "GGIO1$CF$AnIn1$units$multiplier", "3"}, // BDA default
        {"SIMIEDLD0", "GGIO1$CF$AnIn1$db", "1000"},
        {"SIMIEDLD0", "LLN0$ST$Beh$stVal", "1"}, // DA default "on"
        {"SIMIEDLD0", "LLN0$DC$NamPlt$d", "simulated device"},
        {"SIMIEDLD0", "XCBR1$CF$BlkOpn$ctlModel", "1"},
        {"SIMIEDPROT", "PTOCPTOC1$SP$StrVal$setMag$f", "1.250000"},
        {"SIMIEDPROT", "PTOCPTOC1$SP$OpDlTmms$setVal", "150"},
        {"SIMIEDLD0", "LLN0$GO$gcbStatus$MaxTime", "2000"},
    };
    for (const auto& c : cases) {
        Value v(read(c.domain, c.item));
        ASSERT_TRUE(v) << c.item;
        char text[128];
        EXPECT_STREQ(MmsValue_printToBuffer(v.get(), text, sizeof text), c.printed) << c.item;
    }
}

TEST_F(ModelTest, ReferencesResolveWithAndWithoutFc) {
    ModelNode* stVal = model->find("SIMIEDLD0", "GGIO1$ST$Ind1$stVal");
    EXPECT_EQ(model->findReference("SIMIEDLD0/GGIO1.Ind1.stVal"), stVal);
    EXPECT_EQ(model->findReference("LD0/GGIO1.Ind1.stVal[ST]"), stVal);
    EXPECT_EQ(model->findReference("SIMIEDLD0/GGIO1$ST$Ind1$stVal"), stVal);
    EXPECT_EQ(model->findReference("LD0/GGIO1.Ind1.stVal[MX]"), nullptr);
    EXPECT_EQ(model->findReference("GGIO1.Ind1.stVal"), nullptr);
    EXPECT_EQ(model->findReference("LD0/GGIO1.AnIn1.mag.f")->fc, "MX");
    EXPECT_EQ(stVal->objectReference(), "SIMIEDLD0/GGIO1.Ind1.stVal");
    EXPECT_EQ(stVal->itemId(), "GGIO1$ST$Ind1$stVal");
}

// The triggers a change raises are checked through reports in test_reports.cpp; here what the
// reports do not show: a value of the wrong type is refused, a structure is written per component.
TEST_F(ModelTest, SetValueChecksTypesAndWritesStructuresPerComponent) {
    auto local = Model::load(kSimple, "SIMIED");
    std::vector<ValueChange> seen;
    local->addChangeListener(
        [&](const std::vector<ValueChange>& c) { seen.insert(seen.end(), c.begin(), c.end()); });
    Value f(MmsValue_newFloat(1.0f));
    EXPECT_FALSE(local->setValue(local->findReference("LD0/GGIO1.Ind2.stVal"), f.get()));
    ModelNode* mag = local->findReference("LD0/GGIO1.AnIn1.mag");
    Value s(local->read(mag));
    MmsValue_setFloat(MmsValue_getElement(s.get(), 0), 99.0f);
    EXPECT_TRUE(local->setValue(mag, s.get()));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].node, local->findReference("LD0/GGIO1.AnIn1.mag.f"));
    EXPECT_EQ(seen[0].reason, kTrgDchg);
}
