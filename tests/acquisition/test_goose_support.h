#pragma once
// Helpers of the acquisition tests: GOOSE and SV publishers on one end of a veth pair and the GOOSE
// data set's FCDA XML.
#include "acquisition/GooseSubscriberPool.h"
#include "mms/FCDAElement.h"
#include "support/CliRun.h"
#include "support/Veth.h"
#include "test_mms_support.h"

#include "goose_publisher.h"
#include "sv_publisher.h"
#include "linked_list.h"
#include "mms_value.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace goosetest {

using namespace VorIec61850;

inline constexpr uint64_t kEventTime = 1764940000123ULL; // a fixed UTC time in ms

// One GOOSE publication: addressing, identification and a data set of
// [0] BOOLEAN Ind1.stVal, [1] BIT_STRING Ind1.q, [2] UTC_TIME t, [3] INTEGER Ind2.stVal.
struct Publication {
    uint16_t appId = 0x1001;
    uint8_t dstMac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    std::string goCbRef = "IED1LD0/LLN0$GO$gcb1";
    std::string goId = "IED1_gcb1";
    std::string dataSetRef = "IED1LD0/LLN0$ds1";
    uint32_t confRev = 1;
    bool test = false;
};

class Publisher {
public:
    Publisher(const std::string& iface, const Publication& p) {
        CommParameters params{};
        params.appId = p.appId;
        params.vlanId = 0;
        params.vlanPriority = 4;
        std::memcpy(params.dstAddress, p.dstMac, 6);
        _publisher = GoosePublisher_create(&params, iface.c_str());
        if (_publisher == nullptr)
            return;
        _goCbRef = p.goCbRef;
        _goId = p.goId;
        _dataSetRef = p.dataSetRef;
        GoosePublisher_setGoCbRef(_publisher, &_goCbRef[0]);
        GoosePublisher_setGoID(_publisher, &_goId[0]);
        GoosePublisher_setDataSetRef(_publisher, &_dataSetRef[0]);
        GoosePublisher_setConfRev(_publisher, p.confRev);
        GoosePublisher_setSimulation(_publisher, p.test);
        GoosePublisher_setTimeAllowedToLive(_publisher, 2000);
        _values = LinkedList_create();
        LinkedList_add(_values, MmsValue_newBoolean(false));
        MmsValue* quality = MmsValue_newBitString(13);
        LinkedList_add(_values, quality);
        LinkedList_add(_values, MmsValue_newUtcTimeByMsTime(kEventTime));
        LinkedList_add(_values, MmsValue_newIntegerFromInt32(0));
    }
    ~Publisher() {
        if (_publisher)
            GoosePublisher_destroy(_publisher);
        if (_values)
            LinkedList_destroyDeep(_values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    }
    bool ok() const { return _publisher != nullptr; }

    // Publishes with the given boolean, integer and event time.
    void publish(bool flag, int32_t number, uint64_t eventTime = kEventTime) {
        MmsValue_setBoolean(value(0), flag);
        MmsValue_setUtcTimeMs(value(2), eventTime);
        MmsValue_setInt32(value(3), number);
        GoosePublisher_increaseStNum(_publisher);
        GoosePublisher_publish(_publisher, _values);
    }

private:
    MmsValue* value(int i) { return static_cast<MmsValue*>(LinkedList_getData(LinkedList_get(_values, i))); }
    GoosePublisher _publisher = nullptr;
    LinkedList _values = nullptr;
    std::string _goCbRef, _goId, _dataSetRef;
};

// The data set of Publication as FCDA XML: a flat list of members whose "t" member gives every
// member its time stamp.
inline std::string dataSetXml(bool withTime = true) {
    FCDAElement root;
    root.addChild(
        std::make_unique<FCDAElement>("LD0/GGIO1.Ind1.stVal", tFCEnum::ST, tMmsTypeEnum::BOOLEAN, nullptr));
    root.addChild(
        std::make_unique<FCDAElement>("LD0/GGIO1.Ind1.q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING, nullptr));
    root.addChild(std::make_unique<FCDAElement>(withTime ? "t" : "LD0/GGIO1.Ind1.x", tFCEnum::ST,
                                                tMmsTypeEnum::UTC_TIME, nullptr));
    root.addChild(
        std::make_unique<FCDAElement>("LD0/GGIO2.Ind2.stVal", tFCEnum::ST, tMmsTypeEnum::INTEGER, nullptr));
    return root.serializeToString();
}

inline GooseIn makeTarget(const std::string& iface, const std::vector<std::string>& paths,
                          bool withTime = true) {
    GooseIn target;
    target.interfaceName = iface;
    target.dataSetXml = dataSetXml(withTime);
    for (const auto& p : paths)
        target.paths.push_back(MmsPath(p, nullptr));
    return target;
}

using mmspooltest::Delivery;
using mmspooltest::Recorder;

// Publishes until the pool has seen `expected` updates in total or the attempts run out; the
// first frames after a receiver starts may be sent before its socket is bound.
inline void publishUntil(Publisher& publisher, Recorder& seen, size_t expected, int attempts = 50) {
    for (int i = 0; i < attempts && seen.count() < expected; ++i) {
        publisher.publish(true, 7);
        seen.waitForCount(seen.count() + 1, 200);
    }
}

class GoosePoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!veth.ok())
            GTEST_SKIP() << veth.skipReason();
    }
    iecx::test::Veth veth;
};

using iecx::test::CliProcess;

// One stream of one ASDU with 8 channels of INT32 value and quality (9-2 style, 64 data bytes).
class SvStream {
public:
    SvStream(const std::string& iface, uint16_t appId, const char* svId, uint32_t confRev,
             uint8_t lastMacByte = 0x01) {
        CommParameters params{};
        params.appId = appId;
        const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, lastMacByte};
        std::memcpy(params.dstAddress, mac, 6);
        _publisher = SVPublisher_create(&params, iface.c_str());
        if (!_publisher)
            return;
        _asdu = SVPublisher_addASDU(_publisher, svId, nullptr, confRev);
        for (int i = 0; i < 8; ++i) {
            _offsets.push_back(SVPublisher_ASDU_addINT32(_asdu));
            SVPublisher_ASDU_addQuality(_asdu);
        }
        SVPublisher_setupComplete(_publisher);
    }
    ~SvStream() {
        if (_publisher)
            SVPublisher_destroy(_publisher);
    }
    bool ok() const { return _publisher != nullptr; }
    // Channel i carries base + i.
    void publish(uint16_t smpCnt, int32_t base = 0) {
        for (int i = 0; i < 8; ++i)
            SVPublisher_ASDU_setINT32(_asdu, _offsets[i], base + i);
        SVPublisher_ASDU_setSmpCnt(_asdu, smpCnt);
        SVPublisher_publish(_publisher);
    }

private:
    SVPublisher _publisher = nullptr;
    SVPublisher_ASDU _asdu = nullptr;
    std::vector<int> _offsets;
};

} // namespace goosetest
