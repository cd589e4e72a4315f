// Hostile peers on both sides: garbage, oversized and endless input, silence. Connections are
// closed with an error; nothing crashes, hangs or grows without bound.
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "iec61850_client.h"
#include "mms_client_connection.h"
#include "mms_type_spec.h"
#include "sv_subscriber.h"
#include "stack/src/iso/Cotp.h"
#include "stack/src/iso/IsoConnection.h"
#include "stack/src/mms/MmsPdu.h"
#include "support/SimIed.h"
#include "test_mms_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace mmstest;
using iecx::test::secondsSince;

namespace {

int connectTo(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Waits until the peer closes (true) or the time is up (false), discarding what arrives.
bool peerClosesWithin(int fd, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0)
            continue;
        ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n <= 0)
            return true;
    }
    return false;
}

// Accepts one connection on `device` and completes the association like a server; then
// `afterAssociation` plays the peer.
std::thread associatingPeer(iecx::test::SilentDevice& device,
                            std::function<void(stack::iso::IsoConnection&)> afterAssociation) {
    return std::thread([&device, afterAssociation] {
        int c = device.accept();
        if (c < 0)
            return;
        stack::iso::IsoConnection iso;
        std::string error;
        auto st = iso.accept(
            c, 2000,
            [](const uint8_t*, size_t, std::vector<uint8_t>& resp) {
                stack::ber::Writer w;
                stack::mms::encodeInitiateResponse(w, stack::mms::InitiateParams());
                resp = w.bytes();
                return true;
            },
            error);
        if (st == stack::iso::IsoStatus::Ok)
            afterAssociation(iso);
    });
}

bool serverStillServes(uint16_t port) {
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", port);
    MmsValue* v = err == IED_ERROR_OK
                      ? IedConnection_readObject(con, &err, "LD0/LLN0.Mod.stVal", IEC61850_FC_ST)
                      : nullptr;
    bool ok = v != nullptr;
    MmsValue_deleteIfNotNull(v);
    IedConnection_destroy(con);
    return ok;
}

} // namespace

TEST(MmsRobustness, ServerClosesConnectionsThatSendGarbage) {
    LargeAnswers model;
    MmsServer server(model);
    ASSERT_TRUE(server.start("127.0.0.1", 0));
    const std::vector<std::vector<uint8_t>> inputs = {
        {0x47, 0x45, 0x54, 0x20, 0x2F, 0x20, 0x48, 0x54, 0x54, 0x50},       // not a TPKT
        {0x03, 0x00, 0x00, 0x05, 0x00},                                     // TPKT too short for COTP
        {0x03, 0x00, 0x00, 0x08, 0x03, 0xF0, 0x80, 0x01},                   // DT before any CR
        {0x03, 0x00, 0x00, 0x0B, 0x06, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x20}, // class 2 requested
    };
    for (const auto& in : inputs) {
        int fd = connectTo(server.port());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, in.data(), in.size(), MSG_NOSIGNAL), static_cast<ssize_t>(in.size()));
        EXPECT_TRUE(peerClosesWithin(fd, 2000));
        ::close(fd);
    }
    EXPECT_TRUE(serverStillServes(server.port()));
    EXPECT_EQ(model.opened.load(), 1); // only the good client got an association
}

TEST(MmsRobustness, ServerBoundsReassemblyOfEndlessSegments) {
    LargeAnswers model;
    MmsServer server(model);
    ASSERT_TRUE(server.start("127.0.0.1", 0));
    int fd = connectTo(server.port());
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> cr;
    stack::iso::appendConnectRequest(cr, 1, 13, {0, 1}, {0, 1});
    ASSERT_EQ(::send(fd, cr.data(), cr.size(), MSG_NOSIGNAL), static_cast<ssize_t>(cr.size()));
    uint8_t cc[64];
    ASSERT_GT(::recv(fd, cc, sizeof(cc), 0), 0);
    // DT segments that never end: at most 2 MiB are offered, the server must give up before.
    std::vector<uint8_t> seg;
    stack::iso::appendDataHeader(seg, 8000, false);
    seg.resize(seg.size() + 8000, 0x41);
    bool refused = false;
    for (int i = 0; i < 260 && !refused; ++i) {
        ssize_t n = ::send(fd, seg.data(), seg.size(), MSG_NOSIGNAL);
        refused = n < 0;
    }
    EXPECT_TRUE(refused || peerClosesWithin(fd, 2000));
    ::close(fd);
    EXPECT_TRUE(serverStillServes(server.port()));
}

