// iecx poll: cyclic reads of a live IED, printing each value with its time stamp when it changes.
#include "acquisition/MmsPollingPool.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/IedSession.h"
#include "cli/ValueText.h"

#include "iec61850_client.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace iecx::cli;
using namespace VorIec61850;

const char* kDescription =
    "Reads the references REF[FC] of a live IED every --period milliseconds and prints a value, with\n"
    "the time stamp t of its data object, each time it changes (the first read prints them all), until\n"
    "Ctrl-C, --count changes or --seconds.\n"
    "Example: iecx poll 192.168.1.10 LD0/MMXU1.TotW.mag.f[MX] --period 500 --seconds 60";

int run(const std::vector<std::string>& args) {
    auto app = newCommand("poll", kDescription);
    ConnectOptions connect;
    std::vector<std::string> references;
    uint32_t periodMs = 0;
    RunOptions run;
    connect.add(*app, &references);
    addUnsigned(*app, "--period", periodMs, "pause between two reads of all references", 1, 3600000)
        ->type_name("MS")
        ->required();
    addRunOptions(*app, run, "end after N printed changes", "one JSON object per change and line");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (!connect.check("poll", references))
        return kExitUsage;

    // A first read on a connection of our own: the IED answers within the time-out and every
    // reference exists. The connection then watches for the IED going away.
    IedSession watch;
    std::string error;
    if (!watch.connect(connect, error))
        return fail("poll", error);
    bool allExist = true;
    for (const std::string& r : references) {
        std::string reference;
        FunctionalConstraint fc;
        splitFcReference(r, reference, fc, error);
        IedClientError code = IED_ERROR_OK;
        MmsValue* value = IedConnection_readObject(watch.get(), &code, reference.c_str(), fc);
        // A refused reference comes back as an access error in place of its value.
        if (value == nullptr || MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
            const std::string why = value ? valueText(value, nullptr) : clientErrorText(code);
            std::fprintf(stderr, "iecx poll: %s: %s\n", r.c_str(), why.c_str());
            allExist = false;
        }
        MmsValue_deleteIfNotNull(value);
    }
    if (!allExist)
        return kExitFailure;

    MmsPollingTarget target(connect.endpoint.text(), periodMs);
    for (const std::string& r : references)
        target.paths.emplace_back(r, nullptr);
    MmsPollingPool pool;
    pool.setConnectTimeout(connect.timeoutMs);
    std::vector<std::shared_ptr<MmsValueElement>> shown(references.size());
    std::atomic<uint64_t> changes{0};
    std::mutex printing;
    pool.valuesUpdated.connect([&] {
        // Polling thread: entries that changed are new elements.
        std::lock_guard<std::mutex> lock(printing);
        const auto& values = pool.getValues();
        for (size_t i = 0; i < values.size() && i < shown.size(); ++i) {
            if (!values[i] || values[i] == shown[i] || (run.count && changes >= run.count))
                continue;
            shown[i] = values[i];
            const std::string t = millisecondsText(values[i]->getUnixTimestamp());
            if (run.json)
                printJson(
                    {{"reference", references[i]}, {"value", valueJson(values[i]->getValue())}, {"t", t}},
                    false, resultsOut());
            else
                std::fprintf(resultsOut(), "%s = %s  t=%s\n", references[i].c_str(),
                             valueText(values[i]->getValue()).c_str(), t.c_str());
            ++changes;
        }
        std::fflush(resultsOut());
    });
    const Vor::Result result = pool.setTarget(target);
    if (!result)
        return fail("poll", result.getMessage());
    bool started = false;
    {
        QuietStdout quiet;
        started = pool.start();
    }
    if (!started)
        return fail("poll", "cannot connect to " + connect.endpoint.text());
    const bool lost = waitWhileConnected(watch, run, changes);
    pool.stop();
    std::fprintf(stderr, "iecx poll: %llu changes\n", static_cast<unsigned long long>(changes.load()));
    if (lost)
        return fail("poll", "connection to " + connect.endpoint.text() + " lost");
    return kExitOk;
}

CommandRegistration registration("poll", "poll values of a live IED and print their changes", run);

} // namespace
