#include "ui/Assets.h"

namespace iecx::ui {

const EmbeddedFile* findEmbeddedFile(const std::string& path) {
    const std::string wanted = path == "/" ? "/index.html" : path;
    for (const EmbeddedFile& file : embeddedFiles())
        if (wanted == file.path)
            return &file;
    return nullptr;
}

const char* contentTypeOf(const std::string& path) {
    auto endsWith = [&](const char* suffix) {
        const std::string s(suffix);
        return path.size() >= s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    if (endsWith(".html"))
        return "text/html; charset=utf-8";
    if (endsWith(".js"))
        return "text/javascript; charset=utf-8";
    if (endsWith(".css"))
        return "text/css; charset=utf-8";
    if (endsWith(".svg"))
        return "image/svg+xml";
    return "application/octet-stream";
}

} // namespace iecx::ui
