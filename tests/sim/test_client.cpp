// The stack's MMS client against the simulated IED on loopback: directories, reads and types,
// writes, data sets and control blocks (threads sharing one connection: tests/stack); every IED of
// the example SCL files browsed completely; `iecx simulate` as a process.
#include "support/CliRun.h"
#include "support/IedClient.h"

#include "iec61850_client.h"
#include "stack/src/mms/client/MmsClient.h"

#include <gtest/gtest.h>
#include <libxml++/libxml++.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace iecx::test;

using SimClient = SimpleIedClient;

// Directories the explorer's browse (tests/mms) does not ask for: without FC, of sub data objects,
// of ACSI classes, and a data set with an array element, in document order or in any order.
TEST_F(SimClient, Directories) {
    IedClientError err;
    auto byFc = [&](const char* ref, FunctionalConstraint fc) {
        return [=, &err] { return IedConnection_getDataDirectoryByFC(con, &err, ref, fc); };
    };
    const struct {
        std::function<LinkedList()> call;
        bool anyOrder;
        Strings expected;
    } cases[] = {
        {[&] { return IedConnection_getDataDirectory(con, &err, "SIMIEDLD0/GGIO1.AnIn1"); },
         true,
         {"db", "mag", "q", "rangeC", "t", "units"}},
        {byFc("SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX), false, {"mag", "q", "t"}},
        {byFc("SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX), false, {}},
        {[&] { return IedConnection_getDataDirectory(con, &err, "SIMIEDLD0/MMXU1.PhV"); },
         true,
         {"d", "phsA", "phsB", "phsC"}},
        {byFc("SIMIEDLD0/MMXU1.PhV.phsA.cVal", IEC61850_FC_MX), false, {"mag", "ang"}},
        {[&] { return IedConnection_getLogicalNodeDirectory(con, &err, "SIMIEDLD0/LLN0", ACSI_CLASS_URCB); },
         true,
         {"urcbStatus01", "urcbStatus02"}},
        {[&] {
             return IedConnection_getLogicalNodeDirectory(con, &err, "SIMIEDLD0/GGIO1", ACSI_CLASS_DATA_SET);
         },
         true,
         {}},
    };
    for (const auto& c : cases) {
        err = IED_ERROR_UNKNOWN;
        Strings got = toVector(c.call());
        if (c.anyOrder)
            std::sort(got.begin(), got.end());
        EXPECT_EQ(err, IED_ERROR_OK);
        EXPECT_EQ(got, c.expected);
    }
    bool deletable = true;
    EXPECT_EQ(
        toVector(IedConnection_getDataSetDirectory(con, &err, "SIMIEDLD0/LLN0.Measurements", &deletable)),
        (Strings{"SIMIEDLD0/GGIO1.AnIn1[MX]", "SIMIEDLD0/GGIO1.Ind2[ST]",
                 "SIMIEDPROT/PTOCPTOC1.Str.general[ST]", "SIMIEDLD0/GGIO1.Harm.har(2).mag[MX]"}));
    EXPECT_FALSE(deletable);
}

// Every MMS type the model maps SCL types to, read and described through the client: the value's
// type and printed form, the type description's type and size (-1: not compared).
TEST_F(SimClient, ReadsAndTypesOfEveryMmsType) {
    const struct {
        const char* ref;
        FunctionalConstraint fc;
        MmsType type;
        int size;
        const char* printed; // nullptr: not compared
    } cases[] = {
        {"SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, MMS_BOOLEAN, -1, "true"},
        {"SIMIEDLD0/GGIO1.Ind1.q", IEC61850_FC_ST, MMS_BIT_STRING, 13, "0000000000000"},
        {"SIMIEDLD0/GGIO1.Ind1.t", IEC61850_FC_ST, MMS_UTC_TIME, -1, nullptr},
        {"SIMIEDLD0/LLN0.Mod.stVal", IEC61850_FC_ST, MMS_INTEGER, 8, nullptr},
        {"SIMIEDLD0/XCBR1.Pos.stVal", IEC61850_FC_ST, MMS_BIT_STRING, 2, "10"},
        {"SIMIEDLD0/XCBR1.OpCnt.stVal", IEC61850_FC_ST, MMS_INTEGER, 32, "-42"},
        {"SIMIEDLD0/GGIO1.CntVal.actVal", IEC61850_FC_ST, MMS_INTEGER, 64, nullptr},
        {"SIMIEDLD0/XCBR1.Pos.sboTimeout", IEC61850_FC_CF, MMS_UNSIGNED, 32, "30000"},
        {"SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX, MMS_FLOAT, 32, "12.500000"},
        {"SIMIEDLD0/GGIO1.CntVal.pulsQty", IEC61850_FC_CF, MMS_FLOAT, 64, "0.500000"},
        {"SIMIEDLD0/LLN0.NamPlt.vendor", IEC61850_FC_DC, MMS_VISIBLE_STRING, 255, "iecx"},
        {"SIMIEDLD0/GGIO1.Ind1.dU", IEC61850_FC_DC, MMS_STRING, 255, nullptr},
        {"SIMIEDPROT/PTOCPTOC1.OpDlTmms.ownerId", IEC61850_FC_SP, MMS_OCTET_STRING, -1, nullptr},
        {"SIMIEDPROT/PTOCPTOC1.OpDlTmms.tOp", IEC61850_FC_SP, MMS_BINARY_TIME, -1, nullptr},
        {"SIMIEDLD0/GGIO1.Harm.har", IEC61850_FC_MX, MMS_ARRAY, 4, nullptr},
        {"SIMIEDLD0/GGIO1.Harm.frequency", IEC61850_FC_CF, MMS_ARRAY, 3, nullptr},
        {"SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX, MMS_STRUCTURE, 3, nullptr},
        {"SIMIEDLD0/XCBR1.Pos", IEC61850_FC_ST, MMS_STRUCTURE, 4, nullptr}, // stVal, q, t, stSeld
        {"SIMIEDLD0/LLN0.brcbMeas.TimeofEntry", IEC61850_FC_BR, MMS_BINARY_TIME, -1, nullptr},
        {"SIMIEDLD0/LLN0.urcbStatus01", IEC61850_FC_RP, MMS_STRUCTURE, 11, nullptr},
        {"SIMIEDLD0/LLN0.brcbMeas", IEC61850_FC_BR, MMS_STRUCTURE, 14, nullptr},
        {"SIMIEDLD0/LLN0.gcbStatus", IEC61850_FC_GO, MMS_STRUCTURE, 9, nullptr},
        {"SIMIEDLD0/LLN0.gcbStatus.DstAddress.Addr", IEC61850_FC_GO, MMS_OCTET_STRING, 6, "010ccd010021"},
    };
    IedClientError err;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ref);
        Value v = read(c.ref, c.fc);
        ASSERT_EQ(MmsValue_getType(v.get()), c.type);
        char text[256];
        if (c.printed) {
            EXPECT_STREQ(MmsValue_printToBuffer(v.get(), text, sizeof text), c.printed);
        }
        MmsVariableSpecification* typeDesc = IedConnection_getVariableSpecification(con, &err, c.ref, c.fc);
        ASSERT_NE(typeDesc, nullptr) << err;
        EXPECT_EQ(MmsVariableSpecification_getType(typeDesc), c.type);
        if (c.size != -1) {
            EXPECT_EQ(MmsVariableSpecification_getSize(typeDesc), c.size);
        }
        EXPECT_TRUE(MmsVariableSpecification_isValueOfType(typeDesc, v.get()));
        MmsVariableSpecification_destroy(typeDesc);
    }
    EXPECT_GT(MmsValue_getUtcTimeInMs(read("SIMIEDLD0/GGIO1.Ind1.t", IEC61850_FC_ST).get()),
              1600000000000ull);
    MmsVariableSpecification* typeDesc =
        IedConnection_getVariableSpecification(con, &err, "SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX);
    ASSERT_NE(typeDesc, nullptr);
    EXPECT_STREQ(
        MmsVariableSpecification_getName(MmsVariableSpecification_getChildSpecificationByIndex(typeDesc, 0)),
        "mag");
    MmsVariableSpecification* f = MmsVariableSpecification_getNamedVariableRecursive(typeDesc, "mag$f");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(MmsVariableSpecification_getExponentWidth(f), 8);
    MmsVariableSpecification_destroy(typeDesc);
    typeDesc = IedConnection_getVariableSpecification(con, &err, "SIMIEDLD0/GGIO1.Harm.har", IEC61850_FC_MX);
    ASSERT_NE(typeDesc, nullptr);
    EXPECT_EQ(
        MmsVariableSpecification_getType(MmsVariableSpecification_getArrayElementSpecification(typeDesc)),
        MMS_STRUCTURE);
    MmsVariableSpecification_destroy(typeDesc);
    EXPECT_EQ(IedConnection_getVariableSpecification(con, &err, "SIMIEDLD0/LLN0.Nope", IEC61850_FC_ST),
              nullptr);
    EXPECT_NE(err, IED_ERROR_OK);

    // Unknown objects are answered with an access error value.
    for (auto ref : {std::make_pair("SIMIEDLD0/GGIO1.Nope.stVal", IEC61850_FC_ST),
                     std::make_pair("SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_MX)}) {
        Value v = read(ref.first, ref.second);
        EXPECT_EQ(MmsValue_getType(v.get()), MMS_DATA_ACCESS_ERROR) << ref.first;
        EXPECT_EQ(MmsValue_getDataAccessError(v.get()), DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT) << ref.first;
    }
}

TEST_F(SimClient, WritesOfSettingsButNotOfStatus) {
    IedClientError err;
    Value v(MmsValue_newIntegerFromInt32(500));
    IedConnection_writeObject(con, &err, "SIMIEDPROT/PTOCPTOC1.OpDlTmms.setVal", IEC61850_FC_SP, v.get());
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(IedConnection_readInt32Value(con, &err, "SIMIEDPROT/PTOCPTOC1.OpDlTmms.setVal", IEC61850_FC_SP),
              500);
    IedConnection_writeBooleanValue(con, &err, "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, false);
    EXPECT_EQ(err, IED_ERROR_ACCESS_DENIED);
    Value f(MmsValue_newFloat(1.0f));
    IedConnection_writeObject(con, &err, "SIMIEDPROT/PTOCPTOC1.OpDlTmms.setVal", IEC61850_FC_SP, f.get());
    EXPECT_EQ(err, IED_ERROR_TYPE_INCONSISTENT);
    IedConnection_writeObject(con, &err, "SIMIEDPROT/PTOCPTOC1.OpDlTmms.nope", IEC61850_FC_SP, f.get());
    EXPECT_NE(err, IED_ERROR_OK);
}

TEST_F(SimClient, ValuesSetInTheSimulatorAreRead) {
    Value v(MmsValue_newFloat(-7.25f));
    ASSERT_TRUE(sim.ied().setValue("LD0/GGIO1.AnIn1.mag.f", v.get()));
    IedClientError err;
    EXPECT_FLOAT_EQ(IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX),
                    -7.25f);
    EXPECT_FALSE(sim.ied().setValue("LD0/GGIO1.AnIn1.mag.nope", v.get()));
}

// Array elements and the components below them, read and written with an alternate access: by
// references with "(n)" as libiec61850 programs write them, and by a component-only selection as
// other clients send it.
TEST_F(SimClient, ArrayElementsAndComponentsBothWays) {
    Value f(MmsValue_newFloat(3.5f));
    ASSERT_TRUE(sim.ied().setValue("LD0/GGIO1.Harm.har(2).mag.f[MX]", f.get()));
    EXPECT_FALSE(sim.ied().setValue("LD0/GGIO1.Harm.har(4).mag.f[MX]", f.get())) << "past the end";
    IedClientError err;
    EXPECT_FLOAT_EQ(
        IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.Harm.har(2).mag.f", IEC61850_FC_MX), 3.5f);
    EXPECT_EQ(err, IED_ERROR_OK);
    Value element = read("SIMIEDLD0/GGIO1.Harm.har(2)", IEC61850_FC_MX);
    ASSERT_EQ(MmsValue_getType(element.get()), MMS_STRUCTURE);
    EXPECT_EQ(MmsValue_getArraySize(element.get()), 2u); // mag, ang
    Value other = read("SIMIEDLD0/GGIO1.Harm.har(1).mag.f", IEC61850_FC_MX);
    EXPECT_FLOAT_EQ(MmsValue_toFloat(other.get()), 0.0f);
    for (const char* bad : {"SIMIEDLD0/GGIO1.Harm.har(4).mag.f", "SIMIEDLD0/GGIO1.Harm.har(2).nope",
                            "SIMIEDLD0/GGIO1.Harm.har(x).mag"}) {
        // Refused by the server: an access error value; a malformed reference: an error.
        Value none = read(bad, IEC61850_FC_MX, &err);
        EXPECT_TRUE(none ? MmsValue_getType(none.get()) == MMS_DATA_ACCESS_ERROR : err != IED_ERROR_OK)
            << bad;
    }

    // Written element by element: the others keep their values.
    Value hz(MmsValue_newFloat(150.0f));
    IedConnection_writeObject(con, &err, "SIMIEDLD0/GGIO1.Harm.frequency(1)", IEC61850_FC_CF, hz.get());
    EXPECT_EQ(err, IED_ERROR_OK);
    Value all = read("SIMIEDLD0/GGIO1.Harm.frequency", IEC61850_FC_CF);
    EXPECT_FLOAT_EQ(MmsValue_toFloat(MmsValue_getElement(all.get(), 1)), 150.0f);
    EXPECT_FLOAT_EQ(MmsValue_toFloat(MmsValue_getElement(all.get(), 0)), 0.0f);
    Value inSim(sim.ied().getValue("LD0/GGIO1.Harm.frequency(1)[CF]"));
    EXPECT_FLOAT_EQ(MmsValue_toFloat(inSim.get()), 150.0f);
    IedConnection_writeObject(con, &err, "SIMIEDLD0/GGIO1.Harm.frequency(1)", IEC61850_FC_CF, element.get());
    EXPECT_EQ(err, IED_ERROR_TYPE_INCONSISTENT);

    // A component selection without an index, as a third-party client reads "MMXU1$MX$A$phsA"
    // with component "cVal$mag$f": the float alone comes back.
    stack::mms::VariableAccess access;
    access.variables.emplace_back("SIMIEDLD0", "GGIO1$MX$AnIn1");
    access.variables.back().alternateAccess = {stack::mms::AccessStep::named("mag"),
                                               stack::mms::AccessStep::named("f")};
    stack::mms::Response r;
    sMmsConnection* mms = IedConnection_getMmsConnection(con);
    ASSERT_EQ(mms->request([&](stack::ber::Writer& w, uint32_t id) { encodeReadRequest(w, id, access); }, r),
              MMS_ERROR_NONE);
    std::vector<MmsValue*> results;
    ASSERT_TRUE(stack::mms::decodeReadResponse(r.pdu.service, results));
    ASSERT_EQ(results.size(), 1u);
    Value component(results[0]);
    EXPECT_EQ(MmsValue_getType(component.get()), MMS_FLOAT);
}

// The block's values as read are checked through the explorer (tests/mms); here its writes.
TEST_F(SimClient, GooseControlBlockWrites) {
    IedClientError err;
    // GoEna is the one writable attribute; it cannot be enabled without an interface.
    IedConnection_writeBooleanValue(con, &err, "SIMIEDLD0/LLN0.gcbStatus.GoEna", IEC61850_FC_GO, true);
    EXPECT_EQ(err, IED_ERROR_TEMPORARILY_UNAVAILABLE);
    IedConnection_writeBooleanValue(con, &err, "SIMIEDLD0/LLN0.gcbStatus.GoEna", IEC61850_FC_GO, false);
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_FALSE(IedConnection_readBooleanValue(con, &err, "SIMIEDLD0/LLN0.gcbStatus.GoEna", IEC61850_FC_GO));
    IedConnection_writeBooleanValue(con, &err, "SIMIEDLD0/LLN0.gcbStatus.FixedOffs", IEC61850_FC_GO, true);
    EXPECT_EQ(err, IED_ERROR_ACCESS_DENIED);
}

TEST(SimServer, OwnLoopbackAddressAndPortClash) {
    SimIed a(simData("simple.cid"), "SIMIED", "", "127.0.0.7");
    ASSERT_TRUE(a.ok()) << a.error();
    iecx::sim::SimulatedIed b;
    b.load(simData("simple.cid"), "SIMIED");
    EXPECT_FALSE(b.start("127.0.0.7", a.port()));
    EXPECT_FALSE(b.lastError().empty());
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, ("127.0.0.7:" + std::to_string(a.port())).c_str(), 0);
    EXPECT_EQ(err, IED_ERROR_OK);
    // The server counts the connection once its thread has finished the association, which may
    // be just after the client's connect returned.
    EXPECT_TRUE(waitUntil([&] { return a.ied().connectionCount() == 1u; }));
    IedConnection_destroy(con);
}

namespace {

struct RawLog {
    std::atomic<int> sent{0};
    std::atomic<int> received{0};
    std::atomic<int> badThread{0};
    std::thread::id caller = std::this_thread::get_id();
    std::vector<uint8_t> firstTags;
    std::mutex mutex;

    static void onMessage(void* p, uint8_t* message, int length, bool received) {
        auto* log = static_cast<RawLog*>(p);
        if (std::this_thread::get_id() == log->caller)
            ++log->badThread;
        {
            std::lock_guard<std::mutex> lock(log->mutex);
            if (length > 0)
                log->firstTags.push_back(message[0]);
        }
        ++(received ? log->received : log->sent);
    }
};

} // namespace

// Every MMS PDU, the association's included, reaches the raw message handler on the receive
// thread.
TEST_F(SimClient, RawMessageHandlerSeesEveryPduOnTheReceiveThread) {
    IedConnection other = IedConnection_create();
    RawLog log;
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(other), &RawLog::onMessage, &log);
    IedClientError err;
    IedConnection_connect(other, &err, (sim.host() + ":" + std::to_string(sim.port())).c_str(), 102);
    ASSERT_EQ(err, IED_ERROR_OK);
    for (int i = 0; i < 5; ++i)
        Value v(IedConnection_readObject(other, &err, "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    waitForCount(log.received, 6);
    EXPECT_EQ(log.sent.load(), 6); // initiate + 5 reads
    EXPECT_EQ(log.received.load(), 6);
    EXPECT_EQ(log.badThread.load(), 0);
    {
        std::lock_guard<std::mutex> lock(log.mutex);
        ASSERT_GE(log.firstTags.size(), 4u);
        // initiate request and response, confirmed request and response
        EXPECT_EQ(std::vector<uint8_t>(log.firstTags.begin(), log.firstTags.begin() + 4),
                  (std::vector<uint8_t>{0xA8, 0xA9, 0xA0, 0xA1}));
    }
    MmsServerIdentity* id = MmsConnection_identify(IedConnection_getMmsConnection(other), nullptr);
    ASSERT_NE(id, nullptr);
    EXPECT_STREQ(id->vendorName, "iecx");
    EXPECT_STREQ(id->modelName, "simulated SIMIED");
    MmsServerIdentity_destroy(id);
    IedConnection_destroy(other);
}

// Every IED of the example SCL files, served and browsed completely through the client: every
// attribute is found, every data set member resolves and reads.
namespace {

// (file, IED name) of every IED with a server in the examples.
std::vector<std::pair<std::string, std::string>> exampleIeds() {
    std::vector<std::pair<std::string, std::string>> out;
    DIR* dir = opendir(IECX_EXAMPLES_DIR);
    if (!dir)
        return out;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() < 4 ||
            (name.substr(name.size() - 4) != ".cid" && name.substr(name.size() - 4) != ".scd" &&
             name.substr(name.size() - 4) != ".icd"))
            continue;
        std::string path = std::string(IECX_EXAMPLES_DIR) + "/" + name;
        xmlpp::DomParser parser;
        parser.parse_file(path);
        for (xmlpp::Node* n : parser.get_document()->get_root_node()->get_children("IED"))
            if (auto* el = dynamic_cast<xmlpp::Element*>(n))
                out.emplace_back(path, el->get_attribute_value("name"));
    }
    closedir(dir);
    return out;
}

size_t dataLeaves(iecx::sim::Model& model) {
    size_t count = 0;
    for (const auto& d : model.domains())
        for (const auto& ln : d->logicalNodes)
            for (const auto& group : ln->children) {
                if (group->name == "RP" || group->name == "BR" || group->name == "GO")
                    continue;
                std::vector<iecx::sim::ModelNode*> leaves;
                group->collectLeaves(leaves);
                count += leaves.size();
            }
    return count;
}

// Counts the GetVariableAccessAttributes requests a connection sends: confirmed request PDUs
// (A0) whose service, after the invoke id, is [6] (A6).
// The browse requests a client sends, counted by their confirmed service: GetNameList and
// GetVariableAccessAttributes.
struct BrowseRequests {
    std::atomic<int> nameLists{0}, types{0};
    static void onMessage(void* p, uint8_t* pdu, int length, bool received) {
        int at = 2 + (length > 1 && (pdu[1] & 0x80) ? pdu[1] & 0x7F : 0);
        if (received || length < at + 2 || pdu[0] != 0xA0 || pdu[at] != 0x02)
            return;
        at += 2 + pdu[at + 1];
        auto* self = static_cast<BrowseRequests*>(p);
        if (at < length && pdu[at] == 0xA1)
            ++self->nameLists;
        if (at < length && pdu[at] == 0xA6)
            ++self->types;
    }
};

// Every data attribute below the server as "LD/LN.DO.DA[FC]", walked through the directory
// calls as a browser does, the logical nodes of each device in the given order.
Strings browseAll(IedConnection c, bool reverse, int& logicalNodes) {
    IedClientError err;
    Strings leaves;
    std::function<void(const std::string&, FunctionalConstraint)> expand = [&](const std::string& ref,
                                                                               FunctionalConstraint fc) {
        Strings children = toVector(IedConnection_getDataDirectoryByFC(c, &err, ref.c_str(), fc));
        if (children.empty())
            leaves.push_back(ref + "[" + FunctionalConstraint_toString(fc) + "]");
        for (const auto& child : children)
            expand(ref + "." + child, fc);
    };
    for (const auto& ld : toVector(IedConnection_getServerDirectory(c, &err, false))) {
        Strings lns = toVector(IedConnection_getLogicalDeviceDirectory(c, &err, ld.c_str()));
        if (reverse)
            std::reverse(lns.begin(), lns.end());
        for (const auto& ln : lns) {
            ++logicalNodes;
            std::string lnRef = ld + "/" + ln;
            for (const auto& dobj : toVector(
                     IedConnection_getLogicalNodeDirectory(c, &err, lnRef.c_str(), ACSI_CLASS_DATA_OBJECT)))
                for (const auto& child :
                     toVector(IedConnection_getDataDirectoryFC(c, &err, (lnRef + "." + dobj).c_str()))) {
                    size_t open = child.find('[');
                    expand(lnRef + "." + dobj + "." + child.substr(0, open),
                           FunctionalConstraint_fromString(child.c_str() + open + 1));
                }
        }
    }
    return leaves;
}

} // namespace

TEST(SimExamples, EveryIedBrowsesCompletely) {
    auto ieds = exampleIeds();
    if (ieds.empty())
        GTEST_SKIP() << "no example SCL files in " << IECX_EXAMPLES_DIR;
    for (const auto& [file, iedName] : ieds) {
        SCOPED_TRACE(file + " " + iedName);
        SimIed sim(file, iedName);
        if (!sim.ok() && sim.error().find("no logical device") != std::string::npos)
            continue; // an IED without a server (e.g. a merging unit described by its SMV only)
        ASSERT_TRUE(sim.ok()) << sim.error();
        IedConnection con = IedConnection_create();
        IedClientError err;
        IedConnection_connect(con, &err, sim.host().c_str(), sim.port());
        ASSERT_EQ(err, IED_ERROR_OK);
        int logicalNodes = 0;
        EXPECT_EQ(browseAll(con, false, logicalNodes).size(), dataLeaves(sim.ied().model()));
        for (const auto& ld : toVector(IedConnection_getServerDirectory(con, &err, false)))
            for (const auto& ln : toVector(IedConnection_getLogicalDeviceDirectory(con, &err, ld.c_str())))
                for (const auto& ds : toVector(IedConnection_getLogicalNodeDirectory(
                         con, &err, (ld + "/" + ln).c_str(), ACSI_CLASS_DATA_SET))) {
                    std::string dsRef = ld + "/" + ln + "." + ds;
                    auto members =
                        toVector(IedConnection_getDataSetDirectory(con, &err, dsRef.c_str(), nullptr));
                    EXPECT_FALSE(members.empty()) << dsRef;
                    for (const auto& m : members) {
                        size_t open = m.find('[');
                        ASSERT_NE(open, std::string::npos) << m;
                        FunctionalConstraint fc = FunctionalConstraint_fromString(m.c_str() + open + 1);
                        MmsValue* v = IedConnection_readObject(con, &err, m.substr(0, open).c_str(), fc);
                        EXPECT_NE(v, nullptr) << m;
                        MmsValue_delete(v);
                    }
                }
        for (const auto& d : sim.ied().model().domains())
            for (const auto& ds : d->dataSets)
                for (const auto& m : ds->members)
                    EXPECT_NE(m.node, nullptr) << ds->mmsReference() << " " << m.domain << "/" << m.item;
        IedConnection_destroy(con);
    }
}

// `iecx simulate` serves until SIGINT, then shuts down cleanly with exit 0.
TEST(SimCli, ServesUntilInterrupted) {
    CliProcess c({"simulate", simData("simple.cid"), "--ied", "SIMIED", "--port", "0", "--bind", "127.0.0.3",
                  "--change-ms", "20"});
    ASSERT_TRUE(c.waitForOutput("\n", 10000)) << c.err();
    std::string banner = c.out();
    auto colon = banner.find("127.0.0.3:");
    ASSERT_NE(colon, std::string::npos) << banner;
    int port = std::atoi(banner.c_str() + colon + 10);
    ASSERT_GT(port, 0) << banner;

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.3", port);
    ASSERT_EQ(err, IED_ERROR_OK);
    float first = IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    EXPECT_EQ(err, IED_ERROR_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    float later = IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    EXPECT_NE(first, later); // --change-ms makes measured values drift

    // Interrupted with a client still connected.
    c.interrupt();
    ASSERT_TRUE(c.waitForExit(10000));
    EXPECT_EQ(c.exitCode(), 0);
    EXPECT_NE(c.out().find("served", banner.size()), std::string::npos) << c.out();
    IedConnection_destroy(con);
}

TEST(SimCli, UsageAndInputErrors) {
    struct Case {
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {{"simulate"}, 2},
        {{"simulate", "--help"}, 0},
        {{"simulate", simData("simple.cid"), "--port", "70000"}, 2},
        {{"simulate", simData("simple.cid"), "--bogus"}, 2},
        {{"simulate", "/nonexistent.cid"}, 1},
        {{"simulate", simData("simple.cid"), "--ied", "NOPE"}, 1},
        {{"simulate", simData("simple.cid"), "--bind", "300.1.1.1", "--port", "0"}, 1},
    };
    for (const auto& tc : cases) {
        CliProcess c(tc.args);
        ASSERT_TRUE(c.waitForExit(10000)) << tc.args.back();
        EXPECT_EQ(c.exitCode(), tc.exit) << tc.args.back();
    }
}

// A browse asks ahead of the walk for the types of the logical nodes that follow, and near the
// end of a device for the names of the next: each node's type and each device's names exactly
// once, every answer kept under its own node or device (the same attributes as a walk in
// reverse order, which asks as it goes), and other threads' reads on the same connection all go
// through while the requests asked ahead take the server's slots.
TEST_F(SimClient, BrowseAsksAheadOncePerNodeAndDevice) {
    BrowseRequests requests;
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(con), &BrowseRequests::onMessage,
                                       &requests);
    std::atomic<bool> walking{true};
    std::atomic<int> reading{0}, failedReads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            for (int i = 0; i < 5000 && walking.load(); ++i) {
                IedClientError err;
                IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
                failedReads += err == IED_ERROR_OK ? 0 : 1;
                reading += i == 0 ? 1 : 0;
            }
        });
    // The walk starts once every reader is reading, however slowly the threads get going.
    EXPECT_TRUE(waitForCount(reading, 3));
    int nodes = 0;
    Strings forward = browseAll(con, false, nodes);
    walking = false;
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(failedReads.load(), 0);
    EXPECT_TRUE(waitForCount(requests.types, nodes));
    EXPECT_EQ(requests.types.load(), nodes);
    // The server directory, and one page of names for each device.
    std::set<std::string> devices;
    for (const auto& leaf : forward)
        devices.insert(leaf.substr(0, leaf.find('/')));
    EXPECT_EQ(devices.size(), 2u);
    EXPECT_EQ(requests.nameLists.load(), 1 + 2);

    IedConnection other = connectTo(sim);
    ASSERT_NE(other, nullptr);
    int ignored = 0;
    Strings backward = browseAll(other, true, ignored);
    IedConnection_destroy(other);
    std::sort(forward.begin(), forward.end());
    std::sort(backward.begin(), backward.end());
    EXPECT_GT(forward.size(), 100u);
    EXPECT_EQ(forward, backward);
}
