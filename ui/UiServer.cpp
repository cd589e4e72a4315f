#include "ui/UiServer.h"

#include "ui/Assets.h"
#include "ui/Session.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace iecx::ui {

namespace {

std::string newToken() {
    std::random_device random;
    std::string token;
    const char* hex = "0123456789abcdef";
    for (int i = 0; i < 32; ++i)
        token += hex[random() & 0xF];
    return token;
}

// Compares without stopping at the first difference, so the time taken tells nothing.
bool sameToken(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string makeWorkDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/iecx-ui-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return ::mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

void sendJson(httplib::Response& res, const nlohmann::json& body, int status = 200) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

std::vector<std::string> ids(const nlohmann::json& body) {
    std::vector<std::string> out;
    if (!body.contains("ids") || !body["ids"].is_array())
        throw RequestError(400, "missing ids");
    for (const nlohmann::json& id : body["ids"]) {
        if (!id.is_string())
            throw RequestError(400, "ids are texts");
        out.push_back(id.get<std::string>());
    }
    return out;
}

} // namespace

struct UiServer::Impl {
    UiOptions options;
    std::string token = newToken();
    std::string error;
    int port = 0;
    std::unique_ptr<Session> session;
    httplib::Server server;
    std::thread listenThread;
    std::thread tickerThread;

    // The ticker wakes the streams at the update rate; each stream then sends what changed.
    std::mutex tickMutex;
    std::condition_variable tick;
    uint64_t ticks = 0;
    bool stopping = false;
    std::atomic<std::size_t> streams{0};

    bool authorised(const httplib::Request& req) const {
        std::string given = req.get_header_value("X-Iecx-Token");
        if (given.empty())
            given = req.get_param_value("token");
        return sameToken(given, token);
    }

    // Waits for the next tick; false when the server stops.
    bool waitTick(uint64_t& seen) {
        std::unique_lock<std::mutex> lock(tickMutex);
        tick.wait(lock, [&] { return stopping || ticks != seen; });
        seen = ticks;
        return !stopping;
    }

    void runTicker() {
        const auto period = std::chrono::microseconds(1000000 / std::max(1, options.updatesPerSecond));
        std::unique_lock<std::mutex> lock(tickMutex);
        while (!stopping) {
            tick.wait_for(lock, period, [&] { return stopping; });
            ++ticks;
            tick.notify_all();
        }
    }

