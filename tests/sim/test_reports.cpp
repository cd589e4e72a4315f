// Report control blocks of the simulated IED driven through the stack's client: enabling,
// data change, quality change, integrity and GI reports with their reason codes, buffering of
// buffered blocks, and reservation by one client.
#include "support/IedClient.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

using namespace iecx::test;

namespace {

struct Received {
    std::string rptId;
    std::string dataSet;
    int seqNum = -1;
    bool hasTimestamp = false;
    uint32_t confRev = 0;
    std::vector<int> reasons;
    std::vector<MmsValue*> values; // copies of the included members, null otherwise
    std::vector<std::string> refs;
    bool hasEntryId = false;
    Received() = default;
    Received(const Received&) = delete;
    ~Received() {
        for (MmsValue* v : values)
            MmsValue_delete(v);
    }
};

struct Sink : Recorded<std::shared_ptr<Received>> {
    int members;

    explicit Sink(int memberCount) : members(memberCount) {}

    static void onReport(void* p, ClientReport report) {
        auto* self = static_cast<Sink*>(p);
        auto r = std::make_shared<Received>();
        r->rptId = ClientReport_getRptId(report);
        if (ClientReport_hasDataSetName(report) && ClientReport_getDataSetName(report))
            r->dataSet = ClientReport_getDataSetName(report);
        if (ClientReport_hasSeqNum(report))
            r->seqNum = ClientReport_getSeqNum(report);
        r->hasTimestamp = ClientReport_hasTimestamp(report);
        if (ClientReport_hasConfRev(report))
            r->confRev = ClientReport_getConfRev(report);
        r->hasEntryId = ClientReport_getEntryId(report) != nullptr;
        MmsValue* values = ClientReport_getDataSetValues(report);
        for (int i = 0; i < self->members; ++i) {
            int reason = ClientReport_getReasonForInclusion(report, i);
            r->reasons.push_back(reason);
            MmsValue* v = reason != IEC61850_REASON_NOT_INCLUDED ? MmsValue_getElement(values, i) : nullptr;
            r->values.push_back(v ? MmsValue_clone(v) : nullptr);
            const char* ref = ClientReport_getDataReference(report, i);
            r->refs.push_back(ref ? ref : "");
        }
        self->add(std::move(r));
    }
    bool waitCount(size_t n) {
        return waitUntil([&] { return count() >= n; });
    }
    size_t count() const { return take().size(); }
    Received& at(size_t i) const { return *take().at(i); }
};

const char* kUrcb = "SIMIEDLD0/LLN0.RP.urcbStatus01";
const char* kBrcb = "SIMIEDLD0/LLN0.BR.brcbMeas";

class SimReports : public SimpleIedClient {
protected:
    // Reads the block, installs the sink, applies the changes and enables it in one request.
    IedClientError enable(IedConnection c, const char* ref, Sink& sink, int trgOps = -1, int intgPd = -1,
                          const char* rptId = nullptr) {
        IedClientError err;
        ClientReportControlBlock rcb = IedConnection_getRCBValues(c, &err, ref, nullptr);
        if (!rcb)
            return err;
        uint32_t mask = RCB_ELEMENT_RPT_ENA;
        if (rptId) {
            ClientReportControlBlock_setRptId(rcb, rptId);
            mask |= RCB_ELEMENT_RPT_ID;
        }
        IedConnection_installReportHandler(c, ref, ClientReportControlBlock_getRptId(rcb), &Sink::onReport,
                                           &sink);
        if (trgOps >= 0) {
            ClientReportControlBlock_setTrgOps(rcb, trgOps);
            mask |= RCB_ELEMENT_TRG_OPS;
        }
        if (intgPd >= 0) {
            ClientReportControlBlock_setIntgPd(rcb, static_cast<uint32_t>(intgPd));
            mask |= RCB_ELEMENT_INTG_PD;
        }
        ClientReportControlBlock_setRptEna(rcb, true);
        IedConnection_setRCBValues(c, &err, rcb, mask, true);
        ClientReportControlBlock_destroy(rcb);
        if (err != IED_ERROR_OK)
            IedConnection_uninstallReportHandler(c, ref);
        return err;
    }

    void set(const char* ref, MmsValue* v) {
        EXPECT_TRUE(sim.ied().setValue(ref, v)) << ref;
        MmsValue_delete(v);
    }
};

} // namespace