TEST(MmsRobustness, ServerDropsSilentConnectionsDuringSetUp) {
    LargeAnswers model;
    stack::mms::MmsServerOptions options;
    options.associationTimeoutMs = 300;
    MmsServer server(model, options);
    ASSERT_TRUE(server.start("127.0.0.1", 0));
    int fd = connectTo(server.port());
    ASSERT_GE(fd, 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(peerClosesWithin(fd, 3000));
    EXPECT_LT(secondsSince(t0), 2.0);
    ::close(fd);
}

// Peers that misbehave during the set-up or after the association: the client gives up with an
// error in bounded time and the connection ends up closed.
TEST(MmsRobustness, ClientGivesUpOnPeersThatMisbehave) {
    const struct {
        const char* name;
        bool associate;                                            // complete the association first
        std::function<void(int, stack::iso::IsoConnection&)> peer; // then play the peer
        IedClientError readError, alsoAllowed;
        double seconds;
    } cases[] = {
        {"garbage during the connect", false,
         [](int c, stack::iso::IsoConnection&) {
             uint8_t buf[256];
             ::recv(c, buf, sizeof(buf), 0);
             const uint8_t junk[] = {0x03, 0x00, 0x00, 0x09, 0x04, 0x77, 0x00, 0x00, 0x00};
             ::send(c, junk, sizeof(junk), MSG_NOSIGNAL);
             peerClosesWithin(c, 2000);
         },
         IED_ERROR_OK, IED_ERROR_OK, 1.5},
        {"a malformed response", true,
         [](int, stack::iso::IsoConnection& iso) {
             std::vector<uint8_t> pdu;
             stack::iso::IsoConnection::Event ev;
             if (iso.receive(pdu, ev, 2000) == stack::iso::IsoStatus::Ok) {
                 const uint8_t bad[] = {0xA1, 0x05, 0x02, 0x01}; // truncated confirmed response
                 iso.sendMms(bad, sizeof(bad));
             }
             iso.receive(pdu, ev, 2000); // until the client gives up
         },
         IED_ERROR_MALFORMED_MESSAGE, IED_ERROR_CONNECTION_LOST, 2.0},
        {"requests never answered", true,
         [](int, stack::iso::IsoConnection& iso) {
             std::vector<uint8_t> pdu;
             stack::iso::IsoConnection::Event ev;
             for (int i = 0; i < 100; ++i) { // read, never answered, until the client closes
                 auto st = iso.receive(pdu, ev, 50);
                 if (st == stack::iso::IsoStatus::Closed || st == stack::iso::IsoStatus::Error)
                     break;
             }
         },
         IED_ERROR_TIMEOUT, IED_ERROR_TIMEOUT, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        iecx::test::SilentDevice device;
        std::thread peer;
        if (c.associate) {
            peer = associatingPeer(device, [&c](stack::iso::IsoConnection& iso) { c.peer(-1, iso); });
        } else {
            peer = std::thread([&] {
                int fd = device.accept();
                stack::iso::IsoConnection unused;
                if (fd >= 0)
                    c.peer(fd, unused);
                ::close(fd);
            });
        }
        IedConnection con = IedConnection_create();
        IedConnection_setConnectTimeout(con, 2000);
        IedConnection_setRequestTimeout(con, 300);
        IedClientError err;
        auto t0 = std::chrono::steady_clock::now();
        IedConnection_connect(con, &err, "127.0.0.1", device.port());
        EXPECT_EQ(err == IED_ERROR_OK, c.associate) << err;
        if (c.associate && err == IED_ERROR_OK) {
            t0 = std::chrono::steady_clock::now();
            EXPECT_EQ(IedConnection_readObject(con, &err, "LD0/LLN0.Mod.stVal", IEC61850_FC_ST), nullptr);
            EXPECT_TRUE(err == c.readError || err == c.alsoAllowed) << err;
        }
        EXPECT_LT(secondsSince(t0), c.seconds);
        if (c.readError != IED_ERROR_TIMEOUT) {
            EXPECT_EQ(IedConnection_getState(con), IED_STATE_CLOSED);
        }
        IedConnection_destroy(con);
        peer.join();
    }
}

// Functions that take a handle accept NULL for it: no crash, the failure value, and the error
// out-parameter set (one or two getters of each object stand for the others).
TEST(CApi, NullHandlesGiveTheFailureValue) {
    IedClientError err = IED_ERROR_OK;
    MmsError mmsErr = MMS_ERROR_NONE;
    auto failed = [&err] {
        bool set = err != IED_ERROR_OK;
        err = IED_ERROR_OK;
        return set;
    };
    const IedConnection con = nullptr;
    const ClientReport report = nullptr;
    const ClientReportControlBlock rcb = nullptr;
    const ClientGooseControlBlock gcb = nullptr;
    const GooseSubscriber sub = nullptr;
    const SVSubscriber_ASDU asdu = nullptr;
    // Each case: the call's expression, true when the call behaved.
    // clang-format off
#define CHECK(...) {#__VA_ARGS__, [&] { return __VA_ARGS__; }}
    // clang-format on
    const struct {
        const char* expression;
        std::function<bool()> call;
    } cases[] = {
        CHECK(IedConnection_setConnectTimeout(con, 1), true),
        CHECK(IedConnection_getRequestTimeout(con) == 0),
        CHECK(IedConnection_connect(con, &err, "127.0.0.1", 1), failed()),
        CHECK(IedConnection_release(con, &err), failed()),
        CHECK(IedConnection_abort(con, &err), failed()),
        CHECK(IedConnection_close(con), true),
        CHECK(IedConnection_getMmsConnection(con) == nullptr),
        CHECK(IedConnection_installConnectionClosedHandler(con, nullptr, nullptr), true),
        CHECK(IedConnection_getServerDirectory(con, &err, false) == nullptr && failed()),
        CHECK(IedConnection_getDataDirectory(con, &err, "LD/LN.DO") == nullptr && failed()),
        CHECK(IedConnection_readObject(con, &err, "LD/LN.DO", IEC61850_FC_ST) == nullptr && failed()),
        CHECK(IedConnection_getRCBValues(con, &err, "LD/LLN0.RP.r", nullptr) == nullptr && failed()),
        CHECK(IedConnection_installReportHandler(con, "LD/LLN0.RP.r", nullptr, nullptr, nullptr), true),
        CHECK(IedConnection_destroy(con), true),
        CHECK(MmsConnection_setRequestTimeout(nullptr, 1), true),
        CHECK(MmsConnection_getLocalDetail(nullptr) == 0),
        CHECK(MmsConnection_identify(nullptr, &mmsErr) == nullptr && mmsErr != MMS_ERROR_NONE),
        CHECK(ClientReport_getRptId(report) == nullptr),
        CHECK(ClientReport_getDataSetValues(report) == nullptr),
        CHECK(ClientReport_getReasonForInclusion(report, 0) == IEC61850_REASON_NOT_INCLUDED),
        CHECK(ClientReport_getTimestamp(report) == 0),
        CHECK(!ClientReport_getMoreSeqmentsFollow(report)),
        CHECK(ClientReportControlBlock_getRptId(rcb) == nullptr),
        CHECK(ClientReportControlBlock_setRptEna(rcb, true), true),
        CHECK(ClientReportControlBlock_destroy(rcb), true),
        CHECK(ClientGooseControlBlock_getGoID(gcb) == nullptr),
        CHECK(ClientGooseControlBlock_getDstAddress(gcb).appId == 0),
        CHECK(!GooseSubscriber_isValid(sub)),
        CHECK(GooseSubscriber_getAppId(sub) == -1),
        CHECK(GooseReceiver_start(nullptr), true),
        CHECK(!GooseReceiver_isRunning(nullptr)),
        CHECK(SVReceiver_start(nullptr), true),
        CHECK(SVSubscriber_ASDU_getSvId(asdu) == nullptr),
        CHECK(SVSubscriber_ASDU_getQuality(asdu, 0) == 0),
        CHECK(MmsVariableSpecification_getType(nullptr) == MMS_DATA_ACCESS_ERROR),
        CHECK(MmsVariableSpecification_getSize(nullptr) == -1),
        CHECK(MmsValue_getOctetStringBuffer(nullptr) == nullptr),
        CHECK(MmsValue_getArraySize(nullptr) == 0),
        CHECK(LinkedList_getNext(nullptr) == nullptr),
    };
#undef CHECK
    for (const auto& c : cases)
        EXPECT_TRUE(c.call()) << c.expression;
}
