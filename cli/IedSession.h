#pragma once
// What the MMS client commands share: the HOST[:PORT] argument, the connect time-out, one
// connection that closes itself, object references with their FC, and client error texts.
#include "cli/CliOptions.h"
#include "host/NonCopyable.h"

#include "iec61850_client.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace iecx::cli {

// HOST[:PORT] with 102 as the default port; an IPv6 address goes in brackets ([::1]:102).
struct Endpoint {
    std::string host;
    uint16_t port = 102;

    // false for an empty host or a port that is no number from 1 to 65535.
    bool parse(const std::string& text);
    // "host:port", the form the acquisition pools take.
    std::string text() const;
};

// The options every MMS command has: HOST[:PORT] and --connect-timeout MS.
struct ConnectOptions {
    std::string address;
    uint32_t timeoutMs = 3000;
    Endpoint endpoint;

    // HOST[:PORT] and --connect-timeout; with references also the REF[FC]... arguments.
    void add(CLI::App& app, std::vector<std::string>* references = nullptr);
    // Checks the address and the references with FC ("LD/LN.DO.DA[FC]") after parsing; false
    // with the reason on stderr (a usage error).
    bool check(const std::string& command, const std::vector<std::string>& fcReferences = {});
};

// One client connection, closed and released with the object.
class IedSession : Vor::NonCopyable {
public:
    IedSession() = default;
    ~IedSession();

    // Connects within the time-out; false with a message that names the address.
    bool connect(const ConnectOptions& options, std::string& error);
    void close();
    bool connected() const;
    IedConnection get() const { return _connection; }

private:
    IedConnection _connection = nullptr;
};

// Waits for the end of a run that watches an IED: the connection `watch` going away, `events`
// reaching run.count (when set), Ctrl-C or run.seconds. true when the connection was lost.
bool waitWhileConnected(const IedSession& watch, const RunOptions& run, const std::atomic<uint64_t>& events);

// The owner of a report control block as text: the client's IPv4 address dotted, other
// addresses in hexadecimal; empty when the block has no owner.
std::string rcbOwnerText(ClientReportControlBlock rcb);

// The client's error code as words ("object does not exist", "time-out", ...).
std::string clientErrorText(IedClientError error);

// "LD/LN.DO.DA[FC]" split into the reference and its FC; false when the FC is missing or unknown
// (the text then names what was wrong).
bool splitFcReference(const std::string& text, std::string& reference, FunctionalConstraint& fc,
                      std::string& error);

} // namespace iecx::cli
