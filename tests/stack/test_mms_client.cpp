// The IEC 61850 client against the MMS server engine on loopback.
#include "iec61850_client.h"
#include "test_mms_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace mmstest;
using stack::mms::MmsServer;

TEST_F(MmsClientTest, DirectoriesComeFromTheServerModel) {
    IedClientError err;
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CONNECTED);
    EXPECT_EQ(toVector(IedConnection_getServerDirectory(con, &err, false)), Strings({"LD0"}));
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(toVector(IedConnection_getLogicalDeviceDirectory(con, &err, "LD0")),
              Strings({"LLN0", "GGIO1"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/LLN0", ACSI_CLASS_DATA_OBJECT)),
              Strings({"Mod"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/LLN0", ACSI_CLASS_URCB)),
              Strings({"urcb01"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/LLN0", ACSI_CLASS_BRCB)),
              Strings({"brcb01"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/LLN0", ACSI_CLASS_GoCB)),
              Strings({"gcb01"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/LLN0", ACSI_CLASS_DATA_SET)),
              Strings({"DS1"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/GGIO1", ACSI_CLASS_DATA_OBJECT)),
              Strings({"AnIn1", "Ind1", "Types"}));
    EXPECT_TRUE(
        toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/GGIO1", ACSI_CLASS_URCB)).empty());
    EXPECT_EQ(err, IED_ERROR_OK);

    EXPECT_EQ(toVector(IedConnection_getDataDirectory(con, &err, "LD0/GGIO1.Ind1")),
              Strings({"stVal", "q", "t"}));
    EXPECT_EQ(toVector(IedConnection_getDataDirectoryFC(con, &err, "LD0/GGIO1.AnIn1")),
              Strings({"mag[MX]", "q[MX]", "t[MX]"}));
    EXPECT_EQ(toVector(IedConnection_getDataDirectoryByFC(con, &err, "LD0/GGIO1.AnIn1", IEC61850_FC_MX)),
              Strings({"mag", "q", "t"}));
    EXPECT_EQ(toVector(IedConnection_getDataDirectoryByFC(con, &err, "LD0/GGIO1.AnIn1.mag", IEC61850_FC_MX)),
              Strings({"f"}));
    LinkedList leaf = IedConnection_getDataDirectoryByFC(con, &err, "LD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(LinkedList_size(leaf), 0);
    LinkedList_destroy(leaf);
    EXPECT_EQ(IedConnection_getDataDirectoryByFC(con, &err, "LD0/GGIO1.AnIn1", IEC61850_FC_ST), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    EXPECT_EQ(IedConnection_getDataDirectory(con, &err, "LD0/GGIO1.Nothing"), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);

    bool deletable = true;
    Strings members = {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO1.AnIn1[MX]"};
    EXPECT_EQ(toVector(IedConnection_getDataSetDirectory(con, &err, "LD0/LLN0.DS1", &deletable)), members);
    EXPECT_FALSE(deletable);
    EXPECT_EQ(toVector(IedConnection_getDataSetDirectory(con, &err, "LD0/LLN0$DS1", nullptr)), members);
    EXPECT_EQ(IedConnection_getDataSetDirectory(con, &err, "LD0/LLN0.NoSuchSet", nullptr), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
}

TEST_F(MmsClientTest, ReadsEveryBasicType) {
    IedClientError err;
    auto read = [&](const char* ref) {
        MmsValue* v = IedConnection_readObject(con, &err, ref, IEC61850_FC_ST);
        EXPECT_EQ(err, IED_ERROR_OK) << ref;
        return v;
    };
    MmsValue* v = read("LD0/GGIO1.Types.i8");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(MmsValue_getType(v), MMS_INTEGER);
    EXPECT_EQ(MmsValue_toInt32(v), -5);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.i64");
    EXPECT_EQ(MmsValue_toInt64(v), -1234567890123ll);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.u32");
    EXPECT_EQ(MmsValue_getType(v), MMS_UNSIGNED);
    EXPECT_EQ(MmsValue_toUint32(v), 4000000000u);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.f32");
    EXPECT_EQ(MmsValue_toFloat(v), 1.5f);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.f64");
    EXPECT_EQ(MmsValue_toDouble(v), -2.25);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.bs");
    EXPECT_EQ(MmsValue_getBitStringSize(v), 13);
    EXPECT_TRUE(MmsValue_getBitStringBit(v, 12));
    EXPECT_FALSE(MmsValue_getBitStringBit(v, 0));
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.os");
    ASSERT_EQ(MmsValue_getOctetStringSize(v), 3);
    EXPECT_EQ(MmsValue_getOctetStringBuffer(v)[0], 0xDE);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.vs");
    EXPECT_STREQ(MmsValue_toString(v), "visible");
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.us");
    EXPECT_EQ(MmsValue_getType(v), MMS_STRING);
    EXPECT_STREQ(MmsValue_toString(v), "\xd0\xb0\xd0\xb1");
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.ut");
    EXPECT_EQ(MmsValue_getUtcTimeInMs(v), 1600000000500ull);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.bt");
    EXPECT_EQ(MmsValue_getType(v), MMS_BINARY_TIME);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(v), 1500000000250ull);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types.arr");
    ASSERT_EQ(MmsValue_getType(v), MMS_ARRAY);
    ASSERT_EQ(MmsValue_getArraySize(v), 3u);
    EXPECT_EQ(MmsValue_toInt32(MmsValue_getElement(v, 2)), 300);
    MmsValue_delete(v);
    v = read("LD0/GGIO1.Types");
    ASSERT_EQ(MmsValue_getType(v), MMS_STRUCTURE);
    EXPECT_EQ(MmsValue_getArraySize(v), 13u);
    EXPECT_TRUE(MmsValue_getBoolean(MmsValue_getElement(v, 11)));
    MmsValue_delete(v);

    EXPECT_FLOAT_EQ(IedConnection_readFloatValue(con, &err, "LD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX), 42.5f);
    EXPECT_EQ(err, IED_ERROR_OK);
    // Objects the server does not have: an access error, mapped by the typed readers.
    IedConnection_readBooleanValue(con, &err, "LD0/GGIO1.Ind1.nothing", IEC61850_FC_ST);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    IedConnection_readBooleanValue(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_MX);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
}

TEST_F(MmsClientTest, VariableSpecificationDescribesTheType) {
    IedClientError err;
    MmsVariableSpecification* spec =
        IedConnection_getVariableSpecification(con, &err, "LD0/GGIO1.Types", IEC61850_FC_ST);
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(MmsVariableSpecification_getType(spec), MMS_STRUCTURE);
    ASSERT_EQ(MmsVariableSpecification_getSize(spec), 13);
    const char* names[] = {"i8", "i64", "u32", "f32", "f64", "bs", "os", "vs", "us", "ut", "bt", "b", "arr"};
    MmsType types[] = {MMS_INTEGER,     MMS_INTEGER,      MMS_UNSIGNED,       MMS_FLOAT,  MMS_FLOAT,
                       MMS_BIT_STRING,  MMS_OCTET_STRING, MMS_VISIBLE_STRING, MMS_STRING, MMS_UTC_TIME,
                       MMS_BINARY_TIME, MMS_BOOLEAN,      MMS_ARRAY};
    for (int i = 0; i < 13; ++i) {
        MmsVariableSpecification* c = MmsVariableSpecification_getChildSpecificationByIndex(spec, i);
        ASSERT_NE(c, nullptr);
        EXPECT_STREQ(MmsVariableSpecification_getName(c), names[i]);
        EXPECT_EQ(MmsVariableSpecification_getType(c), types[i]);
    }
    EXPECT_EQ(
        MmsVariableSpecification_getSize(MmsVariableSpecification_getChildSpecificationByIndex(spec, 1)), 64);
    EXPECT_EQ(MmsVariableSpecification_getExponentWidth(
                  MmsVariableSpecification_getChildSpecificationByIndex(spec, 4)),
              11);
    MmsVariableSpecification* arr =
        MmsVariableSpecification_getChildSpecificationByName(spec, "arr", nullptr);
    EXPECT_EQ(MmsVariableSpecification_getSize(arr), 3);
    EXPECT_EQ(MmsVariableSpecification_getType(MmsVariableSpecification_getArrayElementSpecification(arr)),
              MMS_INTEGER);
    MmsVariableSpecification_destroy(spec);

    spec = IedConnection_getVariableSpecification(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST);
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(MmsVariableSpecification_getType(spec), MMS_BOOLEAN);
    EXPECT_STREQ(MmsVariableSpecification_getName(spec), "stVal");
    MmsVariableSpecification_destroy(spec);
    EXPECT_EQ(IedConnection_getVariableSpecification(con, &err, "LD0/GGIO1.Ind1.none", IEC61850_FC_ST),
              nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
}

TEST_F(MmsClientTest, WritesAndTheirErrors) {
    IedClientError err;
    IedConnection_writeBooleanValue(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, true);
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_TRUE(IedConnection_readBooleanValue(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    MmsValue* f = MmsValue_newFloat(1.0f);
    IedConnection_writeObject(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, f);
    EXPECT_EQ(err, IED_ERROR_TYPE_INCONSISTENT);
    IedConnection_writeObject(con, &err, "LD0/GGIO1.Ind1.none", IEC61850_FC_ST, f);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    MmsValue_delete(f);
}

TEST_F(MmsClientTest, BadReferencesGiveErrorCodes) {
    IedClientError err = IED_ERROR_OK;
    EXPECT_EQ(IedConnection_readObject(con, &err, "GGIO1.Ind1.stVal", IEC61850_FC_ST), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_readObject(con, &err, nullptr, IEC61850_FC_ST), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_readObject(con, &err, "LD0/", IEC61850_FC_ST), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getDataDirectory(con, &err, "Ind1"), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getDataDirectoryFC(con, &err, nullptr), nullptr);
    EXPECT_EQ(IedConnection_getDataDirectoryByFC(con, &err, "/x", IEC61850_FC_ST), nullptr);
    EXPECT_EQ(IedConnection_getLogicalNodeDirectory(con, &err, "LLN0", ACSI_CLASS_DATA_OBJECT), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getDataSetDirectory(con, &err, "DS1", nullptr), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getRCBValues(con, &err, "urcb01", nullptr), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getGoCBValues(con, &err, "gcb01", nullptr), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getVariableSpecification(con, &err, "x", IEC61850_FC_ST), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(IedConnection_getLogicalDeviceDirectory(con, &err, "LDX"), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_UNDEFINED);
    // The connection is still fine afterwards.
    EXPECT_EQ(toVector(IedConnection_getServerDirectory(con, &err, false)), Strings({"LD0"}));
}

TEST_F(MmsClientTest, ReportControlBlocksReadAndWrite) {
    IedClientError err;
    ClientReportControlBlock rcb = IedConnection_getRCBValues(con, &err, "LD0/LLN0.RP.urcb01", nullptr);
    ASSERT_NE(rcb, nullptr) << err;
    EXPECT_FALSE(ClientReportControlBlock_isBuffered(rcb));
    EXPECT_STREQ(ClientReportControlBlock_getRptId(rcb), "Events1");
    EXPECT_STREQ(ClientReportControlBlock_getDataSetReference(rcb), "LD0/LLN0$DS1");
    EXPECT_EQ(ClientReportControlBlock_getConfRev(rcb), 7u);
    EXPECT_EQ(ClientReportControlBlock_getTrgOps(rcb), TRG_OPT_DATA_CHANGED | TRG_OPT_GI);
    EXPECT_EQ(ClientReportControlBlock_getOptFlds(rcb), RPT_OPT_SEQ_NUM | RPT_OPT_REASON_FOR_INCLUSION);
    EXPECT_EQ(ClientReportControlBlock_getIntgPd(rcb), 1000u);
    EXPECT_FALSE(ClientReportControlBlock_getRptEna(rcb));
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA, true);
    EXPECT_EQ(err, IED_ERROR_OK);
    EXPECT_TRUE(IedConnection_readBooleanValue(con, &err, "LD0/LLN0.urcb01.RptEna", IEC61850_FC_RP));
    ClientReportControlBlock_setIntgPd(rcb, 500);
    ClientReportControlBlock_setRptEna(rcb, false);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_INTG_PD | RCB_ELEMENT_RPT_ENA, false);
    EXPECT_EQ(err, IED_ERROR_OK);
    ASSERT_EQ(IedConnection_getRCBValues(con, &err, "LD0/LLN0.RP.urcb01", rcb), rcb);
    EXPECT_EQ(ClientReportControlBlock_getIntgPd(rcb), 500u);
    EXPECT_FALSE(ClientReportControlBlock_getRptEna(rcb));
    ClientReportControlBlock_destroy(rcb);

    rcb = IedConnection_getRCBValues(con, &err, "LD0/LLN0.BR.brcb01", nullptr);
    ASSERT_NE(rcb, nullptr) << err;
    EXPECT_TRUE(ClientReportControlBlock_isBuffered(rcb));
    EXPECT_STREQ(ClientReportControlBlock_getRptId(rcb), "Buffered1");
    EXPECT_EQ(ClientReportControlBlock_getConfRev(rcb), 3u);
    ASSERT_NE(ClientReportControlBlock_getEntryId(rcb), nullptr);
    EXPECT_EQ(MmsValue_getOctetStringSize(ClientReportControlBlock_getEntryId(rcb)), 8);
    EXPECT_TRUE(ClientReportControlBlock_hasResvTms(rcb));
    EXPECT_NE(ClientReportControlBlock_getOwner(rcb), nullptr);
    ClientReportControlBlock_destroy(rcb);

    EXPECT_EQ(IedConnection_getRCBValues(con, &err, "LD0/LLN0.RP.none", nullptr), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    // A value that is not a control block gives "unexpected value".
    EXPECT_EQ(IedConnection_getRCBValues(con, &err, "LD0/GGIO1.ST.Ind1", nullptr), nullptr);
    EXPECT_EQ(err, IED_ERROR_UNEXPECTED_VALUE_RECEIVED);
}

TEST_F(MmsClientTest, GooseControlBlockValues) {
    IedClientError err;
    ClientGooseControlBlock g = IedConnection_getGoCBValues(con, &err, "LD0/LLN0.gcb01", nullptr);
    ASSERT_NE(g, nullptr) << err;
    EXPECT_TRUE(ClientGooseControlBlock_getGoEna(g));
    EXPECT_STREQ(ClientGooseControlBlock_getGoID(g), "GooseId1");
    EXPECT_STREQ(ClientGooseControlBlock_getDatSet(g), "LD0/LLN0$DS1");
    EXPECT_EQ(ClientGooseControlBlock_getConfRev(g), 5u);
    PhyComAddress a = ClientGooseControlBlock_getDstAddress(g);
    EXPECT_EQ(a.dstAddress[0], 0x01);
    EXPECT_EQ(a.dstAddress[5], 0x01);
    EXPECT_EQ(a.vlanPriority, 4);
    EXPECT_EQ(a.vlanId, 100);
    EXPECT_EQ(a.appId, 0x1001);
    EXPECT_EQ(ClientGooseControlBlock_getMinTime(g), 4u);
    EXPECT_EQ(ClientGooseControlBlock_getMaxTime(g), 2000u);
    EXPECT_EQ(MmsValue_getOctetStringOctet(ClientGooseControlBlock_getDstAddress_addr(g), 2), 0xCD);
    ClientGooseControlBlock_destroy(g);
    g = IedConnection_getGoCBValues(con, &err, "LD0/LLN0.GO.gcb01", nullptr);
    EXPECT_NE(g, nullptr);
    ClientGooseControlBlock_destroy(g);
}

TEST(MmsClient, ConcurrentConnectionsAndSharedConnection) {
    ServerFixture srv;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&]() {
            IedConnection con = IedConnection_create();
            IedClientError err;
            IedConnection_connect(con, &err, "127.0.0.1", srv.server.port());
            if (err != IED_ERROR_OK)
                ++failures;
            for (int i = 0; i < 50 && err == IED_ERROR_OK; ++i) {
                MmsValue* v = IedConnection_readObject(con, &err, "LD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
                if (v == nullptr || MmsValue_toFloat(v) != 42.5f)
                    ++failures;
                MmsValue_deleteIfNotNull(v);
            }
            IedConnection_destroy(con);
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);

    // Several threads on one connection.
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", srv.server.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    threads.clear();
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&]() {
            for (int i = 0; i < 40; ++i) {
                IedClientError e;
                MmsValue* v = IedConnection_readObject(con, &e, "LD0/LLN0.Mod.stVal", IEC61850_FC_ST);
                if (v == nullptr || MmsValue_toInt32(v) != 1)
                    ++failures;
                MmsValue_deleteIfNotNull(v);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    IedConnection_destroy(con);
    for (int i = 0; i < 200 && srv.model.closed.load() < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(srv.model.opened.load(), 5);
    EXPECT_EQ(srv.model.closed.load(), 5);
}

TEST(MmsClient, ServerStoppedMidSession) {
    auto srv = std::make_unique<ServerFixture>();
    IedConnection con = IedConnection_create();
    std::atomic<int> closedCalls{0};
    IedConnection_installConnectionClosedHandler(
        con, [](void* p, IedConnection) { ++*static_cast<std::atomic<int>*>(p); }, &closedCalls);
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", srv->server.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    srv->server.stop();
    auto t0 = std::chrono::steady_clock::now();
    MmsValue* v = IedConnection_readObject(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST);
    EXPECT_EQ(v, nullptr);
    EXPECT_TRUE(err == IED_ERROR_CONNECTION_LOST || err == IED_ERROR_NOT_CONNECTED) << err;
    EXPECT_LT(secondsSince(t0), 2.0);
    EXPECT_TRUE(waitFor(closedCalls, 1));
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    IedConnection_destroy(con);
}

TEST(MmsClient, ClosedPortFailsQuickly) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd); // the port is now closed
    IedConnection con = IedConnection_create();
    IedConnection_setConnectTimeout(con, 2000);
    IedClientError err;
    auto t0 = std::chrono::steady_clock::now();
    IedConnection_connect(con, &err, "127.0.0.1", ntohs(addr.sin_port));
    EXPECT_EQ(err, IED_ERROR_CONNECTION_REJECTED);
    EXPECT_LT(secondsSince(t0), 1.0);
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    IedConnection_destroy(con);
}

TEST(MmsClient, SilentHostTimesOut) {
    // A listening socket that never accepts: TCP connects, nothing ever answers.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    IedConnection con = IedConnection_create();
    IedConnection_setConnectTimeout(con, 300);
    IedClientError err;
    auto t0 = std::chrono::steady_clock::now();
    IedConnection_connect(con, &err, "127.0.0.1", ntohs(addr.sin_port));
    double elapsed = secondsSince(t0);
    EXPECT_EQ(err, IED_ERROR_CONNECTION_REJECTED); // libiec61850's code for a connect time-out
    EXPECT_GE(elapsed, 0.25);
    EXPECT_LT(elapsed, 1.5);
    IedConnection_destroy(con);
    ::close(fd);
}

TEST(MmsClient, NothingStaleAfterReconnectToAnotherServer) {
    ServerFixture a("LDA");
    ServerFixture b("LDB");
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", a.server.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(toVector(IedConnection_getServerDirectory(con, &err, false)), Strings({"LDA"}));
    EXPECT_EQ(toVector(IedConnection_getLogicalDeviceDirectory(con, &err, "LDA")).size(), 2u);
    EXPECT_EQ(toVector(IedConnection_getLogicalNodeDirectory(con, &err, "LDA/LLN0", ACSI_CLASS_URCB)).size(),
              1u);
    IedConnection_close(con);
    EXPECT_EQ(IedConnection_getLogicalNodeDirectory(con, &err, "LDA/LLN0", ACSI_CLASS_URCB), nullptr);
    EXPECT_EQ(err, IED_ERROR_NOT_CONNECTED);
    IedConnection_connect(con, &err, "127.0.0.1", b.server.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    EXPECT_EQ(toVector(IedConnection_getServerDirectory(con, &err, false)), Strings({"LDB"}));
    EXPECT_EQ(IedConnection_getLogicalNodeDirectory(con, &err, "LDA/LLN0", ACSI_CLASS_URCB), nullptr);
    EXPECT_EQ(err, IED_ERROR_OBJECT_UNDEFINED);
    IedConnection_destroy(con);
}

TEST(MmsClient, ServiceCallsWhenNotConnected) {
    IedConnection con = IedConnection_create();
    IedClientError err;
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
    EXPECT_EQ(IedConnection_getServerDirectory(con, &err, false), nullptr);
    EXPECT_EQ(err, IED_ERROR_NOT_CONNECTED);
    EXPECT_EQ(IedConnection_readObject(con, &err, "LD0/LLN0.Mod.stVal", IEC61850_FC_ST), nullptr);
    EXPECT_EQ(err, IED_ERROR_NOT_CONNECTED);
    IedConnection_close(con);
    IedConnection_connect(con, &err, "127.0.0.1:notaport", 102);
    EXPECT_EQ(err, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    IedConnection_destroy(con);
}

namespace {

// A server with long answers: 5000 variable names (several GetNameList pages) and a 60000
// character string (an MMS PDU spread over many COTP segments).
class LargeAnswers : public stack::mms::MmsServerHandler {
public:
    bool getNameList(MmsServerConnection&, ObjectClass cls, const std::string&,
                     std::vector<std::string>& names) override {
        if (cls == ObjectClass::Domain) {
            names.push_back("BIG");
            return true;
        }
        for (int i = 0; i < 5000; ++i)
            names.push_back("GGIO" + std::to_string(i) + "$ST$SomeDataObjectName");
        return true;
    }
    MmsValue* readVariable(MmsServerConnection&, const ObjectName&) override {
        return MmsValue_newVisibleString(std::string(60000, 'x').c_str());
    }
    MmsDataAccessError writeVariable(MmsServerConnection&, const ObjectName&,
                                     const MmsValue* value) override {
        return MmsValue_getStringSize(value) == 30000 ? DATA_ACCESS_ERROR_SUCCESS
                                                      : DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID;
    }
    const MmsVariableSpecification* getVariableAccessAttributes(MmsServerConnection&,
                                                                const ObjectName&) override {
        return nullptr;
    }
    bool getNamedVariableListAttributes(MmsServerConnection&, const ObjectName&, std::vector<ObjectName>&,
                                        bool&) override {
        return false;
    }
};

} // namespace

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
    MmsValue_delete(big);
    // Larger than the negotiated PDU size: refused locally, the connection stays usable.
    big = MmsValue_newVisibleString(std::string(70000, 'z').c_str());
    IedConnection_writeObject(con, &err, "BIG/GGIO1.X", IEC61850_FC_ST, big);
    EXPECT_EQ(err, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    MmsValue_delete(big);
    EXPECT_EQ(IedConnection_getState(con), IED_STATE_CONNECTED);
    IedConnection_destroy(con);
}
