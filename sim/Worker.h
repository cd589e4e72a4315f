#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

namespace iecx::sim {

// Ends a worker thread that runs while `running` is set and waits on `wake` under `mutex`:
// clears the flag, wakes the thread and joins it. False (nothing done) when it was not running.
// The mutex is not held while joining, so the thread can finish its round.
inline bool endWorker(std::mutex& mutex, bool& running, std::condition_variable& wake, std::thread& thread) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running)
            return false;
        running = false;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
    return true;
}

} // namespace iecx::sim
