#pragma once
// Shared pieces of the client tests: list conversion, waiting helpers, a client connected to the
// simulated IED, and a bare server with long answers.
#include "iec61850_client.h"
#include "stack/src/mms/server/MmsServer.h"
#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mmstest {

using stack::mms::MmsServer;
using stack::mms::MmsServerConnection;
using stack::mms::ObjectClass;
using stack::mms::ObjectName;
using Strings = std::vector<std::string>;

inline Strings toVector(LinkedList list) {
    Strings out;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e))
        out.push_back(static_cast<const char*>(LinkedList_getData(e)));
    LinkedList_destroy(list);
    return out;
}

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline bool waitFor(const std::atomic<int>& counter, int target) {
    for (int i = 0; i < 400 && counter.load() < target; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return counter.load() >= target;
}

// A client connected to the simulated IED of simple.cid (IED "SIMIED").
class MmsClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok()) << sim.error();
        con = IedConnection_create();
        IedClientError err = IED_ERROR_UNKNOWN;
        IedConnection_connect(con, &err, sim.host().c_str(), sim.port());
        ASSERT_EQ(err, IED_ERROR_OK);
    }
    void TearDown() override { IedConnection_destroy(con); }
    iecx::test::SimIed sim{iecx::test::simData("simple.cid"), "SIMIED"};
    IedConnection con = nullptr;
};

// A server with long answers: 5000 variable names (several GetNameList pages) and a 60000
// character string for every read (an MMS PDU spread over many COTP segments). Counts the
// associations it accepted.
class LargeAnswers : public stack::mms::MmsServerHandler {
public:
    std::atomic<int> opened{0};
    void connectionOpened(const stack::mms::MmsServerConnectionPtr&) override { ++opened; }
    bool getNameList(MmsServerConnection&, ObjectClass cls, const std::string&, Strings& names) override {
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

} // namespace mmstest
