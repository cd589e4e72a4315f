#pragma once
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "host/NonCopyable.h"

#include <glibmm/dispatcher.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace VorIec61850 {

// A diagnostic listener that prints every GOOSE message seen on one interface to standard
// output. Its thread watches the running flag in 100 ms steps; when it ends (stopped, or the
// receiver could not start) it signals a dispatcher so that stopObserver completes on the main
// loop. Create, start and stop it on the thread that runs the main loop.
class GooseObserver : Vor::NonCopyable {
public:
    GooseObserver();
    ~GooseObserver();

    // Does nothing while an observer thread exists.
    void startObserver(const std::string& interfaceId);
    // Only when running: clears the flag, joins the thread and prints the stop line.
    void stopObserver();
    bool isRunning() const { return _running; }

private:
    void _observe();
    static void _printGoose(GooseSubscriber subscriber, void* parameter);

    GooseReceiver _receiver = nullptr;
    GooseSubscriber _subscriber = nullptr;
    std::atomic<bool> _subscriberAdded{false};
    std::unique_ptr<Glib::Dispatcher> _dispatcher;
    std::unique_ptr<std::thread> _thread;
    std::atomic<bool> _running{false};
};

} // namespace VorIec61850
