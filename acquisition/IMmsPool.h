#pragma once
#include "mms/MmsValueElement.h"

#include <sigc++/sigc++.h>

#include <string>

namespace VorIec61850 {

// What every acquisition pool offers the host: start and stop, the value list (one entry per
// target path, in target order, empty until its first value) and a signal after each refresh.
// Pools inherit it as a virtual base.
//
// Calling order: setTarget, connect the slots, start(); slots connected after start() may miss
// the first refreshes. Handlers run on the pool's worker thread and must not call stop().
class IMmsPool {
public:
    // Emitted after the value list has been refreshed, on the thread that received the data.
    sigc::signal<void> valuesUpdated;

    virtual ~IMmsPool() = default;
    // false when already running or when setting up failed.
    virtual bool start() = 0;
    // Whether the pool was running.
    virtual bool stop() = 0;
    virtual bool isRunning() const = 0;
    // A snapshot of the value list, taken under the pool's lock: safe from any thread while the
    // pool runs. The elements own their values and stay valid after stop() and after the pool
    // is gone.
    virtual MmsValueElementList getValues() const = 0;
    // Why the last setTarget() or start() failed, or why a running pool stopped delivering (a
    // lost connection); empty when nothing went wrong.
    virtual std::string getLastError() const = 0;
};

} // namespace VorIec61850
