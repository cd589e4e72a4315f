#pragma once
// Sets (or, with nullptr, removes) an environment variable for the lifetime of the object and
// puts the old value back afterwards.
//
//     iecx::test::ScopedEnv cache("XDG_CACHE_HOME", dir.path().c_str());
#include <cstdlib>
#include <string>

namespace iecx {
namespace test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : _name(name) {
        if (const char* old = std::getenv(name)) {
            _had = true;
            _old = old;
        }
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (_had)
            ::setenv(_name.c_str(), _old.c_str(), 1);
        else
            ::unsetenv(_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string _name, _old;
    bool _had = false;
};

} // namespace test
} // namespace iecx
