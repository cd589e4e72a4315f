#pragma once
#include <pthread.h>

#include <chrono>
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

// The loop of a worker thread: names the thread, then, while `running` is set, calls
// round(now, next) with the mutex held and waits on `wake` until `next`, which round may bring
// forward from a second after now. stop() wakes it through endWorker.
template <typename Round>
void runWorker(const char* name, std::mutex& mutex, const bool& running, std::condition_variable& wake,
               Round round) {
    pthread_setname_np(pthread_self(), name);
    std::unique_lock<std::mutex> lock(mutex);
    while (running) {
        const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
        std::chrono::steady_clock::time_point next = now + std::chrono::seconds(1);
        round(now, next);
        wake.wait_until(lock, next);
    }
}

} // namespace iecx::sim
