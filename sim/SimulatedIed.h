#pragma once
// A simulated IED: serves the data model of one IED of an SCL file over MMS (ISO-on-TCP), sends
// reports of its report control blocks and publishes its GOOSE and Sampled Values control blocks.
//
//     iecx::sim::SimulatedIed ied;
//     ied.load("station.scd", "IED1");             // throws std::runtime_error on bad input
//     if (!ied.start("127.0.0.1", 10102)) ...      // ied.lastError()
//     ied.setValue("LD0/GGIO1.Ind1.stVal", v);      // reports and GOOSE follow
//     ied.changeValuesEvery(500);
//     ied.stop();
#include "host/Export.h"
#include "host/NonCopyable.h"
#include "mms_value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace stack::mms {
class MmsServer;
}

namespace iecx::sim {

class Model; // sim/Model.h: the served model, for code built with the library
class ReportEngine;
class GoosePublishing;
class SvPublishing;
class SimServerHandler;
class ValueChanger;

class IECX_API SimulatedIed : Vor::NonCopyable {
public:
    SimulatedIed();
    ~SimulatedIed(); // stops

    // Loads the IED iedName (the first IED when empty) of a CID/ICD/SCD file. Only while stopped;
    // throws std::runtime_error with a readable message when the file or IED is unusable.
    void load(const std::string& file, const std::string& iedName = "");

    // Serves MMS on bindAddress:port (port 0 picks a free port, see port()) and, when
    // publishInterface is not empty, publishes the GOOSE and Sampled Values control blocks on
    // that interface. false with lastError() when nothing is loaded, the address cannot be bound
    // or the interface cannot be opened.
    bool start(const std::string& bindAddress = "0.0.0.0", uint16_t port = 102,
               const std::string& publishInterface = "");
    // Clients must authenticate with this ACSE password from the next start() on (empty: no
    // authentication).
    void setPassword(const std::string& password) { _password = password; }

    // Closes every connection and joins every thread. Idempotent.
    void stop();
    bool isRunning() const;
    uint16_t port() const;
    const std::string& lastError() const { return _error; }

    bool isLoaded() const { return _model != nullptr; }
    Model& model() { return *_model; }

    // What the loaded IED serves, for a start-up line.
    struct Summary {
        std::string iedName;
        size_t logicalDevices = 0;
        size_t attributes = 0;
        size_t reportBlocks = 0;
        size_t gooseBlocks = 0;
        size_t svBlocks = 0;
        std::vector<std::string> svSkipped; // SV control blocks not published, with the reason
    };
    Summary summary() const;

    // Sets an attribute (or a whole structure) by object reference "LD/LN.DO.DA" with optional
    // "[FC]" (LD is the LD inst or the full domain name). The value is copied, not taken over.
    // false when the reference is unknown or the type does not match.
    bool setValue(const std::string& reference, const MmsValue* value);
    // A copy of the value (the caller deletes it), or null for an unknown reference.
    MmsValue* getValue(const std::string& reference) const;

    // Changes process values every ms milliseconds (0 stops); see ValueChanger.
    void changeValuesEvery(int ms);

    // Counters for diagnostics and tests.
    uint64_t reportsSent() const;
    uint64_t gooseFramesSent() const;
    uint64_t svFramesSent() const;
    // The Sampled Values streams (null before load()).
    const SvPublishing* svPublishing() const;
    uint64_t requestCount() const;
    size_t connectionCount() const;

private:
    std::unique_ptr<Model> _model;
    std::unique_ptr<ReportEngine> _reports;
    std::unique_ptr<GoosePublishing> _goose;
    std::unique_ptr<SvPublishing> _sv;
    std::unique_ptr<SimServerHandler> _handler;
    std::unique_ptr<ValueChanger> _changer;
    std::unique_ptr<stack::mms::MmsServer> _server;
    std::string _error;
    std::string _password;
};

} // namespace iecx::sim
