#pragma once
// Report engine of the simulated IED: the runtime state of every unbuffered and buffered report
// control block, the triggers (data change, quality change, data update, integrity, general
// interrogation) and the InformationReports sent to the client that enabled a block.
//
// One thread ("sim_reports") runs the timers (buffer time and integrity period). Value changes
// arrive through onChanges() on the thread that changed them; writes of control block
// attributes through write() on the server's connection threads. All state is guarded by one
// mutex, taken before the model's mutex.
#include "host/NonCopyable.h"
#include "sim/Model.h"
#include "stack/src/mms/server/MmsServer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace iecx::sim {

class ReportEngine : Vor::NonCopyable {
public:
    explicit ReportEngine(Model& model);
    ~ReportEngine();

    void start();
    void stop();

    // true when the node is a report control block or one of its attributes.
    bool handles(const ModelNode* node) const;
    // A client's write of a control block attribute.
    MmsDataAccessError write(const stack::mms::MmsServerConnectionPtr& connection, ModelNode* node,
                             const MmsValue* value);
    // Releases the blocks the connection had reserved or enabled.
    void connectionClosed(uint64_t connectionId);
    // Value changes of the model (registered as its change listener).
    void onChanges(const std::vector<ValueChange>& changes);

    // Number of InformationReports sent so far.
    uint64_t reportsSent() const { return _reportsSent.load(); }

    // Largest number of entries a buffered block keeps; older entries are dropped (BufOvfl).
    static constexpr size_t kBufferCapacity = 1000;

private:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        uint64_t id = 0;
        uint64_t timeMs = 0;
        bool overflow = false;
        std::vector<MmsValue*> values; // per member; null when not included
        std::vector<uint8_t> reasons;  // per member, TRG_OPT_* bits
        ~Entry();
    };

    struct Rcb {
        ReportControlDef* def = nullptr;
        ModelNode* node = nullptr;
        std::map<std::string, ModelNode*> attributes;
        DataSet* dataSet = nullptr;
        std::string rptId;
        uint16_t optFlds = 0;
        uint8_t trgOps = 0;
        uint32_t bufTm = 0;
        uint32_t intgPd = 0;
        uint32_t confRev = 0;
        bool enabled = false;
        bool reserved = false;
        stack::mms::MmsServerConnectionPtr owner;
        uint32_t sqNum = 0;
        std::vector<uint8_t> pending; // per member, TRG_OPT_* bits
        bool hasPending = false;
        Clock::time_point pendingDeadline;
        Clock::time_point nextIntegrity;
        // Buffered blocks only.
        std::deque<std::unique_ptr<Entry>> buffer;
        uint64_t nextEntryId = 1;
        uint64_t lastSentId = 0;
        bool overflow = false;
    };

    Model& _model;
    std::vector<std::unique_ptr<Rcb>> _rcbs;
    std::unordered_map<const ModelNode*, Rcb*> _byNode;
    // Data set member positions of each leaf, per data set.
    std::unordered_map<const DataSet*, std::unordered_multimap<const ModelNode*, int>> _memberIndex;

    mutable std::mutex _mutex;
    std::condition_variable _wake;
    std::thread _thread;
    bool _running = false;
    std::atomic<uint64_t> _reportsSent{0};

    void _run();
    const std::unordered_multimap<const ModelNode*, int>& _indexOf(const DataSet* ds);
    void _setAttribute(Rcb& rcb, const char* name, const MmsValue* value);
    void _flushPending(Rcb& rcb);
    void _reportAll(Rcb& rcb, uint8_t reason);
    void _deliver(Rcb& rcb, std::unique_ptr<Entry> entry);
    void _sendBuffered(Rcb& rcb);
    bool _send(Rcb& rcb, const Entry& entry);
    void _disable(Rcb& rcb);
    DataSet* _findDataSet(const std::string& reference) const;
};

} // namespace iecx::sim
