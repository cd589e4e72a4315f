#include "host/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace Vor {

bool mkdir_with_parents(const std::string& path) {
    if (path.empty())
        return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string getVorCrossAppCacheDir() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        base = std::string(home) + "/.cache";
    else
        base = "/tmp/vor-cache-" + std::to_string(::getuid());
    std::string dir = base + "/vor";
    mkdir_with_parents(dir);
    // With its trailing '/', callers append a file name directly.
    return dir + "/";
}

std::unique_ptr<std::ofstream> openOutputFileUTF8Name(const std::string& path, std::ios_base::openmode mode) {
    // Linux file names are bytes; a UTF-8 path opens as it stands.
    return std::make_unique<std::ofstream>(path, mode | std::ios_base::out);
}

} // namespace Vor
