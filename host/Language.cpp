#include "host/Language.h"

#include <atomic>
#include <mutex>
#include <set>

namespace lng {

namespace {
std::atomic<int> g_language{0};
}

int language() {
    return g_language.load();
}
void setLanguage(int language) {
    g_language.store(language == 1 ? 1 : 0);
}

const char* unknownKey(const std::string& key) {
    static std::mutex mutex;
    static std::set<std::string> keys;
    std::lock_guard<std::mutex> lock(mutex);
    return keys.insert(key).first->c_str();
}

} // namespace lng