TEST_F(SimReports, ControlBlockValuesAsConfigured) {
    IedClientError err;
    ClientReportControlBlock rcb = IedConnection_getRCBValues(con, &err, kUrcb, nullptr);
    ASSERT_NE(rcb, nullptr);
    // RptID, data set, confRev and the optional fields show in the reports below.
    EXPECT_FALSE(ClientReportControlBlock_isBuffered(rcb));
    EXPECT_EQ(ClientReportControlBlock_getIntgPd(rcb), 1000u);
    EXPECT_EQ(ClientReportControlBlock_getTrgOps(rcb),
              TRG_OPT_DATA_CHANGED | TRG_OPT_QUALITY_CHANGED | TRG_OPT_INTEGRITY | TRG_OPT_GI);
    ClientReportControlBlock_destroy(rcb);

    rcb = IedConnection_getRCBValues(con, &err, kBrcb, nullptr);
    ASSERT_NE(rcb, nullptr);
    EXPECT_TRUE(ClientReportControlBlock_isBuffered(rcb));
    EXPECT_STREQ(ClientReportControlBlock_getRptId(rcb), "SIMIEDLD0/LLN0$BR$brcbMeas");
    EXPECT_EQ(ClientReportControlBlock_getBufTm(rcb), 50u);
    ClientReportControlBlock_destroy(rcb);
}

TEST_F(SimReports, DataChangeQualityChangeAndGi) {
    Sink sink(3);
    ASSERT_EQ(enable(con, kUrcb, sink, TRG_OPT_DATA_CHANGED | TRG_OPT_QUALITY_CHANGED | TRG_OPT_GI),
              IED_ERROR_OK);
    IedClientError err;
    EXPECT_TRUE(
        IedConnection_readBooleanValue(con, &err, "SIMIEDLD0/LLN0.urcbStatus01.RptEna", IEC61850_FC_RP));

    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(false));
    ASSERT_TRUE(sink.waitCount(1));
    {
        Received& r = sink.at(0);
        EXPECT_EQ(r.rptId, "StatusRpt");
        EXPECT_EQ(r.dataSet, "SIMIEDLD0/LLN0$Status");
        EXPECT_EQ(r.seqNum, 0);
        EXPECT_TRUE(r.hasTimestamp);
        EXPECT_EQ(r.confRev, 3u);
        EXPECT_EQ(r.reasons, (std::vector<int>{IEC61850_REASON_DATA_CHANGE, 0, 0}));
        ASSERT_NE(r.values[0], nullptr);
        EXPECT_FALSE(MmsValue_getBoolean(r.values[0]));
        EXPECT_EQ(r.refs[0], "SIMIEDLD0/GGIO1$ST$Ind1$stVal");
    }
    MmsValue* q = MmsValue_newBitString(13);
    MmsValue_setBitStringBit(q, 1, true); // invalid
    set("LD0/GGIO1.Ind1.q", q);
    ASSERT_TRUE(sink.waitCount(2));
    EXPECT_EQ(sink.at(1).reasons, (std::vector<int>{0, IEC61850_REASON_QUALITY_CHANGE, 0}));
    EXPECT_EQ(sink.at(1).seqNum, 1);
    // Setting the same value again is no data change.
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(false));

    ClientReportControlBlock rcb = ClientReportControlBlock_create(kUrcb);
    ClientReportControlBlock_setGI(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_GI, true);
    ClientReportControlBlock_destroy(rcb);
    EXPECT_EQ(err, IED_ERROR_OK);
    ASSERT_TRUE(sink.waitCount(3));
    Received& gi = sink.at(2);
    EXPECT_EQ(gi.reasons, (std::vector<int>{IEC61850_REASON_GI, IEC61850_REASON_GI, IEC61850_REASON_GI}));
    EXPECT_EQ(gi.seqNum, 2);
    ASSERT_NE(gi.values[2], nullptr);
    EXPECT_EQ(MmsValue_getType(gi.values[2]), MMS_BIT_STRING); // XCBR1.Pos.stVal
    EXPECT_EQ(sink.count(), 3u);
}

TEST_F(SimReports, IntegrityReportsAtTheIntegrityPeriod) {
    Sink sink(3);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(enable(con, kUrcb, sink, TRG_OPT_INTEGRITY, 100), IED_ERROR_OK);
    ASSERT_TRUE(sink.waitCount(3));
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(elapsed.count(), 250);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sink.at(i).reasons, (std::vector<int>{IEC61850_REASON_INTEGRITY, IEC61850_REASON_INTEGRITY,
                                                        IEC61850_REASON_INTEGRITY}));
        EXPECT_EQ(sink.at(i).seqNum, i);
    }
    // Data changes do not trigger when TrgOps has only the integrity bit.
    size_t before = sink.count();
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(false));
    ASSERT_TRUE(sink.waitCount(before + 1));
    EXPECT_EQ(sink.at(before).reasons[0], IEC61850_REASON_INTEGRITY);
}

