#pragma once
// GOOSE publishing of the simulated IED's GOOSE control blocks: one publisher per enabled block
// on the chosen interface. A change of a data set member starts a new state (stNum + 1,
// sqNum 0) that is sent at once and repeated after MinTime, then at doubling intervals up to
// MaxTime, where the repetition stays. One thread ("sim_goose") runs the repetitions.
#include "host/NonCopyable.h"
#include "sim/Model.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

typedef struct sGoosePublisher* GoosePublisher;

namespace iecx::sim {

class GoosePublishing : Vor::NonCopyable {
public:
    explicit GoosePublishing(Model& model);
    ~GoosePublishing();

    // Opens a publisher per control block on the interface and starts sending. false, with a
    // message in lastError(), when the interface cannot be opened.
    bool start(const std::string& interfaceName);
    void stop();
    bool isRunning() const;
    std::string lastError() const;

    // true when the node is a GOOSE control block or one of its attributes.
    bool handles(const ModelNode* node) const;
    // A client's write: GoEna switches publishing; the other attributes are read-only. GoEna
    // reads false while nothing is published (no interface), and cannot be enabled then.
    MmsDataAccessError write(ModelNode* node, const MmsValue* value);
    void onChanges(const std::vector<ValueChange>& changes);

    uint64_t framesSent() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Block {
        GooseControlDef* def = nullptr;
        ModelNode* goEna = nullptr;
        GoosePublisher publisher = nullptr;
        bool enabled = true;
        uint32_t interval = 0; // ms until the next repetition
        Clock::time_point next;
        std::vector<const ModelNode*> leaves; // of the data set members
    };

    Model& _model;
    std::vector<std::unique_ptr<Block>> _blocks;
    std::unordered_map<const ModelNode*, Block*> _byNode;
    mutable std::mutex _mutex;
    std::condition_variable _wake;
    std::thread _thread;
    bool _running = false;
    std::string _error;
    uint64_t _framesSent = 0;

    void _run();
    void _publish(Block& block);
    void _newState(Block& block);
};

} // namespace iecx::sim
