// iecx ui: the web host. Serves a page on this machine that shows the model nodes (data source,
// protocol, device, element, parameters, check tree) and drives them, shows acquired values live,
// captures frames and writes CID files.
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "ui/UiServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <semaphore.h>

namespace {

using namespace iecx::cli;

const char* kHelp = "usage: iecx ui [--port N] [--bind ADDR]\n"
                    "\n"
                    "Serves the web host on ADDR:N (default 127.0.0.1 and a free port) and prints the\n"
                    "address to open in a browser. The address carries this run's session token: every\n"
                    "request that changes something needs it. Ctrl-C stops the server.\n";

sem_t stopSignal;

void onSignal(int) {
    sem_post(&stopSignal);
}

int runUi(const std::vector<std::string>& args) {
    iecx::ui::UiOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (a == "--port" && i + 1 < args.size()) {
            char* end = nullptr;
            const long port = std::strtol(args[++i].c_str(), &end, 10);
            if (end == args[i].c_str() || *end != '\0' || port < 0 || port > 65535) {
                std::fprintf(stderr, "iecx ui: --port wants a number from 0 to 65535\n");
                return kExitUsage;
            }
            options.port = static_cast<int>(port);
            continue;
        }
        if (a == "--bind" && i + 1 < args.size()) {
            options.bindAddress = args[++i];
            continue;
        }
        std::fprintf(stderr, "iecx ui: unexpected argument '%s'\n%s", a.c_str(), kHelp);
        return kExitUsage;
    }
    if (!iecx::ui::UiServer::isLoopback(options.bindAddress))
        std::fprintf(stderr,
                     "iecx ui: warning: listening on %s makes the page reachable from other machines; "
                     "anyone with the address below can drive it\n",
                     options.bindAddress.c_str());
    iecx::ui::UiServer server(options);
    if (!server.start()) {
        std::fprintf(stderr, "iecx ui: %s\n", server.error().c_str());
        return kExitFailure;
    }
    sem_init(&stopSignal, 0, 0);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("%s\n", server.url().c_str());
    std::fflush(stdout);
    while (sem_wait(&stopSignal) != 0) {
    }
    server.stop();
    return kExitOk;
}

CommandRegistration registration("ui", "serve the web host: model nodes, live values, capture and CID forms",
                                 runUi);

} // namespace
