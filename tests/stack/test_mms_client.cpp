// The IEC 61850 client on loopback, against the simulated IED and a bare server engine: error
// codes where client programs test them, a connection shared by threads, servers that stop,
// refuse, stay silent or change, long answers, and reports whose data set changed size.
// (sim/test_client.cpp and sim/test_reports.cpp cover browsing, reading, writing and reports.)
#include "iec61850_client.h"
#include "stack/src/mms/client/IedConnectionInternal.h"
#include "test_mms_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace mmstest;
using iecx::test::secondsSince;
using iecx::test::SimpleIedClient;
using iecx::test::waitUntil;

namespace {

// The connection states a program's handler sees.
using States = iecx::test::Recorded<IedConnectionState>;
void recordState(void* states, IedConnection, IedConnectionState state) {
    static_cast<States*>(states)->add(state);
}

} // namespace

TEST_F(SimpleIedClient, BadReferencesGiveErrorCodes) {
    IedClientError err = IED_ERROR_OK;
    const auto invalid = IED_ERROR_OBJECT_REFERENCE_INVALID, missing = IED_ERROR_OBJECT_DOES_NOT_EXIST;
    // Each case: the code, then a call that returns its failure value (null, false or 0).
    // clang-format off
#define FAILS(code, ...) {#__VA_ARGS__, [&] { return !(__VA_ARGS__); }, code}
    // clang-format on
    const struct {
        const char* call;
        std::function<bool()> failed;
        IedClientError code;
    } cases[] = {
        FAILS(invalid, IedConnection_readObject(con, &err, "GGIO1.Ind1.stVal", IEC61850_FC_ST)),
        FAILS(invalid, IedConnection_readObject(con, &err, nullptr, IEC61850_FC_ST)),
        FAILS(invalid, IedConnection_readObject(con, &err, "LD0/", IEC61850_FC_ST)),
        FAILS(invalid, IedConnection_getDataDirectory(con, &err, "Ind1")),
        FAILS(invalid, IedConnection_getDataDirectoryFC(con, &err, nullptr)),
        FAILS(invalid, IedConnection_getDataDirectoryByFC(con, &err, "/x", IEC61850_FC_ST)),
        FAILS(invalid, IedConnection_getLogicalNodeDirectory(con, &err, "LLN0", ACSI_CLASS_DATA_OBJECT)),
        FAILS(invalid, IedConnection_getDataSetDirectory(con, &err, "DS1", nullptr)),
        FAILS(invalid, IedConnection_getRCBValues(con, &err, "urcb01", nullptr)),
        FAILS(invalid, IedConnection_getGoCBValues(con, &err, "gcb01", nullptr)),
        FAILS(invalid, IedConnection_getVariableSpecification(con, &err, "x", IEC61850_FC_ST)),
        FAILS(IED_ERROR_OBJECT_UNDEFINED, IedConnection_getLogicalDeviceDirectory(con, &err, "LDX")),
        FAILS(missing,
              IedConnection_getDataDirectoryByFC(con, &err, "SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_SP)),
        FAILS(missing, IedConnection_getDataDirectory(con, &err, "SIMIEDLD0/GGIO1.Nothing")),
        FAILS(missing, IedConnection_getDataSetDirectory(con, &err, "SIMIEDLD0/LLN0.NoSuchSet", nullptr)),
        FAILS(missing, IedConnection_getRCBValues(con, &err, "SIMIEDLD0/LLN0.RP.none", nullptr)),
        FAILS(IED_ERROR_UNEXPECTED_VALUE_RECEIVED,
              IedConnection_getRCBValues(con, &err, "SIMIEDLD0/GGIO1.ST.Ind1", nullptr)),
        // A refused read is an access error value; the typed readers turn it into a code.
        FAILS(missing,
              IedConnection_readBooleanValue(con, &err, "SIMIEDLD0/GGIO1.Ind1.nothing", IEC61850_FC_ST)),
        FAILS(IED_ERROR_UNEXPECTED_VALUE_RECEIVED,
              IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST)),
    };
#undef FAILS
    for (const auto& c : cases) {
        err = IED_ERROR_OK;
        EXPECT_TRUE(c.failed()) << c.call;
        EXPECT_EQ(err, c.code) << c.call;
    }
    // A leaf has an empty directory, not an error; the connection is still fine afterwards.
    LinkedList leaf =
        IedConnection_getDataDirectoryByFC(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(LinkedList_size(leaf), 0);
    LinkedList_destroy(leaf);
    EXPECT_EQ(toVector(IedConnection_getServerDirectory(con, &err, false)),
              Strings({"SIMIEDLD0", "SIMIEDPROT"}));
}

// Threads share one connection; when the server is killed, every kind of call fails at once with
// the lost connection until the program closes it, and the handlers see the state changes.
TEST_F(SimpleIedClient, SharedConnectionAndServerKilledMidSession) {
    std::atomic<int> failures{0}, closedCalls{0};
    States states;
    IedConnection_installStateChangedHandler(con, recordState, &states);
    IedConnection_installConnectionClosedHandler(
        con, [](void* p, IedConnection) { ++*static_cast<std::atomic<int>*>(p); }, &closedCalls);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                IedClientError e;
                MmsValue* v =
                    IedConnection_readObject(con, &e, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
                if (v == nullptr || MmsValue_toFloat(v) != 12.5f)
                    ++failures;
                MmsValue_deleteIfNotNull(v);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);

    sim.kill();
    IedClientError err;
    auto t0 = std::chrono::steady_clock::now();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST), nullptr);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
        EXPECT_EQ(IedConnection_getLogicalDeviceList(con, &err), nullptr);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
        EXPECT_EQ(IedConnection_readDataSetValues(con, &err, "SIMIEDLD0/LLN0.Status", nullptr), nullptr);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
        IedConnection_release(con, &err);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
    }
    EXPECT_LT(secondsSince(t0), 2.0);
    EXPECT_TRUE(waitUntil([&] { return closedCalls.load() >= 1; }));
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    IedConnection_close(con);
    EXPECT_EQ(IedConnection_getLogicalDeviceList(con, &err), nullptr);
    EXPECT_EQ(err, IED_ERROR_NOT_CONNECTED);
    EXPECT_EQ(states.take(), std::vector<IedConnectionState>{IED_STATE_CLOSED});
}

