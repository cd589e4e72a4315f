// iecx report: enable a report control block of a live IED and print its reports as they arrive.
#include "acquisition/MmsReportPool.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/IedSession.h"
#include "cli/ValueText.h"

#include "iec61850_client.h"

#include <atomic>
#include <memory>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace iecx::cli;
using namespace VorIec61850;

const char* kDescription =
    "Enables the report control block RCBREF (LD/LN.RP.name or LD/LN.BR.name) of a live IED and prints\n"
    "each report as it arrives: its time stamp, sequence number and, for every data set member it\n"
    "carries (or every --member), the value, the time stamp of its data object and the reason for\n"
    "inclusion. The block is disabled again on exit (Ctrl-C, --count reports or --seconds).\n"
    "A block that does not exist or that another client has reserved or enabled is refused with\n"
    "exit status 1.\n"
    "Example: iecx report 192.168.1.10 LD0/LLN0.RP.urcbStatus01 --gi --seconds 10";

struct Options : RunOptions {
    ConnectOptions connect;
    std::string rcb;
    std::vector<std::string> members;
    bool gi = false;
    uint32_t integrityMs = 0;
};

std::string reasonText(ReasonForInclusion reason) {
    std::string out;
    const std::pair<int, const char*> names[] = {
        {IEC61850_REASON_DATA_CHANGE, "data-change"},  {IEC61850_REASON_QUALITY_CHANGE, "quality-change"},
        {IEC61850_REASON_DATA_UPDATE, "data-update"},  {IEC61850_REASON_INTEGRITY, "integrity"},
        {IEC61850_REASON_GI, "general-interrogation"}, {IEC61850_REASON_UNKNOWN, "unknown"}};
    for (const auto& [bit, name] : names)
        if (reason & bit)
            out += (out.empty() ? "" : "|") + std::string(name);
    return out;
}

// Checks the block before the pool takes it: it must exist and be free. Writes the integrity
// period when one is asked for. Returns 0 or the exit status.
int prepareBlock(const Options& o, IedSession& session, std::vector<std::string>& members) {
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb = IedConnection_getRCBValues(session.get(), &error, o.rcb.c_str(), nullptr);
    if (rcb == nullptr) {
        if (error == IED_ERROR_OBJECT_DOES_NOT_EXIST || error == IED_ERROR_OBJECT_UNDEFINED ||
            error == IED_ERROR_OBJECT_REFERENCE_INVALID)
            return fail("report", "no report control block '" + o.rcb + "' on " + o.connect.endpoint.text());
        return fail("report", "cannot read '" + o.rcb + "': " + clientErrorText(error));
    }
    const bool buffered = ClientReportControlBlock_isBuffered(rcb);
    const bool enabled = ClientReportControlBlock_getRptEna(rcb);
    const bool reserved =
        !buffered ? ClientReportControlBlock_getResv(rcb)
                  : ClientReportControlBlock_hasResvTms(rcb) && ClientReportControlBlock_getResvTms(rcb) != 0;
    const std::string owner = rcbOwnerText(rcb);
    const char* dataSet = ClientReportControlBlock_getDataSetReference(rcb);
    const std::string dataSetRef = dataSet ? dataSet : "";
    int status = 0;
    if (enabled || reserved) {
        status = fail("report", "'" + o.rcb + "' is " + (enabled ? "enabled" : "reserved") +
                                    " by another client" + (owner.empty() ? "" : " (owner " + owner + ")"));
    } else if (dataSetRef.empty()) {
        status = fail("report", "'" + o.rcb + "' has no data set");
    } else if (o.integrityMs) {
        ClientReportControlBlock_setIntgPd(rcb, o.integrityMs);
        ClientReportControlBlock_setTrgOps(rcb, ClientReportControlBlock_getTrgOps(rcb) | TRG_OPT_INTEGRITY);
        IedConnection_setRCBValues(session.get(), &error, rcb, RCB_ELEMENT_INTG_PD | RCB_ELEMENT_TRG_OPS,
                                   true);
        if (error != IED_ERROR_OK)
            status = fail("report",
                          "cannot set the integrity period of '" + o.rcb + "': " + clientErrorText(error));
    }
    ClientReportControlBlock_destroy(rcb);
    if (status != 0 || !members.empty())
        return status;
    // Without --member every member of the data set.
    LinkedList list = IedConnection_getDataSetDirectory(session.get(), &error, dataSetRef.c_str(), nullptr);
    for (LinkedList e = list ? LinkedList_getNext(list) : nullptr; e; e = LinkedList_getNext(e))
        members.push_back(static_cast<const char*>(e->data));
    if (list)
        LinkedList_destroy(list);
    if (members.empty())
        return fail("report", "cannot read the members of data set '" + dataSetRef + "'");
    return 0;
}

