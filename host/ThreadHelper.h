#pragma once
#include <string>

namespace Vor {

class ThreadHelper {
public:
    // Names the calling thread (visible in ps, top and debuggers; cut to 15 bytes on Linux).
    static void setCurrentThreadName(const std::string& name);
};

} // namespace Vor