TEST_F(SimReports, ConfigurationIsLockedWhileEnabled) {
    IedClientError err;
    ClientReportControlBlock rcb = ClientReportControlBlock_create(kUrcb);
    ClientReportControlBlock_setDataSetReference(rcb, "SIMIEDLD0/LLN0$Nope");
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_DATSET, true);
    EXPECT_EQ(err, IED_ERROR_OBJECT_VALUE_INVALID);
    ClientReportControlBlock_setDataSetReference(rcb, "SIMIEDLD0/LLN0$Measurements");
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_DATSET, true);
    EXPECT_EQ(err, IED_ERROR_OK);
    ClientReportControlBlock_destroy(rcb);

    Sink sink(4);
    ASSERT_EQ(enable(con, kUrcb, sink, TRG_OPT_DATA_CHANGED), IED_ERROR_OK);
    rcb = ClientReportControlBlock_create(kUrcb);
    ClientReportControlBlock_setIntgPd(rcb, 5);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_INTG_PD, true);
    EXPECT_EQ(err, IED_ERROR_TEMPORARILY_UNAVAILABLE);
    ClientReportControlBlock_destroy(rcb);
    // The new data set is the one reported.
    set("LD0/GGIO1.Ind2.stVal", MmsValue_newBoolean(true));
    ASSERT_TRUE(sink.waitCount(1));
    EXPECT_EQ(sink.at(0).dataSet, "SIMIEDLD0/LLN0$Measurements");
    EXPECT_EQ(sink.at(0).reasons, (std::vector<int>{0, IEC61850_REASON_DATA_CHANGE, 0, 0}));
    // The fourth member is one element of an array: only that part travels.
    set("LD0/GGIO1.Harm.har(2).mag.f[MX]", MmsValue_newFloat(2.5f));
    ASSERT_TRUE(sink.waitCount(2));
    EXPECT_EQ(sink.at(1).reasons, (std::vector<int>{0, 0, 0, IEC61850_REASON_DATA_CHANGE}));
    const MmsValue* mag = sink.at(1).values[3];
    ASSERT_EQ(MmsValue_getType(mag), MMS_STRUCTURE);
    EXPECT_FLOAT_EQ(MmsValue_toFloat(MmsValue_getElement(const_cast<MmsValue*>(mag), 0)), 2.5f);
}

TEST_F(SimReports, EnabledBlockBelongsToItsClient) {
    Sink first(3), second(3), third(3);
    ASSERT_EQ(enable(con, kUrcb, first, TRG_OPT_DATA_CHANGED), IED_ERROR_OK);
    IedConnection other = connectTo(sim);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(enable(other, kUrcb, second, TRG_OPT_DATA_CHANGED), IED_ERROR_TEMPORARILY_UNAVAILABLE);
    // Both instances carry the configured RptID; a client that enables two of them on one
    // connection gives one its own.
    ASSERT_EQ(enable(other, "SIMIEDLD0/LLN0.RP.urcbStatus02", third, TRG_OPT_DATA_CHANGED, -1, "Status2"),
              IED_ERROR_OK);
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(false));
    ASSERT_TRUE(first.waitCount(1));
    ASSERT_TRUE(third.waitCount(1));
    EXPECT_EQ(second.count(), 0u);
    // Closing the owner frees the block.
    IedConnection_destroy(con);
    con = nullptr;
    IedClientError err;
    EXPECT_TRUE(waitUntil([&] {
        return !IedConnection_readBooleanValue(other, &err, "SIMIEDLD0/LLN0.urcbStatus01.RptEna",
                                               IEC61850_FC_RP);
    }));
    EXPECT_EQ(enable(other, kUrcb, second, TRG_OPT_DATA_CHANGED), IED_ERROR_OK);
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(true));
    ASSERT_TRUE(second.waitCount(1));
    IedConnection_destroy(other);
}