int run(const std::vector<std::string>& args) {
    auto app = newCommand("report", kDescription);
    Options o;
    o.connect.add(*app);
    app->add_option("RCBREF", o.rcb, "report control block, LD/LN.RP.name or LD/LN.BR.name")->required();
    app->add_option("--member", o.members,
                    "a data set member (or an attribute inside one) with FC; repeatable");
    app->add_flag("--gi", o.gi, "ask for a general interrogation once enabled");
    addUnsigned(*app, "--integrity", o.integrityMs,
                "set the integrity period to MS and enable integrity reports", 1, 86400000)
        ->type_name("MS");
    addRunOptions(*app, o, "end after N reports", "one JSON object per report and line");
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (!o.connect.check("report", o.members))
        return kExitUsage;

    IedSession watch;
    std::string error;
    if (!watch.connect(o.connect, error))
        return fail("report", error);
    std::vector<std::string> members = o.members;
    if (int status = prepareBlock(o, watch, members))
        return status;
    if (o.integrityMs) {
        // A write may have reserved the block for this connection; the pool's own connection
        // enables it, so start the watch afresh.
        watch.close();
        if (!watch.connect(o.connect, error))
            return fail("report", error);
    }

    MmsReportTarget target(o.connect.endpoint.text(), o.rcb);
    // The type of each member gives its structures their member names when printed.
    std::vector<std::unique_ptr<MmsVariableSpecification, void (*)(MmsVariableSpecification*)>> types;
    for (const std::string& m : members) {
        target.paths.emplace_back(m, nullptr);
        std::string reference, error;
        FunctionalConstraint fc = IEC61850_FC_NONE;
        IedClientError code = IED_ERROR_OK;
        MmsVariableSpecification* type =
            splitFcReference(m, reference, fc, error)
                ? IedConnection_getVariableSpecification(watch.get(), &code, reference.c_str(), fc)
                : nullptr;
        types.emplace_back(type, MmsVariableSpecification_destroy);
    }
    MmsReportPool pool;
    pool.setConnectTimeout(o.connect.timeoutMs);
    std::atomic<uint64_t> reports{0};
    std::mutex printing;
    pool.getReciver().reportReceived.connect([&](ClientReport report) {
        // Receive thread; the pool has refreshed its values before this slot runs.
        std::lock_guard<std::mutex> lock(printing);
        if (o.count && reports >= o.count)
            return;
        const uint64_t time = ClientReport_hasTimestamp(report) ? ClientReport_getTimestamp(report) : 0;
        const auto& indexes = pool.getReciver().getAssociatedIndexes();
        const auto& values = pool.getValues();
        Json members = Json::array();
        std::string text;
        for (size_t i = 0; i < target.paths.size() && i < values.size(); ++i) {
            const size_t at = 2 * i;
            if (at >= indexes.size() || indexes[at].empty())
                continue;
            const ReasonForInclusion reason = ClientReport_getReasonForInclusion(report, indexes[at].front());
            if (reason == IEC61850_REASON_NOT_INCLUDED || !values[i])
                continue;
            const auto& element = values[i];
            if (o.json)
                members.push_back({{"path", target.paths[i].path},
                                   {"value", valueJson(element->getValue(), types[i].get())},
                                   {"t", millisecondsText(element->getUnixTimestamp())},
                                   {"reason", reasonText(reason)}});
            else
                text += "  " + target.paths[i].path + " = " + valueText(element->getValue(), types[i].get()) +
                        "  t=" + millisecondsText(element->getUnixTimestamp()) + "  reason " +
                        reasonText(reason) + "\n";
        }
        const char* rptId = ClientReport_getRptId(report);
        if (o.json) {
            Json line = {{"rcb", o.rcb},
                         {"rptID", rptId ? rptId : ""},
                         {"time", millisecondsText(time)},
                         {"members", members}};
            if (ClientReport_hasSeqNum(report))
                line["seqNum"] = ClientReport_getSeqNum(report);
            printJson(line, false, resultsOut());
        } else {
            std::string head = "report " + millisecondsText(time);
            if (ClientReport_hasSeqNum(report))
                head += " seqNum " + std::to_string(ClientReport_getSeqNum(report));
            head += " rptID " + std::string(rptId ? rptId : "");
            std::fprintf(resultsOut(), "%s\n%s", head.c_str(), text.c_str());
            std::fflush(resultsOut());
        }
        ++reports;
    });

    bool started = false;
    {
        // The pool's fixed diagnostic lines stay out of the results; failures are told below.
        QuietStdout quiet;
        const Vor::Result result = pool.setTarget(target);
        if (!result)
            return fail("report", "cannot use '" + o.rcb + "': " + result.getMessage());
        started = pool.start();
    }
    if (!started)
        return fail("report", "cannot enable '" + o.rcb + "' (the IED refused it or a member is unknown)");
    std::fprintf(stderr, "iecx report: %s enabled, %zu members\n", o.rcb.c_str(), members.size());
    if (o.gi && !pool.requestGeneralInterrogation())
        std::fprintf(stderr, "iecx report: the IED refused the general interrogation\n");

    const bool lost = waitWhileConnected(watch, o, reports);
    {
        QuietStdout quiet;
        pool.stop();
    }
    std::fprintf(stderr, "iecx report: %llu reports, %s disabled\n",
                 static_cast<unsigned long long>(reports.load()), o.rcb.c_str());
    if (lost)
        return fail("report", "connection to " + o.connect.endpoint.text() + " lost");
    return kExitOk;
}

CommandRegistration registration("report", "enable a report control block and print its reports", run);

} // namespace
