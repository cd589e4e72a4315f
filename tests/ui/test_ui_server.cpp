// The web host's HTTP side, through a real HTTP client on loopback: the session token, the
// upload bounds, downloads, and streams whose readers stall or go away.
#include "ui/Session.h"
#include "ui/UiServer.h"

#include "mms_value.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using iecx::ui::UiOptions;
using iecx::ui::UiServer;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kStation = IECX_EXAMPLES_DIR "/station.scd";

class UiServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        UiOptions options;
        options.maxUploadBytes = 256 * 1024;
        options.maxStreams = 4;
        server = std::make_unique<UiServer>(options);
        ASSERT_TRUE(server->start()) << server->error();
        client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        client->set_read_timeout(10, 0);
    }
    httplib::Headers auth() const { return {{"X-Iecx-Token", server->token()}}; }
    nlohmann::json model() {
        auto res = client->Get("/api/model", auth());
        EXPECT_TRUE(res && res->status == 200);
        return res ? nlohmann::json::parse(res->body) : nlohmann::json();
    }
    int upload(const std::string& content, const std::string& name = "station.scd") {
        auto res =
            client->Post(("/api/upload?name=" + name).c_str(), auth(), content, "application/octet-stream");
        return res ? res->status : -1;
    }
    // A raw connection that asks for the event stream and then reads nothing more.
    int openStream() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(server->port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        const std::string request = "GET /api/events?token=" + server->token() +
                                    " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
        EXPECT_EQ(static_cast<ssize_t>(request.size()), ::send(fd, request.data(), request.size(), 0));
        return fd;
    }

    std::unique_ptr<UiServer> server;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(UiServerTest, RequestsWithoutTheTokenAreRefused) {
    struct Case {
        const char* method;
        const char* path;
    };
    const Case cases[] = {{"GET", "/api/model"},
                          {"GET", "/api/events"},
                          {"POST", "/api/unit"},
                          {"POST", "/api/check"},
                          {"POST", "/api/upload"},
                          {"POST", "/api/device/connect"},
                          {"POST", "/api/acquisition/start"},
                          {"POST", "/api/capture/start"},
                          {"POST", "/api/cid/goose"},
                          {"GET", "/api/download/1"}};
    const std::string wrong(server->token().size(), '0');
    for (const Case& c : cases) {
        for (const httplib::Headers& headers :
             {httplib::Headers{}, httplib::Headers{{"X-Iecx-Token", wrong}}}) {
            auto res = std::string(c.method) == "GET"
                           ? client->Get(c.path, headers)
                           : client->Post(c.path, headers, "{}", "application/json");
            ASSERT_TRUE(res) << c.path;
            EXPECT_EQ(403, res->status) << c.method << " " << c.path;
        }
    }
    // The token in the query works as in the header (the event stream cannot send headers).
    auto res = client->Get(("/api/model?token=" + server->token()).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(200, res->status);
    // The page itself carries no data and loads without the token.
    res = client->Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(200, res->status);
    EXPECT_NE(std::string::npos, res->body.find("<script src=\"/app.js\">"));
    EXPECT_EQ(200, client->Get("/app.js")->status);
    EXPECT_EQ(404, client->Get("/missing.js")->status);
    EXPECT_NE(std::string::npos, server->url().find("token=" + server->token()));
}

TEST_F(UiServerTest, UploadsAreBoundedUnitsTakeTheirChoicesAndBadFilesLeaveTheModel) {
    const std::string station = readFile(kStation);
    ASSERT_FALSE(station.empty());
    auto devices = [&] { return model()["settings"]["children"][1]["children"][1]["items"].dump(); };
    const std::string before = devices();

    EXPECT_EQ(413, upload(std::string(300 * 1024, ' ') + station));
    EXPECT_EQ(422, upload("this is no XML"));
    // Nested entities that would expand to gigabytes are stopped by the parser's bounds.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE SCL [<!ENTITY a0 \"lol\">";
    for (int i = 1; i <= 10; ++i) {
        std::string body;
        for (int j = 0; j < 10; ++j)
            body += "&a" + std::to_string(i - 1) + ";";
        laughs += "<!ENTITY a" + std::to_string(i) + " \"" + body + "\">";
    }
    laughs += "]><SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\">&a10;</SCL>";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(422, upload(laughs));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(before, devices());

    // Units of the loaded file take only their own choices. The file source is the settings'
    // second child; its protocol choice is its first unit.
    EXPECT_EQ(200, upload(station));
    auto set = [&](const nlohmann::json& body) {
        auto res = client->Post("/api/unit", auth(), body.dump(), "application/json");
        return res ? res->status : -1;
    };
    EXPECT_EQ(400, set({{"section", "settings"}, {"path", {1, 0}}, {"value", "no such item"}}));
    EXPECT_EQ(404, set({{"section", "settings"}, {"path", {1, 99}}, {"value", "x"}}));
    EXPECT_EQ(400, set({{"section", "settings"}, {"path", {1}}, {"value", "x"}}));
    EXPECT_EQ(400, set({{"section", "settings"}, {"value", "x"}}));
    EXPECT_EQ(200, set({{"section", "settings"}, {"path", {1, 0}}, {"value", "События (GOOSE)"}}));
    const nlohmann::json m = model();
    EXPECT_FALSE(m["tree"]["children"].empty());
    EXPECT_FALSE(m["params"]["children"][0]["value"].get<std::string>().empty());
    const std::string loaded = devices();
    EXPECT_NE(before, loaded);
    // A bad file after a good one keeps the good one's choices.
    EXPECT_EQ(422, upload("<SCL><unclosed></SCL>"));
    EXPECT_EQ(loaded, devices());
}

TEST_F(UiServerTest, DownloadsServeOnlyFilesThisProcessWrote) {
    const nlohmann::json form = {
        {"macAddress", "01-0C-CD-01-01-00"},
        {"appId", "0x0100"},
        {"vlanId", "10"},
        {"vlanPriority", "4"},
        {"dataSetName", "TestSetDS"},
        {"ldReference", "TS/LLN0"},
        {"goCbRef", "TESTSETTS/LLN0$GO$gcbTestSet"},
        {"confRev", "1"},
        {"minTime", "2"},
        {"maxTime", "1000"},
        {"fcdaList", "<FCDA path=\"TS/GGIO1.SPCSO1.stVal\" fc=\"ST\" dataType=\"BOOLEAN\"/>"}};
    auto res = client->Post("/api/cid/goose", auth(), form.dump(), "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(200, res->status) << res->body;
    const std::string id = nlohmann::json::parse(res->body)["download"];
    res = client->Get(("/api/download/" + id).c_str(), auth());
    ASSERT_TRUE(res);
    EXPECT_EQ(200, res->status);
    EXPECT_NE(std::string::npos, res->body.find("gcbTestSet"));
    EXPECT_NE(std::string::npos, res->get_header_value("Content-Disposition").find("Goose.cid"));

    for (const char* path :
         {"/api/download/999", "/api/download/..%2F..%2Fetc%2Fpasswd", "/api/download/1/../../x"}) {
        res = client->Get(path, auth());
        ASSERT_TRUE(res);
        EXPECT_EQ(404, res->status) << path;
    }
    nlohmann::json bad = form;
    bad["vlanId"] = "5000";
    res = client->Post("/api/cid/goose", auth(), bad.dump(), "application/json");
    EXPECT_EQ(400, res->status);
    res = client->Post(
        "/api/cid/sv", auth(),
        R"({"macAddress":"01-0C-CD-04-01-00","appId":"1","vlanId":"1","vlanPriority":"1","channels":[]})",
        "application/json");
    EXPECT_EQ(400, res->status);
}

// Streams that stall or vanish cost the pools nothing and give their thread back.
TEST_F(UiServerTest, StalledAndClosedStreamsNeitherBlockValuesNorLeakThreads) {
    // Every stream slot taken by a reader that reads nothing.
    std::vector<int> stalled;
    for (int i = 0; i < 4; ++i)
        stalled.push_back(openStream());
    // A fifth page is refused once the server has counted the four readers. On a loaded machine
    // it may not have yet and gives the page a stream, which never ends: the probe leaves it at
    // once and tries again.
    int status = 0;
    for (int i = 0; i < 50 && status != 503; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client->Get(
            "/api/events", auth(),
            [&status](const httplib::Response& r) {
                status = r.status;
                return r.status != 200;
            },
            [](const char*, size_t) { return true; });
    }
    EXPECT_EQ(503, status);

    // A pool's thread stores values at full speed meanwhile; each store returns promptly.
    iecx::ui::LiveValues& values = server->session().liveValues();
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i)
        paths.push_back("LD/GGIO1.AnIn" + std::to_string(i) + ".mag.f");
    values.reset(paths);
    VorIec61850::MmsValueElementList list;
    std::vector<MmsValue*> owned;
    for (int i = 0; i < 100; ++i) {
        owned.push_back(MmsValue_newFloat(static_cast<float>(i)));
        list.push_back(std::make_shared<VorIec61850::MmsValueElement>(owned.back(), 1000));
    }
    auto slowest = std::chrono::nanoseconds(0);
    for (int round = 0; round < 2000; ++round) {
        const auto t0 = std::chrono::steady_clock::now();
        values.store(list);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - t0);
    }
    // A store held up by a stalled reader would wait for the stream's write time-out (seconds);
    // the bound leaves room for a loaded machine's scheduling.
    EXPECT_LT(slowest, std::chrono::milliseconds(1000));
    EXPECT_EQ(2000u, values.changedSince(0, 0).messages);

    // Readers that go away mid-stream free their slots.
    for (int fd : stalled)
        ::close(fd);
    bool reopened = false;
    for (int i = 0; i < 100 && !reopened; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Each probe gives up after a second, so a stream that never sends its values makes the
        // loop try again (and the case fail) instead of hanging.
        httplib::Client probe("127.0.0.1", server->port());
        probe.set_read_timeout(1, 0);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        std::string received;
        auto r =
            probe.Get(("/api/events?token=" + server->token()).c_str(), [&](const char* data, size_t length) {
                received.append(data, length);
                return received.find("event: values") == std::string::npos &&
                       std::chrono::steady_clock::now() < giveUp;
            });
        reopened = received.find("event: model") != std::string::npos &&
                   received.find("event: values") != std::string::npos;
    }
    EXPECT_TRUE(reopened);
    for (MmsValue* v : owned)
        MmsValue_delete(v);
}

} // namespace
