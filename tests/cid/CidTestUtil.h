#pragma once
// Small helpers of the CID tests: a temporary directory removed afterwards, file reading.
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

using iecx::test::TempDir;

// One FCDA line as the host writes it into a publication's data set list.
inline std::string fcdaXml(const std::string& path, const std::string& fc, const std::string& dataType) {
    return "<FCDA path=\"" + path + "\" fc=\"" + fc + "\" dataType=\"" + dataType + "\"/>";
}

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