TEST_F(SimReports, BufferedBlockKeepsEntriesUntilEnabled) {
    // A change before anyone enables the block is kept in its buffer.
    MmsValue* f = MmsValue_newFloat(3.5f);
    set("LD0/GGIO1.AnIn1.mag.f", f);
    Sink sink(3);
    ASSERT_EQ(enable(con, kBrcb, sink), IED_ERROR_OK);
    ASSERT_TRUE(sink.waitCount(1));
    {
        Received& r = sink.at(0);
        EXPECT_EQ(r.reasons, (std::vector<int>{IEC61850_REASON_DATA_CHANGE, 0, 0}));
        EXPECT_TRUE(r.hasEntryId);
        ASSERT_NE(r.values[0], nullptr);
        ASSERT_EQ(MmsValue_getType(r.values[0]), MMS_STRUCTURE); // the whole AnIn1[MX]
        EXPECT_FLOAT_EQ(MmsValue_toFloat(MmsValue_getElement(MmsValue_getElement(r.values[0], 0), 0)), 3.5f);
    }
    // Changes of two members within the buffer time travel in one report.
    set("LD0/GGIO1.Ind2.stVal", MmsValue_newBoolean(true));
    set("PROT/PTOCPTOC1.Str.general", MmsValue_newBoolean(true));
    ASSERT_TRUE(sink.waitCount(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(sink.count(), 2u);
    EXPECT_EQ(sink.at(1).reasons,
              (std::vector<int>{0, IEC61850_REASON_DATA_CHANGE, IEC61850_REASON_DATA_CHANGE}));
    IedClientError err;
    ClientReportControlBlock rcb = IedConnection_getRCBValues(con, &err, kBrcb, nullptr);
    ASSERT_NE(rcb, nullptr);
    MmsValue* entryId = ClientReportControlBlock_getEntryId(rcb);
    ASSERT_NE(entryId, nullptr);
    EXPECT_EQ(MmsValue_getOctetStringSize(entryId), 8);
    EXPECT_EQ(MmsValue_getOctetStringOctet(entryId, 7), 2); // the second entry
    EXPECT_GT(ClientReportControlBlock_getEntryTime(rcb), 1600000000000ull);
    ClientReportControlBlock_destroy(rcb);
}

// The client side: the handler runs on the receive thread, where a blocking service fails at once
// instead of deadlocking; a member not included keeps its last value, an included one is updated
// in place; reports under another RptID, or after the handler is uninstalled, reach nobody.
TEST_F(SimReports, HandlerOnTheReceiveThreadSeesValuesUpdatedInPlace) {
    struct Log {
        IedConnection con = nullptr;
        std::atomic<int> count{0};
        std::vector<int> reasons0;
        std::vector<bool> values0;
        std::vector<const MmsValue*> element0;
        std::thread::id thread;
        IedClientError nestedError = IED_ERROR_OK;
        double nestedSeconds = 0;
    } log;
    log.con = con;
    auto handler = [](void* p, ClientReport report) {
        auto* log = static_cast<Log*>(p);
        MmsValue* e0 = MmsValue_getElement(ClientReport_getDataSetValues(report), 0);
        log->reasons0.push_back(ClientReport_getReasonForInclusion(report, 0));
        log->element0.push_back(e0);
        log->values0.push_back(e0 != nullptr && MmsValue_getBoolean(e0));
        log->thread = std::this_thread::get_id();
        auto t0 = std::chrono::steady_clock::now();
        MmsValue_deleteIfNotNull(IedConnection_readObject(log->con, &log->nestedError,
                                                          "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
        log->nestedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++log->count;
    };
    auto waitCount = [&](int n) { return waitForCount(log.count, n); };
    Sink unused(3);
    ASSERT_EQ(enable(con, kUrcb, unused, TRG_OPT_DATA_CHANGED | TRG_OPT_QUALITY_CHANGED), IED_ERROR_OK);
    IedConnection_installReportHandler(con, kUrcb, "StatusRpt", handler, &log);
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(false));
    ASSERT_TRUE(waitCount(1));
    MmsValue* q = MmsValue_newBitString(13); // a quality change only: stVal not included
    MmsValue_setBitStringBit(q, 1, true);
    set("LD0/GGIO1.Ind1.q", q);
    ASSERT_TRUE(waitCount(2));
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(true));
    ASSERT_TRUE(waitCount(3));
    EXPECT_EQ(log.reasons0, (std::vector<int>{IEC61850_REASON_DATA_CHANGE, IEC61850_REASON_NOT_INCLUDED,
                                              IEC61850_REASON_DATA_CHANGE}));
    EXPECT_EQ(log.values0, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(log.element0[0], log.element0[2]);
    EXPECT_NE(log.thread, std::this_thread::get_id());
    EXPECT_EQ(log.nestedError, IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED);
    EXPECT_LT(log.nestedSeconds, 0.5);

    IedConnection_installReportHandler(con, kUrcb, "Other", handler, &log);
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    IedConnection_uninstallReportHandler(con, kUrcb);
    set("LD0/GGIO1.Ind1.stVal", MmsValue_newBoolean(true));
    // A read after the reports proves they were processed (same receive thread, in order).
    IedClientError err;
    MmsValue_deleteIfNotNull(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Ind1.q", IEC61850_FC_ST));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(log.count.load(), 3);
    EXPECT_EQ(unused.count(), 0u);
}