    void routes();
    void stream(const httplib::Request& req, httplib::Response& res);
};

UiServer::UiServer(UiOptions options) : _impl(std::make_unique<Impl>()) {
    _impl->options = std::move(options);
    if (_impl->options.workDirectory.empty())
        _impl->options.workDirectory = makeWorkDirectory();
    _impl->session = std::make_unique<Session>(_impl->options.workDirectory);
}

UiServer::~UiServer() {
    stop();
}

bool UiServer::isLoopback(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

void UiServer::Impl::routes() {
    server.set_payload_max_length(options.maxUploadBytes);
    server.set_write_timeout(5, 0);
    server.set_read_timeout(10, 0);
    // Streams hold a thread each; keep enough for the requests besides them.
    const std::size_t threads = options.maxStreams + 8;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };

    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind("/api/", 0) == 0 && !authorised(req)) {
            sendJson(res, {{"error", "the session token is missing or wrong"}}, 403);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const RequestError& e) {
            sendJson(res, {{"error", e.what()}}, e.status);
        } catch (const nlohmann::json::exception& e) {
            sendJson(res, {{"error", std::string("bad request: ") + e.what()}}, 400);
        } catch (const std::exception& e) {
            sendJson(res, {{"error", e.what()}}, 500);
        }
    });

    server.Get(R"(/[A-Za-z0-9._-]*)", [](const httplib::Request& req, httplib::Response& res) {
        const EmbeddedFile* file = findEmbeddedFile(req.path);
        if (file == nullptr) {
            res.status = 404;
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'");
        res.set_content(reinterpret_cast<const char*>(file->data), file->size, contentTypeOf(file->path));
    });

    auto post = [this](const char* path, std::function<nlohmann::json(const nlohmann::json&)> handler) {
        server.Post(path, [handler](const httplib::Request& req, httplib::Response& res) {
            const nlohmann::json body =
                req.body.empty() ? nlohmann::json::object() : nlohmann::json::parse(req.body);
            nlohmann::json out = handler(body);
            sendJson(res, out.is_null() ? nlohmann::json{{"ok", true}} : out);
        });
    };

    server.Get("/api/model", [this](const httplib::Request&, httplib::Response& res) {
        sendJson(res, session->modelJson());
    });
    server.Get("/api/status", [this](const httplib::Request&, httplib::Response& res) {
        sendJson(res, session->statusJson());
    });
    server.Get("/api/filter", [this](const httplib::Request&, httplib::Response& res) {
        sendJson(res, session->typeFilterJson());
    });
    server.Get("/api/events",
               [this](const httplib::Request& req, httplib::Response& res) { stream(req, res); });
    server.Get(R"(/api/download/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
        Downloads::File file;
        if (!session->downloads().find(req.matches[1], file))
            throw RequestError(404, "no such file");
        std::ifstream in(file.path, std::ios::binary);
        if (!in)
            throw RequestError(410, "the file is gone");
        std::ostringstream content;
        content << in.rdbuf();
        res.set_header("Content-Disposition", "attachment; filename=\"" + file.name + "\"");
        res.set_content(content.str(), file.contentType.c_str());
    });

    server.Post("/api/upload", [this](const httplib::Request& req, httplib::Response& res) {
        session->loadScl(req.get_param_value("name"), req.body);
        sendJson(res, {{"ok", true}});
    });
    post("/api/unit", [this](const nlohmann::json& b) {
        session->setUnit(b.at("section").get<std::string>(), b.at("path").get<std::vector<std::size_t>>(),
                         b.at("value").get<std::string>());
        return nlohmann::json();
    });
    post("/api/check", [this](const nlohmann::json& b) {
        session->check(ids(b), b.at("checked").get<bool>());
        return nlohmann::json();
    });
    post("/api/filter", [this](const nlohmann::json& b) {
        session->setTypeFilter(b.at("types").get<std::vector<std::string>>());
        return nlohmann::json();
    });
    post("/api/device/connect", [this](const nlohmann::json& b) {
        session->connectDevice(b.at("address").get<std::string>(), b.value("port", 102));
        return nlohmann::json();
    });
    post("/api/acquisition/start", [this](const nlohmann::json& b) {
        session->startAcquisition(b.value("interface", std::string()));
        return nlohmann::json();
    });
    post("/api/acquisition/stop", [this](const nlohmann::json&) {
        session->stopAcquisition();
        return nlohmann::json();
    });
    post("/api/capture/start", [this](const nlohmann::json& b) {
        return session->startCapture(b.at("interface").get<std::string>(),
                                     b.value("kind", std::string("goose")));
    });
    post("/api/capture/stop", [this](const nlohmann::json&) { return session->stopCapture(); });
    post("/api/cid/goose", [this](const nlohmann::json& b) { return session->writeGooseCid(b); });
    post("/api/cid/sv", [this](const nlohmann::json& b) { return session->writeSvCid(b); });
}