// A closed port is refused at once; a device that never answers is given up after the connect
// time-out (libiec61850's code for both: "connection rejected").
TEST(MmsClient, ClosedPortAndSilentHost) {
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent host" : "closed port");
        auto device = std::make_unique<iecx::test::SilentDevice>();
        const uint16_t port = device->port();
        if (!silent)
            device.reset();
        IedConnection con = IedConnection_create();
        IedConnection_setConnectTimeout(con, silent ? 300 : 2000);
        IedClientError err;
        auto t0 = std::chrono::steady_clock::now();
        IedConnection_connect(con, &err, "127.0.0.1", port);
        double elapsed = secondsSince(t0);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_REJECTED);
        EXPECT_GE(elapsed, silent ? 0.25 : 0.0);
        EXPECT_LT(elapsed, silent ? 1.5 : 1.0);
        EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
        IedConnection_destroy(con);
    }
}

TEST(MmsClient, ServiceCallsWhenNotConnected) {
    IedConnection con = IedConnection_create();
    States states;
    IedConnection_installStateChangedHandler(con, recordState, &states);
    IedClientError err;
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    EXPECT_EQ(IedConnection_getServerDirectory(con, &err, false), nullptr);
    EXPECT_EQ(err, IED_ERROR_NOT_CONNECTED);
    IedConnection_close(con);
    IedConnection_connect(con, &err, "127.0.0.1:notaport", 102);
    EXPECT_EQ(err, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    // A name with an empty label: rejected by the resolver without asking any name server.
    IedConnection_connect(con, &err, "no..such..host", 102);
    EXPECT_EQ(err, IED_ERROR_UNKNOWN);
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    EXPECT_EQ(states.take(), (std::vector<IedConnectionState>{IED_STATE_CONNECTING, IED_STATE_CLOSED}));
    IedConnection_destroy(con);
}

TEST(MmsClient, LongAnswersArePagedAndSegmented) {
    LargeAnswers handler;
    MmsServer server(handler);
    ASSERT_TRUE(server.start("127.0.0.1", 0));
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", server.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    Strings names = toVector(IedConnection_getLogicalDeviceVariables(con, &err, "BIG"));
    ASSERT_EQ(err, IED_ERROR_OK);
    ASSERT_EQ(names.size(), 5000u);
    EXPECT_EQ(names[0], "GGIO0$ST$SomeDataObjectName");
    EXPECT_EQ(names[4999], "GGIO4999$ST$SomeDataObjectName");
    MmsValue* v = IedConnection_readObject(con, &err, "BIG/GGIO1.X", IEC61850_FC_ST);
    ASSERT_NE(v, nullptr) << err;
    EXPECT_EQ(MmsValue_getStringSize(v), 60000);
    MmsValue_delete(v);
    MmsValue* big = MmsValue_newVisibleString(std::string(30000, 'y').c_str());
    IedConnection_writeObject(con, &err, "BIG/GGIO1.X", IEC61850_FC_ST, big);
    EXPECT_EQ(err, IED_ERROR_OK);
    // Requests started together go out in one write unless one needs several TPDUs, as this
    // write does: each is sent on its own then, and each is answered.
    {
        using namespace stack::mms;
        VariableAccess access;
        access.variables.emplace_back("BIG", "GGIO1$ST$X");
        const std::vector<MmsClient::Encoder> requests = {
            [&](stack::ber::Writer& w, uint32_t id) { encodeWriteRequest(w, id, access, {big}); },
            [&](stack::ber::Writer& w, uint32_t id) { encodeReadRequest(w, id, access); }};
        std::vector<uint32_t> ids;
        ASSERT_EQ(con->mms.startAll(requests, ids), MMS_ERROR_NONE);
        ASSERT_EQ(ids.size(), 2u);
        for (uint32_t id : ids) {
            Response r;
            EXPECT_EQ(con->mms.finish(id, r), MMS_ERROR_NONE);
            EXPECT_EQ(r.pdu.kind, PduKind::ConfirmedResponse);
        }
    }
    MmsValue_delete(big);
    // Larger than the negotiated PDU size: refused locally, the connection stays usable.
    big = MmsValue_newVisibleString(std::string(70000, 'z').c_str());
    IedConnection_writeObject(con, &err, "BIG/GGIO1.X", IEC61850_FC_ST, big);
    EXPECT_EQ(err, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    MmsValue_delete(big);
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CONNECTED);
    IedConnection_destroy(con);
}

// A report whose inclusion bit string changes size (the server's data set was redefined) keeps
// every value a handler may still point at alive: the members that remain are updated in place,
// the others outlive the change (ASan checks the reads below).
TEST(ClientReports, InclusionOfAnotherSizeFreesNothingInUse) {
    IedConnection con = IedConnection_create();
    std::vector<MmsValue*> seen;
    IedConnection_installReportHandler(
        con, "LD0/LLN0.RP.urcb01", "R",
        [](void* p, ClientReport r) {
            auto* out = static_cast<std::vector<MmsValue*>*>(p);
            MmsValue* values = ClientReport_getDataSetValues(r);
            for (uint32_t i = 0; i < MmsValue_getArraySize(values); ++i)
                if (MmsValue* v = MmsValue_getElement(values, static_cast<int>(i)))
                    out->push_back(v);
        },
        &seen);
    auto deliver = [&](int size, std::vector<MmsValue*> members) {
        stack::mms::VariableAccess access;
        access.isListName = true;
        access.listName.scope = stack::mms::ObjectName::Scope::Vmd;
        access.listName.item = "RPT";
        std::vector<MmsValue*> values{MmsValue_newVisibleString("R"), MmsValue_newBitString(10)};
        MmsValue* inclusion = MmsValue_newBitString(size);
        for (size_t i = 0; i < members.size(); ++i)
            MmsValue_setBitStringBit(inclusion, static_cast<int>(i), true);
        values.push_back(inclusion);
        values.insert(values.end(), members.begin(), members.end());
        con->onReport(access, values);
        for (MmsValue* v : values)
            MmsValue_deleteIfNotNull(v);
    };
    deliver(3, {MmsValue_newBoolean(true), MmsValue_newIntegerFromInt32(7), MmsValue_newFloat(1.5f)});
    ASSERT_EQ(seen.size(), 3u);
    const std::vector<MmsValue*> first = seen;
    deliver(1, {MmsValue_newBoolean(false)});                         // smaller
    deliver(4, {MmsValue_newBoolean(true), MmsValue_newFloat(2.5f)}); // larger, member 1 of another type
    EXPECT_EQ(seen[3], first[0]) << "updated in place";
    EXPECT_TRUE(MmsValue_getBoolean(first[0]));
    EXPECT_EQ(MmsValue_toInt32(first[1]), 7) << "retired, still readable";
    EXPECT_FLOAT_EQ(MmsValue_toFloat(first[2]), 1.5f);
    IedConnection_destroy(con);
}
