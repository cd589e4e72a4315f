#include "mms/GooseObserver.h"

#include "host/ThreadHelper.h"
#include "mms_value.h"

#include <glibmm/init.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace VorIec61850 {

namespace {

// Sleeps for the given milliseconds; a sleep cut short by a signal goes on for the rest.
void sleepMilliseconds(long milliseconds) {
    timespec request{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    timespec remaining{};
    while (nanosleep(&request, &remaining) == -1 && errno == EINTR)
        request = remaining;
}

} // namespace

GooseObserver::GooseObserver() {
    Glib::init();
    _receiver = GooseReceiver_create();
    char noReference[] = "";
    _subscriber = GooseSubscriber_create(noReference, nullptr);
    _dispatcher = std::make_unique<Glib::Dispatcher>();
    _dispatcher->connect(sigc::mem_fun(*this, &GooseObserver::stopObserver));
}

GooseObserver::~GooseObserver() {
    stopObserver();
    // The subscriber belongs to the receiver only while added to it.
    if (_subscriberAdded) {
        GooseReceiver_removeSubscriber(_receiver, _subscriber);
        _subscriberAdded = false;
    }
    GooseReceiver_destroy(_receiver);
    GooseSubscriber_destroy(_subscriber);
    _dispatcher.reset();
}

void GooseObserver::startObserver(const std::string& interfaceId) {
    if (_thread)
        return;
    GooseReceiver_setInterfaceId(_receiver, interfaceId.c_str());
    GooseSubscriber_setObserver(_subscriber);
    GooseSubscriber_setListener(_subscriber, &GooseObserver::_printGoose, nullptr);
    GooseReceiver_addSubscriber(_receiver, _subscriber);
    _subscriberAdded = true;
    std::printf("\nSTART OBSERVER on interface: %s\n", interfaceId.c_str());
    std::fflush(stdout);
    _running = true;
    _thread = std::make_unique<std::thread>(&GooseObserver::_observe, this);
}

void GooseObserver::stopObserver() {
    if (!_running.exchange(false))
        return;
    if (_thread) {
        _thread->join();
        _thread.reset();
    }
    std::printf("\nSTOP OBSERVER\n");
    std::fflush(stdout);
}

void GooseObserver::_observe() {
    Vor::ThreadHelper::setCurrentThreadName("GooseObserver");
    GooseReceiver_start(_receiver);
    if (GooseReceiver_isRunning(_receiver)) {
        while (_running)
            sleepMilliseconds(100);
    }
    GooseReceiver_stop(_receiver);
    GooseReceiver_removeSubscriber(_receiver, _subscriber);
    _subscriberAdded = false;
    // stopObserver on the main loop finishes the stop (or does nothing when it already ran).
    _dispatcher->emit();
}

void GooseObserver::_printGoose(GooseSubscriber subscriber, void*) {
    std::printf("GOOSE event:\n");
    bool vlan = GooseSubscriber_isVlanSet(subscriber);
    std::printf("    vlanTag: %s\n", vlan ? "found" : "NOT found");
    if (vlan) {
        std::printf("    vlanID: %u\n", static_cast<unsigned>(GooseSubscriber_getVlanId(subscriber)));
        std::printf("    vlanPrio: %u\n", static_cast<unsigned>(GooseSubscriber_getVlanPrio(subscriber)));
    }
    std::printf("    appId: %d\n", static_cast<int>(GooseSubscriber_getAppId(subscriber)));
    uint8_t mac[6];
    GooseSubscriber_getSrcMac(subscriber, mac);
    std::printf("    srcMac: %02X:%02X:%02X:%02X:%02X:%02X\n", mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
    GooseSubscriber_getDstMac(subscriber, mac);
    std::printf("    dstMac: %02X:%02X:%02X:%02X:%02X:%02X\n", mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
    const char* goId = GooseSubscriber_getGoId(subscriber);
    const char* goCbRef = GooseSubscriber_getGoCbRef(subscriber);
    const char* dataSet = GooseSubscriber_getDataSet(subscriber);
    std::printf("    goId: %s\n", goId ? goId : "");
    std::printf("    goCbRef: %s\n", goCbRef ? goCbRef : "");
    std::printf("    dataSet: %s\n", dataSet ? dataSet : "");
    char buffer[1024];
    buffer[0] = '\0';
    MmsValue_printToBuffer(GooseSubscriber_getDataSetValues(subscriber), buffer, sizeof(buffer));
    std::printf("All data: %s\n", buffer);
    std::fflush(stdout);
}

} // namespace VorIec61850
