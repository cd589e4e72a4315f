#pragma once
// A fresh directory under /tmp for one test, removed with its content when the object goes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace iecx {
namespace test {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/iecx_test_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        _path = made != nullptr ? made : "/tmp";
    }
    ~TempDir() {
        if (_path != "/tmp")
            (void)std::system(("rm -rf '" + _path + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return _path; }
    std::string file(const std::string& name) const { return _path + "/" + name; }

private:
    std::string _path;
};

} // namespace test
} // namespace iecx
