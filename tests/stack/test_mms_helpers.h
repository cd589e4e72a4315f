#pragma once
// Shared pieces of the client tests: list conversion, a server fixture on a free loopback
// port, a connected-client fixture and small waiting helpers.
#include "iec61850_client.h"
#include "test_mms_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mmstest {

using stack::mms::MmsServer;

inline std::vector<std::string> toVector(LinkedList list) {
    std::vector<std::string> out;
    if (list == nullptr)
        return out;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e))
        out.push_back(static_cast<const char*>(LinkedList_getData(e)));
    LinkedList_destroy(list);
    return out;
}

using Strings = std::vector<std::string>;

struct ServerFixture {
    explicit ServerFixture(const std::string& ld = "LD0") : model(ld), server(model) {
        EXPECT_TRUE(server.start("127.0.0.1", 0)) << server.lastError();
    }
    TestModel model;
    MmsServer server;
};

class MmsClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        srv = std::make_unique<ServerFixture>();
        con = IedConnection_create();
        IedClientError err = IED_ERROR_UNKNOWN;
        IedConnection_connect(con, &err, "127.0.0.1", srv->server.port());
        ASSERT_EQ(err, IED_ERROR_OK);
    }
    void TearDown() override {
        IedConnection_destroy(con);
        srv.reset();
    }
    std::unique_ptr<ServerFixture> srv;
    IedConnection con = nullptr;
};

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline bool waitFor(const std::atomic<int>& counter, int target) {
    for (int i = 0; i < 400 && counter.load() < target; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return counter.load() >= target;
}

} // namespace mmstest
