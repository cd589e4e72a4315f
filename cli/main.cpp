#include "cli/CliSupport.h"
#include "cli/Command.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace iecx::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}
} // namespace

CommandRegistration::CommandRegistration(const char* name, const char* summary,
                                         int (*run)(const std::vector<std::string>&)) {
    registry().push_back({name, summary, run});
    std::sort(registry().begin(), registry().end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
}

const std::vector<Command>& commands() {
    return registry();
}

} // namespace iecx::cli

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out, "usage: iecx <command> [options]\n\n"
                      "IEC 61850 tools for relay test sets.\n\ncommands:\n");
    for (const auto& c : iecx::cli::commands())
        std::fprintf(out, "  %-10s %s\n", c.name.c_str(), c.summary.c_str());
    std::fprintf(out, "\n'iecx <command> --help' explains a command; 'iecx --version' shows the version.\n");
}

} // namespace

int main(int argc, char** argv) {
    using namespace iecx::cli;
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return kExitOk;
    }
    if (name == "--version" || name == "-V") {
        std::printf("iecx %s\n", IECX_VERSION);
        return kExitOk;
    }
    for (const auto& c : commands()) {
        if (c.name != name)
            continue;
        installStopHandler();
        // Whatever a command lets escape ends it with a message, never with an abort.
        try {
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "iecx %s: %s\n", name.c_str(), e.what());
        } catch (...) {
            std::fprintf(stderr, "iecx %s: unexpected error\n", name.c_str());
        }
        return kExitFailure;
    }
    std::fprintf(stderr, "iecx: unknown command '%s'\n", name.c_str());
    printUsage(stderr);
    return kExitUsage;
}
