// Error codes where client programs test them: after the server goes away, for objects the
// server refuses to read, for names that do not resolve; and the state changes a program sees.
#include "iec61850_client.h"
#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

using iecx::test::simData;
using iecx::test::SimIed;

struct States {
    std::mutex mutex;
    std::vector<IedConnectionState> seen;
    static void record(void* parameter, IedConnection, IedConnectionState state) {
        auto* self = static_cast<States*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->seen.push_back(state);
    }
    std::vector<IedConnectionState> get() {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }
};

TEST(ClientErrors, CallsAfterTheServerWasKilledReportTheLostConnection) {
    SimIed sim(simData("controls.cid"), "CTLIED");
    ASSERT_TRUE(sim.ok()) << sim.error();
    IedConnection con = IedConnection_create();
    States states;
    IedConnection_installStateChangedHandler(con, States::record, &states);
    IedClientError err;
    IedConnection_connect(con, &err, sim.host().c_str(), sim.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    sim.kill();
    // Every kind of call, until the connection is closed by the program.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(IedConnection_readObject(con, &err, "CTLIEDLD0/GGIO1.SPCSO1.stVal", IEC61850_FC_ST),
                  nullptr);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
        EXPECT_EQ(IedConnection_getLogicalDeviceList(con, &err), nullptr);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
        EXPECT_EQ(IedConnection_readDataSetValues(con, &err, "CTLIEDLD0/LLN0.Positions", nullptr), nullptr);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
        IedConnection_release(con, &err);
        EXPECT_EQ(err, IED_ERROR_CONNECTION_LOST);
    }
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    IedConnection_close(con);
    EXPECT_EQ(IedConnection_getLogicalDeviceList(con, &err), nullptr);
    EXPECT_EQ(err, IED_ERROR_NOT_CONNECTED);
    EXPECT_EQ(states.get(),
              (std::vector<IedConnectionState>{IED_STATE_CONNECTING, IED_STATE_CONNECTED, IED_STATE_CLOSED}));
    IedConnection_destroy(con);
}

TEST(ClientErrors, RefusedReadsAreAccessErrorValues) {
    SimIed sim(simData("controls.cid"), "CTLIED");
    ASSERT_TRUE(sim.ok()) << sim.error();
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, sim.host().c_str(), sim.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    MmsValue* v = IedConnection_readObject(con, &err, "CTLIEDLD0/GGIO1.SPCSO1.nothing", IEC61850_FC_ST);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(MmsValue_getType(v), MMS_DATA_ACCESS_ERROR);
    EXPECT_EQ(MmsValue_getDataAccessError(v), DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT);
    MmsValue_delete(v);
    // The typed readers turn it into the matching code.
    IedConnection_readBooleanValue(con, &err, "CTLIEDLD0/GGIO1.SPCSO1.nothing", IEC61850_FC_ST);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    IedConnection_readFloatValue(con, &err, "CTLIEDLD0/GGIO1.SPCSO1.stVal", IEC61850_FC_ST);
    EXPECT_EQ(err, IED_ERROR_UNEXPECTED_VALUE_RECEIVED);
    IedConnection_destroy(con);
}

TEST(ClientErrors, HostNamesThatDoNotResolve) {
    IedConnection con = IedConnection_create();
    States states;
    IedConnection_installStateChangedHandler(con, States::record, &states);
    IedClientError err;
    // An empty label: rejected by the resolver without asking any name server.
    IedConnection_connect(con, &err, "no..such..host", 102);
    EXPECT_EQ(err, IED_ERROR_UNKNOWN);
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    EXPECT_EQ(states.get(), (std::vector<IedConnectionState>{IED_STATE_CONNECTING, IED_STATE_CLOSED}));
    IedConnection_destroy(con);
}

} // namespace
