#pragma once
#include "mms/MmsValueElement.h"

#include <sigc++/sigc++.h>

namespace VorIec61850 {

// What every acquisition pool offers the host: start and stop, the value list (one entry per
// target path, in target order, empty until its first value) and a signal after each refresh.
// Pools inherit it as a virtual base.
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
    virtual MmsValueElementList& getValues() = 0;
};

} // namespace VorIec61850
