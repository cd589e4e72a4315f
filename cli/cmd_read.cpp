// iecx read: one value per object reference, once or repeatedly (printing changes).
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/IedSession.h"
#include "cli/ValueText.h"

#include "iec61850_client.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace iecx::cli;

const char* kDescription =
    "Reads each object reference REF[FC] from a live IED and prints its value: structures in full\n"
    "with member names, arrays, floats to the last digit, time stamps in UTC to the nanosecond with\n"
    "their time quality, qualities with their flags. A reference the IED cannot serve prints its data\n"
    "access error (exit status 1). With --watch MS the references are read again every MS\n"
    "milliseconds and each change is printed with the time it was seen, until Ctrl-C, --count reads\n"
    "or --seconds.\n"
    "Example: iecx read 192.168.1.10 LD0/XCBR1.Pos[ST] LD0/MMXU1.TotW.mag.f[MX]";

// One reference with its type (for member names) and its last value.
struct Item {
    std::string text; // as given, REF[FC]
    std::string reference;
    FunctionalConstraint fc = IEC61850_FC_NONE;
    std::unique_ptr<MmsVariableSpecification, void (*)(MmsVariableSpecification*)> type{
        nullptr, MmsVariableSpecification_destroy};
    std::unique_ptr<MmsValue, void (*)(MmsValue*)> value{nullptr, MmsValue_deleteIfNotNull};
    IedClientError error = IED_ERROR_OK;
};

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// Reads the item; true when its value or error differs from the last read.
bool readItem(IedConnection connection, Item& item) {
    IedClientError error = IED_ERROR_OK;
    if (!item.type)
        item.type.reset(
            IedConnection_getVariableSpecification(connection, &error, item.reference.c_str(), item.fc));
    error = IED_ERROR_OK;
    MmsValue* value = IedConnection_readObject(connection, &error, item.reference.c_str(), item.fc);
    const bool changed = error != item.error || (value == nullptr) != (item.value == nullptr) ||
                         (value != nullptr && !MmsValue_equals(value, item.value.get()));
    item.error = error;
    item.value.reset(value);
    return changed;
}

// A server that refuses one reference answers with an access error in place of its value.
bool refused(const Item& item) {
    return item.value && MmsValue_getType(item.value.get()) == MMS_DATA_ACCESS_ERROR;
}

bool wasRead(const Item& item) {
    return item.value && !refused(item);
}

std::string errorText(const Item& item) {
    return refused(item) ? valueText(item.value.get(), nullptr) : clientErrorText(item.error);
}

Json itemJson(const Item& item) {
    Json out = {{"reference", item.reference}, {"fc", FunctionalConstraint_toString(item.fc)}};
    if (wasRead(item))
        out["value"] = valueJson(item.value.get(), item.type.get());
    else
        out["error"] = errorText(item);
    return out;
}

std::string itemText(const Item& item) {
    if (wasRead(item))
        return item.text + " = " + valueText(item.value.get(), item.type.get());
    return item.text + ": " + errorText(item);
}

int run(const std::vector<std::string>& args) {
    auto app = newCommand("read", kDescription);
    ConnectOptions connect;
    std::vector<std::string> references;
    uint32_t watchMs = 0;
    RunOptions run;
    connect.add(*app, &references);
    addUnsigned(*app, "--watch", watchMs, "read again every MS milliseconds and print changes", 1, 3600000)
        ->type_name("MS");
    addRunOptions(*app, run, "with --watch: end after N reads of all references",
                  "one JSON document (with --watch one JSON object per line and change)",
                  "with --watch: end after S seconds");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (!connect.check("read", references))
        return kExitUsage;
    if ((run.count || run.seconds > 0) && watchMs == 0) {
        std::fprintf(stderr, "iecx read: --count and --seconds go with --watch\n");
        return kExitUsage;
    }
    std::vector<Item> items(references.size());
    for (size_t i = 0; i < references.size(); ++i) {
        std::string error;
        items[i].text = references[i];
        splitFcReference(references[i], items[i].reference, items[i].fc, error);
    }

    IedSession session;
    std::string error;
    if (!session.connect(connect, error))
        return fail("read", error);

    if (watchMs == 0) {
        bool allRead = true;
        Json out = Json::array();
        for (Item& item : items) {
            readItem(session.get(), item);
            allRead = allRead && wasRead(item);
            if (run.json)
                out.push_back(itemJson(item));
            else
                std::printf("%s\n", itemText(item).c_str());
        }
        if (run.json)
            printJson({{"host", connect.endpoint.text()}, {"values", out}});
        std::fflush(stdout);
        if (!session.connected())
            return fail("read", "connection to " + connect.endpoint.text() + " lost");
        return allRead ? kExitOk : kExitFailure;
    }

    const auto start = std::chrono::steady_clock::now();
    uint64_t reads = 0;
    for (;;) {
        const uint64_t seenMs = nowMs();
        for (Item& item : items) {
            if (!readItem(session.get(), item))
                continue;
            if (run.json) {
                Json line = itemJson(item);
                line["time"] = millisecondsText(seenMs);
                printJson(line, false);
            } else {
                std::printf("%s  %s\n", millisecondsText(seenMs).c_str(), itemText(item).c_str());
                std::fflush(stdout);
            }
        }
        ++reads;
        if (!session.connected())
            return fail("read", "connection to " + connect.endpoint.text() + " lost");
        if (run.count && reads >= run.count)
            break;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (run.seconds > 0 && elapsed >= run.seconds)
            break;
        const double pause =
            run.seconds > 0 ? std::min(watchMs / 1000.0, run.seconds - elapsed) : watchMs / 1000.0;
        if (!waitUntil(nullptr, pause))
            break;
    }
    return kExitOk;
}

CommandRegistration registration("read", "read values from a live IED, once or watching for changes", run);

} // namespace
