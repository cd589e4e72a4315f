#pragma once
// Periodic changes of a simulated IED's process values so that reports, GOOSE and polling have
// something to see: measured floats (MX ".f") drift, status booleans and double points (ST
// "stVal", "general") toggle; the time stamp "t" of each changed data object is renewed.
#include "host/NonCopyable.h"
#include "sim/Model.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace iecx::sim {

class ValueChanger : Vor::NonCopyable {
public:
    explicit ValueChanger(Model& model);
    ~ValueChanger();

    // Changes values every periodMs milliseconds on thread "sim_changes"; 0 stops.
    void setPeriod(int periodMs);
    // One round of changes on the caller's thread.
    void step();
    uint64_t rounds() const;

private:
    Model& _model;
    std::vector<ModelNode*> _floats, _toggles;
    std::thread _thread;
    mutable std::mutex _mutex;
    std::condition_variable _wake;
    int _periodMs = 0;
    bool _stop = false;
    uint64_t _rounds = 0;

    void _run();
};

} // namespace iecx::sim
