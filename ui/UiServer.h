#pragma once
#include "host/NonCopyable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace iecx::ui {

class Session;

struct UiOptions {
    std::string bindAddress = "127.0.0.1";
    int port = 0;                           // 0: a free port
    std::size_t maxUploadBytes = 32u << 20; // larger uploads are refused with 413
    std::string workDirectory;              // uploads, captures and CID files; a new one when empty
    int updatesPerSecond = 20;              // how often a stream sends the values that changed
    std::size_t maxStreams = 16;            // concurrent event streams
};

// The web host: serves the page from the binary and a JSON interface over one Session, and
// streams model changes, acquired values and status to every open page as server-sent events.
// Every /api request carries the session token (header X-Iecx-Token or query token=); the
// page gets it from the URL that url() returns.
class UiServer : Vor::NonCopyable {
public:
    explicit UiServer(UiOptions options);
    ~UiServer(); // stops

    // Binds and starts serving on background threads; false with error() when it cannot bind.
    bool start();
    void stop();

    int port() const;
    const std::string& token() const;
    // The address to open in a browser, token included.
    std::string url() const;
    const std::string& error() const;
    Session& session();
    // Whether binding to this address exposes the server beyond this machine.
    static bool isLoopback(const std::string& address);

private:
    struct Impl;
    std::unique_ptr<Impl> _impl;
};

} // namespace iecx::ui
