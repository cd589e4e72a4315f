#include "host/Language.h"

#include <atomic>

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

} // namespace lng
