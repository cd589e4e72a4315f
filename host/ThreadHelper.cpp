#include "host/ThreadHelper.h"

#include <pthread.h>

namespace Vor {

void ThreadHelper::setCurrentThreadName(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

} // namespace Vor
