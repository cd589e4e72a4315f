// Threads, semaphores and the clock of the C interface, on std::thread and a mutex with a
// condition variable. Nothing here throws across the C boundary: allocation or thread start
// failures give NULL or a thread that never runs.
#include "hal_thread.h"
#include "hal_time.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

struct sThread {
    ThreadExecutionFunction function = nullptr;
    void* parameter = nullptr;
    bool autodestroy = false;
    std::thread thread;
};

namespace {

struct CountingSemaphore {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
};

void runThread(sThread* self) {
    self->function(self->parameter);
    if (self->autodestroy) {
        self->thread.detach();
        delete self;
    }
}

} // namespace

extern "C" {

Thread Thread_create(ThreadExecutionFunction function, void* parameter, bool autodestroy) {
    if (function == nullptr)
        return nullptr;
    Thread self = new (std::nothrow) sThread();
    if (self == nullptr)
        return nullptr;
    self->function = function;
    self->parameter = parameter;
    self->autodestroy = autodestroy;
    return self;
}

void Thread_start(Thread thread) try {
    if (thread == nullptr || thread->thread.joinable())
        return;
    try {
        // An autodestroy thread detaches itself; hold the start until the handle is stored.
        static std::mutex startMutex;
        std::lock_guard<std::mutex> lock(startMutex);
        thread->thread = std::thread([thread]() {
            { std::lock_guard<std::mutex> wait(startMutex); }
            runThread(thread);
        });
    } catch (...) {
        if (thread->autodestroy)
            delete thread;
    }
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Thread_destroy(Thread thread) try {
    if (thread == nullptr)
        return;
    if (thread->thread.joinable()) {
        if (thread->thread.get_id() == std::this_thread::get_id())
            thread->thread.detach();
        else
            thread->thread.join();
    }
    delete thread;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Thread_sleep(int millies) try {
    if (millies > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(millies));
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

Semaphore Semaphore_create(int initialValue) {
    auto* self = new (std::nothrow) CountingSemaphore();
    if (self != nullptr)
        self->count = initialValue;
    return self;
}

void Semaphore_wait(Semaphore self) try {
    if (self == nullptr)
        return;
    auto* s = static_cast<CountingSemaphore*>(self);
    std::unique_lock<std::mutex> lock(s->mutex);
    s->cv.wait(lock, [s]() { return s->count > 0; });
    --s->count;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Semaphore_post(Semaphore self) try {
    if (self == nullptr)
        return;
    auto* s = static_cast<CountingSemaphore*>(self);
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        ++s->count;
    }
    s->cv.notify_one();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void Semaphore_destroy(Semaphore self) try { delete static_cast<CountingSemaphore*>(self); } catch (...) {
    // an exception ends the call here instead of crossing into C
}

msSinceEpoch Hal_getTimeInMs(void) {
    return static_cast<msSinceEpoch>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count());
}

nsSinceEpoch Hal_getTimeInNs(void) {
    return static_cast<nsSinceEpoch>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count());
}

} // extern "C"
