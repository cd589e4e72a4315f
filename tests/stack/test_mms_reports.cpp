// Report reception and the raw message handler of the client against the server engine.
#include "stack/src/mms/client/IedConnectionInternal.h"
#include "test_mms_helpers.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace mmstest;

namespace {

struct ReportLog {
    std::atomic<int> count{0};
    std::vector<int> reasons0, reasons1;
    std::vector<bool> values0;
    std::vector<const MmsValue*> element0;
    uint64_t timestamp = 0;
    std::string rptId, rcbRef, dataSet;
    bool hasSeqNum = false;
    IedConnection con = nullptr;
    IedClientError nestedError = IED_ERROR_OK;
    double nestedSeconds = 0;
    std::thread::id thread;
};

void onReport(void* p, ClientReport report) {
    auto* log = static_cast<ReportLog*>(p);
    log->reasons0.push_back(ClientReport_getReasonForInclusion(report, 0));
    log->reasons1.push_back(ClientReport_getReasonForInclusion(report, 1));
    MmsValue* values = ClientReport_getDataSetValues(report);
    MmsValue* e0 = MmsValue_getElement(values, 0);
    log->element0.push_back(e0);
    log->values0.push_back(e0 != nullptr && MmsValue_getBoolean(e0));
    log->timestamp = ClientReport_hasTimestamp(report) ? ClientReport_getTimestamp(report) : 0;
    log->rptId = ClientReport_getRptId(report);
    log->rcbRef = ClientReport_getRcbReference(report);
    log->dataSet = ClientReport_hasDataSetName(report) ? ClientReport_getDataSetName(report) : "";
    log->hasSeqNum = ClientReport_hasSeqNum(report);
    log->thread = std::this_thread::get_id();
    if (log->con != nullptr) {
        // A blocking service on the receive thread must fail instead of deadlocking.
        auto t0 = std::chrono::steady_clock::now();
        MmsValue* v =
            IedConnection_readObject(log->con, &log->nestedError, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST);
        log->nestedSeconds = secondsSince(t0);
        MmsValue_deleteIfNotNull(v);
    }
    ++log->count;
}

} // namespace

TEST_F(MmsClientTest, ReportsWithReasonCodesReachTheHandler) {
    ReportLog log;
    log.con = con;
    IedClientError err;
    IedConnection_installReportHandler(con, "LD0/LLN0.RP.urcb01", "Events1", onReport, &log);
    ClientReportControlBlock rcb = ClientReportControlBlock_create("LD0/LLN0.RP.urcb01");
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA, true);
    ASSERT_EQ(err, IED_ERROR_OK);

    IedConnection_writeBooleanValue(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, true);
    ASSERT_EQ(srv->model.sendUrcbReport(0x3, 1), 1);
    ASSERT_TRUE(waitFor(log.count, 1));
    IedConnection_writeBooleanValue(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, false);
    ASSERT_EQ(srv->model.sendUrcbReport(0x2, 5), 1); // member 0 not included
    ASSERT_TRUE(waitFor(log.count, 2));
    ASSERT_EQ(srv->model.sendUrcbReport(0x1, 5), 1);
    ASSERT_TRUE(waitFor(log.count, 3));

    EXPECT_EQ(log.reasons0, std::vector<int>({IEC61850_REASON_DATA_CHANGE, IEC61850_REASON_NOT_INCLUDED,
                                              IEC61850_REASON_GI}));
    EXPECT_EQ(log.reasons1, std::vector<int>({IEC61850_REASON_DATA_CHANGE, IEC61850_REASON_GI,
                                              IEC61850_REASON_NOT_INCLUDED}));
    // Not included: the old value stays; included: the value changes in place.
    EXPECT_EQ(log.values0, std::vector<bool>({true, true, false}));
    EXPECT_EQ(log.element0[0], log.element0[2]);
    EXPECT_EQ(log.timestamp, 1700000000456ull);
    EXPECT_EQ(log.rptId, "Events1");
    EXPECT_EQ(log.rcbRef, "LD0/LLN0.RP.urcb01");
    EXPECT_EQ(log.dataSet, "LD0/LLN0$DS1");
    EXPECT_TRUE(log.hasSeqNum);
    EXPECT_NE(log.thread, std::this_thread::get_id());
    EXPECT_EQ(log.nestedError, IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED);
    EXPECT_LT(log.nestedSeconds, 0.5);

    // Another RptID is not delivered; after uninstalling nothing is.
    IedConnection_installReportHandler(con, "LD0/LLN0.RP.urcb01", "Other", onReport, &log);
    srv->model.sendUrcbReport(0x3, 1);
    IedConnection_uninstallReportHandler(con, "LD0/LLN0.RP.urcb01");
    srv->model.sendUrcbReport(0x3, 1);
    // A read after the reports proves they were processed (same receive thread, in order).
    MmsValue* q = IedConnection_readObject(con, &err, "LD0/GGIO1.Ind1.q", IEC61850_FC_ST);
    EXPECT_NE(q, nullptr);
    MmsValue_deleteIfNotNull(q);
    EXPECT_EQ(log.count.load(), 3);
    ClientReportControlBlock_destroy(rcb);
}

namespace {

struct RawLog {
    std::atomic<int> sent{0};
    std::atomic<int> received{0};
    std::atomic<int> badThread{0};
    std::thread::id caller;
    std::vector<uint8_t> firstTags;
    std::mutex mutex;
};

void onRaw(void* p, uint8_t* message, int length, bool received) {
    auto* log = static_cast<RawLog*>(p);
    if (std::this_thread::get_id() == log->caller)
        ++log->badThread;
    {
        std::lock_guard<std::mutex> lock(log->mutex);
        if (length > 0)
            log->firstTags.push_back(message[0]);
    }
    if (received)
        ++log->received;
    else
        ++log->sent;
}

} // namespace

TEST(MmsClient, RawMessageHandlerSeesEveryPduOnTheReceiveThread) {
    ServerFixture srv;
    IedConnection con = IedConnection_create();
    RawLog log;
    log.caller = std::this_thread::get_id();
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(con), onRaw, &log);
    IedClientError err;
    IedConnection_connect(con, &err, ("127.0.0.1:" + std::to_string(srv.server.port())).c_str(), 102);
    ASSERT_EQ(err, IED_ERROR_OK);
    for (int i = 0; i < 5; ++i)
        MmsValue_delete(IedConnection_readObject(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    EXPECT_TRUE(waitFor(log.received, 6));
    EXPECT_TRUE(waitFor(log.sent, 6));
    EXPECT_EQ(log.sent.load(), 6); // initiate + 5 reads
    EXPECT_EQ(log.received.load(), 6);
    EXPECT_EQ(log.badThread.load(), 0);
    {
        std::lock_guard<std::mutex> lock(log.mutex);
        ASSERT_GE(log.firstTags.size(), 4u);
        EXPECT_EQ(log.firstTags[0], 0xA8); // initiate request
        EXPECT_EQ(log.firstTags[1], 0xA9); // initiate response
        EXPECT_EQ(log.firstTags[2], 0xA0); // confirmed request
        EXPECT_EQ(log.firstTags[3], 0xA1); // confirmed response
    }
    MmsServerIdentity* id = MmsConnection_identify(IedConnection_getMmsConnection(con), nullptr);
    ASSERT_NE(id, nullptr);
    EXPECT_STREQ(id->vendorName, "iecx");
    MmsServerIdentity_destroy(id);
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
