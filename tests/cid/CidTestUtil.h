#pragma once
// Small helpers of the CID tests: a temporary directory removed afterwards, file reading.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <ftw.h>
#include <unistd.h>

namespace cidtest {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool fileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A fresh directory under /tmp, removed with its content on destruction.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/iecx_cid_test_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        path_ = made != nullptr ? made : "/tmp";
    }
    ~TempDir() {
        ::nftw(
            path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); },
            16, FTW_DEPTH | FTW_PHYS);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Points the host's cache directory at a temporary place for the lifetime of the object.
class CacheHome {
public:
    explicit CacheHome(const std::string& dir) {
        if (const char* old = std::getenv("XDG_CACHE_HOME")) {
            had_ = true;
            old_ = old;
        }
        ::setenv("XDG_CACHE_HOME", dir.c_str(), 1);
    }
    ~CacheHome() {
        if (had_)
            ::setenv("XDG_CACHE_HOME", old_.c_str(), 1);
        else
            ::unsetenv("XDG_CACHE_HOME");
    }

private:
    bool had_ = false;
    std::string old_;
};

inline int countOccurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

} // namespace cidtest
