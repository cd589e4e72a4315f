#pragma once
#include <map>
#include <mutex>
#include <string>

namespace iecx::ui {

// The files this process wrote (captures, CID files) under short ids. Only these can be
// downloaded: a request names an id, never a path.
class Downloads {
public:
    struct File {
        std::string path;
        std::string name; // the name offered to the browser
        std::string contentType;
    };

    // Registers a written file and returns its id.
    std::string add(const std::string& path, const std::string& name, const std::string& contentType);
    // false when the id is unknown.
    bool find(const std::string& id, File& file) const;

private:
    mutable std::mutex _mutex;
    std::map<std::string, File> _files;
    unsigned _next = 1;
};

} // namespace iecx::ui