// One page's event stream. It sends the model when a model signal moved its version, the status
// when that moved, and the values changed since its last send, at most once per tick: a fast
// pool is coalesced to the tick rate, and a slow reader only makes this stream skip states.
void UiServer::Impl::stream(const httplib::Request&, httplib::Response& res) {
    if (streams.load() >= options.maxStreams)
        throw RequestError(503, "too many open pages");
    ++streams;
    struct Cursor {
        uint64_t model = 0, status = 0, generation = 0, sequence = 0, messages = 0, errors = 0, tick = 0,
                 sv = 0;
        int idle = 0;
    };
    auto cursor = std::make_shared<Cursor>();
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, cursor](size_t, httplib::DataSink& sink) {
            if (!waitTick(cursor->tick))
                return false;
            std::string out;
            auto event = [&out](const char* name, const nlohmann::json& data) {
                out += "event: ";
                out += name;
                out += "\ndata: " + data.dump() + "\n\n";
            };
            if (const uint64_t v = session->modelVersion(); v != cursor->model) {
                cursor->model = v;
                event("model", session->modelJson());
            }
            if (const uint64_t v = session->statusVersion(); v != cursor->status) {
                cursor->status = v;
                event("status", session->statusJson());
            }
            LiveValues::Changes changes =
                session->liveValues().changedSince(cursor->generation, cursor->sequence);
            if (changes.all || !changes.values.empty() || changes.messages != cursor->messages ||
                changes.errors != cursor->errors) {
                nlohmann::json values = nlohmann::json::array();
                for (const ValueState& v : changes.values)
                    values.push_back({{"path", v.path},
                                      {"text", v.text},
                                      {"number", v.numeric ? nlohmann::json(v.number) : nlohmann::json()},
                                      {"t", v.timestamp},
                                      {"q", v.quality},
                                      {"n", v.updates}});
                nlohmann::json message{{"all", changes.all},
                                       {"messages", changes.messages},
                                       {"errors", changes.errors},
                                       {"values", values}};
                if (changes.numbered) {
                    message["stNum"] = changes.stNum;
                    message["sqNum"] = changes.sqNum;
                }
                event("values", message);
                cursor->generation = changes.generation;
                cursor->sequence = changes.sequence;
                cursor->messages = changes.messages;
                cursor->errors = changes.errors;
            }
            // Waveforms are larger: every other tick is enough for the eye.
            if (cursor->tick % 2 == 0 && session->svWaveforms().version() != cursor->sv) {
                const SvWaveforms::View sv = session->svWaveforms().view();
                cursor->sv = sv.version;
                event("sv", {{"svId", sv.counters.svId},
                             {"asdus", sv.counters.asdus},
                             {"gaps", sv.counters.gaps},
                             {"smpCnt", sv.counters.lastSmpCnt},
                             {"smpRate", sv.counters.smpRate},
                             {"rate", sv.counters.rate},
                             {"channels", sv.channels}});
            }
            // A comment now and then shows a closed page even when nothing changes.
            if (out.empty() && ++cursor->idle >= 2 * std::max(1, options.updatesPerSecond)) {
                out = ": keep-alive\n\n";
                cursor->idle = 0;
            }
            return out.empty() || sink.write(out.data(), out.size());
        },
        [this](bool) { --streams; });
}

bool UiServer::start() {
    Impl& d = *_impl;
    if (d.options.workDirectory.empty()) {
        d.error = "no working directory can be created";
        return false;
    }
    d.routes();
    if (d.options.port == 0)
        d.port = d.server.bind_to_any_port(d.options.bindAddress);
    else
        d.port = d.server.bind_to_port(d.options.bindAddress, d.options.port) ? d.options.port : -1;
    if (d.port <= 0) {
        d.error = "cannot listen on " + d.options.bindAddress + ":" + std::to_string(d.options.port);
        return false;
    }
    d.tickerThread = std::thread([&d] { d.runTicker(); });
    d.listenThread = std::thread([&d] { d.server.listen_after_bind(); });
    // listen_after_bind sets the running flag before it accepts; the socket is bound already,
    // so connections made meanwhile wait in the backlog.
    for (int i = 0; i < 2000 && !d.server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void UiServer::stop() {
    Impl& d = *_impl;
    {
        std::lock_guard<std::mutex> lock(d.tickMutex);
        d.stopping = true;
    }
    d.tick.notify_all();
    d.server.stop();
    if (d.listenThread.joinable())
        d.listenThread.join();
    if (d.tickerThread.joinable())
        d.tickerThread.join();
}

int UiServer::port() const {
    return _impl->port;
}

const std::string& UiServer::token() const {
    return _impl->token;
}

std::string UiServer::url() const {
    const std::string& host = _impl->options.bindAddress;
    const std::string shown = host == "0.0.0.0" || host == "::" ? "127.0.0.1" : host;
    const bool v6 = shown.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + shown + "]" : shown) + ":" + std::to_string(_impl->port) +
           "/?token=" + _impl->token;
}

const std::string& UiServer::error() const {
    return _impl->error;
}

Session& UiServer::session() {
    return *_impl->session;
}

} // namespace iecx::ui
