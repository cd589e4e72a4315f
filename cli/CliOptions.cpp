#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace iecx::cli {

std::unique_ptr<CLI::App> newCommand(const std::string& name, const std::string& description) {
    auto app = std::make_unique<CLI::App>(description, "iecx " + name);
    app->footer("Exit status: 0 success, 1 the work failed, 2 wrong usage.");
    app->get_formatter()->column_width(28);
    return app;
}

int parseCommand(CLI::App& app, const std::vector<std::string>& args) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s\nRun '%s --help' for the options.\n", app.get_name().c_str(), e.what(),
                     app.get_name().c_str());
        return kExitUsage;
    }
    return -1;
}

CLI::Option* addUnsigned(CLI::App& app, const std::string& name, std::function<void(uint64_t)> store,
                         const std::string& description, uint64_t min, uint64_t max) {
    const std::string optionName = name.substr(0, name.find(','));
    // Repeated options hand every value over in order (a list option keeps them all, a single
    // one keeps the last).
    auto* option = app.add_option_function<std::vector<std::string>>(
        name,
        [store, min, max, optionName](const std::vector<std::string>& texts) {
            for (const std::string& text : texts) {
                uint64_t n = 0;
                if (!parseUnsigned(text, n))
                    throw CLI::ValidationError(
                        optionName, "'" + text + "' is no whole number (decimal, or hexadecimal with 0x)");
                if (n < min || n > max)
                    throw CLI::ValidationError(optionName, "'" + text + "' is outside " +
                                                               std::to_string(min) + ".." +
                                                               std::to_string(max));
                store(n);
            }
        },
        description);
    option->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    option->type_name("N");
    return option;
}

CLI::Option* addSeconds(CLI::App& app, const std::string& name, double& out, const std::string& description) {
    const std::string optionName = name.substr(0, name.find(','));
    auto* option = app.add_option_function<std::string>(
        name,
        [&out, optionName](const std::string& text) {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || end == text.c_str() || *end != '\0' || !(value > 0) || value > 1e9)
                throw CLI::ValidationError(optionName, "'" + text + "' is no positive number of seconds");
            out = value;
        },
        description);
    option->type_name("S");
    return option;
}

void addRunOptions(CLI::App& app, RunOptions& run, const std::string& countText, const std::string& jsonText,
                   const std::string& secondsText) {
    addUnsigned(app, "--count", run.count, countText, 1);
    addSeconds(app, "--seconds", run.seconds, secondsText);
    app.add_flag("--json", run.json, jsonText);
}

void printJson(const Json& value, bool pretty, FILE* to) {
    const std::string text = value.dump(pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

int fail(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "iecx %s: %s\n", command.c_str(), message.c_str());
    return kExitFailure;
}

} // namespace iecx::cli
